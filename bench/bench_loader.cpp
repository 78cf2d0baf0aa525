// Loading speed and memory of the survey table against a plain tokenizer of the same bytes.
//
// Survey files of 100k and 1M rows (7 fields, about 64 bytes a row, fixes of six minute decimals)
// are written to a temporary directory. The plain tokenizer reads the whole file into one buffer
// and records the offset of every field, splitting at line feeds and commas with memchr: the floor
// a loader can reach.
// Targets: loading within 2x the tokenizer's time, the table within 2x the file's size.
#include "survey_table.h"
#include "resident.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The generated files, made on first use and removed when the run ends.
class SurveyFiles {
public:
    ~SurveyFiles()
    {
        std::error_code ec;
        if (!dir_.empty())
            fs::remove_all(dir_, ec);
    }

    const fs::path& Get(int rows)
    {
        auto it = files_.find(rows);
        if (it != files_.end())
            return it->second;
        if (dir_.empty()) {
            dir_ = fs::temp_directory_path() / ("qm-bench-loader-" + std::to_string(std::random_device{}()));
            fs::create_directories(dir_);
        }
        const fs::path path = dir_ / ("survey_" + std::to_string(rows) + ".csv");
        Write(path, rows);
        return files_.emplace(rows, path).first->second;
    }

private:
    static void Write(const fs::path& path, int rows)
    {
        std::mt19937 random(12345);
        std::normal_distribution<double> noise(0.0, 0.6);
        std::string out = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
        out.reserve(static_cast<std::size_t>(rows) * 64);
        char line[128];
        double lat = 45.0;  // minutes past 56 degrees
        double lon = 12.0;  // minutes past 37 degrees
        for (int r = 0; r < rows; ++r) {
            const int seconds = 10 * 3600 + r / 2;
            const double field = 50234.0 + 15.0 * std::sin(r / 900.0) + noise(random);
            lat += 0.00002;
            lon += (r / 2000) % 2 ? -0.00004 : 0.00004;
            std::snprintf(line, sizeof line, "L%03d-%06d,%.2f,%02d:%02d:%02d,N,56%09.6f,E,037%09.6f\r\n",
                          r / 2000, r % 1000000, field, seconds / 3600 % 24, seconds / 60 % 60, seconds % 60,
                          lat, lon);
            out += line;
        }
        std::ofstream(path, std::ios::binary).write(out.data(), static_cast<std::streamsize>(out.size()));
    }

    fs::path dir_;
    std::map<int, fs::path> files_;
};

SurveyFiles& Files()
{
    static SurveyFiles files;
    return files;
}

using qm::bench::ResidentBytes;

// The plain tokenizer: whole file into one buffer, one offset per field.
std::size_t Tokenize(const fs::path& path)
{
    const std::uintmax_t size = fs::file_size(path);
    std::unique_ptr<char[]> buffer(new char[size]);
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (!file)
        return 0;
    std::setvbuf(file, nullptr, _IONBF, 0);
    const std::size_t got = std::fread(buffer.get(), 1, size, file);
    std::fclose(file);

    std::vector<std::size_t> fieldStarts;
    const char* data = buffer.get();
    std::size_t pos = 0;
    while (pos < got) {
        const void* lf = std::memchr(data + pos, '\n', got - pos);
        const std::size_t lineEnd = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) : got;
        fieldStarts.push_back(pos);
        for (;;) {
            const void* comma = std::memchr(data + pos, ',', lineEnd - pos);
            if (!comma)
                break;
            pos = static_cast<std::size_t>(static_cast<const char*>(comma) - data) + 1;
            fieldStarts.push_back(pos);
        }
        pos = lineEnd + 1;
    }
    benchmark::DoNotOptimize(fieldStarts.data());
    return fieldStarts.size();
}

void BM_LoadFromCsv(benchmark::State& state)
{
    const fs::path& path = Files().Get(static_cast<int>(state.range(0)));
    const double fileBytes = static_cast<double>(fs::file_size(path));
    qm::SurveyTable table;
    for (auto _ : state) {
        table.Clear();
        table.LoadFromCsv(path);
        benchmark::DoNotOptimize(table.RowCount());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fileBytes));
    state.counters["rows"] = table.RowCount();
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["table_mem_x"] = static_cast<double>(table.MemoryUsage()) / fileBytes;
}

// One load into a fresh table, run before any other load so that the allocator has no freed
// table memory to hand back: the growth of the resident size is then the table's real cost.
void BM_FirstLoadMemory(benchmark::State& state)
{
    const fs::path& path = Files().Get(static_cast<int>(state.range(0)));
    const double fileBytes = static_cast<double>(fs::file_size(path));
    double tableBytes = 0;
    double residentGrowth = 0;
    for (auto _ : state) {
        qm::SurveyTable table;
        const std::uint64_t before = ResidentBytes();
        table.LoadFromCsv(path);
        const std::uint64_t after = ResidentBytes();
        residentGrowth = after > before ? static_cast<double>(after - before) : 0.0;
        tableBytes = static_cast<double>(table.MemoryUsage());
    }
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["table_mem_x"] = tableBytes / fileBytes;
    state.counters["rss_growth_x"] = residentGrowth / fileBytes;
}

void BM_PlainTokenizer(benchmark::State& state)
{
    const fs::path& path = Files().Get(static_cast<int>(state.range(0)));
    std::size_t fields = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(fields = Tokenize(path));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(fs::file_size(path)));
    state.counters["fields"] = static_cast<double>(fields);
}

// Both in turn on the same file, so that the ratio compares like with like.
void BM_LoaderToTokenizerRatio(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const fs::path& path = Files().Get(static_cast<int>(state.range(0)));
    qm::SurveyTable table;
    double loaderSeconds = 0;
    double tokenizerSeconds = 0;
    std::clock_t loaderCpu = 0; // processor time too: wall time suffers on a shared machine
    std::clock_t tokenizerCpu = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        table.Clear();
        table.LoadFromCsv(path);
        const auto t1 = Clock::now();
        const std::clock_t c1 = std::clock();
        benchmark::DoNotOptimize(Tokenize(path));
        const auto t2 = Clock::now();
        const std::clock_t c2 = std::clock();
        const double loader = std::chrono::duration<double>(t1 - t0).count();
        loaderSeconds += loader;
        tokenizerSeconds += std::chrono::duration<double>(t2 - t1).count();
        loaderCpu += c1 - c0;
        tokenizerCpu += c2 - c1;
        state.SetIterationTime(loader);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["loader_ms"] = loaderSeconds / n * 1e3;
    state.counters["tokenizer_ms"] = tokenizerSeconds / n * 1e3;
    state.counters["ratio"] = loaderSeconds / tokenizerSeconds;
    state.counters["cpu_ratio"] = static_cast<double>(loaderCpu) / static_cast<double>(tokenizerCpu);
}

} // namespace

BENCHMARK(BM_FirstLoadMemory)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadFromCsv)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTokenizer)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoaderToTokenizerRatio)->Arg(100'000)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
