// The site map's display made for magnetometry, with a real embedded browser offscreen: the range
// mode and palette reaching the scale and the legend's histogram, hill shading of the grid overlay,
// contours on the page, and the pointer readout's easting and northing against GDAL.
#include "platform.h"
#include "site_window_support.h"
#include "colour_range.h"
#include "display_panel.h"
#include "error_box.h"
#include "grid.h"
#include "grid_relief.h"
#include "processing_panel.h"
#include "recipe.h"
#include "site_grid_panel.h"
#include "site_map_window.h"

#include <ogr_spatialref.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>
#include <QVariantMap>
#include <QWebEngineView>

#include <cmath>
#include <memory>

using qm::site::PlacedReadings;
namespace site = qm::site;

using namespace qm::test;

namespace {

// `files` lines running north, `step` degrees apart, of `perFile` readings; the value of file f,
// row r is a bump of 60 nT in the middle of the site over a slope of 0.2 nT a row.
std::shared_ptr<PlacedReadings> Bump(int files, int perFile, double lat0, double lon0, double step)
{
    auto readings = std::make_shared<PlacedReadings>();
    for (int f = 0; f < files; ++f) {
        readings->files.push_back("line" + std::to_string(f) + ".csv");
        for (int r = 1; r <= perFile; ++r) {
            const double df = f - files / 2.0, dr = (r - perFile / 2.0) / 2;
            readings->lon.push_back(lon0 + f * step);
            readings->lat.push_back(lat0 + r * step / 2);
            readings->value.push_back(60 * std::exp(-(df * df + dr * dr) / 12.0) + 0.2 * r);
            readings->file.push_back(static_cast<std::uint32_t>(f));
            readings->row.push_back(static_cast<std::uint32_t>(r));
        }
    }
    return readings;
}

// The grid image as the page shows it, RGBA row by row.
QByteArray PageGridPixels(qm::SiteMapWindow& window, int& width, int& height)
{
    const QVariantMap rgba = RunScript(window.View(), QStringLiteral("qmSite.gridRgba()")).toMap();
    width = rgba.value("width").toInt();
    height = rgba.value("height").toInt();
    return QByteArray::fromBase64(rgba.value("data").toByteArray());
}

void Choose(QComboBox* box, const QString& text)
{
    box->setCurrentIndex(box->findText(text));
    emit box->activated(box->currentIndex());
}

} // namespace

class TestSiteDisplay : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rangeModeAndPaletteReachTheScaleAndTheLegendsHistogram();
    void hillShadingChangesTheOverlayWhereTheGridHasValuesOnly();
    void contoursArriveOnThePageAndAnIntervalTooFineIsRefused();
    void pointerReadoutMatchesGdalInUtmAndUps();
    void screenshotOfTheExampleSiteInGreyscaleWithHillShading();

private:
    bool ShowAndWait(std::shared_ptr<const PlacedReadings> readings);
    void GridShown();
    std::unique_ptr<qm::SiteMapWindow> window_;
};

void TestSiteDisplay::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    qm::SetErrorBoxHook(&RecordErrorBox);
}

void TestSiteDisplay::init()
{
    errorBoxes.clear();
    window_ = std::make_unique<qm::SiteMapWindow>();
}

void TestSiteDisplay::cleanup()
{
    window_.reset();
}

bool TestSiteDisplay::ShowAndWait(std::shared_ptr<const PlacedReadings> readings)
{
    QSignalSpy drawn(window_.get(), &qm::SiteMapWindow::ReadingsDrawn);
    window_->SetReadings(std::move(readings));
    if (!window_->isVisible())
        window_->show();
    return drawn.wait(30000);
}

void TestSiteDisplay::GridShown()
{
    QTest::mouseClick(window_->findChild<QToolButton*>("grid"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(window_->GridPanel()->Grid(), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("grid").toMap().value("loaded").toBool(), 10000);
}

void TestSiteDisplay::rangeModeAndPaletteReachTheScaleAndTheLegendsHistogram()
{
    const auto readings = Bump(10, 40, 56.75, 37.2, 0.00002);
    QVERIFY(ShowAndWait(readings));
    const std::vector<double>& values = readings->value;
    // Each mode's range over the values shown reaches the scale and the legend, and the histogram
    // beside it counts every value over that range, those beyond it in its end bins.
    const auto expectOnPage = [&](const site::ColourRange& expected) {
        const site::ColourScale& scale = window_->ColourScale();
        QVERIFY(std::abs(scale.min - expected.min) < 1e-9 && std::abs(scale.max - expected.max) < 1e-9);
        QTRY_VERIFY_WITH_TIMEOUT(!PageState(*window_).value("histogram").isNull(), 10000);
        const QVariantMap state = PageState(*window_);
        const QVariantMap legend = state.value("legend").toMap();
        QCOMPARE(legend.value("min").toDouble(), scale.min);
        QCOMPARE(legend.value("max").toDouble(), scale.max);
        const QVariantList counts = state.value("histogram").toMap().value("counts").toList();
        const double width = (scale.max - scale.min) / qm::kHistogramBins;
        const auto histogram = site::Histogram(values, scale.min - width, scale.max + width, qm::kHistogramBins + 2);
        QCOMPARE(counts.size(), qm::kHistogramBins + 2);
        double total = 0;
        for (int i = 0; i < counts.size(); ++i) {
            QCOMPARE(counts[i].toUInt(), histogram[static_cast<std::size_t>(i)]);
            total += counts[i].toDouble();
        }
        QCOMPARE(total, static_cast<double>(values.size()));
    };
    site::RangeSetting setting;
    expectOnPage(site::RangeOf(values, setting)); // the default: 2 to 98 %

    auto* mode = window_->findChild<QComboBox*>("rangeMode");
    QSignalSpy ready(window_.get(), &qm::SiteMapWindow::ColourRangeReady);
    Choose(mode, QStringLiteral("Mean \u00b1 k SD"));
    QVERIFY(ready.wait(10000));
    setting.mode = site::RangeMode::MeanSd;
    expectOnPage(site::RangeOf(values, setting)); // k = 2
    Type(window_->findChild<QLineEdit*>("sdCount"), "1");
    QVERIFY(ready.wait(10000));
    setting.k = 1;
    expectOnPage(site::RangeOf(values, setting));

    Choose(mode, QStringLiteral("Median \u00b1 N nT"));
    Type(window_->findChild<QLineEdit*>("medianNt"), "5");
    QTRY_COMPARE_WITH_TIMEOUT(window_->RangeSetting().nt, 5.0, 10000);
    QVERIFY(ready.wait(10000));
    setting.mode = site::RangeMode::MedianNt;
    setting.nt = 5;
    const site::ColourRange median = site::RangeOf(values, setting);
    QCOMPARE(median.max - median.min, 10.0);
    expectOnPage(median);

    // Percentiles typed: 10 to 90; a range the wrong way round is refused and said.
    Choose(mode, QStringLiteral("Percentiles"));
    QVERIFY(ready.wait(10000));
    Type(window_->findChild<QLineEdit*>("percentileLow"), "10");
    Type(window_->findChild<QLineEdit*>("percentileHigh"), "90");
    QTRY_COMPARE_WITH_TIMEOUT(window_->RangeSetting().high, 90.0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(window_->ColourScale().max - site::RangeOf(values, {site::RangeMode::Percentiles, 10, 90}).max) < 1e-9, 10000);
    expectOnPage(site::RangeOf(values, {site::RangeMode::Percentiles, 10, 90}));
    Type(window_->findChild<QLineEdit*>("percentileLow"), "95");
    QCOMPARE(window_->RangeSetting().low, 10.0);
    QCOMPARE(window_->findChild<QLineEdit*>("percentileLow")->text(), QString("10"));
    QVERIFY2(window_->StatusText().contains("The percentiles must run from 0 to 100"), qPrintable(window_->StatusText()));

    // Typed limits are what Min and Max are: the combo follows them.
    Type(window_->findChild<QLineEdit*>("minimum"), "-20");
    Type(window_->findChild<QLineEdit*>("maximum"), "80");
    QTRY_COMPARE_WITH_TIMEOUT(window_->ColourScale().max, 80.0, 10000);
    QCOMPARE(mode->currentText(), QString("Typed"));
    QCOMPARE(window_->RangeSetting().mode, site::RangeMode::Typed);
    expectOnPage({-20, 80, 0});

    // Greyscale: the lowest values white, the highest black, on the page's legend and the scale.
    Choose(window_->findChild<QComboBox*>("palette"), QStringLiteral("Greyscale"));
    QCOMPARE(window_->ColourScale().palette, site::Palette::Greyscale);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("legend").toMap().value("ends").toStringList(),
                              (QStringList{"rgb(255,255,255)", "rgb(0,0,0)"}), 10000);
    Choose(window_->findChild<QComboBox*>("palette"), QStringLiteral("Greyscale inverse"));
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("legend").toMap().value("ends").toStringList(),
                              (QStringList{"rgb(0,0,0)", "rgb(255,255,255)"}), 10000);
    QCOMPARE(window_->ColourScale().min, -20.0); // the range stays

    // The setting a session keeps comes back as it was given.
    qm::DisplaySetting display;
    display.palette = site::Palette::Greyscale;
    display.range = {site::RangeMode::MeanSd, 2, 98, 3, 10};
    display.shade = true;
    display.hillShade = {270, 30, 4};
    display.contours = true;
    display.contourInterval = 2.5;
    window_->SetDisplaySetting(display);
    const qm::DisplaySetting back = window_->GetDisplaySetting();
    QCOMPARE(back.palette, site::Palette::Greyscale);
    QCOMPARE(back.range.mode, site::RangeMode::MeanSd);
    QCOMPARE(back.range.k, 3.0);
    QVERIFY(back.shade && back.contours);
    QCOMPARE(back.hillShade.azimuth, 270.0);
    QCOMPARE(back.hillShade.zFactor, 4.0);
    QCOMPARE(back.contourInterval, 2.5);
    QCOMPARE(mode->currentText(), QString("Mean \u00b1 k SD"));
    QCOMPARE(qm::ParsePalette(qm::PaletteName(site::Palette::GreyscaleInverse)), site::Palette::GreyscaleInverse);
}

void TestSiteDisplay::hillShadingChangesTheOverlayWhereTheGridHasValuesOnly()
{
    QVERIFY(ShowAndWait(Bump(12, 40, 56.75, 37.2, 0.00003)));
    GridShown();
    if (QTest::currentTestFailed())
        return;
    const auto grid = window_->GridPanel()->Grid();
    int width = 0, height = 0;
    const QByteArray plain = PageGridPixels(*window_, width, height);
    QCOMPARE(width, grid->image.width);
    QCOMPARE(height, grid->image.height);
    QCOMPARE(plain.size(), width * height * 4);

    QSignalSpy updated(window_.get(), &qm::SiteMapWindow::PageUpdated);
    window_->findChild<QCheckBox*>("shade")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window_->GridPanel()->Relief()->Shade(), 30000);
    QByteArray shaded;
    QTRY_VERIFY_WITH_TIMEOUT((shaded = PageGridPixels(*window_, width, height)) != plain, 10000);
    QCOMPARE(shaded.size(), plain.size());
    std::size_t valued = 0, changed = 0;
    for (int i = 0; i < width * height; ++i) {
        const QByteArray a = plain.mid(i * 4, 4), b = shaded.mid(i * 4, 4);
        if (grid->image.values[static_cast<std::size_t>(i)] == site::kNoData) {
            QVERIFY2(a == b, qPrintable(QString("pixel %1 has no value but changed").arg(i)));
            QCOMPARE(static_cast<int>(b[3]), 0);
            continue;
        }
        ++valued;
        changed += a != b;
    }
    QVERIFY(valued > 0);
    QVERIFY2(changed > valued / 2, qPrintable(QString("%1 of %2 changed").arg(changed).arg(valued)));

    // Another light changes it again; unchecked, the plain colours are back.
    auto* azimuth = window_->findChild<QLineEdit*>("shadeAzimuth");
    Type(azimuth, "135");
    QTRY_VERIFY_WITH_TIMEOUT(window_->GridPanel()->Relief()->Shade() &&
                                 window_->GridPanel()->Relief()->Shade()->setting.azimuth == 135, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(PageGridPixels(*window_, width, height) != shaded, 10000);
    window_->findChild<QCheckBox*>("shade")->setChecked(false);
    QTRY_COMPARE_WITH_TIMEOUT(PageGridPixels(*window_, width, height), plain, 10000);
}

void TestSiteDisplay::contoursArriveOnThePageAndAnIntervalTooFineIsRefused()
{
    QVERIFY(ShowAndWait(Bump(12, 40, 56.75, 37.2, 0.00003)));
    GridShown();
    if (QTest::currentTestFailed())
        return;
    const auto grid = window_->GridPanel()->Grid();
    Type(window_->findChild<QLineEdit*>("contourInterval"), "10");
    window_->findChild<QCheckBox*>("contours")->setChecked(true);
    const std::vector<site::ContourLine> expected = site::Contours(grid->grid, 10, qm::kMaxContourVertices);
    QVERIFY(!expected.empty());
    std::size_t vertices = 0;
    for (const site::ContourLine& line : expected)
        vertices += line.lon.size();
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("contours").toMap().value("lines").toInt(),
                              static_cast<int>(expected.size()), 30000);
    QCOMPARE(PageState(*window_).value("contours").toMap().value("vertices").toULongLong(),
             static_cast<qulonglong>(vertices));

    // Hiding the grid takes its contours off the page; showing it puts them back.
    auto* show = window_->findChild<QCheckBox*>("showGrid");
    if (show) {
        show->click();
        QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("contours").toMap().value("lines").toInt(), 0, 10000);
        show->click();
        QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("contours").toMap().value("lines").toInt(),
                                  static_cast<int>(expected.size()), 10000);
    }

    // An interval too fine for the grid is refused with the reason, in the status line and the
    // error box, and the page has no contours.
    Type(window_->findChild<QLineEdit*>("contourInterval"), "0.0001");
    QTRY_VERIFY_WITH_TIMEOUT(!errorBoxes.isEmpty(), 30000);
    QVERIFY2(errorBoxes.last().contains("too fine"), qPrintable(errorBoxes.last()));
    QVERIFY2(window_->StatusText().contains("too fine"), qPrintable(window_->StatusText()));
    QVERIFY(!window_->findChild<QCheckBox*>("contours")->isChecked());
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("contours").toMap().value("lines").toInt(), 0, 10000);
}

void TestSiteDisplay::pointerReadoutMatchesGdalInUtmAndUps()
{
    struct Case {
        double lat;
        double lon;
        const char* zone;
        int epsg;
    };
    for (const Case& c : {Case{56.75, 37.2, "UTM zone 37N", 32637}, Case{84.5, 20.0, "UPS North", 32661}}) {
        QVERIFY2(ShowAndWait(Bump(6, 20, c.lat, c.lon, 0.0001)), c.zone);
        QWidget* target = window_->View()->focusProxy();
        QVERIFY(target);
        // The zone is found on a worker: the pointer moves until the readout names it.
        const QPoint centre(window_->View()->width() / 3, window_->View()->height() / 2);
        QVariantMap pointer;
        for (int k = 0; k < 100 && !pointer.value("text").toString().contains(c.zone); ++k) {
            QTest::mouseMove(target, centre + QPoint(k % 2, 0));
            QTest::qWait(50);
            pointer = PageState(*window_).value("pointer").toMap();
        }
        const QString text = pointer.value("text").toString();
        QVERIFY2(text.contains(c.zone), qPrintable(text));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral(": (-?[0-9.]+) E, (-?[0-9.]+) N")).match(text);
        QVERIFY2(m.hasMatch(), qPrintable(text));

        OGRSpatialReference wgs84, zone;
        wgs84.importFromEPSG(4326);
        zone.importFromEPSG(c.epsg);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        zone.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> project(OGRCreateCoordinateTransformation(&wgs84, &zone));
        double x = pointer.value("lon").toDouble(), y = pointer.value("lat").toDouble();
        QVERIFY(std::abs(y - c.lat) < 0.1 && std::abs(x - c.lon) < 0.1);
        QVERIFY(project->Transform(1, &x, &y));
        QVERIFY2(std::abs(m.captured(1).toDouble() - x) <= 0.051, qPrintable(QString("%1 %2").arg(text).arg(x, 0, 'f', 3)));
        QVERIFY2(std::abs(m.captured(2).toDouble() - y) <= 0.051, qPrintable(QString("%1 %2").arg(text).arg(y, 0, 'f', 3)));
        // The latitude and longitude come first, to six decimals.
        QVERIFY2(text.startsWith(QStringLiteral("%1\u00b0 N, ").arg(pointer.value("lat").toDouble(), 0, 'f', 6)),
                 qPrintable(text));
    }

    // The distance measure: two clicks, the great-circle metres between them.
    QWidget* target = window_->View()->focusProxy();
    window_->findChild<QToolButton*>("measure")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(PageState(*window_).value("measure").toMap().value("on").toBool(), 10000);
    const QPoint a(100, 200), b(300, 260);
    QTest::mouseClick(target, Qt::LeftButton, {}, a);
    QTest::mouseClick(target, Qt::LeftButton, {}, b);
    QTRY_COMPARE_WITH_TIMEOUT(PageState(*window_).value("measure").toMap().value("points").toInt(), 2, 10000);
    const QVariantMap measure = PageState(*window_).value("measure").toMap();
    const QVariantList path = measure.value("path").toList();
    QCOMPARE(path.size(), 2);
    const double rad = M_PI / 180, lat1 = path[0].toList()[0].toDouble() * rad, lon1 = path[0].toList()[1].toDouble() * rad,
                 lat2 = path[1].toList()[0].toDouble() * rad, lon2 = path[1].toList()[1].toDouble() * rad;
    const double h = std::pow(std::sin((lat2 - lat1) / 2), 2) + std::cos(lat1) * std::cos(lat2) * std::pow(std::sin((lon2 - lon1) / 2), 2);
    const double metres = 2 * 6371008.8 * std::asin(std::sqrt(h));
    QVERIFY(metres > 1);
    QVERIFY2(std::abs(measure.value("metres").toDouble() - metres) < 1e-6 * metres,
             qPrintable(QString("%1 against %2").arg(measure.value("metres").toDouble()).arg(metres)));
    QVERIFY2(PageState(*window_).value("readout").toString().contains("Distance"), "the readout tells the distance");
    // "Zoom to file" fits the map to the selected file's readings: the westmost line, in the middle.
    window_->findChild<QToolButton*>("measure")->setChecked(false);
    const auto centreLon = [this] {
        const QVariantMap view = PageState(*window_).value("view").toMap();
        return (view.value("east").toDouble() + view.value("west").toDouble()) / 2;
    };
    QVERIFY(std::abs(centreLon() - 20.00025) < 0.00005);
    window_->SetSelection(0, 3);
    QTRY_VERIFY_WITH_TIMEOUT(window_->findChild<QToolButton*>("zoomToFile")->isEnabled(), 10000);
    window_->findChild<QToolButton*>("zoomToFile")->click();
    QTRY_VERIFY_WITH_TIMEOUT(std::abs(centreLon() - 20.0) < 0.00001, 10000);
    window_->SetSelection(-1, -1);
    QVERIFY(!window_->findChild<QToolButton*>("zoomToFile")->isEnabled());
}

// The README's picture of the example site in greyscale with hill shading, drawn when
// QM_DISPLAY_SCREENSHOT names the file to write (scripts/screenshots runs it under a virtual X server).
void TestSiteDisplay::screenshotOfTheExampleSiteInGreyscaleWithHillShading()
{
    const QString out = qEnvironmentVariable("QM_DISPLAY_SCREENSHOT");
    if (out.isEmpty())
        QSKIP("QM_DISPLAY_SCREENSHOT names no file to draw");
    std::vector<std::filesystem::path> files;
    for (const QFileInfo& file : QDir(QM_EXAMPLES_DIR).entryInfoList({"line*.csv"}, QDir::Files, QDir::Name))
        files.push_back(qm::ToFsPath(file.absoluteFilePath()));
    window_->resize(1100, 800);
    QVERIFY(ShowAndWait(std::make_shared<PlacedReadings>(site::GatherReadings(files))));
    // Zero-traverse first, as a surveyor would, so that the shading shows the buried objects rather
    // than the lines' levels.
    QSignalSpy processed(window_.get(), &qm::SiteMapWindow::ProcessedDrawn);
    qm::process::Recipe recipe;
    recipe.steps = {qm::process::Step{qm::process::ZeroTraverseStep{}, true}};
    window_->GetProcessingPanel()->ReplaceRecipe(recipe, QStringLiteral("Zero-traverse"));
    QVERIFY(processed.wait(30000));
    window_->SetColourPalette(site::Palette::Greyscale);
    GridShown();
    if (QTest::currentTestFailed())
        return;
    window_->findChild<QCheckBox*>("dots")->setChecked(false);
    window_->findChild<QCheckBox*>("shade")->setChecked(true);
    QTRY_VERIFY_WITH_TIMEOUT(window_->GridPanel()->Relief()->Shade(), 30000);
    QTest::qWait(2500);
    QVERIFY(window_->grab().save(out));
}

QM_BROWSER_TEST_MAIN(TestSiteDisplay)
#include "test_site_display.moc"
