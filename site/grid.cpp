// Gridding of placed readings with GDAL: projection to the UTM zone of the median position, the
// default cell size and radius from the line spacing, and GDAL's gridding block by block.
#include "grid.h"

#include "gdal_support.h"
#include "grid_spacing.h"
#include "placed_readings.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>

namespace qm::site {

using detail::Buckets;
using detail::LineSpacing;
using detail::Median;

namespace {

std::string Format(const char* format, auto... args)
{
    char text[512];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}


int ZoneOf(double lon)
{
    return std::clamp(static_cast<int>(std::floor((lon + 180.0) / 6.0)) + 1, 1, 60);
}

// The nearest of 1, 2, 2.5 and 5 times a power of ten, so that cell sizes read well.
double Nice(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    double best = power;
    for (double step : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (std::abs(std::log(step * power / value)) < std::abs(std::log(best / value)))
            best = step * power;
    return best;
}

double TwoDigits(double value)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)) - 1);
    return std::round(value / power) * power;
}

using gdal::ErrorTrap;

constexpr const char* kOutOfMemory = "Out of memory: the grid is too large for this computer. Try a larger cell size.";

struct ProgressSpan {
    const GridProgress* progress;
    double from;
    double to;
    bool Report(double fraction) const
    {
        return !*progress || (*progress)(from + (to - from) * std::clamp(fraction, 0.0, 1.0));
    }
};

struct ContextDeleter {
    void operator()(GDALGridContext* context) const { GDALGridContextFree(context); }
};
using ContextPtr = std::unique_ptr<GDALGridContext, ContextDeleter>;

// GDAL's options for a method, with the radius and the nodata value filled in.
struct MethodOptions {
    GDALGridAlgorithm algorithm;
    GDALGridLinearOptions linear{};
    GDALGridInverseDistanceToAPowerNearestNeighborOptions invdist{};
    GDALGridNearestNeighborOptions nearest{};
    GDALGridMovingAverageOptions average{};

    MethodOptions(GridMethod method, double radius)
    {
        linear.nSizeOfStructure = sizeof linear;
        linear.dfRadius = radius; // outside the triangulation: the nearest reading within the radius
        linear.dfNoDataValue = kNoData;
        invdist.nSizeOfStructure = sizeof invdist;
        invdist.dfPower = 2;
        invdist.dfRadius = radius;
        invdist.nMaxPoints = 12;
        invdist.nMinPoints = 1;
        invdist.dfNoDataValue = kNoData;
        nearest.nSizeOfStructure = sizeof nearest;
        nearest.dfRadius1 = nearest.dfRadius2 = radius;
        nearest.dfNoDataValue = kNoData;
        average.nSizeOfStructure = sizeof average;
        average.dfRadius1 = average.dfRadius2 = radius;
        average.nMinPoints = 1;
        average.dfNoDataValue = kNoData;
        switch (method) {
        case GridMethod::Linear: algorithm = GGA_Linear; break;
        case GridMethod::InverseDistance: algorithm = GGA_InverseDistanceToAPowerNearestNeighbor; break;
        case GridMethod::Nearest: algorithm = GGA_NearestNeighbor; break;
        case GridMethod::Average: algorithm = GGA_MovingAverage; break;
        }
    }
    const void* For(GDALGridAlgorithm which) const
    {
        switch (which) {
        case GGA_Linear: return &linear;
        case GGA_InverseDistanceToAPowerNearestNeighbor: return &invdist;
        case GGA_NearestNeighbor: return &nearest;
        default: return &average;
        }
    }
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

// The progress of a block. The user's progress is called on the caller's thread only; the other
// threads only look at `stop`, which a false answer sets.
struct BlockProgress {
    const GridProgress* user; // null on the other threads
    std::atomic<bool>* stop;
    std::atomic<double>* done;
    double cells, blockCells;
};

int CPL_STDCALL ReportBlock(double fraction, const char*, void* data)
{
    auto* p = static_cast<BlockProgress*>(data);
    if (p->user && *p->user && !(*p->user)(0.05 + 0.95 * (*p->done + fraction * p->blockCells) / p->cells))
        *p->stop = true;
    return *p->stop ? FALSE : TRUE;
}

// The number of blocks gridded at once: GDAL_NUM_THREADS, a count or ALL_CPUS (the default).
int Workers()
{
    const char* setting = CPLGetConfigOption("GDAL_NUM_THREADS", "ALL_CPUS");
    const int count = EQUAL(setting, "ALL_CPUS") ? CPLGetNumCPUs() : std::atoi(setting);
    return std::clamp(count, 1, 64);
}

// A GDAL setting for this thread only, restored on leaving.
class ThreadConfig {
public:
    ThreadConfig(const char* key, const char* value) : key_(key)
    {
        const char* before = CPLGetThreadLocalConfigOption(key, nullptr);
        if (before)
            before_ = before;
        CPLSetThreadLocalConfigOption(key, value);
    }
    ~ThreadConfig() { CPLSetThreadLocalConfigOption(key_, before_ ? before_->c_str() : nullptr); }
    ThreadConfig(const ThreadConfig&) = delete;
    ThreadConfig& operator=(const ThreadConfig&) = delete;

private:
    const char* key_;
    std::optional<std::string> before_;
};

// Grids one block from the readings within its reach into `block` (row 0 to the north).
// False when GDAL fails or the progress stops it.
bool GridBlock(const MethodOptions& options, double radius, const std::vector<double>& bx,
               const std::vector<double>& by, const std::vector<double>& bz, double west, double east, double north,
               double south, int width, int height, double cell, double margin, std::vector<float>& block,
               GDALProgressFunc progress, void* progressData)
{
    // Readings that give no triangle are gridded as GDAL's linear method grids the cells
    // outside the triangulation: the nearest reading within the radius.
    GDALGridAlgorithm algorithm = options.algorithm;
    if (algorithm == GGA_Linear && (bx.size() < 3 || ShapeOf<double>(bx, by) != Shape::Area))
        algorithm = GGA_NearestNeighbor;
    const auto count = static_cast<GUInt32>(bx.size());
    ContextPtr context(
        GDALGridContextCreate(algorithm, options.For(algorithm), count, bx.data(), by.data(), bz.data(), TRUE));
    if (!context && algorithm == GGA_Linear) {
        algorithm = GGA_NearestNeighbor;
        context.reset(
            GDALGridContextCreate(algorithm, options.For(algorithm), count, bx.data(), by.data(), bz.data(), TRUE));
    }
    if (!context)
        return false;
    block.assign(static_cast<std::size_t>(width) * height, kNoData);
    // From north to south, so that the first row is the northern edge.
    if (GDALGridContextProcess(context.get(), west, east, north, south, static_cast<GUInt32>(width),
                               static_cast<GUInt32>(height), GDT_Float32, block.data(), progress,
                               progressData) != CE_None)
        return false;
    context.reset();
    if (algorithm != GGA_Linear)
        return true;

    // Linear interpolation fills whole triangles, however far apart their corners: empty the
    // cells that no reading lies within the radius of.
    const Buckets near(std::span<const double>(bx), std::span<const double>(by), west - margin, south - margin, east + margin, north + margin, radius);
    const double r2 = radius * radius;
    for (int r = 0; r < height; ++r) {
        const double cy = north - (r + 0.5) * cell;
        for (int c = 0; c < width; ++c) {
            float& v = block[static_cast<std::size_t>(r) * width + c];
            if (v == kNoData)
                continue;
            const double cx = west + (c + 0.5) * cell;
            const int nc = near.Col(cx), nr = near.Row(cy);
            bool within = false;
            for (int rr = std::max(0, nr - 1); rr <= std::min(near.ny - 1, nr + 1) && !within; ++rr)
                for (int cc = std::max(0, nc - 1); cc <= std::min(near.nx - 1, nc + 1) && !within; ++cc)
                    for (std::uint32_t i : near.In(cc, rr))
                        if ((bx[i] - cx) * (bx[i] - cx) + (by[i] - cy) * (by[i] - cy) <= r2) {
                            within = true;
                            break;
                        }
            if (!within)
                v = kNoData;
        }
    }
    return true;
}


} // namespace

const char* MethodName(GridMethod method)
{
    switch (method) {
    case GridMethod::Linear: return "linear";
    case GridMethod::InverseDistance: return "inverse distance";
    case GridMethod::Nearest: return "nearest";
    case GridMethod::Average: return "average";
    }
    return "linear";
}

std::optional<GridMethod> ParseMethod(const std::string& name)
{
    if (name == "linear")
        return GridMethod::Linear;
    if (name == "inverse distance" || name == "invdist")
        return GridMethod::InverseDistance;
    if (name == "nearest")
        return GridMethod::Nearest;
    if (name == "average")
        return GridMethod::Average;
    return std::nullopt;
}


double EstimateLineSpacing(std::span<const double> x, std::span<const double> y)
{
    return LineSpacing(x, y);
}

GridResult ComputeGrid(const PlacedReadings& readings, const GridRequest& request)
{
    return ComputeGrid(readings.lon, readings.lat, readings.value, request);
}

namespace {

GridResult Compute(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                   const GridRequest& request)
{
    gdal::RegisterDrivers();
    ErrorTrap trap;
    GridResult result;
    result.method = request.method;
    if (!std::isfinite(request.cellSize) || !std::isfinite(request.radius)) {
        result.error = !std::isfinite(request.cellSize) ? "The cell size must be a finite number of metres."
                                                        : "The search radius must be a finite number of metres.";
        return result;
    }
    const auto cancelled = [&result] {
        result.cancelled = true;
        result.error = "Cancelled.";
        return result;
    };
    const ProgressSpan preparing{&request.progress, 0.0, 0.05};

    // Readings that can be placed, in WGS 84. `used` lists them when some are left out, and
    // stays empty when all are placed (the usual case), to spare memory.
    const std::size_t total = std::min({lon.size(), lat.size(), value.size()});
    if (total > std::numeric_limits<std::uint32_t>::max()) {
        result.error = "There are too many readings to grid at once.";
        return result;
    }
    const auto placeable = [&](std::size_t i) {
        return std::isfinite(lon[i]) && std::isfinite(lat[i]) && std::isfinite(value[i]) && std::abs(lat[i]) <= 90 &&
               std::abs(lon[i]) <= 180;
    };
    std::vector<std::uint32_t> used;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < total; ++i)
        kept += placeable(i) ? 1 : 0;
    if (kept < total) {
        used.reserve(kept);
        for (std::size_t i = 0; i < total; ++i)
            if (placeable(i))
                used.push_back(static_cast<std::uint32_t>(i));
    }
    const auto reading = [&used](std::size_t i) -> std::size_t { return used.empty() ? i : used[i]; };
    result.readingsUsed = kept;
    result.readingsLeftOut = total - kept;
    if (kept == 0) {
        result.error = "No reading has a position: there is nothing to grid.";
        return result;
    }

    // The zone of the median position.
    {
        std::vector<double> coordinate(kept);
        for (std::size_t i = 0; i < kept; ++i)
            coordinate[i] = lon[reading(i)];
        result.zone = ZoneOf(Median(std::move(coordinate)));
    }
    double medianLat = 0;
    {
        std::vector<double> coordinate(kept);
        for (std::size_t i = 0; i < kept; ++i)
            coordinate[i] = lat[reading(i)];
        medianLat = Median(std::move(coordinate));
    }
    result.north = medianLat >= 0;
    result.epsg = (result.north ? 32600 : 32700) + result.zone;
    // The zones the readings span, the short way round: the zones run on across the antimeridian
    // (60 to 1), so the span is all but the longest run of zones without a reading.
    std::array<bool, 61> inZone{};
    for (std::size_t i = 0; i < kept; ++i)
        inZone[ZoneOf(lon[reading(i)])] = true;
    int lowZone = 1, highZone = 60, longestGap = -1;
    for (int from = 1; from <= 60; ++from) {
        if (!inZone[from] || inZone[from % 60 + 1])
            continue; // a gap starts after a zone with readings
        int gap = 0;
        while (!inZone[(from + gap) % 60 + 1])
            ++gap;
        if (gap > longestGap) {
            longestGap = gap;
            lowZone = (from + gap) % 60 + 1;
            highZone = from;
        }
    }
    if (lowZone != highZone)
        result.messages.push_back(Format("The readings span UTM zones %d to %d; the grid is in zone %d%c, "
                                         "that of their median position.",
                                         lowZone, highZone, result.zone, result.north ? 'N' : 'S'));

    OGRSpatialReference wgs84, utm;
    wgs84.importFromEPSG(4326);
    utm.importFromEPSG(result.epsg);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toUtm(OGRCreateCoordinateTransformation(&wgs84, &utm));
    if (!toUtm) {
        result.error = "The coordinate transformation to UTM is not available: " + trap.First();
        return result;
    }

    // Projected positions are kept as single-precision offsets from a point near the site
    // (the first reading's position rounded to a kilometre): exact to a millimetre over 10 km,
    // at half the memory. NaN marks a reading the projection could not place.
    double ox = lon[reading(0)], oy = lat[reading(0)];
    toUtm->Transform(1, &ox, &oy);
    ox = std::round(ox / 1000) * 1000;
    oy = std::round(oy / 1000) * 1000;
    std::vector<float> x(kept), y(kept);
    {
        constexpr std::size_t kChunk = 1 << 14;
        std::vector<double> cx(kChunk), cy(kChunk);
        std::vector<int> success(kChunk);
        std::size_t failed = 0;
        for (std::size_t from = 0; from < kept; from += kChunk) {
            const std::size_t count = std::min(kChunk, kept - from);
            for (std::size_t i = 0; i < count; ++i) {
                cx[i] = lon[reading(from + i)];
                cy[i] = lat[reading(from + i)];
            }
            toUtm->Transform(static_cast<int>(count), cx.data(), cy.data(), nullptr, success.data());
            for (std::size_t i = 0; i < count; ++i) {
                const bool ok = success[i] && std::isfinite(cx[i]) && std::isfinite(cy[i]);
                x[from + i] = ok ? static_cast<float>(cx[i] - ox) : std::numeric_limits<float>::quiet_NaN();
                y[from + i] = static_cast<float>(cy[i] - oy);
                failed += ok ? 0 : 1;
            }
            if (!preparing.Report(0.5 * static_cast<double>(from + count) / static_cast<double>(kept)))
                return cancelled();
        }
        // Leave out the readings the projection could not place.
        if (failed > 0) {
            if (used.empty()) {
                used.resize(kept);
                for (std::size_t i = 0; i < kept; ++i)
                    used[i] = static_cast<std::uint32_t>(i);
            }
            std::size_t to = 0;
            for (std::size_t i = 0; i < kept; ++i)
                if (!std::isnan(x[i])) {
                    x[to] = x[i];
                    y[to] = y[i];
                    used[to] = used[i];
                    ++to;
                }
            kept = to;
            x.resize(kept);
            y.resize(kept);
            used.resize(kept);
            result.readingsLeftOut += failed;
            result.readingsUsed = kept;
        }
    }
    if (kept == 0) {
        result.error = "No reading has a position: there is nothing to grid.";
        return result;
    }
    const std::span<const float> xs(x), ys(y);

    const Shape shape = ShapeOf(xs, ys);
    if (request.method == GridMethod::Linear && shape != Shape::Area) {
        result.error = shape == Shape::Point
                           ? "All readings lie on one point, so linear interpolation has no triangle to work with. "
                             "Use \"nearest\" or \"average\"."
                           : "All readings lie on one straight line, so linear interpolation has no triangle to "
                             "work with. Use \"nearest\" or \"average\".";
        return result;
    }

    result.lineSpacing = LineSpacing(xs, ys);
    const double spacing = result.lineSpacing > 0 ? result.lineSpacing : 1.0;
    if (!preparing.Report(0.8))
        return cancelled();

    const auto [minXi, maxXi] = std::minmax_element(x.begin(), x.end());
    const auto [minYi, maxYi] = std::minmax_element(y.begin(), y.end());
    const double minX = ox + *minXi, maxX = ox + *maxXi, minY = oy + *minYi, maxY = oy + *maxYi;
    const auto cellsFor = [&](double cell) {
        const double w = std::floor((maxX - std::floor(minX / cell) * cell) / cell) + 1;
        const double h = std::floor((std::ceil(maxY / cell) * cell - minY) / cell) + 1;
        return w * h;
    };
    // A count that is not finite (a cell so small that the coordinates overflow in cells, which
    // can make it -inf or NaN) is as much too many as a large one: both fail this test.
    const auto fitsLimit = [&](double cell) {
        const double count = cellsFor(cell);
        return std::isfinite(count) && count >= 1 && count <= static_cast<double>(kMaxGridCells);
    };

    const bool defaultCell = !(request.cellSize > 0);
    double cell = defaultCell ? std::max(Nice(spacing / 4), kMinCellSize) : request.cellSize;
    if (!fitsLimit(cell)) {
        if (!defaultCell) {
            // The smallest cell size within the limit, for the message: the count falls with the size.
            double fits = std::max(cell, kMinCellSize);
            while (!fitsLimit(fits))
                fits *= 1.05;
            const double count = cellsFor(cell);
            result.error = std::isfinite(count) && count > 0
                               ? Format("A cell size of %g m gives %.0f cells; at most %llu cells are allowed "
                                        "(a cell size of about %.3g m or more).",
                                        cell, count, static_cast<unsigned long long>(kMaxGridCells), fits)
                               : Format("A cell size of %g m gives more cells than can be counted; at most %llu "
                                        "cells are allowed (a cell size of about %.3g m or more).",
                                        cell, static_cast<unsigned long long>(kMaxGridCells), fits);
            return result;
        }
        while (!fitsLimit(cell))
            cell = Nice(cell * 1.5);
        result.messages.push_back(
            Format("The cell size is %g m so that the grid stays within %llu cells.", cell,
                   static_cast<unsigned long long>(kMaxGridCells)));
    }
    // Positions are kept to a millimetre, and the grid's edges must stay finite in metres.
    if (cell < kMinCellSize || cell > kMaxCellSize) {
        result.error = Format("A cell size of %g m is out of range: give from %g m to %g m.", cell, kMinCellSize,
                              kMaxCellSize);
        return result;
    }
    result.cellSize = cell;
    result.originX = std::floor(minX / cell) * cell;
    result.originY = std::ceil(maxY / cell) * cell;
    result.width = static_cast<int>(std::floor((maxX - result.originX) / cell)) + 1;
    result.height = static_cast<int>(std::floor((result.originY - minY) / cell)) + 1;
    result.values.assign(static_cast<std::size_t>(result.width) * result.height, kNoData);

    // A radius beyond the grid's diagonal reaches no reading that the diagonal does not, from any
    // cell, so it is cut to the diagonal (and a cell): the grid is the same, and the reach of each
    // block stays a count of blocks.
    const double diagonal = std::hypot(result.width * cell, result.height * cell) + cell;
    double radius = request.radius > 0 ? request.radius : TwoDigits(2 * spacing);
    if (radius > diagonal) {
        radius = diagonal;
        if (request.radius > 0)
            result.messages.push_back(Format("The search radius is %g m, the grid's diagonal: a larger one "
                                             "reaches no further reading.",
                                             radius));
    }
    result.radius = radius;

    // Blocks of cells, each gridded from the readings within its reach, several at a time:
    // GDAL_NUM_THREADS (all processors by default, as for GDAL's own gridding) sets how many.
    // Each block holds about 16,000 readings over all threads at work, so that the triangulations in
    // memory stay small whatever the site's size. Linear interpolation takes the readings of a
    // margin of the radius and two cells around the block, so that every triangle that matters
    // inside the block is found whole; a cell that no reading lies within the radius of is
    // emptied anyway.
    const int workers = Workers();
    const double cells = static_cast<double>(result.values.size());
    const double perBlock = std::max(4096.0, 16384.0 / workers);
    const int side =
        static_cast<int>(std::clamp(std::sqrt(cells * perBlock / static_cast<double>(kept)), 64.0, 4096.0));
    // A radius far beyond the block would have every block triangulate most of the site: the
    // margin of linear interpolation stops at the block's own size.
    const double margin =
        (request.method == GridMethod::Linear ? std::min(radius, side * cell) : radius) + 2 * cell;
    const Buckets blocks(xs, ys, result.originX - ox, result.originY - result.height * cell - oy,
                         result.originX + result.width * cell - ox, result.originY - oy, side * cell);
    const MethodOptions options(request.method, radius);

    struct Block {
        int col0, row0, width, height;
    };
    std::vector<Block> todo;
    for (int row0 = 0; row0 < result.height; row0 += side)
        for (int col0 = 0; col0 < result.width; col0 += side)
            todo.push_back({col0, row0, std::min(side, result.width - col0), std::min(side, result.height - row0)});

    std::atomic<std::size_t> next{0};
    std::atomic<double> cellsDone{0};
    std::atomic<bool> stop{false};
    std::mutex failureLock;
    std::string failure;
    const auto fail = [&](std::string message) {
        const std::lock_guard lock(failureLock);
        if (failure.empty())
            failure = std::move(message);
        stop = true;
    };

    const GDALProgressFunc report = &ReportBlock;

    const auto workBlocks = [&](bool callerThread) {
        ThreadConfig oneThread("GDAL_NUM_THREADS", "1");
        ErrorTrap blockTrap;
        std::vector<double> bx, by, bz;
        std::vector<float> block;
        for (std::size_t index = next++; index < todo.size() && !stop; index = next++) {
            const Block b = todo[index];
            BlockProgress progress{callerThread ? &request.progress : nullptr, &stop, &cellsDone, cells,
                                   static_cast<double>(b.width) * b.height};
            const double west = result.originX + b.col0 * cell, east = west + b.width * cell;
            const double north = result.originY - b.row0 * cell, south = north - b.height * cell;

            bx.clear();
            by.clear();
            bz.clear();
            const int reach = static_cast<int>(
                std::min(std::ceil(margin / blocks.size) + 1, static_cast<double>(std::max(blocks.nx, blocks.ny))));
            const int c0 = blocks.Col(west - ox + 1e-9), r0 = blocks.Row(south - oy + 1e-9);
            for (int r = std::max(0, r0 - reach); r <= std::min(blocks.ny - 1, r0 + reach); ++r)
                for (int c = std::max(0, c0 - reach); c <= std::min(blocks.nx - 1, c0 + reach); ++c)
                    for (std::uint32_t i : blocks.In(c, r))
                        if (ox + x[i] >= west - margin && ox + x[i] <= east + margin &&
                            oy + y[i] >= south - margin && oy + y[i] <= north + margin) {
                            bx.push_back(ox + x[i]);
                            by.push_back(oy + y[i]);
                            bz.push_back(value[reading(i)]);
                        }
            if (!bx.empty() && !GridBlock(options, radius, bx, by, bz, west, east, north, south, b.width, b.height,
                                          cell, margin, block, report, &progress)) {
                fail(stop ? std::string() : "GDAL could not grid the readings: " + blockTrap.First());
                break;
            }
            if (!bx.empty())
                for (int r = 0; r < b.height; ++r)
                    std::copy_n(block.data() + static_cast<std::size_t>(r) * b.width, b.width,
                                result.values.data() + static_cast<std::size_t>(b.row0 + r) * result.width + b.col0);
            cellsDone.fetch_add(progress.blockCells);
            report(0, nullptr, &progress);
        }
    };
    // An exception leaving a helper thread would end the program, so each thread turns its own
    // into the grid's failure (the readings of a block, or GDAL's own memory, can run out).
    std::atomic<bool> outOfMemory{false};
    const auto work = [&](bool callerThread) {
        try {
            try {
                workBlocks(callerThread);
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception& e) {
                fail(std::string("The grid could not be computed: ") + e.what());
            }
        } catch (...) {
            // Out of memory, also while saying so: a flag needs none.
            outOfMemory = true;
            stop = true;
        }
    };
    {
        std::vector<std::jthread> helpers;
        for (int t = 1; t < std::min<int>(workers, static_cast<int>(todo.size())); ++t)
            helpers.emplace_back(work, false);
        work(true);
    }
    if (outOfMemory || !failure.empty() || stop) {
        result.values = {};
        if (outOfMemory)
            failure = kOutOfMemory;
        if (failure.empty())
            return cancelled();
        result.error = failure;
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace

GridResult ComputeGrid(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                       const GridRequest& request)
{
    // A site too large for the memory left fails like any other grid, with the reason.
    try {
        return Compute(lon, lat, value, request);
    } catch (const std::bad_alloc&) {
        GridResult result;
        result.method = request.method;
        result.error = kOutOfMemory;
        return result;
    }
}

} // namespace qm::site
