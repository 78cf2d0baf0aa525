// The files GIS users open directly, read back with GDAL: the GeoPackage of readings and
// traverses, the Surfer and XYZ grids, and the QGIS style beside the GeoTIFF.
#include "gpkg_export.h"
#include "grid.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qm::site;

struct TempDir {
    fs::path path = fs::temp_directory_path() / ("qm-gis-files-test-" + std::to_string(std::random_device{}()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
    std::size_t Count() const { return static_cast<std::size_t>(std::distance(fs::directory_iterator(path), {})); }
};

// Three files: "a" places four readings, "b" none, "c" one; a label in 8-bit text.
LabelledReadings ThreeFiles()
{
    LabelledReadings r;
    r.placed.files = {"a.csv", "b.csv", "c.csv"};
    const double lon[] = {37.0, 37.0001, 37.0002, 37.0003, 38.0};
    for (std::size_t i = 0; i < 5; ++i) {
        r.placed.lon.push_back(lon[i]);
        r.placed.lat.push_back(56.75 + static_cast<double>(i) * 1e-5);
        r.placed.value.push_back(50000.0 + static_cast<double>(i));
        r.placed.file.push_back(i < 4 ? 0 : 2);
        r.placed.row.push_back(i < 4 ? static_cast<std::uint32_t>(i + 1) : 3);
        r.labels.Add(i == 1 ? "Caf\xE9" : "p" + std::to_string(i));
    }
    return r;
}

std::vector<std::string> FieldNames(OGRLayer& layer)
{
    std::vector<std::string> names;
    OGRFeatureDefn* defn = layer.GetLayerDefn();
    for (int i = 0; i < defn->GetFieldCount(); ++i)
        names.push_back(std::string(defn->GetFieldDefn(i)->GetNameRef()) + ":" +
                        OGRFieldDefn::GetFieldTypeName(defn->GetFieldDefn(i)->GetType()));
    return names;
}

TEST(GisFiles, GeoPackageHoldsTheReadingsAndTheTraversesAsNumbered)
{
    const TempDir dir;
    const LabelledReadings readings = ThreeFiles();
    // Processed: reading 2 a gap, reading 3 a spike.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> value = {1, 2, nan, 4, 5};
    const std::vector<std::uint8_t> spike = {0, 0, 0, 1, 0};
    const ProcessedValues processed{value, spike};
    // Four traverses: [0, 2), [2, 4), [4, 4) and [4, 5); the last two too short for a line.
    const std::vector<std::size_t> bounds = {0, 2, 4, 4, 5};
    const fs::path out = dir.path / "site.gpkg";
    const ExportSummary summary = WriteGeoPackage(readings, out, &processed, bounds);
    EXPECT_EQ(summary.written, 5u);
    EXPECT_EQ(summary.placedNothing, std::vector<std::filesystem::path>{"b.csv"});
    EXPECT_EQ(dir.Count(), 1u);

    GDALAllRegister();
    GDALDatasetUniquePtr ds(GDALDataset::Open(out.string().c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(ds);
    EXPECT_STREQ(ds->GetDriver()->GetDescription(), "GPKG");
    OGRLayer* points = ds->GetLayerByName("readings");
    OGRLayer* lines = ds->GetLayerByName("traverses");
    ASSERT_TRUE(points && lines);
    EXPECT_STREQ(points->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
    EXPECT_STREQ(lines->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
    EXPECT_EQ(points->GetGeomType(), wkbPoint);
    EXPECT_EQ(lines->GetGeomType(), wkbLineString);
    EXPECT_EQ(FieldNames(*points), (std::vector<std::string>{"file:String", "row:Integer", "label:String",
                                                             "value:Real", "raw:Real", "spike:Integer"}));
    EXPECT_EQ(FieldNames(*lines), (std::vector<std::string>{"file:String", "traverse:Integer", "readings:Integer",
                                                            "min:Real", "max:Real"}));
    ASSERT_EQ(points->GetFeatureCount(), 5);
    std::vector<OGRFeatureUniquePtr> p;
    while (OGRFeature* f = points->GetNextFeature())
        p.emplace_back(f);
    ASSERT_EQ(p.size(), 5u);
    const OGRPoint* first = p[0]->GetGeometryRef()->toPoint();
    EXPECT_EQ(first->getX(), 37.0);
    EXPECT_EQ(first->getY(), 56.75);
    EXPECT_STREQ(p[1]->GetFieldAsString("label"), "Caf\xC3\xA9"); // Latin-1 read as UTF-8 text
    EXPECT_TRUE(p[2]->IsFieldNull(p[2]->GetFieldIndex("value")));
    EXPECT_EQ(p[2]->GetFieldAsDouble("raw"), 50002.0);
    EXPECT_EQ(p[3]->GetFieldAsInteger("spike"), 1);
    EXPECT_STREQ(p[4]->GetFieldAsString("file"), "c.csv");
    EXPECT_EQ(p[4]->GetFieldAsInteger("row"), 3);

    ASSERT_EQ(lines->GetFeatureCount(), 2);
    OGRFeatureUniquePtr t1(lines->GetNextFeature()), t2(lines->GetNextFeature());
    EXPECT_EQ(t1->GetFieldAsInteger("traverse"), 1);
    EXPECT_EQ(t1->GetFieldAsInteger("readings"), 2);
    EXPECT_EQ(t1->GetGeometryRef()->toLineString()->getNumPoints(), 2);
    EXPECT_EQ(t1->GetFieldAsDouble("min"), 1.0);
    EXPECT_EQ(t1->GetFieldAsDouble("max"), 2.0);
    // The gap is no value of the traverse.
    EXPECT_EQ(t2->GetFieldAsInteger("traverse"), 2);
    EXPECT_EQ(t2->GetFieldAsDouble("min"), 4.0);
    EXPECT_EQ(t2->GetFieldAsDouble("max"), 4.0);
    EXPECT_STREQ(t2->GetFieldAsString("file"), "a.csv");
    ds.reset();

    // Without a recipe: the readings as they are, one traverse per file; numbers by file.
    WriteGeoPackage(readings, out);
    ds.reset(GDALDataset::Open(out.string().c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetLayerByName("readings")->GetLayerDefn()->GetFieldCount(), 4);
    lines = ds->GetLayerByName("traverses");
    ASSERT_EQ(lines->GetFeatureCount(), 1);
    OGRFeatureUniquePtr only(lines->GetNextFeature());
    EXPECT_EQ(only->GetFieldAsInteger("readings"), 4);
    EXPECT_EQ(only->GetFieldAsDouble("max"), 50003.0);
    ds.reset();

    // A failure leaves nothing under the name, and the message names the user's file.
    fs::create_directory(dir.path / "taken.gpkg");
    try {
        WriteGeoPackage(readings, dir.path / "taken.gpkg");
        ADD_FAILURE() << "written over a folder";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot write " + (dir.path / "taken.gpkg").string(), 0), 0u) << e.what();
    }
    EXPECT_EQ(dir.Count(), 2u);
}

// A small grid in zone 37N: 4 x 3 cells of 2 m, the cell (1, 1) empty.
GridResult SmallGrid()
{
    GridResult grid;
    grid.zone = 37;
    grid.epsg = 32637;
    grid.cellSize = 2;
    grid.width = 4;
    grid.height = 3;
    grid.originX = 420000;
    grid.originY = 6290006;
    for (int i = 0; i < 12; ++i)
        grid.values.push_back(50000.5f + static_cast<float>(i));
    grid.values[5] = kNoData;
    return grid;
}

TEST(GisFiles, SurferAndXyzGridsReadBackWithTheirValuesAndBlanks)
{
    const TempDir dir;
    const GridResult grid = SmallGrid();
    const ColourScale scale = GridScale(grid);
    GDALAllRegister();
    for (const char* name : {"site.grd", "site.XYZ"}) {
        SCOPED_TRACE(name);
        const fs::path path = dir.path / name;
        WriteGrid(grid, scale, path);
        GDALDatasetUniquePtr ds(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER));
        ASSERT_TRUE(ds);
        EXPECT_STREQ(ds->GetDriver()->GetDescription(), name == std::string("site.grd") ? "GS7BG" : "XYZ");
        double gt[6];
        ASSERT_EQ(ds->GetGeoTransform(gt), CE_None);
        EXPECT_DOUBLE_EQ(gt[0], 420000);
        EXPECT_DOUBLE_EQ(gt[3], 6290006);
        EXPECT_DOUBLE_EQ(gt[1], 2);
        ASSERT_EQ(ds->GetRasterXSize(), 4);
        ASSERT_EQ(ds->GetRasterYSize(), 3);
        std::vector<double> cells(12);
        ASSERT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, 4, 3, cells.data(), 4, 3, GDT_Float64, 0, 0, nullptr),
                  CE_None);
        EXPECT_EQ(cells[0], 50000.5);
        EXPECT_EQ(cells[11], 50011.5);
        if (name == std::string("site.grd")) {
            int hasBlank = 0;
            const double blank = ds->GetRasterBand(1)->GetNoDataValue(&hasBlank);
            EXPECT_TRUE(hasBlank);
            EXPECT_NEAR(blank, 1.70141e38, 1e33);
            EXPECT_EQ(cells[5], blank);
        }
    }
    // The empty cell has no line: 11 of 12.
    std::ifstream xyz(dir.path / "site.XYZ");
    std::vector<std::string> lines;
    for (std::string line; std::getline(xyz, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 11u);
    EXPECT_EQ(lines[0], "420001 6290005 50000.5");
    EXPECT_EQ(lines[5], "420005 6290003 50006.5");
}

TEST(GisFiles, GeoTiffStyleRampsThePaletteOverTheScaleRange)
{
    const TempDir dir;
    const GridResult grid = SmallGrid();
    const ColourScale scale{50001, 50009, 50003, Palette::Diverging};
    WriteGrid(grid, scale, dir.path / "site.tif");
    std::ifstream in(dir.path / "site.qml");
    const std::string qml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(qml.find("type=\"singlebandpseudocolor\" band=\"1\""), std::string::npos) << qml;
    EXPECT_NE(qml.find("minimumValue=\"50001\" maximumValue=\"50009\""), std::string::npos) << qml;
    // Dark blue at the minimum, white at the centre (not the middle of the range), dark red at the top:
    // five pieces either side.
    const std::regex item("<item value=\"([^\"]+)\" label=\"[^\"]+\" color=\"(#[0-9a-f]{6})\"");
    std::vector<std::pair<double, std::string>> stops;
    for (auto it = std::sregex_iterator(qml.begin(), qml.end(), item); it != std::sregex_iterator(); ++it)
        stops.emplace_back(std::stod((*it)[1]), (*it)[2]);
    ASSERT_EQ(stops.size(), 11u);
    EXPECT_EQ(stops.front(), (std::pair<double, std::string>{50001, "#053061"}));
    EXPECT_EQ(stops[5], (std::pair<double, std::string>{50003, "#ffffff"}));
    EXPECT_EQ(stops.back(), (std::pair<double, std::string>{50009, "#67001f"}));
    for (const auto& [value, colour] : stops) {
        const Rgb rgb = ColourOf(scale, value);
        char expected[8];
        std::snprintf(expected, sizeof expected, "#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
        EXPECT_EQ(colour, expected) << value;
    }

    // The sequential palette: nine stops evenly over the range.
    WriteGeoTiff(grid, ColourScale{0, 8, 4, Palette::Sequential}, dir.path / "seq.tiff");
    std::ifstream seq(dir.path / "seq.qml");
    const std::string sequential((std::istreambuf_iterator<char>(seq)), std::istreambuf_iterator<char>());
    EXPECT_NE(sequential.find("<item value=\"3\" label=\"3\" color=\"#2c718e\""), std::string::npos) << sequential;
    EXPECT_EQ(std::distance(std::sregex_iterator(sequential.begin(), sequential.end(), item), std::sregex_iterator()), 9);
}

} // namespace
