// The map window with a real embedded browser, offscreen: the generated page is read back through
// the page's own script state.
#include "../browser_test_main.h"
#include "error_box.h"
#include "map_window.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFrame>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

QStringList g_errorBoxes;

void RecordErrorBox(const QString& text)
{
    g_errorBoxes.append(text);
}

QVariantMap MapState(TFormMapa& window)
{
    return RunScript(window.WebBrowser1, QStringLiteral("window.qmMapState ? qmMapState() : null")).toMap();
}

} // namespace

class TestMapWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void showGeneratesTheDefaultMap();
    void generateMapShowsTheRequestedMap();
    void generateMapSizesTheWindow();
    void showHandlerRunsOnlyWhenHiddenWindowIsShown();
    void closeFreesThePageLines();
    void missingTemplateShowsErrorAndLeavesWindowShown();
    void layoutCoversTheComboBoxes();

private:
    bool WaitForLoad(TFormMapa& window);

    std::unique_ptr<QTemporaryDir> pageDir_;
    QTemporaryDir emptyDir_;
    std::unique_ptr<TFormMapa> window_;
    QStringList checked_;
};

void TestMapWindow::init()
{
    g_errorBoxes.clear();
    checked_.clear();
    qm::SetErrorBoxHook(&RecordErrorBox);
    pageDir_ = std::make_unique<QTemporaryDir>();
    window_ = std::make_unique<TFormMapa>();
    // The template and Leaflet are copied next to the test executables by the build.
    window_->SetTemplateDir(QCoreApplication::applicationDirPath());
    window_->SetPageDir(pageDir_->path());
    connect(window_.get(), &TFormMapa::CheckMapControl, this, [this](const QString& name, bool tick) {
        checked_.append(name + (tick ? QStringLiteral("+") : QStringLiteral("-")));
    });
}

void TestMapWindow::cleanup()
{
    window_.reset();
    qm::SetErrorBoxHook(nullptr);
}

bool TestMapWindow::WaitForLoad(TFormMapa& window)
{
    QSignalSpy loaded(window.WebBrowser1, &QWebEngineView::loadFinished);
    if (!loaded.wait(30000))
        return false;
    return loaded.takeFirst().at(0).toBool();
}

void TestMapWindow::showGeneratesTheDefaultMap()
{
    QSignalSpy loaded(window_->WebBrowser1, &QWebEngineView::loadFinished);
    window_->show();
    QVERIFY(g_errorBoxes.isEmpty());
    QCOMPARE(checked_, (QStringList{"GLargeMapControl+", "GSmallZoomControl+", "GMapTypeControl+"}));
    QCOMPARE(window_->pagePath(), QDir(pageDir_->path()).filePath("Mapa.html"));
    QVERIFY(!window_->ComboBox1->isEnabled());
    QVERIFY(window_->ComboBox1->findText("Default") >= 0);

    QVERIFY(loaded.wait(30000));
    QVERIFY(loaded.first().at(0).toBool());
    QVERIFY(window_->ComboBox1->isEnabled());

    const QVariantMap state = MapState(*window_);
    QVERIFY2(state.value("exists").toBool(), "the page made no map");
    QCOMPARE(state.value("mapType").toString(), QString("G_HYBRID_MAP"));
    QCOMPARE(state.value("controls").toStringList(),
             (QStringList{"GMapTypeControl", "GSmallZoomControl", "GLargeMapControl"}));
    const QVariantList markers = state.value("markers").toList();
    QCOMPARE(markers.size(), 1);
    QCOMPARE(markers[0].toMap().value("lat").toDouble(), 56.751655);
    QCOMPARE(markers[0].toMap().value("lng").toDouble(), 37.202829);
    QVERIFY(state.value("infoWindowOpen").toBool());
    QCOMPARE(state.value("width").toInt(), 400);
    QCOMPARE(state.value("height").toInt(), 750);
    QCOMPARE(RunScript(window_->WebBrowser1, "document.body.style.overflow").toString(), QString("hidden"));

    // The page on disk is the generated one, with CR LF line ends.
    QFile page(window_->pagePath());
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray bytes = page.readAll();
    QVERIFY(bytes.contains("        var point = new GLatLng(56.751655,37.202829);\r\n"));
    QVERIFY(bytes.endsWith("\r\n"));
    QVERIFY(!bytes.contains("##"));
}

void TestMapWindow::generateMapShowsTheRequestedMap()
{
    window_->show();
    QVERIFY(WaitForLoad(*window_));

    QSignalSpy loaded(window_->WebBrowser1, &QWebEngineView::loadFinished);
    window_->GenerateMap(750, 400, {"GScaleControl", "GOverviewMapControl", "GHierarchicalMapTypeControl"}, true,
                         "-33.5", "151.25", "G_SATELLITE_MAP");
    QVERIFY(loaded.wait(30000));
    const QVariantMap state = MapState(*window_);
    QVERIFY(state.value("exists").toBool());
    QCOMPARE(state.value("mapType").toString(), QString("G_SATELLITE_MAP"));
    QCOMPARE(state.value("controls").toStringList(),
             (QStringList{"GHierarchicalMapTypeControl", "GOverviewMapControl", "GScaleControl"}));
    const QVariantList markers = state.value("markers").toList();
    QCOMPARE(markers.size(), 1);
    QCOMPARE(markers[0].toMap().value("lat").toDouble(), -33.5);
    QCOMPARE(markers[0].toMap().value("lng").toDouble(), 151.25);

    // No marker: the map stands alone, in the plain map type.
    window_->GenerateMap(300, 200, {}, false, "1", "2", "G_NORMAL_MAP");
    QVERIFY(loaded.wait(30000));
    const QVariantMap bare = MapState(*window_);
    QCOMPARE(bare.value("mapType").toString(), QString("G_NORMAL_MAP"));
    QVERIFY(bare.value("controls").toList().isEmpty());
    QVERIFY(bare.value("markers").toList().isEmpty());
    QCOMPARE(bare.value("width").toInt(), 200);
}

void TestMapWindow::generateMapSizesTheWindow()
{
    window_->show();
    QCOMPARE(window_->frameGeometry().size(), QSize(450, 815));
    window_->GenerateMap(100, 250, {}, true, "0", "0", "G_NORMAL_MAP");
    QCOMPARE(window_->frameGeometry().size(), QSize(300, 165));
    // The panel and the browser follow the client area.
    QCOMPARE(window_->pnlMapa->geometry(), window_->rect());
    QCOMPARE(window_->WebBrowser1->geometry(), window_->pnlMapa->rect().adjusted(1, 1, -1, -1));
}

void TestMapWindow::showHandlerRunsOnlyWhenHiddenWindowIsShown()
{
    window_->show();
    QCOMPARE(checked_.size(), 3);
    window_->show();
    window_->raise();
    QCOMPARE(checked_.size(), 3);
    window_->hide();
    window_->show();
    QCOMPARE(checked_.size(), 6);
    QVERIFY(g_errorBoxes.isEmpty());
}

void TestMapWindow::closeFreesThePageLines()
{
    QVERIFY(window_->pageLines() == nullptr);
    window_->show();
    QVERIFY(window_->pageLines() != nullptr);
    QVERIFY(!window_->pageLines()->empty());
    QVERIFY(window_->close());
    QVERIFY(!window_->isVisible());
    QVERIFY(window_->pageLines() == nullptr);
    // Showing it again builds the page from the template anew.
    window_->show();
    QVERIFY(window_->pageLines() != nullptr);
    QCOMPARE(checked_.size(), 6);
}

void TestMapWindow::missingTemplateShowsErrorAndLeavesWindowShown()
{
    window_->SetTemplateDir(emptyDir_.path());
    window_->show();
    QCOMPARE(g_errorBoxes.size(), 1);
    const QString templatePath = QDir::toNativeSeparators(QDir(emptyDir_.path()).filePath("_Mapa.html"));
    QVERIFY2(g_errorBoxes[0].startsWith("Cannot open file \"" + templatePath + "\". "), qPrintable(g_errorBoxes[0]));
    QVERIFY(g_errorBoxes[0].endsWith('.'));
    QVERIFY(window_->isVisible());
    QCOMPARE(window_->frameGeometry().size(), QSize(450, 815));
    // The rest of the show handler was skipped.
    QVERIFY(checked_.isEmpty());
    QVERIFY(!QFile::exists(window_->pagePath()));

    // A page that cannot be written is reported the same way, from the call itself.
    window_->SetTemplateDir(QCoreApplication::applicationDirPath());
    window_->SetPageDir(QDir(emptyDir_.path()).filePath("missing"));
    window_->hide();
    window_->show();
    QCOMPARE(g_errorBoxes.size(), 2);
    QVERIFY2(g_errorBoxes[1].startsWith("Cannot create file \""), qPrintable(g_errorBoxes[1]));
}

void TestMapWindow::layoutCoversTheComboBoxes()
{
    QCOMPARE(window_->windowTitle(), QString("GoogleMap"));
    QCOMPARE(window_->ComboBox2->count(), 4);
    QCOMPARE(window_->ComboBox2->itemText(3), QString("4"));
    QVERIFY(!window_->ComboBox1->isEditable());
    window_->show();
    // The panel is stacked above both combo boxes.
    const QObjectList& children = window_->children();
    QVERIFY(children.indexOf(window_->pnlMapa) > children.indexOf(window_->ComboBox1));
    QVERIFY(children.indexOf(window_->pnlMapa) > children.indexOf(window_->ComboBox2));
    QCOMPARE(window_->pnlMapa->frameWidth(), 1);
    // Fonts sorted without regard to case, no neighbours equal but for case.
    const QComboBox* fonts = window_->ComboBox1;
    for (int i = 1; i < fonts->count(); ++i)
        QVERIFY(fonts->itemText(i - 1).compare(fonts->itemText(i), Qt::CaseInsensitive) <= 0);
}

QM_BROWSER_TEST_MAIN(TestMapWindow)

#include "test_map_window.moc"
