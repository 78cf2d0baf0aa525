// What the site map window sends to its page and hears back from it: the readings prepared for
// the page (longitudes made continuous across the antimeridian, the extent to show, the arrays as
// raw bytes through an address scheme, or as base64) and the object through which the page reports
// clicks and asks for tooltips.
#pragma once

#include "placed_readings.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>
#include <QWebEngineUrlSchemeHandler>

#include <cstddef>
#include <functional>
#include <utility>
#include <vector>

namespace qm {

// The readings' longitudes moved by whole turns so that the smallest arc holding them all is
// continuous: a survey across the antimeridian runs on past 180 instead of splitting in two halves
// at both ends of the world.
std::vector<double> UnwrappedLongitudes(const std::vector<double>& lon);

// The index of the reading at (file, row) and the index range [first, last) of a file's readings,
// both found by bisection since the readings are in file and then row order; -1 and an empty range
// when absent.
long long IndexOfReading(const site::PlacedReadings& readings, int fileIndex, int row);
std::pair<std::size_t, std::size_t> RangeOfFile(const site::PlacedReadings& readings, int fileIndex);

// The address scheme through which the page fetches the readings' arrays as raw bytes, far faster
// than text through a script. It must be registered before the application object exists; without
// it the arrays go as base64 text.
inline constexpr char kSiteDataScheme[] = "qmsite";
void RegisterSiteDataScheme();
bool SiteDataSchemeRegistered();

// Serves arrays put under a name ("qmsite:data/lon-3") to the page, each once: the page fetches an
// array right after it is put, and the bytes are dropped when served or replaced.
class SiteDataHandler : public QWebEngineUrlSchemeHandler {
    Q_OBJECT

public:
    explicit SiteDataHandler(QObject* parent = nullptr) : QWebEngineUrlSchemeHandler(parent) {}
    // The address under which the page finds `bytes`.
    QString put(const QString& name, QByteArray bytes);
    // Drops the arrays whose names begin with `prefix`.
    void drop(const QString& prefix);
    void requestStarted(QWebEngineUrlRequestJob* job) override;

private:
    QHash<QString, QByteArray> arrays_;
};

// Thousands grouped with commas: "1,234".
QString GroupedCount(unsigned long long count);

// The object the page sees as "siteMap" through the web channel. The page passes the index of a
// reading in the arrays it was sent.
class SiteMapBridge : public QObject {
    Q_OBJECT

public:
    explicit SiteMapBridge(QObject* parent = nullptr) : QObject(parent) {}

    std::function<void(int index)> onClick;
    std::function<QString(int index)> onDescribe;

    Q_INVOKABLE void click(int index);
    Q_INVOKABLE QString describe(int index);
};

} // namespace qm
