// Writing outputs so that a failure, a full disk or a killed run never leaves a partial file under
// the user's name: each file is written under a temporary name beside its target and put under its
// own name only when complete. Every export (readings, grids, images, pages) writes this way, and
// every write failure reads "Cannot write FILE: REASON".
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The message of a failed write.
std::string WriteFailure(const std::filesystem::path& target, std::string_view reason);

// The temporary name a file is written under: "NAME.partial-TAG", with the target's extension once
// more unless it is ".csv" (a writer such as GDAL's may choose the format by the ending, and a stray
// temporary must never be read as a survey file). Visible, so that a user sees what it is, and
// unique, so that a stray one of a killed run never stops the next write.
std::filesystem::path PartialName(const std::filesystem::path& target, std::string_view tag);
// Whether a file name is such a temporary name.
bool IsPartialName(const std::filesystem::path& path);

// A set of files written together (an image with its world file, say), each under its temporary
// name, put under their names all or none by Commit, the first last: a reader who sees the main file
// sees the whole set. Without a commit the temporary files are removed.
class StagedFiles {
public:
    explicit StagedFiles(std::vector<std::filesystem::path> targets);
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    const std::filesystem::path& Temp(std::size_t i) const { return temps_[i]; }
    const std::filesystem::path& Target(std::size_t i) const { return targets_[i]; }
    // The failure of file i with a reason in which the temporary names read as the user's names.
    std::string Failure(std::string_view reason, std::size_t i = 0) const;
    // Puts the files under their names. A file already under a name is moved aside first, and if
    // any step fails, those put in place go back and those moved aside come back. Throws Error.
    void Commit();

private:
    std::vector<std::filesystem::path> targets_;
    std::vector<std::filesystem::path> temps_;
    std::vector<std::filesystem::path> backups_; // a file already under a target's name, while committing
    bool committed_ = false;
};

// One file streamed through its temporary name in big blocks. Errors throw Error naming the target.
class StagedOutput {
public:
    explicit StagedOutput(std::filesystem::path target);
    ~StagedOutput();
    StagedOutput(const StagedOutput&) = delete;
    StagedOutput& operator=(const StagedOutput&) = delete;

    // Text appended here is written when the buffer is full (FlushIfFull) and at the commit.
    std::string& Buffer() { return buffer_; }
    void FlushIfFull()
    {
        if (buffer_.size() >= kBlock)
            Flush();
    }
    void Commit();

private:
    static constexpr std::size_t kBlock = 1 << 20;
    void Flush();
    [[noreturn]] void Fail(int errnoValue) const;

    StagedFiles staged_;
    std::FILE* file_ = nullptr;
    std::string buffer_;
    // Test hook: QM_WRITE_STOP_AFTER=N ends the process once N bytes of an output are written, as
    // a kill or a power cut would.
    long long stopAfter_ = -1;
    long long written_ = 0;
};

} // namespace qm
