// The list file: its path, reading back what was written, odd lines, and
// that a failed write never leaves a half file behind.
#include "search/ListFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "OrdinaryUser.h"
#include "TestCommon.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;
using Outcome = ListFileResult::Outcome;
using Strings = std::vector<std::string>;

// Loads the file at path into rows that held something before.
ListFileResult Load(ResultRows& rows, const std::string& path) {
  rows.clear();
  rows.append({"left over"});
  return LoadListView(rows, path);
}

TEST(ListFile, PathIsTheDocumentsFolderWithOneSeparator) {
  TempFolder home;
  ::setenv("HOME", home.str().c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
  for (const std::string folder : {"$HOME/Dokumente", "$HOME/Dokumente/"}) {
    home.file(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + folder + "\"\n");
    for (const auto& [name, file] : {std::pair{"0", "Fendrik_0.lst"}, {"Fendrik_7.lst", "Fendrik_7.lst"},
                                     {"x.LST", "Fendrik_x.LST.lst"}, {"fendrik_1", "Fendrik_fendrik_1.lst"}})
      EXPECT_EQ(ListFilePath(name), home.str() + "/Dokumente/" + file) << folder << " " << name;
  }
  EXPECT_EQ(GetSpecialFolderPath(6), kFolderNotDefined);
}

// Odd rows and enough of them that the file is written in several pieces:
// every row is a line of 25 TAB-separated fields, the key first and empty,
// ended by CR LF, with TAB, CR and LF inside texts made blanks; read back and
// written again, the file is the same byte for byte.
TEST(ListFile, ReadingBackGivesTheSameRows) {
  TempFolder temp;
  ResultRows rows;
  Strings full;
  std::string expected;
  for (int k = 0; k < kColumnCount; ++k) expected += "\t" + full.emplace_back("c" + std::to_string(k));
  rows.append(full);
  rows.append({"/daten/Äpfel.par", "Äpfel", "par", "", "", "", "", "", "", "Titel mit\tTAB", "Zeilen\r\nEnde\n"});
  rows.append({});
  expected += "\r\n\t/daten/Äpfel.par\tÄpfel\tpar\t\t\t\t\t\t\tTitel mit TAB\tZeilen  Ende " + std::string(13, '\t') +
              "\r\n" + std::string(24, '\t') + "\r\n";
  for (int k = 0; k < 100000; ++k) rows.append({"/daten/" + std::to_string(k) + ".par", std::to_string(k), "par"});
  const std::string path = (temp / "Fendrik_0.lst").string(), again = (temp / "again.lst").string();
  ASSERT_TRUE(SaveListView(rows, path).done());
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);  // nothing left beside it
  const std::string content = test::readFile(path);
  EXPECT_EQ(content.substr(0, expected.size()), expected);

  ResultRows back;
  ASSERT_TRUE(Load(back, path).done());
  ASSERT_EQ(back.size(), rows.size());
  ASSERT_TRUE(SaveListView(back, again).done());
  EXPECT_TRUE(test::readFile(again) == content);
  ASSERT_TRUE(SaveListView(ResultRows(), again).done());
  EXPECT_EQ(fs::file_size(again), 0U);
}

TEST(ListFile, OddLinesArePaddedCutOrDecoded) {
  std::string longLine = "key\t/p.par";
  Strings longRow{"/p.par"};
  for (int k = 1; k < 30; ++k) longLine += "\tc" + std::to_string(k);
  for (int k = 1; k < kColumnCount; ++k) longRow.push_back("c" + std::to_string(k));
  struct Case {
    const char* what;
    std::string content;
    std::vector<Strings> rows;  // the first texts of each row; the others are empty
  } cases[] = {
      {"CR LF, an empty line, a long line, no end", "\t/a.par\ta\r\n\r\n" + longLine + "\r\nohne Ende",
       {{"/a.par", "a"}, {}, longRow, {}}},  // the text before the first TAB is the key, not a column
      {"LF and lone CR", "\t/a.par\ta\n\t/b.par\tb\r\t/c.par\n", {{"/a.par", "a"}, {"/b.par", "b"}, {"/c.par"}}},
      {"empty file", "", {}},
      // "Müller", "Größe" and "€" in Windows-1252, then a line in UTF-8.
      {"Windows-1252", "\t/m\xFC.par\tM\xFCller\tGr\xF6\xDF" "e \x80\r\n\t/\xC3\xA4.par\t\xC3\xA4\r\n",
       {{"/mü.par", "Müller", "Größe €"}, {"/ä.par", "ä"}}},
  };
  TempFolder temp;
  for (auto& c : cases) {
    ResultRows rows;
    ASSERT_TRUE(Load(rows, temp.file("Fendrik_0.lst", c.content)).done()) << c.what;
    std::vector<Strings> texts(rows.size());
    for (size_t row = 0; row < rows.size(); ++row)
      for (int column = 0; column < kColumnCount; ++column) texts[row].emplace_back(rows.text(row, column));
    for (auto& row : c.rows) row.resize(kColumnCount);
    EXPECT_EQ(texts, c.rows) << c.what;
  }
}

// Nothing to read leaves the list empty; a failed write, be it that the
// folder is missing or that the disk fills up during the write, keeps the
// old file and leaves no temporary file behind.
TEST(ListFile, FailedReadsAndWritesLeaveNothingHalfDone) {
  TempFolder temp;
  ResultRows rows;
  for (const std::string& nothing : {(temp / "gone.lst").string(), temp.folder("Fendrik_0.lst")}) {
    EXPECT_EQ(Load(rows, nothing).outcome, Outcome::Missing);
    EXPECT_TRUE(rows.empty());
  }
  const std::string locked = temp.file("locked.lst", "\t/a.par\r\n");
  fs::permissions(locked, fs::perms::none);
  ListFileResult unreadable;
  test::AsOrdinaryUser(temp, [&] { unreadable = Load(rows, locked); });
  EXPECT_EQ(unreadable.outcome, Outcome::Failed);
  EXPECT_FALSE(unreadable.reason.empty());
  EXPECT_TRUE(rows.empty());

  for (int k = 0; k < 5000; ++k) rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil", "par"});
  EXPECT_FALSE(SaveListView(rows, (temp / "nicht/da/Fendrik_0.lst").string()).reason.empty());
  const std::string old = "\t/alt.par\talt\r\n";
  const std::string path = temp.file("docs/Fendrik_0.lst", old);
  // The size limit of the process makes every write beyond 64 KiB fail as a full disk would.
  struct sigaction ignore {}, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &previous);
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 64 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ListFileResult full = SaveListView(rows, path);
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &previous, nullptr);
  EXPECT_EQ(full.outcome, Outcome::Failed);
  EXPECT_FALSE(full.reason.empty());
  EXPECT_EQ(test::readFile(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp / "docs"), {}), 1);
}

}  // namespace
}  // namespace fendrik
