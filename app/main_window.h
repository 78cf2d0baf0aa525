// The main window: composes the file panel, the current survey table, the position panel and the
// pages "Line" (profile) and "Matrix", and carries the work that spans them (file selection, the
// readout of a reading, playback). Each page owns its controls and state; the window keeps the
// names the surveyors' manual uses for controls and handlers, as references into the pages. Each
// handler runs inside the error box boundary.
#pragma once

#include <QMainWindow>
#include <QImage>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <vector>
#include <functional>

class QAction;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;
class QToolButton;
class QTreeWidget;
class TFormMapa;

namespace qm {
class AdvListView;
class FilePanel;
class ImageBox;
class LinkLabel;
class MatrixPage;
class PositionPanel;
class ProfileChart;
class ProfilePage;
class SessionMenu;
class SiteMapLink;
class SurveyList;
} // namespace qm

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The map window, created after the main window; the main window places itself right of it.
    void SetMapWindow(TFormMapa* mapWindow);

    // Seams for tests: the open dialog and the shell's "open" of a web address.
    std::function<QStringList()> openFileDialog;
    std::function<void(const QString& url)> openUrl;
    std::function<QString(const QString& suggestedName)> saveFileDialog;
    std::function<void(const QImage& image)> copyImage;

    // Opens files as "Open files" does (the files a file manager hands the viewer at start).
    void OpenPaths(const QStringList& paths);
    // Adds files as "Add file" does (files dropped on the window); refuses what is no readable file.
    void AddPaths(const QStringList& paths);
    // Saves or copies the picture of the profile chart or of the matrix page.
    void SaveImage(const QImage& image, const QString& suggestedName);
    QImage ChartImage() const;

    // File list.
    QStringList Files() const;
    int SelectedFile() const;
    void SetSelectedFile(int index);
    // As if the user clicked file `index` in the list, or row `row` of the table (errors are shown
    // in the error box, as for a click).
    void ClickFile(int index);
    void ClickRow(int row);
    // The row of the file a table row shows: the two differ once "del" removed rows above it.
    int FileRow(int tableRow) const;

    std::uint16_t Balance() const;
    void SetBalance(std::uint16_t balance);

    // Handlers (each catches its own errors and shows the error box).
    void Button2Click();       // "Open" / "Open files"
    void AddFileClick();       // "Add file"
    void ListView1Click();     // file selection
    void AdvListView1Click();  // position readout of the selected table row
    void Button4Click();       // "Map"
    void Button5Click();       // "del"
    void Chart1ClickSeries(int seriesIndex, int valueIndex);
    void ComboBox1Change();
    void TrackBar1Change();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void Button3Click();       // "Draw"
    void SpinEditChange();
    void DeleteFileClick();
    void MoveUpClick();
    void MoveDownClick();
    void MotionClick();        // playback
    void CheckMapControl(const QString& controlName, bool tick);

    // The same work without the error box, for callers that handle errors themselves.
    void SelectFile();         // file selection body; throws
    void PlotProfile();        // throws
    void ReadPosition();       // throws

    bool DrawRunning() const;
    bool PlaybackRunning() const { return playing_; }

    // The pages.
    qm::FilePanel* filePanel() const { return files_; }
    qm::PositionPanel* positionPanel() const { return position_; }
    qm::ProfilePage* profilePage() const { return profile_; }
    qm::MatrixPage* matrixPage() const { return matrix_; }
    qm::SiteMapLink* siteMap() const { return siteMap_; }
    // The document the pages show: the list, the loaded table, the selection. Its signals tell of
    // completed file selections (clicks, opening, playback and every file a draw passes), readouts
    // and list changes.
    qm::SurveyList* surveyList() const { return list_; }
    qm::SessionMenu* sessionMenu() const { return session_; }
    // Whether the site map's page is loaded in the background soon after the window is first shown.
    // The viewer turns it on; off by default, so that tests making many main windows start no
    // browser page they do not use.
    void SetWarmSiteMap(bool warm) { warmSiteMap_ = warm; }

    // Controls, named as in the surveyors' manual, reachable by tests. The window's own:
    QGroupBox* GroupBox2 = nullptr;
    QWidget* Panel1 = nullptr;
    QLabel* Label4 = nullptr;
    qm::LinkLabel* Label3 = nullptr;
    qm::LinkLabel* Label2 = nullptr;
    qm::AdvListView* AdvListView1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QAction* actOpen = nullptr;
    QAction* actAdd = nullptr;
    QAction* actMotion = nullptr;
    QAction* actClose = nullptr;
    QAction* actDelete = nullptr;
    QAction* actMoveUp = nullptr;
    QAction* actMoveDown = nullptr;
    QAction* actSiteMap = nullptr;
    QAction* actManual = nullptr;
    QAction* actWebsite = nullptr;
    // Owned by the file panel:
    QTreeWidget* ListView1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button1 = nullptr;
    // Owned by the position panel (Panel2):
    QWidget* Panel2 = nullptr;
    QPushButton* Button5 = nullptr;
    QLabel* lblLon = nullptr;
    QLabel* lblLat = nullptr;
    QLineEdit* edtLat = nullptr;
    QLineEdit* edtLat2 = nullptr;
    QLineEdit* lad = nullptr;
    QLineEdit* edtLon = nullptr;
    QLineEdit* edtLon2 = nullptr;
    QLineEdit* lod = nullptr;
    QPushButton* Button4 = nullptr;
    QGroupBox* rgTipoMapa = nullptr;
    QButtonGroup* rgTipoMapaItems = nullptr;
    QListWidget* clControls = nullptr;
    // Owned by the profile page:
    QWidget* Panel3 = nullptr;
    qm::ProfileChart* Chart1 = nullptr;
    QLabel* Label8 = nullptr;
    QSlider* TrackBar1 = nullptr;
    QToolButton* BitBtn1 = nullptr;
    QToolButton* BitBtn2 = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* ComboBox1 = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* ComboBox2 = nullptr;
    QLabel* Label9 = nullptr;
    QSlider* TrackBar2 = nullptr;
    QToolButton* BitBtn3 = nullptr;
    QToolButton* BitBtn4 = nullptr;
    // Owned by the matrix page:
    QPushButton* Button3 = nullptr;
    QLabel* Label6 = nullptr;
    QSpinBox* SpinEdit1 = nullptr;
    QLabel* Label7 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QCheckBox* CheckBox1 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    qm::ImageBox* Image1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    QGroupBox* BuildFilesGroup();
    QGroupBox* BuildProfileGroup();
    void NameControls();
    void ConnectHandlers();
    void FormShow();
    void OpenFiles(bool replace);
    void AppendFiles(const QStringList& paths, bool replace);
    void ShowImageMenu(QWidget* source, const QPoint& at, const std::function<QImage()>& picture,
                       const QString& suggestedName);
    void PlaceRightOfMapWindow();
    void ListView1KeyDown(int key);

    qm::FilePanel* files_ = nullptr;
    qm::PositionPanel* position_ = nullptr;
    qm::ProfilePage* profile_ = nullptr;
    qm::MatrixPage* matrix_ = nullptr;
    qm::SiteMapLink* siteMap_ = nullptr;
    qm::SurveyList* list_ = nullptr;
    qm::SessionMenu* session_ = nullptr;
    QPointer<TFormMapa> mapWindow_;
    bool shownOnce_ = false;
    bool warmSiteMap_ = false;
    bool playing_ = false;
    bool closing_ = false;
};
