// Links the "Site map" window to the main window: gathers the placed readings of the file list off
// the interface thread, moves the map's emphasis with the main window's file and row, and turns a
// click on a dot into the main window's own file and row clicks.
#pragma once

#include "placed_readings.h"

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>
#include <vector>

class QAction;

namespace qm {

class SiteMapWindow;
class SurveyList;
struct PreparedPage;

class SiteMapLink : public QObject {
    Q_OBJECT
public:
    // `open` shows the window; the window itself is made when first shown.
    SiteMapLink(SurveyList* list, QAction* open, QObject* parent = nullptr);
    ~SiteMapLink() override;

    // Shows and raises the window, gathering the readings first when the list changed meanwhile.
    void Show();
    // Makes the window, hidden, and loads its page, so that the first "Site map" finds the browser
    // ready; Warmed() follows once the page is in (or could not be loaded).
    void Warm();
    // The window, or null until it was first shown or warmed.
    SiteMapWindow* Window() const { return window_; }
    bool Gathering() const { return gathering_; }
    // The window's state for a session: its own, or the one last restored while there is no window
    // yet; restoring applies it now, or when the window is made.
    QJsonObject CaptureState() const;
    void RestoreState(const QJsonObject& state);

signals:
    void Warmed();
    // A gathering of the file list has started (the window is shown and the list changed).
    void GatherStarted();
    // Every placed reading of the list as it now is is drawn on the map.
    void SiteDrawn();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void MakeWindow();
    void ListChanged();
    void StartGathering();
    void StopGathering();
    struct Job;
    void Gather(const std::shared_ptr<Job>& job);
    void FinishGathering(const std::shared_ptr<Job>& job, std::shared_ptr<site::PlacedReadings> joined);
    void SendPieces(const std::shared_ptr<Job>& job, const std::shared_ptr<PreparedPage>& prepared);
    void Gathered(const std::shared_ptr<Job>& job, std::shared_ptr<const site::PlacedReadings> readings,
                  std::shared_ptr<const PreparedPage> prepared);
    int GatheredIndex(int listIndex, const QString& path) const;
    void FileSelected(int index, const QString& path);
    void RowSelected(int row);
    void ReadingClicked(int fileIndex, int row);
    void ShowSelection();
    QString Label(int fileIndex, int row);
    void LoadLabels(int fileIndex, int first);

    SurveyList* list_;
    SiteMapWindow* window_ = nullptr;
    QJsonObject pendingState_; // restored before the window was made

    // The readings shown index files of the list as it was when they were gathered; the main
    // window's indices are mapped to them (and back) through the paths.
    QStringList gatheredFiles_;
    std::shared_ptr<const site::PlacedReadings> gathered_; // what the window was last given
    bool stale_ = true;
    bool gathering_ = false;
    QThreadPool pool_;
    std::shared_ptr<Job> job_; // the gathering under way

    // The main window's selection, kept by path so that it survives a regathering.
    int selectedIndex_ = -1;
    QString selectedPath_;
    int selectedRow_ = -1;
    bool fileSelectedSeen_ = false;

    // Labels of the blocks of rows last hovered, read again from the files on the pool on demand,
    // each block from where the gathering found its first row.
    struct LabelBlock {
        int file = 0;
        int first = 0; // the block's first row
        std::vector<std::string> labels;
    };
    std::vector<LabelBlock> labels_;
    std::vector<std::pair<int, int>> labelsLoading_; // (file, first row) of the blocks being read
    unsigned labelGeneration_ = 0;
};

} // namespace qm
