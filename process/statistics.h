// The statistics the steps take of current values: percentiles by linear interpolation between
// sorted values, the mean in reading order, the population standard deviation, and the median and
// median absolute deviation of a window that slides along a traverse.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace qm::process {

// x + f·(y − x), the interpolation between neighbouring sorted values; where y − x overflows
// (values near the largest double) the same point is reached without the overflow.
inline double Interpolate(double x, double y, double f)
{
    const double step = y - x;
    if (std::isfinite(step)) [[likely]]
        return x + f * step;
    return x * (1 - f) + y * f;
}

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
    void Insert(std::size_t, double value) { values_.insert(values_.begin() + UpperBound(value), value); }
    void Erase(std::size_t, double value) { values_.erase(values_.begin() + LowerBound(value)); }
    // Erase and Insert in one: the values between the two places move by one.
    void Replace(std::size_t, double out, std::size_t, double in)
    {
        double* d = values_.data();
        const std::size_t n = values_.size();
        std::size_t p = LowerBound(out);
        if (in >= out) {
            for (; p + 1 < n && d[p + 1] < in; ++p)
                d[p] = d[p + 1];
        } else {
            for (; p > 0 && d[p - 1] > in; --p)
                d[p] = d[p - 1];
        }
        d[p] = in;
    }
    std::size_t Count() const { return values_.size(); }
    double At(std::size_t k) const { return values_[k]; }
    const double* Data() const { return values_.data(); }

private:
    // Bisections without branches on the comparisons, which random data would mispredict.
    std::ptrdiff_t LowerBound(double value) const
    {
        const double* base = values_.data();
        std::size_t n = values_.size();
        if (n == 0)
            return 0;
        while (n > 1) {
            const std::size_t half = n / 2;
            base = base[half - 1] < value ? base + half : base;
            n -= half;
        }
        return (base - values_.data()) + (*base < value ? 1 : 0);
    }
    std::ptrdiff_t UpperBound(double value) const
    {
        const double* base = values_.data();
        std::size_t n = values_.size();
        if (n == 0)
            return 0;
        while (n > 1) {
            const std::size_t half = n / 2;
            base = base[half - 1] <= value ? base + half : base;
            n -= half;
        }
        return (base - values_.data()) + (*base <= value ? 1 : 0);
    }

    std::vector<double> values_;
};

// A window's values in order for windows of any length: each value of the traverse is ranked once,
// and a Fenwick tree over the ranks counts which are in the window.
class RankedWindow {
public:
    explicit RankedWindow(std::span<const double> traverse);
    void Insert(std::size_t index, double) { Add(rank_[index], 1); }
    void Erase(std::size_t index, double) { Add(rank_[index], -1); }
    void Replace(std::size_t out, double, std::size_t in, double)
    {
        Add(rank_[out], -1);
        Add(rank_[in], 1);
    }
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

// The median and the median absolute deviation of n sorted values in an array, as WindowMedian
// and WindowMad give them, without their bisections: what a short window needs for each reading.
inline double SortedMedian(const double* x, std::size_t n)
{
    const std::size_t lo = (n - 1) / 2;
    return Interpolate(x[lo], x[std::min(lo + 1, n - 1)], (n - 1) % 2 == 0 ? 0.0 : 0.5);
}

inline double SortedMad(const double* x, std::size_t n, double median)
{
    std::size_t below = (n - 1) / 2 + 1; // x[lo] is never above the median
    while (below < n && x[below] <= median)
        ++below;
    const std::size_t lo = (n - 1) / 2;
    const std::size_t hi = std::min(lo + 1, n - 1);
    constexpr double kNone = std::numeric_limits<double>::infinity();
    double low = 0;
    double next = 0;
    for (std::size_t k = 0, i = 0, j = 0; k <= hi; ++k) {
        const double a = i < below ? median - x[below - 1 - i] : kNone;
        const double b = below + j < n ? x[below + j] - median : kNone;
        const bool fromA = a < b;
        next = fromA ? a : b;
        i += fromA ? 1 : 0;
        j += fromA ? 0 : 1;
        if (k == lo)
            low = next;
    }
    return Interpolate(low, next, (n - 1) % 2 == 0 ? 0.0 : 0.5);
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
            // The reading that enters at the far end, and the one that leaves at the near end.
            const bool enters = half < n - i && !std::isnan(values[i + half]);
            const bool leaves = i > half && !std::isnan(values[i - half - 1]);
            if (enters && leaves)
                order.Replace(i - half - 1, values[i - half - 1], i + half, values[i + half]);
            else if (enters)
                order.Insert(i + half, values[i + half]);
            else if (leaves)
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
