// Recipes over readings cut into traverses. Any text is read without a crash (a refusal is an
// Error); a recipe read writes back to text that reads back equal. The chain, run whole, step by
// step and after a cancellation, must give what a plain model of the steps written here gives
// (sorted copies, windows listed reading by reading), within 1e-9 relative, with the same gaps and
// flags; and readings within 1e12 never come out as an infinity or as NaN where the model has a value.
//
// Input: one option byte. Bit 0 clear: the recipe text, then kReadingsMark, then the readings.
// Bit 0 set: the steps as bytes (see RecipeFromBytes), then the readings. Readings: one byte of
// trailing empty files, then 3 bytes a reading (file advance, column 2 text, value kind; value bits).
#include "fuzz_check.h"
#include "fuzz_recipe_model.h"

#include "chain.h"
#include "errors.h"
#include "recipe.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace qm::process;

constexpr std::string_view kReadingsMark = "<<readings>>";
constexpr std::size_t kMaxReadings = 600;

using qm::fuzz::Site;

double ReadingValue(unsigned kind, qm::fuzz::Input& in)
{
    const auto small = static_cast<std::int16_t>(in.Bits16());
    if (kind < 8)
        return small % 8; // many equal values: ties in every median
    if (kind < 11)
        return small;
    if (kind < 13)
        return small * 1e-3;
    if (kind < 15)
        return std::clamp(small * 1e8, -1e12, 1e12);
    double raw = 0;
    const std::uint64_t bits = static_cast<std::uint64_t>(in.Bits32()) | static_cast<std::uint64_t>(in.Bits32()) << 32;
    std::memcpy(&raw, &bits, sizeof raw);
    if (!std::isfinite(raw))
        return 0;
    return std::fabs(raw) <= 1e12 ? raw : std::fmod(raw, 1e12);
}

Site SiteFromBytes(qm::fuzz::Input& in)
{
    Site site;
    const unsigned emptyAtEnd = in.Byte() % 3;
    std::uint32_t file = 0;
    while (in.Left() > 0 && site.readings.size() < kMaxReadings) {
        const unsigned b = in.Byte();
        // Advance by 0, 1 or 2 files: runs of readings in a file, and empty files between them.
        file += (b & 3) == 3 ? 2 : (b & 1);
        site.file.push_back(file);
        site.column2.push_back(static_cast<std::uint8_t>(b >> 2 & 3));
        site.readings.push_back(ReadingValue(b >> 4, in));
    }
    site.fileCount = (site.file.empty() ? 1 : site.file.back() + 1) + emptyAtEnd;
    return site;
}

// A number for a parameter: from a table of telling values, or any finite double.
double Parameter(qm::fuzz::Input& in)
{
    constexpr double kValues[] = {0, 1, -1, 2, 3, 0.5, 1e-3, 7, 50, 100, 1e12, -1e12, 25, 75, 1e300, 5e-324};
    const unsigned b = in.Byte();
    if (b < 240)
        return kValues[b % 16] * (b & 16 ? -1 : 1) + (b & 32 ? 0.25 : 0);
    double raw = 0;
    const std::uint64_t bits = static_cast<std::uint64_t>(in.Bits32()) | static_cast<std::uint64_t>(in.Bits32()) << 32;
    std::memcpy(&raw, &bits, sizeof raw);
    return std::isfinite(raw) ? raw : 1;
}

Range OrderedPair(qm::fuzz::Input& in)
{
    double a = Parameter(in);
    double b = Parameter(in);
    if (a > b)
        std::swap(a, b);
    return {a, b};
}

std::int64_t Window(qm::fuzz::Input& in)
{
    const unsigned b = in.Byte();
    return b < 250 ? 3 + 2 * static_cast<std::int64_t>(b % 40) : 3 + 2 * static_cast<std::int64_t>(in.Bits16());
}

Operation OperationFromBytes(unsigned kind, qm::fuzz::Input& in)
{
    switch (kind % 6) {
    case 0: {
        GapsStep s;
        const unsigned b = in.Byte();
        for (unsigned k = 0; k < (b & 3); ++k)
            s.equal.push_back(Parameter(in));
        if (b & 4)
            s.above = Parameter(in);
        if ((b & 8) || (s.equal.empty() && !s.above))
            s.below = Parameter(in);
        return s;
    }
    case 1: {
        ClipStep s;
        const unsigned b = in.Byte() % 3;
        if (b == 0)
            s.range = OrderedPair(in);
        else if (b == 1)
            s.sd = std::max(std::fabs(Parameter(in)), 1e-3);
        else
            s.percent = Range{static_cast<double>(in.Byte() % 100), 0};
        if (s.percent)
            s.percent->second = s.percent->first + 1 + in.Byte() % (100 - static_cast<unsigned>(s.percent->first));
        return s;
    }
    case 2: {
        ZeroTraverseStep s;
        const unsigned b = in.Byte();
        s.statistic = (b & 1) ? Statistic::Mean : Statistic::Median;
        if (b & 2)
            s.within = OrderedPair(in);
        return s;
    }
    case 3: {
        DespikeStep s;
        s.window = Window(in);
        s.threshold = std::max(std::fabs(Parameter(in)), 1e-3);
        s.minimum = std::fabs(Parameter(in));
        s.replace = static_cast<Replace>(in.Byte() % 3);
        return s;
    }
    case 4: {
        ShiftStep s;
        const auto r = static_cast<std::int8_t>(in.Byte());
        s.readings = r == 0 ? 1e15 : r;
        s.traverses = static_cast<Parity>(in.Byte() % 3);
        return s;
    }
    default:
        return HighPassStep{Window(in)};
    }
}

Recipe RecipeFromBytes(qm::fuzz::Input& in)
{
    Recipe recipe;
    const unsigned head = in.Byte();
    recipe.traverses = (head & 1) ? TraverseMode::Column2 : TraverseMode::Files;
    for (unsigned k = 0; k < (head >> 1) % 7; ++k) {
        const unsigned b = in.Byte();
        Step step{OperationFromBytes(b, in), (b & 0x80) == 0};
        QM_FUZZ_CHECK(StepProblem(step.op).empty());
        recipe.steps.push_back(std::move(step));
    }
    return recipe;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    Recipe recipe;
    Site site;
    if (options & 1) {
        recipe = RecipeFromBytes(in);
        site = SiteFromBytes(in);
    } else {
        std::string_view text = in.RestText();
        const std::size_t mark = text.find(kReadingsMark);
        const std::string_view readings = mark == std::string_view::npos ? std::string_view() : text.substr(mark + kReadingsMark.size());
        text = text.substr(0, mark);
        try {
            recipe = ParseRecipe(text, "fuzz.json");
        } catch (const qm::Error&) {
            return 0;
        }
        qm::fuzz::Input rest(reinterpret_cast<const unsigned char*>(readings.data()), readings.size());
        site = SiteFromBytes(rest);
    }
    // Written out, the recipe reads back equal.
    QM_FUZZ_CHECK(ParseRecipe(RecipeJson(recipe), "written.json") == recipe);
    qm::fuzz::CheckChain(recipe, site, options >> 1);
    return 0;
}
