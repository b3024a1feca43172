#pragma once

// On-disk layout of a compound file: special sector numbers, header and
// directory-entry field offsets, little-endian access and the error helpers
// shared by the reader and the writer.

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "properties/LittleEndian.h"
#include "properties/platform/Files.h"

namespace fendrik::cfb::detail {

inline constexpr uint32_t kMaxRegularSector = 0xFFFFFFFAu;
inline constexpr uint32_t kDifatSector = 0xFFFFFFFCu;
inline constexpr uint32_t kFatSector = 0xFFFFFFFDu;
inline constexpr uint32_t kEndOfChain = 0xFFFFFFFEu;
inline constexpr uint32_t kFreeSector = 0xFFFFFFFFu;
inline constexpr uint32_t kNoStream = 0xFFFFFFFFu;

inline constexpr uint32_t kHeaderDifatEntries = 109;
inline constexpr uint32_t kMiniSectorSize = 64;
inline constexpr uint64_t kMiniStreamCutoff = 4096;
inline constexpr uint32_t kDirEntrySize = 128;
inline constexpr uint32_t kHeaderBytes = 512;
// The unit we rely on being written atomically by the storage device: an
// aligned 512-byte block (a disk sector). See RootStreamWriter.cpp.
inline constexpr uint32_t kAtomicBlock = 512;

inline constexpr std::array<uint8_t, 8> kSignature{0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Header fields.
inline constexpr size_t kHdrMinorVersion = 0x18;
inline constexpr size_t kHdrMajorVersion = 0x1A;
inline constexpr size_t kHdrByteOrder = 0x1C;
inline constexpr size_t kHdrSectorShift = 0x1E;
inline constexpr size_t kHdrMiniSectorShift = 0x20;
inline constexpr size_t kHdrNumDirSectors = 0x28;
inline constexpr size_t kHdrNumFatSectors = 0x2C;
inline constexpr size_t kHdrFirstDirSector = 0x30;
inline constexpr size_t kHdrMiniStreamCutoff = 0x38;
inline constexpr size_t kHdrFirstMiniFatSector = 0x3C;
inline constexpr size_t kHdrNumMiniFatSectors = 0x40;
inline constexpr size_t kHdrFirstDifatSector = 0x44;
inline constexpr size_t kHdrNumDifatSectors = 0x48;
inline constexpr size_t kHdrDifat = 0x4C;

// Directory-entry fields.
inline constexpr size_t kDeNameLength = 0x40;
inline constexpr size_t kDeType = 0x42;
inline constexpr size_t kDeLeft = 0x44;
inline constexpr size_t kDeRight = 0x48;
inline constexpr size_t kDeChild = 0x4C;
inline constexpr size_t kDeClsid = 0x50;
inline constexpr size_t kDeStartSector = 0x74;
inline constexpr size_t kDeSize = 0x78;

using fendrik::loadU16;
using fendrik::loadU32;
using fendrik::loadU64;
using fendrik::storeU32;
using fendrik::storeU64;

// Units (sectors or mini sectors) needed for `bytes`, without overflow for sizes near 2^64.
inline uint64_t unitsFor(uint64_t bytes, uint64_t unit) { return bytes / unit + (bytes % unit != 0 ? 1 : 0); }

// The errors a user sees; numbers as in StorageError.h. `what` says which
// check failed, `where` the place in the file (header field, sector, stream,
// directory entry), e.g. throwCorrupt("Sektorkette verweist außerhalb der
// Datei", "Datenstrom \"\\005SummaryInformation\" (Verzeichniseintrag 3), Sektor 9 -> 4711").
[[noreturn]] void throwCorrupt(const std::string& what, const std::string& where = {});
[[noreturn]] void throwInvalidHeader(const std::string& what, const std::string& where = {});
// "Dateikopf, Byte 0x1C": the header field at that offset.
std::string headerField(size_t offset);
// Throws the StorageError that matches a failed open, read or status call;
// `context` is the path (or what was being done) as the message names it.
[[noreturn]] void throwSystemError(const platform::SystemError& error, const std::string& context);

}  // namespace fendrik::cfb::detail
