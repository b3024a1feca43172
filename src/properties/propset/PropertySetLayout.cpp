#include "properties/propset/PropertySetLayout.h"

#include <algorithm>
#include <cstring>

namespace fendrik::propset {

std::vector<uint8_t> layoutStream(const StreamHeader& header, const std::vector<StoredSection>& sections) {
  std::vector<uint8_t> out;
  appendU16(out, header.byteOrder);
  appendU16(out, header.version);
  appendU32(out, header.osVersion);
  out.insert(out.end(), header.clsid.begin(), header.clsid.end());
  appendU32(out, static_cast<uint32_t>(sections.size()));
  size_t listAt = out.size();
  out.resize(out.size() + kSectionListEntrySize * sections.size());
  for (size_t s = 0; s < sections.size(); ++s) {
    const StoredSection& section = sections[s];
    size_t start = out.size();
    std::memcpy(&out[listAt + s * kSectionListEntrySize], section.fmtid.data(), 16);
    storeU32(&out[listAt + s * kSectionListEntrySize + 16], static_cast<uint32_t>(start));
    size_t count = section.table.size();
    out.resize(start + 8 + 8 * count);
    std::vector<uint32_t> offsets;  // of each value, relative to the section
    offsets.reserve(section.properties.size());
    for (const auto& p : section.properties) {
      offsets.push_back(static_cast<uint32_t>(out.size() - start));
      out.insert(out.end(), p.bytes.begin(), p.bytes.end());
    }
    padTo4(out);
    for (size_t i = 0; i < count; ++i) {
      const size_t index = section.table[i];
      storeU32(&out[start + 8 + 8 * i], section.properties[index].id);
      storeU32(&out[start + 12 + 8 * i], offsets[index]);
    }
    storeU32(&out[start], static_cast<uint32_t>(out.size() - start));
    storeU32(&out[start + 4], static_cast<uint32_t>(count));
  }
  return out;
}

StoredSection storedSection(const ByteSource& source, const SectionTable& table) {
  StoredSection out;
  out.fmtid = table.fmtid;
  std::vector<size_t> byOffset(table.properties.size());
  for (size_t i = 0; i < byOffset.size(); ++i) byOffset[i] = i;
  std::sort(byOffset.begin(), byOffset.end(),
            [&](size_t a, size_t b) { return table.properties[a].offset < table.properties[b].offset; });
  out.table.resize(byOffset.size());
  for (size_t k = 0; k < byOffset.size(); ++k) {
    const PropertyEntry& e = table.properties[byOffset[k]];
    uint32_t end = k + 1 < byOffset.size() ? table.properties[byOffset[k + 1]].offset : table.size;
    if (end == e.offset) throwCorrupt("zwei Eigenschaften teilen sich einen Wert");
    out.table[byOffset[k]] = k;
    out.properties.push_back({e.id, source.bytes(uint64_t{table.offset} + e.offset, end - e.offset)});
  }
  return out;
}

std::vector<uint8_t> relayoutStream(const ByteSource& source) {
  StreamHeader header = readStreamHeader(source);
  std::vector<StoredSection> sections;
  for (const auto& where : header.sections) sections.push_back(storedSection(source, readSectionTable(source, where)));
  return layoutStream(header, sections);
}

}  // namespace fendrik::propset
