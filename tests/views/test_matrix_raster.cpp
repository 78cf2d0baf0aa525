// Matrix raster: the balance derivation, the colour rule with its wrapping arithmetic, and the two
// passes over a file list that may change while the draw runs.
#include "matrix_raster.h"

#include "errors.h"
#include "resample.h"
#include "survey_table.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using qm::ApplyReadingColour;
using qm::BalanceAccumulator;
using qm::Bitmap;
using qm::BuildMatrixRaster;

constexpr std::uint32_t kWhite = 0xFFFFFFu;

std::uint32_t Red(int r)
{
    return static_cast<std::uint32_t>(r) << 16;
}

std::uint32_t Blue(int b)
{
    return static_cast<std::uint32_t>(b);
}

// A survey file with a heading line and one data row per reading.
std::string SurveyFile(const std::vector<long long>& readings)
{
    std::string text = "Pos,Field,Lat,Lon\n";
    int i = 1;
    for (long long v : readings) {
        text += "P" + std::to_string(i++) + "," + std::to_string(v) + ",N4807.038,E01131.000\n";
    }
    return text;
}

// The viewer's side of a draw: one table, reloaded from the list on every selection.
struct FakeViewer {
    std::vector<std::string> files;
    qm::SurveyTable table;
    int selections = 0;
    std::vector<std::uint16_t> shownBalances;
    std::function<void(int q)> onSelect; // events that run inside a selection

    qm::MatrixSource Source()
    {
        qm::MatrixSource source;
        source.fileCount = [this] { return static_cast<int>(files.size()); };
        source.select = [this](int q) -> const qm::SurveyTable* {
            ++selections;
            if (onSelect) {
                onSelect(q);
            }
            if (q < 0 || q >= static_cast<int>(files.size())) {
                return nullptr;
            }
            table.Clear();
            table.LoadFromBytes(files[static_cast<std::size_t>(q)]);
            return &table;
        };
        source.balanceChanged = [this](std::uint16_t b) { shownBalances.push_back(b); };
        return source;
    }
};

TEST(MatrixColour, ReadingsAroundTheBalanceAtContrast3)
{
    std::uint32_t pen = 0x123456;
    ApplyReadingColour(1000, 3, 996, pen); // h = 2
    EXPECT_EQ(pen, Red(129));
    ApplyReadingColour(1000, 3, 1000, pen); // h = -10
    EXPECT_EQ(pen, Blue(117));
    ApplyReadingColour(1000, 3, 1039, pen); // h = -127
    EXPECT_EQ(pen, Blue(0));
    pen = 0x123456;
    ApplyReadingColour(1000, 3, 5000, pen); // far below -127, clamped
    EXPECT_EQ(pen, Blue(0));
    ApplyReadingColour(1000, 3, 0, pen); // far above 127, clamped
    EXPECT_EQ(pen, Red(254));
}

TEST(MatrixColour, ZeroKeepsThePenAndContrastZeroGivesBlue117)
{
    std::uint32_t pen = Red(200);
    ApplyReadingColour(1000, 5, 998, pen); // (2 * 5) - 10 = 0
    EXPECT_EQ(pen, Red(200));
    ApplyReadingColour(1000, 0, 123456, pen);
    EXPECT_EQ(pen, Blue(117));
}

TEST(MatrixColour, ArithmeticWrapsAt32Bits)
{
    std::uint32_t pen = 0;
    // 65535 * 65537 = 2^32 - 1 wraps to -1: h = -11, blue 116 (unwrapped it would be red).
    ApplyReadingColour(65535, 65537, 0, pen);
    EXPECT_EQ(pen, Blue(116));
    // Only the low 32 bits of the reading count: 2^40 + 1000 reads as 1000.
    ApplyReadingColour(1000, 3, (1LL << 40) + 996, pen);
    EXPECT_EQ(pen, Red(129));
    // Extreme contrasts and readings stay defined and clamped.
    ApplyReadingColour(0, INT32_MIN, 1, pen); // 2^31 wraps negative, minus 10 wraps positive
    EXPECT_EQ(pen, Red(254));
    ApplyReadingColour(65535, INT32_MAX, INT64_MIN, pen);
    EXPECT_EQ(pen, Red(254)); // 65535 * (2^31 - 1) - 10 = 2147418103 after wrapping
}

TEST(MatrixColour, ArithmeticWrapsToNegative)
{
    std::uint32_t pen = 0;
    ApplyReadingColour(1, INT32_MAX, INT64_MAX, pen); // 2 * (2^31 - 1) wraps to -2; h = -12
    EXPECT_EQ(pen, Blue(115));
}

TEST(MatrixBalance, FirstReadingMinus15WhileZero)
{
    BalanceAccumulator acc;
    std::uint16_t balance = 0;
    EXPECT_TRUE(acc.Add(1000, balance));
    EXPECT_EQ(balance, 985);
    EXPECT_FALSE(acc.Add(3000, balance));
    EXPECT_EQ(balance, 985);
    EXPECT_EQ(acc.sum, 4000u);
    EXPECT_EQ(acc.count, 2u);
}

TEST(MatrixBalance, ZeroResultFallsThroughToTheRunningMean)
{
    BalanceAccumulator acc;
    std::uint16_t balance = 0;
    EXPECT_TRUE(acc.Add(15, balance)); // 15 - 15 = 0: still 0
    EXPECT_EQ(balance, 0);
    EXPECT_TRUE(acc.Add(35, balance)); // mean 25
    EXPECT_EQ(balance, 10);
    // A mean below 15 wraps around 65536.
    BalanceAccumulator low;
    std::uint16_t b2 = 0;
    low.Add(3, b2);
    EXPECT_EQ(b2, 65524);
}

TEST(MatrixBalance, SumWrapsAt32BitsBeforeDividing)
{
    BalanceAccumulator acc;
    std::uint16_t balance = 0;
    acc.Add(15, balance);     // 0
    acc.Add(131087, balance); // mean 65551, cut to 16 bits 15: 0
    ASSERT_EQ(balance, 0);
    acc.Add(-1, balance); // 0xFFFFFFFF: the sum wraps to 131101, mean 43700
    EXPECT_EQ(balance, 43685);
}

TEST(MatrixRaster, ColoursShortestWidthAndWhiteColumnZero)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({1000, 996, 1039, 1000}), SurveyFile({996, 1000}), SurveyFile({1000, 1000, 1000})};
    std::uint16_t balance = 1000;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
    ASSERT_TRUE(completed);
    EXPECT_EQ(raster.width, 3); // the shortest file has 2 data rows
    EXPECT_EQ(raster.height, 3);
    EXPECT_EQ(raster.bytesPerPixel, 4);
    for (int q = 0; q < 3; ++q) {
        EXPECT_EQ(raster.PixelRgb(0, q), kWhite);
    }
    EXPECT_EQ(raster.PixelRgb(1, 0), Blue(117));
    EXPECT_EQ(raster.PixelRgb(2, 0), Red(129));
    EXPECT_EQ(raster.PixelRgb(1, 1), Red(129));
    EXPECT_EQ(raster.PixelRgb(2, 1), Blue(117));
    EXPECT_EQ(raster.PixelRgb(2, 2), Blue(117));
    EXPECT_EQ(balance, 1000);
    EXPECT_TRUE(viewer.shownBalances.empty());
    // File 0 before pass 1, then every file once per pass.
    EXPECT_EQ(viewer.selections, 1 + 3 + 3);
}

TEST(MatrixRaster, BalanceDerivedFromFirstReadingAndShown)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({48000, 47000}), SurveyFile({49000})};
    std::uint16_t balance = 0;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
    ASSERT_TRUE(completed);
    EXPECT_EQ(balance, 47985);
    EXPECT_EQ(viewer.shownBalances, std::vector<std::uint16_t>{47985});
    // 48000 is 15 above: h = -55, blue 72.
    EXPECT_EQ(raster.PixelRgb(1, 0), Blue(72));
}

TEST(MatrixRaster, ContrastZeroGivesBlue117ExceptColumnZero)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({5, 500000, -7}), SurveyFile({0, 1, 2})};
    std::uint16_t balance = 77;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 0, completed);
    ASSERT_TRUE(completed);
    for (int q = 0; q < raster.height; ++q) {
        EXPECT_EQ(raster.PixelRgb(0, q), kWhite);
        for (int x = 1; x < raster.width; ++x) {
            EXPECT_EQ(raster.PixelRgb(x, q), Blue(117)) << x << "," << q;
        }
    }
}

TEST(MatrixRaster, PenCarriesAcrossDroppedColumnsAndFiles)
{
    // Contrast 5: a reading 2 below the balance gives h = 0 and keeps the pen.
    FakeViewer viewer;
    viewer.files = {SurveyFile({1000, 998}), SurveyFile({1000, 998, 900}), SurveyFile({998, 998})};
    std::uint16_t balance = 1000;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 5, completed);
    ASSERT_TRUE(completed);
    ASSERT_EQ(raster.width, 3);
    EXPECT_EQ(raster.PixelRgb(1, 0), Blue(117));
    EXPECT_EQ(raster.PixelRgb(2, 0), Blue(117));
    // File 1's third reading lies beyond the width but still turns the pen red.
    EXPECT_EQ(raster.PixelRgb(1, 2), Red(254));
    EXPECT_EQ(raster.PixelRgb(2, 2), Red(254));
}

TEST(MatrixRaster, EmptyListGivesHeightZeroWhichResamplingRefuses)
{
    FakeViewer viewer;
    std::uint16_t balance = 0;
    bool completed = false;
    Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
    EXPECT_TRUE(completed);
    EXPECT_EQ(raster.height, 0);
    Bitmap display(796, 484, 4);
    try {
        qm::ResampleImage(raster, display, qm::HermiteKernel, 1.0f);
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        EXPECT_EQ(std::string(e.what()), "Source bitmap too small");
    }
}

TEST(MatrixRaster, FileWithoutRowsGivesWidthZero)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({1, 2}), std::string()};
    std::uint16_t balance = 5;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
    EXPECT_TRUE(completed);
    EXPECT_EQ(raster.width, 0);
    EXPECT_EQ(raster.height, 2);
}

TEST(MatrixRaster, FilesRemovedDuringTheDrawEndItCleanly)
{
    // Removed at the 2nd to 7th selection: during pass 1 or pass 2, after the file count was taken.
    for (int removeAt : {2, 3, 4, 5, 6, 7}) {
        FakeViewer viewer;
        viewer.files = {SurveyFile({1, 2, 3}), SurveyFile({4, 5, 6}), SurveyFile({7, 8, 9})};
        int calls = 0;
        viewer.onSelect = [&](int) {
            if (++calls == removeAt) {
                viewer.files.pop_back();
                viewer.files.pop_back();
            }
        };
        std::uint16_t balance = 5;
        bool completed = true;
        const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
        EXPECT_FALSE(completed) << removeAt;
        EXPECT_EQ(raster.height, 0);
    }
    // Removed before the file count is taken: the draw runs over the one file left.
    FakeViewer viewer;
    viewer.files = {SurveyFile({1, 2, 3}), SurveyFile({4, 5, 6}), SurveyFile({7, 8, 9})};
    viewer.onSelect = [&](int) {
        if (viewer.files.size() == 3) {
            viewer.files.resize(1);
        }
    };
    std::uint16_t balance = 5;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(viewer.Source(), balance, 3, completed);
    EXPECT_TRUE(completed);
    EXPECT_EQ(raster.height, 1);
}

TEST(MatrixRaster, TableShrunkByANestedDrawIsNotReadPastItsEnd)
{
    // Showing the derived balance reloads the table with a shorter file, as a nested draw would.
    FakeViewer viewer;
    viewer.files = {SurveyFile({100, 200, 300, 400, 500, 600}), SurveyFile({100})};
    auto source = viewer.Source();
    source.balanceChanged = [&](std::uint16_t) {
        viewer.table.Clear();
        viewer.table.LoadFromBytes(viewer.files[1]);
    };
    std::uint16_t balance = 0;
    bool completed = false;
    const Bitmap raster = BuildMatrixRaster(source, balance, 3, completed);
    EXPECT_TRUE(completed);
    EXPECT_EQ(balance, 85);
    EXPECT_EQ(raster.width, 2);
}

TEST(MatrixRaster, BadReadingEndsTheDrawWithTheConversionError)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({1, 2}), "Pos,Field\nP1,abc\n"};
    std::uint16_t balance = 5;
    bool completed = false;
    EXPECT_THROW(BuildMatrixRaster(viewer.Source(), balance, 3, completed), qm::ConvertError);
}

} // namespace

namespace {

TEST(MatrixLabels, RowsSplitTheHeightRoundingHalvesToEven)
{
    EXPECT_EQ(qm::MatrixLabelRow(484, 3, 0), 0);
    EXPECT_EQ(qm::MatrixLabelRow(484, 3, 1), 161); // 161.33
    EXPECT_EQ(qm::MatrixLabelRow(484, 3, 2), 323); // 322.67
    EXPECT_EQ(qm::MatrixLabelRow(5, 2, 1), 2);     // 2.5 to even
    EXPECT_EQ(qm::MatrixLabelRow(7, 2, 1), 4);     // 3.5 to even
    EXPECT_EQ(qm::MatrixLabelRow(484, 8, 5), 302); // 302.5 to even
    EXPECT_EQ(qm::MatrixLabelRow(484, 0, 0), 0);
}

} // namespace

// The viewer hands over the readings its profile converted; they are used only when they cover
// every data row of the table just selected, and exactly hold the whole numbers.
TEST(MatrixRaster, ReadingsHandedOverAreUsedOnlyWhenTheyCoverTheTable)
{
    FakeViewer viewer;
    viewer.files = {SurveyFile({1000, 1000}), SurveyFile({1000, 1000})};
    std::vector<double> handed;
    qm::MatrixSource source = viewer.Source();
    source.readings = [&handed] { return std::span<const double>(handed); };

    auto draw = [&] {
        std::uint16_t balance = 1000;
        bool completed = false;
        const Bitmap raster = BuildMatrixRaster(source, balance, 3, completed);
        EXPECT_TRUE(completed);
        return raster;
    };
    handed = {996, 1039}; // covers both data rows: taken instead of the cells
    Bitmap raster = draw();
    EXPECT_EQ(raster.PixelRgb(1, 0), Red(129));
    EXPECT_EQ(raster.PixelRgb(2, 1), Blue(0));

    handed = {996}; // too few: the cells are converted
    raster = draw();
    EXPECT_EQ(raster.PixelRgb(1, 0), Blue(117));

    handed = {9007199254740993.0, 996}; // not a whole number a double holds exactly: converted
    raster = draw();
    EXPECT_EQ(raster.PixelRgb(1, 0), Blue(117));
    EXPECT_EQ(raster.PixelRgb(2, 0), Red(129));
}
