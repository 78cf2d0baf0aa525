// A processing recipe: the steps run over a site's placed readings, read from and written to the
// recipe's JSON text ({"recipe": "quarlomet", "version": 1, "traverses": ..., "steps": [...]}).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace qm::process {

using Range = std::pair<double, double>;

// Values equal to one of `equal`, above `above` or below `below` become gaps.
struct GapsStep {
    std::vector<double> equal;
    std::optional<double> above;
    std::optional<double> below;
    bool operator==(const GapsStep&) const = default;
};

// Values are held within [a, b]: exactly one of the three forms is set.
struct ClipStep {
    std::optional<Range> range;   // {"min": a, "max": b}
    std::optional<double> sd;     // mean ∓ sd·SD of the site's values
    std::optional<Range> percent; // these percentiles of the site's values
    bool operator==(const ClipStep&) const = default;
};

enum class Statistic { Median, Mean };

// Each traverse less its median or mean (of the values within `within` when given).
struct ZeroTraverseStep {
    Statistic statistic = Statistic::Median;
    std::optional<Range> within;
    bool operator==(const ZeroTraverseStep&) const = default;
};

enum class Replace { Median, Gap, Flag };

// Readings far from their window's median, in units of its median absolute deviation.
struct DespikeStep {
    std::int64_t window = 5;
    double threshold = 3;
    double minimum = 0;
    Replace replace = Replace::Median;
    bool operator==(const DespikeStep&) const = default;
};

enum class Parity { All, Odd, Even };

// Reading i of each chosen traverse takes what reading i − readings had.
struct ShiftStep {
    double readings = 1; // a whole number other than 0, kept as read so it writes back the same
    Parity traverses = Parity::All;
    bool operator==(const ShiftStep&) const = default;
};

// Each value less the median of its window.
struct HighPassStep {
    std::int64_t window = 3;
    bool operator==(const HighPassStep&) const = default;
};

using Operation = std::variant<GapsStep, ClipStep, ZeroTraverseStep, DespikeStep, ShiftStep, HighPassStep>;

struct Step {
    Operation op;
    bool enabled = true; // a disabled step is skipped but must still be valid
    bool operator==(const Step&) const = default;
};

enum class TraverseMode { Files, Column2 };

struct Recipe {
    TraverseMode traverses = TraverseMode::Files;
    std::vector<Step> steps;
    bool operator==(const Recipe&) const = default;
};

// The operation's name in a recipe ("despike", "zero-traverse", ...).
std::string_view OperationName(const Operation& op);

// What is wrong with a step's parameters ("window must be an odd whole number of at least 3"),
// empty when nothing is: the rules ParseRecipe applies, for steps made in code.
std::string StepProblem(const Operation& op);

// Reads a recipe. Throws Error for anything that is not a valid recipe, with a message that starts
// with `fileName` and, where a step is at fault, its number from 1:
// "site.json: step 3: window must be an odd whole number of at least 3".
Recipe ParseRecipe(std::string_view text, std::string_view fileName);

// The recipe as JSON text that ParseRecipe reads back to an equal recipe (numbers as the shortest
// text that reads back to the same double).
std::string RecipeJson(const Recipe& recipe);

} // namespace qm::process
