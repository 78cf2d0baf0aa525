// The part of the globe a site covers, for the first view of the site map.
#pragma once

namespace qm::site {

// Degrees, WGS 84. `east` may exceed 180 when the site crosses the antimeridian, so that west < east
// always holds and the box runs along the site's arc of longitudes (a web map takes longitudes past
// 180 as they are).
// Latitudes are kept within what a Web Mercator map shows.
struct SiteExtent {
    double west = 0;
    double south = 0;
    double east = 0;
    double north = 0;
};

// The latitude beyond which a Web Mercator map shows nothing.
inline constexpr double kMercatorLatitudeLimit = 85.0511287798066;
// The least height of an extent in degrees of latitude (about fifty metres), and as much ground
// across, so that readings all at one point still give a view around them.
inline constexpr double kMinimumExtentDegrees = 0.0005;

// Bounds made an extent to show: latitudes within the web map, and at least the least extent
// around readings that lie (nearly) at one point.
SiteExtent ViewExtent(SiteExtent bounds);

} // namespace qm::site
