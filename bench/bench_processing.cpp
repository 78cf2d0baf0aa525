// Processing in the site map as the user meets it: the site of QM_BENCH_FILES files of 10,000
// readings (1M by default) drawn in the real window and page, the recipe despike(5), zero-traverse,
// high-pass(61), clip(sd 3) applied, then the clip's sd typed anew: the time from the keystroke until
// the page has drawn the new values. Target: at most 150 ms. Runs offscreen with the real browser.
#include "browser_bench.h"
#include "main_window.h"
#include "processing_panel.h"
#include "site_map_link.h"
#include "site_map_page.h"
#include "site_map_window.h"
#include "survey_site.h"

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

// Runs the event loop until the window has drawn the values of its latest processing.
bool WaitProcessedDrawn(qm::SiteMapWindow* window)
{
    QEventLoop loop;
    bool drawn = false;
    QObject::connect(window, &qm::SiteMapWindow::ProcessedDrawn, &loop, [&] {
        drawn = true;
        loop.quit();
    });
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    return drawn;
}

void BM_ProcessingEditToRedraw(benchmark::State& state)
{
    TForm1 form;
    form.SetWarmSiteMap(false);
    QStringList paths;
    for (const std::string& file : qm::bench::TheSite().Files())
        paths << QString::fromStdString(file);
    form.OpenPaths(paths);
    {
        QEventLoop drawn;
        QObject::connect(form.siteMap(), &qm::SiteMapLink::SiteDrawn, &drawn, &QEventLoop::quit);
        QTimer::singleShot(120000, &drawn, &QEventLoop::quit);
        form.actSiteMap->trigger();
        drawn.exec();
    }
    qm::SiteMapWindow* window = form.siteMap()->Window();
    namespace process = qm::process;
    process::ClipStep clip;
    clip.sd = 3;
    process::Recipe recipe;
    recipe.steps = {{process::DespikeStep{5}}, {process::ZeroTraverseStep{}}, {process::HighPassStep{61}}, {clip}};
    window->GetProcessingPanel()->ReplaceRecipe(recipe, QStringLiteral("Benchmark"));
    if (!WaitProcessedDrawn(window)) {
        state.SkipWithError("the recipe was never drawn");
        return;
    }
    auto* sd = qobject_cast<QLineEdit*>(window->GetProcessingPanel()->Editor(3, QStringLiteral("sd")));
    double worst = 0;
    int edits = 0;
    for (auto _ : state) {
        const QString text = ++edits % 2 ? QStringLiteral("3.5") : QStringLiteral("3");
        const auto start = Clock::now();
        sd->setText(text);
        emit sd->textEdited(text);
        if (!WaitProcessedDrawn(window)) {
            state.SkipWithError("an edit was never drawn");
            return;
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        worst = std::max(worst, seconds * 1e3);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worst;
    state.counters["readings"] = static_cast<double>(window->Readings()->size());
}

} // namespace

BENCHMARK(BM_ProcessingEditToRedraw)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

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
