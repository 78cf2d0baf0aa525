// The generated site the site benchmarks share: 100 survey files of 10,000 readings (7 fields,
// about 60 bytes a row), lines walked side by side, written to a temporary directory on first use.
#pragma once

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace qm::bench {

namespace fs = std::filesystem;

constexpr int kFiles = 100;
constexpr int kRows = 10'000;

// The generated site, made on first use and removed when the run ends.
class Site {
public:
    ~Site()
    {
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    const std::vector<std::string>& Files()
    {
        if (!files_.empty())
            return files_;
        dir_ = fs::temp_directory_path() / ("qm-bench-site-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        std::mt19937 random(12345);
        std::normal_distribution<double> noise(0.0, 0.6);
        for (int f = 0; f < kFiles; ++f) {
            std::string out = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
            out.reserve(static_cast<std::size_t>(kRows) * 64);
            char line[128];
            // Lines walked side by side, a metre or so apart, about 0.3 m between readings.
            const double lon = 12.0 + f * 0.0007;
            double lat = 45.0;
            for (int r = 0; r < kRows; ++r) {
                const int seconds = 10 * 3600 + r / 5;
                const double field = 50234.0 + 15.0 * std::sin((r + f * 37) / 900.0) + noise(random);
                lat += (f % 2 ? -1 : 1) * 0.0002;
                std::snprintf(line, sizeof line, "L%03d-%06d,%.2f,%02d:%02d:%02d,N,56%07.4f,E,037%07.4f\r\n", f, r,
                              field, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60, lat, lon);
                out += line;
            }
            const fs::path path = dir_ / ("line_" + std::to_string(f) + ".csv");
            std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
            files_.push_back(path.string());
        }
        return files_;
    }

    const fs::path& Dir() const { return dir_; }

private:
    fs::path dir_;
    std::vector<std::string> files_;
};

inline Site& TheSite()
{
    static Site site;
    return site;
}

} // namespace qm::bench
