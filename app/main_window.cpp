// Layout, menus, the file list and file selection of the main window.
#include "main_window.h"

#include "error_box.h"
#include "errors.h"
#include "links.h"
#include "map_window.h"
#include "platform.h"
#include "profile_chart.h"
#include "survey_table_view.h"
#include "widgets.h"

#include <QApplication>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <climits>

namespace {

template <typename W>
W* Place(W* widget, int left, int top, int width = -1, int height = -1)
{
    if (width < 0 || height < 0) {
        widget->adjustSize();
        widget->move(left, top);
    } else {
        widget->setGeometry(left, top, width, height);
    }
    return widget;
}

QWidget* FixedPanel(QWidget* parent, int width, int height)
{
    auto* panel = new QWidget(parent);
    if (width > 0)
        panel->setFixedWidth(width);
    if (height > 0)
        panel->setFixedHeight(height);
    return panel;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    // The layout is drawn for a compact 11-pixel interface font.
    QFont compact = font();
    compact.setPixelSize(11);
    setFont(compact);
    setWindowTitle(QStringLiteral("Quarlomet Magnetometer Viewer"));

    openFileDialog = [this] {
        return QFileDialog::getOpenFileNames(this, QStringLiteral("Open"), QString(), QStringLiteral("csv (*.csv *.CSV)"));
    };
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

    BuildMenus();
    BuildFilesGroup();
    BuildProfileGroup();
    layout->addWidget(GroupBox2);
    layout->addWidget(GroupBox1, 1);
    ConnectHandlers();

    // Design size and place; the show handler moves the window right of the map window.
    resize(936, 790);
    move(227, 155);
}

TForm1::~TForm1() = default;

void TForm1::SetMapWindow(TFormMapa* mapWindow)
{
    mapWindow_ = mapWindow;
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
    QMenu* help = menuBar()->addMenu(QStringLiteral("Help"));
    actManual = help->addAction(QStringLiteral("Manual"));
    actWebsite = help->addAction(QStringLiteral("Website"));
}

void TForm1::BuildFilesGroup()
{
    GroupBox2 = new QGroupBox(QStringLiteral("Files"));
    GroupBox2->setFixedHeight(249);
    auto* row = new QHBoxLayout(GroupBox2);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);

    // The file list fills the group left of the right panel; the buttons stand along its bottom.
    auto* left = new QWidget(GroupBox2);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    ListView1 = new QTreeWidget(left);
    ListView1->setColumnCount(1);
    ListView1->setHeaderLabels({QStringLiteral("File")});
    ListView1->header()->resizeSection(0, 300);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->installEventFilter(this);
    ListView1->viewport()->installEventFilter(this);
    leftLayout->addWidget(ListView1, 1);
    auto* buttons = FixedPanel(left, -1, 33);
    Button2 = Place(new QPushButton(QStringLiteral("Open"), buttons), 8, 4, 75, 25);
    Button1 = Place(new QPushButton(QStringLiteral("Close"), buttons), 288, 4, 75, 25);
    leftLayout->addWidget(buttons);
    row->addWidget(left, 1);

    Panel1 = FixedPanel(GroupBox2, 534, -1);
    auto* panelLayout = new QVBoxLayout(Panel1);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    auto* labels = new QWidget(Panel1);
    Label4 = Place(new QLabel(QStringLiteral("file"), labels), 16, 8);
    Label4->setFixedWidth(260);
    Label3 = Place(new qm::LinkLabel(QStringLiteral("Buy a magnetometer"), labels), 280, 8);
    Label2 = Place(new qm::LinkLabel(QStringLiteral("Купить магнитометр"), labels), 408, 8);
    panelLayout->addWidget(labels, 1);
    AdvListView1 = new qm::AdvListView(Panel1);
    AdvListView1->setFixedHeight(88);
    panelLayout->addWidget(AdvListView1);
    Panel2 = FixedPanel(Panel1, -1, 111);
    BuildPositionPanel(Panel2);
    panelLayout->addWidget(Panel2);
    row->addWidget(Panel1);
}

void TForm1::BuildPositionPanel(QWidget* panel)
{
    Button5 = Place(new QPushButton(QStringLiteral("del"), panel), 0, 0, 49, 17);
    lblLon = Place(new QLabel(QStringLiteral("Latitude: "), panel), 8, 28);
    lblLat = Place(new QLabel(QStringLiteral("Longitude: "), panel), 8, 50);
    const QString latStart = QStringLiteral("56.751655");
    const QString lonStart = QStringLiteral("37.202829");
    edtLat = Place(new QLineEdit(latStart, panel), 88, 16, 81, 21);
    edtLat2 = Place(new QLineEdit(latStart, panel), 176, 16, 81, 21);
    lad = Place(new QLineEdit(latStart, panel), 264, 16, 81, 21);
    edtLon = Place(new QLineEdit(lonStart, panel), 88, 42, 81, 21);
    edtLon2 = Place(new QLineEdit(lonStart, panel), 176, 42, 81, 21);
    lod = Place(new QLineEdit(lonStart, panel), 264, 42, 81, 21);
    lad->setToolTip(QStringLiteral("Latitud"));
    lod->setToolTip(QStringLiteral("Logitud"));
    Button4 = Place(new QPushButton(QStringLiteral("Map"), panel), 8, 80, 75, 25);

    rgTipoMapa = Place(new QGroupBox(QStringLiteral("&Map View: "), panel), 384, 6, 129, 97);
    rgTipoMapa->setToolTip(QStringLiteral("Tipo de mapa"));
    rgTipoMapaItems = new QButtonGroup(rgTipoMapa);
    auto* radios = new QVBoxLayout(rgTipoMapa);
    radios->setContentsMargins(4, 2, 2, 2);
    radios->setSpacing(0);
    const char* types[] = {"G_NORMAL_MAP", "G_SATELLITE_MAP", "G_HYBRID_MAP", "G_PHYSICAL_MAP"};
    QFont small = rgTipoMapa->font();
    small.setPixelSize(10);
    for (int i = 0; i < 4; ++i) {
        auto* radio = new QRadioButton(QString::fromLatin1(types[i]), rgTipoMapa);
        radio->setFont(small);
        rgTipoMapaItems->addButton(radio, i);
        radios->addWidget(radio);
    }
    rgTipoMapaItems->button(2)->setChecked(true);

    // The map controls to put on the map; kept as a hidden list, ticked by the map window.
    clControls = Place(new QListWidget(panel), 408, 6, 121, 99);
    clControls->setToolTip(QStringLiteral("Controles visibles sobre el mapa"));
    const char* controls[] = {"GLargeMapControl", "GSmallMapControl", "GSmallZoomControl", "GScaleControl",
                              "GMapTypeControl", "GHierarchicalMapTypeControl", "GOverviewMapControl"};
    for (const char* name : controls) {
        auto* item = new QListWidgetItem(QString::fromLatin1(name), clControls);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    clControls->hide();
}

void TForm1::BuildProfileGroup()
{
    GroupBox1 = new QGroupBox(QStringLiteral("Profile"));
    auto* layout = new QVBoxLayout(GroupBox1);
    layout->setContentsMargins(2, 2, 2, 2);
    PageControl1 = new QTabWidget(GroupBox1);
    auto* line = new QWidget;
    auto* matrix = new QWidget;
    PageControl1->addTab(line, QStringLiteral("Line"));
    PageControl1->addTab(matrix, QStringLiteral("Matrix"));
    layout->addWidget(PageControl1);
    BuildLinePage(line);
    BuildMatrixPage(matrix);
}

void TForm1::BuildLinePage(QWidget* page)
{
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel3 = FixedPanel(page, 73, -1);
    Panel3->setMinimumHeight(480);
    Label8 = Place(new QLabel(QStringLiteral("Scale"), Panel3), 0, 0);
    auto makeBar = [this](int left, int top, int width, int height, int position) {
        auto* bar = new QSlider(Qt::Vertical, Panel3);
        bar->setGeometry(left, top, width, height);
        bar->setRange(0, 100000);
        bar->setInvertedAppearance(true); // position 0 at the top end
        bar->setInvertedControls(true);
        bar->setSingleStep(1);
        bar->setPageStep(10000);
        bar->setTickPosition(QSlider::TicksBothSides);
        bar->setTickInterval(10000);
        bar->setValue(position);
        return bar;
    };
    auto makeStep = [this](const char* caption, int left, int top) {
        auto* button = new QToolButton(Panel3);
        button->setText(QString::fromLatin1(caption));
        button->setGeometry(left, top, 19, 25);
        return button;
    };
    TrackBar1 = makeBar(0, 16, 33, 142, 60000);
    BitBtn1 = makeStep("^", 40, 24);
    BitBtn2 = makeStep("v", 40, 128);
    Label1 = Place(new QLabel(QStringLiteral("Scale:"), Panel3), 3, 168);
    ComboBox1 = new QComboBox(Panel3);
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->addItems({QStringLiteral("auto"), QStringLiteral("40-60"), QStringLiteral("50-55"), QStringLiteral("manual")});
    ComboBox1->setCurrentIndex(3);
    ComboBox1->setGeometry(0, 184, 65, 22);
    Label5 = Place(new QLabel(QStringLiteral("View style:"), Panel3), 0, 216);
    ComboBox2 = new QComboBox(Panel3);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->addItems({QStringLiteral("ribbon"), QStringLiteral("column"), QStringLiteral("line")});
    ComboBox2->setCurrentIndex(0);
    ComboBox2->setGeometry(0, 232, 65, 22);
    Label9 = Place(new QLabel(QStringLiteral("Scale"), Panel3), 0, 312);
    TrackBar2 = makeBar(0, 327, 33, 150, 40000);
    BitBtn3 = makeStep("^", 40, 336);
    BitBtn4 = makeStep("v", 40, 440);
    layout->addWidget(Panel3);

    Chart1 = new qm::ProfileChart(page);
    layout->addWidget(Chart1, 1);
}

void TForm1::BuildMatrixPage(QWidget* page)
{
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* controls = FixedPanel(page, 106, -1);
    Button3 = Place(new QPushButton(QStringLiteral("Draw"), controls), 16, 16, 75, 25);
    Label6 = Place(new QLabel(QStringLiteral("Balance:"), controls), 8, 64);
    SpinEdit1 = new QSpinBox(controls);
    SpinEdit1->setGeometry(8, 80, 89, 22);
    SpinEdit1->setRange(INT_MIN, INT_MAX);
    SpinEdit1->setSingleStep(5);
    SpinEdit1->setValue(0);
    SpinEdit1->setKeyboardTracking(false);
    Label7 = Place(new QLabel(QStringLiteral("Contrast:"), controls), 8, 112);
    SpinEdit2 = new QSpinBox(controls);
    SpinEdit2->setGeometry(8, 128, 89, 22);
    SpinEdit2->setRange(INT_MIN, INT_MAX);
    SpinEdit2->setSingleStep(1);
    SpinEdit2->setValue(3);
    SpinEdit2->setKeyboardTracking(false);
    CheckBox1 = Place(new QCheckBox(QStringLiteral("Blur"), controls), 8, 200, 97, 17);
    CheckBox1->setChecked(true);
    CheckBox2 = Place(new QCheckBox(QStringLiteral("Show profile"), controls), 8, 232, 97, 17);
    CheckBox2->setChecked(true);
    // Shows which file a draw or a playback is at.
    ProgressBar1 = new QProgressBar(controls);
    ProgressBar1->setGeometry(8, 264, 89, 17);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("%v of %m"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setVisible(false);
    layout->addWidget(controls);
    Image1 = new qm::ImageBox(page);
    Image1->setMinimumSize(0, 0);
    Image1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    layout->addWidget(Image1, 1);
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

    connect(AdvListView1, &qm::AdvListView::Click, this, &TForm1::AdvListView1Click);
    connect(AdvListView1, &qm::AdvListView::DoubleClick, this, &TForm1::Button4Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TForm1::Button5Click);

    connect(Chart1, &qm::ProfileChart::ClickSeries, this,
            [this](int series, int valueIndex) { Chart1ClickSeries(series, valueIndex); });
    connect(Chart1, &qm::ProfileChart::DoubleClicked, this, &TForm1::Button4Click);
    connect(ComboBox1, &QComboBox::currentTextChanged, this, &TForm1::ComboBox1Change);
    connect(ComboBox2, &QComboBox::currentTextChanged, this, &TForm1::ComboBox1Change);
    connect(TrackBar1, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(TrackBar2, &QSlider::valueChanged, this, &TForm1::TrackBar1Change);
    connect(BitBtn1, &QToolButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QToolButton::clicked, this, &TForm1::BitBtn2Click);
    connect(BitBtn3, &QToolButton::clicked, this, &TForm1::BitBtn3Click);
    connect(BitBtn4, &QToolButton::clicked, this, &TForm1::BitBtn4Click);

    Chart1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Chart1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowImageMenu(Chart1, at, [this] { return ChartImage(); }, QStringLiteral("profile.png"));
    });
    Image1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Image1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        ShowImageMenu(Image1, at, [this] { return Image1->Picture(); }, QStringLiteral("matrix.png"));
    });

    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(SpinEdit1, &QSpinBox::valueChanged, this, &TForm1::SpinEditChange);
    connect(SpinEdit2, &QSpinBox::valueChanged, this, &TForm1::SpinEditChange);
}

QStringList TForm1::Files() const
{
    QStringList files;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        files << ListView1->topLevelItem(i)->text(0);
    return files;
}

int TForm1::SelectedFile() const
{
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.first());
}

void TForm1::SetSelectedFile(int index)
{
    if (index < 0 || index >= ListView1->topLevelItemCount()) {
        ListView1->clearSelection();
        return;
    }
    // Selected and focused, as a click would leave it.
    ListView1->setCurrentItem(ListView1->topLevelItem(index));
}

void TForm1::SetBalance(std::uint16_t balance)
{
    balance_ = balance;
    // Showing the value is no change by the user: it starts no draw.
    settingBalanceBox_ = true;
    SpinEdit1->setValue(balance);
    settingBalanceBox_ = false;
}

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
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QApplication::quit();
}

void TForm1::Button2Click()
{
    qm::RunHandler(this, [this] { OpenFiles(true); });
}

void TForm1::AddFileClick()
{
    qm::RunHandler(this, [this] { OpenFiles(false); });
}

void TForm1::OpenFiles(bool replace)
{
    AppendFiles(openFileDialog(), replace);
}

void TForm1::AppendFiles(const QStringList& paths, bool replace)
{
    // A cancelled dialog changes nothing: the list and the baseline stay as they were.
    if (paths.isEmpty())
        return;
    if (replace) {
        SetBalance(0);
        ListView1->clear();
    }
    for (const QString& path : paths)
        new QTreeWidgetItem(ListView1, QStringList{path});
    if (ListView1->topLevelItemCount() > 0) {
        SetSelectedFile(0);
        SelectFile();
    }
}

void TForm1::OpenPaths(const QStringList& paths)
{
    qm::RunHandler(this, [this, &paths] { AppendFiles(paths, true); });
}

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
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths << (url.isLocalFile() ? url.toLocalFile() : url.toString());
    event->acceptProposedAction();
    AddPaths(paths);
}

QImage TForm1::ChartImage() const
{
    return Chart1->grab().toImage();
}

void TForm1::ShowImageMenu(QWidget* source, const QPoint& at, const std::function<QImage()>& picture,
                           const QString& suggestedName)
{
    QMenu menu(source);
    QAction* save = menu.addAction(QStringLiteral("Save image as..."));
    QAction* copy = menu.addAction(QStringLiteral("Copy image"));
    const QImage image = picture();
    save->setEnabled(!image.isNull());
    copy->setEnabled(!image.isNull());
    QAction* chosen = menu.exec(source->mapToGlobal(at));
    if (chosen == save)
        SaveImage(image, suggestedName);
    else if (chosen == copy)
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

void TForm1::ShowProgress(int file, int files)
{
    if (files <= 0) {
        ProgressBar1->setVisible(false);
        return;
    }
    ProgressBar1->setRange(0, files);
    ProgressBar1->setValue(file);
    ProgressBar1->setVisible(true);
}

void TForm1::ListView1Click()
{
    qm::RunHandler(this, [this] { SelectFile(); });
}

void TForm1::SelectFile()
{
    for (int i = 0; i < 3; ++i)
        Chart1->series(i).Clear();
    const int selected = SelectedFile();
    if (selected < 0)
        return;
    const QString path = ListView1->topLevelItem(selected)->text(0);
    AdvListView1->Clear();
    AdvListView1->LoadFromCsv(qm::ToFsPath(path));
    Label4->setText(qm::FileNamePart(path));
    for (int column : {1, 2, 3, 4, 6})
        AdvListView1->SetColumnWidth(column, 80);
    AdvListView1->SetColumnWidth(3, 30);
    AdvListView1->SetColumnWidth(5, 30);
    PlotProfile();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListView1 && event->type() == QEvent::KeyPress) {
        ListView1KeyDown(static_cast<QKeyEvent*>(event)->key());
        return false; // the list still sees the key
    }
    if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonRelease) {
        // The press has already moved the selection: load what it selected.
        ListView1Click();
    }
    return QMainWindow::eventFilter(watched, event);
}
