// The site map page's second web-channel object: the page reports its view and basemap here, and
// reads the selected track's breaks, a view to restore and hover refreshes from it.
#pragma once

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

namespace qm {

class SiteViewBridge : public QObject {
    Q_OBJECT
    // Indices at which the selected file's track lifts the pen (a new traverse, or a gap).
    Q_PROPERTY(QVariantList trackBreaks READ TrackBreaks NOTIFY TrackChanged)
    Q_PROPERTY(bool trackShown READ TrackShown NOTIFY TrackChanged)
    // {lat, lon, zoom, basemap} to show once the readings are in; empty when there is none.
    Q_PROPERTY(QVariantMap restoreView READ RestoreView NOTIFY RestoreViewChanged)

public:
    explicit SiteViewBridge(QObject* parent = nullptr) : QObject(parent) {}

    QVariantList TrackBreaks() const { return breaks_; }
    bool TrackShown() const { return trackShown_; }
    QVariantMap RestoreView() const { return restore_; }
    void SetTrack(QVariantList breaks, bool shown);
    void SetRestoreView(QVariantMap view);

    // The page's view as last reported: centre, zoom and basemap.
    bool HasView() const { return hasView_; }
    double Lat() const { return lat_; }
    double Lon() const { return lon_; }
    double Zoom() const { return zoom_; }
    QString Basemap() const { return basemap_; }

    // From the page: its view moved or its basemap changed; a restored view was applied.
    Q_INVOKABLE void ViewChanged(double lat, double lon, double zoom, const QString& basemap);
    Q_INVOKABLE void ViewRestored();

signals:
    void TrackChanged();
    void RestoreViewChanged();
    // The hover text under the pointer may have changed: the page asks for it again.
    void DescribeAgain();

private:
    QVariantList breaks_;
    bool trackShown_ = true;
    QVariantMap restore_;
    bool hasView_ = false;
    double lat_ = 0;
    double lon_ = 0;
    double zoom_ = 0;
    QString basemap_ = QStringLiteral("OpenStreetMap");
};

} // namespace qm
