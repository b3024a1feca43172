#include "properties/propset/ByteSource.h"


#include "properties/StorageError.h"

namespace fendrik::propset {

void throwCorrupt(const std::string& what, const std::string& where) {
  throw StorageError(hresult::kDocfileCorrupt, "Eigenschaftengruppe beschädigt: " + what, where);
}

namespace {
std::string rangeText(uint64_t offset, uint64_t length, uint64_t size) {
  return "Bytes " + hexText(offset) + " bis " + hexText(offset + length) + ", der Datenstrom hat " +
         std::to_string(size) + " Bytes";
}
}  // namespace

uint16_t ByteSource::u16(uint64_t offset) const {
  uint8_t b[2];
  read(offset, b);
  return loadU16(b);
}

uint32_t ByteSource::u32(uint64_t offset) const {
  uint8_t b[4];
  read(offset, b);
  return loadU32(b);
}

std::vector<uint8_t> ByteSource::bytes(uint64_t offset, uint64_t length) const {
  // The range is checked against the size before anything is allocated, so a
  // hostile length never causes a large allocation.
  if (offset > size() || length > size() - offset)
    throwCorrupt("Wert reicht über das Ende des Datenstroms", rangeText(offset, length, size()));
  std::vector<uint8_t> out(static_cast<size_t>(length));
  read(offset, out);
  return out;
}

std::span<const uint8_t> ByteSource::bytes(uint64_t offset, uint64_t length, std::vector<uint8_t>& scratch) const {
  if (offset > size() || length > size() - offset)
    throwCorrupt("Wert reicht über das Ende des Datenstroms", rangeText(offset, length, size()));
  if (const uint8_t* p = view(offset, length)) return {p, static_cast<size_t>(length)};
  scratch.resize(static_cast<size_t>(length));
  read(offset, scratch);
  return scratch;
}

const uint8_t* MemorySource::view(uint64_t offset, uint64_t length) const {
  if (offset > bytes_.size() || length > bytes_.size() - offset) return nullptr;
  return bytes_.data() + offset;
}

void MemorySource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > bytes_.size() || out.size() > bytes_.size() - offset)
    throwCorrupt("Lesezugriff außerhalb des Datenstroms", rangeText(offset, out.size(), bytes_.size()));
  if (!out.empty()) std::memcpy(out.data(), bytes_.data() + offset, out.size());
}

}  // namespace fendrik::propset
