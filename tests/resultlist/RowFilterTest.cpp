#include "resultlist/RowFilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace fendrik {
namespace {

// Rows whose file name (column 1) is given; the path (column 0) says which
// row it was.
ResultRows Named(const std::vector<std::string>& names) {
  ResultRows rows;
  for (size_t i = 0; i < names.size(); ++i) rows.append({"/r" + std::to_string(i), names[i]});
  return rows;
}

std::vector<std::string> Names(const ResultRows& rows) {
  std::vector<std::string> names;
  for (size_t i = 0; i < rows.size(); ++i) names.emplace_back(rows.text(i, 1));
  return names;
}

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

// The names left after one filter over rows with these names.
std::vector<std::string> Filtered(const std::vector<std::string>& names, const QString& text, bool doesNotContain) {
  ResultRows rows = Named(names);
  ApplyFilter(rows, 1, text, doesNotContain);
  return Names(rows);
}

TEST(RowFilter, ContainsKeepsMatchesInAnyLetterCaseInTheirOrder) {
  ResultRows rows = Named({"xABCx", "abd", "Abc", "zzabc", "ab c", "ABC"});
  EXPECT_EQ(ApplyFilter(rows, 1, "abc", false), 4u);
  EXPECT_EQ(Names(rows), (std::vector<std::string>{"xABCx", "Abc", "zzabc", "ABC"}));
}

TEST(RowFilter, DoesNotContainRemovesExactlyTheMatches) {
  ResultRows rows = Named({"xABCx", "abd", "Abc", "zzabc", "ab c"});
  EXPECT_EQ(ApplyFilter(rows, 1, "aBc", true), 2u);
  EXPECT_EQ(Names(rows), (std::vector<std::string>{"abd", "ab c"}));
}

TEST(RowFilter, UmlautsSharpSAndLettersBeyondTheBmpIgnoreCase) {
  const std::vector<std::string> names = {"WELLE-ÄUSSERE", "welle-äußere", "Straße", "STRASSE", "STRAẞE", "𐐀x", "𐐨y", "plain"};
  EXPECT_EQ(Filtered(names, U("ä"), false),
            (std::vector<std::string>{"WELLE-ÄUSSERE", "welle-äußere"}));
  // Capital sharp s folds to ß; "ss" is a different text.
  EXPECT_EQ(Filtered(names, U("ß"), false),
            (std::vector<std::string>{"welle-äußere", "Straße", "STRAẞE"}));
  EXPECT_EQ(Filtered(names, U("𐐨"), false),
            (std::vector<std::string>{"𐐀x", "𐐨y"}));
  // The Kelvin sign folds to an ASCII k, so non-ASCII texts are folded too.
  ResultRows kelvin = Named({"\u212Aopf", "kopf", "Topf"});
  EXPECT_EQ(ApplyFilter(kelvin, 1, "K", false), 2u);
}

TEST(RowFilter, BlanksTabsAndLongTextsAreFilterTextsLikeAnyOther) {
  const std::vector<std::string> names = {"a b", "ab", "a\tb", "  "};
  EXPECT_EQ(Filtered(names, " ", false),
            (std::vector<std::string>{"a b", "  "}));
  EXPECT_EQ(Filtered(names, "\t", true),
            (std::vector<std::string>{"a b", "ab", "  "}));
  ResultRows r = Named(names);
  EXPECT_EQ(ApplyFilter(r, 1, QString(100000, 'a'), false), 0u);
}

TEST(RowFilter, NoMatchEmptiesTheListAndAnEmptyListStaysEmpty) {
  ResultRows rows = Named({"a", "b"});
  EXPECT_EQ(ApplyFilter(rows, 1, "q", false), 0u);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(ApplyFilter(rows, 1, "q", true), 0u);
}

TEST(RowFilter, TwoFiltersNarrowStepByStepAndRepeatingOneRemovesNothingMore) {
  ResultRows rows;
  rows.append({"/1", "", "", "", "", "", "", "", "", "Welle", "", "", "", "", "Alpha"});
  rows.append({"/2", "", "", "", "", "", "", "", "", "Welle", "", "", "", "", "Beta"});
  rows.append({"/3", "", "", "", "", "", "", "", "", "Flansch", "", "", "", "", "Alpha"});
  EXPECT_EQ(ApplyFilter(rows, 9, "well", false), 2u);
  EXPECT_EQ(ApplyFilter(rows, 14, "beta", true), 1u);
  EXPECT_EQ(ApplyFilter(rows, 14, "beta", true), 1u);
  EXPECT_EQ(rows.text(0, 0), "/1");
}

TEST(RowFilter, TheDocumentNumberBoxFiltersDocumentNumbers) {
  EXPECT_EQ(FilterColumnOfBox(5), 6);
  for (int box : {1, 2, 3, 4, 8, 9, 10, 11, 12, 13, 14}) EXPECT_EQ(FilterColumnOfBox(box), box);
}

TEST(RowFilter, RemoveRowsDecidesOnTheRowsAsTheyWere) {
  ResultRows rows = Named({"a", "b", "c", "d", "e"});
  std::vector<size_t> seen;
  EXPECT_EQ(rows.removeRows([&](size_t row) {
    seen.push_back(row);
    return rows.text(row, 1) == "b" || rows.text(row, 1) == "e";
  }), 2u);
  EXPECT_EQ(seen, (std::vector<size_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(Names(rows), (std::vector<std::string>{"a", "c", "d"}));
}

}  // namespace
}  // namespace fendrik
