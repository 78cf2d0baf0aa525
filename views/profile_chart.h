// The profile chart: three series of readings drawn in an oblique 3-D view, one depth slot per
// series, with a refusable value axis, point presses, double clicks and an animated mouse zoom.
// A widget of our own, drawn with QPainter; its geometry lives in chart_geometry.h and its series
// shapes in chart_shapes.h, its data storage in chart_series.cpp.
#pragma once

#include "chart_geometry.h"

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QVariantAnimation;

namespace qm {

class ProfileChart;

// One series: points with a value, a label and a colour. Point X is its position in the series.
// Stored compactly so that a million points stay cheap: values in one vector, labels in one byte
// buffer, colours only once they differ.
class ChartSeries {
public:
    ChartSeries(const ChartSeries&) = delete;
    ChartSeries& operator=(const ChartSeries&) = delete;

    // Removes all points; the chart is marked for redrawing.
    void Clear();
    // Appends a point; `label` is 8-bit text (shown as UTF-8 when valid, else Latin-1). The chart
    // is only marked for redrawing: a whole plot is drawn once.
    void Add(double value, std::string_view label, QColor color);

    int Count() const { return static_cast<int>(values_.size()); }
    // Point access; an index out of range throws ListIndexError.
    double Value(int index) const;
    std::string_view Label(int index) const;
    QColor Color(int index) const;
    std::span<const double> Values() const { return values_; }

    QString Name() const { return name_; }
    QColor SeriesColor() const { return seriesColor_; }

    // Lowest and highest finite value; false when the series holds none.
    bool FiniteRange(double& min, double& max) const;
    std::uint64_t Version() const { return version_; }

private:
    friend class ProfileChart;
    ChartSeries(ProfileChart* chart, QString name, QColor seriesColor);
    void CheckIndex(int index) const;

    ProfileChart* chart_;
    QString name_;
    QColor seriesColor_;
    std::vector<double> values_;
    std::string labelBytes_;
    std::vector<std::size_t> labelEnds_; // label i is [labelEnds_[i-1], labelEnds_[i])
    QRgb firstColor_ = 0;
    std::vector<QRgb> colors_; // empty while every point has firstColor_
    double min_ = 0;
    double max_ = 0;
    bool hasFinite_ = false;
    std::uint64_t version_ = 0;
};

// The value axis. While automatic, its bounds follow the plotted data; otherwise it spans exactly
// Minimum() to Maximum().
class ChartAxis {
public:
    ChartAxis(const ChartAxis&) = delete;
    ChartAxis& operator=(const ChartAxis&) = delete;

    bool Automatic() const { return automatic_; }
    // Sets the automatic minimum and maximum alike; turning it on takes the data's bounds at once.
    void SetAutomatic(bool automatic);
    double Minimum() const { return min_; }
    double Maximum() const { return max_; }
    // Throws Error "Axis Maximum Value must be >= Minimum" when below the current minimum (or not a
    // finite number); a refused call changes nothing.
    void SetMaximum(double value);
    // Throws Error "Axis Minimum Value must be <= Maximum" when above the current maximum (or not a
    // finite number); a refused call changes nothing.
    void SetMinimum(double value);

private:
    friend class ProfileChart;
    explicit ChartAxis(ProfileChart* chart) : chart_(chart) {}

    ProfileChart* chart_;
    bool automatic_ = false;
    double min_ = 0;
    double max_ = 0;
};

class ProfileChart : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSeriesCount = chart::kSlotCount;

    explicit ProfileChart(QWidget* parent = nullptr);
    ~ProfileChart() override;

    // The series at position 0 ("Series1", ribbon), 1 ("Series2", area) or 2 ("Series3", line);
    // any other index throws ListIndexError.
    ChartSeries& series(int index);
    const ChartSeries& series(int index) const;
    ChartSeries& series(chart::SeriesShape shape) { return series(chart::SeriesIndex(shape)); }
    const ChartSeries& series(chart::SeriesShape shape) const { return series(chart::SeriesIndex(shape)); }

    ChartAxis& LeftAxis() { return leftAxis_; }
    const ChartAxis& LeftAxis() const { return leftAxis_; }
    // The point-index range the bottom axis spans (all points unless zoomed).
    double BottomMinimum() const { return bottom_.min; }
    double BottomMaximum() const { return bottom_.max; }

    QString Title() const { return title_; }

    // Zoom as a mouse drag from `from` to `to` (widget pixels) ends it: more than 16 pixels both
    // across and down toward the lower right zooms into the rectangle; more than 16 both ways in
    // another direction restores the ranges saved when the first zoom began.
    void DragZoom(QPoint from, QPoint to);
    void UndoZoom();
    bool IsZoomed() const { return zoomed_; }
    // Zoom changes are animated by default; tests switch that off or finish a running animation.
    void SetAnimatedZoom(bool animated) { animatedZoom_ = animated; }
    void FinishZoomAnimation();

    // Where point `index` of a series is drawn (widget pixels, middle of its depth slot).
    QPointF PointPosition(int seriesIndex, int index) const;
    QPointF PointPosition(chart::SeriesShape shape, int index) const
    {
        return PointPosition(chart::SeriesIndex(shape), index);
    }
    // The series and point under a widget pixel, front series first; false when none.
    bool SeriesAt(QPoint pos, int& seriesIndex, int& valueIndex) const;

signals:
    // A press of any mouse button over a series, while no zoom drag is in progress.
    void ClickSeries(int seriesIndex, int valueIndex, Qt::MouseButton button,
                     Qt::KeyboardModifiers modifiers, int x, int y);
    // A double click of the primary button.
    void DoubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    friend class ChartSeries;
    friend class ChartAxis;

    struct AxisRange {
        bool automatic = false;
        double min = 0;
        double max = 0;
    };
    struct Frame;
    struct Shapes;

    void DataChanged();
    void MarkDirty();
    void RefreshAutomatic();
    bool DataRange(double& min, double& max) const;
    double BottomAutoMax() const;
    Frame MakeFrame() const;
    const Shapes& ShapesFor(chart::SeriesShape shape, const Frame& frame) const;
    void AnimateTo(AxisRange left, AxisRange bottom, AxisRange finalLeft, AxisRange finalBottom);
    void ApplyRanges(const AxisRange& left, const AxisRange& bottom);

    void DrawChart(QPainter& painter, const Frame& frame) const;
    void DrawWalls(QPainter& painter, const Frame& frame) const;
    void DrawSeries(QPainter& painter, const Frame& frame, chart::SeriesShape shape) const;
    void DrawAxes(QPainter& painter, const Frame& frame) const;
    void DrawLegend(QPainter& painter, const Frame& frame) const;

    QString title_;
    std::array<std::unique_ptr<ChartSeries>, kSeriesCount> series_;
    ChartAxis leftAxis_;
    AxisRange bottom_;
    bool repaintRequested_ = false;

    bool zoomed_ = false;
    AxisRange savedLeft_;
    AxisRange savedBottom_;
    bool animatedZoom_ = true;
    QVariantAnimation* animation_ = nullptr;
    AxisRange animFromLeft_, animFromBottom_, animToLeft_, animToBottom_;

    bool dragging_ = false;
    QPoint dragStart_;
    QPoint dragNow_;

    mutable std::array<std::unique_ptr<Shapes>, kSeriesCount> shapes_;
};

} // namespace qm
