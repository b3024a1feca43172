#pragma once

// The structure of one compound file, read from an open file on demand:
// header and DIFAT at construction, the directory once, FAT sectors one at a
// time as chains need them, the mini FAT and the mini stream's chain when a
// small stream is read. Shared by CompoundFile (reading) and the in-place
// writer, which re-reads the structure through its own read-write handle.
//
// A reading container may read the head of the file ahead in one read: in
// many documents the header, the FAT, the directory, the mini stream and the
// beginning of the larger property streams lie in the first few dozen KB, so
// one system call serves them all. Other documents keep the mini stream and
// mini FAT at their end; small reads outside the head therefore fetch the
// aligned window of the file around them, so that the FAT, mini FAT and
// mini-stream sectors next to each other come in one read. Eight windows are
// kept, the one used longest ago giving way: real documents spread directory,
// mini FAT and property streams over up to eight places and come back to
// them, and on a file share every read again is a round trip.

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Format.h"

namespace fendrik::cfb::detail {

struct Header {
  std::array<uint8_t, kHeaderBytes> raw{};
  uint16_t majorVersion = 0;
  uint32_t sectorShift = 0;
  uint32_t sectorSize = 0;
  uint32_t numFatSectors = 0;
  uint32_t firstDirSector = 0;
  uint32_t firstMiniFatSector = 0;
  uint32_t numMiniFatSectors = 0;
  uint32_t firstDifatSector = 0;
  uint32_t numDifatSectors = 0;
};

struct TreeLinks {
  uint32_t left = kNoStream;
  uint32_t right = kNoStream;
  uint32_t child = kNoStream;
};

class Container;

// Who owns a chain, as error descriptions name it: a text, or a directory
// entry whose label (Container::entryLabel) is only made when an error is
// described, not for every stream that is read.
class ChainOwner {
 public:
  // Implicit: most owners are texts. The text must outlive the call it is
  // passed to.
  ChainOwner(const std::string& text) : text_(text) {}
  ChainOwner(const char* text) : text_(text) {}
  ChainOwner(const Container& container, uint32_t id) : container_(&container), id_(id) {}
  std::string text() const;

 private:
  std::string_view text_;
  const Container* container_ = nullptr;
  uint32_t id_ = 0;
};

class Container {
 public:
  // Reads and checks header, DIFAT and directory; `file` stays owned by the
  // caller and open while the container lives. With readAhead > 0 the first min(readAhead, fileSize) bytes are
  // read at once and kept for later reads, in `space` when it is given and
  // free (held until the container is destroyed), else in memory of its own.
  Container(const platform::File& file, uint64_t fileSize, size_t readAhead = 0, ReadSpace* space = nullptr);
  ~Container();
  Container(const Container&) = delete;
  Container& operator=(const Container&) = delete;

  const Header& header() const { return header_; }
  uint32_t sectorSize() const { return header_.sectorSize; }
  uint64_t fileSize() const { return fileSize_; }
  // Sectors whose start lies inside the file (sector 0 follows the header).
  uint32_t sectorCount() const { return sectorCount_; }
  uint64_t sectorOffset(uint32_t sector) const { return (static_cast<uint64_t>(sector) + 1) << header_.sectorShift; }
  uint32_t entriesPerFatSector() const { return header_.sectorSize / 4; }
  // Sectors the FAT describes (its entries). Only these can belong to a
  // structure; a file may be far longer (extended sparse), and what is kept
  // per sector is kept for these, never for the file's length.
  uint64_t fatEntryCount() const { return uint64_t{fatLocations_.size()} * entriesPerFatSector(); }
  // The sectors inside the file that the FAT describes.
  uint32_t describedSectorCount() const {
    return static_cast<uint32_t>(std::min<uint64_t>(sectorCount_, fatEntryCount()));
  }

  // FAT: locations of the FAT sectors (from the DIFAT), one FAT sector's
  // entries (read once, then cached), and the next sector of a chain.
  const std::vector<uint32_t>& fatLocations() const { return fatLocations_; }
  const std::vector<uint32_t>& difatSectors() const { return difatSectors_; }
  const std::vector<uint32_t>& fatSector(uint32_t index);
  uint32_t nextSector(uint32_t sector);
  // Every FAT entry, read at the first call (one read per run of consecutive
  // FAT sectors); later chains are followed through it.
  const std::vector<uint32_t>& wholeFat();
  // Exactly `count` sectors of a chain starting at `start`, each checked to lie
  // inside the file. `what` names the chain's owner in error descriptions.
  // Every sector but the last is followed through the FAT, so a count above
  // the FAT's entries is refused before memory for it is taken.
  std::vector<uint32_t> chain(uint32_t start, uint64_t count, const ChainOwner& what);
  // A chain of unknown length, up to ENDOFCHAIN (directory, mini-FAT chain check).
  std::vector<uint32_t> chainToEnd(uint32_t start, const std::string& what);

  // Directory. Entries are decoded when first asked for.
  uint32_t entryCount() const { return static_cast<uint32_t>(dirBytes_.size() / kDirEntrySize); }
  const DirectoryEntry& entry(uint32_t id) const;
  uint8_t entryType(uint32_t id) const { return rawEntry(id)[kDeType]; }
  // Whether the entry's name equals `name` in the compound-file comparison.
  bool nameEquals(uint32_t id, std::u16string_view name) const;
  // The direct child of the root storage with that name, or kNoStream.
  uint32_t findRootChild(std::u16string_view name) const;
  const TreeLinks& links(uint32_t id) const { return links_.at(id); }
  // The entry as error descriptions name it: its kind, its name with control
  // characters written as octal escapes, and its number, e.g.
  // Datenstrom "\005SummaryInformation" (Verzeichniseintrag 3).
  std::string entryLabel(uint32_t id) const;
  const std::vector<uint32_t>& directoryChain() const { return dirChain_; }
  const std::vector<uint8_t>& directoryBytes() const { return dirBytes_; }
  const std::vector<uint32_t>& rootChildren() const { return rootChildren_; }
  uint64_t streamSize(uint32_t id) const;  // size as it counts (v3: low 32 bits)
  bool inMiniStream(uint32_t id) const { return id != 0 && streamSize(id) < kMiniStreamCutoff; }

  // Mini FAT (all entries of the mini-FAT chain) and the mini stream's chain.
  // Chains through the mini FAT read its entries in place where they lie in
  // the read-ahead head; miniFat() decodes all of them.
  const std::vector<uint32_t>& miniFat();
  const std::vector<uint32_t>& miniFatChain();
  const std::vector<uint32_t>& rootChain();
  std::vector<uint32_t> miniChain(uint32_t start, uint64_t count, const ChainOwner& what);
  // File offset of a mini sector: in this file's mini stream, or in one whose
  // sectors are `rootChain` (the writer's new mini stream).
  uint64_t miniSectorOffset(uint32_t miniSector) { return miniSectorOffset(miniSector, rootChain()); }
  uint64_t miniSectorOffset(uint32_t miniSector, const std::vector<uint32_t>& rootChain) const;

  // A stream's chain (regular or mini units), cached.
  const std::vector<uint32_t>& streamChain(uint32_t id);
  void readStream(uint32_t id, uint64_t offset, std::span<uint8_t> out);
  // The whole stream; its chain is proven before memory for its content is
  // taken, so a damaged size costs nothing. Callers bound the size first.
  std::vector<uint8_t> readWholeStream(uint32_t id);
  // The first `length` bytes of a stream in place, when they lie one after
  // the other inside the read-ahead head; nullptr otherwise.
  const uint8_t* streamHeadView(uint32_t id, uint64_t length);

  // Exactly out.size() bytes at offset, from the read-ahead head or a window
  // when they lie inside, else from the file; a short read means a truncated file.
  void readAt(uint64_t offset, std::span<uint8_t> out);
  // The bytes [offset, offset + length) inside the read-ahead head, or nullptr
  // when they do not lie there completely.
  const uint8_t* headView(uint64_t offset, uint64_t length) const {
    return offset <= headSize_ && length <= headSize_ - offset ? head_ + offset : nullptr;
  }
  // Bytes fetched from the file so far, the read-ahead included.
  uint64_t bytesRead() const { return bytesRead_; }

 private:
  void readHead(size_t readAhead, ReadSpace* space);
  void readHeader();
  void readDifat();
  void readDirectory();
  void collectRootChildren();
  const uint8_t* rawEntry(uint32_t id) const;  // checked id
  void loadMiniChains();
  uint32_t nextMiniSector(uint32_t miniSector);
  struct ChainKind;
  static const ChainKind kSectors, kMiniSectors;
  // Exactly `count` units from `start`, each below `capacity` and none twice.
  std::vector<uint32_t> followChain(const ChainKind& kind, uint32_t start, uint64_t count, uint64_t capacity,
                                    const ChainOwner& what);
  static std::string chainLeaves(const ChainKind& kind, const ChainOwner& what, const std::vector<uint32_t>& before,
                                 uint32_t next, uint64_t capacity);
  void checkNoRepeats(const std::vector<uint32_t>& units, const ChainOwner& what, const char* unitName);

  void readFully(uint64_t offset, std::span<uint8_t> out);
  const uint8_t* windowView(uint64_t offset, uint64_t length) const;
  const uint8_t* loadWindow(uint64_t offset, uint64_t length);

  // Windows of the file beyond the head, read on demand by small reads.
  struct Window {
    uint8_t* bytes = nullptr;  // kWindowBytes: in the lent space, or `own` taken when first used
    ReadSpace::Bytes own;
    uint64_t offset = 0;
    size_t length = 0;  // 0: unused
    mutable uint64_t lastUse = 0;
  };
  static constexpr size_t kWindowCount = 8;
  // Size and alignment of the windows.
  static constexpr uint64_t kWindowBytes = 16 * 1024;
  std::array<Window, kWindowCount> windows_;
  // The lent space while this container holds it; given back when the
  // container goes, also when its constructor throws.
  struct Loan {
    ReadSpace* space = nullptr;
    Loan() = default;
    Loan(const Loan&) = delete;
    Loan& operator=(const Loan&) = delete;
    ~Loan() {
      if (space != nullptr) space->giveBack();
    }
  };
  Loan loan_;
  mutable uint64_t useClock_ = 0;

  const platform::File& file_;
  uint64_t fileSize_;
  uint8_t* head_ = nullptr;  // in the lent space or ownHead_
  ReadSpace::Bytes ownHead_;
  size_t headSize_ = 0;
  uint32_t sectorCount_ = 0;
  uint64_t bytesRead_ = 0;
  Header header_;
  std::vector<uint32_t> fatLocations_;
  std::vector<uint32_t> difatSectors_;
  std::map<uint32_t, std::vector<uint32_t>> fatCache_;
  // The FAT sector nextSector read last: chains mostly stay in one.
  uint32_t lastFatIndex_ = 0xFFFFFFFFu;  // none yet
  const uint8_t* lastFatInHead_ = nullptr;       // its bytes in the head, or
  const std::vector<uint32_t>* lastFat_ = nullptr;  // its entries in fatCache_
  std::vector<uint32_t> wholeFat_;
  bool wholeFatLoaded_ = false;
  std::vector<uint32_t> dirChain_;
  std::vector<uint8_t> dirBytes_;
  // Entries decoded so far (a reader asks for a handful of them), found by
  // entrySlot_: 0 for one not decoded yet, else its place in decoded_ + 1.
  mutable std::deque<DirectoryEntry> decoded_;
  mutable std::vector<uint32_t> entrySlot_;
  std::vector<TreeLinks> links_;
  std::vector<uint32_t> rootChildren_;
  std::vector<bool> marks_;  // scratch of checkNoRepeats, all false between checks
  bool miniChainsLoaded_ = false;
  bool miniFatLoaded_ = false;
  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> miniFatChain_;
  std::vector<uint32_t> rootChain_;
  std::map<uint32_t, std::vector<uint32_t>> streamChains_;
};

}  // namespace fendrik::cfb::detail
