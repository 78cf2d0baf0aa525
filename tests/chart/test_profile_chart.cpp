// The profile chart widget: series storage, value-axis rules, repaint batching, point presses,
// mouse zoom and double clicks, driven through its public interface and real mouse events.
#include "errors.h"
#include "profile_chart.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <functional>
#include <string>

namespace {

using qm::chart::SeriesShape;
using enum qm::chart::SeriesShape;

const QColor kYellow(255, 255, 0);

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Runs `call` and returns the qm::Error message it throws ("" when it throws none).
std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const qm::Error& e) {
        return e.what();
    }
    return {};
}

void Fill(qm::ChartSeries& series, int count, const std::function<double(int)>& valueOf)
{
    for (int i = 0; i < count; ++i)
        series.Add(valueOf(i), "P" + std::to_string(i + 1), kYellow);
}

QPoint Midpoint(QPointF a, QPointF b)
{
    return ((a + b) / 2).toPoint();
}

} // namespace

class TestProfileChart : public QObject {
    Q_OBJECT

private slots:
    void startsFixedAt40000To60000WithThreeNamedSeries();
    void seriesStorePointsInOrder();
    void seriesRejectIndicesOutOfRange();
    void axisRefusalsKeepTheAxisUnchanged();
    void equalBoundsAreAccepted();
    void refusedScaleAfterHighReadingsKeepsTheAxis();
    void automaticBoundsFollowTheData();
    void oddReadingsDrawInEveryStyle();
    void readingsOutsideTheAxisAreClippedAtTheEdge();
    void addingPointsMarksForOneRepaint();
    void pressOnAPointEmitsClickSeries();
    void pressOnEachStyleGivesItsSeries();
    void pressOnALongProfileFindsTheSpike();
    void pressOffTheSeriesEmitsNothing();
    void dragZoomsAndReverseDragRestores();
    void shortDragsChangeNothing();
    void animatedZoomEndsOnTheSameRange();
    void pressOnASeriesStartsNoZoom();
    void doubleClickEmitsDoubleClicked();
};

void TestProfileChart::startsFixedAt40000To60000WithThreeNamedSeries()
{
    qm::ProfileChart chart;
    QCOMPARE(chart.LeftAxis().Automatic(), false);
    QCOMPARE(chart.LeftAxis().Minimum(), 40000.0);
    QCOMPARE(chart.LeftAxis().Maximum(), 60000.0);
    QCOMPARE(chart.Title(), QStringLiteral("Quarlomet MAG"));
    QCOMPARE(chart.series(Ribbon).Name(), QStringLiteral("Series1"));
    QCOMPARE(chart.series(Area).Name(), QStringLiteral("Series2"));
    QCOMPARE(chart.series(Line).Name(), QStringLiteral("Series3"));
    for (SeriesShape shape : qm::chart::kSeriesShapes) {
        QCOMPARE(chart.series(shape).Count(), 0);
        QCOMPARE(chart.series(shape).SeriesColor(), QColor(255, 0, 0));
    }
}

void TestProfileChart::seriesStorePointsInOrder()
{
    qm::ProfileChart chart;
    qm::ChartSeries& s = chart.series(Area);
    s.Add(50000, "A1", kYellow);
    s.Add(50002, std::string_view("\xE9t\0x", 4), kYellow); // 8-bit bytes and a NUL kept as they are
    s.Add(49999, "", QColor(0, 0, 255));
    s.Add(50001, "last", kYellow);
    QCOMPARE(s.Count(), 4);
    QCOMPARE(s.Value(1), 50002.0);
    QCOMPARE(std::string(s.Label(0)), std::string("A1"));
    QCOMPARE(std::string(s.Label(1)), std::string("\xE9t\0x", 4));
    QCOMPARE(std::string(s.Label(2)), std::string());
    QCOMPARE(std::string(s.Label(3)), std::string("last"));
    QCOMPARE(s.Color(0), kYellow);
    QCOMPARE(s.Color(2), QColor(0, 0, 255));
    QCOMPARE(s.Color(3), kYellow);

    s.Clear();
    QCOMPARE(s.Count(), 0);
    s.Add(1, "again", QColor(0, 255, 0));
    QCOMPARE(s.Color(0), QColor(0, 255, 0));
    QCOMPARE(std::string(s.Label(0)), std::string("again"));
    QCOMPARE(chart.series(Ribbon).Count(), 0); // the other series are untouched
}

void TestProfileChart::seriesRejectIndicesOutOfRange()
{
    qm::ProfileChart chart;
    Fill(chart.series(Ribbon), 3, [](int) { return 1.0; });
    QCOMPARE(ErrorOf([&] { chart.series(Ribbon).Value(3); }), std::string("List index out of bounds (3)"));
    QCOMPARE(ErrorOf([&] { chart.series(Ribbon).Label(-1); }), std::string("List index out of bounds (-1)"));
    QCOMPARE(ErrorOf([&] { chart.series(3); }), std::string("List index out of bounds (3)"));
    QCOMPARE(ErrorOf([&] { chart.PointPosition(Line, 0); }), std::string("List index out of bounds (0)"));
}

void TestProfileChart::axisRefusalsKeepTheAxisUnchanged()
{
    qm::ProfileChart chart;
    qm::ChartAxis& axis = chart.LeftAxis();
    QCOMPARE(ErrorOf([&] { axis.SetMaximum(39999); }), std::string("Axis Maximum Value must be >= Minimum"));
    QCOMPARE(ErrorOf([&] { axis.SetMinimum(60001); }), std::string("Axis Minimum Value must be <= Maximum"));
    QCOMPARE(ErrorOf([&] { axis.SetMaximum(std::nan("")); }), std::string("Axis Maximum Value must be >= Minimum"));
    QCOMPARE(ErrorOf([&] { axis.SetMinimum(-INFINITY); }), std::string("Axis Minimum Value must be <= Maximum"));
    QCOMPARE(axis.Minimum(), 40000.0);
    QCOMPARE(axis.Maximum(), 60000.0);
    QCOMPARE(axis.Automatic(), false);

    // Maximum before minimum, as the scale modes set them.
    axis.SetMaximum(55000);
    axis.SetMinimum(50000);
    QCOMPARE(axis.Minimum(), 50000.0);
    QCOMPARE(axis.Maximum(), 55000.0);
}

void TestProfileChart::equalBoundsAreAccepted()
{
    qm::ProfileChart chart;
    qm::ChartAxis& axis = chart.LeftAxis();
    axis.SetMaximum(40000);
    QCOMPARE(axis.Maximum(), 40000.0);
    axis.SetMinimum(40000);
    QCOMPARE(axis.Minimum(), 40000.0);
    // A zero-span axis still draws and maps presses without trouble.
    Fill(chart.series(Ribbon), 5, [](int i) { return 40000.0 + i; });
    chart.resize(400, 300);
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    chart.render(&image);
    const QPointF p = chart.PointPosition(Ribbon, 2);
    QVERIFY(std::isfinite(p.x()) && std::isfinite(p.y()));
}

void TestProfileChart::refusedScaleAfterHighReadingsKeepsTheAxis()
{
    // "auto" on readings of 65000..70000, then a fixed 40..60 thousand scale is refused.
    qm::ProfileChart chart;
    Fill(chart.series(Ribbon), 6, [](int i) { return 65000.0 + 1000 * i; });
    chart.LeftAxis().SetAutomatic(true);
    QCOMPARE(chart.LeftAxis().Minimum(), 65000.0);
    QCOMPARE(chart.LeftAxis().Maximum(), 70000.0);
    chart.LeftAxis().SetAutomatic(false);
    QCOMPARE(ErrorOf([&] { chart.LeftAxis().SetMaximum(60000); }),
             std::string("Axis Maximum Value must be >= Minimum"));
    QCOMPARE(chart.LeftAxis().Minimum(), 65000.0);
    QCOMPARE(chart.LeftAxis().Maximum(), 70000.0);
    QCOMPARE(chart.LeftAxis().Automatic(), false);
}

void TestProfileChart::automaticBoundsFollowTheData()
{
    qm::ProfileChart chart;
    qm::ChartAxis& axis = chart.LeftAxis();
    axis.SetAutomatic(true);
    // No data: the bounds stay where they were.
    QCOMPARE(axis.Minimum(), 40000.0);
    QCOMPARE(axis.Maximum(), 60000.0);

    chart.series(Ribbon).Add(50100, "a", kYellow);
    chart.series(Ribbon).Add(49900, "b", kYellow);
    chart.series(Ribbon).Add(50050, "c", kYellow);
    QCOMPARE(axis.Minimum(), 49900.0);
    QCOMPARE(axis.Maximum(), 50100.0);
    chart.series(Ribbon).Add(std::nan(""), "gap", kYellow); // ignored by the bounds
    QCOMPARE(axis.Maximum(), 50100.0);

    // A new plot in another series: the bounds follow it alone.
    chart.series(Ribbon).Clear();
    chart.series(Line).Add(51000, "x", kYellow);
    chart.series(Line).Add(52000, "y", kYellow);
    QCOMPARE(axis.Minimum(), 51000.0);
    QCOMPARE(axis.Maximum(), 52000.0);
    QCOMPARE(chart.BottomMinimum(), 0.0);
    QCOMPARE(chart.BottomMaximum(), 1.0);

    // Switching automatic off keeps the computed bounds as the fixed range.
    axis.SetAutomatic(false);
    chart.series(Line).Add(90000, "z", kYellow);
    QCOMPARE(axis.Minimum(), 51000.0);
    QCOMPARE(axis.Maximum(), 52000.0);
}

void TestProfileChart::oddReadingsDrawInEveryStyle()
{
    // Gaps, infinities and extreme readings, few and many, on a fixed and an automatic axis.
    const double odd[] = {std::nan(""), INFINITY, -INFINITY, 1e308, -1e308, 50000, 0};
    for (SeriesShape s : qm::chart::kSeriesShapes) {
        for (int count : {1, 2, 7, 5000}) {
            for (bool automatic : {false, true}) {
                qm::ProfileChart chart;
                chart.resize(500, 300);
                chart.LeftAxis().SetAutomatic(automatic);
                Fill(chart.series(s), count, [&](int i) { return i % 3 ? odd[i % 7] : 50000.0 + i; });
                QImage image(500, 300, QImage::Format_ARGB32_Premultiplied);
                chart.render(&image);
                QVERIFY(std::isfinite(chart.LeftAxis().Minimum()));
                QVERIFY(std::isfinite(chart.LeftAxis().Maximum()));
                int series = 0;
                int index = 0;
                for (int y = 0; y < 300; y += 7)
                    chart.SeriesAt(QPoint(250, y), series, index);
            }
        }
    }
}

void TestProfileChart::readingsOutsideTheAxisAreClippedAtTheEdge()
{
    qm::ProfileChart chart;
    chart.resize(860, 560);
    chart.series(Ribbon).Add(60000, "top", kYellow);
    chart.series(Ribbon).Add(75000, "above", kYellow);
    chart.series(Ribbon).Add(40000, "bottom", kYellow);
    chart.series(Ribbon).Add(-1e300, "below", kYellow);
    QCOMPARE(chart.PointPosition(Ribbon, 1).y() - chart.PointPosition(Ribbon, 0).y(), 0.0);
    QCOMPARE(chart.PointPosition(Ribbon, 3).y() - chart.PointPosition(Ribbon, 2).y(), 0.0);
    QVERIFY(chart.PointPosition(Ribbon, 0).y() < chart.PointPosition(Ribbon, 2).y());
}

void TestProfileChart::addingPointsMarksForOneRepaint()
{
    qm::ProfileChart chart;
    chart.resize(600, 400);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    QCoreApplication::processEvents();
    PaintCounter counter;
    chart.installEventFilter(&counter);

    for (SeriesShape shape : qm::chart::kSeriesShapes)
        chart.series(shape).Clear();
    Fill(chart.series(Ribbon), 5000, [](int i) { return 50000.0 + i % 37; });
    QCOMPARE(counter.paints, 0); // nothing is drawn while the plot is being filled
    QTRY_COMPARE(counter.paints, 1);
    QTest::qWait(50);
    QCOMPARE(counter.paints, 1);

    chart.series(Ribbon).Clear();
    QTRY_COMPARE(counter.paints, 2); // emptying alone is a change to show
}

void TestProfileChart::pressOnAPointEmitsClickSeries()
{
    qm::ProfileChart chart;
    chart.resize(860, 560);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    Fill(chart.series(Ribbon), 20, [](int i) { return 45000.0 + 500 * (i % 5); });
    QSignalSpy spy(&chart, &qm::ProfileChart::ClickSeries);

    const QPoint first = chart.PointPosition(Ribbon, 0).toPoint();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, first);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, first);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), qm::chart::SeriesIndex(Ribbon));
    QCOMPARE(spy.at(0).at(1).toInt(), 0);
    QCOMPARE(spy.at(0).at(2).value<Qt::MouseButton>(), Qt::LeftButton);
    QCOMPARE(spy.at(0).at(4).toInt(), first.x());
    QCOMPARE(spy.at(0).at(5).toInt(), first.y());

    // Between the fourth and the fifth point, with the right button and Shift held.
    const QPoint between = Midpoint(chart.PointPosition(Ribbon, 3), chart.PointPosition(Ribbon, 4));
    QTest::mousePress(&chart, Qt::RightButton, Qt::ShiftModifier, between);
    QTest::mouseRelease(&chart, Qt::RightButton, Qt::ShiftModifier, between);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(1).toInt(), 3);
    QCOMPARE(spy.at(1).at(2).value<Qt::MouseButton>(), Qt::RightButton);
    QCOMPARE(spy.at(1).at(3).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ShiftModifier));

    const QPoint last = chart.PointPosition(Ribbon, 19).toPoint();
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, last);
    QCOMPARE(spy.count(), 3);
    QCOMPARE(spy.at(2).at(1).toInt(), 19);
}

void TestProfileChart::pressOnEachStyleGivesItsSeries()
{
    for (SeriesShape s : qm::chart::kSeriesShapes) {
        qm::ProfileChart chart;
        chart.resize(860, 560);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        chart.LeftAxis().SetAutomatic(true);
        Fill(chart.series(s), 40, [](int i) { return 50000.0 + 40 * std::sin(i / 3.0); });
        QSignalSpy spy(&chart, &qm::ProfileChart::ClickSeries);
        const QPoint between = Midpoint(chart.PointPosition(s, 7), chart.PointPosition(s, 8));
        QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, between);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), qm::chart::SeriesIndex(s));
        QCOMPARE(spy.at(0).at(1).toInt(), 7);
    }
}

void TestProfileChart::pressOnALongProfileFindsTheSpike()
{
    // Far more points than pixels: the press still lands on the one reading it shows.
    for (SeriesShape s : qm::chart::kSeriesShapes) {
        qm::ProfileChart chart;
        chart.resize(860, 560);
        chart.show();
        QVERIFY(QTest::qWaitForWindowExposed(&chart));
        Fill(chart.series(s), 200000, [](int i) { return i == 123457 ? 58000.0 : 45000.0 + i % 3; });
        QSignalSpy spy(&chart, &qm::ProfileChart::ClickSeries);
        QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, chart.PointPosition(s, 123457).toPoint());
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(1).toInt(), 123457);
    }
}

void TestProfileChart::pressOffTheSeriesEmitsNothing()
{
    qm::ProfileChart chart;
    chart.resize(860, 560);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    Fill(chart.series(Line), 20, [](int) { return 45000.0; });
    QSignalSpy spy(&chart, &qm::ProfileChart::ClickSeries);
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
    const QPoint above = chart.PointPosition(Line, 10).toPoint() - QPoint(0, 60);
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, above);
    QCOMPARE(spy.count(), 0);
}

void TestProfileChart::dragZoomsAndReverseDragRestores()
{
    qm::ProfileChart chart;
    chart.SetAnimatedZoom(false);
    chart.resize(860, 560);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    chart.LeftAxis().SetAutomatic(true);
    // A low wavy curve with one peak near the end leaves the upper left of the plot empty.
    Fill(chart.series(Ribbon), 100, [](int i) { return i == 90 ? 50090.0 : 50000.0 + (i % 2) * 5; });

    // Start well above the curve, drag toward the lower right.
    const QPoint start = chart.PointPosition(Ribbon, 20).toPoint() - QPoint(0, 200);
    const QPoint end = start + QPoint(200, 150);
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(&chart, start + QPoint(100, 70));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, end);
    QVERIFY(chart.IsZoomed());
    QCOMPARE(chart.LeftAxis().Automatic(), false);
    QVERIFY(chart.BottomMinimum() > 10 && chart.BottomMaximum() < 80);
    QVERIFY(chart.BottomMaximum() - chart.BottomMinimum() > 10);
    QVERIFY(chart.LeftAxis().Maximum() < 50090);
    QVERIFY(chart.LeftAxis().Maximum() > chart.LeftAxis().Minimum());

    // A second zoom, then one drag up and left restores the range before the first.
    chart.DragZoom(QPoint(300, 150), QPoint(500, 300));
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(500, 40));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, QPoint(300, 20));
    QVERIFY(!chart.IsZoomed());
    QCOMPARE(chart.LeftAxis().Automatic(), true);
    QCOMPARE(chart.LeftAxis().Minimum(), 50000.0);
    QCOMPARE(chart.LeftAxis().Maximum(), 50090.0);
    QCOMPARE(chart.BottomMinimum(), 0.0);
    QCOMPARE(chart.BottomMaximum(), 99.0);

    // From a fixed axis, the fixed range and flag come back.
    chart.LeftAxis().SetAutomatic(false);
    chart.LeftAxis().SetMaximum(60000);
    chart.LeftAxis().SetMinimum(40000);
    chart.DragZoom(QPoint(200, 100), QPoint(400, 300));
    QVERIFY(chart.LeftAxis().Maximum() < 60000);
    chart.DragZoom(QPoint(400, 300), QPoint(200, 100));
    QCOMPARE(chart.LeftAxis().Automatic(), false);
    QCOMPARE(chart.LeftAxis().Minimum(), 40000.0);
    QCOMPARE(chart.LeftAxis().Maximum(), 60000.0);
}

void TestProfileChart::shortDragsChangeNothing()
{
    qm::ProfileChart chart;
    chart.SetAnimatedZoom(false);
    chart.resize(860, 560);
    Fill(chart.series(Ribbon), 50, [](int) { return 41000.0; });
    chart.DragZoom(QPoint(200, 100), QPoint(216, 300)); // only 16 across
    chart.DragZoom(QPoint(200, 100), QPoint(400, 116)); // only 16 down
    QVERIFY(!chart.IsZoomed());
    QCOMPARE(chart.LeftAxis().Maximum(), 60000.0);
    chart.DragZoom(QPoint(400, 300), QPoint(200, 100)); // un-zoom with nothing zoomed
    QCOMPARE(chart.LeftAxis().Minimum(), 40000.0);
    QCOMPARE(chart.BottomMaximum(), 49.0);
}

void TestProfileChart::animatedZoomEndsOnTheSameRange()
{
    qm::ProfileChart plain;
    plain.SetAnimatedZoom(false);
    qm::ProfileChart animated;
    for (qm::ProfileChart* chart : {&plain, &animated}) {
        chart->resize(860, 560);
        Fill(chart->series(Area), 300, [](int i) { return 45000.0 + 30 * i; });
    }
    plain.DragZoom(QPoint(150, 100), QPoint(600, 400));
    animated.DragZoom(QPoint(150, 100), QPoint(600, 400));
    QVERIFY(animated.IsZoomed());
    animated.FinishZoomAnimation();
    QCOMPARE(animated.LeftAxis().Minimum(), plain.LeftAxis().Minimum());
    QCOMPARE(animated.LeftAxis().Maximum(), plain.LeftAxis().Maximum());
    QCOMPARE(animated.BottomMinimum(), plain.BottomMinimum());
    QCOMPARE(animated.BottomMaximum(), plain.BottomMaximum());

    // Left to itself, the animation reaches the same end.
    animated.UndoZoom();
    animated.DragZoom(QPoint(150, 100), QPoint(600, 400));
    QTRY_COMPARE(animated.BottomMaximum(), plain.BottomMaximum());
    QCOMPARE(animated.LeftAxis().Minimum(), plain.LeftAxis().Minimum());
}

void TestProfileChart::pressOnASeriesStartsNoZoom()
{
    qm::ProfileChart chart;
    chart.SetAnimatedZoom(false);
    chart.resize(860, 560);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    Fill(chart.series(Ribbon), 20, [](int) { return 45000.0; });
    QSignalSpy spy(&chart, &qm::ProfileChart::ClickSeries);
    const QPoint on = chart.PointPosition(Ribbon, 5).toPoint();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, on);
    QTest::mouseMove(&chart, on + QPoint(100, 100));
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, on + QPoint(200, 100));
    QCOMPARE(spy.count(), 1);
    QVERIFY(!chart.IsZoomed());

    // While a zoom drag is under way, a press of another button over the series is no click.
    const QPoint empty = chart.PointPosition(Ribbon, 2).toPoint() - QPoint(0, 150);
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, empty);
    QTest::mousePress(&chart, Qt::RightButton, Qt::NoModifier, on);
    QTest::mouseRelease(&chart, Qt::RightButton, Qt::NoModifier, on);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, empty);
    QCOMPARE(spy.count(), 1);
}

void TestProfileChart::doubleClickEmitsDoubleClicked()
{
    qm::ProfileChart chart;
    chart.resize(860, 560);
    chart.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chart));
    Fill(chart.series(Ribbon), 20, [](int) { return 45000.0; });
    QSignalSpy clicks(&chart, &qm::ProfileChart::ClickSeries);
    QSignalSpy doubles(&chart, &qm::ProfileChart::DoubleClicked);
    const QPoint on = chart.PointPosition(Ribbon, 5).toPoint();
    // As the window system delivers it: press and release, then the double click and release.
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, on);
    QTest::mouseDClick(&chart, Qt::LeftButton, Qt::NoModifier, on);
    QCOMPARE(doubles.count(), 1);
    QCOMPARE(clicks.count(), 1); // the first press already picked the point
    QCOMPARE(clicks.at(0).at(1).toInt(), 5);
    QVERIFY(!chart.IsZoomed());
}

QTEST_MAIN(TestProfileChart)
#include "test_profile_chart.moc"
