// The skeleton every subcommand runs in: the tool's dispatch, option parsing, help, exit statuses
// and failure messages live here, so that a subcommand holds only its own work.
//
// Adding a subcommand: define a `Command` (name, help text, option table, work function) and list
// it in the tool's command table. The work function gets the parsed arguments and returns 0 (done)
// or 1 (the work failed); it throws UsageError for a command line that does not fit (exit status
// 2) and Error (or any std::exception) for a failure (exit status 1, message on standard error).
#pragma once

#include "args.h"

#include "placed_readings.h"

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::cli {

// The subcommand's arguments (after its name) and the program's own argv[0], which the Qt-based
// subcommands hand on to their application object.
struct Invocation {
    std::span<const std::string> args;
    char* argv0 = nullptr;
};

// What a subcommand's work function gets.
struct CommandCall {
    const ParsedArgs& args;
    const Invocation& invocation;
};

struct Command {
    std::string_view name;
    std::string_view help = {}; // printed for --help
    std::span<const OptionSpec> options = {};
    // The work. Null for a subcommand that runs in the drawing module (see drawing_module.h).
    int (*run)(const CommandCall&) = nullptr;
};

// Parses the arguments, prints the help when asked, runs the work and turns its outcome into the
// exit status: a UsageError gives 2 with "quarlomet: MESSAGE" and a hint on standard error; any
// other exception 1 with its message worded as the viewer's error box words it.
int RunCommand(const Command& command, const Invocation& call);

// The whole tool: finds the subcommand named by args[0] and runs it; "--help" prints `help`.
// `forward` runs a command whose `run` is null.
int RunTool(std::span<const std::string> args, char* argv0, std::span<const Command> commands,
            std::string_view help, int (*forward)(const Command&, const Invocation&) = nullptr);

// Writes a help text to standard output.
void PrintHelp(std::string_view text);

// The survey files the arguments stand for: a folder stands for its regular files whose names end
// in ".csv" (any case) that are no earlier export (IsEarlierExport), in byte order of their names,
// each named as the folder was given plus the file's name; any other argument stands for itself. Throws Error "DIR: MESSAGE" for a folder that
// cannot be read or holds no such file.
std::vector<std::string> ExpandFileArguments(std::span<const std::string> args);

// Whether a file is an earlier CSV export of placed readings: its header starts
// "file,row,label,value,lat,lon", with or without further columns. A folder's expansion leaves
// such a file out.
bool IsEarlierExport(const std::filesystem::path& path);

// The output (-o) of a subcommand that reads survey files into one file; a usage error when no
// survey file or no output is given.
std::string SurveysAndOutput(const ParsedArgs& args);

// "FILE: MESSAGE", the form of every failure that concerns one file.
std::string FileMessage(std::string_view file, std::string_view message);

// Survey files for the site core (placed readings, export, grid): as given on the command line,
// and as paths. A file the core names (one of its placed readings' files) is named back as it was
// given.
struct SiteFiles {
    std::vector<std::string> given;
    std::vector<std::filesystem::path> core;
};
SiteFiles ForSiteCore(std::vector<std::string> files);

// Names on standard error, in list order, each file a pass left out ("FILE: MESSAGE") and each that
// placed no reading ("FILE: no reading with a usable position").
void PrintFilesLeftOut(const SiteFiles& surveys, const std::vector<site::FileFailure>& failures,
                       const std::vector<std::filesystem::path>& placedNothing);

// Runs `work` on behalf of one file: a failure it throws (other than running out of memory or a
// usage error) is thrown on as Error with the file's name in front of its message.
template <class Work>
decltype(auto) ForFile(std::string_view file, Work&& work);

// Rethrows the exception in flight, named after `file` as ForFile describes.
[[noreturn]] void RethrowForFile(std::string_view file);

template <class Work>
decltype(auto) ForFile(std::string_view file, Work&& work)
{
    try {
        return work();
    } catch (...) {
        RethrowForFile(file);
    }
}

} // namespace qm::cli
