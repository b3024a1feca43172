#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include <QLocale>
#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "search/ListFilling.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

const fs::path kSamples = FENDRIK_REAL_SAMPLES;

class RealSampleListFilling : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kSamples)) GTEST_SKIP() << "real samples not present";
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }

  // A German size text made here, not by the code under test: groups of three
  // digits with ".", right-aligned in 15 places.
  static std::string germanSizeText(std::uintmax_t size) {
    std::string digits = std::to_string(size);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<size_t>(at), ".");
    return std::string(15 - digits.size(), ' ') + digits;
  }

  std::string copySample(const std::string& sample, const std::string& as) const {
    fs::path target = temp.path() / as;
    fs::create_directories(target.parent_path());
    fs::copy_file(kSamples / sample, target);
    return target.string();
  }

  // One document after another, as the fill of the search runs with one reader.
  static FillOptions oneAtATime(bool sortedByName) {
    FillOptions options;
    options.jobs = 1;
    options.sortedByName = sortedByName;
    return options;
  }

  TempFolder temp;
};

TEST_F(RealSampleListFilling, OneRowPerFileEntryWithFactsAndProperties) {
  std::string body = copySample("Connecting-Rod/body.par", "cad/body.par");
  // 2021-03-04 05:06:07 UTC.
  const struct timespec times[2] = {{1614834367, 0}, {1614834367, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, body.c_str(), times, 0), 0);
  std::string junk = temp.file("cad/Notiz.txt.PAR", "not a compound file");
  std::string missing = temp.str() + "/cad/gone.Asm";
  ScanList scan{">>" + temp.str() + "/cad/sub", "    " + body, "    " + missing, ">>" + temp.str() + "/x",
                "    " + junk};
  ResultRows rows;
  rows.append({"left over from before"});
  ASSERT_EQ(FillResultRows(scan, oneAtATime(false), rows), 3U);
  ASSERT_EQ(rows.size(), 3U);

  // A real document: file facts and the properties read from it.
  EXPECT_EQ(rows.text(0, 0), body);
  EXPECT_EQ(rows.text(0, 1), "body");
  EXPECT_EQ(rows.text(0, 2), "par");
  EXPECT_EQ(rows.text(0, 3), temp.str() + "/cad");
  EXPECT_EQ(rows.text(0, 4), "2021.03.04 05:06:07");
  EXPECT_EQ(rows.text(0, 5), germanSizeText(fs::file_size(body)));
  EXPECT_EQ(rows.text(0, 8), "0");           // "Status"
  EXPECT_EQ(rows.text(0, 9), "body");        // "Titel"
  EXPECT_EQ(rows.text(0, 16), "ARYAN BARI");  // "Autor"
  for (int column = kFilledColumnCount; column < kColumnCount; ++column) EXPECT_EQ(rows.text(0, column), "");

  // A missing file keeps its path and type; everything else is empty.
  EXPECT_EQ(rows.text(1, 0), missing);
  EXPECT_EQ(rows.text(1, 2), "asm");
  for (int column : {1, 3, 4, 5, 6, 8, 9, 16}) EXPECT_EQ(rows.text(1, column), "") << column;

  // A file the server cannot open has its facts and no properties.
  EXPECT_EQ(rows.text(2, 1), "Notiz.txt");
  EXPECT_EQ(rows.text(2, 2), "par");
  EXPECT_EQ(rows.text(2, 5), "             19");
  for (int column = 6; column < kFilledColumnCount; ++column) EXPECT_EQ(rows.text(2, column), "") << column;

  // Every document was closed after its reading: another fill gives the same rows.
  ResultRows again;
  FillResultRows(scan, oneAtATime(false), again);
  for (int column = 0; column < kColumnCount; ++column) EXPECT_EQ(again.text(0, column), rows.text(0, column));
}

TEST_F(RealSampleListFilling, FolderEntriesOnlyOrNothingGiveAnEmptyList) {
  ResultRows rows;
  rows.append({"old"});
  EXPECT_EQ(FillResultRows({}, oneAtATime(true), rows), 0U);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(FillResultRows({">>/a/b", ">>/a/c", ">>/a/b"}, oneAtATime(false), rows), 0U);
  EXPECT_TRUE(rows.empty());
}

TEST_F(RealSampleListFilling, SortedByFileNameKeepsScanOrderAmongEqualNames) {
  std::string b1 = temp.file("one/b.par");
  std::string a = temp.file("one/a.dft");
  std::string b2 = temp.file("two/b.asm");
  std::string c = temp.file("two/c.par");
  ScanList scan{"    " + c, "    " + b1, "    " + b2, "    " + a};
  ResultRows rows;
  FillResultRows(scan, oneAtATime(false), rows);
  EXPECT_EQ(rows.text(0, 0), c);
  EXPECT_EQ(rows.text(3, 0), a);
  FillResultRows(scan, oneAtATime(true), rows);
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows.text(0, 0), a);
  EXPECT_EQ(rows.text(1, 0), b1);
  EXPECT_EQ(rows.text(2, 0), b2);
  EXPECT_EQ(rows.text(3, 0), c);
}

}  // namespace
}  // namespace fendrik
