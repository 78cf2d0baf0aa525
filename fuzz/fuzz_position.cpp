// The position readout on four cells from the input (split at NUL bytes: hemisphere, latitude,
// hemisphere, longitude), directly and through a table row. The first byte picks the decimal
// separator. The readout either fills the fields or fails with a conversion error, and the decimal
// texts it writes always read back as numbers written with ".".
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
    if (!completed)
        return;
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
