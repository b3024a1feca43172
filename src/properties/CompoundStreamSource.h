#pragma once

#include <cstdint>
#include <vector>

#include "properties/cfb/CompoundFile.h"
#include "properties/propset/ByteSource.h"

namespace fendrik {

// A property-set stream read straight from the compound file. Small streams
// are read in one piece; of a large one (the extended summary with its
// thumbnails) only the first bytes are read ahead, because the header, the
// property table and the values the system reads lie there. Anything behind
// them is read on request.
class CompoundStreamSource final : public propset::ByteSource {
 public:
  CompoundStreamSource(const cfb::CompoundFile& file, uint32_t entryId);
  uint64_t size() const override { return size_; }
  void read(uint64_t offset, std::span<uint8_t> out) const override;

 private:
  const cfb::CompoundFile& file_;
  uint32_t entryId_;
  uint64_t size_;
  std::vector<uint8_t> head_;  // the first bytes of the stream
};

}  // namespace fendrik
