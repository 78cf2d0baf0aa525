// Batch work as a user does it: folders standing for their survey files, failures that name the
// file they concern, the map page refusing the positions the viewer refuses, and the placed
// readings exported and gridded.
#include "cli_run.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using qm::test::CliTest;
using qm::test::Reading;
using qm::test::Survey;

class CliBatch : public ::testing::Test, public CliTest {
protected:
    void SetUp() override
    {
        QDir(QString::fromStdString(Path(""))).mkpath("line/sub.csv");
        Write("line/b.CSV", Survey({Reading("b1", "50000"), Reading("b2", "50010")}));
        Write("line/a.csv", Survey({Reading("a1", "49990"), Reading("a2", "50000"), Reading("a3", "50020")}));
        Write("line/C.csv", Survey({Reading("c1", "50005"), Reading("c2", "50001")}));
        Write("line/notes.txt", "not a survey\n");
        QDir(QString::fromStdString(Path(""))).mkpath("empty");
    }
};

TEST_F(CliBatch, FailuresStartWithTheFileAsGiven)
{
    Write("line07.csv", "");
    const auto matrix = Call({"matrix", "line/a.csv", "line07.csv", "line/b.CSV", "-o", "m.png"});
    EXPECT_EQ(matrix.status, 1);
    EXPECT_EQ(matrix.err, "line07.csv: List index out of bounds (1)\n");

    // A failure met while converting the readings names the file being drawn, in a folder too.
    Write("line/d.csv", Survey({Reading("d1", "50000"), Reading("d2", "5x")}));
    EXPECT_EQ(Call({"matrix", "line", "-o", "m.png"}).err,
              "line/d.csv: '5x' is not a valid floating point value.\n");
    EXPECT_EQ(Call({"profile", "line/d.csv", "-o", "p.png"}).err,
              "line/d.csv: '5x' is not a valid floating point value.\n");

    EXPECT_EQ(Call({"profile", "no such.csv", "-o", "p.png"}).err, "no such.csv: File cannot be opened.\n");
    Write("in.ppm", "P6\n1 1\n255\n\x01\x02\x03");
    const auto unwritable = Call({"resample", "in.ppm", "no/dir/out.ppm", "--size", "2x2"});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err.rfind("no/dir/out.ppm: Cannot create file \"no/dir/out.ppm\". ", 0), 0u) << unwritable.err;
}

TEST_F(CliBatch, AFolderStandsForItsCsvFilesInNameOrder)
{
    const auto table = Call({"table", "--stats", "line"});
    EXPECT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out, "{\"file\": \"line/C.csv\", \"delimiter\": \",\", \"columns\": 7, \"rows\": 3}\n"
                         "{\"file\": \"line/a.csv\", \"delimiter\": \",\", \"columns\": 7, \"rows\": 4}\n"
                         "{\"file\": \"line/b.CSV\", \"delimiter\": \",\", \"columns\": 7, \"rows\": 3}\n");
    // A trailing separator is not doubled; folders and files mix in the order given.
    const auto mixed = Call({"table", "--stats", "line/b.CSV", "line/"});
    EXPECT_NE(mixed.out.find("\"line/b.CSV\", \"delimiter\": \",\", \"columns\": 7, \"rows\": 3}\n{\"file\": \"line/C.csv\""),
              std::string::npos) << mixed.out;

    ASSERT_EQ(Call({"matrix", "line", "-o", "folder.ppm", "--no-blur"}).status, 0);
    ASSERT_EQ(Call({"matrix", "line/C.csv", "line/a.csv", "line/b.CSV", "-o", "files.ppm", "--no-blur"}).status, 0);
    EXPECT_EQ(Read("folder.ppm"), Read("files.ppm"));

    const auto empty = Call({"matrix", "empty", "-o", "m.png"});
    EXPECT_EQ(empty.status, 1);
    EXPECT_EQ(empty.err, "empty: The folder holds no .csv files.\n");
    // The profile takes a folder only when it holds exactly one survey file.
    EXPECT_EQ(Call({"profile", "line", "-o", "p.png"}).status, 2);
}

TEST_F(CliBatch, MapRefusesWhatTheViewerRefusesUnlessRaw)
{
    const std::string templ = Write("t.html", "##MARCA##\n");
    const auto unknown = Call({"map", "-o", "page.html", "--template", templ, "--lat", "?"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_EQ(unknown.err, "Latitude \"?\" is not a position on the map.\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("page.html"))));

    EXPECT_EQ(Call({"map", "-o", "page.html", "--template", templ, "--lon", "180.5"}).err,
              "Longitude \"180.5\" is not a position on the map.\n");
    EXPECT_EQ(Call({"map", "-o", "page.html", "--template", templ, "--lat", "1e1"}).status, 1);

    EXPECT_EQ(Call({"map", "-o", "page.html", "--template", templ, "--lat", "-90", "--lon", "180"}).status, 0);
    EXPECT_EQ(Call({"map", "-o", "raw.html", "--template", templ, "--lat", "?", "--raw"}).status, 0);
    EXPECT_NE(Read("raw.html").find("GLatLng(?,37.202829)"), std::string::npos);
}

TEST_F(CliBatch, ExportWritesThePlacedReadingsAndNamesTheFileLeftOut)
{
    QDir(QString::fromStdString(Path(""))).mkpath("site");
    Write("site/a.csv", Survey({Reading("a1", "50000.5"), Reading("a2", "50010")}));
    Write("site/b.csv", Survey({"b1,50000,10:00,?,,,", Reading("b2", "49990")}));
    // A file that cannot be opened is named and left out; the others are still written.
    const auto geojson = Call({"export", "site", "line07.csv", "-o", "out.geojson"});
    EXPECT_EQ(geojson.status, 1);
    EXPECT_EQ(geojson.err, "line07.csv: File cannot be opened.\n");
    EXPECT_EQ(geojson.out, "readings: 3 written, 1 without a usable position; files: 2 read, 1 left out\n");

    const std::string bytes = Read("out.geojson");
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(bytes));
    const QJsonArray features = doc.object()["features"].toArray();
    ASSERT_EQ(features.size(), 3) << bytes;
    const QJsonObject first = features[0].toObject();
    const QJsonArray point = first["geometry"].toObject()["coordinates"].toArray();
    EXPECT_NEAR(point[0].toDouble(), 37 + 12.1697 / 60, 1e-9);
    EXPECT_NEAR(point[1].toDouble(), 56.751655, 1e-9);
    const QJsonObject properties = first["properties"].toObject();
    EXPECT_EQ(properties["file"].toString(), "site/a.csv");
    EXPECT_EQ(properties["value"].toDouble(), 50000.5);
    const QJsonObject last = features[2].toObject()["properties"].toObject();
    EXPECT_EQ(last["label"].toString(), "b2");
    EXPECT_EQ(last["row"].toInt(), 2);

    // An earlier export inside the folder is not read again as a survey file.
    ASSERT_EQ(Call({"export", "site", "line07.csv", "-o", "site/out.csv"}).status, 1);
    const auto again = Call({"export", "site", "line07.csv", "-o", "site/out.csv"});
    EXPECT_EQ(again.out, geojson.out);
    const std::string csv = Read("site/out.csv");
    EXPECT_EQ(csv.rfind("file,row,label,value,lat,lon\r\nsite/a.csv,1,a1,50000.5,56.751655,", 0), 0u) << csv;

    // A survey file is never overwritten, and an output format is never guessed.
    EXPECT_EQ(Call({"export", "site/a.csv", "-o", "site/a.csv"}).status, 2);
    EXPECT_EQ(Call({"export", "site", "-o", "site/a.csv"}).status, 2);
    EXPECT_EQ(Read("site/a.csv"), Survey({Reading("a1", "50000.5"), Reading("a2", "50010")}));
    EXPECT_EQ(Call({"export", "site", "-o", "out.txt"}).status, 2);
}

TEST_F(CliBatch, GridWritesAGeoTiffOfTheExportedReadingsAndNothingHalf)
{
    const auto grid = Call({"grid", QM_EXAMPLES_DIR, "-o", "site.tif"});
    ASSERT_EQ(grid.status, 0) << grid.err;
    GDALAllRegister();
    const GDALDatasetUniquePtr tiff(GDALDataset::Open(Path("site.tif").c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY));
    ASSERT_TRUE(tiff);
    const std::string size = std::to_string(tiff->GetRasterXSize()) + " x " + std::to_string(tiff->GetRasterYSize());
    EXPECT_EQ(grid.out.rfind("grid: " + size + " cells of ", 0), 0u) << grid.out;
    ASSERT_NE(tiff->GetSpatialRef(), nullptr);
    EXPECT_STREQ(tiff->GetSpatialRef()->GetAuthorityCode(nullptr), "32637");
    EXPECT_NE(grid.out.find("\nzone: WGS 84 / UTM zone 37N (EPSG:32637)\n"), std::string::npos) << grid.out;
    int hasNoData = 0;
    EXPECT_EQ(tiff->GetRasterBand(1)->GetNoDataValue(&hasNoData), -9999.0);
    EXPECT_TRUE(hasNoData);
    // The grid uses the very readings the export writes.
    const auto exported = Call({"export", QM_EXAMPLES_DIR, "-o", "site.csv"});
    const std::size_t written = exported.out.find(" written, ");
    ASSERT_NE(written, std::string::npos) << exported.out;
    const std::string count = exported.out.substr(10, written - 10);
    const std::size_t leftOut = exported.out.find(" without");
    const std::string without = exported.out.substr(written + 10, leftOut - written - 10);
    EXPECT_NE(grid.out.find("\nreadings: " + count + " used, " + without + " left out; files: 14 read, 0 left out\n"),
              std::string::npos) << grid.out << exported.out;

    // Refusals: a bad method is a usage error; an output that cannot be put in place leaves nothing,
    // neither the image nor its world file or coordinate system.
    const QDir scratch(QString::fromStdString(Path("")));
    const QStringList before = scratch.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    EXPECT_EQ(Call({"grid", QM_EXAMPLES_DIR, "-o", "bad.tif", "--method", "spline"}).status, 2);
    scratch.mkpath("taken.png");
    const auto taken = Call({"grid", QM_EXAMPLES_DIR, "-o", "taken.png"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_NE(taken.err.find("taken.png"), std::string::npos) << taken.err;
    EXPECT_EQ(scratch.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), before + QStringList{"taken.png"});
}

} // namespace
