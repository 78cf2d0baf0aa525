// Reading a file front to back in big blocks, and opening a new file for writing (the exports'
// temporary files): the one place with platform-specific file calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace qm {

// A regular file open for reading only.
//
// On Windows the file is opened with a share mode that lets other readers in but fails when another
// process holds it open for writing. Other platforms have no such share lock: there a file that is
// being written by someone else opens normally and is read as it stands.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile();

    // False when the path names no regular file or the file cannot be opened for reading.
    bool Open(const std::filesystem::path& path);
    // Reads up to `size` bytes into `buffer`; returns how many, 0 at the end of the file.
    // Throws InOutError when the system reports a read failure.
    std::size_t Read(char* buffer, std::size_t size);
    // Moves to byte `offset` from the start; false when the system refuses. Beyond the end the
    // next Read gives 0.
    bool Seek(std::uint64_t offset);
    // The file's size when it was opened (0 when the system cannot tell); a hint only.
    std::uint64_t SizeHint() const { return sizeHint_; }
    void Close();

private:
    std::FILE* file_ = nullptr;
    std::uint64_t sizeHint_ = 0;
};

// Paths as UTF-8 text and back: the form names take in messages, in GDAL and on the command line
// of Windows (where the tool reads its arguments as UTF-8).
std::filesystem::path PathFromUtf8(std::string_view utf8);
std::string Utf8Of(const std::filesystem::path& path);

// Opens a new or truncated file for writing in binary mode; null on failure, with errno set.
// Never used on a survey file: the exports write their own temporary files.
std::FILE* OpenForWriting(const std::filesystem::path& path);

} // namespace qm
