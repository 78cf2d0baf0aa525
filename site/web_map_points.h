// The readings as points of the web map the site map draws on: Web Mercator, as fractions of the
// map's world (x from the west edge eastwards, y from the north edge southwards), so that the page
// only scales and shifts them for any zoom and pan. Plain C++, no Qt.
#pragma once

#include "site_extent.h"

#include <cstddef>
#include <span>

namespace qm::site {

// Where a set of readings lies on the web map.
struct WebMapFrame {
    // Longitudes are taken on the arc of the world holding them all with the widest empty gap
    // outside it, so that a survey across the antimeridian stays one piece running on past 180
    // rather than two halves at both ends of the world. The arc starts at this tenth of a degree
    // east of 180 W; 0 takes longitudes as given.
    int arcStart = 0;
    // The extent to show first, in those continuous longitudes.
    SiteExtent extent;
    // Whether the readings lie within two degrees each way. Then the points go as 32-bit offsets
    // from the world point (x0, y0), within a centimetre on the ground; wider sites go as full
    // 64-bit points, with (x0, y0) at (0, 0).
    bool compact = false;
    double x0 = 0;
    double y0 = 0;
    std::size_t count = 0; // readings with a finite position
};

// The frame of the readings at (lon, lat) in degrees; the spans must be equally long.
WebMapFrame WebMapFrameOf(std::span<const double> lon, std::span<const double> lat);

// The longitude on the frame's arc.
double ContinuousLongitude(const WebMapFrame& frame, double lon);

// The points of the readings at (lon, lat), minus the frame's (x0, y0), into `x` and `y` (as long
// as `lon`). The 32-bit form is meant for compact frames, the 64-bit one for any.
void ProjectToWebMap(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat,
                     std::span<float> x, std::span<float> y);
void ProjectToWebMap(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat,
                     std::span<double> x, std::span<double> y);

// The web map's y of a latitude in degrees, clamped to what the map shows.
double WebMapY(double latDegrees);

// A position in degrees (WGS 84).
struct LonLat {
    double lon = 0;
    double lat = 0;
};

// The inverse of ProjectToWebMap: the position of the point (x, y), given as the frame's offsets,
// with the longitude brought back within [-180, 180).
LonLat WebMapToLonLat(const WebMapFrame& frame, double x, double y);

} // namespace qm::site
