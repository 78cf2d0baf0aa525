// The default colour scale on edge sets, and the two palettes.
#include "colour_scale.h"

#include <gtest/gtest.h>

#include <vector>

namespace qm::site {
namespace {

TEST(DefaultScaleTest, SpanTheSecondToNinetyEighthPercentileAroundTheMedian)
{
    std::vector<double> values;
    for (int i = 100; i >= 0; --i)
        values.push_back(i);
    const ColourScale scale = DefaultScale(values, Palette::Diverging);
    EXPECT_DOUBLE_EQ(scale.min, 2);
    EXPECT_DOUBLE_EQ(scale.max, 98);
    EXPECT_DOUBLE_EQ(scale.centre, 50);
    EXPECT_EQ(scale.palette, Palette::Diverging);

    // A few gap values do not wash out the range.
    std::vector<double> spiky(1000, 50000);
    for (int i = 0; i < 1000; ++i)
        spiky[i] += i % 20;
    for (int i = 0; i < 10; ++i)
        spiky.push_back(99999);
    const ColourScale robust = DefaultScale(spiky, Palette::Sequential);
    EXPECT_LT(robust.max, 50020);
    EXPECT_GE(robust.min, 50000);
}

TEST(DefaultScaleTest, EdgeSetsGiveARange)
{
    for (const std::vector<double>& values :
         {std::vector<double>{}, std::vector<double>{7}, std::vector<double>(50, -3.25), std::vector<double>{1e300, 1e300},
          std::vector<double>{1, 2}}) {
        const ColourScale scale = DefaultScale(values, Palette::Diverging);
        EXPECT_LT(scale.min, scale.max) << values.size();
        EXPECT_LE(scale.min, scale.centre);
        EXPECT_LE(scale.centre, scale.max);
        if (!values.empty() && values.front() == values.back()) {
            EXPECT_EQ(scale.centre, values.front());
        }
    }
}

TEST(PaletteTest, DivergingIsWhiteAtTheCentreEvenOffMiddle)
{
    const ColourScale scale{0, 100, 10, Palette::Diverging};
    EXPECT_EQ(ColourOf(scale, 10), (Rgb{255, 255, 255}));
    const Rgb low = ColourOf(scale, -5);
    const Rgb high = ColourOf(scale, 500);
    EXPECT_GT(low[2], low[0]);   // blue below
    EXPECT_GT(high[0], high[2]); // red above
    EXPECT_EQ(low, ColourOf(scale, 0));
    EXPECT_EQ(high, ColourOf(scale, 100));
    // Half-way from the centre to either end is as far from white on both sides.
    const Rgb below = ColourOf(scale, 5);
    const Rgb above = ColourOf(scale, 55);
    EXPECT_NE(below, (Rgb{255, 255, 255}));
    EXPECT_NE(above, (Rgb{255, 255, 255}));
    // A centre at the minimum still gives white there and red above.
    EXPECT_EQ(ColourOf(ColourScale{0, 1, 0, Palette::Diverging}, 0), (Rgb{255, 255, 255}));
}

TEST(PaletteTest, SequentialRunsDarkToLightAndRampsHaveTheirLength)
{
    const ColourScale scale{-1, 1, 0, Palette::Sequential};
    const std::vector<Rgb> ramp = Ramp(scale, 16);
    ASSERT_EQ(ramp.size(), 16u);
    const auto luma = [](const Rgb& c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; };
    for (std::size_t i = 1; i < ramp.size(); ++i)
        EXPECT_GT(luma(ramp[i]), luma(ramp[i - 1])) << i;
    EXPECT_EQ(ramp.front(), ColourOf(scale, -1));
    EXPECT_EQ(ramp.back(), ColourOf(scale, 1));
    EXPECT_TRUE(Ramp(scale, 0).empty());
    EXPECT_EQ(Ramp(scale, 1).size(), 1u);
}

} // namespace
} // namespace qm::site
