// The display of the site map made for magnetometry: the settings (palette, colour range mode and
// its parameters, the grid's hill shading and contours) as one plain struct the window keeps, the
// controls that edit them (the range mode of the toolbar, the relief row of the grid panel) and the
// work behind them off the interface thread: the range and the legend's histogram over the values
// shown, and the grid's shade warped to the map's degrees and its contour lines.
#pragma once

#include "colour_range.h"
#include "colour_scale.h"
#include "grid_relief.h"

#include <QFutureWatcher>
#include <QList>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace qm {

struct SiteGrid;

// What the window shows and how, as a session keeps it.
struct DisplaySetting {
    site::Palette palette = site::Palette::Diverging;
    // The mode and its parameters; in the typed mode low and high are the typed Min and Max.
    site::RangeSetting range;
    bool shade = false;
    site::HillShadeSetting hillShade;
    bool contours = false;
    double contourInterval = 5; // nT
};

// The palette's name as a session keeps it ("diverging", "sequential", "greyscale",
// "greyscale-inverse"); ParsePalette gives Diverging for an unknown name.
const char* PaletteName(site::Palette palette);
site::Palette ParsePalette(const std::string& name);

// How much of the hill shade shows through the grid's colours.
inline constexpr double kShadeStrength = 0.75;
// The most contour vertices the page is sent: a finer interval is refused.
inline constexpr std::size_t kMaxContourVertices = 300'000;
// Bins of the legend's histogram within the range; one more each side counts the values beyond it.
inline constexpr int kHistogramBins = 64;

// Why a range setting makes no sense (percentiles out of 0 to 100 or not increasing, k or N not
// above 0, typed limits not finite or not increasing), or "" when it does.
QString RangeSettingProblem(const site::RangeSetting& setting);

// The colour range of the values shown by a setting, and the legend's histogram over it, computed
// on a worker: `counts` has kHistogramBins + 2 bins, the first and last counting the values below
// and above the range, the others evenly from min to max.
struct RangeResult {
    int serial = 0;
    bool computed = false; // the range was found here (else it was given, as for the typed mode)
    site::ColourRange range;
    std::vector<std::uint32_t> counts;
    QString error;
};
// The range `given` (when not null) or that of the setting, and the histogram over it.
RangeResult ComputeRange(std::span<const double> values, const site::RangeSetting& setting,
                         const site::ColourRange* given);

// The range mode of the toolbar: a combo of the modes and the fields of the one chosen.
class RangeControls : public QWidget {
    Q_OBJECT

public:
    explicit RangeControls(QWidget* parent = nullptr);

    const site::RangeSetting& Setting() const { return setting_; }
    // Shows a setting; nothing is emitted.
    void SetSetting(const site::RangeSetting& setting);
    // The limits the typed mode takes when chosen in the combo: the range shown.
    void SetTypedLimits(double min, double max);

signals:
    // A change by the user that makes sense.
    void Edited(const site::RangeSetting& setting);
    // A field typed that makes no sense, with the reason; the field shows the setting again.
    void Refused(const QString& reason);

private:
    void ShowSetting();
    void ModeChosen();
    void FieldEdited();

    QComboBox* mode_ = nullptr;
    QLineEdit* low_ = nullptr;
    QLineEdit* high_ = nullptr;
    QLineEdit* k_ = nullptr;
    QLineEdit* nt_ = nullptr;
    QList<QWidget*> percentileWidgets_;
    QList<QWidget*> sdWidgets_;
    QList<QWidget*> ntWidgets_;
    site::RangeSetting setting_;
    double lastPercentileLow_ = 2;
    double lastPercentileHigh_ = 98;
    double typedMin_ = 0;
    double typedMax_ = 1;
};

// The grid's shade, warped to the degrees of the grid's image on the map (the same pixels), 0
// where unknown or empty.
struct GridShade {
    std::shared_ptr<const SiteGrid> grid;
    site::HillShadeSetting setting;
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    QString error;
};

struct GridContours {
    std::shared_ptr<const SiteGrid> grid;
    double interval = 0;
    std::vector<site::ContourLine> lines;
    std::size_t vertices = 0;
    QString error;
};

// The grid panel's second row: "Shade" with azimuth, altitude and z-factor, and "Contours" with an
// interval; shade and contours of the grid given, each made on a worker and kept until the grid or
// its setting changes.
class ReliefPanel : public QWidget {
    Q_OBJECT

public:
    explicit ReliefPanel(QWidget* parent = nullptr);
    ~ReliefPanel() override;

    // The grid to shade and draw contours of (null: none).
    void SetGrid(std::shared_ptr<const SiteGrid> grid);

    bool ShadeOn() const;
    site::HillShadeSetting ShadeSetting() const { return shadeSetting_; }
    bool ContoursOn() const;
    double ContourInterval() const { return interval_; }
    // Set the controls as given and make what is now asked for; a setting that makes no sense
    // is refused with a note.
    void SetShade(bool on, const site::HillShadeSetting& setting);
    void SetContours(bool on, double interval);

    // The shade of the grid with the setting shown, once made while "Shade" is checked; or null.
    std::shared_ptr<const GridShade> Shade() const;
    // The contours at the interval shown, once made while "Contours" is checked; or null.
    std::shared_ptr<const GridContours> Contours() const;
    bool Busy() const { return shadeRunning_ || contoursRunning_; }

signals:
    // What Shade() or Contours() give changed.
    void ShadeChanged();
    void ContoursChanged();
    // A refusal or failure, for the status line ("" clears it).
    void NoteChanged(const QString& note);

private:
    void WantShade();
    void WantContours();
    void ShadeFinished();
    void ContoursFinished();
    void ShadeFieldEdited();
    void IntervalEdited();
    void ShowFields();

    QCheckBox* shadeBox_ = nullptr;
    QLineEdit* azimuth_ = nullptr;
    QLineEdit* altitude_ = nullptr;
    QLineEdit* zFactor_ = nullptr;
    QCheckBox* contoursBox_ = nullptr;
    QLineEdit* intervalEdit_ = nullptr;
    QFutureWatcher<std::shared_ptr<GridShade>>* shadeWatcher_ = nullptr;
    QFutureWatcher<std::shared_ptr<GridContours>>* contoursWatcher_ = nullptr;

    std::shared_ptr<const SiteGrid> grid_;
    site::HillShadeSetting shadeSetting_;
    double interval_ = 5;
    std::shared_ptr<const GridShade> shade_;
    std::shared_ptr<const GridContours> contours_;
    bool shadeRunning_ = false;
    bool contoursRunning_ = false;
};

} // namespace qm
