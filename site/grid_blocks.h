// What the geometry of a grid (grid.cpp) hands the gridding of its blocks (grid_blocks.cpp): the
// readings as projected, their shape, and the share of the progress a step reports in. Plain C++
// on GDAL, internal to the site core.
#pragma once

#include "grid.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace qm::site::detail {

// A share of the whole progress: a step reports its own fraction, the user sees the whole.
struct ProgressSpan {
    const GridProgress* progress;
    double from;
    double to;
    bool Report(double fraction) const
    {
        return !*progress || (*progress)(from + (to - from) * std::clamp(fraction, 0.0, 1.0));
    }
};


// The readings a grid is made of: those of the request with a finite position and value, and, once
// projected to the grid's zone, their positions as single-precision offsets from a point near the
// site (the first reading's, rounded to a kilometre): exact to a millimetre over 10 km, at half the
// memory.
struct GridReadings {
    std::span<const double> lon, lat, value;
    // The file of each reading and the files, where known (for messages).
    const ReadingFiles* file = nullptr;
    const std::vector<std::filesystem::path>* names = nullptr;
    // The request's index of each reading kept, when some are left out; empty when all are kept
    // (the usual case), to spare memory.
    std::vector<std::uint32_t> used;
    std::size_t kept = 0;
    double ox = 0, oy = 0;
    std::vector<float> x, y;

    std::size_t Reading(std::size_t i) const { return used.empty() ? i : used[i]; }
};

// Whether the points lie on one point or one straight line: the smaller principal spread of
// the cloud is below a millimetre (or a billionth of the larger).
enum class Shape { Point, Line, Area };
template <typename T>
Shape ShapeOf(std::span<const T> x, std::span<const T> y)
{
    const double n = static_cast<double>(x.size());
    double mx = 0, my = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        mx += x[i];
        my += y[i];
    }
    mx /= n;
    my /= n;
    double sxx = 0, syy = 0, sxy = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double dx = x[i] - mx, dy = y[i] - my;
        sxx += dx * dx;
        syy += dy * dy;
        sxy += dx * dy;
    }
    sxx /= n;
    syy /= n;
    sxy /= n;
    const double mean = (sxx + syy) / 2;
    const double spread = std::sqrt(std::max(0.0, (sxx - syy) * (sxx - syy) / 4 + sxy * sxy));
    const double major = std::sqrt(mean + spread);
    const double minor = std::sqrt(std::max(0.0, mean - spread));
    if (major < 1e-3)
        return Shape::Point;
    if (minor < 1e-3 || minor < major * 1e-9)
        return Shape::Line;
    return Shape::Area;
}


// Where the rows of a grid go when it is not held whole: from north to south, a band of blocks at
// a time. Each throws Error when it cannot take them.
class RowSink {
public:
    virtual ~RowSink() = default;
    // Called once the grid's geometry is set (its values empty).
    virtual void Begin(const GridResult& grid) = 0;
    // Rows [row0, row0 + count) of the raster, grid.width values each.
    virtual void Rows(int row0, int count, std::span<const float> values) = 0;
};

// Fills the raster of `result` (its geometry set, every cell kNoData) block by block with GDAL's
// gridding of the projected readings, several blocks at a time; with a sink, hands its rows to
// the sink instead, holding a band of blocks at a time (the cells are the same either way).
// Throws Error when GDAL or the sink fails, Cancelled when the progress stops it.
void GridBlocks(const GridReadings& readings, const GridRequest& request, GridResult& result,
                RowSink* sink = nullptr);

// The readings of a request, as given or placed (with their files, for messages).
GridReadings ReadingsOf(std::span<const double> lon, std::span<const double> lat, std::span<const double> value);
GridReadings ReadingsOf(const PlacedReadings& readings);

// The grid of the readings; one of more than `wholeCells` cells goes to `sink` (when given)
// instead of its values, which stay empty. Throws as ComputeGrid does.
GridResult ComputeGridTo(GridReadings in, const GridRequest& request, RowSink* sink, std::uint64_t wholeCells);

// The message of a grid that does not fit in the memory.
inline constexpr const char* kOutOfMemory =
    "Out of memory: the grid is too large for this computer. Try a larger cell size.";

} // namespace qm::site::detail
