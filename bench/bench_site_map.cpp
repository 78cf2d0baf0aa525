// The site map as the user meets it: from "Site map" in a main window holding QM_BENCH_FILES files
// (100 by default) of 10,000 readings, fixes of six minute decimals, until every dot is drawn (page
// load, gathering on the worker thread, transfer, first draw), against the loads alone, as the
// median of three interleaved runs. Targets: at most 3x, and 1.5x at 10M readings
// (QM_BENCH_FILES=1000). And a redraw of them all. Runs offscreen with the real browser.
#include "browser_bench.h"
#include "main_window.h"
#include "site_map_link.h"
#include "site_map_page.h"
#include "site_map_window.h"
#include "survey_site.h"
#include "survey_table.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QStandardPaths>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

using Clock = std::chrono::steady_clock;

double PlainLoadSeconds(const std::vector<std::string>& files)
{
    const auto start = Clock::now();
    qm::SurveyTable table;
    for (const std::string& file : files) {
        table.Clear();
        table.LoadFromCsv(std::filesystem::path(file));
        benchmark::DoNotOptimize(table.RowCount());
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Opens the files in `form`; `warm`: shown first, as the viewer is, with its site map page loaded
// in the background once start-up has settled.
void OpenSite(TForm1& form, const std::vector<std::string>& files, bool warm)
{
    form.SetWarmSiteMap(warm);
    if (warm) {
        QEventLoop warmed;
        QObject::connect(form.siteMap(), &qm::SiteMapLink::Warmed, &warmed, &QEventLoop::quit);
        QTimer::singleShot(60000, &warmed, &QEventLoop::quit);
        form.show();
        warmed.exec();
    }
    QStringList paths;
    for (const std::string& file : files)
        paths << QString::fromStdString(file);
    form.OpenPaths(paths);
}

// Opens the files in a fresh main window shown as the viewer shows it (its site map page loaded in
// the background once start-up has settled), then times "Site map" until every dot is drawn;
// returns the seconds and the dots the page holds.
// `warm` false: as a main window that does not load the page ahead (tests), for comparison.
double SiteMapSeconds(const std::vector<std::string>& files, int& readingsOnPage, bool warm)
{
    TForm1 form;
    OpenSite(form, files, warm);

    QEventLoop loop;
    QObject::connect(form.siteMap(), &qm::SiteMapLink::SiteDrawn, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    const auto start = Clock::now();
    form.actSiteMap->trigger();
    loop.exec();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    QEventLoop ask;
    form.siteMap()->Window()->View()->page()->runJavaScript(QStringLiteral("qmSite.state().readings"),
                                                             [&](const QVariant& n) {
                                                                 readingsOnPage = n.toInt();
                                                                 ask.quit();
                                                             });
    ask.exec();
    return seconds;
}

void SiteMapToLoadsRatio(benchmark::State& state, bool warm)
{
    const std::vector<std::string>& files = qm::bench::TheSite().Files();
    std::vector<double> loadSeconds, mapSeconds, ratios;
    int readings = 0;
    for (auto _ : state) {
        const double loads = PlainLoadSeconds(files);
        const double map = SiteMapSeconds(files, readings, warm);
        loadSeconds.push_back(loads);
        mapSeconds.push_back(map);
        ratios.push_back(map / loads);
        state.SetIterationTime(map);
    }
    // Medians of the interleaved runs: one run slowed down by the rest of a shared machine does
    // not decide the figure; the worst run is told beside it.
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    state.counters["loads_ms"] = median(loadSeconds) * 1e3;
    state.counters["site_map_ms"] = median(mapSeconds) * 1e3;
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_worst"] = ratios.empty() ? 0.0 : *std::max_element(ratios.begin(), ratios.end());
    state.counters["readings_on_page"] = readings;
}

// A redraw of all the readings (1M by default) at the whole site's view: the pass every step of a pan or a zoom
// makes. Target: under 30 ms.
void BM_SiteMapRedraw(benchmark::State& state)
{
    // As in the viewer: the page loaded in the background before "Site map".
    TForm1 form;
    OpenSite(form, qm::bench::TheSite().Files(), true);
    QEventLoop drawn;
    QObject::connect(form.siteMap(), &qm::SiteMapLink::SiteDrawn, &drawn, &QEventLoop::quit);
    QTimer::singleShot(120000, &drawn, &QEventLoop::quit);
    form.actSiteMap->trigger();
    drawn.exec();
    QWebEnginePage* page = form.siteMap()->Window()->View()->page();
    // The pyramid of cells follows the dots: the redraws are timed once it is on the page.
    for (int tries = 0; tries < 1200 && !qm::bench::PageState(page, QStringLiteral("pyramid")).toBool(); ++tries)
        qm::bench::Pause(100);
    const auto drawMs = [page] {
        QEventLoop ask;
        double ms = 0;
        page->runJavaScript(QStringLiteral("qmSite.showDots(false); qmSite.showDots(true); qmSite.redraw();"
                                           "qmSite.state().drawMs"),
                            [&](const QVariant& v) {
                                ms = v.toDouble();
                                ask.quit();
                            });
        ask.exec();
        return ms;
    };
    double worst = 0;
    for (auto _ : state) {
        const double ms = drawMs();
        worst = std::max(worst, ms);
        state.SetIterationTime(ms / 1e3);
    }
    state.counters["worst_ms"] = worst;
    // Closer views of the site's middle, down to the deepest zoom: the pyramid's finer levels and,
    // deepest, the readings of its finest cells on screen.
    const QVariantMap view = qm::bench::PageState(page, QStringLiteral("view")).toMap();
    const double lat = (view.value("south").toDouble() + view.value("north").toDouble()) / 2;
    const double lon = (view.value("west").toDouble() + view.value("east").toDouble()) / 2;
    double closer = 0;
    for (const double d : {0.01, 0.003, 0.001, 0.0003, 0.0001, 0.00003}) {
        page->runJavaScript(QStringLiteral("qmSite.fitTo([%1, %2, %3, %4]);")
                                .arg(lat - d, 0, 'g', 12)
                                .arg(lon - d, 0, 'g', 12)
                                .arg(lat + d, 0, 'g', 12)
                                .arg(lon + d, 0, 'g', 12));
        for (int k = 0; k < 5; ++k)
            closer = std::max(closer, drawMs());
    }
    state.counters["closer_worst_ms"] = closer;
    state.counters["deepest_level"] = qm::bench::PageState(page, QStringLiteral("level")).toDouble();
    state.counters["deepest_zoom"] = qm::bench::PageState(page, QStringLiteral("zoom")).toDouble();
}

void BM_SiteMapToLoadsRatio(benchmark::State& state) { SiteMapToLoadsRatio(state, true); }
void BM_SiteMapColdToLoadsRatio(benchmark::State& state) { SiteMapToLoadsRatio(state, false); }

} // namespace

BENCHMARK(BM_SiteMapToLoadsRatio)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SiteMapColdToLoadsRatio)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SiteMapRedraw)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qm::bench::PrepareBrowser();
    QApplication app(argc, argv);
    // The browser's cache goes to a scratch location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
