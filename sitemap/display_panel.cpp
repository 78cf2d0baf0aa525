// The site map's display: palette names, the colour range and histogram on a worker, the range mode
// of the toolbar and the grid panel's relief row with its shade and contours made on workers.
#include "display_panel.h"

#include "error_box.h"
#include "site_grid_panel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <stdexcept>

namespace qm {

namespace {

QString Text(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

// A number as typed (a decimal comma allowed), or NaN.
double Typed(const QLineEdit* edit)
{
    QString text = edit->text().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok && std::isfinite(value) ? value : std::nan("");
}

QLineEdit* Field(QWidget* parent, const char* name, int width, const QString& tip)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setMaximumWidth(width);
    edit->setToolTip(tip);
    return edit;
}

bool SameShade(const site::HillShadeSetting& a, const site::HillShadeSetting& b)
{
    return a.azimuth == b.azimuth && a.altitude == b.altitude && a.zFactor == b.zFactor;
}

std::shared_ptr<GridShade> MakeShade(const std::shared_ptr<const SiteGrid>& grid, const site::HillShadeSetting& setting)
{
    auto made = std::make_shared<GridShade>();
    made->grid = grid;
    made->setting = setting;
    try {
        // Shaded in the grid's own metres, then warped as its values are, so that each pixel of
        // the shade lies on the pixel of the image it darkens.
        const std::vector<std::uint8_t> shade = site::HillShade(grid->grid, setting);
        site::GridResult shaded;
        const site::GridResult& g = grid->grid;
        shaded.zone = g.zone;
        shaded.north = g.north;
        shaded.epsg = g.epsg;
        shaded.cellSize = g.cellSize;
        shaded.width = g.width;
        shaded.height = g.height;
        shaded.originX = g.originX;
        shaded.originY = g.originY;
        shaded.values.resize(shade.size());
        std::transform(shade.begin(), shade.end(), shaded.values.begin(),
                       [](std::uint8_t s) { return s == 0 ? site::kNoData : static_cast<float>(s); });
        const site::GeographicGrid& image = grid->image;
        const site::GeographicGrid warped = site::WarpToWgs84(shaded, std::max(image.width, image.height));
        if (warped.width != image.width || warped.height != image.height)
            throw std::runtime_error("the shade does not fit the grid's image");
        made->width = warped.width;
        made->height = warped.height;
        made->pixels.resize(warped.values.size());
        std::transform(warped.values.begin(), warped.values.end(), made->pixels.begin(), [](float v) {
            return v == site::kNoData ? std::uint8_t{0} : static_cast<std::uint8_t>(std::clamp(std::lround(v), 1L, 255L));
        });
    } catch (const std::bad_alloc&) {
        made->pixels.clear();
        made->error = QStringLiteral("Out of memory: the grid is too large to shade.");
    } catch (const std::exception& e) {
        made->pixels.clear();
        made->error = QStringLiteral("The grid could not be shaded: %1").arg(QString::fromUtf8(e.what()));
    }
    return made;
}

std::shared_ptr<GridContours> MakeContours(const std::shared_ptr<const SiteGrid>& grid, double interval)
{
    auto made = std::make_shared<GridContours>();
    made->grid = grid;
    made->interval = interval;
    try {
        made->lines = site::Contours(grid->grid, interval, kMaxContourVertices);
        for (const site::ContourLine& line : made->lines)
            made->vertices += line.lon.size();
    } catch (const std::bad_alloc&) {
        made->lines.clear();
        made->error = QStringLiteral("Out of memory: the contours are too many.");
    } catch (const std::exception& e) {
        made->lines.clear();
        made->error = QString::fromUtf8(e.what());
    }
    return made;
}

} // namespace

const char* PaletteName(site::Palette palette)
{
    switch (palette) {
    case site::Palette::Diverging: return "diverging";
    case site::Palette::Sequential: return "sequential";
    case site::Palette::Greyscale: return "greyscale";
    case site::Palette::GreyscaleInverse: return "greyscale-inverse";
    }
    return "diverging";
}

site::Palette ParsePalette(const std::string& name)
{
    for (const site::Palette palette :
         {site::Palette::Sequential, site::Palette::Greyscale, site::Palette::GreyscaleInverse})
        if (name == PaletteName(palette))
            return palette;
    return site::Palette::Diverging;
}

QString RangeSettingProblem(const site::RangeSetting& s)
{
    switch (s.mode) {
    case site::RangeMode::Percentiles:
        if (!(s.low >= 0 && s.high <= 100 && s.low < s.high))
            return QStringLiteral("The percentiles must run from 0 to 100, the first below the second");
        break;
    case site::RangeMode::MeanSd:
        if (!(s.k > 0 && std::isfinite(s.k)))
            return QStringLiteral("The number of standard deviations must be above 0");
        break;
    case site::RangeMode::MedianNt:
        if (!(s.nt > 0 && std::isfinite(s.nt)))
            return QStringLiteral("The nT either side of the median must be above 0");
        break;
    case site::RangeMode::Typed:
        if (!(std::isfinite(s.low) && std::isfinite(s.high) && s.low < s.high))
            return QStringLiteral("The typed minimum must be a number below the maximum");
        break;
    }
    return {};
}

RangeResult ComputeRange(std::span<const double> values, const site::RangeSetting& setting,
                         const site::ColourRange* given)
{
    RangeResult result;
    try {
        if (given) {
            result.range = *given;
        } else {
            result.range = site::RangeOf(values, setting);
            result.computed = true;
        }
        const double width = (result.range.max - result.range.min) / kHistogramBins;
        result.counts = site::Histogram(values, result.range.min - width, result.range.max + width, kHistogramBins + 2);
    } catch (const std::bad_alloc&) {
        result.computed = false;
        result.error = QStringLiteral("Out of memory while finding the colour range");
    } catch (const std::exception& e) {
        result.computed = false;
        result.error = QString::fromUtf8(e.what());
    }
    return result;
}

RangeControls::RangeControls(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("rangeMode"));
    mode_->setToolTip(QStringLiteral("How the colour range is found from the values shown"));
    mode_->addItem(QStringLiteral("Percentiles"), static_cast<int>(site::RangeMode::Percentiles));
    mode_->addItem(QStringLiteral("Mean \u00b1 k SD"), static_cast<int>(site::RangeMode::MeanSd));
    mode_->addItem(QStringLiteral("Median \u00b1 N nT"), static_cast<int>(site::RangeMode::MedianNt));
    mode_->addItem(QStringLiteral("Typed"), static_cast<int>(site::RangeMode::Typed));
    low_ = Field(this, "percentileLow", 44, QStringLiteral("The percentile at the bottom of the range"));
    high_ = Field(this, "percentileHigh", 44, QStringLiteral("The percentile at the top of the range"));
    k_ = Field(this, "sdCount", 44, QStringLiteral("Standard deviations either side of the mean"));
    nt_ = Field(this, "medianNt", 56, QStringLiteral("nT either side of the median"));
    auto* dash = new QLabel(QStringLiteral("\u2013"), this);
    auto* percent = new QLabel(QStringLiteral("%"), this);
    auto* k = new QLabel(QStringLiteral("k"), this);
    auto* n = new QLabel(QStringLiteral("N"), this);
    percentileWidgets_ = {low_, dash, high_, percent};
    sdWidgets_ = {k, k_};
    ntWidgets_ = {n, nt_};
    row->addWidget(mode_);
    for (QWidget* w : percentileWidgets_ + sdWidgets_ + ntWidgets_)
        row->addWidget(w);
    connect(mode_, &QComboBox::activated, this, &RangeControls::ModeChosen);
    for (QLineEdit* edit : {low_, high_, k_, nt_})
        connect(edit, &QLineEdit::editingFinished, this, &RangeControls::FieldEdited);
    ShowSetting();
}

void RangeControls::SetSetting(const site::RangeSetting& setting)
{
    setting_ = setting;
    if (setting.mode == site::RangeMode::Percentiles) {
        lastPercentileLow_ = setting.low;
        lastPercentileHigh_ = setting.high;
    } else if (setting.mode == site::RangeMode::Typed) {
        typedMin_ = setting.low;
        typedMax_ = setting.high;
    }
    ShowSetting();
}

void RangeControls::SetTypedLimits(double min, double max)
{
    typedMin_ = min;
    typedMax_ = max;
}

void RangeControls::ShowSetting()
{
    mode_->setCurrentIndex(mode_->findData(static_cast<int>(setting_.mode)));
    low_->setText(Text(lastPercentileLow_));
    high_->setText(Text(lastPercentileHigh_));
    k_->setText(Text(setting_.k));
    nt_->setText(Text(setting_.nt));
    for (QWidget* w : percentileWidgets_)
        w->setVisible(setting_.mode == site::RangeMode::Percentiles);
    for (QWidget* w : sdWidgets_)
        w->setVisible(setting_.mode == site::RangeMode::MeanSd);
    for (QWidget* w : ntWidgets_)
        w->setVisible(setting_.mode == site::RangeMode::MedianNt);
}

void RangeControls::ModeChosen()
{
    site::RangeSetting setting = setting_;
    setting.mode = static_cast<site::RangeMode>(mode_->currentData().toInt());
    if (setting.mode == setting_.mode)
        return;
    // The typed mode starts from the range shown; the others keep the percentiles last used.
    if (setting.mode == site::RangeMode::Typed) {
        setting.low = typedMin_;
        setting.high = typedMax_;
    } else {
        setting.low = lastPercentileLow_;
        setting.high = lastPercentileHigh_;
    }
    setting_ = setting;
    ShowSetting();
    emit Edited(setting_);
}

void RangeControls::FieldEdited()
{
    site::RangeSetting setting = setting_;
    switch (setting.mode) {
    case site::RangeMode::Percentiles:
        setting.low = Typed(low_);
        setting.high = Typed(high_);
        break;
    case site::RangeMode::MeanSd:
        setting.k = Typed(k_);
        break;
    case site::RangeMode::MedianNt:
        setting.nt = Typed(nt_);
        break;
    case site::RangeMode::Typed:
        return;
    }
    if (const QString reason = RangeSettingProblem(setting); !reason.isEmpty()) {
        ShowSetting();
        emit Refused(reason);
        return;
    }
    if (setting.low == setting_.low && setting.high == setting_.high && setting.k == setting_.k &&
        setting.nt == setting_.nt)
        return;
    SetSetting(setting);
    emit Edited(setting_);
}

ReliefPanel::ReliefPanel(QWidget* parent) : QWidget(parent)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    shadeBox_ = new QCheckBox(QStringLiteral("Shade"), this);
    shadeBox_->setObjectName(QStringLiteral("shade"));
    shadeBox_->setToolTip(QStringLiteral("Hill shading of the grid, the readings taken as heights, blended with its colours"));
    azimuth_ = Field(this, "shadeAzimuth", 50, QStringLiteral("Where the light comes from, degrees clockwise from north"));
    altitude_ = Field(this, "shadeAltitude", 50, QStringLiteral("The light's height above the horizon, degrees"));
    zFactor_ = Field(this, "shadeZ", 50,
                     QStringLiteral("Metres of height one nT stands for: a larger factor shades weak anomalies more"));
    contoursBox_ = new QCheckBox(QStringLiteral("Contours"), this);
    contoursBox_->setObjectName(QStringLiteral("contours"));
    contoursBox_->setToolTip(QStringLiteral("Contour lines of the grid drawn on the map"));
    intervalEdit_ = Field(this, "contourInterval", 56, QStringLiteral("nT between contour lines"));

    row->addWidget(shadeBox_);
    row->addWidget(new QLabel(QStringLiteral("Azimuth"), this));
    row->addWidget(azimuth_);
    row->addWidget(new QLabel(QStringLiteral("\u00b0 Altitude"), this));
    row->addWidget(altitude_);
    row->addWidget(new QLabel(QStringLiteral("\u00b0 Z-factor"), this));
    row->addWidget(zFactor_);
    row->addSpacing(12);
    row->addWidget(contoursBox_);
    row->addWidget(new QLabel(QStringLiteral("every"), this));
    row->addWidget(intervalEdit_);
    row->addWidget(new QLabel(QStringLiteral("nT"), this));
    row->addStretch(1);

    shadeWatcher_ = new QFutureWatcher<std::shared_ptr<GridShade>>(this);
    contoursWatcher_ = new QFutureWatcher<std::shared_ptr<GridContours>>(this);
    connect(shadeWatcher_, &QFutureWatcherBase::finished, this, &ReliefPanel::ShadeFinished);
    connect(contoursWatcher_, &QFutureWatcherBase::finished, this, &ReliefPanel::ContoursFinished);
    connect(shadeBox_, &QCheckBox::toggled, this, [this] {
        emit NoteChanged({});
        WantShade();
    });
    connect(contoursBox_, &QCheckBox::toggled, this, [this] {
        emit NoteChanged({});
        WantContours();
    });
    for (QLineEdit* edit : {azimuth_, altitude_, zFactor_})
        connect(edit, &QLineEdit::editingFinished, this, &ReliefPanel::ShadeFieldEdited);
    connect(intervalEdit_, &QLineEdit::editingFinished, this, &ReliefPanel::IntervalEdited);
    ShowFields();
}

ReliefPanel::~ReliefPanel()
{
    // The workers hold their own references to the grid; they are only waited for.
    shadeWatcher_->waitForFinished();
    contoursWatcher_->waitForFinished();
}

void ReliefPanel::ShowFields()
{
    azimuth_->setText(Text(shadeSetting_.azimuth));
    altitude_->setText(Text(shadeSetting_.altitude));
    zFactor_->setText(Text(shadeSetting_.zFactor));
    intervalEdit_->setText(Text(interval_));
}

void ReliefPanel::SetGrid(std::shared_ptr<const SiteGrid> grid)
{
    if (grid == grid_)
        return;
    grid_ = std::move(grid);
    WantShade();
    WantContours();
}

bool ReliefPanel::ShadeOn() const
{
    return shadeBox_->isChecked();
}

bool ReliefPanel::ContoursOn() const
{
    return contoursBox_->isChecked();
}

void ReliefPanel::SetShade(bool on, const site::HillShadeSetting& setting)
{
    if (std::isfinite(setting.azimuth) && setting.altitude > 0 && setting.altitude <= 90 && setting.zFactor > 0 &&
        std::isfinite(setting.zFactor))
        shadeSetting_ = setting;
    ShowFields();
    const QSignalBlocker block(shadeBox_);
    shadeBox_->setChecked(on);
    WantShade();
}

void ReliefPanel::SetContours(bool on, double interval)
{
    if (interval > 0 && std::isfinite(interval))
        interval_ = interval;
    ShowFields();
    const QSignalBlocker block(contoursBox_);
    contoursBox_->setChecked(on);
    WantContours();
}

void ReliefPanel::ShadeFieldEdited()
{
    site::HillShadeSetting setting;
    setting.azimuth = Typed(azimuth_);
    setting.altitude = Typed(altitude_);
    setting.zFactor = Typed(zFactor_);
    QString reason;
    if (!std::isfinite(setting.azimuth))
        reason = QStringLiteral("The azimuth must be a number of degrees");
    else if (!(setting.altitude > 0 && setting.altitude <= 90))
        reason = QStringLiteral("The altitude must be above 0 and at most 90 degrees");
    else if (!(setting.zFactor > 0))
        reason = QStringLiteral("The z-factor must be above 0");
    if (!reason.isEmpty()) {
        ShowFields();
        emit NoteChanged(reason);
        return;
    }
    setting.azimuth = std::fmod(std::fmod(setting.azimuth, 360.0) + 360.0, 360.0);
    if (SameShade(setting, shadeSetting_)) {
        ShowFields();
        return;
    }
    shadeSetting_ = setting;
    ShowFields();
    emit NoteChanged({});
    WantShade();
}

void ReliefPanel::IntervalEdited()
{
    const double interval = Typed(intervalEdit_);
    if (!(interval > 0)) {
        ShowFields();
        emit NoteChanged(QStringLiteral("The contour interval must be a number of nT above 0"));
        return;
    }
    if (interval == interval_)
        return;
    interval_ = interval;
    ShowFields();
    emit NoteChanged({});
    WantContours();
}

std::shared_ptr<const GridShade> ReliefPanel::Shade() const
{
    if (!ShadeOn() || !grid_ || !shade_ || shade_->grid != grid_ || !SameShade(shade_->setting, shadeSetting_) ||
        !shade_->error.isEmpty())
        return nullptr;
    return shade_;
}

std::shared_ptr<const GridContours> ReliefPanel::Contours() const
{
    if (!ContoursOn() || !grid_ || !contours_ || contours_->grid != grid_ || contours_->interval != interval_ ||
        !contours_->error.isEmpty())
        return nullptr;
    return contours_;
}

void ReliefPanel::WantShade()
{
    // What is made already, or being made, is not made again; one job at a time, the latest asked
    // for made next.
    const bool made = shade_ && shade_->grid == grid_ && SameShade(shade_->setting, shadeSetting_);
    if (ShadeOn() && grid_ && made && !shade_->error.isEmpty()) {
        const QSignalBlocker block(shadeBox_);
        shadeBox_->setChecked(false);
        emit NoteChanged(shade_->error);
    } else if (ShadeOn() && grid_ && !grid_->image.values.empty() && !made && !shadeRunning_) {
        shadeRunning_ = true;
        shadeWatcher_->setFuture(
            QtConcurrent::run([grid = grid_, setting = shadeSetting_] { return MakeShade(grid, setting); }));
    }
    emit ShadeChanged();
}

void ReliefPanel::WantContours()
{
    const bool made = contours_ && contours_->grid == grid_ && contours_->interval == interval_;
    if (ContoursOn() && grid_ && made && !contours_->error.isEmpty()) {
        // Refused (an interval too fine for the grid): said, and the box unchecked, so that a
        // coarser interval is typed before it is tried again.
        const QSignalBlocker block(contoursBox_);
        contoursBox_->setChecked(false);
        emit NoteChanged(QStringLiteral("No contours: ") + contours_->error);
        ShowErrorBox(window(), contours_->error);
    } else if (ContoursOn() && grid_ && !made && !contoursRunning_) {
        contoursRunning_ = true;
        contoursWatcher_->setFuture(
            QtConcurrent::run([grid = grid_, interval = interval_] { return MakeContours(grid, interval); }));
    }
    emit ContoursChanged();
}

void ReliefPanel::ShadeFinished()
{
    shadeRunning_ = false;
    if (shadeWatcher_->future().resultCount() > 0)
        shade_ = shadeWatcher_->result();
    // A failure of what is asked for is said; something else asked for meanwhile is made now.
    WantShade();
}

void ReliefPanel::ContoursFinished()
{
    contoursRunning_ = false;
    if (contoursWatcher_->future().resultCount() > 0)
        contours_ = contoursWatcher_->result();
    WantContours();
}

} // namespace qm
