#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

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

// Little-endian access to bytes whose range the caller has checked.
inline uint16_t loadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t loadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t loadU64(const uint8_t* p) { return loadU32(p) | (static_cast<uint64_t>(loadU32(p + 4)) << 32); }
inline void storeU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void storeU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void storeU64(uint8_t* p, uint64_t v) {
  storeU32(p, static_cast<uint32_t>(v));
  storeU32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void appendU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void appendU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
inline void padTo4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
inline uint64_t roundUp4(uint64_t n) { return (n + 3) & ~uint64_t{3}; }

// Throws the error for a damaged property set, with a description that says
// what is wrong.
[[noreturn]] void throwCorrupt(const std::string& what);

}  // namespace fendrik::propset
