#pragma once

#include <cstdint>
#include <vector>

#include "properties/propset/PropertyValue.h"

namespace fendrik::propset {

// Sets property `id` of section `sectionNo` in the bytes of a property-set
// stream, changing as few bytes as it can:
// - a set with two entries for one id is refused as damaged;
// - an existing property keeps its stored type (one stored as VT_EMPTY or
//   VT_NULL gets typeWhenMissing); a new encoding that fits the
//   old one's space is written in place (the rest of that space zeroed);
// - a longer one in the section that ends the stream goes to the end of that
//   section (table offset and section size updated, old bytes left);
// - otherwise, and for a missing property (added with typeWhenMissing), the
//   stream is laid out anew with every other byte of every value kept.
// Header, section FMTIDs, property order, dictionary, codepage and values of
// unknown types stay as they were. Throws StorageError: kTypeMismatch when
// the value does not fit the type, kDocfileCorrupt for a damaged stream.
void setStoredValue(std::vector<uint8_t>& stream, size_t sectionNo, uint32_t id, const PropertyValue& value,
                    uint16_t typeWhenMissing);

}  // namespace fendrik::propset
