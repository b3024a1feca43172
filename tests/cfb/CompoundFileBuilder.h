#pragma once

// Builds small or large compound files for tests and benchmarks: root streams
// only, laid out one after another (regular streams, mini stream, mini FAT,
// directory, FAT, DIFAT), with a balanced directory tree. Large files get DIFAT
// sectors. Not a general writer: it exists to produce known inputs.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace fendrik::cfb::testing {

struct BuildStream {
  std::u16string name;
  std::vector<uint8_t> content;
};

struct BuiltFile {
  std::vector<uint8_t> image;
  uint32_t sectorSize = 0;
  uint32_t firstDirSector = 0;
  uint32_t firstFatSector = 0;    // FAT sectors are contiguous from here
  uint32_t firstDifatSector = 0;  // ENDOFCHAIN when none
  uint32_t numDifatSectors = 0;
  std::vector<uint32_t> streamIds;  // directory id of each input stream, in input order
  uint64_t sectorOffset(uint32_t s) const { return (static_cast<uint64_t>(s) + 1) * sectorSize; }
  uint64_t entryOffset(uint32_t id) const {
    uint32_t perSector = sectorSize / 128;
    return sectorOffset(firstDirSector + id / perSector) + (id % perSector) * 128;
  }
};

BuiltFile buildCompoundFile(const std::vector<BuildStream>& streams, int majorVersion);

// Writes the image; all-zero sectors become holes, so large generated files
// take little disk space.
void writeSparse(const std::vector<uint8_t>& image, const std::filesystem::path& path);

}  // namespace fendrik::cfb::testing
