// quarlomet matrix: the colour matrix of several survey files, drawn as the viewer's "Draw" does,
// without a window.
#include "args.h"
#include "commands.h"
#include "file_selection.h"
#include "image_io.h"
#include "qt_support.h"
#include "text_out.h"

#include "errors.h"
#include "field_value.h"
#include "image_adapter.h"
#include "matrix_overlay.h"
#include "matrix_raster.h"
#include "resample.h"
#include "survey_table.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdint>
#include <string>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet matrix FILE|DIR... -o OUT [options]

Draws the survey files as one colour matrix, one row per file and one column per reading, as the
viewer's "Draw" does: each file is loaded as the viewer's file selection loads it (with the same
failures: a table of fewer than seven columns, a reading that is not a number), the baseline is
derived from the data when it is 0, and the raster is smoothed to the display size with the
Hermite kernel, with the file separators and names drawn over it. The balance used is printed as
"balance: N" on standard output. A folder stands for its .csv files, in name order. A failure
names the file it concerns: "FILE: MESSAGE".

Options:
  -o, --output OUT   the image to write (.ppm, .png, .bmp, ...)
  --size WxH         the display size (default 796x484)
  --balance N        the baseline reading, low 16 bits of N (default 0: derived from the data)
  --contrast N       the gain (default 3)
  --no-blur          write the raw raster instead, one pixel per reading
  --no-names         no separator lines and file names over the smoothed image
  --help             this text

Exit status: 0 when OUT was written, 1 when the work failed, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true}, {"--size", "", true},     {"--balance", "", true},
    {"--contrast", "", true}, {"--no-blur", "", false}, {"--no-names", "", false},
};

constexpr ImageSize kDisplaySize{796, 484};

int RunMatrix(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    if (args.Positional().empty()) {
        throw UsageError("no survey file given");
    }
    const auto out = args.Value("--output");
    if (!out) {
        throw UsageError("no output image given (-o OUT)");
    }
    const ImageSize size = args.Has("--size") ? ParseSize(*args.Value("--size"), "--size") : kDisplaySize;
    std::uint16_t balance = 0;
    if (const auto given = args.Value("--balance")) {
        balance = static_cast<std::uint16_t>(static_cast<std::uint64_t>(ParseInt64(*given, "--balance")));
    }
    const std::int32_t contrast = args.Has("--contrast") ? ParseInt32(*args.Value("--contrast"), "--contrast") : 3;
    const bool blur = !args.Has("--no-blur");
    const bool names = !args.Has("--no-names");

    const auto app = StartQt(call.invocation.argv0, QtLevel::Gui);
    CheckWritableName(*out);
    SetDecimalSeparator('.');
    const std::vector<std::string> files = ExpandFileArguments(args.Positional());

    SurveyTable table;
    // Step 1 and both passes select files: 2 * files + 1 loads in all.
    Progress progress("matrix", static_cast<int>(files.size() * 2 + 1));
    int loads = 0;
    // The file being drawn: every failure of the draw concerns the file selected last.
    const std::string* current = nullptr;
    MatrixSource source;
    source.fileCount = [&] { return static_cast<int>(files.size()); };
    source.select = [&](int q) -> const SurveyTable* {
        if (q < 0 || q >= static_cast<int>(files.size())) {
            return nullptr;
        }
        current = &files[static_cast<std::size_t>(q)];
        progress.Step(loads++, *current);
        // The viewer's file selection also plots the profile, converting every reading; pass 1
        // converts the same readings of every file in the same order, so it meets the same first
        // failure, and converting them here as well would only double the work.
        SelectFile(table, *current);
        return &table;
    };
    bool completed = false;
    Bitmap raster;
    try {
        raster = BuildMatrixRaster(source, balance, contrast, completed);
    } catch (...) {
        if (current == nullptr) {
            throw;
        }
        RethrowForFile(*current);
    }
    progress.Done();
    if (!completed) {
        throw Error("The file list changed during the draw");
    }

    Bitmap display(size.width, size.height, 4);
    ResampleImage(raster, display, HermiteKernel, 1.0f);

    if (!blur) {
        WriteImageFile(*out, raster);
    } else {
        QImage image = qm::ToQImage(display);
        if (names) {
            QStringList paths;
            for (const std::string& file : files) {
                paths.push_back(PathToQt(file));
            }
            DrawMatrixOverlay(image, paths);
        }
        WriteImageFile(*out, image);
    }
    const std::string line = "balance: " + std::to_string(balance) + "\n";
    if (!WriteAll(stdout, line)) {
        throw Error("Cannot write to standard output");
    }
    return 0;
}

} // namespace

constinit const Command kMatrixCommand{"matrix", kHelp, kOptions, RunMatrix};

} // namespace qm::cli
