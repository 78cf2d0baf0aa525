// Gathering the readings of a list of files by position: each file is read row by row, each data
// row as the position readout and the reading conversion read it.
#include "placed_readings.h"

#include "errors.h"
#include "extended_precision.h"
#include "field_value.h"
#include "fix_numbers.h"
#include "position.h"
#include "survey_rows.h"
#include "survey_table.h"
#include "task_runner.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
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

// Calls fn with each array of one entry a reading (the file index, kept by runs, is apart).
template <typename Fn>
void ForEachArray(PlacedReadings& readings, const Fn& fn)
{
    fn(readings.lon);
    fn(readings.lat);
    fn(readings.value);
    fn(readings.row);
}

// Grows an array by a quarter at a time: the final trim copies once, and the slack while gathering
// stays small.
template <typename T>
void Grow(std::vector<T>& array, std::size_t needed)
{
    if (needed > array.capacity())
        array.reserve(std::max(needed, array.capacity() + array.capacity() / 4));
}

// The readout's decimal degrees of one row, direct for coordinates of plain digits and decimals and
// by the readout itself for anything else. False when the row has no fix or its position does not
// convert. `cells` holds the row's caption and its cells through column 6.
bool RowPosition(const std::string_view* cells, PositionFields& fields, detail::CoordinateCache& coordinates, double& lat,
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
    bytes += row.capacity() * sizeof(std::uint32_t) + file.MemoryUsage();
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
    // The direct conversions below take the unit as they find it, and this pass may run on any thread.
    const ExtendedPrecision precision;
    std::uint64_t withoutPosition = 0;
    PositionFields fields;
    detail::CoordinateCache coordinates;
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
        ForEachArray(readings, [capacity](auto& array) { array.reserve(capacity); });
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
        ForEachArray(readings, [&fileStart](auto& array) { array.resize(fileStart); });
        readings.file.Truncate(fileStart);
        failed(f, message);
    };
    SurveyRowReader rows;
    rows.KeepRowStarts(true);
    readings.withoutPosition = PlaceRows(
        rows, files, claim,
        [&readings](const PlacedRow& placed) {
            const std::size_t needed = readings.value.size() + 1;
            if (needed > readings.value.capacity())
                ForEachArray(readings, [needed](auto& array) { Grow(array, needed); });
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

// Whether the first part's arrays can take the join in place: its runs come first in the order
// given, and each of its arrays has room for all `total` readings, and not much more. A gathering
// reserves room for the files still ahead (the front of a shared one for the whole list), so the
// readings of the rest are appended where they belong and only they are copied. The room past the
// readings, a sixteenth at most, was never written: address space, not memory.
bool JoinsInPlace(std::vector<PlacedReadings>& parts, const std::vector<Run>& runs, std::size_t total)
{
    if (parts.empty())
        return false;
    const std::size_t own = parts[0].file.Runs().size();
    for (std::size_t r = 0; r < own; ++r)
        if (r >= runs.size() || runs[r].part != 0 || runs[r].first != (r > 0 ? runs[r - 1].last : 0))
            return false;
    bool fits = true;
    ForEachArray(parts[0], [&](const auto& array) {
        fits = fits && array.capacity() >= total && array.capacity() - total <= total / 16;
    });
    return fits;
}

// One array of the parts' readings, the runs in the order given: appended to the first part's
// array when `inPlace` (see JoinsInPlace), else in a fresh array of exactly `total`. Each part's
// array is freed once it is copied, so the join holds at most one array twice.
template <typename T>
std::vector<T> JoinedArray(std::vector<PlacedReadings>& parts, std::vector<T> PlacedReadings::*array,
                           const std::vector<Run>& runs, std::size_t total, bool inPlace)
{
    std::vector<T> joined;
    if (inPlace)
        joined = std::move(parts[0].*array);
    else
        joined.reserve(total);
    for (const Run& run : runs) {
        if (inPlace && run.part == 0)
            continue;
        const std::vector<T>& from = parts[run.part].*array;
        joined.insert(joined.end(), from.begin() + static_cast<std::ptrdiff_t>(run.first),
                      from.begin() + static_cast<std::ptrdiff_t>(run.last));
    }
    for (PlacedReadings& part : parts)
        std::vector<T>().swap(part.*array);
    return joined;
}

// The readings of the parts, each of whole files, in the order of the files in the list, in
// arrays with at most a sixteenth of room to spare, with the readings left out counted together;
// on two threads when `threads` allows.
PlacedReadings JoinInListOrder(std::vector<PlacedReadings>& parts, std::size_t threads)
{
    std::vector<Run> runs;
    PlacedReadings joined;
    std::size_t total = 0;
    for (std::size_t p = 0; p < parts.size(); ++p) {
        for (const ReadingFiles::Run& run : parts[p].file.Runs())
            runs.push_back({run.file, p, run.begin, run.end});
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
    const bool inPlace = JoinsInPlace(parts, runs, total);
    for (const Run& run : runs)
        joined.file.Append(run.file, run.last - run.first);
    joined.file.shrink_to_fit();
    for (PlacedReadings& part : parts)
        part.file.clear();
    // Copying into fresh memory is bound by the pages it touches: with parts to join, about half
    // the bytes on each of two threads.
    const auto joinArrays = [&](std::size_t half) {
        if (half == 0) {
            joined.lon = JoinedArray(parts, &PlacedReadings::lon, runs, total, inPlace);
            joined.row = JoinedArray(parts, &PlacedReadings::row, runs, total, inPlace);
        } else {
            joined.lat = JoinedArray(parts, &PlacedReadings::lat, runs, total, inPlace);
            joined.value = JoinedArray(parts, &PlacedReadings::value, runs, total, inPlace);
        }
    };
    if (threads > 1 && parts.size() > 1) {
        RunTasks(2, joinArrays);
    } else {
        joinArrays(0);
        joinArrays(1);
    }
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
    PlacedReadings joined = JoinInListOrder(parts, 1);
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
    front = JoinInListOrder(parts, threads_);
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
