// The one web-channel object between the site map window and its page, which the page sees as
// "siteMap". The window emits its signals, each the call of the page's interface it names, and the
// page acts on them in the order emitted; the page calls its invokables to report a click, ask for
// a hover text, and say that it has done an update or that it is connected. Numbers, lists and
// maps travel as they are; the big arrays go through the data scheme, only their addresses here.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>
#include <functional>

namespace qm {

// A number for the page: one that JSON cannot carry (NaN, infinity) as 0.
inline double FiniteOrZero(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

// The bounds [south, west, north, east] for the page, each as FiniteOrZero.
inline QVariantList PageBounds(double south, double west, double north, double east)
{
    return {FiniteOrZero(south), FiniteOrZero(west), FiniteOrZero(north), FiniteOrZero(east)};
}

class SitePageChannel : public QObject {
    Q_OBJECT

public:
    explicit SitePageChannel(QObject* parent = nullptr) : QObject(parent) {}

    // Whether the page has connected to the signals since it was last loaded. A signal emitted
    // before reaches no page, so nothing is sent until then; once the page says it is connected,
    // the window sends it everything it shows.
    bool Ready() const { return ready_; }
    // The page is being loaded (again): it hears nothing until it says it is connected.
    void PageGone() { ready_ = false; }

    std::function<void(int index)> onClick;
    std::function<QString(int index)> onDescribe;
    std::function<void(int serial)> onIdle;
    std::function<void()> onReady;
    std::function<void(int serial)> onLoaded;

    // From the page. It passes the index of a reading in the arrays it was given.
    Q_INVOKABLE void Click(int index);
    Q_INVOKABLE QString Describe(int index);
    // Every signal up to Redraw(serial) is done, the arrays they wait for fetched.
    Q_INVOKABLE void Idle(int serial);
    // The page has taken the readings of ReadingsLoaded(..., serial): its indices are theirs.
    Q_INVOKABLE void Loaded(int serial);
    // The page has connected to every signal below.
    Q_INVOKABLE void PageReady();

signals:
    // One array of the next call that takes it, in pieces: each the data scheme's address of its
    // bytes, or the bytes as base64. `type` is "f32", "f64" or "u32". The page starts fetching at
    // once and holds every later signal until the pieces are in.
    void ArrayGiven(const QString& name, const QStringList& sources, const QString& type);
    // The arrays "x", "y" and "value" of `count` readings (points as offsets from x0, y0), the view
    // fitted to `bounds` [south, west, north, east]; a count of 0 shows none and says so. The page
    // answers Loaded(serial) once it has taken them.
    void ReadingsLoaded(qint64 count, const QVariantList& bounds, double x0, double y0, int serial);
    // The array "value" as the dots' new values; "spikes" as the readings ringed.
    void ValuesGiven(qint64 count);
    void SpikesGiven();
    // The colour scale: {min, max, centre, colours: 256 r, g, b triples, ticks: [{at, text}],
    // histogram}; the legend's histogram alone ({min, max, counts}, or null).
    void ScaleChanged(const QVariantMap& scale);
    void HistogramChanged(const QVariant& histogram);
    // The selected file's readings [first, last) and the ringed one (-1: none).
    void SelectionChanged(qint64 first, qint64 last, qint64 ring);
    void DotsShown(bool shown);
    // The grid's image (a data address) between [south, west, north, east], or none.
    void GridShown(const QString& url, const QVariantList& bounds, double opacity);
    void GridCleared();
    void GridOpacity(double opacity);
    // The array "contour" as the points (lat, lon, ...) of lines of `sizes` points each, or none.
    void ContoursGiven(const QVariantList& sizes);
    void ContoursCleared();
    void Measuring(bool on);
    void FitTo(const QVariantList& bounds);
    // The arrays "order", "cell" and "first" as the dots' pyramid with its `levels`; "reps" as
    // its cells' readings.
    void PyramidGiven(qint64 count, const QVariantList& levels);
    void RepsGiven(qint64 count);
    // Draws what changed; for an update (serial > 0) the page calls Idle(serial) once done.
    void Redraw(int serial);

private:
    bool ready_ = false;
};

} // namespace qm
