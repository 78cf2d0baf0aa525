// The six operations. Windows and statistics read the values from before the step; gaps (NaN) are
// skipped by every statistic and keep their place in a window.
#include "steps.h"

#include "readings_export.h"
#include "statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <exception>
#include <span>
#include <thread>
#include <type_traits>

namespace qm::process {

namespace {

constexpr double kGap = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kBlock = 1 << 16; // readings between two asks whether to stop
constexpr std::size_t kParallelReadings = 200000;

void CheckStop(const ShouldStop& stop)
{
    if (stop && stop())
        throw Cancelled{};
}

// Runs work(t, slot) for every traverse t, on two threads when there are enough readings to pay
// for one: slot 0 takes the traverses of the first half of the readings, slot 1 the rest, and
// each traverse writes only its own readings.
template <class Work>
void ForTraverses(const Traverses& traverses, const ShouldStop& stop, Work&& work)
{
    const std::size_t count = traverses.Count();
    const auto run = [&](std::size_t from, std::size_t to, int slot) {
        for (std::size_t t = from; t < to; ++t) {
            CheckStop(stop);
            work(t, slot);
        }
    };
    const auto middle = std::upper_bound(traverses.bounds.begin(), traverses.bounds.end(), traverses.Readings() / 2);
    const std::size_t split = std::min(static_cast<std::size_t>(middle - traverses.bounds.begin()), count);
    if (traverses.Readings() < kParallelReadings || std::thread::hardware_concurrency() < 2 || split == 0 ||
        split >= count) {
        run(0, count, 0);
        return;
    }
    std::exception_ptr failure;
    std::thread helper([&] {
        try {
            run(split, count, 1);
        } catch (...) {
            failure = std::current_exception();
        }
    });
    try {
        run(0, split, 0);
    } catch (...) {
        helper.join();
        throw;
    }
    helper.join();
    if (failure)
        std::rethrow_exception(failure);
}

std::span<const double> Slice(const std::vector<double>& v, const Traverses& t, std::size_t k)
{
    return std::span<const double>(v).subspan(t.Begin(k), t.End(k) - t.Begin(k));
}

std::vector<double> Present(std::span<const double> values)
{
    std::vector<double> present;
    present.reserve(values.size());
    for (const double v : values)
        if (!std::isnan(v))
            present.push_back(v);
    return present;
}

void Gaps(const GapsStep& s, Values& out, const ShouldStop& stop)
{
    std::vector<double> equal = s.equal;
    std::sort(equal.begin(), equal.end());
    const double above = s.above.value_or(std::numeric_limits<double>::infinity());
    const double below = s.below.value_or(-std::numeric_limits<double>::infinity());
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (i % kBlock == 0)
            CheckStop(stop);
        const double v = out.value[i];
        if (v > above || v < below || std::binary_search(equal.begin(), equal.end(), v))
            out.value[i] = kGap;
    }
}

void Clip(const ClipStep& s, const Values& in, Values& out, const ShouldStop& stop)
{
    double a = 0;
    double b = 0;
    if (s.range) {
        a = s.range->first;
        b = s.range->second;
    } else {
        std::vector<double> present = Present(in.value);
        if (present.empty())
            return;
        CheckStop(stop);
        if (s.sd) {
            const double mean = Mean(present);
            const double sd = StandardDeviation(present, mean);
            a = mean - *s.sd * sd;
            b = mean + *s.sd * sd;
        } else {
            a = Percentile(present, s.percent->first);
            b = Percentile(present, s.percent->second);
        }
    }
    for (double& v : out.value) {
        if (v < a)
            v = a;
        else if (v > b)
            v = b;
    }
}

void ZeroTraverse(const ZeroTraverseStep& s, const Traverses& traverses, const Values& in, Values& out, StepReport& report,
                    const ShouldStop& stop)
{
    std::vector<double> chosen[2];
    std::vector<std::string> notes[2];
    ForTraverses(traverses, stop, [&](std::size_t t, int slot) {
        chosen[slot].clear();
        for (const double v : Slice(in.value, traverses, t))
            if (!std::isnan(v) && (!s.within || (v >= s.within->first && v <= s.within->second)))
                chosen[slot].push_back(v);
        if (chosen[slot].empty()) {
            std::string note = "traverse " + std::to_string(t + 1) + ": no value";
            if (s.within)
                note += " within [" + site::NumberText(s.within->first) + ", " + site::NumberText(s.within->second) + "]";
            notes[slot].push_back(note + ", left as it is");
            return;
        }
        const double m = s.statistic == Statistic::Mean ? Mean(chosen[slot]) : Percentile(chosen[slot], 50);
        for (std::size_t i = traverses.Begin(t); i < traverses.End(t); ++i)
            out.value[i] -= m; // a gap stays NaN
    });
    for (auto& part : notes)
        report.notes.insert(report.notes.end(), part.begin(), part.end());
}

std::size_t HalfWindow(std::int64_t window) { return static_cast<std::size_t>((window - 1) / 2); }

void Despike(const DespikeStep& s, const Traverses& traverses, const Values& in, Values& out, StepReport& report,
               const ShouldStop& stop)
{
    std::uint64_t spikes[2] = {0, 0};
    ForTraverses(traverses, stop, [&](std::size_t t, int slot) {
        const std::size_t begin = traverses.Begin(t);
        const std::span<const double> values = Slice(in.value, traverses, t);
        ForEachWindow(values, HalfWindow(s.window), [&](std::size_t i, const auto& order) {
            double median = 0;
            double mad = 0;
            if constexpr (std::is_same_v<std::decay_t<decltype(order)>, SortedWindow>) {
                median = SortedMedian(order.Data(), order.Count());
                if (!(std::abs(values[i] - median) > s.minimum))
                    return;
                mad = SortedMad(order.Data(), order.Count(), median);
            } else {
                median = WindowMedian(order);
                if (!(std::abs(values[i] - median) > s.minimum))
                    return;
                mad = WindowMad(order, median);
            }
            if (!(std::abs(values[i] - median) > s.threshold * (1.4826 * mad)))
                return;
            ++spikes[slot];
            if (s.replace == Replace::Median)
                out.value[begin + i] = median;
            else if (s.replace == Replace::Gap)
                out.value[begin + i] = kGap;
            else
                out.flag[begin + i] = 1;
        });
    });
    report.spikes += spikes[0] + spikes[1];
}

void Shift(const ShiftStep& s, const Traverses& traverses, const Values& in, Values& out, const ShouldStop& stop)
{
    for (std::size_t t = 0; t < traverses.Count(); ++t) {
        // Traverse t + 1 to the user: "odd" are t = 0, 2, 4 …
        if ((s.traverses == Parity::Odd && t % 2 != 0) || (s.traverses == Parity::Even && t % 2 == 0))
            continue;
        CheckStop(stop);
        const std::size_t begin = traverses.Begin(t);
        const std::size_t n = traverses.End(t) - begin;
        const bool beyond = std::abs(s.readings) >= static_cast<double>(n);
        const auto shift = beyond ? std::int64_t(0) : static_cast<std::int64_t>(s.readings);
        for (std::size_t i = 0; i < n; ++i) {
            const std::int64_t from = static_cast<std::int64_t>(i) - shift;
            if (beyond || from < 0 || from >= static_cast<std::int64_t>(n)) {
                out.value[begin + i] = kGap;
                out.flag[begin + i] = 0;
            } else {
                out.value[begin + i] = in.value[begin + static_cast<std::size_t>(from)];
                out.flag[begin + i] = in.flag[begin + static_cast<std::size_t>(from)];
            }
        }
    }
}

void HighPass(const HighPassStep& s, const Traverses& traverses, const Values& in, Values& out, const ShouldStop& stop)
{
    ForTraverses(traverses, stop, [&](std::size_t t, int) {
        const std::size_t begin = traverses.Begin(t);
        const std::span<const double> values = Slice(in.value, traverses, t);
        ForEachWindow(values, HalfWindow(s.window), [&](std::size_t i, const auto& order) {
            if constexpr (std::is_same_v<std::decay_t<decltype(order)>, SortedWindow>)
                out.value[begin + i] = values[i] - SortedMedian(order.Data(), order.Count());
            else
                out.value[begin + i] = values[i] - WindowMedian(order);
        });
    });
}

} // namespace

Values FromReadings(std::vector<double> readings)
{
    Values values;
    values.flag.assign(readings.size(), 0);
    values.value = std::move(readings);
    return values;
}

void ApplyStep(const Operation& op, const Traverses& traverses, const Values& in, Values& out, StepReport& report,
               const ShouldStop& stop)
{
    // Each operation changes a copy of its input; `out` keeps its memory from an earlier step.
    out.value.assign(in.value.begin(), in.value.end());
    out.flag.assign(in.flag.begin(), in.flag.end());
    if (const auto* s = std::get_if<GapsStep>(&op))
        Gaps(*s, out, stop);
    else if (const auto* s = std::get_if<ClipStep>(&op))
        Clip(*s, in, out, stop);
    else if (const auto* s = std::get_if<ZeroTraverseStep>(&op))
        ZeroTraverse(*s, traverses, in, out, report, stop);
    else if (const auto* s = std::get_if<DespikeStep>(&op))
        Despike(*s, traverses, in, out, report, stop);
    else if (const auto* s = std::get_if<ShiftStep>(&op))
        Shift(*s, traverses, in, out, stop);
    else
        HighPass(std::get<HighPassStep>(op), traverses, in, out, stop);
    report.gaps = static_cast<std::uint64_t>(std::count_if(out.value.begin(), out.value.end(), [](double v) { return std::isnan(v); }));
}

Values ApplyStep(const Operation& op, const Traverses& traverses, const Values& in, StepReport& report,
                 const ShouldStop& stop)
{
    Values out;
    ApplyStep(op, traverses, in, out, report, stop);
    return out;
}

} // namespace qm::process
