// The site map window's "Export" menu: the grid as GeoTIFF (with its QGIS style), KMZ, PNG with a
// world file, Surfer grid or XYZ, and the readings as GeoJSON, CSV or GeoPackage (with a recipe, its
// processed values beside the readings), never over a survey file of the list.
#include "site_map_window.h"
#include "error_box.h"
#include "export_name.h"
#include "file_io.h"
#include "gpkg_export.h"
#include "grid.h"
#include "platform.h"
#include "processing_runner.h"
#include "readings_export.h"
#include "site_grid_panel.h"
#include "site_extent.h"
#include "site_map_page.h"
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineView>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <vector>

namespace qm {

void SiteMapWindow::BuildExportMenu()
{
    auto* bar = new QMenuBar(this);
    QMenu* menu = bar->addMenu(QStringLiteral("Export"));
    menu->setObjectName(QStringLiteral("exportMenu"));
    struct Item {
        const char* name;
        const char* text;
        const char* caption;
        const char* file;
        const char* filter;
    };
    static const Item grids[] = {
        {"exportGeoTiff", "GeoTIFF", "Export the grid as GeoTIFF", "site.tif", "GeoTIFF (*.tif *.tiff)"},
        {"exportKmz", "KMZ (Google Earth)", "Export the grid for Google Earth", "site.kmz", "KMZ (*.kmz)"},
        {"exportPng", "PNG with world file", "Export the grid as PNG with a world file", "site.png",
         "PNG image (*.png)"},
        {"exportSurfer", "Surfer grid (GRD)", "Export the grid as a Surfer grid", "site.grd", "Surfer grid (*.grd)"},
        {"exportXyz", "XYZ text", "Export the grid as XYZ text", "site.xyz", "XYZ (*.xyz)"},
    };
    static const Item readings[] = {
        {"exportGeoJson", "Readings as GeoJSON", "Export the readings as GeoJSON", "readings.geojson",
         "GeoJSON (*.geojson *.json)"},
        {"exportCsv", "Readings as CSV", "Export the readings as CSV", "readings.csv", "CSV (*.csv)"},
        {"exportGeoPackage", "Readings as GeoPackage", "Export the readings and traverses as GeoPackage",
         "readings.gpkg", "GeoPackage (*.gpkg)"},
    };
    for (int i = 0; i < 5; ++i) {
        const Item& item = grids[i];
        gridExports_[i] = menu->addAction(QString::fromLatin1(item.text) + QStringLiteral("\u2026"), this, [this, item] {
            ExportGrid(QString::fromUtf8(item.caption), QString::fromUtf8(item.file), QString::fromUtf8(item.filter));
        });
        gridExports_[i]->setObjectName(QString::fromLatin1(item.name));
    }
    menu->addSeparator();
    for (int i = 0; i < 3; ++i) {
        const Item& item = readings[i];
        readingsExports_[i] = menu->addAction(QString::fromLatin1(item.text) + QStringLiteral("\u2026"), this, [this, item] {
            ExportReadings(QString::fromUtf8(item.caption), QString::fromUtf8(item.file),
                           QString::fromUtf8(item.filter));
        });
        readingsExports_[i]->setObjectName(QString::fromLatin1(item.name));
    }
    layout()->setMenuBar(bar);
}

void SiteMapWindow::UpdateExportMenu()
{
    // The grid's exports wait for a grid ("Grid" computes it); the readings' for a file.
    const QString why = QStringLiteral("Compute the grid first (\u201cGrid\u201d)");
    for (QAction* action : gridExports_) {
        action->setEnabled(gridPanel_->Grid() != nullptr);
        action->setToolTip(action->isEnabled() ? QString() : why);
    }
    for (QAction* action : readingsExports_)
        action->setEnabled(readings_ && !readings_->files.empty());
}

QString SiteMapWindow::SuggestedPath(const QString& name) const
{
    if (!readings_ || readings_->files.empty())
        return name;
    return QFileInfo(QString::fromStdString(Utf8Of(readings_->files.front()))).absoluteDir().filePath(name);
}

namespace {

// The viewer never writes a survey file: an export named like one of the list is refused.
void RefuseSurveyFile(const QString& path, const site::PlacedReadings& readings)
{
    const QFileInfo target(path);
    for (const std::filesystem::path& file : readings.files) {
        const QFileInfo survey(QString::fromStdString(Utf8Of(file)));
        if (survey.exists() && target.exists() && survey.canonicalFilePath() == target.canonicalFilePath())
            throw std::runtime_error(QStringLiteral("\"%1\" is a survey file of the list; choose another name")
                                         .arg(QDir::toNativeSeparators(path))
                                         .toStdString());
    }
}

// The wait cursor while an export runs on the interface thread.
struct WaitCursor {
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

void SiteMapWindow::ExportGrid(const QString& caption, const QString& name, const QString& filter)
{
    const auto grid = gridPanel_->Grid();
    if (!grid || !readings_)
        return;
    const QString typed = saveFileDialog(caption, SuggestedPath(name), filter);
    if (typed.isEmpty())
        return;
    RunHandler(this, [&] {
        // Until it succeeds, the status line tells of this export, not of an earlier one.
        SetNote(QStringLiteral("Grid not exported to %1").arg(QDir::toNativeSeparators(typed)));
        const QString path = FitExportName(typed, QLatin1Char('.') + QFileInfo(name).suffix());
        SetNote(QStringLiteral("Grid not exported to %1").arg(QDir::toNativeSeparators(path)));
        RefuseSurveyFile(path, *readings_);
        const std::filesystem::path target = ToFsPath(path);
        {
            const WaitCursor wait;
            // The menu item's format; the GeoTIFF's style takes the window's palette and range. A
            // failure throws Error, which the handler shows.
            switch (*site::GridFormatFor(ToFsPath(name))) {
            case site::GridFormat::GeoTiff:
                site::WriteGeoTiff(grid->grid, scale_, target);
                break;
            case site::GridFormat::Kmz:
                site::WriteKmz(grid->grid, scale_, target);
                break;
            case site::GridFormat::Png:
                site::WritePng(grid->grid, scale_, target);
                break;
            case site::GridFormat::SurferGrd:
                site::WriteSurferGrid(grid->grid, target);
                break;
            case site::GridFormat::Xyz:
                site::WriteXyz(grid->grid, target);
                break;
            }
        }
        SetNote(QStringLiteral("Grid exported to %1").arg(QDir::toNativeSeparators(path)));
    });
}

void SiteMapWindow::ExportReadings(const QString& caption, const QString& name, const QString& filter)
{
    if (!readings_ || readings_->files.empty())
        return;
    const QString typed = saveFileDialog(caption, SuggestedPath(name), filter);
    if (typed.isEmpty())
        return;
    RunHandler(this, [&] {
        SetNote(QStringLiteral("Readings not exported to %1").arg(QDir::toNativeSeparators(typed)));
        const QString path = FitExportName(typed, QLatin1Char('.') + QFileInfo(name).suffix());
        SetNote(QStringLiteral("Readings not exported to %1").arg(QDir::toNativeSeparators(path)));
        RefuseSurveyFile(path, *readings_);
        // The menu item's format, whatever name the user typed.
        const site::ExportFormat format = *site::ExportFormatFor(ToFsPath(name));
        site::ExportSummary summary;
        {
            const WaitCursor wait;
            // With a recipe, the processed values and the readings, as the tool writes them.
            if (format == site::ExportFormat::GeoPackage)
                ExportGeoPackage(path, summary);
            else if (processed_ && processed_->readings == readings_ && !processed_->request.recipe.steps.empty())
                ExportProcessed(ToFsPath(path), format, summary);
            else
                summary = site::ExportReadings(readings_->files, ToFsPath(path), format);
        }
        SetNote(QStringLiteral("%1 readings exported to %2")
                    .arg(GroupedCount(summary.written), QDir::toNativeSeparators(path)));
    });
}

void SiteMapWindow::SetNote(const QString& note)
{
    note_ = note;
    UpdateStatus();
}

} // namespace qm
