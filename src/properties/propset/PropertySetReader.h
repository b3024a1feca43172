#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "properties/propset/ByteSource.h"
#include "properties/propset/Fmtid.h"
#include "properties/propset/PropertyValue.h"

namespace fendrik::propset {

inline constexpr uint32_t kPidDictionary = 0;
inline constexpr uint32_t kPidCodepage = 1;
inline constexpr uint32_t kPidLocale = 0x80000000u;

inline constexpr uint32_t kStreamHeaderSize = 28;
inline constexpr uint32_t kSectionListEntrySize = 20;

// The stream header and where its sections lie (offsets from stream start).
struct StreamHeader {
  uint16_t byteOrder = 0xFFFE;
  uint16_t version = 0;
  uint32_t osVersion = 0;
  std::array<uint8_t, 16> clsid{};
  struct SectionLocation {
    Fmtid fmtid{};
    uint32_t offset = 0;
  };
  std::vector<SectionLocation> sections;
};

struct PropertyEntry {
  uint32_t id = 0;
  uint32_t offset = 0;  // from the start of the section
  // The offset points outside the section's values: reading this property
  // fails, the others of the set still read.
  bool misplaced = false;
};

// One section's property table, with its codepage. Values are decoded only
// when asked for.
struct SectionTable {
  Fmtid fmtid{};
  uint32_t offset = 0;  // of the section, from stream start
  uint32_t size = 0;
  uint16_t codepage = 1252;
  std::vector<PropertyEntry> properties;  // in table order

  const PropertyEntry* find(uint32_t id) const;
};

// Reads the stream header and the section list (first 28 + 20 * n bytes).
StreamHeader readStreamHeader(const ByteSource& source);

// Reads one section's header, property table and codepage. Throws
// StorageError (kDocfileCorrupt) when any of it lies outside the stream; a
// table entry whose value lies outside the section is kept, marked misplaced.
SectionTable readSectionTable(const ByteSource& source, const StreamHeader::SectionLocation& where);

// The stored type of the value at a table entry; throws for a misplaced entry.
uint16_t readValueType(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry);

// Decodes the value at a table entry. Types the reader does not decode give
// UnsupportedValue when their size is known; a value whose size cannot be
// told or that runs past the end of the section throws StorageError
// (kDocfileCorrupt) for this property only. Text is cut at its first NUL.
PropertyValue readValue(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry);

// The bytes a value occupies (type word, payload and padding to 4, at most up
// to the section's end), as writers store them: strings, blobs and clipboard
// data padded to 4 bytes, except inside a vector of variants, where Office
// stores them unpadded. Nothing for a type whose size the reader does not
// know; throws StorageError (kDocfileCorrupt) for a value that runs past the
// end of the section.
std::optional<uint32_t> readValueSize(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry);

struct DictionaryEntry {
  uint32_t id = 0;
  std::string name;  // UTF-8, cut at its first NUL
};

// The section's dictionary (property 0), empty when it has none.
std::vector<DictionaryEntry> readDictionary(const ByteSource& source, const SectionTable& section);

}  // namespace fendrik::propset
