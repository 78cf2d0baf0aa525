// Opening files, the table's operations and its error messages, and the limits of its indexes.
#include "table_helpers.h"

#include "errors.h"

#include <cerrno>
#include <cstdio>
#include <string>

namespace qm::test {
namespace {

class SurveyOpen : public ScratchDir {};

TEST_F(SurveyOpen, MissingFileAndDirectoryCannotBeOpened)
{
    SurveyTable table;
    table.LoadFromBytes("a;b\n1;2\n");
    for (const auto& path : {dir_ / "missing.csv", dir_}) {
        try {
            table.LoadFromCsv(path);
            FAIL() << "loaded " << path;
        } catch (const SurveyTableError& error) {
            EXPECT_STREQ(error.what(), "File cannot be opened");
        }
    }
    // Nothing was added and the delimiter kept its state.
    EXPECT_EQ(table.RowCount(), 2);
    EXPECT_EQ(table.Delimiter(), ';');
}

TEST_F(SurveyOpen, UnreadableFileCannotBeOpened)
{
    const auto path = Write("locked.csv", "a,b\n");
    std::filesystem::permissions(path, std::filesystem::perms::none);
    if (std::FILE* probe = std::fopen(path.string().c_str(), "rb")) {
        std::fclose(probe);
        GTEST_SKIP() << "permissions are not enforced for this user";
    }
    SurveyTable table;
    EXPECT_THROW(table.LoadFromCsv(path), SurveyTableError);
    EXPECT_EQ(table.RowCount(), 0);
}

#ifdef _WIN32
TEST_F(SurveyOpen, FileHeldOpenForWritingCannotBeOpened)
{
    const auto path = Write("busy.csv", "a,b\n");
    std::FILE* writer = _wfopen(path.c_str(), L"ab");
    ASSERT_NE(writer, nullptr);
    SurveyTable table;
    EXPECT_THROW(table.LoadFromCsv(path), SurveyTableError);
    std::fclose(writer);
    table.LoadFromCsv(path);
    EXPECT_EQ(table.RowCount(), 1);
}
#endif

TEST_F(SurveyOpen, PathWithNonAsciiCharactersLoads)
{
    // Cyrillic, accented Latin and a character outside every 8-bit code page: Windows needs the
    // wide-character calls for such a path.
    const std::filesystem::path folder = dir_ / std::filesystem::path(u8"Съёмка été 测");
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / std::filesystem::path(u8"профиль_é.csv");
    {
        std::ofstream out(path, std::ios::binary);
        out << "a;b;c\r\n1;2;3\r\n";
    }
    SurveyTable table;
    table.LoadFromCsv(path);
    EXPECT_EQ(Dump(table), (Rows{{"a", "b", "c"}, {"1", "2", "3"}}));
}

TEST_F(SurveyOpen, EmptyFileGivesNoRowsAndKeepsTheDelimiter)
{
    SurveyTable table;
    table.LoadFromBytes("a|b\n1|2\n");
    table.Clear();
    table.LoadFromCsv(Write("empty.csv", ""));
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_EQ(table.ColumnCount(), 0);
    EXPECT_EQ(table.Delimiter(), '|');
}

TEST_F(SurveyOpen, LoadAppendsUntilCleared)
{
    const auto path = Write("two.csv", "h1,h2,h3,h4\r\n1,2,3,4\r\n");
    SurveyTable table;
    table.LoadFromCsv(path);
    table.LoadFromCsv(path);
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(table.RowCaption(2), "h1");
    table.Clear();
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_EQ(table.ColumnCount(), 0);
    EXPECT_EQ(table.Delimiter(), ',');
    table.LoadFromCsv(path);
    EXPECT_EQ(Dump(table), (Rows{{"h1", "h2", "h3", "h4"}, {"1", "2", "3", "4"}}));
}

TEST(SurveyTableErrors, CellBeyondTheRowNamesTheCellIndex)
{
    SurveyTable table;
    table.LoadFromBytes("h\n0,1,2,3,4,5,6\n");
    ASSERT_EQ(table.CellCount(1), 6);
    EXPECT_EQ(table.Cell(1, 6), "6");
    try {
        (void)table.Cell(1, 7);
        FAIL();
    } catch (const ListIndexError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (6)");
    }
    EXPECT_THROW((void)table.Cell(0, 1), ListIndexError);
    EXPECT_THROW((void)table.Cell(1, 0), ListIndexError);
    EXPECT_THROW((void)table.RowCaption(2), ListIndexError);
    EXPECT_THROW((void)table.RowCaption(-1), ListIndexError);
}

TEST(SurveyTableErrors, SetColumnWidthBeyondTheColumnsNamesTheColumn)
{
    SurveyTable table;
    table.LoadFromBytes("a,b,c,d\n1,2,3,4\n");
    ASSERT_EQ(table.ColumnCount(), 4);
    table.SetColumnWidth(3, 120);
    EXPECT_EQ(table.ColumnWidth(3), 120);
    try {
        table.SetColumnWidth(4, 10);
        FAIL();
    } catch (const ListIndexError& error) {
        EXPECT_STREQ(error.what(), "List index out of bounds (4)");
    }
    EXPECT_THROW(table.SetColumnWidth(-1, 10), ListIndexError);
}

TEST(SurveyTableErrors, InOutErrorMessagesForSystemErrors)
{
    EXPECT_STREQ(InOutError::FromErrno(ENOENT).what(), "File not found");
    EXPECT_EQ(InOutError::FromErrno(EACCES).code(), 5);
    EXPECT_STREQ(InOutError::FromErrno(EPERM).what(), "File access denied");
    EXPECT_STREQ(InOutError::FromErrno(EMFILE).what(), "Too many open files");
    EXPECT_STREQ(InOutError::FromErrno(ENOSPC).what(), "Disk full");
    // An unnamed system error keeps its number, even one that equals a named code.
    EXPECT_EQ(InOutError::FromErrno(EIO).what(), "I/O error " + std::to_string(EIO));
    EXPECT_STREQ(InOutError(100).what(), "Read beyond end of file");
    EXPECT_STREQ(InOutError(42).what(), "I/O error 42");

    // Windows system codes: 2 to 5 are the table's own, end of file and a full disk are mapped.
    EXPECT_STREQ(InOutError::FromWindowsError(2).what(), "File not found");
    EXPECT_STREQ(InOutError::FromWindowsError(3).what(), "Invalid filename");
    EXPECT_STREQ(InOutError::FromWindowsError(4).what(), "Too many open files");
    EXPECT_STREQ(InOutError::FromWindowsError(5).what(), "File access denied");
    EXPECT_STREQ(InOutError::FromWindowsError(38).what(), "Read beyond end of file");
    EXPECT_EQ(InOutError::FromWindowsError(38).code(), 100);
    EXPECT_STREQ(InOutError::FromWindowsError(39).what(), "Disk full");
    EXPECT_STREQ(InOutError::FromWindowsError(112).what(), "Disk full");
    EXPECT_STREQ(InOutError::FromWindowsError(1117).what(), "I/O error 1117"); // ERROR_IO_DEVICE
    EXPECT_STREQ(InOutError::FromWindowsError(100).what(), "I/O error 100");
}

TEST(SurveyTableRows, DeleteRowMovesTheLaterRowsUp)
{
    SurveyTable table;
    table.LoadFromBytes("h,x,y\n1,a,b\n2,c\n3,d,e,f\n");
    table.DeleteRow(1);
    EXPECT_EQ(Dump(table), (Rows{{"h", "x", "y"}, {"2", "c"}, {"3", "d", "e", "f"}}));
    table.DeleteRow(2);
    EXPECT_EQ(Dump(table), (Rows{{"h", "x", "y"}, {"2", "c"}}));
    table.DeleteRow(0);
    EXPECT_EQ(Dump(table), (Rows{{"2", "c"}}));
    table.LoadFromBytes("4,g\n");
    EXPECT_EQ(Dump(table), (Rows{{"2", "c"}, {"4", "g"}}));
    table.DeleteRow(0);
    table.DeleteRow(0);
    EXPECT_EQ(table.RowCount(), 0);
    EXPECT_THROW(table.DeleteRow(0), ListIndexError);
}

TEST(SurveyTableLimits, MoreLinesThanTheTableIndexesIsAClearError)
{
    SurveyTableLimits limits;
    limits.maxRows = 3;
    SurveyTable table(limits);
    EXPECT_THROW(table.LoadFromBytes("a\nb\nc\nd\n"), TableLimitError);
    EXPECT_EQ(table.RowCount(), 3); // the rows read before stay
    limits.maxRows = 10;
    limits.maxFieldsPerLine = 4;
    SurveyTable narrow(limits);
    narrow.LoadFromBytes("a,b,c,d\n");
    EXPECT_EQ(narrow.CellCount(0), 3);
    EXPECT_THROW(narrow.LoadFromBytes("a,b,c,d,e\n"), TableLimitError);
    // The row that hit the limit keeps the fields stored before it.
    ASSERT_EQ(narrow.RowCount(), 2);
    EXPECT_EQ(Dump(narrow).back(), (std::vector<std::string>{"a", "b", "c", "d"}));
    narrow.LoadFromBytes("x\n");
    EXPECT_EQ(narrow.RowCaption(2), "x");
}

TEST(SurveyTableLimits, RowsLongerThanCompactOffsetsKeepTheirCells)
{
    SurveyTableLimits limits;
    limits.compactRowBytes = 8;
    SurveyTable table(limits);
    const std::string bytes = "ab,cd\n0123456789,x,yz\nq,r\n";
    table.LoadFromBytes(bytes);
    EXPECT_EQ(Dump(table), Load(bytes));
    table.DeleteRow(0);
    EXPECT_EQ(Dump(table), (Rows{{"0123456789", "x", "yz"}, {"q", "r"}}));
}

TEST(SurveyTableMemory, CompactForManyRows)
{
    std::string bytes = "Label,Value,Time,NS,Lat,EW,Lon\r\n";
    for (int r = 0; r < 50'000; ++r)
        bytes += std::to_string(r) + ",50123.45,10:" + std::to_string(10 + r % 50) +
                 ":00,N,5645.1234,E,03712.3456\r\n";
    SurveyTable table;
    table.LoadFromBytes(bytes);
    ASSERT_EQ(table.RowCount(), 50'001);
    EXPECT_LE(table.MemoryUsage(), 2 * bytes.size());
}

} // namespace
} // namespace qm::test
