// The colour scale: robust default range from percentiles, and the two palettes as a few control
// colours interpolated linearly.
#include "colour_scale.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>

namespace qm::site {

namespace {

// Blue to white to red; white sits at the centre whatever the centre's place in the range.
constexpr Rgb kBelow[] = {{5, 48, 97}, {33, 102, 172}, {67, 147, 195}, {146, 197, 222}, {209, 229, 240}, {255, 255, 255}};
constexpr Rgb kAbove[] = {{255, 255, 255}, {253, 219, 199}, {244, 165, 130}, {214, 96, 77}, {178, 24, 43}, {103, 0, 31}};
// A perceptually uniform ramp from dark violet to yellow, sampled from the viridis map.
constexpr Rgb kSequential[] = {{68, 1, 84},    {71, 44, 122},  {59, 81, 139},   {44, 113, 142}, {33, 144, 141},
                               {39, 173, 129}, {92, 200, 99}, {170, 220, 50}, {253, 231, 37}};

template <std::size_t N>
Rgb Interpolate(const Rgb (&stops)[N], double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const double x = t * (N - 1);
    const std::size_t i = std::min<std::size_t>(static_cast<std::size_t>(x), N - 2);
    const double f = x - static_cast<double>(i);
    Rgb colour{};
    for (int c = 0; c < 3; ++c) {
        const double v = stops[i][c] + (stops[i + 1][c] - stops[i][c]) * f;
        colour[c] = static_cast<std::uint8_t>(std::lround(v));
    }
    return colour;
}

// The percentile p of the values in [first, last) by linear interpolation between the order
// statistics; partitions the range around the ranks it needs, no full sort.
double Percentile(std::vector<double>::iterator first, std::vector<double>::iterator last, double p)
{
    const std::size_t n = static_cast<std::size_t>(last - first);
    const double h = p * static_cast<double>(n - 1);
    const std::size_t k = static_cast<std::size_t>(h);
    std::nth_element(first, first + static_cast<std::ptrdiff_t>(k), last);
    const double low = first[static_cast<std::ptrdiff_t>(k)];
    if (k + 1 >= n)
        return low;
    const double high = *std::min_element(first + static_cast<std::ptrdiff_t>(k) + 1, last);
    return low + (high - low) * (h - static_cast<double>(k));
}

// Below this many values a full partition is as quick as anything.
constexpr std::size_t kSmallSet = 4096;

// An unsigned key that orders finite doubles as they compare (with -0 just before +0).
std::uint64_t OrderKey(double v)
{
    const auto bits = std::bit_cast<std::uint64_t>(v);
    return bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63);
}

// The double of an order key.
double FromKey(std::uint64_t key)
{
    return std::bit_cast<double>(key >> 63 ? key & ~(std::uint64_t{1} << 63) : ~key);
}

// A rank sought among the values: the `within`th of the `count` values whose keys lie in [lo, hi].
struct Sought {
    std::size_t rank;
    std::uint64_t lo = 0, hi = 0;
    std::size_t count = 0, within = 0;
    double value = 0;
    bool narrowed = false; // once: the first pass splits all values
    bool found = false;
};

// The most values of one range gathered to be ordered. A range holding more (most values equal or
// nearly so, beside a spike far off) is narrowed first, so that the memory stays small however the
// values lie: a grid too large to hold passes its values a piece at a time.
constexpr std::size_t kMostGathered = std::size_t{1} << 20;

// The shift that splits the keys of [lo, hi] into at most 65,536 parts of consecutive keys.
int PartShift(std::uint64_t lo, std::uint64_t hi)
{
    return std::max(0, static_cast<int>(std::bit_width(lo ^ hi)) - 16);
}

// Narrows a sought range to its part that holds the rank, from the count of values in each part.
void ToPart(Sought& sought, const std::vector<std::uint32_t>& counts)
{
    const int shift = PartShift(sought.lo, sought.hi);
    std::size_t part = 0;
    // (A pass handing on other values than the first would find the rank beyond the last part.)
    while (sought.within >= counts[part] && part + 1 < counts.size()) {
        sought.within -= counts[part];
        ++part;
    }
    const std::uint64_t first = (sought.lo >> shift) + part;
    // The last part's end may wrap past the largest key: it ends at `hi` then.
    sought.hi = std::min(sought.hi, ((first + 1) << shift) - 1);
    sought.lo = std::max(sought.lo, first << shift);
    sought.count = counts[part];
    sought.narrowed = true;
    if (sought.lo == sought.hi) {
        sought.value = FromKey(sought.lo);
        sought.found = true;
    }
}

// The distinct ranges of the ranks not yet found, where `wanted` says so.
std::vector<std::pair<std::uint64_t, std::uint64_t>> RangesOf(const std::vector<Sought>& sought, auto wanted)
{
    std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
    for (const Sought& s : sought)
        if (!s.found && wanted(s) && std::find(ranges.begin(), ranges.end(), std::pair{s.lo, s.hi}) == ranges.end())
            ranges.emplace_back(s.lo, s.hi);
    return ranges;
}

// Narrows every range the ranks lie in, a pass each time, until each holds at most kMostGathered
// values or a single key. The first pass splits all values into 65,536 parts.
template <typename ForEach>
void Narrow(const ForEach& forEach, std::vector<Sought>& sought)
{
    for (;;) {
        const auto ranges = RangesOf(sought, [](const Sought& s) { return !s.narrowed || s.count > kMostGathered; });
        if (ranges.empty())
            return;
        std::vector<std::vector<std::uint32_t>> counts(ranges.size());
        std::vector<int> shifts(ranges.size());
        for (std::size_t r = 0; r < ranges.size(); ++r) {
            shifts[r] = PartShift(ranges[r].first, ranges[r].second);
            counts[r].assign(static_cast<std::size_t>((ranges[r].second >> shifts[r]) - (ranges[r].first >> shifts[r])) + 1, 0);
        }
        if (ranges.size() == 1) {
            // The first pass, and the usual one: a single range, counted without a search.
            const auto [lo, hi] = ranges[0];
            const int shift = shifts[0];
            std::uint32_t* const parts = counts[0].data();
            forEach([&, lo = lo, hi = hi](double v) {
                const std::uint64_t key = OrderKey(v);
                if (std::isfinite(v) && key >= lo && key <= hi)
                    ++parts[(key >> shift) - (lo >> shift)];
            });
        } else {
            forEach([&](double v) {
                if (!std::isfinite(v))
                    return;
                const std::uint64_t key = OrderKey(v);
                for (std::size_t r = 0; r < ranges.size(); ++r)
                    if (key >= ranges[r].first && key <= ranges[r].second) {
                        ++counts[r][static_cast<std::size_t>((key >> shifts[r]) - (ranges[r].first >> shifts[r]))];
                        break;
                    }
            });
        }
        for (Sought& s : sought) {
            const auto at = std::find(ranges.begin(), ranges.end(), std::pair{s.lo, s.hi});
            if (!s.found && at != ranges.end())
                ToPart(s, counts[static_cast<std::size_t>(at - ranges.begin())]);
        }
    }
}

// The values of each range sought gathered in one pass and ordered around the ranks. Each range
// lies in one of the first pass's parts of [lowest, highest]: only the values of those parts are
// looked at further.
template <typename ForEach>
void Gather(const ForEach& forEach, std::vector<Sought>& sought, std::uint64_t lowest, std::uint64_t highest)
{
    const auto ranges = RangesOf(sought, [](const Sought&) { return true; });
    if (ranges.empty())
        return;
    const int shift = PartShift(lowest, highest);
    const std::uint64_t base = lowest >> shift;
    std::vector<std::uint8_t> holds(static_cast<std::size_t>((highest >> shift) - base) + 1, 0);
    for (const auto& range : ranges)
        holds[static_cast<std::size_t>((range.first >> shift) - base)] = 1;
    std::vector<std::vector<double>> members(ranges.size());
    forEach([&](double v) {
        if (!std::isfinite(v))
            return;
        const std::uint64_t key = OrderKey(v);
        if (!holds[static_cast<std::size_t>((key >> shift) - base)])
            return;
        for (std::size_t r = 0; r < ranges.size(); ++r)
            if (key >= ranges[r].first && key <= ranges[r].second) {
                members[r].push_back(v);
                break;
            }
    });
    for (Sought& s : sought) {
        if (s.found)
            continue;
        std::vector<double>& m = members[static_cast<std::size_t>(
            std::find(ranges.begin(), ranges.end(), std::pair{s.lo, s.hi}) - ranges.begin())];
        if (m.empty())
            continue; // values other than those counted: none to order
        s.within = std::min(s.within, m.size() - 1);
        std::nth_element(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(s.within), m.end());
        s.value = m[s.within];
    }
}

// The percentiles of the values a pass hands on: `forEach(take)` calls take(v) for every value, the
// same values each time.
template <typename ForEach>
ReadingPercentiles PercentilesBy(const ForEach& forEach)
{
    constexpr double kRanks[] = {0.02, 0.5, 0.98};
    ReadingPercentiles percentiles;
    std::uint64_t lowest = ~std::uint64_t{0};
    std::uint64_t highest = 0;
    forEach([&](double v) {
        if (std::isfinite(v)) {
            ++percentiles.count;
            lowest = std::min(lowest, OrderKey(v));
            highest = std::max(highest, OrderKey(v));
        }
    });
    const std::size_t n = percentiles.count;
    if (n == 0)
        return percentiles;
    double* const results[] = {&percentiles.p2, &percentiles.p50, &percentiles.p98};
    if (n < kSmallSet) {
        std::vector<double> finite;
        finite.reserve(n);
        forEach([&](double v) {
            if (std::isfinite(v))
                finite.push_back(v);
        });
        for (int i = 0; i < 3; ++i)
            *results[i] = Percentile(finite.begin(), finite.end(), kRanks[i]);
        return percentiles;
    }

    // A selection by the leading bits that tell the values apart: a count of the values in each of
    // at most 65,536 parts of consecutive values locates the parts of the ranks wanted (the order
    // statistics on both sides of each percentile), and only their values are then ordered. Exactly
    // the order statistics a full partition gives.
    std::vector<Sought> sought;
    for (const double p : kRanks) {
        const auto k = static_cast<std::size_t>(p * static_cast<double>(n - 1));
        for (const std::size_t rank : {k, std::min(k + 1, n - 1)})
            sought.push_back({.rank = rank, .lo = lowest, .hi = highest, .count = n, .within = rank});
    }
    if (lowest == highest) {
        for (Sought& s : sought)
            s.value = FromKey(lowest);
    } else {
        Narrow(forEach, sought);
        Gather(forEach, sought, lowest, highest);
    }
    for (int i = 0; i < 3; ++i) {
        const double h = kRanks[i] * static_cast<double>(n - 1);
        const double low = sought[2 * i].value;
        const double high = sought[2 * i + 1].value;
        *results[i] = low + (high - low) * (h - static_cast<double>(sought[2 * i].rank));
    }
    return percentiles;
}

} // namespace

ReadingPercentiles PercentilesOf(std::span<const double> values)
{
    return PercentilesBy([values](const auto& take) {
        for (const double v : values)
            take(v);
    });
}

ReadingPercentiles PercentilesOf(const ValuePass& pass)
{
    return PercentilesBy([&pass](const auto& take) {
        pass([&take](std::span<const float> piece) {
            for (const float v : piece)
                take(v);
        });
    });
}

ColourScale DefaultScale(const ReadingPercentiles& percentiles, Palette palette)
{
    ColourScale scale;
    scale.palette = palette;
    if (percentiles.count == 0)
        return scale;
    scale.min = percentiles.p2;
    scale.max = percentiles.p98;
    scale.centre = percentiles.p50;
    if (!(scale.min < scale.max)) {
        // One value, or most values equal: a narrow range around it, wide enough to be a range in
        // doubles even for huge values.
        const double v = scale.centre;
        const double half = std::max(0.5, std::fabs(v) * 1e-6);
        scale.min = v - half;
        scale.max = v + half;
    }
    scale.centre = std::clamp(scale.centre, scale.min, scale.max);
    return scale;
}

ColourScale DefaultScale(std::span<const double> values, Palette palette)
{
    return DefaultScale(PercentilesOf(values), palette);
}

Rgb ColourOf(const ColourScale& scale, double value)
{
    if (std::isnan(value))
        value = scale.centre;
    const double span = scale.max - scale.min;
    const double t = span > 0 ? (value - scale.min) / span : 0.5;
    if (scale.palette == Palette::Sequential)
        return Interpolate(kSequential, t);
    if (scale.palette == Palette::Greyscale || scale.palette == Palette::GreyscaleInverse) {
        const double dark = scale.palette == Palette::Greyscale ? std::clamp(t, 0.0, 1.0) : 1 - std::clamp(t, 0.0, 1.0);
        const auto grey = static_cast<std::uint8_t>(std::lround(255 * (1 - dark)));
        return {grey, grey, grey};
    }
    const double centre = std::clamp(scale.centre, std::min(scale.min, scale.max), std::max(scale.min, scale.max));
    if (value < centre) {
        const double below = centre - scale.min;
        return Interpolate(kBelow, below > 0 ? (value - scale.min) / below : 1.0);
    }
    const double above = scale.max - centre;
    return Interpolate(kAbove, above > 0 ? (value - centre) / above : 0.0);
}

std::vector<Rgb> Ramp(const ColourScale& scale, int steps)
{
    std::vector<Rgb> colours;
    if (steps <= 0)
        return colours;
    colours.reserve(static_cast<std::size_t>(steps));
    if (steps == 1) {
        colours.push_back(ColourOf(scale, scale.min + (scale.max - scale.min) / 2));
        return colours;
    }
    for (int i = 0; i < steps; ++i)
        colours.push_back(ColourOf(scale, scale.min + (scale.max - scale.min) * i / (steps - 1)));
    return colours;
}

} // namespace qm::site
