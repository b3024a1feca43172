#include "resultlist/RowFilter.h"

#include <algorithm>

#include "resultlist/Columns.h"

namespace fendrik {

namespace {
constexpr int kDocumentNumberBox = 5;
constexpr int kDocumentNumberColumn = 6;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiFold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

int FilterColumnOfBox(int box) { return box == kDocumentNumberBox ? kDocumentNumberColumn : box; }

TextMatcher::TextMatcher(const QString& part) : folded_(part.toCaseFolded()) {
  const QByteArray utf8 = folded_.toUtf8();
  asciiPart_ = IsAscii(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
  if (asciiPart_) asciiFolded_.assign(utf8.constData(), static_cast<size_t>(utf8.size()));
}

bool TextMatcher::foundIn(std::string_view text) const {
  if (folded_.isEmpty()) return true;
  if (IsAscii(text)) {
    // Folding keeps ASCII texts ASCII, so a part with other characters
    // cannot occur in them.
    if (!asciiPart_) return false;
    auto at = std::search(text.begin(), text.end(), asciiFolded_.begin(), asciiFolded_.end(),
                          [](char a, char b) { return AsciiFold(a) == b; });
    return at != text.end();
  }
  const QString full = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toCaseFolded();
  return full.contains(folded_);
}

bool ContainsText(std::string_view text, const QString& part) { return TextMatcher(part).foundIn(text); }

size_t ApplyFilter(ResultRows& rows, int column, const QString& filterText, bool doesNotContain) {
  if (column < 0 || column >= kColumnCount) return rows.size();
  const TextMatcher matcher(filterText);
  rows.removeRows([&](size_t row) { return matcher.foundIn(rows.text(row, column)) == doesNotContain; });
  return rows.size();
}

}  // namespace fendrik
