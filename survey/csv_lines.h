// The raw lines of a survey file and the split of a line into its fields, shared by the table
// loader and the row-by-row reader, so that both read every file alike. Internal to the survey
// library.
#pragma once

#include "file_io.h"
#include "survey_table.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace qm::detail {

inline constexpr char kEndOfFile = 0x1A;
inline constexpr char kQuote = '"';

// Index of the first `ch` in [p, p + n), or n. Safe for empty ranges with a null pointer.
inline std::size_t FindByte(const char* p, std::size_t n, char ch)
{
    if (n == 0)
        return 0;
    const void* hit = std::memchr(p, static_cast<unsigned char>(ch), n);
    return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - p) : n;
}

// The same, looking at the first bytes one by one: fields are short, and a library call for a
// handful of bytes costs more than the look.
inline std::size_t FindByteNear(const char* p, std::size_t n, char ch)
{
    const std::size_t near = std::min<std::size_t>(n, 16);
    for (std::size_t k = 0; k < near; ++k)
        if (p[k] == ch)
            return k;
    return near + FindByte(p + near, n - near, ch);
}

// FindByteNear looking at the first bytes eight at a time in a word instead.
inline std::size_t FindByteInWords(const char* p, std::size_t n, char ch)
{
    if constexpr (std::endian::native != std::endian::little) {
        return FindByteNear(p, n, ch);
    } else {
        // A byte of `word ^ pattern` is zero where the byte is `ch`; (x - ones) & ~x & highs marks
        // the lowest such byte exactly (a borrow can mark only bytes above a marked one).
        constexpr std::uint64_t kOnes = 0x0101010101010101u;
        constexpr std::uint64_t kHighs = 0x8080808080808080u;
        const std::uint64_t pattern = kOnes * static_cast<unsigned char>(ch);
        const std::size_t near = std::min<std::size_t>(n, 16);
        std::size_t k = 0;
        for (; k + 8 <= near; k += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, p + k, 8);
            const std::uint64_t x = word ^ pattern;
            const std::uint64_t marks = (x - kOnes) & ~x & kHighs;
            if (marks != 0)
                return k + static_cast<std::size_t>(std::countr_zero(marks)) / 8;
        }
        for (; k < near; ++k)
            if (p[k] == ch)
                return k;
        return near + FindByte(p + near, n - near, ch);
    }
}

// A line's text from its raw bytes (without the line feed): a 0x1A ends the text, and carriage
// returns are dropped (one before the line feed belongs to the line break; any other is dropped).
std::string_view LineText(std::string_view raw, std::string& scratch);

// Whether bytes hold no 0x1A and no carriage return other than one directly before a line feed:
// their lines then need no byte-by-byte clean-up.
bool PlainLineBytes(const char* p, std::size_t n);

// The text of a line from plain bytes: only the carriage return of a CR LF pair to drop.
inline std::string_view PlainLineText(std::string_view raw)
{
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    return raw;
}

inline bool EndsFile(std::string_view raw)
{
    return !raw.empty() && raw.front() == kEndOfFile;
}

// Yields the raw lines of a source, each without its line feed; a line break at the very end
// starts no further line. A returned view stays valid until the next call. `plain` tells that the
// line has no 0x1A and no carriage return but one at its end.
class LineSource {
public:
    virtual ~LineSource() = default;
    virtual bool Next(std::string_view& raw, bool& plain) = 0;
    // Bytes consumed so far, for estimating the rest of the file.
    virtual std::uint64_t Consumed() const = 0;
};

// The lines of bytes in memory.
class MemoryLines final : public LineSource {
public:
    explicit MemoryLines(std::string_view bytes) : bytes_(bytes), plain_(PlainLineBytes(bytes.data(), bytes.size()))
    {
    }

    bool Next(std::string_view& raw, bool& plain) override;
    std::uint64_t Consumed() const override { return std::min(pos_, bytes_.size()); }

private:
    std::string_view bytes_;
    bool plain_;
    std::size_t pos_ = 0;
};

// Reads the file in big blocks; a line that crosses a block boundary is gathered in `carry_`.
class FileLines final : public LineSource {
public:
    explicit FileLines(InputFile& file);

    bool Next(std::string_view& raw, bool& plain) override;
    std::uint64_t Consumed() const override { return consumed_; }

private:
    InputFile& file_;
    std::unique_ptr<char[]> block_;
    std::size_t pos_ = 0;
    std::size_t len_ = 0;
    bool end_ = false;
    bool blockPlain_ = false;
    std::uint64_t consumed_ = 0;
    std::string carry_;
};

// Splits the text of a line into its fields, calling push(bytes, length, middle) for each in
// order (`middle`: a delimiter follows it). A field that starts with a quote runs to the first
// isolated quote, and text after that up to the next delimiter is dropped; the last field loses a
// quote at either end. A line without fields still gives one, empty.
// `kWordScan` looks for delimiters eight bytes at a time: faster where the fields are only looked
// at (the row reader), slower where each is copied right after (the table's load), as measured.
template <bool kWordScan = false, typename Push>
void SplitFields(std::string_view s, char d, Push&& push)
{
    const char* base = s.data();
    const std::size_t n = s.size();
    const auto findD = [&](std::size_t from) {
        return from + (kWordScan ? FindByteInWords(base + from, n - from, d) : FindByteNear(base + from, n - from, d));
    };
    std::size_t pos = 0;      // what is left of the line starts here
    std::uint64_t i = 0;      // fields given
    std::size_t p = findD(0); // first delimiter in what is left, n when none
    while (p < n) {
        if (base[pos] == kQuote) {
            const std::size_t open = pos + 1;
            const std::size_t q = IsolatedPos(kQuote, s.substr(open));
            const std::size_t length = q >= 2 ? q - 1 : 0;
            pos = open + q;
            p = findD(pos);
            push(base + open, length, p < n);
        } else {
            push(base + pos, p - pos, true);
        }
        ++i;
        if (p < n) {
            pos = p + 1;
            p = findD(pos);
        }
    }
    std::string_view last = s.substr(pos);
    if (!last.empty()) {
        if (last.front() == kQuote)
            last.remove_prefix(1);
        if (!last.empty() && last.back() == kQuote)
            last.remove_suffix(1);
        if (!last.empty() || i >= 1) {
            push(last.data(), last.size(), false);
            ++i;
        }
    }
    if (i == 0)
        push(nullptr, 0, false); // an empty caption
}

} // namespace qm::detail
