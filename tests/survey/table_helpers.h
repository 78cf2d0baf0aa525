// Helpers shared by the survey table tests: a scratch directory and a plain dump of a table.
#pragma once

#include "survey_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qm::test {

using Rows = std::vector<std::vector<std::string>>;

// Every row as its caption followed by its cells.
inline Rows Dump(const SurveyTable& table)
{
    Rows rows;
    for (int r = 0; r < table.RowCount(); ++r) {
        std::vector<std::string> row{std::string(table.RowCaption(r))};
        for (int c = 1; c <= table.CellCount(r); ++c)
            row.emplace_back(table.Cell(r, c));
        rows.push_back(std::move(row));
    }
    return rows;
}

inline Rows Load(std::string_view bytes)
{
    SurveyTable table;
    table.LoadFromBytes(bytes);
    return Dump(table);
}

// A fresh directory under the system's temporary directory, removed with the fixture.
class ScratchDir : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir_ = std::filesystem::temp_directory_path() / ("qm-survey-" + std::to_string(seed()) + "-" +
                                                         std::to_string(seed()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(dir_, ec);
    }
    std::filesystem::path Write(const std::string& name, std::string_view bytes)
    {
        const std::filesystem::path path = dir_ / name;
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    std::filesystem::path dir_;
};

} // namespace qm::test
