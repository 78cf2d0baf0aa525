// The main window: builds the menus and the two groups from the pages, connects them, and does the
// work that spans pages: file selection, the position readout, "del", "Map" and playback.
#include "main_window.h"

#include "error_box.h"
#include "errors.h"
#include "file_columns.h"
#include "file_panel.h"
#include "links.h"
#include "map_window.h"
#include "matrix_page.h"
#include "platform.h"
#include "position_panel.h"
#include "profile_chart.h"
#include "profile_page.h"
#include "session_menu.h"
#include "site_map_link.h"
#include "survey_list.h"
#include "survey_table_view.h"
#include "text_codec.h"
#include "widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTimer>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    // The layout is drawn for a compact 11-pixel interface font.
    QFont compact = font();
    compact.setPixelSize(11);
    setFont(compact);
    setWindowTitle(QStringLiteral("Quarlomet Magnetometer Viewer"));

    openFileDialog = [this] { return qm::FilePanel::AskFiles(this); };
    openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    saveFileDialog = [this](const QString& suggestedName) {
        return QFileDialog::getSaveFileName(this, QStringLiteral("Save image as"), suggestedName,
                                            QStringLiteral("PNG image (*.png)"));
    };
    copyImage = [](const QImage& image) { QGuiApplication::clipboard()->setImage(image); };
    setAcceptDrops(true);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    list_ = new qm::SurveyList(this);
    BuildMenus();
    layout->addWidget(BuildFilesGroup());
    layout->addWidget(BuildProfileGroup(), 1);
    NameControls();
    ConnectHandlers();

    // Design size and place, tall enough for the matrix image area's design size; the show
    // handler moves the window right of the map window.
    resize(QSize(936, 790).expandedTo(sizeHint()));
    move(227, 155);
}

TForm1::~TForm1() = default;

void TForm1::SetMapWindow(TFormMapa* mapWindow)
{
    if (mapWindow_)
        disconnect(mapWindow_, nullptr, this, nullptr);
    mapWindow_ = mapWindow;
    position_->SetMapWindow(mapWindow);
    if (mapWindow_)
        connect(mapWindow_, &TFormMapa::CheckMapControl, this, &TForm1::CheckMapControl);
}

void TForm1::BuildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("File"));
    actOpen = file->addAction(QStringLiteral("Open files"));
    actAdd = file->addAction(QStringLiteral("Add file"));
    actMotion = file->addAction(QStringLiteral("Motion"));
    actClose = file->addAction(QStringLiteral("Close"));
    QMenu* edit = menuBar()->addMenu(QStringLiteral("Edit"));
    actDelete = edit->addAction(QStringLiteral("Delete file"));
    actMoveUp = edit->addAction(QStringLiteral("Move up      ^"));
    actMoveDown = edit->addAction(QStringLiteral("Move down V"));
    actSiteMap = menuBar()->addMenu(QStringLiteral("View"))->addAction(QStringLiteral("Site map"));
    siteMap_ = new qm::SiteMapLink(list_, actSiteMap, this);
    session_ = new qm::SessionMenu(this, menuBar()->addMenu(QStringLiteral("Session")));
    session_->captureSiteMap = [this] { return siteMap_->CaptureState(); };
    session_->restoreSiteMap = [this](const QJsonObject& state) { siteMap_->RestoreState(state); };
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    actManual = help->addAction(QStringLiteral("Manual"));
    actWebsite = help->addAction(QStringLiteral("Website"));
}

QGroupBox* TForm1::BuildFilesGroup()
{
    // The file panel left; right of it the file's name, the links, the table and the position panel.
    GroupBox2 = new QGroupBox(QStringLiteral("Files"));
    GroupBox2->setFixedHeight(249);
    auto* row = new QHBoxLayout(GroupBox2);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    files_ = new qm::FilePanel(*list_, GroupBox2);
    row->addWidget(files_, 1);

    Panel1 = qm::FixedPanel(GroupBox2, 534, -1);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto* labels = new QWidget(Panel1);
    Label4 = qm::Place(new QLabel(QStringLiteral("file"), labels), 16, 8);
    Label4->setFixedWidth(260);
    Label3 = qm::Place(new qm::LinkLabel(QStringLiteral("Buy a magnetometer"), labels), 280, 8);
    Label2 = qm::Place(new qm::LinkLabel(QStringLiteral("Купить магнитометр"), labels), 408, 8);
    panelLayout->addWidget(labels, 1);
    AdvListView1 = new qm::AdvListView(list_->Table(), Panel1);
    AdvListView1->setFixedHeight(88);
    panelLayout->addWidget(AdvListView1);
    position_ = new qm::PositionPanel(Panel1);
    position_->setFixedHeight(111);
    panelLayout->addWidget(position_);
    row->addWidget(Panel1);
    return GroupBox2;
}

QGroupBox* TForm1::BuildProfileGroup()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Profile"));
    auto* layout = new QVBoxLayout(GroupBox1);
    layout->setContentsMargins(2, 2, 2, 2);
    PageControl1 = new QTabWidget(GroupBox1);
    profile_ = new qm::ProfilePage;
    qm::MatrixFiles source;
    source.count = [this] { return files_->FileCount(); };
    source.select = [this](int index) -> const qm::SurveyTable* {
        files_->SetSelectedFile(index);
        SelectFile();
        return &list_->Table();
    };
    source.names = [this] { return files_->Files(); };
    matrix_ = new qm::MatrixPage(std::move(source));
    PageControl1->addTab(profile_, QStringLiteral("Line"));
    PageControl1->addTab(matrix_, QStringLiteral("Matrix"));
    layout->addWidget(PageControl1);
    return GroupBox1;
}

void TForm1::ConnectHandlers()
{
    connect(actOpen, &QAction::triggered, this, &TForm1::Button2Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(actAdd, &QAction::triggered, this, &TForm1::AddFileClick);
    connect(actClose, &QAction::triggered, this, &QWidget::close);
    connect(Button1, &QPushButton::clicked, this, &QWidget::close);
    connect(actMotion, &QAction::triggered, this, &TForm1::MotionClick);
    connect(actDelete, &QAction::triggered, this, &TForm1::DeleteFileClick);
    connect(actMoveUp, &QAction::triggered, this, &TForm1::MoveUpClick);
    connect(actMoveDown, &QAction::triggered, this, &TForm1::MoveDownClick);
    const QString maker = QString::fromLatin1(qm::links::kMakerSite);
    const QString sales = QString::fromLatin1(qm::links::kSalesSite);
    connect(actManual, &QAction::triggered, this, [this, maker] { openUrl(maker + QLatin1String(qm::links::kManualPath)); });
    connect(actWebsite, &QAction::triggered, this, [this, maker] { openUrl(maker + u'/'); });
    connect(Label2, &qm::LinkLabel::clicked, this, [this, maker] { openUrl(maker + QLatin1String(qm::links::kBuyPath)); });
    connect(Label3, &qm::LinkLabel::clicked, this, [this, sales] { openUrl(sales + QLatin1String(qm::links::kBuyPath)); });

    connect(files_, &qm::FilePanel::Clicked, this, &TForm1::ListView1Click);
    connect(files_, &qm::FilePanel::KeyPressed, this, &TForm1::ListView1KeyDown);
    // A view (the site map) asks for a file and a row as clicks here would select them.
    connect(list_, &qm::SurveyList::FileRequested, this, &TForm1::ClickFile);
    connect(list_, &qm::SurveyList::RowRequested, this, &TForm1::ClickRow);
    connect(AdvListView1, &qm::AdvListView::Click, this, &TForm1::AdvListView1Click);
    connect(AdvListView1, &qm::AdvListView::DoubleClick, this, &TForm1::Button4Click);
    connect(position_, &qm::PositionPanel::MapClicked, this, &TForm1::Button4Click);
    connect(position_, &qm::PositionPanel::DeleteClicked, this, &TForm1::Button5Click);
    connect(profile_, &qm::ProfilePage::PointClicked, this, &TForm1::Chart1ClickSeries);
    connect(profile_, &qm::ProfilePage::DoubleClicked, this, &TForm1::Button4Click);

    Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowImageMenu(Chart1, at, [this] { return ChartImage(); }, QStringLiteral("profile.png"));
    });
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowImageMenu(Image1, at, [this] { return Image1->Picture(); }, QStringLiteral("matrix.png"));
    });
}

// Thin forwards to the pages, under the names the manual gives.
QStringList TForm1::Files() const { return files_->Files(); }
int TForm1::SelectedFile() const { return files_->SelectedFile(); }
int TForm1::FileRow(int tableRow) const { return list_->FileRow(tableRow); }
void TForm1::SetSelectedFile(int index) { files_->SetSelectedFile(index); }
std::uint16_t TForm1::Balance() const { return matrix_->Balance(); }
void TForm1::SetBalance(std::uint16_t balance) { matrix_->SetBalance(balance); }
bool TForm1::DrawRunning() const { return matrix_->DrawRunning(); }
QImage TForm1::ChartImage() const { return profile_->Picture(); }
void TForm1::ComboBox1Change() { profile_->ScaleModeChange(); }
void TForm1::TrackBar1Change() { profile_->TrackBarChange(); }
void TForm1::BitBtn1Click() { profile_->StepBar(TrackBar1, -10); }
void TForm1::BitBtn2Click() { profile_->StepBar(TrackBar1, +10); }
void TForm1::BitBtn3Click() { profile_->StepBar(TrackBar2, -10); }
void TForm1::BitBtn4Click() { profile_->StepBar(TrackBar2, +10); }
void TForm1::Button3Click() { matrix_->Button3Click(); }
void TForm1::SpinEditChange() { matrix_->SpinEditChange(); }
void TForm1::CheckMapControl(const QString& controlName, bool tick) { position_->CheckMapControl(controlName, tick); }

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!shownOnce_ && !event->spontaneous()) {
        shownOnce_ = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    qm::RunHandler(this, [this] {
        PlaceRightOfMapWindow();
        if (mapWindow_) {
            mapWindow_->show();
            mapWindow_->raise();
        }
        SetBalance(0);
    });
    // The site map's page is made once start-up has settled, so that "Site map" later need not wait
    // for a browser page to start; the main window is already usable by then.
    if (warmSiteMap_)
        QTimer::singleShot(1500, this, [this] { siteMap_->Warm(); });
}

void TForm1::PlaceRightOfMapWindow()
{
    if (!mapWindow_)
        return;
    const QRect map = mapWindow_->frameGeometry();
    move(map.x() + map.width(), map.y());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A playback or draw in progress notices this and ends; the process ends with this window.
    closing_ = true;
    matrix_->Stop();
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QApplication::quit();
}

void TForm1::Button2Click() { qm::RunHandler(this, [this] { OpenFiles(true); }); }
void TForm1::AddFileClick() { qm::RunHandler(this, [this] { OpenFiles(false); }); }

void TForm1::OpenFiles(bool replace) { AppendFiles(openFileDialog(), replace); }

void TForm1::AppendFiles(const QStringList& paths, bool replace)
{
    // A cancelled dialog changes nothing: the list and the baseline stay as they were.
    if (paths.isEmpty())
        return;
    if (replace)
        matrix_->ResetBalance();
    files_->AddFiles(paths, replace);
    if (files_->FileCount() > 0) {
        SetSelectedFile(0);
        SelectFile();
    }
}

void TForm1::OpenPaths(const QStringList& paths) { qm::RunHandler(this, [this, &paths] { AppendFiles(paths, true); }); }

void TForm1::AddPaths(const QStringList& paths)
{
    qm::RunHandler(this, [this, &paths] {
        QStringList readable;
        QStringList refused;
        for (const QString& path : paths) {
            const QFileInfo info(path);
            (info.isFile() && info.isReadable() ? readable : refused) << path;
        }
        AppendFiles(readable, false);
        if (!refused.isEmpty())
            throw qm::Error(qm::EncodeText(QStringLiteral("Not a readable survey file: ") + refused.join(QStringLiteral(", "))));
    });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    event->acceptProposedAction();
    AddPaths(qm::DroppedPaths(*event->mimeData()));
}

void TForm1::ShowImageMenu(QWidget* source, const QPoint& at, const std::function<QImage()>& picture,
                           const QString& suggestedName)
{
    const QImage image = picture();
    const qm::ImageMenuChoice choice = qm::ExecImageMenu(source, at, !image.isNull());
    if (choice == qm::ImageMenuChoice::Save)
        SaveImage(image, suggestedName);
    else if (choice == qm::ImageMenuChoice::Copy)
        copyImage(image);
}

void TForm1::SaveImage(const QImage& image, const QString& suggestedName)
{
    qm::RunHandler(this, [&] {
        QString path = saveFileDialog(suggestedName);
        if (path.isEmpty())
            return;
        if (!path.endsWith(QStringLiteral(".png"), Qt::CaseInsensitive))
            path += QStringLiteral(".png");
        if (image.isNull() || !image.save(path, "PNG"))
            throw qm::Error(qm::EncodeText(QStringLiteral("Cannot save the image as \"%1\"").arg(path)));
    });
}

void TForm1::ListView1Click() { qm::RunHandler(this, [this] { SelectFile(); }); }

void TForm1::ClickFile(int index)
{
    SetSelectedFile(index);
    ListView1Click();
}

void TForm1::SelectFile()
{
    profile_->ClearSeries();
    const int selected = SelectedFile();
    if (selected < 0)
        return;
    const QString path = files_->FileAt(selected);
    AdvListView1->Clear();
    list_->Deleted().Clear();
    AdvListView1->LoadFromCsv(qm::ToFsPath(path));
    Label4->setText(qm::FileNamePart(path));
    qm::SetFileColumnWidths(*AdvListView1);
    PlotProfile();
    list_->FileWasSelected(selected, path);
}

void TForm1::PlotProfile() { profile_->Plot(AdvListView1->table()); }

void TForm1::AdvListView1Click() { qm::RunHandler(this, [this] { ReadPosition(); }); }

void TForm1::ClickRow(int row)
{
    AdvListView1->ShowRow(row);
    AdvListView1Click();
}

void TForm1::ReadPosition()
{
    const int row = AdvListView1->SelectedRow();
    if (row < 0)
        return;
    // The site map follows the row before its readout, which fails for a row without a fix: its ring
    // then leaves the reading selected before rather than stay on it.
    list_->RowWasSelected(FileRow(row));
    position_->ShowPosition(AdvListView1->table(), row);
}

void TForm1::Chart1ClickSeries(int /*seriesIndex*/, int valueIndex)
{
    qm::RunHandler(this, [this, valueIndex] {
        const int row = valueIndex + 1;
        // The chart always shows the rows of the current table; a stale press is ignored.
        if (valueIndex < 0 || row >= AdvListView1->table().RowCount())
            return;
        AdvListView1->ShowRow(row);
        ReadPosition();
    });
}

void TForm1::Button5Click()
{
    qm::RunHandler(this, [this] {
        const int selected = AdvListView1->SelectedRow();
        if (selected >= 0) {
            list_->Deleted().Record(selected);
            AdvListView1->DeleteRow(selected);
        }
        profile_->ClearSeries();
        PlotProfile();
    });
}

void TForm1::Button4Click()
{
    qm::RunHandler(this, [this] {
        if (position_->ShowOnMap())
            PlaceRightOfMapWindow();
    });
}

void TForm1::ListView1KeyDown(int key)
{
    if (key == Qt::Key_Delete)
        DeleteFileClick();
    if (key == Qt::Key_Return || key == Qt::Key_Enter)
        MotionClick();
}

// Only the list changes: the table, profile and file label keep what they show.
void TForm1::DeleteFileClick() { qm::RunHandler(this, [this] { files_->DeleteSelected(); }); }

void TForm1::MoveUpClick() { qm::RunHandler(this, [this] { files_->MoveSelected(-1); }); }
void TForm1::MoveDownClick() { qm::RunHandler(this, [this] { files_->MoveSelected(+1); }); }

void TForm1::MotionClick()
{
    // Events run between the files, so a second playback asked for meanwhile is not started.
    if (playing_)
        return;
    playing_ = true;
    QPointer<TForm1> self(this);
    qm::RunHandler(this, [this, &self] {
        // The list is read again at every step: files deleted or added meanwhile are respected.
        for (int i = 0; self && !closing_ && i < files_->FileCount(); ++i) {
            SetSelectedFile(i);
            matrix_->ShowProgress(i + 1, files_->FileCount());
            SelectFile();
            for (int pass = 0; pass < 101 && self && !closing_; ++pass)
                QCoreApplication::processEvents();
        }
    });
    if (self) {
        playing_ = false;
        matrix_->ShowProgress(0, 0);
    }
}
