#include "args.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace qm::cli {

namespace {

std::string Quoted(std::string_view text) { return "'" + std::string(text) + "'"; }

const OptionSpec* FindLong(std::span<const OptionSpec> specs, std::string_view name)
{
    for (const OptionSpec& option : specs) {
        if (option.name == name) {
            return &option;
        }
    }
    return nullptr;
}

const OptionSpec* FindShort(std::span<const OptionSpec> specs, std::string_view name)
{
    for (const OptionSpec& option : specs) {
        if (!option.shortName.empty() && option.shortName == name) {
            return &option;
        }
    }
    return nullptr;
}

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

} // namespace

bool ParsedArgs::Has(std::string_view name) const
{
    return std::any_of(options_.begin(), options_.end(), [&](const auto& option) { return option.first == name; });
}

std::optional<std::string> ParsedArgs::Value(std::string_view name) const
{
    for (auto it = options_.rbegin(); it != options_.rend(); ++it) {
        if (it->first == name) {
            return it->second;
        }
    }
    return std::nullopt;
}

std::vector<std::string> ParsedArgs::Values(std::string_view name) const
{
    std::vector<std::string> values;
    for (const auto& option : options_) {
        if (option.first == name) {
            values.push_back(option.second);
        }
    }
    return values;
}

ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> specs)
{
    ParsedArgs parsed;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            parsed.positional_.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "--help" || arg == "-h") {
            parsed.help_ = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string> inlineValue;
        const OptionSpec* option = nullptr;
        if (arg.rfind("--", 0) == 0) {
            if (const std::size_t eq = arg.find('='); eq != std::string::npos) {
                name = std::string_view(arg).substr(0, eq);
                inlineValue = arg.substr(eq + 1);
            }
            option = FindLong(specs, name);
        } else {
            option = FindShort(specs, name);
        }
        if (option == nullptr) {
            throw UsageError("unknown option " + Quoted(name) +
                             " (a text that starts with \"-\" goes after \"--\")");
        }
        std::string value;
        if (option->takesValue) {
            if (inlineValue) {
                value = *inlineValue;
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                throw UsageError("option " + Quoted(option->name) + " needs a value");
            }
        } else if (inlineValue) {
            throw UsageError("option " + Quoted(option->name) + " takes no value");
        }
        parsed.options_.emplace_back(std::string(option->name), std::move(value));
    }
    return parsed;
}

ImageSize ParseSize(std::string_view text, std::string_view option)
{
    const std::size_t x = text.find_first_of("xX");
    const auto bad = [&](const std::string& why) {
        return UsageError("bad size " + Quoted(text) + " for " + std::string(option) + ": " + why);
    };
    if (x == std::string_view::npos) {
        throw bad("expected WIDTHxHEIGHT, e.g. 796x484");
    }
    const std::string_view w = text.substr(0, x);
    const std::string_view h = text.substr(x + 1);
    if (!AllDigits(w) || !AllDigits(h)) {
        throw bad("expected WIDTHxHEIGHT, e.g. 796x484");
    }
    // Leading zeros are fine; more than six significant digits is too large anyway.
    const auto side = [&](std::string_view digits) {
        const std::size_t first = std::min(digits.find_first_not_of('0'), digits.size());
        const std::string_view significant = digits.substr(first);
        int value = 0;
        if (significant.size() > 6) {
            throw bad("each side is at most " + std::to_string(kMaxSide));
        }
        std::from_chars(significant.data(), significant.data() + significant.size(), value);
        if (value > kMaxSide) {
            throw bad("each side is at most " + std::to_string(kMaxSide));
        }
        return value;
    };
    ImageSize size{side(w), side(h)};
    if (static_cast<std::int64_t>(size.width) * size.height > kMaxArea) {
        throw bad("at most " + std::to_string(kMaxArea) + " pixels");
    }
    return size;
}

std::int64_t ParseInt64(std::string_view text, std::string_view option)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits[0] == '+' || digits[0] == '-')) {
        negative = digits[0] == '-';
        digits.remove_prefix(1);
    }
    if (!AllDigits(digits)) {
        throw UsageError("bad number " + Quoted(text) + " for " + std::string(option));
    }
    // Accumulate the magnitude unsigned, so that the most negative value fits too.
    std::uint64_t magnitude = 0;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    for (char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (magnitude > (limit - digit) / 10) {
            throw UsageError("number " + Quoted(text) + " for " + std::string(option) + " is out of range");
        }
        magnitude = magnitude * 10 + digit;
    }
    return negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
}

std::int32_t ParseInt32(std::string_view text, std::string_view option)
{
    const std::int64_t value = ParseInt64(text, option);
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        throw UsageError("number " + Quoted(text) + " for " + std::string(option) + " is out of range");
    }
    return static_cast<std::int32_t>(value);
}

double ParseReal(std::string_view text, std::string_view option)
{
    double value = 0;
    std::string_view body = text;
    if (!body.empty() && body[0] == '+') {
        body.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value,
                                           std::chars_format::general);
    // from_chars also reads "inf" and "nan"; only finite decimal numbers are wanted here.
    if (body.empty() || ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value)) {
        throw UsageError("bad number " + Quoted(text) + " for " + std::string(option));
    }
    return value;
}

char ParseSeparator(std::string_view text)
{
    if (text.size() != 1) {
        throw UsageError("the separator " + Quoted(text) + " must be exactly one character");
    }
    const char c = text[0];
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u == 0x7F || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E') {
        throw UsageError("the separator " + Quoted(text) + " cannot serve as a decimal separator");
    }
    return c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerAscii(x) == LowerAscii(y); });
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    return text.size() >= suffix.size() && EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace qm::cli
