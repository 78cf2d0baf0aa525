#include "field_value.h"

#include "errors.h"
#include "extended_precision.h"

#include <algorithm>
#include <cfloat>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <locale>
#include <string>
#include <vector>

namespace qm {

namespace {

// -1 until the separator is first asked for or set.
std::atomic<int> g_separator{-1};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Every number text may start with spaces (the space character only) and one sign: skips them
// and tells whether the sign was "-".
bool SkipSpacesAndSign(std::string_view text, std::size_t& i)
{
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A separator we can work with: one byte that cannot be taken for part of a number.
bool UsableSeparator(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && !IsDigit(c) && c != '+' && c != '-' && c != 'e' && c != 'E';
}

} // namespace

char LocaleDecimalSeparator()
{
    // The C++ locale named by the environment; libstdc++ throws for a name the system lacks.
    try {
        const std::locale user("");
        const char c = std::use_facet<std::numpunct<char>>(user).decimal_point();
        if (UsableSeparator(c)) {
            return c;
        }
    } catch (const std::exception&) {
    }
    // The C locale the process has set (the GUI toolkit may have set it from the environment).
    if (const std::lconv* conv = std::localeconv();
        conv != nullptr && conv->decimal_point != nullptr && conv->decimal_point[0] != '\0'
        && conv->decimal_point[1] == '\0' && UsableSeparator(conv->decimal_point[0])) {
        return conv->decimal_point[0];
    }
    return '.';
}

char DecimalSeparator()
{
    int current = g_separator.load(std::memory_order_acquire);
    if (current < 0) {
        int expected = -1;
        const int fromLocale = static_cast<unsigned char>(LocaleDecimalSeparator());
        g_separator.compare_exchange_strong(expected, fromLocale, std::memory_order_acq_rel);
        current = g_separator.load(std::memory_order_acquire);
    }
    return static_cast<char>(current);
}

void SetDecimalSeparator(char separator)
{
    g_separator.store(static_cast<unsigned char>(separator), std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Text to number

namespace {

// Largest decimal exponent we follow exactly; anything beyond is already far out of range.
constexpr std::int64_t kExponentCap = 1'000'000'000;

// Syntax check, then a correctly rounded conversion of a normalised "C" text, so that neither the
// process's C locale nor the platform's parser decides what is accepted.
// Correctly rounded text to long double, for the normalized text built below ("-d.ddde-n").
std::from_chars_result ExtendedFromChars(const char* first, const char* last, long double& value)
{
#if defined(__MINGW32__)
    // MinGW's libstdc++ reads a long double through a double, losing the extended digits; the
    // MinGW C library's own strtold is exact for the 80-bit format. The text is NUL-terminated
    // and holds nothing strtold could read differently (no locale separator, no hexadecimal).
    errno = 0;
    char* end = nullptr;
    const long double result = __mingw_strtold(first, &end);
    if (end != last)
        return {end, std::errc::invalid_argument};
    if (errno == ERANGE)
        return {end, std::errc::result_out_of_range};
    value = result;
    return {end, std::errc()};
#else
    return std::from_chars(first, last, value);
#endif
}

bool ParseFloat(std::string_view text, char sep, long double& value)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    const bool negative = SkipSpacesAndSign(text, i);
    const std::size_t intBegin = i;
    while (i < n && IsDigit(text[i])) {
        ++i;
    }
    const std::size_t intEnd = i;
    bool sawSeparator = false;
    std::size_t fracBegin = i;
    std::size_t fracEnd = i;
    if (i < n && text[i] == sep) {
        sawSeparator = true;
        ++i;
        fracBegin = i;
        while (i < n && IsDigit(text[i])) {
            ++i;
        }
        fracEnd = i;
    }
    if (intEnd == intBegin && fracEnd == fracBegin && !sawSeparator) {
        return false;
    }
    std::int64_t exponent = 0;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        bool expNegative = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        while (i < n && IsDigit(text[i])) {
            if (exponent < kExponentCap) {
                exponent = exponent * 10 + (text[i] - '0');
            }
            ++i;
        }
        if (expNegative) {
            exponent = -exponent;
        }
    }
    while (i < n && text[i] == ' ') {
        ++i;
    }
    if (i != n) {
        return false;
    }

    // Significant digits without leading and trailing zeros, and the power of ten of the first.
    std::string digits;
    digits.reserve(intEnd - intBegin + fracEnd - fracBegin);
    std::int64_t firstPower = 0; // power of ten of digits[0]
    bool started = false;
    std::int64_t power = static_cast<std::int64_t>(intEnd - intBegin) - 1;
    auto take = [&](char c) {
        if (!started && c == '0') {
            --power;
            return;
        }
        if (!started) {
            started = true;
            firstPower = power;
        }
        digits.push_back(c);
        --power;
    };
    for (std::size_t k = intBegin; k < intEnd; ++k) {
        take(text[k]);
    }
    for (std::size_t k = fracBegin; k < fracEnd; ++k) {
        take(text[k]);
    }
    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
    }
    if (digits.empty()) {
        value = negative ? -0.0L : 0.0L;
        return true;
    }
    const std::int64_t scale = firstPower + exponent; // the value is d.ddd * 10^scale
    if (scale > 5000) {
        return false; // overflow
    }
    if (scale < -5000) {
        value = negative ? -0.0L : 0.0L; // underflow reads as 0
        return true;
    }

    std::string normal;
    normal.reserve(digits.size() + 16);
    if (negative) {
        normal.push_back('-');
    }
    normal.push_back(digits[0]);
    if (digits.size() > 1) {
        normal.push_back('.');
        normal.append(digits, 1, std::string::npos);
    }
    normal.push_back('e');
    normal += std::to_string(scale);

    long double result = 0.0L;
    const char* first = normal.data();
    const char* last = first + normal.size();
    const auto [ptr, ec] = ExtendedFromChars(first, last, result);
    if (ec == std::errc::result_out_of_range) {
        if (scale >= 0) {
            return false; // overflow
        }
        value = negative ? -0.0L : 0.0L; // underflow (below the normal range) reads as 0
        return true;
    }
    if (ec != std::errc() || ptr != last || !std::isfinite(result)) {
        return false;
    }
    value = result;
    return true;
}

std::string FloatMessage(std::string_view text)
{
    std::string message = "'";
    message.append(text);
    message += "' is not a valid floating point value";
    return message;
}

std::string IntegerMessage(std::string_view text)
{
    std::string message = "'";
    message.append(text);
    message += "' is not a valid integer value";
    return message;
}

} // namespace

bool TryStrToFloat(std::string_view text, long double& value)
{
    const ExtendedPrecision precision;
    long double result = 0.0L;
    if (!ParseFloat(text, DecimalSeparator(), result)) {
        return false;
    }
    value = result;
    return true;
}

long double StrToFloat(std::string_view text)
{
    long double value = 0.0L;
    if (!TryStrToFloat(text, value)) {
        throw ConvertError(FloatMessage(text));
    }
    return value;
}

bool TryStrToInt(std::string_view text, std::int32_t& value)
{
    const std::size_t n = text.size();
    std::size_t i = 0;
    const bool negative = SkipSpacesAndSign(text, i);
    // A sign may stand before a hexadecimal prefix; it applies to the hexadecimal value.
    unsigned base = 10;
    if (i < n && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && text[i + 1] == 'x') {
        base = 16;
        i += 2;
    }
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 31; // magnitude of the most negative value
    std::uint64_t magnitude = 0;
    const std::size_t digitsBegin = i;
    while (i < n) {
        const int d = base == 16 ? HexDigit(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0) {
            return false;
        }
        if (magnitude <= kLimit) { // past the limit the value is out of range anyway
            magnitude = magnitude * base + static_cast<unsigned>(d);
        }
        ++i;
    }
    if (i == digitsBegin) {
        return false;
    }
    if (magnitude > (negative ? kLimit : kLimit - 1)) {
        return false;
    }
    value = negative ? static_cast<std::int32_t>(0 - static_cast<std::int64_t>(magnitude))
                     : static_cast<std::int32_t>(magnitude);
    return true;
}

std::int32_t StrToInt(std::string_view text)
{
    std::int32_t value = 0;
    if (!TryStrToInt(text, value)) {
        throw ConvertError(IntegerMessage(text));
    }
    return value;
}

namespace {

// Readings are plain decimals like "51232.05": round those straight from their digits. With no
// more significant digits than the extended type holds exactly enough, a decimal that is not
// itself a half can never convert onto one, so the result equals converting and then rounding.
// Anything else (exponents, long texts, malformed text) takes the full conversion.
constexpr int kExactDigits = LDBL_MANT_DIG >= 64 ? 18 : 15;

bool FastFieldValue(std::string_view text, char separator, std::int64_t& result)
{
    PlainDecimal decimal;
    if (!ScanPlainDecimal(text, separator, kExactDigits, decimal))
        return false;
    const std::uint64_t mantissa = decimal.mantissa;
    const int fractionDigits = decimal.fractionDigits;
    const bool negative = decimal.negative;
    std::uint64_t scale = 1;
    for (int k = 0; k < fractionDigits; ++k)
        scale *= 10;
    std::uint64_t whole = mantissa / scale;
    const std::uint64_t rest = mantissa % scale;
    const std::uint64_t twiceRest = rest * 2; // below 2 * 10^18: no overflow
    if (twiceRest > scale || (twiceRest == scale && (whole & 1u) != 0))
        ++whole;
    result = negative ? -static_cast<std::int64_t>(whole) : static_cast<std::int64_t>(whole);
    return true;
}

} // namespace

bool ScanPlainDecimal(std::string_view text, char separator, int maxDigits, PlainDecimal& decimal)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    decimal = PlainDecimal{};
    decimal.negative = SkipSpacesAndSign(text, i);
    // In locals: stores through `decimal` could alias the text's bytes and force them read again.
    std::uint64_t mantissa = 0;
    int fractionDigits = 0;
    int significant = 0;
    bool digits = false;
    bool point = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            if (point)
                ++fractionDigits;
            if (mantissa != 0 || c != '0') {
                if (++significant > maxDigits)
                    return false;
            }
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
        } else if ((c == '.' || c == separator) && !point) {
            point = true;
        } else {
            break;
        }
    }
    while (i < n && text[i] == ' ')
        ++i;
    decimal.mantissa = mantissa;
    decimal.fractionDigits = fractionDigits;
    return i == n && digits && fractionDigits <= maxDigits;
}

std::int64_t FieldValue(std::string_view cellText)
{
    std::int64_t fast = 0;
    if (FastFieldValue(cellText, DecimalSeparator(), fast))
        return fast;
    std::string text(cellText);
    std::replace(text.begin(), text.end(), '.', DecimalSeparator());
    const ExtendedPrecision precision;
    const long double value = StrToFloat(text);

    // Halves to the even neighbour. value - floor(value) is exact in binary floating point.
    long double rounded = std::floor(value);
    const long double fraction = value - rounded;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(rounded, 2.0L) != 0.0L)) {
        rounded += 1.0L;
    }
    // Both bounds are powers of two, exact in every floating type.
    constexpr long double kTwo63 = 9223372036854775808.0L;
    if (!(rounded >= -kTwo63 && rounded < kTwo63)) {
        throw ConvertError("'" + text + "' is out of the range of a whole-number reading");
    }
    return static_cast<std::int64_t>(rounded);
}

// ---------------------------------------------------------------------------------------------
// General number text

namespace {

// Exact decimal digits of a finite positive long double: value = digits * 10^power10.
// Works on base-1e9 limbs, multiplying the binary mantissa by powers of two or five.
void ExactDigits(long double value, std::string& digits, std::int64_t& power10)
{
    int binaryExponent = 0;
    const long double fraction = std::frexp(value, &binaryExponent); // [0.5, 1)
    // The whole significand as an integer: fits 64 bits for every long double format in use.
    std::uint64_t mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    std::int64_t exponent = static_cast<std::int64_t>(binaryExponent) - 64;
    if (mantissa == 0) { // only for encodings that are no valid number
        digits = "0";
        power10 = 0;
        return;
    }
    while ((mantissa & 1u) == 0) {
        mantissa >>= 1;
        ++exponent;
    }

    constexpr std::uint64_t kBase = 1'000'000'000;
    std::vector<std::uint32_t> limbs; // least significant first
    while (mantissa != 0) {
        limbs.push_back(static_cast<std::uint32_t>(mantissa % kBase));
        mantissa /= kBase;
    }
    auto multiply = [&](std::uint64_t factor) {
        std::uint64_t carry = 0;
        for (std::uint32_t& limb : limbs) {
            const std::uint64_t product = limb * factor + carry;
            limb = static_cast<std::uint32_t>(product % kBase);
            carry = product / kBase;
        }
        while (carry != 0) {
            limbs.push_back(static_cast<std::uint32_t>(carry % kBase));
            carry /= kBase;
        }
    };
    power10 = 0;
    if (exponent > 0) {
        for (std::int64_t left = exponent; left > 0; left -= 30) {
            multiply(std::uint64_t{1} << std::min<std::int64_t>(left, 30));
        }
    } else if (exponent < 0) {
        // m * 2^-k = m * 5^k / 10^k
        constexpr std::uint64_t kFive13 = 1'220'703'125; // 5^13
        std::int64_t left = -exponent;
        for (; left >= 13; left -= 13) {
            multiply(kFive13);
        }
        std::uint64_t rest = 1;
        for (; left > 0; --left) {
            rest *= 5;
        }
        multiply(rest);
        power10 = exponent;
    }

    digits = std::to_string(limbs.back());
    for (std::size_t k = limbs.size() - 1; k-- > 0;) {
        const std::string part = std::to_string(limbs[k]);
        digits.append(9 - part.size(), '0');
        digits += part;
    }
}

// Adds one unit in the last place of a digit string; true when it overflowed to "1000...".
bool IncrementDigits(std::string& digits)
{
    for (std::size_t k = digits.size(); k-- > 0;) {
        if (digits[k] != '9') {
            ++digits[k];
            return false;
        }
        digits[k] = '0';
    }
    digits.insert(digits.begin(), '1');
    digits.pop_back();
    return true;
}

} // namespace

std::string FloatToStrGeneral(long double value)
{
    const ExtendedPrecision precision;
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    if (value == 0.0L) {
        return "0";
    }
    const bool negative = value < 0;

    std::string digits;
    std::int64_t power10 = 0;
    ExactDigits(std::fabs(value), digits, power10);
    if (digits == "0") {
        return "0";
    }
    std::int64_t exponent = static_cast<std::int64_t>(digits.size()) - 1 + power10; // of digits[0]

    // 18 significant digits, rounded to nearest (ties to even).
    constexpr std::size_t kExpanded = 18;
    if (digits.size() > kExpanded) {
        const char next = digits[kExpanded];
        const bool restNonZero = digits.find_first_not_of('0', kExpanded + 1) != std::string::npos;
        const bool lastOdd = ((digits[kExpanded - 1] - '0') & 1) != 0;
        digits.resize(kExpanded);
        if (next > '5' || (next == '5' && (restNonZero || lastOdd))) {
            if (IncrementDigits(digits)) {
                ++exponent;
            }
        }
    } else {
        digits.append(kExpanded - digits.size(), '0');
    }

    // Then 15 significant digits, halves up.
    constexpr std::size_t kShown = 15;
    const bool up = digits[kShown] >= '5';
    digits.resize(kShown);
    if (up && IncrementDigits(digits)) {
        ++exponent;
    }
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }

    const char sep = DecimalSeparator();
    std::string out;
    if (negative) {
        out.push_back('-');
    }
    if (exponent >= -4 && exponent < 15) {
        if (exponent >= 0) {
            const auto intCount = static_cast<std::size_t>(exponent) + 1;
            if (digits.size() <= intCount) {
                out += digits;
                out.append(intCount - digits.size(), '0');
            } else {
                out.append(digits, 0, intCount);
                out.push_back(sep);
                out.append(digits, intCount, std::string::npos);
            }
        } else {
            out.push_back('0');
            out.push_back(sep);
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        }
    } else {
        out.push_back(digits[0]);
        if (digits.size() > 1) {
            out.push_back(sep);
            out.append(digits, 1, std::string::npos);
        }
        out.push_back('E');
        if (exponent < 0) {
            out.push_back('-');
        }
        out += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    return out;
}

} // namespace qm
