// A scratch directory for the site tests, removed with the fixture.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

namespace qm::test {

class SiteScratch : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        dir_ = std::filesystem::temp_directory_path() / ("qm-site-" + std::to_string(seed()) + "-" +
                                                         std::to_string(seed()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string Write(const std::string& name, std::string_view bytes)
    {
        const std::filesystem::path path = dir_ / name;
        std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    static std::string Read(const std::filesystem::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir_;
};

} // namespace qm::test
