// The site map's pyramid of cells: at every level it shows what binning every reading into that
// zoom's cells shows, for a survey site, one across the antimeridian and one too wide for the
// finest zoom; gaps, equal values and readings without a position included.
#include "dot_pyramid.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <utility>
#include <vector>

namespace qm::site {
namespace {

using Cell = std::pair<std::int64_t, std::int64_t>;

// Every reading binned into the cells of `zoom`: the farthest from `centre` of each, the first of
// equals, as the page's own pass over all readings picks them.
std::map<Cell, std::uint32_t> BinnedByHand(const WebMapFrame& frame, const std::vector<double>& lon,
                                           const std::vector<double>& lat, const std::vector<double>& value,
                                           double centre, int zoom)
{
    std::vector<double> x(lon.size());
    std::vector<double> y(lon.size());
    ProjectToWebMap(frame, lon, lat, x, y);
    std::map<Cell, std::pair<double, std::uint32_t>> best;
    for (std::size_t i = 0; i < lon.size(); ++i) {
        const double d = std::abs(static_cast<double>(static_cast<float>(value[i])) - centre);
        if (!std::isfinite(lon[i]) || !std::isfinite(lat[i]) || std::isnan(d))
            continue;
        const Cell cell{DotCellOf(x[i] + frame.x0, zoom), DotCellOf(y[i] + frame.y0, zoom)};
        const auto found = best.find(cell);
        if (found == best.end() || d > found->second.first)
            best[cell] = {d, static_cast<std::uint32_t>(i)};
    }
    std::map<Cell, std::uint32_t> shown;
    for (const auto& [cell, chosen] : best)
        shown[cell] = chosen.second;
    return shown;
}

void ExpectEveryLevelAsBinnedByHand(const std::vector<double>& lon, const std::vector<double>& lat,
                                    const std::vector<double>& value, double centre)
{
    const WebMapFrame frame = WebMapFrameOf(lon, lat);
    const DotPyramid pyramid = BuildDotPyramid(frame, lon, lat);
    ASSERT_FALSE(pyramid.empty());
    std::size_t placed = 0;
    for (std::size_t i = 0; i < lon.size(); ++i)
        placed += std::isfinite(lon[i]) && std::isfinite(lat[i]);
    EXPECT_EQ(pyramid.order.size(), placed);
    const std::vector<std::uint32_t> reps = DotRepresentatives(pyramid, value, centre);
    for (std::size_t l = 0; l < pyramid.levels.size(); ++l) {
        const DotPyramidLevel& level = pyramid.levels[l];
        if (l > 0) {
            EXPECT_EQ(level.zoom, pyramid.levels[l - 1].zoom - 1);
        }
        std::map<Cell, std::uint32_t> shown;
        for (std::size_t c = 0; c < level.count; ++c) {
            const std::uint32_t packed = pyramid.cell[level.offset + c];
            if (reps[level.offset + c] != kNoReading)
                shown[{level.originX + (packed & 0xffff), level.originY + (packed >> 16)}] = reps[level.offset + c];
        }
        ASSERT_EQ(shown, BinnedByHand(frame, lon, lat, value, centre, level.zoom)) << "zoom " << level.zoom;
    }
}

// Survey lines a metre apart with readings every 0.1 m, fixes of six minute decimals, quantised
// values (many equal), some gaps and some readings without a position.
void SurveyLines(double lon0, double lat0, int lines, int along, std::vector<double>& lon, std::vector<double>& lat,
                 std::vector<double>& value)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 3.0);
    for (int line = 0; line < lines; ++line) {
        for (int k = 0; k < along; ++k) {
            const double fix = std::round((lat0 + line * 9e-6) * 60e6) / 60e6;
            lat.push_back(fix);
            lon.push_back(std::round((lon0 + k * 1.5e-6 + noise(random) * 1e-8) * 60e6) / 60e6);
            value.push_back(std::round(noise(random)) * 0.5);
        }
    }
    for (std::size_t i = 5; i < value.size(); i += 97)
        value[i] = NAN;
    for (std::size_t i = 11; i < lat.size(); i += 331)
        lat[i] = NAN;
}

TEST(DotPyramidTest, EveryLevelShowsWhatBinningEveryReadingShows)
{
    std::vector<double> lon, lat, value;
    SurveyLines(-1.894512, 52.447301, 40, 300, lon, lat, value);
    ExpectEveryLevelAsBinnedByHand(lon, lat, value, 0.25);

    // Across the antimeridian: one piece, past 180.
    std::vector<double> lonA, latA, valueA;
    SurveyLines(179.99952, -16.5, 12, 200, lonA, latA, valueA);
    for (double& l : lonA) {
        if (l > 180)
            l -= 360;
    }
    ExpectEveryLevelAsBinnedByHand(lonA, latA, valueA, 0.0);

    // Two surveys 40 degrees apart: the finest level is coarser than the deepest zoom.
    std::vector<double> lonW = {10.0, 10.00001, 50.0, 50.00001};
    std::vector<double> latW = {45.0, 45.0, 20.0, 20.00001};
    std::vector<double> valueW = {1, -3, 2, 2};
    ExpectEveryLevelAsBinnedByHand(lonW, latW, valueW, 0.0);
    EXPECT_LT(BuildDotPyramid(WebMapFrameOf(lonW, latW), lonW, latW).levels.front().zoom, kDotPyramidFinestZoom);
}

TEST(DotPyramidTest, NothingToPlaceGivesNoLevels)
{
    const std::vector<double> none;
    EXPECT_TRUE(BuildDotPyramid(WebMapFrameOf(none, none), none, none).empty());
    const std::vector<double> lon = {NAN, 3.0};
    const std::vector<double> lat = {50.0, NAN};
    const DotPyramid pyramid = BuildDotPyramid(WebMapFrameOf(lon, lat), lon, lat);
    EXPECT_TRUE(pyramid.empty());
    EXPECT_TRUE(DotRepresentatives(pyramid, std::vector<double>{1, 2}, 0).empty());
}

} // namespace
} // namespace qm::site
