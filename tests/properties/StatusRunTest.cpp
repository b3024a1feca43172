// The status change over many documents: several writers at once, reports in display order, failures that do not stop
// the run, and stopping midway. Checked with the independent reader (olefile) and the bytes of the files.

#include <fstream>
#include <map>
#include <numeric>
#include <system_error>
#include "platform/OrdinaryUser.h"
#include "TestFiles.h"
#include "platform/TestSystem.h"
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
