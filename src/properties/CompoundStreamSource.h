#pragma once

#include <cstdint>
#include <vector>

#include "properties/cfb/CompoundFile.h"
#include "properties/propset/ByteSource.h"

namespace fendrik {

// A property-set stream read straight from the compound file. Small streams
// are taken in one piece (in place when the compound file holds them in its
// read-ahead); of a large one (the extended summary with its
// thumbnails) only the first bytes are read ahead, because the header, the
// property table and the values the system reads lie there. Anything behind
// them is read on request.
class CompoundStreamSource final : public propset::ByteSource {
 public:
  CompoundStreamSource(const cfb::CompoundFile& file, uint32_t entryId);
  uint64_t size() const override { return size_; }
  void read(uint64_t offset, std::span<uint8_t> out) const override;
  const uint8_t* view(uint64_t offset, uint64_t length) const override;

 private:
  const cfb::CompoundFile& file_;
  uint32_t entryId_;
  uint64_t size_;
  uint64_t headSize_ = 0;
  const uint8_t* head_ = nullptr;  // the first headSize_ bytes of the stream
  std::vector<uint8_t> copy_;      // holds them when the file cannot show them in place
};

}  // namespace fendrik
