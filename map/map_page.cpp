// The C file calls are the portable ones here; MSVC would steer to its own variants.
#if defined(_MSC_VER) && !defined(_CRT_SECURE_NO_WARNINGS)
#define _CRT_SECURE_NO_WARNINGS
#endif

#include "map_page.h"

#include "errors.h"

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <system_error>

namespace qm {

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Opens a file in binary mode; Windows needs the wide-character call for paths outside the code page.
FileHandle OpenFile(const std::filesystem::path& path, bool forWriting)
{
    errno = 0;
#ifdef _WIN32
    return FileHandle(_wfopen(path.c_str(), forWriting ? L"wb" : L"rb"));
#else
    return FileHandle(std::fopen(path.c_str(), forWriting ? "wb" : "rb"));
#endif
}

std::string PathText(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string SystemErrorText(int code)
{
    if (code == 0)
        code = EIO;
    return std::error_code(code, std::generic_category()).message();
}

[[noreturn]] void ThrowOpenError(const std::filesystem::path& path, int code)
{
    throw Error("Cannot open file \"" + PathText(path) + "\". " + SystemErrorText(code));
}

[[noreturn]] void ThrowCreateError(const std::filesystem::path& path, int code)
{
    throw Error("Cannot create file \"" + PathText(path) + "\". " + SystemErrorText(code));
}

constexpr std::string_view kIndent = "        ";
// The information window line is indented by one space less than the other script lines.
constexpr std::string_view kInfoWindowIndent = "       ";

// Index of the first line holding `marker`, or -1.
std::ptrdiff_t FindMarker(const std::vector<std::string>& lines, std::string_view marker)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(marker) != std::string::npos)
            return static_cast<std::ptrdiff_t>(i);
    }
    return -1;
}

// True when `text` holds a number of at most `limit` in magnitude; `text` is plain decimal.
bool WithinLimit(std::string_view text, unsigned limit)
{
    if (!text.empty() && text.front() == '-')
        text.remove_prefix(1);
    const std::size_t dot = text.find('.');
    std::string_view whole = text.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    while (whole.size() > 1 && whole.front() == '0')
        whole.remove_prefix(1);
    // Compared digit by digit, so any length of text is safe and no locale is involved.
    if (whole.size() > 3)
        return false;
    unsigned value = 0;
    for (char c : whole)
        value = value * 10 + static_cast<unsigned>(c - '0');
    if (value != limit)
        return value < limit;
    return fraction.find_first_not_of('0') == std::string_view::npos;
}

} // namespace

std::vector<std::string> SplitTextLines(std::string_view bytes)
{
    const std::size_t nul = bytes.find('\0');
    if (nul != std::string_view::npos)
        bytes = bytes.substr(0, nul);

    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(std::move(current));
            current.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            current.push_back(c);
        }
    }
    // A line break at the very end starts no further line.
    if (!current.empty())
        lines.push_back(std::move(current));
    return lines;
}

std::vector<std::string> ReadTextLines(const std::filesystem::path& path)
{
    FileHandle file = OpenFile(path, false);
    if (!file)
        ThrowOpenError(path, errno);

    std::string bytes;
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (got < sizeof buffer)
            break;
    }
    // A directory opens on some systems and then fails to read; that is a file that cannot be read.
    if (std::ferror(file.get()))
        ThrowOpenError(path, errno);
    return SplitTextLines(bytes);
}

void WriteTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }

    FileHandle file = OpenFile(path, true);
    if (!file)
        ThrowCreateError(path, errno);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
    // A page cut short (a full disk) is reported, never passed off as written.
    const int code = errno;
    if (!written || std::fclose(file.release()) != 0)
        ThrowCreateError(path, written ? errno : code);
}

int RewriteMapPage(std::vector<std::string>& lines, const MapRequest& request,
                   const std::function<void(const std::vector<std::string>&)>& writePage)
{
    int found = 0;
    const auto step = [&](std::string_view marker, const auto& rewrite) {
        const std::ptrdiff_t index = FindMarker(lines, marker);
        if (index < 0)
            return;
        rewrite(static_cast<std::size_t>(index));
        ++found;
        if (writePage)
            writePage(lines);
    };

    step("##TAMANYO##", [&](std::size_t i) {
        lines[i] = "<div id=\"map\" style=\"width: " + std::to_string(request.mapWidth) +
                   "px; height: " + std::to_string(request.mapHeight) + "px\"></div>";
    });
    step("##CONTROLS##", [&](std::size_t i) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        // Each control goes to the same index, so they end up in reverse order.
        for (const std::string& control : request.controls)
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i),
                         std::string(kIndent) + "map.addControl(new " + control + "());");
    });
    step("##MAPTYPE##", [&](std::size_t i) {
        lines[i] = std::string(kIndent) + "map.setMapType(" + request.mapType + ");";
    });
    step("##MARCA##", [&](std::size_t i) {
        if (!request.showMarker) {
            lines[i].clear();
            return;
        }
        lines[i] = std::string(kIndent) + "var point = new GLatLng(" + request.latitude + "," + request.longitude + ");";
        const auto next = lines.begin() + static_cast<std::ptrdiff_t>(i) + 1;
        lines.insert(next, {std::string(kIndent) + "var marker = new GMarker(point);",
                            std::string(kIndent) + "map.addOverlay(marker);"});
    });
    step("##VENTANA##", [&](std::size_t i) {
        if (request.showMarker)
            lines[i] = std::string(kInfoWindowIndent) + "marker.openInfoWindowHtml(html);";
        else
            lines[i].clear();
    });
    return found;
}

int GenerateMapPage(std::vector<std::string>& pageLines, const std::filesystem::path& templatePath,
                    const std::filesystem::path& pagePath, const MapRequest& request)
{
    pageLines = ReadTextLines(templatePath);
    return RewriteMapPage(pageLines, request,
                          [&](const std::vector<std::string>& lines) { WriteTextLines(pagePath, lines); });
}

bool IsPlainDecimal(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-')
        ++i;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i > start;
    };
    if (!digits())
        return false;
    if (i < text.size() && text[i] == '.') {
        ++i;
        if (!digits())
            return false;
    }
    return i == text.size();
}

namespace {

// The readout writes positions within about ten metres of the equator or the prime meridian in
// its scientific form, a single digit before the point and a negative exponent ("5E-5",
// "-1.5E-7"): always below 1 in magnitude, and a number the page's script reads as it is.
bool IsSmallScientific(std::string_view text)
{
    const std::size_t e = text.find('E');
    if (e == std::string_view::npos || e + 2 >= text.size() || text[e + 1] != '-')
        return false;
    std::string_view mantissa = text.substr(0, e);
    const std::string_view exponent = text.substr(e + 2);
    if (!mantissa.empty() && mantissa.front() == '-')
        mantissa.remove_prefix(1);
    const bool oneDigit = !mantissa.empty() && mantissa.front() >= '0' && mantissa.front() <= '9' &&
                          (mantissa.size() == 1 || mantissa[1] == '.');
    return oneDigit && IsPlainDecimal(text.substr(0, e)) && !exponent.empty() &&
           exponent.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsMapCoordinate(std::string_view text, unsigned limit)
{
    return IsSmallScientific(text) || (IsPlainDecimal(text) && WithinLimit(text, limit));
}

} // namespace

void ValidateMapPosition(std::string_view latitude, std::string_view longitude)
{
    if (!IsMapCoordinate(latitude, 90))
        throw Error("Latitude \"" + std::string(latitude) + "\" is not a position on the map");
    if (!IsMapCoordinate(longitude, 180))
        throw Error("Longitude \"" + std::string(longitude) + "\" is not a position on the map");
}

} // namespace qm
