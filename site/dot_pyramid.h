// The site map's dots at any zoom without a pass over every reading: the readings binned into the
// map's 3-pixel cells at one fine zoom, and every coarser zoom's cells as groups of four of the
// next finer ones (a cell of zoom z is 2 x 2 cells of zoom z + 1, since both are 3 pixels wide and
// a pixel of z is two of z + 1). For given values, each cell keeps the reading that stands out most
// (farthest from the centre value), found once per change of the values rather than per frame, so
// a pan or zoom touches only the cells on screen. Plain C++, no Qt.
#pragma once

#include "web_map_points.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qm::site {

inline constexpr double kDotCellPixels = 3;   // the map draws one dot per 3 x 3 pixels
inline constexpr int kDotPyramidFinestZoom = 20; // about 0.25 m cells at mid latitudes
inline constexpr int kDotPyramidMaxLevels = 16;
inline constexpr std::uint32_t kNoReading = 0xffffffffu;

// One zoom's occupied cells, in the order of their Morton codes (so the four children of a cell of
// the next coarser zoom lie together, and in it in the order of their parents).
struct DotPyramidLevel {
    int zoom = 0;
    // The cell at relative (0, 0), counted in cells of this zoom from the web map's north-west
    // corner: a cell's column on the map is originX + its relative column.
    std::int64_t originX = 0;
    std::int64_t originY = 0;
    std::size_t offset = 0;      // of its first cell in `DotPyramid::cell` (and in representatives)
    std::size_t count = 0;       // its cells
    std::size_t firstOffset = 0; // of its first bound in `DotPyramid::first`: count + 1 bounds
};

struct DotPyramid {
    std::vector<DotPyramidLevel> levels; // the finest first, each one zoom coarser than the one before
    // The readings with a position, ordered by their cell of the finest zoom, and by index within one.
    std::vector<std::uint32_t> order;
    // Per cell of every level: its relative column | relative row << 16.
    std::vector<std::uint32_t> cell;
    // Per level, count + 1 bounds: cell c holds [first[c], first[c + 1]) of the next finer level's
    // cells, or of `order` at the finest level.
    std::vector<std::uint32_t> first;

    bool empty() const { return levels.empty(); }
    std::size_t Cells() const { return cell.size(); }
    std::size_t MemoryUsage() const;
};

// The cells of zoom `zoom` of a web map point (fractions of the world, as ProjectToWebMap gives
// them plus the frame's x0, y0).
std::int64_t DotCellOf(double world, int zoom);

// The pyramid of the readings at (lon, lat), placed as `frame` places them on the web map. Its
// cells are binned at kDotPyramidFinestZoom, or coarser for a wide site, so that a level spans at
// most 32,768 cells each way; the finest level kept is the first whose cells hold two readings on
// average, and the levels go up to 15 zooms coarser than the binning, or zoom 0.
DotPyramid BuildDotPyramid(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat);

// The reading each cell shows, for every cell of every level: the one whose value, as the 32-bit
// float the page draws, lies farthest from `centre`; of equals, the lowest index; kNoReading where
// every value is a gap (NaN). This is what binning every reading into the cells of the level's zoom
// and keeping the farthest in each gives.
std::vector<std::uint32_t> DotRepresentatives(const DotPyramid& pyramid, std::span<const double> value, double centre);

} // namespace qm::site
