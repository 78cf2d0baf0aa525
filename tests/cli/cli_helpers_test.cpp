// The tool's helpers: argument parsing, text output and the PPM codec.
#include "args.h"
#include "image_io.h"
#include "text_out.h"

#include "errors.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace std::string_literals;
using qm::cli::OptionSpec;
using qm::cli::ParseArgs;
using qm::cli::UsageError;

constexpr OptionSpec kSpecs[] = {{"--output", "-o", true}, {"--lat", "", true}, {"--no-blur", "", false}};

qm::cli::ParsedArgs Parse(std::vector<std::string> args) { return ParseArgs(args, kSpecs); }

TEST(ArgumentParsing, OptionsTakeTheirValueInEveryFormAndTheLastOneWins)
{
    const auto args = Parse({"a", "-o", "x.png", "--lat=-1.5", "--lat", "-2.5", "--no-blur", "b"});
    EXPECT_EQ(args.Value("--output"), "x.png");
    EXPECT_EQ(args.Value("--lat"), "-2.5");
    EXPECT_EQ(args.Values("--lat"), (std::vector<std::string>{"-1.5", "-2.5"}));
    EXPECT_TRUE(args.Has("--no-blur"));
    EXPECT_EQ(args.Positional(), (std::vector<std::string>{"a", "b"}));
}

TEST(ArgumentParsing, TextsStartingWithADashArePositionalOnlyAfterTheDoubleDash)
{
    EXPECT_THROW(Parse({"-5"}), UsageError);
    const auto args = Parse({"a", "--", "-5", "--no-blur", "--"});
    EXPECT_EQ(args.Positional(), (std::vector<std::string>{"a", "-5", "--no-blur", "--"}));
    EXPECT_FALSE(args.Has("--no-blur"));
}

TEST(ArgumentParsing, RejectsUnknownOptionsMissingValuesAndValuesForFlags)
{
    EXPECT_THROW(Parse({"--colour"}), UsageError);
    EXPECT_THROW(Parse({"--output"}), UsageError);
    EXPECT_THROW(Parse({"--no-blur=yes"}), UsageError);
    EXPECT_TRUE(Parse({"x", "--help"}).Help());
}

TEST(ArgumentParsing, SizesAreDigitsOnBothSidesWithinLimits)
{
    const auto size = qm::cli::ParseSize("0796x484", "--size");
    EXPECT_EQ(size.width, 796);
    EXPECT_EQ(size.height, 484);
    EXPECT_EQ(qm::cli::ParseSize("0x5", "--size").width, 0);
    for (const char* bad : {"", "796", "x484", "796x", "-1x5", "7 96x484", "1e3x2", "100001x1", "20000x20000",
                            "99999999999999999999x1"}) {
        EXPECT_THROW(qm::cli::ParseSize(bad, "--size"), UsageError) << bad;
    }
}

TEST(ArgumentParsing, WholeNumbersCoverTheir64BitRangeAndNoMore)
{
    EXPECT_EQ(qm::cli::ParseInt64("-9223372036854775808", "n"), INT64_MIN);
    EXPECT_EQ(qm::cli::ParseInt64("+9223372036854775807", "n"), INT64_MAX);
    EXPECT_THROW(qm::cli::ParseInt64("9223372036854775808", "n"), UsageError);
    EXPECT_THROW(qm::cli::ParseInt64("12a", "n"), UsageError);
    EXPECT_THROW(qm::cli::ParseInt64("-", "n"), UsageError);
    EXPECT_EQ(qm::cli::ParseInt32("-2147483648", "n"), INT32_MIN);
    EXPECT_THROW(qm::cli::ParseInt32("2147483648", "n"), UsageError);
    EXPECT_THROW(qm::cli::ParseReal("inf", "w"), UsageError);
    EXPECT_THROW(qm::cli::ParseReal("1.5x", "w"), UsageError);
    EXPECT_DOUBLE_EQ(qm::cli::ParseReal("+2e1", "w"), 20.0);
}

TEST(ArgumentParsing, SeparatorIsOneCharacterThatCannotBePartOfANumber)
{
    EXPECT_EQ(qm::cli::ParseSeparator(","), ',');
    for (const char* bad : {"", ",,", "5", "-", "e", " "}) {
        EXPECT_THROW(qm::cli::ParseSeparator(bad), UsageError) << bad;
    }
}

TEST(TextOutput, JsonStringsKeepEveryByteAsTheCharacterOfThatNumber)
{
    std::string out;
    qm::cli::AppendJsonString(out, "a\"b\\c\x01\t\xB0\xFF"s);
    EXPECT_EQ(out, "\"a\\\"b\\\\c\\u0001\\t\xC2\xB0\xC3\xBF\"");
}

TEST(TextOutput, ErrorMessagesGetAFullStopOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(qm::cli::BoxText("File cannot be opened"), "File cannot be opened.");
    EXPECT_EQ(qm::cli::BoxText("List index out of bounds (6)"), "List index out of bounds (6)");
    EXPECT_EQ(qm::cli::BoxText("done."), "done.");
    EXPECT_EQ(qm::cli::BoxText("x/"), "x/.");
    EXPECT_EQ(qm::cli::BoxText(""), "");
}

TEST(TextOutput, MessagesShowValidUtf8AsItIsAndOtherBytesOneByOne)
{
    EXPECT_EQ(qm::cli::DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(qm::cli::DisplayText("56\xB0"), "56\xC2\xB0");
    EXPECT_EQ(qm::cli::DisplayText("\xC3"), "\xC3\x83");
}

TEST(PpmCodec, ReadsHeadersWithCommentsAndScalesOtherMaximumValues)
{
    const std::string bytes = "P6 # made by hand\n2 1\n# max\n15\n\x0F\x00\x00\x00\x0F\x07"s;
    const qm::Bitmap image = qm::cli::DecodePpm(bytes);
    ASSERT_EQ(image.width, 2);
    ASSERT_EQ(image.height, 1);
    EXPECT_EQ(image.PixelRgb(0, 0), 0xFF0000u);
    EXPECT_EQ(image.PixelRgb(1, 0), 0x00FF77u); // 7 of 15 is 119
}

TEST(PpmCodec, ReadsTwoByteSamples)
{
    const std::string bytes = "P6\n1 1\n65535\n\xFF\xFF\x80\x00\x00\x00"s;
    EXPECT_EQ(qm::cli::DecodePpm(bytes).PixelRgb(0, 0), 0xFF8000u);
}

TEST(PpmCodec, EmptyImagesRoundTrip)
{
    const qm::Bitmap empty = qm::cli::DecodePpm("P6\n0 7\n255\n");
    EXPECT_EQ(empty.width, 0);
    EXPECT_EQ(empty.height, 7);
    EXPECT_EQ(qm::cli::EncodePpm(empty), "P6\n0 7\n255\n");
}

TEST(PpmCodec, EncodesRgbFromBgrPixels)
{
    qm::Bitmap image(2, 1, 4, 0);
    image.SetPixel(0, 0, 0x102030);
    image.SetPixel(1, 0, 0xA0B0C0);
    const std::string bytes = qm::cli::EncodePpm(image);
    EXPECT_EQ(bytes, "P6\n2 1\n255\n\x10\x20\x30\xA0\xB0\xC0"s);
    EXPECT_EQ(qm::cli::DecodePpm(bytes).PixelRgb(1, 0), 0xA0B0C0u);
}

TEST(PpmCodec, MalformedFilesFailWithoutReadingPastTheData)
{
    for (const std::string& bad : {"P3\n1 1\n255\n000"s, "P6\n1 1\n255\n\x01\x02"s,
                                   "P6\n2147483647 2147483647\n255\n\x01\x02\x03"s, "P6\n4294967296 1\n255\n"s,
                                   "P6\n1 1\n0\n\x01\x02\x03"s, "P6\n1 1"s, "P6\n1 1\n255"s, "P6"s}) {
        EXPECT_THROW(qm::cli::DecodePpm(bad), qm::Error) << bad;
    }
}

} // namespace
