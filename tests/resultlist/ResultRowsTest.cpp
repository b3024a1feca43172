#include "resultlist/ResultRows.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace fendrik {
namespace {

TEST(ResultRows, KeepsTwentyFourTextsPerRowExactly) {
  ResultRows rows;
  std::vector<std::string> texts;
  for (int k = 0; k < 30; ++k) texts.push_back(k % 3 == 0 ? "" : "Spalte " + std::to_string(k) + " äöü");
  rows.append(texts);
  rows.append({"/nur/zwei.par", "zwei"});
  ASSERT_EQ(rows.size(), 2u);
  for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(rows.text(0, k), texts[k]) << k;
  EXPECT_EQ(rows.text(1, 1), "zwei");
  EXPECT_EQ(rows.text(1, 2), "");
  EXPECT_EQ(rows.text(1, 23), "");
  EXPECT_EQ(rows.text(2, 0), "");   // no such row
  EXPECT_EQ(rows.text(0, 24), "");  // no such column
  EXPECT_EQ(rows.text(0, -1), "");
}

TEST(ResultRows, ChangingOneTextLeavesTheOthers) {
  ResultRows rows;
  rows.append({"/a.par", "a", "par", "/", "", "", "", "", "0", "Titel"});
  rows.setText(0, 8, "3");
  rows.setText(0, 23, std::string(70000, 'x'));  // far beyond 16-bit lengths
  EXPECT_EQ(rows.text(0, 8), "3");
  EXPECT_EQ(rows.text(0, 9), "Titel");
  EXPECT_EQ(rows.text(0, 0), "/a.par");
  EXPECT_EQ(rows.text(0, 23).size(), 70000u);
  EXPECT_THROW(rows.setText(1, 0, "x"), std::out_of_range);
  EXPECT_THROW(rows.setText(0, 24, "x"), std::out_of_range);
}

TEST(ResultRows, RemovesByPositionAndSortsStablyAsText) {
  ResultRows rows;
  rows.append({"1", "b", "x"});
  rows.append({"2", "a", "x"});
  rows.append({"3", "b", "y"});
  rows.append({"4", "10", "y"});
  rows.sortByColumn(1, true);
  // Text order: "10" before "a" before "b"; equal texts keep their order.
  EXPECT_EQ(rows.text(0, 0), "4");
  EXPECT_EQ(rows.text(1, 0), "2");
  EXPECT_EQ(rows.text(2, 0), "1");
  EXPECT_EQ(rows.text(3, 0), "3");
  rows.sortByColumn(1, false);
  EXPECT_EQ(rows.text(0, 0), "1");
  EXPECT_EQ(rows.text(1, 0), "3");
  EXPECT_EQ(rows.text(3, 0), "4");
  rows.remove(1);
  EXPECT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows.text(1, 0), "2");
  EXPECT_THROW(rows.remove(3), std::out_of_range);
}

TEST(ResultRows, HoldsMoreRowsThanA16BitCounter) {
  ResultRows rows;
  for (int i = 0; i < 40000; ++i) rows.append({std::to_string(i)});
  EXPECT_EQ(rows.size(), 40000u);
  EXPECT_EQ(rows.text(39999, 0), "39999");
  EXPECT_GT(rows.bytesUsed(), 40000u);
}

}  // namespace
}  // namespace fendrik
