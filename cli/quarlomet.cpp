// quarlomet: the command-line companion of the viewer, for batch work on survey files.
// This file only lists the subcommands; command.h runs them. Nothing here loads Qt.
#include "commands.h"
#include "console.h"
#include "drawing_module.h"

#include <cstdio>
#include <string>
#include <vector>

#ifndef QM_VERSION
#error "QM_VERSION must give the project's version"
#endif

namespace {

const qm::cli::Command kCommands[] = {
    qm::cli::kTableCommand, qm::cli::kValueCommand, qm::cli::kPositionCommand, qm::cli::kResampleCommand,
    // Run in the drawing module, which loads Qt's GUI libraries; see drawing_module.h.
    {.name = "matrix"}, {.name = "profile"},
    qm::cli::kMapCommand, qm::cli::kExportCommand,
    // Run in the GIS module, which loads GDAL.
    {.name = "grid"},
};

constexpr std::string_view kHelp = R"(Usage: quarlomet SUBCOMMAND [OPTIONS] [ARGUMENTS]

Batch work on magnetometer survey files with the viewer's own rules.

Subcommands:
  table FILE|DIR...                survey files as tables, one JSON object per file
  value TEXT...                    readings converted to whole numbers
  position NS LAT EW LON           a GPS fix in raw, degrees-minutes-seconds and decimal form
  resample IN OUT --size WxH       an image scaled with the filtered resampler
  matrix FILE|DIR... -o OUT        the colour matrix of several survey files as an image
  profile FILE|DIR -o OUT          the profile chart of one survey file as an image
  map -o PAGE                      the map page written from its template
  export FILE|DIR... -o OUT        the readings placed by position, as GeoJSON or CSV
  grid FILE|DIR... -o OUT          the readings interpolated to a GeoTIFF, KMZ or PNG grid

"quarlomet SUBCOMMAND --help" describes each; "quarlomet --version" prints the version.
Arguments are 8-bit text, passed on byte for byte; a text that starts with "-" goes after "--".
A folder given for survey files stands for its .csv files (any case of the suffix), in name order.
A failure that concerns one file starts with that file's name as given and ": ", as in
  line07.csv: List index out of bounds (1)
Exit status: 0 on success, 1 when the work failed (the message on standard error), 2 on a usage
error.
)";

} // namespace

int main(int argc, char** argv)
{
    qm::cli::SetBinaryStdout();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (args.size() == 1 && args[0] == "--version") {
        std::fputs("quarlomet " QM_VERSION "\n", stdout);
        return 0;
    }
    return qm::cli::RunTool(args, argc > 0 ? argv[0] : nullptr, kCommands, kHelp, qm::cli::ForwardToModule);
}
