// How the loader cuts a file into lines: line ends, carriage returns, the 0x1A byte, NUL bytes,
// long lines and lines that cross the reader's blocks.
#include "errors.h"
#include "survey_rows.h"
#include "table_helpers.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace qm::test {
namespace {

using namespace std::string_literals;

TEST(SurveyLines, CrLfFileOfThreeLinesGivesThreeRowsAndSevenColumns)
{
    SurveyTable table;
    table.LoadFromBytes("Label,Value,Time,NS,Lat,EW,Lon\r\n"
                        "1,50123.4,10:00:01,N,5645.1000,E,03712.2000\r\n"
                        "2,50124.1,10:00:02,N,5645.1010,E,03712.2010\r\n");
    ASSERT_EQ(table.RowCount(), 3);
    EXPECT_EQ(table.ColumnCount(), 7);
    EXPECT_EQ(table.RowCaption(0), "Label");
    EXPECT_EQ(table.Cell(0, 6), "Lon");
    EXPECT_EQ(table.Cell(2, 6), "03712.2010");
    EXPECT_EQ(table.CellCount(2), 6);
    for (int c = 0; c < table.ColumnCount(); ++c)
        EXPECT_EQ(table.ColumnWidth(c), 50);
}

TEST(SurveyLines, LineEndsAndTheFinalBreak)
{
    EXPECT_EQ(Load("a\nb\n"), (Rows{{"a"}, {"b"}}));
    EXPECT_EQ(Load("a\nb"), (Rows{{"a"}, {"b"}}));
    EXPECT_EQ(Load("a\r\nb\r\n"), (Rows{{"a"}, {"b"}}));
    // Two breaks at the end give an empty last row.
    EXPECT_EQ(Load("a\nb\n\n"), (Rows{{"a"}, {"b"}, {""}}));
    EXPECT_EQ(Load("a\r\n\r\n"), (Rows{{"a"}, {""}}));
    EXPECT_EQ(Load("\n"), (Rows{{""}}));
}

TEST(SurveyLines, LoneCarriageReturnIsDroppedAndEndsNoLine)
{
    EXPECT_EQ(Load("12\r34\n"), (Rows{{"1234"}}));
    EXPECT_EQ(Load("a\r\rb\r\r\nc"), (Rows{{"ab"}, {"c"}}));
    EXPECT_EQ(Load("ab\r"), (Rows{{"ab"}}));
    EXPECT_EQ(Load("\r"), (Rows{{""}}));
}

TEST(SurveyLines, ByteOneAEndsTheFileAtALineStartAndTheLineElsewhere)
{
    EXPECT_EQ(Load("a,b\n\x1A,c\nd,e\n"), (Rows{{"a", "b"}}));
    EXPECT_EQ(Load("\x1A" "a\nb\n"), Rows{});
    EXPECT_EQ(Load("a,b\x1A,c\r\nd\n"), (Rows{{"a", "b"}, {"d"}}));
    EXPECT_EQ(Load("ab\x1A\n"), (Rows{{"ab"}}));
    // A 0x1A at the start of the second line leaves the first alone for detection.
    SurveyTable table;
    table.LoadFromBytes("a;b\n\x1A;c\n");
    EXPECT_EQ(Dump(table), (Rows{{"a", "b"}}));
    EXPECT_FALSE(table.Delimiter());
}

TEST(SurveyLines, EmptyInputGivesNoRowsNoColumns)
{
    SurveyTable table;
    table.LoadFromBytes("");
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_EQ(table.ColumnCount(), 0);
    EXPECT_FALSE(table.Delimiter());
}

TEST(SurveyLines, NulIsAnOrdinaryByteOfItsField)
{
    const Rows rows = Load("a\0b,c\0,\0\n\0\n"s);
    EXPECT_EQ(rows, (Rows{{"a\0b"s, "c\0"s, "\0"s}, {"\0"s}}));
}

class SurveyFileLines : public ScratchDir {};

TEST_F(SurveyFileLines, FileAndMemoryGiveTheSameRowsAcrossBlockBoundaries)
{
    // Lines of varied length, CR LF pairs and lone CRs land on both sides of the 1 MiB blocks.
    std::mt19937 random(7);
    std::string bytes;
    while (bytes.size() < 3'500'000) {
        const int fields = 1 + static_cast<int>(random() % 9);
        for (int f = 0; f < fields; ++f) {
            if (f > 0)
                bytes += ',';
            bytes.append(random() % 40, static_cast<char>('a' + random() % 26));
            if (random() % 50 == 0)
                bytes += '\r';
        }
        bytes += random() % 2 ? "\r\n" : "\n";
        if (random() % 500 == 0)
            bytes.append(1'200'000, 'x'); // a line longer than a block
    }
    // Only the last block holds a 0x1A: the earlier ones take the fast path, this one the careful one.
    bytes += "\ntail,\x1A" "dropped\r\nafter\n";
    const auto path = Write("blocks.csv", bytes);
    SurveyTable fromFile;
    fromFile.LoadFromCsv(path);
    SurveyTable fromMemory;
    fromMemory.LoadFromBytes(bytes);
    EXPECT_GT(fromFile.RowCount(), 2000);
    EXPECT_EQ(Dump(fromFile), Dump(fromMemory));
    EXPECT_EQ(fromFile.RowCaption(fromFile.RowCount() - 2), "tail");
    EXPECT_EQ(fromFile.RowCaption(fromFile.RowCount() - 1), "after");
    EXPECT_EQ(fromFile.ColumnCount(), fromMemory.ColumnCount());
}

// Every row of a file as the row-by-row reader gives it, and the row starts it noted.
Rows ReadRowByRow(const std::filesystem::path& path, std::vector<std::uint64_t>& starts, std::optional<char>& delimiter)
{
    SurveyRowReader reader;
    reader.KeepRowStarts(true);
    reader.Open(path);
    Rows rows;
    std::string_view fields[8];
    int count = 0;
    while (reader.Next(fields, 8, count)) {
        EXPECT_EQ(reader.Row(), static_cast<int>(rows.size()));
        rows.emplace_back(fields, fields + std::min(count, 8));
        rows.back().resize(static_cast<std::size_t>(count)); // past 8: compared by count alone
    }
    starts = reader.RowStarts();
    delimiter = reader.SplitDelimiter();
    return rows;
}

// A table's row past its eighth field compared by count alone, as ReadRowByRow gives it.
Rows FirstEightFields(Rows rows)
{
    for (std::vector<std::string>& row : rows)
        for (std::size_t c = 8; c < row.size(); ++c)
            row[c].clear();
    return rows;
}

TEST_F(SurveyFileLines, RowsReadAgainFromTheirNotedStartsAreTheRowsOfTheWholeLoad)
{
    // Semicolons, quotes, lone CRs, CR LF pairs and lines across the 1 MiB blocks, and a 0x1A
    // ending the text of the next-to-last line.
    std::mt19937 random(11);
    std::string bytes = "Label;Field;Time\r\n";
    while (bytes.size() < 2'500'000) {
        bytes += 'L';
        bytes += std::to_string(random() % 100000);
        bytes += random() % 7 == 0 ? "\"q;\";" : ";";
        bytes.append(random() % 60, static_cast<char>('a' + random() % 26));
        if (random() % 40 == 0)
            bytes += '\r';
        bytes += random() % 3 ? "\r\n" : "\n";
        if (random() % 2000 == 0)
            bytes.append(1'100'000, 'x');
    }
    bytes += "tail;\x1A" "dropped\r\nafter\n";
    const auto path = Write("starts.csv", bytes);
    SurveyTable whole;
    whole.KeepRowStarts(true);
    whole.LoadFromCsv(path);
    const Rows all = Dump(whole);
    const std::vector<std::uint64_t> starts = whole.RowStarts();
    std::vector<std::uint64_t> readerStarts;
    std::optional<char> readerDelimiter;
    EXPECT_EQ(ReadRowByRow(path, readerStarts, readerDelimiter), FirstEightFields(all));
    EXPECT_EQ(readerStarts, starts);
    ASSERT_GE(starts.size(), static_cast<std::size_t>(whole.RowCount() / SurveyTable::kRowStartStep));
    ASSERT_EQ(whole.SplitDelimiter(), ';');
    SurveyTable part;
    for (std::size_t k = 0; k < starts.size(); ++k) {
        part.LoadRowsAt(path, starts[k], ';', SurveyTable::kRowStartStep);
        const auto first = static_cast<std::ptrdiff_t>(k * SurveyTable::kRowStartStep);
        const auto last = std::min<std::ptrdiff_t>(first + SurveyTable::kRowStartStep, static_cast<std::ptrdiff_t>(all.size()));
        ASSERT_EQ(Dump(part), Rows(all.begin() + std::min(first, last), all.begin() + last)) << k;
    }
    // A start past the end gives no row; a table not asked to keep them notes none.
    part.LoadRowsAt(path, bytes.size() + 10, ';', 5);
    EXPECT_EQ(part.RowCount(), 0);
    SurveyTable plain;
    plain.LoadFromCsv(path);
    EXPECT_TRUE(plain.RowStarts().empty());
}

TEST_F(SurveyFileLines, ReadRowByRowAFileGivesTheRowsAndStartsOfItsLoad)
{
    std::string big = "Label,Field\r\n";
    for (int k = 0; k < 200; ++k)
        big += "P" + std::to_string(k) + (k % 9 == 0 ? ",\"a,\"\"b\"x,c\r\n" : ",5\r\n");
    const std::string files[] = {
        "", "\n", "one line", "one line\n", "h1;h2\n", "a,b\n\nc,d,\n\"q\",\"r\n", "\x1A" "after\n",
        "L|F|T\nx\ry|1|2\n\x1A\nz\n", "a\tb\tc\n1\t2\t3\n" "4\t\"5\t6\"\t7\n", big};
    int n = 0;
    for (const std::string& bytes : files) {
        const auto path = Write("rows" + std::to_string(n++) + ".csv", bytes);
        SurveyTable table;
        table.KeepRowStarts(true);
        table.LoadFromCsv(path);
        std::vector<std::uint64_t> starts;
        std::optional<char> delimiter;
        EXPECT_EQ(ReadRowByRow(path, starts, delimiter), FirstEightFields(Dump(table))) << n;
        EXPECT_EQ(starts, table.RowStarts()) << n;
        EXPECT_EQ(delimiter, table.SplitDelimiter()) << n;
    }
    SurveyRowReader reader;
    EXPECT_THROW(reader.Open(dir_ / "missing.csv"), SurveyTableError);
}

TEST_F(SurveyFileLines, CrLfSplitByABlockBoundaryIsOneLineBreak)
{
    std::string bytes(1024 * 1024 - 1, 'a');
    bytes += "\r\nb\r\n";
    SurveyTable table;
    table.LoadFromCsv(Write("split.csv", bytes));
    ASSERT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.RowCaption(0).size(), 1024u * 1024 - 1);
    EXPECT_EQ(table.RowCaption(1), "b");
}

TEST_F(SurveyFileLines, LongLineIsKeptWhole)
{
    std::string line;
    for (int f = 0; f < 300'000; ++f)
        line += std::to_string(f) + ",";
    line += "end";
    SurveyTable table;
    table.LoadFromCsv(Write("long.csv", "h\n" + line + "\r\nlast\n"));
    ASSERT_EQ(table.RowCount(), 3);
    ASSERT_EQ(table.CellCount(1), 300'000);
    EXPECT_EQ(table.RowCaption(1), "0");
    EXPECT_EQ(table.Cell(1, 299'999), "299999");
    EXPECT_EQ(table.Cell(1, 300'000), "end");
    EXPECT_EQ(table.RowCaption(2), "last");
}

} // namespace
} // namespace qm::test
