// The file index of each placed reading, kept as runs.
#include "reading_files.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace qm::site {

ReadingFiles::ReadingFiles(std::span<const std::uint32_t> byReading)
{
    for (const std::uint32_t f : byReading)
        push_back(f);
}

std::uint32_t ReadingFiles::operator[](std::size_t i) const
{
    const auto run = std::upper_bound(runs_.begin(), runs_.end(), i, [](std::size_t at, const Run& r) { return at < r.end; });
    if (run == runs_.end())
        throw std::out_of_range("No reading " + std::to_string(i) + " among " + std::to_string(size()));
    return run->file;
}

void ReadingFiles::Append(std::uint32_t f, std::size_t count)
{
    if (count == 0)
        return;
    if (!runs_.empty() && runs_.back().file == f)
        runs_.back().end += count;
    else
        runs_.push_back({f, size(), size() + count});
}

void ReadingFiles::Truncate(std::size_t n)
{
    while (!runs_.empty() && runs_.back().begin >= n)
        runs_.pop_back();
    if (!runs_.empty() && runs_.back().end > n)
        runs_.back().end = n;
}

std::pair<std::size_t, std::size_t> ReadingFiles::Range(std::uint32_t f) const
{
    const auto run = std::lower_bound(runs_.begin(), runs_.end(), f, [](const Run& r, std::uint32_t file) { return r.file < file; });
    if (run == runs_.end())
        return {size(), size()};
    if (run->file != f)
        return {run->begin, run->begin};
    return {run->begin, run->end};
}

std::vector<std::uint32_t> ReadingFiles::ByReading() const
{
    std::vector<std::uint32_t> files;
    files.reserve(size());
    for (const Run& run : runs_)
        files.insert(files.end(), run.end - run.begin, run.file);
    return files;
}

} // namespace qm::site
