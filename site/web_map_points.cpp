// Readings onto the web map: the arc of longitudes, the first extent and the projection.
#include "web_map_points.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace qm::site {

namespace {

constexpr int kLongitudeBins = 3600; // tenths of a degree

double Wrapped(double lon)
{
    // Within the world already (nearly always) the remainder is the sum itself: skip the division.
    const double shifted = lon + 180.0;
    if (shifted >= 0.0 && shifted < 360.0)
        return shifted - 180.0;
    double w = std::fmod(shifted, 360.0);
    if (w < 0)
        w += 360.0;
    return w - 180.0;
}

int BinOf(double wrapped)
{
    return std::clamp(static_cast<int>((wrapped + 180.0) * (kLongitudeBins / 360.0)), 0, kLongitudeBins - 1);
}

double LatitudeRadians(double degrees)
{
    return std::clamp(degrees, -kMercatorLatitudeLimit, kMercatorLatitudeLimit) * (std::numbers::pi / 180);
}

double WebMapYOfRadians(double phi)
{
    return 0.5 - std::log(std::tan(std::numbers::pi / 4 + phi / 2)) / (2 * std::numbers::pi);
}

template <typename T>
void Project(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat, std::span<T> x,
             std::span<T> y)
{
    const std::size_t n = std::min({lon.size(), lat.size(), x.size(), y.size()});
    for (std::size_t i = 0; i < n; ++i)
        x[i] = static_cast<T>((ContinuousLongitude(frame, lon[i]) + 180.0) / 360.0 - frame.x0);

    // The projection of the latitudes is interpolated by cubic Hermite between nodes 1e-4 radian
    // apart, with its exact slope: off by less than 1e-13 of the world (a ten-thousandth of a pixel
    // at the deepest zoom), at a few multiplications a reading instead of a logarithm and a tangent.
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(lat[i])) {
            lo = std::min(lo, lat[i]);
            hi = std::max(hi, lat[i]);
        }
    }
    lo = LatitudeRadians(lo);
    hi = LatitudeRadians(hi);
    constexpr double kNodeSpacing = 1e-4;
    const double span = hi - lo;
    if (!(span > 0) || span / kNodeSpacing > 100000) {
        for (std::size_t i = 0; i < n; ++i)
            y[i] = static_cast<T>(WebMapYOfRadians(LatitudeRadians(lat[i])) - frame.y0);
        return;
    }
    const auto nodes = static_cast<std::size_t>(std::ceil(span / kNodeSpacing));
    const double h = span / static_cast<double>(nodes);
    std::vector<double> at(nodes + 1);
    std::vector<double> slope(nodes + 1); // dy/dphi times h
    for (std::size_t k = 0; k <= nodes; ++k) {
        const double phi = k == nodes ? hi : lo + static_cast<double>(k) * h;
        at[k] = WebMapYOfRadians(phi);
        slope[k] = -h / (2 * std::numbers::pi * std::cos(phi));
    }
    const double last = static_cast<double>(nodes - 1);
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(lat[i])) {
            y[i] = std::numeric_limits<T>::quiet_NaN();
            continue;
        }
        const double t = (LatitudeRadians(lat[i]) - lo) / h;
        const double j = std::clamp(std::floor(t), 0.0, last);
        const auto k = static_cast<std::size_t>(j);
        const double u = t - j;
        const double u2 = u * u;
        const double u3 = u2 * u;
        const double value = (2 * u3 - 3 * u2 + 1) * at[k] + (u3 - 2 * u2 + u) * slope[k] +
                             (3 * u2 - 2 * u3) * at[k + 1] + (u3 - u2) * slope[k + 1];
        y[i] = static_cast<T>(value - frame.y0);
    }
}

} // namespace

WebMapFrame WebMapFrameOf(std::span<const double> lon, std::span<const double> lat)
{
    WebMapFrame frame;
    const std::size_t n = std::min(lon.size(), lat.size());
    // One pass: the tenths of a degree occupied, with the least and greatest longitude in each, and
    // the latitudes' bounds.
    constexpr double inf = std::numeric_limits<double>::infinity();
    std::vector<double> binWest(kLongitudeBins, inf);
    std::vector<double> binEast(kLongitudeBins, -inf);
    double south = inf;
    double north = -inf;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(lon[i]) || !std::isfinite(lat[i]))
            continue;
        ++frame.count;
        const double w = Wrapped(lon[i]);
        const int bin = BinOf(w);
        binWest[bin] = std::min(binWest[bin], w);
        binEast[bin] = std::max(binEast[bin], w);
        south = std::min(south, lat[i]);
        north = std::max(north, lat[i]);
    }
    if (frame.count == 0)
        return frame;
    const auto occupied = [&](int bin) { return binWest[static_cast<std::size_t>(bin)] <= binEast[static_cast<std::size_t>(bin)]; };

    // The arc is the complement of the widest empty gap between occupied tenths of a degree.
    int bestGap = 0;
    int arcStart = -1; // first occupied bin after the widest gap
    for (int start = 0; start < kLongitudeBins; ++start) {
        if (!occupied(start) || occupied((start + kLongitudeBins - 1) % kLongitudeBins))
            continue;
        int gap = 0;
        while (gap < kLongitudeBins && !occupied((start + kLongitudeBins - 1 - gap) % kLongitudeBins))
            ++gap;
        if (gap > bestGap) {
            bestGap = gap;
            arcStart = start;
        }
    }
    // No gap (readings all round the world), or the arc already starts at -180: as given.
    frame.arcStart = std::max(arcStart, 0);

    double west = inf;
    double east = -inf;
    for (int bin = 0; bin < kLongitudeBins; ++bin) {
        if (!occupied(bin))
            continue;
        west = std::min(west, ContinuousLongitude(frame, binWest[static_cast<std::size_t>(bin)]));
        east = std::max(east, ContinuousLongitude(frame, binEast[static_cast<std::size_t>(bin)]));
    }
    // Readings given beyond +-180 keep their own bounds when taken as given.
    if (arcStart <= 0) {
        west = inf;
        east = -inf;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(lon[i]) && std::isfinite(lat[i])) {
                west = std::min(west, lon[i]);
                east = std::max(east, lon[i]);
            }
        }
    }
    frame.extent = ViewExtent(SiteExtent{west, south, east, north});
    frame.compact = east - west <= 2 && north - south <= 2;
    if (frame.compact) {
        frame.x0 = ((west + east) / 2 + 180.0) / 360.0;
        frame.y0 = WebMapY((south + north) / 2);
    }
    return frame;
}

double ContinuousLongitude(const WebMapFrame& frame, double lon)
{
    if (frame.arcStart == 0 || !std::isfinite(lon))
        return lon;
    // By the tenth of a degree, as the arc was found: a longitude on the arc's first edge stays.
    const double w = Wrapped(lon);
    return BinOf(w) < frame.arcStart ? w + 360.0 : w;
}

void ProjectToWebMap(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat,
                     std::span<float> x, std::span<float> y)
{
    Project(frame, lon, lat, x, y);
}

void ProjectToWebMap(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat,
                     std::span<double> x, std::span<double> y)
{
    Project(frame, lon, lat, x, y);
}

double WebMapY(double latDegrees)
{
    return WebMapYOfRadians(LatitudeRadians(latDegrees));
}

LonLat WebMapToLonLat(const WebMapFrame& frame, double x, double y)
{
    LonLat position;
    position.lon = Wrapped((frame.x0 + x) * 360.0 - 180.0);
    position.lat = std::atan(std::sinh((0.5 - (frame.y0 + y)) * 2 * std::numbers::pi)) * (180 / std::numbers::pi);
    return position;
}

} // namespace qm::site
