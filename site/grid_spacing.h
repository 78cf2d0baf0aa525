// The line spacing of a walked site and the square buckets it finds neighbours with; shared by the
// gridding's defaults and its cell masks. Internal to the site GIS library.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

namespace qm::site::detail {

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Counting sort of points into square buckets: the points of bucket b are
// index[start[b] .. start[b+1]).
struct Buckets {
    double x0 = 0, y0 = 0, size = 1;
    int nx = 1, ny = 1;
    std::vector<std::uint32_t> start;
    std::vector<std::uint32_t> index;

    template <typename T>
    Buckets(std::span<const T> x, std::span<const T> y, double minX, double minY, double maxX, double maxY,
            double bucketSize)
        : x0(minX), y0(minY), size(bucketSize)
    {
        // Never more buckets than half the points (and a few), whatever the bucket size asked
        // for, so that the index takes at most 8 bytes a point.
        const double limit = static_cast<double>(x.size()) / 2 + 16;
        while (std::ceil((maxX - minX) / size + 1) * std::ceil((maxY - minY) / size + 1) > limit)
            size *= 1.5;
        nx = static_cast<int>((maxX - minX) / size) + 1;
        ny = static_cast<int>((maxY - minY) / size) + 1;
        start.assign(static_cast<std::size_t>(nx) * ny + 1, 0);
        for (std::size_t i = 0; i < x.size(); ++i)
            ++start[Of(x[i], y[i]) + 1];
        for (std::size_t b = 1; b < start.size(); ++b)
            start[b] += start[b - 1];
        index.resize(x.size());
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        for (std::size_t i = 0; i < x.size(); ++i)
            index[next[Of(x[i], y[i])]++] = static_cast<std::uint32_t>(i);
    }
    int Col(double x) const { return std::clamp(static_cast<int>((x - x0) / size), 0, nx - 1); }
    int Row(double y) const { return std::clamp(static_cast<int>((y - y0) / size), 0, ny - 1); }
    std::size_t Of(double x, double y) const { return static_cast<std::size_t>(Row(y)) * nx + Col(x); }
    std::span<const std::uint32_t> In(int col, int row) const
    {
        const std::size_t b = static_cast<std::size_t>(row) * nx + col;
        return {index.data() + start[b], index.data() + start[b + 1]};
    }
};

// Marks the readings at the position of an earlier reading (a line walked twice, a file copied):
// they would pass for a line no distance away. Each bucket's few readings are compared.
template <typename T>
std::vector<bool> Repeats(std::span<const T> x, std::span<const T> y, const Buckets& buckets)
{
    std::vector<bool> repeat(x.size(), false);
    std::vector<std::uint32_t> here;
    for (int r = 0; r < buckets.ny; ++r)
        for (int c = 0; c < buckets.nx; ++c) {
            const auto in = buckets.In(c, r);
            if (in.size() < 2)
                continue;
            here.assign(in.begin(), in.end());
            std::sort(here.begin(), here.end(), [&](std::uint32_t a, std::uint32_t b) {
                return x[a] != x[b] ? x[a] < x[b] : y[a] != y[b] ? y[a] < y[b] : a < b;
            });
            for (std::size_t k = 1; k < here.size(); ++k)
                if (x[here[k]] == x[here[k - 1]] && y[here[k]] == y[here[k - 1]])
                    repeat[here[k]] = true;
        }
    return repeat;
}

struct Spacing {
    double lines = 0;      // between lines, metres; 0 with fewer than two distinct points
    double step = 0;       // the median distance between consecutive readings
    bool oneLine = false;  // no reading has a neighbour on another line
};

// Readings along a line are much closer together than the lines are, so the spacing between
// lines is the median distance from a reading to the nearest reading of another line. A reading
// counts as on another line when it belongs to another track (the walk jumps by more than ten
// along-line steps between tracks) or when the walk between the two is more than three times
// longer than the straight distance between them: that holds for the next line of a zig-zag
// walked without a break, and never for neighbours along the same line. The median over an even
// sample of up to 2000 readings stands up to turns, crossings and gaps. A reading at the position
// of an earlier one counts neither as a sample nor as a neighbour. When no reading has a neighbour
// on another line (a single line), ten along-line steps stand in for the spacing.
template <typename T>
Spacing SpacingOf(std::span<const T> x, std::span<const T> y)
{
    Spacing spacing;
    const std::size_t n = x.size();
    if (n < 2)
        return spacing;
    std::vector<double> steps;
    steps.reserve(n - 1);
    for (std::size_t i = 1; i < n; ++i) {
        const double d = std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]);
        if (d > 0)
            steps.push_back(d);
    }
    const double step = Median(std::move(steps));
    if (step <= 0)
        return spacing;
    spacing.step = step;

    // The distance walked to each reading, a jump between tracks counting as 10,000 km.
    std::vector<double> walked(n, 0);
    for (std::size_t i = 1; i < n; ++i) {
        const double d = std::hypot(x[i] - x[i - 1], y[i] - y[i - 1]);
        walked[i] = walked[i - 1] + (d > 10 * step ? 1e7 : d);
    }

    const auto [minX, maxX] = std::minmax_element(x.begin(), x.end());
    const auto [minY, maxY] = std::minmax_element(y.begin(), y.end());
    const Buckets buckets(x, y, *minX, *minY, *maxX, *maxY, 4 * step);
    const std::vector<bool> repeat = Repeats(x, y, buckets);
    const double reach = std::max(*maxX - *minX, *maxY - *minY);

    std::vector<double> found;
    const std::size_t samples = std::min<std::size_t>(n, 2000);
    for (std::size_t s = 0; s < samples; ++s) {
        const std::size_t p = s * n / samples;
        if (repeat[p])
            continue;
        const int col = buckets.Col(x[p]), row = buckets.Row(y[p]);
        double best = std::numeric_limits<double>::infinity();
        // Rings of buckets outwards, until no nearer reading can lie further out; lines more
        // than 64 rings (256 steps) apart are not looked for.
        for (int ring = 0; ring <= std::min(64, std::max(buckets.nx, buckets.ny)); ++ring) {
            if (best <= (ring - 1) * buckets.size || (ring - 1) * buckets.size > reach)
                break;
            for (int r = row - ring; r <= row + ring; ++r) {
                if (r < 0 || r >= buckets.ny)
                    continue;
                const bool edge = r == row - ring || r == row + ring;
                for (int c = col - ring; c <= col + ring; c += edge ? 1 : 2 * std::max(ring, 1)) {
                    if (c < 0 || c >= buckets.nx)
                        continue;
                    for (std::uint32_t q : buckets.In(c, r)) {
                        const double d = std::hypot(x[q] - x[p], y[q] - y[p]);
                        if (d >= best || d <= 0 || repeat[q])
                            continue;
                        if (std::abs(walked[q] - walked[p]) > 3 * d)
                            best = d;
                    }
                }
            }
        }
        if (std::isfinite(best))
            found.push_back(best);
    }
    spacing.oneLine = found.empty();
    spacing.lines = found.empty() ? 10 * step : Median(std::move(found));
    return spacing;
}

} // namespace qm::site::detail
