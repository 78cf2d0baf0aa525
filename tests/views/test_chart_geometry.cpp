// Profile chart geometry: scales, projection, depth slots, ticks, label thinning, decimation and
// hit testing, all on inline data.
#include "chart_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace qm::chart {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(ChartScale, MapsValuesBothWaysAndUpsideDown)
{
    const AxisScale y{40000, 60000, 500, 100}; // values grow upward on screen
    EXPECT_DOUBLE_EQ(ValueToPixel(y, 40000), 500);
    EXPECT_DOUBLE_EQ(ValueToPixel(y, 60000), 100);
    EXPECT_DOUBLE_EQ(ValueToPixel(y, 50000), 300);
    EXPECT_DOUBLE_EQ(PixelToValue(y, 300), 50000);
    EXPECT_DOUBLE_EQ(PixelToValue(y, ValueToPixel(y, 41234.5)), 41234.5);
}

TEST(ChartScale, ZeroSpanPutsEverythingInTheMiddle)
{
    const AxisScale y{50000, 50000, 500, 100};
    EXPECT_DOUBLE_EQ(ValueToPixel(y, 50000), 300);
    EXPECT_DOUBLE_EQ(ValueToPixel(y, 12), 300);
    EXPECT_FALSE(std::isnan(PixelToValue(y, 250)));
}

TEST(ChartScale, ClampedValuesStayOnThePlotEdges)
{
    const AxisScale y{40000, 60000, 500, 100};
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, 70000), 100);
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, 10000), 500);
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, kInf), 100);
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, -kInf), 500);
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, kNaN), 500);
    EXPECT_DOUBLE_EQ(ClampedValueToPixel(y, 1e308), 100);
}

TEST(ChartProjection, DepthMovesRightAndUpBeforeTheZoom)
{
    ObliqueView view;
    view.zoom = 2;
    view.offsetX = 35;
    view.offsetY = -9;
    view.center = {100, 100};
    const Point2 front = Project(view, 120, 80, 0);
    EXPECT_DOUBLE_EQ(front.x, 100 + 20 * 2 + 35);
    EXPECT_DOUBLE_EQ(front.y, 100 - 20 * 2 - 9);
    const Point2 deep = Project(view, 120, 80, 10);
    EXPECT_DOUBLE_EQ(deep.x - front.x, 20); // 10 right, zoomed
    EXPECT_DOUBLE_EQ(deep.y - front.y, -20); // 10 up, zoomed
    const Point2 back = Unproject(view, deep, 10);
    EXPECT_DOUBLE_EQ(back.x, 120);
    EXPECT_DOUBLE_EQ(back.y, 80);
}

TEST(ChartProjection, SlotsAreEqualRearToFront)
{
    const DepthSlot rear = SeriesSlot(SeriesShape::Ribbon, 800);
    const DepthSlot middle = SeriesSlot(SeriesShape::Area, 800);
    const DepthSlot front = SeriesSlot(SeriesShape::Line, 800);
    EXPECT_DOUBLE_EQ(SlotDepth(800), 20); // 2.5 % of the width
    EXPECT_DOUBLE_EQ(front.front, 0);
    EXPECT_DOUBLE_EQ(front.back, 20);
    EXPECT_DOUBLE_EQ(middle.front, 20);
    EXPECT_DOUBLE_EQ(rear.front, 40);
    EXPECT_DOUBLE_EQ(rear.back, 60);
    EXPECT_DOUBLE_EQ(TotalDepth(800), 60);
}

TEST(ChartProjection, FittedBoxFillsTheRegionExactly)
{
    const Rect region{50, 40, 750, 500};
    const SceneFrame frame = FitScene(region, ObliqueView{});
    const Rect& p = frame.plot;
    EXPECT_NEAR(frame.depth, TotalDepth(p.Width()), 1e-9);
    const Point2 frontBottomLeft = Project(frame.view, p.left, p.bottom, 0);
    const Point2 backTopRight = Project(frame.view, p.right, p.top, frame.depth);
    EXPECT_NEAR(frontBottomLeft.x, region.left, 1e-9);
    EXPECT_NEAR(frontBottomLeft.y, region.bottom, 1e-9);
    EXPECT_NEAR(backTopRight.x, region.right, 1e-9);
    EXPECT_NEAR(backTopRight.y, region.top, 1e-9);
}

TEST(ChartProjection, TinyRegionStillGivesAPlot)
{
    const SceneFrame frame = FitScene(Rect{10, 10, 5, 5}, ObliqueView{});
    EXPECT_GT(frame.plot.Width(), 0);
    EXPECT_GT(frame.plot.Height(), 0);
}

TEST(ChartTicks, StepsAreOneTwoOrFiveTimesAPowerOfTen)
{
    EXPECT_DOUBLE_EQ(NiceStep(20000, 10), 2000);
    EXPECT_DOUBLE_EQ(NiceStep(20000, 7), 5000);
    EXPECT_DOUBLE_EQ(NiceStep(1, 10), 0.1);
    EXPECT_DOUBLE_EQ(NiceStep(3, 2), 2);
    EXPECT_DOUBLE_EQ(NiceStep(0, 10), 0);
}

TEST(ChartTicks, TicksCoverTheRangeOnMultiplesOfTheStep)
{
    const std::vector<double> ticks = NiceTicks(40000, 60000, 10);
    ASSERT_EQ(ticks.size(), 11u);
    EXPECT_DOUBLE_EQ(ticks.front(), 40000);
    EXPECT_DOUBLE_EQ(ticks.back(), 60000);

    const std::vector<double> odd = NiceTicks(49987, 50213, 5);
    ASSERT_FALSE(odd.empty());
    EXPECT_GE(odd.front(), 49987);
    EXPECT_LE(odd.back(), 50213);
    EXPECT_LE(odd.size(), 6u);
    for (double t : odd)
        EXPECT_DOUBLE_EQ(std::fmod(t, 50), 0);
}

TEST(ChartTicks, DegenerateRangesNeverExplode)
{
    EXPECT_EQ(NiceTicks(50000, 50000, 10), std::vector<double>{50000});
    EXPECT_TRUE(NiceTicks(kNaN, 1, 10).empty());
    EXPECT_TRUE(NiceTicks(0, kInf, 10).empty());
    EXPECT_LE(NiceTicks(-1e308, 1e308, 10).size(), 501u);
    EXPECT_LE(NiceTicks(1e16, 1e16 + 4, 1e9).size(), 501u);
    EXPECT_LE(NiceTicks(0, 1, 1e12).size(), 501u);
}

TEST(ChartTicks, LabelsShowTheDecimalsTheStepNeeds)
{
    EXPECT_EQ(StepDecimals(1000), 0);
    EXPECT_EQ(StepDecimals(0.5), 1);
    EXPECT_EQ(StepDecimals(0.25), 1); // not a nice step, but never more than asked
    EXPECT_EQ(StepDecimals(0.01), 2);
    EXPECT_EQ(FormatTick(50000, 0), "50000");
    EXPECT_EQ(FormatTick(0.5, 1), "0.5");
    EXPECT_EQ(FormatTick(-0.0, 2), "0.00");
    EXPECT_EQ(FormatTick(-1e-12, 0), "0");
    EXPECT_EQ(FormatTick(-3, 0), "-3");
}

// Labels of `count` points spaced `spacing` apart, each `width` wide unless overridden.
struct LabelRow {
    double spacing;
    std::vector<double> widths;
    double X(std::int64_t i) const { return 10 + spacing * static_cast<double>(i); }
    double W(std::int64_t i) const { return widths[static_cast<std::size_t>(i)]; }
};

void ExpectNoOverlap(const LabelRow& row, const std::vector<std::int64_t>& chosen, double gap)
{
    for (std::size_t k = 1; k < chosen.size(); ++k) {
        const std::int64_t a = chosen[k - 1];
        const std::int64_t b = chosen[k];
        EXPECT_LT(a, b);
        EXPECT_GE(row.X(b) - row.W(b) / 2, row.X(a) + row.W(a) / 2 + gap) << a << " and " << b;
    }
}

TEST(ChartLabels, ThinnedLabelsNeverOverlap)
{
    LabelRow row{3, std::vector<double>(1500, 40)};
    row.widths[301] = 400; // one very long caption
    row.widths[700] = 0;
    const auto chosen = ThinLabels(0, 1499, [&](std::int64_t i) { return row.X(i); },
                                   [&](std::int64_t i) { return row.W(i); }, 40, 6);
    ASSERT_GE(chosen.size(), 10u);
    EXPECT_EQ(chosen.front(), 0);
    ExpectNoOverlap(row, chosen, 6);
}

TEST(ChartLabels, WideSpacingShowsEveryLabel)
{
    LabelRow row{100, std::vector<double>(8, 30)};
    const auto chosen = ThinLabels(0, 7, [&](std::int64_t i) { return row.X(i); },
                                   [&](std::int64_t i) { return row.W(i); }, 30, 4);
    EXPECT_EQ(chosen.size(), 8u);
}

TEST(ChartLabels, AMillionPointsMeasureOnlyAFewLabels)
{
    LabelRow row{0.0007, {}};
    int measured = 0;
    const auto chosen = ThinLabels(0, 999999, [&](std::int64_t i) { return row.X(i); },
                                   [&](std::int64_t) { ++measured; return 50.0; }, 50, 6);
    EXPECT_GE(chosen.size(), 5u);
    EXPECT_LT(measured, 1000);
    for (std::size_t k = 1; k < chosen.size(); ++k)
        EXPECT_GE(row.X(chosen[k]) - row.X(chosen[k - 1]), 56 - 1e-9);
}

TEST(ChartLabels, EmptyAndSingleRanges)
{
    const auto x = [](std::int64_t i) { return static_cast<double>(i); };
    const auto w = [](std::int64_t) { return 10.0; };
    EXPECT_TRUE(ThinLabels(5, 4, x, w, 10, 2).empty());
    EXPECT_EQ(ThinLabels(3, 3, x, w, 10, 2), std::vector<std::int64_t>{3});
}

TEST(ChartDecimation, KeepsTheMinimumAndMaximumOfEachColumn)
{
    std::vector<double> values(1000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = static_cast<double>(i % 7);
    values[123] = -50; // column 12 of 100
    values[988] = 90;  // column 98
    const auto spans = DecimateMinMax(values, 0, 999, 100);
    ASSERT_EQ(spans.size(), 100u);
    EXPECT_DOUBLE_EQ(spans[12].min, -50);
    EXPECT_DOUBLE_EQ(spans[98].max, 90);
    EXPECT_DOUBLE_EQ(spans[50].min, 0);
    EXPECT_DOUBLE_EQ(spans[50].max, 6);

    // Every point falls into exactly one column, in order.
    std::int64_t expected = 0;
    for (const ColumnSpan& s : spans) {
        ASSERT_GE(s.firstIndex, 0);
        EXPECT_EQ(s.firstIndex, expected);
        expected = s.lastIndex + 1;
    }
    EXPECT_EQ(expected, 1000);
}

TEST(ChartDecimation, ZoomedRangeAndNonFiniteValues)
{
    std::vector<double> values{1, 2, kNaN, 4, 5, kInf, 7, 8, 9, 10};
    const auto spans = DecimateMinMax(values, 2.5, 7, 2); // indices 3..7
    EXPECT_EQ(spans[0].firstIndex, 3);
    EXPECT_DOUBLE_EQ(spans[0].min, 4);
    EXPECT_EQ(spans[1].lastIndex, 7);
    EXPECT_DOUBLE_EQ(spans[1].max, 8);
    for (const ColumnSpan& s : spans) {
        EXPECT_TRUE(std::isfinite(s.min));
        EXPECT_TRUE(std::isfinite(s.max));
    }

    const std::vector<double> gaps{kNaN, kNaN};
    EXPECT_EQ(DecimateMinMax(gaps, 0, 1, 4)[0].firstIndex, -1);
    EXPECT_TRUE(DecimateMinMax(values, 0, 9, 0).empty());
    EXPECT_EQ(DecimateMinMax(values, 20, 30, 3)[1].firstIndex, -1);
}

TEST(ChartDecimation, VisibleIndicesFollowTheZoom)
{
    const IndexRange all = VisibleIndices(10, 0, 9);
    EXPECT_EQ(all.first, 0);
    EXPECT_EQ(all.last, 9);
    const IndexRange part = VisibleIndices(10, 2.2, 6.9);
    EXPECT_EQ(part.first, 3);
    EXPECT_EQ(part.last, 6);
    const IndexRange none = VisibleIndices(10, 3.2, 3.8);
    EXPECT_GT(none.first, none.last);
    EXPECT_GT(VisibleIndices(0, 0, 9).first, VisibleIndices(0, 0, 9).last);
}

// Ten points 50 scene units apart on a 500-unit plot, values in 0..100.
struct HitFixture : ::testing::Test {
    std::vector<double> values{10, 20, 30, 40, 60, 50, 70, 80, 20, 90};
    // A series drawn as `shape`, standing in the depth slot of the series drawn as `slotOf`.
    HitQuery Query(SeriesShape shape, SeriesShape slotOf) const
    {
        HitQuery q;
        q.shape = shape;
        q.x = {0, 9, 0, 450};
        q.y = {0, 100, 400, 0};
        q.slot = SeriesSlot(slotOf, 450);
        q.bottom = 400;
        q.tolerance = 4;
        return q;
    }
    // The scene point of value index i (fractional between points) at depth z.
    Point2 At(const HitQuery& q, double i, double z) const
    {
        const auto k = static_cast<std::size_t>(i);
        const double t = i - static_cast<double>(k);
        const double v = t == 0 ? values[k] : values[k] + (values[k + 1] - values[k]) * t;
        return {ValueToPixel(q.x, i) + z, ValueToPixel(q.y, v) - z};
    }
};

TEST_F(HitFixture, PressOnTheFirstPointGivesZero)
{
    for (auto shape : {SeriesShape::Ribbon, SeriesShape::Area, SeriesShape::Line}) {
        const HitQuery q = Query(shape, SeriesShape::Ribbon);
        EXPECT_EQ(HitTest(q, values, At(q, 0, q.slot.Middle())), 0);
    }
}

TEST_F(HitFixture, PressBetweenPointsGivesTheLeftOne)
{
    for (auto shape : {SeriesShape::Ribbon, SeriesShape::Area, SeriesShape::Line}) {
        const HitQuery q = Query(shape, SeriesShape::Line);
        EXPECT_EQ(HitTest(q, values, At(q, 3.5, q.slot.Middle())), 3);
        EXPECT_EQ(HitTest(q, values, At(q, 3.2, q.slot.Middle())), 3);
        EXPECT_EQ(HitTest(q, values, At(q, 3.8, q.slot.Middle())), 3);
    }
}

TEST_F(HitFixture, PressOnAPointGivesThatPointNotTheSegmentBefore)
{
    const HitQuery q = Query(SeriesShape::Ribbon, SeriesShape::Ribbon);
    EXPECT_EQ(HitTest(q, values, At(q, 4, q.slot.Middle())), 4);
    EXPECT_EQ(HitTest(q, values, At(q, 9, q.slot.Middle())), 9);
}

TEST_F(HitFixture, RibbonCoversItsWholeSlotDepthOnly)
{
    const HitQuery q = Query(SeriesShape::Ribbon, SeriesShape::Ribbon);
    EXPECT_EQ(HitTest(q, values, At(q, 5.5, q.slot.front + 1)), 5);
    EXPECT_EQ(HitTest(q, values, At(q, 5.5, q.slot.back - 1)), 5);
    // Well in front of the slot: nothing there.
    EXPECT_EQ(HitTest(q, values, At(q, 5.5, q.slot.front - 15)), -1);
}

TEST_F(HitFixture, InsideTheAreaCountsButAboveItDoesNot)
{
    const HitQuery q = Query(SeriesShape::Area, SeriesShape::Area);
    Point2 inside = At(q, 6.5, q.slot.front);
    inside.y += 100; // well below the curve, above the base
    EXPECT_EQ(HitTest(q, values, inside), 6);
    Point2 above = At(q, 6.5, q.slot.front);
    above.y -= 60;
    EXPECT_EQ(HitTest(q, values, above), -1);
    // The same press on a line series misses.
    const HitQuery line = Query(SeriesShape::Line, SeriesShape::Area);
    EXPECT_EQ(HitTest(line, values, inside), -1);
}

TEST_F(HitFixture, EmptyGapsAndLonePoints)
{
    const HitQuery q = Query(SeriesShape::Line, SeriesShape::Line);
    EXPECT_EQ(HitTest(q, std::vector<double>{}, {0, 0}), -1);
    std::vector<double> gaps = values;
    gaps[4] = kNaN;
    gaps[5] = kNaN;
    EXPECT_EQ(HitTest(q, gaps, At(q, 4.5, q.slot.Middle())), -1);
    const std::vector<double> one{50};
    const HitQuery single{SeriesShape::Ribbon, {0, 0, 0, 450}, {0, 100, 400, 0},
                          SeriesSlot(SeriesShape::Ribbon, 450), 400, 4};
    const double z = single.slot.Middle();
    EXPECT_EQ(HitTest(single, one, {225 + z, 200 - z}), 0);
    EXPECT_EQ(HitTest(single, one, {100, 100}), -1);
}

TEST(ChartHitTest, AMillionPointsMapThePressToItsPoint)
{
    std::vector<double> values(1000000, 50000);
    values[654321] = 59000; // a spike far above the rest
    HitQuery q;
    q.shape = SeriesShape::Line;
    q.x = {0, 999999, 0, 700};
    q.y = {40000, 60000, 400, 0};
    q.slot = SeriesSlot(SeriesShape::Line, 700);
    const double z = q.slot.Middle();
    const Point2 spike{ValueToPixel(q.x, 654321) + z, ValueToPixel(q.y, 59000) - z};
    const int hit = HitTest(q, values, spike);
    EXPECT_GE(hit, 654320);
    EXPECT_LE(hit, 654321);

    // Against the drawn columns, the spike itself is found among its column's points.
    const auto spans = DecimateMinMax(values, q.x.min, q.x.max, 700);
    EXPECT_EQ(HitTestColumns(q, spans, values, spike), 654321);
    const Point2 flat{ValueToPixel(q.x, 200000.5) + z, ValueToPixel(q.y, 50000) - z};
    const int onFlat = HitTestColumns(q, spans, values, flat);
    EXPECT_NEAR(onFlat, 200000, 1000000 / 700 + 1);
    const Point2 above{flat.x, flat.y - 30};
    EXPECT_EQ(HitTestColumns(q, spans, values, above), -1);
}

TEST(ChartHitTest, ColumnsOfARibbonCoverTheSlotDepth)
{
    std::vector<double> values(70000);
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = 50000 + static_cast<double>(i % 2); // a flat band
    HitQuery q;
    q.shape = SeriesShape::Ribbon;
    q.x = {0, 69999, 0, 700};
    q.y = {49000, 51000, 400, 0};
    q.slot = SeriesSlot(SeriesShape::Ribbon, 700);
    const auto spans = DecimateMinMax(values, q.x.min, q.x.max, 700);
    const double x = ValueToPixel(q.x, 35000);
    const double y = ValueToPixel(q.y, 50000);
    for (double z : {q.slot.front + 0.5, q.slot.Middle(), q.slot.back - 0.5})
        EXPECT_GE(HitTestColumns(q, spans, values, {x + z, y - z}), 0) << z;
    EXPECT_EQ(HitTestColumns(q, spans, values, {x + q.slot.front - 12, y - q.slot.front + 12}), -1);
    EXPECT_EQ(HitTestColumns(q, spans, values, {x, y - q.slot.back - 10}), -1); // above the back edge

    // An area is also hit well inside its face, below the band.
    q.shape = SeriesShape::Area;
    q.bottom = 400;
    EXPECT_GE(HitTestColumns(q, spans, values, {x + q.slot.front, y + 100 - q.slot.front}), 0);
}

TEST(ChartGeometry, HostileValuesAndScalesStayInRange)
{
    std::mt19937 rng(5);
    const double specials[] = {kNaN, kInf, -kInf, 1e308, -1e308, 0, 5e-324, 50000};
    std::uniform_int_distribution<int> pick(0, 7);
    std::uniform_real_distribution<double> any(-1000, 1000);
    for (int round = 0; round < 200; ++round) {
        std::vector<double> values(static_cast<std::size_t>(rng() % 50));
        for (double& v : values)
            v = rng() % 2 ? specials[pick(rng)] : any(rng);
        HitQuery q;
        q.shape = static_cast<SeriesShape>(rng() % 3);
        q.x = {any(rng), any(rng), any(rng), any(rng)};
        q.y = {specials[pick(rng)], specials[pick(rng)], 400, 0};
        q.slot = SeriesSlot(static_cast<int>(rng() % 5) - 1, any(rng));
        q.bottom = 400;
        const int hit = HitTest(q, values, {any(rng), any(rng)});
        EXPECT_GE(hit, -1);
        EXPECT_LT(hit, static_cast<int>(values.size()));

        const int columns = static_cast<int>(rng() % 20);
        const auto spans = DecimateMinMax(values, q.x.min, q.x.max, columns);
        ASSERT_EQ(spans.size(), static_cast<std::size_t>(columns));
        for (const ColumnSpan& span : spans) {
            EXPECT_GE(span.firstIndex, -1);
            EXPECT_LT(span.lastIndex, static_cast<std::int64_t>(values.size()));
            if (span.firstIndex >= 0) {
                EXPECT_LE(span.min, span.max);
            }
        }
        for (double t : NiceTicks(q.y.min, q.y.max, any(rng)))
            EXPECT_TRUE(std::isfinite(t));
    }
}

TEST(ChartGeometry, DistancesToSegmentsAndQuads)
{
    EXPECT_DOUBLE_EQ(DistanceToSegment({5, 3}, {0, 0}, {10, 0}), 3);
    EXPECT_DOUBLE_EQ(DistanceToSegment({-3, 4}, {0, 0}, {10, 0}), 5);
    EXPECT_DOUBLE_EQ(DistanceToSegment({1, 1}, {0, 0}, {0, 0}), std::sqrt(2.0));
    const Point2 square[4] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    EXPECT_DOUBLE_EQ(DistanceToQuad({5, 5}, square), 0);
    EXPECT_DOUBLE_EQ(DistanceToQuad({13, 5}, square), 3);
    const Point2 flat[4] = {{0, 0}, {10, 0}, {10, 0}, {0, 0}};
    EXPECT_DOUBLE_EQ(DistanceToQuad({20, 0}, flat), 10); // collinear, outside the segment
}

} // namespace
} // namespace qm::chart
