// A whole matrix draw in the main window (every file loaded and plotted, both passes, the
// resampling onto the image area) against the loads alone that the draw must do: file 0 three
// times, every other file twice.
#include "main_window.h"
#include "survey_table.h"
#include "widgets.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>

namespace {

constexpr int kFiles = 20;
constexpr int kReadings = 10000;

const QStringList& SurveyFiles()
{
    static QTemporaryDir dir;
    static QStringList files = [] {
        QStringList paths;
        std::mt19937 random(7);
        std::normal_distribution<double> noise(0.0, 0.4);
        for (int f = 0; f < kFiles; ++f) {
            const QString path = dir.filePath(QStringLiteral("line%1.csv").arg(f, 2, 10, QLatin1Char('0')));
            std::FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
            std::fputs("Position,Field nT,Time,N/S,Latitude,E/W,Longitude\r\n", out);
            for (int i = 0; i < kReadings; ++i) {
                const double anomaly = 180.0 * std::exp(-std::pow((i - 4000 - f * 30) / 60.0, 2));
                std::fprintf(out, "L%02d-%05d,%.2f,10:%02d:%02d,N,5645.%06d,E,03712.%06d\r\n", f, i,
                             51230.0 + anomaly + noise(random), i / 60 % 60, i % 60, 100000 + f * 300 + i % 7,
                             (i % 10000) * 100 + i % 13);
            }
            std::fclose(out);
            paths << path;
        }
        return paths;
    }();
    return files;
}

void BM_WholeDraw(benchmark::State& state)
{
    TForm1 window;
    window.resize(936, 790);
    window.Image1->resize(796, 484);
    const QStringList files = SurveyFiles();
    window.openFileDialog = [files] { return files; };
    window.Button2Click();
    for (auto _ : state)
        window.Button3Click();
    state.counters["files"] = kFiles;
}
BENCHMARK(BM_WholeDraw)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LoadsOfADraw(benchmark::State& state)
{
    const QStringList files = SurveyFiles();
    qm::SurveyTable table;
    for (auto _ : state) {
        // File 0 before the passes, then every file in pass 1 and again in pass 2.
        for (int pass = 0; pass < 3; ++pass) {
            const int count = pass == 0 ? 1 : kFiles;
            for (int f = 0; f < count; ++f) {
                table.Clear();
                table.LoadFromCsv(QFile::encodeName(files[f]).toStdString());
            }
        }
        benchmark::DoNotOptimize(table.RowCount());
    }
}
BENCHMARK(BM_LoadsOfADraw)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
