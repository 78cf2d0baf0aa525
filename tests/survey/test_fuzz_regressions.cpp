// Loader inputs that its fuzz target keeps as regressions, starting with what the target's small
// inputs cannot reach: the file is read in blocks of 1 MiB, so line breaks, carriage returns and
// end-of-file bytes that fall on a block's edge are checked here, the table from the file against
// the table from the same bytes.
#include "table_helpers.h"

#include <cstddef>
#include <string>

namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;

// A heading and data lines of seven fields, filled up to exactly `size` bytes, then `tail`.
std::string FillTo(std::size_t size, const std::string& tail)
{
    std::string bytes = "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n";
    for (int i = 0; bytes.size() < size; ++i)
        bytes.append("P").append(std::to_string(i)).append(",50000.5,10:12:00,N,5645.0101,E,03712.0093\r\n");
    bytes.resize(size);
    return bytes + tail;
}

class BlockEdges : public qm::test::ScratchDir {
protected:
    // Loads the bytes from a file and from memory; both tables must be the same.
    void ExpectSameTables(const std::string& bytes)
    {
        qm::SurveyTable fromFile;
        fromFile.LoadFromCsv(Write("edge.csv", bytes));
        qm::SurveyTable fromBytes;
        fromBytes.LoadFromBytes(bytes);
        EXPECT_EQ(qm::test::Dump(fromFile), qm::test::Dump(fromBytes));
        EXPECT_EQ(fromFile.ColumnCount(), fromBytes.ColumnCount());
    }
};

TEST_F(BlockEdges, LineBreakPairSplitAcrossBlocks)
{
    // The carriage return is the last byte of the first block, its line feed the first of the next.
    ExpectSameTables(FillTo(kBlock - 1, "\r\nA,1,2,3,4,5,6\r\n"));
    ExpectSameTables(FillTo(kBlock - 1, "\rA,1,2,3,4,5,6\r\n")); // a lone one: dropped
    ExpectSameTables(FillTo(kBlock, "\nA,1,2,3,4,5,6\n"));      // line feed first in a block
}

TEST_F(BlockEdges, EndOfFileByteOnABlockEdge)
{
    // A line that starts with 0x1A at a block's first byte ends the file ...
    std::string bytes = FillTo(kBlock - 2, "\r\n\x1A" "B,1,2,3,4,5,6\r\n");
    ExpectSameTables(bytes);
    qm::SurveyTable table;
    table.LoadFromCsv(Write("eof.csv", bytes));
    EXPECT_NE(table.RowCaption(table.RowCount() - 1), "B");
    // ... inside a line it only ends that line's text.
    ExpectSameTables(FillTo(kBlock - 1, "\x1Ajunk,x\r\nC,1,2,3,4,5,6\r\n"));
    ExpectSameTables(FillTo(kBlock - 1, "\r\x1A\r\nD,1\r\n"));
}

TEST_F(BlockEdges, LineOverSeveralBlocksWithQuotes)
{
    // One line of three blocks: a quoted field opens in the first block and closes in the third.
    std::string line = "Q,\"" + std::string(kBlock, ',') + std::string(kBlock, 'x') + "\",tail\r\n";
    ExpectSameTables(FillTo(kBlock / 2, line + "E,1,2,3,4,5,6"));
}

} // namespace
