// What a desktop program offers beyond its menus: files dropped on the window, files handed over at
// start, saving and copying pictures, and the progress of a draw.
#include "error_box.h"
#include "main_window.h"
#include "profile_chart.h"
#include "survey_table_view.h"
#include "widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace {
// The window as the platform's drag and drop reaches it.
struct DropTarget : TForm1 {
    using TForm1::dropEvent;
};

QStringList g_boxes;
void RecordBox(const QString& text)
{
    g_boxes << text;
}
} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString Survey(const QString& name, int readings)
    {
        QByteArray text = "label,field,time,ns,lat,ew,lon\r\n";
        for (int i = 0; i < readings; ++i)
            text += "P" + QByteArray::number(i) + "," + QByteArray::number(50000 + i * 7 % 50) +
                    ",10:00:00,N,5645.0993,E,03712.1697\r\n";
        const QString path = dir_.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return path;
    }
    void Drop(DropTarget& w, const QStringList& paths)
    {
        auto* mime = new QMimeData;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        mime->setUrls(urls);
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, mime, Qt::LeftButton, Qt::NoModifier);
        w.dropEvent(&drop);
        delete mime;
    }

private slots:
    void init()
    {
        g_boxes.clear();
        qm::SetErrorBoxHook(&RecordBox);
    }

    void droppedFilesAreAddedAndTheFirstIsLoaded()
    {
        DropTarget w;
        const QString a = Survey("a.csv", 3), b = Survey("b b ä.csv", 4);
        w.openFileDialog = [a] { return QStringList{a}; };
        w.Button2Click();
        Drop(w, {b, dir_.path(), dir_.filePath("missing.csv")});
        QCOMPARE(w.Files(), (QStringList{a, b}));
        QCOMPARE(w.SelectedFile(), 0);
        QCOMPARE(w.Label4->text(), QString("a.csv"));
        QCOMPARE(g_boxes.size(), 1); // the directory and the missing file are refused, by name
        QVERIFY(g_boxes[0].contains("missing.csv"));
        QVERIFY(g_boxes[0].contains(dir_.path()));
    }

    void filesHandedOverAtStartOpenAsOpenFilesDoes()
    {
        TForm1 w;
        const QString a = Survey("a.csv", 3), b = Survey("b.csv", 5);
        w.SetBalance(77);
        w.OpenPaths({b, a});
        QCOMPARE(w.Files(), (QStringList{b, a}));
        QCOMPARE(w.Balance(), std::uint16_t(0));
        QCOMPARE(w.Label4->text(), QString("b.csv"));
        QCOMPARE(w.Chart1->series(0).Count(), 5);
    }

    void savedPictureIsAPngOfTheChart()
    {
        TForm1 w;
        w.resize(936, 790);
        w.OpenPaths({Survey("a.csv", 50)});
        const QString target = dir_.filePath("profile");
        w.saveFileDialog = [target](const QString& suggested) {
            return suggested == "profile.png" ? target : QString();
        };
        w.SaveImage(w.ChartImage(), "profile.png");
        QImage saved(target + ".png");
        QVERIFY(!saved.isNull());
        QCOMPARE(saved.size(), w.Chart1->size());

        w.saveFileDialog = [](const QString&) { return QStringLiteral("/nonexistent-folder/x.png"); };
        w.SaveImage(w.ChartImage(), "profile.png");
        QCOMPARE(g_boxes.size(), 1);
    }

    void copiedPictureReachesTheClipboard()
    {
        TForm1 w;
        QImage picture(7, 3, QImage::Format_RGB32);
        picture.fill(Qt::red);
        w.copyImage(picture);
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(7, 3));
    }

    void progressShowsTheFileOfADraw()
    {
        TForm1 w;
        w.Image1->resize(100, 60);
        w.OpenPaths({Survey("a.csv", 10), Survey("b.csv", 10), Survey("c.csv", 10)});
        int maximum = -1, value = -1;
        bool visible = false;
        QTimer::singleShot(0, &w, [&] {
            maximum = w.ProgressBar1->maximum();
            value = w.ProgressBar1->value();
            visible = !w.ProgressBar1->isHidden();
        });
        w.Button3Click();
        QCOMPARE(maximum, 3);
        QCOMPARE(value, 3);
        QVERIFY(visible);
        QVERIFY(w.ProgressBar1->isHidden());
        QVERIFY(g_boxes.isEmpty());
    }
};

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
