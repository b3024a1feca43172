#include "properties/propset/Fmtid.h"

#include <cstdio>
#include <stdexcept>

namespace fendrik::propset {
namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("bad FMTID text");
}

}  // namespace

Fmtid fmtidFromText(std::string_view text) {
  // The text lists Data1..Data4 most significant digit first; on disk the
  // first three fields are little-endian.
  std::array<uint8_t, 16> bigEndian{};
  size_t n = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-') continue;
    if (n >= 32 || i + 1 >= text.size()) throw std::invalid_argument("bad FMTID text");
    bigEndian[n / 2] = static_cast<uint8_t>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1]));
    n += 2;
    ++i;
  }
  if (n != 32) throw std::invalid_argument("bad FMTID text");
  constexpr int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  Fmtid id{};
  for (int i = 0; i < 16; ++i) id[i] = bigEndian[order[i]];
  return id;
}

std::string fmtidToText(const Fmtid& id) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X", id[3], id[2],
                id[1], id[0], id[5], id[4], id[7], id[6], id[8], id[9], id[10], id[11], id[12], id[13], id[14], id[15]);
  return buf;
}

}  // namespace fendrik::propset
