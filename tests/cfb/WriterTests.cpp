// Replacing root streams: results read back by our reader and olefile, every
// other byte kept, growth across sector, mini-stream, FAT and DIFAT limits,
// crashes at every step; the writer's refusals (damaged structure, read-only,
// locked, missing stream, full disk) and what it keeps (inode, owner, mode).

#include <gtest/gtest.h>

#include <fstream>
#include <iostream>
#include <functional>
#include <random>
#include <set>
#include <string_view>
#include <tuple>

#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/Names.h"
#include "properties/cfb/WriteHooksForTests.h"
#include "properties/platform/Files.h"
#include "platform/TestSystem.h"

namespace fendrik::cfb::testing {
namespace {

// The structure of a file as the container reads it: where the units of
// each stream lie, and the tables to damage.
struct Layout {
  struct Stream {
    std::u16string name;
    bool mini;
    std::vector<uint32_t> chain;    // sectors, or mini sectors in the mini stream
    std::vector<uint64_t> offsets;  // the file offset of each unit
  };
  explicit Layout(const std::filesystem::path& path) {
    platform::File file;
    if (file.open(platform::Utf8Path(path), platform::File::Mode::read)) throw std::runtime_error("cannot open");
    detail::Container c(file, std::filesystem::file_size(path));
    ss = c.sectorSize();
    sectorCount = c.sectorCount();
    fat = c.fatLocations();
    directory = c.directoryChain();
    miniFat = c.miniFatChain();
    miniStream = c.rootChain();
    for (uint32_t id = 1; id < c.entryCount(); ++id) {
      if (c.entry(id).type != kTypeStream || c.streamSize(id) == 0) continue;
      Stream s{c.entry(id).name, c.inMiniStream(id), c.streamChain(id), {}};
      for (uint32_t u : s.chain) s.offsets.push_back(s.mini ? c.miniSectorOffset(u) : c.sectorOffset(u));
      streams.push_back(s);
    }
  }
  // The file offset of entry n of the FAT or mini FAT in `table` sectors.
  uint64_t entryOffset(const std::vector<uint32_t>& table, uint32_t n) const {
    return (uint64_t{table.at(n / (ss / 4))} + 1) * ss + 4ull * (n % (ss / 4));
  }
  const std::vector<uint32_t>& longest(bool mini) const {
    auto size = [&](const Stream& s) { return s.mini == mini ? s.chain.size() : 0; };
    return std::max_element(streams.begin(), streams.end(), [&](auto& a, auto& b) { return size(a) < size(b); })->chain;
  }
  uint32_t ss = 0, sectorCount = 0;
  std::vector<uint32_t> fat, directory, miniFat, miniStream;
  std::vector<Stream> streams;
};

TEST(RealSampleWriter, StatusChangeTouchesOnlyWhatItNeeds) {
  // Every unit of every stream the change leaves alone keeps its bytes, and
  // far less than the file changes.
  TempDir dir;
  for (const auto& sample : realSamples()) {
    SCOPED_TRACE(sample.string());
    auto path = dir.copy(sample, "doc.par");
    const auto oldBytes = readFileBytes(path);
    const auto before = rootStreams(path);
    const auto changes = statusLikeChange(before);
    const Layout old(path);
    replaceRootStreams(path, changes);
    ASSERT_TRUE(readsAs(path, applied(before, changes)));
    const auto newBytes = readFileBytes(path);
    ASSERT_GE(newBytes.size(), oldBytes.size());
    size_t moved = 0, differing = 0;
    for (const auto& s : old.streams)
      if (compareNames(s.name, kSummary) != 0 && compareNames(s.name, kExtendedSummary) != 0)
        for (uint64_t at : s.offsets)
          moved += !std::equal(&oldBytes[at], &oldBytes[at] + (s.mini ? 64 : old.ss), &newBytes[at]);
    for (size_t i = 0; i < oldBytes.size(); ++i) differing += oldBytes[i] != newBytes[i];
    EXPECT_EQ(moved, 0u) << "units of streams the change leaves alone";
    EXPECT_LT(differing, oldBytes.size() / 10);
  }
}

class Growth : public ::testing::TestWithParam<int> {};

// Replacements across every limit, each read back by both readers: the file
// keeps its inode, owner and mode, its modification time advances, and the
// header counts that must grow do.
TEST_P(Growth, ReplacementsAcrossEveryLimit) {
  const bool v3 = GetParam() == 3;
  // The mini sectors fill the mini FAT and the mini stream's last sector
  // exactly; in version 3 the model needs DIFAT sectors.
  const size_t perMiniFat = v3 ? 128 : 1024;
  std::vector<BuildStream> extra = {{u"Other", pattern(700, 3)},
                                    {u"Model", std::vector<uint8_t>(v3 ? 8u << 20 : 5u << 20, 0)}};
  for (size_t i = 0, used = 7 + 11, units; used < perMiniFat; ++i, used += units) {  // 7 summary, 11 Other
    units = std::min<size_t>(63, perMiniFat - used);
    extra.push_back({std::u16string{u'S', char16_t(u'a' + i % 26), char16_t(u'a' + i / 26)},
                     pattern(units * 64, static_cast<uint32_t>(i))});
  }
  TempDir dir;
  const auto path = makeDocument(dir, "grow.par", GetParam(), extra);
  using std::filesystem::perms;
  std::filesystem::permissions(path, perms::owner_read | perms::owner_write | perms::group_read);
  auto header = [&](size_t offset) { return detail::loadU32(readFileBytes(path).data() + offset); };
  struct Step {
    std::vector<StreamReplacement> changes;
    size_t grows = 0;  // the header count that must grow
  };
  const std::vector<Step> steps = {
      {{{kSummary, pattern(1000, 2)}}, detail::kHdrNumMiniFatSectors},  // the full mini FAT moves
      {{{kExtendedSummary, pattern(45300 + 5000, 5)}}},                 // past a sector boundary
      {{{kExtendedSummary, pattern(30000, 6)}}},                        // shrinking
      // Out of the mini stream and back in, in both directions at once.
      {{{kSummary, pattern(5000, 7)}, {kExtendedSummary, pattern(3000, 8)}}},
      {{{kSummary, pattern(4095, 9)}, {kExtendedSummary, pattern(4096, 10)}}},
      {{{u"Other", {}}}},  // empty and back
      {{{u"Other", pattern(2000, 11)}}},
      // More FAT sectors; in version 3 the DIFAT moves to fresh sectors.
      {{{kExtendedSummary, pattern(v3 ? 300000 : 5000000, 12)}}, detail::kHdrNumFatSectors},
      {{{kSummary, pattern(600, 13)}, {kExtendedSummary, pattern(45300, 14)}}}};
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    const uint32_t count = header(steps[i].grows), difat = header(detail::kHdrFirstDifatSector);
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(24));
    platform::FileStatus before, after;
    ASSERT_FALSE(platform::StatusOf(platform::Utf8Path(path), before));
    const std::string owner = test::system::OwnerOf(path);
    const auto mode = std::filesystem::status(path).permissions();
    const auto streams = rootStreams(path);
    replaceRootStreams(path, steps[i].changes);
    EXPECT_TRUE(readsAs(path, applied(streams, steps[i].changes)));
    ASSERT_FALSE(platform::StatusOf(platform::Utf8Path(path), after));
    EXPECT_EQ(after.identity, before.identity);
    EXPECT_EQ(test::system::OwnerOf(path), owner);
    EXPECT_EQ(std::filesystem::status(path).permissions(), mode);
    EXPECT_GT(after.modified.seconds, before.modified.seconds);
    EXPECT_TRUE(!steps[i].grows || header(steps[i].grows) > count);
    EXPECT_TRUE(!v3 || steps[i].grows != detail::kHdrNumFatSectors || header(detail::kHdrFirstDifatSector) != difat);
  }
  // Repeated saves reuse freed sectors: the file does not keep growing.
  const auto size = std::filesystem::file_size(path);
  for (int i = 0; i < 20; ++i) replaceRootStreams(path, statusLikeChange(rootStreams(path), 4));
  EXPECT_LE(std::filesystem::file_size(path), size + 8 * 4096);
  EXPECT_TRUE(olefileRootStreams({path}).front().has_value());
}

INSTANTIATE_TEST_SUITE_P(Versions, Growth, ::testing::Values(3, 4));

// Crashes at every write and every fsync of the writer, modelled as SQLite's
// crash test does: what was written before the last fsync is on the disk;
// each write since then may be on the disk, missing, or (unless it is one
// aligned 512-byte block, the unit a disk writes atomically) garbage in every
// 512-byte block it touches. Every such state must read entirely old or
// entirely new in our reader and in olefile, and the change run again on it
// must complete it.
struct Crash {};

// Records each write since the last fsync with the bytes it replaced; at step
// `stopAt` (writes and fsyncs counted together) the machine goes down.
struct CrashRecorder : WriteHooks {
  struct Write {
    uint64_t offset;
    std::vector<uint8_t> before, after;
    // One aligned 512-byte block: on the disk entirely or not at all.
    bool atomic() const { return after.size() == 512 && offset % 512 == 0; }
  };
  CrashRecorder(std::filesystem::path path, int stopAt) : path(std::move(path)), stopAt(stopAt) {}
  std::filesystem::path path;
  int stopAt, steps = 0;
  std::vector<Write> unsynced;

  platform::SystemError beforeWrite(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (steps++ == stopAt) throw Crash{};
    std::vector<uint8_t> before(bytes.size(), 0);  // zeros past the file's end
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(before.data()), static_cast<std::streamsize>(before.size()));
    unsynced.push_back({offset, std::move(before), {bytes.begin(), bytes.end()}});
    return {};
  }
  platform::SystemError aroundSync(const std::function<platform::SystemError()>& flush) override {
    if (steps++ == stopAt) throw Crash{};
    unsynced.clear();
    return flush();
  }
};

void place(std::vector<uint8_t>& image, uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size(), 0);
  std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(offset));
}

enum Fate { kKept, kLost, kGarbled };

// The disk states a crash may leave after the writes `unsynced` (`synced`
// holds them all at first; they are undone there), one after the other to
// `visit` with the fate of each write (K kept, L lost, G garbled): all kept,
// all lost, each one alone lost, kept or garbled, and random mixtures.
void forEachCrashState(std::vector<uint8_t> synced, const std::vector<CrashRecorder::Write>& unsynced,
                       std::mt19937& random,
                       const std::function<void(const std::string&, const std::vector<uint8_t>&)>& visit) {
  for (auto w = unsynced.rbegin(); w != unsynced.rend(); ++w) place(synced, w->offset, w->before);
  const size_t n = unsynced.size();
  std::vector<std::vector<Fate>> fates = {std::vector<Fate>(n, kKept), std::vector<Fate>(n, kLost)};
  for (size_t i = 0; i < n; ++i)
    for (Fate alone : {kLost, kKept, kGarbled}) {
      std::vector<Fate> fate(n, alone == kKept ? kLost : kKept);
      fate[i] = alone;
      if (alone != kGarbled || !unsynced[i].atomic()) fates.push_back(fate);
    }
  for (int k = 0; k < 6 && n > 1; ++k) {
    std::vector<Fate> mixed(n);
    for (auto& f : mixed) f = static_cast<Fate>(random() % 3);
    fates.push_back(mixed);
  }
  for (const auto& fate : fates) {
    std::vector<uint8_t> image = synced;
    std::string name;
    for (size_t i = 0; i < n; ++i) {
      const auto& w = unsynced[i];
      Fate f = fate[i] == kGarbled && w.atomic() ? kKept : fate[i];
      name += "KLG"[f];
      if (f == kKept) place(image, w.offset, w.after);
      for (uint64_t block = w.offset / 512 * 512; f == kGarbled && block < w.offset + w.after.size(); block += 512) {
        std::vector<uint8_t> garbage(512);
        for (auto& b : garbage) b = static_cast<uint8_t>(random());
        place(image, block, garbage);
      }
    }
    visit(name, image);
  }
}

// Crashes `changes` on a copy of `original` at every step, until a run takes
// no more than `steps` allows; then checks all disk states that may remain.
void crashEverywhere(const std::filesystem::path& original, const std::vector<StreamReplacement>& changes,
                     int minimumSteps, int maximumSteps = 1000) {
  TempDir dir;
  const auto before = rootStreams(original);
  const auto after = applied(before, changes);
  std::mt19937 random(4711);
  std::set<size_t> seen;  // hashes of the states written
  std::vector<std::filesystem::path> files;  // named by the step and the fate of each write since the last fsync
  for (int step = 0, done = 0; !done; ++step) {
    CrashRecorder recorder(dir.copy(original, "crash.par"), step);
    try {
      ScopedWriteHooks installed(recorder);
      replaceRootStreams(recorder.path, changes);
      done = 1;
      ASSERT_TRUE(readsAs(recorder.path, after));
      ASSERT_GE(step, minimumSteps);
      ASSERT_LE(step, maximumSteps);
    } catch (const Crash&) {
    }
    forEachCrashState(readFileBytes(recorder.path), recorder.unsynced, random, [&](auto& fates, auto& image) {
      const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
      if (!seen.insert(std::hash<std::string_view>()(bytes)).second) return;
      files.push_back(dir / (std::to_string(files.size()) + " step " + std::to_string(step) + " " + fates + ".par"));
      writeSparse(image, files.back());
    });
  }
  // Both readers, olefile for all states in one run.
  auto reference = olefileRootStreams(files);
  size_t oldCount = 0, newCount = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(files[i].filename().string());
    const StreamMap ours = rootStreams(files[i]);
    EXPECT_TRUE(ours == before || ours == after) << "mixed contents";
    EXPECT_TRUE(reference[i] == ours) << "olefile reads otherwise";
    oldCount += ours == before;
    newCount += ours == after;
    // The crashed file is still one the writer accepts, and the change
    // completes on it.
    replaceRootStreams(files[i], changes);
    EXPECT_TRUE(rootStreams(files[i]) == after);
  }
  EXPECT_GT(oldCount, 0u);
  EXPECT_GT(newCount, 0u);
}

TEST(RealSampleCrashSafety, StatusChangeOnRealDocuments) {
  // Version 3, and version 4 growing past its last sector.
  for (auto [folder, file, growBy] :
       {std::tuple{"headrestraint", "Asm2.asm", 24}, std::tuple{"CAD-Model-Project", "Asm1.asm", 5000}}) {
    SCOPED_TRACE(file);
    const auto sample = realSample(folder, file);
    crashEverywhere(sample, statusLikeChange(rootStreams(sample), growBy), 5);
  }
}

TEST(CrashSafety, GeneratedDocuments) {
  TempDir dir;
  // Growth that adds FAT sectors and moves the DIFAT.
  auto path = makeDocument(dir, "big.par", 3, {{u"Model", std::vector<uint8_t>(8u << 20, 0)}});
  crashEverywhere(path, statusLikeChange(rootStreams(path), 200000), 6);
  // A single same-size change inside one 512-byte block: that block is
  // written alone and is the commit (one write, one fsync).
  for (int version : {3, 4}) {
    path = makeDocument(dir, "small.par", version);
    auto changes = statusLikeChange(rootStreams(path), 0);
    changes.resize(1);
    crashEverywhere(path, changes, 2, 2);
  }
}

TEST(WriterAccess, RefusalsNameTheirCauseAndLeaveTheFile) {
  TempDir dir;
  const auto doc = makeDocument(dir, "doc.par");
  const auto readOnly = makeDocument(dir, "ro.par");
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                             std::filesystem::perms::others_read);
  const auto changes = statusLikeChange(rootStreams(doc));
  auto missingSet = changes;
  missingSet.push_back({u"\005NoSuchPropertySet", {1, 2, 3}});
  // Another program's lock (on Windows also its open for writing).
  const auto locked = makeDocument(dir, "locked.par");
  platform::File lockHolder;
  ASSERT_FALSE(lockHolder.open(platform::Utf8Path(locked), platform::File::Mode::readWrite));
  ASSERT_FALSE(lockHolder.lock(platform::File::Lock::exclusive, 0));
  // A file-size limit stands in for a full disk: writing past it fails the
  // same way, before anything the old state references is touched.
  const auto growing = statusLikeChange(rootStreams(doc), 300000);
  // Paths the system refuses: a name longer than a folder entry may be, a
  // path longer than the system takes, and links that point at each other.
  const auto longName = dir / (std::string(300, 'n') + ".par");
  std::filesystem::path longPath = dir.path();
  while (longPath.native().size() <= test::kMaxPath) longPath /= std::string(200, 'p');
  const bool links = test::CanMakeLinks();
  if (links) {
    dir.link("loop/a.par", (dir / "loop/b.par").string());
    dir.link("loop/b.par", (dir / "loop/a.par").string());
  }
  struct Case {
    std::filesystem::path path;
    const std::vector<StreamReplacement>& changes;
    int32_t reader, writer;  // the error numbers of opening and of writing
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {dir / "none.par", changes, hresult::kFileNotFound, hresult::kFileNotFound, ""},
           {dir.path(), changes, hresult::kFileNotFound, hresult::kFileNotFound, ""},
           {dir.file("text", std::string(4000, 'a')), changes, hresult::kInvalidHeader, hresult::kInvalidHeader, ""},
           {dir.file("empty"), changes, hresult::kInvalidHeader, hresult::kInvalidHeader, ""},
           {readOnly, changes, 0, hresult::kAccessDenied, "schreibgeschützt"},
           {doc, missingSet, 0, hresult::kSetNotFound, "NoSuchPropertySet"},
           {locked, changes, 0, hresult::kLockViolation, ""},
           {doc, growing, 0, hresult::kDiskFull, ""},
           {longName, changes, hresult::kNameTooLong, hresult::kNameTooLong, "Dateiname zu lang: " + longName.string()},
           {longPath, changes, hresult::kNameTooLong, hresult::kNameTooLong, "Dateiname zu lang"},
           {dir / "loop/a.par", changes, hresult::kLinkLoop, hresult::kLinkLoop, "Schleife"}}) {
    SCOPED_TRACE(c.path.string().substr(0, 200));
    if (c.text == "Schleife" && test::SkipHere(!links, "this account may not make symbolic links")) continue;
    auto bytes = [&] {
      std::error_code unreadable;
      return is_regular_file(c.path, unreadable) ? readFileBytes(c.path) : std::vector<uint8_t>{};
    };
    const auto before = bytes();
    EXPECT_EQ(failureOf([&] { CompoundFile::open(c.path); }).number, c.reader);
    Failure f;
    if (&c.changes == &growing) {
      if (const char* why = test::system::NoFileSizeLimit()) {
        std::cout << "not tried: " << why << "\n";
        continue;
      }
      test::FileSizeLimit limit(before.size());
      f = failureOf([&] { replaceRootStreams(c.path, c.changes); });
    } else {
      f = failureOf([&] { replaceRootStreams(c.path, c.changes); });
    }
    EXPECT_EQ(f.number, c.writer);
    EXPECT_NE(f.text.find(c.text), std::string::npos) << f.text;
    EXPECT_EQ(bytes(), before);
  }
  // A NUL byte in a path: the system would take the name up to it, doc.par.
  // Refused before anything is opened, the path made visible in the text.
  const std::filesystem::path withNul = doc.string() + std::string(1, '\0') + ".hidden/zzz.par";
  const auto docBytes = readFileBytes(doc);
  for (const auto& action : std::vector<std::function<void()>>{[&] { CompoundFile::open(withNul); },
                                                               [&] { replaceRootStreams(withNul, changes); }}) {
    const Failure f = failureOf(action);
    EXPECT_EQ(f.number, hresult::kInvalidName);
    EXPECT_NE(f.text.find("NUL-Zeichen"), std::string::npos) << f.text;
    EXPECT_NE(f.text.find(test::escapedBackslashes(doc.string()) + "\\x00.hidden/zzz.par"), std::string::npos) << f.text;
  }
  EXPECT_TRUE(readFileBytes(doc) == docBytes);
  // Once the lock is gone the change goes through.
  lockHolder = {};
  EXPECT_EQ(failureOf([&] { replaceRootStreams(locked, changes); }).number, 0);
}

// Another program that rewrites the file in place after the writer's last check (at its last flush), with the bytes
// the file held before or with another document: the file does not hold the new contents, and the writer, reading it
// back through its handle, says so (kCannotSave, the file possibly changed) instead of reporting success.
TEST(WriterReadBack, FileRewrittenAfterTheLastCheckIsNotReportedWritten) {
  // On Windows the writer's handle shares reading only: no other program can
  // write the file while it is open.
  if (test::SkipHere(test::kWindows, "the writer's handle lets no other program write the file")) return;
  TempDir dir;
  const auto sample = realSample("Connecting-Rod", "body.par");
  const auto other = realSample("Connecting-Rod", "Asm1.asm");
  ASSERT_FALSE(sample.empty() || other.empty());
  const auto changes = statusLikeChange(rootStreams(sample));
  struct AtSync : WriteHooks {
    int seen = 0, target = -1;
    std::function<void()> rewrite;
    platform::SystemError aroundSync(const std::function<platform::SystemError()>& flush) override {
      if (seen++ == target) rewrite();
      return flush();
    }
  };
  AtSync counted;  // the flushes of this change
  {
    ScopedWriteHooks installed(counted);
    replaceRootStreams(dir.copy(sample, "counted.par"), changes);
  }
  ASSERT_GT(counted.seen, 0);
  for (const auto& source : {sample, other}) {
    SCOPED_TRACE(source.string());
    const auto path = dir.copy(sample, "rewritten.par");
    const std::vector<uint8_t> bytes = readFileBytes(source);
    AtSync hooks;
    hooks.target = counted.seen - 1;
    hooks.rewrite = [&] {
      std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };
    int32_t number = 0;
    bool mayBeChanged = false;
    try {
      ScopedWriteHooks installed(hooks);
      replaceRootStreams(path, changes);
    } catch (const StorageError& e) {
      number = e.number();
      mayBeChanged = e.fileMayBeChanged();
    }
    EXPECT_EQ(number, hresult::kCannotSave);
    EXPECT_TRUE(mayBeChanged);
    const std::vector<uint8_t> now = readFileBytes(path);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), now.begin())) << "the other program's bytes";
  }
}

// What each fault of the system becomes for the user: the number and the words, with the path. Another program's open
// for writing (Windows) reads as its lock.
TEST(WriterErrors, EachFaultHasItsNumberAndWords) {
  using platform::Fault;
  struct Case {
    Fault fault;
    int32_t number;
    std::string text;
  };
  const std::vector<Case> cases = {
      {Fault::notFound, hresult::kFileNotFound, "Datei nicht gefunden: C:/x.par"},
      {Fault::nameTooLong, hresult::kNameTooLong, "Dateiname zu lang: C:/x.par"},
      {Fault::linkLoop, hresult::kLinkLoop, "Zu viele symbolische Links (eine Schleife): C:/x.par"},
      {Fault::invalidName, hresult::kInvalidName, "Ungültiger Dateiname: C:/x.par"},
      {Fault::accessDenied, hresult::kAccessDenied, "Zugriff verweigert: C:/x.par"},
      {Fault::readOnlyMedium, hresult::kAccessDenied, "Zugriff verweigert: C:/x.par"},
      {Fault::inUse, hresult::kLockViolation, "Die Datei wird von einem anderen Programm verwendet (gesperrt): C:/x.par"},
      {Fault::locked, hresult::kLockViolation, "Die Datei ist von einem anderen Programm gesperrt: C:/x.par"},
      {Fault::diskFull, hresult::kDiskFull, "Der Datenträger ist voll: C:/x.par"},
      {Fault::ioError, hresult::kReadFault, "Lesefehler: C:/x.par (Ein-/Ausgabefehler des Datenträgers)"},
      {Fault::tooManyOpen, hresult::kAccessDenied, "Zugriff verweigert: C:/x.par (Zu viele offene Dateien)"},
      {Fault::outOfMemory, hresult::kAccessDenied, "Zugriff verweigert: C:/x.par (Nicht genug Arbeitsspeicher)"},
      {Fault::notSupported, hresult::kAccessDenied,
       "Zugriff verweigert: C:/x.par (Vom Dateisystem nicht unterstützt)"},
      {Fault::other, hresult::kAccessDenied, "Zugriff verweigert: C:/x.par (Systemfehler)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Failure f = failureOf([&] { detail::throwSystemError(platform::Simulated(c.fault), "C:/x.par"); });
    EXPECT_EQ(f.number, c.number);
    EXPECT_EQ(f.text, c.text);
  }
  // A NUL the system would end the name at is named as such, made visible.
  const Failure nul = failureOf(
      [] { detail::throwSystemError(platform::Simulated(Fault::invalidName), std::string("C:/x.par\0.y", 11)); });
  EXPECT_EQ(nul.number, hresult::kInvalidName);
  EXPECT_EQ(nul.text, "Der Dateiname enthält ein NUL-Zeichen und kann nicht geöffnet werden: C:/x.par\\x00.y");
}

// Damaged allocation structures in copies of real documents: the writer
// refuses before its first byte and leaves the file byte for byte as it was;
// where readers do not notice the damage, they still read the streams.
TEST(RealSampleStructureProof, DamagedAllocationIsRefusedUntouched) {
  const auto body = realSample("Connecting-Rod", "body.par");
  ASSERT_FALSE(body.empty());
  const Layout l(body);
  const auto &big = l.longest(false), &small = l.longest(true);
  const auto other =
      std::find_if(l.streams.begin(), l.streams.end(), [&](auto& s) { return s.mini && s.chain != small; });
  struct Case {
    std::filesystem::path sample;
    bool mini;             // the damaged entry is one of the mini FAT, else of the FAT
    uint32_t unit, value;  // its number and new value
    bool readable;         // readers do not notice
    std::string expected;
  };
  const std::vector<Case> cases = {
      // Reproductions of the reported damage: a stream running into another.
      {realSample("CAD-Model-Project", "Asm1.asm"), false, 4, 13, false,
       "die Sektorkette endet nicht, wo ihre Größe endet (Mini-Datenstrom, Sektor 16"},
      {realSample("Connecting-Rod", "bearing brasses.par"), false, 113, 380, false,
       "die Sektorkette endet nicht, wo ihre Größe endet (Mini-FAT, Sektor 380"},
      // A stream running into the directory, the mini stream, the mini FAT; a mini stream into another.
      {body, false, big[0], l.directory[0], false, "gehört zu Verzeichnis und zu Datenstrom"},
      {body, false, big[0], l.miniStream.at(1), false, "gehört zu Mini-Datenstrom und zu Datenstrom"},
      {body, false, big[0], l.miniFat.at(0), false, "gehört zu Mini-FAT und zu Datenstrom"},
      {body, true, small[0], other->chain.back(), false, "Mini-Sektor"},
      // Used (mini) sectors the FAT calls free: readers never follow that entry,
      // a writer that trusted the FAT would take the sector for new data.
      {body, false, big.back(), detail::kFreeSector, true, "als frei markiert"},
      {body, true, small.back(), detail::kFreeSector, true, "als frei markiert"},
      // A chain continuing past its size (to a sector behind the file's end).
      {body, false, big.back(), l.sectorCount, true, "endet nicht, wo ihre Größe endet"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sample.filename().string() + ": " + c.expected);
    const auto changes = statusLikeChange(rootStreams(c.sample));
    auto path = dir.copy(c.sample, "damaged.par");
    auto bytes = readFileBytes(path);
    const Layout damaged(path);
    detail::storeU32(bytes.data() + damaged.entryOffset(c.mini ? damaged.miniFat : damaged.fat, c.unit), c.value);
    writeSparse(bytes, path);
    if (c.readable) {
      EXPECT_EQ(rootStreams(path), rootStreams(c.sample));
    }
    const Failure f = failureOf([&] { replaceRootStreams(path, changes); });
    EXPECT_EQ(f.number, hresult::kDocfileCorrupt);
    EXPECT_NE(f.text.find(c.expected), std::string::npos) << f.text;
    EXPECT_TRUE(readFileBytes(path) == bytes) << "bytes changed";
  }
}

}  // namespace
}  // namespace fendrik::cfb::testing
