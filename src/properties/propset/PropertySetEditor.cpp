#include "properties/propset/PropertySetEditor.h"

#include <algorithm>
#include <limits>

#include "properties/StorageError.h"
#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/ValueEncoder.h"

namespace fendrik::propset {
namespace {

// A stream is laid out anew only when every value of every section has a size
// the reader can tell and lies inside its section: the new layout carries each
// value's bytes over, and a guessed size could cut a value short or move
// another's bytes with it.
void checkLayoutKnown(const ByteSource& source, const StreamHeader& header) {
  for (const auto& where : header.sections) {
    const SectionTable table = readSectionTable(source, where);
    for (const PropertyEntry& e : table.properties) {
      if (e.id == kPidDictionary) {
        readDictionary(source, table);
      } else if (!readValueSize(source, table, e)) {
        throwCorrupt("Größe des Werts von Eigenschaft " + std::to_string(e.id) + " ist nicht bestimmbar (Typ " +
                         variantTypeName(readValueType(source, table, e)) +
                         "); die Eigenschaftengruppe wird nicht neu geschrieben",
                     "Abschnitt bei " + hexText(table.offset) + ", Wert bei " +
                         hexText(uint64_t{table.offset} + e.offset));
      }
    }
  }
}

}  // namespace

void setStoredValue(std::vector<uint8_t>& stream, size_t sectionNo, uint32_t id, const PropertyValue& value,
                    uint16_t typeWhenMissing) {
  if (id == kPidDictionary || id == kPidCodepage)
    throw StorageError(hresult::kTypeMismatch, "Diese Eigenschaft kann nicht geändert werden.");
  MemorySource source(stream);
  StreamHeader header = readStreamHeader(source);
  if (sectionNo >= header.sections.size()) throwCorrupt("Abschnitt fehlt");
  SectionTable table = readSectionTable(source, header.sections[sectionNo]);
  // Two entries for one id leave open which one a reader takes; changing
  // either could leave the old value visible, so such a set is not written.
  std::vector<uint32_t> ids;
  ids.reserve(table.properties.size());
  for (const PropertyEntry& e : table.properties) ids.push_back(e.id);
  std::sort(ids.begin(), ids.end());
  if (auto twice = std::adjacent_find(ids.begin(), ids.end()); twice != ids.end())
    throwCorrupt("Eigenschaft " + std::to_string(*twice) + " steht zweimal in der Tabelle",
                 "Abschnitt bei " + hexText(table.offset));

  auto entryIt = std::find_if(table.properties.begin(), table.properties.end(),
                              [id](const PropertyEntry& e) { return e.id == id; });
  std::vector<uint8_t> encoded;
  if (entryIt != table.properties.end()) {
    const PropertyEntry& entry = *entryIt;
    // An empty or null value carries no type to keep: it gets the type a
    // missing property would get, as documents store it.
    const uint16_t storedType = readValueType(source, table, entry);
    const bool typeless = storedType == vt::kEmpty || storedType == vt::kNull;
    encoded = encodeValue(typeless ? typeWhenMissing : storedType, value, table.codepage);
    std::optional<uint32_t> oldSize = readValueSize(source, table, entry);
    uint64_t valueAt = uint64_t{table.offset} + entry.offset;
    if (oldSize && encoded.size() <= *oldSize) {
      std::copy(encoded.begin(), encoded.end(), stream.begin() + static_cast<std::ptrdiff_t>(valueAt));
      std::fill(stream.begin() + static_cast<std::ptrdiff_t>(valueAt + encoded.size()),
                stream.begin() + static_cast<std::ptrdiff_t>(valueAt + *oldSize), 0);
      return;
    }
    uint64_t sectionEnd = uint64_t{table.offset} + table.size;
    if (sectionEnd == stream.size() && table.size % 4 == 0 &&
        uint64_t{table.size} + encoded.size() <= std::numeric_limits<uint32_t>::max()) {
      // The section ends the stream: the new value goes behind it, so only
      // the table entry, the section size and the tail change.
      size_t index = static_cast<size_t>(entryIt - table.properties.begin());
      storeU32(&stream[table.offset + 12 + 8 * index], table.size);
      storeU32(&stream[table.offset], static_cast<uint32_t>(table.size + encoded.size()));
      stream.insert(stream.end(), encoded.begin(), encoded.end());
      return;
    }
  } else {
    encoded = encodeValue(typeWhenMissing, value, table.codepage);
  }

  checkLayoutKnown(source, header);
  std::vector<StoredSection> sections;
  for (size_t s = 0; s < header.sections.size(); ++s)
    sections.push_back(storedSection(source, s == sectionNo ? table : readSectionTable(source, header.sections[s])));
  StoredSection& target = sections[sectionNo];
  if (entryIt != table.properties.end()) {
    target.properties[target.table[static_cast<size_t>(entryIt - table.properties.begin())]].bytes = std::move(encoded);
  } else {
    target.properties.push_back({id, std::move(encoded)});
    target.table.push_back(target.properties.size() - 1);
  }
  stream = layoutStream(header, sections);
}

}  // namespace fendrik::propset
