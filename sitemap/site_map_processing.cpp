// The site map window's processing: the panel beside the map and the profile strip under it, every
// change computed by the worker, and its result drawn: what the dots show sent to the page as new
// values for the points it has, the spikes ringed, the grid given the processed readings, and the
// counts in the status line.
#include "site_map_window.h"

#include "error_box.h"
#include "file_io.h"
#include "processing_panel.h"
#include "page_dots.h"
#include "processing_runner.h"
#include "profile_strip.h"
#include "site_grid_panel.h"
#include "site_map_page.h"
#include "site_page_channel.h"

#include <QFileInfo>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace qm {

namespace {

QString Count(std::uint64_t n, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(GroupedCount(n), QString::fromLatin1(n == 1 ? one : many));
}

QString Nt(double value)
{
    return QLocale::c().toString(value, 'g', 12) + QStringLiteral(" nT");
}

bool AnyEnabled(const process::Recipe& recipe)
{
    return std::any_of(recipe.steps.begin(), recipe.steps.end(), [](const process::Step& s) { return s.enabled; });
}

} // namespace

QWidget* SiteMapWindow::BuildProcessingArea()
{
    auto* across = new QSplitter(Qt::Horizontal, this);
    auto* down = new QSplitter(Qt::Vertical, across);
    down->addWidget(view_);
    strip_ = new ProfileStrip(down);
    down->addWidget(strip_);
    down->setStretchFactor(0, 1);
    down->setStretchFactor(1, 0);
    down->setSizes({560, 140});
    processingPanel_ = new ProcessingPanel(across);
    across->addWidget(down);
    across->addWidget(processingPanel_);
    across->setStretchFactor(0, 1);
    across->setStretchFactor(1, 0);
    across->setSizes({640, 340});
    runner_ = new ProcessingRunner(this);
    connect(processingPanel_, &ProcessingPanel::RecipeChanged, this, &SiteMapWindow::RequestProcessing);
    connect(processingPanel_, &ProcessingPanel::ViewChanged, this, &SiteMapWindow::RequestProcessing);
    connect(runner_, &ProcessingRunner::Ready, this, &SiteMapWindow::ProcessedReady);
    connect(runner_, &ProcessingRunner::Failed, this, [this](const QString& message) {
        RunHandler(this, [&] { throw std::runtime_error(message.toStdString()); });
    });
    return across;
}

void SiteMapWindow::BuildProcessingMenu(QMenuBar* bar)
{
    QMenu* menu = bar->addMenu(QStringLiteral("Processing"));
    menu->setObjectName(QStringLiteral("processingMenu"));
    menu->addAction(processingPanel_->UndoAction());
    menu->addAction(processingPanel_->RedoAction());
    menu->addSeparator();
    menu->addAction(processingPanel_->OpenAction());
    menu->addAction(processingPanel_->SaveAction());
}

void SiteMapWindow::RequestProcessing()
{
    if (HoldUntilDrawn(processingHeld_))
        return;
    ProcessingRequest request{processingPanel_->GetRecipe(), processingPanel_->Show(), processingPanel_->SelectedStep()};
    runner_->Request(readings_, std::move(request));
}

void SiteMapWindow::ProcessedReady(std::shared_ptr<const ProcessedView> view)
{
    if (!view || view->readings != readings_)
        return;
    // Values the dots already show (the readings' own, before and after) need neither a new
    // scale nor sending again.
    const auto before = ShownValues();
    processed_ = std::move(view);
    valuesDirty_ = true; // the spikes ringed, at least
    if (ShownValues() != before) {
        percentiles_ = processed_->shownIsReadings ? readingsPercentiles_ : processed_->percentiles;
        ApplyRange();
    }
    processingPanel_->ShowReports(processed_->request.recipe, processed_->reports);
    // The grid takes the processed values in place (a gap is left out), the readings' own while
    // no step is enabled; a new "Show" of the same values computes no grid again.
    std::shared_ptr<const std::vector<double>> gridValues;
    if (processed_->values && AnyEnabled(processed_->request.recipe))
        gridValues = std::shared_ptr<const std::vector<double>>(processed_->values, &processed_->values->value);
    if (gridPanel_->Readings() != readings_ || gridPanel_->Values() != gridValues)
        gridPanel_->SetReadings(readings_, std::move(gridValues));
    UpdateStrip();
    UpdateStatus();
    UpdatePage();
}

std::shared_ptr<const std::vector<double>> SiteMapWindow::GridValues() const
{
    return gridPanel_->Values();
}

void SiteMapWindow::SendValues()
{
    valuesDirty_ = false;
    if (!processed_ || processed_->readings != onPage_ || !onPage_ || onPage_->size() == 0 ||
        piecesFailedFor_ == onPage_)
        return;
    // The page keeps the points it has and takes what the dots show as a new "value" array: NaN
    // is drawn as no dot. The readings' own values are made into pieces again only when the page
    // shows others.
    SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr;
    const QString prefix = QStringLiteral("w%1-v%2-").arg(windowSerial_).arg(++sent_);
    const bool pageHasThem = processed_->shownIsReadings && pageValues_ && pageValues_.get() == &onPage_->value;
    const std::vector<QByteArray> pieces =
        pageHasThem || !processed_->shownIsReadings ? std::vector<QByteArray>{} : FloatPieces(onPage_->value);
    const std::vector<QByteArray>& shownPieces = processed_->shownIsReadings ? pieces : processed_->shownPieces;
    QStringList sources;
    for (std::size_t k = 0; !pageHasThem && k < shownPieces.size(); ++k)
        sources << PageSource(handler, prefix + QString::number(k), shownPieces[k]);
    if (!pageHasThem) {
        emit channel_->ArrayGiven(QStringLiteral("value"), sources, QStringLiteral("f32"));
        emit channel_->ValuesGiven(static_cast<qint64>(onPage_->size()));
        pageValues_ = processed_->shown;
    }
    // The spikes' indices as one array of 32-bit integers; none as no piece at all.
    const std::vector<std::uint32_t>& spikes = processed_->spikes;
    QStringList spikeSources;
    if (!spikes.empty())
        spikeSources << PageSource(handler, prefix + QStringLiteral("spikes"),
                                   QByteArray(reinterpret_cast<const char*>(spikes.data()),
                                              static_cast<qsizetype>(spikes.size() * sizeof(std::uint32_t))));
    emit channel_->ArrayGiven(QStringLiteral("spikes"), spikeSources, QStringLiteral("u32"));
    emit channel_->SpikesGiven();
}

void SiteMapWindow::SendDots()
{
    // The pyramid goes only through the data scheme: as script text its arrays would be far too
    // long, and without it the page bins every reading.
    SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr;
    if (!handler || !onPage_ || onPage_ != dotsFollowed_ || onPage_->size() == 0 || piecesFailedFor_ == onPage_ ||
        !pageValues_)
        return;
    dots_->Follow(onPage_, pageFrame_, pageValues_, pageCentre_);
    dots_->Send(*handler, QStringLiteral("w%1-d%2-").arg(windowSerial_).arg(sent_), *channel_);
}

QString SiteMapWindow::ProcessingStatus() const
{
    if (!processed_ || processed_->readings != readings_ || !AnyEnabled(processed_->request.recipe))
        return {};
    QStringList parts;
    parts << Count(processed_->gaps, "gap", "gaps");
    const process::Recipe& recipe = processed_->request.recipe;
    for (std::size_t k = 0; k < recipe.steps.size() && k < processed_->reports.size(); ++k)
        if (recipe.steps[k].enabled && std::holds_alternative<process::DespikeStep>(recipe.steps[k].op))
            parts << QStringLiteral("%1 (step %2)").arg(Count(processed_->reports[k].spikes, "spike", "spikes")).arg(k + 1);
    if (processed_->notedTraverses > 0)
        parts << Count(processed_->notedTraverses, "traverse noted", "traverses noted");
    return parts.join(QStringLiteral(", "));
}

QString SiteMapWindow::ValueText(int index) const
{
    // The hover text tells what the dot shows, with the reading beside a processed value.
    const site::PlacedReadings& r = *onPage_;
    if (!processed_ || processed_->readings != onPage_ || !processed_->shown)
        return Nt(r.value[index]);
    const double shown = (*processed_->shown)[static_cast<std::size_t>(index)];
    const bool spike = processed_->values->flag[static_cast<std::size_t>(index)] != 0;
    const QString flag = spike ? QStringLiteral(", spike") : QString();
    switch (processed_->request.show) {
    case ShowWhat::Raw:
        return Nt(r.value[index]) + QStringLiteral(" (raw)") + flag;
    case ShowWhat::Removed:
        return Nt(shown) + QStringLiteral(" removed by step %1 (raw %2)")
                               .arg(processed_->request.step + 1)
                               .arg(Nt(r.value[index]));
    case ShowWhat::Processed:
        break;
    }
    if (!AnyEnabled(processed_->request.recipe))
        return Nt(shown);
    return Nt(shown) + QStringLiteral(" (raw %1)").arg(Nt(r.value[index])) + flag;
}

void SiteMapWindow::ExportProcessed(const std::filesystem::path& path, site::ExportFormat format,
                                    site::ExportSummary& summary)
{
    // The labels are read again from the files, which must place the rows the values are of.
    const site::LabelledReadings gathered = site::GatherLabelledReadings(readings_->files);
    if (gathered.placed.file != readings_->file || gathered.placed.row != readings_->row)
        throw std::runtime_error("The survey files changed since the site map gathered them; the processed values "
                                 "no longer fit them");
    const process::Values& values = *processed_->values;
    const site::ProcessedValues processed{values.value, values.flag};
    summary = site::WriteReadings(gathered, path, format, &processed);
}

void SiteMapWindow::UpdateStrip()
{
    if (!readings_ || readings_->size() == 0) {
        strip_->SetTraverse({}, {}, {}, {}, -1, {});
        return;
    }
    const site::PlacedReadings& r = *readings_;
    const long long index = IndexOfReading(r, selectedFile_, selectedRow_);
    std::pair<std::size_t, std::size_t> range = RangeOfFile(r, selectedFile_);
    const bool current = processed_ && processed_->readings == readings_ && processed_->values;
    if (current && index >= 0)
        range = TraverseOf(*processed_->traverses, static_cast<std::size_t>(index));
    if (range.first >= range.second) {
        strip_->SetTraverse({}, {}, {}, {}, -1, {});
        return;
    }
    const std::size_t first = range.first;
    const std::size_t count = range.second - range.first;
    const std::span<const double> raw(r.value.data() + first, count);
    const std::span<const double> processed = current ? std::span<const double>(processed_->values->value.data() + first, count) : raw;
    const int file = static_cast<int>(r.file[first]);
    QString title = file < static_cast<int>(r.files.size()) ? QFileInfo(QString::fromStdString(Utf8Of(r.files[file]))).fileName()
                                                             : QString();
    title += QStringLiteral(", rows %1\u2013%2: processed values (blue, left scale) and readings (grey, right scale) by distance along it")
                 .arg(r.row[first])
                 .arg(r.row[range.second - 1]);
    strip_->SetTraverse(std::span<const double>(r.lon.data() + first, count),
                        std::span<const double>(r.lat.data() + first, count), raw, processed,
                        index >= 0 ? static_cast<int>(static_cast<std::size_t>(index) - first) : -1, title);
}

} // namespace qm
