// The property-set codec on streams built in memory: decoding of every value
// kind and codepage, dictionaries, damage detection and faithful re-layout;
// UTF-8/UTF-16 conversion and the case-blind comparison of names.

#include <gtest/gtest.h>

#include "properties/PropertyNames.h"
#include "properties/StorageError.h"
#include "properties/cfb/Names.h"
#include "properties/propset/PropertySetLayout.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/TextCodec.h"
#include "properties/propset/ValueEncoder.h"
#include "StreamBuilder.h"
#include "TestFiles.h"

using namespace fendrik;
using namespace fendrik::propset;
using fendrik::test::buildStream;
using fendrik::test::SectionPlan;

namespace {

PropertyValue valueOf(const std::vector<uint8_t>& stream, size_t section, uint32_t id) {
  MemorySource source(stream);
  SectionTable table = readSectionTable(source, readStreamHeader(source).sections.at(section));
  const PropertyEntry* entry = table.find(id);
  if (entry == nullptr) throw std::runtime_error("no such property");
  return readValue(source, table, *entry);
}

void expectCorrupt(const std::vector<uint8_t>& stream, size_t section = 0) {
  MemorySource source(stream);
  try {
    StreamHeader header = readStreamHeader(source);
    SectionTable table = readSectionTable(source, header.sections.at(section));
    readDictionary(source, table);
    for (const auto& e : table.properties) readValue(source, table, e);
    FAIL() << "damage not detected";
  } catch (const StorageError& e) {
    EXPECT_EQ(e.number(), hresult::kDocfileCorrupt);
    EXPECT_FALSE(e.description().empty());
  }
}

}  // namespace

TEST(Codec, DecodesEveryValueKind) {
  SectionPlan s(kFmtidSummaryInformation, 1200);
  s.add(2, vt::kI2, int16_t{-7});
  s.add(3, vt::kI4, int32_t{-100000});
  s.add(4, vt::kUi2, uint16_t{65535});
  s.add(5, vt::kUi4, uint32_t{4000000000u});
  s.add(6, vt::kI8, int64_t{-5000000000LL});
  s.add(7, vt::kUi8, uint64_t{18000000000000000000ULL});
  s.add(8, vt::kR4, 1.5f);
  s.add(9, vt::kR8, 2.25);
  s.add(10, vt::kBool, true);
  s.add(11, vt::kFiletime, FileTime{132000000000000000ULL});
  s.add(12, vt::kDate, OleDate{45000.5});
  s.add(13, vt::kCy, Currency{-15000});
  s.add(14, vt::kEmpty, EmptyValue{});
  s.add(15, vt::kNull, NullValue{});
  s.add(16, vt::kLpwstr, std::string(" Überschrift "));
  auto stream = buildStream({s});
  EXPECT_EQ(valueOf(stream, 0, 2), PropertyValue(int16_t{-7}));
  EXPECT_EQ(valueOf(stream, 0, 3), PropertyValue(int32_t{-100000}));
  EXPECT_EQ(valueOf(stream, 0, 4), PropertyValue(uint16_t{65535}));
  EXPECT_EQ(valueOf(stream, 0, 5), PropertyValue(uint32_t{4000000000u}));
  EXPECT_EQ(valueOf(stream, 0, 6), PropertyValue(int64_t{-5000000000LL}));
  EXPECT_EQ(valueOf(stream, 0, 7), PropertyValue(uint64_t{18000000000000000000ULL}));
  EXPECT_EQ(valueOf(stream, 0, 8), PropertyValue(1.5f));
  EXPECT_EQ(valueOf(stream, 0, 9), PropertyValue(2.25));
  EXPECT_EQ(valueOf(stream, 0, 10), PropertyValue(true));
  EXPECT_EQ(valueOf(stream, 0, 11), PropertyValue(FileTime{132000000000000000ULL}));
  EXPECT_EQ(valueOf(stream, 0, 12), PropertyValue(OleDate{45000.5}));
  EXPECT_EQ(valueOf(stream, 0, 13), PropertyValue(Currency{-15000}));
  EXPECT_EQ(valueOf(stream, 0, 14), PropertyValue(EmptyValue{}));
  EXPECT_EQ(valueOf(stream, 0, 15), PropertyValue(NullValue{}));
  EXPECT_EQ(valueOf(stream, 0, 16), PropertyValue(std::string(" Überschrift ")));

  EXPECT_EQ(valueToText(valueOf(stream, 0, 3)), "-100000");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 7)), "18000000000000000000");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 9)), "2.25");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 10)), "Wahr");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 12)), "2023.03.15 12:00:00");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 13)), "-1.5");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 14)), "");
  EXPECT_EQ(valueToText(valueOf(stream, 0, 15)), std::nullopt);
  EXPECT_EQ(valueToText(valueOf(stream, 0, 16)), " Überschrift ");
}

TEST(Codec, TextsInEachCodepage) {
  // Codepage 1252, 932 and 1200 (where VT_LPSTR holds UTF-16LE); a text ends
  // at its first NUL; the length fields follow the document conventions.
  for (uint16_t codepage : {uint16_t{1252}, uint16_t{932}, uint16_t{1200}}) {
    SCOPED_TRACE(codepage);
    SectionPlan s(kFmtidSummaryInformation, codepage);
    std::string text = codepage == 932 ? "図面 ABC" : "Maße äöü";
    s.add(2, vt::kLpstr, text);
    s.add(3, vt::kLpwstr, std::string("Ω wide"));
    auto stream = buildStream({s});
    EXPECT_EQ(valueOf(stream, 0, 2), PropertyValue(text));
    EXPECT_EQ(valueOf(stream, 0, 3), PropertyValue(std::string("Ω wide")));
  }
  auto cp932 = encodeValue(vt::kLpstr, std::string("図"), 932);
  EXPECT_EQ(cp932, (std::vector<uint8_t>{0x1E, 0, 0, 0, 3, 0, 0, 0, 0x90, 0x7D, 0, 0}));
  auto utf16 = encodeValue(vt::kLpstr, std::string("ab"), 1200);
  EXPECT_EQ(utf16, (std::vector<uint8_t>{0x1E, 0, 0, 0, 6, 0, 0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0}));
  auto wide = encodeValue(vt::kLpwstr, std::string("Vodra"), 1200);
  EXPECT_EQ(wide.size(), 20u);
  EXPECT_EQ(wide[4], 6);  // characters including the NUL

  // Stored bytes after the first NUL are not part of the text.
  auto embedded = encodeValue(vt::kLpstr, std::string("abc"), 1252);
  embedded[9] = 0;  // "a\0c"
  SectionPlan s(kFmtidSummaryInformation, 1252);
  s.addRaw(2, embedded);
  EXPECT_EQ(valueOf(buildStream({s}), 0, 2), PropertyValue(std::string("a")));

  // 1252 cannot hold a Japanese character: an error, not a "?".
  try {
    encodeValue(vt::kLpstr, std::string("図"), 1252);
    FAIL();
  } catch (const StorageError& e) {
    EXPECT_EQ(e.number(), hresult::kTypeMismatch);
  }
}

TEST(Codec, DictionariesInWideAndNarrowCodepages) {
  for (uint16_t codepage : {uint16_t{1200}, uint16_t{1252}}) {
    SCOPED_TRACE(codepage);
    SectionPlan s(kFmtidUserDefined, codepage);
    s.dictionary = {{2, "Hauptmaße"}, {3, "Ab"}, {4, "Gewicht kg"}};
    s.add(2, vt::kLpstr, std::string("10 x 20"));
    s.add(3, vt::kI4, int32_t{5});
    s.add(4, vt::kR8, 1.25);
    auto stream = buildStream({s});
    MemorySource source(stream);
    SectionTable table = readSectionTable(source, readStreamHeader(source).sections[0]);
    auto dictionary = readDictionary(source, table);
    ASSERT_EQ(dictionary.size(), 3u);
    EXPECT_EQ(dictionary[0].name, "Hauptmaße");
    EXPECT_EQ(dictionary[1].name, "Ab");
    EXPECT_EQ(dictionary[2].id, 4u);
    EXPECT_EQ(valueOf(stream, 0, 2), PropertyValue(std::string("10 x 20")));
  }
  // Narrow codepages pad only the end; codepage 1200 pads every entry.
  auto narrow = encodeDictionary({{2, "Ab"}, {3, "C"}}, 1252);
  EXPECT_EQ(narrow.size(), 4u + 8 + 3 + 8 + 2 + 3);
  auto wide = encodeDictionary({{2, "Ab"}, {3, "C"}}, 1200);
  EXPECT_EQ(wide.size(), 4u + 8 + 8 + 8 + 4);
}

TEST(Codec, UnknownTypesAreSkippedAndKeptByRelayout) {
  SectionPlan s(kFmtidExtendedSummaryInformation, 1200);
  s.add(2, vt::kLpwstr, std::string("Solid Edge"));
  s.addRaw(10, {0x47, 0, 0, 0, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});  // VT_CF with eight bytes
  s.add(7, vt::kI4, int32_t{0});
  s.dictionary = {{7, "Status"}};
  SectionPlan second(kFmtidUserDefined, 1252);
  second.dictionary = {{2, "Hauptmaße"}};
  second.add(2, vt::kLpstr, std::string("x"));
  auto stream = buildStream({s, second});
  EXPECT_EQ(valueOf(stream, 0, 10), PropertyValue(UnsupportedValue{0x47}));
  EXPECT_EQ(valueOf(stream, 0, 7), PropertyValue(int32_t{0}));
  MemorySource source(stream);
  EXPECT_EQ(relayoutStream(source), stream);  // canonical streams come out byte for byte
}

TEST(Codec, DamageIsReportedNotFollowed) {
  SectionPlan s(kFmtidSummaryInformation, 1252);
  s.dictionary = {{5, "Name"}};
  s.add(2, vt::kLpstr, std::string("Titel"));
  const auto good = buildStream({s});
  const uint32_t section = 48;  // one section: header 28 + 20

  // The table lists dictionary, codepage, then the title: find their values.
  MemorySource source(good);
  SectionTable table = readSectionTable(source, readStreamHeader(source).sections[0]);
  const uint32_t titleAt = section + table.find(2)->offset;
  const uint32_t dictionaryAt = section + table.find(0)->offset;
  struct Patch {
    const char* what;
    uint32_t offset;
    uint32_t value;
  };
  const Patch patches[] = {
      {"huge section count", 24, 0x7FFFFFFF},
      {"huge property count", section + 4, 0x10000000},
      {"section past the end", section, 0x00FFFFFF},
      {"value offset past the end", section + 12, 0x00100000},
      {"huge text length", titleAt + 4, 0xFFFFFFF0u},
      {"huge dictionary", dictionaryAt, 0x40000000},
      {"long dictionary name", dictionaryAt + 8, 0x7FFFFFFF},
      {"byte order", 0, 0},
  };
  for (const auto& patch : patches) {
    SCOPED_TRACE(patch.what);
    auto damaged = good;
    storeU32(&damaged[patch.offset], patch.value);
    expectCorrupt(damaged);
  }
  expectCorrupt(std::vector<uint8_t>(good.begin(), good.begin() + 20));
}

TEST(Codec, Utf16AndUtf8BothWaysWithSurrogatePairs) {
  const std::string text = "Maße \xCE\xA9 \xF0\x9F\x98\x80";  // ß, Omega, U+1F600
  const std::vector<uint8_t> wide = utf8ToUtf16(text);
  const std::vector<uint8_t> expected{'M', 0, 'a', 0, 0xDF, 0, 'e', 0, ' ', 0, 0xA9, 0x03, ' ', 0, 0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(wide, expected);
  EXPECT_EQ(utf16ToUtf8(wide), text);
  EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"Ma\u00DFe \u03A9 \U0001F600")), text);
  EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"a\xD83D" u"b")), "a\xEF\xBF\xBD" "b");  // lone surrogate
  for (std::string bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"})
    EXPECT_EQ(test::errorOf([&] { utf8ToUtf16(bad); }), hresult::kTypeMismatch) << bad;
}

TEST(Codec, NamesCompareWithoutLetterCase) {
  EXPECT_TRUE(namesEqualIgnoringCase("Stichwörter", "STICHWÖRTER"));
  EXPECT_TRUE(namesEqualIgnoringCase("ÿ ŁÓDŹ ΪΣ Ёж", "Ÿ łódź ϊσ ёЖ"));
  EXPECT_TRUE(namesEqualIgnoringCase("Straße", "STRAẞE"));
  EXPECT_FALSE(namesEqualIgnoringCase("Straße", "STRASSE"));
  EXPECT_FALSE(namesEqualIgnoringCase("Titel", "Title"));
  EXPECT_TRUE(namesEqualIgnoringCase("a\xFF", "A\xFF"));  // bytes that are no UTF-8 stand for themselves
  EXPECT_FALSE(namesEqualIgnoringCase("a\xFF", "a\xFE"));
  EXPECT_EQ(cfb::compareNames(u"ϊx", u"ΪX"), 0);
  EXPECT_LT(cfb::compareNames(u"Zz", u"aaa"), 0);  // shorter first
  EXPECT_LT(cfb::compareNames(u"ab", u"AC"), 0);
}
