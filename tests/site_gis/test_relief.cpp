// Relief of a grid: hill shading and contours through GDAL.
#include "errors.h"
#include "grid.h"
#include "grid_relief.h"
#include "utm_points.h"

#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <vector>

namespace {

using namespace qm::site;

// Lines 1 m apart in UTM zone 37N, the values a plane rising 0.5 nT a metre to the east.
struct Site {
    std::vector<double> lon, lat, value;
    Site()
    {
        for (int line = 0; line < 40; ++line)
            for (int i = 0; i <= 200; ++i) {
                lon.push_back(420000.0 + line);
                lat.push_back(6290000 + i * 0.1);
                value.push_back(50000 + 0.5 * line);
            }
        qm::test::UtmToWgs84(32637, lon, lat);
    }
};

} // namespace

TEST(GridRelief, HillShadeAndContoursFollowTheValues)
{
    const Site site; // the values are a plane rising east
    const GridResult grid = ComputeGrid(site.lon, site.lat, site.value, {});
    const std::vector<std::uint8_t> shade = HillShade(grid, {});
    ASSERT_EQ(shade.size(), grid.values.size());
    // Empty cells stay unshaded; a plane is shaded evenly where it has values (but for a few
    // cells along the edges of the triangulation).
    std::map<int, std::size_t> counts;
    std::size_t shaded = 0;
    for (std::size_t i = 0; i < shade.size(); ++i) {
        if (grid.values[i] == kNoData)
            EXPECT_EQ(shade[i], 0);
        else if (shade[i] != 0) {
            ++counts[shade[i]];
            ++shaded;
        }
    }
    ASSERT_GT(shaded, grid.values.size() / 2);
    const auto most = std::max_element(counts.begin(), counts.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_GT(most->second, shaded * 9 / 10);

    // The plane's values span about 20 nT along x: contours every 5 nT come at multiples of 5,
    // each on the map near the site.
    const std::vector<ContourLine> lines = Contours(grid, 5);
    ASSERT_FALSE(lines.empty());
    for (const ContourLine& line : lines) {
        EXPECT_EQ(std::fmod(line.level, 5.0), 0.0);
        EXPECT_NEAR(line.lon.front(), site.lon.front(), 0.01);
    }
    EXPECT_THROW(Contours(grid, 1e-9, 1000), qm::Error);
}

TEST(GridRelief, WarpedToDegreesTheGridKeepsEveryRowAndColumn)
{
    const Site site;
    const GridResult grid = ComputeGrid(site.lon, site.lat, site.value, {});
    const GeographicGrid warped = WarpToWgs84(grid, 1 << 16);
    EXPECT_GE(warped.height, grid.height);
    EXPECT_GE(warped.width, grid.width);
}
