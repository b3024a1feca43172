#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "resultlist/ListFileLine.h"

namespace fendrik {
namespace {

TEST(ListFileLine, KeyItemTextAndEveryColumnSeparatedByTabs) {
  ResultRows rows;
  rows.append({"/d/welle.par", "welle", "par", "/d"});
  rows.append({"/d/b.asm", "b", "asm"});
  rows.append(std::vector<std::string>{});
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) AppendListFileLine(out, rows, row);

  std::string tail(20, '\t');
  EXPECT_EQ(out, "\t/d/welle.par\twelle\tpar\t/d" + tail + "\r\n" +  //
                     "\t/d/b.asm\tb\tasm\t" + tail + "\r\n" +     //
                     std::string(24, '\t') + "\r\n");
}

TEST(ListFileLine, TabsAndLineBreaksInsideTextsBecomeBlanks) {
  ResultRows rows;
  rows.append({"/d/x.par", "x", "par", "", "", "", "A\tB", "", "", "line one\r\nline two", "\n"});
  std::string out;
  AppendListFileLine(out, rows, 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\t'), 24);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\r'), 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
  EXPECT_TRUE(out.ends_with("\r\n"));
  EXPECT_NE(out.find("\tA B\t"), std::string::npos);
  EXPECT_NE(out.find("\tline one  line two\t \t"), std::string::npos);
}

}  // namespace
}  // namespace fendrik
