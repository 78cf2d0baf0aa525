// export and grid with --recipe: the processed values written beside the readings, refusals that
// write nothing, notes on standard error, and gaps left out of the grid.
#include "cli_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

using qm::test::CliTest;
using qm::test::Reading;
using qm::test::Survey;

class CliRecipe : public ::testing::Test, public CliTest {};

TEST_F(CliRecipe, ExportWritesProcessedValuesWithTheRawReadingAndSpikeFlags)
{
    Write("a.csv", Survey({Reading("a1", "10"), Reading("a2", "10"), Reading("a3", "90"), Reading("a4", "10"),
                           Reading("a5", "10")}));
    Write("b.csv", Survey({Reading("b1", "5"), Reading("b2", "7")}));
    Write("c.csv", Survey({"c1,5,10:00,?,,,"})); // places nothing: an empty third traverse
    Write("r.json", R"({"recipe": "quarlomet", "version": 1, "steps": [
        {"op": "despike", "window": 3, "replace": "flag"},
        {"op": "zero-traverse"},
        {"op": "shift", "readings": 1.0, "traverses": "even"},
        {"op": "high-pass", "window": 3, "enabled": false}]})");
    const auto run = Call({"export", "--recipe", "r.json", "a.csv", "b.csv", "c.csv", "-o", "out.csv"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "c.csv: no reading with a usable position\nr.json: step 2: traverse 3: no value, left as it is\n");
    EXPECT_EQ(run.out, "readings: 7 written, 1 without a usable position; files: 3 read, 0 left out\n");
    const std::string at = ",56.751655,37.2028283333333,";
    EXPECT_EQ(Read("out.csv"), "file,row,label,value,lat,lon,raw,spike\r\n"
                               "a.csv,1,a1,0" + at + "10,0\r\n"
                               "a.csv,2,a2,0" + at + "10,0\r\n"
                               "a.csv,3,a3,80" + at + "90,1\r\n"
                               "a.csv,4,a4,0" + at + "10,0\r\n"
                               "a.csv,5,a5,0" + at + "10,0\r\n"
                               "b.csv,1,b1," + at + "5,0\r\n"
                               "b.csv,2,b2,-1" + at + "7,0\r\n");

    // A refused recipe writes nothing, in either subcommand.
    Write("bad.json", R"({"recipe": "quarlomet", "version": 1, "steps": [{"op": "despike", "treshold": 2}]})");
    const auto refused = Call({"export", "--recipe", "bad.json", "a.csv", "-o", "bad.csv"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "bad.json: step 1: unknown parameter \"treshold\"\n");
    EXPECT_FALSE(std::filesystem::exists(Path("bad.csv")));
    EXPECT_EQ(Call({"grid", "--recipe", "bad.json", "a.csv", "-o", "bad.tif"}).err, refused.err);
}

TEST_F(CliRecipe, GridLeavesOutTheGapsTheRecipeMade)
{
    // Shifting each file's readings by one leaves its first reading without a value.
    Write("shift.json", R"({"recipe": "quarlomet", "version": 1, "steps": [{"op": "shift", "readings": 1}]})");
    const auto plain = Call({"grid", QM_EXAMPLES_DIR, "-o", "plain.tif"});
    const auto shifted = Call({"grid", "--recipe", "shift.json", QM_EXAMPLES_DIR, "-o", "shifted.tif"});
    ASSERT_EQ(shifted.status, 0) << shifted.err;
    const auto counts = [](const std::string& out) {
        const std::size_t at = out.find("\nreadings: ");
        return at == std::string::npos ? std::pair<long, long>{-1, -1}
                                       : std::pair<long, long>{std::stol(out.substr(at + 11)),
                                                               std::stol(out.substr(out.find(" used, ", at) + 7))};
    };
    const auto [used, leftOut] = counts(plain.out);
    EXPECT_EQ(counts(shifted.out), (std::pair<long, long>{used - 14, leftOut + 14})) << shifted.out;
}

} // namespace
