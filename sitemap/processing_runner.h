// The site map's processing off the interface thread: one process::Chain per set of readings, run by
// one worker at a time, so that an edit recomputes from the edited step on; a newer request stops an
// older computation at its next block, and each result comes back as a queued call.
#pragma once

#include "chain.h"
#include "colour_scale.h"
#include "placed_readings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace qm {

// What the dots are coloured by.
enum class ShowWhat {
    Processed, // the values after the last step
    Raw,       // the readings
    Removed,   // the selected step's input minus its output, where both have a value
};

struct ProcessingRequest {
    process::Recipe recipe;
    ShowWhat show = ShowWhat::Processed;
    int step = -1; // the selected step (0-based), for ShowWhat::Removed
    bool operator==(const ProcessingRequest&) const = default;
};

// One computation's outcome for the readings it was made from. Shared and never changed once made.
struct ProcessedView {
    std::shared_ptr<const site::PlacedReadings> readings;
    ProcessingRequest request;
    std::shared_ptr<const process::Values> input;   // the readings
    std::shared_ptr<const process::Values> values;  // after the last step
    std::vector<process::StepReport> reports;       // one per step
    std::shared_ptr<const process::Traverses> traverses;
    // What the dots show, NaN where none is drawn; and the same as 32-bit floats in the page's pieces.
    // When they are the readings' own values (no step enabled, or "Raw"), `shown` is the readings'
    // own array and neither the pieces nor the percentiles are made again: the page and the window
    // have them since the readings came.
    std::shared_ptr<const std::vector<double>> shown;
    bool shownIsReadings = false;
    std::vector<QByteArray> shownPieces;  // empty when shownIsReadings
    site::ReadingPercentiles percentiles; // of `shown`, unless shownIsReadings
    std::vector<std::uint32_t> spikes;    // readings flagged as spikes after the last step
    std::uint64_t gaps = 0;               // after the last step
    std::size_t notedTraverses = 0;       // traverses named by the steps' notes
};

// Values as 32-bit floats in the page's pieces.
std::vector<QByteArray> FloatPieces(const std::vector<double>& values);

// The traverse (begin, end) that holds reading `index`, by bisection; (0, 0) when none does.
std::pair<std::size_t, std::size_t> TraverseOf(const process::Traverses& traverses, std::size_t index);

class ProcessingRunner : public QObject {
    Q_OBJECT

public:
    explicit ProcessingRunner(QObject* parent = nullptr);
    // Stops the computation running and waits for it.
    ~ProcessingRunner() override;

    // Computes `request` over `readings` (null or empty: a view with no value) on the worker; an
    // older computation still running stops at its next block and is never delivered.
    void Request(std::shared_ptr<const site::PlacedReadings> readings, ProcessingRequest request);
    // A computation is asked for or running.
    bool Busy() const { return delivered_ != requested_; }
    // For checks: computations stopped part way by a newer request, and steps computed in all.
    int Stopped() const { return stopped_->load(); }
    std::uint64_t StepsComputed() const { return stepsComputed_->load(); }

signals:
    void Ready(std::shared_ptr<const ProcessedView> view);
    void Failed(const QString& message);

private:
    struct Worker;

    QThreadPool pool_; // one thread: the chain is never touched by two at once
    std::shared_ptr<Worker> worker_;
    std::shared_ptr<std::atomic<int>> generation_;
    std::shared_ptr<std::atomic<int>> stopped_;
    std::shared_ptr<std::atomic<std::uint64_t>> stepsComputed_;
    int requested_ = 0;
    int delivered_ = 0;
};

} // namespace qm
