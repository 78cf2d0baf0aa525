// Recipes read and written: what is refused and how the refusal reads, defaults, and a round trip
// that keeps every double.
#include "recipe.h"

#include "errors.h"

#include <gtest/gtest.h>

#include <string>

namespace qm::process {
namespace {

std::string Steps(const std::string& steps)
{
    return R"({"recipe": "quarlomet", "version": 1, "steps": [)" + steps + "]}";
}

std::string Refusal(const std::string& text)
{
    try {
        ParseRecipe(text, "site.json");
    } catch (const Error& e) {
        return e.what();
    }
    return "accepted";
}

TEST(RecipeRefusals, NameTheFileAndTheStep)
{
    EXPECT_EQ(Refusal(Steps(R"({"op": "despike"}, {"op": "clip", "sd": 2}, {"op": "high-pass", "window": 4})")),
              "site.json: step 3: window must be an odd whole number of at least 3");
    EXPECT_EQ(Refusal(Steps(R"({"op": "despike", "treshold": 2})")), "site.json: step 1: unknown parameter \"treshold\"");
    EXPECT_EQ(Refusal(Steps(R"({"op": "smooth"})")), "site.json: step 1: unknown operation \"smooth\"");
    EXPECT_EQ(Refusal(Steps(R"({"op": "clip", "min": 1, "max": 0})")), "site.json: step 1: min must not be above max");
    EXPECT_EQ(Refusal(Steps(R"({"op": "clip", "min": 0, "max": 1, "sd": 2})")),
              "site.json: step 1: clip takes one of min and max, sd or percent");
    EXPECT_EQ(Refusal(Steps(R"({"op": "despike", "enabled": 1})")), "site.json: step 1: enabled must be true or false");
    // A disabled step must still be valid; true is never a number.
    EXPECT_EQ(Refusal(Steps(R"({"op": "shift", "readings": 0, "enabled": false})")),
              "site.json: step 1: readings must be a whole number other than 0");
    EXPECT_EQ(Refusal(Steps(R"({"op": "despike", "window": true})")),
              "site.json: step 1: window must be an odd whole number of at least 3");
    EXPECT_EQ(Refusal(Steps(R"({"op": "despike", "threshold": 0})")), "site.json: step 1: threshold must be a number above 0");
    EXPECT_EQ(Refusal(Steps(R"({"op": "clip", "percent": [50, 50]})")),
              "site.json: step 1: percent must be two numbers [lo, hi] with 0 <= lo < hi <= 100");
    EXPECT_EQ(Refusal(Steps(R"({"op": "gaps"})")), "site.json: step 1: gaps needs equal, above or below");
    EXPECT_EQ(Refusal(Steps(R"({"op": "high-pass"})")), "site.json: step 1: high-pass needs \"window\"");

    EXPECT_EQ(Refusal(R"({"recipe": "quarlomet", "version": 2, "steps": []})"), "site.json: version must be 1");
    EXPECT_EQ(Refusal(R"({"recipe": "quarlomet", "version": 1, "traverses": "lines", "steps": []})"),
              "site.json: traverses must be \"files\" or \"column2\"");
    EXPECT_EQ(Refusal(R"({"recipe": "other", "version": 1, "steps": []})"),
              "site.json: not a quarlomet recipe (no \"recipe\": \"quarlomet\")");
    EXPECT_EQ(Refusal(R"({"recipe": "quarlomet", "version": 1})"), "site.json: not a quarlomet recipe (no \"steps\" list)");
    EXPECT_EQ(Refusal("{\"recipe\": ").rfind("site.json: not JSON: ", 0), 0u);
}

TEST(RecipeReading, DefaultsAndWholeNumbersWrittenEitherWay)
{
    const Recipe recipe = ParseRecipe(Steps(R"({"op": "despike", "window": 7.0}, {"op": "shift", "readings": -2})"), "r");
    ASSERT_EQ(recipe.steps.size(), 2u);
    EXPECT_EQ(recipe.traverses, TraverseMode::Files);
    EXPECT_EQ(recipe.steps[0].op, Operation(DespikeStep{7, 3, 0, Replace::Median}));
    EXPECT_EQ(recipe.steps[1].op, Operation(ShiftStep{-2, Parity::All}));
    EXPECT_TRUE(recipe.steps[1].enabled);
}

TEST(RecipeWriting, ReadsBackEqualWithEveryDouble)
{
    Recipe recipe;
    recipe.traverses = TraverseMode::Column2;
    recipe.steps = {{GapsStep{{99999, 0.1}, 1e300, -5e-324}},
                    {ClipStep{{}, {}, Range{0.1, 99.9}}},
                    {ZeroTraverseStep{Statistic::Mean, Range{-1.0 / 3, 2.0 / 3}}, false},
                    {DespikeStep{9, 2.5, 0.3, Replace::Flag}},
                    {ShiftStep{-3, Parity::Even}},
                    {HighPassStep{61}}};
    const std::string text = RecipeJson(recipe);
    EXPECT_EQ(ParseRecipe(text, "r"), recipe) << text;
    EXPECT_NE(text.find("\"window\": 61"), std::string::npos) << text;
}

} // namespace
} // namespace qm::process
