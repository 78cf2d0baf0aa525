// A survey file read row by row, split exactly as a table that has no delimiter settled yet splits
// it on loading, without holding more than the row at hand: for passes over many large files that
// look at each row once.
#pragma once

#include "file_io.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

namespace detail {
class FileLines;
}

class SurveyRowReader {
public:
    SurveyRowReader();
    ~SurveyRowReader();
    SurveyRowReader(const SurveyRowReader&) = delete;
    SurveyRowReader& operator=(const SurveyRowReader&) = delete;

    // Opens the file and reads its first two lines, which settle the delimiter. Throws
    // SurveyTableError when it cannot be opened and InOutError when reading fails.
    void Open(const std::filesystem::path& path);
    // The next row, row 0 being the heading line: fills `fields` with at most `max` of its caption
    // and cells (views valid until the next call) and sets `count` to how many the row has in all.
    // False after the last row. Throws InOutError when reading fails and TableLimitError where a
    // table would: more lines than rows it can index, or a line of more fields.
    bool Next(std::string_view* fields, int max, int& count);
    // The row Next gave last.
    int Row() const { return row_; }
    // The delimiter the rows are split at; unset when the file has no line.
    std::optional<char> SplitDelimiter() const { return delimiter_; }
    // The file's size when opened (0 when the system cannot tell).
    std::uint64_t SizeHint() const { return file_.SizeHint(); }

    // As SurveyTable::KeepRowStarts: once Next has returned false, where every
    // SurveyTable::kRowStartStep-th line starts, as a table's load notes it.
    void KeepRowStarts(bool keep) { keepRowStarts_ = keep; }
    const std::vector<std::uint64_t>& RowStarts() const { return rowStarts_; }

private:
    int Split(std::string_view line, std::string_view* fields, int max) const;

    InputFile file_;
    std::unique_ptr<detail::FileLines> lines_;
    std::string first_;
    std::string second_;
    std::string scratch_;
    bool haveFirst_ = false;
    bool haveSecond_ = false;
    bool ended_ = false;
    int row_ = -1;
    std::optional<char> delimiter_;
    bool keepRowStarts_ = false;
    std::vector<std::uint64_t> rowStarts_;
};

} // namespace qm
