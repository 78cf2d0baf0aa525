// Gathering the readings of a list of files by position: each file is loaded into a table owned by
// the gathering, each data row is read as the position readout and the reading conversion read it.
#include "placed_readings.h"

#include "errors.h"
#include "field_value.h"
#include "position.h"
#include "survey_rows.h"
#include "survey_table.h"
#include "task_runner.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <filesystem>
#include <limits>
#include <new>
#include <numeric>
#include <system_error>

namespace qm::site {

namespace {

// The readout's decimal text back as a number. The readout writes "." whatever the locale, plain
// or in its scientific form ("5E-5"); a text that is not a coordinate on the globe places nothing.
bool DecimalDegrees(std::string_view text, double limit, double& degrees)
{
    const char* end = text.data() + text.size();
    const std::from_chars_result result = std::from_chars(text.data(), end, degrees);
    return result.ec == std::errc() && result.ptr == end && std::isfinite(degrees) && std::fabs(degrees) <= limit;
}

// The reading of column 1 by the reading conversion, not rounded to a whole number.
bool ReadingValue(std::string_view cell, std::string& scratch, double& value)
{
    const char separator = DecimalSeparator();
    if (!detail::FastReading(cell, separator, value)) {
        scratch.assign(cell);
        std::replace(scratch.begin(), scratch.end(), '.', separator);
        long double number = 0;
        if (!TryStrToFloat(scratch, number))
            return false;
        value = static_cast<double>(number);
    }
    // Beyond the range of a double the reading is no number a map can colour.
    return std::isfinite(value);
}

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

// Grows an array by a quarter at a time: the final trim copies once, and the slack while gathering
// stays small.
template <typename T>
void Grow(std::vector<T>& array, std::size_t needed)
{
    if (needed > array.capacity())
        array.reserve(std::max(needed, array.capacity() + array.capacity() / 4));
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
    const std::uint64_t scaled = minutes * kPowersWhole[scale - k];
    const std::uint64_t shown = whole * kPowersWhole[scale] + scaled / 60 + (scaled % 60 >= 30 ? 1 : 0);
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

// The coordinate texts converted so far in a pass and their results, in a table indexed by the
// text's digits: a receiver logs a new fix about once a second and a magnetometer several readings
// in that time, a line walked north keeps its longitude text, and lines walked side by side pass
// the same latitudes, so many coordinate texts of a site were converted before. The conversion
// depends on the text's parts alone, so a result found here is the one converting again would give.
class CoordinateCache {
public:
    CoordinateCache() : slots_(kSlots) {}

    bool Convert(std::string_view cell, int degreeDigits, bool negate, double& result)
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

private:
    static constexpr int kKeyRestDigits = 2; // four minute decimals
    static constexpr std::size_t kSlots = std::size_t{1} << 16; // 1 MiB
    struct Slot {
        std::uint64_t key = 0;
        double degrees = 0;
    };
    std::vector<Slot> slots_;
};

// The readout's decimal degrees of one row, direct for coordinates of plain digits and decimals and
// by the readout itself for anything else. False when the row has no fix or its position does not
// convert. `cells` holds the row's caption and its cells through column 6.
bool RowPosition(const std::string_view* cells, PositionFields& fields, CoordinateCache& coordinates, double& lat,
                 double& lon)
{
    const std::string_view latHemisphere = cells[3];
    if (latHemisphere == "?" || latHemisphere == "0")
        return false;
    if (coordinates.Convert(cells[4], 2, latHemisphere == "S", lat) &&
        coordinates.Convert(cells[6], 3, cells[5] == "W", lon))
        return std::fabs(lat) <= 90 && std::fabs(lon) <= 180;
    try {
        ReadPosition(FixCells{cells[3], cells[4], cells[5], cells[6]}, fields);
    } catch (const Error&) {
        return false;
    }
    return DecimalDegrees(fields.lad, 90, lat) && DecimalDegrees(fields.lod, 180, lon);
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
    long double scale = 1;
    for (int k = 0; k < fractionDigits; ++k)
        scale *= 10;
    const long double number = static_cast<long double>(mantissa) / scale;
    value = static_cast<double>(negative ? -number : number);
    return true;
}

} // namespace detail

namespace {

// The bytes a path's text holds beyond the string's own room.
std::size_t TextBytes(const std::filesystem::path& path)
{
    const std::filesystem::path::string_type& text = path.native();
    const std::size_t bytes = (text.capacity() + 1) * sizeof(std::filesystem::path::value_type);
    return bytes > sizeof text ? bytes : 0;
}

// The bytes a path holds beyond its own size: its text, and the list of its parts that some
// standard libraries keep beside it (libstdc++ does, a path and an offset a part, for a path of
// more than one part). Several hundred bytes for a name of a few folders: a cost per file, not per
// reading.
std::size_t PathBytes(const std::filesystem::path& path)
{
    std::size_t bytes = TextBytes(path), parts = 0;
    for (const std::filesystem::path& part : path) {
        bytes += TextBytes(part);
        ++parts;
    }
    return parts > 1 ? bytes + sizeof(std::uint64_t) + parts * (sizeof path + sizeof(std::size_t)) : TextBytes(path);
}

} // namespace

std::size_t PlacedReadings::MemoryUsage() const
{
    std::size_t bytes = files.capacity() * sizeof(std::filesystem::path) + failures.capacity() * sizeof(FileFailure);
    for (const std::filesystem::path& name : files)
        bytes += PathBytes(name);
    bytes += (lon.capacity() + lat.capacity() + value.capacity()) * sizeof(double);
    bytes += (file.capacity() + row.capacity()) * sizeof(std::uint32_t);
    return bytes;
}

std::size_t PlacedReadings::RowStartsMemory() const
{
    std::size_t bytes = rowStarts.capacity() * sizeof(FileRowStarts);
    for (const FileRowStarts& rows : rowStarts)
        bytes += rows.starts.capacity() * sizeof(std::uint64_t);
    return bytes;
}

std::vector<std::string> ReadRowLabels(const std::filesystem::path& file, const FileRowStarts& rows, int first)
{
    constexpr int kStep = SurveyTable::kRowStartStep;
    if (first < 0 || first % kStep != 0 || static_cast<std::size_t>(first / kStep) >= rows.starts.size())
        return {};
    std::error_code sizeError, timeError;
    const std::uintmax_t size = std::filesystem::file_size(file, sizeError);
    const std::filesystem::file_time_type written = std::filesystem::last_write_time(file, timeError);
    if (sizeError || timeError || size != rows.size || written != rows.written)
        return {};
    SurveyTable table;
    table.LoadRowsAt(file, rows.starts[static_cast<std::size_t>(first / kStep)], rows.delimiter, kStep);
    std::vector<std::string> labels;
    labels.reserve(static_cast<std::size_t>(table.RowCount()));
    for (int r = 0; r < table.RowCount(); ++r)
        labels.emplace_back(table.RowCaption(r));
    return labels;
}

namespace {

// An earlier export of placed readings (its heading starts file,row,label,value,lat,lon, with or
// without the processed columns) lying among the surveys is no survey: it would place every
// reading a second time. `cells` holds the first fields of the heading line, `count` of them.
bool IsReadingsExport(const std::string_view* cells, int count)
{
    static constexpr std::string_view kHeader[] = {"file", "row", "label", "value", "lat", "lon"};
    if (count < 6)
        return false;
    for (int c = 0; c < 6; ++c)
        if (cells[c] != kHeader[c])
            return false;
    return true;
}

constexpr const char* kExportNotSurvey = "An export of placed readings, not a survey file";

// The rows of a file loaded whole into a table first: a file that fails to load gives no row.
class TableRows {
public:
    // One table for the whole pass, never the viewer's: its buffers are reused from file to file.
    // Each file is split as a fresh table would split it, so a file reads the same whichever files
    // came before it in the pass (or on another thread).
    void Open(const std::filesystem::path& file)
    {
        table_.Clear();
        table_.ForgetDelimiter();
        row_ = -1;
        table_.LoadFromCsv(file);
    }
    bool Next(std::string_view* fields, int max, int& count)
    {
        if (row_ + 1 >= table_.RowCount())
            return false;
        count = table_.RowFields(++row_, fields, max);
        return true;
    }
    int Row() const { return row_; }

private:
    SurveyTable table_;
    int row_ = -1;
};

// What a pass tells its caller of each file besides its rows: the file `claim` gave is about to
// place its rows (`Begin`), has placed them all (`Done`, with the reader), or failed (`Failed`,
// with the error text; rows it placed before are to be taken back).
template <typename Rows>
struct PassHooks {
    std::function<void(std::size_t)> Begin = [](std::size_t) {};
    std::function<void(std::size_t, const Rows&)> Done = [](std::size_t, const Rows&) {};
    std::function<void(std::size_t, const char*)> Failed;
};

// The pass itself over the files `claim` hands out (it sets the index of the next one and returns
// true, or returns false when none is left), with `place` called directly for each row.
template <typename Rows, typename Claim, typename Place>
std::uint64_t PlaceRows(Rows& rows, const std::vector<std::filesystem::path>& files, const Claim& claim,
                        const Place& place, const PassHooks<Rows>& hooks, const GatherProgress& progress)
{
    std::uint64_t withoutPosition = 0;
    PositionFields fields;
    CoordinateCache coordinates;
    std::string scratch;
    const std::size_t total = files.size();
    std::size_t done = 0;
    std::size_t f = 0;
    for (;; ++done) {
        if (progress && !progress(done, total))
            throw Cancelled{};
        if (!claim(f))
            break;
        std::uint64_t left = 0; // of this file
        try {
            rows.Open(files[f]);
            std::string_view cells[7];
            int count = 0;
            if (rows.Next(cells, 7, count) && IsReadingsExport(cells, count)) {
                hooks.Failed(f, kExportNotSurvey);
                continue;
            }
            hooks.Begin(f);
            PlacedRow placed;
            placed.file = static_cast<std::uint32_t>(f);
            while (rows.Next(cells, 7, count)) {
                // An empty line (a blank line at the end of a file) is no reading at all.
                if (count == 1 && cells[0].empty())
                    continue;
                // A row too short for a fix is left out without the cost of an error.
                const bool usable = count >= 7 && ReadingValue(cells[1], scratch, placed.value) &&
                                    RowPosition(cells, fields, coordinates, placed.lat, placed.lon);
                if (!usable) {
                    ++left;
                    continue;
                }
                placed.row = static_cast<std::uint32_t>(rows.Row());
                placed.label = cells[0];
                placed.column2 = cells[2];
                place(placed);
            }
        } catch (const Error& e) {
            hooks.Failed(f, e.what());
            continue;
        }
        withoutPosition += left;
        hooks.Done(f, rows);
    }
    return withoutPosition;
}

// Claims the files of a list in order, for a pass on one thread.
struct InOrder {
    std::size_t count;
    mutable std::size_t next = 0;
    bool operator()(std::size_t& f) const
    {
        if (next >= count)
            return false;
        f = next++;
        return true;
    }
};

// The size of each file, 0 where it cannot be told.
std::vector<std::uintmax_t> FileSizes(const std::vector<std::filesystem::path>& files)
{
    std::vector<std::uintmax_t> sizes(files.size(), 0);
    for (std::size_t f = 0; f < files.size(); ++f) {
        std::error_code ec;
        const std::uintmax_t size = std::filesystem::file_size(files[f], ec);
        sizes[f] = ec ? 0 : size;
    }
    return sizes;
}

// Gathers the files `claim` hands out, each read row by row. The arrays are sized ahead from the
// bytes still to come (`bytesAhead(bytes this pass has read)`, of the files `sizes` gives) at the
// rows per byte of the files done: one allocation for a site of like files, instead of copying and
// touching fresh memory at every step of growth (which cost more than the placing itself). A file
// that fails partway has the readings it placed taken back, so it is left out whole.
template <typename Claim, typename Ahead, typename Failed>
PlacedReadings GatherClaimed(const std::vector<std::filesystem::path>& files, const std::vector<std::uintmax_t>& sizes,
                             const Claim& claim, const Ahead& bytesAhead, const Failed& failed,
                             const GatherProgress& progress)
{
    if (files.size() > std::numeric_limits<std::uint32_t>::max())
        throw Error("Too many files to place");
    PlacedReadings readings;
    readings.rowStarts.resize(files.size());
    std::uintmax_t bytesDone = 0;
    std::uint64_t rowsDone = 0;
    std::size_t fileStart = 0; // where the readings of the file at hand start
    const auto reserveAll = [&readings](std::size_t capacity) {
        readings.lon.reserve(capacity);
        readings.lat.reserve(capacity);
        readings.value.reserve(capacity);
        readings.file.reserve(capacity);
        readings.row.reserve(capacity);
    };
    const auto resizeAll = [&readings](std::size_t size) {
        readings.lon.resize(size);
        readings.lat.resize(size);
        readings.value.resize(size);
        readings.file.resize(size);
        readings.row.resize(size);
    };
    PassHooks<SurveyRowReader> hooks;
    hooks.Begin = [&](std::size_t f) {
        fileStart = readings.size();
        // A data row takes more than 16 bytes of text: the first file's rows are at most a
        // sixteenth of its bytes. Later, the rows per byte so far, for every byte still to read,
        // with a sixty-fourth more so that files a little denser than those before cost no second
        // allocation. An estimate the memory cannot hold is dropped for growing step by step.
        const double perByte = bytesDone > 0 ? std::min(static_cast<double>(rowsDone) / static_cast<double>(bytesDone), 1.0 / 16) : 0;
        const double thisFile = (perByte > 0 ? perByte * (1 + 1.0 / 64) : 1.0 / 16) * static_cast<double>(sizes[f]);
        if (fileStart + static_cast<std::size_t>(thisFile) <= readings.value.capacity())
            return;
        const double ahead = perByte * static_cast<double>(bytesAhead(bytesDone + sizes[f]) + sizes[f]) * (1 + 1.0 / 64);
        try {
            reserveAll(fileStart + static_cast<std::size_t>(std::max(thisFile, ahead)));
        } catch (const std::bad_alloc&) {
        }
    };
    hooks.Done = [&](std::size_t f, const SurveyRowReader& rows) {
        std::error_code ec;
        readings.rowStarts[f] = {rows.SplitDelimiter().value_or(','), rows.RowStarts(), sizes[f],
                                 std::filesystem::last_write_time(files[f], ec)};
        bytesDone += sizes[f];
        rowsDone += static_cast<std::uint64_t>(std::max(rows.Row(), 0));
        fileStart = readings.size();
    };
    hooks.Failed = [&](std::size_t f, const char* message) {
        resizeAll(fileStart);
        failed(f, message);
    };
    SurveyRowReader rows;
    rows.KeepRowStarts(true);
    readings.withoutPosition = PlaceRows(
        rows, files, claim,
        [&readings](const PlacedRow& placed) {
            const std::size_t needed = readings.value.size() + 1;
            if (needed > readings.value.capacity()) {
                Grow(readings.lon, needed);
                Grow(readings.lat, needed);
                Grow(readings.value, needed);
                Grow(readings.file, needed);
                Grow(readings.row, needed);
            }
            readings.lon.push_back(placed.lon);
            readings.lat.push_back(placed.lat);
            readings.value.push_back(placed.value);
            readings.file.push_back(placed.file);
            readings.row.push_back(placed.row);
        },
        hooks, progress);
    return readings;
}

// A run of readings of one file within one part of a gathering.
struct Run {
    std::uint32_t file;
    std::size_t part;
    std::size_t first;
    std::size_t last;
};

// One array of the parts' readings, the runs in the order given, in an array of exactly `total`;
// each part's array is freed once it is copied, so the join holds at most one array twice.
template <typename T>
std::vector<T> JoinedArray(std::vector<PlacedReadings>& parts, std::vector<T> PlacedReadings::*array,
                           const std::vector<Run>& runs, std::size_t total)
{
    // A single part in list order already of exactly that size is taken as it is.
    if (parts.size() == 1 && (parts[0].*array).capacity() == total &&
        std::is_sorted(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.first < b.first; }))
        return std::move(parts[0].*array);
    std::vector<T> joined;
    joined.reserve(total);
    for (const Run& run : runs) {
        const std::vector<T>& from = parts[run.part].*array;
        joined.insert(joined.end(), from.begin() + static_cast<std::ptrdiff_t>(run.first),
                      from.begin() + static_cast<std::ptrdiff_t>(run.last));
    }
    for (PlacedReadings& part : parts)
        std::vector<T>().swap(part.*array);
    return joined;
}

// The readings of the parts, each of whole files, in the order of the files in the list, in
// arrays of exactly their size, with the readings left out counted together.
PlacedReadings JoinInListOrder(std::vector<PlacedReadings>& parts)
{
    std::vector<Run> runs;
    PlacedReadings joined;
    std::size_t total = 0;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        const std::vector<std::uint32_t>& file = parts[p].file;
        for (std::size_t first = 0, last = 0; first < file.size(); first = last) {
            last = first;
            while (last < file.size() && file[last] == file[first])
                ++last;
            runs.push_back({file[first], p, first, last});
        }
        total += parts[p].size();
        joined.withoutPosition += parts[p].withoutPosition;
        // Each file's row starts come from the one part that took it.
        std::vector<FileRowStarts>& starts = parts[p].rowStarts;
        if (joined.rowStarts.size() < starts.size())
            joined.rowStarts.resize(starts.size());
        for (std::size_t f = 0; f < starts.size(); ++f)
            if (!starts[f].starts.empty())
                joined.rowStarts[f] = std::move(starts[f]);
    }
    // A file is taken by one part only, so the order by file is the list's, whatever the parts.
    std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.file < b.file; });
    joined.lon = JoinedArray(parts, &PlacedReadings::lon, runs, total);
    joined.lat = JoinedArray(parts, &PlacedReadings::lat, runs, total);
    joined.value = JoinedArray(parts, &PlacedReadings::value, runs, total);
    joined.file = JoinedArray(parts, &PlacedReadings::file, runs, total);
    joined.row = JoinedArray(parts, &PlacedReadings::row, runs, total);
    return joined;
}

} // namespace

GatherCounts ForEachPlacedRow(const std::vector<std::filesystem::path>& files,
                              const std::function<void(const PlacedRow&)>& place, const GatherProgress& progress)
{
    // Each file is loaded whole before its first row is placed, so that a file that fails partway
    // places nothing: what is placed is never taken back.
    GatherCounts counts;
    PassHooks<TableRows> hooks;
    hooks.Failed = [&counts, &files](std::size_t f, const char* message) { counts.failures.push_back({files[f], message}); };
    TableRows rows;
    counts.withoutPosition = PlaceRows(rows, files, InOrder{files.size()}, place, hooks, progress);
    return counts;
}

PlacedReadings GatherReadings(const std::vector<std::filesystem::path>& files, const GatherProgress& progress)
{
    std::vector<FileFailure> failures;
    const std::vector<std::uintmax_t> sizes = FileSizes(files);
    const std::uintmax_t total = std::accumulate(sizes.begin(), sizes.end(), std::uintmax_t{0});
    PlacedReadings readings = GatherClaimed(
        files, sizes, InOrder{files.size()}, [total](std::uintmax_t loaded) { return total - loaded; },
        [&failures, &files](std::size_t f, const char* message) { failures.push_back({files[f], message}); },
        progress);
    std::vector<PlacedReadings> parts;
    parts.push_back(std::move(readings));
    PlacedReadings joined = JoinInListOrder(parts);
    joined.files = files;
    joined.failures = std::move(failures);
    return joined;
}

SharedGathering::SharedGathering(std::vector<std::filesystem::path> files, std::size_t threads)
    : files_(std::move(files)), threads_(std::max<std::size_t>(threads, 1)), back_(files_.size()),
      failures_(files_.size())
{
}

bool SharedGathering::Claim(bool front, std::size_t& f)
{
    const std::lock_guard lock(mutex_);
    if (front_ >= back_)
        return false;
    f = front ? front_++ : --back_;
    claimedBytes_ += sizes_[f];
    return true;
}

PlacedReadings SharedGathering::Gather(bool front, const GatherProgress& progress)
{
    // The sizes are told once, by whichever thread comes first.
    std::call_once(sizesTold_, [this] {
        sizes_ = FileSizes(files_);
        totalBytes_ = std::accumulate(sizes_.begin(), sizes_.end(), std::uintmax_t{0});
    });
    // The front's arrays have room for the whole list, so that the front never grows them however
    // slow the backs are (room never written costs no memory on a system that maps pages as they
    // are first written); a back takes about its share of the files nobody has taken yet.
    const auto ahead = [this, front](std::uintmax_t loaded) {
        if (front)
            return totalBytes_ - loaded;
        const std::lock_guard lock(mutex_);
        return (totalBytes_ - claimedBytes_) / threads_;
    };
    return GatherClaimed(
        files_, sizes_, [this, front](std::size_t& f) { return Claim(front, f); }, ahead,
        [this](std::size_t f, const char* message) { failures_[f] = message; }, progress);
}

PlacedReadings SharedGathering::GatherFront(const GatherProgress& progress)
{
    return Gather(true, progress);
}

PlacedReadings SharedGathering::GatherBack(const GatherProgress& progress)
{
    return Gather(false, progress);
}

PlacedReadings SharedGathering::Join(PlacedReadings front, std::vector<PlacedReadings> backs)
{
    std::vector<PlacedReadings> parts;
    parts.reserve(backs.size() + 1);
    parts.push_back(std::move(front));
    for (PlacedReadings& back : backs)
        parts.push_back(std::move(back));
    backs.clear();
    front = JoinInListOrder(parts);
    front.files = files_;
    front.failures.clear();
    for (std::size_t f = 0; f < files_.size(); ++f) {
        if (failures_[f])
            front.failures.push_back({front.files[f], *failures_[f]});
    }
    return front;
}

PlacedReadings GatherReadingsInParts(const std::vector<std::filesystem::path>& files, std::size_t threads,
                                     const GatherProgress& progress)
{
    threads = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(files.size(), 1));
    if (threads == 1)
        return GatherReadings(files, progress);
    SharedGathering gathering(files, threads);
    std::vector<PlacedReadings> parts(threads);
    std::atomic<bool> halt{false};
    RunTasks(threads, [&](std::size_t part) {
        bool stopped = false; // by this part's own progress
        const GatherProgress partProgress = [&](std::size_t done, std::size_t total) {
            if (halt)
                return false;
            if (progress && !progress(done, total)) {
                stopped = true;
                halt = true;
            }
            return !stopped;
        };
        try {
            parts[part] = part == 0 ? gathering.GatherFront(partProgress) : gathering.GatherBack(partProgress);
        } catch (const Cancelled&) {
            // A part halted by another's stop or failure leaves the telling to that one.
            if (stopped)
                throw;
        } catch (...) {
            halt = true;
            throw;
        }
    });
    PlacedReadings front = std::move(parts.front());
    parts.erase(parts.begin());
    return gathering.Join(std::move(front), std::move(parts));
}

} // namespace qm::site
