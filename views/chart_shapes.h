// The drawn shapes of one profile-chart series, as plain screen geometry: one builder per series
// style (ribbon, area, line). No Qt here; the widget only hands these polygons and lines to its
// painter, and the tests check them without a widget.
#pragma once

#include "chart_geometry.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace qm::chart {

// Everything a builder needs from the chart's layout of one paint.
struct ShapeFrame {
    SceneFrame scene;
    AxisScale x;     // point index -> scene x
    AxisScale y;     // value -> scene y
    int columns = 1; // screen pixel columns across the plot
};

// The points' colours, 0xAARRGGBB: `each` holds one per point, or is empty when all are `first`.
struct PointColors {
    std::uint32_t first = 0;
    std::span<const std::uint32_t> each;
    std::uint32_t At(std::int64_t index) const
    {
        return each.empty() ? first : each[static_cast<std::size_t>(index)];
    }
};

// A filled piece of a series: a quadrilateral or the hexagon of an extruded column, in screen
// pixels. `darker` is 0 for the point's own colour, else the percentage by which the painter
// darkens it (shaded faces).
struct Polygon {
    std::array<Point2, 6> points;
    int size = 0;
    std::uint32_t color = 0;
    int darker = 0;
};

struct Segment {
    Point2 a;
    Point2 b;
};

// What to draw for one series, in painting order: `back` pieces, `face` pieces, then the thin
// dark `edges`, the thick `marks` of a lone point in `markColor`, and the `lines` drawn with the
// series pen. `spans` holds the per-column decimation when points outnumber pixel columns (empty
// otherwise); presses are matched against it.
struct SeriesShapes {
    std::vector<Polygon> back;
    std::vector<Polygon> face;
    std::vector<Segment> edges;
    std::vector<Segment> marks;
    std::vector<Segment> lines;
    std::vector<ColumnSpan> spans;
    std::uint32_t markColor = 0;
};

// The ribbon: a band across the series' depth slot, one strip per segment, with dark outlines at
// its front and back. Strips showing their underside are shaded.
SeriesShapes BuildRibbonShapes(const ShapeFrame& frame, std::span<const double> values, PointColors colors);
// The area: a face at the slot's front filled down to the plot's bottom, below a shaded top
// running back through the slot, and a shaded end wall where a run of points stops.
SeriesShapes BuildAreaShapes(const ShapeFrame& frame, std::span<const double> values, PointColors colors);
// The line: one line through the middle of the slot, in the series pen; point colours are unused.
SeriesShapes BuildLineShapes(const ShapeFrame& frame, std::span<const double> values);

// The builder of the series drawn as `shape`, in its own depth slot.
SeriesShapes BuildShapes(SeriesShape shape, const ShapeFrame& frame, std::span<const double> values,
                         PointColors colors);

} // namespace qm::chart
