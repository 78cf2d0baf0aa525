// The table's memory is bounded by what it holds: a million-row file costs a small multiple of its
// size, and loading a small file after it gives that memory back.
#include "survey_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

class TableMemory : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::random_device random;
        dir_ = new fs::path(fs::temp_directory_path() / ("qm-memory-" + std::to_string(random())));
        fs::create_directories(*dir_);
        std::ofstream big(*dir_ / "million.csv", std::ios::binary);
        big << "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n";
        std::string block;
        for (int i = 0; i < 1000000; ++i) {
            block += "L01-" + std::to_string(i) + "," + std::to_string(49000 + i % 2000) +
                     ".25,10:12:00,N,5645.0101,E,03712.0093\r\n";
            if (block.size() > (1u << 20)) {
                big << block;
                block.clear();
            }
        }
        big << block;
        std::ofstream(*dir_ / "small.csv", std::ios::binary)
            << "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n"
               "L02-0001,51232.05,10:12:00,N,5645.0101,E,03712.0093\r\n";
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        fs::remove_all(*dir_, ec);
        delete dir_;
    }
    static fs::path Big() { return *dir_ / "million.csv"; }
    static fs::path Small() { return *dir_ / "small.csv"; }

    static fs::path* dir_;
};

fs::path* TableMemory::dir_ = nullptr;

TEST_F(TableMemory, MillionRowsCostASmallMultipleOfTheFile)
{
    qm::SurveyTable table;
    table.LoadFromCsv(Big());
    ASSERT_EQ(table.RowCount(), 1000001);
    const auto fileBytes = fs::file_size(Big());
    EXPECT_LE(table.MemoryUsage(), 2 * fileBytes);
    EXPECT_GE(table.MemoryUsage(), fileBytes / 2);
}

TEST_F(TableMemory, SmallFileAfterABigOneGivesTheMemoryBack)
{
    qm::SurveyTable table;
    table.LoadFromCsv(Big());
    const std::size_t big = table.MemoryUsage();
    table.Clear();
    table.LoadFromCsv(Small());
    ASSERT_EQ(table.RowCount(), 2);
    EXPECT_LT(table.MemoryUsage(), 64u * 1024u);
    EXPECT_LT(table.MemoryUsage(), big / 1000);
}

TEST_F(TableMemory, ReloadingTheSameFileDoesNotGrow)
{
    qm::SurveyTable table;
    table.LoadFromCsv(Big());
    const std::size_t first = table.MemoryUsage();
    for (int k = 0; k < 3; ++k) {
        table.Clear();
        table.LoadFromCsv(Big());
    }
    EXPECT_LE(table.MemoryUsage(), first + first / 10);
}

} // namespace
