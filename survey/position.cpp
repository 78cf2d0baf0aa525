#include "position.h"

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

// The degrees-minutes-seconds and decimal forms of one raw text with 2 (latitude) or 3 (longitude)
// degree digits. `negate` is asked for after the conversions, when the decimal value is known.
void ReadForms(std::string_view raw, std::size_t degreeDigits, const std::function<bool()>& negate,
               std::string& dmsField, std::string& decimalField)
{
    const std::size_t w = degreeDigits;
    const std::int32_t d = StrToInt(Sub(raw, 1, w));
    const std::int32_t m = StrToInt(Sub(raw, w + 1, w + 2));
    const long double a = StrToFloat(Sub(raw, w + 4, w + 5));
    std::string bText = "0";
    bText.push_back(DecimalSeparator());
    bText.append(Sub(raw, w + 6, w + 7));
    const long double b = StrToFloat(bText);
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
    dms.append(Sub(raw, w + 8, w + 8));
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
    ReadForms(fields.edtLon, 3, [&] { return cell(5) == "W"; }, fields.edtLon2, fields.lod);
    ReadForms(fields.edtLat, 2, [&] { return cell(3) == "S"; }, fields.edtLat2, fields.lad);
}

} // namespace

void ReadPosition(const FixCells& cells, PositionFields& fields)
{
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
    Read([&table, row](int column) { return table.Cell(row, column); }, fields);
}

} // namespace qm
