// The order of the list's sorts: locale collation, letter case ignored,
// digits as text, equal texts in their old order.
#include "resultlist/TextOrder.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <string>
#include <vector>

#include "resultlist/ResultRows.h"

namespace fendrik {
namespace {

using Strings = std::vector<std::string>;

class TextOrderIn : public ::testing::TestWithParam<QLocale> {
 protected:
  void SetUp() override { QLocale::setDefault(GetParam()); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// The names sorted, each with its position before, so the stable order of equal names shows.
Strings SortedNames(const Strings& names, bool ascending) {
  ResultRows rows;
  for (size_t k = 0; k < names.size(); ++k) rows.append({std::to_string(k), names[k]});
  rows.sortByColumn(kFileNameColumn, ascending);
  Strings order;
  for (size_t k = 0; k < rows.size(); ++k) order.push_back(std::string(rows.text(k, 1)) + "#" + std::string(rows.text(k, 0)));
  return order;
}

TEST_P(TextOrderIn, MixedCaseAndUmlautsSortAsAPersonReadsAndDigitsAsText) {
  const Strings names{"Zahnrad", "welle", "Äpfel", "WELLE", "apfel", "Apfel", "Welle", "ärger"};
  EXPECT_EQ(SortedNames(names, true),
            (Strings{"apfel#4", "Apfel#5", "Äpfel#2", "ärger#7", "welle#1", "WELLE#3", "Welle#6", "Zahnrad#0"}));
  // Descending turns the order round, but equal names keep their scan order.
  EXPECT_EQ(SortedNames(names, false),
            (Strings{"Zahnrad#0", "welle#1", "WELLE#3", "Welle#6", "ärger#7", "Äpfel#2", "apfel#4", "Apfel#5"}));
  // The size column is right-aligned in 15 characters, the date column has a fixed width.
  TextOrder order;
  for (const auto& [a, b] : {std::pair{"10", "9"}, {"Teil 10", "Teil 9"}, {"            999", "          1.000"},
                             {"2007.03.15 14:05:09", "2007.11.01 08:00:00"}, {"", "a"}})
    EXPECT_LT(order.compare(a, b), 0) << a << " / " << b;
}

// A list long enough that the keys are made by several threads sorts exactly
// as comparing one pair at a time says, stably, in both directions: the keys
// order as compare() does.
TEST_P(TextOrderIn, LongListsSortAsPairwiseComparisonSays) {
  const Strings stems{"welle", "WELLE", "Äpfel", "apfel", "Zahnrad", "ärger", "Teil 10", "Teil 9", "",
                      "ß", "ss", " x", "x-y", "xy", "Ölpumpe", "9"};
  Strings names;
  for (size_t k = 0; k < 70000; ++k) names.push_back(stems[(k * 7919) % stems.size()] + std::to_string(k % 13));
  TextOrder order;
  for (bool ascending : {true, false}) {
    const Strings sorted = SortedNames(names, ascending);
    ASSERT_EQ(sorted.size(), names.size());
    for (size_t k = 1; k < sorted.size(); ++k) {
      const std::string &a = sorted[k - 1], &b = sorted[k];
      const size_t aHash = a.rfind('#'), bHash = b.rfind('#');
      const int c = order.compare(a.substr(0, aHash), b.substr(0, bHash)) * (ascending ? 1 : -1);
      ASSERT_TRUE(c < 0 || (c == 0 && std::stoul(a.substr(aHash + 1)) < std::stoul(b.substr(bHash + 1))))
          << a << " before " << b;
    }
  }
}

// The "C" locale of a system without a language setting still puts "Äpfel"
// beside "Apfel" and not after "z".
INSTANTIATE_TEST_SUITE_P(Locales, TextOrderIn,
                         ::testing::Values(QLocale(QLocale::German, QLocale::Germany), QLocale::c()),
                         [](const auto& info) { return info.index == 0 ? std::string("German") : std::string("C"); });

}  // namespace
}  // namespace fendrik
