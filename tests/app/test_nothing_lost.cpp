// The viewer only reads survey files: after opening, deleting table rows ("del"), playback, the
// matrix draw, the position readout and "Map", every survey file holds the same bytes with the same
// modification time, and nothing new appears beside them.
#include "../browser_test_main.h"
#include "error_box.h"
#include "field_value.h"
#include "main_window.h"
#include "map_window.h"
#include "profile_chart.h"
#include "survey_table_view.h"
#include "widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

struct FileState {
    QByteArray bytes;
    QDateTime modified;
    qint64 size = 0;
    QFile::Permissions permissions;

    bool operator==(const FileState& other) const
    {
        return bytes == other.bytes && modified == other.modified && size == other.size &&
               permissions == other.permissions;
    }
};

FileState StateOf(const QString& path)
{
    FileState state;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        state.bytes = file.readAll();
    const QFileInfo info(path);
    state.modified = info.lastModified();
    state.size = info.size();
    state.permissions = info.permissions();
    return state;
}

} // namespace

class NothingLostTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        g_boxes.clear();
        qm::SetErrorBoxHook(&RecordBox);
        qm::SetDecimalSeparator('.');
    }
    void cleanup() { qm::SetErrorBoxHook(nullptr); }

    void everyCommandLeavesTheSurveyFilesAsTheyWere()
    {
        QTemporaryDir surveys;
        QTemporaryDir pages;
        QVERIFY(surveys.isValid() && pages.isValid());

        // Example lines, one with odd bytes (a lone CR, an end-of-file byte, no final line break).
        QStringList paths;
        for (const char* name : {"line01.csv", "line02.csv", "line03.csv"}) {
            const QString path = surveys.filePath(QString::fromLatin1(name));
            QVERIFY(QFile::copy(QDir(QStringLiteral(QM_EXAMPLES_DIR)).filePath(QString::fromLatin1(name)), path));
            paths << path;
        }
        {
            QFile odd(surveys.filePath("odd bytes.csv"));
            QVERIFY(odd.open(QIODevice::WriteOnly));
            odd.write("label,field,time,ns,lat,ew,lon\r\n"
                      "P1,50000,12:00:00,N,5645.0993,E,03712.1697\r\n"
                      "P2,500\r01,12:00:00,N,5645.0993,E,03712.1697\n"
                      "P3,50002\x1A,tail\r\n"
                      "P4,50003,12:00:00,N,5645.0993,E,03712.1697");
            paths << odd.fileName();
        }
        // An old modification time, so that any write at all would show.
        const QDateTime past(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
        QMap<QString, FileState> before;
        for (const QString& path : std::as_const(paths)) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(past, QFileDevice::FileModificationTime));
            file.close();
            before[path] = StateOf(path);
            QCOMPARE(before[path].modified, past);
        }
        const QStringList listing = QDir(surveys.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System);

        TFormMapa map;
        map.SetTemplateDir(QCoreApplication::applicationDirPath());
        map.SetPageDir(pages.path());
        TForm1 w;
        w.SetMapWindow(&map);
        w.resize(936, 790);

        // Open, then "del" on a few rows of each file.
        w.openFileDialog = [paths] { return paths; };
        w.Button2Click();
        QCOMPARE(w.Files(), paths);
        for (int file = 0; file < paths.size(); ++file) {
            w.SetSelectedFile(file);
            w.ListView1Click();
            const int rows = w.AdvListView1->table().RowCount();
            QVERIFY(rows >= 4);
            for (int k = 0; k < 3; ++k) {
                w.AdvListView1->SetSelectedRow(1);
                w.Button5Click();
            }
            QCOMPARE(w.AdvListView1->table().RowCount(), rows - 3);
        }
        // Playback, the matrix (smoothed and raw), the position readout and the map.
        w.MotionClick();
        w.Image1->resize(200, 120);
        w.Button3Click();
        w.CheckBox1->setChecked(false);
        w.Button3Click();
        w.SetSelectedFile(0);
        w.ListView1Click();
        w.AdvListView1->SetSelectedRow(2);
        w.AdvListView1Click();
        w.Button4Click();
        // The list edits touch only the list.
        w.SetSelectedFile(1);
        w.MoveDownClick();
        w.MoveUpClick();
        w.DeleteFileClick();
        w.AddPaths({paths[1]});
        QCOMPARE(g_boxes, QStringList());
        QVERIFY(QFile::exists(QDir(pages.path()).filePath("Mapa.html")));

        for (const QString& path : std::as_const(paths)) {
            const FileState after = StateOf(path);
            QVERIFY2(after == before[path], qPrintable(path));
        }
        QCOMPARE(QDir(surveys.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System), listing);
    }
};

QM_BROWSER_TEST_MAIN(NothingLostTest)

#include "test_nothing_lost.moc"
