#pragma once

// Real and generated documents for tests: private copies, byte patches inside
// a copy's streams, sections of stored streams, and the independent readers.

#include <gtest/gtest.h>

#include <QJsonObject>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestCommon.h"
#include "properties/FileProperties.h"
#include "properties/propset/PropertySetReader.h"

namespace fendrik::test {

using TempDir = TempFolder;

inline const std::u16string kSummaryStream = u"\005SummaryInformation";
inline const std::u16string kDocSummaryStream = u"\005DocumentSummaryInformation";
inline const std::u16string kExtendedStream = u"\005C3teagxwOttdbfkuIaamtae3Ie";

// A real sample by its path below the sample folder.
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

// Overwrites bytes of a root stream inside a compound file, wherever its
// sectors lie.
void patchStream(const std::filesystem::path& file, const std::u16string& stream, uint64_t offset,
                 const std::vector<uint8_t>& bytes);

// One section of a property-set stream (in memory or a root stream of a file).
struct Section {
  Section(std::vector<uint8_t> stream, size_t index = 0);
  Section(const std::filesystem::path& file, const std::u16string& stream, size_t index = 0);
  std::vector<uint8_t> bytes;  // the whole stream
  propset::SectionTable table;
  uint64_t valueAt(uint32_t id) const;  // offset of the value's type field in the stream
  uint64_t entryAt(uint32_t id) const;  // offset of the value's table entry in the stream
  PropertyValue value(uint32_t id) const;
  std::vector<uint8_t> stored(uint32_t id, size_t length) const;
};

// `count` documents made by the sample generator in `folder`, sorted by path.
std::vector<std::string> generate(const std::filesystem::path& folder, int count, int seed,
                                  const std::string& options = {});

// The thirteen texts our reader gives for a file (empty texts when it cannot be opened).
std::array<std::string, 13> readTexts(const std::filesystem::path& file);

// The thirteen texts of each file as the independent reader reads them.
std::map<std::string, std::array<std::string, 13>> referenceTexts(const std::vector<std::filesystem::path>& files);

// What olefile and the reference decoder read from each file (olefile_status.py).
QJsonObject olefileView(const std::vector<std::string>& files);
std::string field(const QJsonObject& view, const std::string& file, const char* name);

// "status username security" of a file as olefile reads it (from a view) or as our reader does.
std::string statusSeen(const QJsonObject& view, const std::string& file);
std::string statusSeen(const std::string& file);

// The number of the StorageError an action throws (0 when it throws none; 1
// when the error comes without a description, which no test expects).
int32_t errorOf(const std::function<void()>& action);

}  // namespace fendrik::test
