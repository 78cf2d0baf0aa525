// Pure geometry of the profile chart: value <-> pixel scales, the oblique 3-D projection and its
// depth slots, the layout of the plot area, axis ticks, bottom-label thinning, min/max decimation
// per pixel column and hit testing of a press against a series. No Qt here, so all of it is tested
// without a widget; the widget only draws what these functions compute.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qm::chart {

struct Point2 {
    double x = 0;
    double y = 0;
};

struct Rect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
    double Width() const { return right - left; }
    double Height() const { return bottom - top; }
};

// A linear map from axis values to pixels: `min` lands on `pixelAtMin`, `max` on `pixelAtMax`.
// A zero span (min == max) puts every value in the middle of the pixel range.
struct AxisScale {
    double min = 0;
    double max = 1;
    double pixelAtMin = 0;
    double pixelAtMax = 1;
};

double ValueToPixel(const AxisScale& scale, double value);
double PixelToValue(const AxisScale& scale, double pixel);
// As ValueToPixel, but kept inside the pixel range: readings beyond the axis sit on the edge.
// Non-finite values map to the nearer edge (NaN to the min edge).
double ClampedValueToPixel(const AxisScale& scale, double value);

// The oblique view: a point at depth z is moved z right and z up, then the whole scene is scaled
// by `zoom` around `center` and shifted by the offsets.
struct ObliqueView {
    double zoom = 1.06;
    double offsetX = 35;
    double offsetY = -9;
    Point2 center;
};

Point2 Project(const ObliqueView& view, double x, double y, double z);
// The scene point at depth z that projects onto `screen`.
Point2 Unproject(const ObliqueView& view, Point2 screen, double z);

// Three series stand one behind another; each owns a slot of equal depth.
inline constexpr int kSlotCount = 3;
inline constexpr double kSlotDepthFraction = 0.025; // of the plot area's width

struct DepthSlot {
    double front = 0; // depth of the slot's front face
    double back = 0;  // depth of its back face
    double Middle() const { return (front + back) / 2; }
};

double SlotDepth(double plotWidth);
double TotalDepth(double plotWidth);
// The chart's three series, each drawn in its own way. The value is the series' position in the
// chart and so its depth slot: the ribbon stands at the back, the line in front.
enum class SeriesShape {
    Ribbon = 0, // a band from the slot's front to its back
    Area = 1,   // a ribbon on top of a face filled down to the plot's bottom, at the slot's front
    Line = 2,   // a line in the middle of the slot
};
inline constexpr SeriesShape kSeriesShapes[kSlotCount] = {SeriesShape::Ribbon, SeriesShape::Area,
                                                          SeriesShape::Line};
inline constexpr int SeriesIndex(SeriesShape shape) { return static_cast<int>(shape); }

// Series 0 takes the rearmost slot, series kSlotCount - 1 the front one (an index outside is
// taken as the nearest of them).
DepthSlot SeriesSlot(int seriesIndex, double plotWidth);
inline DepthSlot SeriesSlot(SeriesShape shape, double plotWidth)
{
    return SeriesSlot(SeriesIndex(shape), plotWidth);
}

// Where the plot area (the front wall, in scene coordinates) goes so that the projected 3-D box
// (front wall plus the full depth behind it) exactly fills `region` on screen. The view's center
// is set to the region's centre.
struct SceneFrame {
    Rect plot;
    double depth = 0; // total depth of the box
    ObliqueView view;
};
SceneFrame FitScene(const Rect& region, ObliqueView view);

// Tick steps are 1, 2 or 5 times a power of ten: the smallest such step that gives at most
// `maxTicks` intervals over the span.
double NiceStep(double span, double maxTicks);
// The tick values in [min, max] at the nice step for at most `maxTicks` intervals; one tick for a
// zero span, none for non-finite bounds. Never more than a few hundred ticks.
std::vector<double> NiceTicks(double min, double max, double maxTicks);
// Decimals needed to tell ticks `step` apart (0 for steps of 1 and more).
int StepDecimals(double step);
// "50000", "0.25", never "-0".
std::string FormatTick(double value, int decimals);

// Bottom-axis labels: which point indices in [first, last] get their label drawn. Index i is
// centred at xOf(i) (increasing with i) and is widthOf(i) wide; chosen labels stay at least `gap`
// apart. Candidates are walked at a nice stride derived from `typicalWidth`, so only a few
// hundred labels are ever measured, however many points there are.
std::vector<std::int64_t> ThinLabels(std::int64_t first, std::int64_t last,
                                     const std::function<double(std::int64_t)>& xOf,
                                     const std::function<double(std::int64_t)>& widthOf,
                                     double typicalWidth, double gap);

// Minimum and maximum of the points falling into each pixel column. Column c holds the indices i
// with c <= (i - xMin) / (xMax - xMin) * columns < c + 1 (the last column also holds i == xMax).
// Non-finite values are ignored; a column with no finite value has `firstIndex` = -1.
struct ColumnSpan {
    double min = 0;
    double max = 0;
    std::int64_t firstIndex = -1;
    std::int64_t lastIndex = -1;
};
std::vector<ColumnSpan> DecimateMinMax(std::span<const double> values, double xMin, double xMax,
                                       int columns);

// The indices [first, last] of the points inside the x range (first > last when none).
struct IndexRange {
    std::int64_t first = 0;
    std::int64_t last = -1;
};
IndexRange VisibleIndices(std::size_t count, double xMin, double xMax);

struct HitQuery {
    SeriesShape shape = SeriesShape::Ribbon;
    AxisScale x;       // point index -> scene x
    AxisScale y;       // value -> scene y (clamped to the plot)
    DepthSlot slot;
    double bottom = 0; // scene y of the area's base
    double tolerance = 4; // in scene units
};

// The index of the point under a press at scene point `press` (depth 0), or -1. A press on the
// shape between points k and k + 1 gives k, except within `tolerance` of point k + 1 itself.
// Only the points near the press are examined: the candidates come from inverting the x scale.
int HitTest(const HitQuery& query, std::span<const double> values, Point2 press);

// The value range drawn for column c of a decimation: its own minimum and maximum, stretched to
// the last value of the column before it (when that one holds any) so that columns join up.
// False for a column without finite values.
bool DrawnColumnRange(std::span<const ColumnSpan> spans, std::span<const double> values, std::size_t c,
                      double& lo, double& hi);

// As HitTest, for a series drawn as one span per column (`spans` from DecimateMinMax over the
// query's x range). The columns under the press are found by arithmetic; within the one hit, the
// point whose value lies nearest the press is chosen, so a spike is found even among a thousand
// points per pixel.
int HitTestColumns(const HitQuery& query, std::span<const ColumnSpan> spans, std::span<const double> values,
                   Point2 press);

// Distance from p to the segment ab, and to the convex quadrilateral q (0 inside).
double DistanceToSegment(Point2 p, Point2 a, Point2 b);
double DistanceToQuad(Point2 p, const Point2 (&q)[4]);

} // namespace qm::chart
