// The packed rows of the list: 24 texts each, of any length, changed and
// removed one at a time; and the filter boxes, which keep or remove the rows
// with a text in any letter case (the window's tests check the boxes' columns).
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "resultlist/ResultRows.h"
#include "resultlist/RowFilter.h"

namespace fendrik {
namespace {

TEST(ResultRows, KeepsTwentyFourTextsOfAnyLengthPerRow) {
  ResultRows rows;
  std::vector<std::string> texts;
  // Empty texts, texts beyond one and two length bytes, and more texts than columns.
  for (int k = 0; k < 30; ++k) texts.push_back(k % 3 == 0 ? "" : std::string(k * k * k * 4, 'a' + k % 26) + "äöü");
  rows.append(texts);
  rows.append({"/nur/zwei.par", "zwei"});
  ASSERT_EQ(rows.size(), 2u);
  for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(rows.text(0, k), texts[k]) << k;
  for (const auto& [row, column] : {std::pair{1, 2}, {1, 23}, {2, 0}, {0, 24}, {0, -1}})
    EXPECT_EQ(rows.text(row, column), "") << row << "/" << column;  // empty, or no such row or column

  rows.setText(1, 8, "3");
  rows.setText(1, 23, std::string(70000, 'x'));
  EXPECT_EQ(rows.text(1, 8), "3");
  EXPECT_EQ(rows.text(1, 1), "zwei");
  EXPECT_EQ(rows.text(1, 23).size(), 70000u);
  EXPECT_THROW(rows.setText(2, 0, "x"), std::out_of_range);
  EXPECT_THROW(rows.setText(0, 24, "x"), std::out_of_range);
  rows.remove(0);
  EXPECT_EQ(rows.text(0, 1), "zwei");
  EXPECT_THROW(rows.remove(1), std::out_of_range);
}

using Names = std::vector<std::string>;

TEST(RowFilter, KeepsOrRemovesTheMatchesInAnyLetterCaseInTheirOrder) {
  const Names latin{"xABCx", "abd", "Abc", "zzabc", "ab c", "ABC"};
  const Names german{"WELLE-ÄUSSERE", "welle-äußere", "Straße", "STRASSE", "STRAẞE", "𐐀x", "𐐨y", "plain"};
  const Names blanks{"a b", "ab", "a\tb", "  "};
  const struct {
    Names names;
    QString text;
    bool doesNotContain;
    Names left;
  } cases[] = {
      {latin, "abc", false, {"xABCx", "Abc", "zzabc", "ABC"}},
      {latin, "aBc", true, {"abd", "ab c"}},
      {german, QString::fromUtf8("ä"), false, {"WELLE-ÄUSSERE", "welle-äußere"}},
      // Capital sharp s folds to ß; "ss" is a different text.
      {german, QString::fromUtf8("ß"), false, {"welle-äußere", "Straße", "STRAẞE"}},
      {german, QString::fromUtf8("𐐨"), false, {"𐐀x", "𐐨y"}},  // beyond the Basic Multilingual Plane
      // The Kelvin sign folds to an ASCII k, so non-ASCII texts are folded too.
      {{"\u212Aopf", "kopf", "Topf"}, "K", false, {"\u212Aopf", "kopf"}},
      {blanks, " ", false, {"a b", "  "}},
      {blanks, "\t", true, {"a b", "ab", "  "}},
      {blanks, QString(100000, 'a'), false, {}},
      {{}, "q", true, {}},
  };
  for (const auto& c : cases) {
    // The file name (column 1) is filtered; the path (column 0) says which row it was.
    ResultRows rows;
    for (size_t i = 0; i < c.names.size(); ++i) rows.append({"/r" + std::to_string(i), c.names[i]});
    EXPECT_EQ(ApplyFilter(rows, 1, c.text, c.doesNotContain), c.left.size());
    Names left;
    for (size_t i = 0; i < rows.size(); ++i) left.emplace_back(rows.text(i, 1));
    EXPECT_EQ(left, c.left) << c.text.left(10).toStdString() << (c.doesNotContain ? " (not)" : "");
  }
}

}  // namespace
}  // namespace fendrik
