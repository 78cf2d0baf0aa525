// The table of one survey file: rows of 8-bit text cells read from a delimited text file.
// Row 0 is the file's heading line; consumers read rows 1 and up. Column 0 is the row caption
// (the line's first field), column k >= 1 is cell k (the line's field k).
//
// Cells are stored as slices of one byte buffer so that a million-row file stays compact: the
// field texts lie back to back, each row remembers where its text starts, and each field only
// where it ends, relative to its row (32 bits while no row's text is longer than that).
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The delimiters that detection tries, in order (the order decides ties).
inline constexpr char kDelimiterCandidates[] = {',', ';', '#', '\t', '|'};

// First position (1-based) of an isolated `ch` in `text`: one that is the last character, or has no
// `ch` directly after it and none directly before it. 0 when there is none.
std::size_t IsolatedPos(char ch, std::string_view text);
// Counts isolated occurrences, dropping the text up to each one found.
std::size_t IsolatedCount(char ch, std::string_view text);
// The delimiter the first two lines of a file agree on, or none.
std::optional<char> DetectDelimiter(std::string_view line1, std::string_view line2);
// The delimiter a file whose first two lines agree on none is split at: the candidate its heading
// line holds most often (ties to the earlier candidate); when it holds none, `settled`, else ",".
char FallbackDelimiter(std::string_view heading, std::optional<char> settled);

// How much one table may hold. The defaults are what int indexes allow; tests lower them.
struct SurveyTableLimits {
    std::uint64_t maxRows = INT_MAX;
    // Fields of one line, caption included; keeps cell and column counts within int.
    std::uint64_t maxFieldsPerLine = INT_MAX - 1;
    // Rows whose text is longer than this switch the table to 64-bit field offsets (at most 2^32 - 1).
    std::uint64_t compactRowBytes = UINT32_MAX;
};

namespace detail {

// A growable byte buffer whose append is a bare copy (the loader appends every field).
class ByteBuffer {
public:
    const char* data() const { return data_.get(); }
    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    void Append(const char* bytes, std::size_t n)
    {
        if (n > capacity_ - size_)
            Grow(n);
        if (n > 0)
            std::memcpy(data_.get() + size_, bytes, n);
        size_ += n;
    }
    // Room for `n` more bytes; returns where they go. Commit says how many were written.
    char* Spare(std::size_t n)
    {
        if (n > capacity_ - size_)
            Grow(n);
        return data_.get() + size_;
    }
    void Commit(std::size_t n) { size_ += n; }
    void Clear() { size_ = 0; }
    void Reserve(std::size_t capacity);
    void Erase(std::size_t begin, std::size_t count);
    void ShrinkToFit();
    void Release();

private:
    void Grow(std::size_t more);

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// Yields the raw lines of a file or of bytes in memory (defined with the loader).
class LineSource;

} // namespace detail

class SurveyTable {
public:
    SurveyTable();
    explicit SurveyTable(const SurveyTableLimits& limits);

    // Removes all rows and all columns; the delimiter stays.
    void Clear();
    // Appends one row per line of the file. Throws SurveyTableError when the file cannot be opened,
    // InOutError when reading fails after it was opened (rows read so far stay), TableLimitError
    // when the file has more lines, or a line more fields, than the table can index.
    //
    // Each file's first two lines are checked for a delimiter they agree on; when they settle one,
    // the file is split at it and it becomes Delimiter(). Otherwise the file is split at
    // FallbackDelimiter() of its first line, and Delimiter() stays as it was.
    void LoadFromCsv(const std::filesystem::path& path);
    // The same rules over bytes already in memory.
    void LoadFromBytes(std::string_view bytes);

    // While kept, a load notes where every kRowStartStep-th of its lines starts in the file (lines
    // 0, 64, 128 ...), so that a few rows can be read again later without the rest of the file.
    static constexpr int kRowStartStep = 64;
    void KeepRowStarts(bool keep) { keepRowStarts_ = keep; }
    // Of the last load while kept: byte offsets of its lines 0, kRowStartStep, 2 * kRowStartStep ...
    const std::vector<std::uint64_t>& RowStarts() const { return rowStarts_; }
    // Replaces the rows with up to `rows` lines of the file from byte `offset` (a line's start),
    // split at `delimiter` as a whole load splitting at it does: row 0 is the line at `offset`.
    // Throws as LoadFromCsv does; an offset at or beyond the end gives no row.
    void LoadRowsAt(const std::filesystem::path& path, std::uint64_t offset, char delimiter, int rows);

    int RowCount() const;
    // Row indexes outside 0 .. RowCount() - 1 throw ListIndexError(row).
    std::string_view RowCaption(int row) const;
    // Cell c (c >= 1) of the row; throws ListIndexError(c - 1) when the row has fewer cells.
    std::string_view Cell(int row, int c) const;
    // Number of cells of the row (not counting the caption).
    int CellCount(int row) const;
    // The caption and the cells of a row in one call, for passes over every row: fills `fields`
    // with at most `max` of them (caption first) and returns how many the row has in all.
    int RowFields(int row, std::string_view* fields, int max) const;
    // Removes the row; the rows after it move up by one.
    void DeleteRow(int row);

    int ColumnCount() const;
    int ColumnWidth(int column) const;
    // Throws ListIndexError(column) when the column does not exist.
    void SetColumnWidth(int column, int width);

    // The delimiter settled by the last file whose first two lines agreed on one; unset until then.
    std::optional<char> Delimiter() const { return delimiter_; }
    // The delimiter the last load split its lines at (settled or not); unset when it had no line.
    std::optional<char> SplitDelimiter() const { return splitDelimiter_; }
    // Unsettles it, so the next load splits as a fresh table would: for passes over many files
    // that must read each file the same way whatever came before it.
    void ForgetDelimiter() { delimiter_.reset(); }

    // Bytes held by the table (buffers and indexes, as allocated), for memory checks.
    std::size_t MemoryUsage() const;

private:
    void LoadLines(detail::LineSource& lines, std::uint64_t sizeHint);
    void AppendLine(std::string_view line, char d);
    void BeginRow();
    void AddColumnFor(std::uint64_t fieldIndex);
    void ReserveFor(std::uint64_t rowsMore, std::uint64_t fieldsMore, std::uint64_t textMore);
    void TrimSlack();
    void CheckRow(int row) const;
    std::uint64_t FieldEnd(std::uint64_t field) const; // relative to its row's text
    std::uint64_t FieldCount(int row) const;           // caption included

    SurveyTableLimits limits_;
    detail::ByteBuffer text_;             // all field texts, back to back, row after row
    std::vector<std::uint64_t> rowText_;  // offset in text_ where each row's text starts
    std::vector<std::uint64_t> rowField_; // index of each row's caption among the field ends
    std::vector<std::uint32_t> ends_;     // end of every field relative to its row's text
    std::vector<std::uint64_t> wideEnds_; // the same, once a row is too long for 32 bits
    bool wide_ = false;
    std::vector<int> columnWidths_;
    std::optional<char> delimiter_;
    std::optional<char> splitDelimiter_;
    bool keepRowStarts_ = false;
    std::vector<std::uint64_t> rowStarts_;
};

} // namespace qm
