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

std::vector<std::string> Names(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  return names;
}

// The texts of every column of the first `count` rows.
std::vector<std::vector<std::string>> Texts(const ResultRows& rows, size_t count = SIZE_MAX) {
  std::vector<std::vector<std::string>> out(std::min(count, rows.size()));
  for (size_t row = 0; row < out.size(); ++row)
    for (int column = 0; column < kColumnCount; ++column) out[row].emplace_back(rows.text(row, column));
  return out;
}

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
  const std::string documents = home.str() + "/Dokumente";
  for (const char* folder : {"$HOME/Dokumente", "$HOME/Dokumente/"}) {
    SCOPED_TRACE(folder);
    home.file(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + std::string(folder) + "\"\n");
    const std::pair<const char*, std::string> cases[] = {{"0", "Fendrik_0.lst"},
                                                         {"Fendrik_7.lst", "Fendrik_7.lst"},
                                                         {"x.LST", "Fendrik_x.LST.lst"},
                                                         {"fendrik_1", "Fendrik_fendrik_1.lst"}};
    for (const auto& [name, file] : cases) EXPECT_EQ(ListFilePath(name), documents + "/" + file) << name;
  }
  EXPECT_EQ(GetSpecialFolderPath(6), kFolderNotDefined);
}

// Odd rows and enough of them that the file is written in several pieces:
// read back they are the same (TAB, CR and LF inside texts become blanks), and
// written again the file is the same byte for byte.
TEST(ListFile, ReadingBackGivesTheSameRows) {
  TempFolder temp;
  ResultRows rows;
  std::vector<std::string> full;
  for (int k = 0; k < kColumnCount; ++k) full.push_back("r1c" + std::to_string(k));
  rows.append(full);
  rows.append({"/daten/Äpfel.par", "Äpfel", "par", "/daten", "2024.01.02 03:04:05", "          1.234", "", "B", "0",
               "Titel mit\tTAB", "Zeilen\r\nEnde"});
  rows.append({});
  for (int k = 0; k < 100000; ++k) rows.append({"/daten/" + std::to_string(k) + ".par", std::to_string(k), "par"});
  const std::string path = (temp / "Fendrik_0.lst").string();
  ASSERT_TRUE(SaveListView(rows, path).done());
  EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"Fendrik_0.lst"});

  ResultRows back;
  ASSERT_TRUE(Load(back, path).done());
  ASSERT_EQ(back.size(), rows.size());
  auto expected = Texts(rows, 3);
  expected[1][9] = "Titel mit TAB";
  expected[1][10] = "Zeilen  Ende";
  EXPECT_EQ(Texts(back, 3), expected);
  const std::string again = (temp / "again.lst").string();
  ASSERT_TRUE(SaveListView(back, again).done());
  EXPECT_TRUE(test::readFile(again) == test::readFile(path));
  ASSERT_TRUE(SaveListView(ResultRows(), again).done());
  EXPECT_EQ(fs::file_size(again), 0U);
}

TEST(ListFile, OddLinesArePaddedCutOrDecoded) {
  std::string longLine = "key\t/p.par";
  std::vector<std::string> longRow{"/p.par"};
  for (int k = 1; k < 30; ++k) {
    longLine += "\tc" + std::to_string(k);
    if (k < kColumnCount) longRow.push_back("c" + std::to_string(k));
  }
  struct Case {
    const char* what;
    std::string content;
    std::vector<std::vector<std::string>> rows;  // the first texts of each row; the others are empty
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
    SCOPED_TRACE(c.what);
    for (auto& row : c.rows) row.resize(kColumnCount);
    ResultRows rows;
    ASSERT_TRUE(Load(rows, temp.file("Fendrik_0.lst", c.content)).done());
    EXPECT_EQ(Texts(rows), c.rows);
  }
}

TEST(ListFile, MissingOrUnreadableFileEmptiesTheList) {
  TempFolder temp;
  ResultRows rows;
  EXPECT_EQ(Load(rows, (temp / "gone.lst").string()).outcome, Outcome::Missing);
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(Load(rows, temp.folder("Fendrik_0.lst")).outcome, Outcome::Missing);
  EXPECT_TRUE(rows.empty());

  const std::string locked = temp.file("locked.lst", "\t/a.par\r\n");
  fs::permissions(locked, fs::perms::none);
  ListFileResult result;
  test::AsOrdinaryUser(temp, [&] { result = Load(rows, locked); });
  EXPECT_EQ(result.outcome, Outcome::Failed);
  EXPECT_FALSE(result.reason.empty());
  EXPECT_TRUE(rows.empty());
}

TEST(ListFile, FailedWriteKeepsTheOldFileAndLeavesNothing) {
  TempFolder temp;
  ResultRows rows;
  for (int k = 0; k < 5000; ++k) rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil", "par"});
  ListFileResult missingFolder = SaveListView(rows, (temp / "nicht/da/Fendrik_0.lst").string());
  EXPECT_EQ(missingFolder.outcome, Outcome::Failed);
  EXPECT_FALSE(missingFolder.reason.empty());
  // No one, not even the superuser, creates files in /proc.
  EXPECT_EQ(SaveListView(rows, "/proc/Fendrik_0.lst").outcome, Outcome::Failed);

  const std::string old = "\t/alt.par\talt\r\n";
  const std::string path = temp.file("docs/Fendrik_0.lst", old);
  fs::permissions(temp / "docs", fs::perms::owner_read | fs::perms::owner_exec);
  ListFileResult readOnly;
  test::AsOrdinaryUser(temp, [&] { readOnly = SaveListView(rows, path); });
  fs::permissions(temp / "docs", fs::perms::owner_all);
  EXPECT_EQ(readOnly.outcome, Outcome::Failed);

  // A disk that fills up during the write: the size limit of the process
  // makes every write beyond 64 KiB fail as a full disk would.
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
  EXPECT_EQ(Names(temp / "docs"), std::vector<std::string>{"Fendrik_0.lst"});
}

}  // namespace
}  // namespace fendrik
