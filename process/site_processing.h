// A recipe applied to the placed readings of a list of survey files: the recipe read from its file,
// the readings gathered once (with labels, for writing) and cut into the recipe's traverses, and
// every step run. What the tool's export and grid do with --recipe.
#pragma once

#include "chain.h"
#include "recipe.h"

#include "readings_export.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm::process {

// Reads and checks a recipe file; `name` starts every message (the name the user gave). Throws
// Error for a file that cannot be read, is larger than any recipe (1 MiB), or is not a recipe.
Recipe ReadRecipeFile(const std::filesystem::path& path, std::string_view name);

struct ProcessedSite {
    site::LabelledReadings readings;
    Values values;                   // one per placed reading
    std::vector<StepReport> reports; // one per step
};

// Gathers the files and runs the recipe over their traverses.
ProcessedSite ProcessSite(const Recipe& recipe, const std::vector<std::filesystem::path>& files,
                          const site::GatherProgress& progress = {}, const ShouldStop& stop = {});

// Every note of the steps as lines "NAME: step K: NOTE".
std::vector<std::string> NoteLines(const std::vector<StepReport>& reports, std::string_view name);

// The placed readings with processed values instead of readings, gaps left out: what a grid takes.
site::PlacedReadings ProcessedPlacedReadings(const site::PlacedReadings& placed, const Values& values);

} // namespace qm::process
