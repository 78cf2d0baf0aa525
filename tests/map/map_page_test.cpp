#include "errors.h"
#include "map_page.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

// A directory of its own for each test, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = fs::temp_directory_path() /
                ("qm-map-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        fs::create_directories(path_);
    }
    ~TempDir()
    {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void WriteBytes(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A page template holding each marker once.
const Lines kTemplate{
    "<html><body>",
    "##TAMANYO##",
    "<script>",
    "  var map = new GMap2(document.getElementById(\"map\"));",
    "##CONTROLS##",
    "##MAPTYPE##",
    "##MARCA##",
    "  var html = \"here\";",
    "##VENTANA##",
    "</script></body></html>",
};

// Rewrites `lines` and returns the page as it stood at each write.
std::vector<Lines> Rewrite(Lines& lines, const qm::MapRequest& request = {})
{
    std::vector<Lines> writes;
    qm::RewriteMapPage(lines, request, [&](const Lines& page) { writes.push_back(page); });
    return writes;
}

} // namespace

TEST(TextLines, SplitsAtCrLfLoneCrAndLoneLf)
{
    EXPECT_EQ(qm::SplitTextLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(qm::SplitTextLines("a\n\r\nb"), (Lines{"a", "", "b"}));
    // LF CR is two breaks, not one.
    EXPECT_EQ(qm::SplitTextLines("a\n\rb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(qm::SplitTextLines("\r\n\r\n"), (Lines{"", ""}));
}

TEST(TextLines, LineBreakAtTheEndStartsNoFurtherLine)
{
    EXPECT_EQ(qm::SplitTextLines("a\r\n"), (Lines{"a"}));
    EXPECT_EQ(qm::SplitTextLines("a\r"), (Lines{"a"}));
    EXPECT_EQ(qm::SplitTextLines("a"), (Lines{"a"}));
    EXPECT_TRUE(qm::SplitTextLines("").empty());
}

TEST(TextLines, NulEndsTheText)
{
    EXPECT_EQ(qm::SplitTextLines(std::string("ab\r\ncd\0ef\r\ngh", 13)), (Lines{"ab", "cd"}));
    EXPECT_TRUE(qm::SplitTextLines(std::string("\0abc", 4)).empty());
}

TEST(TextLines, WritesEveryLineWithCrLfAndReplacesTheFile)
{
    TempDir dir;
    const fs::path file = dir.path() / "page.html";
    WriteBytes(file, "old content that is longer than the new one\r\n");
    qm::WriteTextLines(file, {"one", "", "thr\xE9"});
    EXPECT_EQ(ReadBytes(file), "one\r\n\r\nthr\xE9\r\n");
    EXPECT_EQ(qm::ReadTextLines(file), (Lines{"one", "", "thr\xE9"}));

    qm::WriteTextLines(file, {});
    EXPECT_EQ(ReadBytes(file), "");
}

TEST(TextLines, MissingFileNamesPathAndSystemReason)
{
    TempDir dir;
    const fs::path missing = dir.path() / "_Mapa.html";
    try {
        qm::ReadTextLines(missing);
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        const std::string expected = "Cannot open file \"" + missing.string() + "\". " +
                                     std::make_error_code(std::errc::no_such_file_or_directory).message();
        EXPECT_EQ(std::string(e.what()), expected);
    }
}

TEST(TextLines, UncreatableFileNamesPathAndSystemReason)
{
    TempDir dir;
    const fs::path page = dir.path() / "no-such-folder" / "Mapa.html";
    try {
        qm::WriteTextLines(page, {"x"});
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        const std::string expected = "Cannot create file \"" + page.string() + "\". " +
                                     std::make_error_code(std::errc::no_such_file_or_directory).message();
        EXPECT_EQ(std::string(e.what()), expected);
    }
    // A directory in the place of the page cannot be written either.
    EXPECT_THROW(qm::WriteTextLines(dir.path(), {"x"}), qm::Error);
}

TEST(RewriteMapPage, WorkedExampleGivesTheDefaultMapLines)
{
    Lines lines = kTemplate;
    EXPECT_EQ(qm::RewriteMapPage(lines, {}, nullptr), 5);
    const Lines expected{
        "<html><body>",
        "<div id=\"map\" style=\"width: 400px; height: 750px\"></div>",
        "<script>",
        "  var map = new GMap2(document.getElementById(\"map\"));",
        "        map.addControl(new GMapTypeControl());",
        "        map.addControl(new GSmallZoomControl());",
        "        map.addControl(new GLargeMapControl());",
        "        map.setMapType(G_HYBRID_MAP);",
        "        var point = new GLatLng(56.751655,37.202829);",
        "        var marker = new GMarker(point);",
        "        map.addOverlay(marker);",
        "  var html = \"here\";",
        "       marker.openInfoWindowHtml(html);",
        "</script></body></html>",
    };
    EXPECT_EQ(lines, expected);
}

TEST(RewriteMapPage, WritesThePageAfterEachStepWithTheRewritesSoFar)
{
    Lines lines = kTemplate;
    const std::vector<Lines> writes = Rewrite(lines);
    ASSERT_EQ(writes.size(), 5u);
    EXPECT_EQ(writes[0][1], "<div id=\"map\" style=\"width: 400px; height: 750px\"></div>");
    EXPECT_EQ(writes[0][4], "##CONTROLS##");
    EXPECT_EQ(writes[1].size(), kTemplate.size() + 2);
    EXPECT_EQ(writes[1][7], "##MAPTYPE##");
    EXPECT_EQ(writes[3][10], "        map.addOverlay(marker);");
    EXPECT_EQ(writes[3][12], "##VENTANA##");
    EXPECT_EQ(writes.back(), lines);
}

TEST(RewriteMapPage, MarkerInsideCommentTakesTheWholeLine)
{
    Lines lines{"<script>", "  <!-- set type: ##MAPTYPE## here --> trailing", "</script>"};
    const std::vector<Lines> writes = Rewrite(lines);
    EXPECT_EQ(writes.size(), 1u);
    EXPECT_EQ(lines, (Lines{"<script>", "        map.setMapType(G_HYBRID_MAP);", "</script>"}));
}

TEST(RewriteMapPage, LineWithTwoMarkersIsTakenByTheEarlierStep)
{
    Lines lines{"##MAPTYPE## ##MARCA##", "##VENTANA##"};
    const std::vector<Lines> writes = Rewrite(lines);
    EXPECT_EQ(writes.size(), 2u);
    EXPECT_EQ(lines, (Lines{"        map.setMapType(G_HYBRID_MAP);", "       marker.openInfoWindowHtml(html);"}));
}

TEST(RewriteMapPage, OnlyTheFirstOfARepeatedMarkerIsRewritten)
{
    Lines lines{"##TAMANYO##", "x", "a ##TAMANYO## b"};
    qm::MapRequest request;
    request.mapWidth = 12;
    request.mapHeight = -3;
    EXPECT_EQ(Rewrite(lines, request).size(), 1u);
    EXPECT_EQ(lines, (Lines{"<div id=\"map\" style=\"width: 12px; height: -3px\"></div>", "x", "a ##TAMANYO## b"}));
}

TEST(RewriteMapPage, MarkersAreCaseSignificant)
{
    Lines lines{"##mapType##", "##MAPTYPE#", "#MARCA##"};
    const Lines before = lines;
    EXPECT_TRUE(Rewrite(lines).empty());
    EXPECT_EQ(lines, before);
}

TEST(RewriteMapPage, ControlsStandInReverseOrder)
{
    Lines lines{"a", "##CONTROLS##", "b"};
    qm::MapRequest request;
    request.controls = {"A", "B", "C"};
    Rewrite(lines, request);
    EXPECT_EQ(lines, (Lines{"a", "        map.addControl(new C());", "        map.addControl(new B());",
                            "        map.addControl(new A());", "b"}));

    Lines empty{"a", "##CONTROLS##", "b"};
    request.controls.clear();
    EXPECT_EQ(Rewrite(empty, request).size(), 1u);
    EXPECT_EQ(empty, (Lines{"a", "b"}));
}

TEST(RewriteMapPage, HiddenMarkerLeavesEmptyLines)
{
    qm::MapRequest request;
    request.showMarker = false;
    Lines lines = kTemplate;
    EXPECT_EQ(Rewrite(lines, request).size(), 5u);
    EXPECT_EQ(lines.size(), kTemplate.size() - 1 + request.controls.size());
    EXPECT_EQ(lines[8], "");
    EXPECT_EQ(lines[10], "");

    Lines shown = kTemplate;
    Rewrite(shown);
    EXPECT_EQ(shown.size(), lines.size() + 2);
}

TEST(RewriteMapPage, PositionAndTypeTextsGoInUnchanged)
{
    qm::MapRequest request;
    request.latitude = "?";
    request.longitude = "?";
    request.mapType = "G_SATELLITE_MAP";
    Lines lines = kTemplate;
    Rewrite(lines, request);
    EXPECT_EQ(lines[7], "        map.setMapType(G_SATELLITE_MAP);");
    EXPECT_EQ(lines[8], "        var point = new GLatLng(?,?);");

    request.latitude.clear();
    request.longitude = "1,5";
    Lines again{"##MARCA##"};
    Rewrite(again, request);
    EXPECT_EQ(again[0], "        var point = new GLatLng(,1,5);");
}

TEST(GenerateMapPage, EmptyTemplateWritesNoPage)
{
    TempDir dir;
    WriteBytes(dir.path() / "_Mapa.html", "");
    Lines pageLines{"previous"};
    EXPECT_EQ(qm::GenerateMapPage(pageLines, dir.path() / "_Mapa.html", dir.path() / "Mapa.html", {}), 0);
    EXPECT_TRUE(pageLines.empty());
    EXPECT_FALSE(fs::exists(dir.path() / "Mapa.html"));
}

TEST(GenerateMapPage, LastLineWithoutLineEndIsWrittenWithCrLf)
{
    TempDir dir;
    WriteBytes(dir.path() / "_Mapa.html", "<p>\n##MAPTYPE##\r</p>");
    Lines pageLines;
    qm::GenerateMapPage(pageLines, dir.path() / "_Mapa.html", dir.path() / "Mapa.html", {});
    EXPECT_EQ(ReadBytes(dir.path() / "Mapa.html"), "<p>\r\n        map.setMapType(G_HYBRID_MAP);\r\n</p>\r\n");
}

TEST(GenerateMapPage, PageFileEqualsTheLinesAfterTheCall)
{
    TempDir dir;
    std::string bytes;
    for (const std::string& line : kTemplate)
        bytes += line + "\n";
    WriteBytes(dir.path() / "_Mapa.html", bytes);
    Lines pageLines;
    EXPECT_EQ(qm::GenerateMapPage(pageLines, dir.path() / "_Mapa.html", dir.path() / "Mapa.html", {}), 5);
    EXPECT_EQ(qm::ReadTextLines(dir.path() / "Mapa.html"), pageLines);
    EXPECT_EQ(pageLines.size(), kTemplate.size() + 4);
}

TEST(GenerateMapPage, MissingTemplateKeepsThePreviousLinesAndWritesNothing)
{
    TempDir dir;
    Lines pageLines{"kept"};
    EXPECT_THROW(qm::GenerateMapPage(pageLines, dir.path() / "_Mapa.html", dir.path() / "Mapa.html", {}), qm::Error);
    EXPECT_EQ(pageLines, Lines{"kept"});
    EXPECT_FALSE(fs::exists(dir.path() / "Mapa.html"));
}

TEST(GenerateMapPage, UnwritablePageFailsAtTheFirstWrite)
{
    TempDir dir;
    WriteBytes(dir.path() / "_Mapa.html", "##TAMANYO##\n##MAPTYPE##\n");
    const fs::path page = dir.path() / "missing" / "Mapa.html";
    Lines pageLines;
    try {
        qm::GenerateMapPage(pageLines, dir.path() / "_Mapa.html", page, {});
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind("Cannot create file \"" + page.string() + "\". ", 0), 0u);
    }
    // The first step's rewrite was made; the failure stopped the second.
    EXPECT_EQ(pageLines, (Lines{"<div id=\"map\" style=\"width: 400px; height: 750px\"></div>", "##MAPTYPE##"}));
}

TEST(MapPosition, AcceptsPlainDecimalsWithinRange)
{
    EXPECT_NO_THROW(qm::ValidateMapPosition("56.751655", "37.202829"));
    EXPECT_NO_THROW(qm::ValidateMapPosition("-90", "180"));
    EXPECT_NO_THROW(qm::ValidateMapPosition("90.000", "-180.0"));
    EXPECT_NO_THROW(qm::ValidateMapPosition("0", "-0"));
    EXPECT_NO_THROW(qm::ValidateMapPosition("0089.9999999999999999999", "000179.5"));
    // The readout's form for positions next to the equator or the prime meridian.
    EXPECT_NO_THROW(qm::ValidateMapPosition("5E-5", "-1.5E-7"));
    for (const char* text : {"5E5", "5E-", "5e-5", "12E-5", "E-5", "5.E-5", "5E-5x"})
        EXPECT_THROW(qm::ValidateMapPosition(text, "0"), qm::Error) << text;
}

TEST(MapPosition, RejectsTextThatIsNotAPlainDecimal)
{
    for (const char* text : {"?", "", "-", ".5", "5.", "1e5", "+5", " 5", "5 ", "5,5", "1.2.3", "--1", "5);alert(1",
                             "0x10", "NaN", "Infinity"}) {
        EXPECT_FALSE(qm::IsPlainDecimal(text)) << text;
        EXPECT_THROW(qm::ValidateMapPosition(text, "0"), qm::Error) << text;
        EXPECT_THROW(qm::ValidateMapPosition("0", text), qm::Error) << text;
    }
}

TEST(MapPosition, RejectsPositionsOffTheMap)
{
    for (const char* latitude : {"90.0000001", "-91", "100", "1000000000000000000000000"})
        EXPECT_THROW(qm::ValidateMapPosition(latitude, "0"), qm::Error) << latitude;
    for (const char* longitude : {"180.5", "-180.000001", "181", "999"})
        EXPECT_THROW(qm::ValidateMapPosition("0", longitude), qm::Error) << longitude;
}

TEST(MapPosition, MessageNamesTheWrongText)
{
    try {
        qm::ValidateMapPosition("?", "?");
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        EXPECT_STREQ(e.what(), "Latitude \"?\" is not a position on the map");
    }
    try {
        qm::ValidateMapPosition("1", "200");
        FAIL() << "no error";
    } catch (const qm::Error& e) {
        EXPECT_STREQ(e.what(), "Longitude \"200\" is not a position on the map");
    }
}
