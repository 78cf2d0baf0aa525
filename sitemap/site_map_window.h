// The "Site map" window: every placed reading of the file list as a dot coloured by its value on a
// web map, the selected file as an emphasised track with its selected reading ringed, and a click
// on a dot reported back as (file, row); a grid of the readings drawn under the dots, and the
// "Export" menu for the grid and the readings; the "Processing" panel beside the map, whose result
// the dots, the grid, the exports and the hover text use, and the profile strip under it.
#pragma once

#include "colour_scale.h"
#include "display_panel.h"
#include "map_tools.h"
#include "placed_readings.h"
#include "readings_export.h"
#include "web_map_points.h"

#include <QJsonObject>
#include <QFutureWatcher>
#include <QString>
#include <QVariant>
#include <QWebEnginePage>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QToolButton;
class QWebChannel;
class QWebEngineView;
class QWebEngineProfile;

namespace qm {

struct PreparedPage;
struct ProcessedView;
class PageDots;
class ProcessingPanel;
class ProcessingRunner;
class ProfileStrip;
class RangeControls;
class SiteGridPanel;
class SitePageChannel;
class SiteViewBridge;

class SiteMapWindow : public QWidget {
    Q_OBJECT

public:
    // The label (column 0) of a file's table row, for the tooltip of a dot; may return an empty text.
    using LabelLookup = std::function<QString(int fileIndex, int row)>;

    explicit SiteMapWindow(QWidget* parent = nullptr);
    ~SiteMapWindow() override;

    // The readings to show (null shows none), with what the page takes made from them ahead (else
    // it is made here). While the window is hidden they are only kept; the page gets them when the
    // window is shown. A typed colour range stays.
    void SetReadings(std::shared_ptr<const site::PlacedReadings> readings,
                     std::shared_ptr<const PreparedPage> prepared = nullptr);
    std::shared_ptr<const site::PlacedReadings> Readings() const { return readings_; }

    // Emphasises a file's track and rings its reading at `row` (the table row, 1 for the first
    // data row); a file index of -1 clears the emphasis, a row without a placed reading rings none.
    void SetSelection(int fileIndex, int row);
    void SetLabelLookup(LabelLookup lookup);

    // A piece of the readings' arrays given to SetReadings() is made, and the page may have it;
    // or making them failed (the page then shows no reading, and the status line why).
    void PieceReady(const PreparedPage* page, std::size_t piece);
    void PiecesFailed(const PreparedPage* page, const QString& message);

    // The colour scale in use: by the range mode over the values shown (the 2nd to 98th percentile
    // by default), or as typed.
    const site::ColourScale& ColourScale() const { return scale_; }
    void SetColourPalette(site::Palette palette);
    // As typed in the toolbar (the typed mode); ignored unless min < max and both are finite.
    void SetColourRange(double min, double max);
    // The default: the 2nd to the 98th percentile.
    void ResetColourRange();
    // The range mode and its parameters; one that makes no sense is ignored. Modes other than the
    // default and the typed one find the range on a worker: ColourRangeReady() tells when it is in.
    const site::RangeSetting& RangeSetting() const { return display_.range; }
    void SetRangeSetting(const site::RangeSetting& setting);
    // The range and the legend's histogram last computed over the values shown.
    const RangeResult& GetRangeResult() const { return range_; }
    // The display as a session keeps it: palette, range mode and parameters, hill shading and
    // contours (these two as the grid panel's relief row has them).
    DisplaySetting GetDisplaySetting() const;
    void SetDisplaySetting(const DisplaySetting& setting);
    // Fits the map to the selected file's readings.
    void ZoomToFile();

    // The status line: what was left out and which files failed.
    QString StatusText() const;
    // Shows how far a gathering of new readings has come, until SetReadings() gives them; until
    // then a window that had none shows no "no reading" message either.
    void ShowGatherProgress(std::size_t done, std::size_t total);
    QWebEngineView* View() const { return view_; }
    // Loads the page while the window is still hidden, so that showing it later need not wait for
    // the browser; readings given meanwhile still reach the page only once the window is shown.
    void Preload();
    SiteGridPanel* GridPanel() const { return gridPanel_; }
    ProcessingPanel* GetProcessingPanel() const { return processingPanel_; }
    ProcessingRunner* GetProcessingRunner() const { return runner_; }
    ProfileStrip* GetProfileStrip() const { return strip_; }
    // The processing of the readings last given that the window uses, or null until it is computed.
    std::shared_ptr<const ProcessedView> Processed() const { return processed_; }
    // What the grid is made of: the processed readings, gaps left out.
    // The values the grid takes, when not the readings' own.
    std::shared_ptr<const std::vector<double>> GridValues() const;
    // The processing whose values the page has drawn last.
    std::shared_ptr<const ProcessedView> ProcessedOnPage() const { return processedOnPage_; }

    // What a session keeps of the window (view, palette, range, basemap, grid inputs, recipe), and
    // its restoring; the view is restored once the page has the readings.
    QJsonObject SaveState() const;
    void RestoreState(const QJsonObject& state);
    // Labels were looked up meanwhile: the hover text under the pointer is asked for again.
    void LabelsArrived();

    // Sites of at least this many readings draw their dots first: the range's histogram, the zone
    // and the processing, which would compete with that drawing for the processor, start once the
    // dots are drawn. A million unless set.
    void SetFollowUpsAfterDrawingFrom(std::size_t readings) { followUpsFrom_ = readings; }

    // Seam for tests: the save dialog of the "Export" menu; an empty text cancels.
    std::function<QString(const QString& caption, const QString& suggestedName, const QString& filter)>
        saveFileDialog;

signals:
    // A dot was clicked: its file index and table row.
    void ReadingClicked(int fileIndex, int row);
    // The page has drawn the readings, scale and selection last given (after a show or a change).
    void PageUpdated();
    // As PageUpdated(), for the update that drew the readings last given: every dot is on the page.
    void ReadingsDrawn();
    // As PageUpdated(), for the update that drew the values of Processed().
    void ProcessedDrawn();
    // The range and histogram of the values shown were computed for the setting last given.
    void ColourRangeReady();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildPage();
    void BuildToolbar();
    void PageLoaded(bool ok);
    void PageReady();
    void PageStopped(QWebEnginePage::RenderProcessTerminationStatus status, int code);
    void UpdatePage();
    void SendUpdate();
    void PageIdle(int serial);
    void SendReadings();
    void ReleasePieces();
    void SendScale();
    void SendSelection();
    void UpdateStatus();
    void RefreshDefaultScale();
    void ShowRange();
    void RangeEdited();
    QString Describe(int index) const;
    void BuildExportMenu();
    void UpdateExportMenu();
    void SendGrid();
    void ExportGrid(const QString& caption, const QString& name, const QString& filter);
    void ExportReadings(const QString& caption, const QString& name, const QString& filter);
    QString SuggestedPath(const QString& name) const;
    void SetNote(const QString& note);
    QWidget* BuildProcessingArea();
    void BuildProcessingMenu(QMenuBar* bar);
    void RequestProcessing();
    void ProcessedReady(std::shared_ptr<const ProcessedView> view);
    void SendValues();
    void SendDots();
    void UpdateStrip();
    QString ProcessingStatus() const;
    QString ValueText(int index) const;
    void SetUpExtras();
    QString ExtraNotes() const;
    void SetRangeNote(const QString& note);
    void SendTrack();
    void ExportGeoPackage(const QString& path, site::ExportSummary& summary);
    void ExportProcessed(const std::filesystem::path& path, site::ExportFormat format, site::ExportSummary& summary);
    // The display (site_map_display.cpp): the range by mode, the grid's relief and the map's tools.
    void BuildDisplayTools(QWidget* bar);
    void ConnectDisplay(QWebChannel* channel);
    std::shared_ptr<const std::vector<double>> ShownValues() const;
    void ApplyRange();
    void RequestRange(bool known);
    void RangeFinished();
    QVariant Histogram() const;
    void SendContours();
    void FindZone();
    bool HoldUntilDrawn(bool& held);
    void StartFollowUps(const std::shared_ptr<const site::PlacedReadings>& drawn);
    QString Locate(double lat, double lon);
    void UpdateZoomButton();

    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    SitePageChannel* channel_ = nullptr; // the page's one web-channel object, each way
    QComboBox* paletteBox_ = nullptr;
    QLineEdit* minEdit_ = nullptr;
    QLineEdit* maxEdit_ = nullptr;
    RangeControls* rangeControls_ = nullptr;
    QToolButton* measureButton_ = nullptr;
    QToolButton* zoomButton_ = nullptr;
    MapToolsBridge* tools_ = nullptr;
    QLabel* status_ = nullptr;
    SiteGridPanel* gridPanel_ = nullptr;
    QAction* gridExports_[5] = {};
    QAction* readingsExports_[3] = {};
    SiteViewBridge* viewBridge_ = nullptr; // the page's view, basemap, track and hover refreshes
    mutable std::pair<const void*, QString> placementNotes_; // of the readings named
    QString rangeNote_; // why a typed limit was not taken
    ProcessingPanel* processingPanel_ = nullptr;
    ProfileStrip* strip_ = nullptr;
    ProcessingRunner* runner_ = nullptr;
    std::shared_ptr<const ProcessedView> processed_; // of readings_, the latest delivered
    std::shared_ptr<const ProcessedView> processedOnPage_;
    bool valuesDirty_ = false; // what the dots show is not on the page yet
    // The page's pyramid of dots, and what it follows: where the page places the readings, the values
    // its dots show and its scale's centre.
    PageDots* dots_ = nullptr;
    site::WebMapFrame pageFrame_;
    std::shared_ptr<const std::vector<double>> pageValues_;
    double pageCentre_ = 0;
    std::shared_ptr<const site::PlacedReadings> dotsFollowed_; // drawn on the page: its pyramid may be made
    // Readings not drawn yet whose range, zone and processing wait for their drawing, and which of
    // those were asked for meanwhile.
    std::size_t followUpsFrom_ = 1'000'000;
    std::shared_ptr<const site::PlacedReadings> followUpsFor_;
    bool rangeHeld_ = false;
    bool zoneHeld_ = false;
    bool processingHeld_ = false;
    QString note_; // of the grid or the last export, after the status of the readings
    double pageCentreLon_ = 0; // of the readings as sent, to put the grid on the same turn of the world

    std::shared_ptr<const site::PlacedReadings> readings_; // last given
    std::shared_ptr<const PreparedPage> prepared_;          // made from readings_, until sent
    site::ReadingPercentiles percentiles_;                  // of the values shown
    site::ReadingPercentiles readingsPercentiles_;          // of readings_ themselves
    std::shared_ptr<const site::PlacedReadings> onPage_;   // what the page holds; clicks index into it
    LabelLookup labelLookup_;
    site::ColourScale scale_;
    site::ColourScale defaultScale_; // of the readings last given, in the palette chosen
    DisplaySetting display_;         // its palette and range; the relief row keeps shade and contours
    bool rangeTyped_ = false;        // display_.range is in the typed mode
    QFutureWatcher<RangeResult>* rangeWatcher_ = nullptr;
    int rangeSerial_ = 0;
    RangeResult range_;
    QFutureWatcher<SiteZone>* zoneWatcher_ = nullptr;
    SiteZone readingsZone_;          // of readings_, once found
    std::unique_ptr<ZoneProjection> projection_;
    int selectedFile_ = -1;
    int selectedRow_ = -1;

    int windowSerial_ = 0; // names this window's arrays for the page
    int sent_ = 0;         // readings sent so far
    int readingsSerial_ = 0;        // of the readings last sent, which the page answers on taking them
    bool pageTookReadings_ = false; // the page has taken them: its indices are onPage_'s
    QString sentPrefix_;   // of the names of the arrays last sent
    std::vector<char> piecesSent_; // by piece of prepared_: given to the page
    std::shared_ptr<const site::PlacedReadings> piecesFailedFor_; // readings whose pieces could not be made
    std::shared_ptr<const site::PlacedReadings> stoppedOver_;     // on the page when its process last ended
    bool base64Sent_ = false;      // the pieces went with the scripts, all at once
    bool pageLoaded_ = false;
    bool updateQueued_ = false;
    int updateSerial_ = 0;
    // By update: what follows once the page has done it (and every update before it).
    std::map<int, std::shared_ptr<std::function<void()>>> idleWaiters_;
    bool gathering_ = false; // shown progress of a gathering, no readings given since
    bool readingsDirty_ = true;
    bool scaleDirty_ = true;
    bool selectionDirty_ = true;
    bool gridDirty_ = true;
    bool contoursDirty_ = true;
};

} // namespace qm
