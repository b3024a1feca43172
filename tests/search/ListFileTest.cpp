// The list file: its path, reading back what was written, odd lines, and
// that a failed write never leaves a half file behind.
#include "search/ListFile.h"
#include "search/ListFileHooksForTests.h"
#include "StepRecorder.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/OrdinaryUser.h"
#include "TestCommon.h"
#include "platform/TestSystem.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;
using Outcome = ListFileResult::Outcome;
using Strings = std::vector<std::string>;
using namespace std::string_literals;

// Loads the file at path into rows that held something before.
ListFileResult Load(ResultRows& rows, const std::string& path) {
  rows.clear();
  rows.append({"left over"});
  return LoadListView(rows, path);
}

TEST(ListFile, PathIsTheDocumentsFolderWithOneSeparator) {
  if (test::kWindows) GTEST_SKIP() << "the documents folder is set through the XDG user folders of Linux";
  TempFolder home;
  qputenv("HOME", QByteArray::fromStdString(home.str()));
  qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString((home / ".config").string()));
  for (const std::string folder : {"$HOME/Dokumente", "$HOME/Dokumente/"}) {
    home.file(".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + folder + "\"\n");
    for (const auto& [name, file] : {std::pair{"0", "Fendrik_0.lst"}, {"Fendrik_7.lst", "Fendrik_7.lst"},
                                     {"x.LST", "Fendrik_x.LST.lst"}, {"fendrik_1", "Fendrik_fendrik_1.lst"}})
      EXPECT_EQ(ListFilePath(name), home.str() + "/Dokumente/" + file) << folder << " " << name;
  }
  EXPECT_EQ(GetSpecialFolderPath(6), kFolderNotDefined);
}

// The texts of every row, and whether its path is uncertain.
std::vector<Strings> TextsOf(const ResultRows& rows, std::vector<bool>* uncertain = nullptr) {
  std::vector<Strings> texts(rows.size());
  for (size_t row = 0; row < rows.size(); ++row) {
    for (int column = 0; column < kColumnCount; ++column) texts[row].emplace_back(rows.text(row, column));
    if (uncertain) uncertain->push_back(rows.pathUncertain(row));
  }
  return texts;
}

// Rows with every kind of odd name and text, and enough plain ones that the
// file is written and read in several pieces: read back, the rows are the
// same byte for byte, none with an uncertain path, and written again the
// file is the same. Plain rows are written as every earlier version wrote
// them; the odd ones are marked and escaped.
TEST(ListFile, ReadingBackGivesTheSameRows) {
  TempFolder temp;
  ResultRows rows;
  std::vector<Strings> expected = {
      {"/daten/a\\nb.par", "a\\nb", "par"},
      {"/daten/a\nb.par"},
      {"/daten/a\rb.par"},
      {"/daten/a\tb.par"},
      {"/daten/\xe4.par", "\xe4"},
      {"/daten/Pr\xc3\xbc" "fung/\xe4.par"},
      {"/daten/a.par", "a", "par", "", "", "", "", "", "", "Titel mit \0NUL"s, "", "", "", "", "", "",
       "\x1b[41mrot"},
      {"C:\\Teile\\Welle.par", "Welle"},
      {},
  };
  for (Strings& row : expected) {
    row.resize(kColumnCount);
    rows.append(row);
  }
  for (int k = 0; k < 100000; ++k) {
    Strings& row = expected.emplace_back(Strings{"/daten/" + std::to_string(k) + ".par", std::to_string(k), "par"});
    row.resize(kColumnCount);
    rows.append(row);
  }
  const std::string path = (temp / "Fendrik_0.lst").string(), again = (temp / "again.lst").string();
  ASSERT_TRUE(SaveListView(rows, path).done());
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);  // nothing left beside it
  const std::string content = test::readFile(path);
  const std::string head =
      "\t/daten/a\\nb.par\ta\\nb\tpar" + std::string(21, '\t') + "\r\n" +
      "\\\t/daten/a\\nb.par" + std::string(23, '\t') + "\r\n";
  EXPECT_EQ(content.substr(0, head.size()), head);
  EXPECT_NE(content.find("\\\t/daten/Pr\xc3\xbc" "fung/\\xE4.par\t"), std::string::npos);
  EXPECT_NE(content.find("\tC:\\Teile\\Welle.par\tWelle\t"), std::string::npos);  // plain: backslashes as they are
  EXPECT_NE(content.find("\\\t/daten/a.par\ta\tpar\t\t\t\t\t\t\tTitel mit \\x00NUL\t"), std::string::npos);

  ResultRows back;
  ASSERT_TRUE(Load(back, path).done());
  std::vector<bool> uncertain;
  EXPECT_TRUE(TextsOf(back, &uncertain) == expected);
  EXPECT_EQ(std::count(uncertain.begin(), uncertain.end(), true), 0);
  ASSERT_TRUE(SaveListView(back, again).done());
  EXPECT_TRUE(test::readFile(again) == content);
  ASSERT_TRUE(SaveListView(ResultRows(), again).done());
  EXPECT_EQ(fs::file_size(again), 0U);
}

// Lines as earlier versions wrote them read as before: UTF-8, or a whole
// line in Windows-1252 when it is not UTF-8; such a line's path is marked
// uncertain when the decoding changed its bytes. Lines whose path holds a NUL,
// or whose escapes are malformed, give no row and are named instead.
TEST(ListFile, OddLinesArePaddedCutDecodedOrRefused) {
  std::string longLine = "key\t/p.par";
  Strings longRow{"/p.par"};
  for (int k = 1; k < 30; ++k) longLine += "\tc" + std::to_string(k);
  for (int k = 1; k < kColumnCount; ++k) longRow.push_back("c" + std::to_string(k));
  struct Case {
    const char* what;
    std::string content;
    std::vector<Strings> rows;  // the first texts of each row; the others are empty
    std::vector<bool> uncertain = {};
    Strings refused = {};
  } cases[] = {
      {"CR LF, an empty line, a long line, no end", "\t/a.par\ta\r\n\r\n" + longLine + "\r\nohne Ende",
       {{"/a.par", "a"}, {}, longRow, {}}},  // the text before the first TAB is the key, not a column
      {"LF and lone CR", "\t/a.par\ta\n\t/b.par\tb\r\t/c.par\n", {{"/a.par", "a"}, {"/b.par", "b"}, {"/c.par"}}},
      {"empty file", "", {}},
      // "Müller", "Größe" and "€" in Windows-1252, then a line in UTF-8, then
      // Windows-1252 in a text only: that path stays as it was.
      {"Windows-1252",
       "\t/m\xFC.par\tM\xFCller\tGr\xF6\xDF" "e \x80\r\n\t/\xC3\xA4.par\t\xC3\xA4\r\n\t/p.par\tM\xFCller\r\n",
       {{"/mü.par", "Müller", "Größe €"}, {"/ä.par", "ä"}, {"/p.par", "Müller"}},
       {true, false, false}},
      {"NUL in a path",
       "\t/x/a.par\0.hidden/zzz.par\tzzz\r\n\\\t/x/b.par\\x00/zzz.par\tzzz\r\n\t/x/c.par\tc\tNUL\0ok\r\n"s,
       {{"/x/c.par", "c", "NUL\0ok"s}}, {false},
       {"Zeile 1: der Pfad /x/a.par\\x00.hidden/zzz.par enthält ein NUL-Zeichen",
        "Zeile 2: der Pfad /x/b.par\\x00/zzz.par enthält ein NUL-Zeichen"}},
      {"malformed escapes", "\\\t/x/a.par\\q\r\n\\\t/x/b.par\tb\\\r\n\\\t/x/c\\\\d.par\r\n",
       {{"/x/c\\d.par"}}, {false},
       {"Zeile 1: ungültige Escape-Folge in Spalte 1", "Zeile 2: ungültige Escape-Folge in Spalte 2"}},
  };
  TempFolder temp;
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResultRows rows;
    const ListFileResult result = Load(rows, temp.file("Fendrik_0.lst", c.content));
    ASSERT_TRUE(result.done());
    for (auto& row : c.rows) row.resize(kColumnCount);
    std::vector<bool> uncertain;
    EXPECT_EQ(TextsOf(rows, &uncertain), c.rows);
    if (c.uncertain.empty()) c.uncertain.resize(c.rows.size());
    EXPECT_EQ(uncertain, c.uncertain);
    EXPECT_EQ(result.refused, c.refused);
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
  if (!test::SkipHere(!test::kFolderModes, "files an ordinary user cannot read need POSIX modes")) {
    const std::string locked = temp.file("locked.lst", "\t/a.par\r\n");
    fs::permissions(locked, fs::perms::none);
    ListFileResult unreadable;
    test::AsOrdinaryUser(temp, [&] { unreadable = Load(rows, locked); });
    EXPECT_EQ(unreadable.outcome, Outcome::Failed);
    EXPECT_EQ(unreadable.reason, "Zugriff verweigert");
    EXPECT_TRUE(rows.empty());
  }

  for (int k = 0; k < 5000; ++k) rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil", "par"});
  // A path through a file: no such folder.
  EXPECT_EQ(SaveListView(rows, temp.file("datei") + "/Fendrik_0.lst").reason, "Datei nicht gefunden");
  const std::string old = "\t/alt.par\talt\r\n";
  const std::string path = temp.file("docs/Fendrik_0.lst", old);
  // The size limit of the process makes every write beyond 64 KiB fail as a full disk would.
  ListFileResult full;
  {
    test::FileSizeLimit limit(64 * 1024);
    if (test::SkipHere(!limit.ok(), "a file-size limit of the process is a POSIX means")) return;
    full = SaveListView(rows, path);
  }
  EXPECT_EQ(full.outcome, Outcome::Failed);
  EXPECT_EQ(full.reason, "Der Datenträger ist voll");
  EXPECT_EQ(test::readFile(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp / "docs"), {}), 1);
}

// Every step of the writer in order, each able to fail: the data reaches the
// disk (fsync) before the new file takes the old one's name, and a failure
// at any step keeps the old file and leaves nothing beside it.
TEST(ListFile, WriterSyncsBeforeTheRenameAndKeepsTheOldFileOnAnyFailure) {
  TempFolder temp;
  ResultRows rows;
  for (int k = 0; k < 30000; ++k) rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil", "par"});
  const std::string old = "\t/alt.par\talt\r\n";
  const std::string path = temp.file("docs/Fendrik_0.lst", old);
  using enum ListFileStep;
  {
    test::StepRecorder recorder;
    ScopedListFileHooks hooks(recorder);
    ASSERT_TRUE(SaveListView(rows, path).done());
    const auto sync = std::find(recorder.steps.begin(), recorder.steps.end(), Sync);
    ASSERT_NE(sync, recorder.steps.end());
    EXPECT_TRUE(std::all_of(recorder.steps.begin(), sync, [](ListFileStep s) { return s == Write; }));
    EXPECT_EQ(std::vector(sync, recorder.steps.end()), (std::vector{Sync, Close, Rename}));
    EXPECT_GT(sync - recorder.steps.begin(), 1);  // the rows went out in several pieces
  }
  // The replace fails on Windows while another program has the list file
  // open without letting it be deleted: that is reported in words. (The hook
  // changes the result after the step ran, so there the new file stands.)
  using platform::Fault;
  for (auto [step, fault, reason] : {std::tuple{Write, Fault::ioError, "Ein-/Ausgabefehler des Datenträgers"},
                                     {Sync, Fault::ioError, "Ein-/Ausgabefehler des Datenträgers"},
                                     {Close, Fault::diskFull, "Der Datenträger ist voll"},
                                     {Rename, Fault::inUse, "Die Datei wird von einem anderen Programm verwendet"}}) {
    SCOPED_TRACE(static_cast<int>(step));
    temp.file("docs/Fendrik_0.lst", old);
    test::StepRecorder recorder;
    recorder.failAt = step;
    recorder.error = platform::Simulated(fault);
    ScopedListFileHooks hooks(recorder);
    const ListFileResult result = SaveListView(rows, path);
    EXPECT_EQ(result.outcome, Outcome::Failed);
    EXPECT_EQ(result.reason, reason);
    EXPECT_TRUE(step == Rename || test::readFile(path) == old);
    EXPECT_EQ(std::distance(fs::directory_iterator(temp / "docs"), {}), 1);
  }
  // A rename that fails: a folder stands where the file should go.
  fs::remove(path);
  temp.file("docs/Fendrik_0.lst/inside", old);
  EXPECT_EQ(SaveListView(rows, path).outcome, Outcome::Failed);
  EXPECT_EQ(test::readFile(path + "/inside"), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp / "docs"), {}), 1);
}

// A list file that is a symbolic link is written through the link (also a
// relative one, a chain of them, and one whose target is not there yet);
// a missing documents folder is made.
TEST(ListFile, WritesThroughLinksAndMakesAMissingFolder) {
  if (!test::CanMakeLinks()) GTEST_SKIP() << "this account may not make symbolic links";
  TempFolder temp;
  ResultRows rows;
  rows.append({"/neu.par", "neu"});
  const std::string line = "\t/neu.par\tneu" + std::string(22, '\t') + "\r\n";
  temp.file("elsewhere/list.lst", "\t/alt.par\r\n");
  temp.link("docs/Fendrik_0.lst", "../elsewhere/chain.lst");
  temp.link("elsewhere/chain.lst", (temp / "elsewhere/list.lst").string());
  temp.link("docs/Fendrik_1.lst", "../elsewhere/not-yet.lst");
  for (const char* name : {"docs/Fendrik_0.lst", "docs/Fendrik_1.lst", "new home/Documents/Fendrik_0.lst"})
    ASSERT_TRUE(SaveListView(rows, (temp / name).string()).done()) << name;
  EXPECT_TRUE(fs::is_symlink(temp / "docs/Fendrik_0.lst"));
  EXPECT_TRUE(fs::is_symlink(temp / "elsewhere/chain.lst"));
  EXPECT_TRUE(fs::is_symlink(temp / "docs/Fendrik_1.lst"));
  EXPECT_EQ(test::readFile(temp / "elsewhere/list.lst"), line);
  EXPECT_EQ(test::readFile(temp / "elsewhere/not-yet.lst"), line);
  EXPECT_EQ(test::readFile(temp / "new home/Documents/Fendrik_0.lst"), line);
  temp.link("docs/loop.lst", "loop.lst");
  EXPECT_EQ(SaveListView(rows, (temp / "docs/loop.lst").string()).reason, "Zu viele symbolische Links (eine Schleife)");
}

// A huge (sparse) list file is refused in words before anything is read;
// one just under the piece size with its CR LF split between two pieces
// gives each row once.
TEST(ListFile, HugeFilesAreRefusedAndPiecesJoinAtTheirSeams) {
  TempFolder temp;
  const std::string huge = temp.file("huge.lst", "\t/a.par\r\n");
  test::resizeFile(huge, 100ULL << 30);
  ResultRows rows;
  const ListFileResult refused = Load(rows, huge);
  EXPECT_EQ(refused.outcome, Outcome::Failed);
  EXPECT_EQ(refused.reason, "die Datei ist größer als 1024 MiB; so lange Listen werden nicht gelesen");
  EXPECT_TRUE(rows.empty());

  // The first line's CR is the last byte of the first piece (1 MiB).
  const std::string first = "\t/" + std::string((1 << 20) - 3, 'x') + "\r";
  ASSERT_TRUE(Load(rows, temp.file("seam.lst", first + "\n\t/b.par\r\n")).done());
  ASSERT_EQ(rows.size(), 2U);
  EXPECT_EQ(rows.text(0, 0).size(), (1U << 20) - 2);
  EXPECT_EQ(rows.text(1, 0), "/b.par");
}

}  // namespace
}  // namespace fendrik
