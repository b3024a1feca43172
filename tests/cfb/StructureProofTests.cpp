// Damaged allocation structures in copies of real documents: the reader still
// reads what it can, the writer refuses before its first byte and leaves the
// file byte for byte as it was. Also the memory a damaged chain may cost.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "CompoundFileBuilder.h"
#include "WriterSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/UniqueFd.h"

namespace fendrik::cfb::testing {
namespace {

std::filesystem::path realSample(const std::string& folder, const std::string& name) {
  for (const auto& p : realSamples())
    if (p.filename() == name && p.parent_path().filename() == folder) return p;
  return {};
}

// The structure of a file as the container reads it, to find the sectors to damage.
struct Layout {
  uint32_t sectorSize = 0;
  std::vector<uint32_t> fatLocations;
  std::vector<uint32_t> directory;
  std::vector<uint32_t> miniFat;     // mini-FAT sectors
  std::vector<uint32_t> miniStream;  // sectors of the mini stream
  std::vector<std::vector<uint32_t>> regular;  // chains of streams outside the mini stream
  std::vector<std::vector<uint32_t>> mini;     // mini-sector chains
};

Layout layoutOf(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY);
  detail::UniqueFd guard(fd);
  detail::Container c(fd, std::filesystem::file_size(path));
  Layout l;
  l.sectorSize = c.sectorSize();
  l.fatLocations = c.fatLocations();
  l.directory = c.directoryChain();
  l.miniFat = c.miniFatChain();
  l.miniStream = c.rootChain();
  for (uint32_t id = 1; id < c.entryCount(); ++id) {
    if (c.entry(id).type != kTypeStream || c.streamSize(id) == 0) continue;
    (c.inMiniStream(id) ? l.mini : l.regular).push_back(c.streamChain(id));
  }
  return l;
}

void putU32(const std::filesystem::path& path, uint64_t offset, uint32_t value) {
  auto bytes = readFileBytes(path);
  ASSERT_LE(offset + 4, bytes.size());
  for (int k = 0; k < 4; ++k) bytes[offset + k] = static_cast<uint8_t>(value >> (8 * k));
  writeFileBytes(path, bytes);
}

void setFatEntry(const std::filesystem::path& path, uint32_t sector, uint32_t value) {
  const Layout l = layoutOf(path);
  const uint32_t per = l.sectorSize / 4;
  putU32(path, (uint64_t{l.fatLocations.at(sector / per)} + 1) * l.sectorSize + 4ull * (sector % per), value);
}

void setMiniFatEntry(const std::filesystem::path& path, uint32_t miniSector, uint32_t value) {
  const Layout l = layoutOf(path);
  const uint32_t per = l.sectorSize / 4;
  putU32(path, (uint64_t{l.miniFat.at(miniSector / per)} + 1) * l.sectorSize + 4ull * (miniSector % per), value);
}

const std::vector<uint32_t>& longest(const std::vector<std::vector<uint32_t>>& chains) {
  return *std::max_element(chains.begin(), chains.end(),
                           [](const auto& a, const auto& b) { return a.size() < b.size(); });
}

// Damages a copy of `sample`, then writes a status-like change into it: the
// writer must refuse as damaged and leave every byte.
void expectRefused(const std::filesystem::path& sample, const std::function<void(const std::filesystem::path&)>& damage,
                   const std::string& expectedText) {
  if (sample.empty()) GTEST_SKIP() << "real sample missing";
  TempDir dir;
  auto changes = statusLikeChange(rootStreams(sample));
  auto path = copyInto(sample, dir, "damaged.par");
  damage(path);
  const auto before = readFileBytes(path);
  try {
    replaceRootStreams(path, changes);
    ADD_FAILURE() << "the damaged file was written";
  } catch (const StorageError& e) {
    EXPECT_EQ(e.number(), hresult::kDocfileCorrupt);
    EXPECT_NE(std::string(e.what()).find("Die Datei ist beschädigt: "), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find(expectedText), std::string::npos) << e.what();
  }
  EXPECT_TRUE(readFileBytes(path) == before) << "bytes changed";
}

// The reproductions of the reported damage.
TEST(RealSampleStructureProof, StreamRunsIntoAnotherStreamAsm1) {
  expectRefused(realSample("CAD-Model-Project", "Asm1.asm"),
                [](const auto& p) { setFatEntry(p, 4, 13); }, "die Sektorkette endet nicht, wo ihre Größe endet (Mini-Datenstrom, Sektor 16");
}

TEST(RealSampleStructureProof, StreamRunsIntoAnotherStreamBearingBrasses) {
  expectRefused(realSample("Connecting-Rod", "bearing brasses.par"),
                [](const auto& p) { setFatEntry(p, 113, 380); }, "die Sektorkette endet nicht, wo ihre Größe endet (Mini-FAT, Sektor 380");
}

const std::filesystem::path& crossLinkSample() {
  static const auto sample = realSample("Connecting-Rod", "body.par");
  return sample;
}

TEST(RealSampleStructureProof, StreamRunsIntoTheDirectory) {
  expectRefused(crossLinkSample(), [](const auto& p) {
    const Layout l = layoutOf(p);
    setFatEntry(p, longest(l.regular)[0], l.directory[0]);
  }, "gehört zu Verzeichnis und zu Datenstrom");
}

TEST(RealSampleStructureProof, StreamRunsIntoTheMiniStream) {
  expectRefused(crossLinkSample(), [](const auto& p) {
    const Layout l = layoutOf(p);
    setFatEntry(p, longest(l.regular)[0], l.miniStream.at(1));
  }, "gehört zu Mini-Datenstrom und zu Datenstrom");
}

TEST(RealSampleStructureProof, StreamRunsIntoTheMiniFat) {
  expectRefused(crossLinkSample(), [](const auto& p) {
    const Layout l = layoutOf(p);
    setFatEntry(p, longest(l.regular)[0], l.miniFat.at(0));
  }, "gehört zu Mini-FAT und zu Datenstrom");
}

TEST(RealSampleStructureProof, MiniStreamRunsIntoAnotherMiniStream) {
  expectRefused(crossLinkSample(), [](const auto& p) {
    const Layout l = layoutOf(p);
    const auto& from = longest(l.mini);
    ASSERT_GE(from.size(), 2u);
    const auto& into = l.mini[0] == from ? l.mini.at(1) : l.mini[0];
    setMiniFatEntry(p, from[0], into.back());
  }, "Mini-Sektor");
}

// A FAT that calls the last sector of a stream free: readers never follow
// that entry, so they read the stream as before; a writer that trusted the
// FAT would take the sector for new data.
TEST(RealSampleStructureProof, UsedSectorMarkedFreeIsNotTaken) {
  auto sample = crossLinkSample();
  if (sample.empty()) GTEST_SKIP() << "real sample missing";
  TempDir dir;
  auto path = copyInto(sample, dir, "free.par");
  const Layout l = layoutOf(path);
  setFatEntry(path, longest(l.regular).back(), detail::kFreeSector);
  EXPECT_EQ(rootStreams(path), rootStreams(sample));  // reading stays lenient
  expectRefused(sample, [&](const auto& p) { setFatEntry(p, longest(l.regular).back(), detail::kFreeSector); },
                "als frei markiert");
}

TEST(RealSampleStructureProof, UsedMiniSectorMarkedFreeIsNotTaken) {
  auto sample = crossLinkSample();
  if (sample.empty()) GTEST_SKIP() << "real sample missing";
  const Layout l = layoutOf(sample);
  expectRefused(sample, [&](const auto& p) { setMiniFatEntry(p, longest(l.mini).back(), detail::kFreeSector); },
                "als frei markiert");
}

TEST(RealSampleStructureProof, ChainLongerThanItsSize) {
  // The end of one stream's chain continues (to a sector behind the file's
  // end); readers stop after the stream's size and never notice.
  expectRefused(crossLinkSample(), [](const auto& p) {
    const Layout l = layoutOf(p);
    setFatEntry(p, longest(l.regular).back(), static_cast<uint32_t>(std::filesystem::file_size(p) / l.sectorSize));
  }, "endet nicht, wo ihre Größe endet");
}

// Every real document passes the proof unchanged: a status change writes.
TEST(RealSampleStructureProof, RealSamplesPass) {
  TempDir dir;
  for (const auto& sample : realSamples()) {
    SCOPED_TRACE(sample.string());
    auto path = copyInto(sample, dir, "doc.par");
    auto before = rootStreams(path);
    auto changes = statusLikeChange(before);
    EXPECT_NO_THROW(replaceRootStreams(path, changes));
  }
}

// Peak memory (KiB) of a child process that opens `path` and reads all root streams.
long childPeakKib(const std::filesystem::path& path) {
  pid_t pid = ::fork();
  if (pid == 0) {
    try {
      rootStreams(path);
    } catch (const StorageError&) {
    }
    ::_exit(0);
  }
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return usage.ru_maxrss;
}

// One sector number far outside the file at the end of a long chain: the loop
// check must not size its marks by that number (it would take 512 MiB).
TEST(StructureProof, OutOfFileSectorCostsNoMemory) {
  TempDir dir;
  auto built = buildCompoundFile({{kSummary, std::vector<uint8_t>(400, 1)},
                                  {u"Model", std::vector<uint8_t>(100 * 512, 2)}},
                                 3);
  auto good = dir / "good.par";
  writeFileBytes(good, built.image);
  auto bad = dir / "bad.par";
  writeFileBytes(bad, built.image);
  const Layout l = layoutOf(bad);
  setFatEntry(bad, longest(l.regular).at(longest(l.regular).size() - 2), 0xFFFFFFF0u);
  EXPECT_THROW(rootStreams(bad), StorageError);
  const long baseline = childPeakKib(good);
  const long damaged = childPeakKib(bad);
  EXPECT_LT(damaged - baseline, 32 * 1024) << "peak " << damaged << " KiB against " << baseline << " KiB";
}

}  // namespace
}  // namespace fendrik::cfb::testing
