// The chart's data: the points of each series, stored compactly, and the value axis's bounds and
// their refusals. Both tell the chart when it must redraw.
#include "profile_chart.h"

#include "errors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace qm {

// ---- ChartSeries ----------------------------------------------------------------------------

ChartSeries::ChartSeries(ProfileChart* chart, QString name, QColor seriesColor)
    : chart_(chart), name_(std::move(name)), seriesColor_(seriesColor)
{
}

void ChartSeries::Clear()
{
    values_.clear();
    labelBytes_.clear();
    labelEnds_.clear();
    colors_.clear();
    hasFinite_ = false;
    ++version_;
    chart_->DataChanged();
}

void ChartSeries::Add(double value, std::string_view label, QColor color)
{
    if (values_.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max()))
        throw ListIndexError(Count());
    const QRgb rgb = color.rgba();
    const std::size_t n = values_.size();
    const std::size_t bytes = labelBytes_.size();
    try {
        values_.push_back(value);
        labelBytes_.append(label);
        labelEnds_.push_back(labelBytes_.size());
        if (n == 0)
            firstColor_ = rgb;
        else if (!colors_.empty())
            colors_.push_back(rgb);
        else if (rgb != firstColor_) {
            colors_.assign(n, firstColor_);
            colors_.push_back(rgb);
        }
    } catch (...) {
        // Out of memory half way: leave the series as it was.
        values_.resize(n);
        labelBytes_.resize(bytes);
        labelEnds_.resize(n);
        if (colors_.size() > n)
            colors_.resize(n);
        throw;
    }
    if (std::isfinite(value)) {
        if (!hasFinite_) {
            min_ = max_ = value;
            hasFinite_ = true;
        } else {
            min_ = std::min(min_, value);
            max_ = std::max(max_, value);
        }
    }
    ++version_;
    chart_->DataChanged();
}

void ChartSeries::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw ListIndexError(index);
}

double ChartSeries::Value(int index) const
{
    CheckIndex(index);
    return values_[static_cast<std::size_t>(index)];
}

std::string_view ChartSeries::Label(int index) const
{
    CheckIndex(index);
    const auto i = static_cast<std::size_t>(index);
    const std::size_t begin = i == 0 ? 0 : labelEnds_[i - 1];
    return std::string_view(labelBytes_).substr(begin, labelEnds_[i] - begin);
}

QColor ChartSeries::Color(int index) const
{
    CheckIndex(index);
    return QColor::fromRgba(colors_.empty() ? firstColor_ : colors_[static_cast<std::size_t>(index)]);
}

bool ChartSeries::FiniteRange(double& min, double& max) const
{
    if (!hasFinite_)
        return false;
    min = min_;
    max = max_;
    return true;
}

// ---- ChartAxis ------------------------------------------------------------------------------

void ChartAxis::SetAutomatic(bool automatic)
{
    chart_->FinishZoomAnimation();
    automatic_ = automatic;
    chart_->RefreshAutomatic();
    chart_->MarkDirty();
}

void ChartAxis::SetMaximum(double value)
{
    chart_->FinishZoomAnimation();
    if (!std::isfinite(value) || value < min_)
        throw Error("Axis Maximum Value must be >= Minimum");
    max_ = value;
    chart_->MarkDirty();
}

void ChartAxis::SetMinimum(double value)
{
    chart_->FinishZoomAnimation();
    if (!std::isfinite(value) || value > max_)
        throw Error("Axis Minimum Value must be <= Maximum");
    min_ = value;
    chart_->MarkDirty();
}

} // namespace qm
