// The status change over many documents: several writers at once, reports in
// display order, failures that do not stop the run, and stopping midway.
// Checked with the independent reader (olefile) and the bytes of the files.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <iterator>

#include "TestFiles.h"
#include "properties/StatusRun.h"
#include "properties/StorageError.h"

using namespace fendrik;

namespace {

// `count` generated documents in `folder`, sorted by path.
std::vector<std::string> Generate(const test::TempDir& folder, int count, int seed) {
  std::string command = "/usr/bin/python3 " + test::shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                        test::shellQuote(folder.str()) + " --documents " + std::to_string(count) + " --seed " +
                        std::to_string(seed) + " >/dev/null";
  EXPECT_EQ(test::runCommand(command), 0);
  std::vector<std::string> paths;
  for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
    if (entry.path().extension() != ".json") paths.push_back(entry.path().string());
  std::sort(paths.begin(), paths.end());
  return paths;
}

// Status and user name of each file as olefile reads them.
QJsonObject ReaderView(const std::vector<std::string>& files) {
  std::string command = "/usr/bin/python3 " + test::shellQuote(FENDRIK_OLEFILE_STATUS);
  for (const auto& f : files) command += " " + test::shellQuote(f);
  std::string json;
  EXPECT_EQ(test::runCommand(command, &json), 0);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::string Field(const QJsonObject& view, const std::string& file, const char* name) {
  return view.value(QString::fromStdString(file)).toObject().value(name).toVariant().toString().toStdString();
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

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
  for (size_t i = 0; i < n; ++i) all[i] = i;
  return all;
}

TEST(StatusRun, ManyWritersGiveWhatOneWriterGivesAndReportInDisplayOrder) {
  test::TempDir one, many;
  auto pathsOne = Generate(one, 40, 21);
  auto pathsMany = Generate(many, 40, 21);
  // Display order is not file-name order: reversed.
  std::reverse(pathsMany.begin(), pathsMany.end());
  Reports first, second;
  auto summaryOne = WriteStatusOfDocuments(pathsOne, 4, 1, {}, first.progress());
  auto summaryMany = WriteStatusOfDocuments(pathsMany, 4, 8, {}, second.progress());
  EXPECT_EQ(summaryOne.written, 40u);
  EXPECT_EQ(summaryMany.written, 40u);
  EXPECT_FALSE(summaryMany.stopped);
  EXPECT_EQ(first.order, UpTo(40));
  EXPECT_EQ(second.order, UpTo(40));
  QJsonObject viewOne = ReaderView(pathsOne), viewMany = ReaderView(pathsMany);
  for (size_t i = 0; i < pathsMany.size(); ++i) {
    EXPECT_EQ(Field(viewMany, pathsMany[i], "status"), "4") << pathsMany[i];
    EXPECT_EQ(Field(viewMany, pathsMany[i], "username"), "Vodra") << pathsMany[i];
    EXPECT_EQ(Field(viewMany, pathsMany[i], "security"), "4") << pathsMany[i];
  }
  // The same documents end byte for byte alike, whoever wrote them.
  std::vector<std::string> sortedMany = pathsMany;
  std::sort(sortedMany.begin(), sortedMany.end());
  for (size_t i = 0; i < pathsOne.size(); ++i) EXPECT_EQ(Bytes(pathsOne[i]), Bytes(sortedMany[i])) << pathsOne[i];
}

TEST(StatusRun, FailingDocumentsAreReportedAndLeftAsTheyWere) {
  test::TempDir folder;
  auto paths = Generate(folder, 12, 5);
  const std::string readOnly = paths[3];
  ::chmod(readOnly.c_str(), 0444);
  const std::string readOnlyBytes = Bytes(readOnly);
  const std::string vanished = paths[7];
  std::filesystem::remove(vanished);
  const std::string damaged = paths[9];
  { std::ofstream(damaged, std::ios::binary | std::ios::trunc) << "kein Dokument"; }

  for (unsigned workers : {1u, 6u}) {
    SCOPED_TRACE(workers);
    Reports reports;
    auto summary = WriteStatusOfDocuments(paths, static_cast<int16_t>(workers == 1 ? 2 : 3), workers, {},
                                          reports.progress());
    EXPECT_EQ(summary.tried, 12u);
    EXPECT_EQ(summary.written, 9u);
    ASSERT_EQ(reports.order, UpTo(12));
    EXPECT_FALSE(reports.outcomes[3].written);
    EXPECT_EQ(reports.outcomes[3].number, hresult::kAccessDenied);
    EXPECT_FALSE(reports.outcomes[7].written);
    EXPECT_EQ(reports.outcomes[7].number, hresult::kFileNotFound);
    EXPECT_FALSE(reports.outcomes[9].written);
    EXPECT_EQ(reports.outcomes[9].number, hresult::kInvalidHeader);
    for (size_t i : {3, 7, 9}) EXPECT_FALSE(reports.outcomes[i].description.empty());
  }
  EXPECT_EQ(Bytes(readOnly), readOnlyBytes);
  EXPECT_EQ(Bytes(damaged), "kein Dokument");
  EXPECT_FALSE(std::filesystem::exists(vanished));
  QJsonObject view = ReaderView({paths[0], paths[11]});
  EXPECT_EQ(Field(view, paths[0], "status"), "3");
  EXPECT_EQ(Field(view, paths[11], "status"), "3");
}

TEST(StatusRun, StopFinishesTheDocumentsInHandAndBeginsNoOther) {
  test::TempDir folder;
  auto paths = Generate(folder, 200, 9);
  std::vector<std::string> before;
  for (const auto& p : paths) before.push_back(Bytes(p));
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
  QJsonObject view = ReaderView(paths);
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i < summary.tried) {
      EXPECT_EQ(Field(view, paths[i], "status"), "5") << paths[i];
    } else {
      EXPECT_EQ(Bytes(paths[i]), before[i]) << paths[i];
    }
  }
}

TEST(StatusRun, NoDocumentsNoWork) {
  Reports reports;
  auto summary = WriteStatusOfDocuments({}, 1, kDefaultStatusWorkers, {}, reports.progress());
  EXPECT_EQ(summary.tried, 0u);
  EXPECT_FALSE(summary.stopped);
  EXPECT_TRUE(reports.order.empty());
}

}  // namespace
