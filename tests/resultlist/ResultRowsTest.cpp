// The packed rows of the list: 24 texts each, of any length, changed and
// removed one at a time.
#include "resultlist/ResultRows.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

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

}  // namespace
}  // namespace fendrik
