#include "site_view_bridge.h"

#include <utility>

namespace qm {

void SiteViewBridge::SetTrack(QVariantList breaks, bool shown)
{
    if (breaks == breaks_ && shown == trackShown_)
        return;
    breaks_ = std::move(breaks);
    trackShown_ = shown;
    emit TrackChanged();
}

void SiteViewBridge::SetRestoreView(QVariantMap view)
{
    restore_ = std::move(view);
    emit RestoreViewChanged();
}

void SiteViewBridge::ViewChanged(double lat, double lon, double zoom, const QString& basemap)
{
    hasView_ = true;
    lat_ = lat;
    lon_ = lon;
    zoom_ = zoom;
    basemap_ = basemap;
}

void SiteViewBridge::ViewRestored()
{
    restore_.clear();
}

} // namespace qm
