// The map page text: template bytes and a request from the input. The template is split into lines
// and rewritten at the five markers; the result must equal a plain reading of the marker rules,
// the page must be written once per marker found and hold the final lines, and the position check
// of the "Map" command must let through only plain numbers within range.
//
// Input: option byte, two 16-bit sizes, then NUL-terminated texts (controls, latitude,
// longitude, map type), then the template bytes.
#include "fuzz_check.h"

#include "errors.h"
#include "map_page.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> RefSplit(std::string_view bytes)
{
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string> lines;
    std::string line;
    bool open = false; // a line has started and is not yet ended
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

int RefRewrite(std::vector<std::string>& lines, const qm::MapRequest& r)
{
    const auto find = [&](std::string_view marker) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].find(marker) != std::string::npos)
                return static_cast<long>(i);
        return -1L;
    };
    int found = 0;
    if (long i = find("##TAMANYO##"); i >= 0) {
        lines[static_cast<std::size_t>(i)] = "<div id=\"map\" style=\"width: " + std::to_string(r.mapWidth) +
                                             "px; height: " + std::to_string(r.mapHeight) + "px\"></div>";
        ++found;
    }
    if (long i = find("##CONTROLS##"); i >= 0) {
        lines.erase(lines.begin() + i);
        for (const std::string& control : r.controls)
            lines.insert(lines.begin() + i, "        map.addControl(new " + control + "());");
        ++found;
    }
    if (long i = find("##MAPTYPE##"); i >= 0) {
        lines[static_cast<std::size_t>(i)] = "        map.setMapType(" + r.mapType + ");";
        ++found;
    }
    if (long i = find("##MARCA##"); i >= 0) {
        if (r.showMarker) {
            lines[static_cast<std::size_t>(i)] = "        var point = new GLatLng(" + r.latitude + "," + r.longitude + ");";
            lines.insert(lines.begin() + i + 1, "        var marker = new GMarker(point);");
            lines.insert(lines.begin() + i + 2, "        map.addOverlay(marker);");
        } else {
            lines[static_cast<std::size_t>(i)].clear();
        }
        ++found;
    }
    if (long i = find("##VENTANA##"); i >= 0) {
        lines[static_cast<std::size_t>(i)] = r.showMarker ? "       marker.openInfoWindowHtml(html);" : "";
        ++found;
    }
    return found;
}

void CheckPosition(const std::string& latitude, const std::string& longitude)
{
    try {
        qm::ValidateMapPosition(latitude, longitude);
    } catch (const qm::Error&) {
        return;
    }
    QM_FUZZ_CHECK(qm::IsPlainDecimal(latitude) && qm::IsPlainDecimal(longitude));
    const long double lat = std::strtold(latitude.c_str(), nullptr);
    const long double lon = std::strtold(longitude.c_str(), nullptr);
    QM_FUZZ_CHECK(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180);
}

const std::filesystem::path& TempDir()
{
    static const std::filesystem::path dir = [] {
        std::random_device random;
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("qm-fuzz-map-" + std::to_string(random()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return dir;
}

bool HasLineBreakOrNul(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    qm::MapRequest request;
    request.mapHeight = static_cast<int>(in.Bits16()) - 1000;
    request.mapWidth = static_cast<int>(in.Bits16()) - 1000;
    request.showMarker = (options & 1) != 0;
    const auto nextText = [&in] {
        std::string text;
        while (in.Left() > 0) {
            const unsigned c = in.Byte();
            if (c == 0)
                break;
            text += static_cast<char>(c);
        }
        return text;
    };
    request.controls.clear();
    for (unsigned k = 0, n = options >> 1 & 3; k < n; ++k)
        request.controls.push_back(nextText());
    request.latitude = nextText();
    request.longitude = nextText();
    request.mapType = nextText();
    const std::string_view templateBytes = in.RestText();

    CheckPosition(request.latitude, request.longitude);

    const std::vector<std::string> split = qm::SplitTextLines(templateBytes);
    QM_FUZZ_CHECK(split == RefSplit(templateBytes));

    std::vector<std::string> lines = split;
    int writes = 0;
    std::vector<std::string> written;
    const int found = qm::RewriteMapPage(lines, request, [&](const std::vector<std::string>& page) {
        ++writes;
        written = page;
    });
    std::vector<std::string> expected = split;
    QM_FUZZ_CHECK(found == RefRewrite(expected, request));
    QM_FUZZ_CHECK(lines == expected);
    QM_FUZZ_CHECK(writes == found);
    if (found > 0)
        QM_FUZZ_CHECK(written == lines);

    // Through files: the page written and read back holds the same lines, when no line holds a
    // line break or a NUL of its own.
    if ((options & 8) != 0 && templateBytes.size() < 4096) {
        const std::filesystem::path templatePath = TempDir() / qm::kMapPageTemplateName;
        const std::filesystem::path pagePath = TempDir() / qm::kMapPageName;
        {
            std::ofstream out(templatePath, std::ios::binary | std::ios::trunc);
            out.write(templateBytes.data(), static_cast<std::streamsize>(templateBytes.size()));
        }
        std::filesystem::remove(pagePath);
        std::vector<std::string> pageLines{"previous"};
        const int generated = qm::GenerateMapPage(pageLines, templatePath, pagePath, request);
        QM_FUZZ_CHECK(generated == found);
        QM_FUZZ_CHECK(pageLines == lines);
        QM_FUZZ_CHECK(std::filesystem::exists(pagePath) == (found > 0));
        if (found > 0 && !HasLineBreakOrNul(lines))
            QM_FUZZ_CHECK(qm::ReadTextLines(pagePath) == lines);

        // A missing template leaves the lines as they were and writes nothing.
        std::filesystem::remove(templatePath);
        std::vector<std::string> kept{"kept"};
        try {
            qm::GenerateMapPage(kept, templatePath, pagePath, request);
            QM_FUZZ_CHECK(false);
        } catch (const qm::Error& e) {
            QM_FUZZ_CHECK(std::string(e.what()).rfind("Cannot open file \"", 0) == 0);
        }
        QM_FUZZ_CHECK(kept == std::vector<std::string>{"kept"});
    }
    return 0;
}
