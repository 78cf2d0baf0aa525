// The site map's grid row: method, cell and radius, the grid computed on a worker thread with a
// progress bar and Cancel, kept until its inputs change, and shown over the map.
#include "site_grid_panel.h"

#include "display_panel.h"
#include "error_box.h"
#include "errors.h"
#include "site_map_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <cmath>
#include <exception>
#include <new>
#include <string>

namespace qm {

namespace {

// The longer side of the image the map gets: finer grids are sampled down, which the screen
// could not show anyway, so that colouring and encoding it stays quick on the interface thread.
constexpr int kImageSide = 2048;

QString Metres(double value)
{
    return QLocale::c().toString(value, 'g', 6);
}

// Metres as typed; 0 (the default) for an empty, unreadable or non-positive text.
double TypedMetres(const QLineEdit* edit)
{
    QString text = edit->text().trimmed();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok && value > 0 && std::isfinite(value) ? value : 0;
}

QString Summary(const site::GridResult& grid)
{
    QString text = QStringLiteral("Grid (%1) %2 \u00d7 %3 cells of %4 m, radius %5 m, %6, %7 readings")
                       .arg(QString::fromLatin1(site::MethodName(grid.method)))
                       .arg(grid.width)
                       .arg(grid.height)
                       .arg(Metres(grid.cellSize), Metres(grid.radius), QString::fromStdString(site::ZoneName(grid)),
                            GroupedCount(grid.readingsUsed));
    if (grid.readingsLeftOut > 0)
        text += QStringLiteral(" (%1 left out)").arg(GroupedCount(grid.readingsLeftOut));
    // The messages are sentences of their own, each with its full stop.
    for (const std::string& message : grid.messages)
        text += (text.endsWith(QLatin1Char('.')) ? QStringLiteral(" ") : QStringLiteral(". ")) +
                QString::fromStdString(message);
    return text;
}

} // namespace

SiteGridPanel::SiteGridPanel(QWidget* parent) : QWidget(parent)
{
    // The grid's row, and under it the relief row: hill shading and contours.
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 0, 6, 4);
    rows->setSpacing(2);
    auto* row = new QHBoxLayout();
    row->setContentsMargins(0, 0, 0, 0);
    rows->addLayout(row);
    relief_ = new ReliefPanel(this);
    rows->addWidget(relief_);

    gridButton_ = new QToolButton(this);
    gridButton_->setObjectName(QStringLiteral("grid"));
    gridButton_->setText(QStringLiteral("Grid"));
    gridButton_->setToolTip(QStringLiteral("Interpolate the readings to a grid and show it under the dots"));
    methodBox_ = new QComboBox(this);
    methodBox_->setObjectName(QStringLiteral("method"));
    for (auto method : {site::GridMethod::Linear, site::GridMethod::InverseDistance, site::GridMethod::Nearest,
                        site::GridMethod::Average})
        methodBox_->addItem(QString::fromLatin1(site::MethodName(method)), static_cast<int>(method));
    cellEdit_ = new QLineEdit(this);
    cellEdit_->setObjectName(QStringLiteral("cell"));
    radiusEdit_ = new QLineEdit(this);
    radiusEdit_->setObjectName(QStringLiteral("radius"));
    for (QLineEdit* edit : {cellEdit_, radiusEdit_}) {
        edit->setMaximumWidth(70);
        edit->setPlaceholderText(QStringLiteral("auto"));
    }
    cellEdit_->setToolTip(QStringLiteral("Cell size; empty for a quarter of the line spacing"));
    radiusEdit_->setToolTip(QStringLiteral("Cells farther than this from every reading stay empty; empty for twice "
                                           "the line spacing"));
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("gridProgress"));
    progress_->setRange(0, 1000);
    progress_->setMaximumWidth(140);
    progress_->setTextVisible(false);
    cancelButton_ = new QToolButton(this);
    cancelButton_->setObjectName(QStringLiteral("cancelGrid"));
    cancelButton_->setText(QStringLiteral("Cancel"));
    opacitySlider_ = new QSlider(Qt::Horizontal, this);
    opacitySlider_->setObjectName(QStringLiteral("opacity"));
    opacitySlider_->setRange(0, 100);
    opacitySlider_->setValue(80);
    opacitySlider_->setMaximumWidth(110);
    dotsBox_ = new QCheckBox(QStringLiteral("Dots"), this);
    dotsBox_->setObjectName(QStringLiteral("dots"));
    dotsBox_->setChecked(true);

    row->addWidget(gridButton_);
    row->addWidget(methodBox_);
    row->addWidget(new QLabel(QStringLiteral("Cell"), this));
    row->addWidget(cellEdit_);
    row->addWidget(new QLabel(QStringLiteral("m  Radius"), this));
    row->addWidget(radiusEdit_);
    row->addWidget(new QLabel(QStringLiteral("m"), this));
    row->addWidget(progress_);
    row->addWidget(cancelButton_);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Opacity"), this));
    row->addWidget(opacitySlider_);
    BuildViewBoxes(row);
    row->addStretch(1);

    poll_ = new QTimer(this);
    poll_->setInterval(100);
    watcher_ = new QFutureWatcher<Result>(this);

    connect(gridButton_, &QToolButton::clicked, this, [this] { RunHandler(this, [this] { ShowGrid(); }); });
    connect(methodBox_, &QComboBox::activated, this, &SiteGridPanel::InputChanged);
    connect(cellEdit_, &QLineEdit::textEdited, this, [this] { cellTyped_ = !cellEdit_->text().trimmed().isEmpty(); });
    connect(radiusEdit_, &QLineEdit::textEdited, this,
            [this] { radiusTyped_ = !radiusEdit_->text().trimmed().isEmpty(); });
    connect(cellEdit_, &QLineEdit::editingFinished, this, &SiteGridPanel::InputChanged);
    connect(radiusEdit_, &QLineEdit::editingFinished, this, &SiteGridPanel::InputChanged);
    connect(cancelButton_, &QToolButton::clicked, this, &SiteGridPanel::Cancel);
    connect(opacitySlider_, &QSlider::valueChanged, this, [this](int value) { emit OpacityChanged(value / 100.0); });
    connect(dotsBox_, &QCheckBox::toggled, this, &SiteGridPanel::DotsShownChanged);
    connect(poll_, &QTimer::timeout, this, [this] {
        if (job_)
            progress_->setValue(job_->permille.load());
    });
    connect(watcher_, &QFutureWatcher<Result>::finished, this, &SiteGridPanel::Finished);
    SetIdle();
    SetReadings(nullptr);
}

SiteGridPanel::~SiteGridPanel()
{
    // The worker holds its own references to the readings and the job; it only has to stop.
    if (job_)
        job_->stop = true;
    watcher_->waitForFinished();
}

void SiteGridPanel::SetReadings(std::shared_ptr<const site::PlacedReadings> readings,
                                std::shared_ptr<const std::vector<double>> values)
{
    readings_ = std::move(readings);
    values_ = readings_ ? std::move(values) : nullptr;
    const bool any = readings_ && readings_->size() > 0;
    gridButton_->setEnabled(any);
    showBox_->setEnabled(any);
    grid_.reset();
    if (job_) {
        job_->stop = true;
        job_.reset();
        SetIdle();
    }
    // Defaults shown for the last readings are not those of the new ones.
    if (!cellTyped_)
        cellEdit_->clear();
    if (!radiusTyped_)
        radiusEdit_->clear();
    SetNote({});
    if (showBox_->isChecked() && any)
        ShowGrid();
    else
        showBox_->setChecked(false);
    emit GridChanged();
}

bool SiteGridPanel::Shown() const
{
    return showBox_->isChecked() && grid_;
}

bool SiteGridPanel::TrackShown() const
{
    return trackBox_->isChecked();
}

double SiteGridPanel::Opacity() const
{
    return opacitySlider_->value() / 100.0;
}

bool SiteGridPanel::DotsShown() const
{
    return dotsBox_->isChecked();
}

SiteGridPanel::Inputs SiteGridPanel::Current() const
{
    Inputs inputs;
    inputs.readings = readings_.get();
    inputs.values = values_.get();
    inputs.method = static_cast<site::GridMethod>(methodBox_->currentData().toInt());
    inputs.cell = TypedMetres(cellEdit_);
    inputs.radius = TypedMetres(radiusEdit_);
    return inputs;
}

void SiteGridPanel::ShowGrid()
{
    showBox_->setChecked(true);
    const Inputs inputs = Current();
    if (grid_ && inputs == gridInputs_) {
        SetNote(Summary(grid_->grid));
        emit GridChanged();
        return;
    }
    if (!(job_ && inputs == jobInputs_))
        Start(inputs);
}

void SiteGridPanel::HideGrid()
{
    if (job_)
        Cancel();
    showBox_->setChecked(false);
    emit GridChanged();
}

void SiteGridPanel::InputChanged()
{
    // Unreadable sizes go back to the default.
    for (QLineEdit* edit : {cellEdit_, radiusEdit_})
        if (TypedMetres(edit) == 0 && !edit->text().isEmpty())
            edit->clear();
    if (cellEdit_->text().isEmpty())
        cellTyped_ = false;
    if (radiusEdit_->text().isEmpty())
        radiusTyped_ = false;
    // A shown grid follows its inputs; leaving a field unchanged computes nothing.
    if (showBox_->isChecked() && !(grid_ && Current() == gridInputs_))
        ShowGrid();
}

void SiteGridPanel::Start(const Inputs& inputs)
{
    if (!readings_)
        return;
    if (job_)
        job_->stop = true;
    job_ = std::make_shared<Job>();
    jobInputs_ = inputs;
    ++computations_;
    site::GridRequest request;
    request.method = inputs.method;
    request.cellSize = inputs.cell;
    request.radius = inputs.radius;
    watcher_->setFuture(QtConcurrent::run([job = job_, readings = readings_, values = values_, request]() mutable {
        request.progress = [job](double fraction) {
            job->permille.store(static_cast<int>(fraction * 950));
            return !job->stop.load();
        };
        Result result;
        result.job = job;
        // A job that throws has no result, and the panel would wait for one for ever: whatever
        // goes wrong comes back as the reason there is no grid.
        try {
            auto made = std::make_shared<SiteGrid>();
            made->grid = values ? site::ComputeGrid(*readings, *values, request) : site::ComputeGrid(*readings, request);
            // A grid that cannot be warped to degrees is still a grid: the note tells why the map
            // lacks it.
            if (!job->stop.load()) {
                try {
                    made->image = site::WarpToWgs84(made->grid, kImageSide);
                } catch (const Error& e) {
                    result.unshown = e.what();
                }
            }
            result.grid = std::move(made);
        } catch (const site::Cancelled&) {
            result.cancelled = true;
        } catch (const Error& e) {
            result.failure = e.what();
        } catch (const std::bad_alloc&) {
            result.failure = "Out of memory: the grid is too large for this computer. Try a larger cell size.";
        } catch (const std::exception& e) {
            result.failure = std::string("The grid could not be computed: ") + e.what();
        } catch (...) {
            result.failure = "The grid could not be computed.";
        }
        return result;
    }));
    progress_->setValue(0);
    progress_->show();
    cancelButton_->show();
    poll_->start();
    SetNote(QStringLiteral("Computing the grid\u2026"));
}

void SiteGridPanel::Finished()
{
    // A computation replaced or cancelled meanwhile may still report; only the current one counts.
    if (!job_ || !watcher_->isFinished() || watcher_->future().resultCount() == 0)
        return;
    const Result result = watcher_->result();
    if (result.job != job_)
        return;
    job_.reset();
    SetIdle();
    if (!result.grid) {
        // The reasons name what to change (method, cell size); a cancel needs no box.
        const QString failure = QString::fromStdString(result.failure);
        showBox_->setChecked(false);
        SetNote(result.cancelled ? QStringLiteral("Cancelled.") : QStringLiteral("No grid: ") + failure);
        emit GridChanged();
        if (!result.cancelled)
            ShowErrorBox(window(), failure);
        return;
    }
    const site::GridResult& grid = result.grid->grid;
    grid_ = result.grid;
    // The defaults used are shown, and the grid's inputs are what the fields now say, so that
    // "Grid" with the fields unchanged shows this grid again.
    if (!cellTyped_)
        cellEdit_->setText(Metres(grid.cellSize));
    if (!radiusTyped_)
        radiusEdit_->setText(Metres(grid.radius));
    gridInputs_ = {jobInputs_.readings, jobInputs_.values, jobInputs_.method, TypedMetres(cellEdit_), TypedMetres(radiusEdit_)};
    QString note = Summary(grid);
    if (!result.unshown.empty())
        note += QStringLiteral(". It cannot be shown on the map: ") + QString::fromStdString(result.unshown);
    SetNote(note);
    emit GridChanged();
}

void SiteGridPanel::Cancel()
{
    if (!job_)
        return;
    job_->stop = true;
    job_.reset();
    SetIdle();
    showBox_->setChecked(false);
    SetNote(QStringLiteral("Cancelled."));
    emit GridChanged();
}

void SiteGridPanel::SetIdle()
{
    poll_->stop();
    progress_->hide();
    cancelButton_->hide();
}

void SiteGridPanel::SetNote(const QString& note)
{
    if (note == note_)
        return;
    note_ = note;
    emit NoteChanged();
}

} // namespace qm

namespace qm {

void SiteGridPanel::BuildViewBoxes(QHBoxLayout* row)
{
    // "Grid" computes and shows; "Show grid" only hides and shows what was computed.
    showBox_ = new QCheckBox(QStringLiteral("Show grid"), this);
    showBox_->setObjectName(QStringLiteral("showGrid"));
    trackBox_ = new QCheckBox(QStringLiteral("Track"), this);
    trackBox_->setObjectName(QStringLiteral("track"));
    trackBox_->setToolTip(QStringLiteral("Draw the selected file's traverses as a line"));
    trackBox_->setChecked(true);
    connect(showBox_, &QCheckBox::clicked, this,
            [this](bool checked) { RunHandler(this, [this, checked] { checked ? ShowGrid() : HideGrid(); }); });
    connect(trackBox_, &QCheckBox::toggled, this, &SiteGridPanel::TrackShownChanged);
    row->addWidget(showBox_);
    row->addWidget(dotsBox_);
    row->addWidget(trackBox_);
}

QJsonObject SiteGridPanel::SaveState() const
{
    return QJsonObject{
        {QStringLiteral("method"), QString::fromLatin1(site::MethodName(Current().method))},
        {QStringLiteral("cell"), cellTyped_ ? cellEdit_->text() : QString()},
        {QStringLiteral("radius"), radiusTyped_ ? radiusEdit_->text() : QString()},
        {QStringLiteral("opacity"), opacitySlider_->value()},
        {QStringLiteral("dots"), dotsBox_->isChecked()},
        {QStringLiteral("track"), trackBox_->isChecked()},
    };
}

void SiteGridPanel::RestoreState(const QJsonObject& state)
{
    if (const auto method = site::ParseMethod(state.value(QStringLiteral("method")).toString().toStdString()))
        methodBox_->setCurrentIndex(methodBox_->findData(static_cast<int>(*method)));
    cellEdit_->setText(state.value(QStringLiteral("cell")).toString());
    radiusEdit_->setText(state.value(QStringLiteral("radius")).toString());
    cellTyped_ = !cellEdit_->text().trimmed().isEmpty();
    radiusTyped_ = !radiusEdit_->text().trimmed().isEmpty();
    opacitySlider_->setValue(state.value(QStringLiteral("opacity")).toInt(opacitySlider_->value()));
    dotsBox_->setChecked(state.value(QStringLiteral("dots")).toBool(true));
    trackBox_->setChecked(state.value(QStringLiteral("track")).toBool(true));
    InputChanged();
}

} // namespace qm
