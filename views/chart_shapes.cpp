// The per-style shape builders of the profile chart (see chart_shapes.h).
#include "chart_shapes.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace qm::chart {

namespace {

// Shading of the faces that turn away from the viewer, as the painter's darkening percentage.
constexpr int kRibbonUnderside = 130;
constexpr int kRibbonFront = 135;
constexpr int kAreaTop = 125;
constexpr int kAreaEnd = 145;

// One pixel column of a decimated series, in scene coordinates, with the column drawn before it
// when the two join up.
struct Column {
    double x0 = 0, x1 = 0, xc = 0; // left, right and middle
    double yLo = 0, yHi = 0;
    std::uint32_t color = 0;
    bool joined = false; // the previous column holds values: outlines continue from it
    double prevX = 0, prevHi = 0, prevLo = 0;
};

// One segment between points i and i + 1, in scene coordinates, cut at the plot's edges.
struct Step {
    std::int64_t i = 0;
    double xa = 0, ya = 0, xb = 0, yb = 0;
    std::uint32_t color = 0; // of point i
    bool endsRun = false;    // no drawn segment follows this one
};

Polygon MakePolygon(std::initializer_list<Point2> points, std::uint32_t color, int darker = 0)
{
    Polygon p;
    for (const Point2& q : points)
        p.points[static_cast<std::size_t>(p.size++)] = q;
    p.color = color;
    p.darker = darker;
    return p;
}

// Scene -> screen for one frame.
struct Projector {
    const ObliqueView& view;
    Point2 operator()(double x, double y, double z) const { return Project(view, x, y, z); }
};

// More points in view than pixel columns: the series is drawn as one min/max span per column.
bool Decimated(const ShapeFrame& f, const IndexRange& visible)
{
    return visible.last - visible.first + 1 > f.columns;
}

// Decimates the series into `spans` and calls draw(column) for each column holding values. Each
// column reaches the last value of the column before it, so the curve has no gaps.
template <class Draw>
void ForEachColumn(const ShapeFrame& f, std::span<const double> values, PointColors colors,
                   std::vector<ColumnSpan>& spans, Draw&& draw)
{
    spans = DecimateMinMax(values, f.x.min, f.x.max, f.columns);
    const Rect& plot = f.scene.plot;
    const double width = plot.Width() / f.columns;
    Column col;
    for (int c = 0; c < f.columns; ++c) {
        double lo = 0;
        double hi = 0;
        if (!DrawnColumnRange(spans, values, static_cast<std::size_t>(c), lo, hi)) {
            col.joined = false;
            continue;
        }
        const ColumnSpan& span = spans[static_cast<std::size_t>(c)];
        col.x0 = plot.left + c * width;
        col.x1 = col.x0 + width;
        col.xc = (col.x0 + col.x1) / 2;
        col.yLo = ClampedValueToPixel(f.y, lo);
        col.yHi = ClampedValueToPixel(f.y, hi);
        col.color = colors.At(span.firstIndex);
        draw(static_cast<const Column&>(col));
        col.joined = true;
        col.prevX = col.xc;
        col.prevHi = col.yHi;
        col.prevLo = col.yLo;
    }
}

// Calls draw(step) for each segment between two finite points that reaches into the plot, one
// point beyond the visible ones on either side so that a zoomed curve runs to the edges. Returns
// the number of segments drawn.
template <class Draw>
int ForEachStep(const ShapeFrame& f, std::span<const double> values, PointColors colors,
                const IndexRange& visible, Draw&& draw)
{
    const Rect& plot = f.scene.plot;
    const auto lastIndex = static_cast<std::int64_t>(values.size() - 1);
    const std::int64_t from = std::max<std::int64_t>(0, visible.first - 1);
    const std::int64_t to = std::min(lastIndex, visible.last + 1);
    const auto rawY = [&](double v) {
        return std::clamp(ValueToPixel(f.y, v), plot.top - 1e6, plot.bottom + 1e6);
    };
    int drawn = 0;
    for (std::int64_t i = from; i < to; ++i) {
        const double va = values[static_cast<std::size_t>(i)];
        const double vb = values[static_cast<std::size_t>(i + 1)];
        if (!std::isfinite(va) || !std::isfinite(vb))
            continue;
        Step s;
        s.i = i;
        s.xa = ValueToPixel(f.x, static_cast<double>(i));
        s.xb = ValueToPixel(f.x, static_cast<double>(i + 1));
        s.ya = rawY(va);
        s.yb = rawY(vb);
        if (s.xb <= plot.left || s.xa >= plot.right)
            continue;
        if (s.xa < plot.left) {
            s.ya += (s.yb - s.ya) * (plot.left - s.xa) / (s.xb - s.xa);
            s.xa = plot.left;
        }
        if (s.xb > plot.right) {
            s.yb = s.ya + (s.yb - s.ya) * (plot.right - s.xa) / (s.xb - s.xa);
            s.xb = plot.right;
        }
        s.ya = std::clamp(s.ya, plot.top, plot.bottom);
        s.yb = std::clamp(s.yb, plot.top, plot.bottom);
        s.color = colors.At(i);
        s.endsRun = i + 1 == to || !std::isfinite(values[static_cast<std::size_t>(std::min(i + 2, lastIndex))]);
        ++drawn;
        draw(static_cast<const Step&>(s));
    }
    return drawn;
}

// A single visible point has no segment to draw: true, with its scene position, when it is the
// only one to show and is finite.
bool LonePoint(const ShapeFrame& f, std::span<const double> values, const IndexRange& visible, int drawnSteps,
               Point2& at)
{
    if (drawnSteps != 0 || visible.first > visible.last)
        return false;
    const double v = values[static_cast<std::size_t>(visible.first)];
    if (!std::isfinite(v))
        return false;
    at = {ValueToPixel(f.x, static_cast<double>(visible.first)), ClampedValueToPixel(f.y, v)};
    return true;
}

} // namespace

SeriesShapes BuildRibbonShapes(const ShapeFrame& f, std::span<const double> values, PointColors colors)
{
    SeriesShapes out;
    if (values.empty())
        return out;
    const Projector at{f.scene.view};
    const DepthSlot slot = SeriesSlot(SeriesShape::Ribbon, f.scene.plot.Width());
    const double z0 = slot.front;
    const double z1 = slot.back;
    const IndexRange visible = VisibleIndices(values.size(), f.x.min, f.x.max);

    if (Decimated(f, visible)) {
        ForEachColumn(f, values, colors, out.spans, [&](const Column& c) {
            if (c.joined) {
                // The envelope's outline: its top at the front and back, its bottom at the front.
                out.edges.push_back({at(c.prevX, c.prevHi, z0), at(c.xc, c.yHi, z0)});
                out.edges.push_back({at(c.prevX, c.prevHi, z1), at(c.xc, c.yHi, z1)});
                out.edges.push_back({at(c.prevX, c.prevLo, z0), at(c.xc, c.yLo, z0)});
            }
            out.back.push_back(MakePolygon({at(c.x0, c.yLo, z0), at(c.x0, c.yHi, z0), at(c.x0, c.yHi, z1),
                                            at(c.x1, c.yHi, z1), at(c.x1, c.yLo, z1), at(c.x1, c.yLo, z0)},
                                           c.color));
            out.face.push_back(MakePolygon({at(c.x0, c.yLo, z0), at(c.x0, c.yHi, z0), at(c.x1, c.yHi, z0),
                                            at(c.x1, c.yLo, z0)},
                                           c.color, kRibbonFront));
        });
        return out;
    }

    const int drawn = ForEachStep(f, values, colors, visible, [&](const Step& s) {
        // A strip rising more steeply than the depth direction shows its underside: shade it.
        const bool underside = (s.xb - s.xa) + (s.yb - s.ya) < 0;
        out.back.push_back(MakePolygon({at(s.xa, s.ya, z0), at(s.xb, s.yb, z0), at(s.xb, s.yb, z1),
                                        at(s.xa, s.ya, z1)},
                                       s.color, underside ? kRibbonUnderside : 0));
        out.edges.push_back({at(s.xa, s.ya, z0), at(s.xb, s.yb, z0)});
        out.edges.push_back({at(s.xa, s.ya, z1), at(s.xb, s.yb, z1)});
    });
    Point2 lone;
    if (LonePoint(f, values, visible, drawn, lone)) {
        out.marks.push_back({at(lone.x, lone.y, z0), at(lone.x, lone.y, z1)});
        out.markColor = colors.At(visible.first);
    }
    return out;
}

SeriesShapes BuildAreaShapes(const ShapeFrame& f, std::span<const double> values, PointColors colors)
{
    SeriesShapes out;
    if (values.empty())
        return out;
    const Projector at{f.scene.view};
    const DepthSlot slot = SeriesSlot(SeriesShape::Area, f.scene.plot.Width());
    const double z0 = slot.front;
    const double z1 = slot.back;
    const double base = f.scene.plot.bottom;
    const IndexRange visible = VisibleIndices(values.size(), f.x.min, f.x.max);

    if (Decimated(f, visible)) {
        ForEachColumn(f, values, colors, out.spans, [&](const Column& c) {
            if (c.joined) // the envelope's top, at the front
                out.edges.push_back({at(c.prevX, c.prevHi, z0), at(c.xc, c.yHi, z0)});
            out.back.push_back(MakePolygon({at(c.x0, c.yLo, z0), at(c.x0, c.yHi, z0), at(c.x0, c.yHi, z1),
                                            at(c.x1, c.yHi, z1), at(c.x1, c.yLo, z1), at(c.x1, c.yLo, z0)},
                                           c.color, kAreaTop));
            out.face.push_back(MakePolygon({at(c.x0, c.yHi, z0), at(c.x1, c.yHi, z0), at(c.x1, base, z0),
                                            at(c.x0, base, z0)},
                                           c.color));
        });
        return out;
    }

    const int drawn = ForEachStep(f, values, colors, visible, [&](const Step& s) {
        out.back.push_back(MakePolygon({at(s.xa, s.ya, z0), at(s.xb, s.yb, z0), at(s.xb, s.yb, z1),
                                        at(s.xa, s.ya, z1)},
                                       s.color, kAreaTop));
        out.face.push_back(MakePolygon({at(s.xa, s.ya, z0), at(s.xb, s.yb, z0), at(s.xb, base, z0),
                                        at(s.xa, base, z0)},
                                       s.color));
        out.edges.push_back({at(s.xa, s.ya, z0), at(s.xb, s.yb, z0)});
        if (s.endsRun) {
            out.back.push_back(MakePolygon({at(s.xb, s.yb, z0), at(s.xb, s.yb, z1), at(s.xb, base, z1),
                                            at(s.xb, base, z0)},
                                           s.color, kAreaEnd));
        }
    });
    Point2 lone;
    if (LonePoint(f, values, visible, drawn, lone)) {
        out.marks.push_back({at(lone.x, lone.y, z0), at(lone.x, lone.y, z1)});
        out.markColor = colors.At(visible.first);
    }
    return out;
}

SeriesShapes BuildLineShapes(const ShapeFrame& f, std::span<const double> values)
{
    SeriesShapes out;
    if (values.empty())
        return out;
    const Projector at{f.scene.view};
    const double zm = SeriesSlot(SeriesShape::Line, f.scene.plot.Width()).Middle();
    const IndexRange visible = VisibleIndices(values.size(), f.x.min, f.x.max);

    if (Decimated(f, visible)) {
        // Each column is a vertical stroke over its span, or a flat stroke across it when the
        // span is under a pixel high.
        ForEachColumn(f, values, PointColors{}, out.spans, [&](const Column& c) {
            if (std::fabs(c.yLo - c.yHi) < 1)
                out.lines.push_back({at(c.x0, c.yHi, zm), at(c.x1, c.yHi, zm)});
            else
                out.lines.push_back({at(c.xc, c.yLo, zm), at(c.xc, c.yHi, zm)});
        });
        return out;
    }

    const int drawn = ForEachStep(f, values, PointColors{}, visible, [&](const Step& s) {
        out.lines.push_back({at(s.xa, s.ya, zm), at(s.xb, s.yb, zm)});
    });
    Point2 lone;
    if (LonePoint(f, values, visible, drawn, lone)) // a short dash along the line
        out.lines.push_back({at(lone.x - 2, lone.y, zm), at(lone.x + 2, lone.y, zm)});
    return out;
}

SeriesShapes BuildShapes(SeriesShape shape, const ShapeFrame& frame, std::span<const double> values,
                         PointColors colors)
{
    switch (shape) {
    case SeriesShape::Ribbon:
        return BuildRibbonShapes(frame, values, colors);
    case SeriesShape::Area:
        return BuildAreaShapes(frame, values, colors);
    case SeriesShape::Line:
        break;
    }
    return BuildLineShapes(frame, values);
}

} // namespace qm::chart
