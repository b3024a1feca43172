#include <windows.h>

#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "properties/platform/CodePages.h"

// Windows converts a code page through UTF-16: MultiByteToWideChar and
// WideCharToMultiByte. Where it differs from iconv it is brought in line here:
// - Bytes a code page leaves undefined come back as U+FFFD, one per byte,
//   going on with the next byte. Windows refuses whole strings
//   (MB_ERR_INVALID_CHARS), so after a refusal the bytes are converted one
//   character at a time; and it passes some undefined bytes through as C1
//   controls or private-use characters (0x81 of code page 1252 becomes
//   U+0081, 0x80 of 932 U+0080), which count as undefined too, as for
//   iconv. Only the user-defined area of 932 (F040 to F9FC) is private use
//   on both systems.
// - A character without a form in the code page is refused, never replaced
//   by the default character or a look-alike (WC_NO_BEST_FIT_CHARS); what is
//   written must also read back as the same text.
// - UTF-16BE (1201) and ASCII (20127), which Windows does not convert for
//   programs like this one or converts loosely, are done here.

namespace fendrik::platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

// Code pages for which Windows takes neither MB_ERR_INVALID_CHARS nor
// WC_NO_BEST_FIT_CHARS: their flags must be 0.
bool TakesNoFlags(uint16_t codePage) {
  switch (codePage) {
    case 42:
    case 50220:
    case 50221:
    case 50222:
    case 50225:
    case 50227:
    case 50229:
    case 65000:
      return true;
    default:
      return codePage >= 57002 && codePage <= 57011;
  }
}

// The numbers Windows takes for "the code page of this system" (CP_ACP,
// CP_OEMCP, CP_MACCP, CP_THREAD_ACP) and the Symbol font's code page: a
// document's number means none of them, and iconv knows none of them.
bool IsPseudoCodePage(uint16_t codePage) { return codePage <= 3 || codePage == 42; }

bool IsIso8859(uint16_t codePage) { return codePage >= 28591 && codePage <= 28606; }

// Whether Windows gives `c` for bytes the code page does not define: a C1
// control or a private-use character. Not in UTF-8 and GB18030, which define
// every character; C1 controls are characters of the ISO 8859 code pages.
bool PassedThrough(uint16_t codePage, wchar_t c) {
  if (codePage == CP_UTF8 || codePage == 54936) return false;
  if (c >= 0x80 && c <= 0x9F) return !IsIso8859(codePage);
  return c >= 0xE000 && c <= 0xF8FF && codePage != 932;
}

constexpr char kReplacementUtf8[] = "\xEF\xBF\xBD";

// UTF-16 units as UTF-8 (the system's conversion: a lone surrogate becomes
// U+FFFD).
void AppendUtf16(std::string& out, const wchar_t* units, size_t count) {
  if (count == 0 || count > static_cast<size_t>(INT_MAX) / 4) return;
  const int n = static_cast<int>(count);
  const int length = WideCharToMultiByte(CP_UTF8, 0, units, n, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return;
  const size_t start = out.size();
  out.resize(start + static_cast<size_t>(length));
  WideCharToMultiByte(CP_UTF8, 0, units, n, out.data() + start, length, nullptr, nullptr);
}

// Well-formed UTF-8 as UTF-16 (the system's own conversion; the caller has
// checked the text).
std::wstring Wide(std::string_view utf8) {
  std::wstring wide;
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX) / 2) return wide;
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  if (length <= 0) return wide;
  wide.resize(static_cast<size_t>(length));
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

// The UTF-16 text of `count` bytes when all of them are defined; empty with
// false otherwise.
bool DecodeDefined(uint16_t codePage, const uint8_t* bytes, size_t count, std::wstring& wide) {
  wide.clear();
  if (count > static_cast<size_t>(INT_MAX)) return false;  // the system counts in int
  const DWORD flags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
  const auto* in = reinterpret_cast<const char*>(bytes);
  const int length = MultiByteToWideChar(codePage, flags, in, static_cast<int>(count), nullptr, 0);
  if (length <= 0) return false;
  wide.resize(static_cast<size_t>(length));
  if (MultiByteToWideChar(codePage, flags, in, static_cast<int>(count), wide.data(), length) != length) return false;
  if (TakesNoFlags(codePage)) return true;
  for (wchar_t c : wide)
    if (PassedThrough(codePage, c)) return false;
  return true;
}

// One character at a time from `bytes[i]`: the shortest piece the code page
// defines, or U+FFFD for the byte.
void DecodeByCharacter(uint16_t codePage, const CPINFOEXW& info, std::span<const uint8_t> bytes, std::string& utf8) {
  std::wstring wide;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t shortest = 1;
    size_t longest = std::min<size_t>(info.MaxCharSize, bytes.size() - i);
    if (info.MaxCharSize == 2) {
      bool lead = false;
      for (size_t r = 0; r + 1 < MAX_LEADBYTES && info.LeadByte[r] != 0; r += 2)
        lead = lead || (bytes[i] >= info.LeadByte[r] && bytes[i] <= info.LeadByte[r + 1]);
      shortest = longest = lead ? 2 : 1;
    }
    bool found = false;
    for (size_t length = shortest; length <= longest && i + length <= bytes.size() && !found; ++length) {
      if (DecodeDefined(codePage, bytes.data() + i, length, wide)) {
        AppendUtf16(utf8, wide.data(), wide.size());
        i += length;
        found = true;
      }
    }
    if (!found) {
      utf8 += kReplacementUtf8;
      ++i;
    }
  }
}

// UTF-16BE as iconv reads it: a unit that is incomplete or a surrogate
// without its partner gives U+FFFD for its first byte.
void DecodeUtf16BigEndian(std::span<const uint8_t> bytes, std::string& utf8) {
  auto unit = [&](size_t at) { return static_cast<wchar_t>((bytes[at] << 8) | bytes[at + 1]); };
  auto isHigh = [](wchar_t u) { return u >= 0xD800 && u <= 0xDBFF; };
  auto isLow = [](wchar_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
  std::wstring wide;
  size_t i = 0;
  while (i < bytes.size()) {
    const wchar_t first = i + 2 <= bytes.size() ? unit(i) : wchar_t{0xDC00};
    if (!isHigh(first) && !isLow(first)) {
      wide += first;
      i += 2;
    } else if (isHigh(first) && i + 4 <= bytes.size() && isLow(unit(i + 2))) {
      wide += first;
      wide += unit(i + 2);
      i += 4;
    } else {
      wide += kReplacement;
      ++i;
    }
  }
  AppendUtf16(utf8, wide.data(), wide.size());
}

}  // namespace

std::string CodePageName(uint16_t codePage) { return "Codepage " + std::to_string(codePage); }

bool CodePageSupported(uint16_t codePage) {
  if (codePage == 1201 || codePage == 20127) return true;
  if (IsPseudoCodePage(codePage)) return false;
  if (IsValidCodePage(codePage) == FALSE) return false;
  // Some code pages are valid for the system but not converted for programs
  // (the EUC code pages of the multi-language library): try one letter.
  std::vector<uint8_t> bytes;
  std::string text;
  return EncodeCodePage(codePage, "A", bytes) == CodePageResult::done &&
         DecodeCodePage(codePage, bytes, text) == CodePageResult::done && text == "A";
}

bool DetectsInvalidBytes(uint16_t codePage) { return !TakesNoFlags(codePage); }

CodePageResult DecodeCodePage(uint16_t codePage, std::span<const uint8_t> bytes, std::string& utf8) {
  if (IsPseudoCodePage(codePage)) return CodePageResult::unsupported;
  if (codePage == 1201) {
    DecodeUtf16BigEndian(bytes, utf8);
    return CodePageResult::done;
  }
  if (codePage == 20127) {
    for (uint8_t b : bytes) {
      if (b < 0x80)
        utf8 += static_cast<char>(b);
      else
        utf8 += kReplacementUtf8;
    }
    return CodePageResult::done;
  }
  CPINFOEXW info{};
  if (GetCPInfoExW(codePage, 0, &info) == FALSE) return CodePageResult::unsupported;
  if (bytes.empty()) return CodePageResult::done;
  std::wstring wide;
  if (DecodeDefined(codePage, bytes.data(), bytes.size(), wide) || TakesNoFlags(codePage)) {
    if (wide.empty()) return CodePageResult::unsupported;  // the system has no table for it
    AppendUtf16(utf8, wide.data(), wide.size());
    return CodePageResult::done;
  }
  DecodeByCharacter(codePage, info, bytes, utf8);
  return CodePageResult::done;
}

CodePageResult EncodeCodePage(uint16_t codePage, std::string_view utf8, std::vector<uint8_t>& bytes) {
  if (IsPseudoCodePage(codePage)) return CodePageResult::unsupported;
  if (utf8.size() > static_cast<size_t>(INT_MAX) / 2) return CodePageResult::unencodable;  // counts are int
  if (codePage == 1201) {
    for (wchar_t unit : Wide(utf8)) {
      bytes.push_back(static_cast<uint8_t>(unit >> 8));
      bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    }
    return CodePageResult::done;
  }
  if (codePage == 20127) {
    for (char c : utf8) {
      if (static_cast<unsigned char>(c) >= 0x80) return CodePageResult::unencodable;
      bytes.push_back(static_cast<uint8_t>(c));
    }
    return CodePageResult::done;
  }
  CPINFOEXW info{};
  if (GetCPInfoExW(codePage, 0, &info) == FALSE) return CodePageResult::unsupported;
  if (utf8.empty()) return CodePageResult::done;
  const std::wstring wide = Wide(utf8);
  // UTF-8 and GB18030 hold every character; the system takes no default
  // character for them.
  const bool everyCharacter = codePage == CP_UTF8 || codePage == 54936;
  const DWORD flags = TakesNoFlags(codePage) || everyCharacter ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* usedDefaultOut = TakesNoFlags(codePage) || everyCharacter ? nullptr : &usedDefault;
  const int length =
      WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return CodePageResult::unencodable;
  std::string encoded(static_cast<size_t>(length), '\0');
  if (WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), encoded.data(), length, nullptr,
                          usedDefaultOut) != length ||
      usedDefault)
    return CodePageResult::unencodable;
  // What is written must read back as the text: no look-alike, and nothing
  // the reading would take for an undefined byte.
  std::string back;
  DecodeCodePage(codePage, std::span(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size()), back);
  if (back != utf8) return CodePageResult::unencodable;
  bytes.insert(bytes.end(), encoded.begin(), encoded.end());
  return CodePageResult::done;
}

}  // namespace fendrik::platform
