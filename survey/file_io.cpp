#include "file_io.h"

#include "errors.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

#ifdef _WIN32
#include <share.h>
#include <stdlib.h> // _doserrno
#endif

namespace qm {

InputFile::~InputFile()
{
    Close();
}

bool InputFile::Open(const std::filesystem::path& path)
{
    Close();
    // Directories, pipes and devices are no survey files; a pipe or device could also block or never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
#ifdef _WIN32
    file_ = _wfsopen(path.c_str(), L"rb", _SH_DENYWR);
#else
    file_ = std::fopen(path.c_str(), "rb");
#endif
    if (!file_)
        return false;
    // Reads go straight into the caller's big blocks; a stdio buffer would only add a copy.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    sizeHint_ = ec ? 0 : static_cast<std::uint64_t>(size);
    return true;
}

std::size_t InputFile::Read(char* buffer, std::size_t size)
{
    if (!file_)
        throw InOutError(103); // "I/O error 103": the file is not open
    std::size_t total = 0;
    while (total < size) {
        errno = 0;
#ifdef _WIN32
        _doserrno = 0;
#endif
        const std::size_t got = std::fread(buffer + total, 1, size - total, file_);
        total += got;
        if (got > 0)
            continue;
        if (std::ferror(file_)) {
            const int error = errno;
            if (error == EINTR) {
                std::clearerr(file_);
                continue;
            }
            if (total > 0)
                return total; // the error flag stays set: the next call reports it
#ifdef _WIN32
            // The C library keeps the system's own code: the table's numbers are Windows codes.
            if (_doserrno != 0)
                throw InOutError::FromWindowsError(static_cast<unsigned long>(_doserrno));
#endif
            throw InOutError::FromErrno(error != 0 ? error : EIO);
        }
        break; // end of file
    }
    return total;
}

bool InputFile::Seek(std::uint64_t offset)
{
    if (!file_ || offset > static_cast<std::uint64_t>(INT64_MAX))
        return false;
#ifdef _WIN32
    return _fseeki64(file_, static_cast<__int64>(offset), SEEK_SET) == 0;
#else
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

void InputFile::Close()
{
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    sizeHint_ = 0;
}

std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Of(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* OpenForWriting(const std::filesystem::path& path)
{
#ifdef _WIN32
    return _wfsopen(path.c_str(), L"wb", _SH_DENYWR);
#else
    return std::fopen(path.c_str(), "wb");
#endif
}

} // namespace qm
