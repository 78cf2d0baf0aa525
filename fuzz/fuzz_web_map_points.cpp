// The web-map points of readings within the map's latitudes, local sites and wide ones, across the
// antimeridian and round the world. The frame must hold every reading, and every point must come
// back to its position within 1e-7 degree (about a centimetre) through WebMapToLonLat, as 64-bit
// points always and as 32-bit offsets when the frame is compact.
//
// Input: one option byte, then 16 bytes per reading: two 64-bit fractions placing its longitude
// and latitude, wholly or around a centre taken from the first reading.
#include "fuzz_check.h"

#include "web_map_points.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

constexpr double kLatitudeLimit = 85.05;
constexpr double kTolerance = 1e-7;

// A 64-bit fraction in [0, 1].
double Fraction(qm::fuzz::Input& in)
{
    const std::uint64_t bits = static_cast<std::uint64_t>(in.Bits32()) | static_cast<std::uint64_t>(in.Bits32()) << 32;
    return static_cast<double>(bits >> 11) / static_cast<double>((std::uint64_t{1} << 53) - 1);
}

double WrapLongitude(double lon)
{
    while (lon >= 180)
        lon -= 360;
    while (lon < -180)
        lon += 360;
    return lon;
}

// The difference of two longitudes the short way round.
double LongitudeDifference(double a, double b)
{
    const double d = std::fmod(std::fabs(a - b), 360.0);
    return d > 180 ? 360 - d : d;
}

template <typename T>
void CheckPointsBack(const qm::site::WebMapFrame& frame, const std::vector<double>& lon, const std::vector<double>& lat)
{
    std::vector<T> x(lon.size());
    std::vector<T> y(lon.size());
    qm::site::ProjectToWebMap(frame, lon, lat, x, y);
    for (std::size_t i = 0; i < lon.size(); ++i) {
        QM_FUZZ_CHECK(std::isfinite(x[i]) && std::isfinite(y[i]));
        const qm::site::LonLat back = qm::site::WebMapToLonLat(frame, x[i], y[i]);
        QM_FUZZ_CHECK(back.lon >= -180 && back.lon < 180);
        if (LongitudeDifference(back.lon, lon[i]) > kTolerance || std::fabs(back.lat - lat[i]) > kTolerance) {
            std::fprintf(stderr, "reading %zu at (%.17g, %.17g) came back at (%.17g, %.17g)\n", i, lon[i], lat[i],
                         back.lon, back.lat);
            QM_FUZZ_CHECK(false);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    // Readings spread around a centre by up to this many degrees of longitude and latitude (or
    // anywhere), so that compact sites, sites across the antimeridian and wide ones all come up.
    constexpr double kSpreads[] = {1e-6, 1e-3, 0.05, 0.9, 1.2, 30, 200, 400};
    const double spread = kSpreads[options & 7];
    const bool anywhere = (options & 8) != 0;
    const bool exactlyAntimeridian = (options & 16) != 0;
    std::vector<double> lon;
    std::vector<double> lat;
    double centreLon = 0;
    double centreLat = 0;
    while (in.Left() >= 16 && lon.size() < 4096) {
        const double u = Fraction(in);
        const double v = Fraction(in);
        if (lon.empty()) {
            centreLon = exactlyAntimeridian ? 180 - spread * (u - 0.5) * 0.1 : u * 360 - 180;
            centreLat = (v * 2 - 1) * kLatitudeLimit;
        }
        if (anywhere) {
            lon.push_back(u * 360 - 180);
            lat.push_back((v * 2 - 1) * kLatitudeLimit);
        } else {
            lon.push_back(WrapLongitude(centreLon + (u - 0.5) * spread));
            lat.push_back(std::fmax(-kLatitudeLimit, std::fmin(kLatitudeLimit, centreLat + (v - 0.5) * spread)));
        }
        // Some readings right on the antimeridian, given as either 180 or -180.
        if ((options & 32) != 0 && lon.size() % 7 == 3)
            lon.back() = lon.size() % 2 == 0 ? 180.0 : -180.0;
    }
    if (lon.empty())
        return 0;

    const qm::site::WebMapFrame frame = qm::site::WebMapFrameOf(lon, lat);
    QM_FUZZ_CHECK(frame.count == lon.size());
    QM_FUZZ_CHECK(frame.extent.west < frame.extent.east && frame.extent.south < frame.extent.north);
    QM_FUZZ_CHECK(frame.extent.east - frame.extent.west <= 360 + 1e-9);
    for (std::size_t i = 0; i < lon.size(); ++i) {
        const double continuous = qm::site::ContinuousLongitude(frame, lon[i]);
        const bool held = continuous >= frame.extent.west && continuous <= frame.extent.east &&
                          lat[i] >= frame.extent.south && lat[i] <= frame.extent.north;
        if (!held) {
            std::fprintf(stderr, "reading %zu at (%.17g, %.17g), continuous %.17g, outside [%.17g, %.17g] x [%.17g, %.17g]\n",
                         i, lon[i], lat[i], continuous, frame.extent.west, frame.extent.east, frame.extent.south,
                         frame.extent.north);
            QM_FUZZ_CHECK(false);
        }
        QM_FUZZ_CHECK(LongitudeDifference(continuous, lon[i]) <= 1e-9);
    }
    CheckPointsBack<double>(frame, lon, lat);
    if (frame.compact)
        CheckPointsBack<float>(frame, lon, lat);
    return 0;
}
