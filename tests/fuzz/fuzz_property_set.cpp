// Fuzzes the property-set codec: any bytes are parsed as a property-set
// stream; what parses is laid out anew, must read back with the same values,
// and must take a changed value.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "properties/StorageError.h"
#include "properties/propset/PropertySetEditor.h"
#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/PropertySetReader.h"

using namespace fendrik;
using namespace fendrik::propset;

namespace {

struct Decoded {
  std::vector<std::vector<std::pair<uint32_t, PropertyValue>>> values;
  std::vector<std::vector<DictionaryEntry>> dictionaries;
};

bool sameValue(const PropertyValue& a, const PropertyValue& b) {
  // NaN never equals itself; compare floating values by their bits' meaning.
  if (auto* x = std::get_if<double>(&a); x && std::isnan(*x)) return std::holds_alternative<double>(b);
  if (auto* x = std::get_if<float>(&a); x && std::isnan(*x)) return std::holds_alternative<float>(b);
  if (auto* x = std::get_if<OleDate>(&a); x && std::isnan(x->days)) return std::holds_alternative<OleDate>(b);
  return a == b;
}

// Reads everything; throws StorageError on damage.
Decoded decodeAll(const std::vector<uint8_t>& bytes) {
  MemorySource source(bytes);
  Decoded out;
  StreamHeader header = readStreamHeader(source);
  for (const auto& where : header.sections) {
    SectionTable table = readSectionTable(source, where);
    out.dictionaries.push_back(readDictionary(source, table));
    auto& values = out.values.emplace_back();
    for (const auto& e : table.properties) {
      values.emplace_back(e.id, readValue(source, table, e));
      valueToText(values.back().second);
      readValueSize(source, table, e);
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  Decoded first;
  try {
    first = decodeAll(bytes);
  } catch (const StorageError&) {
    return 0;
  }
  std::vector<uint8_t> again;
  try {
    MemorySource source(bytes);
    again = relayoutStream(source);
  } catch (const StorageError&) {
    return 0;  // e.g. two properties sharing a value: readable, not rewritable
  }
  Decoded second = decodeAll(again);  // must not throw
  if (second.values.size() != first.values.size() || second.dictionaries.size() != first.dictionaries.size())
    std::abort();
  for (size_t s = 0; s < first.values.size(); ++s) {
    if (first.values[s].size() != second.values[s].size()) std::abort();
    for (size_t i = 0; i < first.values[s].size(); ++i)
      if (first.values[s][i].first != second.values[s][i].first ||
          !sameValue(first.values[s][i].second, second.values[s][i].second))
        std::abort();
    if (first.dictionaries[s].size() != second.dictionaries[s].size()) std::abort();
  }
  // Changing an existing or a new property must not crash on any input (a
  // value overlapping another can make the result unreadable; that is caught).
  for (uint32_t id : {2u, 7u, 8u, 0x55u}) {
    std::vector<uint8_t> edited = bytes;
    try {
      setStoredValue(edited, 0, id, std::string("Vodra"), 31);
      decodeAll(edited);
    } catch (const StorageError&) {
    }
  }
  return 0;
}
