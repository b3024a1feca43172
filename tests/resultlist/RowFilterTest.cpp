// The filter boxes: a text found in any letter case, kept or removed.
#include "resultlist/RowFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fendrik {
namespace {

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

TEST(RowFilter, TwoFiltersNarrowStepByStepInTheirColumns) {
  ResultRows rows;
  rows.append({"/1", "", "", "", "", "", "", "", "", "Welle", "", "", "", "", "Alpha"});
  rows.append({"/2", "", "", "", "", "", "", "", "", "Welle", "", "", "", "", "Beta"});
  rows.append({"/3", "", "", "", "", "", "", "", "", "Flansch", "", "", "", "", "Alpha"});
  EXPECT_EQ(ApplyFilter(rows, 9, "well", false), 2u);
  EXPECT_EQ(ApplyFilter(rows, 14, "beta", true), 1u);
  EXPECT_EQ(ApplyFilter(rows, 14, "beta", true), 1u);  // again: nothing more to remove
  EXPECT_EQ(rows.text(0, 0), "/1");
  // The box under "Dokumenten-Nr." filters the document numbers, not the sizes beside them.
  EXPECT_EQ(FilterColumnOfBox(5), 6);
  EXPECT_EQ(FilterColumnOfBox(4), 4);
}

}  // namespace
}  // namespace fendrik
