// quarlomet export: the placed readings of survey files written as GeoJSON, CSV or GeoPackage,
// the same readings the site map draws, by the same pass.
#include "args.h"
#include "cmd_export.h"
#include "commands.h"
#include "console.h"
#include "drawing_module.h"
#include "text_out.h"

#include "errors.h"
#include "field_value.h"
#include "output_format.h"
#include "readings_export.h"
#include "site_processing.h"
#include "traverses.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet export [--recipe RECIPE.json] FILE|DIR... -o OUT

Writes every reading of the survey files that has a fix, at its position, as the site map shows
them: in file order, then row order. Each survey file is loaded on its own by the viewer's rules.
A reading without a fix ("?" or "0"), or whose position or reading does not convert, is left out.

  OUT.geojson (or .json)  a GeoJSON FeatureCollection in WGS 84 (EPSG:4326): one Point
                          [lon, lat] per reading, with the properties "file" (as given), "row"
                          (the table row, 1 for the first data row), "label" (column 0) and
                          "value" (the reading as a number, not rounded)
  OUT.csv                 the header file,row,label,value,lat,lon and one line per reading
  OUT.gpkg                a GeoPackage (written with GDAL) of two layers in EPSG:4326:
                          "readings", the Points with the fields file, row, label and value;
                          "traverses", a LineString for each traverse (each file, or each run of
                          column 2 with such a recipe) of two readings or more, with the fields
                          file, traverse (numbered from 1), readings, min and max (of the values)

With --recipe, the readings are processed by the recipe's steps (gaps, clip, zero-traverse,
despike, shift, high-pass) over the traverses it names, each file by default, and "value" is the
processed value: empty in CSV and null in GeoJSON and GeoPackage where a step made a gap. Two
more columns (and properties, and fields) follow: "raw", the reading, and "spike", 1 for a reading a despike step flagged, else
0. The CSV header is then file,row,label,value,lat,lon,raw,spike. A recipe that is not valid is
refused with its file name and step ("RECIPE.json: step 3: ...") and nothing is written; a step's
notes (such as a traverse left as it was) go to standard error, one line each.

A file that fails to load is named on standard error with its message ("FILE: MESSAGE") and left
out; the others are still written. A file that loads but places no reading (empty, or no fix at
all) is named too ("FILE: no reading with a usable position"). Then one line on standard output
counts what was done:
  readings: W written, N without a usable position; files: R read, F left out
A folder stands for its .csv files, in name order, without earlier CSV exports of placed readings;
the output is never read as one of them. OUT is written under a temporary name and renamed when
complete, so a failure leaves no partial file.

Options:
  -o, --output OUT   the file to write (.geojson, .json, .csv or .gpkg)
  --recipe FILE      process the readings by this recipe (JSON) before writing them
  --help             this text

Exit status: 0 when every file loaded and OUT was written, 1 when a file was left out, the recipe
was refused or OUT could not be written, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {{"--output", "-o", true}, {"--recipe", "", true}};

bool SameFile(const std::string& a, const std::filesystem::path& b)
{
    std::error_code error;
    return std::filesystem::equivalent(std::filesystem::path(a), b, error) && !error;
}

// The survey files of the arguments, without the output: a folder's earlier export is not read as
// a survey, and an output named among the files would overwrite a survey file, which is refused.
std::vector<std::string> InputFiles(const std::vector<std::string>& args, const std::string& out)
{
    const std::filesystem::path outPath(out);
    std::error_code error;
    if (!std::filesystem::exists(outPath, error)) {
        return ExpandFileArguments(args);
    }
    for (const std::string& arg : args) {
        if (SameFile(arg, outPath)) {
            throw UsageError("the output '" + out + "' is one of the survey files");
        }
    }
    std::vector<std::string> files = ExpandFileArguments(args);
    const auto among = std::find_if(files.begin(), files.end(), [&](const std::string& file) { return SameFile(file, outPath); });
    if (among == files.end()) {
        return files;
    }
    // A folder's own .csv file under the output's name is left out only when it is an earlier
    // export; anything else there is a survey file, which is never overwritten.
    if (!IsEarlierExport(outPath)) {
        throw UsageError("the output '" + out + "' is one of the survey files");
    }
    files.erase(among);
    return files;
}

site::ExportFormat FormatFor(const std::string& out)
{
    if (const auto format = site::ReadingsFormatFor(std::filesystem::path(out))) {
        return *format;
    }
    throw UsageError("cannot tell the output format from the name '" + out + "' (use " +
                     std::string(site::kReadingsSuffixes) + ")");
}

// The readings gathered once, processed by the recipe, then written with the processed values.
site::ExportSummary ExportProcessed(const std::string& recipeName, const process::Recipe& recipe,
                                    const std::vector<std::filesystem::path>& files, const std::string& out,
                                    site::ExportFormat format, const site::GatherProgress& step,
                                    std::vector<std::string>& notes)
{
    const process::ProcessedSite site = process::ProcessSite(recipe, files, step);
    const site::ProcessedValues processed{site.values.value, site.values.flag};
    const site::ExportSummary summary = ForFile(
        out, [&] { return site::WriteReadings(site.readings, std::filesystem::path(out), format, &processed); });
    notes = process::NoteLines(site.reports, recipeName);
    return summary;
}

// The readings gathered once and cut into traverses (the recipe's, or each file without one),
// processed by the recipe when there is one, and written as a GeoPackage with their traverses.
site::ExportSummary ExportGeoPackage(GeoPackageWriter write, const std::optional<std::string>& recipeName,
                                     const std::optional<process::Recipe>& recipe,
                                     const std::vector<std::filesystem::path>& files, const std::string& out,
                                     const site::GatherProgress& step, std::vector<std::string>& notes)
{
    const bool byColumn2 = recipe && recipe->traverses == process::TraverseMode::Column2;
    std::vector<std::uint8_t> runStarts;
    process::Column2Runs runs;
    std::function<void(const site::PlacedRow&)> each;
    if (byColumn2) {
        each = [&](const site::PlacedRow& row) { runStarts.push_back(runs.StartsRun(row) ? 1 : 0); };
    }
    const site::LabelledReadings readings = site::GatherLabelledReadings(files, each, step);
    const process::Traverses traverses =
        byColumn2 ? process::TraversesFromRunStarts(runStarts) : process::TraversesByFile(readings.placed);
    const std::filesystem::path path(out);
    if (!recipe) {
        return ForFile(out, [&] { return write(readings, path, nullptr, traverses.bounds); });
    }
    const process::RunResult result = process::RunRecipe(*recipe, readings.placed.value, traverses);
    notes = process::NoteLines(result.reports, *recipeName);
    const site::ProcessedValues processed{result.values.value, result.values.flag};
    return ForFile(out, [&] { return write(readings, path, &processed, traverses.bounds); });
}

int RunExport(const CommandCall& call)
{
    return RunExportWith(call, nullptr);
}

} // namespace

int RunExportWith(const CommandCall& call, GeoPackageWriter geoPackage)
{
    const ParsedArgs& args = call.args;
    const std::string out = SurveysAndOutput(args);
    const site::ExportFormat format = FormatFor(out);
    if (format == site::ExportFormat::GeoPackage && geoPackage == nullptr) {
        return RunInGisModule("export", call.invocation);
    }
    const auto recipeName = args.Value("--recipe");
    std::optional<process::Recipe> recipe;
    if (recipeName) {
        recipe = process::ReadRecipeFile(std::filesystem::path(*recipeName), *recipeName);
    }
    SetDecimalSeparator('.');
    const SiteFiles surveys = ForSiteCore(InputFiles(args.Positional(), out));
    const std::vector<std::string>& files = surveys.given;

    std::vector<std::string> notes;
    Progress progress("export", static_cast<int>(files.size()));
    const site::GatherProgress step = [&](std::size_t done, std::size_t total) {
        if (done < total) {
            progress.Step(static_cast<int>(done), files[done]);
        }
        return true;
    };
    site::ExportSummary summary;
    if (format == site::ExportFormat::GeoPackage) {
        summary = ExportGeoPackage(geoPackage, recipeName, recipe, surveys.core, out, step, notes);
    } else if (recipe) {
        summary = ExportProcessed(*recipeName, *recipe, surveys.core, out, format, step, notes);
    } else {
        summary = ForFile(out, [&] { return site::ExportReadings(surveys.core, std::filesystem::path(out), format, step); });
    }
    progress.Done();

    PrintFilesLeftOut(surveys, summary.failures, summary.placedNothing);
    for (const std::string& note : notes) {
        WriteAll(stderr, DisplayText(note + "\n"));
    }
    const std::string line = "readings: " + std::to_string(summary.written) + " written, " +
                             std::to_string(summary.withoutPosition) + " without a usable position; files: " +
                             std::to_string(files.size() - summary.failures.size()) + " read, " +
                             std::to_string(summary.failures.size()) + " left out\n";
    if (!WriteAll(stdout, line)) {
        throw Error("Cannot write to standard output");
    }
    return summary.failures.empty() ? 0 : 1;
}

constinit const Command kExportCommand{"export", kHelp, kOptions, RunExport};

} // namespace qm::cli
