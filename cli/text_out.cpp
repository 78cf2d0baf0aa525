#include "text_out.h"

#include "console.h"
#include "text8.h"

#include <cstdint>
#include <utility>

namespace qm::cli {

namespace {

void AppendCodePoint(std::string& out, unsigned char byte)
{
    if (byte < 0x80) {
        out.push_back(static_cast<char>(byte));
    } else {
        out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
        out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
}

} // namespace

std::string BytesToUtf8(std::string_view bytes)
{
    return qm::BytesToUtf8(bytes);
}

void AppendJsonString(std::string& out, std::string_view bytes)
{
    static constexpr char kHex[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (byte) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\u00";
                out.push_back(kHex[byte >> 4]);
                out.push_back(kHex[byte & 0xF]);
            } else {
                AppendCodePoint(out, byte);
            }
        }
    }
    out.push_back('"');
}

std::string DisplayText(std::string_view bytes)
{
    return qm::DisplayText(bytes);
}

std::string BoxText(std::string_view message)
{
    return qm::BoxText(message);
}

bool WriteAll(std::FILE* stream, std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
}

void PrintFailure(std::string_view message)
{
    std::fflush(stdout);
    WriteAll(stderr, DisplayText(BoxText(message)) + "\n");
    std::fflush(stderr);
}

Progress::Progress(std::string label, int total, bool sharesStdout)
    : label_(std::move(label)),
      total_(total),
      enabled_(total > 1 && StderrIsTerminal() && !(sharesStdout && StdoutIsTerminal()))
{
}

Progress::~Progress() { Done(); }

void Progress::Done()
{
    if (shown_) {
        // Blank the progress line so that later messages start on a clean line.
        WriteAll(stderr, "\r" + std::string(shownWidth_, ' ') + "\r");
        shownWidth_ = 0;
        std::fflush(stderr);
        shown_ = false;
    }
}

void Progress::Step(int index, std::string_view name)
{
    if (!enabled_) {
        return;
    }
    // Plain carriage returns and blanks (no terminal escapes), so that every console shows it.
    const std::string text = label_ + " " + std::to_string(index + 1) + "/" + std::to_string(total_) + " " +
                             DisplayText(name);
    const std::size_t width = text.size();
    std::string line = "\r" + text;
    if (width < shownWidth_) {
        line.append(shownWidth_ - width, ' ');
    }
    WriteAll(stderr, line);
    shownWidth_ = width > shownWidth_ ? width : shownWidth_;
    std::fflush(stderr);
    shown_ = true;
}

} // namespace qm::cli
