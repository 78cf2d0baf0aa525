// The readings of a list of survey files placed by position: what the site map draws, what the
// readings export writes and what the grid interpolates. Plain C++, no Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reading_files.h"

namespace qm::site {

// One file of the list that could not be loaded, with the viewer's error text for it.
struct FileFailure {
    std::filesystem::path file; // the path as given in the list
    std::string message;        // e.g. "List index out of bounds (1)"
};

// Where the rows of a gathered file start in it, so that the few rows a hover names can be read
// again without the rest of the file: the byte offset of every SurveyTable::kRowStartStep-th line
// (line r is table row r) and the delimiter the gathering split its rows at.
struct FileRowStarts {
    char delimiter = ',';
    std::vector<std::uint64_t> starts;
    // The file as the gathering found it: one changed since has its rows elsewhere.
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written{};
};

// Compact arrays, one entry per placed reading, in file order and then row order. `file` indexes
// `files`, one entry a file's run of readings; `row` is the table row (1 for the first data row). Positions are the readout's decimal
// degrees (WGS 84), `value` the reading as a number, not rounded.
struct PlacedReadings {
    // Every file of the list, as given, in list order. Text for the user or for a file written
    // comes from Utf8Of (file_io.h).
    std::vector<std::filesystem::path> files;
    std::vector<double> lon;
    std::vector<double> lat;
    std::vector<double> value;
    ReadingFiles file;
    std::vector<std::uint32_t> row;

    std::uint64_t withoutPosition = 0; // data rows left out: no fix, or position or reading unconvertible
    std::vector<FileFailure> failures; // files that failed to load, left out whole

    // By file of the list, for the labels of the hover texts; empty for a file that failed, and
    // for readings not gathered from files. About 0.13 bytes a reading, apart from the arrays.
    std::vector<FileRowStarts> rowStarts;

    std::size_t size() const { return value.size(); }
    // Bytes held by the arrays and names (as allocated), for the memory checks. A gathering's
    // arrays hold their readings with at most a sixteenth more room, never written: 28 bytes a
    // reading, and a few dozen a file for its file index and name. The row starts are counted apart.
    std::size_t MemoryUsage() const;
    std::size_t RowStartsMemory() const;
};

// Called between files with (files done, files in all); returning false stops the gathering,
// which then throws Cancelled.
using GatherProgress = std::function<bool(std::size_t done, std::size_t total)>;

struct Cancelled {};

// Loads each file into a table of its own (never the viewer's table) by the loader's rules,
// including the per-file delimiter, and places every data row that has a fix.
PlacedReadings GatherReadings(const std::vector<std::filesystem::path>& files, const GatherProgress& progress = {});

// One list gathered by several threads at once, so that none waits for another: one thread takes
// the files from the front of the list, the others take them from the back, until they meet; the
// join then appends the backs' files to the front's arrays, in list order. A thread that is slowed
// down simply takes fewer files.
class SharedGathering {
public:
    // `threads`: how many threads gather, front and back together.
    SharedGathering(std::vector<std::filesystem::path> files, std::size_t threads);
    std::size_t FileCount() const { return files_.size(); }

    // Exactly one thread gathers from the front, any number from the back; each returns when no
    // file is left, or throws Cancelled when its `progress` says stop (called between its files
    // with the files it has done and the files in all).
    PlacedReadings GatherFront(const GatherProgress& progress = {});
    PlacedReadings GatherBack(const GatherProgress& progress = {});

    // The readings the front and back gave, joined in list order: what GatherReadings of the whole
    // list gives. Each array of the parts is freed as soon as it is joined.
    PlacedReadings Join(PlacedReadings front, std::vector<PlacedReadings> backs);

private:
    bool Claim(bool front, std::size_t& f);
    PlacedReadings Gather(bool front, const GatherProgress& progress);

    std::vector<std::filesystem::path> files_;
    std::size_t threads_;
    std::once_flag sizesTold_;
    std::vector<std::uintmax_t> sizes_; // of each file, told by the first thread to start
    std::uintmax_t totalBytes_ = 0;
    std::mutex mutex_;
    std::size_t front_ = 0;          // the next file from the front
    std::size_t back_;               // one past the next file from the back
    std::uintmax_t claimedBytes_ = 0; // of the files taken
    std::vector<std::optional<std::string>> failures_; // by file; each written by the thread that took it
};

// GatherReadings on `threads` threads at once: the parts of a SharedGathering run as tasks
// (RunTasks) and are joined in list order, so the result is GatherReadings' whichever thread took
// which file. `progress` is called from every thread, each time with the files of its own part.
// Once it says stop, or a part fails, every part stops at its next file; a stop throws Cancelled.
PlacedReadings GatherReadingsInParts(const std::vector<std::filesystem::path>& files, std::size_t threads,
                                     const GatherProgress& progress = {});

// One placed row while its file is loaded; `label` (column 0) lives only until the next file.
struct PlacedRow {
    std::uint32_t file = 0; // index in the list
    std::uint32_t row = 0;  // table row, 1 for the first data row
    double lon = 0;
    double lat = 0;
    double value = 0;
    std::string_view label;
    std::string_view column2; // the free column as the table holds it, likewise
};

// What a pass over the files left out.
struct GatherCounts {
    std::uint64_t withoutPosition = 0;
    std::vector<FileFailure> failures;
};

// The labels (column 0) of the rows of a gathered file from `first` (a multiple of
// SurveyTable::kRowStartStep) through the next kRowStartStep - 1, read again from the file where
// the gathering found them: labels[k] is row first + k's. None when the file is gone or changed
// since (its size or time of writing); throws as the loader does when it cannot be read.
std::vector<std::string> ReadRowLabels(const std::filesystem::path& file, const FileRowStarts& rows, int first);

// The pass under GatherReadings and the readings export: every placed row, in file and row order,
// goes to `place`, so what is drawn and what is exported come from the same rules.
GatherCounts ForEachPlacedRow(const std::vector<std::filesystem::path>& files,
                              const std::function<void(const PlacedRow&)>& place, const GatherProgress& progress = {});

} // namespace qm::site
