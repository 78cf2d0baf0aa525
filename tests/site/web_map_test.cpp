// The readings as points of the web map: back to their positions within a centimetre, one piece
// across the antimeridian, and sensible near a pole and at one point.
#include "web_map_points.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace qm::site {
namespace {

// Projects the readings and checks that each point stands for its position within `tolerance` degrees.
template <typename T>
void ExpectPointsBack(const WebMapFrame& frame, const std::vector<double>& lon, const std::vector<double>& lat,
                      double tolerance)
{
    std::vector<T> x(lon.size());
    std::vector<T> y(lon.size());
    ProjectToWebMap(frame, lon, lat, x, y);
    for (std::size_t i = 0; i < lon.size(); ++i) {
        const double backLon = (frame.x0 + x[i]) * 360 - 180;
        const double backLat =
            std::atan(std::sinh((0.5 - (frame.y0 + y[i])) * 2 * std::numbers::pi)) * 180 / std::numbers::pi;
        ASSERT_NEAR(backLon, lon[i], tolerance) << i;
        ASSERT_NEAR(backLat, lat[i], tolerance) << i;
    }
}

TEST(WebMapTest, CompactSitesGoAsOffsetsWithinACentimetreAndWideOnesInFull)
{
    // Lines 0.1 degree apart start on the tenths of a degree by which the arc is found.
    std::vector<double> lon;
    std::vector<double> lat;
    for (int i = 0; i <= 1000; ++i) {
        lon.push_back(37.2 + (i % 3) * 0.1 + i * 1e-6);
        lat.push_back(56.7 + i * 7.3e-4);
    }
    const WebMapFrame compact = WebMapFrameOf(lon, lat);
    ASSERT_TRUE(compact.compact);
    EXPECT_EQ(compact.count, lon.size());
    ExpectPointsBack<float>(compact, lon, lat, 1e-7); // a centimetre is about 1e-7 degree

    lon.push_back(60);
    lat.push_back(40);
    const WebMapFrame wide = WebMapFrameOf(lon, lat);
    ASSERT_FALSE(wide.compact);
    EXPECT_EQ(wide.x0, 0);
    ExpectPointsBack<double>(wide, lon, lat, 1e-9);
    EXPECT_LT(wide.extent.west, 37.2);
    EXPECT_GE(wide.extent.east, 60);
}

TEST(WebMapTest, AcrossTheAntimeridianNearAPoleAndAtOnePoint)
{
    const std::vector<double> lon{179.99, -179.98, 179.995, -180.0, 180.0};
    const std::vector<double> lat{-16.1, -16.2, -16.15, -16.12, -16.13};
    const WebMapFrame across = WebMapFrameOf(lon, lat);
    ASSERT_TRUE(across.compact);
    EXPECT_NEAR(across.extent.west, 179.99, 1e-9);
    EXPECT_NEAR(across.extent.east, 180.02, 1e-9);
    EXPECT_DOUBLE_EQ(across.extent.south, -16.2);
    EXPECT_DOUBLE_EQ(across.extent.north, -16.1);
    for (const double l : lon) {
        EXPECT_GE(ContinuousLongitude(across, l), 179.99);
        EXPECT_LE(ContinuousLongitude(across, l), 180.02 + 1e-9);
    }

    const std::vector<double> polarLon{10, 10.001};
    const std::vector<double> polarLat{89.99, 89.995};
    const WebMapFrame pole = WebMapFrameOf(polarLon, polarLat);
    std::vector<float> x(2);
    std::vector<float> y(2);
    ProjectToWebMap(pole, polarLon, polarLat, x, y);
    EXPECT_TRUE(std::isfinite(pole.y0 + y[0]) && std::isfinite(pole.y0 + y[1]));
    EXPECT_GT(pole.y0 + y[1], -1e-9); // the top edge of the map, not beyond
    EXPECT_LE(pole.extent.north, kMercatorLatitudeLimit);
    EXPECT_GT(pole.extent.north, pole.extent.south);
    // A line up to the pole, and a single reading beside it: latitudes within the map's, a view of
    // some height, and never more than the world across.
    const WebMapFrame toPole = WebMapFrameOf(std::vector<double>{10, 10}, std::vector<double>{0, 90});
    EXPECT_LE(toPole.extent.north, kMercatorLatitudeLimit);
    EXPECT_DOUBLE_EQ(toPole.extent.south, 0);
    const WebMapFrame atPole = WebMapFrameOf(std::vector<double>{10}, std::vector<double>{89.99});
    EXPECT_LE(atPole.extent.north, kMercatorLatitudeLimit);
    EXPECT_GT(atPole.extent.north - atPole.extent.south, 0);
    EXPECT_LT(atPole.extent.east - atPole.extent.west, 360.001);

    const std::vector<double> oneLon(3, 37.2);
    const std::vector<double> oneLat(3, 56.75);
    const WebMapFrame one = WebMapFrameOf(oneLon, oneLat);
    EXPECT_NEAR(one.extent.north - one.extent.south, kMinimumExtentDegrees, 1e-12);
    EXPECT_LT(one.extent.west, 37.2);
    EXPECT_GT(one.extent.east, 37.2);
    EXPECT_GT(one.extent.east - one.extent.west, kMinimumExtentDegrees); // wider in degrees, as much ground

    // A site astride the prime meridian keeps its longitudes as given.
    const WebMapFrame plain = WebMapFrameOf(std::vector<double>{-10, 10}, std::vector<double>{1, 2});
    EXPECT_DOUBLE_EQ(plain.extent.west, -10);
    EXPECT_DOUBLE_EQ(plain.extent.east, 10);
    EXPECT_EQ(WebMapFrameOf({}, {}).count, 0u);
}

} // namespace
} // namespace qm::site
