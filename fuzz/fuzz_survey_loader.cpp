// The survey loader over a sequence of files in one input, split at kFileSeparator and loaded into
// one table (so a delimiter settled by one file carries over to the next). Every file is loaded
// both from memory and from a file on disk; the two tables must agree with each other and with a
// plain, slow reading of the line and field rules. Then rows are read and deleted at random.
//
// Input: one option byte, then the files separated by kFileSeparator, then (after a last
// separator, optional) the operation bytes.
#include "fuzz_check.h"

#include "errors.h"
#include "survey_table.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kFileSeparator = "<<next-file>>";

// ---- The rules, read plainly ----

std::size_t RefIsolatedPos(char ch, const std::string& text)
{
    for (std::size_t i = 1; i <= text.size(); ++i) {
        if (text[i - 1] != ch)
            continue;
        if (i == text.size())
            return i;
        if (text[i] != ch && (i == 1 || text[i - 2] != ch))
            return i;
    }
    return 0;
}

std::size_t RefIsolatedCount(char ch, std::string text)
{
    std::size_t count = 0;
    for (std::size_t p = RefIsolatedPos(ch, text); p > 0; p = RefIsolatedPos(ch, text)) {
        text.erase(0, p);
        ++count;
    }
    return count;
}

std::vector<std::string> RefLines(std::string_view bytes)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view raw = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!raw.empty() && raw.front() == '\x1A')
            break;
        raw = raw.substr(0, raw.find('\x1A'));
        std::string text;
        for (char c : raw)
            if (c != '\r')
                text += c;
        lines.push_back(text);
    }
    return lines;
}

struct RefTable {
    std::vector<std::vector<std::string>> rows; // caption first, then the cells
    std::size_t columns = 0;
    std::optional<char> delimiter;

    void AddColumnFor(std::size_t i)
    {
        if (i >= 1 && columns < i + 2)
            ++columns;
    }

    void Split(std::string s, char d)
    {
        std::vector<std::string> fields;
        std::size_t i = 0;
        for (std::size_t p = s.find(d); p != std::string::npos;) {
            if (s[0] == '"') {
                s.erase(0, 1);
                const std::size_t q = RefIsolatedPos('"', s);
                std::string text = q >= 2 ? s.substr(0, q - 1) : std::string();
                s.erase(0, q);
                p = s.find(d);
                // A quoted field followed by a delimiter counts for columns like a plain one.
                if (p != std::string::npos)
                    AddColumnFor(i);
                fields.push_back(text);
            } else {
                AddColumnFor(i);
                fields.push_back(s.substr(0, p));
            }
            ++i;
            if (p != std::string::npos) {
                s.erase(0, p + 1);
                p = s.find(d);
            }
        }
        if (!s.empty()) {
            if (s.front() == '"')
                s.erase(0, 1);
            if (!s.empty() && s.back() == '"')
                s.pop_back();
            if (!s.empty() || i >= 1)
                fields.push_back(s);
        }
        if (fields.empty())
            fields.emplace_back();
        rows.push_back(fields);
    }

    void Load(std::string_view bytes)
    {
        const std::vector<std::string> lines = RefLines(bytes);
        const std::string first = lines.size() > 0 ? lines[0] : std::string();
        const std::string second = lines.size() > 1 ? lines[1] : std::string();
        std::size_t best = 0;
        std::optional<char> agreed;
        for (char candidate : qm::kDelimiterCandidates) {
            const std::size_t count = RefIsolatedCount(candidate, first);
            if (count > best && count == RefIsolatedCount(candidate, second)) {
                agreed = candidate;
                best = count;
            }
        }
        // Lines that agree on none are split at the heading's commonest candidate (earlier ones
        // win ties); a heading without any falls back to the settled delimiter, else ",".
        std::optional<char> commonest;
        best = 0;
        for (char candidate : qm::kDelimiterCandidates) {
            const std::size_t count = RefIsolatedCount(candidate, first);
            if (count > best) {
                commonest = candidate;
                best = count;
            }
        }
        const char d = agreed ? *agreed : commonest ? *commonest : delimiter.value_or(',');
        if (agreed)
            delimiter = agreed;
        for (const std::string& line : lines)
            Split(line, d);
    }
};

// ---- Helpers ----

const std::filesystem::path& TempFile()
{
    static const std::filesystem::path path = [] {
        std::random_device random;
        return std::filesystem::temp_directory_path() /
               ("qm-fuzz-loader-" + std::to_string(random()) + "-" + std::to_string(random()) + ".csv");
    }();
    return path;
}

void WriteFile(std::string_view bytes)
{
    std::ofstream out(TempFile(), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    QM_FUZZ_CHECK(out.good());
}

// What a load ended with: 0 fine, 1 a table limit, 2 anything else (never expected).
template <typename F>
int Outcome(F&& load)
{
    try {
        load();
        return 0;
    } catch (const qm::TableLimitError&) {
        return 1;
    } catch (...) {
        return 2;
    }
}

void CheckSame(const qm::SurveyTable& a, const qm::SurveyTable& b)
{
    QM_FUZZ_CHECK(a.RowCount() == b.RowCount());
    QM_FUZZ_CHECK(a.ColumnCount() == b.ColumnCount());
    QM_FUZZ_CHECK(a.Delimiter() == b.Delimiter());
    for (int r = 0; r < a.RowCount(); ++r) {
        QM_FUZZ_CHECK(a.RowCaption(r) == b.RowCaption(r));
        QM_FUZZ_CHECK(a.CellCount(r) == b.CellCount(r));
        for (int c = 1; c <= a.CellCount(r); ++c)
            QM_FUZZ_CHECK(a.Cell(r, c) == b.Cell(r, c));
    }
}

void CheckAgainst(const qm::SurveyTable& table, const RefTable& ref)
{
    QM_FUZZ_CHECK(static_cast<std::size_t>(table.RowCount()) == ref.rows.size());
    QM_FUZZ_CHECK(static_cast<std::size_t>(table.ColumnCount()) == ref.columns);
    QM_FUZZ_CHECK(table.Delimiter() == ref.delimiter);
    for (int r = 0; r < table.RowCount(); ++r) {
        const std::vector<std::string>& fields = ref.rows[static_cast<std::size_t>(r)];
        QM_FUZZ_CHECK(table.RowCaption(r) == fields[0]);
        QM_FUZZ_CHECK(static_cast<std::size_t>(table.CellCount(r)) + 1 == fields.size());
        for (std::size_t c = 1; c < fields.size(); ++c)
            QM_FUZZ_CHECK(table.Cell(r, static_cast<int>(c)) == fields[c]);
    }
}

void CheckMissingCell(const qm::SurveyTable& table, int row, int c)
{
    try {
        (void)table.Cell(row, c);
        QM_FUZZ_CHECK(false);
    } catch (const qm::ListIndexError& e) {
        QM_FUZZ_CHECK(e.index() == static_cast<long long>(c) - 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qm::fuzz::Input in(data, size);
    const unsigned options = in.Byte();
    const bool clearBetweenFiles = (options & 1) != 0;
    const bool limited = (options & 2) != 0;
    std::string_view rest = in.RestText();

    std::vector<std::string_view> files;
    for (std::size_t at = rest.find(kFileSeparator); at != std::string_view::npos; at = rest.find(kFileSeparator)) {
        files.push_back(rest.substr(0, at));
        rest.remove_prefix(at + kFileSeparator.size());
    }
    // What follows the last separator drives the operations; a single file has none.
    const std::string_view operations = files.empty() ? std::string_view() : rest;
    if (files.empty())
        files.push_back(rest);

    qm::SurveyTableLimits limits;
    if (limited) {
        // Small limits, so that the limit errors and the switch to 64-bit offsets are reached.
        limits.maxRows = 1 + (options >> 2 & 7);
        limits.maxFieldsPerLine = 1 + (options >> 5 & 7);
        limits.compactRowBytes = options >> 4;
    }
    qm::SurveyTable fromBytes(limits);
    qm::SurveyTable fromFile(limits);
    RefTable ref;
    bool refValid = true;

    for (std::string_view file : files) {
        if (clearBetweenFiles) {
            fromBytes.Clear();
            fromFile.Clear();
            ref.rows.clear();
            ref.columns = 0;
            // The delimiter survives Clear.
            QM_FUZZ_CHECK(fromBytes.RowCount() == 0 && fromBytes.ColumnCount() == 0);
            QM_FUZZ_CHECK(fromBytes.Delimiter() == ref.delimiter || !refValid);
        }
        const int a = Outcome([&] { fromBytes.LoadFromBytes(file); });
        WriteFile(file);
        const int b = Outcome([&] { fromFile.LoadFromCsv(TempFile()); });
        QM_FUZZ_CHECK(a != 2 && b != 2);
        QM_FUZZ_CHECK(a == b);
        CheckSame(fromBytes, fromFile);
        if (a == 1) {
            // A limit stops the load midway: the table stays whole, but no longer follows the
            // plain reading (which has no limits).
            refValid = false;
        }
        if (refValid) {
            ref.Load(file);
            CheckAgainst(fromBytes, ref);
        }
    }

    // Reading and deleting rows.
    qm::fuzz::Input ops(reinterpret_cast<const unsigned char*>(operations.data()), operations.size());
    while (ops.Left() > 0 && fromBytes.RowCount() > 0) {
        const unsigned op = ops.Byte();
        const int row = static_cast<int>(ops.Byte() % static_cast<unsigned>(fromBytes.RowCount()));
        switch (op % 4) {
        case 0:
            fromBytes.DeleteRow(row);
            fromFile.DeleteRow(row);
            if (refValid)
                ref.rows.erase(ref.rows.begin() + row);
            break;
        case 1:
            CheckMissingCell(fromBytes, row, fromBytes.CellCount(row) + 1 + static_cast<int>(op >> 2));
            break;
        case 2:
            CheckMissingCell(fromBytes, row, -static_cast<int>(op >> 2));
            break;
        default:
            try {
                (void)fromBytes.RowCaption(fromBytes.RowCount() + static_cast<int>(op >> 2));
                QM_FUZZ_CHECK(false);
            } catch (const qm::ListIndexError&) {
            }
            break;
        }
    }
    CheckSame(fromBytes, fromFile);
    if (refValid)
        CheckAgainst(fromBytes, ref);
    return 0;
}
