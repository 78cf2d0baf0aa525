// The site map window's session state (with the display: range mode, hill shading, contours), the selected file's track as the page draws it, the notes
// the status line adds about the readings (files that placed nothing, readings beyond the web map's
// latitudes, a refused typed limit) and the readings' GeoPackage export.
#include "site_map_window.h"

#include "error_box.h"
#include "file_io.h"
#include "gpkg_export.h"
#include "platform.h"
#include "processing_panel.h"
#include "processing_runner.h"
#include "recipe.h"
#include "site_grid_panel.h"
#include "site_map_page.h"
#include "site_view_bridge.h"
#include "track_breaks.h"

#include <QComboBox>
#include <QFileInfo>
#include <QJsonObject>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace qm {

namespace {

// The web map's latitudes end here (Web Mercator): readings beyond cannot be drawn where they are.
constexpr double kWebMapLatitude = 85.0511287798066;
// The track lifts the pen between readings farther apart than this many times the median spacing.
constexpr double kGapFactor = 5;
constexpr std::size_t kNamedFiles = 3;

// Metres between two readings, near enough for telling a gap from the usual spacing.
double Spacing(const site::PlacedReadings& r, std::size_t a, std::size_t b)
{
    constexpr double kMetresPerDegree = 6371000.0 * std::numbers::pi / 180.0;
    const double dy = (r.lat[b] - r.lat[a]) * kMetresPerDegree;
    const double dx = std::remainder(r.lon[b] - r.lon[a], 360.0) * kMetresPerDegree *
                      std::cos((r.lat[a] + r.lat[b]) / 2 * std::numbers::pi / 180.0);
    return std::hypot(dx, dy);
}

QString NamedFiles(const std::vector<std::filesystem::path>& files)
{
    QStringList named;
    for (std::size_t i = 0; i < files.size() && i < kNamedFiles; ++i)
        named << QFileInfo(QString::fromStdString(Utf8Of(files[i]))).fileName();
    if (files.size() > kNamedFiles)
        named << QStringLiteral("and %1 more").arg(GroupedCount(files.size() - kNamedFiles));
    return named.join(QStringLiteral(", "));
}

QJsonObject DisplayJson(const DisplaySetting& d)
{
    return QJsonObject{
        {QStringLiteral("palette"), QString::fromLatin1(PaletteName(d.palette))},
        {QStringLiteral("rangeMode"), QString::fromLatin1(site::RangeModeName(d.range.mode))},
        {QStringLiteral("low"), d.range.low},
        {QStringLiteral("high"), d.range.high},
        {QStringLiteral("k"), d.range.k},
        {QStringLiteral("nt"), d.range.nt},
        {QStringLiteral("shade"), d.shade},
        {QStringLiteral("azimuth"), d.hillShade.azimuth},
        {QStringLiteral("altitude"), d.hillShade.altitude},
        {QStringLiteral("zFactor"), d.hillShade.zFactor},
        {QStringLiteral("contours"), d.contours},
        {QStringLiteral("contourInterval"), d.contourInterval},
    };
}

// What is missing keeps the value of `d`.
DisplaySetting ParseDisplay(const QJsonObject& o, DisplaySetting d)
{
    const auto number = [&o](const char* key, double& value) { value = o.value(QLatin1String(key)).toDouble(value); };
    if (o.contains(QStringLiteral("palette")))
        d.palette = ParsePalette(o.value(QStringLiteral("palette")).toString().toStdString());
    if (o.contains(QStringLiteral("rangeMode")))
        d.range.mode = site::ParseRangeMode(o.value(QStringLiteral("rangeMode")).toString().toStdString());
    number("low", d.range.low);
    number("high", d.range.high);
    number("k", d.range.k);
    number("nt", d.range.nt);
    d.shade = o.value(QStringLiteral("shade")).toBool(d.shade);
    number("azimuth", d.hillShade.azimuth);
    number("altitude", d.hillShade.altitude);
    number("zFactor", d.hillShade.zFactor);
    d.contours = o.value(QStringLiteral("contours")).toBool(d.contours);
    number("contourInterval", d.contourInterval);
    return d;
}

} // namespace

std::vector<std::size_t> TrackBreaks(const site::PlacedReadings& r, std::size_t first, std::size_t last,
                                     const process::Traverses* traverses)
{
    std::vector<std::size_t> breaks;
    if (last > r.size() || first + 1 >= last)
        return breaks;
    if (traverses && traverses->Readings() == r.size())
        for (const std::size_t bound : traverses->bounds)
            if (bound > first && bound < last && (breaks.empty() || breaks.back() != bound))
                breaks.push_back(bound);
    std::vector<double> spacing;
    spacing.reserve(last - first - 1);
    for (std::size_t i = first + 1; i < last; ++i)
        if (const double d = Spacing(r, i - 1, i); d > 0)
            spacing.push_back(d);
    if (spacing.empty())
        return breaks;
    const auto middle = spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2);
    std::nth_element(spacing.begin(), middle, spacing.end());
    const double limit = kGapFactor * *middle;
    for (std::size_t i = first + 1; i < last; ++i)
        if (Spacing(r, i - 1, i) > limit)
            breaks.push_back(i);
    std::sort(breaks.begin(), breaks.end());
    breaks.erase(std::unique(breaks.begin(), breaks.end()), breaks.end());
    return breaks;
}

void SiteMapWindow::SetUpExtras()
{
    viewBridge_ = new SiteViewBridge(this);
    view_->page()->webChannel()->registerObject(QStringLiteral("siteView"), viewBridge_);
    connect(gridPanel_, &SiteGridPanel::TrackShownChanged, this, [this] { RunHandler(this, [this] { SendTrack(); }); });
    // The traverses may change with the processing (by file or by column 2).
    connect(runner_, &ProcessingRunner::Ready, this, [this] { RunHandler(this, [this] { SendTrack(); }); });
}

void SiteMapWindow::SendTrack()
{
    QVariantList breaks;
    if (onPage_) {
        const auto range = RangeOfFile(*onPage_, selectedFile_);
        const process::Traverses* traverses =
            processed_ && processed_->readings == onPage_ ? processed_->traverses.get() : nullptr;
        for (const std::size_t b : TrackBreaks(*onPage_, range.first, range.second, traverses))
            breaks << static_cast<double>(b);
    }
    viewBridge_->SetTrack(std::move(breaks), gridPanel_->TrackShown());
}

void SiteMapWindow::LabelsArrived()
{
    emit viewBridge_->DescribeAgain();
}

void SiteMapWindow::SetRangeNote(const QString& note)
{
    if (note == rangeNote_)
        return;
    rangeNote_ = note;
    UpdateStatus();
}

QString SiteMapWindow::ExtraNotes() const
{
    QStringList parts;
    if (!rangeNote_.isEmpty())
        parts << rangeNote_;
    if (readings_ && placementNotes_.first != readings_.get()) {
        QStringList notes;
        if (const auto nothing = site::FilesPlacingNothing(*readings_); !nothing.empty())
            notes << QStringLiteral("Nothing placed from: ") + NamedFiles(nothing);
        const auto beyond = static_cast<std::size_t>(std::count_if(
            readings_->lat.begin(), readings_->lat.end(), [](double lat) { return std::abs(lat) > kWebMapLatitude; }));
        if (beyond > 0)
            notes << QStringLiteral("%1 %2 beyond the web map's \u00b185.05\u00b0 and cannot be drawn where %3")
                         .arg(GroupedCount(beyond),
                              beyond == 1 ? QStringLiteral("reading lies") : QStringLiteral("readings lie"),
                              beyond == 1 ? QStringLiteral("it is") : QStringLiteral("they are"));
        placementNotes_ = {readings_.get(), notes.join(QStringLiteral("; "))};
    }
    if (readings_ && !placementNotes_.second.isEmpty())
        parts << placementNotes_.second;
    return parts.join(QStringLiteral("; "));
}

QJsonObject SiteMapWindow::SaveState() const
{
    QJsonObject state{
        {QStringLiteral("palette"), paletteBox_->currentText()},
        {QStringLiteral("basemap"), viewBridge_->Basemap()},
        {QStringLiteral("range"), QJsonObject{{QStringLiteral("typed"), rangeTyped_},
                                              {QStringLiteral("min"), scale_.min},
                                              {QStringLiteral("max"), scale_.max}}},
        {QStringLiteral("grid"), gridPanel_->SaveState()},
        {QStringLiteral("display"), DisplayJson(GetDisplaySetting())},
        {QStringLiteral("recipe"), QString::fromStdString(process::RecipeJson(processingPanel_->GetRecipe()))},
    };
    // A view restored but not yet shown is still the one to keep.
    QVariantMap pending = viewBridge_->RestoreView();
    if (pending.contains(QStringLiteral("basemap")))
        state.insert(QStringLiteral("basemap"), pending.take(QStringLiteral("basemap")).toString());
    if (pending.contains(QStringLiteral("zoom")))
        state.insert(QStringLiteral("view"), QJsonObject::fromVariantMap(pending));
    else if (viewBridge_->HasView())
        state.insert(QStringLiteral("view"), QJsonObject{{QStringLiteral("lat"), viewBridge_->Lat()},
                                                         {QStringLiteral("lon"), viewBridge_->Lon()},
                                                         {QStringLiteral("zoom"), viewBridge_->Zoom()}});
    return state;
}

void SiteMapWindow::RestoreState(const QJsonObject& state)
{
    if (const int palette = paletteBox_->findText(state.value(QStringLiteral("palette")).toString()); palette >= 0)
        SetColourPalette(static_cast<site::Palette>(paletteBox_->itemData(palette).toInt()));
    const QJsonObject range = state.value(QStringLiteral("range")).toObject();
    if (range.value(QStringLiteral("typed")).toBool())
        SetColourRange(range.value(QStringLiteral("min")).toDouble(), range.value(QStringLiteral("max")).toDouble());
    else
        ResetColourRange();
    // The range mode, hill shading and contours, over the palette and range above.
    if (const QJsonObject display = state.value(QStringLiteral("display")).toObject(); !display.isEmpty())
        SetDisplaySetting(ParseDisplay(display, GetDisplaySetting()));
    gridPanel_->RestoreState(state.value(QStringLiteral("grid")).toObject());
    QVariantMap view = state.value(QStringLiteral("view")).toObject().toVariantMap();
    const QString basemap = state.value(QStringLiteral("basemap")).toString();
    if (!view.isEmpty() || !basemap.isEmpty()) {
        if (!basemap.isEmpty())
            view.insert(QStringLiteral("basemap"), basemap);
        viewBridge_->SetRestoreView(std::move(view));
    }
    // Last, as it may be refused (a session edited by hand): what came before stays restored.
    const QString recipe = state.value(QStringLiteral("recipe")).toString();
    if (!recipe.isEmpty())
        processingPanel_->ReplaceRecipe(process::ParseRecipe(recipe.toStdString(), "session"),
                                        QStringLiteral("Restore session"));
}

void SiteMapWindow::ExportGeoPackage(const QString& path, site::ExportSummary& summary)
{
    const site::LabelledReadings gathered = site::GatherLabelledReadings(readings_->files);
    // With a recipe, the processed values and the processing's traverses (by file or by column 2).
    if (!(processed_ && processed_->readings == readings_ && !processed_->request.recipe.steps.empty())) {
        summary = site::WriteGeoPackage(gathered, ToFsPath(path));
        return;
    }
    if (gathered.placed.file != readings_->file || gathered.placed.row != readings_->row)
        throw std::runtime_error("The survey files changed since the site map gathered them; the processed values "
                                 "no longer fit them");
    const process::Values& values = *processed_->values;
    const site::ProcessedValues processed{values.value, values.flag};
    summary = site::WriteGeoPackage(gathered, ToFsPath(path), &processed, processed_->traverses->bounds);
}

} // namespace qm
