// The profile strip under the site map: the raw and processed values of the selected traverse
// against the distance along it, with the selected reading marked. Its geometry is kept in small
// pure functions.
#pragma once

#include <QWidget>

#include <span>
#include <vector>

namespace qm {

// The distance in metres from the first position to each, along straight lines between consecutive
// positions (great circles on a sphere of the earth's mean radius).
std::vector<double> DistancesAlong(std::span<const double> lon, std::span<const double> lat);

// Distance and value to pixels within a plot rectangle: the distance runs left to right over
// [0, length], the value bottom to top over [low, high]; both are sensible for a single point.
struct StripScale {
    double length = 1;
    double low = 0;
    double high = 1;
    double left = 0;
    double top = 0;
    double width = 1;
    double height = 1;

    double X(double distance) const { return left + distance / length * width; }
    double Y(double value) const { return top + (high - value) / (high - low) * height; }
};

// The scale that holds every finite value of the series (NaN are gaps) and the whole distance.
StripScale ScaleFor(std::span<const double> distance, std::span<const std::span<const double>> series, double left,
                    double top, double width, double height);

class ProfileStrip : public QWidget {
    Q_OBJECT

public:
    explicit ProfileStrip(QWidget* parent = nullptr);

    // The traverse to draw: its positions, readings and processed values, and the reading to mark
    // (-1 for none); empty clears the strip.
    void SetTraverse(std::span<const double> lon, std::span<const double> lat, std::span<const double> raw,
                     std::span<const double> processed, int marked, const QString& title);
    const std::vector<double>& Distances() const { return distance_; }
    int Marked() const { return marked_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<double> distance_;
    std::vector<double> raw_;
    std::vector<double> processed_;
    int marked_ = -1;
    QString title_;
};

} // namespace qm
