#include "properties/cfb/StructureProof.h"

#include <string>
#include <vector>

#include "properties/cfb/Container.h"
#include "properties/StorageError.h"

namespace fendrik::cfb::detail {
namespace {

std::string sectorText(uint32_t s) { return "Sektor " + std::to_string(s); }

class Prover {
 public:
  explicit Prover(Container& c) : c_(c), fat_(c.wholeFat()), ss_(c.sectorSize()) {
    // Owners of the sectors the FAT describes: a sector beyond them belongs
    // to no chain (every chain's sectors have FAT entries), however long the
    // file is.
    map_.owner.assign(c.describedSectorCount(), kOwnerNone);
    map_.lastUnit.assign(c.entryCount(), kOwnerNone);
  }

  SectorMap run() {
    for (uint32_t s : c_.difatSectors()) claimMarked(s, kOwnerDifat, kDifatSector);
    for (uint32_t s : c_.fatLocations()) claimMarked(s, kOwnerFat, kFatSector);
    walkToEnd(c_.header().firstDirSector, kOwnerDirectory);
    if (c_.header().numMiniFatSectors > 0) walk(c_.header().firstMiniFatSector, c_.header().numMiniFatSectors, kOwnerMiniFat);
    // The root entry's chain is the mini stream.
    walk(c_.entry(0).startSector, unitsFor(c_.streamSize(0), ss_), 0);
    const std::vector<uint32_t> streams = reachableStreams();
    for (uint32_t id : streams)
      if (!c_.inMiniStream(id)) walk(c_.entry(id).startSector, unitsFor(size(id), ss_), id);
    proveMiniStreams(streams);
    return std::move(map_);
  }

 private:
  uint64_t size(uint32_t id) {
    const uint64_t bytes = c_.streamSize(id);
    if (bytes > c_.fileSize())
      fail("der Datenstrom ist größer als die Datei", describeOwner(c_, id) + ": " + std::to_string(bytes) + " Bytes");
    return bytes;
  }

  [[noreturn]] void fail(const std::string& what, const std::string& where) { throwCorrupt(what, where); }

  void claim(uint32_t s, uint32_t who) {
    if (s >= c_.sectorCount())
      fail("Sektorkette verweist außerhalb der Datei", describeOwner(c_, who) + ", " + sectorText(s));
    if (s >= map_.owner.size())
      fail("Sektorkette verweist auf einen Sektor, den die FAT nicht beschreibt",
           describeOwner(c_, who) + ", " + sectorText(s) + ", die FAT beschreibt " +
               std::to_string(map_.owner.size()) + " Sektoren");
    const uint32_t had = map_.owner[s];
    if (had == who) fail("Schleife in der Sektorkette", describeOwner(c_, who) + ", " + sectorText(s));
    if (had != kOwnerNone)
      fail("zwei Ketten teilen einen Sektor",
           sectorText(s) + " gehört zu " + describeOwner(c_, had) + " und zu " + describeOwner(c_, who));
    map_.owner[s] = who;
  }

  uint32_t next(uint32_t s) const { return s < fat_.size() ? fat_[s] : kFreeSector; }

  void claimMarked(uint32_t s, uint32_t who, uint32_t mark) {
    claim(s, who);
    if (next(s) != mark)
      fail("ein Sektor der " + describeOwner(c_, who) + " ist in der FAT nicht als solcher markiert",
           sectorText(s) + ": " + hexText(next(s)));
  }

  // Exactly `count` sectors from `start`, the last one marked ENDOFCHAIN.
  void walk(uint32_t start, uint64_t count, uint32_t who) {
    if (count == 0) return;
    if (count > map_.owner.size())
      fail(count > c_.sectorCount() ? "die Kette ist länger als die Datei" : "die Kette ist länger als die FAT",
           describeOwner(c_, who) + ": " + std::to_string(count) + " Sektoren");
    uint32_t s = start;
    for (uint64_t i = 0;; ++i) {
      claim(s, who);
      const uint32_t n = next(s);
      if (i + 1 == count) {
        if (n != kEndOfChain)
          fail(n == kFreeSector ? "der letzte Sektor einer Kette ist in der FAT als frei markiert"
                                : "die Sektorkette endet nicht, wo ihre Größe endet",
               describeOwner(c_, who) + ", " + sectorText(s) + " (Glied " + std::to_string(count) + ") -> " +
                   hexText(n));
        if (who < map_.lastUnit.size()) map_.lastUnit[who] = s;
        return;
      }
      if (n > kMaxRegularSector)
        fail("die Sektorkette ist kürzer als ihre Größe", describeOwner(c_, who) + ", " + sectorText(s) + " (Glied " +
                                                              std::to_string(i + 1) + " von " +
                                                              std::to_string(count) + ") -> " + hexText(n));
      s = n;
    }
  }

  void walkToEnd(uint32_t start, uint32_t who) {
    for (uint32_t s = start; s != kEndOfChain; s = next(s)) claim(s, who);
  }

  // Entries reachable from the root through the directory tree, storages
  // included; the reader refuses loops and bad links in the root's own tree,
  // here every level is checked.
  std::vector<uint32_t> reachableStreams() {
    std::vector<uint32_t> streams;
    std::vector<bool> seen(c_.entryCount(), false);
    std::vector<uint32_t> stack{c_.links(0).child};
    seen[0] = true;
    while (!stack.empty()) {
      const uint32_t id = stack.back();
      stack.pop_back();
      if (id == kNoStream) continue;
      if (id >= c_.entryCount())
        fail("Verzeichnisverweis außerhalb des Verzeichnisses", "Verzeichniseintrag " + std::to_string(id));
      if (seen[id]) fail("Schleife im Verzeichnis", "Verzeichniseintrag " + std::to_string(id));
      seen[id] = true;
      const uint8_t type = c_.entry(id).type;
      if (type == kTypeStream) {
        streams.push_back(id);
      } else if (type != kTypeStorage) {
        fail("ungültiger Verzeichniseintrag", "Verzeichniseintrag " + std::to_string(id));
      }
      stack.push_back(c_.links(id).left);
      stack.push_back(c_.links(id).right);
      if (type == kTypeStorage) stack.push_back(c_.links(id).child);
    }
    return streams;
  }

  void proveMiniStreams(const std::vector<uint32_t>& streams) {
    bool any = false;
    for (uint32_t id : streams) any = any || (c_.inMiniStream(id) && size(id) > 0);
    if (!any) return;
    const std::vector<uint32_t>& miniFat = c_.miniFat();
    const uint64_t capacity = std::min<uint64_t>(miniFat.size(), unitsFor(c_.streamSize(0), kMiniSectorSize));
    map_.miniOwner.assign(static_cast<size_t>(capacity), kOwnerNone);
    for (uint32_t id : streams) {
      if (!c_.inMiniStream(id)) continue;
      const uint64_t count = unitsFor(size(id), kMiniSectorSize);
      const std::string who = describeOwner(c_, id);
      uint32_t m = c_.entry(id).startSector;
      for (uint64_t i = 0; i < count; ++i) {
        const std::string unit = "Mini-Sektor " + std::to_string(m);
        if (m >= capacity) fail("Mini-Sektorkette verweist außerhalb des Mini-Datenstroms", who + ", " + unit);
        const uint32_t had = map_.miniOwner[m];
        if (had == id) fail("Schleife in der Mini-Sektorkette", who + ", " + unit);
        if (had != kOwnerNone)
          fail("zwei Ketten teilen einen Mini-Sektor", unit + " gehört zu " + describeOwner(c_, had) + " und zu " + who);
        map_.miniOwner[m] = id;
        const uint32_t n = miniFat[m];
        if (i + 1 == count) {
          if (n != kEndOfChain)
            fail(n == kFreeSector ? "der letzte Mini-Sektor einer Kette ist in der Mini-FAT als frei markiert"
                                  : "die Mini-Sektorkette endet nicht, wo ihre Größe endet",
                 who + ", " + unit + " (Glied " + std::to_string(count) + ") -> " + hexText(n));
          map_.lastUnit[id] = m;
        }
        m = n;
      }
    }
  }

  Container& c_;
  const std::vector<uint32_t>& fat_;
  const uint32_t ss_;
  SectorMap map_;
};

}  // namespace

std::string describeOwner(Container& c, uint32_t owner) {
  switch (owner) {
    case kOwnerFat:
      return "FAT";
    case kOwnerDifat:
      return "DIFAT";
    case kOwnerDirectory:
      return "Verzeichnis";
    case kOwnerMiniFat:
      return "Mini-FAT";
    case 0:
      return "Mini-Datenstrom";
    default:
      return c.entryLabel(owner);
  }
}

SectorMap proveStructure(Container& c) { return Prover(c).run(); }

}  // namespace fendrik::cfb::detail
