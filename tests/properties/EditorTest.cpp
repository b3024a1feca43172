// Changing values inside property-set streams: in place, behind the last
// section, or by a new layout; everything else of the stream stays. Values
// whose size cannot be told fail only their own property and block a new layout.

#include <gtest/gtest.h>

#include "StreamBuilder.h"
#include "TestFiles.h"
#include "properties/StorageError.h"
#include "properties/propset/PropertySetEditor.h"

using namespace fendrik;
using namespace fendrik::propset;
using test::buildStream;
using test::SectionPlan;

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

size_t bytesChanged(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
  size_t changed = 0;
  for (size_t i = 0; i < before.size(); ++i) changed += before[i] != after[i];
  return changed;
}

// A document summary with heading pairs (property 12) from `headings`
// between Category and Company, codepage 1252, and a Custom section behind it,
// so that a longer value cannot simply go behind the first section.
std::vector<uint8_t> docSummaryWith(const std::vector<uint8_t>& headings) {
  SectionPlan s(kFmtidDocumentSummaryInformation, 1252);
  s.add(2, vt::kLpstr, std::string("Normteile"));
  s.addRaw(12, headings);
  s.add(15, vt::kLpstr, std::string("Firma"));
  SectionPlan custom(kFmtidUserDefined, 1252);
  custom.dictionary = {{2, "Hauptmaße"}};
  custom.add(2, vt::kLpstr, std::string("12 x 40"));
  custom.addRaw(3, {0x41, 0, 0, 0, 4, 0, 0, 0, 9, 8, 7, 6});  // VT_BLOB
  custom.add(4, vt::kI4, int32_t{0});
  return buildStream({s, custom});
}

// Heading pairs as Office writes them, a vector of variants whose text
// (VT_LPSTR, length with the NUL, no padding) leaves the next element unaligned.
std::vector<uint8_t> officeHeadings(uint32_t count) {
  std::vector<uint8_t> v;
  for (uint32_t word : {uint32_t{vt::kVector | vt::kVariant}, count, uint32_t{vt::kLpstr}, 6u}) appendU32(v, word);
  for (char c : std::string("Titel")) v.push_back(static_cast<uint8_t>(c));
  v.push_back(0);
  for (uint32_t word : {uint32_t{vt::kI4}, 1u}) appendU32(v, word);
  padTo4(v);
  return v;
}

}  // namespace

TEST(Editor, SameSizeValueIsOverwrittenInPlace) {
  SectionPlan s(kFmtidExtendedSummaryInformation, 1200);
  s.add(7, vt::kI4, int32_t{0});
  s.add(8, vt::kLpwstr, std::string(""));
  s.dictionary = {{7, "Status"}, {8, "Username"}};
  const auto before = buildStream({s});
  auto after = before;
  setStoredValue(after, 0, 7, int16_t{3}, vt::kI4);
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(bytesChanged(before, after), 1u);  // the low byte of the VT_I4: it keeps its type
  EXPECT_EQ(test::Section(after).value(7), PropertyValue(int32_t{3}));

  // A longer value in the last section goes behind it, exactly as documents
  // store it: type, length in characters with NUL, text, NUL, padding.
  setStoredValue(after, 0, 8, std::string("Vodra"), vt::kLpwstr);
  ASSERT_EQ(after.size(), before.size() + 20);
  const std::vector<uint8_t> expected = {0x1F, 0, 0, 0, 6, 0, 0, 0, 'V', 0, 'o', 0, 'd', 0, 'r', 0, 'a', 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(after.end() - 20, after.end()), expected);
  EXPECT_LE(bytesChanged(before, after), 5u);  // the status, the section size and the table entry
  std::vector<std::string> names;
  auto values = everything(after, &names);
  auto original = everything(before);
  original[0][2].second = int32_t{3};  // behind dictionary and codepage
  original[0][3].second = std::string("Vodra");
  EXPECT_EQ(values, original);
  EXPECT_EQ(names, (std::vector<std::string>{"Status", "Username"}));
}

TEST(Editor, OtherChangesLayTheStreamOutAgainKeepingEverythingElse) {
  const auto before = docSummaryWith(officeHeadings(2));
  const test::Section old(before);
  // The vector's strings are not padded: 4 + 4 + 14 + 8 = 30, padded to 32;
  // with padded strings it would be 34 and reach into Company.
  EXPECT_EQ(readValueSize(MemorySource(before), old.table, *old.table.find(12)), 32u);

  auto grown = before;
  setStoredValue(grown, 0, 2, std::string("Längere Kategorie für Maße"), vt::kLpstr);
  auto expected = everything(before);
  expected[0][1].second = std::string("Längere Kategorie für Maße");
  std::vector<std::string> names;
  EXPECT_EQ(everything(grown, &names), expected);
  EXPECT_EQ(names, std::vector<std::string>{"Hauptmaße"});
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 28, grown.begin()));  // header and CLSID
  const test::Section relaid(grown);
  EXPECT_EQ(relaid.stored(12, 32), old.stored(12, 32));
  // The 1252 text is stored in 1252, length in bytes with the NUL.
  const auto stored = relaid.stored(2, 8 + 27);
  EXPECT_EQ(stored[4], 27);
  EXPECT_EQ(stored[8 + 1], 0xE4);  // "ä" in 1252

  // A missing property is added with the given type.
  auto added = before;
  setStoredValue(added, 0, 19, int16_t{4}, vt::kI4);
  auto withSecurity = everything(added);
  ASSERT_EQ(withSecurity[0].size(), expected[0].size() + 1);
  EXPECT_EQ(withSecurity[0].back(), (std::pair<uint32_t, PropertyValue>{19, int32_t{4}}));
  EXPECT_EQ(withSecurity[1], expected[1]);

  // Values that the stored type or codepage cannot hold are refused.
  auto refused = before;
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 0, 2, std::string("図面"), vt::kLpstr); }), hresult::kTypeMismatch);
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 1, 3, std::string("x"), vt::kLpstr); }), hresult::kTypeMismatch);
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 1, 4, std::string("drei"), vt::kI4); }), hresult::kTypeMismatch);
  EXPECT_EQ(test::errorOf([&] { setStoredValue(refused, 0, 1, int16_t{932}, vt::kI2); }), hresult::kTypeMismatch);
  EXPECT_EQ(refused, before);
}

TEST(Editor, AValueOfUnknownSizeFailsOnlyItselfAndBlocksANewLayout) {
  const auto misplaced = [] {
    auto stream = docSummaryWith(officeHeadings(2));
    const test::Section section(stream);
    storeU32(&stream[section.entryAt(12) + 4], section.table.size + 40);  // offset past the section's end
    return stream;
  }();
  struct Case {
    const char* what;
    std::vector<uint8_t> stream;
  };
  for (const Case& c : {Case{"vector runs past the section", docSummaryWith(officeHeadings(100))},
                        Case{"unknown type", docSummaryWith({0x99, 0x00, 0x00, 0x00, 1, 2, 3, 4})},
                        Case{"table entry past the section", misplaced}}) {
    SCOPED_TRACE(c.what);
    const test::Section section(c.stream);
    EXPECT_EQ(test::errorOf([&] { section.value(12); }), hresult::kDocfileCorrupt);
    EXPECT_EQ(section.value(2), PropertyValue(std::string("Normteile")));
    EXPECT_EQ(section.value(15), PropertyValue(std::string("Firma")));
    // Same size: written in place, nothing else is re-encoded.
    auto edited = c.stream;
    setStoredValue(edited, 0, 15, std::string("Fabri"), vt::kLpstr);
    EXPECT_EQ(test::Section(edited).value(15), PropertyValue(std::string("Fabri")));
    EXPECT_EQ(bytesChanged(c.stream, edited), 4u);  // "Firma" to "Fabri"
    // A new layout would have to guess the value's end: refused, bytes kept.
    edited = c.stream;
    EXPECT_EQ(test::errorOf([&] { setStoredValue(edited, 0, 2, std::string("Viel längere Kategorie"), vt::kLpstr); }),
              hresult::kDocfileCorrupt);
    EXPECT_EQ(edited, c.stream);
  }
}
