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

// The percentiles of the values a pass hands on: `forEach(take)` calls take(v) for every value, the
// same values each time (three passes at most).
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
    // at most 65,536 buckets of consecutive values locates the buckets of the ranks wanted, and only
    // their values are then ordered. Exactly the order statistics a full partition gives.
    const int shift = std::max(0, static_cast<int>(std::bit_width(lowest ^ highest)) - 16);
    const std::uint64_t base = lowest >> shift;
    const std::size_t bucketCount = static_cast<std::size_t>((highest >> shift) - base) + 1;
    const auto bucketOf = [&](double v) { return static_cast<std::size_t>((OrderKey(v) >> shift) - base); };
    std::vector<std::uint32_t> counts(bucketCount, 0);
    forEach([&](double v) {
        if (std::isfinite(v))
            ++counts[bucketOf(v)];
    });
    // Each rank wanted (the order statistics on both sides of each percentile), its bucket and its
    // rank within the bucket.
    struct Wanted {
        std::size_t rank;
        std::size_t bucket = 0;
        std::size_t within = 0;
        double value = 0;
    };
    std::vector<Wanted> wanted;
    for (const double p : kRanks) {
        const auto k = static_cast<std::size_t>(p * static_cast<double>(n - 1));
        wanted.push_back({k});
        wanted.push_back({std::min(k + 1, n - 1)});
    }
    std::vector<std::size_t> firstRank(bucketCount + 1, 0);
    for (std::size_t b = 0; b < bucketCount; ++b)
        firstRank[b + 1] = firstRank[b] + counts[b];
    // The values of the few buckets wanted, each bucket's by its slot (0: not wanted).
    std::vector<std::uint8_t> slotOf(bucketCount, 0);
    std::vector<std::vector<double>> members;
    for (Wanted& w : wanted) {
        w.bucket = static_cast<std::size_t>(std::upper_bound(firstRank.begin(), firstRank.end(), w.rank) - firstRank.begin()) - 1;
        w.within = w.rank - firstRank[w.bucket];
        if (slotOf[w.bucket] == 0) {
            members.emplace_back().reserve(counts[w.bucket]);
            slotOf[w.bucket] = static_cast<std::uint8_t>(members.size());
        }
    }
    forEach([&](double v) {
        if (std::isfinite(v)) {
            if (const std::uint8_t slot = slotOf[bucketOf(v)])
                members[slot - 1].push_back(v);
        }
    });
    for (Wanted& w : wanted) {
        std::vector<double>& m = members[slotOf[w.bucket] - 1];
        std::nth_element(m.begin(), m.begin() + static_cast<std::ptrdiff_t>(w.within), m.end());
        w.value = m[w.within];
    }
    for (int i = 0; i < 3; ++i) {
        const double h = kRanks[i] * static_cast<double>(n - 1);
        const double low = wanted[2 * i].value;
        const double high = wanted[2 * i + 1].value;
        *results[i] = low + (high - low) * (h - static_cast<double>(wanted[2 * i].rank));
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
