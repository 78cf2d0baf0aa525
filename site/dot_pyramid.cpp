// The pyramid of the site map's cells: the readings sorted once by their finest cell (a radix sort
// of Morton codes), the coarser levels by merging runs of equal codes shifted by two bits, and the
// representatives of the cells found bottom up.
#include "dot_pyramid.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

namespace qm::site {

namespace {

constexpr std::int64_t kMaxSpanCells = 32767; // a level's occupied span, so that with the alignment it fits 16 bits
constexpr std::size_t kBlock = 1 << 16;       // readings projected at a time

// The bits of a 16-bit number spread to the even bits of a 32-bit one, and back.
std::uint32_t Spread(std::uint32_t v)
{
    v &= 0xffffu;
    v = (v | (v << 8)) & 0x00ff00ffu;
    v = (v | (v << 4)) & 0x0f0f0f0fu;
    v = (v | (v << 2)) & 0x33333333u;
    v = (v | (v << 1)) & 0x55555555u;
    return v;
}

std::uint32_t Gather(std::uint32_t v)
{
    v &= 0x55555555u;
    v = (v | (v >> 1)) & 0x33333333u;
    v = (v | (v >> 2)) & 0x0f0f0f0fu;
    v = (v | (v >> 4)) & 0x00ff00ffu;
    v = (v | (v >> 8)) & 0x0000ffffu;
    return v;
}

// A stable sort of `index` by `key` (both rearranged), 16 bits a pass; a pass whose digit is the
// same for every key is skipped.
void RadixSort(std::vector<std::uint32_t>& key, std::vector<std::uint32_t>& index)
{
    const std::size_t n = key.size();
    std::vector<std::uint32_t> keyOut(n);
    std::vector<std::uint32_t> indexOut(n);
    std::vector<std::size_t> start(65536 + 1);
    for (const int shift : {0, 16}) {
        std::fill(start.begin(), start.end(), 0);
        for (const std::uint32_t k : key)
            ++start[((k >> shift) & 0xffffu) + 1];
        if (std::find(start.begin(), start.end(), n) != start.end())
            continue;
        for (std::size_t d = 1; d < start.size(); ++d)
            start[d] += start[d - 1];
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t at = start[(key[j] >> shift) & 0xffffu]++;
            keyOut[at] = key[j];
            indexOut[at] = index[j];
        }
        key.swap(keyOut);
        index.swap(indexOut);
    }
}

// The finest zoom at which the extent spans at most kMaxSpanCells cells each way.
int FinestZoom(double west, double east, double north, double south)
{
    int zoom = kDotPyramidFinestZoom;
    while (zoom > 0 && (DotCellOf(east, zoom) - DotCellOf(west, zoom) > kMaxSpanCells ||
                        DotCellOf(south, zoom) - DotCellOf(north, zoom) > kMaxSpanCells))
        --zoom;
    return zoom;
}

// Appends one level: its cells' Morton codes (relative to the finest level's aligned origin,
// shifted to this zoom) and its bounds into the next finer level.
void AddLevel(DotPyramid& pyramid, int zoom, int finest, std::int64_t originX, std::int64_t originY,
              const std::vector<std::uint32_t>& codes, const std::vector<std::uint32_t>& bounds)
{
    DotPyramidLevel level;
    level.zoom = zoom;
    level.originX = originX >> (finest - zoom);
    level.originY = originY >> (finest - zoom);
    level.offset = pyramid.cell.size();
    level.count = codes.size();
    level.firstOffset = pyramid.first.size();
    for (const std::uint32_t code : codes)
        pyramid.cell.push_back(Gather(code) | Gather(code >> 1) << 16);
    pyramid.first.insert(pyramid.first.end(), bounds.begin(), bounds.end());
    pyramid.levels.push_back(level);
}

// The cells one zoom coarser than `codes` (runs of equal codes two bits shorter), which `codes`
// becomes; returns each one's first cell of the old `codes`, and their count last.
std::vector<std::uint32_t> ParentRuns(std::vector<std::uint32_t>& codes)
{
    std::vector<std::uint32_t> parents;
    std::vector<std::uint32_t> firsts;
    for (std::size_t c = 0; c < codes.size(); ++c) {
        if (c == 0 || codes[c] >> 2 != parents.back()) {
            parents.push_back(codes[c] >> 2);
            firsts.push_back(static_cast<std::uint32_t>(c));
        }
    }
    firsts.push_back(static_cast<std::uint32_t>(codes.size()));
    codes.swap(parents);
    return firsts;
}

// The levels of the readings whose finest cells' codes, sorted as `pyramid.order`, are `code`.
void AddLevels(DotPyramid& pyramid, std::vector<std::uint32_t> code, int finest, int coarsest, std::int64_t originX,
               std::int64_t originY)
{
    // The finest level: runs of equal codes in the sorted readings.
    std::vector<std::uint32_t> codes;
    std::vector<std::uint32_t> bounds;
    for (std::size_t j = 0; j < code.size(); ++j) {
        if (j == 0 || code[j] != code[j - 1]) {
            codes.push_back(code[j]);
            bounds.push_back(static_cast<std::uint32_t>(j));
        }
    }
    bounds.push_back(static_cast<std::uint32_t>(code.size()));
    std::vector<std::uint32_t>().swap(code);
    // Levels whose cells mostly hold a reading each save the page nothing over the readings
    // themselves: the finest level kept is the first with two readings a cell on average (deeper,
    // the page takes the readings of its cells on screen), its cells' bounds composed into `order`.
    int zoom = finest;
    while (zoom > coarsest && codes.size() * 2 > pyramid.order.size()) {
        std::vector<std::uint32_t> children = ParentRuns(codes);
        for (std::uint32_t& first : children)
            first = bounds[first];
        bounds.swap(children);
        --zoom;
    }
    AddLevel(pyramid, zoom, finest, originX, originY, codes, bounds);
    // Each coarser level: runs of equal codes, two bits shorter, among the finer level's cells.
    while (--zoom >= coarsest) {
        bounds = ParentRuns(codes);
        AddLevel(pyramid, zoom, finest, originX, originY, codes, bounds);
    }
    pyramid.cell.shrink_to_fit();
    pyramid.first.shrink_to_fit();
}

} // namespace

std::size_t DotPyramid::MemoryUsage() const
{
    return (order.capacity() + cell.capacity() + first.capacity()) * sizeof(std::uint32_t) +
           levels.capacity() * sizeof(DotPyramidLevel);
}

std::int64_t DotCellOf(double world, int zoom)
{
    // 256 pixels a world at zoom 0: exact powers of two, so the cells of one zoom are those of the
    // next finer one halved and floored.
    return static_cast<std::int64_t>(std::floor(std::ldexp(world, zoom + 8) / kDotCellPixels));
}

DotPyramid BuildDotPyramid(const WebMapFrame& frame, std::span<const double> lon, std::span<const double> lat)
{
    DotPyramid pyramid;
    const std::size_t n = std::min(lon.size(), lat.size());
    if (frame.count == 0 || n == 0 || n >= kNoReading)
        return pyramid;
    const SiteExtent& e = frame.extent;
    const double west = (e.west + 180.0) / 360.0;
    const double east = (e.east + 180.0) / 360.0;
    const double north = WebMapY(e.north);
    const double south = WebMapY(e.south);
    const int finest = FinestZoom(west, east, north, south);
    const int coarsest = std::max(0, finest - (kDotPyramidMaxLevels - 1));
    // The origin on a cell of the coarsest level, so that every level's cells are the finest
    // ones' relative columns and rows shifted.
    const int align = finest - coarsest;
    const std::int64_t originX = (DotCellOf(west, finest) >> align) << align;
    const std::int64_t originY = (DotCellOf(north, finest) >> align) << align;

    std::vector<std::uint32_t> code;
    code.reserve(frame.count);
    pyramid.order.reserve(frame.count);
    std::array<double, kBlock> x{};
    std::array<double, kBlock> y{};
    const auto relative = [](std::int64_t cell, std::int64_t origin) {
        return static_cast<std::uint32_t>(std::clamp<std::int64_t>(cell - origin, 0, 0xffff));
    };
    for (std::size_t begin = 0; begin < n; begin += kBlock) {
        const std::size_t count = std::min(kBlock, n - begin);
        ProjectToWebMap(frame, lon.subspan(begin, count), lat.subspan(begin, count), std::span(x.data(), count),
                        std::span(y.data(), count));
        for (std::size_t j = 0; j < count; ++j) {
            if (!std::isfinite(lon[begin + j]) || !std::isfinite(lat[begin + j]) || !std::isfinite(x[j]) ||
                !std::isfinite(y[j]))
                continue;
            const std::uint32_t cx = relative(DotCellOf(x[j] + frame.x0, finest), originX);
            const std::uint32_t cy = relative(DotCellOf(y[j] + frame.y0, finest), originY);
            code.push_back(Spread(cx) | Spread(cy) << 1);
            pyramid.order.push_back(static_cast<std::uint32_t>(begin + j));
        }
    }
    if (code.empty())
        return pyramid;
    RadixSort(code, pyramid.order);

    AddLevels(pyramid, std::move(code), finest, coarsest, originX, originY);
    return pyramid;
}

std::vector<std::uint32_t> DotRepresentatives(const DotPyramid& pyramid, std::span<const double> value, double centre)
{
    std::vector<std::uint32_t> reps(pyramid.Cells(), kNoReading);
    if (pyramid.empty())
        return reps;
    // The deviation of each cell's reading, for the level above; -1 below every deviation.
    std::vector<double> deviation(pyramid.Cells(), -1.0);
    const DotPyramidLevel& finest = pyramid.levels.front();
    for (std::size_t c = 0; c < finest.count; ++c) {
        double best = -1.0;
        std::uint32_t chosen = kNoReading;
        const std::uint32_t end = pyramid.first[finest.firstOffset + c + 1];
        // Within a cell the readings go by index, so the first of equals is the lowest.
        for (std::uint32_t k = pyramid.first[finest.firstOffset + c]; k < end; ++k) {
            const std::uint32_t i = pyramid.order[k];
            if (i >= value.size())
                continue;
            const double d = std::abs(static_cast<double>(static_cast<float>(value[i])) - centre);
            if (d > best) {
                best = d;
                chosen = i;
            }
        }
        reps[finest.offset + c] = chosen;
        deviation[finest.offset + c] = best;
    }
    for (std::size_t l = 1; l < pyramid.levels.size(); ++l) {
        const DotPyramidLevel& level = pyramid.levels[l];
        const std::size_t below = pyramid.levels[l - 1].offset;
        for (std::size_t c = 0; c < level.count; ++c) {
            double best = -1.0;
            std::uint32_t chosen = kNoReading;
            const std::uint32_t end = pyramid.first[level.firstOffset + c + 1];
            for (std::uint32_t k = pyramid.first[level.firstOffset + c]; k < end; ++k) {
                const std::uint32_t r = reps[below + k];
                const double d = deviation[below + k];
                if (r != kNoReading && (d > best || (d == best && r < chosen))) {
                    best = d;
                    chosen = r;
                }
            }
            reps[level.offset + c] = chosen;
            deviation[level.offset + c] = best;
        }
    }
    return reps;
}

} // namespace qm::site
