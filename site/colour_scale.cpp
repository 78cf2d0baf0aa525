// The colour scale: robust default range from percentiles, and the two palettes as a few control
// colours interpolated linearly.
#include "colour_scale.h"

#include <algorithm>
#include <cmath>
#include <iterator>

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

} // namespace

ColourScale DefaultScale(std::span<const double> values, Palette palette)
{
    ColourScale scale;
    scale.palette = palette;
    std::vector<double> finite;
    finite.reserve(values.size());
    std::copy_if(values.begin(), values.end(), std::back_inserter(finite), [](double v) { return std::isfinite(v); });
    if (finite.empty())
        return scale;

    scale.min = Percentile(finite.begin(), finite.end(), 0.02);
    scale.max = Percentile(finite.begin(), finite.end(), 0.98);
    scale.centre = Percentile(finite.begin(), finite.end(), 0.5);
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

Rgb ColourOf(const ColourScale& scale, double value)
{
    if (std::isnan(value))
        value = scale.centre;
    if (scale.palette == Palette::Sequential) {
        const double span = scale.max - scale.min;
        return Interpolate(kSequential, span > 0 ? (value - scale.min) / span : 0.5);
    }
    const double centre = std::clamp(scale.centre, std::min(scale.min, scale.max), std::max(scale.min, scale.max));
    if (value < centre) {
        const double span = centre - scale.min;
        return Interpolate(kBelow, span > 0 ? (value - scale.min) / span : 1.0);
    }
    const double span = scale.max - centre;
    return Interpolate(kAbove, span > 0 ? (value - centre) / span : 0.0);
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
