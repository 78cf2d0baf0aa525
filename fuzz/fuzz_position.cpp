// The position readout on four cells from the input (split at NUL bytes: hemisphere, latitude,
// hemisphere, longitude), directly and through a table row. The first byte picks the decimal
// separator. The readout either fills the fields or fails with a conversion error, and the decimal
// texts it writes always read back as numbers written with ".". Well-formed cells (digits, ".",
// digits) always convert and end their degrees-minutes-seconds text in the hemisphere letter.
#include "fuzz_check.h"

#include "errors.h"
#include "field_value.h"
#include "position.h"
#include "survey_table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

bool ReadsWithPoint(const std::string& text)
{
    const char separator = qm::DecimalSeparator();
    qm::SetDecimalSeparator('.');
    long double value = 0;
    const bool ok = qm::TryStrToFloat(text, value);
    qm::SetDecimalSeparator(separator);
    return ok;
}

bool Digits(std::string_view text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

// A coordinate cell with `w` degree digits: the character after the degree and minute digits is
// "." and only digits follow it. Its decimals are then read whatever their count.
bool WellFormed(std::string_view cell, std::size_t w)
{
    return cell.size() > w + 2 && cell[w + 2] == '.' && Digits(cell.substr(w + 3));
}

// The hemisphere letter that ends the degrees-minutes-seconds text: the appended letter for a
// well-formed cell, else the character in the fixed letter column (none past the end).
std::string DmsLetter(std::string_view cell, std::size_t w, char appended)
{
    if (WellFormed(cell, w))
        return std::string(1, appended);
    const std::string raw = std::string(cell) + appended;
    std::string letter = raw.size() >= w + 8 ? raw.substr(w + 7, 1) : std::string();
    if (letter == std::string(1, qm::DecimalSeparator()))
        letter = "."; // the shown texts carry dots
    return letter;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void Check(const qm::FixCells& cells, const qm::PositionFields& fields, bool completed)
{
    if (cells.latHemisphere == "?" || cells.latHemisphere == "0") {
        QM_FUZZ_CHECK(completed);
        for (const std::string* f : {&fields.edtLat, &fields.edtLat2, &fields.lad, &fields.edtLon, &fields.edtLon2, &fields.lod})
            QM_FUZZ_CHECK(*f == "?");
        return;
    }
    QM_FUZZ_CHECK(fields.edtLat == std::string(cells.latitude) + (cells.latHemisphere == "N" ? "N" : "S"));
    QM_FUZZ_CHECK(fields.edtLon == std::string(cells.longitude) + (cells.lonHemisphere == "E" ? "E" : "W"));
    const char latLetter = cells.latHemisphere == "N" ? 'N' : 'S';
    const char lonLetter = cells.lonHemisphere == "E" ? 'E' : 'W';
    // Well-formed cells whose degrees and minutes are digits always convert.
    if (WellFormed(cells.latitude, 2) && Digits(cells.latitude.substr(0, 4)) && WellFormed(cells.longitude, 3) &&
        Digits(cells.longitude.substr(0, 5)))
        QM_FUZZ_CHECK(completed);
    if (!completed)
        return;
    QM_FUZZ_CHECK(EndsWith(fields.edtLat2, "\"" + DmsLetter(cells.latitude, 2, latLetter)));
    QM_FUZZ_CHECK(EndsWith(fields.edtLon2, "\"" + DmsLetter(cells.longitude, 3, lonLetter)));
    QM_FUZZ_CHECK(ReadsWithPoint(fields.lad));
    QM_FUZZ_CHECK(ReadsWithPoint(fields.lod));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    qm::SetDecimalSeparator((in.Byte() & 1) ? ',' : '.');
    const std::string_view rest = in.RestText();
    if (rest.size() > 1024)
        return 0;
    std::vector<std::string_view> parts;
    std::size_t from = 0;
    while (parts.size() < 3) {
        const std::size_t at = rest.find('\0', from);
        if (at == std::string_view::npos)
            break;
        parts.push_back(rest.substr(from, at - from));
        from = at + 1;
    }
    parts.push_back(rest.substr(std::min(from, rest.size())));
    parts.resize(4);
    const qm::FixCells cells{parts[0], parts[1], parts[2], parts[3]};

    qm::PositionFields direct;
    bool completed = true;
    try {
        qm::ReadPosition(cells, direct);
    } catch (const qm::ConvertError&) {
        completed = false;
    }
    Check(cells, direct, completed);

    // The same cells in columns 3 to 6 of a table row, split at a delimiter none of them holds
    // (and no cell empty, so that both lines hold six isolated tabs and settle the tab).
    std::string line = "P1\t50000\t12:00:00";
    bool plain = true;
    for (std::string_view cell : parts) {
        plain = plain && !cell.empty() && cell.find_first_of("\t\"\n\r\x1A") == std::string_view::npos;
        line += '\t';
        line += cell;
    }
    if (!plain)
        return 0;
    qm::SurveyTable table;
    table.LoadFromBytes("a\tb\tc\td\te\tf\tg\n" + line + "\n");
    qm::PositionFields viaTable;
    bool tableCompleted = true;
    try {
        qm::ReadPosition(table, 1, viaTable);
    } catch (const qm::ConvertError&) {
        tableCompleted = false;
    }
    QM_FUZZ_CHECK(tableCompleted == completed);
    QM_FUZZ_CHECK(viaTable.edtLat == direct.edtLat && viaTable.lad == direct.lad && viaTable.lod == direct.lod &&
                  viaTable.edtLat2 == direct.edtLat2 && viaTable.edtLon == direct.edtLon &&
                  viaTable.edtLon2 == direct.edtLon2);
    return 0;
}
