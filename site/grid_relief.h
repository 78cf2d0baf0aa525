// Relief of a grid for the eye: hill shading (GDAL's DEM processing, the readings taken as heights
// in the grid's metres) and contour lines (GDAL's contour generation) in WGS 84 for the map.
// Plain C++ on GDAL, no Qt.
#pragma once

#include "grid.h"

#include <cstdint>
#include <span>
#include <vector>

namespace qm::site {

struct HillShadeSetting {
    double azimuth = 315;  // degrees clockwise from north, where the light comes from
    double altitude = 45;  // degrees above the horizon
    double zFactor = 1;    // nT taken as this many metres of height
};

// The shade of every cell, row by row as the grid's values: 1 to 255 (dark to light), 0 where the
// grid is empty or the shade is unknown (its edges). Throws Error when GDAL fails.
std::vector<std::uint8_t> HillShade(const GridResult& grid, const HillShadeSetting& setting);

// RGBA pixels darkened by the shade (`strength` 0 to 1: how much of the shade shows), in place.
void BlendShade(std::span<std::uint8_t> rgba, std::span<const std::uint8_t> shade, double strength);

struct ContourLine {
    double level = 0;
    std::vector<double> lon, lat;
};

// The contour lines of the grid at every multiple of `interval` nT, in WGS 84 degrees (longitudes
// continuous about the grid's central meridian). At most `maxVertices` points in all: an interval
// too fine for the grid is refused with an Error that says so.
std::vector<ContourLine> Contours(const GridResult& grid, double interval, std::size_t maxVertices = 2'000'000);

} // namespace qm::site
