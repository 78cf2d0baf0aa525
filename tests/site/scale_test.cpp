// The default colour scale on edge sets, and the two palettes.
#include "colour_scale.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <span>
#include <random>
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

// Large sets take a selection by buckets: it must give exactly the order statistics of a sort.
TEST(DefaultScaleTest, PercentilesOfLargeSetsAreThoseOfASort)
{
    std::mt19937_64 random(7);
    std::normal_distribution<double> field(48000, 40);
    std::vector<std::vector<double>> sets;
    sets.emplace_back();
    for (int i = 0; i < 200000; ++i)
        sets.back().push_back(i % 997 == 0 ? 99999.0 : field(random)); // a survey with gap values
    sets.emplace_back();
    for (int i = 0; i < 50000; ++i)
        sets.back().push_back(static_cast<double>(static_cast<int>(random() % 7) - 3)); // few distinct values
    sets.emplace_back(10000, 5.5);
    sets.back().push_back(std::nan(""));
    sets.back().push_back(-INFINITY);
    sets.emplace_back();
    for (int i = 0; i < 30000; ++i) // both signs, zeros of both signs, wide exponents
        sets.back().push_back(i % 5 == 0 ? (i % 2 ? -0.0 : 0.0) : std::ldexp(field(random) - 48000, static_cast<int>(random() % 80) - 40));
    // Spikes far off both ways put nearly all values in one part of the first split, more of them
    // than are gathered at once (as floats, for the same read in pieces below).
    sets.emplace_back();
    for (int i = 0; i < 2'500'000; ++i)
        sets.back().push_back(i % 100000 == 0 ? (i % 200000 ? 1e30 : -1e30) : static_cast<float>(field(random)));

    for (const std::vector<double>& values : sets) {
        std::vector<double> sorted;
        for (const double v : values) {
            if (std::isfinite(v))
                sorted.push_back(v);
        }
        std::sort(sorted.begin(), sorted.end());
        const auto percentile = [&](double p) {
            const double h = p * static_cast<double>(sorted.size() - 1);
            const auto k = static_cast<std::size_t>(h);
            const double high = sorted[std::min(k + 1, sorted.size() - 1)];
            return sorted[k] + (high - sorted[k]) * (h - static_cast<double>(k));
        };
        const ReadingPercentiles got = PercentilesOf(values);
        EXPECT_EQ(got.count, sorted.size());
        EXPECT_EQ(got.p2, percentile(0.02));
        EXPECT_EQ(got.p50, percentile(0.5));
        EXPECT_EQ(got.p98, percentile(0.98));
    }

    // The same values handed on in pieces of floats, pass after pass.
    const std::vector<float> floats(sets.back().begin(), sets.back().end());
    const ReadingPercentiles whole = PercentilesOf(sets.back());
    int passes = 0;
    const ReadingPercentiles pieces = PercentilesOf([&](const std::function<void(std::span<const float>)>& take) {
        ++passes;
        for (std::size_t from = 0; from < floats.size(); from += 1000)
            take(std::span<const float>(floats).subspan(from, std::min<std::size_t>(1000, floats.size() - from)));
    });
    EXPECT_EQ(pieces.count, whole.count);
    EXPECT_EQ(pieces.p2, whole.p2);
    EXPECT_EQ(pieces.p50, whole.p50);
    EXPECT_EQ(pieces.p98, whole.p98);
    EXPECT_GT(passes, 3); // narrowed beyond the first split
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
