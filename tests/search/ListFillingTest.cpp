// Filling the list from a scan of real documents, one document at a time as
// the search runs it with one reader.
#include "search/ListFilling.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "TempFolder.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

FillOptions OneAtATime(bool sortedByName) {
  FillOptions options;
  options.jobs = 1;
  options.sortedByName = sortedByName;
  return options;
}

class RealSampleListFilling : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
  TempFolder temp;
};

TEST_F(RealSampleListFilling, OneRowPerFileEntryWithFactsAndProperties) {
  const std::string body = temp.copy(fs::path(FENDRIK_REAL_SAMPLES) / "Connecting-Rod/body.par").string();
  // 2021-03-04 05:06:07 UTC.
  const struct timespec times[2] = {{1614834367, 0}, {1614834367, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, body.c_str(), times, 0), 0);
  // A German size text made here, not by the code under test.
  std::string size = std::to_string(fs::file_size(body));
  for (int at = static_cast<int>(size.size()) - 3; at > 0; at -= 3) size.insert(static_cast<size_t>(at), ".");
  size.insert(0, 15 - size.size(), ' ');
  const std::string junk = temp.file("cad/Notiz.txt.PAR", "not a compound file");
  const std::string missing = temp.str() + "/cad/gone.Asm";
  const ScanList scan{">>" + temp.str() + "/cad/sub", "    " + body, "    " + missing, ">>/x", "    " + junk};
  ResultRows rows;
  rows.append({"left over from before"});
  ASSERT_EQ(FillResultRows(scan, OneAtATime(false), rows), 3U);
  ASSERT_EQ(rows.size(), 3U);

  // A real document: file facts and the properties read from it ("Status",
  // "Titel", "Autor"); the sheet columns stay empty.
  const std::pair<int, std::string> facts[] = {{0, body},  {1, "body"}, {2, "par"}, {3, temp.str()},
                                               {4, "2021.03.04 05:06:07"}, {5, size}, {8, "0"}, {9, "body"},
                                               {16, "ARYAN BARI"}};
  for (const auto& [column, text] : facts) EXPECT_EQ(rows.text(0, column), text) << column;
  for (int column = kFilledColumnCount; column < kColumnCount; ++column) EXPECT_EQ(rows.text(0, column), "");

  // A missing file keeps its path and type; everything else is empty.
  EXPECT_EQ(rows.text(1, 0), missing);
  EXPECT_EQ(rows.text(1, 2), "asm");
  for (int column : {1, 3, 4, 5, 6, 8, 9, 16}) EXPECT_EQ(rows.text(1, column), "") << column;

  // A file that cannot be opened has its facts and no properties.
  EXPECT_EQ(rows.text(2, 1), "Notiz.txt");
  EXPECT_EQ(rows.text(2, 2), "par");
  EXPECT_EQ(rows.text(2, 5), "             19");
  for (int column = 6; column < kFilledColumnCount; ++column) EXPECT_EQ(rows.text(2, column), "") << column;

  // Every document was closed after its reading: another fill gives the same row.
  ResultRows again;
  FillResultRows(scan, OneAtATime(false), again);
  for (int column = 0; column < kColumnCount; ++column) EXPECT_EQ(again.text(0, column), rows.text(0, column));

  // Folder entries only, or nothing, give an empty list.
  for (const ScanList& folders : {ScanList{}, ScanList{">>/a/b", ">>/a/c"}}) {
    EXPECT_EQ(FillResultRows(folders, OneAtATime(true), rows), 0U);
    EXPECT_TRUE(rows.empty());
  }
}

TEST_F(RealSampleListFilling, SortedByFileNameKeepsScanOrderAmongEqualNames) {
  const std::string b1 = temp.file("one/b.par"), a = temp.file("one/a.dft");
  const std::string b2 = temp.file("two/b.asm"), c = temp.file("two/c.par");
  const ScanList scan{"    " + c, "    " + b1, "    " + b2, "    " + a};
  for (bool sorted : {false, true}) {
    ResultRows rows;
    ASSERT_EQ(FillResultRows(scan, OneAtATime(sorted), rows), 4U);
    std::vector<std::string> paths;
    for (size_t row = 0; row < rows.size(); ++row) paths.emplace_back(rows.text(row, 0));
    EXPECT_EQ(paths, sorted ? (std::vector<std::string>{a, b1, b2, c}) : (std::vector<std::string>{c, b1, b2, a}));
  }
}

}  // namespace
}  // namespace fendrik
