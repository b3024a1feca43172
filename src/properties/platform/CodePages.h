#pragma once

// Conversion between UTF-8 and the Windows code pages that property sets and
// older list files store texts in. POSIX converts with iconv, Windows with
// MultiByteToWideChar and WideCharToMultiByte; both give the same text for
// the same bytes wherever the system knows the code page.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fendrik::platform {

enum class CodePageResult : uint8_t {
  done,
  unsupported,  // the system does not convert this code page
  unencodable,  // a character the code page cannot hold
};

// The system's name of the code page, for messages ("CP1252" on POSIX,
// "Codepage 1252" on Windows).
std::string CodePageName(uint16_t codePage);

// Whether the system converts between UTF-8 and the code page both ways.
bool CodePageSupported(uint16_t codePage);

// Whether decoding tells bytes the code page leaves undefined. Windows cannot
// for some code pages (the ISO-2022 ones, UTF-7, Symbol): it converts such
// bytes to something instead of U+FFFD there.
bool DetectsInvalidBytes(uint16_t codePage);

// Appends the text of `bytes` to `utf8`. A byte that starts no sequence the
// code page defines (an undefined byte, a lead byte without its trail byte)
// becomes U+FFFD and the conversion goes on with the byte after it.
CodePageResult DecodeCodePage(uint16_t codePage, std::span<const uint8_t> bytes, std::string& utf8);

// Appends `utf8` (well-formed; the caller checks) in the code page to
// `bytes`, including the shift back to the initial state a stateful code page
// needs. unencodable when a character has no form there: never a substitute
// or a look-alike. `bytes` may hold part of the text then.
CodePageResult EncodeCodePage(uint16_t codePage, std::string_view utf8, std::vector<uint8_t>& bytes);

}  // namespace fendrik::platform
