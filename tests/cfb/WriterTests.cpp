// Replacing root streams: results read back by our reader and olefile, every
// other byte kept, growth across sector, mini-stream, FAT and DIFAT limits;
// the writer's refusals (damaged structure, read-only, locked, missing
// stream, full disk) and what it keeps (inode, owner, mode).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <tuple>

#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/Names.h"
#include "properties/cfb/UniqueFd.h"

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
    detail::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    detail::Container c(fd.get(), std::filesystem::file_size(path));
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
    const Stream* best = nullptr;
    for (const auto& s : streams)
      if (s.mini == mini && (!best || s.chain.size() > best->chain.size())) best = &s;
    return best->chain;
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
    ASSERT_EQ(fileState(path, before, changes), "new");
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

class Growth : public ::testing::TestWithParam<int> {
 protected:
  void make(std::vector<BuildStream> extra) {
    path_ = makeDocument(dir_, "grow.par", GetParam(), std::move(extra));
    ::chmod(path_.c_str(), 0640);
  }
  // Applies `changes` and checks the result through both readers; the file
  // keeps its inode, owner and mode, and its modification time advances.
  void replace(const std::vector<StreamReplacement>& changes) {
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, path_.c_str(), old, 0);
    struct stat before {}, after {};
    ::stat(path_.c_str(), &before);
    auto streams = rootStreams(path_);
    replaceRootStreams(path_, changes);
    EXPECT_EQ(fileState(path_, streams, changes), "new");
    ::stat(path_.c_str(), &after);
    EXPECT_EQ(std::tie(after.st_ino, after.st_uid, after.st_gid, after.st_mode),
              std::tie(before.st_ino, before.st_uid, before.st_gid, before.st_mode));
    EXPECT_GT(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  }
  uint32_t headerField(size_t offset) { return detail::loadU32(readFileBytes(path_).data() + offset); }
  TempDir dir_;
  std::filesystem::path path_;
};

TEST_P(Growth, AcrossSectorAndMiniStreamLimits) {
  make({{u"Other", pattern(700, 3)}, {u"Model", pattern(20000, 4)}});
  // Past a sector boundary, and shrinking.
  replace({{kExtendedSummary, pattern(45300 + 5000, 5)}});
  replace({{kExtendedSummary, pattern(30000, 6)}});
  // Out of the mini stream and back in, in both directions at once.
  replace({{kSummary, pattern(5000, 7)}, {kExtendedSummary, pattern(3000, 8)}});
  replace({{kSummary, pattern(4095, 9)}, {kExtendedSummary, pattern(4096, 10)}});
  // Empty and back.
  replace({{u"Other", {}}});
  replace({{u"Other", pattern(2000, 11)}});
  // Repeated saves reuse freed sectors: the file does not keep growing.
  auto size = std::filesystem::file_size(path_);
  for (int i = 0; i < 20; ++i) replaceRootStreams(path_, statusLikeChange(rootStreams(path_), 4));
  EXPECT_LE(std::filesystem::file_size(path_), size + 8 * 4096);
  EXPECT_TRUE(olefileRootStreams({path_}).front().has_value());
}

TEST_P(Growth, FullMiniStreamAndMiniFatMove) {
  // The mini sectors fill the mini FAT and the mini stream's last sector exactly.
  const size_t perMiniFat = GetParam() == 3 ? 128 : 1024;
  std::vector<BuildStream> streams = {{u"Model", pattern(9000, 99)}};
  for (size_t i = 0, used = 7; used < perMiniFat; ++i) {  // the summary's 400 bytes take 7
    size_t units = std::min<size_t>(63, perMiniFat - used);
    streams.push_back({u"S" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(1, char16_t(u'a' + i / 26)),
                       pattern(units * 64, static_cast<uint32_t>(i))});
    used += units;
  }
  make(streams);
  const uint32_t miniFatBefore = headerField(detail::kHdrNumMiniFatSectors);
  replace({{kSummary, pattern(1000, 2)}});
  EXPECT_GT(headerField(detail::kHdrNumMiniFatSectors), miniFatBefore);
  replace({{kSummary, pattern(3000, 3)}, {u"Model", pattern(9001, 4)}});
}

TEST_P(Growth, FatAndDifatGrowInALargeFile) {
  // Version 3: over 109 FAT sectors, so DIFAT sectors exist and must grow.
  const bool v3 = GetParam() == 3;
  make({{u"Model", std::vector<uint8_t>(v3 ? (8u << 20) : (5u << 20), 0)}});
  const uint32_t fatBefore = headerField(detail::kHdrNumFatSectors);
  const uint32_t difatBefore = headerField(detail::kHdrFirstDifatSector);
  replace({{kExtendedSummary, pattern(45300 + (v3 ? 300000 : 5000000), 3)}});
  EXPECT_GT(headerField(detail::kHdrNumFatSectors), fatBefore);
  if (v3) {
    EXPECT_NE(headerField(detail::kHdrFirstDifatSector), difatBefore);  // the DIFAT moved to fresh sectors
    EXPECT_GT(headerField(detail::kHdrNumFatSectors), 109u + 1);
  }
  replace({{kSummary, pattern(600, 4)}, {kExtendedSummary, pattern(45300, 5)}});
}

INSTANTIATE_TEST_SUITE_P(Versions, Growth, ::testing::Values(3, 4));

// The number of the StorageError `action` throws (0 for none), its text in `text`.
int32_t errorNumber(const std::function<void()>& action, std::string* text = nullptr) {
  try {
    action();
  } catch (const StorageError& e) {
    EXPECT_FALSE(e.description().empty());
    if (text) *text = e.what();
    return e.number();
  }
  return 0;
}

TEST(WriterAccess, RefusalsNameTheirCauseAndLeaveTheFile) {
  TempDir dir;
  const auto doc = makeDocument(dir, "doc.par");
  const auto readOnly = makeDocument(dir, "ro.par");
  ::chmod(readOnly.c_str(), 0444);
  writeFileBytes(dir / "text.par", std::vector<uint8_t>(4000, 'a'));
  writeFileBytes(dir / "empty.par", {});
  const auto changes = statusLikeChange(rootStreams(doc));
  auto missingSet = changes;
  missingSet.push_back({u"\005NoSuchPropertySet", {1, 2, 3}});
  // A lock of another program on the whole file.
  const auto locked = makeDocument(dir, "locked.par");
  detail::UniqueFd lockFd(::open(locked.c_str(), O_RDWR | O_CLOEXEC));
  struct flock lock {};
  lock.l_type = F_WRLCK;
  ASSERT_EQ(::fcntl(lockFd.get(), F_OFD_SETLK, &lock), 0);
  // A file-size limit stands in for a full disk: writing past it fails the
  // same way, before anything the old state references is touched.
  const auto full = makeDocument(dir, "full.par");
  const auto growing = statusLikeChange(rootStreams(full), 300000);
  struct Case {
    std::filesystem::path path;
    const std::vector<StreamReplacement>& changes;
    int32_t reader, writer;  // the error numbers of opening and of writing
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {dir / "none.par", changes, hresult::kFileNotFound, hresult::kFileNotFound, ""},
           {dir.path(), changes, hresult::kFileNotFound, hresult::kFileNotFound, ""},
           {dir / "text.par", changes, hresult::kInvalidHeader, hresult::kInvalidHeader, ""},
           {dir / "empty.par", changes, hresult::kInvalidHeader, hresult::kInvalidHeader, ""},
           {readOnly, changes, 0, hresult::kAccessDenied, "schreibgeschützt"},
           {doc, missingSet, 0, hresult::kSetNotFound, "NoSuchPropertySet"},
           {locked, changes, 0, hresult::kLockViolation, ""},
           {full, growing, 0, hresult::kDiskFull, ""}}) {
    SCOPED_TRACE(c.path.string());
    auto bytes = [&] { return std::filesystem::is_regular_file(c.path) ? readFileBytes(c.path) : std::vector<uint8_t>{}; };
    const auto before = bytes();
    EXPECT_EQ(errorNumber([&] { CompoundFile::open(c.path); }), c.reader);
    struct rlimit unlimited {}, limit {};
    ::getrlimit(RLIMIT_FSIZE, &unlimited);
    limit = {c.path == full ? before.size() : unlimited.rlim_cur, unlimited.rlim_max};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string text;
    const int32_t number = errorNumber([&] { replaceRootStreams(c.path, c.changes); }, &text);
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    EXPECT_EQ(number, c.writer);
    EXPECT_NE(text.find(c.text), std::string::npos) << text;
    EXPECT_EQ(bytes(), before);
  }
  // Once the lock is gone the change goes through.
  lockFd = {};
  EXPECT_EQ(errorNumber([&] { replaceRootStreams(locked, changes); }), 0);
}

// Damaged allocation structures in copies of real documents: the writer
// refuses before its first byte and leaves the file byte for byte as it was;
// where readers do not notice the damage, they still read the streams.
TEST(RealSampleStructureProof, DamagedAllocationIsRefusedUntouched) {
  using Damage = std::pair<uint64_t, uint32_t>;  // a table entry's offset and new value
  struct Case {
    std::string folder, file;
    std::function<Damage(const Layout&)> damage;
    bool readable;
    std::string expected;
  };
  const std::string body = "body.par", rod = "Connecting-Rod";
  const std::vector<Case> cases = {
      // Reproductions of the reported damage: a stream running into another.
      {"CAD-Model-Project", "Asm1.asm", [](const Layout& l) { return Damage{l.entryOffset(l.fat, 4), 13}; }, false,
       "die Sektorkette endet nicht, wo ihre Größe endet (Mini-Datenstrom, Sektor 16"},
      {rod, "bearing brasses.par", [](const Layout& l) { return Damage{l.entryOffset(l.fat, 113), 380}; }, false,
       "die Sektorkette endet nicht, wo ihre Größe endet (Mini-FAT, Sektor 380"},
      // A stream running into the directory, the mini stream, the mini FAT.
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.fat, l.longest(false)[0]), l.directory[0]}; },
       false, "gehört zu Verzeichnis und zu Datenstrom"},
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.fat, l.longest(false)[0]), l.miniStream.at(1)}; },
       false, "gehört zu Mini-Datenstrom und zu Datenstrom"},
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.fat, l.longest(false)[0]), l.miniFat.at(0)}; },
       false, "gehört zu Mini-FAT und zu Datenstrom"},
      // A mini stream running into another.
      {rod, body,
       [](const Layout& l) {
         const auto& from = l.longest(true);
         auto into = std::find_if(l.streams.begin(), l.streams.end(), [&](auto& s) { return s.mini && s.chain != from; });
         return Damage{l.entryOffset(l.miniFat, from.at(0)), into->chain.back()};
       },
       false, "Mini-Sektor"},
      // Used (mini) sectors the FAT calls free: readers never follow that entry,
      // a writer that trusted the FAT would take the sector for new data.
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.fat, l.longest(false).back()), detail::kFreeSector}; },
       true, "als frei markiert"},
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.miniFat, l.longest(true).back()), detail::kFreeSector}; },
       true, "als frei markiert"},
      // A chain continuing past its size (to a sector behind the file's end).
      {rod, body, [](const Layout& l) { return Damage{l.entryOffset(l.fat, l.longest(false).back()), l.sectorCount}; },
       true, "endet nicht, wo ihre Größe endet"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file + ": " + c.expected);
    const auto sample = realSample(c.folder, c.file);
    ASSERT_FALSE(sample.empty()) << "real sample missing";
    const auto changes = statusLikeChange(rootStreams(sample));
    auto path = dir.copy(sample, "damaged.par");
    auto bytes = readFileBytes(path);
    const auto [offset, value] = c.damage(Layout(path));
    detail::storeU32(bytes.data() + offset, value);
    writeFileBytes(path, bytes);
    if (c.readable) {
      EXPECT_EQ(rootStreams(path), rootStreams(sample));
    }
    std::string text;
    EXPECT_EQ(errorNumber([&] { replaceRootStreams(path, changes); }, &text), hresult::kDocfileCorrupt);
    EXPECT_NE(text.find("Die Datei ist beschädigt: "), std::string::npos) << text;
    EXPECT_NE(text.find(c.expected), std::string::npos) << text;
    EXPECT_TRUE(readFileBytes(path) == bytes) << "bytes changed";
  }
}

}  // namespace
}  // namespace fendrik::cfb::testing
