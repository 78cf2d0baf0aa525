// The image subcommands run as a user runs them: resample, matrix and profile.
#include "cli_run.h"

#include <QImage>

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;
using qm::test::CliTest;
using qm::test::Reading;
using qm::test::Survey;

class CliImages : public ::testing::Test, public CliTest {
protected:
    QImage Image(const std::string& name) const { return QImage(QString::fromStdString(Path(name))); }
};

// The red channel of each pixel of a one-row PPM.
std::string RedRow(const std::string& ppm, int width)
{
    std::string reds;
    const std::size_t start = ppm.size() - static_cast<std::size_t>(width) * 3;
    for (int x = 0; x < width; ++x) {
        reds += std::to_string(static_cast<unsigned char>(ppm[start + static_cast<std::size_t>(x) * 3])) + " ";
    }
    return reds;
}

TEST_F(CliImages, ResampleEnlargesAPpmRowWithTheHermiteKernel)
{
    Write("in.ppm", "P6\n2 1\n255\n\x00\x00\x00\x64\x64\x64"s);
    const auto result = Call({"resample", "in.ppm", "out.ppm", "--size", "4x1"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string out = Read("out.ppm");
    EXPECT_EQ(out.rfind("P6\n4 1\n255\n", 0), 0u);
    EXPECT_EQ(RedRow(out, 4), "0 26 74 100 ");
}

TEST_F(CliImages, ResampleTakesAnyKernelOfTheTable)
{
    Write("in.ppm", "P6\n3 1\n255\n\x00\x00\x00\x00\x00\x00\x64\x64\x64"s);
    EXPECT_EQ(Call({"resample", "in.ppm", "box.ppm", "--size", "3x1", "--kernel", "Box"}).status, 0);
    EXPECT_EQ(RedRow(Read("box.ppm"), 3), "0 0 100 ");
    EXPECT_EQ(Call({"resample", "in.ppm", "t.ppm", "--size", "2x1", "--kernel", "triangle", "--filter-width", "1"}).status, 0);
    EXPECT_EQ(Call({"resample", "in.ppm", "l.ppm", "--size", "5x2", "--kernel", "Lanczos3"}).status, 0);
}

TEST_F(CliImages, ResampleReadsAndWritesQtFormats)
{
    QImage red(1, 1, QImage::Format_RGB32);
    red.fill(qRgb(200, 10, 20));
    ASSERT_TRUE(red.save(QString::fromStdString(Path("red.png"))));
    const auto result = Call({"resample", "red.png", "big.bmp", "--size", "3x2"});
    EXPECT_EQ(result.status, 0) << result.err;
    const QImage big = Image("big.bmp");
    ASSERT_EQ(big.size(), QSize(3, 2));
    EXPECT_EQ(big.pixel(2, 1) & 0xFFFFFFu, 0xC80A14u);
}

TEST_F(CliImages, ResampleReadsBigPpmFilesAsQtReadsTheSameImage)
{
    // Bigger than the head the tool reads first, so the pixels go straight into the image.
    QImage image(200, 120, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            image.setPixel(x, y, qRgb((x * 7 + y) & 255, (x * y) & 255, (y * 13) & 255));
        }
    }
    ASSERT_TRUE(image.save(QString::fromStdString(Path("big.ppm")), "PPM"));
    ASSERT_TRUE(image.save(QString::fromStdString(Path("big.png"))));
    ASSERT_EQ(Call({"resample", "big.ppm", "from_ppm.ppm", "--size", "97x301"}).status, 0);
    ASSERT_EQ(Call({"resample", "big.png", "from_png.ppm", "--size", "97x301"}).status, 0);
    EXPECT_EQ(Read("from_ppm.ppm"), Read("from_png.ppm"));
    Write("cut.ppm", Read("big.ppm").substr(0, 70000));
    EXPECT_EQ(Call({"resample", "cut.ppm", "out.ppm", "--size", "4x4"}).err,
              "cut.ppm: PPM image: the pixel data is shorter than the header says.\n");
}

TEST_F(CliImages, ResampleGivesTheResamplersOwnErrorForAnEmptyImage)
{
    Write("empty.ppm", "P6\n0 3\n255\n");
    const auto result = Call({"resample", "empty.ppm", "out.ppm", "--size", "4x4"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "empty.ppm: Source bitmap too small.\n");
}

TEST_F(CliImages, ResampleRejectsBadArguments)
{
    Write("in.ppm", "P6\n1 1\n255\n\x01\x02\x03"s);
    EXPECT_EQ(Call({"resample", "in.ppm", "out.ppm", "--size", "4x4", "--kernel", "Gauss"}).status, 2);
    EXPECT_EQ(Call({"resample", "in.ppm", "out.ppm", "--size", "4by4"}).status, 2);
    EXPECT_EQ(Call({"resample", "in.ppm", "out.ppm"}).status, 2);
    EXPECT_EQ(Call({"resample", "in.ppm", "out.xyz", "--size", "4x4"}).status, 2);
    EXPECT_EQ(Call({"resample", "in.ppm", "out.ppm", "--size", "4x4", "--filter-width", "-1"}).status, 2);
    const auto missing = Call({"resample", "nope.png", "out.ppm", "--size", "4x4"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("nope.png: Cannot open file \"nope.png\"", 0), 0u) << missing.err;
    Write("short.ppm", "P6\n2 2\n255\n\x01\x02\x03"s);
    EXPECT_EQ(Call({"resample", "short.ppm", "out.ppm", "--size", "4x4"}).status, 1);
}

// Two files of different lengths around a balance of 50000: at contrast 3, a reading 4 below it
// gives red 129, the balance itself blue 117, 39 or more above it black.
class CliMatrix : public CliImages {
protected:
    void SetUp() override
    {
        Write("a.csv", Survey({Reading("a1", "49996"), Reading("a2", "50000"), Reading("a3", "50039"),
                               Reading("a4", "49996")}));
        Write("b.csv", Survey({Reading("b1", "50000"), Reading("b2", "49000"), Reading("b3", "50000.5")}));
    }
};

TEST_F(CliMatrix, RawRasterHasOnePixelPerReadingUpToTheShortestFile)
{
    const auto result = Call({"matrix", "a.csv", "b.csv", "-o", "raw.ppm", "--no-blur", "--balance", "50000"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "balance: 50000\n");
    const QImage raw = Image("raw.ppm");
    ASSERT_EQ(raw.size(), QSize(4, 2));
    const auto rgb = [&](int x, int y) { return raw.pixel(x, y) & 0xFFFFFFu; };
    EXPECT_EQ(rgb(0, 0), 0xFFFFFFu);
    EXPECT_EQ(rgb(0, 1), 0xFFFFFFu);
    EXPECT_EQ(rgb(1, 0), 0x810000u);
    EXPECT_EQ(rgb(2, 0), 0x000075u);
    EXPECT_EQ(rgb(3, 0), 0x000000u);
    EXPECT_EQ(rgb(1, 1), 0x000075u);
    EXPECT_EQ(rgb(2, 1), 0xFE0000u);
    EXPECT_EQ(rgb(3, 1), 0x000075u); // 50000.5 rounds to 50000
}

TEST_F(CliMatrix, BalanceIsDerivedFromTheFirstReadingWhenZero)
{
    const auto derived = Call({"matrix", "a.csv", "b.csv", "-o", "m.png", "--balance", "65536"});
    EXPECT_EQ(derived.status, 0) << derived.err;
    EXPECT_EQ(derived.out, "balance: 49981\n");
    EXPECT_EQ(Call({"matrix", "a.csv", "-o", "m.png", "--balance", "-1"}).out, "balance: 65535\n");
}

TEST_F(CliMatrix, ZeroContrastPaintsEveryReadingBlue117)
{
    EXPECT_EQ(Call({"matrix", "a.csv", "-o", "raw.ppm", "--no-blur", "--contrast", "0"}).status, 0);
    const QImage raw = Image("raw.ppm");
    for (int x = 1; x < raw.width(); ++x) {
        EXPECT_EQ(raw.pixel(x, 0) & 0xFFFFFFu, 0x000075u);
    }
}

TEST_F(CliMatrix, SmoothedImageHasTheDisplaySizeAndTheSeparatorLines)
{
    EXPECT_EQ(Call({"matrix", "a.csv", "b.csv", "-o", "m.png"}).status, 0);
    const QImage image = Image("m.png");
    ASSERT_EQ(image.size(), QSize(796, 484));
    EXPECT_EQ(image.pixel(795, 0) & 0xFFFFFFu, 0x0000FFu);
    EXPECT_EQ(image.pixel(795, 242) & 0xFFFFFFu, 0x0000FFu);

    EXPECT_EQ(Call({"matrix", "a.csv", "b.csv", "-o", "plain.png", "--no-names", "--size", "40x10"}).status, 0);
    const QImage plain = Image("plain.png");
    ASSERT_EQ(plain.size(), QSize(40, 10));
    EXPECT_NE(plain.pixel(39, 5) & 0xFFFFFFu, 0x0000FFu);
}

TEST_F(CliMatrix, FailsAsTheViewersFileSelectionFails)
{
    Write("five.csv", "a,b,c,d,e\n1,2,3,4,5\n");
    const auto narrow = Call({"matrix", "a.csv", "five.csv", "-o", "m.png"});
    EXPECT_EQ(narrow.status, 1);
    EXPECT_EQ(narrow.err, "five.csv: List index out of bounds (6)\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("m.png"))));

    Write("bad.csv", Survey({Reading("x1", "50000"), Reading("x2", "5x")}));
    EXPECT_EQ(Call({"matrix", "bad.csv", "-o", "m.png"}).err, "bad.csv: '5x' is not a valid floating point value.\n");
    EXPECT_EQ(Call({"matrix", "a.csv", "missing.csv", "-o", "m.png"}).err, "missing.csv: File cannot be opened.\n");

    // A lone heading line settles no delimiter and gives the table only five columns.
    Write("heading.csv", "Label,Field,Time,NS,Lat,EW,Lon\n");
    EXPECT_EQ(Call({"matrix", "heading.csv", "-o", "m.png"}).err, "heading.csv: List index out of bounds (6)\n");
    Write("empty.csv", "");
    EXPECT_EQ(Call({"matrix", "empty.csv", "-o", "m.png"}).err, "empty.csv: List index out of bounds (1)\n");
}

TEST_F(CliMatrix, RejectsBadArguments)
{
    EXPECT_EQ(Call({"matrix", "a.csv"}).status, 2);
    EXPECT_EQ(Call({"matrix", "-o", "m.png"}).status, 2);
    EXPECT_EQ(Call({"matrix", "a.csv", "-o", "m.png", "--contrast", "3.5"}).status, 2);
    EXPECT_EQ(Call({"matrix", "a.csv", "-o", "m.png", "--size", "0x-1"}).status, 2);
}

TEST_F(CliImages, ProfileRendersTheChartInTheChosenStyle)
{
    Write("a.csv", Survey({Reading("p1", "50000"), Reading("p2", "52000"), Reading("p3", "51000")}));
    for (const char* style : {"ribbon", "column", "line"}) {
        const auto result = Call({"profile", "a.csv", "-o", "p.png", "--style", style, "--scale", "auto", "--size", "400x300"});
        EXPECT_EQ(result.status, 0) << style << result.err;
        const QImage image = Image("p.png");
        ASSERT_EQ(image.size(), QSize(400, 300)) << style;
        // The ribbon and the area paint the readings yellow; the line series draws red.
        const QRgb wanted = std::string(style) == "line" ? qRgb(255, 0, 0) : qRgb(255, 255, 0);
        int matching = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                matching += (image.pixel(x, y) | 0xFF000000u) == wanted ? 1 : 0;
            }
        }
        EXPECT_GT(matching, 50) << style;
    }
}

TEST_F(CliImages, ImagesAreRenderedOffscreenEvenWithADisplayThatCannotBeReached)
{
    Write("a.csv", Survey({Reading("p1", "50000"), Reading("p2", "52000")}));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("QT_QPA_PLATFORM");
    environment.insert("DISPLAY", ":4999");
    EXPECT_EQ(Call({"profile", "a.csv", "-o", "p.png"}, &environment).status, 0);
    EXPECT_EQ(Call({"matrix", "a.csv", "-o", "m.png"}, &environment).status, 0);
}

TEST_F(CliImages, ProfileScalesChangeWhatIsDrawn)
{
    Write("a.csv", Survey({Reading("p1", "50000"), Reading("p2", "52000"), Reading("p3", "51000")}));
    EXPECT_EQ(Call({"profile", "a.csv", "-o", "fixed.png", "--scale", "40-60"}).status, 0);
    EXPECT_EQ(Call({"profile", "a.csv", "-o", "narrow.png", "--scale", "50-55"}).status, 0);
    EXPECT_EQ(Call({"profile", "a.csv", "-o", "low.png", "--scale", "100:200"}).status, 0);
    EXPECT_EQ(Call({"profile", "a.csv", "-o", "default.ppm"}).status, 0);
    EXPECT_NE(Image("fixed.png"), Image("narrow.png"));
    EXPECT_EQ(Image("fixed.png"), Image("default.ppm"));
}

TEST_F(CliImages, ProfileFailsAndRejectsAsTheViewerWould)
{
    Write("five.csv", "a,b,c,d,e\n1,2,3,4,5\n");
    EXPECT_EQ(Call({"profile", "five.csv", "-o", "p.png"}).err, "five.csv: List index out of bounds (6)\n");
    Write("bad.csv", Survey({Reading("x1", "50000"), Reading("x2", "50 000")}));
    EXPECT_EQ(Call({"profile", "bad.csv", "-o", "p.png"}).status, 1);
    EXPECT_EQ(Call({"profile", "missing.csv", "-o", "p.png"}).status, 1);
    EXPECT_EQ(Call({"profile", "bad.csv", "-o", "p.png", "--style", "bars"}).status, 2);
    EXPECT_EQ(Call({"profile", "bad.csv", "-o", "p.png", "--scale", "60:40"}).status, 2);
    EXPECT_EQ(Call({"profile", "bad.csv", "-o", "p.png", "--scale", "high"}).status, 2);
    EXPECT_EQ(Call({"profile", "bad.csv", "bad.csv", "-o", "p.png"}).status, 2);
}

} // namespace
