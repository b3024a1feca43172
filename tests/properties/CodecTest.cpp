// Property-set streams built in memory: decoding of every value kind and codepage, dictionaries, damage detection,
// faithful re-layout and changing values (in place, behind the last section, or by a new layout, everything else
// staying); UTF-8/UTF-16 conversion, case-blind names, joined line breaks.

#include <numeric>
#include "TestFiles.h"
#include "platform/TestSystem.h"
#include "properties/PropertyNames.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Names.h"
#include "properties/propset/PropertySetEditor.h"
#include "properties/propset/TextCodec.h"

using namespace fendrik;
using namespace fendrik::propset;
using test::buildStream;
using test::SectionPlan;

using Values = std::vector<std::pair<uint32_t, PropertyValue>>;

// Every property of every section in table order, with the dictionaries' names.
static std::vector<Values> everything(const std::vector<uint8_t>& stream, std::vector<std::string>* names = nullptr) {
  MemorySource source(stream);
  std::vector<Values> out;
  for (const auto& where : readStreamHeader(source).sections) {
    SectionTable table = readSectionTable(source, where);
    Values& values = out.emplace_back();
    for (const auto& e : table.properties) values.emplace_back(e.id, readValue(source, table, e));
    for (const auto& d : names ? readDictionary(source, table) : std::vector<DictionaryEntry>{})
      names->push_back(std::to_string(d.id) + " " + d.name);
  }
  return out;
}

static size_t bytesChanged(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
  return std::inner_product(before.begin(), before.end(), after.begin(), size_t{0}, std::plus<>(), std::not_equal_to<>());
}

// A document summary with heading pairs (property 12) from `headings` between Category and Company, codepage 1252,
// and a Custom section behind it, so that a longer value cannot simply go behind the first section.
static std::vector<uint8_t> docSummaryWith(const std::vector<uint8_t>& headings) {
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

// Heading pairs as Office writes them: a vector of variants whose unpadded VT_LPSTR leaves the next element unaligned.
static std::vector<uint8_t> officeHeadings(uint32_t count) {
  std::vector<uint8_t> v;
  for (uint32_t word : {uint32_t{vt::kVector | vt::kVariant}, count, uint32_t{vt::kLpstr}, 6u}) appendU32(v, word);
  v.insert(v.end(), {'T', 'i', 't', 'e', 'l', 0});
  for (uint32_t word : {uint32_t{vt::kI4}, 1u, 0u}) appendU32(v, word);  // the number and padding to 4
  v.resize(32);
  return v;
}

TEST(Codec, DecodesEveryValueKind) {
  const struct { uint16_t type; PropertyValue value; const char* text; } cases[] = {
      {vt::kI2, int16_t{-7}, "-7"}, {vt::kI4, int32_t{-100000}, "-100000"}, {vt::kUi2, uint16_t{65535}, "65535"},
      {vt::kUi4, uint32_t{4000000000u}, "4000000000"}, {vt::kI8, int64_t{-5000000000LL}, "-5000000000"},
      {vt::kUi8, uint64_t{18000000000000000000ULL}, "18000000000000000000"}, {vt::kR4, 1.5f, "1.5"},
      {vt::kR8, 2.25, "2.25"}, {vt::kBool, true, "Wahr"}, {vt::kFiletime, FileTime{132000000000000000ULL}, "(local)"},
      {vt::kDate, OleDate{45000.5}, "2023.03.15 12:00:00"}, {vt::kCy, Currency{-15000}, "-1.5"},
      {vt::kEmpty, EmptyValue{}, ""}, {vt::kNull, NullValue{}, "<none>"},
      {vt::kLpwstr, std::string(" Überschrift "), " Überschrift "},
  };
  SectionPlan s(kFmtidSummaryInformation, 1200);
  for (uint32_t i = 0; i < std::size(cases); ++i) s.add(i + 2, cases[i].type, cases[i].value);
  const test::Section section(buildStream({s}));
  for (uint32_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].type);
    EXPECT_EQ(section.value(i + 2), cases[i].value);
    if (cases[i].type != vt::kFiletime) {
      EXPECT_EQ(valueToText(section.value(i + 2)).value_or("<none>"), cases[i].text);
    }
  }
}

// Dates as text: a FILETIME in local time, an OLE date as stored, before 1970
// and after 2038 alike (no C library time in between); beyond the year 9999 a
// FILETIME has no text and an OLE date none at all.
TEST(Codec, DatesOfEveryCenturyAsText) {
  const std::pair<double, const char*> oleDates[] = {
      {0, "1899.12.30 00:00:00"},          {-1.25, "1899.12.29 06:00:00"},      {25569, "1970.01.01 00:00:00"},
      {-657434, "0100.01.01 00:00:00"},    {50425.5, "2038.01.20 12:00:00"},    {2958465.5, "9999.12.31 12:00:00"},
      {2958467, "<none>"},                 {-657435, "<none>"},
  };
  for (const auto& [days, text] : oleDates) EXPECT_EQ(valueToText(OleDate{days}).value_or("<none>"), text) << days;
  // Local time is an hour ahead of UTC, all year.
  if (!test::SetTimeZone("CET-1")) GTEST_SKIP() << "the local time zone of this system cannot be set by a test";
  const std::pair<uint64_t, const char*> fileTimes[] = {
      {0, ""},  // no time
      {10000000ULL, "1601.01.01 01:00:01"},
      {116444735990000000ULL, "1970.01.01 00:59:59"},
      {157520610000000000ULL, "2100.03.01 13:30:00"},
      {2650467707990000000ULL, "9999.12.31 23:59:59"},  // 9999-12-31 22:59:59 UTC
      {2650467708000000000ULL, ""},                     // the year 10000 in local time
      {UINT64_MAX, ""},
  };
  for (const auto& [ticks, text] : fileTimes) EXPECT_EQ(valueToText(FileTime{ticks}).value_or("<none>"), text) << ticks;
}

// Texts in codepage 1252, 932 and 1200 (VT_LPSTR as UTF-16LE) with the length fields documents use. Reading them
// (and texts cut at an embedded NUL) is compared with the independent writer's generated samples.
TEST(Codec, TextsInEachCodepage) {
  EXPECT_EQ(encodeValue(vt::kLpstr, std::string("Maß"), 1252),
            (std::vector<uint8_t>{0x1E, 0, 0, 0, 4, 0, 0, 0, 'M', 'a', 0xDF, 0}));
  EXPECT_EQ(encodeValue(vt::kLpstr, std::string("図"), 932),
            (std::vector<uint8_t>{0x1E, 0, 0, 0, 3, 0, 0, 0, 0x90, 0x7D, 0, 0}));
  EXPECT_EQ(encodeValue(vt::kLpstr, std::string("ab"), 1200),
            (std::vector<uint8_t>{0x1E, 0, 0, 0, 6, 0, 0, 0, 'a', 0, 'b', 0, 0, 0, 0, 0}));
}

// Dictionaries in narrow and wide codepages and values of types the reader does not decode read back, and a new
// layout keeps the stream byte for byte.
TEST(Codec, DictionariesAndUnknownTypesSurviveRelayout) {
  for (uint16_t codepage : {uint16_t{1200}, uint16_t{1252}}) {
    SCOPED_TRACE(codepage);
    SectionPlan first(kFmtidExtendedSummaryInformation, codepage);
    first.dictionary = {{7, "Status"}};
    first.addRaw(10, {0x47, 0, 0, 0, 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});  // VT_CF with eight bytes
    first.add(7, vt::kI4, int32_t{5});
    SectionPlan custom(kFmtidUserDefined, codepage);
    custom.dictionary = {{2, "Hauptmaße"}, {3, "Ab"}, {4, "Gewicht kg"}};
    custom.add(2, vt::kLpstr, std::string("10 x 20"));
    custom.add(4, vt::kR8, 1.25);
    const auto stream = buildStream({first, custom});
    std::vector<std::string> names;
    const auto values = everything(stream, &names);
    EXPECT_EQ(names, (std::vector<std::string>{"7 Status", "2 Hauptmaße", "3 Ab", "4 Gewicht kg"}));
    EXPECT_EQ(values[0][2].second, PropertyValue(UnsupportedValue{0x47}));
    EXPECT_EQ(values[1][2].second, PropertyValue(std::string("10 x 20")));
    EXPECT_EQ(relayoutStream(MemorySource(stream)), stream);
  }
  // Narrow codepages pad only the end; codepage 1200 pads every entry.
  EXPECT_EQ(encodeDictionary({{2, "Ab"}, {3, "C"}}, 1252).size(), 4u + 8 + 3 + 8 + 2 + 3);
  EXPECT_EQ(encodeDictionary({{2, "Ab"}, {3, "C"}}, 1200).size(), 4u + 8 + 8 + 8 + 4);
}

TEST(Codec, DamageIsReportedNotFollowed) {
  SectionPlan s(kFmtidSummaryInformation, 1252);
  s.dictionary = {{5, "Name"}};
  s.add(2, vt::kLpstr, std::string("Titel"));
  const test::Section good(buildStream({s}));
  const uint32_t section = good.table.offset, titleAt = uint32_t(good.valueAt(2)), dictionaryAt = uint32_t(good.valueAt(0));
  const struct { const char* what; uint32_t offset, value; } patches[] = {
      {"huge section count", 24, 0x7FFFFFFF},          {"huge property count", section + 4, 0x10000000},
      {"section past the end", section, 0x00FFFFFF},   {"value offset past the end", section + 12, 0x00100000},
      {"huge text length", titleAt + 4, 0xFFFFFFF0u},  {"huge dictionary", dictionaryAt, 0x40000000},
      {"long dictionary name", dictionaryAt + 8, 0x7FFFFFFF}, {"byte order", 0, 0}, {"stream cut short", 20, 0},
  };
  for (const auto& patch : patches) {
    SCOPED_TRACE(patch.what);
    auto damaged = good.bytes;
    storeU32(&damaged[patch.offset], patch.value);
    if (std::string(patch.what) == "stream cut short") damaged.resize(patch.offset);
    std::vector<std::string> names;
    EXPECT_EQ(test::errorOf([&] { everything(damaged, &names); }), hresult::kDocfileCorrupt);
  }
}

TEST(Codec, Utf16AndUtf8BothWaysWithSurrogatePairs) {
  const std::string text = "Maße \xCE\xA9 \xF0\x9F\x98\x80";  // ß, Omega, U+1F600
  const std::vector<uint8_t> wide = utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::vector<uint8_t>{'M', 0, 'a', 0, 0xDF, 0, 'e', 0, ' ', 0, 0xA9, 0x03, ' ', 0, 0x3D, 0xD8, 0x00, 0xDE}));
  EXPECT_EQ(utf16ToUtf8(wide), text);
  EXPECT_EQ(utf16ToUtf8(std::u16string_view(u"a\xD83D" u"b")), "a\xEF\xBF\xBD" "b");  // lone surrogate
  for (std::string bad : {"\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "a\x80"})
    EXPECT_EQ(test::errorOf([&] { utf8ToUtf16(bad); }), hresult::kTypeMismatch) << bad;
}

TEST(Codec, NamesCompareWithoutLetterCase) {
  // Bytes that are no UTF-8 stand for themselves.
  const std::tuple<const char*, const char*, bool> pairs[] = {
      {"ÿ ŁÓDŹ ΪΣ Ёж", "Ÿ łódź ϊσ ёЖ", true}, {"Straße", "STRAẞE", true},   {"Straße", "STRASSE", false},
      {"Titel", "Title", false},               {"a\xFF", "A\xFF", true},     {"a\xFF", "a\xFE", false}};
  for (const auto& [a, b, equal] : pairs) EXPECT_EQ(namesEqualIgnoringCase(a, b), equal) << a << " / " << b;
  EXPECT_EQ(cfb::compareNames(u"ϊx", u"ΪX"), 0);
  EXPECT_LT(cfb::compareNames(u"Zz", u"aaa"), 0);  // shorter first
  EXPECT_LT(cfb::compareNames(u"ab", u"AC"), 0);
}

TEST(JoinLines, ReplacesEachCrLfPairAndNothingElse) {
  const std::pair<std::string, std::string> cases[] = {
      {"erste\r\nzweite", "erste, zweite"}, {"Ende\r\n", "Ende, "}, {"a\r\n\r\nb", "a, , b"}, {"\r\r\n\n", "\r, \n"},
      {"nur LF\nund CR\rbleiben", "nur LF\nund CR\rbleiben"}, {"  Blanks bleiben  ", "  Blanks bleiben  "}, {"", ""},
  };
  for (const auto& [text, joined] : cases) EXPECT_EQ(JoinLines(text), joined) << text;
  std::string comment, joined;  // 40,000 characters with a line break every 100: joined, not cut or emptied
  for (int i = 0; i < 400; ++i) comment += std::string(98, 'a' + i % 26) + "\r\n";
  for (int i = 0; i < 400; ++i) joined += std::string(98, 'a' + i % 26) + ", ";
  EXPECT_EQ(JoinLines(comment), joined);
}

// A longer value in the last section goes behind it, exactly as documents store it: type, length in characters with
// NUL, text, NUL, padding.
TEST(Editor, LongerValueInTheLastSectionGoesBehindIt) {
  SectionPlan s(kFmtidExtendedSummaryInformation, 1200);
  s.add(8, vt::kLpwstr, std::string(""));
  s.dictionary = {{8, "Username"}};
  const auto before = buildStream({s});
  auto after = before;
  setStoredValue(after, 0, 8, std::string("Vodra"), vt::kLpwstr);
  ASSERT_EQ(after.size(), before.size() + 20);
  const std::vector<uint8_t> expected = {0x1F, 0, 0, 0, 6, 0, 0, 0, 'V', 0, 'o', 0, 'd', 0, 'r', 0, 'a', 0, 0, 0};
  EXPECT_EQ(std::vector<uint8_t>(after.end() - 20, after.end()), expected);
  EXPECT_LE(bytesChanged(before, after), 4u);  // the section size and the table entry
  std::vector<std::string> names;
  auto original = everything(before);
  original[0][2].second = std::string("Vodra");  // behind dictionary and codepage
  EXPECT_EQ(everything(after, &names), original);
  EXPECT_EQ(names, std::vector<std::string>{"8 Username"});
}

TEST(Editor, OtherChangesLayTheStreamOutAgainKeepingEverythingElse) {
  const auto before = docSummaryWith(officeHeadings(2));
  const test::Section old(before);
  // The vector's strings are not padded: 4 + 4 + 14 + 8 = 30, padded to 32; with padded strings it would be 34 and
  // reach into Company.
  EXPECT_EQ(readValueSize(MemorySource(before), old.table, *old.table.find(12)), 32u);
  auto grown = before;
  setStoredValue(grown, 0, 2, std::string("Längere Kategorie für Maße"), vt::kLpstr);
  auto expected = everything(before);
  expected[0][1].second = std::string("Längere Kategorie für Maße");
  std::vector<std::string> names;
  EXPECT_EQ(everything(grown, &names), expected);
  EXPECT_EQ(names, std::vector<std::string>{"2 Hauptmaße"});
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 28, grown.begin()));  // header and CLSID
  const test::Section relaid(grown);
  EXPECT_EQ(MemorySource(grown).bytes(relaid.valueAt(12), 32), MemorySource(before).bytes(old.valueAt(12), 32));
  // A missing property is added with the given type.
  auto added = before;
  setStoredValue(added, 0, 19, int16_t{4}, vt::kI4);
  auto withSecurity = everything(before);
  withSecurity[0].emplace_back(19, int32_t{4});
  EXPECT_EQ(everything(added), withSecurity);
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
  struct Case { const char* what; std::vector<uint8_t> stream; };
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

TEST(VisibleText, EscapesWhatCannotStandInALineAndGivesTheBytesBack) {
  const struct { std::string bytes; bool needs; const char* escaped; } cases[] = {
      {"C:\\Teile\\Welle.par", false, "C:\\\\Teile\\\\Welle.par"},
      {"Prüfung/Lager.par", false, "Prüfung/Lager.par"},
      {"a\tb\rc\nd", true, "a\\tb\\rc\\nd"},
      {std::string("a\0b", 3), true, "a\\x00b"},
      {"\x1b[41mrot\x7f", true, "\\x1B[41mrot\\x7F"},
      {"\xe4.par", true, "\\xE4.par"},                       // Latin-1, not UTF-8
      {"Pr\xc3\xbc" "fung/\xe4.par", true, "Prüfung/\\xE4.par"},  // a Latin-1 name in a UTF-8 folder
      {"\xc2\x9b" "2J", true, "\\xC2\\x9B2J"},               // C1 control sequence introducer
      {"abc\xe2\x80\xae" "rap.exe", true, "abc\\xE2\\x80\\xAErap.exe"},  // right-to-left override
      {"\xc3", true, "\\xC3"},                               // cut character
      {"\xed\xa0\x80", true, "\\xED\\xA0\\x80"},             // surrogate
      {"back\\slash\n", true, "back\\\\slash\\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.escaped);
    EXPECT_EQ(NeedsEscapes(c.bytes), c.needs);
    EXPECT_EQ(Escaped(c.bytes), c.escaped);
    EXPECT_EQ(Unescaped(c.escaped), c.bytes);
    EXPECT_EQ(VisibleText(c.bytes), c.needs ? std::string(c.escaped) : c.bytes);
  }
  // Every byte value, alone and between characters, comes back exactly.
  std::string all;
  for (int b = 0; b < 256; ++b) all += {static_cast<char>(b), 'x', static_cast<char>(b)};
  EXPECT_EQ(Unescaped(Escaped(all)), all);
  for (const char* malformed : {"a\\", "\\q", "\\x4", "\\xG0", "\\x"}) EXPECT_EQ(Unescaped(malformed), std::nullopt) << malformed;
}
