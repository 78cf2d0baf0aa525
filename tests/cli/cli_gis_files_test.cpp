// export and grid writing the files GIS users open directly, and what the tool reads from a
// folder: earlier exports and stray temporaries are no surveys, and files that place nothing are
// named.
#include "cli_run.h"

#include <QDir>
#include <QFile>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

namespace {

using qm::test::CliTest;
using qm::test::Reading;
using qm::test::Survey;

class CliGisFiles : public ::testing::Test, public CliTest {
protected:
    void SetUp() override { GDALAllRegister(); }

    // The examples copied into the folder `name`: fourteen surveys that grid.
    void CopyExamples(const std::string& name) const
    {
        const QDir examples(QM_EXAMPLES_DIR);
        QDir(QString::fromStdString(Path(""))).mkpath(QString::fromStdString(name));
        for (const QString& file : examples.entryList({"*.csv"}, QDir::Files))
            QFile::copy(examples.filePath(file), QString::fromStdString(Path(name + "/")) + file);
    }
};

// A survey line with column 2 given: the recipe's traverses by column 2 follow it.
std::string Line(const std::string& label, const std::string& value, const std::string& column2)
{
    return label + "," + value + "," + column2 + ",N,5645.0993,E,03712.1697";
}

TEST_F(CliGisFiles, ExportWritesAGeoPackageWithTheRecipesTraverses)
{
    Write("a.csv", Survey({Line("a1", "10", "L1"), Line("a2", "12", "L1"), Line("a3", "20", "L2"),
                           Line("a4", "30", "L2"), Line("a5", "25", "L2")}));
    Write("b.csv", Survey({Line("b1", "5", "L1")})); // one reading: traverse 3, no line
    Write("c.csv", Survey({Line("c1", "7", "L1"), Line("c2", "9", "L1")}));
    Write("r.json", R"({"recipe": "quarlomet", "version": 1, "traverses": "column2",
                        "steps": [{"op": "shift", "readings": 1}]})");
    const auto run = Call({"export", "--recipe", "r.json", "a.csv", "b.csv", "c.csv", "-o", "site.gpkg"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "readings: 8 written, 0 without a usable position; files: 3 read, 0 left out\n");

    GDALDatasetUniquePtr gpkg(GDALDataset::Open(Path("site.gpkg").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(gpkg);
    OGRLayer* readings = gpkg->GetLayerByName("readings");
    OGRLayer* traverses = gpkg->GetLayerByName("traverses");
    ASSERT_TRUE(readings && traverses);
    EXPECT_EQ(readings->GetFeatureCount(), 8);
    EXPECT_EQ(readings->GetLayerDefn()->GetFieldIndex("spike"), 5);
    EXPECT_STREQ(readings->GetSpatialRef()->GetAuthorityCode(nullptr), "4326");
    // Shifted by one reading along each traverse: its first reading is a gap.
    OGRFeatureUniquePtr first(readings->GetNextFeature());
    EXPECT_TRUE(first->IsFieldNull(first->GetFieldIndex("value")));
    EXPECT_EQ(first->GetFieldAsDouble("raw"), 10.0);
    std::set<std::string> lines;
    while (OGRFeatureUniquePtr t{traverses->GetNextFeature()}) {
        std::string line = t->GetFieldAsString("file");
        for (const char* field : {"traverse", "readings", "min", "max"})
            line += std::string(" ") + t->GetFieldAsString(field);
        lines.insert(line);
    }
    EXPECT_EQ(lines, (std::set<std::string>{"a.csv 1 2 10 10", "a.csv 2 3 20 30", "c.csv 4 2 7 7"}));
    gpkg.reset();

    // Without a recipe the traverses are the files; a GeoPackage that cannot be put in place leaves
    // nothing under its name.
    ASSERT_EQ(Call({"export", "a.csv", "b.csv", "c.csv", "-o", "plain.GPKG"}).status, 0);
    gpkg.reset(GDALDataset::Open(Path("plain.GPKG").c_str(), GDAL_OF_VECTOR));
    ASSERT_TRUE(gpkg);
    EXPECT_EQ(gpkg->GetLayerByName("readings")->GetLayerDefn()->GetFieldCount(), 4);
    EXPECT_EQ(gpkg->GetLayerByName("traverses")->GetFeatureCount(), 2);
    gpkg.reset();
    const QDir scratch(QString::fromStdString(Path("")));
    scratch.mkpath("taken.gpkg");
    const QStringList before = scratch.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    const auto taken = Call({"export", "a.csv", "-o", "taken.gpkg"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.err.rfind("taken.gpkg: Cannot write taken.gpkg", 0), 0u) << taken.err;
    EXPECT_EQ(scratch.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before);
}

TEST_F(CliGisFiles, GridWritesSurferXyzAndAStyleBesideTheGeoTiff)
{
    ASSERT_EQ(Call({"grid", QM_EXAMPLES_DIR, "-o", "site.tif"}).status, 0);
    const std::string style = Read("site.qml");
    EXPECT_NE(style.find("singlebandpseudocolor"), std::string::npos) << style;
    GDALDatasetUniquePtr tif(GDALDataset::Open(Path("site.tif").c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(tif);
    for (const char* name : {"site.grd", "site.xyz"}) {
        const auto run = Call({"grid", QM_EXAMPLES_DIR, "-o", name});
        ASSERT_EQ(run.status, 0) << name << run.err;
        GDALDatasetUniquePtr grid(GDALDataset::Open(Path(name).c_str(), GDAL_OF_RASTER));
        ASSERT_TRUE(grid) << name;
        if (std::string(name) == "site.grd") {
            EXPECT_EQ(grid->GetRasterXSize(), tif->GetRasterXSize());
            EXPECT_EQ(grid->GetRasterYSize(), tif->GetRasterYSize());
        }
    }
    const auto unknown = Call({"grid", QM_EXAMPLES_DIR, "-o", "site.asc"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.err.find("(use .tif, .tiff, .kmz, .png, .grd or .xyz)"), std::string::npos) << unknown.err;
}

TEST_F(CliGisFiles, FoldersLeaveOutEarlierExportsAndStrayTemporaries)
{
    CopyExamples("site");
    Write("site/old.csv", "file,row,label,value,lat,lon,raw,spike,note\r\nx.csv,1,p1,1,56.7,37.2,1,0,\r\n");
    Write("site/a.csv.partial-k3x9", Survey({Reading("p1", "1")}));
    Write("site/g.tif.partial-k3x9.tif", "II*");
    const auto grid = Call({"grid", "site", "-o", "site.tif"});
    EXPECT_EQ(grid.status, 0) << grid.err;
    EXPECT_EQ(grid.err, "");
    EXPECT_NE(grid.out.find("; files: 14 read, 0 left out\n"), std::string::npos) << grid.out;
    const auto table = Call({"table", "--stats", "site"});
    EXPECT_EQ(table.out.find("old.csv"), std::string::npos) << table.out;
    EXPECT_EQ(table.out.find("partial"), std::string::npos) << table.out;
    // Given by name, such a file is still named as no survey.
    const auto named = Call({"export", "site/old.csv", "-o", "out.geojson"});
    EXPECT_EQ(named.status, 1);
    EXPECT_EQ(named.err, "site/old.csv: An export of placed readings, not a survey file.\n");
    // A header that only begins like an export's is a survey's.
    QDir(QString::fromStdString(Path(""))).mkpath("other");
    Write("other/lat.csv", "file,row,label,value,lat,longitude\r\n" + Reading("p1", "1") + "\r\n");
    EXPECT_NE(Call({"table", "--stats", "other"}).out.find("lat.csv"), std::string::npos);
}

TEST_F(CliGisFiles, FilesThatPlaceNothingAreNamed)
{
    Write("a.csv", Survey({Reading("a1", "10"), Reading("a2", "12")}));
    Write("empty.csv", "");
    Write("nofix.csv", Survey({"n1,10,10:00,?,,,", "n2,11,10:00,N,0,E,0"}));
    Write("binary.csv", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18));
    const auto run = Call({"export", "empty.csv", "a.csv", "nofix.csv", "binary.csv", "missing.csv", "-o", "out.csv"});
    EXPECT_EQ(run.status, 1); // for the missing file alone
    EXPECT_EQ(run.err, "empty.csv: no reading with a usable position\n"
                       "nofix.csv: no reading with a usable position\n"
                       "binary.csv: no reading with a usable position\n"
                       "missing.csv: File cannot be opened.\n");
    EXPECT_EQ(Call({"export", "a.csv", "empty.csv", "-o", "out.gpkg"}).err,
              "empty.csv: no reading with a usable position\n");

    CopyExamples("site");
    const auto grid = Call({"grid", "site", "nofix.csv", "-o", "site.tif"});
    EXPECT_EQ(grid.status, 0);
    EXPECT_EQ(grid.err, "nofix.csv: no reading with a usable position\n");
    // No grid at all: the files are named first, then why there is no grid.
    const auto none = Call({"grid", "nofix.csv", "missing.csv", "-o", "none.tif"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "nofix.csv: no reading with a usable position\n"
                        "missing.csv: File cannot be opened.\n"
                        "No reading has a position: there is nothing to grid.\n");
}

} // namespace
