// The position readout of fixes written with other than four minute decimals, and a sweep that
// pins the results of four-decimal fixes to what the readout gave before it read other counts.
#include "errors.h"
#include "field_value.h"
#include "position.h"
#include "separator_guard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace qm {
namespace {

using PositionDecimalsTest = test::SeparatorTest;

std::string Dms(const std::string& degrees, const std::string& minutes, const std::string& seconds,
                const std::string& letter)
{
    return degrees + "\xB0" + minutes + "'" + seconds + "\"" + letter;
}

// FNV-1a over the four computed fields of many fixes, each field ended by a NUL byte.
class FieldHash {
public:
    void Add(const std::string& text)
    {
        for (char c : text)
            Byte(static_cast<unsigned char>(c));
        Byte(0);
    }
    std::uint64_t value() const { return hash_; }

private:
    void Byte(unsigned char b)
    {
        hash_ ^= b;
        hash_ *= 0x100000001B3ull;
    }
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

// Fixes with four minute decimals, digits drawn from a fixed sequence, under both separators.
std::uint64_t FourDecimalSweepHash(int count)
{
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    const auto digits = [&state](int n) {
        std::string text;
        for (int k = 0; k < n; ++k) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            text.push_back(static_cast<char>('0' + (state >> 33) % 10));
        }
        return text;
    };
    static const char* const kLat[] = {"N", "S", "n", "x"};
    static const char* const kLon[] = {"E", "W", "e", ""};
    FieldHash hash;
    for (const char separator : {'.', ','}) {
        SetDecimalSeparator(separator);
        for (int k = 0; k < count; ++k) {
            const std::string lat = digits(4) + "." + digits(4);
            const std::string lon = digits(5) + "." + digits(4);
            PositionFields fields;
            ReadPosition(FixCells{kLat[k % 4], lat, kLon[(k / 4) % 4], lon}, fields);
            hash.Add(fields.edtLat2);
            hash.Add(fields.lad);
            hash.Add(fields.edtLon2);
            hash.Add(fields.lod);
        }
    }
    return hash.value();
}

TEST_F(PositionDecimalsTest, FourDecimalFixesGiveTheirFormerResults)
{
    PositionFields fields;
    ReadPosition(FixCells{"S", "0000.0001", "W", "17959.9999"}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("0", "0", "0.006", "S"));
    EXPECT_EQ(fields.lad, "-1.66666666666667E-6");
    EXPECT_EQ(fields.edtLon2, Dms("179", "59", "59.994", "W"));
    EXPECT_EQ(fields.lod, "-179.999998333333");
    // Recorded from the fixed-column readout over 20000 fixes under each separator.
    EXPECT_EQ(FourDecimalSweepHash(20000), 0x9968CAD7959ACE61ull);
}

TEST_F(PositionDecimalsTest, AnyCountOfDecimalsIsRead)
{
    PositionFields fields;
    ReadPosition(FixCells{"N", "3348.452", "W", "11821.143"}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("33", "48", "27.12", "N"));
    EXPECT_EQ(fields.lad, "33.8075333333333");
    EXPECT_EQ(fields.edtLon2, Dms("118", "21", "8.58", "W"));
    EXPECT_EQ(fields.lod, "-118.352383333333");

    // Five and more decimals still end in the hemisphere letter.
    ReadPosition(FixCells{"N", "4359.64620", "E", "01234.5678912"}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("43", "59", "38.772", "N"));
    EXPECT_EQ(fields.lad, "43.9941033333333");
    EXPECT_EQ(fields.edtLon2, Dms("12", "34", "34.073472", "E"));

    // One decimal is tenths (a missing hundredth counts as 0); none reads as 0.
    ReadPosition(FixCells{"S", "5645.5", "E", "03712."}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "30", "S"));
    EXPECT_EQ(fields.lad, "-56.7583333333333");
    EXPECT_EQ(fields.edtLon2, Dms("37", "12", "0", "E"));
    EXPECT_EQ(fields.lod, "37.2");

    // The comma locale reads the decimals the same and still shows dots.
    SetDecimalSeparator(',');
    ReadPosition(FixCells{"N", "3348.452", "W", "11821.14"}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("33", "48", "27.12", "N"));
    EXPECT_EQ(fields.lod, "-118.352333333333");
}

TEST_F(PositionDecimalsTest, TextsWithOtherThanDigitsAfterThePointKeepTheColumns)
{
    PositionFields fields;
    try {
        ReadPosition(FixCells{"N", "3348.45x", "E", "03712.1697"}, fields);
        ADD_FAILURE() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'0.xN' is not a valid floating point value");
    }
    // A trailing blank is no digit: the letter column then holds the blank, as before.
    ReadPosition(FixCells{"N", "5645.0993 ", "E", "03712.1697"}, fields);
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "5.958", " "));
}

} // namespace
} // namespace qm
