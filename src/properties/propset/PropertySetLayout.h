#pragma once

#include <cstdint>
#include <vector>

#include "properties/propset/ByteSource.h"
#include "properties/propset/PropertySetReader.h"

namespace fendrik::propset {

// A section as a list of stored properties: each with the exact bytes of its
// value (type word, payload, padding; for id 0 the dictionary), in the order
// the values lie in the section. Unknown types are carried as bytes.
struct StoredProperty {
  uint32_t id = 0;
  std::vector<uint8_t> bytes;
};
struct StoredSection {
  Fmtid fmtid{};
  std::vector<StoredProperty> properties;  // in value order
  std::vector<size_t> table;               // indices into properties, in property-table order
};

// Writes a property-set stream: the header as given (byte order, version, OS,
// CLSID), then the sections one after another, each with its property table
// in table order and its values in the given order.
std::vector<uint8_t> layoutStream(const StreamHeader& header, const std::vector<StoredSection>& sections);

// Splits a section of an existing stream into stored properties. A value's
// bytes reach to the next value's start (or the section end), so whatever the
// reader does not understand is carried along unchanged. Two table entries
// sharing one value count as damage.
StoredSection storedSection(const ByteSource& source, const SectionTable& table);

// The whole stream parsed and written again in the canonical layout.
std::vector<uint8_t> relayoutStream(const ByteSource& source);

}  // namespace fendrik::propset
