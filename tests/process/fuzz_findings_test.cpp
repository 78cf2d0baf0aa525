// Inputs the fuzz targets found at fault, kept so that the faults stay fixed.
#include "recipe.h"

#include "errors.h"

#include <gtest/gtest.h>

#include <string>

namespace qm::process {
namespace {

// A number beyond the range of a double ("1e400") is no JSON number a recipe can hold: the reading
// refuses it with the file's name like any other fault, rather than let the JSON library's own
// exception escape (which ended the tool).
TEST(RecipeFuzzFindings, ANumberBeyondTheDoublesIsRefusedWithTheFileName)
{
    for (const char* number : {"1e400", "-4444444444444444441e30844"}) {
        const std::string text =
            std::string(R"({"recipe": "quarlomet", "version": 1, "steps": [{"op": "clip", "sd": )") + number + "}]}";
        try {
            ParseRecipe(text, "site.json");
            ADD_FAILURE() << number << " was accepted";
        } catch (const Error& e) {
            EXPECT_EQ(std::string(e.what()).rfind("site.json: ", 0), 0u) << e.what();
        } catch (...) {
            ADD_FAILURE() << number << ": an exception other than Error";
        }
    }
}

} // namespace
} // namespace qm::process
