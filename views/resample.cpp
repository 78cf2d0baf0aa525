// Two-pass filtered resampling (the Graphics Gems III scheme). For every destination column, then
// every destination row, a list of source taps and weights is computed once; a horizontal pass
// filters each source row into a work image of the destination's width, and a vertical pass
// filters each work column into the destination.
//
// The results are defined to the bit: 32-bit float scales, centres and weights; a 32-bit float
// accumulator per channel that is rounded to float after every tap (the product and sum being
// formed in double); clamping and round-half-even to bytes between the passes. Each destination
// pixel is therefore a serial chain of roundings, but pixels are independent, so the fast paths
// run many pixels side by side in vector registers and give exactly the same bytes as the scalar
// path.
#include "resample.h"

#include "errors.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QM_RESAMPLE_SSE2 1
#include <emmintrin.h>
#endif

#if defined(QM_RESAMPLE_SSE2) && (defined(__GNUC__) || defined(__clang__)) && !defined(_MSC_VER) && \
    (defined(__x86_64__) || defined(__i386__))
#define QM_RESAMPLE_AVX2 1
#include <immintrin.h>
#endif

namespace qm {

namespace {

using detail::ResamplePath;

// More candidate positions than this in one pass cannot be a sensible call (a width or a scale
// far out of range); it is refused like an allocation that cannot be made.
constexpr long double kMaxCandidates = 1u << 27;

// The taps of every destination index of one pass, list after list. List i holds the taps
// start[i] .. start[i + 1] - 1, in the order they were found.
struct TapTable {
    std::vector<std::size_t> start;
    std::vector<std::int32_t> index;
    std::vector<float> weight;
};

struct PassGeometry {
    bool shrink = false;
    float radius = 0.0f;  // R
    float stretch = 1.0f; // f, only when shrinking
};

PassGeometry GeometryFor(float scale, float width)
{
    PassGeometry g;
    g.shrink = scale < 1.0f;
    if (g.shrink) {
        g.radius = width / scale;
        g.stretch = 1.0f / scale;
    } else {
        g.radius = width;
    }
    return g;
}

// Number of candidate positions the tap computation of a pass will visit, at most.
long double CandidateCount(const PassGeometry& g, int destSize)
{
    if (!std::isfinite(g.radius)) {
        return std::numeric_limits<long double>::infinity();
    }
    return (2.0L * g.radius + 3.0L) * static_cast<long double>(destSize);
}

// Folds an unfolded source position into 0..size-1: mirrored about the first pixel at the start
// (-1 gives 1) and about the outer edge of the last pixel at the end (size gives size - 1).
// Positions further out than one fold are mirrored again until inside; the two mirrors together
// repeat with a period of 2 * size - 1.
std::int32_t FoldIndex(std::int64_t j, std::int64_t size)
{
    std::int64_t n = j;
    if (n < 0) {
        n = -n;
    } else if (n >= size) {
        n = 2 * size - 1 - n;
    }
    if (n >= 0 && n < size) {
        return static_cast<std::int32_t>(n);
    }
    const std::int64_t period = 2 * size - 1;
    std::int64_t r = j % period;
    if (r < 0) {
        r += period;
    }
    return static_cast<std::int32_t>(r < size ? r : period - r);
}

TapTable BuildTapTable(int sourceSize, int destSize, float scale, ResampleKernel kernel, const PassGeometry& g)
{
    TapTable table;
    table.start.reserve(static_cast<std::size_t>(destSize) + 1);
    // Room for trunc(2R + 1) taps per list; the lists grow past it only if the kernel is not 0
    // beyond its width. Very wide tables are left to grow as they fill.
    const auto room = static_cast<std::size_t>(2.0f * g.radius + 1.0f) * static_cast<std::size_t>(destSize);
    table.index.reserve(std::min<std::size_t>(room, std::size_t{1} << 22));
    table.weight.reserve(std::min<std::size_t>(room, std::size_t{1} << 22));

    for (int i = 0; i < destSize; ++i) {
        table.start.push_back(table.index.size());
        const float p = static_cast<float>(static_cast<long double>(i) / static_cast<long double>(scale));
        const auto left = static_cast<std::int64_t>(std::floor(static_cast<long double>(p) - g.radius));
        const auto right = static_cast<std::int64_t>(std::ceil(static_cast<long double>(p) + g.radius));
        for (std::int64_t j = left; j <= right; ++j) {
            const long double offset = static_cast<long double>(p) - static_cast<long double>(j);
            float weight;
            if (g.shrink) {
                const float t = static_cast<float>(offset / g.stretch);
                weight = static_cast<float>(static_cast<long double>(kernel(t)) / g.stretch);
            } else {
                weight = kernel(static_cast<float>(offset));
            }
            if (weight == 0.0f) {
                continue;
            }
            table.index.push_back(FoldIndex(j, sourceSize));
            table.weight.push_back(weight);
        }
    }
    table.start.push_back(table.index.size());
    return table;
}

// The byte of an accumulator: clamped to 0..255, halves to even. NaN (from a kernel that
// misbehaves) gives 0.
inline std::uint8_t ToByte(float v)
{
    if (v > 255.0f) {
        return 255;
    }
    if (!(v > 0.0f)) {
        return 0;
    }
    const auto whole = static_cast<int>(v);
    const float fraction = v - static_cast<float>(whole);
    const int rounded = whole + ((fraction > 0.5f || (fraction == 0.5f && (whole & 1) != 0)) ? 1 : 0);
    return static_cast<std::uint8_t>(rounded);
}

// One tap: the product and the sum in double, the sum rounded to float.
inline float AddTap(float acc, std::uint8_t value, float weight)
{
    return static_cast<float>(static_cast<double>(acc) +
                              static_cast<double>(value) * static_cast<double>(weight));
}

// ---- Scalar path: one pixel, one tap at a time, exactly as the rules read. ----

void HorizontalScalar(const std::uint8_t* src, int sw, int sh, std::uint8_t* work, int dw, const TapTable& taps)
{
    const std::size_t srcStride = 3 * static_cast<std::size_t>(sw);
    const std::size_t workStride = 3 * static_cast<std::size_t>(dw);
    for (int y = 0; y < sh; ++y) {
        const std::uint8_t* row = src + static_cast<std::size_t>(y) * srcStride;
        std::uint8_t* out = work + static_cast<std::size_t>(y) * workStride;
        for (int x = 0; x < dw; ++x) {
            float b = 0.0f, g = 0.0f, r = 0.0f;
            for (std::size_t k = taps.start[x]; k < taps.start[x + 1]; ++k) {
                const std::uint8_t* p = row + 3 * static_cast<std::size_t>(taps.index[k]);
                const float w = taps.weight[k];
                b = AddTap(b, p[0], w);
                g = AddTap(g, p[1], w);
                r = AddTap(r, p[2], w);
            }
            out[3 * x] = ToByte(b);
            out[3 * x + 1] = ToByte(g);
            out[3 * x + 2] = ToByte(r);
        }
    }
}

void VerticalScalar(const std::uint8_t* work, int dw, std::uint8_t* dst, int dh, const TapTable& taps)
{
    const std::size_t stride = 3 * static_cast<std::size_t>(dw);
    for (int x = 0; x < dw; ++x) {
        for (int y = 0; y < dh; ++y) {
            float b = 0.0f, g = 0.0f, r = 0.0f;
            for (std::size_t k = taps.start[y]; k < taps.start[y + 1]; ++k) {
                const std::uint8_t* p = work + static_cast<std::size_t>(taps.index[k]) * stride + 3 * static_cast<std::size_t>(x);
                const float w = taps.weight[k];
                b = AddTap(b, p[0], w);
                g = AddTap(g, p[1], w);
                r = AddTap(r, p[2], w);
            }
            std::uint8_t* out = dst + static_cast<std::size_t>(y) * stride + 3 * static_cast<std::size_t>(x);
            out[0] = ToByte(b);
            out[1] = ToByte(g);
            out[2] = ToByte(r);
        }
    }
}

// ---- Vector paths. ----
//
// Horizontal pass: eight source rows at a time are interleaved into a block buffer, one 32-byte
// slot per source column holding that column's 8 x 3 channel bytes. A destination column then runs
// its taps once for all 24 channels of the eight rows, each tap being contiguous loads.
//
// Vertical pass: a destination row runs its taps over whole work rows, every channel of the row
// being an independent accumulator.

constexpr int kBlockRows = 8;
constexpr std::size_t kSlotBytes = 32;

// Fills the block buffer from rows y0 .. y0 + rows - 1; slots of missing rows are zero.
void FillBlock(const std::uint8_t* src, int sw, int y0, int rows, std::uint8_t* block)
{
    const std::size_t srcStride = 3 * static_cast<std::size_t>(sw);
    if (rows < kBlockRows) {
        std::memset(block, 0, static_cast<std::size_t>(sw) * kSlotBytes);
    }
    for (int b = 0; b < rows; ++b) {
        const std::uint8_t* row = src + static_cast<std::size_t>(y0 + b) * srcStride;
        std::uint8_t* slot = block + 3 * static_cast<std::size_t>(b);
        // A 4-byte copy spills one byte into the next row's place (written after this one) or into
        // the slot's spare bytes; the source's last pixel is copied as 3 bytes to stay inside.
        for (int n = 0; n + 1 < sw; ++n) {
            std::memcpy(slot + static_cast<std::size_t>(n) * kSlotBytes, row + 3 * static_cast<std::size_t>(n), 4);
        }
        std::memcpy(slot + static_cast<std::size_t>(sw - 1) * kSlotBytes, row + 3 * static_cast<std::size_t>(sw - 1), 3);
    }
}

// Writes the 24 channel bytes of one destination column of a block into the work image.
inline void StoreBlockColumn(const std::uint8_t* bytes, int rows, std::uint8_t* work, std::size_t workStride, int y0, int x)
{
    for (int b = 0; b < rows; ++b) {
        std::memcpy(work + static_cast<std::size_t>(y0 + b) * workStride + 3 * static_cast<std::size_t>(x), bytes + 3 * b, 3);
    }
}

#if defined(QM_RESAMPLE_SSE2)

// Four int32 lanes to two double vectors.
inline void WidenToDouble(__m128i v, __m128d& lo, __m128d& hi)
{
    lo = _mm_cvtepi32_pd(v);
    hi = _mm_cvtepi32_pd(_mm_shuffle_epi32(v, 0xEE));
}

inline __m128d TapStep(__m128d acc, __m128d value, __m128d weight)
{
    return _mm_cvtps_pd(_mm_cvtpd_ps(_mm_add_pd(acc, _mm_mul_pd(value, weight))));
}

// Clamps four floats to 0..255 (NaN to 0) and rounds halves to even.
inline __m128i RoundClamp(__m128 v)
{
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvtps_epi32(clamped);
}

inline __m128 NarrowToFloat(__m128d lo, __m128d hi)
{
    return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
}

// Sixteen bytes (eight when only the low half is wanted) to vectors of four int32 lanes.
inline void WidenBytes(__m128i v, __m128i* out, int groups)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i h0 = _mm_unpacklo_epi8(v, zero);
    out[0] = _mm_unpacklo_epi16(h0, zero);
    out[1] = _mm_unpackhi_epi16(h0, zero);
    if (groups > 2) {
        const __m128i h1 = _mm_unpackhi_epi8(v, zero);
        out[2] = _mm_unpacklo_epi16(h1, zero);
        out[3] = _mm_unpackhi_epi16(h1, zero);
    }
}

// The first tap of a list: 0 + v * w rounded to float is the float product of v and w (the exact
// product rounded once), so it is done four lanes at a time in float. (A zero may come out as -0
// instead of +0; no byte depends on the sign of a zero.)
inline void FirstTapSse2(__m128i ints, __m128 weight, __m128d& lo, __m128d& hi)
{
    const __m128 product = _mm_mul_ps(_mm_cvtepi32_ps(ints), weight);
    lo = _mm_cvtps_pd(product);
    hi = _mm_cvtps_pd(_mm_movehl_ps(product, product));
}

inline void NextTapSse2(__m128i ints, __m128d weight, __m128d& lo, __m128d& hi)
{
    __m128d a, b;
    WidenToDouble(ints, a, b);
    lo = TapStep(lo, a, weight);
    hi = TapStep(hi, b, weight);
}

void HorizontalSse2(const std::uint8_t* src, int sw, int sh, std::uint8_t* work, int dw, const TapTable& taps)
{
    const std::size_t workStride = 3 * static_cast<std::size_t>(dw);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(sw) * kSlotBytes);
    const __m128i zero = _mm_setzero_si128();
    alignas(16) std::uint8_t out[32];

    for (int y0 = 0; y0 < sh; y0 += kBlockRows) {
        const int rows = std::min(kBlockRows, sh - y0);
        FillBlock(src, sw, y0, rows, block.data());
        for (int x = 0; x < dw; ++x) {
            __m128d acc[12];
            for (auto& a : acc) {
                a = _mm_setzero_pd(); // an empty list sums to 0
            }
            std::size_t k = taps.start[x];
            const std::size_t end = taps.start[x + 1];
            for (; k < end; ++k) {
                const std::uint8_t* s = block.data() + static_cast<std::size_t>(taps.index[k]) * kSlotBytes;
                __m128i ints[6];
                WidenBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s)), ints, 4);
                WidenBytes(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(s + 16)), ints + 4, 2);
                if (k == taps.start[x]) {
                    const __m128 w = _mm_set1_ps(taps.weight[k]);
                    for (int j = 0; j < 6; ++j) {
                        FirstTapSse2(ints[j], w, acc[2 * j], acc[2 * j + 1]);
                    }
                } else {
                    const __m128d w = _mm_set1_pd(static_cast<double>(taps.weight[k]));
                    for (int j = 0; j < 6; ++j) {
                        NextTapSse2(ints[j], w, acc[2 * j], acc[2 * j + 1]);
                    }
                }
            }
            const __m128i i0 = RoundClamp(NarrowToFloat(acc[0], acc[1]));
            const __m128i i1 = RoundClamp(NarrowToFloat(acc[2], acc[3]));
            const __m128i i2 = RoundClamp(NarrowToFloat(acc[4], acc[5]));
            const __m128i i3 = RoundClamp(NarrowToFloat(acc[6], acc[7]));
            const __m128i i4 = RoundClamp(NarrowToFloat(acc[8], acc[9]));
            const __m128i i5 = RoundClamp(NarrowToFloat(acc[10], acc[11]));
            const __m128i p01 = _mm_packus_epi16(_mm_packs_epi32(i0, i1), _mm_packs_epi32(i2, i3));
            const __m128i p2 = _mm_packus_epi16(_mm_packs_epi32(i4, i5), zero);
            _mm_store_si128(reinterpret_cast<__m128i*>(out), p01);
            _mm_store_si128(reinterpret_cast<__m128i*>(out + 16), p2);
            StoreBlockColumn(out, rows, work, workStride, y0, x);
        }
    }
}

void VerticalSse2(const std::uint8_t* work, int dw, std::uint8_t* dst, int dh, const TapTable& taps)
{
    const std::size_t n = 3 * static_cast<std::size_t>(dw);

    for (int y = 0; y < dh; ++y) {
        const std::size_t k0 = taps.start[y];
        const std::size_t k1 = taps.start[y + 1];
        std::uint8_t* out = dst + static_cast<std::size_t>(y) * n;
        std::size_t i = 0;
        // 16 channels at a time stay in registers through all taps of the row.
        for (; i + 16 <= n; i += 16) {
            __m128d acc[8];
            for (auto& a : acc) {
                a = _mm_setzero_pd(); // an empty list sums to 0
            }
            for (std::size_t k = k0; k < k1; ++k) {
                const std::uint8_t* row = work + static_cast<std::size_t>(taps.index[k]) * n + i;
                __m128i ints[4];
                WidenBytes(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), ints, 4);
                if (k == k0) {
                    const __m128 w = _mm_set1_ps(taps.weight[k]);
                    for (int j = 0; j < 4; ++j) {
                        FirstTapSse2(ints[j], w, acc[2 * j], acc[2 * j + 1]);
                    }
                } else {
                    const __m128d w = _mm_set1_pd(static_cast<double>(taps.weight[k]));
                    for (int j = 0; j < 4; ++j) {
                        NextTapSse2(ints[j], w, acc[2 * j], acc[2 * j + 1]);
                    }
                }
            }
            const __m128i i0 = RoundClamp(NarrowToFloat(acc[0], acc[1]));
            const __m128i i1 = RoundClamp(NarrowToFloat(acc[2], acc[3]));
            const __m128i i2 = RoundClamp(NarrowToFloat(acc[4], acc[5]));
            const __m128i i3 = RoundClamp(NarrowToFloat(acc[6], acc[7]));
            const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(i0, i1), _mm_packs_epi32(i2, i3));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), bytes);
        }
        for (; i < n; ++i) {
            float acc = 0.0f;
            for (std::size_t k = k0; k < k1; ++k) {
                acc = AddTap(acc, work[static_cast<std::size_t>(taps.index[k]) * n + i], taps.weight[k]);
            }
            out[i] = ToByte(acc);
        }
    }
}

#endif // QM_RESAMPLE_SSE2

#if defined(QM_RESAMPLE_AVX2)

// The same two passes with 256-bit registers, for processors that have AVX2 (checked at run time).
// Four doubles per register; the byte-to-int widening uses the AVX2 zero-extension.

#define QM_AVX2 __attribute__((target("avx2")))

// Four bytes to four doubles without a conversion instruction: each byte is placed in the low
// mantissa bits of 2^52 and 2^52 is subtracted, which is exact.
QM_AVX2 inline __m256d BytesToDoubleAvx2(const std::uint8_t* p)
{
    std::int32_t four;
    std::memcpy(&four, p, 4);
    const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(four));
    const __m256i biased = _mm256_or_si256(wide, _mm256_set1_epi64x(0x4330000000000000LL));
    return _mm256_sub_pd(_mm256_castsi256_pd(biased), _mm256_set1_pd(4503599627370496.0));
}

QM_AVX2 inline __m256d TapStepAvx2(__m256d acc, __m256d value, __m256d weight)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(acc, _mm256_mul_pd(value, weight))));
}

// The first tap of a list: 0 + v * w rounded to float is the float product of v and w (the exact
// product rounded once), so it is done eight lanes at a time in float. The two halves come back
// as doubles. (A zero may come out as -0 instead of +0; no byte depends on the sign of a zero.)
QM_AVX2 inline void FirstTapAvx2(const std::uint8_t* p, float weight, __m256d& lo, __m256d& hi)
{
    const __m256i v = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    const __m256 product = _mm256_mul_ps(_mm256_cvtepi32_ps(v), _mm256_set1_ps(weight));
    lo = _mm256_cvtps_pd(_mm256_castps256_ps128(product));
    hi = _mm256_cvtps_pd(_mm256_extractf128_ps(product, 1));
}

QM_AVX2 inline __m128i RoundClampAvx2(__m128 v)
{
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, _mm_setzero_ps()), _mm_set1_ps(255.0f));
    return _mm_cvtps_epi32(clamped);
}

QM_AVX2 void HorizontalAvx2(const std::uint8_t* src, int sw, int sh, std::uint8_t* work, int dw, const TapTable& taps)
{
    const std::size_t workStride = 3 * static_cast<std::size_t>(dw);
    std::vector<std::uint8_t> block(static_cast<std::size_t>(sw) * kSlotBytes);
    alignas(16) std::uint8_t out[32];

    for (int y0 = 0; y0 < sh; y0 += kBlockRows) {
        const int rows = std::min(kBlockRows, sh - y0);
        FillBlock(src, sw, y0, rows, block.data());
        for (int x = 0; x < dw; ++x) {
            __m256d acc[6];
            std::size_t k = taps.start[x];
            const std::size_t end = taps.start[x + 1];
            if (k < end) {
                const std::uint8_t* s = block.data() + static_cast<std::size_t>(taps.index[k]) * kSlotBytes;
                FirstTapAvx2(s, taps.weight[k], acc[0], acc[1]);
                FirstTapAvx2(s + 8, taps.weight[k], acc[2], acc[3]);
                FirstTapAvx2(s + 16, taps.weight[k], acc[4], acc[5]);
                ++k;
            } else {
                for (auto& a : acc) {
                    a = _mm256_setzero_pd();
                }
            }
            for (; k < end; ++k) {
                const std::uint8_t* s = block.data() + static_cast<std::size_t>(taps.index[k]) * kSlotBytes;
                const __m256d w = _mm256_set1_pd(static_cast<double>(taps.weight[k]));
                for (int j = 0; j < 6; ++j) {
                    acc[j] = TapStepAvx2(acc[j], BytesToDoubleAvx2(s + 4 * j), w);
                }
            }
            __m128i r[6];
            for (int j = 0; j < 6; ++j) {
                r[j] = RoundClampAvx2(_mm256_cvtpd_ps(acc[j]));
            }
            const __m128i p01 = _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), _mm_packs_epi32(r[2], r[3]));
            const __m128i p2 = _mm_packus_epi16(_mm_packs_epi32(r[4], r[5]), _mm_setzero_si128());
            _mm_store_si128(reinterpret_cast<__m128i*>(out), p01);
            _mm_store_si128(reinterpret_cast<__m128i*>(out + 16), p2);
            StoreBlockColumn(out, rows, work, workStride, y0, x);
        }
    }
}

QM_AVX2 void VerticalAvx2(const std::uint8_t* work, int dw, std::uint8_t* dst, int dh, const TapTable& taps)
{
    const std::size_t n = 3 * static_cast<std::size_t>(dw);

    for (int y = 0; y < dh; ++y) {
        const std::size_t k0 = taps.start[y];
        const std::size_t k1 = taps.start[y + 1];
        std::uint8_t* out = dst + static_cast<std::size_t>(y) * n;
        std::size_t i = 0;
        // 32 channels at a time stay in registers through all taps of the row.
        for (; i + 32 <= n; i += 32) {
            __m256d acc[8];
            std::size_t k = k0;
            if (k < k1) {
                const std::uint8_t* row = work + static_cast<std::size_t>(taps.index[k]) * n + i;
                for (int g = 0; g < 4; ++g) {
                    FirstTapAvx2(row + 8 * g, taps.weight[k], acc[2 * g], acc[2 * g + 1]);
                }
                ++k;
            } else {
                for (auto& a : acc) {
                    a = _mm256_setzero_pd();
                }
            }
            for (; k < k1; ++k) {
                const std::uint8_t* row = work + static_cast<std::size_t>(taps.index[k]) * n + i;
                const __m256d w = _mm256_set1_pd(static_cast<double>(taps.weight[k]));
                for (int j = 0; j < 8; ++j) {
                    acc[j] = TapStepAvx2(acc[j], BytesToDoubleAvx2(row + 4 * j), w);
                }
            }
            __m128i r[8];
            for (int j = 0; j < 8; ++j) {
                r[j] = RoundClampAvx2(_mm256_cvtpd_ps(acc[j]));
            }
            const __m128i b0 = _mm_packus_epi16(_mm_packs_epi32(r[0], r[1]), _mm_packs_epi32(r[2], r[3]));
            const __m128i b1 = _mm_packus_epi16(_mm_packs_epi32(r[4], r[5]), _mm_packs_epi32(r[6], r[7]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), b0);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 16), b1);
        }
        for (; i < n; ++i) {
            float acc = 0.0f;
            for (std::size_t k = k0; k < k1; ++k) {
                acc = AddTap(acc, work[static_cast<std::size_t>(taps.index[k]) * n + i], taps.weight[k]);
            }
            out[i] = ToByte(acc);
        }
    }
}

#undef QM_AVX2

bool CpuHasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

#endif // QM_RESAMPLE_AVX2

using HorizontalFn = void (*)(const std::uint8_t*, int, int, std::uint8_t*, int, const TapTable&);
using VerticalFn = void (*)(const std::uint8_t*, int, std::uint8_t*, int, const TapTable&);

struct PassFunctions {
    HorizontalFn horizontal;
    VerticalFn vertical;
};

PassFunctions FunctionsFor(ResamplePath path)
{
    switch (path) {
#if defined(QM_RESAMPLE_SSE2)
    case ResamplePath::Sse2:
        return {&HorizontalSse2, &VerticalSse2};
#endif
#if defined(QM_RESAMPLE_AVX2)
    case ResamplePath::Avx2:
        return {&HorizontalAvx2, &VerticalAvx2};
#endif
    default:
        return {&HorizontalScalar, &VerticalScalar};
    }
}

ResamplePath BestPath()
{
#if defined(QM_RESAMPLE_AVX2)
    if (CpuHasAvx2()) {
        return ResamplePath::Avx2;
    }
#endif
#if defined(QM_RESAMPLE_SSE2)
    return ResamplePath::Sse2;
#else
    return ResamplePath::Scalar;
#endif
}

float ScaleFor(int destSize, int sourceSize)
{
    // A single source pixel, or a single destination pixel, scales by D / S; otherwise the first
    // and last pixels of both line up. (A single destination pixel would otherwise give a scale of 0.)
    if (sourceSize == 1 || destSize == 1) {
        return static_cast<float>(static_cast<long double>(destSize) / static_cast<long double>(sourceSize));
    }
    return static_cast<float>(static_cast<long double>(destSize - 1) / static_cast<long double>(sourceSize - 1));
}

void Resample(ResamplePath path, Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width)
{
    const int dw = std::max(destination.width, 0);
    const int dh = std::max(destination.height, 0);
    const int sw = source.width;
    const int sh = source.height;
    if (sw < 1 || sh < 1) {
        throw Error("Source bitmap too small");
    }
    if (!source.IsWellFormed()) {
        throw Error("Source bitmap is malformed");
    }
    if (kernel == nullptr || !std::isfinite(width) || width < 0.0f) {
        throw Error("Invalid resampling filter");
    }

    if (dw == 0 || dh == 0) {
        // Nothing to write; both images still end in 3-byte form.
        source.ConvertTo3Bytes();
        destination.width = dw;
        destination.height = dh;
        destination.bytesPerPixel = 3;
        destination.data.clear();
        return;
    }

    const float sx = ScaleFor(dw, sw);
    const float sy = ScaleFor(dh, sh);
    const PassGeometry gx = GeometryFor(sx, width);
    const PassGeometry gy = GeometryFor(sy, width);
    if (!(CandidateCount(gx, dw) <= kMaxCandidates) || !(CandidateCount(gy, dh) <= kMaxCandidates)) {
        throw std::bad_alloc();
    }

    // Everything that can fail for lack of memory is made before either image is changed.
    std::vector<std::uint8_t> work(3 * static_cast<std::size_t>(dw) * static_cast<std::size_t>(sh));
    std::vector<std::uint8_t> result(3 * static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh));
    const PassFunctions fns = FunctionsFor(path);

    source.ConvertTo3Bytes();
    {
        const TapTable horizontal = BuildTapTable(sw, dw, sx, kernel, gx);
        fns.horizontal(source.data.data(), sw, sh, work.data(), dw, horizontal);
    }
    {
        const TapTable vertical = BuildTapTable(sh, dh, sy, kernel, gy);
        fns.vertical(work.data(), dw, result.data(), dh, vertical);
    }
    destination.width = dw;
    destination.height = dh;
    destination.bytesPerPixel = 3;
    destination.data.swap(result);
}

} // namespace

void ResampleImage(Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width)
{
    Resample(BestPath(), source, destination, kernel, width);
}

namespace detail {

bool ResamplePathAvailable(ResamplePath path)
{
    switch (path) {
    case ResamplePath::Scalar:
        return true;
    case ResamplePath::Sse2:
#if defined(QM_RESAMPLE_SSE2)
        return true;
#else
        return false;
#endif
    case ResamplePath::Avx2:
#if defined(QM_RESAMPLE_AVX2)
        return CpuHasAvx2();
#else
        return false;
#endif
    }
    return false;
}

void ResampleImageWith(ResamplePath path, Bitmap& source, Bitmap& destination, ResampleKernel kernel, float width)
{
    if (!ResamplePathAvailable(path)) {
        throw Error("Resampling path not available");
    }
    Resample(path, source, destination, kernel, width);
}

} // namespace detail

} // namespace qm
