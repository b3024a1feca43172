#include "resultlist/RowFilter.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "properties/propset/TextCodec.h"
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

TextMatcher::TextMatcher(const QString& part) : folded_(part.toCaseFolded()), matcher_(folded_) {
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
  // The text is folded a piece at a time into a window that keeps the end
  // of the piece before, so that a match across two pieces is found too; a
  // long text is never copied whole, and the search stops at the first
  // match. Folding one character at a time is what QString::toCaseFolded
  // does, there for the whole text at once and several times slower.
  // A byte gives at most one UTF-16 unit, so a short text needs a short window.
  const size_t piece = std::min<size_t>(16384, text.size());
  const size_t keep = static_cast<size_t>(folded_.size()) - 1;
  std::vector<char16_t> window(keep + piece + 2);
  size_t filled = 0;
  size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && filled < keep + piece) {
      const auto byte = static_cast<unsigned char>(text[at]);
      if (byte < 0x80) {
        window[filled++] = static_cast<char16_t>(AsciiFold(static_cast<char>(byte)));
        ++at;
        continue;
      }
      const std::optional<char32_t> c = propset::nextCodePoint(text, at);
      if (!c) ++at;  // a byte that starts no character reads as U+FFFD
      const char32_t folded = c ? QChar::toCaseFolded(*c) : char32_t{QChar::ReplacementCharacter};
      if (QChar::requiresSurrogates(folded)) {
        window[filled++] = QChar::highSurrogate(folded);
        window[filled++] = QChar::lowSurrogate(folded);
      } else {
        window[filled++] = static_cast<char16_t>(folded);
      }
    }
    if (matcher_.indexIn(QStringView(window.data(), static_cast<qsizetype>(filled))) >= 0) return true;
    const size_t kept = std::min(keep, filled);
    std::copy(window.begin() + static_cast<std::ptrdiff_t>(filled - kept),
              window.begin() + static_cast<std::ptrdiff_t>(filled), window.begin());
    filled = kept;
  }
  return false;
}

bool ContainsText(std::string_view text, const QString& part) { return TextMatcher(part).foundIn(text); }

size_t ApplyFilter(ResultRows& rows, int column, const QString& filterText, bool doesNotContain) {
  if (column < 0 || column >= kColumnCount) return rows.size();
  const TextMatcher matcher(filterText);
  rows.removeRows([&](size_t row) { return matcher.foundIn(rows.text(row, column)) == doesNotContain; });
  return rows.size();
}

}  // namespace fendrik
