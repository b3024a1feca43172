#include "properties/cfb/Names.h"

#include <cstdio>

#include "properties/propset/TextCodec.h"

namespace fendrik::cfb {

// Simple upper-case mapping of one character for the scripts that occur in
// document and property names (Latin with its supplement and Extended-A, Greek,
// Cyrillic); other characters stay as they are.
char32_t upperCase(char32_t c) {
  if (c >= U'a' && c <= U'z') return c - 0x20;
  if (c < 0x80) return c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
    // Latin Extended-A pairs: even = upper, odd = lower, except the ranges
    // 0x139..0x148 and 0x179..0x17E where odd is upper.
    bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    bool isLower = oddUpper ? (c % 2 == 0) : (c % 2 == 1);
    return isLower ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;  // final sigma has no capital of its own
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

int compareNames(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  for (size_t i = 0; i < a.size(); ++i) {
    const char32_t x = upperCase(a[i]);
    const char32_t y = upperCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::string printableName(std::u16string_view name) {
  std::string shown;
  for (char c : propset::utf16ToUtf8(name)) {
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\%03o", static_cast<unsigned>(c));
      shown += buf;
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace fendrik::cfb
