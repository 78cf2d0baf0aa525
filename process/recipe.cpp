// Reading and writing recipes: every parameter is checked for its kind and range, and unknown
// names are refused, so that a misspelt parameter never passes as its default.
#include "recipe.h"

#include "errors.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace qm::process {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A fault of one step, named with the step's number by the caller.
struct StepFault {
    std::string message;
};

constexpr char kWindow[] = "window must be an odd whole number of at least 3";
constexpr char kReadings[] = "readings must be a whole number other than 0";

bool IsWhole(double x) { return std::isfinite(x) && std::floor(x) == x; }

bool IsOddWindow(std::int64_t n) { return n >= 3 && n % 2 == 1; }

// The parameters of one step object, read by name with the message to give when one is of the
// wrong kind.
class Fields {
public:
    explicit Fields(const Json& object) : object_(object) {}

    void OnlyThese(std::initializer_list<std::string_view> known) const
    {
        for (const auto& [key, value] : object_.items()) {
            if (key != "op" && key != "enabled" && std::find(known.begin(), known.end(), key) == known.end())
                throw StepFault{"unknown parameter \"" + key + "\""};
        }
    }
    const Json* Find(const char* key) const
    {
        const auto it = object_.find(key);
        return it == object_.end() ? nullptr : &*it;
    }
    std::optional<double> Number(const char* key, const std::string& message) const
    {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_number() || !std::isfinite(value->get<double>()))
            throw StepFault{message};
        return value->get<double>();
    }
    std::optional<double> Whole(const char* key, const std::string& message) const
    {
        const std::optional<double> value = Number(key, message);
        if (value && !IsWhole(*value))
            throw StepFault{message};
        return value;
    }
    std::optional<std::int64_t> Window(const char* key) const
    {
        const std::optional<double> value = Whole(key, kWindow);
        if (!value)
            return std::nullopt;
        // Every double from 2^53 on is even, so no valid window is lost here.
        if (*value < 3 || *value > 9007199254740991.0)
            throw StepFault{kWindow};
        return static_cast<std::int64_t>(*value);
    }
    std::optional<Range> Pair(const char* key, const std::string& message) const
    {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (!value->is_array() || value->size() != 2)
            throw StepFault{message};
        for (const Json& x : *value)
            if (!x.is_number() || !std::isfinite(x.get<double>()))
                throw StepFault{message};
        return Range{(*value)[0].get<double>(), (*value)[1].get<double>()};
    }
    // One of `names`, returned as its index.
    template <std::size_t N>
    std::optional<std::size_t> Choice(const char* key, const std::string_view (&names)[N], const std::string& message) const
    {
        const Json* value = Find(key);
        if (value == nullptr)
            return std::nullopt;
        if (value->is_string()) {
            const std::string& text = value->get_ref<const std::string&>();
            for (std::size_t i = 0; i < N; ++i)
                if (text == names[i])
                    return i;
        }
        throw StepFault{message};
    }

private:
    const Json& object_;
};

constexpr std::string_view kStatistics[] = {"median", "mean"};
constexpr std::string_view kReplaces[] = {"median", "gap", "flag"};
constexpr std::string_view kParities[] = {"all", "odd", "even"};
constexpr std::string_view kModes[] = {"files", "column2"};

GapsStep ReadGaps(const Fields& f)
{
    f.OnlyThese({"equal", "above", "below"});
    GapsStep step;
    if (const Json* equal = f.Find("equal")) {
        const char* message = "equal must be a list of numbers";
        if (!equal->is_array() || equal->empty())
            throw StepFault{message};
        for (const Json& x : *equal) {
            if (!x.is_number() || !std::isfinite(x.get<double>()))
                throw StepFault{message};
            step.equal.push_back(x.get<double>());
        }
    }
    step.above = f.Number("above", "above must be a number");
    step.below = f.Number("below", "below must be a number");
    return step;
}

ClipStep ReadClip(const Fields& f)
{
    f.OnlyThese({"min", "max", "sd", "percent"});
    ClipStep step;
    const std::optional<double> min = f.Number("min", "min must be a number");
    const std::optional<double> max = f.Number("max", "max must be a number");
    if (min.has_value() != max.has_value())
        throw StepFault{"clip needs both min and max"};
    if (min)
        step.range = Range{*min, *max};
    step.sd = f.Number("sd", "sd must be a number above 0");
    step.percent = f.Pair("percent", "percent must be two numbers [lo, hi] with 0 <= lo < hi <= 100");
    return step;
}

ZeroTraverseStep ReadZeroTraverse(const Fields& f)
{
    f.OnlyThese({"statistic", "within"});
    ZeroTraverseStep step;
    if (const auto statistic = f.Choice("statistic", kStatistics, "statistic must be \"median\" or \"mean\""))
        step.statistic = static_cast<Statistic>(*statistic);
    step.within = f.Pair("within", "within must be two numbers [a, b] with a <= b");
    return step;
}

DespikeStep ReadDespike(const Fields& f)
{
    f.OnlyThese({"window", "threshold", "minimum", "replace"});
    DespikeStep step;
    step.window = f.Window("window").value_or(step.window);
    step.threshold = f.Number("threshold", "threshold must be a number above 0").value_or(step.threshold);
    step.minimum = f.Number("minimum", "minimum must be a number of at least 0").value_or(step.minimum);
    if (const auto replace = f.Choice("replace", kReplaces, "replace must be \"median\", \"gap\" or \"flag\""))
        step.replace = static_cast<Replace>(*replace);
    return step;
}

ShiftStep ReadShift(const Fields& f)
{
    f.OnlyThese({"readings", "traverses"});
    ShiftStep step;
    const std::optional<double> readings = f.Whole("readings", kReadings);
    if (!readings)
        throw StepFault{"shift needs \"readings\""};
    step.readings = *readings;
    if (const auto parity = f.Choice("traverses", kParities, "traverses must be \"all\", \"odd\" or \"even\""))
        step.traverses = static_cast<Parity>(*parity);
    return step;
}

HighPassStep ReadHighPass(const Fields& f)
{
    f.OnlyThese({"window"});
    const std::optional<std::int64_t> window = f.Window("window");
    if (!window)
        throw StepFault{"high-pass needs \"window\""};
    return HighPassStep{*window};
}

Step ReadStep(const Json& object)
{
    if (!object.is_object())
        throw StepFault{"a step must be a JSON object"};
    const Fields fields(object);
    const Json* op = fields.Find("op");
    if (op == nullptr)
        throw StepFault{"a step needs \"op\""};
    if (!op->is_string())
        throw StepFault{"op must be the name of an operation"};
    const std::string& name = op->get_ref<const std::string&>();
    Step step;
    if (name == "gaps")
        step.op = ReadGaps(fields);
    else if (name == "clip")
        step.op = ReadClip(fields);
    else if (name == "zero-traverse")
        step.op = ReadZeroTraverse(fields);
    else if (name == "despike")
        step.op = ReadDespike(fields);
    else if (name == "shift")
        step.op = ReadShift(fields);
    else if (name == "high-pass")
        step.op = ReadHighPass(fields);
    else
        throw StepFault{"unknown operation \"" + name + "\""};
    if (const Json* enabled = fields.Find("enabled")) {
        if (!enabled->is_boolean())
            throw StepFault{"enabled must be true or false"};
        step.enabled = enabled->get<bool>();
    }
    if (std::string problem = StepProblem(step.op); !problem.empty())
        throw StepFault{std::move(problem)};
    return step;
}

std::string ProblemOf(const GapsStep& s)
{
    if (s.equal.empty() && !s.above && !s.below)
        return "gaps needs equal, above or below";
    return {};
}

std::string ProblemOf(const ClipStep& s)
{
    const int forms = int(s.range.has_value()) + int(s.sd.has_value()) + int(s.percent.has_value());
    if (forms != 1)
        return forms == 0 ? "clip needs min and max, sd or percent" : "clip takes one of min and max, sd or percent";
    if (s.range && !(s.range->first <= s.range->second))
        return "min must not be above max";
    if (s.sd && !(*s.sd > 0 && std::isfinite(*s.sd)))
        return "sd must be a number above 0";
    if (s.percent && !(s.percent->first >= 0 && s.percent->first < s.percent->second && s.percent->second <= 100))
        return "percent must be two numbers [lo, hi] with 0 <= lo < hi <= 100";
    return {};
}

std::string ProblemOf(const ZeroTraverseStep& s)
{
    if (s.within && !(s.within->first <= s.within->second))
        return "within must be two numbers [a, b] with a <= b";
    return {};
}

std::string ProblemOf(const DespikeStep& s)
{
    if (!IsOddWindow(s.window))
        return kWindow;
    if (!(s.threshold > 0 && std::isfinite(s.threshold)))
        return "threshold must be a number above 0";
    if (!(s.minimum >= 0 && std::isfinite(s.minimum)))
        return "minimum must be a number of at least 0";
    return {};
}

std::string ProblemOf(const ShiftStep& s) { return IsWhole(s.readings) && s.readings != 0 ? std::string() : kReadings; }

std::string ProblemOf(const HighPassStep& s) { return IsOddWindow(s.window) ? std::string() : kWindow; }

// Whole numbers are written without a fraction, other numbers as the shortest text that reads
// back to the same double.
OrderedJson WholeJson(double x)
{
    if (std::abs(x) < 9.2e18)
        return static_cast<std::int64_t>(x);
    return x;
}

OrderedJson RangeJson(const Range& r) { return OrderedJson::array({r.first, r.second}); }

void WriteParameters(OrderedJson& j, const GapsStep& s)
{
    if (!s.equal.empty())
        j["equal"] = s.equal;
    if (s.above)
        j["above"] = *s.above;
    if (s.below)
        j["below"] = *s.below;
}

void WriteParameters(OrderedJson& j, const ClipStep& s)
{
    if (s.range) {
        j["min"] = s.range->first;
        j["max"] = s.range->second;
    }
    if (s.sd)
        j["sd"] = *s.sd;
    if (s.percent)
        j["percent"] = RangeJson(*s.percent);
}

void WriteParameters(OrderedJson& j, const ZeroTraverseStep& s)
{
    j["statistic"] = kStatistics[static_cast<std::size_t>(s.statistic)];
    if (s.within)
        j["within"] = RangeJson(*s.within);
}

void WriteParameters(OrderedJson& j, const DespikeStep& s)
{
    j["window"] = s.window;
    j["threshold"] = s.threshold;
    j["minimum"] = s.minimum;
    j["replace"] = kReplaces[static_cast<std::size_t>(s.replace)];
}

void WriteParameters(OrderedJson& j, const ShiftStep& s)
{
    j["readings"] = WholeJson(s.readings);
    j["traverses"] = kParities[static_cast<std::size_t>(s.traverses)];
}

void WriteParameters(OrderedJson& j, const HighPassStep& s) { j["window"] = s.window; }

std::string ParseFailure(const nlohmann::json::exception& e)
{
    // "[json.exception.parse_error.101] parse error at line 1, ..." without the library's tag.
    std::string what = e.what();
    const std::size_t tag = what.find("] ");
    return tag == std::string::npos ? what : what.substr(tag + 2);
}

} // namespace

std::string_view OperationName(const Operation& op)
{
    static constexpr std::string_view kNames[] = {"gaps", "clip", "zero-traverse", "despike", "shift", "high-pass"};
    return kNames[op.index()];
}

std::string StepProblem(const Operation& op)
{
    return std::visit([](const auto& step) { return ProblemOf(step); }, op);
}

Recipe ParseRecipe(std::string_view text, std::string_view fileName)
{
    const std::string name(fileName);
    Json root;
    try {
        root = Json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::parse_error& e) {
        throw Error(name + ": not JSON: " + ParseFailure(e));
    } catch (const nlohmann::json::out_of_range& e) {
        // A number beyond the range of a double, such as 1e400.
        throw Error(name + ": not JSON: " + ParseFailure(e));
    }
    const auto mark = root.is_object() ? root.find("recipe") : root.end();
    if (!root.is_object() || mark == root.end() || *mark != "quarlomet")
        throw Error(name + ": not a quarlomet recipe (no \"recipe\": \"quarlomet\")");
    for (const auto& [key, value] : root.items())
        if (key != "recipe" && key != "version" && key != "traverses" && key != "steps")
            throw Error(name + ": unknown key \"" + key + "\"");
    const auto steps = root.find("steps");
    if (steps == root.end() || !steps->is_array())
        throw Error(name + ": not a quarlomet recipe (no \"steps\" list)");
    const auto version = root.find("version");
    if (version == root.end() || !version->is_number() || version->get<double>() != 1)
        throw Error(name + ": version must be 1");

    Recipe recipe;
    if (const auto mode = root.find("traverses"); mode != root.end()) {
        if (!mode->is_string() || (*mode != kModes[0] && *mode != kModes[1]))
            throw Error(name + ": traverses must be \"files\" or \"column2\"");
        recipe.traverses = *mode == kModes[0] ? TraverseMode::Files : TraverseMode::Column2;
    }
    for (std::size_t k = 0; k < steps->size(); ++k) {
        try {
            recipe.steps.push_back(ReadStep((*steps)[k]));
        } catch (const StepFault& fault) {
            throw Error(name + ": step " + std::to_string(k + 1) + ": " + fault.message);
        }
    }
    return recipe;
}

std::string RecipeJson(const Recipe& recipe)
{
    OrderedJson root;
    root["recipe"] = "quarlomet";
    root["version"] = 1;
    root["traverses"] = kModes[recipe.traverses == TraverseMode::Files ? 0 : 1];
    root["steps"] = OrderedJson::array();
    for (const Step& step : recipe.steps) {
        OrderedJson j;
        j["op"] = OperationName(step.op);
        if (!step.enabled)
            j["enabled"] = false;
        std::visit([&](const auto& s) { WriteParameters(j, s); }, step.op);
        root["steps"].push_back(std::move(j));
    }
    return root.dump(2) + "\n";
}

} // namespace qm::process
