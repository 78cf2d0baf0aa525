// Reading a recipe file and running it over a list of survey files, gathered once.
#include "site_processing.h"

#include "errors.h"
#include "file_io.h"

#include <cmath>

namespace qm::process {

namespace {

constexpr std::size_t kMaxRecipeBytes = 1 << 20;

} // namespace

Recipe ReadRecipeFile(const std::filesystem::path& path, std::string_view name)
{
    InputFile file;
    if (!file.Open(path))
        throw Error(std::string(name) + ": cannot open the recipe");
    std::string text(kMaxRecipeBytes + 1, '\0');
    std::size_t size = 0;
    try {
        for (std::size_t got = 1; got != 0 && size < text.size();) {
            got = file.Read(text.data() + size, text.size() - size);
            size += got;
        }
    } catch (const Error& e) {
        throw Error(std::string(name) + ": " + e.what());
    }
    if (size > kMaxRecipeBytes)
        throw Error(std::string(name) + ": too large for a recipe");
    text.resize(size);
    return ParseRecipe(text, name);
}

ProcessedSite ProcessSite(const Recipe& recipe, const std::vector<std::filesystem::path>& files,
                          const site::GatherProgress& progress, const ShouldStop& stop)
{
    ProcessedSite site;
    std::vector<std::uint8_t> runStarts;
    Column2Runs runs;
    std::function<void(const site::PlacedRow&)> each;
    if (recipe.traverses == TraverseMode::Column2)
        each = [&](const site::PlacedRow& row) { runStarts.push_back(runs.StartsRun(row) ? 1 : 0); };
    site.readings = site::GatherLabelledReadings(files, each, progress);
    const Traverses traverses = recipe.traverses == TraverseMode::Column2 ? TraversesFromRunStarts(runStarts)
                                                                         : TraversesByFile(site.readings.placed);
    RunResult result = RunRecipe(recipe, site.readings.placed.value, traverses, stop);
    site.values = std::move(result.values);
    site.reports = std::move(result.reports);
    return site;
}

std::vector<std::string> NoteLines(const std::vector<StepReport>& reports, std::string_view name)
{
    std::vector<std::string> lines;
    for (std::size_t k = 0; k < reports.size(); ++k)
        for (const std::string& note : reports[k].notes)
            lines.push_back(std::string(name) + ": step " + std::to_string(k + 1) + ": " + note);
    return lines;
}

site::PlacedReadings ProcessedPlacedReadings(const site::PlacedReadings& placed, const Values& values)
{
    site::PlacedReadings out;
    out.files = placed.files;
    out.withoutPosition = placed.withoutPosition;
    out.failures = placed.failures;
    for (const site::ReadingFiles::Run& run : placed.file.Runs())
        for (std::size_t i = run.begin; i < run.end; ++i) {
            if (std::isnan(values.value[i]))
                continue;
            out.lon.push_back(placed.lon[i]);
            out.lat.push_back(placed.lat[i]);
            out.value.push_back(values.value[i]);
            out.file.push_back(run.file);
            out.row.push_back(placed.row[i]);
        }
    return out;
}

} // namespace qm::process
