// Writing the status into copies of real documents: what olefile reads back, which streams change, crash and error
// safety of the whole save, the command line, and a set too large to load.

#include <sys/resource.h>
#include <sys/wait.h>
#include <cerrno>
#include <map>
#include "TestFiles.h"
#include "properties/StatusChange.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/WriteHooksForTests.h"

using namespace fendrik;

namespace {

using RealSampleStatusWrite = test::RealSampleDocument;

// Stops the writer at one write or fsync (a crash there) when `error` is 0, or makes that write or fsync fail with
// the error number: the write is not made; the fsync is, and the writer is given the error instead of its result,
// except for EINVAL, which the real call gives, made on a pipe (the system cannot sync one).
struct FaultAt : cfb::WriteHooks {
  FaultAt(bool s, int t, int e) : atSync(s), target(t), error(e) {
    if (::pipe(pipe) != 0) throw std::runtime_error("no pipe");
  }
  ~FaultAt() override {
    ::close(pipe[0]);
    ::close(pipe[1]);
  }
  bool atSync, fired = false;
  int target, error, seen = 0, pipe[2] = {-1, -1};
  int hit() {
    if (seen++ != target) return 0;
    fired = true;
    return error != 0 ? error : throw std::runtime_error("stopped");
  }
  int beforeWrite(uint64_t, std::span<const uint8_t>) override { return atSync ? 0 : hit(); }
  int aroundSync(int fd, int (*sync)(int)) override {
    if (!atSync || hit() == 0) return sync(fd);
    if (error == EINVAL) return sync(pipe[0]);
    sync(fd);
    return error;
  }
};

}  // namespace

TEST_F(RealSampleStatusWrite, EveryRealSampleReadsBackInOlefile) {
  const auto samples = test::realSamples();
  std::vector<std::string> copies;
  std::vector<PropertyTexts> textsBefore;
  for (size_t i = 0; i < samples.size(); ++i) {
    copies.push_back(temp.copy(samples[i], std::to_string(i) + samples[i].extension().string()).string());
    textsBefore.push_back(test::readTexts(copies.back()));
  }
  const QJsonObject before = test::olefileView(copies);
  for (size_t i = 0; i < copies.size(); ++i) WriteDocumentStatus(*server, copies[i], static_cast<int16_t>(i % 6));
  const QJsonObject after = test::olefileView(copies);
  for (size_t i = 0; i < copies.size(); ++i) {
    SCOPED_TRACE(copies[i]);
    const int code = static_cast<int>(i % 6);
    EXPECT_EQ(test::statusSeen(after, copies[i]), std::to_string(code) + " Vodra " + (code >= 3 ? "4" : "0"));
    EXPECT_EQ(test::field(after, copies[i], "status_vt") + test::field(after, copies[i], "username_vt"), "331");
    // The extended set changes, the summary may; no other stream does.
    const QJsonObject oldHashes = before[QString::fromStdString(copies[i])].toObject()["hashes"].toObject();
    const QJsonObject newHashes = after[QString::fromStdString(copies[i])].toObject()["hashes"].toObject();
    EXPECT_EQ(oldHashes.keys(), newHashes.keys());
    QStringList changed;
    for (const auto& key : newHashes.keys())
      if (oldHashes[key] != newHashes[key]) changed << key.toLower();
    changed.removeAll(QString::fromStdU16String(test::kSummaryStream).toLower());
    EXPECT_EQ(changed, QStringList{QString::fromStdU16String(test::kExtendedStream).toLower()});
    // Our reader sees the same texts as before, with the new status.
    auto expected = textsBefore[i];
    expected[2] = std::to_string(code);
    EXPECT_EQ(test::readTexts(copies[i]), expected);
  }
}

// A crash, an I/O error or a full disk at any write or fsync, and an fsync the system refuses for real: the file reads
// all old or all new, in olefile and in our reader; the change reports success exactly when the file holds it (with a
// warning: the error came after the commit), and otherwise the error with its own number.
TEST_F(RealSampleStatusWrite, CrashOrErrorAtAnyWriteLeavesAllOldOrAllNew) {
  const std::string oldSeen = "0 robert 0", newSeen = "3 Vodra 4";
  struct Outcome { std::string file, warning; int error; int32_t number; };  // number 0: success, -1: stopped
  std::vector<Outcome> outcomes;
  for (int error : {0, EIO, ENOSPC, EINVAL}) {
    for (bool atSync : {false, true}) {
      for (int target = 0; target < 200 && (atSync || error != EINVAL); ++target) {
        Outcome o{temp.copy(document, std::to_string(outcomes.size()) + ".par").string(), {}, error, -1};
        FaultAt hooks(atSync, target, error);
        try {
          cfb::ScopedWriteHooks installed(hooks);
          o.number = test::errorOf([&] { o.warning = WriteDocumentStatus(*server, o.file, 3).warning; });
        } catch (const std::runtime_error&) {
        }
        if (!hooks.fired) break;  // the save ran to its end: every point was tried
        outcomes.push_back(o);
      }
    }
  }
  std::vector<std::string> files(outcomes.size());
  std::transform(outcomes.begin(), outcomes.end(), files.begin(), [](const Outcome& o) { return o.file; });
  const QJsonObject view = test::olefileView(files);
  std::map<std::string, size_t> kinds;  // every kind of outcome occurs
  for (const auto& o : outcomes) {
    SCOPED_TRACE(o.file + " error " + std::to_string(o.error));
    const std::string seen = test::statusSeen(view, o.file);
    EXPECT_TRUE(seen == oldSeen || seen == newSeen) << seen;
    EXPECT_EQ(test::statusSeen(o.file), seen);
    if (o.error == 0) {
      ++kinds[seen == newSeen ? "crashed after the commit" : "crashed before the commit"];
    } else if (o.number == 0) {
      EXPECT_EQ(seen, newSeen);
      EXPECT_FALSE(o.warning.empty()) << "an error was injected, yet no warning";
      ++kinds["succeeded with a warning"];
    } else {
      EXPECT_EQ(seen, oldSeen) << "reported " << o.number << ", yet the file holds the change";
      EXPECT_EQ(o.number, o.error == ENOSPC ? hresult::kDiskFull : hresult::kWriteFault);
      ++kinds["failed"];
    }
  }
  EXPECT_EQ(kinds.size(), 4u);
}

TEST_F(RealSampleStatusWrite, CommandLineExitCodes) {
  const std::string cli = test::shellQuote(FENDRIK_CLI), file = test::shellQuote(document);
  auto status = [&] { return test::statusSeen(document).substr(0, 1); };
  for (const char* bad : {"6", "x1"}) EXPECT_EQ(test::runCommand(cli + " status " + bad + " " + file + " 2>/dev/null"), 2);
  EXPECT_EQ(status(), "0");
  std::string errors;
  const std::string missing = test::shellQuote((temp.path() / "missing.par").string());
  EXPECT_EQ(test::runCommand(cli + " status 4 " + missing + " " + file + " 2>&1 >/dev/null", &errors), 1);
  EXPECT_NE(errors.find("missing.par: -2147287038 / "), std::string::npos) << errors;
  EXPECT_EQ(status(), "4");  // the next file was still written
  EXPECT_EQ(test::runCommand(cli + " status 1 " + file), 0);
  EXPECT_EQ(status(), "1");
}

// A property set above the documented limit is refused as damaged before it is loaded: the change costs no memory of
// the set's size and writes nothing.
TEST_F(RealSampleStatusWrite, HugePropertySetIsRefusedBeforeItIsRead) {
  const auto normal = temp.copy(document, "normal.par").string();
  std::vector<uint8_t> bytes = test::Section(document, test::kExtendedStream).bytes;
  bytes.resize(kMaxPropertySetBytes + 4096, 0);  // the set itself stays readable
  std::vector<cfb::StreamReplacement> grown = {{test::kExtendedStream, bytes}};
  cfb::replaceRootStreams(document, grown);
  const std::string before = test::readFile(document);
  // Peak memory (KiB) of a child that sets the status of `file`; it exits 0 when it met the expected error.
  auto changeInChild = [](const std::string& file, int32_t expected) {
    pid_t pid = ::fork();
    if (pid == 0) {
      int32_t number = test::errorOf([&] {
        auto server = FileProperties::Create();
        server->Open(file);
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
  const long normalPeak = changeInChild(normal, 0);
  const long hugePeak = changeInChild(document, hresult::kDocfileCorrupt);
  EXPECT_LT(hugePeak - normalPeak, static_cast<long>(kMaxPropertySetBytes / 1024 / 2)) << hugePeak << " against " << normalPeak << " KiB";
  EXPECT_EQ(test::readFile(document), before);
}

// A path holding a NUL byte names, for the system, the file before the NUL: it is refused by the server before any
// file is opened, and that file keeps its bytes.
TEST_F(RealSampleStatusWrite, PathWithANulByteIsRefusedBeforeAnyFileIsOpened) {
  const std::string withNul = document + std::string(1, '\0') + ".hidden/zzz.par";
  const std::string before = test::readFile(document);
  for (const auto& action : std::vector<std::function<void()>>{[&] { server->Open(withNul); },
                                                               [&] { WriteDocumentStatus(*server, withNul, 3); }}) {
    try {
      action();
      ADD_FAILURE() << "not refused";
    } catch (const StorageError& e) {
      EXPECT_EQ(e.number(), hresult::kInvalidName);
      EXPECT_NE(e.description().find(document + "\\x00.hidden/zzz.par"), std::string::npos) << e.description();
    }
  }
  EXPECT_FALSE(server->isOpen());
  EXPECT_TRUE(test::readFile(document) == before) << "the file before the NUL was written";
}
