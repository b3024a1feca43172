// The file-properties server on copies of real documents: names, missing
// and damaged sets, failed opens.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

#include "TestFiles.h"
#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/propset/ByteSource.h"

using namespace fendrik;

namespace {

const std::filesystem::path kWithCustom = "3D-model/Practical work - Part 2-stick.par";
const std::filesystem::path kWithoutCustom = "Connecting-Rod/Asm1.asm";

std::filesystem::path sample(const std::filesystem::path& relative) {
  return std::filesystem::path(FENDRIK_REAL_SAMPLES) / relative;
}


class RealSampleFileProperties : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(sample(kWithCustom))) GTEST_SKIP() << "no real samples";
    server = FileProperties::Create();
  }
  PropertyTexts read(const std::filesystem::path& file) {
    PropertyTexts texts;
    texts.fill("stale");
    try {
      server->Open(file.string());
    } catch (const StorageError&) {
    }
    SEProperty(*server, texts);
    server->Close();
    return texts;
  }
  std::unique_ptr<FileProperties> server;
  test::TempDir temp;
};

}  // namespace

TEST_F(RealSampleFileProperties, FailedOpenGivesErrorsAndEmptyTexts) {
  EXPECT_EQ(test::errorOf([&] { server->Open((temp.path() / "missing.par").string()); }), hresult::kFileNotFound);
  EXPECT_EQ(test::errorOf([&] { server->Item("SummaryInformation"); }), hresult::kNoDocument);

  auto notCompound = temp.path() / "text.par";
  std::ofstream(notCompound) << std::string(2000, 'x');
  EXPECT_EQ(test::errorOf([&] { server->Open(notCompound.string()); }), hresult::kInvalidHeader);
  EXPECT_EQ(test::errorOf([&] { server->Item("ExtendedSummaryInformation"); }), hresult::kNoDocument);
  server->Close();
  server->Close();

  // A failed open after a good one leaves nothing of the good one readable.
  server->Open(sample(kWithCustom).string());
  EXPECT_NE(test::errorOf([&] { server->Open(notCompound.string()); }), 0);
  EXPECT_NE(test::errorOf([&] { server->Item("SummaryInformation"); }), 0);
  PropertyTexts texts = read(notCompound);
  for (const auto& t : texts) EXPECT_EQ(t, "");
}

TEST_F(RealSampleFileProperties, NamesInEitherLanguageAndAnyCase) {
  server->Open(sample(kWithCustom).string());
  auto text = [&](std::string_view set, std::string_view name) {
    return valueToText(server->Item(set).Item(name).Value()).value_or("<null>");
  };
  EXPECT_EQ(text("SummaryInformation", "Autor"), text("summaryinformation", "AUTHOR"));
  EXPECT_EQ(text("SummaryInformation", "Stichwörter"), text("SUMMARYINFORMATION", "STICHWÖRTER"));
  EXPECT_EQ(text("SummaryInformation", "Stichwörter"), text("SummaryInformation", "keywords"));
  EXPECT_EQ(text("ExtendedSummaryInformation", "Status"), "0");
  EXPECT_EQ(text("extendedsummaryinformation", "username"), text("ExtendedSummaryInformation", "Username"));
  EXPECT_EQ(text("SummaryInformation", "Sicherheit"), text("SummaryInformation", "Security"));
  EXPECT_EQ(test::errorOf([&] { server->Item("Unknown"); }), hresult::kSetNotFound);
  EXPECT_EQ(test::errorOf([&] { server->Item("SummaryInformation").Item("Unbekannt"); }), hresult::kMemberNotFound);
  EXPECT_EQ(test::errorOf([&] { server->Item("Custom").Item("Hauptmaße").Value(); }), hresult::kMemberNotFound);
  server->Close();
}

TEST_F(RealSampleFileProperties, LookupsWithoutErrorsAgreeWithItem) {
  EXPECT_EQ(server->tryItem("SummaryInformation"), nullptr);  // no document open

  server->Open(sample(kWithoutCustom).string());
  EXPECT_EQ(server->tryItem("Custom"), nullptr);
  EXPECT_EQ(server->tryItem("Unknown"), nullptr);
  PropertySet* summary = server->tryItem("summaryinformation");
  ASSERT_NE(summary, nullptr);
  EXPECT_EQ(summary, &server->Item("SummaryInformation"));
  EXPECT_FALSE(summary->tryItem("Unbekannt").has_value());
  auto author = summary->tryItem("AUTOR");
  ASSERT_TRUE(author.has_value());
  EXPECT_EQ(author->tryValue(), summary->Item("Author").Value());
  server->Close();
  EXPECT_EQ(server->tryItem("SummaryInformation"), nullptr);

  // A fixed property the document does not store (Manager, id 14, renumbered
  // to 0x7E in the copy's property table: the twelfth entry of the section at
  // offset 48): Item gives it (it can be set), its value is missing.
  auto withoutManager = temp.copy(sample(kWithoutCustom), "without-manager.asm");
  test::patchStream(withoutManager, u"\005DocumentSummaryInformation", 48 + 8 + 11 * 8, {0x7E, 0, 0, 0});
  server->Open(withoutManager.string());
  auto manager = server->Item("DocumentSummaryInformation").tryItem("Manager");
  ASSERT_TRUE(manager.has_value());
  EXPECT_FALSE(manager->tryValue().has_value());
  EXPECT_EQ(test::errorOf([&] { manager->Value(); }), hresult::kMemberNotFound);
  server->Close();

  // Damage still raises its error.
  auto copy = temp.copy(sample(kWithCustom));
  test::patchStream(copy, u"\005SummaryInformation", 52, {0xFF, 0xFF, 0xFF, 0x0F});
  server->Open(copy.string());
  EXPECT_EQ(test::errorOf([&] { server->tryItem("SummaryInformation"); }), hresult::kDocfileCorrupt);
  ASSERT_NE(server->tryItem("Custom"), nullptr);
  EXPECT_FALSE(server->tryItem("Custom")->tryItem("Gibt es nicht").has_value());
  server->Close();
}

TEST_F(RealSampleFileProperties, MissingCustomSetEmptiesOnlyItsColumn) {
  auto reference = test::referenceTexts({sample(kWithoutCustom)}).at(sample(kWithoutCustom).string());
  server->Open(sample(kWithoutCustom).string());
  try {
    server->Item("Custom");
    FAIL();
  } catch (const StorageError& e) {
    EXPECT_EQ(e.number(), hresult::kSetNotFound);
    EXPECT_EQ(e.description(), "Eigenschaftengruppe nicht gefunden: Custom");
  }
  // A missing set and a missing file are told apart by their numbers.
  const int32_t missingFile = test::errorOf([&] { server->Open((temp.path() / "missing.par").string()); });
  EXPECT_EQ(missingFile, hresult::kFileNotFound);
  EXPECT_NE(missingFile, hresult::kSetNotFound);
  server->Close();
  PropertyTexts texts = read(sample(kWithoutCustom));
  EXPECT_EQ(texts[11], "");
  for (size_t i = 0; i < 13; ++i) EXPECT_EQ(texts[i], reference[i]) << i;
  EXPECT_EQ(texts[2], "0");
  EXPECT_FALSE(texts[10].empty());
}

TEST_F(RealSampleFileProperties, DamagedSetFailsWhileOtherSetsRead) {
  const auto good = read(sample(kWithCustom));
  ASSERT_FALSE(good[10].empty());
  const std::u16string summary = u"\005SummaryInformation";
  const std::u16string documentSummary = u"\005DocumentSummaryInformation";
  const std::u16string extended = u"\005C3teagxwOttdbfkuIaamtae3Ie";
  struct Damage {
    const char* what;
    std::u16string stream;
    uint64_t offset;
    std::vector<uint8_t> bytes;
    std::vector<size_t> emptied;  // reads that must fail
  };
  const std::vector<Damage> damages = {
      {"summary property count huge", summary, 52, {0xFF, 0xFF, 0xFF, 0x0F}, {3, 4, 5, 6, 10}},
      {"summary section size past the end", summary, 48, {0x00, 0x00, 0x01, 0x00}, {3, 4, 5, 6, 10}},
      {"summary section count huge", summary, 24, {0xFF, 0xFF, 0xFF, 0xFF}, {3, 4, 5, 6, 10}},
      {"status value offset past the end", extended, 56 + 8 * 4 + 4, {0x00, 0x00, 0x10, 0x00}, {2}},
      {"document summary byte order", documentSummary, 0, {0x00, 0x00}, {7, 9, 11}},
  };
  for (const auto& d : damages) {
    SCOPED_TRACE(d.what);
    auto copy = temp.copy(sample(kWithCustom));
    test::patchStream(copy, d.stream, d.offset, d.bytes);
    PropertyTexts texts = read(copy);
    for (size_t i = 0; i < 13; ++i) {
      bool emptied = std::find(d.emptied.begin(), d.emptied.end(), i) != d.emptied.end();
      EXPECT_EQ(texts[i], emptied ? "" : good[i]) << "read " << i + 1;
    }
  }
  // The error names the damage.
  auto copy = temp.copy(sample(kWithCustom));
  test::patchStream(copy, summary, 52, {0xFF, 0xFF, 0xFF, 0x0F});
  server->Open(copy.string());
  EXPECT_EQ(test::errorOf([&] { server->Item("SummaryInformation"); }), hresult::kDocfileCorrupt);
  server->Close();
}

TEST_F(RealSampleFileProperties, DamagedCustomDictionaryLeavesTheFirstSectionReadable) {
  const std::u16string stream = u"\005DocumentSummaryInformation";
  auto copy = temp.copy(sample(kWithCustom));
  const std::string category = read(copy)[7];
  // The second section's offset stands in the section list at 28 + 20 + 16;
  // Custom's dictionary is its first value, right behind its table.
  std::vector<uint8_t> listEntry(4), head(8);
  {
    auto cf = cfb::CompoundFile::open(copy);
    cf->readStream(*cf->findRootChild(stream), 64, listEntry);
    uint32_t second = propset::loadU32(listEntry.data());
    cf->readStream(*cf->findRootChild(stream), second, head);
    listEntry.assign(4, 0);
    propset::storeU32(listEntry.data(), second + 8 + 8 * propset::loadU32(head.data() + 4));
  }
  test::patchStream(copy, stream, propset::loadU32(listEntry.data()), {0xFF, 0xFF, 0xFF, 0x7F});
  server->Open(copy.string());
  EXPECT_EQ(test::errorOf([&] { server->Item("Custom").Item("Hauptmaße"); }), hresult::kDocfileCorrupt);
  EXPECT_EQ(valueToText(server->Item("DocumentSummaryInformation").Item("Kategorie").Value()), category);
  server->Close();
}
