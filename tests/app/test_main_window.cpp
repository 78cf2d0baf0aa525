// The main window driven offscreen: opening files, file selection and its errors, the position
// readout, the profile strip, file list editing and playback, and the matrix draw.
#include "error_box.h"
#include "field_value.h"
#include "file_panel.h"
#include "main_window.h"
#include "matrix_page.h"
#include "profile_chart.h"
#include "survey_list.h"
#include "survey_table_view.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>

namespace {

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}

QString Row(const QString& label, const QString& reading, const QString& ns = "N", const QString& lat = "5645.0993",
            const QString& ew = "E", const QString& lon = "03712.1697")
{
    return label + "," + reading + ",12:00:00," + ns + "," + lat + "," + ew + "," + lon + "\r\n";
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }
    QString Survey(const QString& name, const QList<int>& readings)
    {
        QString text = Row("label", "field", "ns", "lat", "ew", "lon");
        for (int i = 0; i < readings.size(); ++i)
            text += Row(QString("P%1").arg(i + 1), QString::number(readings[i]));
        return Write(name, text.toLatin1());
    }
    void Open(TForm1& w, const QStringList& files)
    {
        w.openFileDialog = [files] { return files; };
        w.Button2Click();
    }
    void Add(TForm1& w, const QStringList& files)
    {
        w.openFileDialog = [files] { return files; };
        w.AddFileClick();
    }

private slots:
    void init()
    {
        g_boxes.clear();
        qm::SetErrorBoxHook(&RecordBox);
        qm::SetDecimalSeparator('.');
    }

    void startsWithDesignCaptionsAndControls()
    {
        TForm1 w;
        QCOMPARE(w.windowTitle(), QString("Quarlomet Magnetometer Viewer"));
        QCOMPARE(w.Label4->text(), QString("file"));
        QCOMPARE(w.lad->text(), QString("56.751655"));
        QCOMPARE(w.lod->text(), QString("37.202829"));
        QCOMPARE(w.TrackBar1->value(), 60000);
        QCOMPARE(w.TrackBar2->value(), 40000);
        QCOMPARE(w.ComboBox1->currentText(), QString("manual"));
        QCOMPARE(w.ComboBox2->currentText(), QString("ribbon"));
        QCOMPARE(w.SpinEdit2->value(), 3);
        QVERIFY(w.CheckBox1->isChecked());
        QVERIFY(w.CheckBox2->isChecked());
        QCOMPARE(w.Chart1->LeftAxis().Minimum(), 40000.0);
        QCOMPARE(w.Chart1->LeftAxis().Maximum(), 60000.0);

        QFileDialog dialog;
        qm::FilePanel::SetUpOpenDialog(dialog);
        QCOMPARE(dialog.nameFilters(), QStringList{"csv (*.csv)"});
        QCOMPARE(dialog.defaultSuffix(), QString("csv"));
        QCOMPARE(dialog.fileMode(), QFileDialog::ExistingFiles);
    }

    void matrixImageKeepsItsDesignSizeAtTheRight()
    {
        TForm1 w;
        w.PageControl1->setCurrentIndex(1);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QSize design = w.size();
        QCOMPARE(design.width(), 936);
        for (const QSize size : {design, QSize(1400, 1000)}) {
            w.resize(size);
            QTRY_COMPARE(w.size(), size);
            QTRY_COMPARE(w.Image1->size(), QSize(796, 484));
            QCOMPARE(w.Image1->geometry().right(), w.matrixPage()->rect().right());
        }
    }

    void onlyThePrimaryButtonChoosesAndMaps()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {50000}), b = Survey("b.csv", {50001});
        Open(w, {a, b});
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QWidget* list = w.ListView1->viewport();
        const QPoint second = w.ListView1->visualItemRect(w.ListView1->topLevelItem(1)).center();
        QTest::mouseClick(list, Qt::RightButton, {}, second);
        QCOMPARE(w.SelectedFile(), 0);
        QTest::mouseClick(list, Qt::LeftButton, {}, second);
        QCOMPARE(w.Label4->text(), QString("b.csv"));

        QWidget* table = w.AdvListView1->viewport();
        const QPoint row = w.AdvListView1->visualRect(w.AdvListView1->model().index(1, 1)).center();
        QSignalSpy tableMap(w.AdvListView1, &qm::AdvListView::DoubleClick);
        QSignalSpy chartMap(w.Chart1, &qm::ProfileChart::DoubleClicked);
        QTest::mouseDClick(table, Qt::RightButton, {}, row);
        QTest::mouseDClick(w.Chart1, Qt::RightButton, {}, w.Chart1->rect().center());
        QCOMPARE(tableMap.count() + chartMap.count(), 0);
        QTest::mouseDClick(table, Qt::LeftButton, {}, row);
        QTest::mouseDClick(w.Chart1, Qt::LeftButton, {}, w.Chart1->rect().center());
        QCOMPARE(tableMap.count(), 1);
        QCOMPARE(chartMap.count(), 1);
    }

    void openListsFilesInDialogOrderAndLoadsTheFirst()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {50000, 50010, 50020});
        const QString b = Survey("b.csv", {49000});
        const QString c = Survey("c.csv", {48000, 48001});
        Open(w, {a, b, c});
        QCOMPARE(w.Files(), (QStringList{a, b, c}));
        QCOMPARE(w.SelectedFile(), 0);
        QCOMPARE(w.Label4->text(), QString("a.csv"));
        QCOMPARE(w.AdvListView1->table().RowCount(), 4);
        QCOMPARE(w.Chart1->series(0).Count(), 3);
        QCOMPARE(w.AdvListView1->columnWidth(0), 50);
        const int widths[] = {50, 80, 80, 30, 80, 30, 80};
        for (int c = 0; c < 7; ++c)
            QCOMPARE(w.AdvListView1->table().ColumnWidth(c), widths[c]);
        QVERIFY(g_boxes.isEmpty());
    }

    void cancelledOpenKeepsListTableAndBalance()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {50000, 50010});
        Open(w, {a});
        w.SetBalance(123);
        Open(w, {});
        QCOMPARE(w.Files(), QStringList{a});
        QCOMPARE(w.Balance(), std::uint16_t(123));
        QCOMPARE(w.AdvListView1->table().RowCount(), 3);
        // Open resets the baseline; the box keeps its value until the next draw shows the new one.
        Open(w, {a});
        QCOMPARE(w.Balance(), std::uint16_t(0));
        QCOMPARE(w.SpinEdit1->value(), 123);
        w.Image1->resize(20, 10);
        w.Button3Click();
        QCOMPARE(w.Balance(), std::uint16_t(49985));
        QCOMPARE(w.SpinEdit1->value(), 49985);
    }

    void addAppendsAndSelectsTheFirstFile()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {50000}), b = Survey("b.csv", {50001}), c = Survey("c.csv", {50002});
        const QString d = Survey("d.csv", {50003});
        Open(w, {a, b, c});
        w.SetSelectedFile(1);
        w.ListView1Click();
        QCOMPARE(w.Label4->text(), QString("b.csv"));
        Add(w, {d});
        QCOMPARE(w.Files(), (QStringList{a, b, c, d}));
        QCOMPARE(w.SelectedFile(), 0);
        QCOMPARE(w.Label4->text(), QString("a.csv"));
    }

    void fileSelectionErrorsShowTheirBoxes()
    {
        TForm1 w;
        const QString five = Write("five.csv", "a,b,c,d,e\r\n1,2,3,4,5\r\n");
        Open(w, {five});
        // ")" sorts before ".", so the box adds no full stop to this message.
        QCOMPARE(g_boxes, QStringList{"List index out of bounds (6)"});
        QCOMPARE(w.Label4->text(), QString("five.csv"));
        QCOMPARE(w.AdvListView1->table().RowCount(), 2);
        QCOMPARE(w.Chart1->series(0).Count(), 0);

        g_boxes.clear();
        Open(w, {dir_.filePath("missing.csv")});
        QCOMPARE(g_boxes, QStringList{"File cannot be opened."});
        QCOMPARE(w.Label4->text(), QString("five.csv"));
        QCOMPARE(w.AdvListView1->table().RowCount(), 0);

        g_boxes.clear();
        Open(w, {Write("empty.csv", "")});
        QCOMPARE(g_boxes, QStringList{"List index out of bounds (1)"});
    }

    void badReadingStopsThePlotAtItsRow()
    {
        TForm1 w;
        const QString bad = Write("bad.csv", (Row("l", "f") + Row("P1", "50000") + Row("P2", "5x") + Row("P3", "1")).toLatin1());
        Open(w, {bad});
        QCOMPARE(g_boxes, QStringList{"'5x' is not a valid floating point value."});
        QCOMPARE(w.Chart1->series(0).Count(), 1);
    }

    void selectionSignalsFollowCompletedWorkOnly()
    {
        TForm1 w;
        QSignalSpy files(w.surveyList(), &qm::SurveyList::FileSelected);
        QSignalSpy rows(w.surveyList(), &qm::SurveyList::RowSelected);
        QSignalSpy changed(w.surveyList(), &qm::SurveyList::ListChanged);
        const QString a = Survey("a.csv", {50000, 50010}), b = Survey("b.csv", {49000, 49010, 49020});
        const QString bad = Write("bad.csv", (Row("l", "f") + Row("P1", "5x")).toLatin1());
        Open(w, {a, b, bad});
        QCOMPARE(changed.count(), 1);
        QCOMPARE(files.count(), 1);
        QCOMPARE(files.takeFirst(), (QVariantList{0, a}));

        // As if the user clicked: the table and the profile follow, then the signal.
        w.ClickFile(1);
        QCOMPARE(files.takeFirst(), (QVariantList{1, b}));
        QCOMPARE(w.Label4->text(), QString("b.csv"));
        QCOMPARE(w.Chart1->series(0).Count(), 3);
        w.ClickRow(2);
        QCOMPARE(rows.takeFirst(), QVariantList{2});
        QCOMPARE(w.AdvListView1->SelectedRow(), 2);
        QCOMPARE(w.edtLat->text(), QString("5645.0993N"));
        w.Chart1ClickSeries(0, 0);
        QCOMPARE(rows.takeFirst(), QVariantList{1});

        // A file whose readings fail to plot is no completed selection.
        w.ClickFile(2);
        QCOMPARE(g_boxes.size(), 1);
        QVERIFY(files.isEmpty());

        w.SetSelectedFile(0);
        w.MoveDownClick();
        w.DeleteFileClick();
        QCOMPARE(changed.count(), 3);
        QCOMPARE(w.Files(), (QStringList{b, bad}));
    }

    void tableClickFillsThePositionFields()
    {
        TForm1 w;
        const QString text = Row("l", "f") + Row("P1", "50000") + Row("P2", "50000", "?", "", "", "") +
                             Row("P3", "50000", "N", "5645.0993", "W", "03712.1697");
        Open(w, {Write("pos.csv", text.toLatin1())});
        w.AdvListView1->SetSelectedRow(1);
        w.AdvListView1Click();
        QCOMPARE(w.edtLat->text(), QString("5645.0993N"));
        QCOMPARE(w.edtLat2->text(), QString("56°45'5.958\"N"));
        QCOMPARE(w.lad->text(), QString("56.751655"));
        QCOMPARE(w.lod->text(), QString("37.2028283333333"));
        w.AdvListView1->SetSelectedRow(3);
        w.AdvListView1Click();
        QCOMPARE(w.lod->text(), QString("-37.2028283333333"));
        QCOMPARE(w.edtLon2->text(), QString("37°12'10.182\"W"));
        w.AdvListView1->SetSelectedRow(2);
        w.AdvListView1Click();
        for (QLineEdit* e : {w.edtLat, w.edtLat2, w.lad, w.edtLon, w.edtLon2, w.lod})
            QCOMPARE(e->text(), QString("?"));
        QVERIFY(g_boxes.isEmpty());
    }

    void readoutFailureKeepsTheFieldsWrittenBeforeButMapRefusesThem()
    {
        TForm1 w;
        const QString text = Row("l", "f") + Row("P1", "50000", "N", "5645.0993", "E", "0") + Row("P2", "50000");
        Open(w, {Write("short.csv", text.toLatin1())});
        w.ClickRow(1);
        QCOMPARE(g_boxes.size(), 1);
        QCOMPARE(w.edtLat->text(), QString("5645.0993N"));
        QCOMPARE(w.edtLon->text(), QString("0E"));
        QCOMPARE(w.lad->text(), QString("56.751655")); // the start text: never reached

        // The decimal fields hold no position of the selected reading: "Map" says so, also after
        // the program (not the user) has set a field.
        const QStringList refused{"The selected reading has no position."};
        g_boxes.clear();
        w.Button4Click();
        QCOMPARE(g_boxes, refused);
        w.lad->setText("56.7");
        w.Button4Click();
        QCOMPARE(g_boxes, refused + refused);
        // Typing into either field, or a readout that succeeds, ends that.
        for (QLineEdit* typed : {w.lad, w.lod, static_cast<QLineEdit*>(nullptr)}) {
            w.ClickRow(1);
            typed ? QTest::keyClicks(typed, "1") : w.ClickRow(2);
            g_boxes.clear();
            w.Button4Click();
            QVERIFY(g_boxes.isEmpty());
        }
    }

    void trackBarsKeepTheUpperAboveTheLower()
    {
        TForm1 w;
        w.TrackBar1->setValue(30000);
        QCOMPARE(w.TrackBar1->value(), 40001);
        QCOMPARE(w.Chart1->LeftAxis().Maximum(), 40001.0);
        QCOMPARE(w.Chart1->LeftAxis().Minimum(), 40000.0);

        w.TrackBar1->setValue(100000);
        w.TrackBar2->setValue(100000);
        QCOMPARE(w.TrackBar1->value(), 100000);
        QCOMPARE(w.TrackBar2->value(), 99999);
        QCOMPARE(w.Chart1->LeftAxis().Minimum(), 99999.0);
        QCOMPARE(w.Chart1->LeftAxis().Maximum(), 100000.0);

        w.TrackBar2->setValue(50000);
        w.TrackBar2->setValue(99995);
        w.BitBtn4Click();
        QCOMPARE(w.TrackBar1->value(), 100000);
        QCOMPARE(w.TrackBar2->value(), 99999);

        w.TrackBar2->setValue(40000);
        w.TrackBar1->setValue(40005);
        w.BitBtn1Click();
        QCOMPARE(w.TrackBar1->value(), 40001);
        QVERIFY(g_boxes.isEmpty());
    }

    void refusedScaleModeLeavesTheAxis()
    {
        TForm1 w;
        qm::ChartAxis& axis = w.Chart1->LeftAxis();
        axis.SetMaximum(70000);
        axis.SetMinimum(65000);
        w.ComboBox1->setCurrentIndex(1); // "40-60"
        QCOMPARE(g_boxes, QStringList{"Axis Maximum Value must be >= Minimum."});
        QCOMPARE(axis.Minimum(), 65000.0);
        QCOMPARE(axis.Maximum(), 70000.0);
        QVERIFY(!axis.Automatic());
        w.ComboBox1->setCurrentIndex(0);
        QVERIFY(axis.Automatic());
    }

    void delRemovesTheSelectedRowAndReplots()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {50000, 50001, 50002, 50003, 50004, 50005, 50006})});
        w.AdvListView1->SetSelectedRow(5);
        w.Button5Click();
        QCOMPARE(w.AdvListView1->table().RowCount(), 7);
        QCOMPARE(w.Chart1->series(0).Count(), 6);
        QCOMPARE(w.Chart1->series(0).Value(4), 50005.0);

        w.AdvListView1->SetSelectedRow(-1);
        w.ComboBox2->setCurrentIndex(2);
        QCOMPARE(w.Chart1->series(2).Count(), 0); // a style change alone does not replot
        w.Button5Click();
        QCOMPARE(w.AdvListView1->table().RowCount(), 7);
        QCOMPARE(w.Chart1->series(2).Count(), 6);
        QCOMPARE(w.Chart1->series(0).Count(), 0);

        w.AdvListView1->SetSelectedRow(0);
        w.Button5Click();
        QCOMPARE(w.Chart1->series(2).Count(), 5);
        QVERIFY(g_boxes.isEmpty());
    }

    void pointPressSelectsItsRowAndReadsThePosition()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {50000, 50001, 50002, 50003, 50004})});
        w.lad->setText("x");
        w.Chart1ClickSeries(0, 0);
        QCOMPARE(w.AdvListView1->SelectedRow(), 1);
        QCOMPARE(w.lad->text(), QString("56.751655"));
        w.Chart1ClickSeries(0, 3);
        QCOMPARE(w.AdvListView1->SelectedRow(), 4);
        QCOMPARE(w.AdvListView1->FocusedRow(), 4);
    }

    void moveUpAndDownKeepTheSelection()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {1}), b = Survey("b.csv", {2}), c = Survey("c.csv", {3});
        Open(w, {a, b, c});
        w.MoveUpClick();
        QCOMPARE(w.Files(), (QStringList{a, b, c}));
        w.SetSelectedFile(2);
        w.MoveDownClick();
        QCOMPARE(w.Files(), (QStringList{a, b, c}));
        w.SetSelectedFile(1);
        w.MoveDownClick();
        QCOMPARE(w.Files(), (QStringList{a, c, b}));
        QCOMPARE(w.SelectedFile(), 2);
        QCOMPARE(w.ListView1->currentItem(), w.ListView1->topLevelItem(2));
        QCOMPARE(w.Label4->text(), QString("a.csv")); // nothing reloaded
    }

    void deleteRemovesOnlyTheListItem()
    {
        TForm1 w;
        const QString a = Survey("a.csv", {1, 2}), b = Survey("b.csv", {3});
        Open(w, {a, b});
        w.ListView1->clearSelection();
        w.DeleteFileClick();
        QCOMPARE(w.Files().size(), 2);
        w.SetSelectedFile(0);
        QTest::keyClick(w.ListView1, Qt::Key_Delete);
        QCOMPARE(w.Files(), QStringList{b});
        QCOMPARE(w.Label4->text(), QString("a.csv"));
        QCOMPARE(w.Chart1->series(0).Count(), 2);
        // No neighbour takes the selection: a second Delete removes nothing.
        QCOMPARE(w.SelectedFile(), -1);
        w.DeleteFileClick();
        QCOMPARE(w.Files(), QStringList{b});
    }

    void delLeavesNoRowSelected()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {50000, 50001, 50002})});
        w.AdvListView1->SetSelectedRow(2);
        w.Button5Click();
        QCOMPARE(w.AdvListView1->SelectedRow(), -1);
        w.Button5Click();
        QCOMPARE(w.AdvListView1->table().RowCount(), 3);
    }

    void enterInTheFileListPlaysAndASecondPlaybackIsRefused()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {1}), Survey("b.csv", {2, 2})});
        int selectedWhenAskedAgain = -2;
        QTimer::singleShot(0, &w, [&w, &selectedWhenAskedAgain] {
            QVERIFY(w.PlaybackRunning());
            w.MotionClick(); // refused: returns at once, the running playback goes on
            selectedWhenAskedAgain = w.SelectedFile();
        });
        QTest::keyClick(w.ListView1, Qt::Key_Return);
        QCOMPARE(selectedWhenAskedAgain, 0);
        QCOMPARE(w.SelectedFile(), 1);
        QCOMPARE(w.Label4->text(), QString("b.csv"));
    }

    void playbackEndsOnTheLastFile()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {1}), Survey("b.csv", {2, 2}), Survey("c.csv", {3, 3, 3})});
        w.MotionClick();
        QCOMPARE(w.SelectedFile(), 2);
        QCOMPARE(w.Label4->text(), QString("c.csv"));
        QCOMPARE(w.Chart1->series(0).Count(), 3);
        QVERIFY(!w.PlaybackRunning());
    }

    void playbackStopsAtAnUnreadableFile()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {1}), dir_.filePath("gone.csv"), Survey("c.csv", {3, 3, 3})});
        g_boxes.clear();
        w.MotionClick();
        QCOMPARE(g_boxes, QStringList{"File cannot be opened."});
        QCOMPARE(w.SelectedFile(), 1);
    }

    void playbackSurvivesADeleteQueuedMeanwhile()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {1}), Survey("b.csv", {2, 2}), Survey("c.csv", {3, 3, 3})});
        // While file 0 plays, the user deletes the last two files and asks for another playback.
        QTimer::singleShot(0, &w, [&w] {
            w.SetSelectedFile(2);
            w.DeleteFileClick();
            w.SetSelectedFile(1);
            w.DeleteFileClick();
            w.MotionClick();
        });
        w.MotionClick();
        QVERIFY(g_boxes.isEmpty());
        QCOMPARE(w.Files().size(), 1);
        QVERIFY(!w.PlaybackRunning());
    }

    void drawShowsOneBandPerFile()
    {
        TForm1 w;
        w.resize(936, 790);
        w.Image1->resize(200, 100);
        Open(w, {Survey("a.csv", {50000, 50100, 49900, 50000}), Survey("b.csv", {50000, 50000, 50000})});
        w.Button3Click();
        QVERIFY(g_boxes.isEmpty());
        QCOMPARE(w.Balance(), std::uint16_t(50000 - 15));
        QCOMPARE(w.SpinEdit1->value(), 50000 - 15);
        QCOMPARE(w.Label4->text(), QString("b.csv"));
        QCOMPARE(w.Image1->Picture().size(), QSize(200, 100));
        QVERIFY(!w.DrawRunning());

        w.CheckBox1->setChecked(false);
        w.Button3Click();
        QCOMPARE(w.Image1->Picture().size(), QSize(4, 2)); // the raw raster, one pixel per reading
        QCOMPARE(w.Image1->Picture().pixelColor(0, 0), QColor(Qt::white));
    }

    void drawShowsItsOwnBalanceWithoutDrawingAgain()
    {
        TForm1 w;
        w.Image1->resize(40, 20);
        Open(w, {Survey("a.csv", {50000, 50100})});
        w.Button3Click();
        const qint64 drawn = w.Image1->Picture().cacheKey();
        QTest::qWait(50);
        QCOMPARE(w.Image1->Picture().cacheKey(), drawn);
        QCOMPARE(w.SpinEdit1->value(), 49985);
    }

    void contrastChangedDuringADrawIsDrawnAfterIt()
    {
        TForm1 w;
        w.Image1->resize(40, 20);
        w.CheckBox1->setChecked(false);
        Open(w, {Survey("a.csv", {50000, 50100, 49000})});
        // Runs while the draw lets events run, before it resamples.
        QTimer::singleShot(0, &w, [&w] { w.SpinEdit2->setValue(0); });
        w.Button3Click();
        QCOMPARE(w.Image1->Picture().pixelColor(2, 0), QColor(0, 0, 0)); // drawn at contrast 3
        QTRY_COMPARE(w.Image1->Picture().pixelColor(2, 0), QColor(0, 0, 117)); // then at contrast 0
        QVERIFY(!w.DrawRunning());
        QVERIFY(g_boxes.isEmpty());
    }

    void filesDeletedWhileADrawRunsDoNotBreakIt()
    {
        TForm1 w;
        w.Image1->resize(60, 30);
        Open(w, {Survey("a.csv", {50000, 50100}), Survey("b.csv", {50000, 50000})});
        QTimer::singleShot(0, &w, [&w] {
            while (!w.Files().isEmpty()) {
                w.SetSelectedFile(0);
                w.DeleteFileClick();
            }
        });
        w.Button3Click();
        QVERIFY(g_boxes.isEmpty());
        QCOMPARE(w.Image1->Picture().size(), QSize(60, 30));
        QVERIFY(!w.DrawRunning());
    }

    void drawWithoutFilesEmptiesTheProfileAndKeepsThePicture()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {50000, 50100})});
        w.DeleteFileClick();
        QCOMPARE(w.Chart1->series(0).Count(), 2);
        w.Button3Click();
        QCOMPARE(g_boxes, QStringList{"Source bitmap too small."});
        QCOMPARE(w.Chart1->series(0).Count(), 0);
        QVERIFY(w.Image1->Picture().isNull());
    }

    void typedDigitsRedrawAtOnce()
    {
        TForm1 w;
        w.Image1->resize(40, 20);
        w.CheckBox1->setChecked(false);
        Open(w, {Survey("a.csv", {50000, 50100, 49000})});
        QTest::keyClick(w.SpinEdit2, Qt::Key_End);
        QTest::keyClick(w.SpinEdit2, Qt::Key_Backspace);
        QTest::keyClick(w.SpinEdit2, Qt::Key_0); // no Enter, no change of focus
        QVERIFY(g_boxes.isEmpty());
        QCOMPARE(w.Image1->Picture().pixelColor(2, 0), QColor(0, 0, 117)); // drawn at contrast 0
    }

    void drawOntoAnEmptyImageAreaDoesNotCrash()
    {
        TForm1 w;
        Open(w, {Survey("a.csv", {50000, 50100})});
        w.Image1->resize(0, 0);
        w.Button3Click();
        w.Image1->resize(5, 1);
        w.Button3Click();
        QVERIFY(!w.DrawRunning());
    }

    void mapRefusesAPositionWithoutFix()
    {
        TForm1 w;
        w.lad->setText("?");
        w.lod->setText("?");
        w.Button4Click();
        QCOMPARE(g_boxes.size(), 1);
    }
};

QTEST_MAIN(MainWindowTest)
#include "test_main_window.moc"
