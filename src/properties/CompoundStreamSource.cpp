#include "properties/CompoundStreamSource.h"

#include <algorithm>
#include <cstring>

#include "properties/StorageError.h"

namespace fendrik {
namespace {
// Streams up to this size are read whole; of larger ones this much is read
// ahead. 512 bytes hold the header, the table and Status and Username of
// every real extended summary.
constexpr uint64_t kWholeStreamLimit = 4096;
constexpr uint64_t kReadAhead = 512;
}  // namespace

CompoundStreamSource::CompoundStreamSource(const cfb::CompoundFile& file, uint32_t entryId)
    : file_(file), entryId_(entryId), size_(file.streamSize(entryId)) {
  headSize_ = size_ <= kWholeStreamLimit ? size_ : kReadAhead;
  // Usually the stream's first bytes lie in the part of the file the compound
  // file read at open and are used in place; otherwise they are copied.
  head_ = file_.streamView(entryId_, headSize_);
  if (head_ == nullptr) {
    copy_.resize(static_cast<size_t>(headSize_));
    file_.readStream(entryId_, 0, copy_);
    head_ = copy_.data();
  }
}

const uint8_t* CompoundStreamSource::view(uint64_t offset, uint64_t length) const {
  if (offset > headSize_ || length > headSize_ - offset) return nullptr;
  return head_ + offset;
}

void CompoundStreamSource::read(uint64_t offset, std::span<uint8_t> out) const {
  if (offset > size_ || out.size() > size_ - offset)
    propset::throwCorrupt("Lesezugriff außerhalb des Datenstroms",
                          "Bytes " + hexText(offset) + " bis " + hexText(offset + out.size()) +
                              ", der Datenstrom hat " + std::to_string(size_) + " Bytes");
  if (const uint8_t* p = view(offset, out.size())) {
    if (!out.empty()) std::memcpy(out.data(), p, out.size());
    return;
  }
  file_.readStream(entryId_, offset, out);
}

}  // namespace fendrik
