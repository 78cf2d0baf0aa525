// Text-to-number conversions of survey readings, and the general number text used to show numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

// The process's decimal separator, taken from the user's locale at start ("." when it gives none).
// Tests set it to run the conversions under a "," locale.
char DecimalSeparator();
void SetDecimalSeparator(char separator);
// The separator of the user's locale (what the viewer sets at start).
char LocaleDecimalSeparator();

// Text to extended-precision number. Accepts exactly: leading spaces, one optional sign, digits,
// optionally the decimal separator and digits, optionally E/e with optional sign and digits,
// trailing spaces. Correctly rounded. Throws ConvertError "'%s' is not a valid floating point value"
// when the text does not convert or the value overflows; a value below the normal range reads as 0.
long double StrToFloat(std::string_view text);
bool TryStrToFloat(std::string_view text, long double& value);

// Text to signed 32-bit integer: leading spaces, one optional sign, decimal digits, or hexadecimal
// after "$", "x", "X" or "0x" (a sign may stand before the prefix: "-$10" is -16), nothing after the
// digits. Throws ConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, std::int32_t& value);

// The reading of a cell as a whole number: "." becomes the decimal separator, the text is
// converted and rounded half to even. Throws ConvertError when the text does not convert or the
// rounded value does not fit a signed 64-bit integer ("'%s' is out of the range of a whole-number
// reading").
std::int64_t FieldValue(std::string_view cellText);

// General number text: 15 significant digits, fixed notation for magnitudes in [1E-4, 1E15),
// scientific otherwise ("5E-5", "1E20"), the decimal separator of the process. The value is first
// expanded exactly to 18 significant digits (ties to even), then rounded half up to 15.
// Infinities and NaN read "INF", "-INF" and "NAN".
std::string FloatToStrGeneral(long double value);

// A reading written as a plain decimal: spaces, an optional sign, digits with at most one "." or
// `separator`, trailing spaces. Its digits as a whole number and how many follow the point.
struct PlainDecimal {
    bool negative = false;
    std::uint64_t mantissa = 0;
    int fractionDigits = 0;
};
// False for any other form, and when it has more than `maxDigits` significant digits or fraction
// digits (at most 18, so the mantissa never overflows): those take the full conversion.
bool ScanPlainDecimal(std::string_view text, char separator, int maxDigits, PlainDecimal& decimal);

} // namespace qm
