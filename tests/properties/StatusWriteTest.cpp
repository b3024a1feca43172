// Writing the status into copies of real documents: what olefile reads back, which streams change, crash and error
// safety of the whole save, the command line, and a set too large to load.

#include <fstream>
#include <map>
#include "TestFiles.h"
#include "platform/TestSystem.h"
#include "properties/StatusChange.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/WriteHooksForTests.h"

using namespace fendrik;

namespace {

using RealSampleStatusWrite = test::RealSampleDocument;

// Stops the writer at one write or flush (a crash there) when `error` is none, or makes that write or flush fail with
// the error: the write is not made; the flush is, and the writer is given the error instead of its result.
struct FaultAt : cfb::WriteHooks {
  FaultAt(bool s, int t, platform::Fault e) : atSync(s), target(t), error(platform::Simulated(e)) {}
  bool atSync, fired = false;
  int target, seen = 0;
  platform::SystemError error;
  platform::SystemError hit() {
    if (seen++ != target) return {};
    fired = true;
    return error ? error : throw std::runtime_error("stopped");
  }
  platform::SystemError beforeWrite(uint64_t, std::span<const uint8_t>) override {
    return atSync ? platform::SystemError{} : hit();
  }
  platform::SystemError aroundSync(const std::function<platform::SystemError()>& flush) override {
    if (!atSync) return flush();
    const platform::SystemError injected = hit();
    const platform::SystemError real = flush();
    return injected ? injected : real;
  }
};

// What a child process made of `action`: the number and text of the error it threw (0 and "" for none; 1 for an
// exception that is no StorageError), and its peak memory.
struct ChildOutcome {
  int32_t number = 0;
  std::string text;
  long peakKiB = 0;
};

// Runs `action` in a child process whose address space may grow by `extraMiB` beyond what it holds at the start (see
// test::system::RunInChild).
ChildOutcome inChild(size_t extraMiB, const std::function<void()>& action) {
  const test::system::ChildReport report = test::system::RunInChild(extraMiB, [&] {
    try {
      action();
    } catch (const StorageError& e) {
      return std::to_string(e.number()) + "\n" + e.description();
    } catch (const std::exception& e) {
      return std::string("1\n") + e.what();
    }
    return std::string("0\n");
  });
  const size_t line = report.text.find('\n');
  if (!report.ended || line == std::string::npos) return {1, "the child ended without a report", report.peakKiB};
  return {std::stoi(report.text.substr(0, line)), report.text.substr(line + 1), report.peakKiB};
}

constexpr uint64_t kTerabyte = uint64_t{1} << 40;

// A file extended to 1 TB (sparse); the reason where the temporary folder takes none.
std::string extendToATerabyte(const std::string& path) {
  std::error_code error;
  std::filesystem::resize_file(platform::FsPath(path), kTerabyte, error);
  return error ? "the temporary folder takes no file of 1 TB: " + error.message() : std::string();
}

// The first `count` bytes of a file.
std::string firstBytes(const std::string& path, size_t count) {
  std::string bytes(count, '\0');
  std::ifstream in(path, std::ios::binary);
  in.read(bytes.data(), static_cast<std::streamsize>(count));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}


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
  struct Outcome {
    std::string file, warning;
    platform::Fault error;
    int32_t number;  // 0: success, -1: stopped
    bool mayBeChanged = false;
  };
  std::vector<Outcome> outcomes;
  using platform::Fault;
  for (Fault error : {Fault::none, Fault::ioError, Fault::diskFull, Fault::other}) {
    for (bool atSync : {false, true}) {
      for (int target = 0; target < 200 && (atSync || error != Fault::other); ++target) {
        Outcome o{temp.copy(document, std::to_string(outcomes.size()) + ".par").string(), {}, error, -1};
        FaultAt hooks(atSync, target, error);
        try {
          cfb::ScopedWriteHooks installed(hooks);
          try {
            o.warning = WriteDocumentStatus(*server, o.file, 3).warning;
            o.number = 0;
          } catch (const StorageError& e) {
            o.number = e.number();
            o.mayBeChanged = e.fileMayBeChanged();
          }
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
    SCOPED_TRACE(o.file + " error " + platform::ErrorText(platform::Simulated(o.error)));
    const std::string seen = test::statusSeen(view, o.file);
    EXPECT_TRUE(seen == oldSeen || seen == newSeen) << seen;
    EXPECT_EQ(test::statusSeen(o.file), seen);
    if (o.error == Fault::none) {
      ++kinds[seen == newSeen ? "crashed after the commit" : "crashed before the commit"];
    } else if (o.number == 0) {
      EXPECT_EQ(seen, newSeen);
      EXPECT_FALSE(o.warning.empty()) << "an error was injected, yet no warning";
      ++kinds["succeeded with a warning"];
    } else {
      EXPECT_EQ(seen, oldSeen) << "reported " << o.number << ", yet the file holds the change";
      EXPECT_EQ(o.number, o.error == Fault::diskFull ? hresult::kDiskFull : hresult::kWriteFault);
      EXPECT_FALSE(o.mayBeChanged) << "the file was read back as it was, yet is called possibly changed";
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
  if (const char* why = test::system::NoChildProcesses()) GTEST_SKIP() << why;
  const auto normal = temp.copy(document, "normal.par").string();
  std::vector<uint8_t> bytes = test::Section(document, test::kExtendedStream).bytes;
  bytes.resize(kMaxPropertySetBytes + 4096, 0);  // the set itself stays readable
  std::vector<cfb::StreamReplacement> grown = {{test::kExtendedStream, bytes}};
  cfb::replaceRootStreams(document, grown);
  const std::string before = test::readFile(document);
  // Peak memory of a child that sets the status of `file` and meets the expected error.
  auto changeInChild = [](const std::string& file, int32_t expected) {
    const ChildOutcome outcome = inChild(0, [&] {
      auto server = FileProperties::Create();
      server->Open(file);
      server->Item("ExtendedSummaryInformation").Item("Status").SetValue(int16_t{3});
    });
    EXPECT_EQ(outcome.number, expected) << file << ": " << outcome.text;
    return outcome.peakKiB;
  };
  const long normalPeak = changeInChild(normal, 0);
  const long hugePeak = changeInChild(document, hresult::kDocfileCorrupt);
  EXPECT_LT(hugePeak - normalPeak, static_cast<long>(kMaxPropertySetBytes / 1024 / 2)) << hugePeak << " against " << normalPeak << " KiB";
  EXPECT_EQ(test::readFile(document), before);
}

// A document extended far beyond its structure (sparse, to 1 TB) changes with the memory its structure needs: in a
// child that may take 256 MiB more address space, the status is set, and the file holds the same bytes as the
// document that was not extended after the same change, then nothing but the extension's zeros.
TEST(RealSampleStatusMemory, DocumentExtendedToATerabyteChangesInTheMemoryOfItsStructure) {
  test::TempFolder temp;
  const auto sample = test::sample("3D-model/Practical work - Part 2-Screw.par");
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  const std::string normal = temp.copy(sample, "normal.par").string();
  const std::string extended = temp.copy(sample, "extended.par").string();
  if (const char* why = test::system::NoChildProcesses()) GTEST_SKIP() << why;
  if (const std::string why = extendToATerabyte(extended); !why.empty()) GTEST_SKIP() << why;
  const ChildOutcome outcome = inChild(256, [&] {
    auto server = FileProperties::Create();
    WriteDocumentStatus(*server, extended, 3);
  });
  EXPECT_EQ(outcome.number, 0) << outcome.text;
  auto server = FileProperties::Create();
  WriteDocumentStatus(*server, normal, 3);
  const std::string changed = test::readFile(normal);
  EXPECT_EQ(test::statusSeen(extended), "3 Vodra 4");
  EXPECT_EQ(std::filesystem::file_size(extended), static_cast<uintmax_t>(kTerabyte));
  // The bytes up to the next MiB, then no data up to the end (only the hole the extension made).
  const size_t compared = ((changed.size() >> 20) + 1) << 20;
  EXPECT_TRUE(firstBytes(extended, compared) == changed + std::string(compared - changed.size(), '\0'))
      << "the extended document holds other bytes than the one that was not extended";
  EXPECT_EQ(test::system::HasDataFrom(extended, compared), std::optional<bool>(false)) << "data after the document";
}

// Memory that runs out is reported in words: a document whose FAT the DIFAT claims to be 512 MiB (FAT sectors in a
// sparse extension), which the writer's proof would read whole, in a child that may take 256 MiB more.
TEST(RealSampleStatusMemory, MemoryThatRunsOutIsReportedInWords) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "an address-space limit does not work beside AddressSanitizer";
#endif
  test::TempFolder temp;
  const auto sample = test::sample("3D-model/Practical work - Part 2-Screw.par");
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no real samples";
  const std::string path = temp.copy(sample, "claims.par").string();
  if (const char* why = test::system::NoChildProcesses()) GTEST_SKIP() << why;
  if (const std::string why = extendToATerabyte(path); !why.empty()) GTEST_SKIP() << why;
  using namespace cfb::detail;
  const std::string head = firstBytes(path, 512);
  std::vector<uint8_t> header(head.begin(), head.end());
  const uint32_t ss = 1u << loadU16(&header[kHdrSectorShift]), numFat = loadU32(&header[kHdrNumFatSectors]);
  ASSERT_LE(numFat, kHeaderDifatEntries);
  // FAT sectors from `first` on, for 512 MiB of FAT entries; the DIFAT sectors listing them behind those.
  const uint32_t first = static_cast<uint32_t>(std::filesystem::file_size(sample) / ss + 16), perDifat = ss / 4 - 1;
  const uint32_t difatSectors = ((512u << 20) / ss - kHeaderDifatEntries) / perDifat;
  const uint32_t claimed = kHeaderDifatEntries + difatSectors * perDifat, firstDifat = first + claimed;
  for (uint32_t i = numFat; i < kHeaderDifatEntries; ++i) storeU32(&header[kHdrDifat + 4 * i], first + i);
  storeU32(&header[kHdrNumFatSectors], claimed);
  storeU32(&header[kHdrFirstDifatSector], firstDifat);
  storeU32(&header[kHdrNumDifatSectors], difatSectors);
  std::vector<uint8_t> difat(size_t{difatSectors} * ss);
  for (uint32_t d = 0, fat = kHeaderDifatEntries; d < difatSectors; ++d) {
    for (uint32_t e = 0; e < perDifat; ++e) storeU32(&difat[size_t{d} * ss + 4 * e], first + fat++);
    storeU32(&difat[size_t{d} * ss + 4 * perDifat], d + 1 < difatSectors ? firstDifat + d + 1 : kEndOfChain);
  }
  platform::File file;
  ASSERT_FALSE(file.open(path, platform::File::Mode::readWrite));
  ASSERT_FALSE(file.writeAt(0, header));
  ASSERT_FALSE(file.writeAt((uint64_t{firstDifat} + 1) * ss, difat));
  ASSERT_FALSE(file.close());
  const std::string before = firstBytes(path, (size_t{firstDifat} + 1) * ss + difat.size());
  const ChildOutcome outcome = inChild(256, [&] {
    auto server = FileProperties::Create();
    WriteDocumentStatus(*server, path, 3);
  });
  EXPECT_EQ(outcome.number, hresult::kOutOfMemory) << outcome.text;
  EXPECT_NE(outcome.text.find("Nicht genug Arbeitsspeicher beim "), std::string::npos) << outcome.text;
  EXPECT_TRUE(firstBytes(path, before.size()) == before);
}

// Another program that has the document open for writing and shares no writing, as the CAD program does on Windows:
// the status change reports the document locked and leaves every byte. POSIX has no share modes; the words of the
// fault are checked on every system by WriterErrors.EachFaultHasItsNumberAndWords.
TEST_F(RealSampleStatusWrite, DocumentOpenForWritingElsewhereIsReportedLockedAndKept) {
  if (const char* why = test::system::NoShareModes()) GTEST_SKIP() << why;
  platform::File other;
  ASSERT_FALSE(other.open(document, platform::File::Mode::readWrite));
  const std::string before = test::readFile(document);
  try {
    WriteDocumentStatus(*server, document, 3);
    ADD_FAILURE() << "written beside another program's open for writing";
  } catch (const StorageError& e) {
    EXPECT_EQ(e.number(), hresult::kLockViolation);
    EXPECT_EQ(e.description(), "Die Datei wird von einem anderen Programm verwendet (gesperrt): " + document);
    EXPECT_FALSE(e.fileMayBeChanged());
  }
  EXPECT_TRUE(test::readFile(document) == before);
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
      EXPECT_NE(e.description().find(test::escapedBackslashes(document) + "\\x00.hidden/zzz.par"), std::string::npos)
          << e.description();
    }
  }
  EXPECT_FALSE(server->isOpen());
  EXPECT_TRUE(test::readFile(document) == before) << "the file before the NUL was written";
}
