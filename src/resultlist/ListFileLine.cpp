#include "resultlist/ListFileLine.h"

#include <string_view>

namespace fendrik {
namespace {

void AppendField(std::string& out, std::string_view text) {
  size_t start = out.size();
  out.append(text);
  for (size_t i = start; i < out.size(); ++i)
    if (out[i] == '\t' || out[i] == '\r' || out[i] == '\n') out[i] = ' ';
}

}  // namespace

void AppendListFileLine(std::string& out, const ResultRows& rows, size_t row) {
  // Field 1 is the key, which is always empty here.
  for (int column = 0; column < kColumnCount; ++column) {
    out += '\t';
    AppendField(out, rows.text(row, column));
  }
  out += "\r\n";
}

}  // namespace fendrik
