// quarlomet map: the map page written from its template, as the viewer's map window writes it.
#include "args.h"
#include "commands.h"
#include "console.h"
#include "text_out.h"

#include "errors.h"
#include "map_page.h"

#include <filesystem>
#include <string>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet map -o PAGE [options]

Writes the map page from the map page template, replacing its five marker lines with the map's
size, controls, map type, position marker and information window, as the viewer does. Every other
line is copied unchanged; texts are written byte for byte, as given. A position the viewer's "Map"
refuses (not a plain decimal number, or a latitude outside -90..90 or a longitude outside
-180..180) is refused with the same message and no page is written, unless --raw is given.

Options:
  -o, --output PAGE    the page to write
  --template FILE      the template (default: _Mapa.html next to this program)
  --height N           height of the map element in pixels (default 750)
  --width N            width of the map element in pixels (default 400)
  --control NAME       a map control to add, e.g. GLargeMapControl; repeat it for more, in order
                       (none given: no controls)
  --no-marker          write no position marker and no information window
  --lat T              latitude text (default 56.751655)
  --lon T              longitude text (default 37.202829)
  --type NAME          map type (default G_HYBRID_MAP)
  --raw                write the position texts unchecked
  --help               this text

When the position is refused, or the template holds none of the markers no page is written and the exit status is 1.
Exit status: 0 when the page was written, 1 when it was not, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true}, {"--template", "", true}, {"--height", "", true}, {"--width", "", true},
    {"--control", "", true},  {"--no-marker", "", false}, {"--lat", "", true},  {"--lon", "", true},
    {"--type", "", true},     {"--raw", "", false},
};

int RunMap(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    if (!args.Positional().empty()) {
        throw UsageError("unexpected argument '" + args.Positional().front() + "'");
    }
    const auto page = args.Value("--output");
    if (!page) {
        throw UsageError("no page given (-o PAGE)");
    }

    MapRequest request;
    if (const auto height = args.Value("--height")) {
        request.mapHeight = ParseInt32(*height, "--height");
    }
    if (const auto width = args.Value("--width")) {
        request.mapWidth = ParseInt32(*width, "--width");
    }
    request.controls = args.Values("--control");
    request.showMarker = !args.Has("--no-marker");
    if (const auto lat = args.Value("--lat")) {
        request.latitude = *lat;
    }
    if (const auto lon = args.Value("--lon")) {
        request.longitude = *lon;
    }
    if (const auto type = args.Value("--type")) {
        request.mapType = *type;
    }
    if (!args.Has("--raw")) {
        // The viewer checks before anything is generated, so no broken script reaches the page.
        ValidateMapPosition(request.latitude, request.longitude);
    }

    std::filesystem::path templatePath;
    if (const auto given = args.Value("--template")) {
        templatePath = std::filesystem::path(*given);
    } else {
        templatePath = ExecutableDir(call.invocation.argv0) / kMapPageTemplateName;
    }

    std::vector<std::string> lines;
    const int found = GenerateMapPage(lines, templatePath, std::filesystem::path(*page), request);
    if (found == 0) {
        PrintFailure("The template \"" + templatePath.string() + "\" holds none of the map markers; no page was written");
        return 1;
    }
    return 0;
}

} // namespace

constinit const Command kMapCommand{"map", kHelp, kOptions, RunMap};

} // namespace qm::cli
