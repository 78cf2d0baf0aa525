// Speed and memory of gathering the placed readings of a site against the plain loads of its files.
//
// QM_BENCH_FILES survey files (100 by default) of 10,000 readings (7 fields, about 65 bytes a row,
// fixes of six minute decimals) are written to a temporary directory. Targets: gathering within 3x
// the loads alone (the site map's whole budget, drawing included), at most 32 bytes a placed
// reading, and the six-decimal fixes placed within 1.3x the time of the same with four decimals.
#include "colour_scale.h"
#include "dot_pyramid.h"
#include "placed_readings.h"
#include "readings_export.h"
#include "survey_site.h"
#include "survey_table.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

using qm::bench::TheFourDecimalSite;
using qm::bench::TheSite;

void PlainLoads(const std::vector<fs::path>& files)
{
    qm::SurveyTable table;
    for (const fs::path& file : files) {
        table.Clear();
        table.LoadFromCsv(file);
        benchmark::DoNotOptimize(table.RowCount());
    }
}

void BM_PlainLoads(benchmark::State& state)
{
    const std::vector<fs::path>& files = TheSite().Paths();
    for (auto _ : state)
        PlainLoads(files);
}

void BM_GatherReadings(benchmark::State& state)
{
    const std::vector<fs::path>& files = TheSite().Paths();
    qm::site::PlacedReadings placed;
    for (auto _ : state) {
        placed = qm::site::GatherReadings(files);
        benchmark::DoNotOptimize(placed.value.data());
    }
    state.counters["readings"] = static_cast<double>(placed.size());
    state.counters["bytes_per_reading"] =
        static_cast<double>(placed.MemoryUsage()) / static_cast<double>(std::max<std::size_t>(placed.size(), 1));
}

// Both in turn, so that the ratio compares like with like on a shared machine.
void BM_GatherToLoadsRatio(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const std::vector<fs::path>& files = TheSite().Paths();
    double gatherSeconds = 0;
    double loadSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        PlainLoads(files);
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(qm::site::GatherReadings(files).size());
        const auto t2 = Clock::now();
        loadSeconds += std::chrono::duration<double>(t1 - t0).count();
        gatherSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["loads_ms"] = loadSeconds / n * 1e3;
    state.counters["gather_ms"] = gatherSeconds / n * 1e3;
    state.counters["ratio"] = gatherSeconds / loadSeconds;
}

// The same readings with six and with four minute decimals, gathered in turn; the iteration time is
// the six-decimal gathering's.
void BM_SixToFourDecimalsRatio(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const std::vector<fs::path>& six = TheSite().Paths();
    const std::vector<fs::path>& four = TheFourDecimalSite().Paths();
    double sixSeconds = 0;
    double fourSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(qm::site::GatherReadings(four).size());
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(qm::site::GatherReadings(six).size());
        const auto t2 = Clock::now();
        fourSeconds += std::chrono::duration<double>(t1 - t0).count();
        sixSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["four_ms"] = fourSeconds / n * 1e3;
    state.counters["six_ms"] = sixSeconds / n * 1e3;
    state.counters["ratio"] = sixSeconds / fourSeconds;
}

// The viewer's way: the parts of a shared gathering on two threads, one from each end of the list,
// then the join.
void BM_SharedGathering(benchmark::State& state)
{
    const std::vector<fs::path>& files = TheSite().Paths();
    qm::site::PlacedReadings placed;
    for (auto _ : state) {
        placed = qm::site::GatherReadingsInParts(files, 2);
        benchmark::DoNotOptimize(placed.value.data());
    }
    state.counters["bytes_per_reading"] =
        static_cast<double>(placed.MemoryUsage()) / static_cast<double>(std::max<std::size_t>(placed.size(), 1));
}

void BM_DefaultScale(benchmark::State& state)
{
    const qm::site::PlacedReadings placed = qm::site::GatherReadings(TheSite().Paths());
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::site::DefaultScale(placed.value, qm::site::Palette::Diverging));
}

// The site map's pyramid of cells: built once for the readings, and its cells' readings found
// again for new values (on a thread of its own, after every edit of a recipe).
void BM_DotPyramid(benchmark::State& state)
{
    const qm::site::PlacedReadings placed = qm::site::GatherReadings(TheSite().Paths());
    const qm::site::WebMapFrame frame = qm::site::WebMapFrameOf(placed.lon, placed.lat);
    qm::site::DotPyramid pyramid;
    for (auto _ : state)
        pyramid = qm::site::BuildDotPyramid(frame, placed.lon, placed.lat);
    state.counters["cells"] = static_cast<double>(pyramid.Cells());
    state.counters["bytes_per_reading"] = static_cast<double>(pyramid.MemoryUsage()) / static_cast<double>(placed.size());
}

void BM_DotRepresentatives(benchmark::State& state)
{
    const qm::site::PlacedReadings placed = qm::site::GatherReadings(TheSite().Paths());
    const qm::site::DotPyramid pyramid =
        qm::site::BuildDotPyramid(qm::site::WebMapFrameOf(placed.lon, placed.lat), placed.lon, placed.lat);
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::site::DotRepresentatives(pyramid, placed.value, 50234.0));
}

void BM_ExportGeoJson(benchmark::State& state)
{
    const std::vector<fs::path>& files = TheSite().Paths();
    const fs::path out = TheSite().Dir() / "site.geojson";
    for (auto _ : state)
        benchmark::DoNotOptimize(qm::site::ExportReadings(files, out, qm::site::ExportFormat::GeoJson).written);
    state.counters["file_MB"] = static_cast<double>(fs::file_size(out)) / 1e6;
}

} // namespace

BENCHMARK(BM_PlainLoads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GatherReadings)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GatherToLoadsRatio)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SixToFourDecimalsRatio)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharedGathering)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DefaultScale)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DotPyramid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DotRepresentatives)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportGeoJson)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
