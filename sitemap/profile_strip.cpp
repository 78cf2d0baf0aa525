// The profile strip: one traverse's raw readings in grey and its processed values in colour against
// the distance along it, gaps left open, the selected reading marked by a line and a dot.
#include "profile_strip.h"

#include <QLocale>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace qm {

namespace {

constexpr double kEarthRadius = 6371008.8; // metres, the mean radius

double Radians(double degrees)
{
    return degrees * std::numbers::pi / 180.0;
}

// Haversine distance between two positions in degrees.
double Metres(double lon0, double lat0, double lon1, double lat1)
{
    const double dLat = Radians(lat1 - lat0);
    const double dLon = Radians(lon1 - lon0);
    const double a = std::pow(std::sin(dLat / 2), 2) +
                     std::cos(Radians(lat0)) * std::cos(Radians(lat1)) * std::pow(std::sin(dLon / 2), 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

// The series as lines, broken at gaps. Where points outnumber the pixel columns, each column keeps
// its first, lowest, highest and last value: the same picture at a few points a column, so a long
// traverse costs no more to draw than a short one.
QPainterPath SeriesPath(const StripScale& scale, const std::vector<double>& distance, const std::vector<double>& values)
{
    QPainterPath path;
    bool open = false;
    bool pending = false;
    double column = 0, first = 0, low = 0, high = 0, last = 0;
    const auto flush = [&] {
        if (!pending)
            return;
        const double x = column + 0.5;
        const QPointF start(x, scale.Y(first));
        if (open)
            path.lineTo(start);
        else
            path.moveTo(start);
        path.lineTo(QPointF(x, scale.Y(low)));
        path.lineTo(QPointF(x, scale.Y(high)));
        path.lineTo(QPointF(x, scale.Y(last)));
        open = true;
        pending = false;
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!std::isfinite(values[i])) {
            flush();
            open = false;
            continue;
        }
        const double x = std::floor(scale.X(distance[i]));
        if (pending && x == column) {
            low = std::min(low, values[i]);
            high = std::max(high, values[i]);
            last = values[i];
            continue;
        }
        flush();
        column = x;
        first = low = high = last = values[i];
        pending = true;
    }
    flush();
    return path;
}

} // namespace

std::vector<double> DistancesAlong(std::span<const double> lon, std::span<const double> lat)
{
    std::vector<double> distance(std::min(lon.size(), lat.size()), 0.0);
    for (std::size_t i = 1; i < distance.size(); ++i) {
        const double step = Metres(lon[i - 1], lat[i - 1], lon[i], lat[i]);
        distance[i] = distance[i - 1] + (std::isfinite(step) ? step : 0.0);
    }
    return distance;
}

StripScale ScaleFor(std::span<const double> distance, std::span<const std::span<const double>> series, double left,
                    double top, double width, double height)
{
    StripScale scale;
    scale.left = left;
    scale.top = top;
    scale.width = std::max(1.0, width);
    scale.height = std::max(1.0, height);
    const double length = distance.empty() ? 0.0 : distance.back();
    scale.length = length > 0 && std::isfinite(length) ? length : 1.0;
    double low = INFINITY;
    double high = -INFINITY;
    for (const std::span<const double> values : series)
        for (const double v : values)
            if (std::isfinite(v)) {
                low = std::min(low, v);
                high = std::max(high, v);
            }
    if (!(low <= high)) {
        low = 0;
        high = 1;
    }
    // A little room above and below; one value alone gets a span of its own.
    const double pad = high > low ? (high - low) * 0.05 : std::max(1.0, std::abs(low) * 0.01);
    scale.low = low - pad;
    scale.high = high + pad;
    return scale;
}

ProfileStrip::ProfileStrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("profileStrip"));
    setMinimumHeight(90);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
}

QSize ProfileStrip::sizeHint() const
{
    return {600, 140};
}

void ProfileStrip::SetTraverse(std::span<const double> lon, std::span<const double> lat, std::span<const double> raw,
                               std::span<const double> processed, int marked, const QString& title)
{
    distance_ = DistancesAlong(lon, lat);
    raw_.assign(raw.begin(), raw.end());
    processed_.assign(processed.begin(), processed.end());
    raw_.resize(distance_.size(), NAN);
    processed_.resize(distance_.size(), NAN);
    marked_ = marked >= 0 && static_cast<std::size_t>(marked) < distance_.size() ? marked : -1;
    title_ = title;
    update();
}

void ProfileStrip::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF plot = QRectF(rect()).adjusted(56, 18, -66, -18);
    painter.setPen(QColor(90, 90, 90));
    if (distance_.empty()) {
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Select a reading to see its traverse"));
        return;
    }
    // Each series on a scale of its own: the readings lie tens of thousands of nT from the
    // processed values. The processed values' range is on the left, the readings' on the right.
    const std::span<const double> processedSeries[] = {processed_};
    const std::span<const double> rawSeries[] = {raw_};
    const StripScale scale = ScaleFor(distance_, processedSeries, plot.left(), plot.top(), plot.width(), plot.height());
    const StripScale rawScale = ScaleFor(distance_, rawSeries, plot.left(), plot.top(), plot.width(), plot.height());
    const QLocale c = QLocale::c();
    painter.drawText(QRectF(4, 2, width() - 8, 16), Qt::AlignLeft, title_);
    painter.setPen(QColor(20, 90, 200));
    painter.drawText(QRectF(0, plot.top() - 6, 52, 14), Qt::AlignRight, c.toString(scale.high, 'g', 6));
    painter.drawText(QRectF(0, plot.bottom() - 8, 52, 14), Qt::AlignRight, c.toString(scale.low, 'g', 6));
    painter.setPen(QColor(120, 120, 120));
    painter.drawText(QRectF(plot.right() + 4, plot.top() - 6, 60, 14), Qt::AlignLeft, c.toString(rawScale.high, 'g', 7));
    painter.drawText(QRectF(plot.right() + 4, plot.bottom() - 8, 60, 14), Qt::AlignLeft, c.toString(rawScale.low, 'g', 7));
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(QRectF(plot.left(), plot.bottom() + 2, plot.width(), 14), Qt::AlignRight,
                     QStringLiteral("%1 m").arg(c.toString(scale.length, 'f', 1)));
    painter.drawRect(plot);
    painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
    // Pens one pixel wide: the raster engine draws those line by line. A wider pen turns a noisy
    // traverse into one outline of thousands of overlapping edges, which took a tenth of a second
    // to fill on every redraw.
    painter.setPen(QPen(QColor(160, 160, 160), 1.0));
    painter.drawPath(SeriesPath(rawScale, distance_, raw_));
    painter.setPen(QPen(QColor(20, 90, 200), 1.0));
    painter.drawPath(SeriesPath(scale, distance_, processed_));
    if (marked_ >= 0) {
        const double x = scale.X(distance_[static_cast<std::size_t>(marked_)]);
        painter.setPen(QPen(QColor(208, 16, 16), 1.2));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        const double v = processed_[static_cast<std::size_t>(marked_)];
        if (std::isfinite(v))
            painter.drawEllipse(QPointF(x, scale.Y(v)), 4, 4);
    }
}

} // namespace qm
