// Writing the status into copies of real documents: what olefile reads back,
// which streams change, crash safety of the whole Save, the command line.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "TestFiles.h"
#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/StatusChange.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/WriteHooksForTests.h"
#include "properties/propset/PropertySetReader.h"

using namespace fendrik;

namespace {

const std::string kExtended = "\005C3teagxwOttdbfkuIaamtae3Ie";
const std::string kSummary = "\005SummaryInformation";

// What olefile and the reference decoder read from each file.
QJsonObject olefileView(const std::vector<std::filesystem::path>& files) {
  std::string command = "/usr/bin/python3 " + test::shellQuote(FENDRIK_OLEFILE_STATUS);
  for (const auto& f : files) command += " " + test::shellQuote(f.string());
  std::string json;
  EXPECT_EQ(test::runCommand(command, &json), 0);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
}

std::string field(const QJsonObject& view, const std::filesystem::path& file, const char* name) {
  return view.value(QString::fromStdString(file.string())).toObject().value(name).toString().toStdString();
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The stored bytes of property `id` of the first section of a root stream.
std::vector<uint8_t> storedBytes(const std::filesystem::path& file, std::u16string_view stream, uint32_t id,
                                 size_t length) {
  auto cf = cfb::CompoundFile::open(file);
  auto bytes = cf->readStream(*cf->findRootChild(stream), 1 << 20);
  propset::MemorySource source(bytes);
  auto table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(0));
  return source.bytes(table.offset + table.find(id)->offset, length);
}

// Stops the writer at one write or fsync (a crash there), or makes that
// write or fsync fail with an error number.
struct FaultAt : cfb::WriteHooks {
  enum Mode { kStopBeforeWrite, kStopBeforeSync, kFailWrite, kFailSync } mode;
  int target;
  int error = 0;
  int seen = 0;
  bool fired = false;
  FaultAt(Mode m, int t, int e = 0) : mode(m), target(t), error(e) {}
  int beforeWrite(uint64_t, std::span<const uint8_t>) override {
    if ((mode != kStopBeforeWrite && mode != kFailWrite) || seen++ != target) return 0;
    fired = true;
    if (mode == kStopBeforeWrite) throw std::runtime_error("stopped before a write");
    return error;
  }
  int beforeSync() override {
    if ((mode != kStopBeforeSync && mode != kFailSync) || seen++ != target) return 0;
    fired = true;
    if (mode == kStopBeforeSync) throw std::runtime_error("stopped before fsync");
    return error;
  }
};

}  // namespace

TEST(RealSampleStatusWrite, EveryRealSampleReadsBackInOlefile) {
  auto samples = test::realSamples();
  if (samples.empty()) GTEST_SKIP() << "no real samples";
  test::TempDir temp;
  std::vector<std::filesystem::path> copies;
  for (size_t i = 0; i < samples.size(); ++i) {
    auto dir = temp.path() / std::to_string(i);
    std::filesystem::create_directory(dir);
    copies.push_back(dir / samples[i].filename());
    std::filesystem::copy_file(samples[i], copies.back());
    std::filesystem::permissions(copies.back(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
  }
  auto server = FileProperties::Create();
  std::vector<PropertyTexts> textsBefore(copies.size());
  for (size_t i = 0; i < copies.size(); ++i) {
    server->Open(copies[i].string());
    SEProperty(*server, textsBefore[i]);
    server->Close();
  }
  QJsonObject before = olefileView(copies);
  for (size_t i = 0; i < copies.size(); ++i) WriteDocumentStatus(*server, copies[i].string(), static_cast<int16_t>(i % 6));
  QJsonObject after = olefileView(copies);

  for (size_t i = 0; i < copies.size(); ++i) {
    SCOPED_TRACE(copies[i].string());
    const int code = static_cast<int>(i % 6);
    EXPECT_EQ(field(after, copies[i], "status"), std::to_string(code));
    EXPECT_EQ(field(after, copies[i], "username"), "Vodra");
    EXPECT_EQ(field(after, copies[i], "security"), code >= 3 ? "4" : "0");
    // Only the two property-set streams may change.
    QJsonObject oldHashes = before.value(QString::fromStdString(copies[i].string())).toObject().value("hashes").toObject();
    QJsonObject newHashes = after.value(QString::fromStdString(copies[i].string())).toObject().value("hashes").toObject();
    EXPECT_EQ(oldHashes.keys(), newHashes.keys());
    for (const auto& key : oldHashes.keys()) {
      std::string name = lower(key.toStdString());
      if (name == lower(kExtended) || name == lower(kSummary)) continue;
      EXPECT_EQ(oldHashes.value(key), newHashes.value(key)) << key.toStdString();
    }
    EXPECT_NE(oldHashes.value(QString::fromStdString(kExtended)), newHashes.value(QString::fromStdString(kExtended)));
    // Our reader sees the same texts as before, with the new status.
    PropertyTexts texts;
    server->Open(copies[i].string());
    SEProperty(*server, texts);
    server->Close();
    auto expected = textsBefore[i];
    expected[2] = std::to_string(code);
    EXPECT_EQ(texts, expected);
    // The user name is stored as documents store it.
    const std::vector<uint8_t> vodra = {0x1F, 0, 0, 0, 6, 0, 0, 0, 'V', 0, 'o', 0, 'd', 0, 'r', 0, 'a', 0, 0, 0};
    EXPECT_EQ(storedBytes(copies[i], u"\005C3teagxwOttdbfkuIaamtae3Ie", 8, 20), vodra);
    EXPECT_EQ(storedBytes(copies[i], u"\005C3teagxwOttdbfkuIaamtae3Ie", 7, 8),
              (std::vector<uint8_t>{0x03, 0, 0, 0, static_cast<uint8_t>(code), 0, 0, 0}));
  }
}

TEST(RealSampleStatusWrite, InterruptedSaveLeavesAllOldOrAllNew) {
  const auto sample = std::filesystem::path(FENDRIK_REAL_SAMPLES) / "SolidEdgeStorekeeper/Part2.par";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  test::TempDir temp;
  auto server = FileProperties::Create();
  std::vector<std::filesystem::path> results;
  for (auto mode : {FaultAt::kStopBeforeWrite, FaultAt::kStopBeforeSync}) {
    for (int target = 0; target < 200; ++target) {
      auto dir = temp.path() / (std::to_string(mode) + "-" + std::to_string(target));
      std::filesystem::create_directory(dir);
      auto copy = dir / "Part2.par";
      std::filesystem::copy_file(sample, copy);
      std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
      FaultAt hooks(mode, target);
      try {
        server->Open(copy.string());
        server->Item("ExtendedSummaryInformation").Item("Status").SetValue(int16_t{3});
        server->Item("SummaryInformation").Item("Security").SetValue(int16_t{4});
        server->Item("ExtendedSummaryInformation").Item("Username").SetValue("Vodra");
        cfb::ScopedWriteHooks installed(hooks);
        server->Save();
      } catch (const std::exception&) {
      }
      server->Close();
      results.push_back(copy);
      if (!hooks.fired) break;  // the save ran to its end: every point was tried
    }
  }
  ASSERT_GT(results.size(), 6u);
  QJsonObject view = olefileView(results);
  size_t oldCount = 0, newCount = 0;
  for (const auto& file : results) {
    SCOPED_TRACE(file.string());
    EXPECT_FALSE(view.value(QString::fromStdString(file.string())).toObject().contains("error"));
    std::string status = field(view, file, "status"), user = field(view, file, "username"),
                security = field(view, file, "security");
    bool isOld = status == "0" && user == "robert" && security == "0";
    bool isNew = status == "3" && user == "Vodra" && security == "4";
    EXPECT_TRUE(isOld || isNew) << status << " / " << user << " / " << security;
    oldCount += isOld;
    newCount += isNew;
    // Our own reader opens it and agrees.
    server->Open(file.string());
    EXPECT_EQ(valueToText(server->Item("ExtendedSummaryInformation").Item("Status").Value()), status);
    EXPECT_EQ(valueToText(server->Item("ExtendedSummaryInformation").Item("Username").Value()), user);
    EXPECT_EQ(valueToText(server->Item("SummaryInformation").Item("Sicherheit").Value()), security);
    server->Close();
  }
  EXPECT_GT(oldCount, 0u);
  EXPECT_GT(newCount, 0u);
}

// An I/O error or a full disk at any write or fsync: the status change
// reports success exactly when olefile then reads the new status (with a
// warning when the error came after the commit), and otherwise the error with
// its own number, the file reading as before.
TEST(RealSampleStatusWrite, InjectedErrorsReportWhatTheFileHolds) {
  const auto sample = std::filesystem::path(FENDRIK_REAL_SAMPLES) / "SolidEdgeStorekeeper/Part2.par";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  test::TempDir temp;
  auto server = FileProperties::Create();
  struct Outcome {
    std::filesystem::path file;
    int error;
    int32_t number = 0;  // 0: success
    std::string warning;
  };
  std::vector<Outcome> outcomes;
  for (int error : {EIO, ENOSPC}) {
    for (auto mode : {FaultAt::kFailWrite, FaultAt::kFailSync}) {
      for (int target = 0; target < 200; ++target) {
        auto dir = temp.path() / (std::to_string(error) + "-" + std::to_string(mode) + "-" + std::to_string(target));
        std::filesystem::create_directory(dir);
        Outcome outcome{dir / "Part2.par", error, 0, {}};
        std::filesystem::copy_file(sample, outcome.file);
        std::filesystem::permissions(outcome.file, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        FaultAt hooks(mode, target, error);
        {
          cfb::ScopedWriteHooks installed(hooks);
          outcome.number = test::errorOf([&] { outcome.warning = WriteDocumentStatus(*server, outcome.file.string(), 3).warning; });
        }
        if (!hooks.fired) break;  // the save ran to its end: every point was tried
        outcomes.push_back(outcome);
      }
    }
  }
  std::vector<std::filesystem::path> files;
  for (const auto& o : outcomes) files.push_back(o.file);
  QJsonObject view = olefileView(files);
  size_t failures = 0, warnings = 0;
  for (const auto& o : outcomes) {
    SCOPED_TRACE(o.file.string());
    const std::string status = field(view, o.file, "status");
    if (o.number == 0) {
      EXPECT_EQ(status, "3");
      EXPECT_EQ(field(view, o.file, "security"), "4");
      EXPECT_FALSE(o.warning.empty()) << "an error was injected, yet no warning";
      warnings += 1;
    } else {
      EXPECT_EQ(status, "0") << "reported " << o.number << ", yet the file holds the change";
      EXPECT_EQ(field(view, o.file, "security"), "0");
      EXPECT_EQ(o.number, o.error == EIO ? hresult::kWriteFault : hresult::kDiskFull);
      failures += 1;
    }
  }
  EXPECT_GT(failures, 0u);
  EXPECT_GT(warnings, 0u);
}

TEST(RealSampleStatusWrite, CommandLineExitCodes) {
  const auto sample = std::filesystem::path(FENDRIK_REAL_SAMPLES) / "Connecting-Rod/body.par";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  test::TempDir temp;
  auto copy = temp.copy(sample);
  const std::string cli = test::shellQuote(FENDRIK_CLI);
  auto statusOf = [&] {
    auto server = FileProperties::Create();
    server->Open(copy.string());
    auto text = valueToText(server->Item("ExtendedSummaryInformation").Item("Status").Value());
    server->Close();
    return text.value_or("?");
  };
  EXPECT_EQ(test::runCommand(cli + " status 6 " + test::shellQuote(copy.string()) + " 2>/dev/null"), 2);
  EXPECT_EQ(test::runCommand(cli + " status x1 " + test::shellQuote(copy.string()) + " 2>/dev/null"), 2);
  EXPECT_EQ(statusOf(), "0");
  std::string errors;
  EXPECT_EQ(test::runCommand(cli + " status 4 " + test::shellQuote((temp.path() / "missing.par").string()) + " " +
                                 test::shellQuote(copy.string()) + " 2>&1 >/dev/null",
                             &errors),
            1);
  EXPECT_NE(errors.find("missing.par: -2147287038 / "), std::string::npos) << errors;
  EXPECT_EQ(statusOf(), "4");  // the next file was still written
  EXPECT_EQ(test::runCommand(cli + " status 1 " + test::shellQuote(copy.string())), 0);
  EXPECT_EQ(statusOf(), "1");
}

// A property set above the documented limit is refused as damaged before it
// is loaded: the change costs no memory of the set's size and writes nothing.
TEST(RealSampleStatusWrite, HugePropertySetIsRefusedBeforeItIsRead) {
  const auto sample = std::filesystem::path(FENDRIK_REAL_SAMPLES) / "Connecting-Rod/body.par";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  test::TempDir temp;
  auto copy = temp.copy(sample);
  const std::u16string esi = u"\005C3teagxwOttdbfkuIaamtae3Ie";
  std::vector<uint8_t> bytes;
  {
    // Closed before the write: an open reader's lock would hold the writer off.
    auto cf = cfb::CompoundFile::open(copy);
    bytes = cf->readStream(*cf->findRootChild(esi), 1 << 20);
  }
  bytes.resize(kMaxPropertySetBytes + 4096, 0);  // the set itself stays readable
  std::vector<cfb::StreamReplacement> grown = {{esi, bytes}};
  cfb::replaceRootStreams(copy, grown);
  std::ifstream in(copy, std::ios::binary);
  const std::vector<char> before((std::istreambuf_iterator<char>(in)), {});
  // Peak memory of a child process that sets the status of `file`, and the
  // error number it met.
  auto changeInChild = [](const std::filesystem::path& file, int32_t expected) {
    pid_t pid = ::fork();
    if (pid == 0) {
      int32_t number = test::errorOf([&] {
        auto server = FileProperties::Create();
        server->Open(file.string());
        server->Item("ExtendedSummaryInformation").Item("Status").SetValue(int16_t{3});
      });
      ::_exit(number == expected ? 0 : 1);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << file << ": not the expected result";
    return usage.ru_maxrss;
  };
  const long normal = changeInChild(sample, 0);
  const long huge = changeInChild(copy, hresult::kDocfileCorrupt);
  EXPECT_LT(huge - normal, static_cast<long>(kMaxPropertySetBytes / 1024 / 2)) << huge << " against " << normal << " KiB";
  std::ifstream again(copy, std::ios::binary);
  EXPECT_TRUE(std::vector<char>((std::istreambuf_iterator<char>(again)), {}) == before);
}
