// The search as the window and the command line run it: several readers
// give the rows of one reader, failures are reported in order, stopping keeps
// what was read; and the rows of files that are gone or cannot be read.
#include "search/SearchRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "platform/OrdinaryUser.h"
#include "TestCommon.h"
#include "platform/TestSystem.h"
#include "resultlist/FileFacts.h"
#include "resultlist/ListFileLine.h"

namespace fendrik {
namespace {

using test::TempFolder;
using Strings = std::vector<std::string>;

std::string Lines(const ResultRows& rows) {
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) AppendListFileLine(out, rows, row);
  return out;
}

// 60 generated documents in nested folders below cad/.
class SearchRun : public ::testing::Test {
 protected:
  void SetUp() override { test::generateDocuments(folder, 60, 21, "--nested --model-bytes 2048"); }
  TempFolder temp;
  const std::string folder = temp.str() + "/cad";
};

TEST_F(SearchRun, ManyReadersGiveTheRowsOfOneReader) {
  // Documents that cannot be read among the good ones.
  temp.file("cad/kaputt.par", "kein Dokument");
  temp.file("cad/leer.asm");
  // A FIFO, which must not block the reading; where the system has none, a
  // file that is no document takes its place.
  if (!test::MakeFifo((temp / "cad/rohr.psm").string())) temp.file("cad/rohr.psm", "kein Rohr");
  temp.folder("cad/ordner.par");
  std::string oneReader;
  for (unsigned jobs : {1U, 2U, 16U, 0U}) {
    SCOPED_TRACE(jobs);
    ScanList scan;
    ResultRows rows;
    Strings failed;
    size_t lastRead = 0, lastTotal = 0;
    SearchHooks hooks;
    hooks.failed = [&failed](const DocumentFailure& failure) {
      EXPECT_NE(failure.number, 0);
      EXPECT_FALSE(failure.description.empty());
      failed.push_back(failure.path);
    };
    // The documents found so far: all 63 once the walk is through, which with
    // several threads may be after the first are read.
    hooks.progress = [&](size_t read, size_t total) {
      EXPECT_EQ(read, lastRead + 1);
      EXPECT_GE(total, std::max(read, lastTotal));
      EXPECT_LE(total, 63U);
      if (jobs == 1) {
        EXPECT_EQ(total, 63U);
      }
      lastRead = read;
      lastTotal = total;
    };
    ASSERT_EQ(RunSearch({folder, TypeSelection().set(), true, false, jobs}, scan, rows, hooks), 63U);  // none for the folder
    EXPECT_EQ(lastRead, 63U);
    EXPECT_EQ(lastTotal, 63U);
    if (jobs == 1) oneReader = Lines(rows);
    EXPECT_TRUE(Lines(rows) == oneReader);
    // The three that cannot be read, in ScanList order: PAR before ASM before PSM.
    EXPECT_EQ(failed, (Strings{test::Native(folder + "/kaputt.par"), test::Native(folder + "/leer.asm"),
                               test::Native(folder + "/rohr.psm")}));
  }
  // When the system gives one thread of four, that reader reads every document; when it gives none, the failure
  // comes to the caller.
  for (unsigned threads : {1U, 0U}) {
    if (test::SkipHere(test::kWindows, "the number of threads a process may start is a POSIX limit")) break;
    SCOPED_TRACE(threads);
    ScanList scan;
    ResultRows rows;
    test::AsOrdinaryUser(temp, [&] {
      if (threads == 0) {
        EXPECT_THROW(RunSearch({folder, TypeSelection().set(), true, false, 4}, scan, rows, {}), std::system_error);
      } else {
        EXPECT_EQ(RunSearch({folder, TypeSelection().set(), true, false, 4}, scan, rows, {}), 63U);
      }
    }, threads);
    if (threads == 1) {
      EXPECT_TRUE(Lines(rows) == oneReader);
    }
  }
}

TEST_F(SearchRun, StoppingKeepsTheRowsReadSoFarInScanOrderAndClosesEveryFolder) {
  for (unsigned jobs : {1U, 4U}) {
    std::atomic<bool> cancel{false};
    SearchHooks hooks;
    hooks.cancel = &cancel;
    hooks.progress = [&cancel](size_t read, size_t) { cancel = cancel || read == 5; };
    ScanList scan;
    ResultRows some;
    RunSearch({folder, TypeSelection().set(), true, false, jobs}, scan, some, hooks);
    // Each reader finishes the document it has begun: with one reader
    // exactly five, with four at most three more.
    EXPECT_GE(some.size(), 5U);
    EXPECT_LE(some.size(), 5U + jobs - 1);
    // In ScanList order: each row's path comes later in the scan than the one before.
    size_t at = 0;
    for (size_t k = 0; k < some.size(); ++k) {
      while (at < scan.size() && FileEntryPath(scan[at]) != some.text(k, 0)) ++at;
      ASSERT_LT(at, scan.size()) << "row " << k << " out of order";
    }
  }

  // Stopped during the walk: the rows are those of the documents read so far
  // (none with one thread, which reads after the walk), and every folder the
  // walk opened is closed.
  for (int k = 0; k < 20; ++k) temp.file("cad/tief/" + std::string(static_cast<size_t>(k), 'x') + "/a.par");
  const long before = test::OpenFileCount();
  std::atomic<bool> cancel{false};
  int folders = 0;
  SearchHooks hooks;
  hooks.cancel = &cancel;
  size_t read = 0;
  hooks.perFolder = [&] { cancel = ++folders == 6; };
  hooks.progress = [&read](size_t done, size_t) { read = done; };
  for (unsigned jobs : {1U, 0U}) {
    SCOPED_TRACE(jobs);
    cancel = false;
    folders = 0;
    read = 0;
    ScanList scan;
    ResultRows rows;
    rows.append({"alt"});
    EXPECT_EQ(RunSearch({folder, TypeSelection().set(), true, false, jobs}, scan, rows, hooks), read);
    EXPECT_EQ(rows.size(), read);
    if (jobs == 1) {
      EXPECT_EQ(read, 0U);
    }
    EXPECT_EQ(folders, 6);
    EXPECT_EQ(test::OpenFileCount(), before);
  }
}

// The files of a scan may change before the fill: a missing file keeps its
// path and type, a file that cannot be opened has its facts and no
// properties; folder entries give no row.
TEST(ListFilling, EveryFileEntryGivesARowWhateverBecameOfTheFile) {
  TempFolder temp;
  const std::string junk = temp.file("one/b.PAR", "not a compound file"), missing = temp.str() + "/gone.Asm";
  ResultRows rows;
  rows.append({"left over"});
  ASSERT_EQ(FillResultRows({">>" + temp.str() + "/one", "    " + junk, "    " + missing, ">>/x"}, {}, rows), 2U);
  const Strings expected[] = {{junk, "b", "par", test::Native(temp.str() + "/one"), "             19"},
                              {missing, "", "asm", "", ""}};
  for (size_t row = 0; row < 2; ++row) {
    Strings texts;
    for (int column : {0, 1, 2, 3, 5}) texts.emplace_back(rows.text(row, column));
    EXPECT_EQ(texts, expected[row]);
    EXPECT_EQ(rows.text(row, 4).empty(), row == 1);
    for (int column = 6; column < kColumnCount; ++column) EXPECT_EQ(rows.text(row, column), "") << column;
  }
  EXPECT_EQ(FillResultRows({">>/a/b", ">>/a/c"}, {}, rows), 0U);
}

// The facts of a row are what the file system tells about the entry's path,
// whether the file could be opened or not: the folder absolute and normal but
// not through the links on the way, the size and time of the file. A
// relative entry means the working folder of the moment, also after a row of
// the same folder text was made in another one.
TEST(ListFilling, RowFactsAreWhatTheFileSystemTellsAboutEachPath) {
  TempFolder temp;
  const std::vector<std::string> docs = test::generateDocuments(temp.folder("A/real"), 2, 31);
  const std::string doc = std::filesystem::path(docs[0]).filename().string();
  temp.folder("B/real");
  temp.copy(docs[0], "B/real/x.par");
  temp.file("A/real/kaputt.psm", "kein Dokument");
  // Oracle: the size and time std::filesystem gives, the folder as written here.
  auto expectedFacts = [](const std::string& path, const std::string& folder) {
    const auto time = std::filesystem::last_write_time(platform::FsPath(path));
    const int64_t seconds =
        std::chrono::floor<std::chrono::seconds>(std::chrono::file_clock::to_sys(time)).time_since_epoch().count();
    std::error_code noSize;  // a FIFO has none: its status says 0
    const std::uintmax_t size = std::filesystem::file_size(platform::FsPath(path), noSize);
    return Strings{test::Native(folder), GetModifiedText(FileObject{"", "", seconds, 0}),
                   GetSizeText(FileObject{"", "", 0, noSize ? 0 : size})};
  };
  auto factsOf = [](const std::string& entry) {
    ResultRows rows;
    FillOptions options;
    options.jobs = 1;  // the calling thread reads, one fill after the other
    EXPECT_EQ(FillResultRows({"    " + entry}, options, rows), 1U);
    Strings facts;
    for (int column : {3, 4, 5}) facts.emplace_back(rows.text(0, column));
    return facts;
  };
  const std::string a = temp.str() + "/A";
  struct Case {
    std::string entry, file, folder;
  };
  std::vector<Case> cases = {{a + "/real/" + doc, a + "/real/" + doc, a + "/real"},
                             {a + "/real/kaputt.psm", a + "/real/kaputt.psm", a + "/real"},
                             {a + "/real/../real/./" + doc, a + "/real/" + doc, a + "/real"},
                             {a + "//real/kaputt.psm", a + "/real/kaputt.psm", a + "/real"}};
  if (!test::SkipHere(!test::CanMakeLinks(), "no symbolic links here")) {
    temp.link("A/link", a + "/real");
    cases.push_back({a + "/link/" + doc, a + "/real/" + doc, a + "/link"});
    cases.push_back({a + "/link/../real/" + doc, a + "/real/" + doc, a + "/real"});
  }
  if (test::MakeFifo(a + "/real/pipe.par")) cases.push_back({a + "/real/pipe.par", a + "/real/pipe.par", a + "/real"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.entry);
    EXPECT_EQ(factsOf(c.entry), expectedFacts(c.file, c.folder));
  }
  const std::filesystem::path before = std::filesystem::current_path();
  for (const char* where : {"A", "B", "A"}) {
    SCOPED_TRACE(where);
    std::filesystem::current_path(temp / where);
    const std::string entry = "real/../real/" + (std::string(where) == "A" ? doc : "x.par");
    EXPECT_EQ(factsOf(entry), expectedFacts(temp.str() + "/" + where + "/" + entry, temp.str() + "/" + where + "/real"));
  }
  std::filesystem::current_path(before);
  // A file the user has no right to open, one in a folder the user may not
  // look into, and one that is gone.
  if (const char* why = test::system::NoOtherUsers()) {
    test::SkipHere(true, why);
    return;
  }
  temp.file("A/closed/welle.par", "12345");
  temp.file("A/shut/welle.asm", "1234");
  std::filesystem::permissions(temp / "A/closed/welle.par", std::filesystem::perms::none);
  std::filesystem::permissions(temp / "A/shut", std::filesystem::perms::owner_all);
  test::AsOrdinaryUser(temp, [&] {
    EXPECT_EQ(factsOf(a + "/real/" + doc), expectedFacts(a + "/real/" + doc, a + "/real"));
    EXPECT_EQ(factsOf(a + "/closed/welle.par"), expectedFacts(a + "/closed/welle.par", a + "/closed"));
    EXPECT_EQ(factsOf(a + "/shut/welle.asm"), (Strings{"", "", ""}));
    EXPECT_EQ(factsOf(a + "/gone.par"), (Strings{"", "", ""}));
  });
}

}  // namespace
}  // namespace fendrik
