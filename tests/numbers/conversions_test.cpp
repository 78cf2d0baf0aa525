// Text-to-number conversions: what they accept, their values and their error texts.
#include "errors.h"
#include "field_value.h"
#include "separator_guard.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace qm {
namespace {

using test::SeparatorTest;

std::string FloatError(std::string_view text)
{
    try {
        StrToFloat(text);
    } catch (const ConvertError& e) {
        return e.what();
    }
    return "(no error)";
}

std::string IntError(std::string_view text)
{
    try {
        StrToInt(text);
    } catch (const ConvertError& e) {
        return e.what();
    }
    return "(no error)";
}

using StrToFloatTest = SeparatorTest;

TEST_F(StrToFloatTest, AcceptsSpacesSignDigitsFractionAndExponent)
{
    EXPECT_EQ(StrToFloat("0"), 0.0L);
    EXPECT_EQ(StrToFloat("  +12.5  "), 12.5L);
    EXPECT_EQ(StrToFloat("-12.5"), -12.5L);
    EXPECT_EQ(StrToFloat("007"), 7.0L);
    EXPECT_EQ(StrToFloat("1.5E3"), 1500.0L);
    EXPECT_EQ(StrToFloat("1.5e+3"), 1500.0L);
    EXPECT_EQ(StrToFloat("25e-1"), 2.5L);
    EXPECT_EQ(StrToFloat(".5"), 0.5L);
    EXPECT_EQ(StrToFloat("5."), 5.0L);
}

TEST_F(StrToFloatTest, LoneSeparatorAndBareExponentReadAsWritten)
{
    EXPECT_EQ(StrToFloat("."), 0.0L);
    EXPECT_EQ(StrToFloat("-."), 0.0L);
    EXPECT_EQ(StrToFloat("1E"), 1.0L);
    EXPECT_EQ(StrToFloat("1e-"), 1.0L);
    EXPECT_EQ(StrToFloat(".E5"), 0.0L);
    EXPECT_EQ(StrToFloat("0E999999999999999999999"), 0.0L);
}

TEST_F(StrToFloatTest, RejectsAnythingElse)
{
    for (const char* text : {"", " ", "+", "-", "E5", "e", "1.2.3", "1,5", "1 000", "1\t", "\t1",
                             "1 E5", "- 1", "+-1", "--1", "0x10", "$10", "1E5.5", "1E++5", "inf",
                             "nan", "1f", "1.5 x", "\xB0"}) {
        long double value = 42.0L;
        EXPECT_FALSE(TryStrToFloat(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 42.0L) << '"' << text << '"';
    }
    long double value = 0.0L;
    EXPECT_FALSE(TryStrToFloat(std::string_view("1\0", 2), value));
}

TEST_F(StrToFloatTest, ErrorNamesTheWholeText)
{
    EXPECT_EQ(FloatError("12,5"), "'12,5' is not a valid floating point value");
    EXPECT_EQ(FloatError("  3 "), "(no error)");
    EXPECT_EQ(FloatError(""), "'' is not a valid floating point value");
    EXPECT_EQ(FloatError("50000.5\t"), "'50000.5\t' is not a valid floating point value");
}

TEST_F(StrToFloatTest, IsCorrectlyRoundedInExtendedPrecision)
{
    EXPECT_EQ(StrToFloat("0.1"), 0.1L);
    EXPECT_EQ(StrToFloat("56.751655"), 56.751655L);
    EXPECT_EQ(StrToFloat("123456789012345678901234567890e-10"), 12345678901234567890.0L);
    EXPECT_EQ(StrToFloat("0.000000000000000000000000000001e30"), 1.0L);
    EXPECT_EQ(StrToFloat("1000000000000000000000000000000e-30"), 1.0L);
    // 2^64 + 1 lies half-way between two long doubles when the significand has 64 bits.
    if (std::numeric_limits<long double>::digits == 64) {
        EXPECT_EQ(StrToFloat("18446744073709551617"), 18446744073709551616.0L);
        EXPECT_EQ(StrToFloat("18446744073709551619"), 18446744073709551620.0L);
    }
    EXPECT_EQ(StrToFloat("1.7976931348623157E308"), 1.7976931348623157E308L);
    EXPECT_EQ(StrToFloat("-4.9406564584124654E-324"), -4.9406564584124654E-324L);
}

TEST_F(StrToFloatTest, OverflowFailsAndUnderflowReadsAsZero)
{
    EXPECT_EQ(FloatError("1E99999"), "'1E99999' is not a valid floating point value");
    EXPECT_EQ(FloatError("-1E5000"), "'-1E5000' is not a valid floating point value");
    EXPECT_EQ(FloatError("1E99999999999999999999999"),
              "'1E99999999999999999999999' is not a valid floating point value");
    EXPECT_EQ(StrToFloat("1E-99999"), 0.0L);
    EXPECT_EQ(StrToFloat("1E-99999999999999999999999"), 0.0L);
    EXPECT_EQ(StrToFloat("-1E-6000"), 0.0L);
    EXPECT_EQ(StrToFloat("0." + std::string(399, '0') + "1E400"), 1.0L);
    EXPECT_EQ(StrToFloat(std::string(400, '0') + "1E-400"), 1E-400L);
    EXPECT_EQ(StrToFloat("1" + std::string(400, '0') + "E-400"), 1.0L);
}

TEST_F(StrToFloatTest, UsesTheProcessSeparatorOnly)
{
    SetDecimalSeparator(',');
    EXPECT_EQ(StrToFloat("12,5"), 12.5L);
    EXPECT_EQ(StrToFloat(","), 0.0L);
    EXPECT_EQ(FloatError("12.5"), "'12.5' is not a valid floating point value");
}

using StrToIntTest = SeparatorTest;

TEST_F(StrToIntTest, ReadsDecimalDigitsWithSignAndLeadingSpaces)
{
    EXPECT_EQ(StrToInt("0"), 0);
    EXPECT_EQ(StrToInt("056"), 56);
    EXPECT_EQ(StrToInt("  -7"), -7);
    EXPECT_EQ(StrToInt("+45"), 45);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(StrToInt("0000000000000000000012"), 12);
}

TEST_F(StrToIntTest, ReadsHexadecimalAfterItsPrefixes)
{
    EXPECT_EQ(StrToInt("$1F"), 31);
    EXPECT_EQ(StrToInt("x1f"), 31);
    EXPECT_EQ(StrToInt("X10"), 16);
    EXPECT_EQ(StrToInt("0x7FFFFFFF"), 2147483647);
    EXPECT_EQ(StrToInt(" $0"), 0);
    // A sign before the prefix applies to the hexadecimal value.
    EXPECT_EQ(StrToInt("-$10"), -16);
    EXPECT_EQ(StrToInt("+0x10"), 16);
    EXPECT_EQ(StrToInt("-$80000000"), std::numeric_limits<std::int32_t>::min());
}

TEST_F(StrToIntTest, RejectsTextsOutsideTheForm)
{
    for (const char* text : {"", " ", "-", "+", "$", "x", "0x", "0X10", "00x10", "1F", "$G", "12 ",
                             " 1 2", "\t1", "1.0", "1E2", "--1", "+-1", "- 1", "$-1", "2147483648",
                             "-2147483649", "$80000000", "0xFFFFFFFF", "99999999999999999999",
                             "$100000000000000000001"}) {
        std::int32_t value = 42;
        EXPECT_FALSE(TryStrToInt(text, value)) << '"' << text << '"';
        EXPECT_EQ(value, 42) << '"' << text << '"';
    }
}

TEST_F(StrToIntTest, ErrorNamesTheText)
{
    EXPECT_EQ(IntError(""), "'' is not a valid integer value");
    EXPECT_EQ(IntError("45 "), "'45 ' is not a valid integer value");
    EXPECT_EQ(IntError("0X1"), "'0X1' is not a valid integer value");
}

using FieldValueTest = SeparatorTest;

TEST_F(FieldValueTest, RoundsHalvesToTheEvenNeighbour)
{
    EXPECT_EQ(FieldValue("50000.5"), 50000);
    EXPECT_EQ(FieldValue("50001.5"), 50002);
    EXPECT_EQ(FieldValue("2.5"), 2);
    EXPECT_EQ(FieldValue("3.5"), 4);
    EXPECT_EQ(FieldValue("-2.5"), -2);
    EXPECT_EQ(FieldValue("-3.5"), -4);
    EXPECT_EQ(FieldValue("0.5"), 0);
    EXPECT_EQ(FieldValue("-0.4"), 0);
    EXPECT_EQ(FieldValue("50000.50000001"), 50001);
    EXPECT_EQ(FieldValue("50001.49999999"), 50001);
    EXPECT_EQ(FieldValue(" 49876 "), 49876);
    EXPECT_EQ(FieldValue("4.98765E4"), 49876);
}

TEST_F(FieldValueTest, ConvertsDotTextsUnderACommaLocale)
{
    SetDecimalSeparator(',');
    EXPECT_EQ(FieldValue("50001.5"), 50002);
    EXPECT_EQ(FieldValue("49876.2"), 49876);
    // The "." has become the separator; a "," in the cell is then a second separator.
    try {
        FieldValue("1,234.5");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'1,234,5' is not a valid floating point value");
    }
}

TEST_F(FieldValueTest, TabOrThousandsSeparatorFails)
{
    for (const char* text : {"50000.5\t", "50,000", "50 000", "", "abc"}) {
        try {
            FieldValue(text);
            ADD_FAILURE() << "no error for '" << text << "'";
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(text) + "' is not a valid floating point value");
        }
    }
}

TEST_F(FieldValueTest, Signed64BitRangeIsKept)
{
    if (std::numeric_limits<long double>::digits >= 64) {
        EXPECT_EQ(FieldValue("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    }
    EXPECT_EQ(FieldValue("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_THROW(FieldValue("9223372036854775808"), ConvertError);
    EXPECT_THROW(FieldValue("1E19"), ConvertError);
    EXPECT_THROW(FieldValue("-9223372036854775809.5"), ConvertError);
    EXPECT_THROW(FieldValue("1E300"), ConvertError);
    try {
        FieldValue("1E30");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_NE(std::string(e.what()).find("'1E30'"), std::string::npos);
    }
}

} // namespace
} // namespace qm
