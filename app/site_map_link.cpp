// The site map's link to the main window. The gathering loads every file into tables of its own on
// a worker thread; its results and progress come back as queued calls on this object, and a newer
// gathering makes an older one stop at its next file and be ignored.
#include "site_map_link.h"

#include "platform.h"
#include "site_map_page.h"
#include "site_map_window.h"
#include "survey_list.h"
#include "survey_table.h"
#include "text_codec.h"

#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <algorithm>
#include <new>
#include <utility>

namespace qm {

namespace {

// Blocks of rows whose labels are kept for the tooltips: about two thousand rows around those
// hovered last.
constexpr std::size_t kLabelBlocks = 32;

} // namespace

SiteMapLink::SiteMapLink(SurveyList* list, QAction* open, QObject* parent) : QObject(parent), list_(list)
{
    // A thread per core. A gathering takes one, for its parts (one per core) run on it and on threads
    // of their own; the threads of a cancelled gathering end at their next file.
    pool_.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(open, &QAction::triggered, this, &SiteMapLink::Show);
    connect(list, &SurveyList::ListChanged, this, &SiteMapLink::ListChanged);
    connect(list, &SurveyList::FileSelected, this, &SiteMapLink::FileSelected);
    connect(list, &SurveyList::RowSelected, this, &SiteMapLink::RowSelected);
}

SiteMapLink::~SiteMapLink()
{
    // Queued results name this object: no gathering may outlive it.
    StopGathering();
    pool_.clear();
    pool_.waitForDone();
    delete window_;
}

// One gathering, on a task of the pool: its parts run at once (one thread takes the list's files
// from the front, the others from the back) and are joined in list order; the task then makes
// what the page takes of the readings and hands both back.
struct SiteMapLink::Job {
    QStringList paths;
    std::vector<std::filesystem::path> files;
    std::size_t threads = 1;
    std::atomic<bool> cancel{false};
    std::atomic<std::size_t> filesDone{0};
    // Whether the page fetches the arrays through the data scheme, and so can start before they
    // are all made.
    bool early = false;
    std::string failure; // why the gathering failed as a whole, if it did
};

void SiteMapLink::Show()
{
    // The gathering starts before the window and its browser are made, so that the two overlap; a
    // warmed window starts it when shown.
    if (!window_ && stale_)
        StartGathering();
    MakeWindow();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void SiteMapLink::Warm()
{
    MakeWindow();
    if (!window_->View()->url().isEmpty()) { // the page is in already
        emit Warmed();
        return;
    }
    connect(window_->View(), &QWebEngineView::loadFinished, this, &SiteMapLink::Warmed, Qt::SingleShotConnection);
    window_->Preload();
    if (window_->View()->page()->requestedUrl().isEmpty())
        emit Warmed(); // no page to load
}

void SiteMapLink::MakeWindow()
{
    if (window_)
        return;
    window_ = new SiteMapWindow;
    window_->installEventFilter(this);
    window_->SetLabelLookup([this](int fileIndex, int row) { return Label(fileIndex, row); });
    connect(window_, &SiteMapWindow::ReadingClicked, this, &SiteMapLink::ReadingClicked);
    connect(window_, &SiteMapWindow::ReadingsDrawn, this, [this] {
        if (!stale_ && !gathering_ && window_->Readings())
            emit SiteDrawn();
    });
    if (job_)
        window_->ShowGatherProgress(job_->filesDone, static_cast<std::size_t>(job_->paths.size()));
    ShowSelection();
    if (!pendingState_.isEmpty())
        window_->RestoreState(std::exchange(pendingState_, {}));
}

QJsonObject SiteMapLink::CaptureState() const
{
    return window_ ? window_->SaveState() : pendingState_;
}

void SiteMapLink::RestoreState(const QJsonObject& state)
{
    if (window_)
        window_->RestoreState(state);
    else
        pendingState_ = state;
}

bool SiteMapLink::eventFilter(QObject* watched, QEvent* event)
{
    // The update a list change asked for while the window was hidden.
    if (watched == window_ && event->type() == QEvent::Show && stale_)
        StartGathering();
    return QObject::eventFilter(watched, event);
}

void SiteMapLink::ListChanged()
{
    stale_ = true;
    labels_.clear();
    labelsLoading_.clear();
    ++labelGeneration_;
    if (window_ && window_->isVisible())
        StartGathering();
    else
        StopGathering();
}

void SiteMapLink::StopGathering()
{
    if (job_)
        job_->cancel = true;
    job_.reset();
    gathering_ = false;
}

void SiteMapLink::StartGathering()
{
    StopGathering();
    stale_ = false;
    gathering_ = true;
    auto job = std::make_shared<Job>();
    job->paths = list_->Paths();
    const auto count = static_cast<std::size_t>(job->paths.size());
    const std::size_t threads =
        std::clamp<std::size_t>(static_cast<std::size_t>(pool_.maxThreadCount()), 1, std::max<std::size_t>(count, 1));
    job->files.reserve(count);
    for (const QString& path : job->paths)
        job->files.push_back(ToFsPath(path));
    job->threads = threads;
    job->early = SiteDataSchemeRegistered();
    job_ = job;
    if (window_)
        window_->ShowGatherProgress(0, count);
    emit GatherStarted();
    pool_.start([this, job] { Gather(job); });
}

// On a worker thread; reaches this object only through queued calls, which its destructor waits for.
// The gathering's parts, one per core, run on this thread and on threads of their own (RunTasks).
void SiteMapLink::Gather(const std::shared_ptr<Job>& job)
{
    const auto progress = [this, job](std::size_t done, std::size_t) {
        if (job->cancel)
            return false;
        if (done == 0)
            return true;
        const std::size_t all = ++job->filesDone;
        // Every twentieth of the list is news enough for the status line.
        const std::size_t step = std::max<std::size_t>(1, static_cast<std::size_t>(job->paths.size()) / 20);
        if (all % step != 0)
            return true;
        QMetaObject::invokeMethod(
            this,
            [this, job, all] {
                if (job == job_ && window_)
                    window_->ShowGatherProgress(all, static_cast<std::size_t>(job->paths.size()));
            },
            Qt::QueuedConnection);
        return true;
    };
    // Nothing may leave a task of the pool (that ends the program): a failure of the gathering as a
    // whole, such as too many readings for this machine, is shown rather than part of the site.
    auto joined = std::make_shared<site::PlacedReadings>();
    try {
        *joined = site::GatherReadingsInParts(job->files, job->threads, progress);
    } catch (const site::Cancelled&) {
        return;
    } catch (const std::bad_alloc&) {
        job->failure = "Out of memory";
    } catch (const std::exception& e) {
        job->failure = *e.what() ? e.what() : "Unknown error";
    } catch (...) {
        job->failure = "Unknown error";
    }
    FinishGathering(job, std::move(joined));
}

// On the gathering's worker thread: makes what the page takes of the readings, so that the
// interface thread only hands it on.
void SiteMapLink::FinishGathering(const std::shared_ptr<Job>& job, std::shared_ptr<site::PlacedReadings> joined)
{
    std::shared_ptr<PreparedPage> prepared;
    const bool early = job->early;
    try {
        // A gathering replaced meanwhile is of no more use.
        if (job->failure.empty() && !job->cancel) {
            prepared = BeginPage(joined);
            if (!early)
                MakePieces(*prepared);
        }
    } catch (const std::bad_alloc&) {
        job->failure = "Out of memory";
    } catch (const std::exception& e) {
        job->failure = *e.what() ? e.what() : "Unknown error";
    } catch (...) {
        job->failure = "Unknown error";
    }
    if (!job->failure.empty()) {
        *joined = site::PlacedReadings{};
        joined->failures.push_back({"all files", job->failure});
        prepared.reset();
    }
    QMetaObject::invokeMethod(
        this, [this, job, joined, prepared] { Gathered(job, joined, prepared); }, Qt::QueuedConnection);
    if (early && prepared)
        SendPieces(job, prepared);
}

// On a worker thread: makes the page's pieces one by one and tells the window of each as it is ready.
void SiteMapLink::SendPieces(const std::shared_ptr<Job>& job, const std::shared_ptr<PreparedPage>& prepared)
{
    const auto toWindow = [this, prepared](auto call) {
        QMetaObject::invokeMethod(
            this,
            [this, prepared, call] {
                if (window_)
                    call(window_, prepared.get());
            },
            Qt::QueuedConnection);
    };
    try {
        MakePieces(
            *prepared,
            [&toWindow](std::size_t piece) {
                toWindow([piece](SiteMapWindow* window, const PreparedPage* page) { window->PieceReady(page, piece); });
            },
            &job->cancel);
    } catch (const std::bad_alloc&) {
        toWindow([](SiteMapWindow* window, const PreparedPage* page) { window->PiecesFailed(page, QStringLiteral("Out of memory")); });
    } catch (...) {
        toWindow([](SiteMapWindow* window, const PreparedPage* page) {
            window->PiecesFailed(page, QStringLiteral("The readings could not be made ready for the map"));
        });
    }
}

void SiteMapLink::Gathered(const std::shared_ptr<Job>& job, std::shared_ptr<const site::PlacedReadings> readings,
                           std::shared_ptr<const PreparedPage> prepared)
{
    if (job != job_)
        return;
    job_.reset();
    gathering_ = false;
    gatheredFiles_ = job->paths;
    gathered_ = readings;
    labels_.clear();
    labelsLoading_.clear();
    ++labelGeneration_;
    if (window_)
        window_->SetReadings(std::move(readings), std::move(prepared));
    ShowSelection();
}

int SiteMapLink::GatheredIndex(int listIndex, const QString& path) const
{
    if (listIndex >= 0 && listIndex < gatheredFiles_.size() && gatheredFiles_[listIndex] == path)
        return listIndex;
    return gatheredFiles_.indexOf(path);
}

void SiteMapLink::FileSelected(int index, const QString& path)
{
    selectedIndex_ = index;
    selectedPath_ = path;
    selectedRow_ = -1;
    fileSelectedSeen_ = true;
    ShowSelection();
}

void SiteMapLink::RowSelected(int row)
{
    selectedRow_ = row;
    ShowSelection();
}

void SiteMapLink::ShowSelection()
{
    if (window_)
        window_->SetSelection(GatheredIndex(selectedIndex_, selectedPath_), selectedRow_);
}

void SiteMapLink::ReadingClicked(int fileIndex, int row)
{
    // The dot names a file of the list it was gathered from; the list may have changed since.
    if (fileIndex < 0 || fileIndex >= gatheredFiles_.size())
        return;
    const QString path = gatheredFiles_[fileIndex];
    const QStringList& current = list_->Paths();
    const int target = fileIndex < current.size() && current[fileIndex] == path ? fileIndex : current.indexOf(path);
    if (target < 0)
        return;
    // The row is clicked only when the file was selected (a file that fails to load shows its error).
    fileSelectedSeen_ = false;
    list_->RequestFile(target);
    if (fileSelectedSeen_ && selectedIndex_ == target)
        list_->RequestRow(row); // the file was loaded afresh, so its table rows are its file rows
}

QString SiteMapLink::Label(int fileIndex, int row)
{
    // Read again from the file rather than the main window's table, whose rows "del" may have
    // shifted: the block of rows that holds it, from where the gathering found the block. A block is
    // read on the pool, never under the mouse on this thread: until it is in, the tooltip names the
    // row instead.
    if (!gathered_ || fileIndex < 0 || fileIndex >= gatheredFiles_.size() || row < 0)
        return {};
    const int first = row - row % SurveyTable::kRowStartStep;
    const auto cached = std::find_if(labels_.begin(), labels_.end(),
                                     [&](const LabelBlock& b) { return b.file == fileIndex && b.first == first; });
    if (cached == labels_.end()) {
        LoadLabels(fileIndex, first);
        return {};
    }
    const auto k = static_cast<std::size_t>(row - first);
    return k < cached->labels.size() ? DecodeText(cached->labels[k]) : QString();
}

void SiteMapLink::LoadLabels(int fileIndex, int first)
{
    const std::pair<int, int> block{fileIndex, first};
    if (std::find(labelsLoading_.begin(), labelsLoading_.end(), block) != labelsLoading_.end())
        return;
    labelsLoading_.push_back(block);
    const unsigned generation = labelGeneration_;
    pool_.start([this, block, generation, readings = gathered_, file = ToFsPath(gatheredFiles_[fileIndex])] {
        auto entry = std::make_shared<LabelBlock>();
        entry->file = block.first;
        entry->first = block.second;
        try {
            const auto f = static_cast<std::size_t>(block.first);
            if (f < readings->rowStarts.size())
                entry->labels = site::ReadRowLabels(file, readings->rowStarts[f], block.second);
        } catch (...) {
            entry->labels.clear(); // tooltips without labels rather than an error under the mouse
        }
        QMetaObject::invokeMethod(
            this,
            [this, entry, block, generation] {
                std::erase(labelsLoading_, block);
                if (generation != labelGeneration_)
                    return; // the list or the readings changed meanwhile
                if (labels_.size() >= kLabelBlocks)
                    labels_.erase(labels_.begin());
                labels_.push_back(std::move(*entry));
                // The first hover on the block named only the row: its text is asked for again.
                if (window_)
                    window_->LabelsArrived();
            },
            Qt::QueuedConnection);
    });
}

} // namespace qm
