// The site grid: what GDAL reads back from the written files, and the refusals.
#include "error_text.h"
#include "grid.h"
#include "placed_readings.h"
#include "utm_points.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <numbers>
#include <random>

namespace {

namespace fs = std::filesystem;
using namespace qm::site;
using qm::test::ErrorText;

// A site in UTM zone 37N: lines 1 m apart running north, readings 0.1 m apart along them,
// walked back and forth, and a second block of lines 40 m east. The value is a plane, which
// linear interpolation reproduces exactly.
struct Site {
    std::vector<double> lon, lat, value, x, y;
    static double Plane(double x, double y) { return 50000 + 0.5 * (x - 420000) - 0.25 * (y - 6290000); }

    Site()
    {
        for (double east : {420000.0, 420040.0})
            for (int line = 0; line < 8; ++line)
                for (int i = 0; i <= 200; ++i) {
                    const double along = line % 2 ? 20.0 - i * 0.1 : i * 0.1;
                    x.push_back(east + line);
                    y.push_back(6290000 + along);
                }
        lon = x;
        lat = y;
        qm::test::UtmToWgs84(32637, lon, lat);
        for (std::size_t i = 0; i < x.size(); ++i)
            value.push_back(Plane(x[i], y[i]));
    }
};

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("qm-grid-test-" + std::to_string(std::random_device{}()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::size_t Count() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
};

TEST(SiteGrid, GeoTiffReadsBackWithZoneExtentNodataAndValuesForEveryMethod)
{
    const Site site;
    const TempDir dir;
    for (GridMethod method : {GridMethod::Linear, GridMethod::InverseDistance, GridMethod::Nearest,
                              GridMethod::Average}) {
        SCOPED_TRACE(MethodName(method));
        GridRequest request;
        request.method = method;
        const GridResult grid = ComputeGrid(site.lon, site.lat, site.value, request);
        EXPECT_EQ(grid.epsg, 32637);
        EXPECT_NEAR(grid.lineSpacing, 1.0, 0.05);
        EXPECT_DOUBLE_EQ(grid.cellSize, 0.25);
        EXPECT_DOUBLE_EQ(grid.radius, 2.0);
        EXPECT_EQ(grid.readingsUsed, site.x.size());

        const fs::path tif = dir.path / "site.tif";
        WriteGeoTiff(grid, tif);
        GDALDatasetUniquePtr ds(GDALDataset::Open(tif.string().c_str(), GDAL_OF_RASTER));
        ASSERT_TRUE(ds);
        int north = 0;
        EXPECT_EQ(ds->GetSpatialRef()->GetUTMZone(&north), 37);
        EXPECT_TRUE(north);
        int hasNoData = 0;
        GDALRasterBand* band = ds->GetRasterBand(1);
        EXPECT_EQ(band->GetNoDataValue(&hasNoData), kNoData);
        EXPECT_TRUE(hasNoData);
        EXPECT_EQ(band->GetRasterDataType(), GDT_Float32);
        double gt[6];
        ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
        const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
        std::vector<float> cells(static_cast<std::size_t>(w) * h);
        ASSERT_EQ(band->RasterIO(GF_Read, 0, 0, w, h, cells.data(), w, h, GDT_Float32, 0, 0, nullptr), CE_None);
        const auto at = [&](double x, double y) {
            const int col = static_cast<int>(std::floor((x - gt[0]) / gt[1]));
            const int row = static_cast<int>(std::floor((y - gt[3]) / gt[5]));
            EXPECT_TRUE(col >= 0 && col < w && row >= 0 && row < h) << x << " " << y;
            return col >= 0 && col < w && row >= 0 && row < h ? cells[static_cast<std::size_t>(row) * w + col]
                                                               : std::numeric_limits<float>::quiet_NaN();
        };
        // Every reading lies inside the extent, and its cell holds about its value (the plane
        // changes by at most 0.14 over a cell; nearest and average are off by up to a cell or the radius).
        const double tolerance = method == GridMethod::Linear ? 0.2 : 1.0;
        for (std::size_t i = 0; i < site.x.size(); i += 37)
            EXPECT_NEAR(at(site.x[i], site.y[i]), site.value[i], tolerance);
        // Between the two blocks, more than the radius from every reading: empty.
        EXPECT_EQ(at(420020, 6290010), kNoData);
        EXPECT_EQ(at(420009.5, 6290010), kNoData);
        EXPECT_NE(at(420008.5, 6290010), kNoData);
    }
}

TEST(SiteGrid, RefusesWhatCannotBeGriddedWithTheReason)
{
    const Site site;
    GridRequest request;
    request.cellSize = 0.001;
    const auto refusal = [&site](const GridRequest& asked) {
        return ErrorText([&] { ComputeGrid(site.lon, site.lat, site.value, asked); });
    };
    std::string message = refusal(request);
    EXPECT_NE(message.find("100000000 cells"), std::string::npos) << message;
    // Sizes whose cell counts or edges overflow are refused too, never gridded; the tiny ones
    // with the smallest size allowed.
    for (double cell : {1e-310, 1e-5, 1e300, std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()}) {
        request.cellSize = cell;
        message = refusal(request);
        EXPECT_NE(message.find(cell < 1 ? "at most 100000000 cells are allowed (a cell size of about 0.0" : "cell"),
                  std::string::npos)
            << cell << ": " << message;
    }
    request = {};
    request.radius = std::numeric_limits<double>::infinity();
    EXPECT_NE(refusal(request).find("radius"), std::string::npos);
    // A radius far beyond the site is cut to the grid's diagonal: every cell has its nearest reading.
    request.method = GridMethod::Nearest;
    request.radius = 1e300;
    GridResult grid = ComputeGrid(site.lon, site.lat, site.value, request);
    EXPECT_LT(grid.radius, 100);
    EXPECT_EQ(std::count(grid.values.begin(), grid.values.end(), kNoData), 0);
    request = {};

    // One line of readings: no triangle for linear, but nearest grids it.
    const std::span<const double> line_lon(site.lon.data(), 201), line_lat(site.lat.data(), 201),
        line_value(site.value.data(), 201);
    message = ErrorText([&] { ComputeGrid(line_lon, line_lat, line_value, {}); });
    EXPECT_NE(message.find("one straight line"), std::string::npos) << message;
    EXPECT_NE(message.find("\"nearest\" or \"average\""), std::string::npos);
    request = {};
    request.method = GridMethod::Nearest;
    EXPECT_NO_THROW(ComputeGrid(line_lon, line_lat, line_value, request));

    // A progress that answers false cancels: no grid comes back.
    request = {};
    request.progress = [](double fraction) { return fraction < 0.5; };
    EXPECT_THROW(ComputeGrid(site.lon, site.lat, site.value, request), Cancelled);

    const std::vector<double> none(3, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(ErrorText([&] { ComputeGrid(none, none, none, {}); }),
              "No reading has a position: there is nothing to grid.");

    // Readings on both sides of the 36th meridian: zones 36 and 37, the median's used and said; a
    // reading without a position is left out, and counted.
    std::vector<double> lon{35.9999, 36.0001, 36.0002, 36.0001}, lat{56, 56, 56.0001, 56.0002}, value{1, 2, 3, 4};
    grid = ComputeGrid(lon, lat, value, {});
    EXPECT_EQ(grid.zone, 37);
    EXPECT_EQ(grid.readingsLeftOut, 0u);
    ASSERT_EQ(grid.messages.size(), 1u);
    EXPECT_NE(grid.messages[0].find("zones 36 to 37"), std::string::npos) << grid.messages[0];
    lon.push_back(std::numeric_limits<double>::quiet_NaN());
    lat.push_back(56);
    value.push_back(5);
    grid = ComputeGrid(lon, lat, value, {});
    EXPECT_EQ(grid.readingsUsed, 4u);
    EXPECT_EQ(grid.readingsLeftOut, 1u);
}

TEST(SiteGrid, SouthWestReadingsTakeTheirZoneAndMethodsParse)
{
    std::vector<double> lon, lat, value;
    for (int i = 0; i < 20; ++i)
        for (int j = 0; j < 20; ++j) {
            lon.push_back(-70.5 + i * 1e-5);
            lat.push_back(-33.4 + j * 1e-6);
            value.push_back(i);
        }
    const GridResult grid = ComputeGrid(lon, lat, value, {});
    EXPECT_EQ(grid.epsg, 32719);
    EXPECT_FALSE(grid.north);
    EXPECT_GT(grid.originY, 6e6); // false northing of the southern zones

    EXPECT_EQ(ParseMethod("invdist"), GridMethod::InverseDistance);
    EXPECT_EQ(ParseMethod(MethodName(GridMethod::InverseDistance)), GridMethod::InverseDistance);
    EXPECT_EQ(ParseMethod("cubic"), std::nullopt);
}

TEST(SiteGrid, ExportsWriteCompleteFilesOrNone)
{
    const Site site;
    const GridResult grid = ComputeGrid(site.lon, site.lat, site.value, {});
    const ColourScale scale = GridScale(grid);
    const TempDir dir;

    // Written twice: the second set replaces the first, and nothing else is left beside it.
    WriteGrid(grid, scale, dir.path / "site.png");
    WriteGrid(grid, scale, dir.path / "site.png");
    for (const char* name : {"site.png", "site.pgw", "site.prj"})
        EXPECT_TRUE(fs::exists(dir.path / name)) << name;
    std::ifstream world(dir.path / "site.pgw");
    double a = 0, d = 0, b = 0, e = 0, c = 0, f = 0;
    world >> a >> d >> b >> e >> c >> f;
    EXPECT_DOUBLE_EQ(a, grid.cellSize);
    EXPECT_DOUBLE_EQ(e, -grid.cellSize);
    EXPECT_NEAR(c, grid.originX + grid.cellSize / 2, 1e-6);
    {
        // GDAL (and so QGIS) sees the PNG's zone.
        GDALDatasetUniquePtr png(GDALDataset::Open((dir.path / "site.png").string().c_str(), GDAL_OF_RASTER));
        ASSERT_TRUE(png);
        const OGRSpatialReference* srs = png->GetSpatialRef();
        ASSERT_NE(srs, nullptr);
        EXPECT_STREQ(srs->GetAuthorityCode(nullptr), "32637");
    }

    WriteGrid(grid, scale, dir.path / "site.kmz");
    GDALDatasetUniquePtr kmz(GDALDataset::Open((dir.path / "site.kmz").string().c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(kmz);
    double gt[6];
    ASSERT_EQ(kmz->GetGeoTransform(gt), CE_None);
    EXPECT_NEAR(gt[0], *std::min_element(site.lon.begin(), site.lon.end()), 1e-4);
    EXPECT_NEAR(gt[3], *std::max_element(site.lat.begin(), site.lat.end()), 1e-4);
    kmz.reset();
    EXPECT_EQ(dir.Count(), 5u);

    // Any legal name makes a KMZ, also one that holds "kmz" or "zip" early, in a folder that does.
    fs::create_directory(dir.path / "zip kmz");
    for (const char* name : {"kmz_site.kmz", "a.kmz.kmz", "zip survey.kmz"}) {
        const fs::path path = dir.path / "zip kmz" / name;
        WriteGrid(grid, scale, path);
        EXPECT_TRUE(GDALDatasetUniquePtr(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER))) << name;
    }
    fs::remove_all(dir.path / "zip kmz");

    // A directory in the way of the name, and a folder that does not exist: nothing is left.
    fs::create_directory(dir.path / "taken.tif");
    fs::create_directory(dir.path / "taken.png");
    fs::create_directory(dir.path / "taken.kmz");
    for (const char* name : {"taken.tif", "taken.png", "taken.kmz", "missing/site.tif"}) {
        const std::string message = ErrorText([&] { WriteGrid(grid, scale, dir.path / name); });
        // The message names the user's file, never the temporary one written first.
        EXPECT_EQ(message.rfind("Cannot write " + (dir.path / name).string(), 0), 0u) << message;
        EXPECT_EQ(message.find(".part"), std::string::npos) << message;
    }
    EXPECT_EQ(dir.Count(), 8u);

    // A set that cannot be put in place whole (here its .prj) leaves the files already under
    // the other names as they were.
    fs::create_directory(dir.path / "old.prj");
    for (const char* name : {"old.png", "old.pgw"})
        std::ofstream(dir.path / name) << "before";
    EXPECT_THROW(WriteGrid(grid, scale, dir.path / "old.png"), qm::Error);
    EXPECT_EQ(dir.Count(), 11u);
    for (const char* name : {"old.png", "old.pgw"}) {
        std::ifstream in(dir.path / name);
        std::string text;
        in >> text;
        EXPECT_EQ(text, "before") << name;
    }
    EXPECT_EQ(ErrorText([&] { WriteGrid(grid, scale, dir.path / "site.asc"); }),
              "Unknown grid format \".asc\": use .tif, .tiff, .kmz, .png, .grd or .xyz.");
    // A result without cells (as a default one) is no grid to write, in any format.
    for (const char* name : {"none.tif", "none.kmz", "none.png", "none.grd", "none.xyz"})
        EXPECT_EQ(ErrorText([&] { WriteGrid(GridResult{}, scale, dir.path / name); }), "There is no grid to write.")
            << name;
    EXPECT_EQ(dir.Count(), 11u);
}

} // namespace

TEST(SiteGrid, WarpedToDegreesTheGridCoversTheReadingsAndKeepsTheirValues)
{
    const Site site;
    const GridResult grid = ComputeGrid(site.lon, site.lat, site.value, {});
    const GeographicGrid warped = WarpToWgs84(grid);
    ASSERT_EQ(warped.values.size(), static_cast<std::size_t>(warped.width) * warped.height);
    const auto at = [&](double lon, double lat) {
        const int col = static_cast<int>((lon - warped.west) / (warped.east - warped.west) * warped.width);
        const int row = static_cast<int>((warped.north - lat) / (warped.north - warped.south) * warped.height);
        EXPECT_TRUE(col >= 0 && col < warped.width && row >= 0 && row < warped.height) << lon << " " << lat;
        return col >= 0 && col < warped.width && row >= 0 && row < warped.height
                   ? warped.values[static_cast<std::size_t>(row) * warped.width + col]
                   : std::numeric_limits<float>::quiet_NaN();
    };
    // A reading's pixel holds about its value (a cell or so away at most; on the grid's very edge
    // the pixel may fall outside it); the corners of the turned raster lie outside the grid and
    // between the blocks nothing is invented.
    for (std::size_t i = 0; i < site.x.size(); i += 37)
        if (site.y[i] > 6290000.5 && site.y[i] < 6290019.5) {
            EXPECT_NEAR(at(site.lon[i], site.lat[i]), site.value[i], 0.5);
        }
    EXPECT_EQ(warped.values.front(), kNoData);
    EXPECT_EQ(warped.values.back(), kNoData);
    const double midLon = (site.lon[0] + site.lon[8 * 201]) / 2 + 0.00005;
    EXPECT_EQ(at(midLon, site.lat[100]), kNoData);

    // Colours: transparent where empty; a large grid is sampled down to the side asked for.
    const std::vector<std::uint8_t> rgba = ColourPixels(warped.values, GridScale(grid));
    EXPECT_EQ(rgba[3], 0);
    const GeographicGrid small = WarpToWgs84(grid, 100);
    EXPECT_EQ(std::max(small.width, small.height), 100);
    EXPECT_DOUBLE_EQ(small.west, warped.west);
    EXPECT_EQ(ErrorText([] { WarpToWgs84(GridResult{}); }), "There is no grid to show.");
}

TEST(SiteGrid, ASiteAcrossTheAntimeridianStaysInOnePieceInDegrees)
{
    // Lines 1 m apart in UTM zone 60S either side of the 180th meridian (near 820,310 m east at
    // this latitude), so the readings' longitudes jump from 179.99... to -179.99...; both zones
    // hold the median in turn.
    const TempDir dir;
    for (double east0 : {820270.0, 820230.0}) {
        SCOPED_TRACE(east0);
        std::vector<double> lon, lat, value;
        for (int line = 0; line < 120; ++line)
            for (int i = 0; i <= 40; ++i) {
                lon.push_back(east0 + line);
                lat.push_back(8175000 + i * 0.5);
                value.push_back(line);
            }
        qm::test::UtmToWgs84(32760, lon, lat);
        ASSERT_LT(*std::min_element(lon.begin(), lon.end()), -179.9);
        ASSERT_GT(*std::max_element(lon.begin(), lon.end()), 179.9);

        const GridResult grid = ComputeGrid(lon, lat, value, {});
        EXPECT_EQ(grid.zone, east0 > 820250 ? 1 : 60);
        ASSERT_EQ(grid.messages.size(), 1u);
        EXPECT_NE(grid.messages[0].find("zones 60 to 1"), std::string::npos) << grid.messages[0];

        // West of the meridian at most 180, east beyond it, about 120 m wide, and every reading's
        // pixel holds about its value.
        const GeographicGrid warped = WarpToWgs84(grid);
        EXPECT_GE(warped.west, -180);
        EXPECT_LT(warped.west, 180);
        EXPECT_GT(warped.east, 180);
        EXPECT_NEAR((warped.east - warped.west) * 111320 * std::cos(16.5 * std::numbers::pi / 180), 120, 10);
        EXPECT_GT(warped.height, 20);
        for (std::size_t i = 0; i < lon.size(); i += 13) {
            const double east = lon[i] < warped.west ? lon[i] + 360 : lon[i];
            const int col = static_cast<int>((east - warped.west) / (warped.east - warped.west) * warped.width);
            const int row = static_cast<int>((warped.north - lat[i]) / (warped.north - warped.south) * warped.height);
            ASSERT_TRUE(col >= 0 && col < warped.width && row >= 0 && row < warped.height) << lon[i];
            const float cell = warped.values[static_cast<std::size_t>(row) * warped.width + col];
            if (lat[i] > lat[0] + 1 && lat[i] < lat[40] - 1 && value[i] > 1 && value[i] < 118) {
                EXPECT_NEAR(cell, value[i], 1.01) << lon[i];
            }
        }

        // The KMZ overlay is in one piece too: its west edge that of the readings, its east edge
        // across the antimeridian given within -180 to 180 as KML takes it (west of the west edge).
        const fs::path kmz = dir.path / "across.kmz";
        WriteKmz(grid, GridScale(grid), kmz);
        GDALDatasetUniquePtr ds(GDALDataset::Open(kmz.string().c_str(), GDAL_OF_RASTER));
        ASSERT_TRUE(ds);
        double gt[6];
        ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
        EXPECT_NEAR(gt[0], warped.west, 1e-4);
        EXPECT_NEAR(gt[0] + gt[1] * ds->GetRasterXSize(), warped.east > 180 ? warped.east - 360 : warped.east, 1e-4);
    }
}

namespace {

// Lines `spacing` degrees of longitude apart with readings `step` degrees of latitude apart.
PlacedReadings Walk(double lon0, double lat0, int lines, int perLine, double spacing, double step,
                    const std::string& name = "walk.csv")
{
    PlacedReadings readings;
    readings.files = {name};
    for (int l = 0; l < lines; ++l)
        for (int i = 0; i < perLine; ++i) {
            readings.lon.push_back(lon0 + l * spacing);
            readings.lat.push_back(lat0 + (l % 2 ? perLine - 1 - i : i) * step);
            readings.value.push_back(l + i * 0.01);
            readings.file.push_back(0);
            readings.row.push_back(static_cast<std::uint32_t>(readings.row.size() + 1));
        }
    return readings;
}

void Append(PlacedReadings& to, const PlacedReadings& from)
{
    const auto file = static_cast<std::uint32_t>(to.files.size());
    to.files.insert(to.files.end(), from.files.begin(), from.files.end());
    to.lon.insert(to.lon.end(), from.lon.begin(), from.lon.end());
    to.lat.insert(to.lat.end(), from.lat.begin(), from.lat.end());
    to.value.insert(to.value.end(), from.value.begin(), from.value.end());
    for (std::size_t i = 0; i < from.size(); ++i) {
        to.file.push_back(file + from.file[i]);
        to.row.push_back(from.row[i]);
    }
}

} // namespace

TEST(SiteGrid, DefaultsAndZonesFollowTheSite)
{
    // Lines about 1.1 m apart (1e-5 degrees of longitude at 10 degrees north), readings 0.11 m apart.
    const PlacedReadings site = Walk(20.0, 10.0, 6, 100, 1e-5, 1e-6);
    const GridResult once = ComputeGrid(site, {});
    EXPECT_NEAR(once.lineSpacing, 1.1, 0.1);

    // A line walked twice or a file copied: coincident positions leave the spacing as it was.
    PlacedReadings twice = site;
    Append(twice, site);
    const GridResult copied = ComputeGrid(twice, {});
    EXPECT_DOUBLE_EQ(copied.lineSpacing, once.lineSpacing);

    // A single line: the radius is three steps between readings, not kilometres.
    GridRequest nearest;
    nearest.method = GridMethod::Nearest;
    const GridResult line = ComputeGrid(Walk(20.0, 10.0, 1, 200, 0, 1e-4), nearest);
    EXPECT_NEAR(line.radius, 33, 1); // three steps of 11 m

    // A typed cell larger than the default gets a radius that grows with it.
    GridRequest coarse;
    coarse.cellSize = 5;
    const GridResult big = ComputeGrid(site, coarse);
    EXPECT_GE(big.radius, 10);

    // Near the poles the grid is in UPS, not in a UTM zone.
    const GridResult north = ComputeGrid(Walk(10.0, 85.0, 6, 100, 1e-4, 1e-6), {});
    EXPECT_EQ(north.epsg, 32661);
    EXPECT_EQ(ZoneName(north), "UPS North");
    const GridResult south = ComputeGrid(Walk(10.0, -81.0, 6, 100, 1e-4, 1e-6), {});
    EXPECT_EQ(south.epsg, 32761);
    EXPECT_EQ(ZoneName(once), "UTM zone 34N");
}

TEST(SiteGrid, ReadingsOnTwoContinentsAreRefusedButAcrossTheAntimeridianAreNot)
{
    PlacedReadings two = Walk(20.0, 10.0, 6, 100, 1e-5, 1e-6, "africa.csv");
    Append(two, Walk(-60.0, -10.0, 2, 100, 1e-5, 1e-6, "america.csv"));
    const std::string refused = ErrorText([&] { ComputeGrid(two, {}); });
    EXPECT_NE(refused.find("200 readings lie more than 1,000 km"), std::string::npos) << refused;
    EXPECT_NE(refused.find("the farthest in america.csv)"), std::string::npos) << refused;

    PlacedReadings across = Walk(179.9999, -16.0, 6, 100, 1e-5, 1e-6);
    for (double& lon : across.lon)
        lon = std::remainder(lon, 360.0);
    EXPECT_NO_THROW(ComputeGrid(across, {}));
}


namespace qm::site {
namespace {

// Values given apart from the readings (processed ones) grid as the readings holding them would,
// a gap (NaN) left out; values that do not fit the readings are refused.
TEST(SiteGrid, ValuesGivenApartGridAsReadingsHoldingThem)
{
    const PlacedReadings site = Walk(20.0, 10.0, 6, 100, 1e-5, 1e-6);
    std::vector<double> values(site.value.size());
    PlacedReadings holding = site;
    holding.lon.clear();
    holding.lat.clear();
    holding.value.clear();
    holding.file.clear();
    holding.row.clear();
    for (std::size_t i = 0; i < site.size(); ++i) {
        values[i] = i % 7 == 3 ? NAN : site.value[i] * 2 - 5;
        if (std::isnan(values[i]))
            continue;
        holding.lon.push_back(site.lon[i]);
        holding.lat.push_back(site.lat[i]);
        holding.value.push_back(values[i]);
        holding.file.push_back(site.file[i]);
        holding.row.push_back(site.row[i]);
    }
    const GridResult apart = ComputeGrid(site, values, {});
    const GridResult held = ComputeGrid(holding, {});
    EXPECT_EQ(apart.width, held.width);
    EXPECT_EQ(apart.values, held.values);
    values.pop_back();
    EXPECT_EQ(ErrorText([&] { ComputeGrid(site, values, {}); }), "The values given do not fit the readings.");
}

} // namespace
} // namespace qm::site
