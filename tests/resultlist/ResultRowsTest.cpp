// The packed rows of the list and the list-file line of a row.
#include "resultlist/ResultRows.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "resultlist/ListFileLine.h"

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

TEST(ListFileLine, KeyAndEveryColumnSeparatedByTabsWithTabsAndLineBreaksMadeBlanks) {
  ResultRows rows;
  rows.append({"/d/welle.par", "welle", "par", "/d"});
  rows.append({"/d/x.par", "A\tB", "", "line one\r\nline two", "\n"});
  rows.append(std::vector<std::string>{});
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) AppendListFileLine(out, rows, row);
  const std::string tail(20, '\t');
  EXPECT_EQ(out, "\t/d/welle.par\twelle\tpar\t/d" + tail + "\r\n" +  //
                     "\t/d/x.par\tA B\t\tline one  line two\t " + tail.substr(1) + "\r\n" + std::string(24, '\t') + "\r\n");
}

}  // namespace
}  // namespace fendrik
