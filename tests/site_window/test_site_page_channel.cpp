// The site map window's channel to its page, with a real embedded browser offscreen: what the
// window holds reaches a page however late the page connects, and a page loaded again (a reload of
// the view) gets all of it again, its updates told done only once it has drawn them.
#include "site_window_support.h"
#include "site_grid_panel.h"
#include "site_map_page.h"
#include "site_map_window.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <memory>

using namespace qm::test;

namespace {

// What the page shows of the window's state (not of its view, nor the frames' timing).
QVariantMap WindowStateOn(qm::SiteMapWindow& window)
{
    const QVariantMap state = PageState(window);
    QVariantMap shown;
    for (const char* key : {"readings", "legend", "histogram", "selection", "spikes", "measure", "dotsShown", "grid",
                            "contours"})
        shown.insert(key, state.value(key));
    return shown;
}

// Holds back the connection of every page the view loads to its web channel by `ms`, so that the
// page is loaded well before it can hear the window.
void ConnectLate(QWebEngineView* view, int ms)
{
    QWebEngineScript script;
    script.setName(QStringLiteral("connectLate"));
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(QWebEngineScript::MainWorld);
    script.setSourceCode(QStringLiteral("(function () { var Channel = window.QWebChannel;"
                                        "  window.QWebChannel = function (transport, ready) { var self = this;"
                                        "    setTimeout(function () { Channel.call(self, transport, ready); }, %1);"
                                        "  }; })();")
                             .arg(ms));
    view->page()->scripts().insert(script);
}

} // namespace

class TestSitePageChannel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void stateGivenBeforeThePageIsInShowsOnceItIs();
    void aPageLoadedAgainGetsEverythingAgain();
    void aPageLoadedAgainWhileWaitingForPiecesDrawsThemOnceMade();

private:
    std::unique_ptr<qm::SiteMapWindow> window_;
};

void TestSitePageChannel::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestSitePageChannel::init()
{
    window_ = std::make_unique<qm::SiteMapWindow>();
}

void TestSitePageChannel::cleanup()
{
    window_.reset();
}

void TestSitePageChannel::stateGivenBeforeThePageIsInShowsOnceItIs()
{
    // Everything is set while the window has no page yet; showing it loads the page, which is in
    // well before it connects to the channel.
    ConnectLate(window_->View(), 1500);
    window_->SetReadings(Lines(3, 10, 56.75, 37.2, 0.0001));
    window_->SetColourRange(-50, 80);
    window_->SetSelection(1, 4);
    window_->findChild<QToolButton*>("measure")->setChecked(true);
    window_->findChild<QCheckBox*>("dots")->setChecked(false);
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ReadingsDrawn);
    QSignalSpy loaded(window_->View(), &QWebEngineView::loadFinished);
    window_->show();
    QVERIFY(loaded.wait(30000));
    QVERIFY(!RunScript(window_->View(), "qmSite.state().bridge").toBool());
    QVERIFY(drawn.wait(30000));
    const QVariantMap shown = WindowStateOn(*window_);
    QCOMPARE(shown.value("readings").toInt(), 30);
    QCOMPARE(shown.value("legend").toMap().value("min").toDouble(), -50.0);
    QCOMPARE(shown.value("legend").toMap().value("max").toDouble(), 80.0);
    QCOMPARE(shown.value("selection").toMap(), (QVariantMap{{"first", 10}, {"last", 20}, {"ring", 13}}));
    QVERIFY(shown.value("measure").toMap().value("on").toBool());
    QVERIFY(!shown.value("dotsShown").toBool());
}

void TestSitePageChannel::aPageLoadedAgainGetsEverythingAgain()
{
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ReadingsDrawn);
    window_->SetReadings(Lines(8, 40, 56.75, 37.2, 0.00001)); // 10 to 110 nT
    window_->show();
    QVERIFY(drawn.wait(30000));
    window_->SetColourRange(20, 90);
    window_->SetSelection(2, 7);
    window_->findChild<QToolButton*>("measure")->setChecked(true);
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("grid").toMap().value("loaded").toBool(), 30000);
    Type(window_->findChild<QLineEdit*>("contourInterval"), "10");
    window_->findChild<QCheckBox*>("contours")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("contours").toMap().value("lines").toInt() > 0, 30000);
    window_->findChild<QCheckBox*>("dots")->setChecked(false);
    QTRY_VERIFY_WITH_TIMEOUT(!PageState(*window_).value("dotsShown").toBool(), 10000);
    const QVariantMap before = WindowStateOn(*window_);
    QCOMPARE(before.value("readings").toInt(), 320);
    QCOMPARE(before.value("selection").toMap().value("ring").toInt(), 86);
    QVERIFY(!before.value("histogram").isNull());

    drawn.clear();
    window_->View()->reload();
    QVERIFY(drawn.wait(30000));
    QTRY_COMPARE_WITH_TIMEOUT(WindowStateOn(*window_), before, 10000);
    // The pyramid follows the dots again, and the page still reaches the window: a reading's hover
    // text is asked for and shown.
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("pyramid").toBool(), 10000);
    window_->findChild<QCheckBox*>("dots")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("dotsShown").toBool(), 10000);
    const QVariantMap point = RunScript(window_->View(), "qmSite.pointOf(86)").toMap();
    QWidget* target = window_->View()->focusProxy();
    QVERIFY(target);
    QTest::mouseMove(target, QPoint(point.value("x").toInt() - 1, point.value("y").toInt()));
    QTest::mouseMove(target, QPoint(point.value("x").toInt(), point.value("y").toInt()));
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("tip").toString().startsWith("line2.csv, row 7\n"), 10000);
}

void TestSitePageChannel::aPageLoadedAgainWhileWaitingForPiecesDrawsThemOnceMade()
{
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ReadingsDrawn);
    window_->SetReadings(Lines(1, 3, 56.75, 37.2, 0.0001));
    window_->show();
    QVERIFY(drawn.wait(30000));
    // Readings whose pieces are still being made: the page waits for them.
    auto waiting = Lines(2, 50, 56.75, 37.2, 0.0001);
    const auto page = qm::BeginPage(waiting);
    drawn.clear();
    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->SetReadings(waiting, page);
    QTRY_VERIFY_WITH_TIMEOUT(RunScript(window_->View(), "qmSite.busy()").toBool(), 10000);

    // Loaded again meanwhile, the new page is sent them again and waits as well; neither update is
    // told done while nothing is drawn.
    QSignalSpy loaded(window_->View(), &QWebEngineView::loadFinished);
    window_->View()->reload();
    QVERIFY(loaded.wait(30000));
    QTRY_VERIFY_WITH_TIMEOUT(RunScript(window_->View(), "qmSite.busy()").toBool(), 10000);
    QTest::qWait(200);
    QCOMPARE(updated.count(), 0);
    QCOMPARE(drawn.count(), 0);

    qm::MakePieces(*page);
    for (std::size_t k = 0; k < page->Pieces(); ++k)
        window_->PieceReady(page.get(), k);
    QVERIFY(drawn.count() > 0 || drawn.wait(10000));
    const QVariantMap state = PageState(*window_);
    QCOMPARE(state.value("readings").toInt(), 100);
    QVERIFY(state.value("dots").toInt() > 0);
}

QM_BROWSER_TEST_MAIN(TestSitePageChannel)
#include "test_site_page_channel.moc"
