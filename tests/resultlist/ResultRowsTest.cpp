// The packed rows of the list: 24 texts each, changed and removed one at a time.
#include "resultlist/ResultRows.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace fendrik {
namespace {

TEST(ResultRows, KeepsTwentyFourTextsPerRowAndChangesOneAtATime) {
  ResultRows rows;
  std::vector<std::string> texts;
  for (int k = 0; k < 30; ++k) texts.push_back(k % 3 == 0 ? "" : "Spalte " + std::to_string(k) + " äöü");
  rows.append(texts);
  rows.append({"/nur/zwei.par", "zwei"});
  ASSERT_EQ(rows.size(), 2u);
  for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(rows.text(0, k), texts[k]) << k;
  EXPECT_EQ(rows.text(1, 1), "zwei");
  EXPECT_EQ(rows.text(1, 23), "");
  EXPECT_EQ(rows.text(2, 0), "");   // no such row
  EXPECT_EQ(rows.text(0, 24), "");  // no such column
  EXPECT_EQ(rows.text(0, -1), "");

  rows.setText(1, 8, "3");
  rows.setText(1, 23, std::string(70000, 'x'));  // far beyond 16-bit lengths
  EXPECT_EQ(rows.text(1, 8), "3");
  EXPECT_EQ(rows.text(1, 1), "zwei");
  EXPECT_EQ(rows.text(1, 0), "/nur/zwei.par");
  EXPECT_EQ(rows.text(1, 23).size(), 70000u);
  EXPECT_THROW(rows.setText(2, 0, "x"), std::out_of_range);
  EXPECT_THROW(rows.setText(0, 24, "x"), std::out_of_range);

  rows.remove(0);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows.text(0, 1), "zwei");
  EXPECT_THROW(rows.remove(1), std::out_of_range);
}

}  // namespace
}  // namespace fendrik
