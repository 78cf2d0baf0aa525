// Command-line parsing shared by the subcommands: options before "--", positional texts after
// them, and the parsers for sizes and whole numbers. Arguments are 8-bit text, kept byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qm::cli {

// A command line that does not fit the subcommand's form: reported with exit status 2.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    std::string_view name;      // "--size"
    std::string_view shortName; // "-o", or empty
    bool takesValue = false;
};

// The result of parsing one subcommand's arguments.
class ParsedArgs {
public:
    bool Help() const { return help_; }
    bool Has(std::string_view name) const;
    // The value of the last occurrence, if any.
    std::optional<std::string> Value(std::string_view name) const;
    // Every value given for the option, in command-line order.
    std::vector<std::string> Values(std::string_view name) const;
    const std::vector<std::string>& Positional() const { return positional_; }

private:
    friend ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> specs);

    bool help_ = false;
    std::vector<std::pair<std::string, std::string>> options_; // canonical name, value
    std::vector<std::string> positional_;
};

// Before "--", an argument starting with "-" is an option: "--name", "--name=value", "--name
// value" (the next argument is taken as the value whatever it starts with) or its short form;
// "--help" and "-h" ask for help. After "--" every argument is positional. Throws UsageError for
// an unknown option, a missing value, or a value given to an option that takes none.
ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> specs);

// "WxH" with decimal digits on both sides (0 allowed); each side at most kMaxSide and the area at
// most kMaxArea pixels, so a typo cannot ask for more memory than the machine has.
struct ImageSize {
    int width = 0;
    int height = 0;
};
inline constexpr int kMaxSide = 100000;
inline constexpr std::int64_t kMaxArea = 100'000'000;
ImageSize ParseSize(std::string_view text, std::string_view option);

// A decimal whole number with an optional sign that fits 64 bits; UsageError otherwise.
std::int64_t ParseInt64(std::string_view text, std::string_view option);
// The same, limited to the range of a signed 32-bit integer.
std::int32_t ParseInt32(std::string_view text, std::string_view option);
// A finite decimal number ("1", "-0.5", "2e3"); UsageError otherwise.
double ParseReal(std::string_view text, std::string_view option);
// Exactly one character that can serve as a decimal separator.
char ParseSeparator(std::string_view text);

// True when `text` ends with `suffix`, ignoring ASCII case.
bool EndsWithNoCase(std::string_view text, std::string_view suffix);
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace qm::cli
