// General number text: 15 significant digits, fixed or scientific notation, the process separator.
#include "field_value.h"
#include "separator_guard.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

namespace qm {
namespace {

using FloatToStrGeneralTest = test::SeparatorTest;

TEST_F(FloatToStrGeneralTest, ZeroIsPlainZeroWhateverItsSign)
{
    EXPECT_EQ(FloatToStrGeneral(0.0L), "0");
    EXPECT_EQ(FloatToStrGeneral(-0.0L), "0");
    EXPECT_EQ(FloatToStrGeneral(static_cast<double>(-0.0)), "0");
}

TEST_F(FloatToStrGeneralTest, FixedNotationDropsTrailingZeros)
{
    EXPECT_EQ(FloatToStrGeneral(1.0L), "1");
    EXPECT_EQ(FloatToStrGeneral(-1.0L), "-1");
    EXPECT_EQ(FloatToStrGeneral(100.0L), "100");
    EXPECT_EQ(FloatToStrGeneral(0.5L), "0.5");
    EXPECT_EQ(FloatToStrGeneral(-0.25L), "-0.25");
    EXPECT_EQ(FloatToStrGeneral(0.1), "0.1");
    EXPECT_EQ(FloatToStrGeneral(56.751655), "56.751655");
    EXPECT_EQ(FloatToStrGeneral(5.958), "5.958");
    EXPECT_EQ(FloatToStrGeneral(0.000123L), "0.000123");
    EXPECT_EQ(FloatToStrGeneral(1E14L), "100000000000000");
    EXPECT_EQ(FloatToStrGeneral(-123456.789L), "-123456.789");
}

TEST_F(FloatToStrGeneralTest, RoundsHalfUpAtTheFifteenthDigit)
{
    EXPECT_EQ(FloatToStrGeneral(1.0L / 3), "0.333333333333333");
    EXPECT_EQ(FloatToStrGeneral(2.0L / 3), "0.666666666666667");
    EXPECT_EQ(FloatToStrGeneral(-2.0L / 3), "-0.666666666666667");
    EXPECT_EQ(FloatToStrGeneral(123456789012345.6L), "123456789012346");
    EXPECT_EQ(FloatToStrGeneral(1.000000000000005L), "1.00000000000001");
    EXPECT_EQ(FloatToStrGeneral(1.0000000000000049L), "1");
    EXPECT_EQ(FloatToStrGeneral(-1.000000000000005L), "-1.00000000000001");
    EXPECT_EQ(FloatToStrGeneral(0.1234567890123445L), "0.123456789012345");
    EXPECT_EQ(FloatToStrGeneral(9.9999999999999999L), "10");
    EXPECT_EQ(FloatToStrGeneral(-9.99999999999999951L), "-10");
}

TEST_F(FloatToStrGeneralTest, ExpandsToEighteenDigitsBeforeRounding)
{
    // ...344|4996: the 18-digit expansion ends in ...34450, which then rounds up at digit 15.
    EXPECT_EQ(FloatToStrGeneral(0.1234567890123444996L), "0.123456789012345");
    EXPECT_EQ(FloatToStrGeneral(0.1234567890123444949L), "0.123456789012344");
    if (std::numeric_limits<long double>::digits >= 64) {
        // A tie at digit 19 goes to the even neighbour at digit 18 (...499|5 -> ...500).
        EXPECT_EQ(FloatToStrGeneral(1000000000000004995.0L), "1.00000000000001E18");
        EXPECT_EQ(FloatToStrGeneral(1000000000000004985.0L), "1E18");
    }
}

TEST_F(FloatToStrGeneralTest, SwitchesNotationAtTheRoundedMagnitude)
{
    EXPECT_EQ(FloatToStrGeneral(0.0001L), "0.0001");
    EXPECT_EQ(FloatToStrGeneral(0.00009999999999999999L), "0.0001");
    EXPECT_EQ(FloatToStrGeneral(0.0000999999999999L), "9.99999999999E-5");
    EXPECT_EQ(FloatToStrGeneral(0.00005L), "5E-5");
    EXPECT_EQ(FloatToStrGeneral(-0.00005L), "-5E-5");
    EXPECT_EQ(FloatToStrGeneral(1.5E-10L), "1.5E-10");
    EXPECT_EQ(FloatToStrGeneral(999999999999999.0L), "999999999999999");
    EXPECT_EQ(FloatToStrGeneral(999999999999999.4L), "999999999999999");
    EXPECT_EQ(FloatToStrGeneral(999999999999999.5L), "1E15");
    EXPECT_EQ(FloatToStrGeneral(1E15L), "1E15");
    EXPECT_EQ(FloatToStrGeneral(-1E15L), "-1E15");
    EXPECT_EQ(FloatToStrGeneral(1234567890123456.0L), "1.23456789012346E15");
    EXPECT_EQ(FloatToStrGeneral(1E20L), "1E20");
    EXPECT_EQ(FloatToStrGeneral(18446744073709551616.0L), "1.84467440737096E19");
}

TEST_F(FloatToStrGeneralTest, ExtremesOfTheFloatingTypes)
{
    EXPECT_EQ(FloatToStrGeneral(1E-300), "1E-300");
    EXPECT_EQ(FloatToStrGeneral(DBL_MAX), "1.79769313486232E308");
    EXPECT_EQ(FloatToStrGeneral(DBL_TRUE_MIN), "4.94065645841247E-324");
    if (std::numeric_limits<long double>::max_exponent >= 16384) {
        EXPECT_EQ(FloatToStrGeneral(LDBL_MAX), "1.18973149535723E4932");
        EXPECT_EQ(FloatToStrGeneral(-LDBL_MAX), "-1.18973149535723E4932");
        EXPECT_EQ(FloatToStrGeneral(LDBL_MIN), "3.36210314311209E-4932");
        EXPECT_EQ(FloatToStrGeneral(LDBL_TRUE_MIN), "3.64519953188247E-4951");
    }
    EXPECT_EQ(FloatToStrGeneral(std::numeric_limits<long double>::infinity()), "INF");
    EXPECT_EQ(FloatToStrGeneral(-std::numeric_limits<long double>::infinity()), "-INF");
    EXPECT_EQ(FloatToStrGeneral(std::numeric_limits<long double>::quiet_NaN()), "NAN");
}

TEST_F(FloatToStrGeneralTest, UsesTheProcessSeparator)
{
    SetDecimalSeparator(',');
    EXPECT_EQ(FloatToStrGeneral(0.5L), "0,5");
    EXPECT_EQ(FloatToStrGeneral(-56.751655), "-56,751655");
    EXPECT_EQ(FloatToStrGeneral(1.5E-10L), "1,5E-10");
    EXPECT_EQ(FloatToStrGeneral(1E20L), "1E20");
    EXPECT_EQ(FloatToStrGeneral(42.0L), "42");
}

} // namespace
} // namespace qm
