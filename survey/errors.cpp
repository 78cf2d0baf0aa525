#include "errors.h"

#include <cerrno>

namespace qm {

std::string FormatIndexMessage(long long index)
{
    return "List index out of bounds (" + std::to_string(index) + ")";
}

ListIndexError::ListIndexError(long long index) : Error(FormatIndexMessage(index)), index_(index) {}

std::string InOutError::MessageFor(int code)
{
    switch (code) {
    case 2: return "File not found";
    case 3: return "Invalid filename";
    case 4: return "Too many open files";
    case 5: return "File access denied";
    case 100: return "Read beyond end of file";
    case 101: return "Disk full";
    case 106: return "Invalid numeric input";
    default: return "I/O error " + std::to_string(code);
    }
}

InOutError::InOutError(int code) : Error(MessageFor(code)), code_(code) {}

InOutError::InOutError(int code, std::string message) : Error(message), code_(code) {}

InOutError InOutError::FromErrno(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT: return InOutError(2);
    case EACCES:
    case EPERM: return InOutError(5);
    case EMFILE:
    case ENFILE: return InOutError(4);
    case ENOSPC: return InOutError(101);
    default: return InOutError(errnoValue, "I/O error " + std::to_string(errnoValue));
    }
}

InOutError InOutError::FromWindowsError(unsigned long code)
{
    switch (code) {
    case 2:   // ERROR_FILE_NOT_FOUND
    case 3:   // ERROR_PATH_NOT_FOUND
    case 4:   // ERROR_TOO_MANY_OPEN_FILES
    case 5:   // ERROR_ACCESS_DENIED
        return InOutError(static_cast<int>(code));
    case 38:  // ERROR_HANDLE_EOF
        return InOutError(100);
    case 39:  // ERROR_HANDLE_DISK_FULL
    case 112: // ERROR_DISK_FULL
        return InOutError(101);
    default: {
        // Windows codes are 32-bit; unsigned long is wider on other systems.
        const int number = static_cast<int>(static_cast<std::uint32_t>(code));
        return InOutError(number, "I/O error " + std::to_string(number));
    }
    }
}

} // namespace qm
