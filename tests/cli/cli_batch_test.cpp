// Batch work as a user does it: folders standing for their survey files, failures that name the
// file they concern, and the map page refusing the positions the viewer refuses.
#include "cli_run.h"

#include <QDir>
#include <QFile>
#include <QImage>

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

} // namespace
