// The number conversions and the general number text. The first byte picks the decimal separator
// ("." or ","); the rest is the text. Checked:
// - StrToFloat accepts exactly the texts of the reading grammar, and its value is the correctly
//   rounded one (compared with the C library's strtold on a normalised copy of the text);
// - StrToInt accepts what it should and gives the value back through its decimal text;
// - FieldValue is StrToFloat of the text with "." made the separator, rounded half to even;
// - FloatToStrGeneral of parsed values and of raw bit patterns never fails, reads back, and is
//   stable: the text of the value read back from a text is that same text.
#include "fuzz_check.h"

#include "errors.h"
#include "field_value.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The reading grammar, read plainly. Returns a normalised "C" text ("-12.5e+3") for strtold, or
// nothing when the text is no reading.
std::optional<std::string> Normalised(std::string_view t, char sep)
{
    std::size_t i = 0;
    const std::size_t n = t.size();
    while (i < n && t[i] == ' ')
        ++i;
    std::string out;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        out += t[i++];
    std::string whole, fraction;
    while (i < n && IsDigit(t[i]))
        whole += t[i++];
    bool separator = false;
    if (i < n && t[i] == sep) {
        separator = true;
        ++i;
        while (i < n && IsDigit(t[i]))
            fraction += t[i++];
    }
    if (whole.empty() && fraction.empty() && !separator)
        return std::nullopt;
    std::string exponent = "0";
    char exponentSign = '+';
    if (i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            exponentSign = t[i++];
        while (i < n && IsDigit(t[i]))
            exponent += t[i++];
    }
    while (i < n && t[i] == ' ')
        ++i;
    if (i != n)
        return std::nullopt;
    out += (whole.empty() ? "0" : whole) + "." + (fraction.empty() ? "0" : fraction) + "e" + exponentSign + exponent;
    return out;
}

// what() is a C string: a NUL of the text ends it there.
bool SameMessage(const std::exception& e, const std::string& expected)
{
    return std::string(e.what()) == expected.substr(0, expected.find('\0'));
}

bool SameValue(long double a, long double b)
{
    return a == b && std::signbit(a) == std::signbit(b);
}

void CheckFloatText(std::string_view text)
{
    const char sep = qm::DecimalSeparator();
    long double value = 0;
    const bool accepted = qm::TryStrToFloat(text, value);
    // The throwing form agrees, with the message naming the whole text.
    try {
        const long double thrown = qm::StrToFloat(text);
        QM_FUZZ_CHECK(accepted && SameValue(thrown, value));
    } catch (const qm::ConvertError& e) {
        QM_FUZZ_CHECK(!accepted);
        QM_FUZZ_CHECK(SameMessage(e, "'" + std::string(text) + "' is not a valid floating point value"));
    }

    const std::optional<std::string> normal = Normalised(text, sep);
    if (!normal) {
        QM_FUZZ_CHECK(!accepted);
        return;
    }
    errno = 0;
    const long double expected = std::strtold(normal->c_str(), nullptr);
    if (std::isinf(expected)) {
        QM_FUZZ_CHECK(!accepted); // overflow is no value
        return;
    }
    QM_FUZZ_CHECK(accepted);
    if (std::fabs(expected) < LDBL_MIN) {
        QM_FUZZ_CHECK(value == 0); // below the normal range reads as 0
        return;
    }
    QM_FUZZ_CHECK(SameValue(value, expected));
}

void CheckFieldValue(std::string_view cell)
{
    std::string converted(cell);
    for (char& c : converted)
        if (c == '.')
            c = qm::DecimalSeparator();
    long double value = 0;
    const bool accepted = qm::TryStrToFloat(converted, value);
    try {
        const std::int64_t whole = qm::FieldValue(cell);
        QM_FUZZ_CHECK(accepted);
        const long double diff = value - static_cast<long double>(whole);
        QM_FUZZ_CHECK(diff >= -0.5L && diff <= 0.5L);
        if (diff == 0.5L || diff == -0.5L)
            QM_FUZZ_CHECK(whole % 2 == 0);
    } catch (const qm::ConvertError&) {
        // Refused: not a number, or a number beyond the 64-bit range.
        QM_FUZZ_CHECK(!accepted || !(std::fabs(value) < 9.2e18L));
    }
}

// The integer grammar, read plainly: spaces, a sign, "$", "x", "X" or "0x" for hexadecimal, digits
// to the end; the signed value must fit 32 bits.
std::optional<std::int32_t> RefStrToInt(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    int base = 10;
    if (t.substr(i, 2) == "0x") {
        base = 16;
        i += 2;
    } else if (i < t.size() && (t[i] == '$' || t[i] == 'x' || t[i] == 'X')) {
        base = 16;
        ++i;
    }
    if (i == t.size())
        return std::nullopt;
    long long value = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        int d = -1;
        if (IsDigit(c))
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        if (d < 0)
            return std::nullopt;
        value = value * base + d;
        if (value > (1LL << 32))
            value = 1LL << 32; // out of range either way; keeps the sum bounded
    }
    if (negative)
        value = -value;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void CheckIntText(std::string_view text)
{
    std::int32_t value = 0;
    const bool accepted = qm::TryStrToInt(text, value);
    try {
        const std::int32_t thrown = qm::StrToInt(text);
        QM_FUZZ_CHECK(accepted && thrown == value);
    } catch (const qm::ConvertError& e) {
        QM_FUZZ_CHECK(!accepted);
        QM_FUZZ_CHECK(SameMessage(e, "'" + std::string(text) + "' is not a valid integer value"));
    }
    const std::optional<std::int32_t> expected = RefStrToInt(text);
    QM_FUZZ_CHECK(accepted == expected.has_value());
    if (!accepted)
        return;
    QM_FUZZ_CHECK(value == *expected);
    // Whatever was accepted holds no byte outside the integer alphabet, ends in a digit, and
    // reads back through its decimal text.
    for (char c : text)
        QM_FUZZ_CHECK(c == ' ' || c == '+' || c == '-' || c == '$' || c == 'x' || c == 'X' ||
                      std::isxdigit(static_cast<unsigned char>(c)));
    QM_FUZZ_CHECK(std::isxdigit(static_cast<unsigned char>(text.back())));
    std::int32_t back = 0;
    QM_FUZZ_CHECK(qm::TryStrToInt(std::to_string(value), back) && back == value);
}

// The general text of a value: never empty, and for finite values within the normal range it
// reads back to a value whose text is the same.
void CheckGeneralText(long double value)
{
    const std::string text = qm::FloatToStrGeneral(value);
    QM_FUZZ_CHECK(!text.empty());
    if (std::isnan(value)) {
        QM_FUZZ_CHECK(text == "NAN");
        return;
    }
    if (std::isinf(value)) {
        QM_FUZZ_CHECK(text == (value < 0 ? "-INF" : "INF"));
        return;
    }
    QM_FUZZ_CHECK(text != "-0");
    // At most 15 significant digits.
    std::size_t digits = 0;
    for (char c : text.substr(0, text.find('E'))) {
        if (IsDigit(c) && (digits > 0 || c != '0'))
            ++digits;
    }
    QM_FUZZ_CHECK(digits <= 15);
    if (std::fabs(value) < LDBL_MIN * 1e20L)
        return; // its rounding may fall below the normal range, which reads as 0
    long double back = 0;
    QM_FUZZ_CHECK(qm::TryStrToFloat(text, back));
    QM_FUZZ_CHECK(qm::FloatToStrGeneral(back) == text);
    // 15 significant digits are close to the value: within half a unit of the 15th digit.
    if (value != 0)
        QM_FUZZ_CHECK(std::fabs((back - value) / value) <= 5.1e-15L);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    qm::SetDecimalSeparator((options & 1) ? ',' : '.');

    // Raw bit patterns: an extended value (10 bytes) and a double (8 bytes) from the front.
    if (size >= 19) {
        long double extended = 0;
        std::memcpy(&extended, data + 1, std::min<std::size_t>(sizeof(long double), 10));
        CheckGeneralText(extended);
        double plain = 0;
        std::memcpy(&plain, data + 11, sizeof plain);
        CheckGeneralText(plain);
    }

    const std::string_view text(reinterpret_cast<const char*>(data + (size > 0 ? 1 : 0)), size > 0 ? size - 1 : 0);
    if (text.size() > 4096)
        return 0;
    CheckFloatText(text);
    CheckIntText(text);
    CheckFieldValue(text);
    long double value = 0;
    if (qm::TryStrToFloat(text, value))
        CheckGeneralText(value);
    return 0;
}
