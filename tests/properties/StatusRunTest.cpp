// The status change over many documents: several writers at once, reports in
// display order, failures that do not stop the run, and stopping midway.
// Checked with the independent reader (olefile) and the bytes of the files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <numeric>

#include "TestFiles.h"
#include "properties/StatusRun.h"
#include "properties/StorageError.h"

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

TEST(StatusRun, ManyWritersGiveWhatOneWriterGivesAndReportInDisplayOrder) {
  test::TempFolder one, many;
  auto pathsOne = test::generate(one.path(), 40, 21);
  auto pathsMany = test::generate(many.path(), 40, 21);
  std::reverse(pathsMany.begin(), pathsMany.end());  // display order is not file-name order
  Reports first, second;
  EXPECT_EQ(WriteStatusOfDocuments(pathsOne, 4, 1, {}, first.progress()).written, 40u);
  auto summary = WriteStatusOfDocuments(pathsMany, 4, 8, {}, second.progress());
  EXPECT_EQ(summary.written, 40u);
  EXPECT_FALSE(summary.stopped);
  EXPECT_EQ(first.order, UpTo(40));
  EXPECT_EQ(second.order, UpTo(40));
  const QJsonObject view = test::olefileView(pathsMany);
  for (const auto& path : pathsMany) EXPECT_EQ(test::statusSeen(view, path), "4 Vodra 4") << path;
  // The same documents end byte for byte alike, whoever wrote them.
  std::reverse(pathsMany.begin(), pathsMany.end());
  for (size_t i = 0; i < pathsOne.size(); ++i) EXPECT_EQ(test::readFile(pathsOne[i]), test::readFile(pathsMany[i])) << pathsOne[i];
  // No documents, no work and no reports.
  Reports none;
  EXPECT_EQ(WriteStatusOfDocuments({}, 1, kDefaultStatusWorkers, {}, none.progress()).tried, 0u);
  EXPECT_TRUE(none.order.empty());
}

TEST(StatusRun, FailingDocumentsAreReportedAndLeftAsTheyWere) {
  test::TempFolder folder;
  auto paths = test::generate(folder.path(), 12, 5);
  ::chmod(paths[3].c_str(), 0444);
  const std::string readOnlyBytes = test::readFile(paths[3]);
  std::filesystem::remove(paths[7]);
  { std::ofstream(paths[9], std::ios::binary | std::ios::trunc) << "kein Dokument"; }
  for (unsigned workers : {1u, 6u}) {
    SCOPED_TRACE(workers);
    Reports reports;
    auto summary = WriteStatusOfDocuments(paths, static_cast<int16_t>(workers == 1 ? 2 : 3), workers, {},
                                          reports.progress());
    EXPECT_EQ(summary.tried, 12u);
    EXPECT_EQ(summary.written, 9u);
    ASSERT_EQ(reports.order, UpTo(12));
    const std::pair<size_t, int32_t> failed[] = {
        {3, hresult::kAccessDenied}, {7, hresult::kFileNotFound}, {9, hresult::kInvalidHeader}};
    for (const auto& [index, number] : failed) {
      EXPECT_FALSE(reports.outcomes[index].written) << index;
      EXPECT_EQ(reports.outcomes[index].number, number) << index;
      EXPECT_FALSE(reports.outcomes[index].description.empty()) << index;
    }
  }
  EXPECT_EQ(test::readFile(paths[3]), readOnlyBytes);
  EXPECT_EQ(test::readFile(paths[9]), "kein Dokument");
  EXPECT_FALSE(std::filesystem::exists(paths[7]));
  const QJsonObject view = test::olefileView({paths[0], paths[11]});
  EXPECT_EQ(test::statusSeen(view, paths[0]) + " / " + test::statusSeen(view, paths[11]), "3 Vodra 4 / 3 Vodra 4");
}

TEST(StatusRun, StopFinishesTheDocumentsInHandAndBeginsNoOther) {
  test::TempFolder folder;
  auto paths = test::generate(folder.path(), 200, 9);
  std::vector<std::string> before;
  for (const auto& p : paths) before.push_back(test::readFile(p));
  std::stop_source stop;
  Reports reports;
  auto summary = WriteStatusOfDocuments(paths, 5, 4, stop.get_token(), [&](size_t index, const StatusOutcome& o) {
    reports.progress()(index, o);
    if (index == 0) stop.request_stop();
  });
  EXPECT_TRUE(summary.stopped);
  EXPECT_GE(summary.tried, 1u);
  EXPECT_LT(summary.tried, 200u);
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
