#include "survey_table.h"

#include "errors.h"
#include "csv_lines.h"
#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>

namespace qm {

namespace {

using detail::EndsFile;
using detail::FindByte;
using detail::LineText;
using detail::PlainLineText;

constexpr int kNewColumnWidth = 50;
// After this many rows the rest of the file is estimated from its size and reserved in one go.
constexpr std::uint64_t kEstimateAfterRows = 4096;

// Whether the occurrence of `ch` at index i of text (0-based) is isolated.
bool IsIsolated(std::string_view text, std::size_t i, char ch)
{
    if (i + 1 == text.size())
        return true;
    return text[i + 1] != ch && (i == 0 || text[i - 1] != ch);
}

} // namespace

std::size_t IsolatedPos(char ch, std::string_view text)
{
    std::size_t i = FindByte(text.data(), text.size(), ch);
    while (i < text.size()) {
        if (IsIsolated(text, i, ch))
            return i + 1;
        ++i;
        i += FindByte(text.data() + i, text.size() - i, ch);
    }
    return 0;
}

std::size_t IsolatedCount(char ch, std::string_view text)
{
    // Dropping the text up to an isolated hit never changes whether a later one is isolated: the
    // character after a hit is not `ch`, so one pass over the whole text gives the same count.
    std::size_t count = 0;
    std::size_t i = FindByte(text.data(), text.size(), ch);
    while (i < text.size()) {
        if (IsIsolated(text, i, ch))
            ++count;
        ++i;
        i += FindByte(text.data() + i, text.size() - i, ch);
    }
    return count;
}

std::optional<char> DetectDelimiter(std::string_view line1, std::string_view line2)
{
    std::optional<char> found;
    std::size_t best = 0;
    for (char candidate : kDelimiterCandidates) {
        const std::size_t count = IsolatedCount(candidate, line1);
        if (count > best && count == IsolatedCount(candidate, line2)) {
            found = candidate;
            best = count;
        }
    }
    return found;
}

char FallbackDelimiter(std::string_view heading, std::optional<char> settled)
{
    // Rows whose GPS had no fix yet hold empty fields, so the first data line rarely agrees with
    // the heading; the heading alone still shows how the file is written.
    std::optional<char> found;
    std::size_t best = 0;
    for (char candidate : kDelimiterCandidates) {
        const std::size_t count = IsolatedCount(candidate, heading);
        if (count > best) {
            found = candidate;
            best = count;
        }
    }
    return found ? *found : settled.value_or(',');
}

namespace detail {

void ByteBuffer::Reserve(std::size_t capacity)
{
    if (capacity <= capacity_)
        return;
    std::unique_ptr<char[]> grown(new char[capacity]);
    if (size_ > 0)
        std::memcpy(grown.get(), data_.get(), size_);
    data_ = std::move(grown);
    capacity_ = capacity;
}

void ByteBuffer::Grow(std::size_t more)
{
    if (more > SIZE_MAX - size_)
        throw std::length_error("survey text too long");
    const std::size_t needed = size_ + more;
    const std::size_t doubled = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
    Reserve(std::max({needed, doubled, std::size_t{4096}}));
}

void ByteBuffer::Erase(std::size_t begin, std::size_t count)
{
    if (count == 0)
        return;
    std::memmove(data_.get() + begin, data_.get() + begin + count, size_ - begin - count);
    size_ -= count;
}

void ByteBuffer::ShrinkToFit()
{
    if (size_ == capacity_)
        return;
    std::unique_ptr<char[]> fitted(size_ > 0 ? new char[size_] : nullptr);
    if (size_ > 0)
        std::memcpy(fitted.get(), data_.get(), size_);
    data_ = std::move(fitted);
    capacity_ = size_;
}

void ByteBuffer::Release()
{
    data_.reset();
    size_ = 0;
    capacity_ = 0;
}

} // namespace detail

SurveyTable::SurveyTable() : SurveyTable(SurveyTableLimits{}) {}

SurveyTable::SurveyTable(const SurveyTableLimits& limits) : limits_(limits)
{
    limits_.maxRows = std::min<std::uint64_t>(limits_.maxRows, INT_MAX);
    limits_.maxFieldsPerLine = std::clamp<std::uint64_t>(limits_.maxFieldsPerLine, 1, INT_MAX - 1);
    limits_.compactRowBytes = std::min<std::uint64_t>(limits_.compactRowBytes, UINT32_MAX);
}

void SurveyTable::Clear()
{
    // The buffers keep their memory: the next load (file selection reloads all the time) usually
    // needs about as much, and a load that needs much less gives the rest back when it ends.
    text_.Clear();
    rowText_.clear();
    rowField_.clear();
    ends_.clear();
    std::vector<std::uint64_t>().swap(wideEnds_);
    columnWidths_.clear();
    wide_ = false;
}

void SurveyTable::LoadFromCsv(const std::filesystem::path& path)
{
    InputFile file;
    if (!file.Open(path))
        throw SurveyTableError();
    detail::FileLines lines(file);
    LoadLines(lines, file.SizeHint());
}

void SurveyTable::LoadFromBytes(std::string_view bytes)
{
    detail::MemoryLines lines(bytes);
    LoadLines(lines, bytes.size());
}

void SurveyTable::LoadRowsAt(const std::filesystem::path& path, std::uint64_t offset, char delimiter, int rows)
{
    Clear();
    InputFile file;
    if (!file.Open(path))
        throw SurveyTableError();
    errno = 0;
    if (!file.Seek(offset))
        throw InOutError::FromErrno(errno != 0 ? errno : EIO);
    detail::FileLines lines(file);
    splitDelimiter_ = delimiter;
    std::string scratch;
    std::string_view raw;
    bool plain = false;
    for (int k = 0; k < rows && lines.Next(raw, plain) && !EndsFile(raw); ++k)
        AppendLine(plain ? PlainLineText(raw) : LineText(raw, scratch), delimiter);
    TrimSlack();
}

void SurveyTable::LoadLines(detail::LineSource& lines, std::uint64_t sizeHint)
{
    rowStarts_.clear();
    if (keepRowStarts_)
        rowStarts_.push_back(lines.Consumed());
    // Detection needs the first two lines before the first row is split.
    std::string first;
    std::string second;
    std::string scratch;
    std::string_view raw;
    bool plain = false;
    bool haveFirst = false;
    bool haveSecond = false;
    if (lines.Next(raw, plain) && !EndsFile(raw)) {
        haveFirst = true;
        first = LineText(raw, scratch);
        if (lines.Next(raw, plain) && !EndsFile(raw)) {
            haveSecond = true;
            second = LineText(raw, scratch);
        }
    }
    const std::optional<char> detected = DetectDelimiter(first, second);
    if (detected)
        delimiter_ = detected;
    splitDelimiter_.reset();
    if (!haveFirst) {
        TrimSlack();
        return;
    }
    const char d = detected ? *detected : FallbackDelimiter(first, delimiter_);
    splitDelimiter_ = d;

    const auto totalFields = [this] { return wide_ ? wideEnds_.size() : ends_.size(); };
    const std::uint64_t fieldsBefore = totalFields();
    const std::uint64_t textBefore = text_.size();
    AppendLine(first, d);
    if (haveSecond)
        AppendLine(second, d);
    std::uint64_t rowsLoaded = 2;
    for (;;) {
        // Line `rowsLoaded` starts where the lines before it end.
        if (keepRowStarts_ && rowsLoaded % kRowStartStep == 0)
            rowStarts_.push_back(lines.Consumed());
        if (!haveSecond || !lines.Next(raw, plain) || EndsFile(raw))
            break;
        AppendLine(plain ? PlainLineText(raw) : LineText(raw, scratch), d);
        if (++rowsLoaded == kEstimateAfterRows && sizeHint > lines.Consumed()) {
            // Reserve the rest in one go, estimated from what the first rows took.
            const long double scale =
                static_cast<long double>(sizeHint - lines.Consumed()) / lines.Consumed() * 1.05L;
            ReserveFor(static_cast<std::uint64_t>(rowsLoaded * scale) + 16,
                       static_cast<std::uint64_t>((totalFields() - fieldsBefore) * scale) + 64,
                       static_cast<std::uint64_t>((text_.size() - textBefore) * scale) + 4096);
        }
    }
    TrimSlack();
}

void SurveyTable::ReserveFor(std::uint64_t rowsMore, std::uint64_t fieldsMore, std::uint64_t textMore)
{
    rowsMore = std::min<std::uint64_t>(rowsMore, limits_.maxRows - rowText_.size());
    try {
        if (textMore <= SIZE_MAX - text_.size())
            text_.Reserve(text_.size() + static_cast<std::size_t>(textMore));
        rowText_.reserve(rowText_.size() + rowsMore);
        rowField_.reserve(rowField_.size() + rowsMore);
        if (wide_)
            wideEnds_.reserve(wideEnds_.size() + fieldsMore);
        else
            ends_.reserve(ends_.size() + fieldsMore);
    } catch (const std::bad_alloc&) {
        // A wrong estimate only costs growing step by step.
    } catch (const std::length_error&) {
    }
}

void SurveyTable::TrimSlack()
{
    // Growth and estimates leave spare capacity; give it back when it is a sizeable part.
    const auto slack = [](const auto& buffer) {
        return buffer.capacity() > buffer.size() + buffer.size() / 4 + 4096;
    };
    const auto trim = [&](auto& buffer) {
        if (slack(buffer))
            buffer.shrink_to_fit();
    };
    try {
        if (slack(text_))
            text_.ShrinkToFit();
        trim(rowText_);
        trim(rowField_);
        trim(ends_);
        trim(wideEnds_);
    } catch (const std::bad_alloc&) {
    }
}

void SurveyTable::BeginRow()
{
    if (rowText_.size() >= limits_.maxRows)
        throw TableLimitError("The file has more lines than the table can hold");
    rowField_.push_back(wide_ ? wideEnds_.size() : ends_.size());
    try {
        rowText_.push_back(text_.size());
    } catch (...) {
        rowField_.pop_back();
        throw;
    }
}

void SurveyTable::AddColumnFor(std::uint64_t fieldIndex)
{
    // A middle field i adds a column while the table has fewer than i + 2.
    if (fieldIndex >= 1 && columnWidths_.size() < fieldIndex + 2)
        columnWidths_.push_back(kNewColumnWidth);
}

void SurveyTable::AppendLine(std::string_view s, char d)
{
    const std::size_t n = s.size();
    // The texts of a line's fields never take more bytes than the line; a row that may not fit
    // 32-bit offsets switches the table to 64-bit ones before it starts. Both allocations come
    // before the row is begun, so running out of memory here leaves no half-made row behind.
    if (!wide_ && n > limits_.compactRowBytes) {
        std::vector<std::uint64_t> wide(ends_.begin(), ends_.end());
        wideEnds_.swap(wide);
        std::vector<std::uint32_t>().swap(ends_);
        wide_ = true;
    }
    char* const rowStart = text_.Spare(n);
    BeginRow();
    char* out = rowStart;
    std::uint64_t fields = 0;
    // When a limit or an allocation throws midway, the fields stored so far stay as a shorter row
    // (a row without even a caption is taken back), so the table stays whole.
    struct CommitOnExit {
        SurveyTable& table;
        char* const& out;
        char* rowStart;
        const std::uint64_t& fields;
        ~CommitOnExit()
        {
            table.text_.Commit(static_cast<std::size_t>(out - rowStart));
            if (fields == 0) {
                table.rowText_.pop_back();
                table.rowField_.pop_back();
            }
        }
    } commit{*this, out, rowStart, fields};

    detail::SplitFields(s, d, [&](const char* bytes, std::size_t length, bool middle) {
        if (middle)
            AddColumnFor(fields);
        if (fields >= limits_.maxFieldsPerLine)
            throw TableLimitError("A line of the file has more fields than the table can hold");
        const std::uint64_t end = static_cast<std::uint64_t>(out - rowStart) + length;
        if (wide_)
            wideEnds_.push_back(end);
        else
            ends_.push_back(static_cast<std::uint32_t>(end));
        if (length > 0)
            std::memcpy(out, bytes, length);
        out += length;
        ++fields;
    });
}

int SurveyTable::RowCount() const
{
    return static_cast<int>(rowText_.size());
}

void SurveyTable::CheckRow(int row) const
{
    if (row < 0 || row >= RowCount())
        throw ListIndexError(row);
}

std::uint64_t SurveyTable::FieldEnd(std::uint64_t field) const
{
    return wide_ ? wideEnds_[field] : ends_[field];
}

std::uint64_t SurveyTable::FieldCount(int row) const
{
    const std::size_t r = static_cast<std::size_t>(row);
    const std::uint64_t next = r + 1 < rowField_.size() ? rowField_[r + 1] : (wide_ ? wideEnds_.size() : ends_.size());
    return next - rowField_[r];
}

std::string_view SurveyTable::RowCaption(int row) const
{
    CheckRow(row);
    const std::size_t r = static_cast<std::size_t>(row);
    return std::string_view(text_.data() + rowText_[r], static_cast<std::size_t>(FieldEnd(rowField_[r])));
}

std::string_view SurveyTable::Cell(int row, int c) const
{
    CheckRow(row);
    if (c < 1 || static_cast<std::uint64_t>(c) >= FieldCount(row))
        throw ListIndexError(static_cast<long long>(c) - 1);
    const std::size_t r = static_cast<std::size_t>(row);
    const std::uint64_t field = rowField_[r] + static_cast<std::uint64_t>(c);
    const std::uint64_t begin = FieldEnd(field - 1);
    return std::string_view(text_.data() + rowText_[r] + begin, static_cast<std::size_t>(FieldEnd(field) - begin));
}

int SurveyTable::CellCount(int row) const
{
    CheckRow(row);
    return static_cast<int>(FieldCount(row) - 1);
}

int SurveyTable::RowFields(int row, std::string_view* fields, int max) const
{
    CheckRow(row);
    const std::size_t r = static_cast<std::size_t>(row);
    const std::uint64_t count = FieldCount(row);
    const char* text = text_.data() + rowText_[r];
    const std::uint64_t first = rowField_[r];
    const std::uint64_t wanted = std::min<std::uint64_t>(count, static_cast<std::uint64_t>(std::max(max, 0)));
    const auto split = [&](const auto& ends) {
        std::uint64_t begin = 0;
        for (std::uint64_t k = 0; k < wanted; ++k) {
            const std::uint64_t end = ends[first + k];
            fields[k] = std::string_view(text + begin, static_cast<std::size_t>(end - begin));
            begin = end;
        }
    };
    if (wide_)
        split(wideEnds_);
    else
        split(ends_);
    return static_cast<int>(count);
}

void SurveyTable::DeleteRow(int row)
{
    CheckRow(row);
    const std::size_t r = static_cast<std::size_t>(row);
    const std::uint64_t fields = FieldCount(row);
    const std::uint64_t fieldBegin = rowField_[r];
    const auto first = static_cast<std::ptrdiff_t>(fieldBegin);
    const auto last = static_cast<std::ptrdiff_t>(fieldBegin + fields);
    if (wide_)
        wideEnds_.erase(wideEnds_.begin() + first, wideEnds_.begin() + last);
    else
        ends_.erase(ends_.begin() + first, ends_.begin() + last);
    const std::uint64_t textBegin = rowText_[r];
    const std::uint64_t textEnd = r + 1 < rowText_.size() ? rowText_[r + 1] : text_.size();
    text_.Erase(static_cast<std::size_t>(textBegin), static_cast<std::size_t>(textEnd - textBegin));
    for (std::size_t k = r + 1; k < rowText_.size(); ++k) {
        rowText_[k] -= textEnd - textBegin;
        rowField_[k] -= fields;
    }
    rowText_.erase(rowText_.begin() + row);
    rowField_.erase(rowField_.begin() + row);
}

int SurveyTable::ColumnCount() const
{
    return static_cast<int>(columnWidths_.size());
}

int SurveyTable::ColumnWidth(int column) const
{
    if (column < 0 || column >= ColumnCount())
        throw ListIndexError(column);
    return columnWidths_[static_cast<std::size_t>(column)];
}

void SurveyTable::SetColumnWidth(int column, int width)
{
    if (column < 0 || column >= ColumnCount())
        throw ListIndexError(column);
    columnWidths_[static_cast<std::size_t>(column)] = width;
}

std::size_t SurveyTable::MemoryUsage() const
{
    return sizeof(*this) + text_.capacity() + rowText_.capacity() * sizeof(std::uint64_t) +
           rowField_.capacity() * sizeof(std::uint64_t) + ends_.capacity() * sizeof(std::uint32_t) +
           wideEnds_.capacity() * sizeof(std::uint64_t) + columnWidths_.capacity() * sizeof(int);
}

} // namespace qm
