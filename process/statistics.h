// The statistics the steps take of current values: percentiles by linear interpolation between
// sorted values, the mean in reading order, the population standard deviation, and the median and
// median absolute deviation of a window that slides along a traverse.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qm::process {

// x + f·(y − x), the interpolation between neighbouring sorted values; where y − x overflows
// (values near the largest double) the same point is reached without the overflow.
double Interpolate(double x, double y, double f);

// Percentile p (0..100) of values without gaps: with h = (p/100)(n−1), x(⌊h⌋) interpolated towards
// x(⌊h⌋+1) (x(n) standing for x(n−1)). Reorders `values`, which must not be empty.
double Percentile(std::vector<double>& values, double p);
// The sum in reading order divided by the count; `values` not empty.
double Mean(std::span<const double> values);
// sqrt(Σ(x − mean)² / n), scaled where the squares would overflow.
double StandardDeviation(std::span<const double> values, double mean);

// A window's values in order, for windows of a few hundred values: a sorted vector.
class SortedWindow {
public:
    void Insert(std::size_t, double value) { values_.insert(std::upper_bound(values_.begin(), values_.end(), value), value); }
    void Erase(std::size_t, double value) { values_.erase(std::lower_bound(values_.begin(), values_.end(), value)); }
    std::size_t Count() const { return values_.size(); }
    double At(std::size_t k) const { return values_[k]; }

private:
    std::vector<double> values_;
};

// A window's values in order for windows of any length: each value of the traverse is ranked once,
// and a Fenwick tree over the ranks counts which are in the window.
class RankedWindow {
public:
    explicit RankedWindow(std::span<const double> traverse);
    void Insert(std::size_t index, double) { Add(rank_[index], 1); }
    void Erase(std::size_t index, double) { Add(rank_[index], -1); }
    std::size_t Count() const { return count_; }
    double At(std::size_t k) const;

private:
    void Add(std::uint32_t rank, int delta);

    std::vector<double> sorted_;      // the traverse's values in order
    std::vector<std::uint32_t> rank_; // by index in the traverse (gaps unused)
    std::vector<std::uint32_t> tree_; // Fenwick tree over ranks, 1-based
    std::size_t count_ = 0;
    std::uint32_t topBit_ = 1;
};

// Percentile 50 of a window's values.
template <class Order>
double WindowMedian(const Order& order)
{
    const std::size_t n = order.Count();
    const std::size_t lo = (n - 1) / 2;
    const double f = (n - 1) % 2 == 0 ? 0.0 : 0.5;
    return Interpolate(order.At(lo), order.At(std::min(lo + 1, n - 1)), f);
}

// The median of |w − median| over a window. The deviations of the values at or below the median
// and of those above it are two sorted runs; their k-th smallest is found by bisection, without
// listing them.
template <class Order>
double WindowMad(const Order& order, double median)
{
    const std::size_t n = order.Count();
    std::size_t below = 0; // values at or below the median
    for (std::size_t hi = n; below < hi;) {
        const std::size_t mid = below + (hi - below) / 2;
        if (order.At(mid) <= median)
            below = mid + 1;
        else
            hi = mid;
    }
    const std::size_t above = n - below;
    const auto a = [&](std::size_t i) { return median - order.At(below - 1 - i); };
    const auto b = [&](std::size_t j) { return order.At(below + j) - median; };
    const auto kth = [&](std::size_t k) {
        // i deviations from the run below and k + 1 − i from the run above are the k + 1 smallest.
        std::size_t lo = k + 1 > above ? k + 1 - above : 0;
        std::size_t hi = std::min(k + 1, below);
        while (lo < hi) {
            const std::size_t i = lo + (hi - lo) / 2;
            if (a(i) < b(k - i))
                lo = i + 1;
            else
                hi = i;
        }
        const std::size_t j = k + 1 - lo;
        if (lo == 0)
            return b(j - 1);
        if (j == 0)
            return a(lo - 1);
        return std::max(a(lo - 1), b(j - 1));
    };
    const std::size_t lo = (n - 1) / 2;
    const double f = (n - 1) % 2 == 0 ? 0.0 : 0.5;
    return Interpolate(kth(lo), kth(std::min(lo + 1, n - 1)), f);
}

// Windows of more values than this use RankedWindow.
inline constexpr std::size_t kSortedWindowLimit = 256;

// Calls visit(i, order) for each reading i of a traverse that has a value (not NaN), where `order`
// holds the values among readings i−half … i+half that lie inside the traverse.
template <class Order, class Visit>
void SlideWindow(std::span<const double> values, std::size_t half, Order& order, Visit&& visit)
{
    const std::size_t n = values.size();
    const auto add = [&](std::size_t k) {
        if (!std::isnan(values[k]))
            order.Insert(k, values[k]);
    };
    for (std::size_t k = 0; k < n && k <= half; ++k)
        add(k);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0) {
            if (half < n - i)
                add(i + half);
            if (i > half && !std::isnan(values[i - half - 1]))
                order.Erase(i - half - 1, values[i - half - 1]);
        }
        if (!std::isnan(values[i]))
            visit(i, static_cast<const Order&>(order));
    }
}

template <class Visit>
void ForEachWindow(std::span<const double> values, std::uint64_t half, Visit&& visit)
{
    const std::size_t n = values.size();
    const std::size_t h = half >= n ? n : static_cast<std::size_t>(half);
    if (std::min<std::size_t>(2 * h + 1, n) <= kSortedWindowLimit) {
        SortedWindow order;
        SlideWindow(values, h, order, visit);
    } else {
        RankedWindow order(values);
        SlideWindow(values, h, order, visit);
    }
}

} // namespace qm::process
