// 8-bit text on screen: survey cells and messages become QStrings by the shared display rule, and
// text typed by the user goes back to bytes.
#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace qm {

// Shown as UTF-8 when the bytes are valid UTF-8, else byte for byte (Latin-1), so that no byte is
// lost on screen.
QString DecodeText(std::string_view bytes);
// The reverse for text typed by the user: Latin-1 when it fits, else UTF-8.
std::string EncodeText(const QString& text);

} // namespace qm
