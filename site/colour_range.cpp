// Colour ranges by mode, and the legend's histogram.
#include "colour_range.h"

#include "errors.h"

#include <algorithm>
#include <cmath>

namespace qm::site {

namespace {

std::vector<double> Finite(std::span<const double> values)
{
    std::vector<double> finite;
    finite.reserve(values.size());
    for (const double v : values)
        if (std::isfinite(v))
            finite.push_back(v);
    return finite;
}

// Percentile p (0 to 100) by linear interpolation between order statistics; partitions in place.
double PercentileOf(std::vector<double>& values, double p)
{
    const double h = p / 100 * static_cast<double>(values.size() - 1);
    const auto k = static_cast<std::size_t>(h);
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    const double low = values[k];
    if (k + 1 >= values.size())
        return low;
    const double high = *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(k) + 1, values.end());
    return low + (high - low) * (h - static_cast<double>(k));
}

void Check(const RangeSetting& s)
{
    const auto fail = [](const char* why) { throw Error(why); };
    switch (s.mode) {
    case RangeMode::Percentiles:
        if (!(s.low >= 0 && s.high <= 100 && s.low < s.high))
            fail("The percentiles must run from 0 to 100, the first below the second");
        break;
    case RangeMode::MeanSd:
        if (!(s.k > 0 && std::isfinite(s.k)))
            fail("The number of standard deviations must be above 0");
        break;
    case RangeMode::MedianNt:
        if (!(s.nt > 0 && std::isfinite(s.nt)))
            fail("The nT either side of the median must be above 0");
        break;
    case RangeMode::Typed:
        if (!(std::isfinite(s.low) && std::isfinite(s.high) && s.low < s.high))
            fail("The typed minimum must be a number below the maximum");
        break;
    }
}

} // namespace

ColourRange RangeOf(std::span<const double> values, const RangeSetting& setting)
{
    Check(setting);
    std::vector<double> finite = Finite(values);
    ColourRange range;
    if (!finite.empty())
        range.median = PercentileOf(finite, 50);
    switch (setting.mode) {
    case RangeMode::Percentiles:
        if (!finite.empty()) {
            range.min = PercentileOf(finite, setting.low);
            range.max = PercentileOf(finite, setting.high);
        }
        break;
    case RangeMode::MeanSd: {
        double sum = 0;
        for (const double v : finite)
            sum += v;
        const double mean = finite.empty() ? 0 : sum / static_cast<double>(finite.size());
        double squares = 0;
        for (const double v : finite)
            squares += (v - mean) * (v - mean);
        const double sd = finite.empty() ? 0 : std::sqrt(squares / static_cast<double>(finite.size()));
        range.min = mean - setting.k * sd;
        range.max = mean + setting.k * sd;
        break;
    }
    case RangeMode::MedianNt:
        range.min = range.median - setting.nt;
        range.max = range.median + setting.nt;
        break;
    case RangeMode::Typed:
        range.min = setting.low;
        range.max = setting.high;
        break;
    }
    if (!(range.min < range.max) || !std::isfinite(range.max - range.min)) {
        const double centre = std::isfinite(range.min) ? range.min : 0;
        range.min = centre - 1;
        range.max = centre + 1;
    }
    range.median = std::clamp(range.median, range.min, range.max);
    return range;
}

const char* RangeModeName(RangeMode mode)
{
    switch (mode) {
    case RangeMode::Percentiles: return "percentiles";
    case RangeMode::MeanSd: return "mean-sd";
    case RangeMode::MedianNt: return "median-nt";
    case RangeMode::Typed: return "typed";
    }
    return "percentiles";
}

RangeMode ParseRangeMode(const std::string& name)
{
    for (const RangeMode mode : {RangeMode::MeanSd, RangeMode::MedianNt, RangeMode::Typed})
        if (name == RangeModeName(mode))
            return mode;
    return RangeMode::Percentiles;
}

std::vector<std::uint32_t> Histogram(std::span<const double> values, double min, double max, int bins)
{
    std::vector<std::uint32_t> counts(static_cast<std::size_t>(std::max(bins, 1)), 0);
    const double width = (max - min) / static_cast<double>(counts.size());
    for (const double v : values) {
        if (!std::isfinite(v))
            continue;
        const double at = width > 0 ? (v - min) / width : 0;
        const auto bin = static_cast<std::size_t>(std::clamp(at, 0.0, static_cast<double>(counts.size() - 1)));
        ++counts[bin];
    }
    return counts;
}

} // namespace qm::site
