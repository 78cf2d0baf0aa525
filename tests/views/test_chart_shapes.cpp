// The per-style shape builders of the profile chart, on a few points in an unscaled oblique view,
// where a point at depth z lands z right of and z above its place on the front plane.
#include "chart_shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace qm::chart {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A 400 x 1000 plot (slots 10 deep: line 0-10, area 10-20, ribbon 20-30), values 0..100 upward.
ShapeFrame Frame(double lastIndex, int columns)
{
    ShapeFrame f;
    f.scene.plot = {0, 0, 400, 1000};
    f.scene.view = {1, 0, 0, {0, 0}};
    f.x = {0, lastIndex, 0, 400};
    f.y = {0, 100, 1000, 0};
    f.columns = columns;
    return f;
}

void ExpectAt(Point2 p, double x, double y)
{
    EXPECT_DOUBLE_EQ(p.x, x);
    EXPECT_DOUBLE_EQ(p.y, y);
}

TEST(ChartShapes, RibbonIsOneStripPerSegmentShadedWhereItsUndersideShows)
{
    const std::vector<double> values{50, 100, 0};
    const std::vector<std::uint32_t> colors{0xff0000ffu, 0xff00ff00u, 0xffff0000u};
    const SeriesShapes s = BuildRibbonShapes(Frame(2, 400), values, {colors[0], colors});
    ASSERT_EQ(s.back.size(), 2u);
    EXPECT_TRUE(s.face.empty());
    EXPECT_TRUE(s.spans.empty());
    EXPECT_TRUE(s.marks.empty());
    EXPECT_EQ(s.edges.size(), 4u); // front and back outline of each strip

    // Rising 500 over 200: the strip's underside faces the viewer.
    const Polygon& rising = s.back[0];
    ASSERT_EQ(rising.size, 4);
    ExpectAt(rising.points[0], 0 + 20, 500 - 20);
    ExpectAt(rising.points[1], 200 + 20, 0 - 20);
    ExpectAt(rising.points[2], 200 + 30, 0 - 30);
    ExpectAt(rising.points[3], 0 + 30, 500 - 30);
    EXPECT_EQ(rising.color, colors[0]);
    EXPECT_GT(rising.darker, 100);
    EXPECT_EQ(s.back[1].color, colors[1]);
    EXPECT_EQ(s.back[1].darker, 0);
}

TEST(ChartShapes, AreaFillsDownToTheBaseAndClosesEachRunWithAnEndWall)
{
    const std::vector<double> values{50, 50, kNaN, 70, 70};
    const SeriesShapes s = BuildAreaShapes(Frame(4, 400), values, {0xffffff00u, {}});
    // Two runs of one segment each: a top and an end wall per run, one front face per segment.
    ASSERT_EQ(s.back.size(), 4u);
    ASSERT_EQ(s.face.size(), 2u);
    EXPECT_EQ(s.edges.size(), 2u);
    EXPECT_LT(s.back[0].darker, s.back[1].darker); // the end wall is shaded deeper than the top
    const Polygon& endWall = s.back[1];
    ExpectAt(endWall.points[0], 100 + 10, 500 - 10);
    ExpectAt(endWall.points[2], 100 + 20, 1000 - 20);
    const Polygon& face = s.face[1];
    EXPECT_EQ(face.darker, 0);
    EXPECT_EQ(face.color, 0xffffff00u);
    ExpectAt(face.points[0], 300 + 10, 300 - 10);
    ExpectAt(face.points[1], 400 + 10, 300 - 10);
    ExpectAt(face.points[2], 400 + 10, 1000 - 10);
    ExpectAt(face.points[3], 300 + 10, 1000 - 10);
}

TEST(ChartShapes, LineDrawsOneStrokePerColumnWhenPointsOutnumberThem)
{
    // Eight points over four columns of 100: {0, 100} {50, 50} {50, 50} {50, 50}.
    const std::vector<double> values{0, 100, 50, 50, 50, 50, 50, 50};
    const SeriesShapes s = BuildLineShapes(Frame(7, 4), values);
    EXPECT_EQ(s.spans.size(), 4u);
    ASSERT_EQ(s.lines.size(), 4u);
    EXPECT_TRUE(s.back.empty());
    EXPECT_TRUE(s.edges.empty());
    // Down the middle of the first column, 5 deep.
    ExpectAt(s.lines[0].a, 50 + 5, 1000 - 5);
    ExpectAt(s.lines[0].b, 50 + 5, 0 - 5);
    // The second column reaches up to the first one's last value, so the curve joins up.
    ExpectAt(s.lines[1].a, 150 + 5, 500 - 5);
    ExpectAt(s.lines[1].b, 150 + 5, 0 - 5);
    // Flat from then on: a stroke across the column.
    ExpectAt(s.lines[2].a, 200 + 5, 500 - 5);
    ExpectAt(s.lines[2].b, 300 + 5, 500 - 5);

    // A single point has no segment: a short dash marks it.
    const SeriesShapes lone = BuildLineShapes(Frame(0, 400), std::vector<double>{100});
    ASSERT_EQ(lone.lines.size(), 1u);
    EXPECT_DOUBLE_EQ(lone.lines[0].b.x - lone.lines[0].a.x, 4);
}

} // namespace
} // namespace qm::chart
