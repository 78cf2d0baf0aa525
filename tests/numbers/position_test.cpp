// The position readout of a row's GPS fix: raw, degrees-minutes-seconds and decimal texts.
#include "errors.h"
#include "field_value.h"
#include "position.h"
#include "separator_guard.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

using ReadPositionTest = test::SeparatorTest;

// Degrees, degree sign (byte 0xB0), minutes, seconds and hemisphere as the field shows them.
std::string Dms(const std::string& degrees, const std::string& minutes, const std::string& seconds,
                const std::string& letter)
{
    return degrees + "\xB0" + minutes + "'" + seconds + "\"" + letter;
}

FixCells Cells(std::string_view latH, std::string_view lat, std::string_view lonH, std::string_view lon)
{
    return FixCells{latH, lat, lonH, lon};
}

std::string ConvertMessage(const FixCells& cells, PositionFields& fields)
{
    try {
        ReadPosition(cells, fields);
    } catch (const ConvertError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST_F(ReadPositionTest, WorkedNorthEastFix)
{
    PositionFields fields;
    ReadPosition(Cells("N", "5645.0993", "E", "03712.1697"), fields);
    EXPECT_EQ(fields.edtLat, "5645.0993N");
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "5.958", "N"));
    EXPECT_EQ(fields.edtLat2, "56\xB0" "45'5.958\"N");
    EXPECT_EQ(fields.lad, "56.751655");
    EXPECT_EQ(fields.edtLon, "03712.1697E");
    EXPECT_EQ(fields.edtLon2, Dms("37", "12", "10.182", "E"));
    EXPECT_EQ(fields.lod, "37.2028283333333");
}

TEST_F(ReadPositionTest, SouthAndWestNegateOnlyTheDecimalForms)
{
    PositionFields fields;
    ReadPosition(Cells("S", "5645.0993", "W", "03712.1697"), fields);
    EXPECT_EQ(fields.edtLat, "5645.0993S");
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "5.958", "S"));
    EXPECT_EQ(fields.lad, "-56.751655");
    EXPECT_EQ(fields.edtLon, "03712.1697W");
    EXPECT_EQ(fields.edtLon2, Dms("37", "12", "10.182", "W"));
    EXPECT_EQ(fields.lod, "-37.2028283333333");
}

TEST_F(ReadPositionTest, LowerCaseHemispheresAreNotTheirCapitals)
{
    PositionFields fields;
    ReadPosition(Cells("n", "5645.0993", "e", "03712.1697"), fields);
    // Anything but "N"/"E" appends the other letter, yet only exactly "S"/"W" negate.
    EXPECT_EQ(fields.edtLat, "5645.0993S");
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "5.958", "S"));
    EXPECT_EQ(fields.lad, "56.751655");
    EXPECT_EQ(fields.edtLon, "03712.1697W");
    EXPECT_EQ(fields.lod, "37.2028283333333");

    ReadPosition(Cells("s", "5645.0993", "w", "03712.1697"), fields);
    EXPECT_EQ(fields.lad, "56.751655");
    EXPECT_EQ(fields.lod, "37.2028283333333");
}

TEST_F(ReadPositionTest, NoFixMarksAllSixFields)
{
    for (const char* mark : {"?", "0"}) {
        PositionFields fields;
        ReadPosition(Cells(mark, "garbage", "", ""), fields);
        for (const std::string* field : {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon,
                                         &fields.edtLon2, &fields.lod}) {
            EXPECT_EQ(*field, "?") << "mark " << mark;
        }
    }
    // Only the exact texts mark a missing fix.
    PositionFields fields;
    EXPECT_NE(ConvertMessage(Cells("00", "", "E", ""), fields), "(no error)");
    EXPECT_EQ(fields.edtLat, "S");
}

TEST_F(ReadPositionTest, CommaLocaleStillShowsDots)
{
    SetDecimalSeparator(',');
    PositionFields fields;
    ReadPosition(Cells("N", "5645.0993", "W", "03712.1697"), fields);
    EXPECT_EQ(fields.edtLat, "5645.0993N");
    EXPECT_EQ(fields.edtLat2, Dms("56", "45", "5.958", "N"));
    EXPECT_EQ(fields.lad, "56.751655");
    EXPECT_EQ(fields.edtLon2, Dms("37", "12", "10.182", "W"));
    EXPECT_EQ(fields.lod, "-37.2028283333333");
}

TEST_F(ReadPositionTest, ShortMalformedFractionsReadTheFixedColumns)
{
    PositionFields fields;
    // Without "." after the minutes the fraction is read from fixed columns.
    // L = "03712,16E": B is read from "0." followed by "E", which converts to 0.
    // L = "5645,5N": A = "5N" then fails.
    EXPECT_EQ(ConvertMessage(Cells("N", "5645,5", "E", "03712,16"), fields),
              "'5N' is not a valid floating point value");
    EXPECT_EQ(fields.edtLon2, Dms("37", "12", "9.6", ""));
    EXPECT_EQ(fields.lod, "37.2026666666667");
    EXPECT_EQ(fields.edtLat, "5645,5N");
    EXPECT_EQ(fields.lad, "56.751655");
}

TEST_F(ReadPositionTest, DegreesAndMinutesAreWrittenWithoutLeadingZeros)
{
    PositionFields fields;
    ReadPosition(Cells("N", "0500.0000", "E", "00000.0000"), fields);
    EXPECT_EQ(fields.edtLat2, Dms("5", "0", "0", "N"));
    EXPECT_EQ(fields.lad, "5");
    EXPECT_EQ(fields.edtLon2, Dms("0", "0", "0", "E"));
    EXPECT_EQ(fields.lod, "0");

    ReadPosition(Cells("S", "0000.0000", "W", "00000.0000"), fields);
    EXPECT_EQ(fields.lad, "0");
    EXPECT_EQ(fields.lod, "0");
}

TEST_F(ReadPositionTest, ConversionErrorKeepsFieldsWrittenBeforeIt)
{
    {
        // Longitude degrees "12E" fail: both raw fields are new, the rest keep their old texts.
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "5645.0993", "E", "12"), fields),
                  "'12E' is not a valid integer value");
        EXPECT_EQ(fields.edtLat, "5645.0993N");
        EXPECT_EQ(fields.edtLon, "12E");
        EXPECT_EQ(fields.edtLon2, "37.202829");
        EXPECT_EQ(fields.lod, "37.202829");
        EXPECT_EQ(fields.edtLat2, "56.751655");
        EXPECT_EQ(fields.lad, "56.751655");
    }
    {
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "5645.0993", "E", "037"), fields),
                  "'E' is not a valid integer value");
    }
    {
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "5645.0993", "E", "03712"), fields),
                  "'' is not a valid floating point value");
        EXPECT_EQ(fields.edtLon2, "37.202829");
    }
    {
        // Latitude fails after the longitude forms are written.
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "", "E", "03712.1697"), fields),
                  "'N' is not a valid integer value");
        EXPECT_EQ(fields.edtLat, "N");
        EXPECT_EQ(fields.edtLon2, Dms("37", "12", "10.182", "E"));
        EXPECT_EQ(fields.lod, "37.2028283333333");
        EXPECT_EQ(fields.edtLat2, "56.751655");
        EXPECT_EQ(fields.lad, "56.751655");
    }
    {
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "5645.x993", "E", "03712.1697"), fields),
                  "'x9' is not a valid floating point value");
    }
    {
        PositionFields fields;
        EXPECT_EQ(ConvertMessage(Cells("N", "5645.09 3", "E", "03712.1697"), fields),
                  "'0. 3' is not a valid floating point value");
    }
}

TEST_F(ReadPositionTest, ConversionErrorsNameTheLocaleText)
{
    SetDecimalSeparator(',');
    PositionFields fields;
    EXPECT_EQ(ConvertMessage(Cells("N", "5645.09x3", "E", "03712.1697"), fields),
              "'0,x3' is not a valid floating point value");
}

} // namespace
} // namespace qm
