#pragma once

// Documents for tests: property-set streams built in memory, private copies of
// real documents, byte patches inside their streams, sections of stored
// streams, the sample generator and the independent readers.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonObject>

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "TestCommon.h"
#include "properties/FileProperties.h"
#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/ValueEncoder.h"

namespace fendrik::test {

using TempDir = TempFolder;

inline const std::u16string kSummaryStream = u"\005SummaryInformation";
inline const std::u16string kDocSummaryStream = u"\005DocumentSummaryInformation";
inline const std::u16string kExtendedStream = u"\005C3teagxwOttdbfkuIaamtae3Ie";

// A section to build, laid out like documents: dictionary (when given),
// codepage, then the values in the order added.
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
std::vector<uint8_t> buildStream(const std::vector<SectionPlan>& plans);

// One section of a property-set stream (in memory or a root stream of a file).
struct Section {
  Section(std::vector<uint8_t> stream, size_t index = 0);
  Section(const std::filesystem::path& file, const std::u16string& stream, size_t index = 0);
  std::vector<uint8_t> bytes;  // the whole stream
  propset::SectionTable table;
  uint64_t valueAt(uint32_t id) const;  // offset of the value's type field in the stream
  uint64_t entryAt(uint32_t id) const;  // offset of the value's table entry in the stream
  PropertyValue value(uint32_t id) const;
};

// Overwrites bytes of a root stream inside a compound file, wherever its sectors lie.
void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                 const std::vector<uint8_t>& bytes);

inline std::filesystem::path sample(const std::filesystem::path& relative) {
  return std::filesystem::path(FENDRIK_REAL_SAMPLES) / relative;
}

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

// `count` documents made by the sample generator in `folder`, sorted by path.
std::vector<std::string> generate(const std::filesystem::path& folder, int count, int seed,
                                  const std::string& options = {});

// The thirteen texts our reader gives for a file ("" each when it cannot be opened),
// and as a JSON array holds them.
std::array<std::string, 13> readTexts(const std::filesystem::path& file);
std::array<std::string, 13> textsOf(const QJsonArray& texts);

// The JSON a Python script prints for the files: the independent reader
// (FENDRIK_REFERENCE_READER, {file: [13 texts]}) or olefile_status.py.
QJsonObject runJson(const std::string& script, const std::vector<std::string>& files);
inline QJsonObject olefileView(const std::vector<std::string>& files) { return runJson(FENDRIK_OLEFILE_STATUS, files); }
std::string field(const QJsonObject& view, const std::string& file, const char* name);

// "status username security" of a file as olefile reads it (from a view) or as our reader does.
std::string statusSeen(const QJsonObject& view, const std::string& file);
std::string statusSeen(const std::string& file);

// The number of the StorageError an action throws (0 when it throws none; 1
// when the error comes without a description, which no test expects).
int32_t errorOf(const std::function<void()>& action);

}  // namespace fendrik::test
