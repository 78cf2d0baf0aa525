// quarlomet value and quarlomet position: the reading conversion and the position readout.
#include "args.h"
#include "commands.h"
#include "text_out.h"

#include "errors.h"
#include "field_value.h"
#include "position.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

namespace qm::cli {

namespace {

constexpr std::string_view kValueHelp = R"(Usage: quarlomet value [--separator C] TEXT...

Converts each reading text as the viewer converts column 1 of a survey row: "." becomes the
decimal separator, the text is read as a number and rounded to a whole number, halves to even.
Prints one line per text: the whole number, or "error: MESSAGE".

Options:
  --separator C   the decimal separator of the conversion (default ".")
  --help          this text

A text that starts with "-" goes after "--":  quarlomet value -- -12.5
Exit status: 0 when every text converted, 1 when any failed, 2 on a usage error.
)";

constexpr std::string_view kPositionHelp = R"(Usage: quarlomet position [--separator C] NS LAT EW LON

Runs the position readout on a survey row whose columns 3 to 6 hold NS, LAT, EW and LON (for
example N 5645.0993 E 03712.1697). Prints six lines: the raw latitude, its degrees-minutes-seconds
form, its decimal form, then the same three for the longitude, as the readout leaves the fields
(fields it did not reach keep their start texts). When the readout fails, a seventh line
"error: MESSAGE" follows. Texts are written in UTF-8, each byte as the character of that number
(the degree sign byte 0xB0 as U+00B0).

Options:
  --separator C   the decimal separator of the conversion (default ".")
  --help          this text

Exit status: 0 when the readout succeeded, 1 when it failed, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {{"--separator", "", true}};

void ApplySeparator(const ParsedArgs& args)
{
    const auto separator = args.Value("--separator");
    SetDecimalSeparator(separator ? ParseSeparator(*separator) : '.');
}

void WriteLine(std::string_view text)
{
    std::string line = BytesToUtf8(text);
    line.push_back('\n');
    if (!WriteAll(stdout, line)) {
        throw Error("Cannot write to standard output");
    }
}

int RunValue(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    if (args.Positional().empty()) {
        throw UsageError("no text given");
    }
    ApplySeparator(args);
    int status = 0;
    for (const std::string& text : args.Positional()) {
        try {
            WriteLine(std::to_string(FieldValue(text)));
        } catch (const Error& error) {
            WriteLine(std::string("error: ") + error.what());
            status = 1;
        }
    }
    return status;
}

int RunPosition(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    const auto& cells = args.Positional();
    if (cells.size() != 4) {
        throw UsageError("expected four texts NS LAT EW LON, got " + std::to_string(cells.size()));
    }
    ApplySeparator(args);
    PositionFields fields;
    std::string failure;
    bool failed = false;
    try {
        ReadPosition(FixCells{cells[0], cells[1], cells[2], cells[3]}, fields);
    } catch (const Error& error) {
        failure = error.what();
        failed = true;
    }
    for (const std::string* field :
         {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon, &fields.edtLon2, &fields.lod}) {
        WriteLine(*field);
    }
    if (failed) {
        WriteLine("error: " + failure);
        return 1;
    }
    return 0;
}

} // namespace

constinit const Command kValueCommand{"value", kValueHelp, kOptions, RunValue};
constinit const Command kPositionCommand{"position", kPositionHelp, kOptions, RunPosition};

} // namespace qm::cli
