// Which file of the list each placed reading came from, kept as runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

namespace qm::site {

// The file index of each reading, one entry a run of readings of the same file instead of one a
// reading. A gathering places each file's readings together, so a site costs a few bytes a file
// here rather than four bytes a reading. Any order of files is held exactly; the look-ups by file
// (Range) assume the file order a gathering gives.
class ReadingFiles {
public:
    struct Run {
        std::uint32_t file = 0;
        std::size_t begin = 0; // the first reading of the run
        std::size_t end = 0;   // one past its last
        bool operator==(const Run&) const = default;
    };

    ReadingFiles() = default;
    // From one file index a reading, as a plain array would hold them.
    explicit ReadingFiles(std::span<const std::uint32_t> byReading);

    std::size_t size() const { return runs_.empty() ? 0 : runs_.back().end; }
    bool empty() const { return runs_.empty(); }
    // The file of reading i (i < size()), by bisection among the runs.
    std::uint32_t operator[](std::size_t i) const;

    // One more reading of file f: of the last reading's file, it lengthens the last run.
    void push_back(std::uint32_t f) { Append(f, 1); }
    // `count` more readings of file f.
    void Append(std::uint32_t f, std::size_t count);
    // Keeps the first n readings; nothing happens when there are no more than n.
    void Truncate(std::size_t n);
    void clear() { runs_.clear(); }
    void shrink_to_fit() { runs_.shrink_to_fit(); }

    const std::vector<Run>& Runs() const { return runs_; }
    // The readings of file f, readings in file order: [first, second), empty at the place they
    // would take when the file has none.
    std::pair<std::size_t, std::size_t> Range(std::uint32_t f) const;
    // One file index a reading, as a plain array.
    std::vector<std::uint32_t> ByReading() const;

    std::size_t MemoryUsage() const { return runs_.capacity() * sizeof(Run); }
    bool operator==(const ReadingFiles&) const = default;

private:
    std::vector<Run> runs_;
};

} // namespace qm::site
