#include "position.h"

#include "extended_precision.h"
#include "field_value.h"
#include "survey_table.h"

#include <algorithm>
#include <cstdint>
#include <functional>

namespace qm {

namespace {

// Cell c (3 to 6) of the row being read; may throw, and is asked at the step that needs it.
using CellReader = std::function<std::string_view(int)>;

constexpr char kDegreeSign = '\xB0';

// Characters first..last of text, counted from 1, cut at the end of the text.
std::string_view Sub(std::string_view text, std::size_t first, std::size_t last)
{
    if (first > text.size()) {
        return {};
    }
    return text.substr(first - 1, last - first + 1);
}

std::string WithDots(std::string text)
{
    std::replace(text.begin(), text.end(), DecimalSeparator(), '.');
    return text;
}

// The minute fraction of a coordinate text and where its hemisphere letter is, as the two decimal
// conversions take them: A (hundredths of a minute) and the further digits that make B.
struct FractionTexts {
    std::string a;
    std::string bDigits;
    std::string_view letter;
    bool readB = true; // false when no decimals remain after A: B is then 0
};

// A cell whose minute digits are followed by "." and nothing but digits is read with all its
// decimals (GPS units write three, four, five or more); any other text keeps the fixed columns.
// With exactly four decimals both ways give the same texts.
FractionTexts Fraction(std::string_view raw, std::size_t cellLength, std::size_t degreeDigits)
{
    const std::size_t w = degreeDigits;
    const std::string_view cell = raw.substr(0, cellLength);
    const bool wellFormed = cell.size() > w + 2 && cell[w + 2] == '.' &&
                            std::all_of(cell.begin() + static_cast<std::ptrdiff_t>(w + 3), cell.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
    if (!wellFormed)
        return {std::string(Sub(raw, w + 4, w + 5)), std::string(Sub(raw, w + 6, w + 7)), Sub(raw, w + 8, w + 8)};
    const std::string_view decimals = cell.substr(w + 3);
    FractionTexts texts;
    texts.a = std::string(decimals.substr(0, 2));
    texts.a.resize(2, '0'); // a missing hundredth counts as 0
    texts.readB = decimals.size() > 2;
    if (texts.readB)
        texts.bDigits = std::string(decimals.substr(2));
    texts.letter = raw.substr(cellLength);
    return texts;
}

// The degrees-minutes-seconds and decimal forms of one raw text (the cell of `cellLength` bytes and
// the appended hemisphere letter) with 2 (latitude) or 3 (longitude) degree digits. `negate` is asked
// for after the conversions, when the decimal value is known.
void ReadForms(std::string_view raw, std::size_t cellLength, std::size_t degreeDigits,
               const std::function<bool()>& negate, std::string& dmsField, std::string& decimalField)
{
    const std::size_t w = degreeDigits;
    const std::int32_t d = StrToInt(Sub(raw, 1, w));
    const std::int32_t m = StrToInt(Sub(raw, w + 1, w + 2));
    const FractionTexts fraction = Fraction(raw, cellLength, w);
    const long double a = StrToFloat(fraction.a);
    long double b = 0;
    if (fraction.readB) {
        std::string bText = "0";
        bText.push_back(DecimalSeparator());
        bText += fraction.bDigits;
        b = StrToFloat(bText);
    }
    // S is the minute fraction in hundredths ("1697" gives 16.97).
    const double s = static_cast<double>(a + b);
    // Intermediate steps in extended precision, the result held as a double.
    const double seconds = static_cast<double>(static_cast<long double>(s) / 100 * 60);

    std::string dms = std::to_string(d);
    dms.push_back(kDegreeSign);
    dms += std::to_string(m);
    dms.push_back('\'');
    dms += FloatToStrGeneral(seconds);
    dms.push_back('"');
    dms.append(fraction.letter);
    dmsField = WithDots(std::move(dms));

    long double sum = static_cast<long double>(d);
    sum = sum + ((static_cast<long double>(m) / 60) * 100) / 100;
    sum = sum + ((static_cast<long double>(s) / 60) * 100) / 10000;
    double decimal = static_cast<double>(sum);
    if (negate()) {
        decimal = 0 - decimal;
    }
    decimalField = WithDots(FloatToStrGeneral(decimal));
}

void Read(const CellReader& cell, PositionFields& fields)
{
    const std::string_view latHemisphere = cell(3);
    if (latHemisphere == "?" || latHemisphere == "0") {
        fields.edtLat = fields.edtLat2 = fields.lad = "?";
        fields.edtLon = fields.edtLon2 = fields.lod = "?";
        return;
    }
    // The hemisphere cell is asked before the coordinate cell, as the condition comes first.
    {
        const char letter = cell(3) == "N" ? 'N' : 'S';
        std::string raw(cell(4));
        raw.push_back(letter);
        fields.edtLat = std::move(raw);
    }
    {
        const char letter = cell(5) == "E" ? 'E' : 'W';
        std::string raw(cell(6));
        raw.push_back(letter);
        fields.edtLon = std::move(raw);
    }
    ReadForms(fields.edtLon, fields.edtLon.size() - 1, 3, [&] { return cell(5) == "W"; }, fields.edtLon2,
              fields.lod);
    ReadForms(fields.edtLat, fields.edtLat.size() - 1, 2, [&] { return cell(3) == "S"; }, fields.edtLat2,
              fields.lad);
}

} // namespace

void ReadPosition(const FixCells& cells, PositionFields& fields)
{
    const ExtendedPrecision precision;
    Read(
        [&cells](int column) -> std::string_view {
            switch (column) {
            case 3: return cells.latHemisphere;
            case 4: return cells.latitude;
            case 5: return cells.lonHemisphere;
            default: return cells.longitude;
            }
        },
        fields);
}

void ReadPosition(const SurveyTable& table, int row, PositionFields& fields)
{
    const ExtendedPrecision precision;
    Read([&table, row](int column) { return table.Cell(row, column); }, fields);
}

} // namespace qm
