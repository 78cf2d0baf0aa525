// Pure geometry of the profile chart (see chart_geometry.h).
#include "chart_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace qm::chart {

namespace {

constexpr std::int64_t kMaxTicks = 500;
constexpr std::int64_t kMaxLabelCandidates = 100000;

// Converts a double index to int64 without overflow, after clamping it to [lo, hi].
std::int64_t ClampIndex(double value, std::int64_t lo, std::int64_t hi)
{
    if (std::isnan(value))
        return lo;
    if (value <= static_cast<double>(lo))
        return lo;
    if (value >= static_cast<double>(hi))
        return hi;
    return static_cast<std::int64_t>(value);
}

Point2 Shift(Point2 p, double z)
{
    return {p.x + z, p.y - z};
}

double Cross(Point2 o, Point2 a, Point2 b)
{
    return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

} // namespace

double ValueToPixel(const AxisScale& scale, double value)
{
    const double span = scale.max - scale.min;
    if (!(span > 0) || !std::isfinite(span))
        return (scale.pixelAtMin + scale.pixelAtMax) / 2;
    return scale.pixelAtMin + (value - scale.min) / span * (scale.pixelAtMax - scale.pixelAtMin);
}

double PixelToValue(const AxisScale& scale, double pixel)
{
    const double pixels = scale.pixelAtMax - scale.pixelAtMin;
    if (pixels == 0)
        return scale.min;
    return scale.min + (pixel - scale.pixelAtMin) / pixels * (scale.max - scale.min);
}

double ClampedValueToPixel(const AxisScale& scale, double value)
{
    const double lo = std::min(scale.pixelAtMin, scale.pixelAtMax);
    const double hi = std::max(scale.pixelAtMin, scale.pixelAtMax);
    if (std::isnan(value))
        return scale.pixelAtMin;
    const double pixel = ValueToPixel(scale, value);
    if (std::isnan(pixel)) // infinite value on a finite axis
        return value > 0 ? scale.pixelAtMax : scale.pixelAtMin;
    return std::clamp(pixel, lo, hi);
}

Point2 Project(const ObliqueView& view, double x, double y, double z)
{
    return {view.center.x + (x + z - view.center.x) * view.zoom + view.offsetX,
            view.center.y + (y - z - view.center.y) * view.zoom + view.offsetY};
}

Point2 Unproject(const ObliqueView& view, Point2 screen, double z)
{
    const double zoom = view.zoom != 0 ? view.zoom : 1;
    return {view.center.x + (screen.x - view.offsetX - view.center.x) / zoom - z,
            view.center.y + (screen.y - view.offsetY - view.center.y) / zoom + z};
}

double SlotDepth(double plotWidth)
{
    return std::max(0.0, plotWidth) * kSlotDepthFraction;
}

double TotalDepth(double plotWidth)
{
    return SlotDepth(plotWidth) * kSlotCount;
}

DepthSlot SeriesSlot(int seriesIndex, double plotWidth)
{
    const double depth = SlotDepth(plotWidth);
    const int fromFront = kSlotCount - 1 - std::clamp(seriesIndex, 0, kSlotCount - 1);
    return {depth * fromFront, depth * (fromFront + 1)};
}

SceneFrame FitScene(const Rect& region, ObliqueView view)
{
    Rect r = region;
    r.right = std::max(r.right, r.left + 1);
    r.bottom = std::max(r.bottom, r.top + 1);
    if (!(view.zoom > 0) || !std::isfinite(view.zoom))
        view.zoom = 1;
    view.center = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};

    // Screen = center + (scene - center) * zoom + offset, solved for the scene edges; the right
    // edge and the top carry the depth of the box behind the front wall.
    const double fraction = kSlotCount * kSlotDepthFraction;
    const double sceneLeft = view.center.x + (r.left - view.offsetX - view.center.x) / view.zoom;
    const double sceneRight = view.center.x + (r.right - view.offsetX - view.center.x) / view.zoom;
    const double sceneTop = view.center.y + (r.top - view.offsetY - view.center.y) / view.zoom;
    const double sceneBottom = view.center.y + (r.bottom - view.offsetY - view.center.y) / view.zoom;

    SceneFrame frame;
    frame.view = view;
    frame.plot.left = sceneLeft;
    frame.plot.right = (sceneRight + fraction * sceneLeft) / (1 + fraction);
    frame.depth = fraction * frame.plot.Width();
    frame.plot.bottom = sceneBottom;
    frame.plot.top = std::min(sceneTop + frame.depth, sceneBottom - 1);
    return frame;
}

double NiceStep(double span, double maxTicks)
{
    if (!(span > 0) || !std::isfinite(span))
        return 0;
    if (!(maxTicks >= 1))
        maxTicks = 1;
    const double raw = span / maxTicks;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * magnitude >= raw * (1 - 1e-12))
            return m * magnitude;
    }
    return 10 * magnitude;
}

std::vector<double> NiceTicks(double min, double max, double maxTicks)
{
    if (!std::isfinite(min) || !std::isfinite(max))
        return {};
    if (max < min)
        std::swap(min, max);
    if (max == min)
        return {min};
    const double step = NiceStep(max - min, std::min(maxTicks, static_cast<double>(kMaxTicks)));
    if (!(step > 0))
        return {};
    std::vector<double> ticks;
    const double firstMultiple = std::ceil(min / step - 1e-9);
    for (std::int64_t i = 0; i <= kMaxTicks; ++i) {
        double tick = (firstMultiple + static_cast<double>(i)) * step;
        if (tick > max + step * 1e-9)
            break;
        if (std::fabs(tick) < step * 1e-9)
            tick = 0;
        if (!ticks.empty() && !(tick > ticks.back()))
            break; // no precision left to tell ticks apart
        ticks.push_back(tick);
    }
    return ticks;
}

int StepDecimals(double step)
{
    if (!(step > 0) || !std::isfinite(step) || step >= 1)
        return 0;
    const double decimals = std::ceil(-std::log10(step) - 1e-9);
    return static_cast<int>(std::clamp(decimals, 0.0, 15.0));
}

std::string FormatTick(double value, int decimals)
{
    decimals = std::clamp(decimals, 0, 15);
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, value);
    if (length <= 0)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, value);
    text.resize(static_cast<std::size_t>(length));
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    return text;
}

std::vector<std::int64_t> ThinLabels(std::int64_t first, std::int64_t last,
                                     const std::function<double(std::int64_t)>& xOf,
                                     const std::function<double(std::int64_t)>& widthOf,
                                     double typicalWidth, double gap)
{
    std::vector<std::int64_t> chosen;
    if (first > last)
        return chosen;
    gap = std::max(gap, 0.0);

    // A stride of 1, 2, 5, 10, ... points so that typical labels would just not touch.
    std::int64_t stride = 1;
    if (last > first) {
        const double perIndex = std::fabs(xOf(last) - xOf(first)) / static_cast<double>(last - first);
        const double need = (std::max(typicalWidth, 0.0) + gap) / perIndex;
        if (!std::isfinite(need) || need > static_cast<double>(last - first))
            stride = last - first + 1;
        else if (need > 1)
            stride = static_cast<std::int64_t>(NiceStep(need, 1));
        stride = std::max<std::int64_t>(stride, 1);
    }
    std::int64_t start = first;
    if (stride > 1 && stride <= last - first && first >= 0)
        start = (first + stride - 1) / stride * stride; // multiples stay put while zooming

    double lastRight = 0;
    std::int64_t candidates = 0;
    for (std::int64_t i = start; i <= last && candidates < kMaxLabelCandidates; ++candidates) {
        const double x = xOf(i);
        const double half = std::max(widthOf(i), 0.0) / 2;
        if (chosen.empty() || x - half >= lastRight + gap) {
            chosen.push_back(i);
            lastRight = x + half;
        }
        if (i > last - stride)
            break;
        i += stride;
    }
    return chosen;
}

IndexRange VisibleIndices(std::size_t count, double xMin, double xMax)
{
    if (count == 0 || std::isnan(xMin) || std::isnan(xMax) || xMax < xMin)
        return {};
    const auto lastIndex = static_cast<std::int64_t>(count - 1);
    IndexRange range;
    range.first = ClampIndex(std::ceil(xMin), 0, lastIndex + 1);
    range.last = ClampIndex(std::floor(xMax), -1, lastIndex);
    return range;
}

std::vector<ColumnSpan> DecimateMinMax(std::span<const double> values, double xMin, double xMax,
                                       int columns)
{
    std::vector<ColumnSpan> out(static_cast<std::size_t>(std::max(columns, 0)));
    const IndexRange visible = VisibleIndices(values.size(), xMin, xMax);
    if (out.empty() || visible.first > visible.last)
        return out;

    const auto scan = [&](ColumnSpan& column, std::int64_t lo, std::int64_t hi) {
        double mn = std::numeric_limits<double>::infinity();
        double mx = -mn;
        for (std::int64_t i = lo; i <= hi; ++i) {
            const double v = values[static_cast<std::size_t>(i)];
            if (!std::isfinite(v))
                continue;
            if (column.firstIndex < 0)
                column.firstIndex = i;
            column.lastIndex = i;
            mn = v < mn ? v : mn;
            mx = v > mx ? v : mx;
        }
        if (column.firstIndex >= 0) {
            column.min = mn;
            column.max = mx;
        }
    };

    if (!(xMax > xMin)) {
        scan(out[out.size() / 2], visible.first, visible.last);
        return out;
    }
    const double step = (xMax - xMin) / columns;
    // Column boundaries come from one formula, so neighbouring columns never share or skip an index.
    const auto boundary = [&](int c) {
        return ClampIndex(std::ceil(xMin + c * step), visible.first, visible.last + 1);
    };
    std::int64_t lo = visible.first;
    for (int c = 0; c < columns; ++c) {
        const std::int64_t hi = c + 1 == columns ? visible.last : boundary(c + 1) - 1;
        if (hi >= lo)
            scan(out[static_cast<std::size_t>(c)], lo, hi);
        lo = std::max(lo, hi + 1);
    }
    return out;
}

double DistanceToSegment(Point2 p, Point2 a, Point2 b)
{
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = 0;
    if (length2 > 0)
        t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

double DistanceToQuad(Point2 p, const Point2 (&q)[4])
{
    const double area = Cross(q[0], q[1], q[2]) + Cross(q[0], q[2], q[3]);
    if (std::fabs(area) > 1e-9) {
        bool positive = true;
        bool negative = true;
        for (int i = 0; i < 4; ++i) {
            const double c = Cross(q[i], q[(i + 1) % 4], p);
            positive = positive && c >= 0;
            negative = negative && c <= 0;
        }
        if (positive || negative)
            return 0;
    }
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 4; ++i)
        best = std::min(best, DistanceToSegment(p, q[i], q[(i + 1) % 4]));
    return best;
}

int HitTest(const HitQuery& query, std::span<const double> values, Point2 press)
{
    const std::size_t count = values.size();
    if (count == 0 || count > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return -1;
    const auto lastIndex = static_cast<std::int64_t>(count - 1);
    const double tol = std::max(query.tolerance, 0.0);
    const bool line = query.shape == SeriesShape::Line;
    const double zFront = line ? query.slot.Middle() : query.slot.front;
    const double zBack = line ? query.slot.Middle() : query.slot.back;

    // Candidates by arithmetic: a shape drawn at depth z sits z to the right of its points.
    double tLo = std::min(query.x.min, query.x.max);
    double tHi = std::max(query.x.min, query.x.max);
    if (query.x.max - query.x.min > 0) {
        const double a = PixelToValue(query.x, press.x - zBack - tol);
        const double b = PixelToValue(query.x, press.x - zFront + tol);
        tLo = std::min(a, b);
        tHi = std::max(a, b);
    }
    const std::int64_t first = ClampIndex(std::floor(tLo) - 1, 0, lastIndex);
    const std::int64_t last = ClampIndex(std::ceil(tHi) + 1, 0, lastIndex);

    const auto pointAt = [&](std::int64_t i) {
        const double v = values[static_cast<std::size_t>(i)];
        return Point2{ValueToPixel(query.x, static_cast<double>(i)), ClampedValueToPixel(query.y, v)};
    };
    const auto finite = [&](std::int64_t i) { return std::isfinite(values[static_cast<std::size_t>(i)]); };

    double bestVertex = std::numeric_limits<double>::infinity();
    std::int64_t vertex = -1;
    double bestSegment = std::numeric_limits<double>::infinity();
    std::int64_t segment = -1;
    for (std::int64_t i = first; i <= last; ++i) {
        if (!finite(i))
            continue;
        const Point2 a = pointAt(i);
        const double dv = DistanceToSegment(press, Shift(a, zFront), Shift(a, zBack));
        if (dv < bestVertex) {
            bestVertex = dv;
            vertex = i;
        }
        if (i == last || !finite(i + 1))
            continue;
        const Point2 b = pointAt(i + 1);
        double d = 0;
        if (line) {
            d = DistanceToSegment(press, Shift(a, zFront), Shift(b, zFront));
        } else {
            const Point2 strip[4] = {Shift(a, zFront), Shift(b, zFront), Shift(b, zBack), Shift(a, zBack)};
            d = DistanceToQuad(press, strip);
            if (query.shape == SeriesShape::Area && d > 0) {
                const Point2 face[4] = {Shift(a, zFront), Shift(b, zFront),
                                        Shift({b.x, query.bottom}, zFront),
                                        Shift({a.x, query.bottom}, zFront)};
                d = std::min(d, DistanceToQuad(press, face));
            }
        }
        if (d < bestSegment) {
            bestSegment = d;
            segment = i;
        }
    }
    if (vertex >= 0 && bestVertex <= tol)
        return static_cast<int>(vertex);
    if (segment >= 0 && bestSegment <= tol)
        return static_cast<int>(segment);
    return -1;
}

bool DrawnColumnRange(std::span<const ColumnSpan> spans, std::span<const double> values, std::size_t c,
                      double& lo, double& hi)
{
    if (c >= spans.size() || spans[c].firstIndex < 0)
        return false;
    lo = spans[c].min;
    hi = spans[c].max;
    if (c > 0 && spans[c - 1].lastIndex >= 0 && static_cast<std::size_t>(spans[c - 1].lastIndex) < values.size()) {
        const double joint = values[static_cast<std::size_t>(spans[c - 1].lastIndex)];
        lo = std::min(lo, joint);
        hi = std::max(hi, joint);
    }
    return true;
}

int HitTestColumns(const HitQuery& query, std::span<const ColumnSpan> spans, std::span<const double> values,
                   Point2 press)
{
    if (spans.empty() || values.empty() || values.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
        return -1;
    const double tol = std::max(query.tolerance, 0.0);
    const bool line = query.shape == SeriesShape::Line;
    const double zFront = line ? query.slot.Middle() : query.slot.front;
    const double zBack = line ? query.slot.Middle() : query.slot.back;
    const double zMiddle = query.slot.Middle();
    const double width = (query.x.pixelAtMax - query.x.pixelAtMin) / static_cast<double>(spans.size());
    if (!(width > 0))
        return -1;
    const auto lastColumn = static_cast<std::int64_t>(spans.size()) - 1;
    const auto columnAt = [&](double sceneX) {
        return ClampIndex(std::floor((sceneX - query.x.pixelAtMin) / width), -1, lastColumn + 1);
    };
    const std::int64_t first = std::max<std::int64_t>(0, columnAt(press.x - zBack - tol));
    const std::int64_t last = std::min(lastColumn, columnAt(press.x - zFront + tol));

    // A column's shape is its span extruded through the slot: the press hits it when some depth z
    // in the slot moves the press back into the span's rectangle (widened by the tolerance).
    std::int64_t best = -1;
    double bestOffset = std::numeric_limits<double>::infinity();
    for (std::int64_t c = first; c <= last; ++c) {
        double lo = 0;
        double hi = 0;
        if (!DrawnColumnRange(spans, values, static_cast<std::size_t>(c), lo, hi))
            continue;
        const double x0 = query.x.pixelAtMin + static_cast<double>(c) * width;
        const double x1 = x0 + width;
        const double ya = ClampedValueToPixel(query.y, lo);
        const double yb = ClampedValueToPixel(query.y, hi);
        const double top = std::min(ya, yb);
        double bottom = std::max(ya, yb);
        // z ranges that bring the press inside horizontally, and vertically.
        const double zx0 = press.x - x1 - tol;
        const double zx1 = press.x - x0 + tol;
        bool hit = std::max({zx0, zFront, top - tol - press.y}) <= std::min({zx1, zBack, bottom + tol - press.y});
        if (!hit && query.shape == SeriesShape::Area) {
            // The face below the span, at the slot's front.
            bottom = std::max(bottom, query.bottom);
            hit = zFront >= zx0 && zFront <= zx1 && press.y + zFront >= top - tol && press.y + zFront <= bottom + tol;
        }
        const double offset = std::fabs((x0 + x1) / 2 + zMiddle - press.x);
        if (hit && offset < bestOffset) {
            bestOffset = offset;
            best = c;
        }
    }
    if (best < 0)
        return -1;

    // Within the column, the point nearest in value to the press at the slot's middle depth.
    const ColumnSpan& span = spans[static_cast<std::size_t>(best)];
    const double target = PixelToValue(query.y, press.y + zMiddle);
    std::int64_t index = span.firstIndex;
    double nearest = std::numeric_limits<double>::infinity();
    for (std::int64_t i = span.firstIndex; i <= span.lastIndex; ++i) {
        const double v = values[static_cast<std::size_t>(i)];
        const double d = std::fabs(v - target);
        if (std::isfinite(v) && d < nearest) {
            nearest = d;
            index = i;
        }
    }
    return static_cast<int>(index);
}

} // namespace qm::chart
