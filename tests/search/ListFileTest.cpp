// The list file: its path, the line format, reading back what was written,
// odd lines, and that a failed write never leaves a half file behind.
#include "search/ListFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "TestCommon.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

ResultRows ThreeRows() {
  ResultRows rows;
  std::vector<std::string> texts;
  for (int k = 0; k < kColumnCount; ++k) texts.push_back("r1c" + std::to_string(k));
  rows.append(texts);
  rows.append({"/daten/Äpfel.par", "Äpfel", "par", "/daten", "2024.01.02 03:04:05", "          1.234", "", "B",
               "0", "Titel mit\tTAB", "Zeilen\r\nEnde"});
  rows.append({});
  return rows;
}

// A fresh home whose documents folder the list file goes into.
class ListFileHome : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HOME", home.str().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  }
  void documentsAt(const std::string& folder) {
    home.file(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + folder + "\"\n");
  }
  TempFolder home;
};

TEST_F(ListFileHome, PathIsTheDocumentsFolderWithOneSeparator) {
  documentsAt("$HOME/Dokumente");
  const std::string documents = home.str() + "/Dokumente";
  EXPECT_EQ(GetSpecialFolderPath(kDocumentsFolderId), documents);
  EXPECT_EQ(ListFilePath("0"), documents + "/Fendrik_0.lst");
  EXPECT_EQ(ListFilePath("Fendrik_7.lst"), documents + "/Fendrik_7.lst");
  EXPECT_EQ(ListFilePath("x.LST"), documents + "/Fendrik_x.LST.lst");
  EXPECT_EQ(ListFilePath("fendrik_1"), documents + "/Fendrik_fendrik_1.lst");
  EXPECT_EQ(GetSpecialFolderPath(6), kFolderNotDefined);

  // A folder given with a trailing separator still gets only one.
  documentsAt("$HOME/Dokumente/");
  EXPECT_EQ(ListFilePath("0"), documents + "/Fendrik_0.lst");
}

TEST(ListFile, ThreeRowsGiveThreeLinesOfTwentyFourTabs) {
  TempFolder temp;
  const std::string path = (temp / "Fendrik_0.lst").string();
  ASSERT_TRUE(SaveListView(ThreeRows(), path).done());
  const std::string content = test::readFile(path);
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = content.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(content.substr(start, end - start));
  EXPECT_EQ(start, content.size()) << "every line ends in CR LF";
  ASSERT_EQ(lines.size(), 3U);
  for (const std::string& line : lines) {
    EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 24) << line;
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
  }
  EXPECT_EQ(lines[0].substr(0, 9), "\tr1c0\tr1c");
  EXPECT_EQ(lines[2], std::string(24, '\t'));
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"Fendrik_0.lst"});
}

TEST(ListFile, ReadingBackGivesTheSameRows) {
  TempFolder temp;
  const std::string path = (temp / "Fendrik_0.lst").string();
  const ResultRows rows = ThreeRows();
  ASSERT_TRUE(SaveListView(rows, path).done());
  ResultRows back;
  back.append({"left over"});
  ASSERT_TRUE(LoadListView(back, path).done());
  ASSERT_EQ(back.size(), rows.size());
  for (size_t row = 0; row < rows.size(); ++row)
    for (int column = 0; column < kColumnCount; ++column) {
      std::string expected(rows.text(row, column));
      for (char& c : expected)
        if (c == '\t' || c == '\r' || c == '\n') c = ' ';
      EXPECT_EQ(back.text(row, column), expected) << row << "/" << column;
    }
  // Written again, the file is the same byte for byte.
  const std::string again = (temp / "again.lst").string();
  ASSERT_TRUE(SaveListView(back, again).done());
  EXPECT_EQ(test::readFile(again), test::readFile(path));
}

TEST(ListFile, ShortLongAndEmptyLinesArePaddedOrCut) {
  TempFolder temp;
  std::string longLine = "key\t/p.par";
  for (int k = 1; k < 30; ++k) longLine += "\tc" + std::to_string(k);
  const std::string path = temp.file("Fendrik_0.lst", "\t/a.par\ta\r\n\r\n" + longLine + "\r\nohne Ende");
  ResultRows rows;
  ASSERT_TRUE(LoadListView(rows, path).done());
  ASSERT_EQ(rows.size(), 4U);
  EXPECT_EQ(rows.text(0, 0), "/a.par");
  EXPECT_EQ(rows.text(0, 1), "a");
  EXPECT_EQ(rows.text(0, 2), "");
  for (int column = 0; column < kColumnCount; ++column) EXPECT_EQ(rows.text(1, column), "") << column;
  // The key is not a column; fields beyond the 25th are dropped.
  EXPECT_EQ(rows.text(2, 0), "/p.par");
  EXPECT_EQ(rows.text(2, 23), "c23");
  // A last line without its line end still counts; without TABs its text is the key.
  EXPECT_EQ(rows.text(3, 0), "");
}

TEST(ListFile, LinesOnlyEndedByLineFeedAlsoRead) {
  TempFolder temp;
  const std::string path = temp.file("Fendrik_0.lst", "\t/a.par\ta\n\t/b.par\tb\n");
  ResultRows rows;
  ASSERT_TRUE(LoadListView(rows, path).done());
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows.text(1, 1), "b");
}

TEST(ListFile, EmptyFileGivesNoRows) {
  TempFolder temp;
  ResultRows rows;
  rows.append({"old"});
  ASSERT_TRUE(LoadListView(rows, temp.file("Fendrik_0.lst")).done());
  EXPECT_TRUE(rows.empty());
  ASSERT_TRUE(SaveListView(rows, (temp / "empty.lst").string()).done());
  EXPECT_EQ(fs::file_size(temp / "empty.lst"), 0U);
}

TEST(ListFile, MissingFileOrAFolderEmptiesTheListAndSaysMissing) {
  TempFolder temp;
  ResultRows rows;
  rows.append({"old"});
  EXPECT_EQ(LoadListView(rows, (temp / "gone.lst").string()).outcome, ListFileResult::Outcome::Missing);
  EXPECT_TRUE(rows.empty());
  rows.append({"old"});
  EXPECT_EQ(LoadListView(rows, temp.folder("Fendrik_0.lst")).outcome, ListFileResult::Outcome::Missing);
  EXPECT_TRUE(rows.empty());
}

TEST(ListFile, LinesThatAreNotUtf8AreReadAsWindows1252) {
  TempFolder temp;
  // "Müller", "Größe" and "€" in Windows-1252, then a line in UTF-8.
  const std::string path =
      temp.file("Fendrik_0.lst", "\t/m\xFCller.par\tM\xFCller\tGr\xF6\xDF" "e \x80\r\n\t/\xC3\xA4.par\t\xC3\xA4\r\n");
  ResultRows rows;
  ASSERT_TRUE(LoadListView(rows, path).done());
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows.text(0, 0), "/müller.par");
  EXPECT_EQ(rows.text(0, 1), "Müller");
  EXPECT_EQ(rows.text(0, 2), "Größe €");
  EXPECT_EQ(rows.text(1, 1), "ä");
}

TEST(ListFile, WriteIntoAFolderThatCannotTakeFilesFails) {
  TempFolder temp;
  ResultRows rows = ThreeRows();
  ListFileResult missingFolder = SaveListView(rows, (temp / "nicht/da/Fendrik_0.lst").string());
  EXPECT_EQ(missingFolder.outcome, ListFileResult::Outcome::Failed);
  EXPECT_FALSE(missingFolder.reason.empty());
  // No one, not even the superuser, creates files in /proc.
  EXPECT_EQ(SaveListView(rows, "/proc/Fendrik_0.lst").outcome, ListFileResult::Outcome::Failed);
}

TEST(ListFile, ReadOnlyFolderKeepsTheOldFileAndLeavesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes into read-only folders";
  TempFolder temp;
  const std::string path = temp.file("docs/Fendrik_0.lst", "\t/alt.par\r\n");
  fs::permissions(temp / "docs", fs::perms::owner_read | fs::perms::owner_exec);
  ListFileResult result = SaveListView(ThreeRows(), path);
  fs::permissions(temp / "docs", fs::perms::owner_all);
  EXPECT_EQ(result.outcome, ListFileResult::Outcome::Failed);
  EXPECT_EQ(test::readFile(path), "\t/alt.par\r\n");
  EXPECT_EQ(Names(temp / "docs"), std::vector<std::string>{"Fendrik_0.lst"});
}

TEST(ListFile, UnreadableFileFailsWithAReason) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
  TempFolder temp;
  const std::string path = temp.file("Fendrik_0.lst", "\t/a.par\r\n");
  fs::permissions(path, fs::perms::none);
  ResultRows rows;
  ListFileResult result = LoadListView(rows, path);
  EXPECT_EQ(result.outcome, ListFileResult::Outcome::Failed);
  EXPECT_FALSE(result.reason.empty());
  EXPECT_TRUE(rows.empty());
}

// A disk that fills up during the write: the size limit of the process makes
// every write beyond 64 KiB fail as a full disk would.
TEST(ListFile, DiskFullDuringTheWriteKeepsTheOldFileWhole) {
  TempFolder temp;
  const std::string old = "\t/alt.par\talt\r\n";
  const std::string path = temp.file("Fendrik_0.lst", old);
  ResultRows rows;
  for (int k = 0; k < 5000; ++k) rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil", "par"});

  struct sigaction ignore {}, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ListFileResult result = SaveListView(rows, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);

  EXPECT_EQ(result.outcome, ListFileResult::Outcome::Failed);
  EXPECT_FALSE(result.reason.empty());
  EXPECT_EQ(test::readFile(path), old);
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"Fendrik_0.lst"});
}

TEST(ListFile, HundredThousandRowsAllWrittenAndRead) {
  TempFolder temp;
  ResultRows rows;
  for (int k = 0; k < 100000; ++k)
    rows.append({"/daten/" + std::to_string(k) + ".par", std::to_string(k), "par", "/daten"});
  const std::string path = (temp / "Fendrik_0.lst").string();
  ASSERT_TRUE(SaveListView(rows, path).done());
  ResultRows back;
  ASSERT_TRUE(LoadListView(back, path).done());
  ASSERT_EQ(back.size(), 100000U);
  EXPECT_EQ(back.text(99999, 1), "99999");
  EXPECT_EQ(back.text(32768, 0), "/daten/32768.par");
}

}  // namespace
}  // namespace fendrik
