// The map window: the page written from the template, shown in the embedded browser.
#include "map_window.h"

#include "error_box.h"
#include "map_page.h"
#include "text_codec.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFrame>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

#include <algorithm>
#include <filesystem>

namespace {

std::filesystem::path ToPath(const QString& path)
{
    const QByteArray utf8 = QDir::toNativeSeparators(path).toUtf8();
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

// Whether a new file can be created in `dir`: asked by creating one, which is the only answer that
// holds on every platform and file system.
bool CanCreateFilesIn(const QString& dir)
{
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral("qm-probe-XXXXXX")));
    return probe.open();
}

} // namespace

TFormMapa::TFormMapa(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FormMapa"));
    setWindowTitle(QStringLiteral("GoogleMap"));

    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(8, 8, 241, 21);

    ComboBox2 = new QComboBox(this);
    ComboBox2->setObjectName(QStringLiteral("ComboBox2"));
    ComboBox2->setGeometry(8, 40, 241, 21);
    ComboBox2->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("4")});

    // The panel is stacked above the combo boxes and covers them.
    pnlMapa = new QFrame(this);
    pnlMapa->setObjectName(QStringLiteral("pnlMapa"));
    pnlMapa->setAccessibleName(QStringLiteral("pnlMapa"));
    pnlMapa->setFrameStyle(QFrame::Panel | QFrame::Raised);
    pnlMapa->setLineWidth(1);
    pnlMapa->setGeometry(0, 0, 455, 409);
    pnlMapa->raise();

    auto* layout = new QVBoxLayout(pnlMapa);
    layout->setContentsMargins(0, 0, 0, 0);
    WebBrowser1 = new QWebEngineView(pnlMapa);
    WebBrowser1->setObjectName(QStringLiteral("WebBrowser1"));
    layout->addWidget(WebBrowser1);

    setTabOrder(ComboBox1, ComboBox2);
    setTabOrder(ComboBox2, WebBrowser1);

    connect(WebBrowser1, &QWebEngineView::loadFinished, this, &TFormMapa::WebBrowser1DocumentComplete);

    move(99, 160);
    SetOuterSize(471, 447);
}

TFormMapa::~TFormMapa() = default;

void TFormMapa::SetTemplateDir(const QString& dir)
{
    templateDir_ = dir;
}

void TFormMapa::SetPageDir(const QString& dir)
{
    pageDir_ = dir;
}

void TFormMapa::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // A spontaneous show is the window system restoring a window that was already shown.
    if (!event->spontaneous())
        FormShow();
}

void TFormMapa::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

void TFormMapa::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    pnlMapa->setGeometry(rect());
    if (outerPending_ && frameGeometry().size() != size())
        ApplyOuterSize();
}

void TFormMapa::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (outerPending_ && frameGeometry().size() != size())
        ApplyOuterSize();
}

void TFormMapa::SetOuterSize(int width, int height)
{
    outerSize_ = QSize(width, height);
    ApplyOuterSize();
}

void TFormMapa::ApplyOuterSize()
{
    const int frameWidth = frameGeometry().width() - geometry().width();
    const int frameHeight = frameGeometry().height() - geometry().height();
    // Some window systems report the frame only after the window is mapped; the size is then set
    // again once, when the frame becomes known.
    outerPending_ = frameWidth == 0 && frameHeight == 0;
    resize(std::max(0, outerSize_.width() - frameWidth), std::max(0, outerSize_.height() - frameHeight));
}

void TFormMapa::FormShow()
{
    qm::RunHandler(this, [this] {
        PageLines = std::make_unique<std::vector<std::string>>();
        FillFontList();
        ComboBox1->setEnabled(false);
        PagePath = QDir(PageDir()).filePath(QString::fromLatin1(qm::kMapPageName));
        // The map opens on the same defaults as the map page of the command-line tool.
        const qm::MapRequest defaults;
        QStringList controls;
        for (const std::string& control : defaults.controls)
            controls << qm::DecodeText(control);
        GenerateMap(defaults.mapHeight, defaults.mapWidth, controls, defaults.showMarker,
                    qm::DecodeText(defaults.latitude), qm::DecodeText(defaults.longitude),
                    qm::DecodeText(defaults.mapType));
        for (const QString& control : controls)
            emit CheckMapControl(control, true);
    });
}

void TFormMapa::FormClose()
{
    PageLines.reset();
}

void TFormMapa::WebBrowser1DocumentComplete(bool /*ok*/)
{
    qm::RunHandler(this, [this] {
        ComboBox1->setEnabled(true);
        // A page without a body (a failed load) is left alone.
        WebBrowser1->page()->runJavaScript(
            QStringLiteral("if (document.body) { document.body.style.overflow = 'hidden'; }"));
    });
}

void TFormMapa::FillFontList()
{
    QStringList names;
    QString previous;
    for (const QString& family : QFontDatabase::families()) {
        if (!names.isEmpty() && family.compare(previous, Qt::CaseInsensitive) == 0)
            continue;
        names.append(family);
        previous = family;
    }
    names.append(QStringLiteral("Default"));
    std::stable_sort(names.begin(), names.end(),
                     [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    ComboBox1->clear();
    ComboBox1->addItems(names);
}

QString TFormMapa::TemplateDir() const
{
    return templateDir_.isEmpty() ? QCoreApplication::applicationDirPath() : templateDir_;
}

QString TFormMapa::PageDir() const
{
    if (!pageDir_.isEmpty())
        return pageDir_;
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QFileInfo existingPage(QDir(exeDir).filePath(QString::fromLatin1(qm::kMapPageName)));
    if (CanCreateFilesIn(exeDir) && (!existingPage.exists() || existingPage.isWritable()))
        return exeDir;
    // An installation directory is often read-only for the user; the page then goes to the user's
    // own application data directory.
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(dataDir);
    return dataDir;
}

void TFormMapa::CopyLeafletTo(const QString& pageDir) const
{
    // The page loads the map library by a relative address, so a page written away from the
    // template needs its own copy beside it. A failed copy leaves a page without a map, not an error.
    const QDir source(QDir(TemplateDir()).filePath(QStringLiteral("leaflet")));
    if (!source.exists())
        return;
    const QDir target(QDir(pageDir).filePath(QStringLiteral("leaflet")));
    QDirIterator it(source.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString to = target.filePath(source.relativeFilePath(from));
        const QFileInfo fromInfo(from);
        const QFileInfo toInfo(to);
        if (toInfo.exists() && toInfo.size() == fromInfo.size() && toInfo.lastModified() >= fromInfo.lastModified())
            continue;
        QDir().mkpath(toInfo.absolutePath());
        QFile::remove(to);
        QFile::copy(from, to);
    }
}

void TFormMapa::GenerateMap(int mapHeight, int mapWidth, const QStringList& controls, bool showMarker,
                            const QString& latitude, const QString& longitude, const QString& mapType)
{
    SetOuterSize(frameGeometry().width(), mapHeight + 65);
    SetOuterSize(mapWidth + 50, frameGeometry().height());

    // Called before the window was ever shown: the page still gets lines and a place.
    if (!PageLines)
        PageLines = std::make_unique<std::vector<std::string>>();
    if (PagePath.isEmpty())
        PagePath = QDir(PageDir()).filePath(QString::fromLatin1(qm::kMapPageName));

    qm::MapRequest request;
    request.mapHeight = mapHeight;
    request.mapWidth = mapWidth;
    request.controls.clear();
    for (const QString& control : controls)
        request.controls.push_back(qm::EncodeText(control));
    request.showMarker = showMarker;
    request.latitude = qm::EncodeText(latitude);
    request.longitude = qm::EncodeText(longitude);
    request.mapType = qm::EncodeText(mapType);

    const QString templatePath = QDir(TemplateDir()).filePath(QString::fromLatin1(qm::kMapPageTemplateName));
    qm::GenerateMapPage(*PageLines, ToPath(templatePath), ToPath(PagePath), request);

    const QString pageDir = QFileInfo(PagePath).absolutePath();
    if (QDir(pageDir) != QDir(TemplateDir()))
        CopyLeafletTo(pageDir);
    WebBrowser1->load(QUrl::fromLocalFile(PagePath));
}
