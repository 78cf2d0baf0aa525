// Percentiles, mean and standard deviation of current values, and the ranked sliding window.
#include "statistics.h"


namespace qm::process {

double Percentile(std::vector<double>& values, double p)
{
    const std::size_t n = values.size();
    const double h = (p / 100) * static_cast<double>(n - 1);
    const std::size_t lo = std::min(static_cast<std::size_t>(std::floor(h)), n - 1);
    const auto at = values.begin() + static_cast<std::ptrdiff_t>(lo);
    std::nth_element(values.begin(), at, values.end());
    const double x = *at;
    const double y = lo + 1 < n ? *std::min_element(at + 1, values.end()) : x;
    return Interpolate(x, y, h - static_cast<double>(lo));
}

double Mean(std::span<const double> values)
{
    const double n = static_cast<double>(values.size());
    double sum = 0;
    for (const double v : values)
        sum += v;
    if (std::isfinite(sum))
        return sum / n;
    // The sum overflowed: the mean of values that each fit still does.
    double mean = 0;
    for (const double v : values)
        mean += v / n;
    return mean;
}

double StandardDeviation(std::span<const double> values, double mean)
{
    const double n = static_cast<double>(values.size());
    double sum = 0;
    for (const double v : values)
        sum += (v - mean) * (v - mean);
    if (std::isfinite(sum))
        return std::sqrt(sum / n);
    double scale = 0;
    for (const double v : values)
        scale = std::max(scale, std::abs(v - mean));
    sum = 0;
    for (const double v : values)
        sum += ((v - mean) / scale) * ((v - mean) / scale);
    return scale * std::sqrt(sum / n);
}

RankedWindow::RankedWindow(std::span<const double> traverse) : rank_(traverse.size(), 0)
{
    std::vector<std::uint32_t> order;
    order.reserve(traverse.size());
    for (std::size_t i = 0; i < traverse.size(); ++i)
        if (!std::isnan(traverse[i]))
            order.push_back(static_cast<std::uint32_t>(i));
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return traverse[a] < traverse[b]; });
    sorted_.resize(order.size());
    for (std::size_t r = 0; r < order.size(); ++r) {
        sorted_[r] = traverse[order[r]];
        rank_[order[r]] = static_cast<std::uint32_t>(r);
    }
    tree_.assign(order.size() + 1, 0);
    while (topBit_ * 2 <= order.size())
        topBit_ *= 2;
}

void RankedWindow::Add(std::uint32_t rank, int delta)
{
    for (std::size_t i = rank + 1; i < tree_.size(); i += i & (~i + 1))
        tree_[i] = static_cast<std::uint32_t>(static_cast<int>(tree_[i]) + delta);
    count_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(count_) + delta);
}

double RankedWindow::At(std::size_t k) const
{
    // Descends the tree to the last position whose prefix count is at most k: the next rank holds
    // the k-th value (0-based).
    std::size_t position = 0;
    std::size_t remaining = k;
    for (std::size_t bit = topBit_; bit != 0; bit /= 2) {
        const std::size_t next = position + bit;
        if (next < tree_.size() && tree_[next] <= remaining) {
            position = next;
            remaining -= tree_[next];
        }
    }
    return sorted_[position];
}

} // namespace qm::process
