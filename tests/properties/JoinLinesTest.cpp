#include <gtest/gtest.h>

#include "properties/PropertyReader.h"

using fendrik::JoinLines;

TEST(JoinLines, ReplacesEachCrLfPair) {
  EXPECT_EQ(JoinLines("erste\r\nzweite"), "erste, zweite");
  EXPECT_EQ(JoinLines("Ende\r\n"), "Ende, ");
  EXPECT_EQ(JoinLines("a\r\n\r\nb"), "a, , b");
  EXPECT_EQ(JoinLines("\r\r\n\n"), "\r, \n");
  EXPECT_EQ(JoinLines("nur LF\nbleibt"), "nur LF\nbleibt");
  EXPECT_EQ(JoinLines("nur CR\rbleibt"), "nur CR\rbleibt");
  EXPECT_EQ(JoinLines("  Blanks bleiben  "), "  Blanks bleiben  ");
  EXPECT_EQ(JoinLines(""), "");
}

TEST(JoinLines, LongTextsHaveNoLengthLimit) {
  std::string plain(70000, 'x');
  EXPECT_EQ(JoinLines(plain), plain);

  // 40,000 characters with a line break every 100: joined, not emptied.
  std::string comment, joined;
  for (int i = 0; i < 400; ++i) {
    comment += std::string(98, 'a' + i % 26) + "\r\n";
    joined += std::string(98, 'a' + i % 26) + ", ";
  }
  ASSERT_EQ(comment.size(), 40000u);
  EXPECT_EQ(JoinLines(comment), joined);

  // Many pairs in a long text stay fast (linear): half a million pairs.
  std::string many;
  for (int i = 0; i < 500000; ++i) many += "\r\n";
  EXPECT_EQ(JoinLines(many).size(), many.size());
}
