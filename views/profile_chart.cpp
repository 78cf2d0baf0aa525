// The profile chart widget: axis ranges, zoom, layout, mouse handling and drawing. All positions
// and shapes come from chart_geometry and chart_shapes; this file turns them into QPainter calls.
#include "profile_chart.h"

#include "chart_shapes.h"

#include "errors.h"
#include "text_codec.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <type_traits>

namespace qm {

namespace {

constexpr int kZoomDragPixels = 16;
constexpr int kZoomAnimationMs = 250;
constexpr double kHitTolerancePixels = 4;
const QRgb kTitleColor = qRgb(0, 0, 128);

// The point colours are handed to the Qt-free shape builders as plain 32-bit values.
static_assert(std::is_same_v<QRgb, std::uint32_t>);

QPointF ToQt(chart::Point2 p)
{
    return {p.x, p.y};
}

std::vector<QLineF> ToQt(const std::vector<chart::Segment>& segments)
{
    std::vector<QLineF> lines;
    lines.reserve(segments.size());
    for (const chart::Segment& s : segments)
        lines.emplace_back(ToQt(s.a), ToQt(s.b));
    return lines;
}

} // namespace

// Everything a paint needs, computed once per paint (or per mouse press) from size, fonts and axes.
struct ProfileChart::Frame {
    QSize size;
    QFont font;
    QFont titleFont;
    chart::SceneFrame scene;
    chart::AxisScale x; // point index -> scene x
    chart::AxisScale y; // value -> scene y
    int columns = 1;    // screen pixel columns across the plot
    std::vector<double> ticks;
    int decimals = 0;
    std::vector<std::pair<std::int64_t, QString>> labels; // bottom-axis labels to draw
    QRectF titleRect;
    QRectF legendRect;

    QPointF At(double sx, double sy, double z) const { return ToQt(chart::Project(scene.view, sx, sy, z)); }
};

// The drawn shapes of one series, kept until data, size, zoom or axes change.
struct ProfileChart::Shapes {
    bool valid = false;
    std::uint64_t version = 0;
    chart::Rect plot;
    double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
    chart::ObliqueView view;
    chart::SeriesShapes geometry;

    bool Matches(std::uint64_t v, const Frame& f) const
    {
        const auto& p = f.scene.plot;
        const auto& w = f.scene.view;
        return valid && version == v && plot.left == p.left && plot.top == p.top && plot.right == p.right
            && plot.bottom == p.bottom && xMin == f.x.min && xMax == f.x.max && yMin == f.y.min
            && yMax == f.y.max && view.zoom == w.zoom && view.offsetX == w.offsetX
            && view.offsetY == w.offsetY && view.center.x == w.center.x && view.center.y == w.center.y;
    }
};

// ---- ProfileChart: state --------------------------------------------------------------------

ProfileChart::ProfileChart(QWidget* parent)
    : QWidget(parent), title_(QStringLiteral("Quarlomet MAG")), leftAxis_(this)
{
    const QColor red(255, 0, 0);
    for (int i = 0; i < kSeriesCount; ++i) {
        series_[static_cast<std::size_t>(i)].reset(
            new ChartSeries(this, QStringLiteral("Series%1").arg(i + 1), red));
        shapes_[static_cast<std::size_t>(i)] = std::make_unique<Shapes>();
    }
    leftAxis_.automatic_ = false;
    leftAxis_.min_ = 40000;
    leftAxis_.max_ = 60000;
    bottom_ = {true, 0, 0};
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 90);
}

ProfileChart::~ProfileChart() = default;

ChartSeries& ProfileChart::series(int index)
{
    if (index < 0 || index >= kSeriesCount)
        throw ListIndexError(index);
    return *series_[static_cast<std::size_t>(index)];
}

const ChartSeries& ProfileChart::series(int index) const
{
    if (index < 0 || index >= kSeriesCount)
        throw ListIndexError(index);
    return *series_[static_cast<std::size_t>(index)];
}

void ProfileChart::DataChanged()
{
    RefreshAutomatic();
    MarkDirty();
}

void ProfileChart::MarkDirty()
{
    // One request per paint: calling update() for each of a million points would cost more than
    // the paint itself.
    if (repaintRequested_)
        return;
    repaintRequested_ = true;
    update();
}

bool ProfileChart::DataRange(double& min, double& max) const
{
    bool any = false;
    for (const auto& s : series_) {
        double lo = 0;
        double hi = 0;
        if (!s->FiniteRange(lo, hi))
            continue;
        min = any ? std::min(min, lo) : lo;
        max = any ? std::max(max, hi) : hi;
        any = true;
    }
    return any;
}

double ProfileChart::BottomAutoMax() const
{
    int most = 0;
    for (const auto& s : series_)
        most = std::max(most, s->Count());
    return most > 0 ? most - 1 : 0;
}

void ProfileChart::RefreshAutomatic()
{
    double min = 0;
    double max = 0;
    if (leftAxis_.automatic_ && DataRange(min, max)) {
        leftAxis_.min_ = min;
        leftAxis_.max_ = max;
    }
    if (bottom_.automatic) {
        bottom_.min = 0;
        bottom_.max = BottomAutoMax();
    }
}

// ---- Zoom -----------------------------------------------------------------------------------

void ProfileChart::ApplyRanges(const AxisRange& left, const AxisRange& bottom)
{
    leftAxis_.automatic_ = left.automatic;
    leftAxis_.min_ = left.min;
    leftAxis_.max_ = left.max;
    bottom_ = bottom;
    RefreshAutomatic();
    MarkDirty();
}

void ProfileChart::AnimateTo(AxisRange left, AxisRange bottom, AxisRange finalLeft, AxisRange finalBottom)
{
    animFromLeft_ = left;
    animFromBottom_ = bottom;
    animToLeft_ = finalLeft;
    animToBottom_ = finalBottom;
    if (!animatedZoom_) {
        ApplyRanges(finalLeft, finalBottom);
        return;
    }
    if (!animation_) {
        animation_ = new QVariantAnimation(this);
        animation_->setDuration(kZoomAnimationMs);
        animation_->setStartValue(0.0);
        animation_->setEndValue(1.0);
        animation_->setEasingCurve(QEasingCurve::OutCubic);
        connect(animation_, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            const double t = value.toDouble();
            const auto mix = [t](const AxisRange& a, const AxisRange& b) {
                return AxisRange{false, a.min + (b.min - a.min) * t, a.max + (b.max - a.max) * t};
            };
            ApplyRanges(mix(animFromLeft_, animToLeft_), mix(animFromBottom_, animToBottom_));
        });
        connect(animation_, &QVariantAnimation::finished, this,
                [this] { ApplyRanges(animToLeft_, animToBottom_); });
    }
    ApplyRanges({false, left.min, left.max}, {false, bottom.min, bottom.max});
    animation_->start();
}

void ProfileChart::FinishZoomAnimation()
{
    if (animation_ && animation_->state() == QAbstractAnimation::Running) {
        animation_->stop();
        ApplyRanges(animToLeft_, animToBottom_);
    }
}

void ProfileChart::DragZoom(QPoint from, QPoint to)
{
    const int dx = to.x() - from.x();
    const int dy = to.y() - from.y();
    if (std::abs(dx) <= kZoomDragPixels || std::abs(dy) <= kZoomDragPixels)
        return;
    if (dx < 0 || dy < 0) {
        UndoZoom();
        return;
    }
    FinishZoomAnimation();
    const Frame f = MakeFrame();
    const AxisRange left{leftAxis_.automatic_, leftAxis_.min_, leftAxis_.max_};
    if (!zoomed_) {
        savedLeft_ = left;
        savedBottom_ = bottom_;
        zoomed_ = true;
    }
    // The rectangle is read on the front plane, where the axes are labelled.
    const chart::Point2 a = chart::Unproject(f.scene.view, {double(from.x()), double(from.y())}, 0);
    const chart::Point2 b = chart::Unproject(f.scene.view, {double(to.x()), double(to.y())}, 0);
    const double x0 = chart::PixelToValue(f.x, a.x);
    const double x1 = chart::PixelToValue(f.x, b.x);
    const double y0 = chart::PixelToValue(f.y, b.y);
    const double y1 = chart::PixelToValue(f.y, a.y);
    AnimateTo(left, bottom_, {false, std::min(y0, y1), std::max(y0, y1)},
              {false, std::min(x0, x1), std::max(x0, x1)});
}

void ProfileChart::UndoZoom()
{
    if (!zoomed_)
        return;
    FinishZoomAnimation();
    zoomed_ = false;
    AxisRange left = savedLeft_;
    AxisRange bottom = savedBottom_;
    double min = 0;
    double max = 0;
    if (left.automatic && DataRange(min, max)) {
        left.min = min;
        left.max = max;
    }
    if (bottom.automatic) {
        bottom.min = 0;
        bottom.max = BottomAutoMax();
    }
    AnimateTo({leftAxis_.automatic_, leftAxis_.min_, leftAxis_.max_}, bottom_, left, bottom);
}

// ---- Layout ---------------------------------------------------------------------------------

ProfileChart::Frame ProfileChart::MakeFrame() const
{
    Frame f;
    f.size = size();
    const double w = std::max(f.size.width(), 1);
    const double h = std::max(f.size.height(), 1);
    f.font = font();
    f.titleFont = font();
    f.titleFont.setBold(true);
    if (f.titleFont.pointSizeF() > 0)
        f.titleFont.setPointSizeF(f.titleFont.pointSizeF() * 1.2);
    const QFontMetricsF fm(f.font);
    const QFontMetricsF tfm(f.titleFont);

    f.titleRect = QRectF(0, 3, w, tfm.height());
    const double top = f.titleRect.bottom() + 3 + 0.05 * h;

    double nameWidth = 0;
    for (const auto& s : series_)
        nameWidth = std::max(nameWidth, fm.horizontalAdvance(s->Name()));
    const double row = fm.height() + 4;
    const double legendWidth = 8 + fm.height() + 6 + nameWidth + 10;
    f.legendRect = QRectF(w - legendWidth - 8, top, legendWidth, kSeriesCount * row + 8);

    const double minTickSpacing = fm.height() * 2.2;
    const double bottomMargin = fm.height() + 14;
    const double vmin = leftAxis_.min_;
    const double vmax = leftAxis_.max_;
    // Tick labels decide the left margin; a first guess of the plot height is close enough here.
    f.ticks = chart::NiceTicks(vmin, vmax, std::max(h - top - bottomMargin, 10.0) / minTickSpacing);
    f.decimals = f.ticks.size() >= 2 ? chart::StepDecimals(f.ticks[1] - f.ticks[0]) : 0;
    double labelWidth = fm.horizontalAdvance(QStringLiteral("0"));
    for (double t : f.ticks)
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(QString::fromStdString(chart::FormatTick(t, f.decimals))));

    const chart::Rect region{6 + labelWidth + 8, top, f.legendRect.left() - 14, h - bottomMargin};
    f.scene = chart::FitScene(region, chart::ObliqueView{});
    const chart::Rect& plot = f.scene.plot;
    const double zoom = f.scene.view.zoom;
    f.x = {bottom_.min, bottom_.max, plot.left, plot.right};
    f.y = {vmin, vmax, plot.bottom, plot.top};
    f.columns = std::max(1, static_cast<int>(std::lround(plot.Width() * zoom)));
    f.ticks = chart::NiceTicks(vmin, vmax, plot.Height() * zoom / minTickSpacing);
    f.decimals = f.ticks.size() >= 2 ? chart::StepDecimals(f.ticks[1] - f.ticks[0]) : 0;

    // Bottom labels come from the fullest series, thinned so that none overlap.
    const ChartSeries* labelled = series_[0].get();
    for (const auto& s : series_) {
        if (s->Count() > labelled->Count())
            labelled = s.get();
    }
    const chart::IndexRange visible = chart::VisibleIndices(static_cast<std::size_t>(labelled->Count()),
                                                            bottom_.min, bottom_.max);
    if (visible.first <= visible.last) {
        const auto xOf = [&](std::int64_t i) {
            return f.At(chart::ValueToPixel(f.x, static_cast<double>(i)), plot.bottom, 0).x();
        };
        const auto widthOf = [&](std::int64_t i) {
            return fm.horizontalAdvance(DecodeText(labelled->Label(static_cast<int>(i))));
        };
        const double typical = std::max({widthOf(visible.first), widthOf((visible.first + visible.last) / 2),
                                         widthOf(visible.last)});
        for (std::int64_t i : chart::ThinLabels(visible.first, visible.last, xOf, widthOf, typical,
                                                fm.averageCharWidth() * 1.5)) {
            QString text = DecodeText(labelled->Label(static_cast<int>(i)));
            if (!text.isEmpty()) // an empty caption gets neither a tick nor a grid line
                f.labels.emplace_back(i, std::move(text));
        }
    }
    return f;
}

QPointF ProfileChart::PointPosition(int seriesIndex, int index) const
{
    const ChartSeries& s = series(seriesIndex);
    const double value = s.Value(index);
    const Frame f = MakeFrame();
    const chart::DepthSlot slot = chart::SeriesSlot(seriesIndex, f.scene.plot.Width());
    return f.At(chart::ValueToPixel(f.x, index), chart::ClampedValueToPixel(f.y, value), slot.Middle());
}

bool ProfileChart::SeriesAt(QPoint pos, int& seriesIndex, int& valueIndex) const
{
    const Frame f = MakeFrame();
    const chart::Point2 press = chart::Unproject(f.scene.view, {double(pos.x()), double(pos.y())}, 0);
    for (int s = kSeriesCount - 1; s >= 0; --s) {
        const auto shape = chart::kSeriesShapes[s];
        const ChartSeries& data = series(shape);
        if (data.Count() == 0)
            continue;
        chart::HitQuery query;
        query.shape = shape;
        query.x = f.x;
        query.y = f.y;
        query.slot = chart::SeriesSlot(shape, f.scene.plot.Width());
        query.bottom = f.scene.plot.bottom;
        query.tolerance = kHitTolerancePixels / f.scene.view.zoom;
        // When drawn decimated, the press is matched against the drawn columns.
        const chart::SeriesShapes& shapes = ShapesFor(shape, f).geometry;
        const int k = shapes.spans.empty() ? chart::HitTest(query, data.Values(), press)
                                           : chart::HitTestColumns(query, shapes.spans, data.Values(), press);
        // Points scrolled out by a zoom are not drawn, so they cannot be pressed either.
        if (k >= 0 && k >= std::floor(bottom_.min) && k <= std::ceil(bottom_.max)) {
            seriesIndex = s;
            valueIndex = k;
            return true;
        }
    }
    return false;
}

// ---- Shapes ---------------------------------------------------------------------------------

const ProfileChart::Shapes& ProfileChart::ShapesFor(chart::SeriesShape shape, const Frame& f) const
{
    const ChartSeries& data = series(shape);
    Shapes& shapes = *shapes_[static_cast<std::size_t>(chart::SeriesIndex(shape))];
    if (shapes.Matches(data.Version(), f))
        return shapes;

    shapes = Shapes{};
    shapes.valid = true;
    shapes.version = data.Version();
    shapes.plot = f.scene.plot;
    shapes.xMin = f.x.min;
    shapes.xMax = f.x.max;
    shapes.yMin = f.y.min;
    shapes.yMax = f.y.max;
    shapes.view = f.scene.view;
    const chart::ShapeFrame frame{f.scene, f.x, f.y, f.columns};
    const chart::PointColors colors{data.firstColor_, data.colors_};
    shapes.geometry = chart::BuildShapes(shape, frame, data.Values(), colors);
    return shapes;
}

// ---- Drawing --------------------------------------------------------------------------------

void ProfileChart::paintEvent(QPaintEvent*)
{
    repaintRequested_ = false;
    QPainter painter(this);
    DrawChart(painter, MakeFrame());
}

void ProfileChart::DrawChart(QPainter& painter, const Frame& f) const
{
    QLinearGradient background(0, 0, 0, f.size.height());
    background.setColorAt(0, QColor(255, 255, 255));
    background.setColorAt(1, QColor(226, 230, 236));
    painter.fillRect(QRect(QPoint(0, 0), f.size), background);

    painter.setFont(f.titleFont);
    painter.setPen(QColor::fromRgb(kTitleColor));
    painter.drawText(f.titleRect, Qt::AlignHCenter | Qt::AlignVCenter, title_);
    painter.setFont(f.font);

    DrawWalls(painter, f);
    for (chart::SeriesShape shape : chart::kSeriesShapes) // rear slot first
        DrawSeries(painter, f, shape);
    DrawAxes(painter, f);
    DrawLegend(painter, f);

    if (dragging_) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(QColor(40, 40, 40), 1, Qt::DashLine));
        painter.drawRect(QRect(dragStart_, dragNow_).normalized());
    }
}

void ProfileChart::DrawWalls(QPainter& painter, const Frame& f) const
{
    const chart::Rect& p = f.scene.plot;
    const double d = f.scene.depth;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(128, 128, 128), 1));

    painter.setBrush(QColor(214, 218, 224));
    const QPointF floor[4] = {f.At(p.left, p.bottom, 0), f.At(p.right, p.bottom, 0), f.At(p.right, p.bottom, d),
                              f.At(p.left, p.bottom, d)};
    painter.drawPolygon(floor, 4);
    painter.setBrush(QColor(232, 234, 238));
    const QPointF leftWall[4] = {f.At(p.left, p.top, 0), f.At(p.left, p.bottom, 0), f.At(p.left, p.bottom, d),
                                 f.At(p.left, p.top, d)};
    painter.drawPolygon(leftWall, 4);
    // The back wall is not filled: only its frame is drawn.
    painter.setBrush(Qt::NoBrush);
    painter.drawPolygon(QPolygonF({f.At(p.left, p.top, d), f.At(p.right, p.top, d), f.At(p.right, p.bottom, d),
                                   f.At(p.left, p.bottom, d)}));

    painter.setPen(QPen(QColor(150, 150, 150), 1, Qt::DotLine));
    for (double t : f.ticks) {
        const double y = chart::ValueToPixel(f.y, t);
        painter.drawLine(f.At(p.left, y, 0), f.At(p.left, y, d));
        painter.drawLine(f.At(p.left, y, d), f.At(p.right, y, d));
    }
    for (const auto& label : f.labels) {
        const double x = chart::ValueToPixel(f.x, static_cast<double>(label.first));
        painter.drawLine(f.At(x, p.bottom, 0), f.At(x, p.bottom, d));
        painter.drawLine(f.At(x, p.bottom, d), f.At(x, p.top, d));
    }
}

void ProfileChart::DrawSeries(QPainter& painter, const Frame& f, chart::SeriesShape shape) const
{
    const ChartSeries& data = series(shape);
    if (data.Count() == 0)
        return;
    const chart::SeriesShapes& shapes = ShapesFor(shape, f).geometry;

    // darker() converts through HSV; remember the last answer since colours rarely change.
    QRgb shadeSource = 0;
    QRgb shadeResult = 0;
    int shadeFactor = 0;
    const auto colorOf = [&](const chart::Polygon& piece) {
        if (piece.darker == 0)
            return piece.color;
        if (piece.color != shadeSource || piece.darker != shadeFactor || shadeResult == 0) {
            shadeSource = piece.color;
            shadeFactor = piece.darker;
            shadeResult = QColor::fromRgba(piece.color).darker(piece.darker).rgba();
        }
        return shadeResult;
    };
    const auto fill = [&](const std::vector<chart::Polygon>& pieces) {
        bool first = true;
        QRgb current = 0;
        std::array<QPointF, std::tuple_size_v<decltype(chart::Polygon::points)>> points;
        for (const chart::Polygon& piece : pieces) {
            const QRgb color = colorOf(piece);
            if (first || color != current) {
                painter.setBrush(QColor::fromRgba(color));
                current = color;
                first = false;
            }
            for (int k = 0; k < piece.size; ++k)
                points[static_cast<std::size_t>(k)] = ToQt(piece.points[static_cast<std::size_t>(k)]);
            painter.drawPolygon(points.data(), piece.size);
        }
    };
    // Neighbouring pieces share edges; antialiasing would show seams between them.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    fill(shapes.back);
    fill(shapes.face);

    painter.setRenderHint(QPainter::Antialiasing, true);
    if (!shapes.edges.empty()) {
        painter.setPen(QPen(QColor(0, 0, 0, 150), 1));
        const std::vector<QLineF> edges = ToQt(shapes.edges);
        painter.drawLines(edges.data(), static_cast<int>(edges.size()));
    }
    if (!shapes.marks.empty()) {
        painter.setPen(QPen(QColor::fromRgba(shapes.markColor), 3));
        const std::vector<QLineF> marks = ToQt(shapes.marks);
        painter.drawLines(marks.data(), static_cast<int>(marks.size()));
    }
    if (!shapes.lines.empty()) {
        // The fast line ignores point colours: one red pen, 3 pixels wide.
        QPen pen(data.SeriesColor(), 3);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.setPen(pen);
        const std::vector<QLineF> lines = ToQt(shapes.lines);
        painter.drawLines(lines.data(), static_cast<int>(lines.size()));
    }
}

void ProfileChart::DrawAxes(QPainter& painter, const Frame& f) const
{
    const chart::Rect& p = f.scene.plot;
    const double d = f.scene.depth;
    const QFontMetricsF fm(f.font);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(40, 40, 40), 1));

    painter.drawLine(f.At(p.left, p.top, 0), f.At(p.left, p.bottom, 0));
    for (double t : f.ticks) {
        const QPointF at = f.At(p.left, chart::ValueToPixel(f.y, t), 0);
        painter.drawLine(at, at - QPointF(4, 0));
        const QRectF box(0, at.y() - fm.height() / 2, at.x() - 7, fm.height());
        painter.drawText(box, Qt::AlignRight | Qt::AlignVCenter,
                         QString::fromStdString(chart::FormatTick(t, f.decimals)));
    }

    painter.drawLine(f.At(p.left, p.bottom, 0), f.At(p.right, p.bottom, 0));
    for (const auto& label : f.labels) {
        const QPointF at = f.At(chart::ValueToPixel(f.x, static_cast<double>(label.first)), p.bottom, 0);
        painter.drawLine(at, at + QPointF(0, 4));
        const double width = fm.horizontalAdvance(label.second);
        painter.drawText(QRectF(at.x() - width / 2 - 1, at.y() + 5, width + 2, fm.height()), Qt::AlignCenter,
                         label.second);
    }

    // Depth axis along the right edge of the floor, one tick per slot boundary.
    painter.drawLine(f.At(p.right, p.bottom, 0), f.At(p.right, p.bottom, d));
    for (int k = 0; k <= chart::kSlotCount; ++k) {
        const QPointF at = f.At(p.right, p.bottom, d * k / chart::kSlotCount);
        painter.drawLine(at, at + QPointF(4, 0));
    }
}

void ProfileChart::DrawLegend(QPainter& painter, const Frame& f) const
{
    const QFontMetricsF fm(f.font);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(128, 128, 128), 1));
    painter.setBrush(QColor(255, 255, 255));
    painter.drawRect(f.legendRect);
    const double row = fm.height() + 4;
    const double swatch = fm.height() - 4;
    for (int s = 0; s < kSeriesCount; ++s) {
        const ChartSeries& data = *series_[static_cast<std::size_t>(s)];
        const double top = f.legendRect.top() + 4 + s * row;
        painter.setPen(QPen(QColor(0, 0, 0), 1));
        painter.setBrush(data.SeriesColor());
        painter.drawRect(QRectF(f.legendRect.left() + 8, top + (row - swatch) / 2, swatch, swatch));
        painter.drawText(QRectF(f.legendRect.left() + 8 + swatch + 6, top, f.legendRect.width(), row),
                         Qt::AlignLeft | Qt::AlignVCenter, data.Name());
    }
}

// ---- Mouse ----------------------------------------------------------------------------------

void ProfileChart::mousePressEvent(QMouseEvent* event)
{
    if (dragging_)
        return; // a press during a zoom drag is neither a click nor a new drag
    const QPoint pos = event->position().toPoint();
    int s = 0;
    int k = 0;
    if (SeriesAt(pos, s, k)) {
        emit ClickSeries(s, k, event->button(), event->modifiers(), pos.x(), pos.y());
        return;
    }
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragStart_ = dragNow_ = pos;
    }
}

void ProfileChart::mouseMoveEvent(QMouseEvent* event)
{
    if (!dragging_)
        return;
    dragNow_ = event->position().toPoint();
    update();
}

void ProfileChart::mouseReleaseEvent(QMouseEvent* event)
{
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    dragging_ = false;
    update();
    DragZoom(dragStart_, event->position().toPoint());
}

void ProfileChart::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first press of the pair has already been handled as a press. Only the primary button's
    // double click counts: the secondary button belongs to the context menu.
    if (event->button() == Qt::LeftButton)
        emit DoubleClicked();
}

} // namespace qm
