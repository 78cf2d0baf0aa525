// Pass 1 (balance and raster width) and pass 2 (cell colours) of the matrix draw.
#include "matrix_raster.h"

#include "field_value.h"
#include "survey_table.h"

#include <cmath>

namespace qm {

bool BalanceAccumulator::Add(std::int64_t fieldValue, std::uint16_t& balance)
{
    sum += static_cast<std::uint32_t>(fieldValue);
    count += 1;
    // After 2^32 readings the count wraps to 0; the mean is then undefined and the balance is left.
    if (balance != 0 || count == 0) {
        return false;
    }
    const auto mean = static_cast<std::uint16_t>(sum / count);
    balance = static_cast<std::uint16_t>(mean - 15u);
    return true;
}

void ApplyReadingColour(std::uint16_t balance, std::int32_t contrast, std::int64_t fieldValue, std::uint32_t& pen)
{
    // Wrapping signed 32-bit arithmetic, done in unsigned and converted back.
    const std::uint32_t v = static_cast<std::uint32_t>(fieldValue);
    const std::uint32_t wrapped = (static_cast<std::uint32_t>(balance) - v) * static_cast<std::uint32_t>(contrast) - 10u;
    std::int32_t h = static_cast<std::int32_t>(wrapped);
    if (h > 127) {
        h = 127;
    } else if (h < -127) {
        h = -127;
    }
    if (h > 0) {
        pen = static_cast<std::uint32_t>(h + 127) << 16;
    } else if (h < 0) {
        pen = static_cast<std::uint32_t>(h + 127);
    }
}

int MatrixLabelRow(int height, int fileCount, int q)
{
    if (fileCount <= 0) {
        return 0;
    }
    const long double y = static_cast<long double>(height) / static_cast<long double>(fileCount) * static_cast<long double>(q);
    const long double whole = std::floor(y);
    const long double fraction = y - whole;
    long double rounded = whole;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0.0L)) {
        rounded += 1.0L;
    }
    return static_cast<int>(rounded);
}

namespace {

// Rows of file q still to be read: the table may be reloaded by events run from inside the
// callbacks, so its row count is asked again before every row.
template <typename RowFn>
void ForEachDataRow(const SurveyTable& table, RowFn&& fn)
{
    for (int r = 1; r < table.RowCount(); ++r) {
        fn(r);
    }
}

} // namespace

namespace {

// The reading of row r of the table just selected: taken from the caller's converted readings when
// they cover every data row (and hold the whole number exactly), else converted from the cell.
class Readings {
public:
    Readings(const MatrixSource& source, const SurveyTable& table) : source_(source), table_(table) { Refresh(); }
    // Takes the caller's readings afresh: after a callback of the caller they may have moved.
    void Refresh()
    {
        known_ = {};
        if (source_.readings) {
            const std::span<const double> known = source_.readings();
            if (table_.RowCount() > 0 && known.size() == static_cast<std::size_t>(table_.RowCount() - 1))
                known_ = known;
        }
    }
    std::int64_t operator()(int r) const
    {
        constexpr double kExact = 9007199254740992.0; // 2^53: every whole number below is exact
        const std::size_t i = static_cast<std::size_t>(r - 1);
        if (i < known_.size() && std::fabs(known_[i]) < kExact)
            return static_cast<std::int64_t>(known_[i]);
        return FieldValue(table_.Cell(r, 1));
    }

private:
    const MatrixSource& source_;
    const SurveyTable& table_;
    std::span<const double> known_;
};

} // namespace

Bitmap BuildMatrixRaster(const MatrixSource& source, std::uint16_t& balance, std::int32_t contrast, bool& completed)
{
    completed = false;
    if (source.fileCount() <= 0) {
        completed = true;
        return Bitmap(0, 0, 4);
    }

    // Step 1: file 0 is loaded; its length starts the search for the shortest file.
    const SurveyTable* table = source.select(0);
    if (table == nullptr) {
        return {};
    }
    int w = table->RowCount() - 1;
    const int f = source.fileCount() - 1;

    // Pass 1: balance from the running mean while it is 0, and the shortest file.
    BalanceAccumulator accumulator;
    for (int q = 0; q <= f; ++q) {
        if (q >= source.fileCount() || (table = source.select(q)) == nullptr) {
            return {};
        }
        Readings reading(source, *table);
        ForEachDataRow(*table, [&](int r) {
            if (accumulator.Add(reading(r), balance) && source.balanceChanged) {
                source.balanceChanged(balance);
                reading.Refresh();
            }
        });
        if (table->RowCount() - 1 < w) {
            w = table->RowCount() - 1;
        }
    }

    // Pass 2: one white raster, the pen starting black and carried from reading to reading.
    Bitmap raster(w + 1 > 0 ? w + 1 : 0, f + 1, 4, 0xFF);
    std::uint32_t pen = 0;
    for (int q = 0; q <= f; ++q) {
        if (q >= source.fileCount() || (table = source.select(q)) == nullptr) {
            return {};
        }
        const Readings reading(source, *table);
        ForEachDataRow(*table, [&](int r) {
            ApplyReadingColour(balance, contrast, reading(r), pen);
            if (r < raster.width) {
                raster.SetPixel(r, q, pen);
            }
        });
    }
    completed = true;
    return raster;
}

} // namespace qm
