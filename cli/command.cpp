// The one skeleton of every subcommand: parsing, help, exit statuses, failure messages that name
// their file, and folders standing for their survey files.
#include "command.h"
#include "console.h"

#include "text_out.h"

#include "errors.h"
#include "file_io.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <new>
#include <system_error>
#include <unordered_map>

namespace qm::cli {

namespace {

int UsageFailure(std::string_view message, std::string_view subcommand)
{
    std::string text = "quarlomet: " + std::string(message) + "\n";
    text += subcommand.empty() ? "Try 'quarlomet --help'.\n"
                               : "Try 'quarlomet " + std::string(subcommand) + " --help'.\n";
    std::fflush(stdout);
    WriteAll(stderr, DisplayText(text));
    return 2;
}

bool EndsWithSeparator(std::string_view path)
{
    if (path.empty()) {
        return false;
    }
    const char last = path.back();
    return last == '/' || last == static_cast<char>(std::filesystem::path::preferred_separator);
}

// The survey files of one folder, sorted by the bytes of their names.
std::vector<std::string> FolderFiles(const std::string& folder)
{
    std::vector<std::string> names;
    std::size_t exports = 0;
    std::error_code error;
    std::filesystem::directory_iterator it(std::filesystem::path(folder), error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        std::error_code typeError;
        std::string name;
        try {
            name = it->path().filename().string();
        } catch (const std::system_error&) {
            // On Windows a narrow name holds only the characters of the local code page.
            throw Error(FileMessage(folder, "A file name in the folder cannot be shown in this system's code page"));
        }
        // A folder named "x.csv" is no survey file; a link to a file is. An earlier export of placed
        // readings lying in the folder is no survey either.
        if (EndsWithNoCase(name, ".csv") && it->is_regular_file(typeError)) {
            if (IsEarlierExport(it->path())) {
                ++exports;
            } else {
                names.push_back(name);
            }
        }
    }
    if (error) {
        throw Error(FileMessage(folder, "Cannot read the folder. " + error.message()));
    }
    if (names.empty()) {
        throw Error(FileMessage(folder, exports > 0 ? "The folder holds no survey files, only exports of placed readings"
                                                    : "The folder holds no .csv files"));
    }
    std::sort(names.begin(), names.end());
    const std::string prefix =
        EndsWithSeparator(folder) ? folder : folder + static_cast<char>(std::filesystem::path::preferred_separator);
    for (std::string& name : names) {
        name = prefix + name;
    }
    return names;
}

} // namespace

int RunCommand(const Command& command, const Invocation& call)
{
    int status = 1;
    try {
        const ParsedArgs args = ParseArgs(call.args, command.options);
        if (args.Help()) {
            PrintHelp(command.help);
            return 0;
        }
        status = command.run(CommandCall{args, call});
    } catch (const UsageError& error) {
        return UsageFailure(error.what(), command.name);
    } catch (const std::bad_alloc&) {
        PrintFailure("Out of memory");
        return 1;
    } catch (const std::exception& error) {
        PrintFailure(error.what());
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        PrintFailure("Cannot write to standard output");
        return 1;
    }
    return status;
}

int RunTool(std::span<const std::string> args, char* argv0, std::span<const Command> commands,
            std::string_view help, int (*forward)(const Command&, const Invocation&))
{
    if (args.empty()) {
        return UsageFailure("no subcommand given", "");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        PrintHelp(help);
        return 0;
    }
    for (const Command& command : commands) {
        if (args[0] == command.name) {
            const Invocation call{args.subspan(1), argv0};
            return command.run != nullptr || forward == nullptr ? RunCommand(command, call) : forward(command, call);
        }
    }
    return UsageFailure("unknown subcommand '" + args[0] + "'", "");
}

void PrintHelp(std::string_view text) { WriteAll(stdout, text); }

std::string SurveysAndOutput(const ParsedArgs& args)
{
    if (args.Positional().empty()) {
        throw UsageError("no survey file given");
    }
    const auto out = args.Value("--output");
    if (!out) {
        throw UsageError("no output file given (-o OUT)");
    }
    return *out;
}

std::vector<std::string> ExpandFileArguments(std::span<const std::string> args)
{
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        std::error_code error;
        if (!std::filesystem::is_directory(std::filesystem::path(arg), error)) {
            files.push_back(arg);
            continue;
        }
        for (std::string& file : FolderFiles(arg)) {
            files.push_back(std::move(file));
        }
    }
    return files;
}

bool IsEarlierExport(const std::filesystem::path& path)
{
    static constexpr std::string_view kHeader = "file,row,label,value,lat,lon";
    std::ifstream in(path, std::ios::binary);
    char start[kHeader.size() + 1] = {};
    in.read(start, sizeof start);
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got < kHeader.size() || std::string_view(start, kHeader.size()) != kHeader) {
        return false;
    }
    return got == kHeader.size() || start[kHeader.size()] == ',' || start[kHeader.size()] == '\r' ||
           start[kHeader.size()] == '\n';
}

void PrintFilesLeftOut(const SiteFiles& surveys, const std::vector<site::FileFailure>& failures,
                       const std::vector<std::filesystem::path>& placedNothing)
{
    // The message of each file to name, by its name as the core took it (byte for byte); null for
    // one that placed nothing.
    std::unordered_map<std::string, const std::string*> notes;
    for (const site::FileFailure& failure : failures) {
        notes.emplace(Utf8Of(failure.file), &failure.message);
    }
    for (const std::filesystem::path& file : placedNothing) {
        notes.emplace(Utf8Of(file), nullptr);
    }
    for (std::size_t f = 0; f < surveys.core.size(); ++f) {
        const auto note = notes.find(Utf8Of(surveys.core[f]));
        if (note == notes.end()) {
            continue;
        }
        // A failure is worded as the error box words it; the note is written as it stands.
        if (note->second != nullptr) {
            PrintFailure(FileMessage(surveys.given[f], *note->second));
        } else {
            WriteAll(stderr, DisplayText(FileMessage(surveys.given[f], "no reading with a usable position") + "\n"));
        }
        notes.erase(note);
    }
}

std::string FileMessage(std::string_view file, std::string_view message)
{
    return std::string(file) + ": " + std::string(message);
}

SiteFiles ForSiteCore(std::vector<std::string> files)
{
    SiteFiles site;
    site.core.reserve(files.size());
    for (const std::string& file : files)
        site.core.push_back(PathFromUtf8(CoreFileName(file)));
    site.given = std::move(files);
    return site;
}

void RethrowForFile(std::string_view file)
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const UsageError&) {
        throw;
    } catch (const std::exception& error) {
        throw Error(FileMessage(file, error.what()));
    }
}

} // namespace qm::cli
