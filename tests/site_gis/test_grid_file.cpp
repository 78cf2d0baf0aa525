// A grid computed into its file: one written in blocks (the limit of the cells held whole lowered)
// is the grid held whole, in every format; a failure or a cancel leaves no file.
#include "error_text.h"
#include "grid.h"
#include "utm_points.h"

#include <cpl_conv.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qm::site;
using qm::test::ErrorText;

// 40 lines 0.5 m apart and 60 m long, readings 5 cm apart along them, in UTM zone 37N, with a
// value that is no plane (so that a cell in the wrong place shows). At 5 cm cells on two threads
// the grid's 1,200 rows are gridded in three bands of blocks, none ending with a row of the
// GeoTIFF's tiles.
struct DenseSite {
    std::vector<double> lon, lat, value;
    DenseSite()
    {
        for (int line = 0; line < 40; ++line)
            for (int i = 0; i <= 1200; ++i) {
                const double x = 420000 + line * 0.5, y = 6290000 + (line % 2 ? 60.0 - i * 0.05 : i * 0.05);
                lon.push_back(x);
                lat.push_back(y);
                value.push_back(50000 + 30 * std::sin(x / 1.7) * std::cos(y / 2.3));
            }
        qm::test::UtmToWgs84(32637, lon, lat);
    }
};

struct Folder {
    fs::path path;
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

struct TempDir : Folder {
    TempDir() : Folder{fs::temp_directory_path() / ("qm-grid-file-test-" + std::to_string(std::random_device{}()))}
    {
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::string Bytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<float> TiffValues(const fs::path& path)
{
    GDALDatasetUniquePtr ds(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    if (!ds)
        return {};
    const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
    std::vector<float> values(static_cast<std::size_t>(w) * h);
    if (ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, w, h, values.data(), w, h, GDT_Float32, 0, 0, nullptr) != CE_None)
        return {};
    return values;
}

// The files inside a KMZ and their bytes (the zip's own dates may differ between two writes).
std::map<std::string, std::string> KmzEntries(const fs::path& path)
{
    const std::string root = "/vsizip/" + path.string();
    std::map<std::string, std::string> entries;
    const CPLStringList names(VSIReadDirRecursive(root.c_str()));
    for (int i = 0; i < names.size(); ++i) {
        VSILFILE* file = VSIFOpenL((root + "/" + names[i]).c_str(), "rb");
        if (!file)
            continue;
        std::string& bytes = entries[names[i]];
        char block[4096];
        for (std::size_t n; (n = VSIFReadL(block, 1, sizeof block, file)) > 0;)
            bytes.append(block, n);
        VSIFCloseL(file);
    }
    return entries;
}

// The dense site gridded at 5 cm cells into a folder of its own.
class GridInBlocks : public ::testing::Test {
protected:
    // The blocks, and so the bands, depend on the count of threads.
    static void SetUpTestSuite()
    {
        GDALAllRegister();
        CPLSetConfigOption("GDAL_NUM_THREADS", "2");
    }
    static void TearDownTestSuite() { CPLSetConfigOption("GDAL_NUM_THREADS", nullptr); }
    GridInBlocks() { request.cellSize = 0.05; }
    const DenseSite site;
    const TempDir dir;
    GridRequest request;
};

TEST_F(GridInBlocks, WrittenInBlocksIsTheWholeGridInEveryFormat)
{
    const GridResult whole = ComputeGrid(site.lon, site.lat, site.value, request);
    ASSERT_GT(whole.height, 1000);

    // The same names in two folders, since a KMZ holds its file's name.
    fs::create_directories(dir.path / "held");
    fs::create_directories(dir.path / "blocks");
    for (const std::string suffix : {".tif", ".xyz", ".grd", ".png", ".kmz"}) {
        SCOPED_TRACE(suffix);
        const fs::path held = dir.path / "held" / ("grid" + suffix), blocks = dir.path / "blocks" / ("grid" + suffix);
        WriteGrid(whole, GridScale(whole), held);
        const GridResult b = GridToFile(site.lon, site.lat, site.value, request, blocks, 0);
        EXPECT_TRUE(b.values.empty());
        EXPECT_EQ(b.width, whole.width);
        EXPECT_EQ(b.height, whole.height);
        if (suffix == ".tif") {
            const std::vector<float> written = TiffValues(blocks);
            ASSERT_EQ(written.size(), whole.values.size());
            EXPECT_EQ(std::memcmp(written.data(), whole.values.data(), written.size() * sizeof(float)), 0);
            // The colour scale read back from the file is that of the grid held whole.
            EXPECT_TRUE(Bytes(dir.path / "blocks" / "grid.qml") == Bytes(dir.path / "held" / "grid.qml"));
        } else if (suffix == ".kmz") {
            const auto entries = KmzEntries(blocks);
            EXPECT_FALSE(entries.empty());
            EXPECT_TRUE(entries == KmzEntries(held));
        } else {
            EXPECT_FALSE(Bytes(blocks).empty());
            EXPECT_TRUE(Bytes(blocks) == Bytes(held));
        }
    }
    // Every file beside the outputs too, and no temporary file left.
    const std::vector<std::string> names = Folder{dir.path / "blocks"}.Names();
    EXPECT_EQ(names, Folder{dir.path / "held"}.Names());
    EXPECT_EQ(names.size(), 9u); // .tif .qml .xyz .grd .png .pgw .prj .png.aux.xml .kmz
    for (const std::string& name : names) {
        if (name != "grid.tif" && name != "grid.kmz") {
            EXPECT_TRUE(Bytes(dir.path / "blocks" / name) == Bytes(dir.path / "held" / name)) << name;
        }
    }
}

TEST_F(GridInBlocks, AFailureOrACancelInBlocksLeavesNoFileAndKeepsAnEarlierOne)
{
    const fs::path missing = dir.path / "no such folder" / "grid.png";
    const std::string failed = ErrorText([&] { GridToFile(site.lon, site.lat, site.value, request, missing, 0); });
    EXPECT_EQ(failed.rfind("Cannot write " + missing.string() + ": ", 0), 0u) << failed;
    EXPECT_EQ(failed.find("partial"), std::string::npos) << failed; // no temporary name

    for (const std::string suffix : {".tif", ".png"}) {
        SCOPED_TRACE(suffix);
        const fs::path target = dir.path / ("grid" + suffix);
        std::ofstream(target) << "earlier";
        GridRequest stopped = request;
        stopped.progress = [](double fraction) { return fraction < 0.5; };
        EXPECT_THROW(GridToFile(site.lon, site.lat, site.value, stopped, target, 0), Cancelled);
        EXPECT_EQ(Bytes(target), "earlier");
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"grid" + suffix});
        fs::remove(target);
    }
}

// A grid in blocks that cannot be put under its name at the end (a folder is in the way) leaves
// nothing beside the folder: neither the grid's temporary GeoTIFF nor an output's partial file.
TEST_F(GridInBlocks, AWriteFailingAtTheEndLeavesNoPartialFile)
{
    for (const std::string suffix : {".tif", ".png"}) {
        SCOPED_TRACE(suffix);
        const fs::path taken = dir.path / ("taken" + suffix);
        fs::create_directory(taken);
        const std::string message = ErrorText([&] { GridToFile(site.lon, site.lat, site.value, request, taken, 0); });
        EXPECT_EQ(message.rfind("Cannot write " + taken.string() + ": ", 0), 0u) << message;
        EXPECT_EQ(message.find("partial"), std::string::npos) << message;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"taken" + suffix});
        EXPECT_TRUE(fs::is_directory(taken));
        fs::remove(taken);
    }
}

} // namespace
