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

} // namespace qm
