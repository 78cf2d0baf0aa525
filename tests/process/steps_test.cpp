// The operations against a direct reading of the model: windows near traverse ends and across
// gaps, even-count medians, flags through later steps, and inputs with nothing to work on.
#include "chain.h"
#include "statistics.h"
#include "steps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace qm::process {
namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

// Percentile p of sorted values, written out as the model states it.
double ModelPercentile(std::vector<double> x, double p)
{
    std::sort(x.begin(), x.end());
    const double h = (p / 100) * static_cast<double>(x.size() - 1);
    const std::size_t lo = static_cast<std::size_t>(std::floor(h));
    const std::size_t hi = std::min(lo + 1, x.size() - 1);
    return x[lo] + (h - static_cast<double>(lo)) * (x[hi] - x[lo]);
}

std::vector<double> ModelWindow(const std::vector<double>& v, std::size_t i, std::size_t half)
{
    std::vector<double> w;
    for (std::size_t j = i > half ? i - half : 0; j < v.size() && j <= i + half; ++j)
        if (!std::isnan(v[j]))
            w.push_back(v[j]);
    return w;
}

// Despike ("median") and high-pass of one traverse, reading by reading from the model.
std::vector<double> ModelDespike(const std::vector<double>& v, std::size_t half, double t, double m)
{
    std::vector<double> out = v;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (std::isnan(v[i]))
            continue;
        const std::vector<double> w = ModelWindow(v, i, half);
        const double med = ModelPercentile(w, 50);
        std::vector<double> dev;
        for (const double x : w)
            dev.push_back(std::abs(x - med));
        const double s = 1.4826 * ModelPercentile(dev, 50);
        if (std::abs(v[i] - med) > t * s && std::abs(v[i] - med) > m)
            out[i] = med;
    }
    return out;
}

std::vector<double> ModelHighPass(const std::vector<double>& v, std::size_t half)
{
    std::vector<double> out = v;
    for (std::size_t i = 0; i < v.size(); ++i)
        if (!std::isnan(v[i]))
            out[i] = v[i] - ModelPercentile(ModelWindow(v, i, half), 50);
    return out;
}

Traverses One(std::size_t n) { return TraversesFromRunStarts(std::vector<std::uint8_t>(n, 0)); }

Values Apply(const Operation& op, const std::vector<double>& v, const Traverses& t, StepReport* report = nullptr)
{
    StepReport ignored;
    return ApplyStep(op, t, FromReadings(v), report ? *report : ignored);
}

void ExpectSame(const std::vector<double>& actual, const std::vector<double>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (std::isnan(expected[i]))
            EXPECT_TRUE(std::isnan(actual[i])) << "reading " << i;
        else
            EXPECT_EQ(actual[i], expected[i]) << "reading " << i;
    }
}

TEST(Statistics, PercentilesInterpolateAndEvenMediansTakeTheMidpoint)
{
    std::vector<double> x = {4, 1, 3, 2};
    EXPECT_EQ(Percentile(x, 50), 2.5); // not 2 or 3
    x = {10, 20, 30, 40, 50};
    EXPECT_EQ(Percentile(x, 10), 14.0); // h = 0.4
    EXPECT_EQ(Percentile(x, 100), 50.0);
    EXPECT_EQ(Percentile(x, 0), 10.0);
    // Huge values: no overflow into infinity in the SD or an interpolation.
    const std::vector<double> huge = {1e300, -1e300, 1.7e308, -1.7e308};
    const double mean = Mean(huge);
    EXPECT_TRUE(std::isfinite(mean));
    EXPECT_TRUE(std::isfinite(StandardDeviation(huge, mean)));
    EXPECT_EQ(Interpolate(-1.7e308, 1.7e308, 0.5), 0.0);
}

TEST(Windows, SlidingMediansMatchTheModelAcrossGapsEndsAndLengths)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<double> reading(-50, 50);
    std::vector<double> v(700);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = i % 37 == 0 ? kGap : (i % 53 == 0 ? 900 : std::round(reading(random) * 4) / 4);
    // 300 and 1001 readings exceed the sorted window and take the ranked one.
    for (const std::int64_t window : {3, 5, 61, 301, 1001, 99999}) {
        SCOPED_TRACE(window);
        const std::size_t half = static_cast<std::size_t>(window - 1) / 2;
        ExpectSame(Apply(HighPassStep{window}, v, One(v.size())).value, ModelHighPass(v, half));
        ExpectSame(Apply(DespikeStep{window, 2, 0.5, Replace::Median}, v, One(v.size())).value,
                   ModelDespike(v, half, 2, 0.5));
    }
}

TEST(Despike, WindowsAreOneSidedAtTraverseEndsAndNeverCrossTraverses)
{
    // The first reading's window is readings 0..2 of its traverse: {100, 0, 0}, median 0, S = 0.
    const std::vector<double> v = {100, 0, 0, 0, 0, /* next traverse */ 0, 0, 0};
    const Traverses two = TraversesFromRunStarts(std::vector<std::uint8_t>{1, 0, 0, 0, 0, 1, 0, 0});
    StepReport report;
    const Values out = Apply(DespikeStep{5, 3, 0, Replace::Gap}, v, two, &report);
    EXPECT_TRUE(std::isnan(out.value[0]));
    EXPECT_EQ(report.spikes, 1u);
    EXPECT_EQ(report.gaps, 1u);
    // Constant readings (S = 0) with a step of 1: every step is a spike unless `minimum` holds it.
    const std::vector<double> steps = {5, 5, 5, 6, 5, 5, 5};
    EXPECT_EQ(Apply(DespikeStep{5, 3, 0, Replace::Median}, steps, One(7)).value[3], 5.0);
    EXPECT_EQ(Apply(DespikeStep{5, 3, 1, Replace::Median}, steps, One(7)).value[3], 6.0);
}

TEST(Flags, TravelWithTheirValueThroughShiftAndOutliveGaps)
{
    Recipe recipe;
    recipe.steps = {{DespikeStep{3, 3, 0, Replace::Flag}}, {ShiftStep{2, Parity::All}}, {GapsStep{{}, 50, {}}}};
    const RunResult result = RunRecipe(recipe, {0, 0, 100, 0, 0, 0}, One(6));
    // The spike at 2 keeps its value, moves to 4 with its flag, and stays flagged as a gap.
    EXPECT_EQ(result.reports[0].spikes, 1u);
    EXPECT_EQ(result.values.flag, (std::vector<std::uint8_t>{0, 0, 0, 0, 1, 0}));
    ExpectSame(result.values.value, {kGap, kGap, 0, 0, kGap, 0});

    // Shifting by the traverse's length or more leaves gaps without flags; "odd" is traverses 1, 3.
    const Traverses three = TraversesByFile(std::vector<std::uint32_t>{0, 0, 1, 1, 2, 2}, 4);
    const Values shifted = Apply(ShiftStep{-1, Parity::Odd}, {1, 2, 3, 4, 5, 6}, three);
    ExpectSame(shifted.value, {2, kGap, 3, 4, 6, kGap});
    ExpectSame(Apply(ShiftStep{1e300, Parity::All}, {1, 2}, One(2)).value, {kGap, kGap});
}

TEST(ZeroTraverse, TakesTheStatisticWithinItsRangeAndNotesEmptyTraverses)
{
    // Files: one with readings, one that placed none, one of gaps only.
    const Traverses t = TraversesByFile(std::vector<std::uint32_t>{0, 0, 0, 0, 2}, 3);
    const std::vector<double> v = {1, 2, 4, 1000, kGap};
    StepReport report;
    const Values median = Apply(ZeroTraverseStep{Statistic::Median, Range{0, 10}}, v, t, &report);
    ExpectSame(median.value, {-1, 0, 2, 998, kGap});
    ASSERT_EQ(report.notes.size(), 2u);
    EXPECT_EQ(report.notes[0], "traverse 2: no value within [0, 10], left as it is");
    EXPECT_EQ(report.notes[1], "traverse 3: no value within [0, 10], left as it is");
    ExpectSame(Apply(ZeroTraverseStep{Statistic::Mean, {}}, {1, 2, 4, 1, kGap}, t).value, {-1, 0, 2, -1, kGap});
}

TEST(Clip, BoundsFromSdAndPercentilesOfTheCurrentValues)
{
    const std::vector<double> v = {0, 10, kGap, 20, 30, 40};
    ExpectSame(Apply(ClipStep{{}, {}, Range{25, 75}}, v, One(6)).value, {10, 10, kGap, 20, 30, 30});
    // mean 20, SD sqrt(200): k = 0.5 clips to 20 ∓ 7.07…
    const double sd = std::sqrt(200.0);
    ExpectSame(Apply(ClipStep{{}, 0.5, {}}, v, One(6)).value, {20 - 0.5 * sd, 20 - 0.5 * sd, kGap, 20, 20 + 0.5 * sd, 20 + 0.5 * sd});
    // Nothing to take statistics of: the values stay.
    ExpectSame(Apply(ClipStep{{}, 1, {}}, {kGap}, One(1)).value, {kGap});
}

TEST(Chain, AnEditRecomputesFromTheEditedStepAndACancelKeepsWhatWasDone)
{
    const std::vector<double> readings = {1, 2, 30, 4, 5, 6, 7};
    Chain chain(readings, One(readings.size()));
    Recipe recipe;
    recipe.steps = {{DespikeStep{}}, {ZeroTraverseStep{}, false}, {HighPassStep{3}}};
    chain.SetRecipe(recipe);
    ASSERT_TRUE(chain.Run());
    EXPECT_EQ(chain.After(1), chain.After(0)); // a disabled step shares its input
    const auto first = chain.After(0);

    recipe.steps[2] = {HighPassStep{5}};
    chain.SetRecipe(recipe);
    EXPECT_EQ(chain.Computed(), 2u);
    int asked = 0;
    EXPECT_FALSE(chain.Run([&] { return ++asked > 0; }));
    EXPECT_EQ(chain.Computed(), 2u);
    ASSERT_TRUE(chain.Run());
    EXPECT_EQ(chain.After(0), first); // not recomputed
    ExpectSame(chain.Final()->value, RunRecipe(recipe, readings, One(readings.size())).values.value);
}

TEST(Chain, ALargeSiteRunsAsEachOfItsTraversesAlone)
{
    // Enough readings for the steps to share the traverses between threads.
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0, 2);
    std::vector<std::uint32_t> file;
    std::vector<double> readings;
    for (std::uint32_t f = 0; f < 40; ++f)
        for (int i = 0; i < (f % 7 == 3 ? 0 : 7000); ++i) {
            file.push_back(f);
            readings.push_back(i % 501 == 0 ? 400 : 48000 + noise(random));
        }
    Recipe recipe;
    recipe.steps = {{DespikeStep{5, 3, 0, Replace::Flag}}, {ZeroTraverseStep{}}, {HighPassStep{61}}};
    const Traverses all = TraversesByFile(file, 40);
    const RunResult whole = RunRecipe(recipe, readings, all);
    std::vector<std::string> notes;
    std::uint64_t spikes = 0;
    for (std::size_t t = 0; t < all.Count(); ++t) {
        const std::vector<double> part(readings.begin() + static_cast<std::ptrdiff_t>(all.Begin(t)),
                                       readings.begin() + static_cast<std::ptrdiff_t>(all.End(t)));
        const RunResult alone = RunRecipe(recipe, part, One(part.size()));
        spikes += alone.reports[0].spikes;
        for (std::size_t i = 0; i < part.size(); ++i) {
            ASSERT_EQ(whole.values.value[all.Begin(t) + i], alone.values.value[i]) << t << " " << i;
            ASSERT_EQ(whole.values.flag[all.Begin(t) + i], alone.values.flag[i]) << t << " " << i;
        }
        if (part.empty())
            notes.push_back("traverse " + std::to_string(t + 1) + ": no value, left as it is");
    }
    EXPECT_EQ(whole.reports[1].notes, notes);
    EXPECT_EQ(whole.reports[0].spikes, spikes);
}

TEST(Traverses, Column2RunsAreRunsOfOneFileNumberedOverTheList)
{
    Column2Runs runs;
    std::vector<std::uint8_t> starts;
    for (const auto& [file, text] : std::vector<std::pair<std::uint32_t, std::string>>{
             {0, "1"}, {0, "1"}, {0, "2"}, {0, "1"}, {2, "1"}, {2, "1"}})
        starts.push_back(runs.StartsRun(file, text) ? 1 : 0);
    const Traverses t = TraversesFromRunStarts(starts);
    EXPECT_EQ(t.bounds, (std::vector<std::size_t>{0, 2, 3, 4, 6}));
    EXPECT_EQ(t.Ids(), (std::vector<std::uint32_t>{0, 0, 1, 2, 3, 3}));
}

} // namespace
} // namespace qm::process
