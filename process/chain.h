// A recipe run over a site's readings: once through for the tool, or step by step with every
// step's result kept, so that an edit of step k recomputes from step k on (the viewer's panel).
#pragma once

#include "recipe.h"
#include "steps.h"
#include "traverses.h"

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace qm::process {

struct RunResult {
    Values values;                   // after the last step
    std::vector<StepReport> reports; // one per step; empty for a disabled step
};

// Runs every enabled step in order. Throws Cancelled when `stop` says so, Error when the
// traverses do not cover the readings.
RunResult RunRecipe(const Recipe& recipe, std::vector<double> readings, const Traverses& traverses,
                    const ShouldStop& stop = {});

// Keeps the values after each step. Not shared between threads: the owner runs it on one worker
// at a time and reads the results once Run has returned; results are shared_ptrs, so a result
// handed out stays valid while later runs replace it.
class Chain {
public:
    // The readings of the placed readings, and their traverses by file and by column 2 runs
    // (the latter may be left empty while no recipe asks for them).
    Chain(std::vector<double> readings, Traverses byFile, Traverses byColumn2 = {});

    // Takes a new recipe; the results of the leading steps it shares with the last one are kept.
    void SetRecipe(Recipe recipe);
    const Recipe& GetRecipe() const { return recipe_; }
    // Steps whose results are current (0 … step count).
    std::size_t Computed() const { return computed_; }

    // Computes the steps from Computed() on. Returns false when `stop` stopped it: the steps done
    // before stay computed.
    bool Run(const ShouldStop& stop = {});

    // The values after step k (0-based), or the readings for k = -1 as Input(); valid once computed.
    // A disabled step's values are its predecessor's, shared, not copied.
    std::shared_ptr<const Values> After(std::size_t k) const { return results_.at(k); }
    std::shared_ptr<const Values> Input() const { return input_; }
    std::shared_ptr<const Values> Final() const { return results_.empty() ? input_ : results_.back(); }
    const StepReport& Report(std::size_t k) const { return reports_.at(k); }
    const Traverses& CurrentTraverses() const;

private:
    std::shared_ptr<const Values> input_;
    Traverses byFile_;
    Traverses byColumn2_;
    Recipe recipe_;
    std::vector<std::shared_ptr<const Values>> results_;
    std::vector<StepReport> reports_;
    std::size_t computed_ = 0;
};

} // namespace qm::process
