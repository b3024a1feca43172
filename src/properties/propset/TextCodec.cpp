#include "properties/propset/TextCodec.h"

#include <array>
#include <cstring>

#include "properties/StorageError.h"
#include "properties/platform/CodePages.h"
#include "properties/propset/ByteSource.h"

namespace fendrik::propset {
namespace {

// Writes the UTF-8 form of c at dst; returns the position behind it.
char* putUtf8(char* dst, char32_t c) {
  if (c < 0x80) {
    *dst++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *dst++ = static_cast<char>(0xC0 | (c >> 6));
    *dst++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *dst++ = static_cast<char>(0xE0 | (c >> 12));
    *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *dst++ = static_cast<char>(0xF0 | (c >> 18));
    *dst++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *dst++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *dst++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return dst;
}

// Eight bytes as one word, for tests on all of them at once.
uint64_t word(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

bool isAscii(std::span<const uint8_t> bytes) {
  uint64_t any = 0;
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) any |= word(&bytes[i]);
  for (; i < bytes.size(); ++i) any |= bytes[i];
  return (any & 0x8080808080808080ull) == 0;
}

// Four UTF-16LE units that are all ASCII: low bytes below 0x80, high bytes 0.
// The mask is built from bytes, so the test holds whatever the byte order of
// the machine.
bool fourAsciiUnits(const uint8_t* p) {
  static const uint64_t mask = word(std::array<uint8_t, 8>{0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF}.data());
  return (word(p) & mask) == 0;
}

// Whether ASCII bytes read as the same ASCII text: in every code page but
// UTF-16BE and the 7-bit ones whose escape sequences are ASCII bytes
// (ISO-2022, HZ, UTF-7).
bool asciiStaysAscii(uint16_t codepage) {
  return codepage != 1201 && !(codepage >= 50220 && codepage <= 50229) && codepage != 52936 && codepage != 65000;
}

[[noreturn]] void throwMismatch(const std::string& what) { throw StorageError(hresult::kTypeMismatch, what); }

}  // namespace

bool codepageAvailable(uint16_t codepage) {
  return codepage == kCodepageUtf16 || platform::CodePageSupported(codepage);
}

std::string utf16ToUtf8(std::span<const uint8_t> bytes) {
  // One unit gives at most three bytes (a surrogate pair four for two units),
  // so the text is written into a string of that size, cut to length after.
  const size_t n = bytes.size() / 2;
  std::string out(n * 3, '\0');
  char* dst = out.data();
  for (size_t i = 0; i < n; ++i) {
    while (i + 4 <= n && fourAsciiUnits(&bytes[2 * i])) {
      for (size_t k = 0; k < 4; ++k) dst[k] = static_cast<char>(bytes[2 * (i + k)]);
      dst += 4;
      i += 4;
    }
    if (i == n) break;
    char32_t c = loadU16(&bytes[2 * i]);
    if (c < 0x80) {
      *dst++ = static_cast<char>(c);
      continue;
    }
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n) {
      char32_t low = loadU16(&bytes[2 * i + 2]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        dst = putUtf8(dst, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate
    dst = putUtf8(dst, c);
  }
  out.resize(static_cast<size_t>(dst - out.data()));
  return out;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (char16_t unit : text) appendU16(bytes, static_cast<uint16_t>(unit));
  return utf16ToUtf8(bytes);
}

bool isUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
    } else if (!nextCodePoint(bytes, i)) {
      return false;
    }
  }
  return true;
}

std::optional<char32_t> nextCodePoint(std::string_view utf8, size_t& i) {
  if (i >= utf8.size()) return std::nullopt;
  const auto b = static_cast<unsigned char>(utf8[i]);
  const size_t len = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || len > utf8.size() - i) return std::nullopt;
  char32_t c = len == 1 ? b : b & (0x7F >> len);
  for (size_t k = 1; k < len; ++k) {
    const auto cont = static_cast<unsigned char>(utf8[i + k]);
    if ((cont & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (cont & 0x3F);
  }
  static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  i += len;
  return c;
}

std::vector<uint8_t> utf8ToUtf16(std::string_view utf8) {
  std::vector<uint8_t> out;
  out.reserve(utf8.size() * 2);
  size_t i = 0;
  while (i < utf8.size()) {
    std::optional<char32_t> next = nextCodePoint(utf8, i);
    if (!next) throwMismatch("Der Text ist kein gültiges UTF-8.");
    char32_t c = *next;
    if (c >= 0x10000) {
      c -= 0x10000;
      appendU16(out, static_cast<uint16_t>(0xD800 + (c >> 10)));
      appendU16(out, static_cast<uint16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      appendU16(out, static_cast<uint16_t>(c));
    }
  }
  return out;
}

std::string decodeText(std::span<const uint8_t> bytes, uint16_t codepage) {
  if (codepage == kCodepageUtf16) return utf16ToUtf8(bytes);
  if (isAscii(bytes) && asciiStaysAscii(codepage)) return std::string(bytes.begin(), bytes.end());
  std::string out;
  if (platform::DecodeCodePage(codepage, bytes, out) != platform::CodePageResult::done)
    throwCorrupt("unbekannte Codepage " + std::to_string(codepage));
  return out;
}

std::vector<uint8_t> encodeText(std::string_view utf8, uint16_t codepage) {
  if (codepage == kCodepageUtf16) return utf8ToUtf16(utf8);
  utf8ToUtf16(utf8);  // rejects text that is not UTF-8
  std::vector<uint8_t> out;
  switch (platform::EncodeCodePage(codepage, utf8, out)) {
    case platform::CodePageResult::done:
      return out;
    case platform::CodePageResult::unsupported:
      throw StorageError(hresult::kTypeMismatch, "Texte in Codepage " + std::to_string(codepage) +
                                                     " können nicht geschrieben werden.");
    case platform::CodePageResult::unencodable:
      break;
  }
  throw StorageError(hresult::kTypeMismatch, "Der Text enthält Zeichen, die Codepage " + std::to_string(codepage) +
                                                 " nicht darstellen kann.");
}

}  // namespace fendrik::propset
