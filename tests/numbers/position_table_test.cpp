// The position readout over a loaded table: each cell is read at the step that needs it.
#include "errors.h"
#include "position.h"
#include "separator_guard.h"
#include "survey_table.h"

#include <gtest/gtest.h>

#include <string>

namespace qm {
namespace {

class ReadPositionTableTest : public test::SeparatorTest {
protected:
    void SetUp() override
    {
        SeparatorTest::SetUp();
        table_.LoadFromBytes("Label,Field,Time,NS,Lat,EW,Lon\n"
                             "1,49876.5,120000,N,5645.0993,W,03712.1697\n"
                             "2,49876.5,120001,?\n"
                             "3,49876.5\n"
                             "4,49876.5,120003,N\n"
                             "5,49876.5,120004,N,5645.0993\n"
                             "6,49876.5,120005,N,5645.0993,E\n"
                             "7,49876.5,120006,S,5645.0993,E,03712.1697\n");
        ASSERT_EQ(table_.RowCount(), 8);
    }

    // The index of the missing cell, or -1 when the readout ran through.
    long long MissingIndex(int row)
    {
        try {
            ReadPosition(table_, row, fields_);
        } catch (const ListIndexError& e) {
            EXPECT_EQ(std::string(e.what()), "List index out of bounds (" + std::to_string(e.index()) + ")");
            return e.index();
        }
        return -1;
    }

    SurveyTable table_;
    PositionFields fields_;
};

TEST_F(ReadPositionTableTest, FullRowsGiveAllForms)
{
    EXPECT_EQ(MissingIndex(1), -1);
    EXPECT_EQ(fields_.edtLat, "5645.0993N");
    EXPECT_EQ(fields_.edtLat2, "56\xB0" "45'5.958\"N");
    EXPECT_EQ(fields_.lad, "56.751655");
    EXPECT_EQ(fields_.edtLon, "03712.1697W");
    EXPECT_EQ(fields_.edtLon2, "37\xB0" "12'10.182\"W");
    EXPECT_EQ(fields_.lod, "-37.2028283333333");

    EXPECT_EQ(MissingIndex(7), -1);
    EXPECT_EQ(fields_.lad, "-56.751655");
    EXPECT_EQ(fields_.lod, "37.2028283333333");
}

TEST_F(ReadPositionTableTest, NoFixNeedsNoFurtherCells)
{
    EXPECT_EQ(MissingIndex(2), -1);
    EXPECT_EQ(fields_.edtLat, "?");
    EXPECT_EQ(fields_.lod, "?");
}

TEST_F(ReadPositionTableTest, ShortRowFailsAtTheStepThatReadsTheMissingCell)
{
    // Column 3 is read first: nothing changes.
    EXPECT_EQ(MissingIndex(3), 2);
    EXPECT_EQ(fields_.edtLat, "56.751655");

    EXPECT_EQ(MissingIndex(4), 3);
    EXPECT_EQ(fields_.edtLat, "56.751655");

    // The raw latitude is written before the longitude cells are read.
    EXPECT_EQ(MissingIndex(5), 4);
    EXPECT_EQ(fields_.edtLat, "5645.0993N");
    EXPECT_EQ(fields_.edtLon, "37.202829");
    EXPECT_EQ(fields_.lad, "56.751655");

    fields_ = PositionFields{};
    EXPECT_EQ(MissingIndex(6), 5);
    EXPECT_EQ(fields_.edtLat, "5645.0993N");
    EXPECT_EQ(fields_.edtLon, "37.202829");
    EXPECT_EQ(fields_.edtLon2, "37.202829");
}

} // namespace
} // namespace qm
