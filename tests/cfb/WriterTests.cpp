// Replacing root streams: results read back by our reader and olefile, every
// other byte kept, growth across sector, mini-stream, FAT and DIFAT limits.

#include <gtest/gtest.h>

#include <fcntl.h>

#include <set>

#include "CompoundFileBuilder.h"
#include "WriterSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/Names.h"
#include "properties/cfb/UniqueFd.h"
#include "properties/cfb/WriteHooksForTests.h"

namespace fendrik::cfb::testing {
namespace {

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = static_cast<uint8_t>((i * 31 + seed * 7) ^ (i >> 8));
  return v;
}

// Applies `changes` and checks the result through both readers.
void expectReplaced(const std::filesystem::path& path, const std::vector<StreamReplacement>& changes) {
  auto before = rootStreams(path);
  replaceRootStreams(path, changes);
  EXPECT_EQ(fileState(path, before, changes), "new");
}

// Sectors a change may touch: header, FAT, mini FAT, directory (old and new),
// DIFAT, sectors free before, appended ones, and the changed streams' own
// sectors (regular, or the mini-stream sectors under their mini sectors).
std::set<uint64_t> allowedSectors(const std::filesystem::path& path, const std::vector<std::u16string>& names) {
  std::set<uint64_t> allowed;
  int fd = ::open(path.c_str(), O_RDONLY);
  detail::UniqueFd guard(fd);
  detail::Container c(fd, std::filesystem::file_size(path));
  const uint32_t ss = c.sectorSize();
  for (uint32_t s : c.fatLocations()) allowed.insert(s);
  for (uint32_t s : c.difatSectors()) allowed.insert(s);
  for (uint32_t s : c.directoryChain()) allowed.insert(s);
  for (uint32_t s : c.miniFatChain()) allowed.insert(s);
  for (uint32_t s = 0; s < std::min<uint64_t>(c.sectorCount(), uint64_t(c.fatLocations().size()) * ss / 4); ++s)
    if (c.nextSector(s) == detail::kFreeSector) allowed.insert(s);
  for (const auto& name : names)
    for (uint32_t id : c.rootChildren()) {
      if (c.entry(id).name != name) continue;
      for (uint32_t u : c.streamChain(id)) {
        if (c.inMiniStream(id))
          allowed.insert(c.miniSectorOffset(u) / ss - 1);
        else
          allowed.insert(u);
      }
    }
  return allowed;
}

TEST(RealSampleWriter, StatusChangeTouchesOnlyWhatItNeeds) {
  TempDir dir;
  for (const auto& sample : realSamples()) {
    SCOPED_TRACE(sample.string());
    auto path = copyInto(sample, dir, "doc.par");
    auto oldBytes = readFileBytes(path);
    auto before = rootStreams(path);
    auto changes = statusLikeChange(before);
    std::vector<std::u16string> names;
    for (const auto& [name, bytes] : before)
      for (const auto& c : changes)
        if (compareNames(name, c.name) == 0) names.push_back(name);
    auto allowedOld = allowedSectors(path, names);
    replaceRootStreams(path, changes);
    ASSERT_EQ(fileState(path, before, changes), "new");
    auto allowedNew = allowedSectors(path, names);
    auto newBytes = readFileBytes(path);
    const uint64_t ss = sample.string().empty() ? 512 : (oldBytes[0x1E] == 12 ? 4096 : 512);
    size_t differing = 0;
    for (uint64_t off = 0; off < oldBytes.size(); ++off) {
      if (off < newBytes.size() && oldBytes[off] == newBytes[off]) continue;
      ++differing;
      if (off < 512) continue;  // header
      uint64_t sector = off / ss - 1;
      EXPECT_TRUE(allowedOld.count(sector) || allowedNew.count(sector)) << "byte " << off << " sector " << sector;
      if (!allowedOld.count(sector) && !allowedNew.count(sector)) break;
    }
    // Far less than the file changes.
    EXPECT_LT(differing, oldBytes.size() / 10);
  }
}

TEST(RealSampleWriter, SingleSameSizeChangeIsOneBlockWrite) {
  TempDir dir;
  auto path = copyInto(realSamples().front(), dir, "doc.par");
  auto before = rootStreams(path);
  auto changes = statusLikeChange(before);
  changes.resize(1);
  changes[0].content.resize(before.begin()->second.size());  // placeholder, replaced below
  for (const auto& [name, bytes] : before)
    if (compareNames(name, kExtendedSummary) == 0) {
      changes[0].content = bytes;
      changes[0].content[48] ^= 1;
    }
  struct Count : WriteHooks {
    std::vector<size_t> lengths;
    int beforeWrite(uint64_t, std::span<const uint8_t> bytes) override {
      lengths.push_back(bytes.size());
      return 0;
    }
  } count;
  {
    ScopedWriteHooks installed(count);
    replaceRootStreams(path, changes);
  }
  EXPECT_EQ(count.lengths, std::vector<size_t>{512});
  EXPECT_EQ(fileState(path, before, changes), "new");
}

class Growth : public ::testing::TestWithParam<int> {};

TEST_P(Growth, AcrossSectorAndMiniStreamLimits) {
  const int version = GetParam();
  TempDir dir;
  auto path = dir / "grow.par";
  writeSparse(buildCompoundFile({{kSummary, pattern(400, 1)},
                                 {kExtendedSummary, pattern(45300, 2)},
                                 {u"Other", pattern(700, 3)},
                                 {u"Model", pattern(20000, 4)}},
                                version)
                  .image,
              path);
  // Past a sector boundary, and shrinking.
  expectReplaced(path, {{kExtendedSummary, pattern(45300 + 5000, 5)}});
  expectReplaced(path, {{kExtendedSummary, pattern(30000, 6)}});
  // Out of the mini stream and back in, in both directions at once.
  expectReplaced(path, {{kSummary, pattern(5000, 7)}, {kExtendedSummary, pattern(3000, 8)}});
  expectReplaced(path, {{kSummary, pattern(4095, 9)}, {kExtendedSummary, pattern(4096, 10)}});
  // Empty and back.
  expectReplaced(path, {{u"Other", {}}});
  expectReplaced(path, {{u"Other", pattern(2000, 11)}});
  // Repeated saves reuse freed sectors: the file does not keep growing.
  auto size = std::filesystem::file_size(path);
  for (int i = 0; i < 20; ++i) {
    auto before = rootStreams(path);
    replaceRootStreams(path, statusLikeChange(before, 4));
  }
  EXPECT_LE(std::filesystem::file_size(path), size + 8 * 4096);
  EXPECT_TRUE(olefileRootStreams(path).has_value());
}

TEST_P(Growth, FullMiniStreamAndMiniFatMove) {
  const int version = GetParam();
  const size_t perMiniFat = version == 3 ? 128 : 1024;
  TempDir dir;
  auto path = dir / "mini.par";
  // The mini sectors fill the mini FAT and the mini stream's last sector exactly.
  std::vector<BuildStream> streams = {{kSummary, pattern(128, 1)}};
  size_t used = 2;
  for (int i = 0; used < perMiniFat; ++i) {
    size_t units = std::min<size_t>(63, perMiniFat - used);
    streams.push_back({u"S" + std::u16string(1, char16_t(u'a' + i % 26)) + std::u16string(1, char16_t(u'a' + i / 26)),
                       pattern(units * 64, static_cast<uint32_t>(i))});
    used += units;
  }
  streams.push_back({u"Model", pattern(9000, 99)});
  writeSparse(buildCompoundFile(streams, version).image, path);
  const uint32_t miniFatBefore = detail::loadU32(readFileBytes(path).data() + detail::kHdrNumMiniFatSectors);
  expectReplaced(path, {{kSummary, pattern(1000, 2)}});
  EXPECT_GT(detail::loadU32(readFileBytes(path).data() + detail::kHdrNumMiniFatSectors), miniFatBefore);
  expectReplaced(path, {{kSummary, pattern(3000, 3)}, {u"Model", pattern(9001, 4)}});
}

TEST_P(Growth, FatAndDifatGrowInALargeFile) {
  const int version = GetParam();
  TempDir dir;
  auto path = dir / "large.par";
  // Version 3: over 109 FAT sectors, so DIFAT sectors exist and must grow.
  writeSparse(buildCompoundFile({{kSummary, pattern(400, 1)},
                                 {kExtendedSummary, pattern(45300, 2)},
                                 {u"Model", std::vector<uint8_t>(version == 3 ? (8u << 20) : (5u << 20), 0)}},
                                version)
                  .image,
              path);
  auto headerField = [&](size_t offset) { return detail::loadU32(readFileBytes(path).data() + offset); };
  const uint32_t fatBefore = headerField(detail::kHdrNumFatSectors);
  const uint32_t difatBefore = headerField(detail::kHdrFirstDifatSector);
  expectReplaced(path, {{kExtendedSummary, pattern(45300 + (version == 3 ? 300000 : 5000000), 3)}});
  EXPECT_GT(headerField(detail::kHdrNumFatSectors), fatBefore);
  if (version == 3) {
    EXPECT_NE(headerField(detail::kHdrFirstDifatSector), difatBefore);  // the DIFAT moved to fresh sectors
    EXPECT_GT(headerField(detail::kHdrNumFatSectors), 109u + 1);
  }
  expectReplaced(path, {{kSummary, pattern(600, 4)}, {kExtendedSummary, pattern(45300, 5)}});
}

INSTANTIATE_TEST_SUITE_P(Versions, Growth, ::testing::Values(3, 4));

}  // namespace
}  // namespace fendrik::cfb::testing
