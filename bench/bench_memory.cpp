// Memory of the table over a big and then a small file: the table's own count and the process's
// resident size before, at the big file, and after the small one. The resident size falls back
// when the table returns its buffers (they are large enough to go straight back to the system).
#include "survey_table.h"
#include "resident.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

using qm::bench::ResidentBytes;

struct Files {
    fs::path dir;
    fs::path big;
    fs::path small;

    Files()
    {
        std::random_device random;
        dir = fs::temp_directory_path() / ("qm-bench-memory-" + std::to_string(random()));
        fs::create_directories(dir);
        big = dir / "million.csv";
        small = dir / "small.csv";
        std::ofstream out(big, std::ios::binary);
        out << "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n";
        std::string block;
        for (int i = 0; i < 1000000; ++i) {
            block += "L01-" + std::to_string(i) + "," + std::to_string(49000 + i % 2000) +
                     ".25,10:12:00,N,5645.010123,E,03712.009345\r\n";
            if (block.size() > (1u << 20)) {
                out << block;
                block.clear();
            }
        }
        out << block;
        std::ofstream(small, std::ios::binary) << "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n"
                                                  "L02-0001,51232.05,10:12:00,N,5645.010123,E,03712.009345\r\n";
    }
    ~Files()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

void BM_BigThenSmallFile(benchmark::State& state)
{
    static const Files files;
    const double mb = 1e6;
    double baseline = 0, atBig = 0, afterSmall = 0, tableBig = 0, tableSmall = 0;
    for (auto _ : state) {
        baseline = static_cast<double>(ResidentBytes());
        qm::SurveyTable table;
        table.LoadFromCsv(files.big);
        atBig = static_cast<double>(ResidentBytes());
        tableBig = static_cast<double>(table.MemoryUsage());
        table.Clear();
        table.LoadFromCsv(files.small);
        afterSmall = static_cast<double>(ResidentBytes());
        tableSmall = static_cast<double>(table.MemoryUsage());
        benchmark::DoNotOptimize(table.RowCount());
    }
    state.counters["file_MB"] = static_cast<double>(fs::file_size(files.big)) / mb;
    state.counters["table_big_MB"] = tableBig / mb;
    state.counters["table_small_KB"] = tableSmall / 1e3;
    state.counters["rss_base_MB"] = baseline / mb;
    state.counters["rss_big_MB"] = atBig / mb;
    state.counters["rss_after_small_MB"] = afterSmall / mb;
}
BENCHMARK(BM_BigThenSmallFile)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
