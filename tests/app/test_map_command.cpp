// The main window's side of the map: placement right of the map window at start and after "Map",
// the ticked controls and map type reaching the page, and the page read back in the real browser.
#include "../browser_test_main.h"
#include "error_box.h"
#include "main_window.h"
#include "map_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QEventLoop>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QVariantMap>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

QVariantMap MapState(TFormMapa& map)
{
    QVariant result;
    QEventLoop loop;
    map.WebBrowser1->page()->runJavaScript(QStringLiteral("window.qmMapState ? qmMapState() : null"),
                                           [&](const QVariant& value) {
                                               result = value;
                                               loop.quit();
                                           });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result.toMap();
}

// Waits until the browser has finished the page now requested (an earlier load may be cut off).
bool WaitForPage(TFormMapa& map)
{
    QSignalSpy loaded(map.WebBrowser1, &QWebEngineView::loadFinished);
    for (int i = 0; i < 60; ++i) {
        if (!loaded.isEmpty() && loaded.last().at(0).toBool())
            return true;
        loaded.wait(500);
    }
    return false;
}

QString Page(const TFormMapa& map)
{
    QString text;
    for (const std::string& line : *map.pageLines())
        text += QString::fromLatin1(line.c_str()) + u'\n';
    return text;
}

} // namespace

class MapCommandTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir pages_;

private slots:
    void init()
    {
        g_boxes.clear();
        qm::SetErrorBoxHook(&RecordBox);
    }

    void mapCommandShowsThePositionAndPlacesTheMainWindow()
    {
        TFormMapa map;
        map.SetPageDir(pages_.path());
        TForm1 w;
        w.SetMapWindow(&map);
        w.show();
        // At start: right of the map window's design place, before the map window resized itself.
        QCOMPARE(w.pos(), QPoint(570, 160));
        QVERIFY(map.isVisible());
        QCOMPARE(map.frameGeometry().size(), QSize(450, 815));
        QVERIFY(WaitForPage(map));
        for (const char* name : {"GLargeMapControl", "GSmallZoomControl", "GMapTypeControl"})
            QCOMPARE(w.clControls->findItems(name, Qt::MatchExactly).first()->checkState(), Qt::Checked);

        w.lad->setText("-33.865143");
        w.lod->setText("151.2099");
        w.rgTipoMapaItems->button(1)->setChecked(true);
        w.CheckMapControl("ghierarchicalmaptypecontrol", true); // names match without regard to case
        QSignalSpy loaded(map.WebBrowser1, &QWebEngineView::loadFinished);
        w.Button4Click();
        QVERIFY(g_boxes.isEmpty());
        QCOMPARE(w.pos(), QPoint(map.frameGeometry().x() + map.frameGeometry().width(), map.frameGeometry().y()));
        QCOMPARE(w.pos(), QPoint(549, 160));
        // Collected before it is unticked: on the page this time, unticked for the next.
        QCOMPARE(w.clControls->findItems("GHierarchicalMapTypeControl", Qt::MatchExactly).first()->checkState(),
                 Qt::Unchecked);
        const QString page = Page(map);
        QVERIFY(page.contains("        map.setMapType(G_SATELLITE_MAP);\n"));
        QVERIFY(page.contains("        var point = new GLatLng(-33.865143,151.2099);\n"));
        QVERIFY(page.contains("        map.addControl(new GHierarchicalMapTypeControl());\n"
                              "        map.addControl(new GMapTypeControl());\n"
                              "        map.addControl(new GSmallZoomControl());\n"
                              "        map.addControl(new GLargeMapControl());\n"));

        QVERIFY(WaitForPage(map));
        const QVariantMap state = MapState(map);
        QVERIFY(state.value("exists").toBool());
        QCOMPARE(state.value("mapType").toString(), QString("G_SATELLITE_MAP"));
        const QVariantList markers = state.value("markers").toList();
        QCOMPARE(markers.size(), 1);
        QCOMPARE(markers[0].toMap().value("lat").toDouble(), -33.865143);
        QCOMPARE(markers[0].toMap().value("lng").toDouble(), 151.2099);
    }

    void mapCommandRefusesTextThatIsNoPosition()
    {
        TFormMapa map;
        map.SetPageDir(pages_.path());
        TForm1 w;
        w.SetMapWindow(&map);
        w.show();
        const QPoint before = w.pos();
        const auto* linesBefore = map.pageLines();
        const QString pageBefore = Page(map);
        for (const char* text : {"?", "56.7<script>", "91", ""}) {
            g_boxes.clear();
            w.lad->setText(text);
            w.Button4Click();
            QCOMPARE(g_boxes.size(), 1);
        }
        QCOMPARE(map.pageLines(), linesBefore);
        QCOMPARE(Page(map), pageBefore);
        QCOMPARE(w.pos(), before);
    }

    void closingTheMainWindowEndsAPlayback()
    {
        QTemporaryDir dir;
        QStringList files;
        for (int i = 0; i < 5; ++i) {
            QFile file(dir.filePath(QString("f%1.csv").arg(i)));
            file.open(QIODevice::WriteOnly);
            file.write("l,f,t,n,la,e,lo\nP1,50000,t,N,5645.0993,E,03712.1697\n");
            files << file.fileName();
        }
        TForm1 w;
        w.openFileDialog = [files] { return files; };
        w.Button2Click();
        QTimer::singleShot(0, &w, [&w] { w.close(); });
        w.MotionClick();
        QVERIFY(!w.PlaybackRunning());
        QCOMPARE(w.SelectedFile(), 0); // ended at the file it was showing when the window closed
    }
};

QM_BROWSER_TEST_MAIN(MapCommandTest)

#include "test_map_command.moc"
