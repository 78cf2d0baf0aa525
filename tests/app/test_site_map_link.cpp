// The site map driven through the main window, with a real embedded browser offscreen: a click on a
// dot selects its file and row in the main window, the main window's row is ringed on the map, and
// a list change while the map is hidden is gathered only when it is shown again.
#include "../browser_test_main.h"
#include "error_box.h"
#include "field_value.h"
#include "main_window.h"
#include "site_map_link.h"
#include "site_map_window.h"
#include "platform.h"
#include "survey_table.h"
#include "survey_table_view.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

QVariantMap PageState(qm::SiteMapWindow* window)
{
    QVariant result;
    QEventLoop loop;
    window->View()->page()->runJavaScript(QStringLiteral("qmSite.state()"), [&](const QVariant& value) {
        result = value;
        loop.quit();
    });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result.toMap();
}

QVariantMap PointOf(qm::SiteMapWindow* window, int index)
{
    QVariant result;
    QEventLoop loop;
    window->View()->page()->runJavaScript(QStringLiteral("(function (p) { return p ? {x: p.x, y: p.y, at: "
                                                         "qmSite.readingAt(p.x, p.y)} : null; })(qmSite.pointOf(%1))")
                                              .arg(index),
                                          [&](const QVariant& value) {
                                              result = value;
                                              loop.quit();
                                          });
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    return result.toMap();
}

int IndexOf(const qm::site::PlacedReadings& r, int file, int row)
{
    for (std::size_t i = 0; i < r.size(); ++i)
        if (static_cast<int>(r.file[i]) == file && static_cast<int>(r.row[i]) == row)
            return static_cast<int>(i);
    return -1;
}

} // namespace

class SiteMapLinkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        qm::SetErrorBoxHook(&RecordBox);
        qm::SetDecimalSeparator('.');
    }

    void linksBothWaysAndWaitsWhileHidden()
    {
        TForm1 w;
        const QString examples = QStringLiteral(QM_EXAMPLES_DIR);
        const QStringList files{examples + "/line01.csv", examples + "/line02.csv", examples + "/line03.csv"};
        w.OpenPaths(files);
        QCOMPARE(w.SelectedFile(), 0);

        QStringList menus;
        for (QAction* menu : w.menuBar()->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{"File", "Edit", "View", "Session", "Help"}));
        QCOMPARE(w.actSiteMap->text(), QString("Site map"));
        QCOMPARE(w.actSiteMap->shortcut(), QKeySequence("Ctrl+M"));

        qm::SiteMapLink* link = w.siteMap();
        QSignalSpy started(link, &qm::SiteMapLink::GatherStarted);
        QSignalSpy drawn(link, &qm::SiteMapLink::SiteDrawn);
        w.actSiteMap->trigger();
        qm::SiteMapWindow* map = link->Window();
        QVERIFY(map && map->isVisible());
        QCOMPARE(map->windowTitle(), QString("Site map"));
        QVERIFY(drawn.wait(30000));
        QCOMPARE(started.count(), 1);
        const auto readings = map->Readings();
        QCOMPARE(readings->files.size(), std::size_t(3));
        QCOMPARE(PageState(map).value("readings").toInt(), static_cast<int>(readings->size()));
        // The first file, selected on opening, is the emphasised track.
        QCOMPARE(PageState(map).value("selection").toMap().value("first").toInt(), 0);

        // A click on the pixel of a dot of the second file: the main window selects its file and row.
        const QVariantMap point = PointOf(map, IndexOf(*readings, 1, 5));
        QVERIFY(!point.isEmpty());
        const int hit = point.value("at").toInt();
        QVERIFY(hit >= 0);
        QTest::mouseClick(map->View()->focusProxy(), Qt::LeftButton, {},
                          QPoint(point.value("x").toInt(), point.value("y").toInt()));
        QTRY_COMPARE_WITH_TIMEOUT(w.SelectedFile(), static_cast<int>(readings->file[hit]), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(w.AdvListView1->SelectedRow(), static_cast<int>(readings->row[hit]), 10000);
        QCOMPARE(w.Label4->text(), QFileInfo(files[readings->file[hit]]).fileName());
        QVERIFY(g_boxes.isEmpty());

        // A row clicked in the main window is ringed on the map.
        w.ClickFile(1);
        w.ClickRow(7);
        QTRY_COMPARE_WITH_TIMEOUT(PageState(map).value("selection").toMap().value("ring").toInt(),
                                  IndexOf(*readings, 1, 7), 10000);
        // A row without a fix takes the ring off the reading ringed before.
        w.ClickRow(411);
        QTRY_COMPARE_WITH_TIMEOUT(PageState(map).value("selection").toMap().value("ring").toInt(), -1, 10000);
        w.ClickRow(7);
        QTRY_COMPARE_WITH_TIMEOUT(PageState(map).value("selection").toMap().value("ring").toInt(),
                                  IndexOf(*readings, 1, 7), 10000);
        g_boxes.clear();
        // Once "del" removed a table row above it, table row 6 shows the file's row 7: that reading
        // is ringed.
        w.ClickRow(3);
        w.Button5Click();
        w.ClickRow(2);
        w.ClickRow(6);
        QTRY_COMPARE_WITH_TIMEOUT(PageState(map).value("selection").toMap().value("ring").toInt(),
                                  IndexOf(*readings, 1, 7), 10000);

        // A hover names the reading's label as its file holds it, read again from where the
        // gathering found its block of rows ("del" in the table notwithstanding).
        const QVariantMap hovered = PointOf(map, IndexOf(*readings, 1, 130));
        const int under = hovered.value("at").toInt();
        QVERIFY(under >= 0);
        qm::SurveyTable file;
        file.LoadFromCsv(qm::ToFsPath(files[readings->file[under]]));
        const QString label = QString::fromLatin1(file.RowCaption(static_cast<int>(readings->row[under])));
        const QPoint at(hovered.value("x").toInt(), hovered.value("y").toInt());
        QTest::mouseMove(map->View()->focusProxy(), at - QPoint(1, 0));
        QTest::mouseMove(map->View()->focusProxy(), at);
        QTRY_VERIFY_WITH_TIMEOUT(PageState(map).value("tip").toString().startsWith(
                                     QFileInfo(files[readings->file[under]]).fileName() + ", " + label + "\n"),
                                 10000);

        // Deleting the first file while the map is hidden gathers nothing until the map is shown;
        // the emphasis then follows the second file to its new place in the list.
        map->close();
        w.SetSelectedFile(0);
        w.DeleteFileClick();
        QTest::qWait(300);
        QCOMPARE(started.count(), 1);
        QVERIFY(!link->Gathering());
        QCOMPARE(map->Readings(), readings);
        w.actSiteMap->trigger();
        QCOMPARE(started.count(), 2);
        QVERIFY(drawn.wait(30000));
        const auto after = map->Readings();
        QCOMPARE(after->files.size(), std::size_t(2));
        const QVariantMap state = PageState(map);
        QCOMPARE(state.value("readings").toInt(), static_cast<int>(after->size()));
        QCOMPARE(state.value("selection").toMap().value("first").toInt(), 0);
        QCOMPARE(state.value("selection").toMap().value("ring").toInt(), IndexOf(*after, 0, 7));
    }

    // The viewer loads the page while the window is hidden; shown later, the page is laid out for
    // the shown window, so every dot is drawn and a dot's pixel is a dot of the map.
    void warmedWindowDrawsOnceShown()
    {
        TForm1 w;
        w.SetWarmSiteMap(true);
        const QString examples = QStringLiteral(QM_EXAMPLES_DIR);
        w.OpenPaths({examples + "/line01.csv", examples + "/line02.csv"});
        QSignalSpy warmed(w.siteMap(), &qm::SiteMapLink::Warmed);
        w.show();
        QVERIFY(warmed.wait(30000));
        qm::SiteMapWindow* map = w.siteMap()->Window();
        QVERIFY(map && !map->isVisible());
        QVERIFY(!map->View()->url().isEmpty()); // the page is in
        QVERIFY(!w.siteMap()->Gathering()); // nothing is gathered for a hidden window

        QSignalSpy drawn(w.siteMap(), &qm::SiteMapLink::SiteDrawn);
        w.actSiteMap->trigger();
        QVERIFY(drawn.wait(30000));
        const auto readings = map->Readings();
        QCOMPARE(PageState(map).value("readings").toInt(), static_cast<int>(readings->size()));
        const int index = IndexOf(*readings, 1, 5);
        const QVariantMap point = PointOf(map, index);
        QVERIFY(point.value("x").toInt() > 0 && point.value("x").toInt() < map->View()->width());
        QVERIFY(point.value("y").toInt() > 0 && point.value("y").toInt() < map->View()->height());
        QVERIFY(point.value("at").toInt() >= 0);
    }
};

QM_BROWSER_TEST_MAIN(SiteMapLinkTest)
#include "test_site_map_link.moc"
