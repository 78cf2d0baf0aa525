// The grid row of the site map window: "Grid", the method, cell size and radius, the computation
// on a worker thread with its progress bar and Cancel, and how the grid is shown (opacity, dots).
// The last grid is kept and computed again only when the readings, method, cell or radius change.
#pragma once

#include "grid.h"
#include "placed_readings.h"

#include <QFutureWatcher>
#include <QJsonObject>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QSlider;
class QTimer;
class QToolButton;

namespace qm {

class ReliefPanel;

// A grid and its values warped to degrees for the map, made together on the worker.
struct SiteGrid {
    site::GridResult grid;
    site::GeographicGrid image;
};

class SiteGridPanel : public QWidget {
    Q_OBJECT

public:
    explicit SiteGridPanel(QWidget* parent = nullptr);
    ~SiteGridPanel() override;

    // New readings drop the grid; while one is shown, the new readings' grid is computed. The grid
    // takes `values` (one a reading, a gap NaN) where given, else the readings' own.
    void SetReadings(std::shared_ptr<const site::PlacedReadings> readings,
                     std::shared_ptr<const std::vector<double>> values = nullptr);
    const std::shared_ptr<const site::PlacedReadings>& Readings() const { return readings_; }
    const std::shared_ptr<const std::vector<double>>& Values() const { return values_; }

    // "Grid" (and "Show grid" checked): shows the grid of the readings, computed unless the last one
    // has the same inputs.
    void ShowGrid();
    // "Show grid" unchecked: the grid is hidden but kept.
    void HideGrid();
    void Cancel();

    bool Computing() const { return job_ != nullptr; }
    bool Shown() const;
    // The last grid of the current readings (shown or not), or null.
    std::shared_ptr<const SiteGrid> Grid() const { return grid_; }
    // How many grids were computed, for checks that an unchanged grid is only shown again.
    int Computations() const { return computations_; }
    double Opacity() const;
    // The relief row under the grid's: hill shading and contours of the grid.
    ReliefPanel* Relief() const { return relief_; }
    bool DotsShown() const;
    bool TrackShown() const;
    // The method, cell and radius as typed, and whether the grid is shown, for a session; restoring
    // them computes nothing until "Grid".
    QJsonObject SaveState() const;
    void RestoreState(const QJsonObject& state);
    // About the grid for the status line: its size, zone and notes, a refusal or "Cancelled.".
    QString Note() const { return note_; }

signals:
    // The grid to draw changed: shown (Grid() and Shown()) or hidden.
    void GridChanged();
    void OpacityChanged(double opacity);
    void DotsShownChanged(bool shown);
    void TrackShownChanged(bool shown);
    void NoteChanged();

private:
    struct Job {
        std::atomic<bool> stop{false};
        std::atomic<int> permille{0};
    };
    // What the worker made: a grid (with why the map cannot show it, if it cannot), or none, with
    // the reason or a cancel.
    struct Result {
        std::shared_ptr<Job> job;
        std::shared_ptr<const SiteGrid> grid;
        std::string unshown;
        std::string failure;
        bool cancelled = false;
    };
    // What a grid is made of; the cell and radius as asked for, 0 for the defaults.
    struct Inputs {
        const site::PlacedReadings* readings = nullptr;
        const std::vector<double>* values = nullptr;
        site::GridMethod method = site::GridMethod::Linear;
        double cell = 0;
        double radius = 0;
        bool operator==(const Inputs&) const = default;
    };

    Inputs Current() const;
    void Start(const Inputs& inputs);
    void Finished();
    void InputChanged();
    void SetIdle();
    void SetNote(const QString& note);
    void BuildViewBoxes(QHBoxLayout* row);

    QToolButton* gridButton_ = nullptr;
    QComboBox* methodBox_ = nullptr;
    QLineEdit* cellEdit_ = nullptr;
    QLineEdit* radiusEdit_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QToolButton* cancelButton_ = nullptr;
    QSlider* opacitySlider_ = nullptr;
    QCheckBox* dotsBox_ = nullptr;
    ReliefPanel* relief_ = nullptr;
    QCheckBox* showBox_ = nullptr;  // "Show grid"
    QCheckBox* trackBox_ = nullptr; // the selected file's track
    QTimer* poll_ = nullptr;
    QFutureWatcher<Result>* watcher_ = nullptr;

    std::shared_ptr<const site::PlacedReadings> readings_;
    std::shared_ptr<const std::vector<double>> values_; // the grid's, if not the readings' own
    std::shared_ptr<Job> job_;        // the computation running, if any
    Inputs jobInputs_;
    std::shared_ptr<const SiteGrid> grid_;
    Inputs gridInputs_;               // with the cell and radius the grid used
    bool cellTyped_ = false;          // else the field shows the last grid's default, or is empty
    bool radiusTyped_ = false;
    int computations_ = 0;
    QString note_;
};

} // namespace qm
