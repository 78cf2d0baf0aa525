// Colour ranges by mode and the greyscale palettes.
#include "colour_range.h"
#include "colour_scale.h"
#include "errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace qm::site {
namespace {

TEST(ColourRangeTest, EachModeGivesItsRangeAroundTheMedian)
{
    // 1 … 100, a NaN and a spike: the spike sits beyond the 98th percentile.
    std::vector<double> values;
    for (int i = 1; i <= 100; ++i)
        values.push_back(i);
    values.push_back(std::numeric_limits<double>::quiet_NaN());
    values.push_back(1e6);

    const ColourRange percentiles = RangeOf(values, {});
    EXPECT_DOUBLE_EQ(percentiles.median, 51);
    EXPECT_DOUBLE_EQ(percentiles.min, 3);
    EXPECT_DOUBLE_EQ(percentiles.max, 99);

    RangeSetting median;
    median.mode = RangeMode::MedianNt;
    median.nt = 5;
    const ColourRange around = RangeOf(values, median);
    EXPECT_DOUBLE_EQ(around.min, 46);
    EXPECT_DOUBLE_EQ(around.max, 56);

    RangeSetting sd;
    sd.mode = RangeMode::MeanSd;
    sd.k = 1;
    const ColourRange spread = RangeOf(std::vector<double>{1, 3}, sd);
    EXPECT_DOUBLE_EQ(spread.min, 1);
    EXPECT_DOUBLE_EQ(spread.max, 3);

    // All values alike, or none: a range of no width is widened, never inverted.
    const ColourRange flat = RangeOf(std::vector<double>{7, 7, 7}, {});
    EXPECT_LT(flat.min, flat.max);
    EXPECT_LT(RangeOf({}, sd).min, RangeOf({}, sd).max);

    RangeSetting typed;
    typed.mode = RangeMode::Typed;
    typed.low = 5;
    typed.high = 4;
    EXPECT_THROW(RangeOf(values, typed), Error);
    EXPECT_EQ(ParseRangeMode(RangeModeName(RangeMode::MedianNt)), RangeMode::MedianNt);

    const std::vector<std::uint32_t> bins = Histogram(values, 0, 100, 4);
    EXPECT_EQ(bins[0] + bins[1] + bins[2] + bins[3], 101u); // the spike counts in the last bin
}

TEST(ColourRangeTest, GreyscaleDrawsPositiveReadingsDarkAndItsInverseLight)
{
    ColourScale scale{-10, 10, 0, Palette::Greyscale};
    EXPECT_EQ(ColourOf(scale, 10), (Rgb{0, 0, 0}));
    EXPECT_EQ(ColourOf(scale, -10), (Rgb{255, 255, 255}));
    scale.palette = Palette::GreyscaleInverse;
    EXPECT_EQ(ColourOf(scale, 10), (Rgb{255, 255, 255}));
    EXPECT_EQ(ColourOf(scale, 0)[0], 128);
}

} // namespace
} // namespace qm::site
