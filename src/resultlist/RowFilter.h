#pragma once

#include <QString>
#include <QStringMatcher>
#include <cstddef>
#include <string_view>

#include "resultlist/ResultRows.h"

namespace fendrik {

// The column that filter box k filters. Box k filters column k, except the
// box under "Dokumenten-Nr." (index 5): it filters the document numbers of
// column 6, not the file sizes of column 5.
int FilterColumnOfBox(int box);

// Finds a part in texts with letter case ignored for every letter: both
// sides are compared case-folded (umlauts, ß, letters outside the Basic
// Multilingual Plane). The part is folded once; texts of ASCII letters only
// are compared without building a folded copy, other texts are folded a
// piece at a time (a text of millions of characters takes milliseconds).
class TextMatcher {
 public:
  explicit TextMatcher(const QString& part);
  // The text is UTF-8.
  bool foundIn(std::string_view text) const;

 private:
  QString folded_;
  QStringMatcher matcher_;  // finds folded_ in folded text
  std::string asciiFolded_;  // the folded part when it is ASCII only
  bool asciiPart_ = false;
};

// True when part occurs in text, letter case ignored (see TextMatcher).
bool ContainsText(std::string_view text, const QString& part);

// Removes, in one pass, the rows whose text in column does not contain the
// filter text (contains mode) or does contain it (doesNotContain). The
// other rows keep their order. Gives the number of rows left.
size_t ApplyFilter(ResultRows& rows, int column, const QString& filterText, bool doesNotContain);

}  // namespace fendrik
