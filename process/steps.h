// The operations of a recipe, each a plain function from one step's values to the next.
#pragma once

#include "recipe.h"
#include "traverses.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qm::process {

// The current values of the placed readings: NaN for a gap, and whether a despike step with
// "flag" marked the reading as a spike (a flag travels with its value and outlives a gap).
struct Values {
    std::vector<double> value;
    std::vector<std::uint8_t> flag;

    std::size_t size() const { return value.size(); }
};

// The readings as a step's input: no gaps, no flags.
Values FromReadings(std::vector<double> readings);

// Asked between traverses and blocks of readings; true stops the work, which then throws Cancelled.
using ShouldStop = std::function<bool()>;
struct Cancelled {};

// What one step did beyond its values.
struct StepReport {
    std::vector<std::string> notes; // e.g. "traverse 4: no value, left as it is"
    std::uint64_t spikes = 0;       // readings a despike step found to be spikes
    std::uint64_t gaps = 0;         // gaps after the step
};

// Runs one operation over `in` (which it leaves as it is) and returns the values after it.
Values ApplyStep(const Operation& op, const Traverses& traverses, const Values& in, StepReport& report,
                 const ShouldStop& stop = {});
// The same into `out` (not `in`), reusing its memory.
void ApplyStep(const Operation& op, const Traverses& traverses, const Values& in, Values& out, StepReport& report,
               const ShouldStop& stop = {});

} // namespace qm::process
