// The readout's numbers of a row's fix and reading computed directly, for the forms receivers and
// magnetometers write, each exactly what the general conversions give.
#include "fix_numbers.h"

#include "extended_precision.h"
#include "field_value.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <system_error>

namespace qm::site {

namespace {

// The number that general number text gives for `value`, read back: the exact value to 18
// significant digits (ties to even), then halves up to 15. Zero reads "0", never "-0".
double GeneralTextValueExact(double value)
{
    char expanded[40];
    // d.ddddddddddddddddde+XX: 18 significant digits, correctly rounded with ties to even.
    const std::to_chars_result written =
        std::to_chars(expanded, expanded + sizeof expanded, std::fabs(value), std::chars_format::scientific, 17);
    std::uint64_t mantissa = static_cast<std::uint64_t>(expanded[0] - '0');
    for (int k = 2; k <= 15; ++k)
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(expanded[k] - '0');
    int exponent = 0;
    std::from_chars(expanded + 20 + (expanded[20] == '+' ? 1 : 0), written.ptr, exponent);
    if (expanded[16] >= '5' && ++mantissa == 1'000'000'000'000'000) {
        mantissa /= 10;
        ++exponent;
    }
    char shown[40];
    char* end = std::to_chars(shown, shown + 20, mantissa).ptr;
    *end++ = 'e';
    end = std::to_chars(end, shown + sizeof shown, exponent - 14).ptr;
    double result = 0;
    std::from_chars(shown, end, result);
    return value < 0 ? -result : result;
}

// Powers of ten, all exact as doubles.
constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                              1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

double GeneralTextValue(double value)
{
    if (value == 0 || !std::isfinite(value))
        return value == 0 ? 0.0 : value;
    // Coordinates lie between 1E-7 and 1E3: scale to 15 whole digits in extended precision. Unless
    // the scaled value lies near a half (where the exact digits decide) or a power of ten, its
    // rounding is the one of the exact digits, and the quotient of two exact doubles is the correctly
    // rounded reading of the 15-digit text.
    if (LDBL_MANT_DIG >= 64) {
        const double magnitude = std::fabs(value);
        int digitsBefore = 0; // decimal exponent of the leading digit
        while (digitsBefore < 3 && magnitude >= kPowers[digitsBefore + 1])
            ++digitsBefore;
        int below = 0;
        while (below < 7 && magnitude < 1 / kPowers[below])
            ++below;
        const int exponent = digitsBefore - below;
        const int scale = 14 - exponent;
        if (magnitude < 1e3 && magnitude >= 1e-7 && scale <= 22) {
            const long double scaled = static_cast<long double>(magnitude) * static_cast<long double>(kPowers[scale]);
            const long double whole = std::floor(scaled);
            const long double fraction = scaled - whole;
            if (std::fabs(fraction - 0.5L) > 1e-3L && whole >= 1e14L && whole < 1e15L - 1) {
                const double rounded = static_cast<double>(fraction > 0.5L ? whole + 1 : whole);
                const double result = rounded / kPowers[scale];
                return value < 0 ? -result : result;
            }
        }
    }
    return GeneralTextValueExact(value);
}

// The readout's two minute terms of a coordinate, in its own order and precision, for every whole
// minute text "mm" and every four decimals "xyzw": a table look-up instead of four divisions in
// extended precision per coordinate. "0.zw" converts to the correctly rounded quotient zw / 100,
// which one division of exact operands gives.
struct MinuteTable {
    long double whole[100];
    long double fraction[10000];

    MinuteTable()
    {
        const ExtendedPrecision precision;
        for (int m = 0; m < 100; ++m)
            whole[m] = ((static_cast<long double>(m) / 60) * 100) / 100;
        for (int xy = 0; xy < 100; ++xy) {
            for (int zw = 0; zw < 100; ++zw) {
                const double s =
                    static_cast<double>(static_cast<long double>(xy) + static_cast<long double>(zw) / 100);
                fraction[xy * 100 + zw] = ((static_cast<long double>(s) / 60) * 100) / 10000;
            }
        }
    }
};

const MinuteTable& MinuteTerms()
{
    static const MinuteTable table;
    return table;
}

// The parts of a coordinate text the readout converts one by one: degrees, whole minutes, the
// first two minute decimals (a missing one counts as 0) and the decimals after those.
struct MinuteText {
    int degrees = 0;
    int minutes = 0;
    int hundredths = 0;
    std::uint64_t rest = 0;
    int restDigits = 0;
};

// The most decimals after the hundredths whose whole number and power of ten long double holds
// exactly: one division of the two is then the correctly rounded reading of "0.<decimals>".
constexpr int kMaxRestDigits = LDBL_MANT_DIG >= 64 ? 19 : 15;

// Powers of ten as long double, exact up to kMaxRestDigits.
constexpr long double kPowersLong[] = {1e0L,  1e1L,  1e2L,  1e3L,  1e4L,  1e5L,  1e6L,
                                       1e7L,  1e8L,  1e9L,  1e10L, 1e11L, 1e12L, 1e13L,
                                       1e14L, 1e15L, 1e16L, 1e17L, 1e18L, 1e19L};
static_assert(std::size(kPowersLong) > kMaxRestDigits);

// A coordinate text in one of the forms the readout reads digit for digit: "ddmm." (2 degree
// digits, 3 for a longitude) followed by nothing but decimals, as many as the receiver wrote; or
// "ddmm," followed by four or more, of which the readout takes the first four by their columns.
bool ScanMinuteText(std::string_view text, int degreeDigits, MinuteText& parts)
{
    const std::size_t w = static_cast<std::size_t>(degreeDigits);
    if (text.size() < w + 3 || text.size() > w + 5 + kMaxRestDigits)
        return false;
    const char point = text[w + 2];
    const std::size_t decimals = text.size() - (w + 3);
    if (point != '.' && (point != ',' || decimals < 4))
        return false;
    int whole = 0;
    for (std::size_t k = 0; k < w + 2; ++k) {
        const unsigned digit = static_cast<unsigned char>(text[k]) - unsigned{'0'};
        if (digit > 9)
            return false;
        whole = whole * 10 + static_cast<int>(digit);
    }
    // The first two decimals, then those after them that the readout reads, then any it does not.
    const char* digits = text.data() + w + 3;
    const std::size_t taken = point == ',' ? 4 : decimals;
    int hundredths = 0;
    std::uint64_t rest = 0;
    for (std::size_t k = 0; k < decimals; ++k) {
        const unsigned digit = static_cast<unsigned char>(digits[k]) - unsigned{'0'};
        if (digit > 9)
            return false;
        if (k < 2)
            hundredths = hundredths * 10 + static_cast<int>(digit);
        else if (k < taken)
            rest = rest * 10 + digit;
    }
    parts.degrees = whole / 100;
    parts.minutes = whole % 100;
    parts.hundredths = taken == 1 ? hundredths * 10 : hundredths;
    parts.rest = rest;
    parts.restDigits = taken > 2 ? static_cast<int>(taken) - 2 : 0;
    return true;
}

// Powers of ten as whole numbers, all within 64 bits.
constexpr std::uint64_t kPowersWhole[] = {1ULL,
                                          10ULL,
                                          100ULL,
                                          1000ULL,
                                          10000ULL,
                                          100000ULL,
                                          1000000ULL,
                                          10000000ULL,
                                          100000000ULL,
                                          1000000000ULL,
                                          10000000000ULL,
                                          100000000000ULL,
                                          1000000000000ULL,
                                          10000000000000ULL,
                                          100000000000000ULL,
                                          1000000000000000ULL,
                                          10000000000000000ULL,
                                          100000000000000000ULL,
                                          1000000000000000000ULL,
                                          10000000000000000000ULL};

// ReadoutDegrees in whole numbers, for the forms of fix receivers write: what the readout shows is
// its decimal degrees rounded to 15 significant digits, and those digits follow from the text's
// exact value D + I / (60 * 10^k) (I the minutes to k decimals) wherever that value does not lie
// near a half of the last digit. The readout's own computation is within 0.12 of a last digit
// (half a unit in the last place of a double that holds 15 digits, and its extended-precision
// terms far less), and when the minutes have at least two decimals fewer than the digits shown,
// I * 10^a (a >= 2) is 0, 20 or 40 modulo 60: every value lies a sixth of a digit or more from a
// half. False for the rest (more minute decimals, coordinates below 1E-7, a leading digit too
// close to a power of ten), which take the readout's own way.
bool WholeNumberDegrees(const MinuteText& parts, bool negate, double& degrees)
{
    const int k = parts.restDigits + 2;
    if (k > 11)
        return false;
    const std::uint64_t minuteUnits = kPowersWhole[k] * 60; // 60 * 10^k: one degree
    const std::uint64_t minutes =
        static_cast<std::uint64_t>(parts.minutes * 100 + parts.hundredths) * kPowersWhole[parts.restDigits] +
        parts.rest;
    const std::uint64_t whole = static_cast<std::uint64_t>(parts.degrees);
    // The exponent of the leading digit, from whole-number comparisons of the exact value.
    int exponent = 0;
    if (whole > 0) {
        while (exponent < 3 && whole >= kPowersWhole[exponent + 1])
            ++exponent;
        // Up to 99 minutes can carry the value past the next power of ten.
        if ((kPowersWhole[exponent + 1] - whole) * minuteUnits <= minutes)
            ++exponent;
    } else if (minutes >= minuteUnits) {
        exponent = 0;
    } else {
        if (minutes == 0) {
            degrees = 0;
            return true;
        }
        // Each step below is taken only when the value is under the last power tried, which keeps
        // minutes * 10^-exponent under 6 * 10^(k + 2).
        exponent = -1;
        while (exponent > -7 && minutes * kPowersWhole[-exponent] < minuteUnits)
            --exponent;
        if (minutes * kPowersWhole[-exponent] < minuteUnits)
            return false;
    }
    const int scale = 14 - exponent;
    if (scale - k < 2 || exponent > 2)
        return false;
    // Below 10^17: the minutes are below 10^(k + 2) and the scale at most 14 when there are whole
    // degrees, and the value below 10^(exponent + 1) when there are none.
    // With whole degrees the scale is at most 14; without, it runs past the powers held.
    const std::uint64_t scaled = minutes * kPowersWhole[scale - k];
    const std::uint64_t degreesShown = whole > 0 ? whole * kPowersWhole[scale] : 0;
    const std::uint64_t shown = degreesShown + scaled / 60 + (scaled % 60 >= 30 ? 1 : 0);
    if (shown <= kPowersWhole[14] || shown >= kPowersWhole[15] - 1)
        return false;
    const double result = static_cast<double>(shown) / kPowers[scale];
    degrees = negate ? -result : result;
    return true;
}

// The readout's decimal degrees of a coordinate text's parts, in its own order and precision,
// read back from its general number text.
double ReadoutDegrees(const MinuteText& parts, bool negate)
{
    double degrees = 0;
    if (WholeNumberDegrees(parts, negate, degrees))
        return degrees;
    const MinuteTable& terms = MinuteTerms();
    long double fractionTerm = 0;
    if (parts.restDigits <= 2) {
        // Up to four decimals: the table, the decimals padded with zeros (the same quotients).
        constexpr int kPad[] = {100, 10, 1};
        fractionTerm = terms.fraction[parts.hundredths * 100 + static_cast<int>(parts.rest) * kPad[parts.restDigits]];
    } else {
        const long double b = static_cast<long double>(parts.rest) / kPowersLong[parts.restDigits];
        const double s = static_cast<double>(static_cast<long double>(parts.hundredths) + b);
        fractionTerm = ((static_cast<long double>(s) / 60) * 100) / 10000;
    }
    long double sum = static_cast<long double>(parts.degrees);
    sum = sum + terms.whole[parts.minutes];
    sum = sum + fractionTerm;
    double decimal = static_cast<double>(sum);
    if (negate)
        decimal = 0 - decimal;
    return GeneralTextValue(decimal);
}

} // namespace

namespace detail {

bool FastDecimalDegrees(std::string_view text, int degreeDigits, bool negate, double& degrees)
{
    MinuteText parts;
    if (!ScanMinuteText(text, degreeDigits, parts))
        return false;
    degrees = ReadoutDegrees(parts, negate);
    return true;
}

bool FastReading(std::string_view text, char separator, double& value)
{
    PlainDecimal decimal;
    if (!ScanPlainDecimal(text, separator, 15, decimal))
        return false;
    const std::uint64_t mantissa = decimal.mantissa;
    const int fractionDigits = decimal.fractionDigits;
    const bool negative = decimal.negative;
    // Both operands are exact in every extended type, so the one rounded division is the correctly
    // rounded conversion, held as a double as the general way holds it.
    const long double number = static_cast<long double>(mantissa) / kPowersLong[fractionDigits];
    value = static_cast<double>(negative ? -number : number);
    return true;
}

CoordinateCache::CoordinateCache() : slots_(kSlots) {}

bool CoordinateCache::Convert(std::string_view cell, int degreeDigits, bool negate, double& result)
{
    MinuteText parts;
    if (!ScanMinuteText(cell, degreeDigits, parts))
        return false;
    // Texts of more than four decimals are converted each time: they seldom come again (the
    // receiver's last digits move between any two readings), and their whole-number conversion
    // costs less than a look-up that misses.
    if (parts.restDigits > kKeyRestDigits) {
        result = ReadoutDegrees(parts, negate);
        return true;
    }
    // Below 10^10: degrees, minutes, hundredths and the rest in their places.
    std::uint64_t key = static_cast<std::uint64_t>(parts.degrees * 10000 + parts.minutes * 100 + parts.hundredths);
    key = key * kPowersWhole[parts.restDigits] + parts.rest;
    // Indexed by the last digits: the texts along a line lie close together, so they fill
    // neighbouring slots and push none of each other out.
    Slot& slot = slots_[static_cast<std::size_t>(key & (kSlots - 1))];
    // The count of decimals, the degree digits and the sign complete the key (never 0).
    key = (key << 7) | (static_cast<std::uint64_t>(parts.restDigits) << 3) |
          (static_cast<std::uint64_t>(degreeDigits) << 1) | (negate ? 1 : 0);
    if (slot.key != key) {
        slot.degrees = ReadoutDegrees(parts, negate);
        slot.key = key;
    }
    result = slot.degrees;
    return true;
}

} // namespace detail

} // namespace qm::site
