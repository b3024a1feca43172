#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fendrik {

// Texts and paths as bytes that can stand in a line of text and that a
// terminal or a message box shows as they are.
//
// A text "needs escapes" when it holds a control character (bytes 0x00 to
// 0x1F, 0x7F, the C1 controls U+0080 to U+009F), a character that changes
// the direction or the lines of the text around it (U+200E, U+200F, U+2028,
// U+2029, U+202A to U+202E, U+2066 to U+2069), or bytes that are not UTF-8.
// Its escaped form writes a backslash as "\\", TAB, CR and LF as "\t", "\r"
// and "\n", and every other such byte as "\x" and two upper-case hex digits;
// everything else stays. Unescape gives back the exact bytes.
bool NeedsEscapes(std::string_view bytes);

// The escaped form of bytes; for a text that needs no escapes that is the
// text itself with each backslash doubled.
std::string Escaped(std::string_view bytes);
void AppendEscaped(std::string& out, std::string_view bytes);

// The bytes an escaped form stands for; nothing when the form is malformed
// (a lone backslash at the end, an unknown escape, "\x" without two hex
// digits).
std::optional<std::string> Unescaped(std::string_view escaped);

// A path or text for a message or a terminal: unchanged when it needs no
// escapes (so a Windows path keeps its single backslashes), its escaped form
// otherwise.
std::string VisibleText(std::string_view bytes);

}  // namespace fendrik
