// Gathering the readings of a list of files by position: each file is loaded into a table owned by
// the gathering, each data row is read as the position readout and the reading conversion read it.
#include "placed_readings.h"

#include "errors.h"
#include "field_value.h"
#include "position.h"
#include "survey_table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

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
    scratch.assign(cell);
    std::replace(scratch.begin(), scratch.end(), '.', DecimalSeparator());
    long double number = 0;
    if (!TryStrToFloat(scratch, number))
        return false;
    value = static_cast<double>(number);
    // Beyond the range of a double the reading is no number a map can colour.
    return std::isfinite(value);
}

// Grows an array by a quarter at a time: the final trim copies once, and the slack while gathering
// stays small.
template <typename T>
void Grow(std::vector<T>& array, std::size_t needed)
{
    if (needed > array.capacity())
        array.reserve(std::max(needed, array.capacity() + array.capacity() / 4));
}

} // namespace

std::size_t PlacedReadings::MemoryUsage() const
{
    std::size_t bytes = files.capacity() * sizeof(std::string) + failures.capacity() * sizeof(FileFailure);
    for (const std::string& name : files)
        bytes += name.capacity() + 1 > sizeof(std::string) ? name.capacity() + 1 : 0;
    bytes += (lon.capacity() + lat.capacity() + value.capacity()) * sizeof(double);
    bytes += (file.capacity() + row.capacity()) * sizeof(std::uint32_t);
    return bytes;
}

GatherCounts ForEachPlacedRow(const std::vector<std::string>& files, const std::function<void(const PlacedRow&)>& place,
                              const GatherProgress& progress)
{
    GatherCounts counts;
    // One table for the whole pass, never the viewer's: its buffers are reused from file to file.
    SurveyTable table;
    PositionFields fields;
    std::string scratch;
    const std::size_t total = files.size();
    for (std::size_t f = 0; f < total; ++f) {
        if (progress && !progress(f, total))
            throw Cancelled{};
        table.Clear();
        try {
            table.LoadFromCsv(std::filesystem::path(files[f]));
        } catch (const Error& e) {
            counts.failures.push_back({files[f], e.what()});
            continue;
        }
        const int rows = table.RowCount();
        PlacedRow placed;
        placed.file = static_cast<std::uint32_t>(f);
        for (int r = 1; r < rows; ++r) {
            // A row too short for a fix is left out without the cost of an error.
            bool usable = table.CellCount(r) >= 6 && ReadingValue(table.Cell(r, 1), scratch, placed.value);
            if (usable) {
                try {
                    ReadPosition(table, r, fields);
                    usable = DecimalDegrees(fields.lad, 90, placed.lat) && DecimalDegrees(fields.lod, 180, placed.lon);
                } catch (const Error&) {
                    usable = false;
                }
            }
            if (!usable) {
                ++counts.withoutPosition;
                continue;
            }
            placed.row = static_cast<std::uint32_t>(r);
            placed.label = table.RowCaption(r);
            place(placed);
        }
    }
    if (progress && !progress(total, total))
        throw Cancelled{};
    return counts;
}

PlacedReadings GatherReadings(const std::vector<std::string>& files, const GatherProgress& progress)
{
    if (files.size() > std::numeric_limits<std::uint32_t>::max())
        throw Error("Too many files to place");
    PlacedReadings readings;
    readings.files = files;
    GatherCounts counts = ForEachPlacedRow(
        files,
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
        progress);
    readings.lon.shrink_to_fit();
    readings.lat.shrink_to_fit();
    readings.value.shrink_to_fit();
    readings.file.shrink_to_fit();
    readings.row.shrink_to_fit();
    readings.withoutPosition = counts.withoutPosition;
    readings.failures = std::move(counts.failures);
    return readings;
}

} // namespace qm::site
