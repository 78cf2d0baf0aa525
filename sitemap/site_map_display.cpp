// The site map window's display made for magnetometry: the colour range by mode over the values
// shown and the legend's histogram (found on a worker), the grid's hill shading and contours (made
// by the grid panel's relief row), and the tools on the map: the pointer readout in the site's grid
// zone, the distance measure and "Zoom to file".
#include "site_map_window.h"

#include "display_panel.h"
#include "map_tools.h"
#include "processing_runner.h"
#include "site_grid_panel.h"
#include "site_map_page.h"
#include "site_page_channel.h"

#include <QByteArray>
#include <QToolButton>
#include <QVariantList>
#include <QVariantMap>
#include <QWebChannel>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

namespace qm {

namespace {

bool IsDefaultRange(const site::RangeSetting& setting)
{
    const site::RangeSetting byDefault;
    return setting.mode == site::RangeMode::Percentiles && setting.low == byDefault.low && setting.high == byDefault.high;
}


// A contour point's degrees to the hundred-millionth (about a millimetre), as the page has always
// drawn the lines; NaN or infinity as 0.
double ContourDegrees(double value)
{
    if (!std::isfinite(value))
        return 0.0;
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 8);
    double rounded = value;
    if (written.ec == std::errc())
        std::from_chars(text, written.ptr, rounded);
    return rounded;
}

} // namespace

void SiteMapWindow::BuildDisplayTools(QWidget* bar)
{
    rangeControls_ = new RangeControls(bar);
    connect(rangeControls_, &RangeControls::Edited, this, &SiteMapWindow::SetRangeSetting);
    connect(rangeControls_, &RangeControls::Refused, this, &SiteMapWindow::SetNote);

    measureButton_ = new QToolButton(bar);
    measureButton_->setObjectName(QStringLiteral("measure"));
    measureButton_->setText(QStringLiteral("Measure"));
    measureButton_->setCheckable(true);
    measureButton_->setToolTip(QStringLiteral("Click points on the map to measure the great-circle distance along "
                                              "them; Esc starts again"));
    connect(measureButton_, &QToolButton::toggled, this, [this](bool on) {
        if (channel_->Ready())
            emit channel_->Measuring(on);
    });
    zoomButton_ = new QToolButton(bar);
    zoomButton_->setObjectName(QStringLiteral("zoomToFile"));
    zoomButton_->setText(QStringLiteral("Zoom to file"));
    zoomButton_->setToolTip(QStringLiteral("Fit the map to the selected file's readings"));
    zoomButton_->setEnabled(false);
    connect(zoomButton_, &QToolButton::clicked, this, &SiteMapWindow::ZoomToFile);
}

void SiteMapWindow::ConnectDisplay(QWebChannel* channel)
{
    tools_ = new MapToolsBridge(this);
    tools_->onLocate = [this](double lat, double lon) { return Locate(lat, lon); };
    channel->registerObject(QStringLiteral("siteTools"), tools_);

    rangeWatcher_ = new QFutureWatcher<RangeResult>(this);
    connect(rangeWatcher_, &QFutureWatcherBase::finished, this, &SiteMapWindow::RangeFinished);
    zoneWatcher_ = new QFutureWatcher<SiteZone>(this);
    connect(zoneWatcher_, &QFutureWatcherBase::finished, this, [this] {
        if (zoneWatcher_->future().resultCount() == 0)
            return;
        readingsZone_ = zoneWatcher_->result();
        projection_.reset();
    });

    ReliefPanel* relief = gridPanel_->Relief();
    connect(gridPanel_, &SiteGridPanel::GridChanged, this, [this, relief] {
        relief->SetGrid(gridPanel_->Grid());
        contoursDirty_ = true;
    });
    connect(relief, &ReliefPanel::ShadeChanged, this, [this] {
        gridDirty_ = true;
        UpdatePage();
    });
    connect(relief, &ReliefPanel::ContoursChanged, this, [this] {
        contoursDirty_ = true;
        UpdatePage();
    });
    // A refusal or failure is said in the status line; once cleared, the grid's own note is back.
    connect(relief, &ReliefPanel::NoteChanged, this,
            [this](const QString& note) { SetNote(note.isEmpty() ? gridPanel_->Note() : note); });
}

void SiteMapWindow::SetRangeSetting(const site::RangeSetting& setting)
{
    if (!RangeSettingProblem(setting).isEmpty()) {
        rangeControls_->SetSetting(display_.range);
        return;
    }
    display_.range = setting;
    rangeControls_->SetSetting(setting);
    ApplyRange();
}

DisplaySetting SiteMapWindow::GetDisplaySetting() const
{
    DisplaySetting setting = display_;
    const ReliefPanel* relief = gridPanel_->Relief();
    setting.shade = relief->ShadeOn();
    setting.hillShade = relief->ShadeSetting();
    setting.contours = relief->ContoursOn();
    setting.contourInterval = relief->ContourInterval();
    return setting;
}

void SiteMapWindow::SetDisplaySetting(const DisplaySetting& setting)
{
    SetColourPalette(setting.palette);
    SetRangeSetting(setting.range);
    ReliefPanel* relief = gridPanel_->Relief();
    relief->SetShade(setting.shade, setting.hillShade);
    relief->SetContours(setting.contours, setting.contourInterval);
}

std::shared_ptr<const std::vector<double>> SiteMapWindow::ShownValues() const
{
    // What the dots show: the processing's choice once it is in, the readings until then.
    if (processed_ && processed_->readings == readings_ && processed_->shown)
        return processed_->shown;
    if (readings_)
        return std::shared_ptr<const std::vector<double>>(readings_, &readings_->value);
    return nullptr;
}

void SiteMapWindow::ApplyRange()
{
    RefreshDefaultScale();
    const site::RangeSetting& range = display_.range;
    rangeTyped_ = range.mode == site::RangeMode::Typed;
    const bool any = readings_ && readings_->size() > 0;
    // The typed range and the default one are known at once (the default's percentiles come with
    // the values); the other modes are found on a worker, the range shown staying meanwhile.
    bool known = true;
    if (rangeTyped_) {
        scale_.min = range.low;
        scale_.max = range.high;
        scale_.centre = std::clamp(defaultScale_.centre, range.low, range.high);
    } else if (!any || IsDefaultRange(range)) {
        scale_ = defaultScale_;
    } else {
        known = false;
    }
    scale_.palette = display_.palette;
    scaleDirty_ = true;
    ShowRange();
    RequestRange(known);
    UpdatePage();
}

void SiteMapWindow::RequestRange(bool known)
{
    const int serial = ++rangeSerial_; // a range still being found for earlier values is of no use
    // Only a range already known waits: the others decide the colours of the first drawing.
    if (known && HoldUntilDrawn(rangeHeld_)) {
        range_ = RangeResult{};
        return;
    }
    rangeHeld_ = false;
    const auto values = ShownValues();
    if (!values || values->empty()) {
        range_ = RangeResult{};
        range_.serial = serial;
        return;
    }
    std::optional<site::ColourRange> given;
    if (known)
        given = site::ColourRange{scale_.min, scale_.max, scale_.centre};
    rangeWatcher_->setFuture(QtConcurrent::run([values, setting = display_.range, given, serial] {
        RangeResult result = ComputeRange(*values, setting, given ? &*given : nullptr);
        result.serial = serial;
        return result;
    }));
}

void SiteMapWindow::RangeFinished()
{
    if (rangeWatcher_->future().resultCount() == 0)
        return;
    RangeResult result = rangeWatcher_->result();
    if (result.serial != rangeSerial_)
        return;
    if (!result.error.isEmpty()) {
        SetNote(result.error);
        return;
    }
    // A range found here is drawn anew; a histogram alone goes to the legend by itself, as no
    // update of the page (PageUpdated() tells of those that change what is drawn).
    const bool moved = result.computed && (result.range.min != scale_.min || result.range.max != scale_.max ||
                                           result.range.median != scale_.centre);
    if (moved) {
        scale_.min = result.range.min;
        scale_.max = result.range.max;
        scale_.centre = result.range.median;
        ShowRange();
    }
    range_ = std::move(result);
    if (moved) {
        scaleDirty_ = true;
        UpdatePage();
    } else if (channel_->Ready() && !scaleDirty_) {
        emit channel_->HistogramChanged(Histogram());
    }
    emit ColourRangeReady();
}

QVariant SiteMapWindow::Histogram() const
{
    // Only the histogram over the range drawn: one over an earlier range would mark it wrongly.
    if (range_.counts.size() != static_cast<std::size_t>(kHistogramBins) + 2 || range_.range.min != scale_.min ||
        range_.range.max != scale_.max || !std::isfinite(range_.range.min) || !std::isfinite(range_.range.max))
        return {};
    QVariantList counts;
    counts.reserve(static_cast<qsizetype>(range_.counts.size()));
    for (const std::uint32_t count : range_.counts)
        counts << count;
    return QVariantMap{{QStringLiteral("min"), range_.range.min},
                       {QStringLiteral("max"), range_.range.max},
                       {QStringLiteral("counts"), counts}};
}

void SiteMapWindow::SendContours()
{
    contoursDirty_ = false;
    const auto grid = gridPanel_->Grid();
    const auto contours = gridPanel_->Relief()->Contours();
    if (!gridPanel_->Shown() || !grid || !contours || contours->grid != grid || contours->lines.empty()) {
        emit channel_->ContoursCleared();
        return;
    }
    // On the same turn of the world as the readings (the lines run on about the grid's meridian).
    // Their points go as one array of 64-bit floats (lat, lon, lat, lon, ...), line after line.
    const double shift = 360.0 * std::round((pageCentreLon_ - contours->lines.front().lon.front()) / 360.0);
    std::vector<double> points;
    points.reserve(2 * contours->vertices);
    QVariantList sizes;
    sizes.reserve(static_cast<qsizetype>(contours->lines.size()));
    for (const site::ContourLine& line : contours->lines) {
        for (std::size_t i = 0; i < line.lon.size(); ++i) {
            points.push_back(ContourDegrees(line.lat[i]));
            points.push_back(ContourDegrees(line.lon[i] + shift));
        }
        sizes << static_cast<qint64>(line.lon.size());
    }
    const QByteArray bytes(reinterpret_cast<const char*>(points.data()),
                           static_cast<qsizetype>(points.size() * sizeof(double)));
    SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr;
    const QString name = QStringLiteral("w%1-c%2-contour").arg(windowSerial_).arg(++sent_);
    emit channel_->ArrayGiven(QStringLiteral("contour"), {PageSource(handler, name, bytes)}, QStringLiteral("f64"));
    emit channel_->ContoursGiven(sizes);
}

void SiteMapWindow::FindZone()
{
    // The median position of a million readings takes a moment: found on a worker.
    readingsZone_ = {};
    projection_.reset();
    if (!readings_ || readings_->size() == 0)
        return;
    if (HoldUntilDrawn(zoneHeld_)) {
        zoneWatcher_->setFuture(QFuture<SiteZone>()); // one for earlier readings is of no use
        return;
    }
    zoneWatcher_->setFuture(QtConcurrent::run([readings = readings_] { return ZoneOfReadings(*readings); }));
}

// Whether a computation over the readings waits for their first drawing; `held` then notes it was asked.
bool SiteMapWindow::HoldUntilDrawn(bool& held)
{
    if (!followUpsFor_ || followUpsFor_ != readings_)
        return false;
    held = true;
    return true;
}

void SiteMapWindow::StartFollowUps(const std::shared_ptr<const site::PlacedReadings>& drawn)
{
    if (!followUpsFor_ || followUpsFor_ != drawn)
        return;
    followUpsFor_.reset();
    if (std::exchange(rangeHeld_, false))
        RequestRange(true);
    if (std::exchange(zoneHeld_, false))
        FindZone();
    if (std::exchange(processingHeld_, false))
        RequestProcessing();
}

QString SiteMapWindow::Locate(double lat, double lon)
{
    // The grid's zone once there is a grid, else the zone the readings' grid would have.
    SiteZone zone = readingsZone_;
    if (const auto grid = gridPanel_->Grid())
        zone = ZoneOfGrid(grid->grid);
    if (zone.epsg == 0)
        projection_.reset();
    else if (!projection_ || projection_->Zone().epsg != zone.epsg)
        projection_ = std::make_unique<ZoneProjection>(zone);
    return PointerReadout(lat, lon, projection_.get());
}

void SiteMapWindow::UpdateZoomButton()
{
    const bool any = readings_ && [&] {
        const auto [first, last] = RangeOfFile(*readings_, selectedFile_);
        return first < last;
    }();
    zoomButton_->setEnabled(any);
}

void SiteMapWindow::ZoomToFile()
{
    if (!channel_->Ready() || !onPage_)
        return;
    const auto [first, last] = RangeOfFile(*onPage_, selectedFile_);
    double south = std::numeric_limits<double>::infinity(), north = -south, west = south, east = -south;
    for (std::size_t i = first; i < last; ++i) {
        const double lat = onPage_->lat[i];
        // On the readings' turn of the world, as the page drew them.
        const double lon = pageCentreLon_ + std::remainder(onPage_->lon[i] - pageCentreLon_, 360.0);
        if (!std::isfinite(lat) || !std::isfinite(lon))
            continue;
        south = std::min(south, lat);
        north = std::max(north, lat);
        west = std::min(west, lon);
        east = std::max(east, lon);
    }
    if (!(south <= north && west <= east))
        return;
    emit channel_->FitTo(PageBounds(south, west, north, east));
}

} // namespace qm
