#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fendrik::propset {

inline constexpr uint16_t kCodepageUtf16 = 1200;

// Whether the platform converts between UTF-8 and the codepage.
bool codepageAvailable(uint16_t codepage);

// Decodes text stored in a codepage into UTF-8. Bytes the codepage does not
// define become U+FFFD, so reading never fails on odd text; an unknown
// codepage throws StorageError (kDocfileCorrupt).
std::string decodeText(std::span<const uint8_t> bytes, uint16_t codepage);

// Encodes UTF-8 text into a codepage, without a terminator. A character the
// codepage cannot hold, or text that is not UTF-8, throws StorageError
// (kTypeMismatch) instead of writing a substitute.
std::vector<uint8_t> encodeText(std::string_view utf8, uint16_t codepage);

// UTF-16LE, used for VT_LPWSTR and for texts in codepage 1200. Reading turns a
// lone surrogate into U+FFFD; writing throws StorageError (kTypeMismatch) for
// text that is not UTF-8.
std::string utf16ToUtf8(std::span<const uint8_t> bytes);
std::string utf16ToUtf8(std::u16string_view text);
std::vector<uint8_t> utf8ToUtf16(std::string_view utf8);

// The character that starts at utf8[i], and i moved behind it; nothing (and i
// unchanged) when no well-formed UTF-8 sequence starts there (a stray or
// missing continuation byte, an overlong form, a surrogate, beyond U+10FFFF).
std::optional<char32_t> nextCodePoint(std::string_view utf8, size_t& i);

// Whether bytes are well-formed UTF-8. ASCII is passed over without decoding.
bool isUtf8(std::string_view bytes);

}  // namespace fendrik::propset
