// How the tool writes text. Survey cells, paths and position texts are 8-bit: on standard output
// every byte becomes the Unicode character of the same number, written as UTF-8, so no byte is
// lost and scripts can map the text back. Messages on standard error read as the viewer's error
// box shows them.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace qm::cli {

// Each byte as the character of the same number, in UTF-8.
std::string BytesToUtf8(std::string_view bytes);
// Appends `bytes` as a JSON string (quoted, escaped), each byte as the character of that number.
void AppendJsonString(std::string& out, std::string_view bytes);
// UTF-8 as it stands when the bytes are valid UTF-8, else each byte as the character of that number
// (what the viewer's error box does with 8-bit messages).
std::string DisplayText(std::string_view bytes);
// The message as the error box words it: a full stop is appended when the last character sorts
// after ".".
std::string BoxText(std::string_view message);

// Writes bytes to a stream as they are; false when the stream reports an error.
bool WriteAll(std::FILE* stream, std::string_view bytes);
// A failure message on standard error, worded as the error box shows it.
void PrintFailure(std::string_view message);

// Shows "label k/n name" on standard error while it is a terminal; nothing otherwise, and nothing
// for a single step. With `sharesStdout`, also nothing when standard output goes to a terminal:
// the output itself then shows how far the work has come.
class Progress {
public:
    Progress(std::string label, int total, bool sharesStdout = false);
    ~Progress();
    // Clears the progress line, before the tool prints its results.
    void Done();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Step(int index, std::string_view name);

private:
    std::string label_;
    int total_;
    bool enabled_;
    bool shown_ = false;
    std::size_t shownWidth_ = 0; // bytes of the widest line shown, blanked when overwritten
};

} // namespace qm::cli
