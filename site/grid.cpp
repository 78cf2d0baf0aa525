// Gridding of placed readings with GDAL: projection to the UTM zone of the median position, the
// default cell size and radius from the line spacing, and GDAL's gridding block by block.
#include "grid.h"

#include "errors.h"
#include "file_io.h"
#include "gdal_support.h"
#include "grid_blocks.h"
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
using detail::Spacing;
using detail::SpacingOf;
using detail::Median;
using detail::GridReadings;
using detail::ProgressSpan;
using detail::Shape;
using detail::ShapeOf;
using detail::GridBlocks;

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



std::string ZoneName(const GridResult& grid)
{
    if (grid.zone == 0)
        return grid.north ? "UPS North" : "UPS South";
    return "UTM zone " + std::to_string(grid.zone) + (grid.north ? "N" : "S");
}

namespace {

// The readings with a finite position on the globe and a finite value.
void SelectPlaceable(GridReadings& in, GridResult& result)
{
    const std::size_t total = std::min({in.lon.size(), in.lat.size(), in.value.size()});
    if (total > std::numeric_limits<std::uint32_t>::max())
        throw Error("There are too many readings to grid at once.");
    const auto placeable = [&in](std::size_t i) {
        return std::isfinite(in.lon[i]) && std::isfinite(in.lat[i]) && std::isfinite(in.value[i]) &&
               std::abs(in.lat[i]) <= 90 && std::abs(in.lon[i]) <= 180;
    };
    std::size_t kept = 0;
    for (std::size_t i = 0; i < total; ++i)
        kept += placeable(i) ? 1 : 0;
    if (kept < total) {
        in.used.reserve(kept);
        for (std::size_t i = 0; i < total; ++i)
            if (placeable(i))
                in.used.push_back(static_cast<std::uint32_t>(i));
    }
    in.kept = kept;
    result.readingsUsed = kept;
    result.readingsLeftOut = total - kept;
    if (kept == 0)
        throw Error("No reading has a position: there is nothing to grid.");
}

// The zones the readings span, the short way round: the zones run on across the antimeridian
// (60 to 1), so the span is all but the longest run of zones without a reading.
std::pair<int, int> ZoneSpan(const std::array<bool, 61>& inZone)
{
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
    return {lowZone, highZone};
}

// The median of one coordinate of the readings kept.
double MedianOf(const GridReadings& in, std::span<const double> coordinate)
{
    std::vector<double> values(in.kept);
    for (std::size_t i = 0; i < in.kept; ++i)
        values[i] = coordinate[in.Reading(i)];
    return Median(std::move(values));
}

// Great-circle distance in metres on the mean Earth sphere.
double GreatCircle(double lon1, double lat1, double lon2, double lat2)
{
    constexpr double kRadian = 3.14159265358979323846 / 180, kEarth = 6371008.8;
    const double dLat = (lat2 - lat1) * kRadian, dLon = (lon2 - lon1) * kRadian;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * kRadian) * std::cos(lat2 * kRadian) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarth * std::asin(std::min(1.0, std::sqrt(h)));
}

// Refuses readings spread over more than one site: one farther than kMaxGridSpreadMetres from the
// median position, whose longitude is taken the short way round from the first reading's.
void CheckSpread(const GridReadings& in)
{
    const double reference = in.lon[in.Reading(0)];
    std::vector<double> unwrapped(in.kept);
    for (std::size_t i = 0; i < in.kept; ++i)
        unwrapped[i] = reference + std::remainder(in.lon[in.Reading(i)] - reference, 360.0);
    const double medianLon = Median(std::move(unwrapped)), medianLat = MedianOf(in, in.lat);
    std::size_t far = 0, farthest = 0;
    double farthestDistance = 0;
    for (std::size_t i = 0; i < in.kept; ++i) {
        const std::size_t r = in.Reading(i);
        const double d = GreatCircle(medianLon, medianLat, in.lon[r], in.lat[r]);
        if (d <= kMaxGridSpreadMetres)
            continue;
        ++far;
        if (d > farthestDistance) {
            farthestDistance = d;
            farthest = r;
        }
    }
    if (far == 0)
        return;
    std::string where;
    if (in.names && in.file && farthest < in.file->size() && (*in.file)[farthest] < in.names->size())
        where = ", the farthest in " + Utf8Of((*in.names)[(*in.file)[farthest]]);
    throw Error(Format("%zu %s more than 1,000 km from the readings' median position (%.0f km at most%s): "
                       "a grid cannot span them. Grid each site on its own.",
                       far, far == 1 ? "reading lies" : "readings lie", farthestDistance / 1000, where.c_str()));
}

// The UTM zone of the readings' median position, with a note when they span several; UPS North
// or South beyond 84°N and 80°S, where the UTM zones end.
void ChooseZone(const GridReadings& in, GridResult& result)
{
    const double medianLat = MedianOf(in, in.lat);
    result.north = medianLat >= 0;
    if (medianLat > 84 || medianLat < -80) {
        result.zone = 0;
        result.epsg = result.north ? 32661 : 32761;
        return;
    }
    result.zone = ZoneOf(MedianOf(in, in.lon));
    result.epsg = (result.north ? 32600 : 32700) + result.zone;
    std::array<bool, 61> inZone{};
    for (std::size_t i = 0; i < in.kept; ++i)
        inZone[ZoneOf(in.lon[in.Reading(i)])] = true;
    const auto [lowZone, highZone] = ZoneSpan(inZone);
    if (lowZone != highZone)
        result.messages.push_back(Format("The readings span UTM zones %d to %d; the grid is in zone %d%c, "
                                         "that of their median position.",
                                         lowZone, highZone, result.zone, result.north ? 'N' : 'S'));
}

// Leaves out the readings the projection could not place (marked NaN).
void DropUnprojected(GridReadings& in, std::size_t failed, GridResult& result)
{
    if (in.used.empty()) {
        in.used.resize(in.kept);
        for (std::size_t i = 0; i < in.kept; ++i)
            in.used[i] = static_cast<std::uint32_t>(i);
    }
    std::size_t to = 0;
    for (std::size_t i = 0; i < in.kept; ++i)
        if (!std::isnan(in.x[i])) {
            in.x[to] = in.x[i];
            in.y[to] = in.y[i];
            in.used[to] = in.used[i];
            ++to;
        }
    in.kept = to;
    in.x.resize(to);
    in.y.resize(to);
    in.used.resize(to);
    result.readingsLeftOut += failed;
    result.readingsUsed = to;
}

// The readings projected to the zone, as offsets from a point near the site.
void Project(GridReadings& in, const ProgressSpan& preparing, GridResult& result)
{
    ErrorTrap trap;
    OGRSpatialReference wgs84, utm;
    wgs84.importFromEPSG(4326);
    utm.importFromEPSG(result.epsg);
    wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    std::unique_ptr<OGRCoordinateTransformation> toUtm(OGRCreateCoordinateTransformation(&wgs84, &utm));
    if (!toUtm)
        throw Error("The coordinate transformation to UTM is not available: " + trap.First());
    double ox = in.lon[in.Reading(0)], oy = in.lat[in.Reading(0)];
    toUtm->Transform(1, &ox, &oy);
    in.ox = std::round(ox / 1000) * 1000;
    in.oy = std::round(oy / 1000) * 1000;
    in.x.resize(in.kept);
    in.y.resize(in.kept);
    constexpr std::size_t kChunk = 1 << 14;
    std::vector<double> cx(kChunk), cy(kChunk);
    std::vector<int> success(kChunk);
    std::size_t failed = 0;
    for (std::size_t from = 0; from < in.kept; from += kChunk) {
        const std::size_t count = std::min(kChunk, in.kept - from);
        for (std::size_t i = 0; i < count; ++i) {
            cx[i] = in.lon[in.Reading(from + i)];
            cy[i] = in.lat[in.Reading(from + i)];
        }
        toUtm->Transform(static_cast<int>(count), cx.data(), cy.data(), nullptr, success.data());
        for (std::size_t i = 0; i < count; ++i) {
            const bool ok = success[i] && std::isfinite(cx[i]) && std::isfinite(cy[i]);
            in.x[from + i] = ok ? static_cast<float>(cx[i] - in.ox) : std::numeric_limits<float>::quiet_NaN();
            in.y[from + i] = static_cast<float>(cy[i] - in.oy);
            failed += ok ? 0 : 1;
        }
        if (!preparing.Report(0.5 * static_cast<double>(from + count) / static_cast<double>(in.kept)))
            throw Cancelled();
    }
    if (failed > 0)
        DropUnprojected(in, failed, result);
    if (in.kept == 0)
        throw Error("No reading has a position: there is nothing to grid.");
}

// The bounds of the projected readings, in metres of the zone.
struct Bounds {
    double minX, maxX, minY, maxY;
    double Cells(double cell) const
    {
        const double w = std::floor((maxX - std::floor(minX / cell) * cell) / cell) + 1;
        const double h = std::floor((std::ceil(maxY / cell) * cell - minY) / cell) + 1;
        return w * h;
    }
    // A count that is not finite (a cell so small that the coordinates overflow in cells, which
    // can make it -inf or NaN) is as much too many as a large one: both fail this test.
    bool Fits(double cell) const
    {
        const double count = Cells(cell);
        return std::isfinite(count) && count >= 1 && count <= static_cast<double>(kMaxGridCells);
    }
};

// The cell size: the one asked for, or a quarter of the line spacing made coarser until the grid
// fits. Refuses a size asked for that does not fit.
void ChooseCell(const Bounds& bounds, double spacing, const GridRequest& request, GridResult& result)
{
    const bool defaultCell = !(request.cellSize > 0);
    double cell = defaultCell ? std::max(Nice(spacing / 4), kMinCellSize) : request.cellSize;
    if (!bounds.Fits(cell)) {
        if (!defaultCell) {
            // The smallest cell size within the limit, for the message: the count falls with the size.
            double fits = std::max(cell, kMinCellSize);
            while (!bounds.Fits(fits))
                fits *= 1.05;
            const double count = bounds.Cells(cell);
            throw Error(std::isfinite(count) && count > 0
                            ? Format("A cell size of %g m gives %.0f cells; at most %llu cells are allowed "
                                     "(a cell size of about %.3g m or more).",
                                     cell, count, static_cast<unsigned long long>(kMaxGridCells), fits)
                            : Format("A cell size of %g m gives more cells than can be counted; at most %llu "
                                     "cells are allowed (a cell size of about %.3g m or more).",
                                     cell, static_cast<unsigned long long>(kMaxGridCells), fits));
        }
        while (!bounds.Fits(cell))
            cell = Nice(cell * 1.5);
        result.messages.push_back(Format("The cell size is %g m so that the grid stays within %llu cells.", cell,
                                         static_cast<unsigned long long>(kMaxGridCells)));
    }
    // Positions are kept to a millimetre, and the grid's edges must stay finite in metres.
    if (cell < kMinCellSize || cell > kMaxCellSize)
        throw Error(Format("A cell size of %g m is out of range: give from %g m to %g m.", cell, kMinCellSize,
                           kMaxCellSize));
    result.cellSize = cell;
}

// The raster's cell, edges, size and radius (its values not yet made).
void ChooseGeometry(const GridReadings& in, const Spacing& lines, const GridRequest& request, GridResult& result)
{
    // Along a single line the cell follows the readings' own step, as the radius does.
    const double spacing = lines.oneLine ? 4 * lines.step : lines.lines > 0 ? lines.lines : 1.0;
    const auto [minXi, maxXi] = std::minmax_element(in.x.begin(), in.x.end());
    const auto [minYi, maxYi] = std::minmax_element(in.y.begin(), in.y.end());
    const Bounds bounds{in.ox + *minXi, in.ox + *maxXi, in.oy + *minYi, in.oy + *maxYi};
    ChooseCell(bounds, spacing, request, result);
    const double cell = result.cellSize;
    result.originX = std::floor(bounds.minX / cell) * cell;
    result.originY = std::ceil(bounds.maxY / cell) * cell;
    result.width = static_cast<int>(std::floor((bounds.maxX - result.originX) / cell)) + 1;
    result.height = static_cast<int>(std::floor((result.originY - bounds.minY) / cell)) + 1;

    // A radius beyond the grid's diagonal reaches no reading that the diagonal does not, from any
    // cell, so it is cut to the diagonal (and a cell): the grid is the same, and the reach of each
    // block stays a count of blocks.
    const double diagonal = std::hypot(result.width * cell, result.height * cell) + cell;
    // By default twice the line spacing, or along a single line three steps between readings; and
    // at least twice the cell, so that a typed coarse cell is not left empty between readings.
    double radius = request.radius;
    if (!(radius > 0))
        radius = std::max(lines.oneLine ? TwoDigits(3 * lines.step) : TwoDigits(2 * spacing), 2 * cell);
    if (radius > diagonal) {
        radius = diagonal;
        if (request.radius > 0)
            result.messages.push_back(Format("The search radius is %g m, the grid's diagonal: a larger one "
                                             "reaches no further reading.",
                                             radius));
    }
    result.radius = radius;
}

// Linear interpolation needs triangles: readings on one point or one line have none.
void CheckShape(const GridReadings& in, const GridRequest& request)
{
    const Shape shape = ShapeOf(std::span<const float>(in.x), std::span<const float>(in.y));
    if (request.method != GridMethod::Linear || shape == Shape::Area)
        return;
    throw Error(shape == Shape::Point
                    ? "All readings lie on one point, so linear interpolation has no triangle to work with. "
                      "Use \"nearest\" or \"average\"."
                    : "All readings lie on one straight line, so linear interpolation has no triangle to "
                      "work with. Use \"nearest\" or \"average\".");
}

// The raster's values: all cells empty and then gridded, or handed to the sink band by band.
void Fill(const GridReadings& in, const GridRequest& request, detail::RowSink* sink, GridResult& result)
{
    if (sink) {
        sink->Begin(result);
        GridBlocks(in, request, result, sink);
        return;
    }
    result.values.assign(static_cast<std::size_t>(result.width) * result.height, kNoData);
    GridBlocks(in, request, result);
}

GridResult Compute(GridReadings in, const GridRequest& request, detail::RowSink* sink, std::uint64_t wholeCells)
{
    gdal::RegisterDrivers();
    if (!std::isfinite(request.cellSize))
        throw Error("The cell size must be a finite number of metres.");
    if (!std::isfinite(request.radius))
        throw Error("The search radius must be a finite number of metres.");
    GridResult result;
    result.method = request.method;
    const ProgressSpan preparing{&request.progress, 0.0, 0.05};
    SelectPlaceable(in, result);
    CheckSpread(in);
    ChooseZone(in, result);
    Project(in, preparing, result);
    CheckShape(in, request);
    const Spacing lines = SpacingOf(std::span<const float>(in.x), std::span<const float>(in.y));
    result.lineSpacing = lines.lines;
    if (!preparing.Report(0.8))
        throw Cancelled();
    ChooseGeometry(in, lines, request, result);
    const bool whole = static_cast<std::uint64_t>(result.width) * static_cast<std::uint64_t>(result.height) <= wholeCells;
    Fill(in, request, whole ? nullptr : sink, result);
    return result;
}

} // namespace

GridResult detail::ComputeGridTo(GridReadings in, const GridRequest& request, RowSink* sink, std::uint64_t wholeCells)
{
    try {
        return Compute(std::move(in), request, sink, wholeCells);
    } catch (const std::bad_alloc&) {
        throw Error(detail::kOutOfMemory);
    }
}

GridReadings detail::ReadingsOf(std::span<const double> lon, std::span<const double> lat, std::span<const double> value)
{
    GridReadings in;
    in.lon = lon;
    in.lat = lat;
    in.value = value;
    return in;
}

GridReadings detail::ReadingsOf(const PlacedReadings& readings)
{
    GridReadings in = ReadingsOf(readings.lon, readings.lat, readings.value);
    in.file = &readings.file;
    in.names = &readings.files;
    return in;
}

GridResult ComputeGrid(std::span<const double> lon, std::span<const double> lat, std::span<const double> value,
                       const GridRequest& request)
{
    return detail::ComputeGridTo(detail::ReadingsOf(lon, lat, value), request, nullptr, kMaxGridCells);
}

GridResult ComputeGrid(const PlacedReadings& readings, const GridRequest& request)
{
    return detail::ComputeGridTo(detail::ReadingsOf(readings), request, nullptr, kMaxGridCells);
}

GridResult ComputeGrid(const PlacedReadings& readings, std::span<const double> value, const GridRequest& request)
{
    if (value.size() != readings.size())
        throw Error("The values given do not fit the readings.");
    GridReadings in = detail::ReadingsOf(readings);
    in.value = value;
    return detail::ComputeGridTo(std::move(in), request, nullptr, kMaxGridCells);
}

} // namespace qm::site
