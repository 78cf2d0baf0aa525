// How 8-bit text (survey cells, paths, messages) is shown, the same in the viewer and in the tool:
// UTF-8 where the bytes are valid UTF-8, otherwise each byte as the character of the same number,
// so that no byte is lost. Also the error box's wording rule.
#pragma once

#include <string>
#include <string_view>

namespace qm {

// True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsValidUtf8(std::string_view bytes);
// Each byte as the character of the same number (U+0000 to U+00FF), written as UTF-8.
std::string BytesToUtf8(std::string_view bytes);
// The text as shown: the bytes themselves when they are valid UTF-8, else BytesToUtf8.
std::string DisplayText(std::string_view bytes);

// The error box ends a message with a full stop when its last character sorts after ".".
constexpr bool TakesFullStop(char32_t lastCharacter)
{
    return lastCharacter > U'.';
}
// The message as the error box words it (on 8-bit text: the last byte decides).
std::string BoxText(std::string_view message);

} // namespace qm
