// The search with several threads lists folders while it reads documents: it
// must give exactly the rows, the order and the reports of the one-thread
// search (ScanFolders, then FillResultRows), on trees with links back into
// ancestors, links that fan out, dead links and link loops, folders nobody
// may list and folders that vanish during the walk; and a stop during the
// walk keeps the rows read so far, each in its place.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "TestCommon.h"
#include "platform/OrdinaryUser.h"
#include "platform/TestSystem.h"
#include "resultlist/ListFileLine.h"
#include "search/SearchRun.h"

namespace fendrik {
namespace {

using test::TempFolder;
using Strings = std::vector<std::string>;

// Everything a search gives to its caller.
struct Outcome {
  ScanList scan;
  std::string lines;
  Strings failed;
  Strings reports;
  bool operator==(const Outcome&) const = default;
};

std::string Lines(const ResultRows& rows) {
  std::string out;
  for (size_t row = 0; row < rows.size(); ++row) AppendListFileLine(out, rows, row);
  return out;
}

Outcome Search(const std::string& folder, unsigned jobs, bool sorted = false, PerFolderCallback perFolder = {}) {
  Outcome outcome;
  SearchHooks hooks;
  hooks.perFolder = std::move(perFolder);
  hooks.failed = [&](const DocumentFailure& failure) { outcome.failed.push_back(failure.path); };
  hooks.folderError = [&](const std::string& path, platform::SystemError error) {
    outcome.reports.push_back(path + " " + platform::ErrorText(error));
  };
  size_t lastRead = 0, lastTotal = 0;
  hooks.progress = [&](size_t read, size_t total) {
    // The count of documents found grows while the walk goes on.
    EXPECT_EQ(read, lastRead + 1);
    EXPECT_GE(total, read);
    EXPECT_GE(total, lastTotal);
    lastRead = read;
    lastTotal = total;
  };
  ResultRows rows;
  const size_t count = RunSearch({folder, TypeSelection().set(), true, sorted, jobs}, outcome.scan, rows, hooks);
  EXPECT_EQ(count, rows.size());
  EXPECT_EQ(lastRead, rows.size());
  outcome.lines = Lines(rows);
  return outcome;
}

class ParallelWalk : public ::testing::Test {
 protected:
  // Documents of every type in nested folders, real ones and files that are
  // no documents, and other files between them.
  void SetUp() override {
    test::generateDocuments(temp.folder("cad/echt"), 8, 5, "--nested --model-bytes 1024");
    const char* const types[] = {"par", "ASM", "psm", "Dft"};
    for (int k = 0; k < 40; ++k) {
      const std::string folder = "cad/d" + std::to_string(k % 5) + "/e" + std::to_string(k % 3) + "/";
      temp.file(folder + "teil " + std::to_string(k) + "." + types[k % 4], "kein Dokument");
      temp.file(folder + "notiz " + std::to_string(k) + ".txt", "-");
    }
    temp.file("cad/ziel/z.par", "kein Dokument");
    temp.file("cad/ziel/tiefer/z.dft", "kein Dokument");
    temp.folder("cad/leer");
  }

  // Links back into ancestors, links that fan out to one folder from several
  // places (also from places the walk reaches late), a dead link, a loop
  // of two links and a chain of folders with two links each to the next.
  void MakeLinks() {
    temp.link("cad/d0/hoch", "..");
    temp.link("cad/d1/e2/wurzel", "../..");
    temp.link("cad/d2/ziel1", "../ziel");
    temp.link("cad/d4/e1/ziel2", "../../ziel");
    temp.link("cad/aaa-ziel", "ziel");
    temp.link("cad/ziel/tiefer/zurueck", "../../d3");
    temp.link("cad/tot.par", "nirgends");
    temp.link("cad/ring/eins", "zwei");
    temp.link("cad/ring/zwei", "eins");
    for (int k = 0; k < 8; ++k)
      for (const char* name : {"/a", "/b"})
        temp.link("cad/stufe" + std::to_string(k) + name, "../stufe" + std::to_string(k + 1));
    temp.file("cad/stufe8/unten.psm", "kein Dokument");
  }

  // The one-thread search, then the same search with several threads a few
  // times over, since each run lists the folders in another order.
  void ExpectTheOrderOfOneThread(const PerFolderCallback& perFolder = {}, const std::function<void()>& before = {}) {
    for (bool sorted : {false, true}) {
      if (before) before();
      const Outcome one = Search(root, 1, sorted, perFolder);
      EXPECT_FALSE(one.lines.empty());
      for (unsigned jobs : {2U, 3U, 16U}) {
        for (int round = 0; round < 4; ++round) {
          SCOPED_TRACE(std::to_string(jobs) + " threads, round " + std::to_string(round) + (sorted ? ", sorted" : ""));
          if (before) before();
          const Outcome many = Search(root, jobs, sorted, perFolder);
          EXPECT_EQ(many.scan, one.scan);
          EXPECT_TRUE(many.lines == one.lines);
          EXPECT_EQ(many.failed, one.failed);
          EXPECT_EQ(many.reports, one.reports);
        }
      }
    }
  }

  TempFolder temp;
  const std::string root = temp.str() + "/cad";
};

TEST_F(ParallelWalk, GivesTheRowsOrderAndReportsOfOneThreadWithLinksAndLoops) {
  const bool links = !test::SkipHere(!test::CanMakeLinks(), "this account may not make symbolic links");
  if (links) MakeLinks();
  ExpectTheOrderOfOneThread();
  if (!links) return;
  // The dead link is a file entry; the ring is reported, each link once.
  const Outcome one = Search(root, 1);
  EXPECT_EQ(std::count(one.scan.begin(), one.scan.end(), "    " + test::Native(root + "/tot.par")), 1);
  EXPECT_EQ(std::count_if(one.reports.begin(), one.reports.end(),
                          [](const std::string& report) { return report.find("ring") != std::string::npos; }),
            2);
  // Each folder behind the fanning links gives its documents once.
  EXPECT_EQ(std::count_if(one.scan.begin(), one.scan.end(),
                          [](const std::string& entry) { return entry.ends_with("unten.psm"); }),
            1);
}

TEST_F(ParallelWalk, GivesTheRowsOrderAndReportsOfOneThreadWithFoldersNobodyMayList) {
  if (test::SkipHere(!test::kFolderModes, "folders an ordinary user cannot list need POSIX modes")) return;
  temp.file("cad/d1/gesperrt/geheim.par", "kein Dokument");
  temp.file("cad/d3/e0/auch gesperrt/x.asm", "kein Dokument");
  const Strings locked{root + "/d1/gesperrt", root + "/d3/e0/auch gesperrt"};
  for (const std::string& folder : locked) test::DenyListing(folder);
  test::AsOrdinaryUser(temp, [&] { ExpectTheOrderOfOneThread(); });
  for (const std::string& folder : locked) test::AllowListing(folder);
  const Outcome after = Search(root, 16);
  EXPECT_EQ(std::count_if(after.scan.begin(), after.scan.end(),
                          [](const std::string& entry) { return entry.ends_with("geheim.par"); }),
            1);
}

// A folder the walk has seen in its parent's listing is gone when its turn
// comes (it is moved away before the second folder of the walk is listed,
// with one thread and with many): both report it, neither lists its documents.
TEST_F(ParallelWalk, GivesTheRowsOrderAndReportsOfOneThreadWhenFoldersVanish) {
  namespace fs = std::filesystem;
  temp.file("cad/weg/a.par", "kein Dokument");
  temp.file("cad/d2/auch weg/b.dft", "kein Dokument");
  const fs::path away = temp / "fort";
  int calls = 0;
  const auto before = [&] {
    calls = 0;
    if (fs::exists(away / "weg")) fs::rename(away / "weg", temp / "cad/weg");
    if (fs::exists(away / "auch weg")) fs::rename(away / "auch weg", temp / "cad/d2/auch weg");
  };
  const auto vanish = [&] {
    if (++calls != 2) return;
    fs::create_directories(away);
    fs::rename(temp / "cad/weg", away / "weg");
    fs::rename(temp / "cad/d2/auch weg", away / "auch weg");
  };
  ExpectTheOrderOfOneThread(vanish, before);
  before();
  const Outcome one = Search(root, 1, false, vanish);
  EXPECT_NE(std::find(one.reports.begin(), one.reports.end(),
                      test::Native(root + "/weg/") + " " + platform::ErrorText({platform::Fault::notFound, 0})),
            one.reports.end());
}

// A stop while folders are still to be listed keeps every document read so
// far, each in the place the whole search gives it, and leaves no folder or
// document open. The stop comes from the folder hook once five documents are
// read; a run in which the walk ended first is tried again.
TEST_F(ParallelWalk, AStopDuringTheWalkKeepsTheRowsReadInTheirPlaces) {
  // Many folders, each with two documents: the listing runs only a few
  // documents ahead of the reading, so the reading begins long before the
  // walk is through.
  for (int k = 0; k < 300; ++k) {
    std::string folder = "cad/viele/";
    folder.append(std::to_string(k / 20)).append("/").append(std::to_string(k)).append("/k");
    temp.file(folder + ".par", "kein Dokument");
    temp.file(folder + ".asm", "kein Dokument");
  }
  const Outcome whole = Search(root, 1);
  const size_t folders = 1 + std::count_if(std::filesystem::recursive_directory_iterator(root),
                                           std::filesystem::recursive_directory_iterator(), [](const auto& entry) {
                                             return entry.is_directory();
                                           });
  const long openBefore = test::OpenFileCount();
  bool stoppedDuringTheWalk = false;
  for (int attempt = 0; attempt < 20 && !stoppedDuringTheWalk; ++attempt) {
    std::atomic<bool> cancel{false};
    std::atomic<size_t> read{0};
    size_t listed = 0;
    SearchHooks hooks;
    hooks.cancel = &cancel;
    hooks.progress = [&](size_t done, size_t) { read = done; };
    hooks.perFolder = [&] {
      ++listed;
      if (read >= 5) cancel = true;
    };
    ScanList scan;
    ResultRows rows;
    RunSearch({root, TypeSelection().set(), true, false, 4}, scan, rows, hooks);
    if (!cancel) continue;
    stoppedDuringTheWalk = listed < folders;
    SCOPED_TRACE(std::to_string(listed) + " of " + std::to_string(folders) + " folders listed");
    // Every document read is kept: the stop came after the fifth, and each
    // of the four threads finishes the one it has begun.
    EXPECT_GE(rows.size(), 5U);
    EXPECT_EQ(rows.size(), read.load());
    // In the order of the whole search, and the same rows it gives.
    size_t at = 0;
    const std::string all = whole.lines;
    for (size_t k = 0; k < rows.size(); ++k) {
      std::string line;
      AppendListFileLine(line, rows, k);
      at = all.find(line, at);
      ASSERT_NE(at, std::string::npos) << "row " << k << " out of order: " << line;
      at += line.size();
    }
    // The walk's part of the scan comes in the order of the whole one.
    for (size_t k = 0, w = 0; k < scan.size(); ++k, ++w) {
      while (w < whole.scan.size() && whole.scan[w] != scan[k]) ++w;
      ASSERT_LT(w, whole.scan.size()) << scan[k];
    }
    EXPECT_EQ(test::OpenFileCount(), openBefore);
  }
  EXPECT_TRUE(stoppedDuringTheWalk) << "in 20 runs the walk always ended before five documents were read";
}

}  // namespace
}  // namespace fendrik
