// Damaged and hostile compound files: every fault ends in a StorageError,
// never in a crash, a hang or an unbounded allocation.

#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <set>
#include <tuple>

#include "CompoundFileBuilder.h"
#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Format.h"

namespace fendrik::cfb::testing {
namespace {

using fendrik::loadU32;
using fendrik::storeU32;
using fendrik::storeU64;

// Opens the file and reads every root stream; false on StorageError.
bool readsCompletely(const std::filesystem::path& path) {
  try {
    rootStreams(path);
    return true;
  } catch (const StorageError& e) {
    EXPECT_TRUE(e.number() == hresult::kDocfileCorrupt || e.number() == hresult::kInvalidHeader) << e.what();
    return false;
  }
}

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<BuildStream> streams = {
        {u"\005SummaryInformation", std::vector<uint8_t>(300, 0x11)},
        {u"Big", std::vector<uint8_t>(45300, 0x22)},
        {u"Small", std::vector<uint8_t>(1000, 0x33)},
    };
    built_ = buildCompoundFile(streams, 3);
    bigId_ = built_.streamIds[1];
    smallId_ = built_.streamIds[2];
  }
  uint32_t entryField(uint32_t id, size_t field) { return loadU32(built_.image.data() + built_.entryOffset(id) + field); }
  uint8_t* fatEntry(uint32_t sector) {
    return built_.image.data() + built_.sectorOffset(built_.firstFatSector) + 4 * sector;
  }
  bool mutatedReads() {
    auto path = dir_ / "mutated.par";
    writeFileBytes(path, built_.image);
    return readsCompletely(path);
  }
  // The description of the error that reading the mutated file ends in.
  std::string mutatedError() {
    auto path = dir_ / "mutated.par";
    writeFileBytes(path, built_.image);
    try {
      rootStreams(path);
    } catch (const StorageError& e) {
      EXPECT_FALSE(e.where().empty()) << e.description();
      return e.description();
    }
    ADD_FAILURE() << "the mutated file reads";
    return {};
  }

  TempDir dir_;
  BuiltFile built_;
  uint32_t bigId_ = 0;
  uint32_t smallId_ = 0;
};

TEST_F(HostileInput, UnmodifiedFileReads) { EXPECT_TRUE(mutatedReads()); }

TEST_F(HostileInput, RegularChainThatLoops) {
  uint32_t first = entryField(bigId_, detail::kDeStartSector);
  storeU32(fatEntry(first + 3), first + 1);
  EXPECT_FALSE(mutatedReads());
}

TEST_F(HostileInput, RegularChainThatLeavesTheFileOrEndsEarly) {
  uint32_t first = entryField(bigId_, detail::kDeStartSector);
  storeU32(fatEntry(first + 5), 0x00FFFFFF);
  EXPECT_FALSE(mutatedReads());
  storeU32(fatEntry(first + 5), detail::kEndOfChain);
  EXPECT_FALSE(mutatedReads());
  storeU32(fatEntry(first + 5), detail::kFreeSector);
  EXPECT_FALSE(mutatedReads());
}

TEST_F(HostileInput, SizesLargerThanChainOrFile) {
  uint8_t* entry = built_.image.data() + built_.entryOffset(bigId_);
  storeU64(entry + detail::kDeSize, 45300 + 512 * 4);  // longer than its chain
  EXPECT_FALSE(mutatedReads());
  storeU64(entry + detail::kDeSize, 0xFFFFFFF0u);  // larger than the file
  EXPECT_FALSE(mutatedReads());
  // Version 3 ignores the upper half of the size field.
  storeU64(entry + detail::kDeSize, (uint64_t{7} << 32) | 45300);
  EXPECT_TRUE(mutatedReads());
  // A small stream claiming more mini sectors than the mini stream holds.
  storeU64(built_.image.data() + built_.entryOffset(smallId_) + detail::kDeSize, 4000);
  EXPECT_FALSE(mutatedReads());
}

TEST_F(HostileInput, MiniChainThatLoopsOrLeavesTheMiniStream) {
  uint32_t miniFat = loadU32(built_.image.data() + detail::kHdrFirstMiniFatSector);
  uint32_t first = entryField(smallId_, detail::kDeStartSector);
  uint8_t* entries = built_.image.data() + built_.sectorOffset(miniFat);
  storeU32(entries + 4 * (first + 2), first);
  EXPECT_FALSE(mutatedReads());
  storeU32(entries + 4 * (first + 2), 5000);
  EXPECT_FALSE(mutatedReads());
}

TEST_F(HostileInput, DirectoryThatLoops) {
  uint8_t* root = built_.image.data() + built_.entryOffset(0);
  uint32_t top = loadU32(root + detail::kDeChild);
  uint8_t* topEntry = built_.image.data() + built_.entryOffset(top);
  uint32_t saved = loadU32(topEntry + detail::kDeLeft);
  storeU32(topEntry + detail::kDeLeft, top);
  EXPECT_FALSE(mutatedReads());
  storeU32(topEntry + detail::kDeLeft, 999);
  EXPECT_FALSE(mutatedReads());
  storeU32(topEntry + detail::kDeLeft, saved);
  storeU32(fatEntry(built_.firstDirSector), built_.firstDirSector);  // directory chain loops
  EXPECT_FALSE(mutatedReads());
}

TEST_F(HostileInput, HeaderFieldsOutOfRange) {
  auto original = built_.image;
  for (auto [field, value] : std::vector<std::pair<size_t, uint32_t>>{
           {detail::kHdrNumFatSectors, 0},
           {detail::kHdrNumFatSectors, 0x7FFFFFFF},
           {detail::kHdrNumFatSectors, 200},
           {detail::kHdrFirstDirSector, 0x00FFFFFF},
           {detail::kHdrFirstMiniFatSector, 0x00FFFFFF},
           {detail::kHdrNumMiniFatSectors, 0x7FFFFFFF},
           {detail::kHdrDifat, 0x00FFFFFF}}) {
    built_.image = original;
    storeU32(built_.image.data() + field, value);
    EXPECT_FALSE(mutatedReads()) << field << " = " << value;
  }
  built_.image = original;
  built_.image[detail::kHdrSectorShift] = 12;  // version 3 with 4096-byte sectors
  EXPECT_FALSE(mutatedReads());
}

// Each check of the header says which field it found wrong, so that four
// different faults give four different descriptions.
TEST_F(HostileInput, HeaderFaultsNameTheirField) {
  const auto original = built_.image;
  std::set<std::string> seen;
  for (auto [field, value, expected] : std::vector<std::tuple<size_t, uint16_t, std::string>>{
           {detail::kHdrByteOrder, 0xFEFF, "Bytereihenfolge 0xFEFF statt 0xFFFE (Dateikopf, Byte 0x1C)"},
           {detail::kHdrMajorVersion, 5, "Version 5 (Dateikopf, Byte 0x1A)"},
           {detail::kHdrSectorShift, 12, "Sektorgröße 2^12 passt nicht zu Version 3 (erwartet 2^9) (Dateikopf, Byte 0x1E)"},
           {detail::kHdrMiniSectorShift, 7, "Mini-Sektorgröße 2^7 statt 2^6 (Dateikopf, Byte 0x20)"},
           {detail::kHdrMiniStreamCutoff, 8192, "Mini-Datenstroms 8192 statt 4096 (Dateikopf, Byte 0x38)"}}) {
    built_.image = original;
    fendrik::storeU16(built_.image.data() + field, value);
    const std::string error = mutatedError();
    EXPECT_NE(error.find(expected), std::string::npos) << error;
    EXPECT_TRUE(seen.insert(error).second) << error;
  }
}

TEST_F(HostileInput, ChainFaultsNameStreamEntryAndSector) {
  const auto original = built_.image;
  const uint32_t first = entryField(bigId_, detail::kDeStartSector);
  const std::string big = "Datenstrom \"Big\" (Verzeichniseintrag " + std::to_string(bigId_) + ")";
  storeU32(fatEntry(first + 5), 0x00FFFFFF);
  std::string error = mutatedError();
  EXPECT_NE(error.find("Sektorkette verweist außerhalb der Datei (" + big + ", Sektor " + std::to_string(first + 5) +
                       " verweist auf 16777215 (Glied 7 der Kette)"),
            std::string::npos)
      << error;
  storeU32(fatEntry(first + 5), detail::kEndOfChain);
  error = mutatedError();
  EXPECT_NE(error.find("verweist auf ENDOFCHAIN"), std::string::npos) << error;
  storeU32(fatEntry(first + 5), first + 1);
  error = mutatedError();
  EXPECT_NE(error.find("Schleife in der Sektorkette (" + big + ", Sektor " + std::to_string(first + 1) +
                       " zum zweiten Mal (Glied 7 der Kette)"),
            std::string::npos)
      << error;

  built_.image = original;
  const uint32_t miniFat = loadU32(built_.image.data() + detail::kHdrFirstMiniFatSector);
  const uint32_t small = entryField(smallId_, detail::kDeStartSector);
  storeU32(built_.image.data() + built_.sectorOffset(miniFat) + 4 * (small + 2), 5000);
  error = mutatedError();
  EXPECT_NE(error.find("Mini-Sektorkette verweist außerhalb des Mini-Datenstroms (Datenstrom \"Small\" "
                       "(Verzeichniseintrag " +
                       std::to_string(smallId_) + "), Mini-Sektor " + std::to_string(small + 2) +
                       " verweist auf 5000"),
            std::string::npos)
      << error;

  built_.image = original;
  uint8_t* root = built_.image.data() + built_.entryOffset(0);
  const uint32_t top = loadU32(root + detail::kDeChild);
  storeU32(built_.image.data() + built_.entryOffset(top) + detail::kDeLeft, 999);
  error = mutatedError();
  EXPECT_NE(error.find("Verzeichniseintrag " + std::to_string(top) + " verweist auf 999"), std::string::npos) << error;
}

TEST(HostileSizes, SizeFieldNearItsLimitInVersion4) {
  // Version 4 counts all 64 bits of the size; a size near 2^64 must not wrap
  // round to a short chain.
  TempDir dir;
  auto built = buildCompoundFile({{u"\005SummaryInformation", std::vector<uint8_t>(300, 1)},
                                  {u"Big", std::vector<uint8_t>(9000, 2)}},
                                 4);
  for (uint32_t id : built.streamIds) {
    auto image = built.image;
    storeU64(image.data() + built.entryOffset(id) + detail::kDeSize, ~uint64_t{0} - 62);
    auto path = dir / "huge.par";
    writeFileBytes(path, image);
    auto file = CompoundFile::open(path);
    std::vector<uint8_t> piece(16);
    EXPECT_THROW(file->readStream(id, 0, piece), StorageError);
    EXPECT_THROW(file->streamView(id, 16), StorageError);
  }
}

TEST(HostileDifat, BadDifatSectors) {
  TempDir dir;
  auto built = buildCompoundFile({{u"Model", std::vector<uint8_t>(8u << 20, 1)}}, 3);
  ASSERT_EQ(built.numDifatSectors, 1u);
  auto path = dir / "big.par";
  auto check = [&](auto mutate) {
    auto image = built.image;
    mutate(image.data());
    writeSparse(image, path);
    return readsCompletely(path);
  };
  EXPECT_TRUE(check([](uint8_t*) {}));
  EXPECT_FALSE(check([](uint8_t* h) { storeU32(h + detail::kHdrNumDifatSectors, 0); }));
  EXPECT_FALSE(check([](uint8_t* h) { storeU32(h + detail::kHdrFirstDifatSector, 0x00FFFFFF); }));
  EXPECT_FALSE(check([&](uint8_t* h) { storeU32(h + built.sectorOffset(built.firstDifatSector), 0x00FFFFFF); }));
  // Two DIFAT sectors needed, the first one pointing at itself.
  EXPECT_FALSE(check([&](uint8_t* h) {
    storeU32(h + detail::kHdrNumFatSectors, 109 + 127 + 1);
    storeU32(h + detail::kHdrNumDifatSectors, 2);
    storeU32(h + built.sectorOffset(built.firstDifatSector) + 4 * 127, built.firstDifatSector);
  }));
}

TEST(RealSampleTruncation, TruncatedRealSampleNeverCrashes) {
  TempDir dir;
  auto sample = realSamples().front();
  auto bytes = readFileBytes(sample);
  bool someFailed = false;
  for (size_t length : {size_t{0}, size_t{100}, size_t{511}, size_t{512}, size_t{1024}, bytes.size() / 4,
                        bytes.size() / 2, bytes.size() - 600, bytes.size() - 1}) {
    auto path = dir / "cut.par";
    writeFileBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(length)));
    someFailed |= !readsCompletely(path);
  }
  EXPECT_TRUE(someFailed);
}

TEST(HostileMutation, RandomByteChangesNeverCrash) {
  TempDir dir;
  auto built = buildCompoundFile({{u"\005SummaryInformation", std::vector<uint8_t>(300, 1)},
                                  {u"Big", std::vector<uint8_t>(9000, 2)},
                                  {u"Small", std::vector<uint8_t>(700, 3)}},
                                 3);
  std::mt19937 random(42);
  auto path = dir / "random.par";
  for (int round = 0; round < 600; ++round) {
    auto image = built.image;
    int changes = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < changes; ++k) {
      size_t pos = random() % image.size();
      // Favour the structural areas: header, FAT and directory at the end.
      if (k % 2 == 0) pos = (random() % 2) ? random() % 512 : image.size() - 1 - random() % 2048;
      image[pos] = static_cast<uint8_t>(random());
    }
    writeFileBytes(path, image);
    readsCompletely(path);
  }
}

}  // namespace
}  // namespace fendrik::cfb::testing
