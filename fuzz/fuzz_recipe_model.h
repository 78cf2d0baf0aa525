// The steps of a recipe as the processing model states them, reading by reading over sorted copies,
// and the checks of the chain against them, for fuzz_recipe.
#pragma once

#include "fuzz_check.h"

#include "chain.h"
#include "recipe.h"
#include "traverses.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace qm::fuzz {

// Readings of a site: the file each is from (ascending) and its column 2 text as one of a few.
struct Site {
    std::vector<double> readings;
    std::vector<std::uint32_t> file;
    std::vector<std::uint8_t> column2;
    std::size_t fileCount = 0;
};

namespace model {

using namespace qm::process;

inline constexpr double kGap = std::numeric_limits<double>::quiet_NaN();

// Traverse bounds: traverse k is file k, or each run of one file's readings with one column 2 text.
inline std::vector<std::size_t> Bounds(const Site& site, TraverseMode mode)
{
    std::vector<std::size_t> bounds{0};
    const std::size_t n = site.readings.size();
    if (mode == TraverseMode::Files) {
        for (std::size_t f = 0; f < site.fileCount; ++f) {
            std::size_t end = bounds.back();
            while (end < n && site.file[end] == f)
                ++end;
            bounds.push_back(end);
        }
        return bounds;
    }
    for (std::size_t i = 1; i < n; ++i)
        if (site.file[i] != site.file[i - 1] || site.column2[i] != site.column2[i - 1])
            bounds.push_back(i);
    if (n > 0)
        bounds.push_back(n);
    return bounds;
}

inline double Percentile(std::vector<double> x, double p)
{
    std::sort(x.begin(), x.end());
    const double h = (p / 100) * static_cast<double>(x.size() - 1);
    const auto lo = static_cast<std::size_t>(std::floor(h));
    const std::size_t hi = std::min(lo + 1, x.size() - 1);
    return x[lo] + (h - static_cast<double>(lo)) * (x[hi] - x[lo]);
}

inline double Mean(const std::vector<double>& x)
{
    double sum = 0;
    for (const double v : x)
        sum += v;
    return sum / static_cast<double>(x.size());
}

inline double Sd(const std::vector<double>& x, double mean)
{
    double sum = 0;
    for (const double v : x)
        sum += (v - mean) * (v - mean);
    return std::sqrt(sum / static_cast<double>(x.size()));
}

inline std::vector<double> Present(const std::vector<double>& v, std::size_t begin, std::size_t end)
{
    std::vector<double> out;
    for (std::size_t i = begin; i < end; ++i)
        if (!std::isnan(v[i]))
            out.push_back(v[i]);
    return out;
}

// The values among readings i−half … i+half of the traverse [begin, end).
inline std::vector<double> Window(const std::vector<double>& v, std::size_t begin, std::size_t end, std::size_t i,
                                  std::int64_t window)
{
    const auto half = static_cast<std::size_t>((window - 1) / 2);
    const std::size_t first = i - begin > half ? i - half : begin;
    const std::size_t last = end - 1 - i > half ? i + half : end - 1;
    return Present(v, first, last + 1);
}

struct State {
    std::vector<double> value;
    std::vector<std::uint8_t> flag;
};

inline void Apply(const GapsStep& s, const std::vector<std::size_t>&, State& st)
{
    for (double& v : st.value) {
        const bool listed = std::find(s.equal.begin(), s.equal.end(), v) != s.equal.end();
        if (listed || (s.above && v > *s.above) || (s.below && v < *s.below))
            v = kGap;
    }
}

inline void Apply(const ClipStep& s, const std::vector<std::size_t>&, State& st)
{
    const std::vector<double> all = Present(st.value, 0, st.value.size());
    double a = 0;
    double b = 0;
    if (s.range) {
        a = s.range->first;
        b = s.range->second;
    } else if (all.empty()) {
        return;
    } else if (s.sd) {
        const double mean = Mean(all);
        a = mean - *s.sd * Sd(all, mean);
        b = mean + *s.sd * Sd(all, mean);
    } else {
        a = Percentile(all, s.percent->first);
        b = Percentile(all, s.percent->second);
    }
    for (double& v : st.value)
        v = v < a ? a : v > b ? b : v;
}

inline void Apply(const ZeroTraverseStep& s, const std::vector<std::size_t>& bounds, State& st)
{
    for (std::size_t t = 0; t + 1 < bounds.size(); ++t) {
        std::vector<double> chosen;
        for (const double v : Present(st.value, bounds[t], bounds[t + 1]))
            if (!s.within || (v >= s.within->first && v <= s.within->second))
                chosen.push_back(v);
        if (chosen.empty())
            continue;
        const double m = s.statistic == Statistic::Mean ? Mean(chosen) : Percentile(chosen, 50);
        for (std::size_t i = bounds[t]; i < bounds[t + 1]; ++i)
            st.value[i] = st.value[i] - m;
    }
}

inline void Apply(const DespikeStep& s, const std::vector<std::size_t>& bounds, State& st)
{
    const std::vector<double> before = st.value;
    for (std::size_t t = 0; t + 1 < bounds.size(); ++t) {
        for (std::size_t i = bounds[t]; i < bounds[t + 1]; ++i) {
            if (std::isnan(before[i]))
                continue;
            const std::vector<double> w = Window(before, bounds[t], bounds[t + 1], i, s.window);
            const double med = Percentile(w, 50);
            std::vector<double> deviations;
            for (const double x : w)
                deviations.push_back(std::abs(x - med));
            const double spread = 1.4826 * Percentile(deviations, 50);
            const double d = std::abs(before[i] - med);
            if (!(d > s.threshold * spread && d > s.minimum))
                continue;
            if (s.replace == Replace::Median)
                st.value[i] = med;
            else if (s.replace == Replace::Gap)
                st.value[i] = kGap;
            else
                st.flag[i] = 1;
        }
    }
}

inline void Apply(const ShiftStep& s, const std::vector<std::size_t>& bounds, State& st)
{
    const State before = st;
    for (std::size_t t = 0; t + 1 < bounds.size(); ++t) {
        if ((s.traverses == Parity::Odd && t % 2 == 1) || (s.traverses == Parity::Even && t % 2 == 0))
            continue;
        const std::size_t n = bounds[t + 1] - bounds[t];
        for (std::size_t i = 0; i < n; ++i) {
            const double from = static_cast<double>(i) - s.readings;
            const bool inside = from >= 0 && from < static_cast<double>(n);
            const std::size_t k = bounds[t] + (inside ? static_cast<std::size_t>(from) : 0);
            st.value[bounds[t] + i] = inside ? before.value[k] : kGap;
            st.flag[bounds[t] + i] = inside ? before.flag[k] : 0;
        }
    }
}

inline void Apply(const HighPassStep& s, const std::vector<std::size_t>& bounds, State& st)
{
    const std::vector<double> before = st.value;
    for (std::size_t t = 0; t + 1 < bounds.size(); ++t)
        for (std::size_t i = bounds[t]; i < bounds[t + 1]; ++i)
            if (!std::isnan(before[i]))
                st.value[i] = before[i] - Percentile(Window(before, bounds[t], bounds[t + 1], i, s.window), 50);
}

// Whether the model left the finite numbers (a statistic of values near the largest double), where
// its plain sums are no longer the rule the chain follows.
inline bool Finite(const State& st)
{
    return std::all_of(st.value.begin(), st.value.end(), [](double v) { return std::isnan(v) || std::isfinite(v); });
}

inline bool Close(double a, double b)
{
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return a == b || std::fabs(a - b) <= 1e-9 * std::max(std::fabs(a), std::fabs(b));
}

inline void CheckSame(const Values& got, const State& want, std::size_t step)
{
    QM_FUZZ_CHECK(got.value.size() == want.value.size() && got.flag.size() == want.flag.size());
    for (std::size_t i = 0; i < want.value.size(); ++i) {
        if (!Close(got.value[i], want.value[i]) || got.flag[i] != want.flag[i]) {
            std::fprintf(stderr, "after step %zu, reading %zu: %.17g (flag %d), the model %.17g (flag %d)\n", step + 1, i,
                         got.value[i], got.flag[i], want.value[i], want.flag[i]);
            QM_FUZZ_CHECK(false);
        }
    }
}

} // namespace model

// Runs the recipe through RunRecipe and a Chain (stopped after `stopAfter` asks, then resumed) and
// checks both against the model after every step.
inline void CheckChain(const qm::process::Recipe& recipe, const Site& site, unsigned stopAfter)
{
    using namespace qm::process;
    const std::vector<std::size_t> bounds = model::Bounds(site, recipe.traverses);
    Traverses byFile = TraversesByFile(site.file, site.fileCount);
    std::vector<std::uint8_t> starts;
    Column2Runs runs;
    for (std::size_t i = 0; i < site.readings.size(); ++i)
        starts.push_back(runs.StartsRun(site.file[i], std::string(1, static_cast<char>('a' + site.column2[i]))) ? 1 : 0);
    Traverses byColumn2 = TraversesFromRunStarts(starts);
    QM_FUZZ_CHECK((recipe.traverses == TraverseMode::Files ? byFile : byColumn2).bounds == bounds);

    const Traverses& traverses = recipe.traverses == TraverseMode::Files ? byFile : byColumn2;
    const RunResult whole = RunRecipe(recipe, site.readings, traverses);
    QM_FUZZ_CHECK(whole.reports.size() == recipe.steps.size());

    Chain chain(site.readings, byFile, byColumn2);
    chain.SetRecipe(recipe);
    unsigned asks = 0;
    const bool finished = chain.Run([&] { return ++asks > stopAfter; });
    QM_FUZZ_CHECK(finished == (chain.Computed() == recipe.steps.size()));
    QM_FUZZ_CHECK(chain.Run());
    QM_FUZZ_CHECK(chain.Computed() == recipe.steps.size());

    model::State state{site.readings, std::vector<std::uint8_t>(site.readings.size(), 0)};
    bool modelFinite = true;
    for (std::size_t k = 0; k < recipe.steps.size(); ++k) {
        if (recipe.steps[k].enabled)
            std::visit([&](const auto& s) { model::Apply(s, bounds, state); }, recipe.steps[k].op);
        modelFinite = modelFinite && model::Finite(state);
        const Values& after = *chain.After(k);
        for (const double v : after.value)
            QM_FUZZ_CHECK(std::isnan(v) || std::isfinite(v));
        if (modelFinite)
            model::CheckSame(after, state, k);
    }
    if (modelFinite)
        model::CheckSame(whole.values, state, recipe.steps.empty() ? 0 : recipe.steps.size() - 1);
    for (std::size_t i = 0; i < site.readings.size(); ++i)
        QM_FUZZ_CHECK(std::isnan(whole.values.value[i]) == std::isnan(chain.Final()->value[i]));
}

} // namespace qm::fuzz
