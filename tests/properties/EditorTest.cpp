// Changing values inside property-set streams: in place, behind the last
// section, or by a new layout; everything else of the stream stays.

#include <gtest/gtest.h>

#include "StreamBuilder.h"
#include "TestFiles.h"
#include "properties/StorageError.h"
#include "properties/propset/PropertySetEditor.h"
#include "properties/propset/PropertySetReader.h"

using namespace fendrik;
using namespace fendrik::propset;
using fendrik::test::buildStream;
using fendrik::test::SectionPlan;

namespace {

using Values = std::vector<std::pair<uint32_t, PropertyValue>>;

// Every property of every section in table order, with the dictionaries' names.
std::vector<Values> everything(const std::vector<uint8_t>& stream, std::vector<std::string>* names = nullptr) {
  MemorySource source(stream);
  std::vector<Values> out;
  for (const auto& where : readStreamHeader(source).sections) {
    SectionTable table = readSectionTable(source, where);
    Values values;
    for (const auto& e : table.properties) values.emplace_back(e.id, readValue(source, table, e));
    if (names)
      for (const auto& d : readDictionary(source, table)) names->push_back(d.name);
    out.push_back(values);
  }
  return out;
}

SectionPlan extendedSummary() {
  SectionPlan s(kFmtidExtendedSummaryInformation, 1200);
  s.add(0x80000000u, vt::kUi4, uint32_t{1031});
  s.add(2, vt::kLpwstr, std::string("Solid Edge"));
  s.add(7, vt::kI4, int32_t{0});
  s.add(8, vt::kLpwstr, std::string(""));
  // A thumbnail the reader does not decode: VT_CF, 392 bytes of clipboard data.
  std::vector<uint8_t> thumbnail(400, 0x47);
  const std::vector<uint8_t> head = {0x47, 0, 0, 0, 0x88, 0x01, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  std::copy(head.begin(), head.end(), thumbnail.begin());
  s.addRaw(10, thumbnail);
  s.dictionary = {{7, "Status"}, {8, "Username"}};
  return s;
}


}  // namespace

TEST(Editor, SameSizeValueIsOverwrittenInPlace) {
  const auto before = buildStream({extendedSummary()});
  auto after = before;
  setStoredValue(after, 0, 7, int16_t{3}, vt::kI4);
  ASSERT_EQ(after.size(), before.size());
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  EXPECT_EQ(changed, 1u);  // the low byte of the VT_I4: it keeps its type
  auto values = everything(after);
  EXPECT_EQ(values[0][4].second, PropertyValue(int32_t{3}));
}

TEST(Editor, LongerValueInTheLastSectionGoesBehindIt) {
  const auto before = buildStream({extendedSummary()});
  auto after = before;
  setStoredValue(after, 0, 8, std::string("Vodra"), vt::kLpwstr);
  ASSERT_EQ(after.size(), before.size() + 20);
  // Exactly as documents store it: type, length in characters with NUL, text, NUL, padding.
  const std::vector<uint8_t> expected = {0x1F, 0, 0, 0, 6, 0, 0, 0, 'V', 0, 'o', 0, 'd', 0, 'r', 0, 'a', 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(after.end() - 20, after.end()), expected);
  // Apart from the section size and the table entry, the old bytes stay.
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  EXPECT_LE(changed, 4u);
  std::vector<std::string> names;
  auto values = everything(after, &names);
  EXPECT_EQ(values[0][5].second, PropertyValue(std::string("Vodra")));
  EXPECT_EQ(names, (std::vector<std::string>{"Status", "Username"}));
  auto original = everything(before);
  original[0][5].second = std::string("Vodra");
  EXPECT_EQ(values, original);
}

TEST(Editor, OtherChangesLayTheStreamOutAgainKeepingEverythingElse) {
  SectionPlan first(kFmtidDocumentSummaryInformation, 1252);
  first.add(2, vt::kLpstr, std::string("Kategorie"));
  first.add(15, vt::kLpstr, std::string("Firma"));
  SectionPlan custom(kFmtidUserDefined, 1252);
  custom.dictionary = {{2, "Hauptmaße"}};
  custom.add(2, vt::kLpstr, std::string("10 x 20"));
  custom.addRaw(3, {0x41, 0, 0, 0, 4, 0, 0, 0, 9, 8, 7, 6});  // VT_BLOB
  const auto before = buildStream({first, custom});

  auto grown = before;
  setStoredValue(grown, 0, 2, std::string("Längere Kategorie für Maße"), vt::kLpstr);
  auto expected = everything(before);
  expected[0][1].second = std::string("Längere Kategorie für Maße");
  std::vector<std::string> names;
  EXPECT_EQ(everything(grown, &names), expected);
  EXPECT_EQ(names, std::vector<std::string>{"Hauptmaße"});
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 28, grown.begin()));  // header and CLSID

  // The 1252 text is stored in 1252, length in bytes with the NUL.
  MemorySource source(grown);
  SectionTable table = readSectionTable(source, readStreamHeader(source).sections[0]);
  auto stored = source.bytes(table.offset + table.find(2)->offset, 8 + 27);
  EXPECT_EQ(stored[4], 27);
  EXPECT_EQ(stored[8 + 1], 0xE4);  // "ä" in 1252

  // A missing property is added with the given type.
  auto added = before;
  setStoredValue(added, 0, 19, int16_t{4}, vt::kI4);
  auto withSecurity = everything(added);
  ASSERT_EQ(withSecurity[0].size(), expected[0].size() + 1);
  EXPECT_EQ(withSecurity[0].back(), (std::pair<uint32_t, PropertyValue>{19, int32_t{4}}));
  EXPECT_EQ(withSecurity[1], everything(before)[1]);

  // Values that the stored type or codepage cannot hold are refused.
  auto refused = before;
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 0, 2, std::string("図面"), vt::kLpstr); }), hresult::kTypeMismatch);
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 1, 3, std::string("x"), vt::kLpstr); }), hresult::kTypeMismatch);
  SectionPlan numbers(kFmtidExtendedSummaryInformation, 1200);
  numbers.add(7, vt::kI4, int32_t{0});
  auto numeric = buildStream({numbers});
  EXPECT_EQ(test::errorOf([&] { setStoredValue(numeric, 0, 7, std::string("drei"), vt::kI4); }), hresult::kTypeMismatch);
  EXPECT_EQ(refused, before);
}
