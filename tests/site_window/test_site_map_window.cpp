// The site map window with a real embedded browser, offscreen: what the page draws is read back
// through the page's own script state, and clicks go through the browser like a user's.
#include "platform.h"
#include "site_window_support.h"
#include "error_box.h"
#include "site_grid_panel.h"
#include "site_map_page.h"
#include "site_map_window.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <memory>

using qm::site::PlacedReadings;

using namespace qm::test;

namespace {

QVariantMap GridOnPage(qm::SiteMapWindow& window)
{
    return PageState(window).value("grid").toMap();
}

} // namespace

class TestSiteMapWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void drawsEveryReadingWithTheDefaultAndTypedScale();
    void clickOnADotReportsItsFileAndRowAndSelectionRingsIt();
    void hiddenWindowUpdatesThePageWhenShown();
    void awkwardSurveysGetASensibleView();
    void fetchesOfArraysStillBeingMadeWaitForThem();
    void readingsBeyondTheFirstPieceAreFoundAndRinged();
    void piecesNeverMadeLeaveNoPageWaiting();
    void gridIsShownUnderTheDotsRecolouredAndExported();
    void gridAcrossTheAntimeridianLiesUnderItsDots();
    void gridRefusalsAndCancelAreSaidAndSurveyFilesKept();
    void screenshotOfTheExampleSite();

private:
    bool ShowAndWait(std::shared_ptr<const PlacedReadings> readings);
    std::unique_ptr<qm::SiteMapWindow> window_;
};

void TestSiteMapWindow::initTestCase()
{
    // The browser's cache goes to a test location, not the user's.
    QStandardPaths::setTestModeEnabled(true);
}

void TestSiteMapWindow::init()
{
    window_ = std::make_unique<qm::SiteMapWindow>();
}

void TestSiteMapWindow::cleanup()
{
    window_.reset();
}

bool TestSiteMapWindow::ShowAndWait(std::shared_ptr<const PlacedReadings> readings)
{
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->SetReadings(std::move(readings));
    if (!window_->isVisible())
        window_->show();
    return updated.wait(30000);
}

void TestSiteMapWindow::drawsEveryReadingWithTheDefaultAndTypedScale()
{
    auto readings = Lines(3, 10, 56.75, 37.2, 0.0001);
    readings->withoutPosition = 1234;
    readings->files.push_back("/survey/broken.csv");
    readings->failures.push_back({"/survey/broken.csv", "List index out of bounds (1)"});
    QVERIFY(ShowAndWait(readings));
    QCOMPARE(window_->windowTitle(), QString("Site map"));
    QCOMPARE(window_->StatusText(), QString("30 readings placed from 3 files; 1,234 readings without a usable "
                                            "position; Not loaded: broken.csv (List index out of bounds (1))"));
    const QWebEngineProfile* profile = window_->View()->page()->profile();
    QVERIFY(!profile->isOffTheRecord());
    QVERIFY(profile->cachePath().startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));

    QVariantMap state = PageState(*window_);
    QVERIFY2(state.value("bridge").toBool(), "the page has no web channel");
    QCOMPARE(state.value("readings").toInt(), 30);
    QCOMPARE(state.value("dots").toInt(), 30);
    QVERIFY(!state.value("message").toBool());
    QCOMPARE(state.value("basemap").toString(), QString("OpenStreetMap"));
    // The default scale runs over the middle of the readings, not their extremes (1 and 30).
    const auto scale = window_->ColourScale();
    QVERIFY(scale.min > 1 && scale.max < 30 && scale.min < scale.max);
    QVariantMap legend = state.value("legend").toMap();
    QCOMPARE(legend.value("min").toDouble(), scale.min);
    QCOMPARE(legend.value("max").toDouble(), scale.max);
    QVERIFY(legend.value("shown").toBool());

    // A typed range reaches the legend and the colours; a reversed one is refused.
    auto* minEdit = window_->findChild<QLineEdit*>("minimum");
    auto* maxEdit = window_->findChild<QLineEdit*>("maximum");
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    minEdit->setText("-100");
    maxEdit->setText("300");
    emit maxEdit->editingFinished();
    QVERIFY(updated.wait(10000));
    legend = PageState(*window_).value("legend").toMap();
    QCOMPARE(legend.value("min").toDouble(), -100.0);
    QCOMPARE(legend.value("max").toDouble(), 300.0);
    // The middle tick is the median (15.5), where the diverging colours turn.
    QCOMPARE(legend.value("ticks").toStringList().size(), 3);
    QCOMPARE(legend.value("ticks").toStringList().first(), QString("-100"));
    QCOMPARE(legend.value("ticks").toStringList().last(), QString("300"));
    minEdit->setText("400");
    emit minEdit->editingFinished();
    QCOMPARE(window_->ColourScale().min, -100.0);
    QVERIFY2(window_->StatusText().contains("Min 400 is not below Max 300"), qPrintable(window_->StatusText()));

    // With the typed range kept, the default comes back from the toolbar button; the other
    // palette's end colours reach the page.
    window_->ResetColourRange();
    QCOMPARE(window_->ColourScale().min, scale.min);
    window_->SetColourPalette(qm::site::Palette::Sequential);
    QVERIFY(updated.wait(10000));
    const auto css = [](const qm::site::Rgb& c) { return QString("rgb(%1,%2,%3)").arg(c[0]).arg(c[1]).arg(c[2]); };
    const auto& sequential = window_->ColourScale();
    QCOMPARE(PageState(*window_).value("legend").toMap().value("ends").toStringList(),
             (QStringList{css(qm::site::ColourOf(sequential, sequential.min)),
                          css(qm::site::ColourOf(sequential, sequential.max))}));
}

void TestSiteMapWindow::clickOnADotReportsItsFileAndRowAndSelectionRingsIt()
{
    QVERIFY(ShowAndWait(Lines(3, 10, -33.9, 151.2, 0.0001)));
    // The reading of file 2, row 4 is the 24th.
    const QVariantMap point = RunScript(window_->View(), "qmSite.pointOf(23)").toMap();
    QVERIFY(!point.isEmpty());
    const QPoint at(point.value("x").toInt(), point.value("y").toInt());
    QCOMPARE(RunScript(window_->View(), QString("qmSite.readingAt(%1, %2)").arg(at.x()).arg(at.y())).toInt(), 23);

    // Hovering shows the file, label, reading and position.
    window_->SetLabelLookup([](int file, int row) { return QString("L%1-%2").arg(file).arg(row); });
    QWidget* target = window_->View()->focusProxy();
    QVERIFY(target);
    QTest::mouseMove(target, at - QPoint(1, 0));
    QTest::mouseMove(target, at);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("tip").toString(),
                              QString("line2.csv, L2-4\n24 nT\n-33.899600, 151.200200"), 10000);

    QSignalSpy clicked(window_.get(), &qm::SiteMapWindow::ReadingClicked);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    QVERIFY(clicked.wait(10000));
    QCOMPARE(clicked.first().at(0).toInt(), 2);
    QCOMPARE(clicked.first().at(1).toInt(), 4);

    // Clicking beside every dot selects nothing.
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, window_->View()->height() / 2));
    QVERIFY(!clicked.wait(1000));

    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->SetSelection(2, 4);
    QVERIFY(updated.wait(10000));
    QVariantMap state = PageState(*window_);
    const QVariantMap selection = state.value("selection").toMap();
    QCOMPARE(selection.value("first").toInt(), 20);
    QCOMPARE(selection.value("last").toInt(), 30);
    QCOMPARE(selection.value("ring").toInt(), 23);
    QCOMPARE(state.value("trackPoints").toInt(), 10);
    const QVariantMap ring = state.value("ringAt").toMap();
    QVERIFY(qAbs(ring.value("x").toDouble() - at.x()) <= 1 && qAbs(ring.value("y").toDouble() - at.y()) <= 1);

    // A row without a placed reading keeps the track but rings nothing; file -1 clears both.
    window_->SetSelection(2, 40);
    QVERIFY(updated.wait(10000));
    state = PageState(*window_);
    QCOMPARE(state.value("selection").toMap().value("ring").toInt(), -1);
    QVERIFY(state.value("ringAt").isNull());
    window_->SetSelection(-1, -1);
    QVERIFY(updated.wait(10000));
    QCOMPARE(PageState(*window_).value("trackPoints").toInt(), 0);
}

void TestSiteMapWindow::hiddenWindowUpdatesThePageWhenShown()
{
    QVERIFY(ShowAndWait(Lines(2, 5, 10, 10, 0.0001)));
    // The pyramid of cells follows the dots, and the frames after it draw from it.
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("pyramid").toBool(), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("level").toInt() >= 0, 10000);
    QCOMPARE(PageState(*window_).value("dots").toInt(), 10);
    window_->close();
    QVERIFY(!window_->isVisible());
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->SetReadings(Lines(4, 5, 10, 10, 0.0001));
    window_->SetSelection(1, 2);
    QVERIFY(!updated.wait(500));
    QCOMPARE(PageState(*window_).value("readings").toInt(), 10);
    window_->show();
    QVERIFY(updated.wait(10000));
    const QVariantMap state = PageState(*window_);
    QCOMPARE(state.value("readings").toInt(), 20);
    QCOMPARE(state.value("selection").toMap().value("ring").toInt(), 6);
}

void TestSiteMapWindow::awkwardSurveysGetASensibleView()
{
    struct Case {
        const char* name;
        std::shared_ptr<PlacedReadings> readings;
        double lat;
        double lon;
    };
    // Across the antimeridian the readings run from 179.9995 east on to -179.9985.
    auto across = Lines(5, 5, -16.5, 179.9995, 0.0005);
    for (double& lon : across->lon)
        lon = lon > 180 ? lon - 360 : lon;
    auto onePoint = Lines(1, 50, 48.1, 11.5, 0);
    auto manyFiles = Lines(1000, 1, 50, 8, 0.00001);
    const Case cases[] = {{"antimeridian", across, -16.4985, 180.0005},
                          {"near a pole", Lines(3, 5, 89.99, 20, 0.0005), 85.0509, 20.0005},
                          {"one point", onePoint, 48.1, 11.5},
                          {"1,000 files", manyFiles, 50.00001, 8.005}};
    for (const Case& c : cases) {
        QVERIFY2(ShowAndWait(c.readings), c.name);
        const QVariantMap state = PageState(*window_);
        const QVariantMap view = state.value("view").toMap();
        QVERIFY2(state.value("dots").toInt() >= 1, c.name);
        QVERIFY2(view.value("east").toDouble() - view.value("west").toDouble() < 1, c.name);
        QVERIFY2(view.value("south").toDouble() <= c.lat && c.lat <= view.value("north").toDouble(), c.name);
        const double lon = c.lon;
        QVERIFY2(view.value("west").toDouble() <= lon && lon <= view.value("east").toDouble(), c.name);
    }
    // The 1,000 readings of the last case lie less than a pixel apart: one dot per cell of a few pixels.
    const int dots = PageState(*window_).value("dots").toInt();
    QVERIFY2(dots > 100 && dots < 1000, qPrintable(QString::number(dots)));

    // Nothing placed: the window says so and shows neither dots nor a legend.
    auto none = std::make_shared<PlacedReadings>();
    none->files = {"a.csv"};
    none->withoutPosition = 3;
    QVERIFY(ShowAndWait(none));
    const QVariantMap state = PageState(*window_);
    QVERIFY(state.value("message").toBool());
    QCOMPARE(state.value("dots").toInt(), 0);
    QVERIFY(!state.value("legend").toMap().value("shown").toBool());
    QCOMPARE(window_->StatusText(),
             QString("No reading has a usable position; 3 readings without a usable position; Nothing placed from: a.csv"));
}

void TestSiteMapWindow::fetchesOfArraysStillBeingMadeWaitForThem()
{
    QVERIFY(ShowAndWait(Lines(1, 3, 56.75, 37.2, 0.0001)));
    auto* handler = qobject_cast<qm::SiteDataHandler*>(const_cast<QWebEngineUrlSchemeHandler*>(
        window_->View()->page()->profile()->urlSchemeHandler(qm::kSiteDataScheme)));
    QVERIFY(handler);
    // The page fetches as it does the pieces of its arrays, and keeps the length it got, or -1.
    const auto fetch = [this](const QString& address) {
        RunScript(window_->View(), QString("window.got = undefined; var r = new XMLHttpRequest();"
                                           "r.open('GET', '%1'); r.responseType = 'arraybuffer';"
                                           "r.onloadend = function () { window.got = r.status > 0 && r.status < 400 ? r.response.byteLength : -1; };"
                                           "r.send(); 1")
                                       .arg(address));
    };
    const auto got = [this] { return RunScript(window_->View(), "window.got === undefined ? -2 : window.got").toInt(); };

    fetch(handler->Expect("test-a"));
    QTest::qWait(200);
    QCOMPARE(got(), -2); // still waiting
    handler->Put("test-a", QByteArray(1000, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(got(), 1000, 10000);

    // Dropped before it was made, the fetch fails; a name never announced fails at once.
    fetch(handler->Expect("test-b"));
    QTest::qWait(100);
    handler->Drop("test-");
    QTRY_COMPARE_WITH_TIMEOUT(got(), -1, 10000);
    fetch(qm::SiteDataHandler::Address("test-c"));
    QTRY_COMPARE_WITH_TIMEOUT(got(), -1, 10000);
}

void TestSiteMapWindow::readingsBeyondTheFirstPieceAreFoundAndRinged()
{
    // Two files: the first's readings all at one point fill more than the page's first piece of
    // each array; the second's lie apart, north-east of it.
    const int first = static_cast<int>(qm::kPagePieceReadings) + 100;
    auto readings = Lines(1, first, 56.75, 37.2, 0.0);
    for (int r = 1; r <= 3; ++r) {
        readings->files.resize(2, "far.csv");
        readings->lon.push_back(37.2 + 0.0002 * r);
        readings->lat.push_back(56.75 + 0.0002 * r);
        readings->value.push_back(r);
        readings->file.push_back(1);
        readings->row.push_back(static_cast<std::uint32_t>(r));
    }
    QVERIFY(ShowAndWait(readings));
    QCOMPARE(PageState(*window_).value("dots").toInt(), 4);
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->SetSelection(1, 2);
    QVERIFY(updated.wait(10000));
    const QVariantMap state = PageState(*window_);
    QCOMPARE(state.value("selection").toMap().value("ring").toInt(), first + 1);
    QCOMPARE(state.value("trackPoints").toInt(), 3);
    const QVariantMap point = RunScript(window_->View(), QString("qmSite.pointOf(%1)").arg(first + 1)).toMap();
    const QVariantMap ring = state.value("ringAt").toMap();
    QVERIFY(qAbs(ring.value("x").toDouble() - point.value("x").toDouble()) <= 1);
    QVERIFY(qAbs(ring.value("y").toDouble() - point.value("y").toDouble()) <= 1);
    QCOMPARE(RunScript(window_->View(), QString("qmSite.readingAt(%1, %2)").arg(point.value("x").toInt()).arg(point.value("y").toInt()))
                 .toInt(),
             first + 1);
}

void TestSiteMapWindow::piecesNeverMadeLeaveNoPageWaiting()
{
    QVERIFY(ShowAndWait(Lines(1, 3, 56.75, 37.2, 0.0001)));
    // The page waits for pieces still being made; the readings are then replaced by none.
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ReadingsDrawn);
    auto waiting = Lines(2, 50, 56.75, 37.2, 0.0001);
    window_->SetReadings(waiting, qm::BeginPage(waiting));
    QTest::qWait(300);
    QCOMPARE(drawn.count(), 0);
    // Meanwhile a click on a dot still drawn is not taken for the reading of its index among those
    // on their way.
    QSignalSpy clicked(window_.get(), &qm::SiteMapWindow::ReadingClicked);
    const QVariantMap dot = RunScript(window_->View(), "qmSite.pointOf(1)").toMap();
    const QPoint at(dot.value("x").toInt(), dot.value("y").toInt());
    QVERIFY(RunScript(window_->View(), QString("qmSite.readingAt(%1, %2)").arg(at.x()).arg(at.y())).toInt() >= 0);
    QTest::mouseClick(window_->View()->focusProxy(), Qt::LeftButton, {}, at);
    QVERIFY(!clicked.wait(1000));
    window_->SetReadings(std::make_shared<PlacedReadings>());
    QVERIFY(drawn.count() > 0 || drawn.wait(10000));
    QCOMPARE(PageState(*window_).value("readings").toInt(), 0);

    // Pieces that could not be made, told while the window is hidden: shown, it draws none and
    // says why.
    window_->hide();
    auto failing = Lines(2, 50, 56.75, 37.2, 0.0001);
    const auto page = qm::BeginPage(failing);
    window_->SetReadings(failing, page);
    window_->PiecesFailed(page.get(), "Out of memory");
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->show();
    QVERIFY(updated.wait(10000));
    QCOMPARE(PageState(*window_).value("readings").toInt(), 0);
    QVERIFY(window_->StatusText().endsWith("Out of memory"));
}

void TestSiteMapWindow::gridIsShownUnderTheDotsRecolouredAndExported()
{
    // 8 lines about 0.6 m apart, readings 1.1 m apart along them.
    const auto readings = Lines(8, 40, 56.75, 37.2, 0.00001);
    QVERIFY(ShowAndWait(readings));
    qm::SiteGridPanel* panel = window_->GridPanel();
    auto* geoTiff = window_->findChild<QAction*>("exportGeoTiff");
    QVERIFY(!geoTiff->isEnabled());

    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(GridOnPage(*window_).value("loaded").toBool(), 30000);
    QCOMPARE(panel->Computations(), 1);
    const auto grid = panel->Grid();
    QVERIFY(grid && geoTiff->isEnabled());
    QVERIFY2(window_->StatusText().contains("UTM zone 37N"), qPrintable(window_->StatusText()));
    QCOMPARE(window_->findChild<QLineEdit*>("cell")->text().toDouble(), grid->grid.cellSize);

    // The image lies square in degrees over every reading, a few cells beyond at most, and the
    // dots stay drawn on top of it.
    QVariantMap onPage = GridOnPage(*window_);
    const QVariantList bounds = onPage.value("bounds").toList();
    QCOMPARE(bounds.size(), 4);
    const double south = bounds[0].toDouble(), west = bounds[1].toDouble(), north = bounds[2].toDouble(),
                 east = bounds[3].toDouble();
    QCOMPARE(west, grid->image.west);
    QCOMPARE(north, grid->image.north);
    const auto [minLat, maxLat] = std::minmax_element(readings->lat.begin(), readings->lat.end());
    const auto [minLon, maxLon] = std::minmax_element(readings->lon.begin(), readings->lon.end());
    const double margin = 0.00005; // about 5 m
    QVERIFY(south <= *minLat && south > *minLat - margin && north >= *maxLat && north < *maxLat + margin);
    QVERIFY(west <= *minLon && west > *minLon - margin && east >= *maxLon && east < *maxLon + margin);
    QCOMPARE(onPage.value("width").toInt(), grid->image.width);
    QCOMPARE(PageState(*window_).value("dots").toInt(), 320);

    // A new palette colours the grid again, hiding and showing it again computes nothing; a new
    // method does.
    window_->SetColourPalette(qm::site::Palette::Sequential);
    window_->findChild<QCheckBox*>("showGrid")->click();
    QTRY_VERIFY_WITH_TIMEOUT(GridOnPage(*window_).isEmpty(), 10000);
    window_->findChild<QCheckBox*>("showGrid")->click();
    QTRY_VERIFY_WITH_TIMEOUT(GridOnPage(*window_).value("loaded").toBool(), 10000);
    QCOMPARE(panel->Computations(), 1);
    auto* method = window_->findChild<QComboBox*>("method");
    method->setCurrentIndex(method->findText("nearest"));
    emit method->activated(method->currentIndex());
    QTRY_COMPARE_WITH_TIMEOUT(panel->Grid() && panel->Grid()->grid.method == qm::site::GridMethod::Nearest, true, 30000);
    QCOMPARE(panel->Computations(), 2);

    // Opacity and the dots reach the page; hidden dots cannot be clicked.
    window_->findChild<QSlider*>("opacity")->setValue(30);
    window_->findChild<QCheckBox*>("dots")->setChecked(false);
    QTRY_COMPARE_WITH_TIMEOUT(GridOnPage(*window_).value("opacity").toDouble(), 0.3, 10000);
    QVERIFY(!PageState(*window_).value("dotsShown").toBool());
    QCOMPARE(RunScript(window_->View(), "qmSite.readingAt(qmSite.pointOf(5).x, qmSite.pointOf(5).y)").toInt(), -1);

    // The GeoTIFF export through the (stubbed) dialog reads back with GDAL in the grid's zone.
    QTemporaryDir dir;
    QString asked;
    window_->saveFileDialog = [&](const QString&, const QString& suggested, const QString&) {
        asked = suggested;
        return dir.filePath(QFileInfo(suggested).fileName());
    };
    geoTiff->trigger();
    QCOMPARE(QFileInfo(asked).fileName(), QString("site.tif"));
    const QByteArray tif = dir.filePath("site.tif").toUtf8();
    GDALDatasetUniquePtr written(GDALDataset::Open(tif.constData(), GDAL_OF_RASTER));
    QVERIFY(written);
    int northern = 0;
    const OGRSpatialReference* srs = written->GetSpatialRef();
    QVERIFY(srs); // a GeoTIFF without a coordinate system fails here, not in a crash
    QCOMPARE(srs->GetUTMZone(&northern), 37);
    QCOMPARE(written->GetRasterXSize(), panel->Grid()->grid.width);
    QCOMPARE(written->GetRasterYSize(), panel->Grid()->grid.height);
    QVERIFY(errorBoxes.isEmpty());
}

void TestSiteMapWindow::gridRefusalsAndCancelAreSaidAndSurveyFilesKept()
{
    qm::SetErrorBoxHook(&RecordErrorBox);
    errorBoxes.clear();
    // Readings all on one point: linear interpolation is refused, with the methods that work.
    QVERIFY(ShowAndWait(Lines(1, 20, 48.1, 11.5, 0)));
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(errorBoxes.size(), 1, 30000);
    QVERIFY2(errorBoxes.first().contains("\"nearest\""), qPrintable(errorBoxes.first()));
    QVERIFY(window_->StatusText().contains("No grid: All readings lie on one point"));
    QVERIFY(!window_->findChild<QCheckBox*>("showGrid")->isChecked());
    QVERIFY(!window_->findChild<QAction*>("exportGeoTiff")->isEnabled());

    // A cancel says so and leaves no grid, whenever the worker ends.
    QVERIFY(ShowAndWait(Lines(30, 200, 48.1, 11.5, 0.00001)));
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QVERIFY(window_->GridPanel()->Computing());
    QTest::mouseClick(window_->findChild<QToolButton*>("cancelGrid"), Qt::LeftButton);
    QVERIFY(window_->StatusText().endsWith("Cancelled."));
    QTest::qWait(500);
    QVERIFY(!window_->GridPanel()->Grid());
    QVERIFY(GridOnPage(*window_).isEmpty());
    QCOMPARE(errorBoxes.size(), 1);

    // An export never lands on a survey file of the list.
    QTemporaryDir dir;
    const QString survey = dir.filePath("line0.csv");
    QFile file(survey);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Position,Field nT\r\n");
    file.close();
    auto named = Lines(1, 5, 48.1, 11.5, 0.0001);
    named->files = {survey.toStdString()};
    QVERIFY(ShowAndWait(named));
    window_->saveFileDialog = [&](const QString&, const QString&, const QString&) { return survey; };
    window_->findChild<QAction*>("exportCsv")->trigger();
    QCOMPARE(errorBoxes.size(), 2);
    QVERIFY2(errorBoxes.last().contains("is a survey file of the list"), qPrintable(errorBoxes.last()));
    QCOMPARE(QFileInfo(survey).size(), 19);
    // After a failed export the status line no longer tells of an earlier success.
    QVERIFY2(window_->StatusText().contains("Readings not exported to"), qPrintable(window_->StatusText()));

    // Nor does a grid export land on one (one line: "nearest" grids it).
    auto* method = window_->findChild<QComboBox*>("method");
    method->setCurrentIndex(method->findText("nearest"));
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window_->GridPanel()->Grid(), 30000);
    window_->findChild<QAction*>("exportGeoTiff")->trigger();
    QCOMPARE(errorBoxes.size(), 3);
    QVERIFY2(errorBoxes.last().contains("names a .csv file"), qPrintable(errorBoxes.last()));
    QCOMPARE(QFileInfo(survey).size(), 19);
    qm::SetErrorBoxHook(nullptr);
}

void TestSiteMapWindow::gridAcrossTheAntimeridianLiesUnderItsDots()
{
    // 8 lines about 1 m apart from 179.99996 E on past the antimeridian to 179.99996 W, given as
    // the receiver writes them (west of it negative).
    auto readings = Lines(8, 40, -16.5, 179.99996, 0.00001);
    for (double& lon : readings->lon)
        lon = lon > 180 ? lon - 360 : lon;
    QVERIFY(ShowAndWait(readings));
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(GridOnPage(*window_).value("loaded").toBool(), 30000);
    // One image on the dots' own turn of the world, running on past 180 as they do, not a strip
    // of the whole world nor one at the other end of the map.
    const QVariantList bounds = GridOnPage(*window_).value("bounds").toList();
    QCOMPARE(bounds.size(), 4);
    const double west = bounds[1].toDouble(), east = bounds[3].toDouble();
    QVERIFY2(west < 179.99996 && west > 179.9995 && east > 180.00003 && east < 180.0005,
             qPrintable(QStringLiteral("%1 to %2").arg(west, 0, 'f', 6).arg(east, 0, 'f', 6)));
    const QVariantMap view = PageState(*window_).value("view").toMap();
    QVERIFY(view.value("west").toDouble() < 180 && view.value("east").toDouble() > 180);
    QCOMPARE(PageState(*window_).value("dots").toInt(), 320);
}

// The README's picture of the example survey gridded on the map, drawn when QM_SITE_SCREENSHOT
// names the file to write (scripts/screenshots runs it under a virtual X server).
void TestSiteMapWindow::screenshotOfTheExampleSite()
{
    const QString out = qEnvironmentVariable("QM_SITE_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("QM_SITE_SCREENSHOT names no file to draw");
    std::vector<std::filesystem::path> files;
    for (const QFileInfo& file : QDir(QM_EXAMPLES_DIR).entryInfoList({"line*.csv"}, QDir::Files, QDir::Name))
        files.push_back(qm::ToFsPath(file.absoluteFilePath()));
    window_->resize(1000, 760);
    QVERIFY(ShowAndWait(std::make_shared<PlacedReadings>(qm::site::GatherReadings(files))));
    window_->SetSelection(4, 150);
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(GridOnPage(*window_).value("loaded").toBool(), 60000);
    QTest::qWait(2000);
    QVERIFY(window_->grab().save(out));
}

QM_BROWSER_TEST_MAIN(TestSiteMapWindow)
#include "test_site_map_window.moc"
