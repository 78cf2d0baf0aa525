// Random inputs against a plain, slow reading of the loader's rules: cut the bytes into lines one
// byte at a time, split each line by erasing from the front of a string.
#include "table_helpers.h"

#include <optional>
#include <string>

namespace qm::test {
namespace {

struct ReferenceTable {
    Rows rows;
    std::size_t columns = 0;
    std::optional<char> delimiter;
};

std::size_t ReferenceIsolatedPos(char ch, const std::string& t)
{
    const std::size_t n = t.size();
    for (std::size_t i = 1; i <= n; ++i)
        if (t[i - 1] == ch && (i == n || (t[i] != ch && (i == 1 || t[i - 2] != ch))))
            return i;
    return 0;
}

std::size_t ReferenceIsolatedCount(char ch, std::string t)
{
    std::size_t count = 0;
    for (std::size_t p; (p = ReferenceIsolatedPos(ch, t)) > 0; ++count)
        t.erase(0, p);
    return count;
}

std::vector<std::string> ReferenceLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::string line;
    bool lineStart = true;
    bool skipping = false;
    for (char b : bytes) {
        if (lineStart && b == '\x1A')
            return lines;
        lineStart = false;
        if (b == '\n') {
            lines.push_back(line);
            line.clear();
            lineStart = true;
            skipping = false;
        } else if (b == '\x1A') {
            skipping = true;
        } else if (b != '\r' && !skipping) {
            line += b;
        }
    }
    if (!lineStart)
        lines.push_back(line);
    return lines;
}

void ReferenceSplit(ReferenceTable& table, std::string s, char d)
{
    std::vector<std::string> row{""};
    std::size_t i = 0;
    const auto store = [&](const std::string& text) {
        if (i == 0)
            row[0] = text;
        else
            row.push_back(text);
    };
    const auto addColumn = [&] {
        if (i >= 1 && table.columns < i + 2)
            ++table.columns;
    };
    std::size_t p;
    while ((p = s.find(d) + 1) > 0) {
        std::string text;
        if (s[0] == '"') {
            s.erase(0, 1);
            const std::size_t q = ReferenceIsolatedPos('"', s);
            if (q >= 2)
                text = s.substr(0, q - 1);
            s.erase(0, q);
            p = s.find(d) + 1;
            if (p > 0)
                addColumn();
        } else {
            text = s.substr(0, p - 1);
            addColumn();
        }
        store(text);
        ++i;
        s.erase(0, p);
    }
    if (!s.empty()) {
        if (s.front() == '"')
            s.erase(0, 1);
        if (!s.empty() && s.back() == '"')
            s.pop_back();
        if (s.empty() && i >= 1)
            row.emplace_back();
        if (!s.empty())
            store(s);
    }
    table.rows.push_back(row);
}

void ReferenceLoad(ReferenceTable& table, const std::string& bytes)
{
    const std::vector<std::string> lines = ReferenceLines(bytes);
    const std::string l1 = lines.size() > 0 ? lines[0] : "";
    const std::string l2 = lines.size() > 1 ? lines[1] : "";
    std::size_t best = 0;
    std::optional<char> agreed;
    for (char c : kDelimiterCandidates) {
        const std::size_t count = ReferenceIsolatedCount(c, l1);
        if (count == ReferenceIsolatedCount(c, l2) && count > best) {
            agreed = c;
            best = count;
        }
    }
    // Lines that agree on none: the heading's commonest candidate, else the settled one, else ",".
    char d = agreed ? *agreed : table.delimiter.value_or(',');
    if (agreed)
        table.delimiter = agreed;
    best = 0;
    for (char c : kDelimiterCandidates) {
        const std::size_t count = ReferenceIsolatedCount(c, l1);
        if (!agreed && count > best) {
            d = c;
            best = count;
        }
    }
    for (const std::string& line : lines)
        ReferenceSplit(table, line, d);
}

TEST(SurveyReference, RandomInputsSplitAsThePlainReading)
{
    std::mt19937 random(2024);
    const std::string alphabet = "ab,,,;;\"\"\"\r\n\n\x1A#\t| ";
    for (int round = 0; round < 300; ++round) {
        SurveyTable table;
        ReferenceTable reference;
        for (int file = 0; file < 4; ++file) {
            std::string bytes;
            const std::size_t length = random() % 120;
            for (std::size_t k = 0; k < length; ++k)
                bytes += random() % 40 == 0 ? '\0' : alphabet[random() % alphabet.size()];
            if (random() % 2) {
                // Often start with two agreeing lines so that detection settles something.
                const char d = kDelimiterCandidates[random() % 5];
                bytes = std::string("x") + d + "y" + d + "z\n1" + d + "2" + d + "3\n" + bytes;
            }
            table.LoadFromBytes(bytes);
            ReferenceLoad(reference, bytes);
            for (char c : alphabet) {
                ASSERT_EQ(IsolatedPos(c, bytes), ReferenceIsolatedPos(c, bytes));
                ASSERT_EQ(IsolatedCount(c, bytes), ReferenceIsolatedCount(c, bytes));
            }
            ASSERT_EQ(Dump(table), reference.rows) << "round " << round << " file " << file;
            ASSERT_EQ(static_cast<std::size_t>(table.ColumnCount()), reference.columns);
            ASSERT_EQ(table.Delimiter(), reference.delimiter);
        }
    }
}

} // namespace
} // namespace qm::test
