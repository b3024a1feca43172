// The status change over many documents: several writers at once, reports in display order, failures that do not stop
// the run, and stopping midway. Checked with the independent reader (olefile) and the bytes of the files.

#include <fstream>
#include <map>
#include <numeric>
#include <system_error>
#include "platform/OrdinaryUser.h"
#include "TestFiles.h"
#include "platform/TestSystem.h"
#include "properties/StatusChange.h"
#include "properties/StatusRun.h"

using namespace fendrik;

namespace {

struct Reports {
  std::vector<size_t> order;
  std::vector<StatusOutcome> outcomes;
  StatusProgress progress() {
    return [this](size_t index, const StatusOutcome& outcome) {
      order.push_back(index);
      outcomes.push_back(outcome);
    };
  }
};

std::vector<size_t> UpTo(size_t n) {
  std::vector<size_t> all(n);
  std::iota(all.begin(), all.end(), 0);
  return all;
}

}  // namespace

// Several writers give what one writer gives and report in display order; failing documents are reported, left as
// they were and do not stop the run.
TEST(StatusRun, ManyWritersGiveWhatOneWriterGivesAndReportFailuresInDisplayOrder) {
  test::TempFolder one, many;
  std::vector<std::string> sets[] = {test::generateDocuments(one.path(), 40, 21), test::generateDocuments(many.path(), 40, 21)};
  const std::string readOnlyBytes = test::readFile(sets[0][3]);
  for (auto& paths : sets) {
    std::filesystem::permissions(paths[3], std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    std::filesystem::remove(paths[7]);
    std::ofstream(paths[9], std::ios::binary | std::ios::trunc) << "kein Dokument";
  }
  auto name = [&](size_t i) { return std::filesystem::path(sets[0][i]).filename().string(); };
  const std::map<std::string, int32_t> failing = {
      {name(3), hresult::kAccessDenied}, {name(7), hresult::kFileNotFound}, {name(9), hresult::kInvalidHeader}};
  std::reverse(sets[1].begin(), sets[1].end());  // display order is not file-name order
  for (unsigned workers : {1u, 8u}) {
    SCOPED_TRACE(workers);
    const auto& paths = sets[workers == 1 ? 0 : 1];
    Reports reports;
    const auto summary = WriteStatusOfDocuments(paths, 4, workers, {}, reports.progress());
    EXPECT_EQ(summary.tried, 40u);
    EXPECT_EQ(summary.written, 37u);
    ASSERT_EQ(reports.order, UpTo(40));
    std::map<std::string, int32_t> failed;
    const QJsonObject view = test::olefileView(paths);
    for (size_t i = 0; i < paths.size(); ++i) {
      if (reports.outcomes[i].written) {
        EXPECT_EQ(test::statusSeen(view, paths[i]), "4 Vodra 4") << paths[i];
      } else {
        failed[std::filesystem::path(paths[i]).filename().string()] = reports.outcomes[i].number;
        EXPECT_FALSE(reports.outcomes[i].description.empty());
      }
    }
    EXPECT_EQ(failed, failing);
    EXPECT_EQ(test::readFile(paths[workers == 1 ? 3 : 36]), readOnlyBytes);
    EXPECT_EQ(test::readFile(paths[workers == 1 ? 9 : 30]), "kein Dokument");
  }
  // The same documents end byte for byte alike, whoever wrote them.
  std::reverse(sets[1].begin(), sets[1].end());
  for (size_t i = 0; i < 40; ++i) EXPECT_EQ(test::readFile(sets[0][i]), test::readFile(sets[1][i])) << sets[0][i];
  // No documents, no work and no reports.
  Reports none;
  EXPECT_EQ(WriteStatusOfDocuments({}, 1, kDefaultStatusWorkers, {}, none.progress()).tried, 0u);
  EXPECT_TRUE(none.order.empty());
}

// When the system gives fewer threads than writers, those it gives write and report every document; when it gives
// none, the run fails before touching one.
TEST(StatusRun, FewerThreadsThanWritersStillWriteEveryDocument) {
  if (const char* why = test::system::NoOtherUsers()) GTEST_SKIP() << why;
  test::TempFolder few;
  const std::vector<std::string> paths = test::generateDocuments(few.path(), 6, 22);
  ASSERT_TRUE(test::system::HandToOrdinaryUser(few.path()));  // the ordinary user the run is made as owns them
  std::vector<std::string> before;
  for (const auto& path : paths) before.push_back(test::readFile(path));
  test::AsOrdinaryUser(few, [&] {
    EXPECT_THROW(WriteStatusOfDocuments(paths, 4, 8, {}, {}), std::system_error);
  }, 0);
  for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(test::readFile(paths[i]), before[i]) << paths[i];
  Reports reports;
  StatusRunSummary summary;
  test::AsOrdinaryUser(few, [&] { summary = WriteStatusOfDocuments(paths, 4, 8, {}, reports.progress()); }, 2);
  EXPECT_EQ(summary.written, 6u);
  EXPECT_EQ(reports.order, UpTo(6));
  const QJsonObject view = test::olefileView(paths);
  for (const auto& path : paths) EXPECT_EQ(test::statusSeen(view, path), "4 Vodra 4") << path;
}

TEST(StatusRun, StopFinishesTheDocumentsInHandAndBeginsNoOther) {
  test::TempFolder folder;
  auto paths = test::generateDocuments(folder.path(), 200, 9);
  std::vector<std::string> before;
  for (const auto& p : paths) before.push_back(test::readFile(p));
  std::stop_source stop;
  Reports reports;
  auto summary = WriteStatusOfDocuments(paths, 5, 4, stop.get_token(), [&](size_t index, const StatusOutcome& o) {
    reports.progress()(index, o);
    if (index == 0) stop.request_stop();
  });
  EXPECT_TRUE(summary.stopped);
  EXPECT_TRUE(summary.tried >= 1 && summary.tried < 200) << summary.tried;
  EXPECT_EQ(summary.written, summary.tried);
  EXPECT_EQ(reports.order, UpTo(summary.tried));
  // Exactly the reported documents changed; none is half written.
  const QJsonObject view = test::olefileView(paths);
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i < summary.tried)
      EXPECT_EQ(test::field(view, paths[i], "status"), "5") << paths[i];
    else
      EXPECT_EQ(test::readFile(paths[i]), before[i]) << paths[i];
  }
}

// Paths that name one file (the same path twice, a hard link, a symbolic link, a path through a linked folder) write
// it once: each is reported in its place with the outcome of that one write. One writer at a time: the file is set
// back behind the run once its first path is reported, and its later path leaves that in place (it is not written
// again). Eight writers: every path reported in order, each file written. A path whose status cannot be read goes
// its own way.
TEST(StatusRun, PathsNamingOneFileWriteItOnceAndReportEach) {
  namespace fs = std::filesystem;
  test::TempFolder folder;
  const std::vector<std::string> docs = test::generateDocuments(folder.path() / "docs", 5, 31);
  const std::string hard = platform::Utf8Path(folder / "hard.par"), soft = platform::Utf8Path(folder / "soft.par");
  fs::create_hard_link(platform::FsPath(docs[1]), platform::FsPath(hard));
  const bool links = test::CanMakeLinks();
  if (links) {
    fs::create_symlink(platform::FsPath(docs[2]), platform::FsPath(soft));
    fs::create_directory_symlink(folder.path() / "docs", folder / "linked");
  }
  const std::string throughLink = platform::Utf8Path(folder / "linked" / platform::FsPath(docs[3]).filename());
  const struct {
    const char* what;
    std::string first, again;
    bool needsLinks;
  } cases[] = {{"the same path twice", docs[0], docs[0], false},
               {"a hard link", docs[1], hard, false},
               {"a symbolic link", soft, docs[2], true},
               {"a path through a linked folder", docs[3], throughLink, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (test::SkipHere(c.needsLinks && !links, "symbolic links cannot be made here")) continue;
    const std::vector<std::string> paths = {c.first, docs[4], c.again};
    Reports reports;
    auto server = FileProperties::Create();
    const auto summary = WriteStatusOfDocuments(paths, 5, 1, {}, [&](size_t index, const StatusOutcome& outcome) {
      reports.progress()(index, outcome);
      if (index == 0) WriteDocumentStatus(*server, c.first, 1);
    });
    EXPECT_EQ(summary.written, 3u);
    EXPECT_EQ(reports.order, UpTo(3));
    EXPECT_EQ(test::statusSeen(c.again), "1 Vodra 0");  // the write of index 0 only, then the one behind the run
    EXPECT_EQ(test::statusSeen(docs[4]), "5 Vodra 4");
  }

  // Eight writers over all of them, with a read-only file and a missing one each named twice.
  const std::string readOnly = docs[4], missing = platform::Utf8Path(folder / "missing.par");
  const std::string readOnlyBytes = test::readFile(readOnly);
  fs::permissions(platform::FsPath(readOnly), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  std::vector<std::string> paths;
  for (const auto& c : cases)
    if (!c.needsLinks || links) paths.insert(paths.end(), {c.first, missing, c.again, readOnly});
  Reports reports;
  const auto summary = WriteStatusOfDocuments(paths, 3, 8, {}, reports.progress());
  ASSERT_EQ(reports.order, UpTo(paths.size()));
  EXPECT_EQ(summary.written, paths.size() / 2);
  for (size_t i = 0; i < paths.size(); ++i) {
    SCOPED_TRACE(paths[i]);
    const StatusOutcome& outcome = reports.outcomes[i];
    const int32_t expected[] = {0, hresult::kFileNotFound, 0, hresult::kAccessDenied};
    EXPECT_EQ(outcome.written, i % 2 == 0) << outcome.description;
    EXPECT_EQ(outcome.number, expected[i % 4]);
    EXPECT_EQ(outcome.unchanged, !outcome.written);
  }
  const QJsonObject view = test::olefileView({docs.begin(), docs.end() - 1});
  for (size_t i = 0; i + 1 < docs.size(); ++i) {
    if (i >= 2 && !links) continue;
    EXPECT_EQ(test::statusSeen(view, docs[i]), "3 Vodra 4") << docs[i];
  }
  EXPECT_EQ(test::readFile(readOnly), readOnlyBytes);
}
