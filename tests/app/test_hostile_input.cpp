// The main window offscreen against input no surveyor meant to hand it: paths that are no files,
// empty and binary files, giant lines and tables, end-of-file bytes, files changed under a draw,
// unusual file names, a missing map template and an unwritable page location, and a window shrunk to
// nothing. Each gets its message box, and afterwards a valid file still loads and draws.
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
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <functional>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

QByteArray Row(const QByteArray& label, const QByteArray& reading)
{
    return label + "," + reading + ",12:00:00,N,5645.0993,E,03712.1697\r\n";
}

QByteArray Survey(const QList<int>& readings)
{
    QByteArray text = Row("label", "field");
    for (int i = 0; i < readings.size(); ++i)
        text += Row("P" + QByteArray::number(i + 1), QByteArray::number(readings[i]));
    return text;
}

// Writes `total` bytes made of `chunk` repeated (the last copy cut), then `tail`.
bool WriteRepeated(const QString& path, const QByteArray& chunk, qint64 total, const QByteArray& tail = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block;
    while (!chunk.isEmpty() && block.size() < (1 << 20))
        block += chunk;
    if (!chunk.isEmpty())
        block.truncate(block.size() - block.size() % chunk.size());
    for (qint64 left = block.isEmpty() ? 0 : total; left > 0;) {
        const qint64 n = qMin<qint64>(left, block.size());
        if (file.write(block.constData(), n) != n)
            return false;
        left -= n;
    }
    return file.write(tail) == tail.size();
}

} // namespace

class HostileInputTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString valid_;
    QString bigLine_;
    QString millionRows_;

    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    static void Open(TForm1& w, const QStringList& files)
    {
        w.openFileDialog = [files] { return files; };
        w.Button2Click();
    }
    static void Draw(TForm1& w)
    {
        w.Image1->resize(160, 90);
        w.Button3Click();
    }
    // A valid file loads, plots and draws, with no message.
    void StillWorks(TForm1& w)
    {
        g_boxes.clear();
        Open(w, {valid_});
        QCOMPARE(w.AdvListView1->table().RowCount(), 4);
        QCOMPARE(w.Chart1->series(0).Count(), 3);
        QCOMPARE(w.Label4->text(), QString("valid.csv"));
        w.SetBalance(0);
        w.CheckBox1->setChecked(true);
        w.Image1->SetPicture(QImage());
        Draw(w);
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.Image1->Picture().size(), QSize(160, 90));
        QCOMPARE(w.Balance(), std::uint16_t(50000 - 15));
        QVERIFY(!w.DrawRunning());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        valid_ = Write("valid.csv", Survey({50000, 50100, 49900}));
        // 100 MB in one line: readings and commas, no line break at all.
        bigLine_ = dir_.filePath("one-line.csv");
        QVERIFY(WriteRepeated(bigLine_, "50000.5,", 100 << 20));
        // A heading and a million readings.
        millionRows_ = dir_.filePath("million.csv");
        QVERIFY(WriteRepeated(millionRows_, "", 0, Row("label", "field")));
        QFile rows(millionRows_);
        QVERIFY(rows.open(QIODevice::Append));
        QByteArray block;
        for (int i = 0; i < 1000000; ++i) {
            block += Row("L" + QByteArray::number(i), QByteArray::number(49000 + i % 2000) + ".25");
            if (block.size() > (1 << 20)) {
                rows.write(block);
                block.clear();
            }
        }
        rows.write(block);
    }

    void init()
    {
        g_boxes.clear();
        qm::SetErrorBoxHook(&RecordBox);
        qm::SetDecimalSeparator('.');
    }

    void cleanup() { qm::SetErrorBoxHook(nullptr); }

    void pathsThatAreNoFilesCannotBeOpened()
    {
        TForm1 w;
        Open(w, {dir_.filePath("no such file.csv")});
        QCOMPARE(g_boxes, QStringList{"File cannot be opened."});
        QCOMPARE(w.AdvListView1->table().RowCount(), 0);

        g_boxes.clear();
        Open(w, {dir_.path()});
        QCOMPARE(g_boxes, QStringList{"File cannot be opened."});
        QCOMPARE(w.AdvListView1->table().RowCount(), 0);

        // Dropped paths that are no readable files are refused before they reach the list.
        g_boxes.clear();
        w.AddPaths({dir_.path()});
        QCOMPARE(g_boxes.size(), 1);
        QVERIFY(g_boxes[0].startsWith("Not a readable survey file: "));
        QCOMPARE(w.Files(), QStringList{dir_.path()});
        StillWorks(w);
    }

    void emptyFileMissesItsColumns()
    {
        TForm1 w;
        Open(w, {Write("empty.csv", "")});
        QCOMPARE(g_boxes, QStringList{"List index out of bounds (1)"});
        QCOMPARE(w.AdvListView1->table().RowCount(), 0);
        Draw(w);
        QCOMPARE(g_boxes.size(), 2);
        QCOMPARE(g_boxes[1], QString("List index out of bounds (1)"));
        StillWorks(w);
    }

    void binaryBytesGiveAMessageNotACrash()
    {
        TForm1 w;
        QRandomGenerator random(20261207);
        for (int file = 0; file < 4; ++file) {
            QByteArray bytes(64 * 1024, '\0');
            for (char& b : bytes)
                b = static_cast<char>(random.bounded(256));
            // NULs in odd places, and one file of nothing but NULs.
            for (int k = 0; k < 512; ++k)
                bytes[random.bounded(bytes.size())] = '\0';
            if (file == 3)
                bytes.fill('\0');
            g_boxes.clear();
            Open(w, {Write(QString("binary%1.csv").arg(file), bytes)});
            // Such a file fails as a survey file does: a missing column or a reading that does not convert.
            QCOMPARE(g_boxes.size(), 1);
            static const QRegularExpression known(
                "^(List index out of bounds \\(\\d+\\)|'.*' is not a valid floating point value\\.)$",
                QRegularExpression::DotMatchesEverythingOption);
            QVERIFY2(known.match(g_boxes[0]).hasMatch(), qPrintable(g_boxes[0]));
            (void)w.grab(); // the table and chart draw whatever was loaded
            w.AdvListView1->SetSelectedRow(w.AdvListView1->table().RowCount() - 1);
            w.AdvListView1Click();
            Draw(w);
            QVERIFY(!w.DrawRunning());
        }
        StillWorks(w);
    }

    void endOfFileByteCutsLineAndFile()
    {
        TForm1 w;
        const QByteArray text = Row("label", "field") + Row("P1", "50000") +
                                "P2,50001\x1A,12:00:00,N,5645.0993,E,03712.1697\r\n" + Row("P3", "50002\x1A") +
                                "\x1A" + Row("P4", "50003") + Row("P5", "50004");
        Open(w, {Write("eof.csv", text)});
        QCOMPARE(g_boxes, QStringList());
        const qm::SurveyTable& table = w.AdvListView1->table();
        QCOMPARE(table.RowCount(), 4);
        QCOMPARE(table.CellCount(2), 1);
        QCOMPARE(std::string(table.Cell(3, 1)), std::string("50002"));
        QCOMPARE(w.Chart1->series(0).Count(), 3);
        // The cut row has no position cells.
        w.AdvListView1->SetSelectedRow(2);
        w.AdvListView1Click();
        QCOMPARE(g_boxes, QStringList{"List index out of bounds (2)"});
        StillWorks(w);
    }

    void hundredMegabyteLineLoadsAsOneRow()
    {
        TForm1 w;
        Open(w, {bigLine_});
        // One line settles no delimiter: it is split at "," into one row of many cells.
        QCOMPARE(g_boxes, QStringList());
        const qm::SurveyTable& table = w.AdvListView1->table();
        QCOMPARE(table.RowCount(), 1);
        QCOMPARE(table.CellCount(0), (100 << 20) / 8 - 1);
        QCOMPARE(w.Chart1->series(0).Count(), 0);
        (void)w.grab();
        // No data rows: the raster is the one white pixel of column 0, spread over the display.
        Draw(w);
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.Image1->Picture().size(), QSize(160, 90));
        StillWorks(w);
    }

    void millionRowsLoadPlotAndDraw()
    {
        TForm1 w;
        Open(w, {millionRows_});
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.AdvListView1->table().RowCount(), 1000001);
        QCOMPARE(w.Chart1->series(0).Count(), 1000000);
        (void)w.grab();
        w.AdvListView1->ShowRow(999999);
        w.AdvListView1Click();
        QCOMPARE(w.lad->text(), QString("56.751655"));
        w.CheckBox1->setChecked(false);
        Draw(w);
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.Image1->Picture().size(), QSize(1000001, 1)); // the raw raster
        StillWorks(w);
    }

    void filesChangedBetweenThePassesOfADraw()
    {
        TForm1 w;
        const QString a = Write("a.csv", Survey({50000, 50010, 50020, 50030}));
        const QString b = Write("b.csv", Survey({50000, 50000, 50000, 50000, 50000}));
        Open(w, {a, b});
        w.CheckBox1->setChecked(false);
        Draw(w);
        QCOMPARE(g_boxes, QStringList());
        const QImage first = w.Image1->Picture();
        QCOMPARE(first.size(), QSize(5, 2));

        // Pass 2 starts when the draw goes back from the last file to file 0: the change is made then.
        std::function<void()> change;
        bool sawLast = false;
        connect(w.ListView1, &QTreeWidget::currentItemChanged, &w, [&](QTreeWidgetItem* current) {
            const int index = w.ListView1->indexOfTopLevelItem(current);
            if (index == 1)
                sawLast = true;
            if (index == 0 && sawLast && change) {
                change();
                change = nullptr;
            }
        });
        const auto drawWith = [&](std::function<void()> between) {
            g_boxes.clear();
            sawLast = false;
            change = std::move(between);
            Draw(w);
            QVERIFY(!change); // the change was made during the draw
            QVERIFY(!w.DrawRunning());
        };

        // File 0 cut short: its missing readings stay white, the draw completes.
        drawWith([&] { Write("a.csv", Survey({50000})); });
        QCOMPARE(g_boxes, QStringList());
        const QImage cut = w.Image1->Picture();
        QCOMPARE(cut.size(), QSize(5, 2));
        QVERIFY(cut.pixelColor(1, 0) != QColor(Qt::white));
        QCOMPARE(cut.pixelColor(2, 0), QColor(Qt::white));
        QCOMPARE(cut.pixelColor(4, 1), first.pixelColor(4, 1));

        // File 1 replaced by one with a bad reading: the draw ends, the picture stays.
        Write("a.csv", Survey({50000, 50010, 50020, 50030}));
        drawWith([&] { Write("b.csv", Row("label", "field") + Row("P1", "50000") + Row("P2", "5O000")); });
        QCOMPARE(g_boxes, QStringList{"'5O000' is not a valid floating point value."});
        QCOMPARE(w.Image1->Picture(), cut);

        // File 0 emptied, then removed.
        Write("b.csv", Survey({50000, 50000, 50000, 50000, 50000}));
        drawWith([&] { Write("a.csv", ""); });
        QCOMPARE(g_boxes, QStringList{"List index out of bounds (1)"});
        Write("a.csv", Survey({50000, 50010, 50020, 50030}));
        drawWith([&] { QFile::remove(a); });
        QCOMPARE(g_boxes, QStringList{"File cannot be opened."});
        QCOMPARE(w.Image1->Picture(), cut);
        StillWorks(w);
    }

    void unusualFileNamesLoadAndDraw()
    {
        TForm1 w;
        QDir(dir_.path()).mkdir(QString::fromUtf8("dir with spaces é"));
        const QString name = QString::fromUtf8("line 1 Ünterweg ж 東.csv");
        const QString path = dir_.filePath(QString::fromUtf8("dir with spaces é/") + name);
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(Survey({50000, 50001}));
        file.close();
        Open(w, {path});
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.Label4->text(), name);
        QCOMPARE(w.Chart1->series(0).Count(), 2);
        Draw(w);
        QCOMPARE(g_boxes, QStringList());
        w.AddPaths({path});
        QCOMPARE(g_boxes, QStringList());
        QCOMPARE(w.Files().size(), 2);
        StillWorks(w);
    }

    void missingMapTemplateAndUnwritablePage()
    {
        QTemporaryDir pages;
        QTemporaryDir noTemplate;
        TFormMapa map;
        map.SetTemplateDir(noTemplate.path());
        map.SetPageDir(pages.path());
        TForm1 w;
        w.SetMapWindow(&map);
        Open(w, {valid_});
        w.AdvListView1->SetSelectedRow(1);
        w.AdvListView1Click();
        QCOMPARE(w.lad->text(), QString("56.751655"));

        w.Button4Click();
        const QString templatePath = QDir::toNativeSeparators(QDir(noTemplate.path()).filePath("_Mapa.html"));
        QVERIFY(!g_boxes.isEmpty());
        for (const QString& box : std::as_const(g_boxes))
            QVERIFY2(box.startsWith("Cannot open file \"" + templatePath + "\". "), qPrintable(box));
        QVERIFY(!QFile::exists(QDir(pages.path()).filePath("Mapa.html")));
        StillWorks(w);

        // A page location under a regular file cannot be created, whoever runs the viewer.
        map.close();
        const QString blocker = Write("file.txt", "not a directory");
        map.SetTemplateDir(QCoreApplication::applicationDirPath());
        map.SetPageDir(blocker + "/sub");
        g_boxes.clear();
        w.Button4Click();
        QVERIFY(!g_boxes.isEmpty());
        const QString pagePath = QDir::toNativeSeparators(blocker + "/sub/Mapa.html");
        for (const QString& box : std::as_const(g_boxes))
            QVERIFY2(box.startsWith("Cannot create file \"" + pagePath + "\". "), qPrintable(box));
        StillWorks(w);

        // With a writable place again, the page is written.
        map.close();
        map.SetPageDir(pages.path());
        g_boxes.clear();
        w.Button4Click();
        QCOMPARE(g_boxes, QStringList());
        QVERIFY(QFile::exists(QDir(pages.path()).filePath("Mapa.html")));
    }

    void windowShrunkToNothingBeforeADraw()
    {
        TForm1 w;
        Open(w, {valid_});
        w.resize(0, 0);
        w.Image1->resize(0, 0);
        w.Button3Click();
        QVERIFY(!w.DrawRunning());
        // Nothing to show, and nothing to complain about: the picture is empty.
        QCOMPARE(g_boxes, QStringList());
        QVERIFY(w.Image1->Picture().size().isEmpty());
        (void)w.grab();
        w.resize(1, 1);
        w.Image1->resize(1, 1);
        w.Button3Click();
        QVERIFY(!w.DrawRunning());
        w.resize(936, 790);
        StillWorks(w);
    }
};

QM_BROWSER_TEST_MAIN(HostileInputTest)

#include "test_hostile_input.moc"
