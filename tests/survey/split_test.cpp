// Splitting lines into fields, quoted fields, the column rule and delimiter detection.
#include "table_helpers.h"

#include <string>

namespace qm::test {
namespace {

TEST(SurveyIsolated, PositionAndCount)
{
    EXPECT_EQ(IsolatedPos(',', "a,b,c"), 2u);
    EXPECT_EQ(IsolatedPos(',', "a,,b,c"), 5u);
    EXPECT_EQ(IsolatedPos(',', ",a"), 1u);
    EXPECT_EQ(IsolatedPos(',', "a,,"), 3u); // the last character always counts
    EXPECT_EQ(IsolatedPos(',', "a,,b"), 0u);
    EXPECT_EQ(IsolatedPos(',', ""), 0u);
    EXPECT_EQ(IsolatedCount(',', "a,b,c"), 2u);
    EXPECT_EQ(IsolatedCount(',', "a,,b"), 0u);
    EXPECT_EQ(IsolatedCount(',', "a,b,"), 2u);
    EXPECT_EQ(IsolatedCount(',', ",,"), 1u);
    EXPECT_EQ(IsolatedCount(',', ",,,a,"), 1u);
    EXPECT_EQ(IsolatedCount(',', ",a,,,b,"), 2u);
    EXPECT_EQ(IsolatedCount(',', ""), 0u);
}

TEST(SurveySplit, PlainFieldsAndTrailingDelimiter)
{
    EXPECT_EQ(Load("h\na,b,"), (Rows{{"h"}, {"a", "b"}}));
    EXPECT_EQ(Load("h\na,,b"), (Rows{{"h"}, {"a", "", "b"}}));
    EXPECT_EQ(Load("h\n,a"), (Rows{{"h"}, {"", "a"}}));
    EXPECT_EQ(Load("h\n,"), (Rows{{"h"}, {""}}));
    EXPECT_EQ(Load("h\n  a , b  "), (Rows{{"h"}, {"  a ", " b  "}})); // no trimming
}

TEST(SurveySplit, QuotedFields)
{
    // A delimiter inside quotes stays in the text.
    EXPECT_EQ(Load("h\na,\"b,c\""), (Rows{{"h"}, {"a", "b,c"}}));
    // A doubled quote stays two quote characters.
    EXPECT_EQ(Load("h\n\"x\"\"y\",z"), (Rows{{"h"}, {"x\"\"y", "z"}}));
    // A last field of a single quote character gives an empty last cell.
    EXPECT_EQ(Load("h\na,\""), (Rows{{"h"}, {"a", ""}}));
    EXPECT_EQ(Load("h\na,\"\""), (Rows{{"h"}, {"a", ""}}));
    EXPECT_EQ(Load("h\n\"\""), (Rows{{"h"}, {""}}));
    // Text between the closing quote and the next delimiter is dropped.
    EXPECT_EQ(Load("h\n\"ab\"cd,e"), (Rows{{"h"}, {"ab", "e"}}));
    // Without a delimiter after the closing quote, the rest is the line's last field.
    EXPECT_EQ(Load("h\n\"a,b\"c"), (Rows{{"h"}, {"a,b", "c"}}));
    // No closing quote: empty text, and everything up to the next delimiter is dropped.
    EXPECT_EQ(Load("h\n\"ab\"\"cd,e,f"), (Rows{{"h"}, {"", "e", "f"}}));
    // A quote after a blank does not open a quoted field.
    EXPECT_EQ(Load("h\nx, \"a,b\""), (Rows{{"h"}, {"x", " \"a", "b"}}));
    // A quote inside a plain field stays.
    EXPECT_EQ(Load("h\na\"b,c"), (Rows{{"h"}, {"a\"b", "c"}}));
}

TEST(SurveySplit, QuotedFieldWithDelimiterAddsNoColumnAsLastField)
{
    SurveyTable table;
    table.LoadFromBytes("a,\"b,c\"");
    ASSERT_EQ(table.RowCount(), 1);
    EXPECT_EQ(table.RowCaption(0), "a");
    EXPECT_EQ(table.Cell(0, 1), "b,c");
    EXPECT_EQ(table.ColumnCount(), 0);
}

TEST(SurveySplit, QuotedMiddleFieldsCountForColumnsLikePlainOnes)
{
    SurveyTable plain;
    plain.LoadFromBytes("h1,h2,h3,h4,h5,h6,h7\n1,2,3,N,5,E,7\n");
    SurveyTable quoted;
    quoted.LoadFromBytes("\"h1\",\"h2\",\"h3\",\"h4\",\"h5\",\"h6\",\"h7\"\n\"1\",\"2\",\"3\",\"N\",\"5\",\"E\",\"7\"\n");
    EXPECT_EQ(plain.ColumnCount(), 7);
    EXPECT_EQ(quoted.ColumnCount(), 7);
    EXPECT_EQ(Dump(quoted), Dump(plain));
}

TEST(SurveyColumns, LinesOfThreeFieldsGrowOneColumnPerLine)
{
    SurveyTable table;
    table.LoadFromBytes("a,b,c\n");
    EXPECT_EQ(table.ColumnCount(), 1);
    table.LoadFromBytes("a,b,c\n");
    EXPECT_EQ(table.ColumnCount(), 2);
    table.LoadFromBytes("a,b,c\n");
    EXPECT_EQ(table.ColumnCount(), 3);
    table.LoadFromBytes("a,b,c\n");
    EXPECT_EQ(table.ColumnCount(), 3);
}

TEST(SurveyColumns, CountsForFieldsPerLine)
{
    const auto columnsAfter = [](const std::string& bytes) {
        SurveyTable table;
        table.LoadFromBytes(bytes);
        return table.ColumnCount();
    };
    EXPECT_EQ(columnsAfter("a,b\nc,d\ne,f\n"), 0);
    EXPECT_EQ(columnsAfter("a\nb\n"), 0);
    EXPECT_EQ(columnsAfter("a,b,c,d,e\n"), 3);
    EXPECT_EQ(columnsAfter("a,b,c,d,e\n1,2,3,4,5\n"), 5);
    EXPECT_EQ(columnsAfter("a,b,c\n1,2,3\n"), 2);
    // A row may have more cells than there are columns; they stay readable.
    SurveyTable table;
    table.LoadFromBytes("a,b,c\n1,2,3,4,5,6\n");
    EXPECT_EQ(table.ColumnCount(), 5);
    EXPECT_EQ(table.CellCount(1), 5);
    EXPECT_EQ(table.Cell(1, 5), "6");
}

TEST(SurveyDetection, CandidatesTiesAndCounts)
{
    EXPECT_EQ(DetectDelimiter("a;b;c;d", "1;2;3;4"), ';');
    EXPECT_EQ(DetectDelimiter("a,b;c", "1,2;3"), ','); // a tie keeps the earlier candidate
    EXPECT_EQ(DetectDelimiter("a,b;c;d", "1,2;3;4"), ';'); // a greater count wins
    EXPECT_EQ(DetectDelimiter("a\tb", "1\t2"), '\t');
    EXPECT_EQ(DetectDelimiter("a|b#c#d", "1|2#3#4"), '#');
    EXPECT_EQ(DetectDelimiter("a,b,c", "1,2"), std::nullopt);
    EXPECT_EQ(DetectDelimiter("a,b", ""), std::nullopt);
    EXPECT_EQ(DetectDelimiter("a,,b", "1,,2"), std::nullopt);
}

TEST(SurveyDetection, EachFileSettlesItsOwnDelimiter)
{
    SurveyTable table;
    table.LoadFromBytes("a;b;c;d\n1;2;3;4\n");
    EXPECT_EQ(table.Delimiter(), ';');
    EXPECT_EQ(Dump(table), (Rows{{"a", "b", "c", "d"}, {"1", "2", "3", "4"}}));
    // A later comma file is detected again and split at ",".
    table.Clear();
    table.LoadFromBytes("a,b,c\n1,2,3\n");
    EXPECT_EQ(table.Delimiter(), ',');
    EXPECT_EQ(Dump(table), (Rows{{"a", "b", "c"}, {"1", "2", "3"}}));
}

TEST(SurveyDetection, UnsettledFileIsSplitAtTheHeadingsCommonestCandidate)
{
    EXPECT_EQ(FallbackDelimiter("a;b;c,d", std::nullopt), ';');
    EXPECT_EQ(FallbackDelimiter("a;b,c", '|'), ','); // a tie keeps the earlier candidate
    EXPECT_EQ(FallbackDelimiter("a;;b,,c|d", std::nullopt), '|'); // doubled ones count for nothing
    EXPECT_EQ(FallbackDelimiter("abc", '#'), '#');
    EXPECT_EQ(FallbackDelimiter("", std::nullopt), ',');

    SurveyTable table;
    // The counts differ for every candidate: split at the heading's ",", nothing settled.
    table.LoadFromBytes("a,b,c;x\n1;2;y\n");
    EXPECT_FALSE(table.Delimiter());
    EXPECT_EQ(Dump(table), (Rows{{"a", "b", "c;x"}, {"1;2;y"}}));
    // A single line never settles a delimiter, and is split at what it holds most.
    table.Clear();
    table.LoadFromBytes("a;b;c\n");
    EXPECT_FALSE(table.Delimiter());
    EXPECT_EQ(Dump(table), (Rows{{"a", "b", "c"}}));
    // Once ";" is settled, a file whose heading holds no candidate is split at ";"; one whose
    // heading holds "," is split at "," and leaves ";" settled.
    table.Clear();
    table.LoadFromBytes("a;b;c;d\n1;2;3;4\n");
    table.Clear();
    table.LoadFromBytes("xyz\n1;2,3\n");
    EXPECT_EQ(table.Delimiter(), ';');
    EXPECT_EQ(Dump(table), (Rows{{"xyz"}, {"1", "2,3"}}));
    table.Clear();
    table.LoadFromBytes("x;y,z,w\n1,2,3,4\n");
    EXPECT_EQ(table.Delimiter(), ';');
    EXPECT_EQ(Dump(table), (Rows{{"x;y", "z", "w"}, {"1", "2", "3", "4"}}));
}

TEST(SurveyDetection, SemicolonFileWithEmptyFirstFieldsLoadsWhateverCameBefore)
{
    // A hand-held unit logs readings before its GPS has a fix: the first data line agrees with
    // the heading on no candidate.
    const std::string noFixFirst = "Label;Field;Time;NS;Lat;EW;Lon\n"
                                   "1;52395.02;;?;;;\n"
                                   "2;52396.11;12:00:01;N;5645.0993;E;03712.1697\n";
    const Rows expected{{"Label", "Field", "Time", "NS", "Lat", "EW", "Lon"},
                        {"1", "52395.02", "", "?", "", ""},
                        {"2", "52396.11", "12:00:01", "N", "5645.0993", "E", "03712.1697"}};
    for (const char* before : {"", "a,b,c\n1,2,3\n", "a|b|c\n1|2|3\n", "a;b\n1;2\n"}) {
        SurveyTable table;
        table.LoadFromBytes(before);
        const std::optional<char> settled = table.Delimiter();
        table.Clear();
        table.LoadFromBytes(noFixFirst);
        EXPECT_EQ(Dump(table), expected) << "after " << before;
        EXPECT_EQ(table.ColumnCount(), 7) << "after " << before;
        EXPECT_EQ(table.Cell(2, 6), "03712.1697");
        EXPECT_EQ(table.Delimiter(), settled) << "after " << before;
    }
}

} // namespace
} // namespace qm::test
