// The example survey files and the shared test files load as the viewer needs them.
#include "table_helpers.h"

#include "field_value.h"

#include <string>

namespace qm::test {
namespace {

TEST(SurveyExamples, EveryLineLoadsWithSevenColumnsAndNumericReadings)
{
    SetDecimalSeparator('.');
    for (int line = 1; line <= 14; ++line) {
        const std::string name = (line < 10 ? "line0" : "line") + std::to_string(line) + ".csv";
        SCOPED_TRACE(name);
        SurveyTable table;
        table.LoadFromCsv(std::filesystem::path(QM_EXAMPLES_DIR) / name);
        EXPECT_EQ(table.Delimiter(), ',');
        EXPECT_EQ(table.ColumnCount(), 7);
        ASSERT_GE(table.RowCount(), 201);
        ASSERT_LE(table.RowCount(), 2001);
        for (int r = 1; r < table.RowCount(); ++r) {
            const std::int64_t reading = FieldValue(table.Cell(r, 1));
            ASSERT_GT(reading, 50'000);
            ASSERT_LT(reading, 53'000);
            const std::string_view hemisphere = table.Cell(r, 3);
            ASSERT_TRUE(hemisphere == "N" || hemisphere == "?") << "row " << r;
            if (hemisphere == "N") {
                ASSERT_EQ(table.Cell(r, 4).substr(0, 4), "5645") << "row " << r;
                ASSERT_EQ(table.Cell(r, 6).substr(0, 5), "03712") << "row " << r;
            }
        }
    }
}

TEST(SurveyExamples, SharedTestFilesLoad)
{
    SurveyTable table;
    table.LoadFromCsv(std::filesystem::path(QM_TEST_DATA_DIR) / "survey_seven_fields.csv");
    EXPECT_EQ(table.RowCount(), 6);
    EXPECT_EQ(table.ColumnCount(), 7);
    EXPECT_EQ(table.Cell(4, 6), "?");
    table.Clear();
    table.LoadFromCsv(std::filesystem::path(QM_TEST_DATA_DIR) / "survey_semicolon.csv");
    EXPECT_EQ(table.Delimiter(), ';');
    EXPECT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.Cell(2, 4), "5645.0006");
}

} // namespace
} // namespace qm::test
