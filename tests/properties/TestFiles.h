#pragma once

// Documents for tests: property-set streams built in memory, copies of real documents, byte patches in their streams,
// the sample generator and the independent readers.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <functional>
#include <stdexcept>

#include "TestCommon.h"
#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Container.h"
#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/ValueEncoder.h"

namespace fendrik::test {

inline const std::u16string kSummaryStream = u"\005SummaryInformation";
inline const std::u16string kDocSummaryStream = u"\005DocumentSummaryInformation";
inline const std::u16string kExtendedStream = u"\005C3teagxwOttdbfkuIaamtae3Ie";

// A section to build, laid out like documents: dictionary (when given), codepage, then the values in the order added.
struct SectionPlan {
  propset::Fmtid fmtid;
  uint16_t codepage;
  std::vector<propset::DictionaryEntry> dictionary = {};
  std::vector<propset::StoredProperty> values = {};
  void add(uint32_t id, uint16_t type, const PropertyValue& v) { addRaw(id, propset::encodeValue(type, v, codepage)); }
  void addRaw(uint32_t id, std::vector<uint8_t> bytes) { values.push_back({id, std::move(bytes)}); }
};

inline std::vector<uint8_t> buildStream(const std::vector<SectionPlan>& plans) {
  propset::StreamHeader header;
  header.osVersion = 0x00020106;
  header.clsid = plans.at(0).fmtid;
  std::vector<propset::StoredSection> sections;
  for (const auto& plan : plans) {
    propset::StoredSection& section = sections.emplace_back();
    section.fmtid = plan.fmtid;
    if (!plan.dictionary.empty())
      section.properties.push_back({0, propset::encodeDictionary(plan.dictionary, plan.codepage)});
    section.properties.push_back({1, propset::encodeValue(vt::kI2, int16_t(plan.codepage), plan.codepage)});
    section.properties.insert(section.properties.end(), plan.values.begin(), plan.values.end());
    for (size_t i = 0; i < section.properties.size(); ++i) section.table.push_back(i);
    header.sections.push_back({plan.fmtid, 0});
  }
  return propset::layoutStream(header, sections);
}

// One section of a property-set stream (in memory or a root stream of a file).
struct Section {
  explicit Section(std::vector<uint8_t> stream, size_t index = 0) : bytes(std::move(stream)) {
    propset::MemorySource source(bytes);
    table = propset::readSectionTable(source, propset::readStreamHeader(source).sections.at(index));
  }
  Section(const std::filesystem::path& file, const std::u16string& stream, size_t index = 0)
      : Section([&] {
          auto cf = cfb::CompoundFile::open(file);
          return cf->readStream(*cf->findRootChild(stream), 1 << 20);
        }(), index) {}
  std::vector<uint8_t> bytes;  // the whole stream
  propset::SectionTable table;
  // Offsets in the stream of a value (its type field) and of its table entry.
  uint64_t valueAt(uint32_t id) const { return uint64_t{table.offset} + table.find(id)->offset; }
  uint64_t entryAt(uint32_t id) const { return table.offset + 8 + 8 * uint64_t(table.find(id) - table.properties.data()); }
  PropertyValue value(uint32_t id) const { return readValue(propset::MemorySource(bytes), table, *table.find(id)); }
};

// Overwrites bytes of a root stream inside a compound file, wherever its sectors lie.
inline void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                        const std::vector<uint8_t>& bytes) {
  platform::File handle;
  if (handle.open(platform::Utf8Path(file), platform::File::Mode::readWrite)) throw std::runtime_error("cannot open");
  cfb::detail::Container c(handle, std::filesystem::file_size(file));
  uint32_t id = 0;
  for (uint32_t child : c.rootChildren())
    if (c.nameEquals(child, stream)) id = child;
  const bool mini = c.inMiniStream(id);
  const uint64_t unit = mini ? cfb::detail::kMiniSectorSize : c.sectorSize();
  for (size_t k = 0; id != 0 && k < bytes.size(); ++k) {
    const uint32_t u = c.streamChain(id).at((offset + k) / unit);
    const uint64_t at = (mini ? c.miniSectorOffset(u) : c.sectorOffset(u)) + (offset + k) % unit;
    if (handle.writeAt(at, std::span<const uint8_t>(&bytes[k], 1))) id = 0;
  }
  if (id == 0) throw std::runtime_error("cannot patch the stream");
}

inline std::filesystem::path sample(const std::string& relative) { return FENDRIK_REAL_SAMPLES / std::filesystem::path(relative); }

// A private copy of a real part, for tests that write (skipped without samples).
class RealSampleDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(sample("SolidEdgeStorekeeper/Part2.par"))) GTEST_SKIP() << "no real samples";
    document = temp.copy(sample("SolidEdgeStorekeeper/Part2.par")).string();
  }
  TempFolder temp;
  std::string document;
  std::unique_ptr<FileProperties> server = FileProperties::Create();
};

// The number of the StorageError an action throws (0 when it throws none; 1 when the error comes without a
// description, which no test expects).
inline int32_t errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const StorageError& e) {
    return e.description().empty() ? 1 : e.number();
  }
  return 0;
}

// The thirteen texts our reader gives for a file ("" each when it cannot be opened), and the texts a JSON array
// holds.
inline PropertyTexts readTexts(const std::filesystem::path& file) {
  auto server = FileProperties::Create();
  PropertyTexts texts;
  errorOf([&] { server->Open(platform::Utf8Path(file)); });
  SEProperty(*server, texts);
  return texts;
}
inline PropertyTexts textsOf(const QJsonArray& texts) {
  PropertyTexts out;
  for (int i = 0; i < 13 && i < texts.size(); ++i) out[size_t(i)] = texts[i].toString().toStdString();
  return out;
}

// "status username security" of a file as our reader reads it.
inline std::string statusSeen(const std::string& file) {
  auto server = FileProperties::Create();
  server->Open(file);
  auto text = [&](std::string_view set, std::string_view name) {
    return valueToText(server->Item(set).Item(name).Value()).value_or("?");
  };
  return text("ExtendedSummaryInformation", "Status") + " " + text("ExtendedSummaryInformation", "Username") + " " +
         text("SummaryInformation", "Sicherheit");
}

}  // namespace fendrik::test
