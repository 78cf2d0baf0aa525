// Processing in the site map window: the panel's Undo and Redo, the worker's cancellation, what the
// dots show, the profile strip, and a saved recipe replayed outside the window giving the same values.
#include "platform.h"
#include "../browser_test_main.h"
#include "error_box.h"
#include "processing_panel.h"
#include "processing_runner.h"
#include "profile_strip.h"
#include "readings_export.h"
#include "site_map_window.h"
#include "site_processing.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QToolButton>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>

using qm::site::PlacedReadings;
namespace process = qm::process;

namespace {

// `files` lines of `perFile` readings running north, 1e-4 degrees apart; reading (f, r) is
// 100 f + r nT, with every seventh one 1000 nT higher.
std::shared_ptr<PlacedReadings> Lines(int files, int perFile)
{
    auto readings = std::make_shared<PlacedReadings>();
    for (int f = 0; f < files; ++f) {
        readings->files.push_back("line" + std::to_string(f) + ".csv");
        for (int r = 1; r <= perFile; ++r) {
            readings->lon.push_back(37.2 + f * 1e-4);
            readings->lat.push_back(56.75 + r * 1e-4);
            readings->value.push_back(100.0 * f + r + (r % 7 == 0 ? 1000.0 : 0.0));
            readings->file.push_back(static_cast<std::uint32_t>(f));
            readings->row.push_back(static_cast<std::uint32_t>(r));
        }
    }
    return readings;
}

std::shared_ptr<PlacedReadings> Noise(std::size_t n, std::size_t files)
{
    auto readings = std::make_shared<PlacedReadings>();
    std::mt19937_64 random(7);
    std::normal_distribution<double> noise(50000, 20);
    for (std::size_t i = 0; i < n; ++i) {
        readings->lon.push_back(37.0 + static_cast<double>(i % 1000) * 1e-5);
        readings->lat.push_back(56.0 + static_cast<double>(i / 1000) * 1e-5);
        readings->value.push_back(noise(random));
        readings->file.push_back(static_cast<std::uint32_t>(i * files / n));
        readings->row.push_back(static_cast<std::uint32_t>(i + 1));
    }
    for (std::size_t f = 0; f < files; ++f)
        readings->files.push_back("f" + std::to_string(f));
    return readings;
}

process::Step StepOf(process::Operation op, bool enabled = true)
{
    return process::Step{std::move(op), enabled};
}

// Equal values bit for bit, gaps in the same places.
bool SameBits(const std::vector<double>& a, const std::vector<double>& b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

QStringList errorBoxes;
void RecordErrorBox(const QString& text)
{
    errorBoxes << text;
}

QVariant PageValue(qm::SiteMapWindow& window, int index)
{
    return RunScript(window.View(), QStringLiteral("qmSite.valueOf(%1)").arg(index));
}

} // namespace

class TestSiteProcessing : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void undoAndRedoRestoreEveryChangeExactly();
    void keystrokesOfOneParameterEditAreOneUndoStep();
    void newerEditStopsAnOlderComputationAndKeepsEarlierSteps();
    void showRemovedColoursInputMinusOutputWhereBothHaveAValue();
    void spikesAreRingedAndCountedWithGapsAndNotedTraverses();
    void profileStripFollowsTheSelectedTraverse();
    void savedRecipeReplaysToTheSameValuesBitForBit();
    void refusedRecipeShowsTheErrorBoxAndKeepsTheRecipe();
    void closingTheWindowWhileComputingIsSafe();
    void largeSiteDrawsItsDotsBeforeItsFollowUps();
    void screenshotsOfTheExampleSiteRawAndProcessed();

private:
    bool ShowAndWait(std::shared_ptr<const PlacedReadings> readings);
    // Sets the recipe through the panel and waits until the page has drawn its values.
    bool ProcessAndWait(const process::Recipe& recipe);
    std::unique_ptr<qm::SiteMapWindow> window_;
};

void TestSiteProcessing::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qm::SetErrorBoxHook(&RecordErrorBox);
}

void TestSiteProcessing::init()
{
    errorBoxes.clear();
    window_ = std::make_unique<qm::SiteMapWindow>();
}

void TestSiteProcessing::cleanup()
{
    window_.reset();
}

bool TestSiteProcessing::ShowAndWait(std::shared_ptr<const PlacedReadings> readings)
{
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ProcessedDrawn);
    window_->SetReadings(std::move(readings));
    window_->show();
    return drawn.wait(30000);
}

bool TestSiteProcessing::ProcessAndWait(const process::Recipe& recipe)
{
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ProcessedDrawn);
    window_->GetProcessingPanel()->ReplaceRecipe(recipe, QStringLiteral("Set"));
    return drawn.wait(30000);
}

void TestSiteProcessing::undoAndRedoRestoreEveryChangeExactly()
{
    qm::ProcessingPanel& panel = *window_->GetProcessingPanel();
    std::vector<process::Recipe> seen{panel.GetRecipe()};
    const auto add = [&](const char* name) {
        panel.findChild<QAction*>(QString::fromLatin1(name))->trigger();
        seen.push_back(panel.GetRecipe());
    };
    add("addDespike");
    add("addZerotraverse");
    add("addHighpass");
    panel.SelectStep(0);
    panel.findChild<QToolButton*>("moveStepDown")->click();
    seen.push_back(panel.GetRecipe());
    static_cast<QCheckBox*>(panel.Editor(2, "enabled"))->click();
    seen.push_back(panel.GetRecipe());
    auto* traverses = panel.findChild<QComboBox*>("traverses");
    traverses->setCurrentIndex(1);
    emit traverses->activated(1);
    seen.push_back(panel.GetRecipe());
    panel.SelectStep(1);
    panel.findChild<QToolButton*>("removeStep")->click();
    seen.push_back(panel.GetRecipe());

    QCOMPARE(panel.UndoStack()->count(), static_cast<int>(seen.size()) - 1);
    QCOMPARE(panel.GetRecipe().steps.size(), std::size_t{2});
    QCOMPARE(panel.GetRecipe().traverses, process::TraverseMode::Column2);
    for (int k = static_cast<int>(seen.size()) - 2; k >= 0; --k) {
        panel.UndoAction()->trigger();
        QVERIFY2(panel.GetRecipe() == seen[static_cast<std::size_t>(k)], qPrintable(QString::number(k)));
        QCOMPARE(panel.findChild<QComboBox*>("traverses")->currentIndex(),
                 seen[static_cast<std::size_t>(k)].traverses == process::TraverseMode::Column2 ? 1 : 0);
    }
    for (std::size_t k = 1; k < seen.size(); ++k) {
        panel.RedoAction()->trigger();
        QVERIFY(panel.GetRecipe() == seen[k]);
    }
    // The editors show the recipe after every change, check boxes included.
    for (int k = 0; k < 2; ++k)
        QCOMPARE(static_cast<QCheckBox*>(panel.Editor(k, "enabled"))->isChecked(), panel.GetRecipe().steps[k].enabled);
    // The menu items carry the shortcuts.
    QCOMPARE(panel.UndoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    QCOMPARE(panel.RedoAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
}

void TestSiteProcessing::keystrokesOfOneParameterEditAreOneUndoStep()
{
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    qm::ProcessingPanel& panel = *window_->GetProcessingPanel();
    panel.findChild<QAction*>("addHighpass")->trigger();
    const process::Recipe before = panel.GetRecipe();
    auto* window = qobject_cast<QLineEdit*>(panel.Editor(0, "window"));
    QVERIFY(window);
    window->setFocus();
    window->selectAll();
    // "2" and "20" are not odd windows: marked, never in the recipe; "201" is.
    QTest::keyClicks(window, "201");
    QCOMPARE(std::get<process::HighPassStep>(panel.GetRecipe().steps[0].op).window, 201);
    QTest::keyClick(window, Qt::Key_Backspace);
    QTest::keyClicks(window, "3");
    QCOMPARE(std::get<process::HighPassStep>(panel.GetRecipe().steps[0].op).window, 203);
    QCOMPARE(panel.UndoStack()->count(), 2); // the add, and the one edit
    // Ctrl+Z in the field undoes the recipe's edit, not the field's text alone.
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(panel.GetRecipe() == before);
    QCOMPARE(window->text(), QString("61"));
    QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(std::get<process::HighPassStep>(panel.GetRecipe().steps[0].op).window, 203);
    QCOMPARE(window->text(), QString("203"));
    // A new edit of the same field after leaving it is a step of its own.
    emit window->editingFinished();
    window->selectAll();
    QTest::keyClicks(window, "5");
    QCOMPARE(panel.UndoStack()->count(), 3);
}

void TestSiteProcessing::newerEditStopsAnOlderComputationAndKeepsEarlierSteps()
{
    qm::ProcessingRunner runner;
    const auto readings = Noise(3'000'000, 30);
    QSignalSpy ready(&runner, &qm::ProcessingRunner::Ready);
    process::Recipe first;
    first.steps = {StepOf(process::DespikeStep{})};
    runner.Request(readings, {first});
    QTRY_VERIFY_WITH_TIMEOUT(!runner.Busy(), 60000);
    QCOMPARE(ready.size(), 1);
    // A high-pass of a wide window takes a second or more; a narrower one is asked for meanwhile.
    process::Recipe slow = first;
    slow.steps.push_back(StepOf(process::HighPassStep{4001}));
    runner.Request(readings, {slow});
    QTest::qWait(300);
    QVERIFY(runner.Busy());
    process::Recipe quick = first;
    quick.steps.push_back(StepOf(process::HighPassStep{3}));
    runner.Request(readings, {quick});
    QTRY_VERIFY_WITH_TIMEOUT(!runner.Busy(), 60000);
    QCOMPARE(runner.Stopped(), 1);
    QCOMPARE(ready.size(), 2); // the stopped result is never delivered
    const auto view = ready.at(1).at(0).value<std::shared_ptr<const qm::ProcessedView>>();
    QVERIFY(view->request.recipe == quick);
    // The despike was kept, only the new high-pass computed, and the values are exact.
    QCOMPARE(runner.StepsComputed(), std::uint64_t{2});
    const process::RunResult expected = process::RunRecipe(quick, readings->value, process::TraversesByFile(*readings));
    QVERIFY(SameBits(view->values->value, expected.values.value));
}

void TestSiteProcessing::showRemovedColoursInputMinusOutputWhereBothHaveAValue()
{
    const auto readings = Lines(3, 20);
    QVERIFY(ShowAndWait(readings));
    process::GapsStep gaps;
    gaps.above = 1000;
    process::Recipe recipe;
    recipe.steps = {StepOf(gaps), StepOf(process::ZeroTraverseStep{})};
    QVERIFY(ProcessAndWait(recipe));
    qm::ProcessingPanel& panel = *window_->GetProcessingPanel();
    const auto show = [&](qm::ShowWhat what, int step) {
        panel.SelectStep(step);
        panel.SetShow(what);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 30000 && (window_->GetProcessingRunner()->Busy() || !window_->ProcessedOnPage() ||
                                            window_->ProcessedOnPage() != window_->Processed()))
            QTest::qWait(20);
        return window_->ProcessedOnPage() == window_->Processed() && window_->Processed()->request.show == what &&
               window_->Processed()->request.step == step;
    };
    // Step 2 takes each line's median (of its readings without the spikes, now gaps) away.
    QVERIFY(show(qm::ShowWhat::Removed, 1));
    for (int f = 0; f < 3; ++f) {
        for (int r = 1; r <= 20; ++r) {
            const int i = f * 20 + r - 1;
            const QVariant v = PageValue(*window_, i);
            if (r % 7 == 0 || 100 * f + r > 1000) {
                QVERIFY2(v.isNull(), qPrintable(QString::number(i))); // a gap before and after: not drawn
                continue;
            }
            QCOMPARE(v.toDouble(), static_cast<double>(static_cast<float>(100.0 * f + 10.5)));
        }
    }
    // Step 1 turned the spikes into gaps: nothing has a value on both sides there, 0 elsewhere.
    QVERIFY(show(qm::ShowWhat::Removed, 0));
    QVERIFY(PageValue(*window_, 6).isNull());
    QCOMPARE(PageValue(*window_, 5).toDouble(), 0.0);
    QVERIFY(show(qm::ShowWhat::Raw, 0));
    QCOMPARE(PageValue(*window_, 6).toDouble(), 1007.0);
    QVERIFY(show(qm::ShowWhat::Processed, 0));
    QCOMPARE(PageValue(*window_, 0).toDouble(), -9.5);
    QVERIFY(PageValue(*window_, 6).isNull());
    // The grid takes the processed values, gaps left out.
    QTRY_VERIFY(window_->GridValues());
    const std::vector<double>& gridValues = *window_->GridValues();
    QCOMPARE(std::count_if(gridValues.begin(), gridValues.end(), [](double v) { return std::isfinite(v); }), 60 - 3 * 2);
}

// A site of many readings draws its dots before its colour histogram, zone and processing are
// computed, so that they do not compete with the first drawing; they then follow by themselves (what
// counts as many is lowered to this small site here).
void TestSiteProcessing::largeSiteDrawsItsDotsBeforeItsFollowUps()
{
    window_->SetFollowUpsAfterDrawingFrom(1);
    QSignalSpy range(window_.get(), &qm::SiteMapWindow::ColourRangeReady);
    bool computedBefore = true;
    connect(window_.get(), &qm::SiteMapWindow::ReadingsDrawn, this,
            [&] { computedBefore = window_->Processed() != nullptr || range.count() > 0; });
    QVERIFY(ShowAndWait(Lines(3, 20)));
    QVERIFY(!computedBefore);
    QVERIFY(window_->Processed());
    QTRY_VERIFY(range.count() > 0);
    QTRY_VERIFY(RunScript(window_->View(), "qmSite.state().histogram").isValid() &&
                !RunScript(window_->View(), "qmSite.state().histogram").isNull());
}

void TestSiteProcessing::spikesAreRingedAndCountedWithGapsAndNotedTraverses()
{
    QVERIFY(ShowAndWait(Lines(3, 20)));
    process::DespikeStep despike;
    despike.replace = process::Replace::Flag;
    process::ZeroTraverseStep within;
    within.within = process::Range{1e9, 1e9 + 1}; // no value within: every traverse noted
    process::Recipe recipe;
    recipe.steps = {StepOf(despike), StepOf(within)};
    QVERIFY(ProcessAndWait(recipe));
    const std::size_t spikes = window_->Processed()->spikes.size();
    QCOMPARE(spikes, std::size_t{6});
    QTRY_COMPARE(RunScript(window_->View(), "qmSite.state().spikeRings").toInt(), 6);
    QVERIFY2(window_->StatusText().contains("0 gaps, 6 spikes (step 1), 3 traverses noted"), qPrintable(window_->StatusText()));
    // "Raw" shows the readings' own values, which the page had before: they are not sent again,
    // yet the spikes stay ringed and follow an edit of the steps.
    window_->GetProcessingPanel()->SetShow(qm::ShowWhat::Raw);
    QTRY_VERIFY(!window_->GetProcessingRunner()->Busy() && window_->ProcessedOnPage() == window_->Processed() &&
                window_->Processed()->request.show == qm::ShowWhat::Raw);
    QVERIFY(window_->Processed()->shownIsReadings && window_->Processed()->shownPieces.empty());
    QCOMPARE(PageValue(*window_, 6).toDouble(), 1007.0);
    QCOMPARE(RunScript(window_->View(), "qmSite.state().spikeRings").toInt(), 6);
    recipe.steps.resize(1);
    recipe.steps[0].enabled = false;
    window_->GetProcessingPanel()->ReplaceRecipe(recipe, QStringLiteral("Set"));
    QTRY_COMPARE(RunScript(window_->View(), "qmSite.state().spikeRings").toInt(), 0);
    QCOMPARE(PageValue(*window_, 6).toDouble(), 1007.0);
}

void TestSiteProcessing::profileStripFollowsTheSelectedTraverse()
{
    // Two points 0.001 degrees of latitude apart are 111.2 m apart; a scale holds one value.
    const std::vector<double> lon{37, 37, 37};
    const std::vector<double> lat{56, 56.001, 56.002};
    const std::vector<double> d = qm::DistancesAlong(lon, lat);
    QVERIFY(std::abs(d[1] - 111.195) < 0.01 && std::abs(d[2] - 2 * d[1]) < 1e-6);
    const std::vector<double> one{5, NAN, NAN};
    const std::span<const double> series[] = {one};
    const qm::StripScale scale = qm::ScaleFor(d, series, 10, 0, 100, 50);
    QVERIFY(scale.Y(5) > 0 && scale.Y(5) < 50 && scale.X(d[2]) == 110);

    QVERIFY(ShowAndWait(Lines(3, 20)));
    window_->SetSelection(1, 4);
    QCOMPARE(window_->GetProfileStrip()->Marked(), 3);
    QCOMPARE(window_->GetProfileStrip()->Distances().size(), std::size_t{20});
    window_->SetSelection(2, 999); // a row without a placed reading: the file, nothing marked
    QCOMPARE(window_->GetProfileStrip()->Marked(), -1);
    QCOMPARE(window_->GetProfileStrip()->Distances().size(), std::size_t{20});
    QVERIFY(!window_->GetProfileStrip()->grab().isNull());
}

void TestSiteProcessing::savedRecipeReplaysToTheSameValuesBitForBit()
{
    std::vector<std::filesystem::path> files;
    for (const QFileInfo& file : QDir(QM_EXAMPLES_DIR).entryInfoList({"line*.csv"}, QDir::Files, QDir::Name))
        files.push_back(qm::ToFsPath(file.absoluteFilePath()));
    QVERIFY(ShowAndWait(std::make_shared<PlacedReadings>(qm::site::GatherReadings(files))));
    process::DespikeStep despike;
    despike.replace = process::Replace::Flag;
    process::ClipStep clip;
    clip.sd = 2.5;
    process::Recipe recipe;
    recipe.traverses = process::TraverseMode::Column2;
    recipe.steps = {StepOf(despike), StepOf(process::ZeroTraverseStep{}), StepOf(process::HighPassStep{31}, false),
                    StepOf(clip)};
    QVERIFY(ProcessAndWait(recipe));
    QTemporaryDir dir;
    const QString recipePath = dir.filePath("site recipe.json");
    qm::ProcessingPanel& panel = *window_->GetProcessingPanel();
    panel.saveFileDialog = [&](const QString&, const QString&, const QString&) { return recipePath; };
    panel.SaveAction()->trigger();
    QVERIFY(errorBoxes.isEmpty());

    const process::ProcessedSite replay =
        process::ProcessSite(process::ReadRecipeFile(recipePath.toStdString(), "recipe"), files);
    const auto view = window_->Processed();
    QVERIFY(view->request.recipe == recipe);
    QVERIFY(SameBits(view->values->value, replay.values.value));
    QVERIFY(view->values->flag == replay.values.flag);

    // The window's readings export against the tool's, when the tool is built beside the tests.
    const QString csv = dir.filePath("window.csv");
    window_->saveFileDialog = [&](const QString&, const QString&, const QString&) { return csv; };
    window_->findChild<QAction*>("exportCsv")->trigger();
    QVERIFY2(errorBoxes.isEmpty(), qPrintable(errorBoxes.join("\n")));
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray mine = written.readAll();
    QVERIFY(mine.startsWith("file,row,label,value,lat,lon,raw,spike"));
    const QString tool = QDir(QCoreApplication::applicationDirPath()).filePath("quarlomet");
    if (!QFileInfo(tool).isExecutable())
        QSKIP("the quarlomet tool is not built beside the tests: its CSV is not compared");
    QStringList arguments{"export", "--recipe", recipePath};
    for (const std::filesystem::path& file : files)
        arguments << QString::fromStdU16String(file.u16string());
    arguments << "-o" << dir.filePath("tool.csv");
    QCOMPARE(QProcess::execute(tool, arguments), 0);
    QFile toolCsv(dir.filePath("tool.csv"));
    QVERIFY(toolCsv.open(QIODevice::ReadOnly));
    QVERIFY(toolCsv.readAll() == mine);
}

void TestSiteProcessing::refusedRecipeShowsTheErrorBoxAndKeepsTheRecipe()
{
    qm::ProcessingPanel& panel = *window_->GetProcessingPanel();
    panel.findChild<QAction*>("addDespike")->trigger();
    const process::Recipe before = panel.GetRecipe();
    QTemporaryDir dir;
    const QString path = dir.filePath("bad.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"recipe": "quarlomet", "version": 1, "steps": [{"op": "high-pass", "window": 4}]})");
    file.close();
    panel.openFileDialog = [&](const QString&, const QString&) { return path; };
    panel.OpenAction()->trigger();
    QCOMPARE(errorBoxes.size(), 1);
    QVERIFY2(errorBoxes[0].startsWith("bad.json: step 1: window must be an odd whole number"), qPrintable(errorBoxes[0]));
    QVERIFY(panel.GetRecipe() == before);
    QCOMPARE(panel.UndoStack()->count(), 1);
}

void TestSiteProcessing::closingTheWindowWhileComputingIsSafe()
{
    // An empty site processes to nothing; a big one is left computing when the window goes.
    QVERIFY(ShowAndWait(std::make_shared<PlacedReadings>()));
    process::Recipe recipe;
    recipe.steps = {StepOf(process::HighPassStep{4001})};
    QVERIFY(ProcessAndWait(recipe));
    QCOMPARE(window_->Processed()->readings->size(), std::size_t{0});
    window_->SetReadings(Noise(2'000'000, 4));
    QTRY_VERIFY_WITH_TIMEOUT(window_->GetProcessingRunner()->Busy(), 1000);
    window_.reset();
    QTest::qWait(50);
}

// The README's pictures of the example site before and after zero-traverse takes its stripes away,
// drawn when QM_PROCESSING_SCREENSHOTS names the folder to write them to (under a virtual X server).
void TestSiteProcessing::screenshotsOfTheExampleSiteRawAndProcessed()
{
    const QString folder = qEnvironmentVariable("QM_PROCESSING_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("QM_PROCESSING_SCREENSHOTS names no folder to draw to");
    std::vector<std::filesystem::path> files;
    for (const QFileInfo& file : QDir(QM_EXAMPLES_DIR).entryInfoList({"line*.csv"}, QDir::Files, QDir::Name))
        files.push_back(qm::ToFsPath(file.absoluteFilePath()));
    window_->resize(1280, 820);
    QVERIFY(ShowAndWait(std::make_shared<PlacedReadings>(qm::site::GatherReadings(files))));
    window_->SetSelection(4, 150);
    QTest::qWait(2000);
    QVERIFY(window_->grab().save(QDir(folder).filePath("site-map-raw.png")));
    process::Recipe recipe;
    recipe.steps = {StepOf(process::ZeroTraverseStep{})};
    QVERIFY(ProcessAndWait(recipe));
    window_->GetProcessingPanel()->SelectStep(0);
    QTest::qWait(2000);
    QVERIFY(window_->grab().save(QDir(folder).filePath("site-map-processed.png")));
}

QM_BROWSER_TEST_MAIN(TestSiteProcessing)
#include "test_site_processing.moc"
