// The display rule for 8-bit text and the error box's full stop, shared by the viewer and the tool.
#include "text8.h"

#include <gtest/gtest.h>

TEST(Text8, ValidUtf8StaysAndAnythingElseIsShownByteForByte)
{
    EXPECT_EQ(qm::DisplayText("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(qm::DisplayText("56\xB0"), "56\xC2\xB0");
    // Overlong forms, surrogates, values past U+10FFFF and cut sequences are no UTF-8.
    for (const char* bytes : {"\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE2\x82", "\xF8\x88\x80\x80\x80"})
        EXPECT_FALSE(qm::IsValidUtf8(bytes)) << bytes;
    EXPECT_TRUE(qm::IsValidUtf8("\xF4\x8F\xBF\xBF"));
    EXPECT_EQ(qm::BytesToUtf8(std::string_view("\x00\x7F\x80\xFF", 4)), std::string_view("\x00\x7F\xC2\x80\xC3\xBF", 6));
}

TEST(Text8, FullStopOnlyAfterCharactersSortingAfterIt)
{
    EXPECT_EQ(qm::BoxText("File cannot be opened"), "File cannot be opened.");
    EXPECT_EQ(qm::BoxText("List index out of bounds (6)"), "List index out of bounds (6)");
    EXPECT_EQ(qm::BoxText("x/"), "x/.");
    EXPECT_EQ(qm::BoxText("done."), "done.");
    EXPECT_EQ(qm::BoxText(""), "");
    EXPECT_EQ(qm::BoxText("56\xB0"), "56\xB0.");
    EXPECT_FALSE(qm::TakesFullStop(U'-'));
    EXPECT_TRUE(qm::TakesFullStop(U'\u00E9'));
}
