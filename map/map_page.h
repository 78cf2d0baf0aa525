// The map page text: the template's lines rewritten at five markers into script lines for the map.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// File names of the map page template and of the generated page, both in one directory.
inline constexpr const char* kMapPageTemplateName = "_Mapa.html";
inline constexpr const char* kMapPageName = "Mapa.html";

// Reads a text file as 8-bit lines split at CR LF, lone CR and lone LF; a NUL ends the text.
// Throws Error "Cannot open file "%s". %s" with the path and the system's error text.
std::vector<std::string> ReadTextLines(const std::filesystem::path& path);
// Writes every line followed by CR LF (the file is created anew).
// Throws Error "Cannot create file "%s". %s".
void WriteTextLines(const std::filesystem::path& path, const std::vector<std::string>& lines);
// The split of ReadTextLines over bytes in memory.
std::vector<std::string> SplitTextLines(std::string_view bytes);

struct MapRequest {
    int mapHeight = 750;
    int mapWidth = 400;
    std::vector<std::string> controls{"GLargeMapControl", "GSmallZoomControl", "GMapTypeControl"};
    bool showMarker = true;
    std::string latitude = "56.751655";
    std::string longitude = "37.202829";
    std::string mapType = "G_HYBRID_MAP";
};

// Runs the five marker steps over `lines` in order; after each step that found its marker it calls
// `writePage` (which writes the page as the lines now stand). Returns the number of steps that
// found their marker.
int RewriteMapPage(std::vector<std::string>& lines, const MapRequest& request,
                   const std::function<void(const std::vector<std::string>&)>& writePage);

// Reads the template into `pageLines` (left as it was when the template cannot be read), rewrites
// it and writes the page to `pagePath` after each marker found. Returns the markers found.
int GenerateMapPage(std::vector<std::string>& pageLines, const std::filesystem::path& templatePath,
                    const std::filesystem::path& pagePath, const MapRequest& request);

// True for a plain decimal number: optional "-", digits, optionally "." and digits.
bool IsPlainDecimal(std::string_view text);
// Checks the position texts of the "Map" command before they are written into the page script:
// plain decimal numbers, latitude within -90..90 and longitude within -180..180.
// Throws Error "Latitude "%s" is not a position on the map" (or "Longitude ...").
void ValidateMapPosition(std::string_view latitude, std::string_view longitude);

} // namespace qm
