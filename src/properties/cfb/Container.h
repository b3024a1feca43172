#pragma once

// The structure of one compound file, read from an open descriptor on demand:
// header and DIFAT at construction, the directory once, FAT sectors one at a
// time as chains need them, the mini FAT and the mini stream's chain when a
// small stream is read. Shared by CompoundFile (reading) and the in-place
// writer, which re-reads the structure from its own read-write descriptor.

#include <array>
#include <cstdint>
#include <map>
#include <span>
#include <string>
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

class Container {
 public:
  // Reads and checks header, DIFAT and directory; `fd` stays owned by the caller.
  Container(int fd, uint64_t fileSize);

  const Header& header() const { return header_; }
  uint32_t sectorSize() const { return header_.sectorSize; }
  uint64_t fileSize() const { return fileSize_; }
  // Sectors whose start lies inside the file (sector 0 follows the header).
  uint32_t sectorCount() const { return sectorCount_; }
  uint64_t sectorOffset(uint32_t sector) const { return (static_cast<uint64_t>(sector) + 1) << header_.sectorShift; }
  uint32_t entriesPerFatSector() const { return header_.sectorSize / 4; }

  // FAT: locations of the FAT sectors (from the DIFAT), one FAT sector's
  // entries (read once, then cached), and the next sector of a chain.
  const std::vector<uint32_t>& fatLocations() const { return fatLocations_; }
  const std::vector<uint32_t>& difatSectors() const { return difatSectors_; }
  const std::vector<uint32_t>& fatSector(uint32_t index);
  uint32_t nextSector(uint32_t sector);
  // Exactly `count` sectors of a chain starting at `start`, each checked to lie
  // inside the file.
  std::vector<uint32_t> chain(uint32_t start, uint64_t count, const char* what);
  // A chain of unknown length, up to ENDOFCHAIN (directory, mini-FAT chain check).
  std::vector<uint32_t> chainToEnd(uint32_t start, const char* what);

  // Directory.
  uint32_t entryCount() const { return static_cast<uint32_t>(entries_.size()); }
  const DirectoryEntry& entry(uint32_t id) const;
  const TreeLinks& links(uint32_t id) const { return links_.at(id); }
  const std::vector<uint32_t>& directoryChain() const { return dirChain_; }
  const std::vector<uint8_t>& directoryBytes() const { return dirBytes_; }
  const std::vector<uint32_t>& rootChildren() const { return rootChildren_; }
  uint64_t streamSize(uint32_t id) const;  // size as it counts (v3: low 32 bits)
  bool inMiniStream(uint32_t id) const { return id != 0 && streamSize(id) < kMiniStreamCutoff; }

  // Mini FAT (all entries of the mini-FAT chain) and the mini stream's chain.
  const std::vector<uint32_t>& miniFat();
  const std::vector<uint32_t>& miniFatChain();
  const std::vector<uint32_t>& rootChain();
  std::vector<uint32_t> miniChain(uint32_t start, uint64_t count);
  uint64_t miniSectorOffset(uint32_t miniSector);  // file offset

  // A stream's chain (regular or mini units), cached.
  const std::vector<uint32_t>& streamChain(uint32_t id);
  void readStream(uint32_t id, uint64_t offset, std::span<uint8_t> out);

  // pread of exactly out.size() bytes; a short read means a truncated file.
  void readAt(uint64_t offset, std::span<uint8_t> out);
  uint64_t bytesRead() const { return bytesRead_; }

 private:
  void readHeader();
  void readDifat();
  void readDirectory();
  void collectRootChildren();

  int fd_;
  uint64_t fileSize_;
  uint32_t sectorCount_ = 0;
  uint64_t bytesRead_ = 0;
  Header header_;
  std::vector<uint32_t> fatLocations_;
  std::vector<uint32_t> difatSectors_;
  std::map<uint32_t, std::vector<uint32_t>> fatCache_;
  std::vector<uint32_t> dirChain_;
  std::vector<uint8_t> dirBytes_;
  std::vector<DirectoryEntry> entries_;
  std::vector<TreeLinks> links_;
  std::vector<uint32_t> rootChildren_;
  bool miniLoaded_ = false;
  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> miniFatChain_;
  std::vector<uint32_t> rootChain_;
  std::map<uint32_t, std::vector<uint32_t>> streamChains_;
};

}  // namespace fendrik::cfb::detail
