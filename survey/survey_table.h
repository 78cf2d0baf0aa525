// The table of one survey file: rows of 8-bit text cells read from a delimited text file.
// Row 0 is the file's heading line; consumers read rows 1 and up. Column 0 is the row caption
// (the line's first field), column k >= 1 is cell k (the line's field k).
//
// Cells are stored as slices of one byte buffer so that a million-row file stays compact.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
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

class SurveyTable {
public:
    SurveyTable();

    // Removes all rows and all columns; the delimiter stays.
    void Clear();
    // Appends one row per line of the file. Throws SurveyTableError when the file cannot be opened,
    // InOutError when reading fails after it was opened (rows read so far stay).
    void LoadFromCsv(const std::filesystem::path& path);
    // The same rules over bytes already in memory (used by tests, fuzzing and the loader itself).
    void LoadFromBytes(std::string_view bytes);

    int RowCount() const;
    std::string_view RowCaption(int row) const;
    // Cell c (c >= 1) of the row; throws ListIndexError(c - 1) when the row has fewer cells.
    std::string_view Cell(int row, int c) const;
    // Number of cells of the row (not counting the caption).
    int CellCount(int row) const;
    void DeleteRow(int row);

    int ColumnCount() const;
    int ColumnWidth(int column) const;
    // Throws ListIndexError(column) when the column does not exist.
    void SetColumnWidth(int column, int width);

    std::optional<char> Delimiter() const { return delimiter_; }

    // Bytes held by the table (buffers and indexes), for memory checks.
    std::size_t MemoryUsage() const;

private:
    void AppendLine(std::string_view line, char d);
    void AppendField(std::string_view text);

    std::string bytes_;                    // all field texts, back to back
    std::vector<std::uint64_t> fieldEnds_; // end offset in bytes_ of every field, in file order
    std::vector<std::uint64_t> rowFirst_;  // index in fieldEnds_ of each row's caption; plus a sentinel
    std::vector<int> columnWidths_;
    std::optional<char> delimiter_;
};

} // namespace qm
