// The extent of a site: the shorter way round the globe in longitude, clamped near the poles.
#include "site_extent.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace qm::site {

std::optional<SiteExtent> ExtentOf(std::span<const double> lon, std::span<const double> lat)
{
    const std::size_t n = std::min(lon.size(), lat.size());
    constexpr double inf = std::numeric_limits<double>::infinity();
    // Longitudes both as given (-180..180) and shifted to 0..360: a site across the antimeridian is
    // narrow in the second form. Surveys are local, so one of the two is the short way round.
    double west = inf, east = -inf, west360 = inf, east360 = -inf, south = inf, north = -inf;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(lon[i]) || !std::isfinite(lat[i]))
            continue;
        ++count;
        const double x = lon[i];
        const double x360 = x < 0 ? x + 360 : x;
        west = std::min(west, x);
        east = std::max(east, x);
        west360 = std::min(west360, x360);
        east360 = std::max(east360, x360);
        south = std::min(south, lat[i]);
        north = std::max(north, lat[i]);
    }
    if (count == 0)
        return std::nullopt;

    SiteExtent extent{west, south, east, north};
    if (east360 - west360 < east - west) {
        // Across the antimeridian: start in -180..180 and let the east edge run past 180.
        extent.west = west360 > 180 ? west360 - 360 : west360;
        extent.east = extent.west + (east360 - west360);
    }
    return ViewExtent(extent);
}

SiteExtent ViewExtent(SiteExtent extent)
{
    constexpr double limit = kMercatorLatitudeLimit;
    extent.south = std::clamp(extent.south, -limit, limit);
    extent.north = std::clamp(extent.north, -limit, limit);
    if (extent.north - extent.south < kMinimumExtentDegrees) {
        const double middle = std::clamp((extent.south + extent.north) / 2, -limit + kMinimumExtentDegrees / 2,
                                         limit - kMinimumExtentDegrees / 2);
        extent.south = middle - kMinimumExtentDegrees / 2;
        extent.north = middle + kMinimumExtentDegrees / 2;
    }
    const double width = extent.east - extent.west;
    // As much ground across as up and down: a degree of longitude shrinks with the cosine of latitude.
    const double middleLat = (extent.south + extent.north) / 2 * std::numbers::pi / 180;
    const double minimumWidth = std::min(360.0, kMinimumExtentDegrees / std::max(std::cos(middleLat), 0.01));
    if (width < minimumWidth) {
        const double middle = (extent.west + extent.east) / 2;
        extent.west = middle - minimumWidth / 2;
        extent.east = middle + minimumWidth / 2;
    }
    return extent;
}

} // namespace qm::site
