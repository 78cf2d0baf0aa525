// The text subcommands run as a user runs them: table, value, position and map, plus help and
// usage errors.
#include "cli_run.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;
using qm::test::CliTest;
using qm::test::Reading;
using qm::test::Survey;

class Cli : public ::testing::Test, public CliTest {};

TEST_F(Cli, HelpIsOfferedForTheToolAndEverySubcommand)
{
    EXPECT_EQ(Call({"--help"}).status, 0);
    for (const char* sub : {"table", "value", "position", "resample", "matrix", "profile", "map"}) {
        const auto result = Call({sub, "--help"});
        EXPECT_EQ(result.status, 0) << sub;
        EXPECT_NE(result.out.find("Usage: quarlomet "s + sub), std::string::npos) << sub;
    }
}

TEST_F(Cli, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(Call({}).status, 2);
    EXPECT_EQ(Call({"frobnicate"}).status, 2);
    EXPECT_EQ(Call({"table"}).status, 2);
    EXPECT_EQ(Call({"value"}).status, 2);
    EXPECT_EQ(Call({"value", "--separator", ",,", "1"}).status, 2);
    EXPECT_EQ(Call({"position", "N", "5645.0993", "E"}).status, 2);
    EXPECT_EQ(Call({"map"}).status, 2);
    EXPECT_EQ(Call({"map", "-o", "x.html", "--height", "tall"}).status, 2);
    const auto result = Call({"value", "-5"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("unknown option '-5'"), std::string::npos);
}

TEST_F(Cli, TablePrintsEachFileAsOneJsonLine)
{
    const std::string a = Write("a.csv", Survey({Reading("p1", "50000.5"), "p2,\"b,c\",x,,"}));
    const auto result = Call({"table", a});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out,
              "{\"file\": \"" + a + "\", \"delimiter\": \",\", \"columns\": 7, \"rows\": ["
              "[\"Label\", \"Field\", \"Time\", \"NS\", \"Lat\", \"EW\", \"Lon\"], "
              "[\"p1\", \"50000.5\", \"10:00\", \"N\", \"5645.0993\", \"E\", \"03712.1697\"], "
              "[\"p2\", \"b,c\", \"x\", \"\"]]}\n");
}

TEST_F(Cli, TableKeepsEveryByteOfTheCells)
{
    const std::string a = Write("a.csv", "h\t1\n\xB0\"q\t\x01\\\n"s);
    const auto result = Call({"table", a});
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.out.find("[\"\xC2\xB0\\\"q\", \"\\u0001\\\\\"]"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("\"delimiter\": \"\\t\""), std::string::npos);
}

TEST_F(Cli, TableReportsTheDelimiterEachFileWasSplitAt)
{
    const std::string first = Write("first.csv", "a;b;c;d\na;b;c;d\n");
    const std::string second = Write("second.csv", "x;y\n");
    const std::string bare = Write("bare.csv", "xy\n");
    const std::string comma = Write("comma.csv", "a,b,c\n1,2,3\n");
    // Its first two lines disagree: split at the ";" its heading shows, not the "," settled before.
    const std::string semi = Write("semi.csv", "a;b;c\n1;2\n");
    const auto result = Call({"table", "--stats", bare, second, first, bare, comma, semi});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "{\"file\": \"" + bare + "\", \"delimiter\": \",\", \"columns\": 0, \"rows\": 1}\n"
                          "{\"file\": \"" + second + "\", \"delimiter\": \";\", \"columns\": 0, \"rows\": 1}\n"
                          "{\"file\": \"" + first + "\", \"delimiter\": \";\", \"columns\": 4, \"rows\": 2}\n"
                          "{\"file\": \"" + bare + "\", \"delimiter\": \";\", \"columns\": 0, \"rows\": 1}\n"
                          "{\"file\": \"" + comma + "\", \"delimiter\": \",\", \"columns\": 2, \"rows\": 2}\n"
                          "{\"file\": \"" + semi + "\", \"delimiter\": \";\", \"columns\": 1, \"rows\": 2}\n");
    // The rows are split where the report says.
    const auto rows = Call({"table", comma, semi});
    EXPECT_NE(rows.out.find("[[\"a\", \"b\", \"c\"], [\"1\", \"2\"]]"), std::string::npos) << rows.out;
    // A file without a line is split at nothing.
    EXPECT_NE(Call({"table", "--stats", Write("empty.csv", "")}).out.find("\"delimiter\": null"), std::string::npos);
}

TEST_F(Cli, TableReportsFilesThatFailAndGoesOn)
{
    const std::string a = Write("a.csv", Survey({Reading("p1", "1")}));
    const auto result = Call({"table", "--stats", "missing.csv", a});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "{\"file\": \"missing.csv\", \"error\": \"File cannot be opened\"}\n"
                          "{\"file\": \"" + a + "\", \"delimiter\": \",\", \"columns\": 7, \"rows\": 2}\n");
}

TEST_F(Cli, ValueRoundsHalvesToEvenAndReportsEachFailure)
{
    const auto result = Call({"value", "50000.5", "50001.5", " 12 ", "1E", "5\t", "1,000", "--", "-2.5"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "50000\n50002\n12\n1\n"
                          "error: '5\t' is not a valid floating point value\n"
                          "error: '1,000' is not a valid floating point value\n"
                          "-2\n");
    EXPECT_EQ(Call({"value", "7.5"}).status, 0);
}

TEST_F(Cli, ValueReadsDotsUnderAnotherSeparator)
{
    const auto result = Call({"value", "--separator", ",", "2.5", "3,5", "1.5,5"});
    EXPECT_EQ(result.out, "2\n4\nerror: '1,5,5' is not a valid floating point value\n");
}

TEST_F(Cli, PositionPrintsTheSixFieldsOfTheReadout)
{
    const auto result = Call({"position", "N", "5645.0993", "W", "03712.1697"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "5645.0993N\n56\xC2\xB0" "45'5.958\"N\n56.751655\n"
                          "03712.1697W\n37\xC2\xB0" "12'10.182\"W\n-37.2028283333333\n");
}

TEST_F(Cli, PositionWithoutAFixGivesQuestionMarks)
{
    EXPECT_EQ(Call({"position", "?", "", "", ""}).out, "?\n?\n?\n?\n?\n?\n");
}

TEST_F(Cli, PositionFailureLeavesUnreachedFieldsAtTheirStartTexts)
{
    const auto result = Call({"position", "N", "5645.0993", "E", "037"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "5645.0993N\n56.751655\n56.751655\n037E\n37.202829\n37.202829\n"
                          "error: 'E' is not a valid integer value\n");
}

// A template with every marker, some text around them, and a last line without a line end.
const std::string kTemplate = "<html>\r\n<p>##TAMANYO##</p>\n##CONTROLS##\r<!-- ##MAPTYPE## -->\n"
                              "##MARCA##\n##VENTANA##\n##TAMANYO##\n</html>";

TEST_F(Cli, MapRewritesTheMarkerLinesOfTheTemplate)
{
    const std::string templ = Write("t.html", kTemplate);
    const auto result = Call({"map", "-o", "page.html", "--template", templ, "--height", "300", "--width", "200",
                             "--control", "A", "--control", "B", "--lat", "-33.5", "--lon", "?", "--type", "T", "--raw"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Read("page.html"), "<html>\r\n<div id=\"map\" style=\"width: 200px; height: 300px\"></div>\r\n"
                                 "        map.addControl(new B());\r\n        map.addControl(new A());\r\n"
                                 "        map.setMapType(T);\r\n        var point = new GLatLng(-33.5,?);\r\n"
                                 "        var marker = new GMarker(point);\r\n        map.addOverlay(marker);\r\n"
                                 "       marker.openInfoWindowHtml(html);\r\n##TAMANYO##\r\n</html>\r\n");
}

TEST_F(Cli, MapTextsPassThroughByteForByte)
{
    const std::string templ = Write("t.html", "##MARCA##\n");
    EXPECT_EQ(Call({"map", "-o", "page.html", "--template", templ, "--lat", "56\xC2\xB0\"", "--lon", "-- x", "--raw"}).status, 0);
    EXPECT_EQ(Read("page.html"), "        var point = new GLatLng(56\xC2\xB0\",-- x);\r\n"
                                 "        var marker = new GMarker(point);\r\n        map.addOverlay(marker);\r\n");
}

TEST_F(Cli, MapWithoutMarkerOrControlsLeavesEmptyLines)
{
    const std::string templ = Write("t.html", kTemplate);
    EXPECT_EQ(Call({"map", "-o", "page.html", "--template", templ, "--no-marker"}).status, 0);
    EXPECT_EQ(Read("page.html"), "<html>\r\n<div id=\"map\" style=\"width: 400px; height: 750px\"></div>\r\n"
                                 "        map.setMapType(G_HYBRID_MAP);\r\n\r\n\r\n##TAMANYO##\r\n</html>\r\n");
}

TEST_F(Cli, MapFailsWhenNoPageCanBeMade)
{
    const std::string plain = Write("plain.html", "<html></html>\n");
    const auto none = Call({"map", "-o", "page.html", "--template", plain});
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("page.html"))));

    const auto missing = Call({"map", "-o", "page.html", "--template", "nowhere.html"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("Cannot open file \"nowhere.html\". ", 0), 0u) << missing.err;
    EXPECT_EQ(missing.err.substr(missing.err.size() - 2), ".\n");

    const std::string templ = Write("t.html", kTemplate);
    const auto unwritable = Call({"map", "-o", Path("no/such/dir/page.html"), "--template", templ});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.err.find("Cannot create file"), std::string::npos);
}

TEST_F(Cli, MapUsesTheInstalledTemplateByDefault)
{
    const auto result = Call({"map", "-o", "page.html", "--control", "GLargeMapControl"});
    EXPECT_EQ(result.status, 0) << result.err;
    const std::string page = Read("page.html");
    EXPECT_NE(page.find("        var point = new GLatLng(56.751655,37.202829);\r\n"), std::string::npos);
    EXPECT_NE(page.find("        map.addControl(new GLargeMapControl());\r\n"), std::string::npos);
    EXPECT_EQ(page.find("##"), std::string::npos);
}

} // namespace
