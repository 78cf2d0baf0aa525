// quarlomet grid: the placed readings of survey files interpolated to a raster in metres with
// GDAL's gridding and written as GeoTIFF, KMZ, PNG, Surfer grid or XYZ, as the site map's "Grid"
// computes them.
#include "args.h"
#include "commands.h"
#include "console.h"
#include "text_out.h"

#include "errors.h"
#include "field_value.h"
#include "file_io.h"
#include "grid.h"
#include "output_format.h"
#include "placed_readings.h"
#include "readings_export.h"
#include "site_processing.h"

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qm::cli {

namespace {

constexpr std::string_view kHelp = R"(Usage: quarlomet grid [--recipe RECIPE.json] FILE|DIR... -o OUT [options]

Grids every reading of the survey files that has a fix, as the site map's "Grid" does: the
readings are projected to the WGS 84 / UTM zone of their median position and interpolated to a
raster of square cells with GDAL's gridding. A cell farther than the search radius from every
reading stays empty (nodata -9999). The format follows the name of OUT:

  OUT.tif (or .tiff)  GeoTIFF: Float32 values, nodata -9999, the UTM coordinate system, and beside
                      it OUT.qml, a QGIS layer style that QGIS loads by itself: the grid coloured
                      as the site map shows it
  OUT.kmz             the coloured grid as a Google Earth ground overlay, transparent where empty
  OUT.png             the coloured grid with its world file (.pgw) and coordinate system (.prj)
  OUT.grd             Surfer 7 binary grid: the values in UTM metres, empty cells blanked
  OUT.xyz             ASCII XYZ: "X Y Z" per cell that is not empty, at the cell's centre in UTM
                      metres, row by row from the north

The colours run over the diverging palette from the 2nd to the 98th percentile of the grid.
With --recipe, the grid is made of the values processed by the recipe's steps (as quarlomet
export --recipe writes them); readings a step made gaps are left out. A recipe that is not valid is
refused with its file name and step, and nothing is written; a step's notes go to standard error.
A file that fails to load is named on standard error with its message ("FILE: MESSAGE") and left
out; the others are still gridded. A file that loads but places no reading (empty, or no fix at
all) is named too ("FILE: no reading with a usable position"). Then standard output shows the grid:
  grid: W x H cells of C m, METHOD, radius R m
  zone: WGS 84 / UTM zone ZZN (EPSG:326ZZ), or UPS North or South (EPSG:32661, 32761)
  readings: U used, L left out; files: R read, F left out
A folder stands for its .csv files, in name order, without earlier CSV exports of placed readings.
OUT is written under a temporary name and
renamed when complete: when the grid cannot be made or written, no file is left under its name.

Options:
  -o, --output OUT   the file to write (.tif, .tiff, .kmz, .png, .grd or .xyz)
  --cell M           the cell size in metres (default: a quarter of the spacing between lines)
  --method NAME      linear (triangulation, the default), invdist (inverse distance to the
                     nearest readings), nearest or average
  --radius M         the search radius in metres (default: twice the spacing between lines)
  --recipe FILE      grid the readings as processed by this recipe (JSON)
  --help             this text

Exit status: 0 when every file loaded and OUT was written, 1 when a file was left out, the recipe
was refused or no grid was written, 2 on a usage error.
)";

constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true}, {"--cell", "", true}, {"--method", "", true}, {"--radius", "", true},
    {"--recipe", "", true}};

double ParseMetres(const ParsedArgs& args, std::string_view option)
{
    const auto text = args.Value(option);
    if (!text) {
        return 0; // the grid's default
    }
    const double metres = ParseReal(*text, option);
    if (!(metres > 0)) {
        throw UsageError(std::string(option) + " must be a number of metres above 0, not '" + *text + "'");
    }
    return metres;
}

std::string Metres(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void WriteOut(const std::string& text)
{
    if (!WriteAll(stdout, text)) {
        throw Error("Cannot write to standard output");
    }
}

// The readings processed by the recipe, without the gaps it made (counted in `gaps`); the files that
// placed no reading go to `placedNothing`.
site::PlacedReadings ProcessedForGrid(const std::string& recipeName, const process::Recipe& recipe,
                                      const std::vector<std::filesystem::path>& files, const site::GatherProgress& step,
                                      std::uint64_t& gaps, std::vector<std::string>& notes,
                                      std::vector<std::filesystem::path>& placedNothing)
{
    const process::ProcessedSite site = process::ProcessSite(recipe, files, step);
    notes = process::NoteLines(site.reports, recipeName);
    placedNothing = site::FilesPlacingNothing(site.readings.placed);
    site::PlacedReadings placed = process::ProcessedPlacedReadings(site.readings.placed, site.values);
    gaps = site.readings.placed.size() - placed.size();
    return placed;
}

// The method, cell size and radius of the options.
site::GridRequest RequestOf(const ParsedArgs& args)
{
    site::GridRequest request;
    if (const auto method = args.Value("--method")) {
        const auto parsed = site::ParseMethod(*method);
        if (!parsed) {
            throw UsageError("unknown method '" + *method + "' (use linear, invdist, nearest or average)");
        }
        request.method = *parsed;
    }
    request.cellSize = ParseMetres(args, "--cell");
    request.radius = ParseMetres(args, "--radius");
    return request;
}

int RunGrid(const CommandCall& call)
{
    const ParsedArgs& args = call.args;
    const std::string out = SurveysAndOutput(args);
    const std::filesystem::path target = PathFromUtf8(out);
    if (!site::GridFormatFor(target)) {
        throw UsageError("cannot tell the grid format from the name '" + out + "' (use " +
                         std::string(site::kGridSuffixes) + ")");
    }
    site::GridRequest request = RequestOf(args);
    const auto recipeName = args.Value("--recipe");
    std::optional<process::Recipe> recipe;
    if (recipeName) {
        recipe = process::ReadRecipeFile(std::filesystem::path(*recipeName), *recipeName);
    }
    SetDecimalSeparator('.');
    const SiteFiles surveys = ForSiteCore(ExpandFileArguments(args.Positional()));
    const std::vector<std::string>& files = surveys.given;

    // Gathering counts a step a file, gridding a step a percent.
    const int fileSteps = static_cast<int>(files.size());
    Progress progress("grid", fileSteps + 100);
    const site::GatherProgress gatherStep = [&](std::size_t done, std::size_t total) {
        if (done < total) {
            progress.Step(static_cast<int>(done), files[done]);
        }
        return true;
    };
    std::uint64_t gaps = 0;
    std::vector<std::string> notes;
    std::vector<std::filesystem::path> placedNothing;
    site::PlacedReadings placed =
        recipe ? ProcessedForGrid(*recipeName, *recipe, surveys.core, gatherStep, gaps, notes, placedNothing)
               : site::GatherReadings(surveys.core, gatherStep);
    if (!recipe) {
        placedNothing = site::FilesPlacingNothing(placed);
    }
    request.progress = [&](double fraction) {
        progress.Step(fileSteps + static_cast<int>(fraction * 99), "gridding");
        return true;
    };
    // The grid needs only the positions and values: what else the gathering kept goes first, so
    // that the peak stays near the readings and the grid (a large grid is written in blocks, never
    // held whole).
    std::vector<std::uint32_t>().swap(placed.row);
    // Why no grid was written is told after the files left out and the recipe's notes.
    site::GridResult grid;
    std::exception_ptr failure;
    try {
        grid = site::GridToFile(placed, request, target);
    } catch (const Error&) {
        failure = std::current_exception();
    }
    std::vector<double>().swap(placed.lon);
    std::vector<double>().swap(placed.lat);
    std::vector<double>().swap(placed.value);
    progress.Done();

    PrintFilesLeftOut(surveys, placed.failures, placedNothing);
    for (const std::string& note : notes) {
        WriteAll(stderr, DisplayText(note + "\n"));
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    for (const std::string& message : grid.messages) {
        WriteAll(stderr, DisplayText(message + "\n"));
    }

    WriteOut("grid: " + std::to_string(grid.width) + " x " + std::to_string(grid.height) + " cells of " +
             Metres(grid.cellSize) + " m, " + site::MethodName(grid.method) + ", radius " + Metres(grid.radius) +
             " m\nzone: WGS 84 / " + site::ZoneName(grid) + " (EPSG:" + std::to_string(grid.epsg) + ")\nreadings: " +
             std::to_string(grid.readingsUsed) + " used, " +
             std::to_string(placed.withoutPosition + gaps + grid.readingsLeftOut) + " left out; files: " +
             std::to_string(files.size() - placed.failures.size()) + " read, " +
             std::to_string(placed.failures.size()) + " left out\n");
    return placed.failures.empty() ? 0 : 1;
}

} // namespace

constinit const Command kGridCommand{"grid", kHelp, kOptions, RunGrid};

} // namespace qm::cli
