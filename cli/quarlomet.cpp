// quarlomet: the command-line companion of the viewer, for batch work on survey files.
// This file only dispatches to the subcommands and turns their outcome into the exit status.
#include "args.h"
#include "commands.h"
#include "console.h"
#include "text_out.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

namespace {

struct Subcommand {
    std::string_view name;
    int (*run)(const qm::cli::Invocation&);
};

constexpr Subcommand kSubcommands[] = {
    {"table", qm::cli::RunTable},       {"value", qm::cli::RunValue},   {"position", qm::cli::RunPosition},
    {"resample", qm::cli::RunResample}, {"matrix", qm::cli::RunMatrix}, {"profile", qm::cli::RunProfile},
    {"map", qm::cli::RunMap},
};

constexpr std::string_view kHelp = R"(Usage: quarlomet SUBCOMMAND [OPTIONS] [ARGUMENTS]

Batch work on magnetometer survey files with the viewer's own rules.

Subcommands:
  table FILE...                    survey files as tables, one JSON object per file
  value TEXT...                    readings converted to whole numbers
  position NS LAT EW LON           a GPS fix in raw, degrees-minutes-seconds and decimal form
  resample IN OUT --size WxH       an image scaled with the filtered resampler
  matrix FILE... -o OUT            the colour matrix of several survey files as an image
  profile FILE -o OUT              the profile chart of one survey file as an image
  map -o PAGE                      the map page written from its template

"quarlomet SUBCOMMAND --help" describes each. Arguments are 8-bit text, passed on byte for byte;
a text that starts with "-" goes after "--".
Exit status: 0 on success, 1 when the work failed (the message on standard error), 2 on a usage
error.
)";

int UsageFailure(std::string_view message, std::string_view subcommand)
{
    std::string text = "quarlomet: " + std::string(message) + "\n";
    text += subcommand.empty() ? "Try 'quarlomet --help'.\n"
                               : "Try 'quarlomet " + std::string(subcommand) + " --help'.\n";
    std::fflush(stdout);
    qm::cli::WriteAll(stderr, qm::cli::DisplayText(text));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    qm::cli::SetBinaryStdout();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
    if (args.empty()) {
        return UsageFailure("no subcommand given", "");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        qm::cli::PrintHelp(kHelp);
        return 0;
    }
    for (const Subcommand& subcommand : kSubcommands) {
        if (args[0] != subcommand.name) {
            continue;
        }
        int status = 1;
        try {
            status = subcommand.run({std::span<const std::string>(args).subspan(1), argc > 0 ? argv[0] : nullptr});
        } catch (const qm::cli::UsageError& error) {
            return UsageFailure(error.what(), subcommand.name);
        } catch (const std::bad_alloc&) {
            qm::cli::PrintFailure("Out of memory");
            return 1;
        } catch (const std::exception& error) {
            qm::cli::PrintFailure(error.what());
            return 1;
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            qm::cli::PrintFailure("Cannot write to standard output");
            return 1;
        }
        return status;
    }
    return UsageFailure("unknown subcommand '" + args[0] + "'", "");
}

namespace qm::cli {

void PrintHelp(std::string_view text) { WriteAll(stdout, text); }

} // namespace qm::cli
