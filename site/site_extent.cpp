// The extent a site is first shown at: within the web map's latitudes, and never a mere point.
#include "site_extent.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qm::site {

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
