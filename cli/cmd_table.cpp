// quarlomet table: survey files loaded one after another into one table, as JSON lines.
#include "args.h"
#include "commands.h"
#include "text_out.h"

#include "errors.h"
#include "survey_table.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet table [--stats] FILE|DIR...

Loads the survey files one after another into one table, as the viewer's file selection does
(the table is cleared and the file loaded; the delimiter rules carry from file to file), and
prints one JSON object per file on its own line:
  {"file": PATH, "delimiter": D, "columns": N, "rows": [[CAPTION, CELL1, ...], ...]}
D is the delimiter the file was split at: the one its first two lines agree on (which then
carries on to the next files), else the one its first line shows, else the one carried on; null
for a file without a line. A file that fails to
load gives {"file": PATH, "error": MESSAGE}. A folder stands for its .csv files, in name order.
Every byte of a path, caption or cell is written as the character of the same number (U+0000 to
U+00FF), in UTF-8.

Options:
  --stats   "rows" holds the number of rows instead of the rows
  --help    this text

Exit status: 0 when every file loaded, 1 when any failed, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {{"--stats", "", false}};

void Flush(std::string& out)
{
    if (!WriteAll(stdout, out)) {
        throw Error("Cannot write to standard output");
    }
    out.clear();
}

// Appends the rows, handing the text on in pieces so that a big file never sits in memory twice.
void AppendTable(std::string& out, const SurveyTable& table, bool statsOnly)
{
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    if (statsOnly) {
        out += std::to_string(table.RowCount());
        return;
    }
    out.push_back('[');
    for (int row = 0; row < table.RowCount(); ++row) {
        if (row > 0) {
            out += ", ";
        }
        out.push_back('[');
        AppendJsonString(out, table.RowCaption(row));
        const int cells = table.CellCount(row);
        for (int c = 1; c <= cells; ++c) {
            out += ", ";
            AppendJsonString(out, table.Cell(row, c));
        }
        out.push_back(']');
        if (out.size() >= kChunk) {
            Flush(out);
        }
    }
    out.push_back(']');
}

int RunTable(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    if (args.Positional().empty()) {
        throw UsageError("no survey file given");
    }
    const std::vector<std::string> files = ExpandFileArguments(args.Positional());
    const bool statsOnly = args.Has("--stats");

    SurveyTable table;
    Progress progress("table", static_cast<int>(files.size()), true);
    int status = 0;
    std::string out;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        progress.Step(static_cast<int>(i), file);
        out += "{\"file\": ";
        AppendJsonString(out, file);
        bool loaded = false;
        try {
            table.Clear();
            table.LoadFromCsv(std::filesystem::path(file));
            loaded = true;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& error) {
            out += ", \"error\": ";
            AppendJsonString(out, error.what());
            status = 1;
        }
        if (loaded) {
            out += ", \"delimiter\": ";
            if (const auto d = table.SplitDelimiter()) {
                AppendJsonString(out, std::string_view(&*d, 1));
            } else {
                out += "null";
            }
            out += ", \"columns\": " + std::to_string(table.ColumnCount()) + ", \"rows\": ";
            AppendTable(out, table, statsOnly);
        }
        out += "}\n";
        Flush(out);
    }
    return status;
}

} // namespace

constinit const Command kTableCommand{"table", kHelp, kOptions, RunTable};

} // namespace qm::cli
