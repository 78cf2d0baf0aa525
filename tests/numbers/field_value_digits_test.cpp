// Readings rounded straight from their digits must agree with converting the whole text to an
// extended-precision number and rounding that, half to even, for every text of any form.
#include "field_value.h"
#include "separator_guard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

namespace {

std::int64_t ByConversion(std::string text)
{
    for (char& c : text)
        if (c == '.')
            c = qm::DecimalSeparator();
    const long double value = qm::StrToFloat(text);
    long double rounded = std::floor(value);
    const long double fraction = value - rounded;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(rounded, 2.0L) != 0.0L))
        rounded += 1.0L;
    return static_cast<std::int64_t>(rounded);
}

std::string RandomReading(std::mt19937_64& random)
{
    std::uniform_int_distribution<int> pick(0, 9);
    std::string text;
    if (pick(random) == 0)
        text += ' ';
    if (pick(random) < 2)
        text += pick(random) < 5 ? '-' : '+';
    const int digits = 1 + static_cast<int>(random() % 18);
    const int point = static_cast<int>(random() % (digits + 1));
    for (int d = 0; d < digits; ++d) {
        if (d == point && d > 0)
            text += '.';
        // Many nines and zeros, and fives, to sit right next to the halves.
        const int kind = pick(random);
        text += kind < 3 ? '9' : kind < 5 ? '0' : kind < 7 ? '5' : static_cast<char>('0' + pick(random));
    }
    if (pick(random) == 0)
        text += ' ';
    return text;
}

using FieldValueDigits = qm::test::SeparatorTest;

TEST_F(FieldValueDigits, AgreesWithConvertingThenRoundingForRandomReadings)
{
    std::mt19937_64 random(20261207);
    for (int i = 0; i < 200000; ++i) {
        const std::string text = RandomReading(random);
        ASSERT_EQ(qm::FieldValue(text), ByConversion(text)) << "'" << text << "'";
    }
}

TEST_F(FieldValueDigits, AgreesNextToHalvesUnderACommaLocale)
{
    qm::SetDecimalSeparator(',');
    for (const char* text : {"50000.5", "50001.5", "50000,5", "-2.5", "-3.5", "0.5", "1.49999999999999999",
                             "50000.4999999999999", "50001.4999999999999", "50000.5000000000001", "999999999999999999",
                             "12345678901234567.5", "0.500000000000000001", " 7.5 ", "+8.5", "-0.5", "-0.0"}) {
        EXPECT_EQ(qm::FieldValue(text), ByConversion(text)) << text;
    }
}

} // namespace
