// Profile chart speed: a full repaint into an 860x560 image at 10 thousand and a million points,
// with the decimated shape cached (a plain repaint) and rebuilt (after an axis change), the whole
// plot (empty, add every point, paint once) and mapping a press to its point.
#include "profile_chart.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>

namespace {

constexpr int kWidth = 860;
constexpr int kHeight = 560;

// A walk around 50000 nT with a few anomalies, like a survey line.
std::vector<double> Profile(int count)
{
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0, 3);
    std::vector<double> values(static_cast<std::size_t>(count));
    double drift = 0;
    for (int i = 0; i < count; ++i) {
        drift += noise(rng) * 0.2;
        const double t = 1500.0 * i / count;
        double v = 50000 + drift + noise(rng);
        v += 1200 * std::exp(-std::pow((t - 400) / 25, 2));
        v -= 800 * std::exp(-std::pow((t - 900) / 15, 2));
        values[static_cast<std::size_t>(i)] = std::nearbyint(v);
    }
    return values;
}

void Plot(qm::ProfileChart& chart, int seriesIndex, const std::vector<double>& values)
{
    chart.series(seriesIndex).Clear();
    std::string label;
    for (std::size_t i = 0; i < values.size(); ++i) {
        label.assign(1, 'L');
        label += std::to_string(i + 1);
        chart.series(seriesIndex).Add(values[i], label, QColor(255, 255, 0));
    }
}

void BM_Repaint(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    const auto seriesIndex = static_cast<int>(state.range(1));
    qm::ProfileChart chart;
    chart.resize(kWidth, kHeight);
    Plot(chart, seriesIndex, Profile(count));
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    chart.render(&image); // builds the cached shape
    for (auto _ : state) {
        chart.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

// Every paint follows an axis change, so the decimated shape is rebuilt each time.
void BM_RepaintAfterAxisChange(benchmark::State& state)
{
    const auto count = static_cast<int>(state.range(0));
    qm::ProfileChart chart;
    chart.resize(kWidth, kHeight);
    Plot(chart, 0, Profile(count));
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    bool wide = false;
    for (auto _ : state) {
        chart.LeftAxis().SetMaximum(wide ? 60000 : 59000);
        wide = !wide;
        chart.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PlotAndPaint(benchmark::State& state)
{
    const auto values = Profile(static_cast<int>(state.range(0)));
    qm::ProfileChart chart;
    chart.resize(kWidth, kHeight);
    QImage image(kWidth, kHeight, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        Plot(chart, 0, values);
        chart.render(&image);
        benchmark::DoNotOptimize(image.constBits());
    }
}

void BM_PressToPoint(benchmark::State& state)
{
    qm::ProfileChart chart;
    chart.resize(kWidth, kHeight);
    Plot(chart, 2, Profile(static_cast<int>(state.range(0))));
    chart.LeftAxis().SetAutomatic(true);
    const QPoint press = chart.PointPosition(2, static_cast<int>(state.range(0) / 3)).toPoint();
    for (auto _ : state) {
        int s = 0;
        int k = 0;
        benchmark::DoNotOptimize(chart.SeriesAt(press, s, k));
        benchmark::DoNotOptimize(k);
    }
}

} // namespace

BENCHMARK(BM_Repaint)->ArgsProduct({{10000, 1000000}, {0, 1, 2}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RepaintAfterAxisChange)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotAndPaint)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PressToPoint)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
