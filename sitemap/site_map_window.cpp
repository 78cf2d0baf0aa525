// The "Site map" window: the readings of every file as dots on a web map, their colour scale and
// legend, the selected track and reading, the grid row and the export menu.
#include "site_map_window.h"

#include "error_box.h"
#include "file_io.h"
#include "grid.h"
#include "page_dots.h"
#include "platform.h"
#include "readings_export.h"
#include "site_grid_panel.h"
#include "site_extent.h"
#include "site_map_page.h"
#include "site_page_channel.h"

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariantList>
#include <QVariantMap>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>

#include <QImage>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

namespace qm {

namespace {

constexpr const char* kPageName = "site_map.html";
// The arrays the page receives, by name.
constexpr const char* kArrayNames[3] = {"x", "y", "value"};
constexpr const char* kF32 = "f32";
constexpr std::vector<QByteArray> PreparedPage::* kArrays[3] = {&PreparedPage::x, &PreparedPage::y, &PreparedPage::value};
constexpr int kColourSteps = 256;

// The one handler of the data scheme, installed on the shared profile before any page of it loads.
QPointer<SiteDataHandler>& SiteDataSlot()
{
    static QPointer<SiteDataHandler> handler;
    return handler;
}

// One profile for every site map window of the process, kept on disk under the user's cache
// directory, so that map tiles seen once online are there again in the field.
QWebEngineProfile* SiteMapProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        profile = new QWebEngineProfile(QStringLiteral("site-map"), QCoreApplication::instance());
        const QString base = QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation))
                                 .filePath(QStringLiteral("site-map"));
        profile->setCachePath(QDir(base).filePath(QStringLiteral("cache")));
        profile->setPersistentStoragePath(QDir(base).filePath(QStringLiteral("storage")));
        profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        profile->setHttpCacheMaximumSize(1024 * 1024 * 1024);
        if (SiteDataSchemeRegistered()) {
            SiteDataSlot() = new SiteDataHandler(profile);
            profile->installUrlSchemeHandler(kSiteDataScheme, SiteDataSlot());
        }
    }
    return profile;
}

// Decimals that show a value range of `span` to about a hundredth of it.
int DecimalsFor(double span)
{
    if (!(span > 0) || !std::isfinite(span))
        return 2;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(span / 100.0))), 0, 6);
}

QString Number(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

QString FileName(const std::filesystem::path& path)
{
    return QFileInfo(QString::fromStdString(Utf8Of(path))).fileName();
}

} // namespace

SiteDataHandler* SiteData()
{
    SiteMapProfile();
    return SiteDataSlot();
}

// The browser view and its page, with the channel through which the window and the page talk.
void SiteMapWindow::BuildPage()
{
    profile_ = SiteMapProfile();
    view_ = new QWebEngineView(this);
    view_->setObjectName(QStringLiteral("siteMapView"));
    auto* page = new QWebEnginePage(profile_, view_);
    view_->setPage(page);

    // The page reaches the bridge through the web channel, whose script comes with Qt.
    QFile channelScript(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (channelScript.open(QIODevice::ReadOnly)) {
        QWebEngineScript script;
        script.setName(QStringLiteral("qwebchannel"));
        script.setSourceCode(QString::fromUtf8(channelScript.readAll()));
        script.setInjectionPoint(QWebEngineScript::DocumentCreation);
        script.setWorldId(QWebEngineScript::MainWorld);
        page->scripts().insert(script);
    }
    channel_ = new SitePageChannel(this);
    channel_->onClick = [this](int index) {
        if (!pageTookReadings_ || !onPage_ || index < 0 || static_cast<std::size_t>(index) >= onPage_->size())
            return;
        emit ReadingClicked(static_cast<int>(onPage_->file[index]), static_cast<int>(onPage_->row[index]));
    };
    channel_->onDescribe = [this](int index) { return Describe(index); };
    // The page names readings by their index in what it has taken: until it has taken the readings
    // last sent, a click or a hover on a dot of those before is not theirs and is let go.
    channel_->onLoaded = [this](int serial) { pageTookReadings_ = serial == readingsSerial_; };
    channel_->onIdle = [this](int serial) { RunHandler(this, [&] { PageIdle(serial); }); };
    channel_->onReady = [this] { PageReady(); };
    auto* channel = new QWebChannel(page);
    channel->registerObject(QStringLiteral("siteMap"), channel_);
    ConnectDisplay(channel);
    page->setWebChannel(channel);
    // A page loaded (again) hears nothing until it has connected to the channel.
    connect(page, &QWebEnginePage::loadStarted, this, [this] {
        channel_->PageGone();
        pageTookReadings_ = false;
    });
    connect(view_, &QWebEngineView::loadFinished, this, &SiteMapWindow::PageLoaded);
    connect(page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int code) {
                RunHandler(this, [&] { PageStopped(status, code); });
            });
}

SiteMapWindow::SiteMapWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    static int windows = 0;
    windowSerial_ = ++windows;
    setObjectName(QStringLiteral("SiteMapWindow"));
    setWindowTitle(QStringLiteral("Site map"));
    resize(900, 700);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildToolbar();
    gridPanel_ = new SiteGridPanel(this);
    layout->addWidget(gridPanel_);
    BuildExportMenu();
    saveFileDialog = [this](const QString& caption, const QString& suggestedName, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, suggestedName, filter);
    };

    BuildPage();

    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setContentsMargins(6, 3, 6, 3);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long note is cut at the window's edge rather than widening the window.
    status_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    status_->setMinimumWidth(1);

    layout->addWidget(BuildProcessingArea(), 1);
    layout->addWidget(status_);
    BuildProcessingMenu(static_cast<QMenuBar*>(layout->menuBar()));

    connect(gridPanel_, &SiteGridPanel::GridChanged, this, [this] {
        gridDirty_ = true;
        UpdateExportMenu();
        UpdatePage();
    });
    connect(gridPanel_, &SiteGridPanel::NoteChanged, this, [this] { SetNote(gridPanel_->Note()); });
    connect(gridPanel_, &SiteGridPanel::OpacityChanged, this, [this](double opacity) {
        if (channel_->Ready())
            emit channel_->GridOpacity(FiniteOrZero(opacity));
    });
    connect(gridPanel_, &SiteGridPanel::DotsShownChanged, this, [this](bool shown) {
        if (!channel_->Ready())
            return;
        emit channel_->DotsShown(shown);
        UpdatePage();
    });
    dots_ = new PageDots(this);
    // What the pyramid's thread made goes to the page at once, outside the window's updates: it
    // changes no dot, only how fast the page finds them.
    connect(dots_, &PageDots::Made, this, [this] {
        if (!channel_->Ready() || !isVisible())
            return; // sent with the next update
        SendDots();
        emit channel_->Redraw(0);
    });
    SetUpExtras();
    UpdateExportMenu();
    ShowRange();
    UpdateStatus();
}

SiteMapWindow::~SiteMapWindow()
{
    // The page goes before the shared profile can, and before the bridge it calls.
    delete view_;
    if (SiteDataHandler* handler = SiteDataSlot())
        handler->Drop(QStringLiteral("w%1-").arg(windowSerial_));
}

void SiteMapWindow::BuildToolbar()
{
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 4, 6, 4);

    paletteBox_ = new QComboBox(bar);
    paletteBox_->setObjectName(QStringLiteral("palette"));
    paletteBox_->addItem(QStringLiteral("Diverging"), static_cast<int>(site::Palette::Diverging));
    paletteBox_->addItem(QStringLiteral("Sequential"), static_cast<int>(site::Palette::Sequential));
    paletteBox_->addItem(QStringLiteral("Greyscale"), static_cast<int>(site::Palette::Greyscale));
    paletteBox_->addItem(QStringLiteral("Greyscale inverse"), static_cast<int>(site::Palette::GreyscaleInverse));
    paletteBox_->setToolTip(QStringLiteral("Greyscale draws positive readings dark, as archaeological plots do; "
                                           "its inverse draws them light"));
    minEdit_ = new QLineEdit(bar);
    minEdit_->setObjectName(QStringLiteral("minimum"));
    maxEdit_ = new QLineEdit(bar);
    maxEdit_->setObjectName(QStringLiteral("maximum"));
    for (QLineEdit* edit : {minEdit_, maxEdit_}) {
        edit->setMaximumWidth(110);
        connect(edit, &QLineEdit::editingFinished, this, &SiteMapWindow::RangeEdited);
    }
    BuildDisplayTools(bar);

    row->addWidget(new QLabel(QStringLiteral("Palette"), bar));
    row->addWidget(paletteBox_);
    row->addSpacing(12);
    row->addWidget(new QLabel(QStringLiteral("Range"), bar));
    row->addWidget(rangeControls_);
    row->addSpacing(8);
    row->addWidget(new QLabel(QStringLiteral("Min"), bar));
    row->addWidget(minEdit_);
    row->addWidget(new QLabel(QStringLiteral("Max"), bar));
    row->addWidget(maxEdit_);
    row->addWidget(new QLabel(QStringLiteral("nT"), bar));
    row->addStretch(1);
    row->addWidget(measureButton_);
    row->addWidget(zoomButton_);
    static_cast<QVBoxLayout*>(layout())->addWidget(bar);

    connect(paletteBox_, &QComboBox::activated, this, [this] {
        SetColourPalette(static_cast<site::Palette>(paletteBox_->currentData().toInt()));
    });
}

void SiteMapWindow::SetReadings(std::shared_ptr<const site::PlacedReadings> readings,
                                std::shared_ptr<const PreparedPage> prepared)
{
    gathering_ = false;
    readings_ = std::move(readings);
    prepared_ = prepared && prepared->readings == readings_ ? std::move(prepared) : PreparePage(readings_);
    percentiles_ = prepared_->percentiles;
    readingsPercentiles_ = percentiles_;
    readingsDirty_ = true;
    followUpsFor_ = readings_ && readings_->size() >= followUpsFrom_ ? readings_ : nullptr;
    rangeHeld_ = zoneHeld_ = processingHeld_ = false;
    // A typed range stays (with the new median as the centre); the others follow the readings.
    ApplyRange();
    FindZone();
    UpdateZoomButton();
    UpdateStatus();
    gridPanel_->SetReadings(readings_);
    UpdateStrip();
    RequestProcessing();
}

void SiteMapWindow::SetSelection(int fileIndex, int row)
{
    selectedFile_ = fileIndex;
    selectedRow_ = row;
    selectionDirty_ = true;
    UpdateStrip();
    UpdateZoomButton();
    UpdatePage();
}

void SiteMapWindow::SetLabelLookup(LabelLookup lookup)
{
    labelLookup_ = std::move(lookup);
}

void SiteMapWindow::SetColourPalette(site::Palette palette)
{
    // The range stays: only the colours change.
    paletteBox_->setCurrentIndex(paletteBox_->findData(static_cast<int>(palette)));
    display_.palette = palette;
    scale_.palette = palette;
    defaultScale_.palette = palette;
    scaleDirty_ = true;
    UpdatePage();
}

void SiteMapWindow::SetColourRange(double min, double max)
{
    if (!std::isfinite(min) || !std::isfinite(max) || !(min < max)) {
        ShowRange();
        return;
    }
    // The diverging palette stays white at the median, or at the nearer end when the typed range
    // leaves the median out.
    SetRangeNote({});
    site::RangeSetting typed = display_.range;
    typed.mode = site::RangeMode::Typed;
    typed.low = min;
    typed.high = max;
    SetRangeSetting(typed);
}

void SiteMapWindow::RefreshDefaultScale()
{
    defaultScale_ = site::DefaultScale(percentiles_, display_.palette);
}

void SiteMapWindow::ResetColourRange()
{
    site::RangeSetting byDefault = display_.range;
    byDefault.mode = site::RangeMode::Percentiles;
    byDefault.low = site::RangeSetting{}.low;
    byDefault.high = site::RangeSetting{}.high;
    SetRangeSetting(byDefault);
}

void SiteMapWindow::ShowRange()
{
    // Without readings there is no range to type.
    const bool any = readings_ && readings_->size() > 0;
    for (QWidget* control : {static_cast<QWidget*>(minEdit_), static_cast<QWidget*>(maxEdit_),
                             static_cast<QWidget*>(rangeControls_)})
        control->setEnabled(any);
    rangeControls_->SetTypedLimits(scale_.min, scale_.max);
    if (!any) {
        minEdit_->clear();
        maxEdit_->clear();
        return;
    }
    const int decimals = DecimalsFor(scale_.max - scale_.min);
    minEdit_->setText(Number(scale_.min, decimals));
    maxEdit_->setText(Number(scale_.max, decimals));
}

void SiteMapWindow::RangeEdited()
{
    auto parse = [](const QLineEdit* edit, double& value) {
        QString text = edit->text().trimmed();
        text.replace(QLatin1Char(','), QLatin1Char('.'));
        bool ok = false;
        value = QLocale::c().toDouble(text, &ok);
        return ok && std::isfinite(value);
    };
    double min = 0;
    double max = 0;
    const bool minRead = parse(minEdit_, min);
    if (!minRead || !parse(maxEdit_, max)) {
        SetRangeNote(QStringLiteral("%1 \u201c%2\u201d is not a number").arg(minRead ? QStringLiteral("Max") : QStringLiteral("Min"),
                                                                         (minRead ? maxEdit_ : minEdit_)->text()));
        ShowRange();
        return;
    }
    // A limit typed beyond the other one waits for it, so a range can be moved by either end first.
    if (!(min < max)) {
        SetRangeNote(QStringLiteral("Min %1 is not below Max %2: type the other limit").arg(minEdit_->text(), maxEdit_->text()));
        return;
    }
    const int decimals = DecimalsFor(scale_.max - scale_.min);
    // Leaving a field unchanged is no typed range.
    if (Number(min, decimals) == Number(scale_.min, decimals) && Number(max, decimals) == Number(scale_.max, decimals))
        return;
    SetColourRange(min, max);
}

QString SiteMapWindow::StatusText() const
{
    return status_->text();
}

void SiteMapWindow::ShowGatherProgress(std::size_t done, std::size_t total)
{
    gathering_ = true;
    status_->setText(
        QStringLiteral("Gathering the readings: %1 of %2 files").arg(GroupedCount(done), GroupedCount(total)));
}

void SiteMapWindow::UpdateStatus()
{
    QStringList parts;
    const std::size_t placed = readings_ ? readings_->size() : 0;
    if (placed == 0) {
        parts << QStringLiteral("No reading has a usable position");
    } else {
        // The files that placed a reading: one run of readings each.
        const std::size_t files = readings_->file.Runs().size();
        parts << QStringLiteral("%1 %2 placed from %3 %4")
                     .arg(GroupedCount(placed), placed == 1 ? QStringLiteral("reading") : QStringLiteral("readings"),
                          GroupedCount(files), files == 1 ? QStringLiteral("file") : QStringLiteral("files"));
    }
    QString failureList;
    if (readings_) {
        const auto without = readings_->withoutPosition;
        if (without > 0)
            parts << QStringLiteral("%1 %2 without a usable position")
                         .arg(GroupedCount(without), without == 1 ? QStringLiteral("reading") : QStringLiteral("readings"));
        const auto& failures = readings_->failures;
        QStringList named;
        for (std::size_t i = 0; i < failures.size(); ++i) {
            const QString one =
                QStringLiteral("%1 (%2)").arg(FileName(failures[i].file), QString::fromStdString(failures[i].message));
            failureList += (i ? QStringLiteral("\n") : QString()) + QString::fromStdString(Utf8Of(failures[i].file)) + QStringLiteral(": ") +
                           QString::fromStdString(failures[i].message);
            if (i < 3)
                named << one;
        }
        if (failures.size() > 3)
            named << QStringLiteral("and %1 more").arg(GroupedCount(failures.size() - 3));
        if (!named.isEmpty())
            parts << QStringLiteral("Not loaded: ") + named.join(QStringLiteral(", "));
    }
    if (const QString notes = ExtraNotes(); !notes.isEmpty())
        parts << notes;
    if (const QString processing = ProcessingStatus(); !processing.isEmpty())
        parts << processing;
    if (!note_.isEmpty())
        parts << note_;
    status_->setText(parts.join(QStringLiteral("; ")));
    status_->setToolTip(failureList);
}

void SiteMapWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!pageLoaded_ && view_->page()->requestedUrl().isEmpty()) {
        const QString page = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kPageName));
        if (!QFileInfo::exists(page)) {
            status_->setText(QStringLiteral("The site map page is missing: %1").arg(QDir::toNativeSeparators(page)));
            return;
        }
        view_->load(QUrl::fromLocalFile(page));
        return;
    }
    UpdatePage();
}

void SiteMapWindow::Preload()
{
    if (pageLoaded_ || !view_->page()->requestedUrl().isEmpty())
        return;
    // The page is laid out at the size it will be shown at, so that showing it moves nothing.
    layout()->activate();
    const QString page = QDir(QCoreApplication::applicationDirPath()).filePath(QString::fromLatin1(kPageName));
    if (QFileInfo::exists(page))
        view_->load(QUrl::fromLocalFile(page));
}

void SiteMapWindow::PageLoaded(bool ok)
{
    pageLoaded_ = ok;
    if (!ok)
        status_->setText(QStringLiteral("The site map page could not be shown"));
}

void SiteMapWindow::PageReady()
{
    // The page, loaded for the first time or again, holds nothing sent before: it gets everything
    // it shows, as one update.
    readingsDirty_ = scaleDirty_ = selectionDirty_ = gridDirty_ = contoursDirty_ = true;
    if (measureButton_->isChecked())
        emit channel_->Measuring(true);
    UpdatePage();
}

void SiteMapWindow::PageStopped(QWebEnginePage::RenderProcessTerminationStatus status, int code)
{
    if (status == QWebEnginePage::NormalTerminationStatus || view_->page()->requestedUrl().isEmpty())
        return;
    // The page's process ended (it crashed, or the system ended it for want of memory): the page
    // is loaded again and gets everything again. Should it end again over the same readings, it
    // is loaded without them rather than over and over.
    channel_->PageGone();
    pageTookReadings_ = false;
    pageLoaded_ = false;
    const bool again = onPage_ && onPage_ == stoppedOver_;
    stoppedOver_ = onPage_;
    if (again) {
        piecesFailedFor_ = onPage_;
        SetNote(QStringLiteral("The map page stopped again while showing these readings (perhaps too many for "
                               "this computer's memory): they are not drawn"));
    } else {
        SetNote(QStringLiteral("The map page stopped (exit code %1) and was loaded again").arg(code));
    }
    // Loaded again once the engine has finished with the ended process: asked for from within
    // its signal, the new load may be dropped.
    QTimer::singleShot(0, view_, [view = view_] { view->reload(); });
}

void SiteMapWindow::UpdatePage()
{
    // Changes made together (new readings reset the scale, the grid row and the selection) go to
    // the page as one update, drawn once.
    if (updateQueued_)
        return;
    updateQueued_ = true;
    QTimer::singleShot(0, this, [this] {
        updateQueued_ = false;
        RunHandler(this, [this] { SendUpdate(); });
    });
}

void SiteMapWindow::SendUpdate()
{
    if (!channel_->Ready() || !isVisible())
        return;
    // The readings this update draws, if any; a newer set given meanwhile makes it no longer news.
    // While the first readings are being gathered the page keeps its empty map rather than being
    // told there are none.
    const bool drawsReadings = readingsDirty_ && (readings_ || !gathering_);
    const auto sent = readings_;
    if (drawsReadings)
        SendReadings();
    const bool drawsValues = valuesDirty_ && onPage_ == readings_;
    const auto valuesSent = processed_;
    if (drawsValues)
        SendValues();
    if (scaleDirty_) {
        SendScale();
        gridDirty_ = true; // coloured again, not computed again
    }
    if (selectionDirty_)
        SendSelection();
    if (gridDirty_)
        SendGrid();
    if (contoursDirty_)
        SendContours();
    SendDots();
    // The page acts on the signals in the order emitted and holds those after an array it fetches
    // until the array is in, so once it says it has done this update everything above is drawn.
    // Updates sent to a page since loaded again are done with the first update of the new page.
    const auto done = [this, drawsReadings, sent, drawsValues, valuesSent] {
        emit PageUpdated();
        if (drawsReadings && sent == readings_) {
            // The pyramid of cells is made once the dots are drawn, so that it does not compete
            // with the first drawing for the processor.
            dotsFollowed_ = sent;
            SendDots();
            emit ReadingsDrawn();
            StartFollowUps(sent);
        }
        if (drawsValues && valuesSent && valuesSent == processed_) {
            processedOnPage_ = valuesSent;
            emit ProcessedDrawn();
        }
    };
    const int serial = ++updateSerial_;
    idleWaiters_.emplace(serial, std::make_shared<std::function<void()>>(done));
    emit channel_->Redraw(serial);
}

void SiteMapWindow::PageIdle(int serial)
{
    // Every update up to `serial` is done.
    while (!idleWaiters_.empty() && idleWaiters_.begin()->first <= serial) {
        const std::shared_ptr<std::function<void()>> waiter = idleWaiters_.begin()->second;
        idleWaiters_.erase(idleWaiters_.begin());
        (*waiter)();
    }
}

void SiteMapWindow::SendReadings()
{
    readingsDirty_ = false;
    selectionDirty_ = true;
    valuesDirty_ = true;
    onPage_ = readings_;
    // Through the data scheme the page fetches the raw bytes; otherwise they go as base64 text.
    // Arrays of an earlier send the page never fetched go, and fetches still waiting for pieces of
    // it fail, so that the page is not left waiting for them.
    SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr;
    if (handler)
        handler->Drop(QStringLiteral("w%1-").arg(windowSerial_));
    sentPrefix_.clear();
    piecesSent_.clear();
    const std::size_t n = onPage_ ? onPage_->size() : 0;
    dots_->PageCleared();
    pageValues_.reset();
    pageTookReadings_ = false;
    ++readingsSerial_;
    if (n == 0 || piecesFailedFor_ == onPage_) {
        emit channel_->ReadingsLoaded(0, {}, 0, 0, readingsSerial_);
        return;
    }
    // Sent once already (the page was loaded again): made again.
    if (!prepared_ || prepared_->readings != onPage_)
        prepared_ = PreparePage(onPage_);
    const QString prefix = QStringLiteral("w%1-%2-").arg(windowSerial_).arg(++sent_);
    // Pieces still being made are expected: the page's fetches of them wait until PieceReady()
    // puts them. Without the data scheme every piece is made before the page is handed on.
    const PreparedPage& page = *prepared_;
    pageFrame_ = page.frame;
    pageValues_ = std::shared_ptr<const std::vector<double>>(onPage_, &onPage_->value);
    sentPrefix_ = prefix;
    piecesSent_.assign(page.Pieces(), 0);
    base64Sent_ = !handler;
    QStringList sources[3];
    for (std::size_t k = 0; k < page.Pieces(); ++k) {
        const bool ready = page.IsReady(k);
        piecesSent_[k] = ready;
        for (int a = 0; a < 3; ++a) {
            const QString name = prefix + QLatin1String(kArrayNames[a]) + QString::number(k);
            const QByteArray& bytes = (page.*kArrays[a])[k];
            sources[a] << (handler && !ready ? handler->Expect(name) : PageSource(handler, name, bytes));
        }
    }
    const QString pointType = QLatin1String(page.pointBits == 64 ? "f64" : kF32);
    for (int a = 0; a < 3; ++a)
        emit channel_->ArrayGiven(QLatin1String(kArrayNames[a]), sources[a], a == 2 ? QLatin1String(kF32) : pointType);
    const site::SiteExtent& e = page.frame.extent;
    pageCentreLon_ = (e.west + e.east) / 2;
    emit channel_->ReadingsLoaded(static_cast<qint64>(n), PageBounds(e.south, e.west, e.north, e.east),
                                  FiniteOrZero(page.frame.x0), FiniteOrZero(page.frame.y0), readingsSerial_);
    ReleasePieces();
}

void SiteMapWindow::ReleasePieces()
{
    // Once every piece is on its way to the page, the window keeps only the readings: the pieces
    // would add a third to their memory.
    if (!base64Sent_ && std::find(piecesSent_.begin(), piecesSent_.end(), 0) != piecesSent_.end())
        return;
    prepared_.reset();
    piecesSent_.clear();
}

void SiteMapWindow::PieceReady(const PreparedPage* page, std::size_t piece)
{
    if (!page || page != prepared_.get() || onPage_ != prepared_->readings || piece >= piecesSent_.size() ||
        piecesSent_[piece])
        return;
    SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr;
    if (!handler)
        return;
    piecesSent_[piece] = 1;
    for (int a = 0; a < 3; ++a)
        handler->Put(sentPrefix_ + QLatin1String(kArrayNames[a]) + QString::number(piece), (page->*kArrays[a])[piece]);
    ReleasePieces();
}

void SiteMapWindow::PiecesFailed(const PreparedPage* page, const QString& message)
{
    if (!page || page != prepared_.get())
        return;
    // The page shows no reading (fetches already waiting fail), now and whenever it is sent these
    // readings again; the status line says why.
    piecesFailedFor_ = prepared_->readings;
    const bool sent = !piecesSent_.empty() && onPage_ == prepared_->readings;
    if (SiteDataHandler* handler = SiteDataSchemeRegistered() ? SiteData() : nullptr; handler && sent)
        handler->Drop(sentPrefix_);
    prepared_.reset();
    piecesSent_.clear();
    SetNote(message);
}

void SiteMapWindow::SendScale()
{
    scaleDirty_ = false;
    pageCentre_ = scale_.centre;
    QVariantList colours;
    colours.reserve(3 * kColourSteps);
    for (const site::Rgb& rgb : site::Ramp(scale_, kColourSteps))
        colours << int{rgb[0]} << int{rgb[1]} << int{rgb[2]};
    // The ends and the middle; with the diverging palette the middle tick is the centre value, where
    // the colours turn, unless it lies too near an end to be read.
    const double span = scale_.max - scale_.min;
    const int decimals = DecimalsFor(span);
    double middle = 0.5;
    if (scale_.palette == site::Palette::Diverging && span > 0) {
        const double at = (scale_.centre - scale_.min) / span;
        if (at > 0.25 && at < 0.75)
            middle = at;
    }
    QVariantList ticks;
    for (const double at : {0.0, middle, 1.0})
        ticks << QVariantMap{{QStringLiteral("at"), FiniteOrZero(at)},
                             {QStringLiteral("text"), Number(scale_.min + span * at, decimals)}};
    emit channel_->ScaleChanged({{QStringLiteral("min"), FiniteOrZero(scale_.min)},
                                 {QStringLiteral("max"), FiniteOrZero(scale_.max)},
                                 {QStringLiteral("centre"), FiniteOrZero(scale_.centre)},
                                 {QStringLiteral("colours"), colours},
                                 {QStringLiteral("ticks"), ticks},
                                 {QStringLiteral("histogram"), Histogram()}});
}

void SiteMapWindow::SendSelection()
{
    selectionDirty_ = false;
    long long first = -1;
    long long last = -1;
    long long ring = -1;
    if (onPage_) {
        const auto range = RangeOfFile(*onPage_, selectedFile_);
        if (range.first < range.second) {
            first = static_cast<long long>(range.first);
            last = static_cast<long long>(range.second);
        }
        ring = IndexOfReading(*onPage_, selectedFile_, selectedRow_);
    }
    emit channel_->SelectionChanged(first, last, ring);
    SendTrack();
}

QString SiteMapWindow::Describe(int index) const
{
    if (!pageTookReadings_ || !onPage_ || index < 0 || static_cast<std::size_t>(index) >= onPage_->size())
        return {};
    const auto& r = *onPage_;
    const int file = static_cast<int>(r.file[index]);
    const int row = static_cast<int>(r.row[index]);
    QString head = file < static_cast<int>(r.files.size()) ? FileName(r.files[file]) : QString();
    const QString label = labelLookup_ ? labelLookup_(file, row) : QString();
    head += label.isEmpty() ? QStringLiteral(", row %1").arg(row) : QStringLiteral(", %1").arg(label);
    return QStringLiteral("%1\n%2\n%3, %4").arg(head, ValueText(index), Number(r.lat[index], 6), Number(r.lon[index], 6));
}

} // namespace qm

namespace qm {

void SiteMapWindow::SendGrid()
{
    gridDirty_ = false;
    emit channel_->DotsShown(gridPanel_->DotsShown());
    const auto grid = gridPanel_->Grid();
    if (!gridPanel_->Shown() || !grid || grid->image.values.empty()) {
        emit channel_->GridCleared();
        return;
    }
    // Coloured here in the map's scale and sent as one PNG; a new scale colours it again.
    const site::GeographicGrid& image = grid->image;
    std::vector<std::uint8_t> rgba = site::ColourPixels(image.values, scale_);
    // The hill shade, made on the grid's metres and warped as the values are, darkens the colours.
    if (const auto shade = gridPanel_->Relief()->Shade(); shade && shade->grid == grid && shade->pixels.size() * 4 == rgba.size())
        site::BlendShade(rgba, shade->pixels, kShadeStrength);
    const QImage picture(rgba.data(), image.width, image.height, image.width * 4, QImage::Format_RGBA8888);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    // The readings may have been moved by whole turns to lie together across the antimeridian.
    const double shift = 360.0 * std::round((pageCentreLon_ - (image.west + image.east) / 2) / 360.0);
    emit channel_->GridShown(QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64()),
                             PageBounds(image.south, image.west + shift, image.north, image.east + shift),
                             FiniteOrZero(gridPanel_->Opacity()));
}

} // namespace qm
