// Sizes of vectors and variants as real writers store them, and values whose
// size cannot be told: they fail only their own property when read, and a set
// holding one is not laid out anew when written.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "StreamBuilder.h"
#include "TestFiles.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/propset/PropertySetEditor.h"
#include "properties/propset/PropertySetReader.h"

using namespace fendrik;
using namespace fendrik::propset;

namespace {

const std::u16string kDocSummaryStream = u"\005DocumentSummaryInformation";

std::vector<uint8_t> streamOf(const std::filesystem::path& file, const std::u16string& name) {
  auto cf = cfb::CompoundFile::open(file);
  return cf->readStream(*cf->findRootChild(name), 1 << 20);
}

// Every decodable property of every set as the independent reader reads it:
// {stream: {fmtid: {pid or dictionary name: text}}}.
QJsonObject olefileValues(const std::filesystem::path& file) {
  std::string json;
  EXPECT_EQ(test::runCommand("/usr/bin/python3 " + test::shellQuote(FENDRIK_REFERENCE_READER) + " --json-full " +
                                 test::shellQuote(file.string()),
                             &json),
            0);
  return QJsonDocument::fromJson(QByteArray::fromStdString(json)).object().value(QString::fromStdString(file.string())).toObject();
}

// The vector-of-variants element bytes Office writes for a text: VT_LPSTR,
// length with the NUL, the characters and no padding.
void appendVariantText(std::vector<uint8_t>& out, const std::string& text) {
  appendU32(out, vt::kLpstr);
  appendU32(out, static_cast<uint32_t>(text.size() + 1));
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

void appendVariantI4(std::vector<uint8_t>& out, int32_t value) {
  appendU32(out, vt::kI4);
  appendU32(out, static_cast<uint32_t>(value));
}

// A document summary whose heading pairs (property 12) come from `headings`,
// between Category and Company; codepage 1252. A Custom section follows, so
// that a longer value cannot simply go behind the first section.
std::vector<uint8_t> docSummaryWith(const std::vector<uint8_t>& headings) {
  test::SectionPlan s(kFmtidDocumentSummaryInformation, 1252);
  s.add(2, vt::kLpstr, std::string("Normteile"));
  s.addRaw(12, headings);
  s.add(15, vt::kLpstr, std::string("Firma"));
  test::SectionPlan custom(kFmtidUserDefined, 1252);
  custom.add(2, vt::kLpstr, std::string("12 x 40"));
  custom.dictionary = {{2, "Hauptmaße"}};
  return test::buildStream({s, custom});
}

std::vector<uint8_t> officeHeadings(uint32_t count) {
  std::vector<uint8_t> v;
  appendU32(v, vt::kVector | vt::kVariant);
  appendU32(v, count);
  appendVariantText(v, "Titel");  // 4 + 4 + 6 bytes: the next element is not 4-aligned
  appendVariantI4(v, 1);
  padTo4(v);
  return v;
}

}  // namespace

// Documents laid out the way Office writes DocumentSummaryInformation: the
// generator puts heading pairs, a vector of variants with unpadded strings,
// last into the first section of every third document.
TEST(VectorSizes, OfficeLayoutReadsLikeOlefileInEveryFirstSectionValue) {
  test::TempDir temp;
  ASSERT_EQ(test::runCommand("/usr/bin/python3 " + test::shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                             test::shellQuote(temp.path().string()) + " --documents 9 --seed 5 >/dev/null"),
            0);
  size_t withHeadings = 0;
  for (const auto& item : std::filesystem::directory_iterator(temp.path())) {
    if (item.path().extension() == ".json") continue;
    SCOPED_TRACE(item.path().string());
    const auto stream = streamOf(item.path(), kDocSummaryStream);
    MemorySource source(stream);
    const SectionTable table = readSectionTable(source, readStreamHeader(source).sections.at(0));
    QJsonObject reference;
    const QJsonObject sets = olefileValues(item.path());
    for (auto it = sets.begin(); it != sets.end(); ++it)  // stream names vary in case
      if (it.key().compare(QString::fromStdU16String(kDocSummaryStream), Qt::CaseInsensitive) == 0)
        reference = it.value().toObject().value(QString::fromStdString(fmtidToText(table.fmtid))).toObject();
    ASSERT_FALSE(reference.isEmpty());
    for (const PropertyEntry& e : table.properties) {
      SCOPED_TRACE(e.id);
      const PropertyValue value = readValue(source, table, e);  // throws for none of them
      const auto size = readValueSize(source, table, e);
      ASSERT_TRUE(size.has_value());
      if (e.id == 12) {
        ++withHeadings;
        // The vector is the last value: it ends within the section's padding.
        EXPECT_LE(uint64_t{e.offset} + *size, table.size);
        EXPECT_GT(uint64_t{e.offset} + *size + 4, table.size);
        continue;
      }
      const QJsonValue theirs = reference.value(QString::number(e.id));
      ASSERT_TRUE(theirs.isString());
      EXPECT_EQ(valueToText(value).value_or("<none>"), theirs.toString().toStdString());
    }
  }
  EXPECT_EQ(withHeadings, 3u);
}

TEST(VectorSizes, StringsInsideAVectorOfVariantsAreNotPadded) {
  const auto stream = docSummaryWith(officeHeadings(2));
  MemorySource source(stream);
  const SectionTable table = readSectionTable(source, readStreamHeader(source).sections.at(0));
  // 4 (type) + 4 (count) + 14 (text) + 8 (number) = 30, padded to 32; with
  // padded strings it would be 32 + 2 and reach into Company.
  EXPECT_EQ(readValueSize(source, table, *table.find(12)), 32u);
  // A longer Company moves the set to a new layout that keeps the vector's bytes.
  auto edited = stream;
  setStoredValue(edited, 0, 15, std::string("Eine deutlich längere Firma"), vt::kLpstr);
  MemorySource after(edited);
  const SectionTable table2 = readSectionTable(after, readStreamHeader(after).sections.at(0));
  EXPECT_EQ(after.bytes(table2.offset + table2.find(12)->offset, 32),
            source.bytes(table.offset + table.find(12)->offset, 32));
  EXPECT_EQ(readValue(after, table2, *table2.find(15)), PropertyValue(std::string("Eine deutlich längere Firma")));
}

TEST(VectorSizes, AValueOfUnknownSizeFailsOnlyItselfAndBlocksANewLayout) {
  std::vector<uint8_t> runsPast = officeHeadings(100);  // more elements than the section holds
  std::vector<uint8_t> unknownType = {0x99, 0x00, 0x00, 0x00, 1, 2, 3, 4};
  for (const auto& headings : {runsPast, unknownType}) {
    const auto stream = docSummaryWith(headings);
    MemorySource source(stream);
    const SectionTable table = readSectionTable(source, readStreamHeader(source).sections.at(0));
    EXPECT_EQ(test::errorOf([&] { readValue(source, table, *table.find(12)); }), hresult::kDocfileCorrupt);
    EXPECT_EQ(readValue(source, table, *table.find(2)), PropertyValue(std::string("Normteile")));
    EXPECT_EQ(readValue(source, table, *table.find(15)), PropertyValue(std::string("Firma")));
    // Same size: written in place, nothing else is re-encoded.
    auto edited = stream;
    setStoredValue(edited, 0, 15, std::string("Fabri"), vt::kLpstr);
    EXPECT_EQ(edited.size(), stream.size());
    // A new layout would have to guess the value's end: refused, bytes kept.
    edited = stream;
    EXPECT_EQ(test::errorOf([&] { setStoredValue(edited, 0, 2, std::string("Viel längere Kategorie"), vt::kLpstr); }),
              hresult::kDocfileCorrupt);
    EXPECT_EQ(edited, stream);
  }
}

TEST(VectorSizes, AMisplacedTableEntryFailsOnlyItsProperty) {
  auto stream = docSummaryWith(officeHeadings(2));
  MemorySource source(stream);
  const SectionTable table = readSectionTable(source, readStreamHeader(source).sections.at(0));
  // Property 12's offset pointed past the end of the section.
  for (size_t i = 0; i < table.properties.size(); ++i)
    if (table.properties[i].id == 12) storeU32(&stream[table.offset + 12 + 8 * i], table.size + 40);
  MemorySource damaged(stream);
  const SectionTable read = readSectionTable(damaged, readStreamHeader(damaged).sections.at(0));
  EXPECT_EQ(test::errorOf([&] { readValue(damaged, read, *read.find(12)); }), hresult::kDocfileCorrupt);
  EXPECT_EQ(readValue(damaged, read, *read.find(15)), PropertyValue(std::string("Firma")));
  auto edited = stream;
  EXPECT_EQ(test::errorOf([&] { setStoredValue(edited, 0, 2, std::string("Viel längere Kategorie"), vt::kLpstr); }),
            hresult::kDocfileCorrupt);
}
