// The generated site the site benchmarks share: QM_BENCH_FILES survey files (100 by default) of
// 10,000 readings (7 fields, about 65 bytes a row), lines walked side by side, written to a
// temporary directory on first use. Fixes carry six minute decimals, as many receivers write them;
// the same readings with four decimals are at hand for comparison.
#pragma once

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

namespace qm::bench {

namespace fs = std::filesystem;

constexpr int kRows = 10'000;

// The count of survey files: QM_BENCH_FILES when it holds a whole number from 1 to 100,000,
// else 100. At 1000 a site holds 10M readings.
inline int BenchFiles()
{
    constexpr int kDefault = 100;
    const char* text = std::getenv("QM_BENCH_FILES");
    if (text == nullptr || *text == '\0')
        return kDefault;
    char* end = nullptr;
    errno = 0;
    const long count = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || count < 1 || count > 100'000) {
        std::fprintf(stderr, "QM_BENCH_FILES=%s is not a count of files from 1 to 100000; using %d\n", text, kDefault);
        return kDefault;
    }
    return static_cast<int>(count);
}

// A GPS coordinate as a survey file holds it: whole degrees, then minutes to `decimals` places,
// "ddmm.mmmmmm" (`degreeDigits` 2) or "dddmm.mmmmmm" (3).
inline void AppendCoordinate(std::string& out, double degrees, double minutes, int degreeDigits, int decimals)
{
    char text[40];
    std::snprintf(text, sizeof text, "%0*d%0*.*f", degreeDigits, static_cast<int>(degrees), decimals + 3, decimals,
                  minutes);
    out += text;
}

// The generated site, made on first use and removed when the run ends.
class Site {
public:
    // `decimals`: the minute decimals of every fix.
    explicit Site(int decimals) : decimals_(decimals) {}
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;
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
        dir_ = fs::temp_directory_path() / ("qm-bench-site-" + std::to_string(decimals_) + "-" +
                                            std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        const int files = BenchFiles();
        for (int f = 0; f < files; ++f) {
            const fs::path path = dir_ / ("line_" + std::to_string(f) + ".csv");
            const std::string out = Line(f);
            std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
            files_.push_back(path.string());
        }
        return files_;
    }

    // The same files as paths, as the site core takes them.
    const std::vector<fs::path>& Paths()
    {
        if (paths_.empty())
            for (const std::string& file : Files())
                paths_.emplace_back(file);
        return paths_;
    }

    const fs::path& Dir() const { return dir_; }

private:
    // Line `f`: walked north or south, a metre or so from the one before, about 0.37 m between
    // readings, five readings a second; the receiver's fix wanders a few centimetres across the line.
    // The same readings and fixes for any count of decimals.
    std::string Line(int f) const
    {
        std::mt19937 random(12345u + static_cast<unsigned>(f));
        std::normal_distribution<double> noise(0.0, 0.6);
        std::normal_distribution<double> wander(0.0, 0.00002);
        std::string out = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
        out.reserve(static_cast<std::size_t>(kRows) * 72);
        char line[96];
        const double lon = 12.0 + (f % 10'000) * 0.0007; // minutes past 37 degrees
        double lat = 45.0;                                // minutes past 56 degrees
        for (int r = 0; r < kRows; ++r) {
            const int seconds = 10 * 3600 + r / 5;
            const double field = 50234.0 + 15.0 * std::sin((r + f * 37) / 900.0) + noise(random);
            lat += (f % 2 ? -1 : 1) * 0.0002;
            std::snprintf(line, sizeof line, "L%03d-%06d,%.2f,%02d:%02d:%02d,N,", f, r, field, seconds / 3600 % 24,
                          seconds / 60 % 60, seconds % 60);
            out += line;
            AppendCoordinate(out, 56, lat, 2, decimals_);
            out += ",E,";
            AppendCoordinate(out, 37, lon + wander(random), 3, decimals_);
            out += "\r\n";
        }
        return out;
    }

    int decimals_;
    fs::path dir_;
    std::vector<std::string> files_;
    std::vector<fs::path> paths_;
};

// The site with six minute decimals.
inline Site& TheSite()
{
    static Site site(6);
    return site;
}

// The same readings with four minute decimals.
inline Site& TheFourDecimalSite()
{
    static Site site(4);
    return site;
}

} // namespace qm::bench
