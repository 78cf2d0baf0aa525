// Speed of the matrix resampling: the viewer's own call (Hermite, width 1.0, 32-bit source onto the
// 796 x 484 display) for sources from 200 x 5 to 20000 x 50 readings, and, in the same run and on
// the same pixels, ImageMagick's Hermite resize and Pillow's bicubic resize where they are
// installed. ImageMagick is timed inside one process over ten copies of the image (-duplicate),
// with a run that only decodes subtracted; Pillow is timed inside Python. Both are limited to one
// thread, like the resampler. Set QM_BENCH_PYTHON to choose the Python that has Pillow.
// BM_WholeProcessResample times `quarlomet resample` and `convert` as whole processes on PPM files.
#include "resample.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kDisplayWidth = 796;
constexpr int kDisplayHeight = 484;

// A matrix-like raster: white column 0, then red or blue shades, one row per file.
qm::Bitmap MatrixSource(int width, int height)
{
    qm::Bitmap image(width, height, 4);
    std::mt19937 rng(static_cast<unsigned>(width * 31 + height));
    std::uniform_int_distribution<int> h(-127, 127);
    for (int y = 0; y < height; ++y) {
        for (int x = 1; x < width; ++x) {
            const int v = h(rng);
            image.SetPixel(x, y, v > 0 ? static_cast<std::uint32_t>(v + 127) << 16 : static_cast<std::uint32_t>(v + 127));
        }
    }
    return image;
}

void ResampleRun(benchmark::State& state, qm::detail::ResamplePath path)
{
    if (!qm::detail::ResamplePathAvailable(path)) {
        state.SkipWithError("path not available on this machine");
        return;
    }
    const qm::Bitmap original = MatrixSource(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        qm::Bitmap source = original;
        qm::Bitmap display(kDisplayWidth, kDisplayHeight, 4);
        state.ResumeTiming();
        qm::detail::ResampleImageWith(path, source, display, qm::HermiteKernel, 1.0f);
        benchmark::DoNotOptimize(display.data.data());
    }
}

// The viewer's call as it is made.
void BM_ResampleHermite(benchmark::State& state)
{
    const qm::Bitmap original = MatrixSource(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state) {
        state.PauseTiming();
        qm::Bitmap source = original;
        qm::Bitmap display(kDisplayWidth, kDisplayHeight, 4);
        state.ResumeTiming();
        qm::ResampleImage(source, display, qm::HermiteKernel, 1.0f);
        benchmark::DoNotOptimize(display.data.data());
    }
}

void BM_ResampleHermiteScalar(benchmark::State& state)
{
    ResampleRun(state, qm::detail::ResamplePath::Scalar);
}

void BM_ResampleHermiteSse2(benchmark::State& state)
{
    ResampleRun(state, qm::detail::ResamplePath::Sse2);
}

void BM_ResampleHermiteAvx2(benchmark::State& state)
{
    ResampleRun(state, qm::detail::ResamplePath::Avx2);
}

// ---- Other programs, run through the shell. ----

std::filesystem::path WorkDir()
{
    const auto dir = std::filesystem::temp_directory_path() / "qm_bench_resample";
    std::filesystem::create_directories(dir);
    return dir;
}

std::string Quote(const std::filesystem::path& path)
{
    std::string quoted = path.string();
    quoted.insert(0, 1, '"');
    quoted += '"';
    return quoted;
}

// Writes the source as binary PPM (red, green, blue order).
std::filesystem::path WritePpm(const qm::Bitmap& image)
{
    const auto path = WorkDir() / ("source_" + std::to_string(image.width) + "x" + std::to_string(image.height) + ".ppm");
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << image.width << " " << image.height << "\n255\n";
    std::vector<char> row(static_cast<std::size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            row[3 * static_cast<std::size_t>(x)] = static_cast<char>(p[2]);
            row[3 * static_cast<std::size_t>(x) + 1] = static_cast<char>(p[1]);
            row[3 * static_cast<std::size_t>(x) + 2] = static_cast<char>(p[0]);
        }
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return path;
}

std::string WithEnvironment(const std::string& name, const std::filesystem::path& value, const std::string& command)
{
#ifdef _WIN32
    return "set \"" + name + "=" + value.string() + "\" && " + command;
#else
    return name + "=" + Quote(value) + " " + command;
#endif
}

// Wall time of the best of `runs` runs of a shell command, or a negative value when it fails.
double BestSeconds(const std::string& command, int runs)
{
    double best = -1.0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const int rc = std::system(command.c_str());
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (rc != 0) {
            return -1.0;
        }
        best = best < 0.0 ? elapsed.count() : std::min(best, elapsed.count());
    }
    return best;
}

// A policy that lets ImageMagick read the 20000-pixel-wide source (Debian's stops at 16K).
std::filesystem::path MagickPolicyDir()
{
    const auto dir = WorkDir() / "magick";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "policy.xml") << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<policymap>\n"
                                         "  <policy domain=\"resource\" name=\"width\" value=\"64KP\"/>\n"
                                         "  <policy domain=\"resource\" name=\"height\" value=\"64KP\"/>\n"
                                         "  <policy domain=\"resource\" name=\"area\" value=\"1GP\"/>\n"
                                         "  <policy domain=\"resource\" name=\"memory\" value=\"2GiB\"/>\n"
                                         "  <policy domain=\"resource\" name=\"map\" value=\"4GiB\"/>\n"
                                         "</policymap>\n";
    return dir;
}

std::string NullDevice()
{
#ifdef _WIN32
    return " > NUL 2>&1";
#else
    return " > /dev/null 2>&1";
#endif
}

void BM_ImageMagickHermite(benchmark::State& state)
{
    if (std::system(("convert -version" + NullDevice()).c_str()) != 0) {
        state.SkipWithError("ImageMagick (convert) not installed");
        return;
    }
    constexpr int kCopies = 10;
    const auto source = WritePpm(MatrixSource(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    const std::string threads = state.range(2) == 1 ? " -limit thread 1" : "";
    const std::string common = "convert" + threads + " " + Quote(source) + " -duplicate " + std::to_string(kCopies - 1);
    const auto policy = MagickPolicyDir();
    const std::string base = WithEnvironment("MAGICK_CONFIGURE_PATH", policy, common + " null:" + NullDevice());
    const std::string resize = WithEnvironment(
        "MAGICK_CONFIGURE_PATH", policy,
        common + " -filter Hermite -resize " + std::to_string(kDisplayWidth) + "x" + std::to_string(kDisplayHeight) + "! null:" + NullDevice());
    for (auto _ : state) {
        const double b = BestSeconds(base, 5);
        const double r = BestSeconds(resize, 5);
        if (b < 0.0 || r < 0.0) {
            state.SkipWithError("convert failed");
            return;
        }
        state.SetIterationTime(std::max(r - b, 0.0) / kCopies);
    }
}

// The whole process, as a user runs it on one PPM image: `quarlomet resample` against ImageMagick's
// `convert -filter Hermite -resize`, starting, reading, scaling and writing included. The time is
// the tool's best run; "convert_ms" and "times_faster" compare it with convert when it is installed.
// The shell that starts each command is measured alone and taken off both.
void BM_WholeProcessResample(benchmark::State& state)
{
    constexpr int kRuns = 15;
    const auto source = WritePpm(MatrixSource(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    const std::string size = std::to_string(kDisplayWidth) + "x" + std::to_string(kDisplayHeight);
    const std::string tool = Quote(QM_QUARLOMET_EXE) + " resample " + Quote(source) + " " +
                             Quote(WorkDir() / "tool_out.ppm") + " --size " + size + NullDevice();
    const std::string magick = WithEnvironment("MAGICK_CONFIGURE_PATH", MagickPolicyDir(),
                                               "convert " + Quote(source) + " -filter Hermite -resize " + size + "! " +
                                                   Quote(WorkDir() / "magick_out.ppm") + NullDevice());
    const bool haveMagick = std::system(("convert -version" + NullDevice()).c_str()) == 0;
    for (auto _ : state) {
        const double shell = std::max(BestSeconds("exit 0", kRuns), 0.0);
        const double toolSeconds = BestSeconds(tool, kRuns);
        if (toolSeconds < 0.0) {
            state.SkipWithError("quarlomet resample failed");
            return;
        }
        state.SetIterationTime(std::max(toolSeconds - shell, 1e-9));
        if (haveMagick) {
            const double magickSeconds = BestSeconds(magick, kRuns);
            if (magickSeconds >= 0.0) {
                state.counters["convert_ms"] = (magickSeconds - shell) * 1e3;
                state.counters["times_faster"] = (magickSeconds - shell) / std::max(toolSeconds - shell, 1e-9);
            }
        }
    }
}

std::string PythonCommand()
{
    const char* chosen = std::getenv("QM_BENCH_PYTHON");
    return chosen != nullptr && *chosen != '\0' ? std::string(chosen) : std::string("python3");
}

void BM_PillowBicubic(benchmark::State& state)
{
    const auto dir = WorkDir();
    const auto script = dir / "pillow_resize.py";
    std::ofstream(script) << "import sys, time\n"
                             "from PIL import Image\n"
                             "im = Image.open(sys.argv[1]); im.load(); im = im.convert('RGB')\n"
                             "bicubic = getattr(Image, 'Resampling', Image).BICUBIC\n"
                             "best = None\n"
                             "for _ in range(int(sys.argv[2])):\n"
                             "    t = time.perf_counter(); im.resize((int(sys.argv[3]), int(sys.argv[4])), bicubic)\n"
                             "    d = time.perf_counter() - t; best = d if best is None else min(best, d)\n"
                             "open(sys.argv[5], 'w').write(repr(best))\n";
    const auto source = WritePpm(MatrixSource(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
    const auto result = dir / "pillow_result.txt";
    const std::string command = PythonCommand() + " " + Quote(script) + " " + Quote(source) + " 20 " +
                                std::to_string(kDisplayWidth) + " " + std::to_string(kDisplayHeight) + " " + Quote(result) + NullDevice();
    for (auto _ : state) {
        std::filesystem::remove(result);
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("Pillow not available (set QM_BENCH_PYTHON to a Python that has it)");
            return;
        }
        double seconds = 0.0;
        std::ifstream(result) >> seconds;
        state.SetIterationTime(seconds);
    }
}

void Sizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h"});
    for (auto [w, h] : {std::pair{200, 5}, std::pair{2000, 20}, std::pair{20000, 50}, std::pair{5000, 500}}) {
        b->Args({w, h});
    }
    b->Unit(benchmark::kMillisecond);
}

void MagickSizes(benchmark::internal::Benchmark* b)
{
    b->ArgNames({"w", "h", "threads1"});
    for (auto [w, h] : {std::pair{200, 5}, std::pair{2000, 20}, std::pair{20000, 50}, std::pair{5000, 500}}) {
        b->Args({w, h, 1});
        b->Args({w, h, 0});
    }
    b->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);
}

} // namespace

BENCHMARK(BM_ResampleHermite)->Apply(Sizes);
BENCHMARK(BM_ResampleHermiteScalar)->Apply(Sizes);
BENCHMARK(BM_ResampleHermiteSse2)->Apply(Sizes);
BENCHMARK(BM_ResampleHermiteAvx2)->Apply(Sizes);
BENCHMARK(BM_ImageMagickHermite)->Apply(MagickSizes);
BENCHMARK(BM_WholeProcessResample)
    ->ArgNames({"w", "h"})
    ->Args({2000, 20})
    ->Args({5000, 500})
    ->Args({20000, 50})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1);
BENCHMARK(BM_PillowBicubic)->Apply(Sizes)->UseManualTime()->Iterations(1);

BENCHMARK_MAIN();
