// The site map's processing worker: the chain of the readings last given, the traverses by column 2
// found by one pass over the files when first asked for, and the view of each result made on the
// worker (what the dots show, its percentiles, the spikes).
#include "processing_runner.h"

#include "site_map_page.h"
#include "site_processing.h"

#include <QFuture>
#include <QMetaObject>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <exception>
#include <set>
#include <stdexcept>
#include <string>

namespace qm {

namespace {

// The traverses by column 2 of the readings: a pass over their files that must place the same rows.
process::Traverses Column2Traverses(const site::PlacedReadings& readings, const process::ShouldStop& stop)
{
    std::vector<std::uint8_t> starts;
    starts.reserve(readings.size());
    process::Column2Runs runs;
    const std::vector<site::ReadingFiles::Run>& files = readings.file.Runs();
    std::size_t file = 0; // the run of the files that reading i lies in
    bool same = true;
    site::ForEachPlacedRow(
        readings.files,
        [&](const site::PlacedRow& row) {
            const std::size_t i = starts.size();
            while (file < files.size() && files[file].end <= i)
                ++file;
            same = same && file < files.size() && files[file].file == row.file && readings.row[i] == row.row;
            starts.push_back(runs.StartsRun(row) ? 1 : 0);
        },
        [&](std::size_t, std::size_t) { return !stop(); });
    if (!same || starts.size() != readings.size())
        throw std::runtime_error("The survey files changed since the site map gathered them; the traverses "
                                 "by column 2 need them as they were gathered");
    return process::TraversesFromRunStarts(starts);
}

std::size_t NotedTraverses(const std::vector<process::StepReport>& reports)
{
    std::set<std::string> named;
    for (const process::StepReport& report : reports)
        for (const std::string& note : report.notes)
            if (note.rfind("traverse ", 0) == 0)
                named.insert(note.substr(0, note.find(':')));
    return named.size();
}

// The values the dots show for `request`: shared with the chain's where they are its own.
std::shared_ptr<const std::vector<double>> ShownValues(const process::Chain& chain, const ProcessingRequest& request)
{
    const auto own = [](const std::shared_ptr<const process::Values>& v) {
        return std::shared_ptr<const std::vector<double>>(v, &v->value);
    };
    const std::size_t steps = request.recipe.steps.size();
    if (request.show == ShowWhat::Raw)
        return own(chain.Input());
    if (request.show == ShowWhat::Processed || request.step < 0 || static_cast<std::size_t>(request.step) >= steps)
        return own(chain.Final());
    const std::size_t k = static_cast<std::size_t>(request.step);
    const std::vector<double>& in = k == 0 ? chain.Input()->value : chain.After(k - 1)->value;
    const std::vector<double>& out = chain.After(k)->value;
    auto removed = std::make_shared<std::vector<double>>(in.size());
    for (std::size_t i = 0; i < in.size(); ++i)
        (*removed)[i] = std::isnan(in[i]) || std::isnan(out[i]) ? std::nan("") : in[i] - out[i];
    return removed;
}

bool AnyEnabled(const process::Recipe& recipe)
{
    return std::any_of(recipe.steps.begin(), recipe.steps.end(), [](const process::Step& s) { return s.enabled; });
}

// Whether the dots show the readings' own values: "Raw", or the last step's output while no step
// is enabled.
bool ShowsReadings(const ProcessingRequest& request)
{
    if (request.show == ShowWhat::Raw)
        return true;
    const bool last = request.show == ShowWhat::Processed || request.step < 0 ||
                      static_cast<std::size_t>(request.step) >= request.recipe.steps.size();
    return last && !AnyEnabled(request.recipe);
}

} // namespace

std::vector<QByteArray> FloatPieces(const std::vector<double>& values)
{
    std::vector<QByteArray> pieces;
    const std::size_t pieceReadings = PagePieceReadings(values.size());
    for (std::size_t first = 0; first < values.size(); first += pieceReadings) {
        const std::size_t count = std::min(pieceReadings, values.size() - first);
        QByteArray bytes(static_cast<qsizetype>(count * sizeof(float)), Qt::Uninitialized);
        std::copy_n(values.begin() + static_cast<std::ptrdiff_t>(first), count, reinterpret_cast<float*>(bytes.data()));
        pieces.push_back(std::move(bytes));
    }
    return pieces;
}

std::pair<std::size_t, std::size_t> TraverseOf(const process::Traverses& traverses, std::size_t index)
{
    if (index >= traverses.Readings())
        return {0, 0};
    // The last traverse that begins at or before the reading (empty traverses share a bound).
    const auto it = std::upper_bound(traverses.bounds.begin(), traverses.bounds.end(), index);
    const std::size_t t = static_cast<std::size_t>(it - traverses.bounds.begin()) - 1;
    return {traverses.Begin(t), traverses.End(t)};
}

// What only the worker touches: the readings it works on, their chain and their traverses.
struct ProcessingRunner::Worker {
    std::shared_ptr<const site::PlacedReadings> readings;
    std::unique_ptr<process::Chain> chain;
    bool byColumn2 = false; // the chain has the traverses by column 2
    std::shared_ptr<ProcessedView> Compute(std::shared_ptr<const site::PlacedReadings> given,
                                           const ProcessingRequest& request, const process::ShouldStop& stop,
                                           std::atomic<std::uint64_t>& steps);
};

std::shared_ptr<ProcessedView> ProcessingRunner::Worker::Compute(std::shared_ptr<const site::PlacedReadings> given,
                                                                 const ProcessingRequest& request,
                                                                 const process::ShouldStop& stop,
                                                                 std::atomic<std::uint64_t>& steps)
{
    if (given != readings) {
        chain.reset();
        readings = std::move(given);
    }
    auto view = std::make_shared<ProcessedView>();
    view->readings = readings;
    view->request = request;
    if (!readings)
        return view;
    const bool column2 = request.recipe.traverses == process::TraverseMode::Column2;
    if (!chain || (column2 && !byColumn2)) {
        process::Traverses byFile = process::TraversesByFile(*readings);
        process::Traverses byRuns = column2 ? Column2Traverses(*readings, stop) : process::Traverses{};
        chain = std::make_unique<process::Chain>(readings->value, std::move(byFile), std::move(byRuns));
        byColumn2 = column2;
    }
    chain->SetRecipe(request.recipe);
    const std::size_t before = chain->Computed();
    const bool done = chain->Run(stop);
    steps += chain->Computed() - before;
    if (!done)
        return nullptr;
    view->input = chain->Input();
    view->values = chain->Final();
    for (std::size_t k = 0; k < request.recipe.steps.size(); ++k)
        view->reports.push_back(chain->Report(k));
    view->traverses = std::make_shared<const process::Traverses>(chain->CurrentTraverses());
    view->shownIsReadings = ShowsReadings(request);
    view->shown = view->shownIsReadings ? std::shared_ptr<const std::vector<double>>(readings, &readings->value)
                                        : ShownValues(*chain, request);
    // The percentiles on another thread while the pieces and counts are made here.
    QFuture<site::ReadingPercentiles> percentiles;
    if (!view->shownIsReadings)
        percentiles = QtConcurrent::run([shown = view->shown] { return site::PercentilesOf(*shown); });
    try {
        if (!view->shownIsReadings)
            view->shownPieces = FloatPieces(*view->shown);
        const process::Values& values = *view->values;
        for (std::size_t i = 0; i < values.size(); ++i) {
            view->gaps += std::isnan(values.value[i]);
            if (i < values.flag.size() && values.flag[i] != 0)
                view->spikes.push_back(static_cast<std::uint32_t>(i));
        }
    } catch (...) {
        percentiles.waitForFinished();
        throw;
    }
    if (!view->shownIsReadings)
        view->percentiles = percentiles.result();
    view->notedTraverses = NotedTraverses(view->reports);
    return view;
}

ProcessingRunner::ProcessingRunner(QObject* parent)
    : QObject(parent),
      worker_(std::make_shared<Worker>()),
      generation_(std::make_shared<std::atomic<int>>(0)),
      stopped_(std::make_shared<std::atomic<int>>(0)),
      stepsComputed_(std::make_shared<std::atomic<std::uint64_t>>(0))
{
    pool_.setMaxThreadCount(1);
}

ProcessingRunner::~ProcessingRunner()
{
    // A generation no request has makes the computation running stop at its next block.
    generation_->store(-1);
    pool_.clear();
    pool_.waitForDone();
}

void ProcessingRunner::Request(std::shared_ptr<const site::PlacedReadings> readings, ProcessingRequest request)
{
    const int generation = ++requested_;
    generation_->store(generation);
    const auto current = generation_;
    pool_.start([this, worker = worker_, current, generation, readings = std::move(readings),
                 request = std::move(request), stopped = stopped_, steps = stepsComputed_] {
        if (current->load() != generation)
            return; // a newer request came before this one started
        const process::ShouldStop stop = [current, generation] { return current->load() != generation; };
        std::shared_ptr<const ProcessedView> view;
        QString failure;
        try {
            view = worker->Compute(readings, request, stop, *steps);
        } catch (const site::Cancelled&) {
        } catch (const std::bad_alloc&) {
            failure = QStringLiteral("Out of memory");
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        if (!view && failure.isEmpty()) {
            ++*stopped;
            return;
        }
        // Queued to this object: dropped if it is gone, and ignored if a newer request came.
        QMetaObject::invokeMethod(this, [this, generation, view, failure] {
            if (generation != requested_)
                return;
            delivered_ = generation;
            if (view)
                emit Ready(view);
            else
                emit Failed(failure);
        }, Qt::QueuedConnection);
    });
}

} // namespace qm
