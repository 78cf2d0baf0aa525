// A site's placed readings cut into traverses, the lines the surveyor walked: by file, or by runs
// of one file's readings with the same column 2 text.
#pragma once

#include "placed_readings.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm::process {

// Traverse t (0-based; the first is traverse 1 to the user) holds the placed readings
// [Begin(t), End(t)). A traverse may be empty: a file that places no reading.
struct Traverses {
    std::vector<std::size_t> bounds{0}; // Count() + 1 entries, ascending

    std::size_t Count() const { return bounds.size() - 1; }
    std::size_t Begin(std::size_t t) const { return bounds[t]; }
    std::size_t End(std::size_t t) const { return bounds[t + 1]; }
    std::size_t Readings() const { return bounds.back(); }
    // The traverse of each reading.
    std::vector<std::uint32_t> Ids() const;
};

// One traverse per file of the list, in list order, empty for a file that placed nothing.
Traverses TraversesByFile(const site::ReadingFiles& file, std::size_t fileCount);
Traverses TraversesByFile(std::span<const std::uint32_t> file, std::size_t fileCount);
Traverses TraversesByFile(const site::PlacedReadings& placed);

// Traverses from per-reading marks: a reading marked 1 starts a new traverse (the first reading
// always does).
Traverses TraversesFromRunStarts(std::span<const std::uint8_t> startsRun);

// Tells, reading by reading in placed order (e.g. during ForEachPlacedRow), whether a reading
// starts a run of its file's readings with the same column 2 text.
class Column2Runs {
public:
    bool StartsRun(std::uint32_t file, std::string_view column2);
    bool StartsRun(const site::PlacedRow& row) { return StartsRun(row.file, row.column2); }

private:
    bool any_ = false;
    std::uint32_t file_ = 0;
    std::string column2_;
};

} // namespace qm::process
