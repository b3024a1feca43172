#pragma once

// Builds property-set streams in memory for tests, laid out like documents:
// dictionary (when given), codepage, then the values in the order added.

#include <vector>

#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/ValueEncoder.h"

namespace fendrik::test {

struct SectionPlan {
  SectionPlan(const propset::Fmtid& id, uint16_t cp) : fmtid(id), codepage(cp) {}
  propset::Fmtid fmtid;
  uint16_t codepage;
  std::vector<propset::StoredProperty> values;
  std::vector<propset::DictionaryEntry> dictionary;

  void add(uint32_t id, uint16_t type, const PropertyValue& value) {
    values.push_back({id, propset::encodeValue(type, value, codepage)});
  }
  void addRaw(uint32_t id, std::vector<uint8_t> bytes) { values.push_back({id, std::move(bytes)}); }
};

inline std::vector<uint8_t> buildStream(const std::vector<SectionPlan>& plans) {
  propset::StreamHeader header;
  header.osVersion = 0x00020106;
  header.clsid = plans.at(0).fmtid;
  std::vector<propset::StoredSection> sections;
  for (const auto& plan : plans) {
    propset::StoredSection section;
    section.fmtid = plan.fmtid;
    if (!plan.dictionary.empty())
      section.properties.push_back({0, propset::encodeDictionary(plan.dictionary, plan.codepage)});
    section.properties.push_back(
        {1, propset::encodeValue(vt::kI2, static_cast<int16_t>(plan.codepage), plan.codepage)});
    for (const auto& v : plan.values) section.properties.push_back(v);
    for (size_t i = 0; i < section.properties.size(); ++i) section.table.push_back(i);
    header.sections.push_back({plan.fmtid, 0});
    sections.push_back(std::move(section));
  }
  return propset::layoutStream(header, sections);
}

}  // namespace fendrik::test
