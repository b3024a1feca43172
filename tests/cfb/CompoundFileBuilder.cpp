#include "CompoundFileBuilder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <numeric>
#include <stdexcept>

#include "properties/cfb/Format.h"
#include "properties/cfb/Names.h"

namespace fendrik::cfb::testing {

using namespace fendrik::cfb::detail;

BuiltFile buildCompoundFile(const std::vector<BuildStream>& streams, int majorVersion) {
  BuiltFile out;
  const uint32_t ss = majorVersion == 4 ? 4096 : 512;
  const uint32_t per = ss / 4;
  out.sectorSize = ss;

  // Directory ids follow the name order, so a balanced tree is easy to build.
  std::vector<size_t> order(streams.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return compareNames(streams[a].name, streams[b].name) < 0; });
  out.streamIds.resize(streams.size());
  for (size_t k = 0; k < order.size(); ++k) out.streamIds[order[k]] = static_cast<uint32_t>(k + 1);

  // Sector plan.
  std::vector<uint32_t> start(streams.size(), kEndOfChain);
  std::vector<uint64_t> miniStart(streams.size(), 0);
  uint32_t next = 0;
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // (first sector, count) of each chain
  for (size_t i = 0; i < streams.size(); ++i) {
    const auto& c = streams[i].content;
    if (c.size() >= kMiniStreamCutoff) {
      uint32_t n = static_cast<uint32_t>(unitsFor(c.size(), ss));
      start[i] = next;
      runs.push_back({next, n});
      next += n;
    }
  }
  uint64_t miniBytes = 0;
  for (size_t i = 0; i < streams.size(); ++i) {
    const auto& c = streams[i].content;
    if (c.size() < kMiniStreamCutoff && !c.empty()) {
      miniStart[i] = miniBytes / kMiniSectorSize;
      start[i] = static_cast<uint32_t>(miniStart[i]);
      miniBytes += unitsFor(c.size(), kMiniSectorSize) * kMiniSectorSize;
    }
  }
  const uint32_t miniSectors = static_cast<uint32_t>(miniBytes / kMiniSectorSize);
  const uint32_t rootStart = miniBytes ? next : kEndOfChain;
  const uint32_t rootCount = static_cast<uint32_t>(unitsFor(miniBytes, ss));
  if (rootCount) runs.push_back({next, rootCount});
  next += rootCount;
  const uint32_t miniFatCount = static_cast<uint32_t>(unitsFor(uint64_t(miniSectors) * 4, ss));
  const uint32_t miniFatStart = miniFatCount ? next : kEndOfChain;
  if (miniFatCount) runs.push_back({next, miniFatCount});
  next += miniFatCount;
  const uint32_t dirCount = static_cast<uint32_t>(unitsFor((streams.size() + 1) * uint64_t(kDirEntrySize), ss));
  out.firstDirSector = next;
  runs.push_back({next, dirCount});
  next += dirCount;
  uint32_t fat = 1, difat = 0;
  for (;;) {
    uint32_t needDifat = fat > kHeaderDifatEntries ? static_cast<uint32_t>(unitsFor(fat - kHeaderDifatEntries, per - 1)) : 0;
    uint32_t needFat = static_cast<uint32_t>(unitsFor(uint64_t(next) + fat + needDifat, per));
    if (needFat <= fat && needDifat == difat) break;
    fat = std::max(fat, needFat);
    difat = needDifat;
  }
  out.firstFatSector = next;
  out.numFatSectors = fat;
  out.firstDifatSector = difat ? next + fat : kEndOfChain;
  out.numDifatSectors = difat;
  const uint32_t total = next + fat + difat;

  out.image.assign((static_cast<uint64_t>(total) + 1) * ss, 0);
  uint8_t* img = out.image.data();
  auto sec = [&](uint32_t s) { return img + out.sectorOffset(s); };

  // FAT.
  std::vector<uint32_t> fatEntries(uint64_t(fat) * per, kFreeSector);
  for (auto [first, n] : runs)
    for (uint32_t k = 0; k < n; ++k) fatEntries[first + k] = k + 1 < n ? first + k + 1 : kEndOfChain;
  for (uint32_t k = 0; k < fat; ++k) fatEntries[next + k] = kFatSector;
  for (uint32_t k = 0; k < difat; ++k) fatEntries[next + fat + k] = kDifatSector;
  for (uint32_t k = 0; k < fat; ++k)
    for (uint32_t e = 0; e < per; ++e) storeU32(sec(next + k) + 4 * e, fatEntries[uint64_t(k) * per + e]);

  // DIFAT: header array, then DIFAT sectors.
  std::vector<uint32_t> difatEntries;
  for (uint32_t k = 0; k < fat; ++k) difatEntries.push_back(next + k);
  for (uint32_t k = 0; k < kHeaderDifatEntries; ++k)
    storeU32(img + kHdrDifat + 4 * k, k < fat ? difatEntries[k] : kFreeSector);
  for (uint32_t d = 0; d < difat; ++d) {
    uint8_t* p = sec(next + fat + d);
    for (uint32_t e = 0; e < per - 1; ++e) {
      uint64_t idx = kHeaderDifatEntries + uint64_t(d) * (per - 1) + e;
      storeU32(p + 4 * e, idx < fat ? difatEntries[idx] : kFreeSector);
    }
    storeU32(p + 4 * (per - 1), d + 1 < difat ? next + fat + d + 1 : kEndOfChain);
  }

  // Stream data, mini stream, mini FAT.
  std::vector<uint32_t> miniFat(uint64_t(miniFatCount) * per, kFreeSector);
  for (size_t i = 0; i < streams.size(); ++i) {
    const auto& c = streams[i].content;
    if (c.empty()) continue;
    if (c.size() >= kMiniStreamCutoff) {
      std::copy(c.begin(), c.end(), sec(start[i]));
    } else {
      std::copy(c.begin(), c.end(), sec(rootStart) + miniStart[i] * kMiniSectorSize);
      uint32_t n = static_cast<uint32_t>(unitsFor(c.size(), kMiniSectorSize));
      for (uint32_t k = 0; k < n; ++k)
        miniFat[miniStart[i] + k] = k + 1 < n ? static_cast<uint32_t>(miniStart[i]) + k + 1 : kEndOfChain;
    }
  }
  for (size_t e = 0; e < miniFat.size(); ++e) storeU32(sec(miniFatStart) + 4 * e, miniFat[e]);

  // Directory.
  auto writeEntry = [&](uint32_t id, const std::u16string& name, uint8_t type, uint32_t first, uint64_t size) {
    uint8_t* p = img + out.entryOffset(id);
    for (size_t k = 0; k < name.size() && k < 31; ++k) {
      p[2 * k] = static_cast<uint8_t>(name[k]);
      p[2 * k + 1] = static_cast<uint8_t>(name[k] >> 8);
    }
    p[kDeNameLength] = static_cast<uint8_t>((std::min<size_t>(name.size(), 31) + 1) * 2);
    p[kDeType] = type;
    p[kDeType + 1] = 1;  // black
    storeU32(p + kDeLeft, kNoStream);
    storeU32(p + kDeRight, kNoStream);
    storeU32(p + kDeChild, kNoStream);
    storeU32(p + kDeStartSector, first);
    storeU64(p + kDeSize, size);
  };
  for (uint32_t id = 0; id < dirCount * (ss / kDirEntrySize); ++id) {
    uint8_t* p = img + out.entryOffset(id);
    storeU32(p + kDeLeft, kNoStream);
    storeU32(p + kDeRight, kNoStream);
    storeU32(p + kDeChild, kNoStream);
  }
  writeEntry(0, u"Root Entry", 5, rootStart, miniBytes);
  for (size_t i = 0; i < streams.size(); ++i)
    writeEntry(out.streamIds[i], streams[i].name, 2, start[i], streams[i].content.size());
  std::function<uint32_t(uint32_t, uint32_t)> tree = [&](uint32_t lo, uint32_t hi) -> uint32_t {
    if (lo > hi) return kNoStream;
    uint32_t mid = lo + (hi - lo) / 2;
    uint8_t* p = img + out.entryOffset(mid);
    storeU32(p + kDeLeft, mid > lo ? tree(lo, mid - 1) : kNoStream);
    storeU32(p + kDeRight, tree(mid + 1, hi));
    return mid;
  };
  storeU32(img + out.entryOffset(0) + kDeChild, streams.empty() ? kNoStream : tree(1, static_cast<uint32_t>(streams.size())));

  // Header.
  std::copy(kSignature.begin(), kSignature.end(), img);
  img[kHdrMinorVersion] = 0x3E;
  img[kHdrMajorVersion] = static_cast<uint8_t>(majorVersion);
  img[kHdrByteOrder] = 0xFE;
  img[kHdrByteOrder + 1] = 0xFF;
  img[kHdrSectorShift] = ss == 512 ? 9 : 12;
  img[kHdrMiniSectorShift] = 6;
  storeU32(img + kHdrNumDirSectors, majorVersion == 4 ? dirCount : 0);
  storeU32(img + kHdrNumFatSectors, fat);
  storeU32(img + kHdrFirstDirSector, out.firstDirSector);
  storeU32(img + kHdrMiniStreamCutoff, static_cast<uint32_t>(kMiniStreamCutoff));
  storeU32(img + kHdrFirstMiniFatSector, miniFatStart);
  storeU32(img + kHdrNumMiniFatSectors, miniFatCount);
  storeU32(img + kHdrFirstDifatSector, out.firstDifatSector);
  storeU32(img + kHdrNumDifatSectors, difat);
  return out;
}

void writeSparse(const std::vector<uint8_t>& image, const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) throw std::runtime_error("cannot create " + path.string());
  const size_t block = 4096;
  for (size_t off = 0; off < image.size(); off += block) {
    size_t n = std::min(block, image.size() - off);
    if (std::all_of(image.begin() + off, image.begin() + off + n, [](uint8_t b) { return b == 0; })) continue;
    if (::pwrite(fd, image.data() + off, n, static_cast<off_t>(off)) != static_cast<ssize_t>(n)) {
      ::close(fd);
      throw std::runtime_error("cannot write " + path.string());
    }
  }
  if (::ftruncate(fd, static_cast<off_t>(image.size())) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot size " + path.string());
  }
  ::close(fd);
}

}  // namespace fendrik::cfb::testing
