// A long session in the viewer, for its memory and file handles. With the site map open, each round
// opens the survey files (1,000 readings each, fixes of six minute decimals), waits until the map has
// drawn them, plays through every file, makes 50 recipe edits in the Processing panel and 10 grids,
// then measures the resident memory and the open file handles. Rounds after the first must stay
// within 10 % of the first round's memory and must not hold more handles. Runs offscreen with the
// real browser; prints one line a round.
//   bench_long_session [--files N] [--rounds N] [--short]
// --short: only that the rounds complete, and their figures (the short form run with the tests).
#include "browser_bench.h"
#include "error_box.h"
#include "main_window.h"
#include "processing_panel.h"
#include "site_grid_panel.h"
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
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace qm::bench {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadings = 1'000;   // a file
constexpr int kRecipeEdits = 50;   // a round
constexpr int kGrids = 10;         // a round
constexpr int kWaitMs = 300'000;   // the longest any one step may take before the run is failed
constexpr double kAllowedGrowth = 0.10;

int errorsShown = 0;

// Line `f` of the site: walked north or south a metre or so beside the one before, five readings a
// second about 0.37 m apart, as the site benchmarks walk theirs, with 1,000 readings.
std::string SurveyLine(int f)
{
    std::mt19937 random(777u + static_cast<unsigned>(f));
    std::normal_distribution<double> noise(0.0, 0.6);
    std::normal_distribution<double> wander(0.0, 0.00002);
    std::string out = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n";
    out.reserve(static_cast<std::size_t>(kReadings) * 72);
    char line[96];
    const double lon = 12.0 + (f % 10'000) * 0.0007;
    double lat = 45.0;
    for (int r = 0; r < kReadings; ++r) {
        const int seconds = 10 * 3600 + r / 5;
        const double field = 50234.0 + 15.0 * std::sin((r + f * 37) / 900.0) + noise(random);
        lat += (f % 2 ? -1 : 1) * 0.0002;
        std::snprintf(line, sizeof line, "L%04d-%04d,%.2f,%02d:%02d:%02d,N,", f, r, field, seconds / 3600 % 24,
                      seconds / 60 % 60, seconds % 60);
        out += line;
        AppendCoordinate(out, 56, lat, 2, 6);
        out += ",E,";
        AppendCoordinate(out, 37, lon + wander(random), 3, 6);
        out += "\r\n";
    }
    return out;
}

// The survey files in a fresh temporary folder, removed with this object.
class SurveyFolder {
public:
    explicit SurveyFolder(int files)
    {
        dir_ = fs::temp_directory_path() / ("qm-long-session-" + std::to_string(std::random_device{}()));
        fs::create_directories(dir_);
        for (int f = 0; f < files; ++f) {
            const fs::path path = dir_ / ("line_" + std::to_string(f) + ".csv");
            const std::string text = SurveyLine(f);
            std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
            paths_ << QString::fromStdString(path.string());
        }
    }
    SurveyFolder(const SurveyFolder&) = delete;
    SurveyFolder& operator=(const SurveyFolder&) = delete;
    ~SurveyFolder()
    {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    const QStringList& Paths() const { return paths_; }

private:
    fs::path dir_;
    QStringList paths_;
};

// Runs the event loop for `ms`.
void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    QCoreApplication::processEvents();
}

// A field of a /proc status file, in kB; 0 when missing.
double StatusKb(const std::string& file, const char* field)
{
    std::ifstream in(file);
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0)
            return std::atof(line.c_str() + n);
    return 0;
}

// The resident memory of every process started under this one: the browser's renderer and helpers.
double DescendantsMb()
{
    std::multimap<long, long> children; // parent -> child
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text;
        std::getline(stat, text);
        const std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 2));
        char state = 0;
        long parent = 0;
        if (rest >> state >> parent)
            children.emplace(parent, std::stol(name));
    }
    double kb = 0;
    std::vector<long> pending{static_cast<long>(getpid())};
    while (!pending.empty()) {
        const long pid = pending.back();
        pending.pop_back();
        const auto [from, to] = children.equal_range(pid);
        for (auto it = from; it != to; ++it) {
            kb += StatusKb("/proc/" + std::to_string(it->second) + "/status", "VmRSS:");
            pending.push_back(it->second);
        }
    }
    return kb / 1024.0;
}

struct Figures {
    double rssMb = 0;
    double browserMb = 0;
    int handles = 0;
    double seconds = 0;
    double phases[4] = {}; // opening and drawing, playback, recipe edits, grids
    std::vector<std::string> handleTargets; // what each open handle names, sorted
};

// The open file handles, by what each names, sorted.
std::vector<std::string> HandleTargets()
{
    std::vector<std::string> targets;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/self/fd", ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        targets.push_back(fs::read_symlink(it->path(), ec).string());
    std::sort(targets.begin(), targets.end());
    return targets;
}

// Memory and handles once the round's work has settled. Memory freed but kept by the allocator for
// reuse is handed back first (glibc), so that only what is still held counts. The browser opens
// files of its profile for a moment now and then (a database's journal), so the handles are the
// fewest of ten looks over three seconds: a handle kept open is in every look.
Figures Measure()
{
    QCoreApplication::processEvents();
    Settle(2000);
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    Figures figures;
    figures.rssMb = StatusKb("/proc/self/status", "VmRSS:") / 1024.0;
    figures.browserMb = DescendantsMb();
    figures.handleTargets = HandleTargets();
    for (int look = 1; look < 10; ++look) {
        Settle(300);
        std::vector<std::string> targets = HandleTargets();
        if (targets.size() < figures.handleTargets.size())
            figures.handleTargets = std::move(targets);
    }
    figures.handles = static_cast<int>(figures.handleTargets.size());
    return figures;
}

bool Fail(const char* what)
{
    std::fprintf(stderr, "long session: %s\n", what);
    return false;
}

// "Open files" with the site map shown, until every reading of them is on the map.
bool OpenAndDraw(TForm1& form, const QStringList& paths)
{
    bool drawn = false;
    QEventLoop loop;
    QObject::connect(form.siteMap(), &SiteMapLink::SiteDrawn, &loop, [&] {
        drawn = true;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    form.OpenPaths(paths);
    if (!drawn)
        loop.exec();
    if (!drawn)
        return Fail("the site map never drew the files");
    const auto readings = form.siteMap()->Window()->Readings();
    if (!readings || readings->size() != static_cast<std::size_t>(paths.size()) * kReadings)
        return Fail("the site map holds fewer readings than the files");
    return true;
}

// "Motion": every file selected in turn, then the playback is over.
bool PlayThrough(TForm1& form)
{
    form.MotionClick();
    const auto start = Clock::now();
    while (form.PlaybackRunning() && Clock::now() - start < std::chrono::milliseconds(kWaitMs))
        Settle(100);
    if (form.PlaybackRunning())
        return Fail("the playback never ended");
    if (form.SelectedFile() != static_cast<int>(form.Files().size()) - 1)
        return Fail("the playback did not reach the last file");
    return true;
}

bool WaitProcessedDrawn(SiteMapWindow* window)
{
    bool drawn = false;
    QEventLoop loop;
    QObject::connect(window, &SiteMapWindow::ProcessedDrawn, &loop, [&] {
        drawn = true;
        loop.quit();
    });
    QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
    loop.exec();
    return drawn;
}

// The recipe's clip threshold typed anew `edits` times, each change drawn before the next; the
// recipe itself (despike, zero-traverse, high-pass, clip) is set the first time.
bool EditRecipe(SiteMapWindow* window, int edits)
{
    ProcessingPanel* panel = window->GetProcessingPanel();
    if (panel->GetRecipe().steps.empty()) {
        process::ClipStep clip;
        clip.sd = 3;
        process::Recipe recipe;
        recipe.steps = {{process::DespikeStep{5}}, {process::ZeroTraverseStep{}}, {process::HighPassStep{61}}, {clip}};
        panel->ReplaceRecipe(recipe, QStringLiteral("Long session"));
        if (!WaitProcessedDrawn(window))
            return Fail("the recipe was never drawn");
    }
    auto* sd = qobject_cast<QLineEdit*>(panel->Editor(3, QStringLiteral("sd")));
    if (sd == nullptr)
        return Fail("the clip step has no sd field");
    for (int k = 0; k < edits; ++k) {
        // Typed, then the field left: each edit is one step of Undo, as a user's would be.
        const QString text = sd->text() == QStringLiteral("3") ? QStringLiteral("3.5") : QStringLiteral("3");
        sd->setText(text);
        emit sd->textEdited(text);
        if (!WaitProcessedDrawn(window))
            return Fail("a recipe edit was never drawn");
        emit sd->editingFinished();
    }
    return true;
}

// `grids` grids, the cell size alternating so that each is computed anew, each drawn before the
// next; the grid is hidden again at the end so that the next round's edits compute none.
bool MakeGrids(SiteMapWindow* window, int grids)
{
    SiteGridPanel* panel = window->GridPanel();
    auto* cell = panel->findChild<QLineEdit*>(QStringLiteral("cell"));
    auto* button = panel->findChild<QToolButton*>(QStringLiteral("grid"));
    if (cell == nullptr || button == nullptr)
        return Fail("the grid row has no cell field or Grid button");
    for (int k = 0; k < grids; ++k) {
        const int before = panel->Computations();
        const QString text = cell->text() == QStringLiteral("2") ? QStringLiteral("1.5") : QStringLiteral("2");
        cell->setText(text);
        emit cell->textEdited(text);
        bool ready = false;
        bool drawn = false;
        QEventLoop loop;
        QObject::connect(panel, &SiteGridPanel::GridChanged, &loop,
                         [&] { ready = ready || (panel->Shown() && !panel->Computing()); });
        QObject::connect(window, &SiteMapWindow::PageUpdated, &loop, [&] {
            if (ready) {
                drawn = true;
                loop.quit();
            }
        });
        QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
        if (button->isChecked())
            emit cell->editingFinished();
        else
            button->click();
        loop.exec();
        if (!drawn)
            return Fail("a grid was never drawn");
        if (panel->Computations() != before + 1)
            return Fail("a grid was not computed anew");
    }
    button->click();
    return !button->isChecked() || Fail("the grid could not be hidden");
}

bool Round(TForm1& form, const QStringList& paths, Figures& figures)
{
    const auto start = Clock::now();
    auto last = start;
    double phases[4] = {};
    const auto phase = [&](int k, bool ok) {
        const auto now = Clock::now();
        phases[k] = std::chrono::duration<double>(now - last).count();
        last = now;
        return ok;
    };
    if (!phase(0, OpenAndDraw(form, paths)) || !phase(1, PlayThrough(form)))
        return false;
    SiteMapWindow* window = form.siteMap()->Window();
    if (!phase(2, EditRecipe(window, kRecipeEdits)) || !phase(3, MakeGrids(window, kGrids)))
        return false;
    figures = Measure();
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::copy(std::begin(phases), std::end(phases), std::begin(figures.phases));
    if (errorsShown > 0)
        return Fail("the viewer showed an error");
    return true;
}

// The main window shown as the viewer shows it, its site map page loaded, then "Site map".
bool OpenSiteMap(TForm1& form)
{
    form.SetWarmSiteMap(true);
    QEventLoop warmed;
    QObject::connect(form.siteMap(), &SiteMapLink::Warmed, &warmed, &QEventLoop::quit);
    QTimer::singleShot(120000, &warmed, &QEventLoop::quit);
    form.show();
    warmed.exec();
    form.actSiteMap->trigger();
    Settle(1000);
    SiteMapWindow* window = form.siteMap()->Window();
    return (window != nullptr && window->isVisible()) || Fail("the site map window did not open");
}

struct Options {
    int files = 1000;
    int rounds = 3;
    bool check = true;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int k = 1; k < argc; ++k) {
        const std::string arg = argv[k];
        const auto number = [&](int& into) {
            if (k + 1 >= argc)
                return false;
            into = std::atoi(argv[++k]);
            return into >= 1;
        };
        if (arg == "--short") {
            options.files = 100;
            options.rounds = 1;
            options.check = false;
        } else if (!((arg == "--files" && number(options.files)) || (arg == "--rounds" && number(options.rounds)))) {
            std::fprintf(stderr, "usage: bench_long_session [--files N] [--rounds N] [--short]\n");
            return false;
        }
    }
    return true;
}

// Rounds after the first within 10 % of its memory, and no more handles than it held.
bool WithinBounds(const std::vector<Figures>& rounds)
{
    bool ok = true;
    for (std::size_t r = 1; r < rounds.size(); ++r) {
        if (rounds[r].rssMb > rounds[0].rssMb * (1 + kAllowedGrowth)) {
            std::printf("round %zu: memory grew by more than %.0f %% over round 1\n", r + 1, kAllowedGrowth * 100);
            ok = false;
        }
        if (rounds[r].handles > rounds[0].handles) {
            std::printf("round %zu: open file handles grew from %d to %d; new:", r + 1, rounds[0].handles,
                        rounds[r].handles);
            std::vector<std::string> added;
            std::set_difference(rounds[r].handleTargets.begin(), rounds[r].handleTargets.end(),
                                rounds[0].handleTargets.begin(), rounds[0].handleTargets.end(),
                                std::back_inserter(added));
            for (const std::string& target : added)
                std::printf(" %s", target.c_str());
            std::printf("\n");
            ok = false;
        }
    }
    return ok;
}

int RunSession(const Options& options)
{
    SetErrorBoxHook([](const QString& text) {
        ++errorsShown;
        std::fprintf(stderr, "error box: %s\n", qPrintable(text));
    });
    const SurveyFolder folder(options.files);
    std::printf("long session: %d files of %d readings, %d round(s)\n", options.files, kReadings, options.rounds);
    std::fflush(stdout);
    TForm1 form;
    if (!OpenSiteMap(form))
        return 1;
    std::vector<Figures> rounds;
    for (int r = 1; r <= options.rounds; ++r) {
        Figures figures;
        if (!Round(form, folder.Paths(), figures)) {
            std::printf("round %d: failed\n", r);
            return 1;
        }
        rounds.push_back(figures);
        std::printf("round %d: rss %.1f MB, handles %d, seconds %.1f (open %.1f, playback %.1f, recipe edits %.1f, "
                    "grids %.1f; browser processes %.1f MB)\n",
                    r, figures.rssMb, figures.handles, figures.seconds, figures.phases[0], figures.phases[1],
                    figures.phases[2], figures.phases[3], figures.browserMb);
        std::fflush(stdout);
    }
    if (!options.check)
        return 0;
    return WithinBounds(rounds) ? 0 : 1;
}

} // namespace

} // namespace qm::bench

int main(int argc, char** argv)
{
    qm::bench::Options options;
    if (!qm::bench::ParseOptions(argc, argv, options))
        return 2;
    qm::bench::PrepareBrowser();
    QApplication app(argc, argv);
    // The browser's cache goes to a scratch location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    return qm::bench::RunSession(options);
}
