// The readings export read back, text decoding and quoting.
#include "errors.h"
#include "readings_export.h"

#include "site_helpers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <limits>

namespace qm::site {
namespace {

using ExportTest = test::SiteScratch;

constexpr char kSurvey[] = "Label,Field nT,Time,NS,Latitude,EW,Longitude\r\n"
                           "L1,52395.02,10:00:00,N,5645.0993,E,03712.1697\r\n"
                           "L2,1,10:00:01,?,,,\r\n"
                           "Caf\xE9 \"A\",-0.5,10:00:02,S,0000.0003,W,00000.0000\r\n";

TEST_F(ExportTest, GeoJsonReadsBackAsTheGatheredReadings)
{
    const std::string survey = Write("caf\xC3\xA9.csv", kSurvey);
    const std::string missing = (dir_ / "missing.csv").string();
    const std::filesystem::path out = dir_ / "out.geojson";
    const ExportSummary summary = ExportReadings({survey, missing}, out, *ExportFormatFor(out));
    EXPECT_EQ(summary.written, 2u);
    EXPECT_EQ(summary.withoutPosition, 1u);
    ASSERT_EQ(summary.failures.size(), 1u);

    const std::string bytes = Read(out);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc.object()["type"].toString(), "FeatureCollection");
    const QJsonArray features = doc.object()["features"].toArray();
    ASSERT_EQ(features.size(), 2);

    const PlacedReadings placed = GatherReadings({survey, missing});
    for (int i = 0; i < 2; ++i) {
        const QJsonObject feature = features[i].toObject();
        const QJsonArray point = feature["geometry"].toObject()["coordinates"].toArray();
        EXPECT_EQ(point[0].toDouble(), placed.lon[i]);
        EXPECT_EQ(point[1].toDouble(), placed.lat[i]);
        const QJsonObject properties = feature["properties"].toObject();
        EXPECT_EQ(properties["value"].toDouble(), placed.value[i]);
        EXPECT_EQ(properties["row"].toInt(), static_cast<int>(placed.row[i]));
        // The file name is valid UTF-8 and stays so.
        EXPECT_EQ(properties["file"].toString().toStdString(), survey);
    }
    EXPECT_EQ(features[0].toObject()["properties"].toObject()["label"].toString(), "L1");
    // A label in 8-bit text that is not UTF-8 reads as Latin-1; quotes survive.
    EXPECT_EQ(features[1].toObject()["properties"].toObject()["label"].toString(), QString::fromUtf8("Caf\u00E9 \"A\""));
    // Near the equator the readout writes "5E-6", and "0" for a western zero: the same numbers here.
    EXPECT_NE(bytes.find("[0,-5e-06]"), std::string::npos) << bytes;
}

TEST_F(ExportTest, CsvQuotesWhatNeedsItAndFailuresLeaveNoFile)
{
    const std::string survey = Write("a,b.csv", kSurvey);
    const std::filesystem::path out = dir_ / "OUT.CSV";
    ASSERT_EQ(ExportFormatFor(out), ExportFormat::Csv);
    ExportReadings({survey}, out, *ExportFormatFor(out));
    EXPECT_EQ(Read(out), "file,row,label,value,lat,lon\r\n"
                         "\"" + survey + "\",1,L1,52395.02,56.751655,37.2028283333333\r\n"
                         "\"" + survey + "\",3,\"Caf\xE9 \"\"A\"\"\",-0.5,-5e-06,0\r\n");

    // A cancel and an unwritable target leave nothing under the user's name, nor a temporary file.
    const std::filesystem::path cancelled = dir_ / "cancelled.geojson";
    EXPECT_THROW(ExportReadings({survey}, cancelled, ExportFormat::GeoJson, [](std::size_t, std::size_t) { return false; }),
                 Cancelled);
    const std::filesystem::path unwritable = dir_ / "no such dir" / "out.geojson";
    try {
        ExportReadings({survey}, unwritable, ExportFormat::GeoJson);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot write " + unwritable.string() + ": ", 0), 0u) << e.what();
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir_))
        ++entries;
    EXPECT_EQ(entries, 2u); // the survey and OUT.CSV

    EXPECT_EQ(CsvField("plain text"), "plain text");
    EXPECT_EQ(CsvField("line\nbreak"), "\"line\nbreak\"");
    EXPECT_EQ(JsonString("\x01\\\xC3\xA9"), "\"\\u0001\\\\\xC3\xA9\"");
    // Overlong forms and surrogates are not UTF-8: the bytes read as Latin-1.
    EXPECT_EQ(Utf8Text("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(Utf8Text("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xC2\x80");
}

TEST_F(ExportTest, GatheredReadingsWriteAsTheExportAndWithProcessedValues)
{
    const std::string survey = Write("s.csv", kSurvey);
    const std::string missing = (dir_ / "missing.csv").string();
    std::vector<std::string> column2;
    const LabelledReadings gathered =
        GatherLabelledReadings({survey, missing}, [&](const PlacedRow& r) { column2.emplace_back(r.column2); });
    EXPECT_EQ(column2, (std::vector<std::string>{"10:00:00", "10:00:02"}));
    ASSERT_EQ(gathered.placed.failures.size(), 1u);
    // Without processed values, byte for byte what the streaming export writes.
    for (const char* name : {"a.csv", "a.geojson"}) {
        const std::filesystem::path streamed = dir_ / name;
        const std::filesystem::path written = dir_ / (std::string("w") + name);
        ExportReadings({survey, missing}, streamed, *ExportFormatFor(streamed));
        const ExportSummary summary = WriteReadings(gathered, written, *ExportFormatFor(written));
        EXPECT_EQ(Read(written), Read(streamed));
        EXPECT_EQ(summary.written, 2u);
        EXPECT_EQ(summary.withoutPosition, 1u);
    }

    const std::vector<double> values{std::numeric_limits<double>::quiet_NaN(), 0.25};
    const std::vector<std::uint8_t> spikes{1, 0};
    const ProcessedValues processed{values, spikes};
    WriteReadings(gathered, dir_ / "p.csv", ExportFormat::Csv, &processed);
    EXPECT_EQ(Read(dir_ / "p.csv"), "file,row,label,value,lat,lon,raw,spike\r\n" + survey +
                                        ",1,L1,,56.751655,37.2028283333333,52395.02,1\r\n" + survey +
                                        ",3,\"Caf\xE9 \"\"A\"\"\",0.25,-5e-06,0,-0.5,0\r\n");
    WriteReadings(gathered, dir_ / "p.geojson", ExportFormat::GeoJson, &processed);
    const std::string geojson = Read(dir_ / "p.geojson");
    EXPECT_NE(geojson.find("\"label\":\"L1\",\"value\":null,\"raw\":52395.02,\"spike\":1}"), std::string::npos) << geojson;
    EXPECT_NE(geojson.find("\"value\":0.25,\"raw\":-0.5,\"spike\":0}"), std::string::npos) << geojson;
}

TEST_F(ExportTest, OneTableTellsEveryOutputFormatFromItsSuffixInAnyCase)
{
    EXPECT_EQ(ReadingsFormatFor("a.GeoJSON"), ExportFormat::GeoJson);
    EXPECT_EQ(ReadingsFormatFor("a.Json"), ExportFormat::GeoJson);
    EXPECT_EQ(ReadingsFormatFor("dir.gpkg/a.CSV"), ExportFormat::Csv);
    EXPECT_EQ(ReadingsFormatFor("a.GPKG"), ExportFormat::GeoPackage);
    EXPECT_EQ(ReadingsFormatFor("a.csv.partial-x1"), std::nullopt);
    EXPECT_EQ(ReadingsFormatFor("gpkg"), std::nullopt);
    EXPECT_EQ(GridFormatFor("a.TIFF"), GridFormat::GeoTiff);
    EXPECT_EQ(GridFormatFor("a.Grd"), GridFormat::SurferGrd);
    EXPECT_EQ(GridFormatFor("a.xyz"), GridFormat::Xyz);
    EXPECT_EQ(GridFormatFor("a.kmz"), GridFormat::Kmz);
    EXPECT_EQ(GridFormatFor("a.png"), GridFormat::Png);
    EXPECT_EQ(GridFormatFor("a.csv"), std::nullopt);
    EXPECT_EQ(GridFormatFor("a.gpkg"), std::nullopt);
}

TEST_F(ExportTest, FilesThatPlaceNothingAreToldApartFromFailures)
{
    const std::string survey = Write("s.csv", kSurvey);
    const std::string empty = Write("empty.csv", "");
    const std::string nofix = Write("nofix.csv", "Label,Field\r\nL1,1,10:00,?,,,\r\n");
    const std::string missing = (dir_ / "missing.csv").string();
    const std::vector<std::filesystem::path> files{empty, survey, missing, nofix};
    const ExportSummary summary = ExportReadings(files, dir_ / "out.csv", ExportFormat::Csv);
    EXPECT_EQ(summary.placedNothing, (std::vector<std::filesystem::path>{empty, nofix}));
    EXPECT_EQ(FilesPlacingNothing(GatherReadings(files)), summary.placedNothing);
    // The plain core writes no GeoPackage, and leaves nothing behind trying.
    EXPECT_THROW(ExportReadings(files, dir_ / "out.gpkg", ExportFormat::GeoPackage), Error);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.gpkg"));
}

} // namespace
} // namespace qm::site
