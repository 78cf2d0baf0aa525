// Gridding a big site: 10,000 readings on each of QM_BENCH_FILES lines (100 by default: 1M
// readings; 1 m apart, 0.1 m along, fixes of six minute decimals), 0.25 m cells, linear with a
// 2 m radius, against GDAL's own gdal_grid on the same points already projected
// and the same grid: the gridding alone, and the whole run from the survey files (one a line).
// Also the memory beyond the input, and beyond the start for the run from the files.
// BM_WholeProcessGrid times the built `quarlomet grid` from the survey files against `gdal_grid`
// on the projected points, each as a whole process writing a GeoTIFF of the same grid;
// BM_WholeProcessGridMemory the tool's peak memory alone.
#include "errors.h"
#include "grid.h"
#include "placed_readings.h"
#include "resident.h"
#include "survey_site.h"

#include <benchmark/benchmark.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifdef __unix__
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;
#endif

namespace {

namespace fs = std::filesystem;

constexpr int kAlong = 10000;

// Peak resident size since the last reset (Linux only; 0 elsewhere).
std::uint64_t PeakBytes()
{
#ifdef __linux__
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            std::uint64_t kb = 0;
            status >> kb;
            return kb * 1024;
        }
        status.ignore(1 << 10, '\n');
    }
#endif
    return 0;
}

// Processor seconds of the processes this one started and waited for (Unix only).
double ChildrenSeconds()
{
#ifdef __unix__
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#else
    return 0;
#endif
}

void ResetPeak()
{
#ifdef __linux__
    std::ofstream("/proc/self/clear_refs") << "5";
#endif
}

struct Site {
    std::vector<double> lon, lat, value;
    std::vector<std::string> files;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    fs::path dir;

    Site()
    {
        std::random_device random;
        dir = fs::temp_directory_path() / ("qm-bench-grid-" + std::to_string(random()));
        fs::create_directories(dir);
        const int lines = qm::bench::BenchFiles();
        std::vector<double> x, y;
        std::mt19937 noise(7);
        std::normal_distribution<double> jitter(0, 0.02);
        for (int line = 0; line < lines; ++line)
            for (int i = 0; i < kAlong; ++i) {
                const double along = line % 2 ? (kAlong - 1 - i) * 0.1 : i * 0.1;
                x.push_back(420000 + line * 1.0 + jitter(noise));
                y.push_back(6290000 + along);
                value.push_back(50000 + 30 * std::sin(x.back() / 7.0) * std::cos(y.back() / 11.0) + jitter(noise));
            }
        // The points projected, for gdal_grid, as CSV described by a VRT.
        std::ofstream csv(dir / "points.csv");
        csv << "x,y,z\n";
        char row[128];
        for (std::size_t i = 0; i < x.size(); ++i) {
            std::snprintf(row, sizeof row, "%.3f,%.3f,%.3f\n", x[i], y[i], value[i]);
            csv << row;
        }
        std::ofstream(dir / "points.vrt")
            << "<OGRVRTDataSource><OGRVRTLayer name=\"points\"><SrcDataSource>" << (dir / "points.csv").string()
            << "</SrcDataSource><SrcLayer>points</SrcLayer><GeometryType>wkbPoint</GeometryType>"
               "<LayerSRS>EPSG:32637</LayerSRS><GeometryField encoding=\"PointFromColumns\" x=\"x\" y=\"y\" z=\"z\"/>"
               "</OGRVRTLayer></OGRVRTDataSource>\n";
        OGRSpatialReference utm, wgs84;
        utm.importFromEPSG(32637);
        wgs84.importFromEPSG(4326);
        utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> toWgs(OGRCreateCoordinateTransformation(&utm, &wgs84));
        lon = x;
        lat = y;
        toWgs->Transform(static_cast<int>(lon.size()), lon.data(), lat.data());

        // The same readings as the magnetometer writes them, degrees and minutes, one file a line.
        for (int line = 0; line < lines; ++line) {
            std::string name = std::to_string(100 + line);
            name.insert(0, 1, 'L');
            name += ".csv";
            files.push_back((dir / name).string());
            std::ofstream out(files.back(), std::ios::binary);
            out << "Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n";
            std::string text;
            for (int i = 0; i < kAlong; ++i) {
                const std::size_t k = static_cast<std::size_t>(line) * kAlong + i;
                const double latDeg = std::floor(lat[k]), lonDeg = std::floor(lon[k]);
                std::snprintf(row, sizeof row, "L%03d-%05d,%.2f,10:12:00,N,%02d%09.6f,E,%03d%09.6f\r\n", line, i,
                              value[k], static_cast<int>(latDeg), (lat[k] - latDeg) * 60, static_cast<int>(lonDeg),
                              (lon[k] - lonDeg) * 60);
                text += row;
            }
            out << text;
        }
    }
    ~Site()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

const Site& TheSite()
{
    static const Site site;
    return site;
}

qm::site::GridResult lastGrid;

void BM_GridLinear(benchmark::State& state)
{
    const Site& site = TheSite();
    qm::site::GridRequest request;
    request.cellSize = 0.25;
    request.radius = 2;
    double baseline = 0, peak = 0;
    for (auto _ : state) {
        lastGrid = {};
        baseline = static_cast<double>(qm::bench::ResidentBytes());
        ResetPeak();
        try {
            lastGrid = qm::site::ComputeGrid(site.lon, site.lat, site.value, request);
        } catch (const qm::Error& e) {
            state.SkipWithError(e.what());
        }
        peak = static_cast<double>(PeakBytes());
    }
    const double gridBytes = static_cast<double>(lastGrid.values.size()) * sizeof(float);
    state.counters["cells_M"] = static_cast<double>(lastGrid.values.size()) / 1e6;
    state.counters["grid_MB"] = gridBytes / 1e6;
    state.counters["peak_over_input_MB"] = (peak - baseline) / 1e6;
    state.counters["budget_MB"] = (gridBytes + 64.0 * static_cast<double>(site.value.size())) / 1e6;
    state.counters["input_MB"] = 24.0 * static_cast<double>(site.value.size()) / 1e6;
}
BENCHMARK(BM_GridLinear)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

// gdal_grid as a process on the same grid: the origin, extent and size of ours.
void BM_GdalGridLinear(benchmark::State& state)
{
    const Site& site = TheSite();
    const auto& g = lastGrid;
    if (g.values.empty()) {
        state.SkipWithError("run BM_GridLinear first");
        return;
    }
    char command[1024];
    std::snprintf(command, sizeof command,
                  "gdal_grid -q -a linear:radius=2:nodata=-9999 -ot Float32 -txe %.6f %.6f -tye %.6f %.6f "
                  "-outsize %d %d -l points \"%s\" \"%s\"",
                  g.originX, g.originX + g.width * g.cellSize, g.originY, g.originY - g.height * g.cellSize, g.width,
                  g.height, (site.dir / "points.vrt").string().c_str(), (site.dir / "gdal.tif").string().c_str());
    const double before = ChildrenSeconds();
    for (auto _ : state) {
        if (std::system(command) != 0)
            state.SkipWithError("gdal_grid failed");
    }
    state.counters["gdal_grid_cpu_s"] = ChildrenSeconds() - before;
}
BENCHMARK(BM_GdalGridLinear)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The whole run of the tool: gathering the readings of the files, then gridding them.
void BM_GridFromFiles(benchmark::State& state)
{
    const Site& site = TheSite();
    qm::site::GridRequest request;
    request.cellSize = 0.25;
    request.radius = 2;
    double baseline = 0, peak = 0, readings = 0, cells = 0;
    const std::vector<fs::path> files(site.files.begin(), site.files.end());
    for (auto _ : state) {
        baseline = static_cast<double>(qm::bench::ResidentBytes());
        ResetPeak();
        const qm::site::PlacedReadings placed = qm::site::GatherReadings(files);
        qm::site::GridResult grid;
        try {
            grid = qm::site::ComputeGrid(placed, request);
        } catch (const qm::Error& e) {
            state.SkipWithError(e.what());
        }
        peak = static_cast<double>(PeakBytes());
        readings = static_cast<double>(placed.size());
        cells = static_cast<double>(grid.values.size());
    }
    state.counters["readings_M"] = readings / 1e6;
    state.counters["peak_over_start_MB"] = (peak - baseline) / 1e6;
    state.counters["budget_MB"] = (cells * sizeof(float) + 64.0 * readings) / 1e6;
}
BENCHMARK(BM_GridFromFiles)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime()->MeasureProcessCPUTime();

// One program run as a whole process, with what the system counted for it alone.
struct ProcessRun {
    bool ok = false;
    double wallSeconds = 0;
    double cpuSeconds = 0; // user and system, all threads
    double peakMB = 0;     // largest resident size
};

// Runs `args` (found on PATH) with standard output going to `out`.
ProcessRun RunProcess(const std::vector<std::string>& args, const fs::path& out)
{
    ProcessRun run;
#ifdef __unix__
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.peakMB = static_cast<double>(usage.ru_maxrss) * 1024 / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
#else
    (void)args;
    (void)out;
#endif
    return run;
}

// The tool from the survey files, then gdal_grid on the projected points for exactly the
// grid the tool wrote (its origin, cell and size read back from its GeoTIFF). Both write a
// Float32 GeoTIFF and use GDAL's threads as GDAL_NUM_THREADS says (all processors by default).
void BM_WholeProcessGrid(benchmark::State& state)
{
    const Site& site = TheSite();
    std::vector<std::string> tool{QM_QUARLOMET_EXE, "grid", "--cell", "0.25", "--radius", "2", "--method", "linear",
                                  "-o", (site.dir / "tool.tif").string()};
    tool.insert(tool.end(), site.files.begin(), site.files.end());
    ProcessRun ours, theirs;
    for (auto _ : state) {
        ours = RunProcess(tool, site.dir / "tool.txt");
        if (!ours.ok) {
            state.SkipWithError("quarlomet grid failed");
            return;
        }
        GDALAllRegister();
        double geo[6] = {};
        int width = 0, height = 0;
        {
            const GDALDatasetUniquePtr written(
                GDALDataset::Open((site.dir / "tool.tif").string().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
            if (!written || written->GetGeoTransform(geo) != CE_None) {
                state.SkipWithError("cannot read the tool's grid");
                return;
            }
            width = written->GetRasterXSize();
            height = written->GetRasterYSize();
        }
        const auto number = [](double value) {
            char text[32];
            std::snprintf(text, sizeof text, "%.6f", value);
            return std::string(text);
        };
        theirs = RunProcess({"gdal_grid", "-q", "-a", "linear:radius=2:nodata=-9999", "-ot", "Float32", "-txe",
                             number(geo[0]), number(geo[0] + width * geo[1]), "-tye", number(geo[3]),
                             number(geo[3] + height * geo[5]), "-outsize", std::to_string(width),
                             std::to_string(height), "-l", "points", (site.dir / "points.vrt").string(),
                             (site.dir / "gdal.tif").string()},
                            site.dir / "gdal.txt");
        if (!theirs.ok) {
            state.SkipWithError("gdal_grid failed");
            return;
        }
        state.counters["cells_M"] = static_cast<double>(width) * height / 1e6;
        // The same work: the share of cells empty in one grid only, and how far the values of
        // the others lie apart (the survey files hold the positions to 1e-6 minute, about 2 mm,
        // and the readings to 0.01 nT, so the tool's points are not exactly gdal_grid's).
        std::vector<float> a(static_cast<std::size_t>(width) * height), b(a.size());
        const auto read = [&](const fs::path& path, std::vector<float>& values) {
            const GDALDatasetUniquePtr grid(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
            return grid && grid->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, width, height, values.data(), width, height,
                                                            GDT_Float32, 0, 0) == CE_None;
        };
        if (read(site.dir / "tool.tif", a) && read(site.dir / "gdal.tif", b)) {
            std::size_t emptyInOne = 0;
            std::vector<float> apart;
            for (std::size_t i = 0; i < a.size(); ++i) {
                if ((a[i] == -9999.0f) != (b[i] == -9999.0f))
                    ++emptyInOne;
                else if (a[i] != -9999.0f)
                    apart.push_back(std::abs(a[i] - b[i]));
            }
            state.counters["cells_empty_in_one_pct"] = 100.0 * static_cast<double>(emptyInOne) / static_cast<double>(a.size());
            if (!apart.empty()) {
                std::sort(apart.begin(), apart.end());
                state.counters["apart_median_nT"] = apart[apart.size() / 2];
                state.counters["apart_p999_nT"] = apart[apart.size() * 999 / 1000];
                state.counters["apart_max_nT"] = apart.back();
            }
        }
    }
    state.counters["tool_wall_s"] = ours.wallSeconds;
    state.counters["tool_cpu_s"] = ours.cpuSeconds;
    state.counters["tool_peak_MB"] = ours.peakMB;
    state.counters["gdal_grid_wall_s"] = theirs.wallSeconds;
    state.counters["gdal_grid_cpu_s"] = theirs.cpuSeconds;
    state.counters["gdal_grid_peak_MB"] = theirs.peakMB;
}
BENCHMARK(BM_WholeProcessGrid)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

// The tool alone as a whole process, for its peak memory against the budget of 100 bytes a reading
// and 200 MB; the argument is the cell in centimetres. At QM_BENCH_FILES=1000 the grid of 25 cm
// cells holds just under 16M cells, held whole; that of 20 cm cells 25M, written in blocks.
void BM_WholeProcessGridMemory(benchmark::State& state)
{
    const Site& site = TheSite();
    const std::string cell = std::to_string(static_cast<double>(state.range(0)) / 100);
    std::vector<std::string> tool{QM_QUARLOMET_EXE, "grid", "--cell", cell, "--radius", "2", "--method", "linear",
                                  "-o", (site.dir / "memory.tif").string()};
    tool.insert(tool.end(), site.files.begin(), site.files.end());
    ProcessRun ours;
    for (auto _ : state) {
        ours = RunProcess(tool, site.dir / "memory.txt");
        if (!ours.ok) {
            state.SkipWithError("quarlomet grid failed");
            return;
        }
    }
    const double readings = static_cast<double>(site.value.size());
    // The tool's first line: "grid: W x H cells of ...".
    std::ifstream said(site.dir / "memory.txt");
    std::string word;
    double width = 0, height = 0;
    said >> word >> width >> word >> height;
    state.counters["cells_M"] = width * height / 1e6;
    state.counters["readings_M"] = readings / 1e6;
    state.counters["tool_wall_s"] = ours.wallSeconds;
    state.counters["tool_peak_MB"] = ours.peakMB;
    state.counters["budget_MB"] = (100.0 * readings) / 1e6 + 200.0;
}
BENCHMARK(BM_WholeProcessGridMemory)->Arg(25)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
