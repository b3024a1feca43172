#include "properties/CompoundStreamSource.h"

#include <algorithm>
#include <cstring>

namespace fendrik {
namespace {
// Streams up to this size are read whole; of larger ones this much is read
// ahead. 512 bytes hold the header, the table and Status and Username of
// every real extended summary.
constexpr uint64_t kWholeStreamLimit = 4096;
constexpr uint64_t kReadAhead = 512;
}  // namespace

CompoundStreamSource::CompoundStreamSource(const cfb::CompoundFile& file, uint32_t entryId)
    : file_(file), entryId_(entryId), size_(file.entry(entryId).size) {
  head_.resize(static_cast<size_t>(size_ <= kWholeStreamLimit ? size_ : kReadAhead));
  file_.readStream(entryId_, 0, head_);
}

void CompoundStreamSource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset) propset::throwCorrupt("Lesezugriff außerhalb des Datenstroms");
  if (offset + out.size() <= head_.size()) {
    if (!out.empty()) std::memcpy(out.data(), head_.data() + offset, out.size());
    return;
  }
  file_.readStream(entryId_, offset, out);
}

}  // namespace fendrik
