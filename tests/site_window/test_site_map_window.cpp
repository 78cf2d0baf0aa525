// The site map window with a real embedded browser, offscreen: what the page draws is read back
// through the page's own script state, and clicks go through the browser like a user's.
#include "../browser_test_main.h"
#include "site_map_window.h"

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

namespace {

QVariant RunScript(QWebEngineView* view, const QString& script)
{
    QVariant result;
    QEventLoop loop;
    view->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result;
}

QVariantMap PageState(qm::SiteMapWindow& window)
{
    return RunScript(window.view(), QStringLiteral("qmSite.state()")).toMap();
}

// `files` survey lines `step` degrees apart, each of `perFile` readings running north; the reading
// of file f, row r is 10 f + r nT.
std::shared_ptr<PlacedReadings> Lines(int files, int perFile, double lat0, double lon0, double step)
{
    auto readings = std::make_shared<PlacedReadings>();
    for (int f = 0; f < files; ++f) {
        readings->files.push_back("line" + std::to_string(f) + ".csv");
        for (int r = 1; r <= perFile; ++r) {
            readings->lon.push_back(lon0 + f * step);
            readings->lat.push_back(lat0 + r * step);
            readings->value.push_back(10.0 * f + r);
            readings->file.push_back(static_cast<std::uint32_t>(f));
            readings->row.push_back(static_cast<std::uint32_t>(r));
        }
    }
    return readings;
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
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::pageUpdated);
    window_->setReadings(std::move(readings));
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
    QCOMPARE(window_->statusText(), QString("30 readings placed from 3 files; 1,234 readings without a usable "
                                            "position; Not loaded: broken.csv (List index out of bounds (1))"));
    const QWebEngineProfile* profile = window_->view()->page()->profile();
    QVERIFY(!profile->isOffTheRecord());
    QVERIFY(profile->cachePath().startsWith(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)));

    QVariantMap state = PageState(*window_);
    QVERIFY2(state.value("bridge").toBool(), "the page has no web channel");
    QCOMPARE(state.value("readings").toInt(), 30);
    QCOMPARE(state.value("dots").toInt(), 30);
    QVERIFY(!state.value("message").toBool());
    QCOMPARE(state.value("basemap").toString(), QString("OpenStreetMap"));
    // The default scale runs over the middle of the readings, not their extremes (1 and 30).
    const auto scale = window_->colourScale();
    QVERIFY(scale.min > 1 && scale.max < 30 && scale.min < scale.max);
    QVariantMap legend = state.value("legend").toMap();
    QCOMPARE(legend.value("min").toDouble(), scale.min);
    QCOMPARE(legend.value("max").toDouble(), scale.max);
    QVERIFY(legend.value("shown").toBool());

    // A typed range reaches the legend and the colours; a reversed one is refused.
    auto* minEdit = window_->findChild<QLineEdit*>("minimum");
    auto* maxEdit = window_->findChild<QLineEdit*>("maximum");
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::pageUpdated);
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
    QCOMPARE(window_->colourScale().min, -100.0);
    QCOMPARE(minEdit->text(), QString("-100"));

    // With the typed range kept, the default comes back from the toolbar button; the other
    // palette's end colours reach the page.
    window_->resetColourRange();
    QCOMPARE(window_->colourScale().min, scale.min);
    window_->setColourPalette(qm::site::Palette::Sequential);
    QVERIFY(updated.wait(10000));
    const auto css = [](const qm::site::Rgb& c) { return QString("rgb(%1,%2,%3)").arg(c[0]).arg(c[1]).arg(c[2]); };
    const auto& sequential = window_->colourScale();
    QCOMPARE(PageState(*window_).value("legend").toMap().value("ends").toStringList(),
             (QStringList{css(qm::site::ColourOf(sequential, sequential.min)),
                          css(qm::site::ColourOf(sequential, sequential.max))}));
}

void TestSiteMapWindow::clickOnADotReportsItsFileAndRowAndSelectionRingsIt()
{
    QVERIFY(ShowAndWait(Lines(3, 10, -33.9, 151.2, 0.0001)));
    // The reading of file 2, row 4 is the 24th.
    const QVariantMap point = RunScript(window_->view(), "qmSite.pointOf(23)").toMap();
    QVERIFY(!point.isEmpty());
    const QPoint at(point.value("x").toInt(), point.value("y").toInt());
    QCOMPARE(RunScript(window_->view(), QString("qmSite.readingAt(%1, %2)").arg(at.x()).arg(at.y())).toInt(), 23);

    // Hovering shows the file, label, reading and position.
    window_->setLabelLookup([](int file, int row) { return QString("L%1-%2").arg(file).arg(row); });
    QWidget* target = window_->view()->focusProxy();
    QVERIFY(target);
    QTest::mouseMove(target, at - QPoint(1, 0));
    QTest::mouseMove(target, at);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("tip").toString(),
                              QString("line2.csv, L2-4\n24 nT\n-33.899600, 151.200200"), 10000);

    QSignalSpy clicked(window_.get(), &qm::SiteMapWindow::readingClicked);
    QTest::mouseClick(target, Qt::LeftButton, {}, at);
    QVERIFY(clicked.wait(10000));
    QCOMPARE(clicked.first().at(0).toInt(), 2);
    QCOMPARE(clicked.first().at(1).toInt(), 4);

    // Clicking beside every dot selects nothing.
    QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(5, window_->view()->height() / 2));
    QVERIFY(!clicked.wait(1000));

    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::pageUpdated);
    window_->setSelection(2, 4);
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
    window_->setSelection(2, 40);
    QVERIFY(updated.wait(10000));
    state = PageState(*window_);
    QCOMPARE(state.value("selection").toMap().value("ring").toInt(), -1);
    QVERIFY(state.value("ringAt").isNull());
    window_->setSelection(-1, -1);
    QVERIFY(updated.wait(10000));
    QCOMPARE(PageState(*window_).value("trackPoints").toInt(), 0);
}

void TestSiteMapWindow::hiddenWindowUpdatesThePageWhenShown()
{
    QVERIFY(ShowAndWait(Lines(2, 5, 10, 10, 0.0001)));
    window_->close();
    QVERIFY(!window_->isVisible());
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::pageUpdated);
    window_->setReadings(Lines(4, 5, 10, 10, 0.0001));
    window_->setSelection(1, 2);
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
    QCOMPARE(window_->statusText(), QString("No reading has a usable position; 3 readings without a usable position"));
}

QM_BROWSER_TEST_MAIN(TestSiteMapWindow)
#include "test_site_map_window.moc"
