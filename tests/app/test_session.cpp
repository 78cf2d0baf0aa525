// Sessions: a day's work saved and opened again in a fresh window, missing files named and left
// out, and a session of a newer version refused.
#include "error_box.h"
#include "main_window.h"
#include "session_menu.h"
#include "survey_list.h"
#include "survey_table_view.h"

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QTemporaryDir settings_;
    QString Survey(const QString& name, int rows)
    {
        QString text = "label,field,time,ns,lat,ew,lon\r\n";
        for (int i = 1; i <= rows; ++i)
            text += QString("P%1,%2,12:00:00,N,5645.%3,E,03712.1697\r\n").arg(i).arg(50000 + i).arg(1000 + i);
        const QString path = dir_.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text.toLatin1());
        return path;
    }

private slots:
    void initTestCase()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings_.path());
        qm::SetErrorBoxHook(&RecordBox);
    }
    void init() { g_boxes.clear(); }

    void aSavedSessionOpensAsItWasSaved()
    {
        const QStringList files{Survey("a.csv", 4), Survey("b.csv", 6), Survey("c.csv", 3)};
        const QString path = dir_.filePath("day.qmsession");
        qm::Session saved;
        {
            TForm1 w;
            w.SpinEdit2->setValue(7); // before the files: a new contrast draws the matrix
            w.OpenPaths(files);
            w.ClickFile(1);
            // "del" of file rows 2 and 4 (table rows 2, then 3), then a click on file row 5.
            for (const int tableRow : {2, 3}) {
                w.AdvListView1->ShowRow(tableRow);
                w.Button5Click();
            }
            w.ClickRow(3);
            QCOMPARE(w.surveyList()->SelectedRow(), 5);
            w.ComboBox2->setCurrentIndex(2);
            w.ComboBox1->setCurrentIndex(w.ComboBox1->count() - 1); // "manual"
            w.TrackBar1->setValue(w.TrackBar1->value() - 5);
            w.sessionMenu()->captureSiteMap = [] { return QJsonObject{{"palette", "greyscale"}}; };
            w.sessionMenu()->SaveTo(path);
            saved = w.sessionMenu()->Capture();
        }
        // Files below the session's folder are kept relative to it.
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
        QCOMPARE(root["files"].toArray().first().toString(), QString("a.csv"));

        g_boxes.clear(); // the saving window's matrix draw, unshown, is not the point here
        TForm1 w;
        QJsonObject siteMap;
        w.sessionMenu()->restoreSiteMap = [&siteMap](const QJsonObject& state) { siteMap = state; };
        w.sessionMenu()->OpenFrom(path);
        const qm::Session opened = w.sessionMenu()->Capture();
        QCOMPARE(opened.files, files);
        QCOMPARE(opened.selectedFile, 1);
        QCOMPARE(opened.selectedRow, 5);
        QCOMPARE(opened.deletedRows, (std::vector<int>{2, 4}));
        QCOMPARE(w.surveyList()->Table().RowCount(), 5);
        QCOMPARE(opened.contrast, 7);
        QCOMPARE(opened.viewStyle, 2);
        QCOMPARE(opened.trackTop, saved.trackTop);
        QCOMPARE(opened.trackBottom, saved.trackBottom);
        QCOMPARE(opened.scaleMode, saved.scaleMode);
        QCOMPARE(siteMap["palette"].toString(), QString("greyscale"));
        QCOMPARE(w.sessionMenu()->RecentSessions().first(), QFileInfo(path).absoluteFilePath());
        QVERIFY2(g_boxes.isEmpty(), qPrintable(g_boxes.join("|")));
    }

    void siteMapStateRestoredBeforeItsWindowIsSavedAgain()
    {
        // The main window's session hooks reach the site map: a state restored while it has no
        // window yet is what the next save keeps.
        TForm1 w;
        const QJsonObject state{{"palette", "Sequential"}, {"basemap", "Imagery"},
                                {"view", QJsonObject{{"lat", 48.1}, {"lon", 11.5}, {"zoom", 16.0}}}};
        QVERIFY(w.sessionMenu()->restoreSiteMap && w.sessionMenu()->captureSiteMap);
        w.sessionMenu()->restoreSiteMap(state);
        QCOMPARE(w.sessionMenu()->Capture().siteMap, state);
    }

    void missingFilesAreNamedAndNewerVersionsRefused()
    {
        const QString kept = Survey("kept.csv", 2), gone = Survey("gone.csv", 2);
        const QString path = dir_.filePath("missing.qmsession");
        {
            TForm1 w;
            w.OpenPaths({gone, kept});
            w.sessionMenu()->SaveTo(path);
        }
        QFile::remove(gone);
        TForm1 w;
        w.sessionMenu()->actOpenSession->setEnabled(true);
        w.sessionMenu()->openDialog = [path](const QString&) { return path; };
        w.sessionMenu()->actOpenSession->trigger();
        QCOMPARE(w.surveyList()->Paths(), QStringList{kept});
        QCOMPARE(g_boxes.size(), 1);
        QVERIFY2(g_boxes.first().contains("gone.csv"), qPrintable(g_boxes.first()));

        QFile newer(dir_.filePath("newer.qmsession"));
        QVERIFY(newer.open(QIODevice::WriteOnly));
        newer.write(R"({"session": "quarlomet", "version": 2, "files": []})");
        newer.close();
        w.sessionMenu()->openDialog = [&newer](const QString&) { return newer.fileName(); };
        w.sessionMenu()->actOpenSession->trigger();
        QCOMPARE(g_boxes.size(), 2);
        QVERIFY2(g_boxes.last().contains("newer version"), qPrintable(g_boxes.last()));
        QCOMPARE(w.surveyList()->Paths(), QStringList{kept});
    }
};

QTEST_MAIN(SessionTest)
#include "test_session.moc"
