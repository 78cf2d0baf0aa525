#include "errors.h"

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

} // namespace qm
