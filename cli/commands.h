// The subcommands of the tool. Each parses its own arguments and returns the exit status: 0 done,
// 1 the work failed. A UsageError means exit status 2; any other exception is a failed piece of
// work whose message goes to standard error.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qm::cli {

// What every subcommand gets: its arguments (after the subcommand's name) and the program's
// own argv[0], which the Qt-based subcommands hand on to their application object.
struct Invocation {
    std::span<const std::string> args;
    char* argv0 = nullptr;
};

int RunTable(const Invocation& call);
int RunValue(const Invocation& call);
int RunPosition(const Invocation& call);
int RunResample(const Invocation& call);
int RunMatrix(const Invocation& call);
int RunProfile(const Invocation& call);
int RunMap(const Invocation& call);

// Writes a help text to standard output.
void PrintHelp(std::string_view text);

} // namespace qm::cli
