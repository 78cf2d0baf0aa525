// Errors of the viewer's core. Every failure carries the message the user sees; the GUI shows it in
// its error box, the command-line tool prints it. Messages are 8-bit text, like the survey files.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qm {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A survey file that cannot be opened at all.
class SurveyTableError : public Error {
public:
    SurveyTableError() : Error("File cannot be opened") {}
};

// A missing list entry, column or cell; `index` is the index asked for.
class ListIndexError : public Error {
public:
    explicit ListIndexError(long long index);
    long long index() const { return index_; }

private:
    long long index_;
};

// An input/output failure after a file was opened, named by its error code
// (2 "File not found", 5 "File access denied", 100 "Read beyond end of file", ...).
class InOutError : public Error {
public:
    explicit InOutError(int code);
    int code() const { return code_; }
    static std::string MessageFor(int code);
    // The error for a C library errno value: ENOENT, EACCES/EPERM, EMFILE/ENFILE and ENOSPC become
    // codes 2, 5, 4 and 101; any other value keeps its number and reads "I/O error %d", even where
    // the number happens to equal one of the named codes (EIO is 5 on many systems).
    static InOutError FromErrno(int errnoValue);
    // The error for a Windows system error code (what GetLastError reports). Codes 2 to 5 are the
    // table's own; end of file (38) becomes 100 and a full disk (39, 112) 101; any other code
    // keeps its number.
    static InOutError FromWindowsError(unsigned long code);

private:
    InOutError(int code, std::string message);

    int code_;
};

// A file larger than the table can index (more lines than an int counts, or more fields in a line).
class TableLimitError : public Error {
public:
    using Error::Error;
};

// Text that does not convert to a number.
class ConvertError : public Error {
public:
    using Error::Error;
};

// Formats "List index out of bounds (%d)" and similar one-number messages.
std::string FormatIndexMessage(long long index);

} // namespace qm
