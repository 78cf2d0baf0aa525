// Reading a survey file row by row: the table loader's lines, delimiter and split, without the table.
#include "survey_rows.h"

#include "csv_lines.h"
#include "errors.h"
#include "survey_table.h"

#include <climits>

namespace qm {

SurveyRowReader::SurveyRowReader() = default;
SurveyRowReader::~SurveyRowReader() = default;

void SurveyRowReader::Open(const std::filesystem::path& path)
{
    lines_.reset();
    file_.Close();
    first_.clear();
    second_.clear();
    haveFirst_ = haveSecond_ = ended_ = false;
    row_ = -1;
    delimiter_.reset();
    rowStarts_.clear();
    if (!file_.Open(path))
        throw SurveyTableError();
    lines_ = std::make_unique<detail::FileLines>(file_);
    if (keepRowStarts_)
        rowStarts_.push_back(lines_->Consumed());
    // The delimiter comes from the first two lines, before the first row is split.
    std::string_view raw;
    bool plain = false;
    if (lines_->Next(raw, plain) && !detail::EndsFile(raw)) {
        haveFirst_ = true;
        first_ = detail::LineText(raw, scratch_);
        if (lines_->Next(raw, plain) && !detail::EndsFile(raw)) {
            haveSecond_ = true;
            second_ = detail::LineText(raw, scratch_);
        }
    }
    if (!haveFirst_)
        return;
    const std::optional<char> detected = DetectDelimiter(first_, second_);
    delimiter_ = detected ? *detected : FallbackDelimiter(first_, std::nullopt);
}

int SurveyRowReader::Split(std::string_view line, std::string_view* fields, int max) const
{
    std::uint64_t count = 0;
    detail::SplitFields<true>(line, *delimiter_, [&](const char* bytes, std::size_t length, bool) {
        if (count >= static_cast<std::uint64_t>(INT_MAX) - 1)
            throw TableLimitError("A line of the file has more fields than the table can hold");
        if (count < static_cast<std::uint64_t>(max))
            fields[count] = std::string_view(bytes, length);
        ++count;
    });
    return static_cast<int>(count);
}

bool SurveyRowReader::Next(std::string_view* fields, int max, int& count)
{
    if (ended_ || !haveFirst_)
        return false;
    const int row = row_ + 1;
    std::string_view line;
    if (row == 0) {
        line = first_;
    } else if (row == 1 && haveSecond_) {
        line = second_;
    } else {
        // Line `row` starts where the lines before it end; a file of one line has no more.
        if (keepRowStarts_ && row % SurveyTable::kRowStartStep == 0)
            rowStarts_.push_back(lines_->Consumed());
        std::string_view raw;
        bool plain = false;
        if (!haveSecond_ || !lines_->Next(raw, plain) || detail::EndsFile(raw)) {
            ended_ = true;
            return false;
        }
        if (row == INT_MAX)
            throw TableLimitError("The file has more lines than the table can hold");
        line = plain ? detail::PlainLineText(raw) : detail::LineText(raw, scratch_);
    }
    count = Split(line, fields, max);
    row_ = row;
    return true;
}

} // namespace qm
