// Filtered resampler: the worked examples, edge folding, scale rules, failure handling, and the
// vector paths matching the scalar path byte for byte.
#include "resample.h"

#include "errors.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using qm::Bitmap;
using qm::HermiteKernel;
using qm::ResampleImage;

// A one-row image whose pixels are grey levels (all three channels equal).
Bitmap GreyRow(const std::vector<int>& values, int bpp = 4)
{
    Bitmap row(static_cast<int>(values.size()), 1, bpp, 0);
    for (int x = 0; x < row.width; ++x) {
        const auto v = static_cast<std::uint32_t>(values[static_cast<std::size_t>(x)]);
        row.SetPixel(x, 0, v | (v << 8) | (v << 16));
    }
    return row;
}

// Resamples a grey row to `width` pixels, one row high, and returns the levels; fails the test if
// the channels ever differ.
std::vector<int> ResampleRow(const std::vector<int>& values, int width)
{
    Bitmap source = GreyRow(values);
    Bitmap destination(width, 1, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    std::vector<int> out;
    for (int x = 0; x < destination.width; ++x) {
        const std::uint8_t* p = destination.pixel(x, 0);
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[1], p[2]);
        out.push_back(p[0]);
    }
    return out;
}

Bitmap RandomImage(int w, int h, int bpp, std::mt19937& rng)
{
    Bitmap image(w, h, bpp, 0);
    std::uniform_int_distribution<int> byte(0, 255);
    for (auto& b : image.data) {
        b = static_cast<std::uint8_t>(byte(rng));
    }
    return image;
}

TEST(ResampleExamples, EnlargingRoundsMiddleHalvesToEven)
{
    EXPECT_EQ(ResampleRow({0, 5}, 3), (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(ResampleRow({0, 7}, 3), (std::vector<int>{0, 4, 7}));
}

TEST(ResampleExamples, EnlargingUsesHermiteWeightsAtThirds)
{
    EXPECT_EQ(ResampleRow({0, 100}, 4), (std::vector<int>{0, 26, 74, 100}));
    EXPECT_EQ(ResampleRow({0, 100, 0}, 5), (std::vector<int>{0, 50, 100, 50, 0}));
}

TEST(ResampleExamples, ShrinkingFoldsStartAndEndDifferently)
{
    EXPECT_EQ(ResampleRow({0, 0, 100}, 2), (std::vector<int>{0, 75}));
    EXPECT_EQ(ResampleRow({100, 0, 0}, 2), (std::vector<int>{50, 0}));
    EXPECT_EQ(ResampleRow({0, 255, 0, 255, 0}, 3), (std::vector<int>{128, 128, 64}));
}

TEST(ResampleExamples, ShrinkingClampsSumsAbove255)
{
    EXPECT_EQ(ResampleRow(std::vector<int>(8, 255), 3), (std::vector<int>{255, 255, 255}));
}

TEST(ResampleExamples, EnlargingKeepsFirstAndLastPixels)
{
    std::mt19937 rng(7);
    Bitmap source = RandomImage(9, 6, 4, rng);
    const Bitmap original = source;
    Bitmap destination(31, 17, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    for (int x : {0, 8}) {
        for (int y : {0, 5}) {
            const int dx = x == 0 ? 0 : 30;
            const int dy = y == 0 ? 0 : 16;
            EXPECT_EQ(destination.PixelRgb(dx, dy), original.PixelRgb(x, y)) << x << "," << y;
        }
    }
}

TEST(ResampleSameSize, HermiteReproducesTheSource)
{
    std::mt19937 rng(1);
    Bitmap source = RandomImage(23, 11, 4, rng);
    Bitmap expected = source;
    expected.ConvertTo3Bytes();
    Bitmap destination(23, 11, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    EXPECT_EQ(destination.data, expected.data);
}

TEST(ResampleSameSize, KernelsWithNonZeroNeighboursDoNotReproduceTheSource)
{
    std::mt19937 rng(2);
    const Bitmap original = RandomImage(23, 11, 3, rng);
    for (auto kernel : {qm::BellKernel, qm::BSplineKernel, qm::MitchellKernel}) {
        Bitmap source = original;
        Bitmap destination(23, 11, 3);
        ResampleImage(source, destination, kernel, 2.0f);
        EXPECT_NE(destination.data, original.data);
    }
}

TEST(ResampleDegenerateSources, SinglePixelFillsTheDestination)
{
    for (auto [w, h] : {std::pair{1, 1}, std::pair{5, 1}, std::pair{1, 7}, std::pair{40, 13}}) {
        Bitmap source(1, 1, 4);
        source.SetPixel(0, 0, 0x00C86432u);
        Bitmap destination(w, h, 4);
        ResampleImage(source, destination, HermiteKernel, 1.0f);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(destination.PixelRgb(x, y), 0x00C86432u) << w << "x" << h << " at " << x << "," << y;
            }
        }
    }
}

TEST(ResampleDegenerateSources, OneRowSourceGivesEqualRows)
{
    std::mt19937 rng(3);
    const Bitmap original = RandomImage(17, 1, 4, rng);
    Bitmap rowSource = original;
    Bitmap row(40, 1, 4);
    ResampleImage(rowSource, row, HermiteKernel, 1.0f);

    Bitmap source = original;
    Bitmap destination(40, 9, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 40; ++x) {
            ASSERT_EQ(destination.PixelRgb(x, y), row.PixelRgb(x, 0)) << x << "," << y;
        }
    }
}

TEST(ResampleDegenerateSources, OneColumnSourceGivesEqualColumns)
{
    std::mt19937 rng(4);
    const Bitmap original = RandomImage(1, 13, 4, rng);
    Bitmap columnSource = original;
    Bitmap column(1, 30, 4);
    ResampleImage(columnSource, column, HermiteKernel, 1.0f);

    Bitmap source = original;
    Bitmap destination(7, 30, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    for (int y = 0; y < 30; ++y) {
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(destination.PixelRgb(x, y), column.PixelRgb(0, y)) << x << "," << y;
        }
    }
}

TEST(ResampleFailures, EmptySourceFailsAndLeavesBothImagesAlone)
{
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}, std::pair{-3, 2}}) {
        Bitmap source(w > 0 ? w : 0, h > 0 ? h : 0, 4, 0x11);
        source.width = w;
        source.height = h;
        Bitmap destination(6, 4, 4, 0x22);
        const Bitmap sourceBefore = source;
        const Bitmap destinationBefore = destination;
        try {
            ResampleImage(source, destination, HermiteKernel, 1.0f);
            FAIL() << "no error for " << w << "x" << h;
        } catch (const qm::Error& e) {
            EXPECT_EQ(std::string(e.what()), "Source bitmap too small");
        }
        EXPECT_EQ(source.bytesPerPixel, 4);
        EXPECT_EQ(source.data, sourceBefore.data);
        EXPECT_EQ(destination.bytesPerPixel, 4);
        EXPECT_EQ(destination.data, destinationBefore.data);
    }
}

TEST(ResampleFailures, BadArgumentsFailBeforeTouchingTheImages)
{
    Bitmap source(4, 4, 4, 0x33);
    Bitmap destination(8, 8, 4, 0x44);
    EXPECT_THROW(ResampleImage(source, destination, HermiteKernel, std::nanf("")), qm::Error);
    EXPECT_THROW(ResampleImage(source, destination, HermiteKernel, -1.0f), qm::Error);
    EXPECT_THROW(ResampleImage(source, destination, HermiteKernel, INFINITY), qm::Error);
    EXPECT_THROW(ResampleImage(source, destination, nullptr, 1.0f), qm::Error);
    source.data.resize(10); // fewer bytes than its size claims
    EXPECT_THROW(ResampleImage(source, destination, HermiteKernel, 1.0f), qm::Error);
    EXPECT_EQ(source.bytesPerPixel, 4);
    EXPECT_EQ(destination.bytesPerPixel, 4);
    EXPECT_EQ(destination.data, std::vector<std::uint8_t>(8 * 8 * 4, 0x44));
}

TEST(ResampleFailures, AbsurdWidthIsRefusedAsOutOfMemory)
{
    Bitmap source(4, 4, 4);
    Bitmap destination(8, 8, 4);
    EXPECT_THROW(ResampleImage(source, destination, HermiteKernel, 1e30f), std::bad_alloc);
    EXPECT_EQ(source.bytesPerPixel, 4);
}

TEST(ResamplePixelForm, BothImagesEndWithThreeBytePixels)
{
    std::mt19937 rng(5);
    Bitmap source = RandomImage(12, 5, 4, rng);
    Bitmap expected = source;
    expected.ConvertTo3Bytes();
    Bitmap destination(30, 20, 4);
    ResampleImage(source, destination, HermiteKernel, 1.0f);
    EXPECT_EQ(source.bytesPerPixel, 3);
    EXPECT_EQ(source.data, expected.data); // same colours, spare byte dropped
    EXPECT_EQ(destination.bytesPerPixel, 3);
    EXPECT_EQ(destination.width, 30);
    EXPECT_EQ(destination.height, 20);
    EXPECT_EQ(destination.data.size(), 30u * 20u * 3u);
}

TEST(ResampleOpenCases, ZeroDestinationDimensionWritesNothing)
{
    for (auto [w, h] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{0, 0}}) {
        Bitmap source(5, 5, 4);
        Bitmap destination(w, h, 4);
        ResampleImage(source, destination, HermiteKernel, 1.0f);
        EXPECT_EQ(destination.bytesPerPixel, 3);
        EXPECT_TRUE(destination.data.empty());
        EXPECT_EQ(source.bytesPerPixel, 3);
    }
}

TEST(ResampleOpenCases, SingleDestinationPixelUsesScaleDOverS)
{
    // Scale 1/4: radius 4, stretch 4, centre 0; Hermite weights K(j/4)/4 for j = -3..3, the
    // negative positions folding onto 3, 2, 1. 40*1/4 + 80*27/64 + 120*1/4 + 160*5/64 = 86.25.
    EXPECT_EQ(ResampleRow({40, 80, 120, 160}, 1), (std::vector<int>{86}));

    Bitmap column(1, 4, 4);
    const std::uint32_t levels[] = {40, 80, 120, 160};
    for (int y = 0; y < 4; ++y) {
        column.SetPixel(0, y, levels[y] * 0x010101u);
    }
    Bitmap destination(1, 1, 4);
    ResampleImage(column, destination, HermiteKernel, 1.0f);
    EXPECT_EQ(destination.PixelRgb(0, 0), 86u * 0x010101u);
}

// Flat weight 1 across |t| <= 3: on a two-pixel line every candidate counts.
float FlatKernel(float t)
{
    return std::fabs(t) <= 3.0f ? 1.0f : 0.0f;
}

TEST(ResampleOpenCases, TapsBeyondOneFoldAreMirroredAgain)
{
    // Positions -3..3 around pixel 0 fold onto 0,1,1,0,1,1,0 and -2..4 around pixel 1 onto
    // 1,1,0,1,1,0,1: sums 3a + 4b and 2a + 5b. The one-row vertical pass then folds all seven
    // positions onto row 0, multiplying by 7.
    Bitmap source = GreyRow({1, 2});
    Bitmap destination(2, 1, 4);
    ResampleImage(source, destination, FlatKernel, 3.0f);
    EXPECT_EQ(destination.pixel(0, 0)[0], 7 * (3 * 1 + 4 * 2));
    EXPECT_EQ(destination.pixel(1, 0)[0], 7 * (2 * 1 + 5 * 2));
}

// Every kernel, every size mix, every available path: no crash, the right shape, and the vector
// paths equal to the scalar one.
TEST(ResamplePaths, VectorPathsMatchScalarOnRandomImages)
{
    using qm::detail::ResamplePath;
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> size(1, 45);
    std::uniform_int_distribution<int> destSize(0, 60);
    for (int round = 0; round < 60; ++round) {
        const Bitmap original = RandomImage(size(rng), size(rng), round % 2 == 0 ? 4 : 3, rng);
        const int dw = destSize(rng);
        const int dh = destSize(rng);
        for (const auto& named : qm::ResampleKernels) {
            Bitmap scalarSource = original;
            Bitmap scalar(dw, dh, 4);
            qm::detail::ResampleImageWith(ResamplePath::Scalar, scalarSource, scalar, named.kernel, named.width);
            ASSERT_EQ(scalar.data.size(), 3u * static_cast<std::size_t>(dw) * static_cast<std::size_t>(dh));
            for (auto path : {ResamplePath::Sse2, ResamplePath::Avx2}) {
                if (!qm::detail::ResamplePathAvailable(path)) {
                    continue;
                }
                Bitmap source = original;
                Bitmap fast(dw, dh, 4);
                qm::detail::ResampleImageWith(path, source, fast, named.kernel, named.width);
                ASSERT_EQ(fast.data, scalar.data) << named.name << " " << original.width << "x" << original.height
                                                  << " -> " << dw << "x" << dh << " path " << static_cast<int>(path);
            }
        }
    }
}

TEST(ResamplePaths, VectorPathsMatchScalarOnLargeShrinkAndEnlarge)
{
    using qm::detail::ResamplePath;
    std::mt19937 rng(12);
    const std::pair<int, int> sizes[][2] = {
        {{1000, 21}, {97, 50}}, {{30, 5}, {333, 129}}, {{301, 300}, {17, 999}}, {{2, 700}, {101, 3}}};
    for (const auto& s : sizes) {
        const Bitmap original = RandomImage(s[0].first, s[0].second, 4, rng);
        Bitmap scalarSource = original;
        Bitmap scalar(s[1].first, s[1].second, 4);
        qm::detail::ResampleImageWith(ResamplePath::Scalar, scalarSource, scalar, HermiteKernel, 1.0f);
        for (auto path : {ResamplePath::Sse2, ResamplePath::Avx2}) {
            if (!qm::detail::ResamplePathAvailable(path)) {
                continue;
            }
            Bitmap source = original;
            Bitmap fast(s[1].first, s[1].second, 4);
            qm::detail::ResampleImageWith(path, source, fast, HermiteKernel, 1.0f);
            ASSERT_EQ(fast.data, scalar.data) << s[0].first << "x" << s[0].second;
        }
    }
}

TEST(BitmapForm, ConvertTo3BytesKeepsColoursInOrder)
{
    Bitmap image(3, 2, 4, 0);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            image.SetPixel(x, y, static_cast<std::uint32_t>(0x010203 * (1 + x + 3 * y)));
            image.pixel(x, y)[3] = 0xEE;
        }
    }
    image.ConvertTo3Bytes();
    ASSERT_EQ(image.bytesPerPixel, 3);
    ASSERT_EQ(image.data.size(), 18u);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(image.PixelRgb(x, y), static_cast<std::uint32_t>(0x010203 * (1 + x + 3 * y)));
        }
    }
}

} // namespace
