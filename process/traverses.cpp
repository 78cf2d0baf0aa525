// Cutting the placed readings into traverses by file or by column 2 runs.
#include "traverses.h"

#include "errors.h"

namespace qm::process {

std::vector<std::uint32_t> Traverses::Ids() const
{
    std::vector<std::uint32_t> ids(Readings());
    for (std::size_t t = 0; t < Count(); ++t)
        std::fill(ids.begin() + static_cast<std::ptrdiff_t>(Begin(t)), ids.begin() + static_cast<std::ptrdiff_t>(End(t)),
                  static_cast<std::uint32_t>(t));
    return ids;
}

Traverses TraversesByFile(const site::ReadingFiles& file, std::size_t fileCount)
{
    Traverses traverses;
    traverses.bounds.assign(fileCount + 1, 0);
    std::size_t f = 0, end = 0; // the next file to bound, and where the readings so far end
    for (const site::ReadingFiles::Run& run : file.Runs()) {
        if (run.file < f || run.file >= fileCount)
            throw Error("The placed readings are not in file order");
        for (; f < run.file; ++f)
            traverses.bounds[f + 1] = end;
        end = run.end;
        traverses.bounds[++f] = end;
    }
    for (; f < fileCount; ++f)
        traverses.bounds[f + 1] = end;
    return traverses;
}

Traverses TraversesByFile(std::span<const std::uint32_t> file, std::size_t fileCount)
{
    return TraversesByFile(site::ReadingFiles(file), fileCount);
}

Traverses TraversesByFile(const site::PlacedReadings& placed)
{
    return TraversesByFile(placed.file, placed.files.size());
}

Traverses TraversesFromRunStarts(std::span<const std::uint8_t> startsRun)
{
    Traverses traverses;
    for (std::size_t i = 1; i < startsRun.size(); ++i)
        if (startsRun[i] != 0)
            traverses.bounds.push_back(i);
    if (!startsRun.empty())
        traverses.bounds.push_back(startsRun.size());
    return traverses;
}

bool Column2Runs::StartsRun(std::uint32_t file, std::string_view column2)
{
    const bool starts = !any_ || file != file_ || column2 != column2_;
    if (starts) {
        any_ = true;
        file_ = file;
        column2_.assign(column2);
    }
    return starts;
}

} // namespace qm::process
