#include "properties/VisibleText.h"

#include "properties/propset/TextCodec.h"

namespace fendrik {
namespace {

bool IsHiddenCodePoint(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// Walks bytes as UTF-8 and calls plain(i, n) for a run of n bytes that stand
// as they are and hidden(i, n) for one byte or character that must be
// escaped.
template <typename Plain, typename Hidden>
void Walk(std::string_view bytes, Plain plain, Hidden hidden) {
  size_t i = 0;
  size_t runStart = 0;
  while (i < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x20 && byte < 0x7F) {
      ++i;
      continue;
    }
    size_t next = i;
    std::optional<char32_t> c = byte < 0x80 ? std::optional<char32_t>(byte) : propset::nextCodePoint(bytes, next);
    if (byte < 0x80) next = i + 1;
    if (c && !IsHiddenCodePoint(*c)) {
      i = next;
      continue;
    }
    if (runStart < i) plain(runStart, i - runStart);
    // A character made of several bytes is escaped byte by byte; a byte
    // that starts no character is escaped alone.
    const size_t length = c ? next - i : 1;
    hidden(i, length);
    i += length;
    runStart = i;
  }
  if (runStart < bytes.size()) plain(runStart, bytes.size() - runStart);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool NeedsEscapes(std::string_view bytes) {
  bool needs = false;
  Walk(bytes, [](size_t, size_t) {}, [&](size_t, size_t) { needs = true; });
  return needs;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  auto plain = [&](size_t start, size_t length) {
    for (char c : bytes.substr(start, length)) {
      if (c == '\\') out += '\\';
      out += c;
    }
  };
  auto hidden = [&](size_t start, size_t length) {
    for (size_t k = start; k < start + length; ++k) {
      const auto byte = static_cast<unsigned char>(bytes[k]);
      if (byte == '\t') {
        out += "\\t";
      } else if (byte == '\r') {
        out += "\\r";
      } else if (byte == '\n') {
        out += "\\n";
      } else {
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
      }
    }
  };
  Walk(bytes, plain, hidden);
}

std::string Escaped(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  AppendEscaped(out, bytes);
  return out;
}

std::optional<std::string> Unescaped(std::string_view escaped) {
  std::string out;
  out.reserve(escaped.size());
  for (size_t i = 0; i < escaped.size(); ++i) {
    if (escaped[i] != '\\') {
      out += escaped[i];
      continue;
    }
    if (++i >= escaped.size()) return std::nullopt;
    switch (escaped[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 'x': {
        if (escaped.size() - i < 3) return std::nullopt;
        const int high = HexValue(escaped[i + 1]);
        const int low = HexValue(escaped[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
        break;
      }
      default:
        return std::nullopt;
    }
  }
  return out;
}

std::string VisibleText(std::string_view bytes) {
  return NeedsEscapes(bytes) ? Escaped(bytes) : std::string(bytes);
}

}  // namespace fendrik
