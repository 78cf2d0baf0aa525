// Running out of memory in the middle of a load: the rows read before stay whole and readable.
// The test binary's allocation functions can be told to fail for large requests.
#include "survey_table.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

namespace {
std::atomic<std::size_t> g_failFrom{0}; // 0: never fail

void* Allocate(std::size_t n)
{
    const std::size_t limit = g_failFrom.load();
    if (limit != 0 && n >= limit)
        throw std::bad_alloc();
    if (void* p = std::malloc(n != 0 ? n : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t n)
{
    return Allocate(n);
}
void* operator new[](std::size_t n)
{
    return Allocate(n);
}
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete[](void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

TEST(SurveyMemory, RunningOutOnALongLineKeepsTheRowsBeforeIt)
{
    const std::string bytes = "h,v\n1,2\n" + std::string(16u << 20, 'x') + "\n3,4\n";
    qm::SurveyTable table;
    g_failFrom = 8u << 20;
    EXPECT_THROW(table.LoadFromBytes(bytes), std::bad_alloc);
    g_failFrom = 0;
    ASSERT_EQ(table.RowCount(), 2);
    for (int r = 0; r < table.RowCount(); ++r) {
        EXPECT_EQ(table.CellCount(r), 1);
        EXPECT_EQ(table.Cell(r, 1).size(), 1u);
    }
    EXPECT_EQ(table.RowCaption(1), "1");

    table.Clear();
    table.LoadFromBytes(bytes);
    EXPECT_EQ(table.RowCount(), 4);
    EXPECT_EQ(table.RowCaption(2).size(), 16u << 20);
}
