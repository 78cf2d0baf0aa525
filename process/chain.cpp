// Running a recipe once, or keeping each step's result for recomputing from an edited step on.
#include "chain.h"

#include "errors.h"

#include <utility>

namespace qm::process {

namespace {

void CheckCover(const Traverses& traverses, std::size_t readings)
{
    if (traverses.Readings() != readings)
        throw Error("The traverses do not cover the placed readings");
}

} // namespace

RunResult RunRecipe(const Recipe& recipe, std::vector<double> readings, const Traverses& traverses,
                    const ShouldStop& stop)
{
    CheckCover(traverses, readings.size());
    RunResult result;
    result.values = FromReadings(std::move(readings));
    result.reports.resize(recipe.steps.size());
    Values spare; // the two buffers take turns as input and output
    for (std::size_t k = 0; k < recipe.steps.size(); ++k) {
        if (recipe.steps[k].enabled) {
            ApplyStep(recipe.steps[k].op, traverses, result.values, spare, result.reports[k], stop);
            std::swap(result.values, spare);
        }
    }
    return result;
}

Chain::Chain(std::vector<double> readings, Traverses byFile, Traverses byColumn2)
    : input_(std::make_shared<const Values>(FromReadings(std::move(readings)))),
      byFile_(std::move(byFile)),
      byColumn2_(std::move(byColumn2))
{
    CheckCover(byFile_, input_->size());
}

const Traverses& Chain::CurrentTraverses() const
{
    return recipe_.traverses == TraverseMode::Files ? byFile_ : byColumn2_;
}

void Chain::SetRecipe(Recipe recipe)
{
    std::size_t same = 0;
    if (recipe.traverses == recipe_.traverses) {
        while (same < computed_ && same < recipe.steps.size() && recipe.steps[same] == recipe_.steps[same])
            ++same;
    }
    recipe_ = std::move(recipe);
    computed_ = same;
    results_.resize(recipe_.steps.size());
    reports_.resize(recipe_.steps.size());
}

bool Chain::Run(const ShouldStop& stop)
{
    const Traverses& traverses = CurrentTraverses();
    CheckCover(traverses, input_->size());
    try {
        for (; computed_ < recipe_.steps.size(); ++computed_) {
            const Step& step = recipe_.steps[computed_];
            const std::shared_ptr<const Values> before = computed_ == 0 ? input_ : results_[computed_ - 1];
            StepReport report;
            if (step.enabled)
                results_[computed_] = std::make_shared<const Values>(ApplyStep(step.op, traverses, *before, report, stop));
            else
                results_[computed_] = before;
            reports_[computed_] = std::move(report);
        }
    } catch (const Cancelled&) {
        return false;
    }
    return true;
}

} // namespace qm::process
