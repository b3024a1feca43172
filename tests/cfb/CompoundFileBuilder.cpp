#include "CompoundFileBuilder.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <stdexcept>

#include "properties/cfb/Format.h"
#include "properties/cfb/Names.h"

namespace fendrik::cfb::testing {

using namespace fendrik::cfb::detail;

BuiltFile buildCompoundFile(const std::vector<BuildStream>& streams, int majorVersion) {
  BuiltFile out;
  const uint32_t ss = majorVersion == 4 ? 4096 : 512, per = ss / 4;
  out.sectorSize = ss;

  // Directory ids follow the name order, so a balanced tree is easy to build.
  for (const auto& s : streams)
    out.streamIds.push_back(1 + static_cast<uint32_t>(std::count_if(streams.begin(), streams.end(), [&](auto& o) {
                              return compareNames(o.name, s.name) < 0;
                            })));

  // Sector plan: the chains one after the other, each a run of sectors.
  std::vector<std::pair<uint32_t, uint32_t>> runs;  // (first sector, count)
  uint32_t next = 0;
  auto run = [&](uint64_t count) {
    const uint32_t first = count ? next : kEndOfChain;
    if (count) runs.push_back({next, static_cast<uint32_t>(count)});
    next += static_cast<uint32_t>(count);
    return first;
  };
  auto mini = [&](size_t i) { return streams[i].content.size() < kMiniStreamCutoff; };
  std::vector<uint32_t> start(streams.size(), kEndOfChain);  // sector, or mini sector
  for (size_t i = 0; i < streams.size(); ++i)
    if (!mini(i)) start[i] = run(unitsFor(streams[i].content.size(), ss));
  uint64_t miniSectors = 0;
  for (size_t i = 0; i < streams.size(); ++i)
    if (mini(i) && !streams[i].content.empty()) {
      start[i] = static_cast<uint32_t>(miniSectors);
      miniSectors += unitsFor(streams[i].content.size(), kMiniSectorSize);
    }
  const uint32_t rootStart = run(unitsFor(miniSectors * kMiniSectorSize, ss));
  const uint32_t miniFatCount = static_cast<uint32_t>(unitsFor(miniSectors * 4, ss));
  const uint32_t miniFatStart = run(miniFatCount);
  const uint32_t dirCount = static_cast<uint32_t>(unitsFor((streams.size() + 1) * uint64_t(kDirEntrySize), ss));
  out.firstDirSector = run(dirCount);
  uint32_t fat = 1, difat = 0;
  for (;;) {
    const uint32_t needDifat =
        fat > kHeaderDifatEntries ? static_cast<uint32_t>(unitsFor(fat - kHeaderDifatEntries, per - 1)) : 0;
    uint32_t needFat = static_cast<uint32_t>(unitsFor(uint64_t(next) + fat + needDifat, per));
    if (needFat <= fat && needDifat == difat) break;
    fat = std::max(fat, needFat);
    difat = needDifat;
  }
  out.firstFatSector = next;
  out.firstDifatSector = difat ? next + fat : kEndOfChain;
  out.numDifatSectors = difat;

  out.image.assign((static_cast<uint64_t>(next) + fat + difat + 1) * ss, 0);
  uint8_t* img = out.image.data();
  auto sec = [&](uint32_t s) { return img + out.sectorOffset(s); };
  // A table of 32-bit entries over consecutive sectors from `first`.
  auto table = [&](uint32_t first, uint64_t index, uint32_t value) { storeU32(sec(first) + 4 * index, value); };

  // FAT: the chains, FAT and DIFAT sectors marked, the rest free.
  for (uint64_t e = 0; e < uint64_t(fat) * per; ++e) table(next, e, kFreeSector);
  for (auto [first, n] : runs)
    for (uint32_t k = 0; k < n; ++k) table(next, first + k, k + 1 < n ? first + k + 1 : kEndOfChain);
  for (uint32_t k = 0; k < fat + difat; ++k) table(next, next + k, k < fat ? kFatSector : kDifatSector);

  // DIFAT: header array, then DIFAT sectors, each ending with the next one.
  for (uint32_t k = 0; k < kHeaderDifatEntries; ++k)
    storeU32(img + kHdrDifat + 4 * k, k < fat ? next + k : kFreeSector);
  for (uint32_t d = 0; d < difat; ++d) {
    for (uint32_t e = 0; e < per - 1; ++e) {
      uint64_t idx = kHeaderDifatEntries + uint64_t(d) * (per - 1) + e;
      table(next + fat + d, e, idx < fat ? next + static_cast<uint32_t>(idx) : kFreeSector);
    }
    table(next + fat + d, per - 1, d + 1 < difat ? next + fat + d + 1 : kEndOfChain);
  }

  // Stream data, mini stream, mini FAT.
  for (uint64_t e = 0; e < uint64_t(miniFatCount) * per; ++e) table(miniFatStart, e, kFreeSector);
  for (size_t i = 0; i < streams.size(); ++i) {
    const auto& c = streams[i].content;
    if (!mini(i)) {
      std::copy(c.begin(), c.end(), sec(start[i]));
    } else if (!c.empty()) {
      std::copy(c.begin(), c.end(), sec(rootStart) + uint64_t(start[i]) * kMiniSectorSize);
      const uint32_t n = static_cast<uint32_t>(unitsFor(c.size(), kMiniSectorSize));
      for (uint32_t k = 0; k < n; ++k) table(miniFatStart, start[i] + k, k + 1 < n ? start[i] + k + 1 : kEndOfChain);
    }
  }

  // Directory: every entry without links first, then root, streams and tree.
  auto writeEntry = [&](uint32_t id, const std::u16string& name, uint8_t type, uint32_t first, uint64_t size) {
    uint8_t* p = img + out.entryOffset(id);
    for (size_t k = 0; k < name.size() && k < 31; ++k) storeU16(p + 2 * k, name[k]);
    p[kDeNameLength] = static_cast<uint8_t>((std::min<size_t>(name.size(), 31) + 1) * 2);
    p[kDeType] = type;
    p[kDeType + 1] = 1;  // black
    storeU32(p + kDeStartSector, first);
    storeU64(p + kDeSize, size);
  };
  for (uint32_t id = 0; id < dirCount * (ss / kDirEntrySize); ++id)
    for (size_t link : {kDeLeft, kDeRight, kDeChild}) storeU32(img + out.entryOffset(id) + link, kNoStream);
  writeEntry(0, u"Root Entry", 5, rootStart, miniSectors * kMiniSectorSize);
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
  storeU32(img + out.entryOffset(0) + kDeChild, tree(1, static_cast<uint32_t>(streams.size())));

  // Header.
  std::copy(kSignature.begin(), kSignature.end(), img);
  for (auto [field, value] : std::initializer_list<std::pair<size_t, uint32_t>>{
           {kHdrMinorVersion, 0x3E}, {kHdrMajorVersion, majorVersion}, {kHdrByteOrder, 0xFFFE},
           {kHdrSectorShift, ss == 512 ? 9 : 12}, {kHdrMiniSectorShift, 6}})
    storeU16(img + field, static_cast<uint16_t>(value));
  for (auto [field, value] : std::initializer_list<std::pair<size_t, uint32_t>>{
           {kHdrNumDirSectors, majorVersion == 4 ? dirCount : 0}, {kHdrNumFatSectors, fat},
           {kHdrFirstDirSector, out.firstDirSector}, {kHdrMiniStreamCutoff, uint32_t(kMiniStreamCutoff)},
           {kHdrFirstMiniFatSector, miniFatStart}, {kHdrNumMiniFatSectors, miniFatCount},
           {kHdrFirstDifatSector, out.firstDifatSector}, {kHdrNumDifatSectors, difat}})
    storeU32(img + field, value);
  return out;
}

void writeSparse(const std::vector<uint8_t>& image, const std::filesystem::path& path) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  for (size_t off = 0; off < image.size(); off += 4096) {
    const auto begin = image.begin() + static_cast<long>(off), end = begin + std::min<long>(4096, image.end() - begin);
    if (std::all_of(begin, end, [](uint8_t b) { return b == 0; })) continue;  // left a hole
    file.seekp(static_cast<std::streamoff>(off));
    file.write(reinterpret_cast<const char*>(&*begin), end - begin);
  }
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
  std::filesystem::resize_file(path, image.size());
}

}  // namespace fendrik::cfb::testing
