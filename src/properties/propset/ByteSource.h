#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "properties/LittleEndian.h"

namespace fendrik::propset {

// Random read access to the bytes of one property-set stream. The reader asks
// only for the pieces it needs (header, property table, single values), so a
// source over a compound-file stream never has to load the whole stream.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Copies bytes [offset, offset + out.size()); throws StorageError
  // (kDocfileCorrupt) when that range lies outside the stream.
  virtual void read(uint64_t offset, std::span<uint8_t> out) const = 0;

  // The bytes [offset, offset + length) in place when the source holds them
  // in memory; nullptr otherwise or when the range lies outside the stream.
  virtual const uint8_t* view(uint64_t /*offset*/, uint64_t /*length*/) const { return nullptr; }

  uint16_t u16(uint64_t offset) const;
  uint32_t u32(uint64_t offset) const;
  std::vector<uint8_t> bytes(uint64_t offset, uint64_t length) const;
  // The bytes in place, or copied into `scratch` when they are not in memory.
  // Throws like bytes() for a range outside the stream.
  std::span<const uint8_t> bytes(uint64_t offset, uint64_t length, std::vector<uint8_t>& scratch) const;
};

// A source over bytes already in memory (a loaded or edited stream).
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t size() const override { return bytes_.size(); }
  void read(uint64_t offset, std::span<uint8_t> out) const override;
  const uint8_t* view(uint64_t offset, uint64_t length) const override;

 private:
  std::span<const uint8_t> bytes_;
};

using fendrik::appendU16;
using fendrik::appendU32;
using fendrik::loadU16;
using fendrik::loadU32;
using fendrik::loadU64;
using fendrik::storeU16;
using fendrik::storeU32;
using fendrik::storeU64;
inline void padTo4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
inline uint64_t roundUp4(uint64_t n) { return (n + 3) & ~uint64_t{3}; }

// Throws the error for a damaged property set, with a description that says
// what is wrong and, when given, where (offsets within the stream).
[[noreturn]] void throwCorrupt(const std::string& what, const std::string& where = {});

}  // namespace fendrik::propset
