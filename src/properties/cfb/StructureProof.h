#pragma once

// The strict check the in-place writer runs before it writes the first byte:
// which structure uses each sector of the file, proven to be exactly one.
//
// Reading stays lenient (a reader follows only the chains it needs); writing
// may not: the writer takes sectors the FAT calls free and rewrites FAT
// sectors, so a sector that two chains share, or that a chain uses while the
// FAT calls it free, would let it overwrite data a reader still sees. The
// proof reads the whole FAT once (one pread per run of consecutive FAT
// sectors) and walks every chain of the old state through it:
//  - the DIFAT sectors (marked DIFSECT), the FAT sectors (marked FATSECT),
//  - the directory chain, the mini-FAT chain (its sector count from the
//    header), the mini stream (the root entry's chain),
//  - the chain of every stream reachable from the root (storages included),
//    and, for the streams in the mini stream, their mini-sector chains.
// Each chain has exactly as many units as its size needs and ends there with
// ENDOFCHAIN; no unit lies outside the file (or mini stream), no unit is used
// twice. Hence a sector the FAT calls free is used by nothing, and likewise a
// free mini sector. A file that fails is refused with kDocfileCorrupt naming
// the structures and the sector.

#include <cstdint>
#include <string>
#include <vector>

namespace fendrik::cfb::detail {

class Container;

// Owners of sectors, beside directory entry ids (0 = the mini stream).
inline constexpr uint32_t kOwnerNone = 0xFFFFFFFFu;
inline constexpr uint32_t kOwnerFat = 0xFFFFFFFEu;
inline constexpr uint32_t kOwnerDifat = 0xFFFFFFFDu;
inline constexpr uint32_t kOwnerDirectory = 0xFFFFFFFCu;
inline constexpr uint32_t kOwnerMiniFat = 0xFFFFFFFBu;

struct SectorMap {
  // Per sector inside the file: the structure using it, or kOwnerNone.
  std::vector<uint32_t> owner;
  // Per mini sector of the mini stream (as far as the mini FAT describes it):
  // the stream using it, or kOwnerNone.
  std::vector<uint32_t> miniOwner;
  // Per directory entry: the last unit (sector or mini sector) of its chain,
  // kOwnerNone for entries without data.
  std::vector<uint32_t> lastUnit;

  bool usedByOldState(uint32_t sector) const { return sector < owner.size() && owner[sector] != kOwnerNone; }
};

// Proves the structure of the container's file as described above; throws
// StorageError (kDocfileCorrupt) when it does not hold. Loads the whole FAT
// into the container (Container::wholeFat) on the way.
SectorMap proveStructure(Container& c);

// "Datenstrom „NAME“ (Eintrag N)", "FAT", ...: who uses a sector, for messages.
std::string describeOwner(Container& c, uint32_t owner);

}  // namespace fendrik::cfb::detail
