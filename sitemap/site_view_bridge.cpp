#include "site_view_bridge.h"

#include <utility>

namespace qm {

void SiteViewBridge::SetTrack(QVariantList breaks, bool shown)
{
    if (breaks == breaks_ && shown == trackShown_)
        return;
    breaks_ = std::move(breaks);
    trackShown_ = shown;
    emit trackChanged();
}

void SiteViewBridge::SetRestoreView(QVariantMap view)
{
    restore_ = std::move(view);
    emit restoreViewChanged();
}

void SiteViewBridge::viewChanged(double lat, double lon, double zoom, const QString& basemap)
{
    hasView_ = true;
    lat_ = lat;
    lon_ = lon;
    zoom_ = zoom;
    basemap_ = basemap;
}

void SiteViewBridge::viewRestored()
{
    restore_.clear();
}

} // namespace qm
