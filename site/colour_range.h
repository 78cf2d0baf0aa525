// The colour range of the values shown, by the modes magnetometry plots use, and the histogram the
// legend draws beside it. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qm::site {

enum class RangeMode {
    Percentiles, // from the `low`th to the `high`th percentile (2 to 98 by default)
    MeanSd,      // mean ∓ k standard deviations
    MedianNt,    // median ∓ N nT
    Typed,       // from `low` to `high` as typed
};

struct RangeSetting {
    RangeMode mode = RangeMode::Percentiles;
    double low = 2;   // percentile, or the typed minimum
    double high = 98; // percentile, or the typed maximum
    double k = 2;     // standard deviations
    double nt = 10;   // nT either side of the median
};

struct ColourRange {
    double min = 0;
    double max = 1;
    double median = 0.5; // where the diverging palette is white
};

// The range of the finite values for a setting; always min < max (a range of no width is widened
// by a unit either side). Throws Error for a setting that makes no sense (percentiles out of 0 to
// 100 or not increasing, k or N not positive, typed limits not finite or not increasing).
ColourRange RangeOf(std::span<const double> values, const RangeSetting& setting);

// The mode's name as a session or the window keeps it ("percentiles", "mean-sd", "median-nt",
// "typed"); ParseRangeMode gives Percentiles for an unknown name.
const char* RangeModeName(RangeMode mode);
RangeMode ParseRangeMode(const std::string& name);

// Counts of the finite values in `bins` equal bins from min to max (values outside count in the end
// bins), for a small histogram beside the legend.
std::vector<std::uint32_t> Histogram(std::span<const double> values, double min, double max, int bins);

} // namespace qm::site
