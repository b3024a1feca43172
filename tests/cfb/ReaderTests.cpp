// The compound-file reader against the real documents and generated files,
// with olefile as the reference.

#include <gtest/gtest.h>

#include <algorithm>

#include "CompoundFileBuilder.h"
#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"

namespace fendrik::cfb::testing {
namespace {

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : v) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return v;
}

TEST(RealSampleReader, EveryRealSampleReadsLikeOlefile) {
  auto samples = realSamples();
  ASSERT_GT(samples.size(), 20u);
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.string());
    auto ours = rootStreams(sample);
    auto reference = olefileRootStreams(sample);
    ASSERT_TRUE(reference.has_value());
    ASSERT_EQ(ours.size(), reference->size());
    for (const auto& [name, bytes] : *reference) {
      SCOPED_TRACE(narrow(name));
      ASSERT_TRUE(ours.count(name));
      EXPECT_TRUE(ours[name] == bytes);
    }
  }
}

TEST(RealSampleReader, FindsPropertySetStreamsWithoutRegardToCase) {
  for (const auto& sample : realSamples()) {
    SCOPED_TRACE(sample.string());
    auto file = CompoundFile::open(sample);
    EXPECT_TRUE(file->majorVersion() == 3 || file->majorVersion() == 4);
    EXPECT_EQ(file->root().type, kTypeRoot);
    auto summary = file->findRootChild(u"\005SUMMARYINFORMATION");
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(file->entry(*summary).type, kTypeStream);
    auto extended = file->findRootChild(u"\005c3teagxwottdbfkuiaamtae3ie");
    ASSERT_TRUE(extended.has_value());
    EXPECT_FALSE(file->findRootChild(u"\005SummaryInformatio").has_value());
  }
}

TEST(RealSampleReader, ReadsOnlyWhatARequestNeeds) {
  // The largest sample: reading one property stream must touch a small part.
  auto samples = realSamples();
  auto largest = *std::max_element(samples.begin(), samples.end(), [](const auto& a, const auto& b) {
    return std::filesystem::file_size(a) < std::filesystem::file_size(b);
  });
  auto file = CompoundFile::open(largest);
  auto id = file->findRootChild(u"\005SummaryInformation");
  ASSERT_TRUE(id);
  auto bytes = file->readStream(*id, 1 << 20);
  EXPECT_FALSE(bytes.empty());
  EXPECT_LT(file->bytesRead() * 8, std::filesystem::file_size(largest));

  // A partial read gives the same bytes as the whole stream.
  std::vector<uint8_t> middle(100);
  file->readStream(*id, 50, middle);
  EXPECT_TRUE(std::equal(middle.begin(), middle.end(), bytes.begin() + 50));
  std::vector<uint8_t> beyond(2);
  EXPECT_THROW(file->readStream(*id, bytes.size() - 1, beyond), StorageError);
  EXPECT_THROW(file->readStream(*id, 10), StorageError);
}

TEST(CompoundFileReader, GeneratedFilesOfBothVersionsIncludingDifatSectors) {
  TempDir dir;
  for (int version : {3, 4}) {
    SCOPED_TRACE(version);
    std::vector<BuildStream> streams = {
        {u"\005SummaryInformation", pattern(420, 1)},
        {u"\005C3teagxwOttdbfkuIaamtae3Ie", pattern(45300, 2)},
        {u"Empty", {}},
        {u"JustBelowCutoff", pattern(4095, 3)},
        {u"AtCutoff", pattern(4096, 4)},
        // Large enough that version 3 needs more than 109 FAT sectors.
        {u"Model", pattern(version == 3 ? 8u << 20 : 3u << 20, 5)},
    };
    auto built = buildCompoundFile(streams, version);
    if (version == 3) {
      ASSERT_GT(built.numDifatSectors, 0u);
    }
    auto path = dir / ("generated" + std::to_string(version) + ".par");
    writeSparse(built.image, path);
    auto ours = rootStreams(path);
    auto reference = olefileRootStreams(path);
    ASSERT_TRUE(reference.has_value());
    EXPECT_TRUE(ours == *reference);
    for (const auto& s : streams) EXPECT_TRUE(ours[s.name] == s.content) << narrow(s.name);
  }
}

TEST(CompoundFileReader, StreamsAroundTheEndOfTheReadAheadReadTheirOwnBytes) {
  // A leading stream pushes the mini stream, directory and FAT towards, across
  // and beyond the end of the first 64 KiB, which the reader reads at open.
  TempDir dir;
  for (int version : {3, 4}) {
    for (size_t lead : {0u, 52000u, 60000u, 64000u, 66000u, 200000u}) {
      SCOPED_TRACE(std::to_string(version) + " / " + std::to_string(lead));
      std::vector<BuildStream> streams = {
          {u"Lead", pattern(lead, 7)},
          {u"\005SummaryInformation", pattern(430, 8)},
          {u"\005C3teagxwOttdbfkuIaamtae3Ie", pattern(45152, 9)},
          {u"\005DocumentSummaryInformation", pattern(2900, 10)},
          {u"\005Rfunnyd1AvtdbfkuIaamtae3Ie", pattern(300, 11)},
          {u"Body", pattern(9000, 12)},
      };
      auto path = dir / ("lead" + std::to_string(version) + "_" + std::to_string(lead) + ".par");
      writeFileBytes(path, buildCompoundFile(streams, version).image);
      auto file = CompoundFile::open(path);
      // Opening reads the head in one piece; a file that fits in it is read
      // once and never again.
      const uint64_t size = std::filesystem::file_size(path);
      if (size <= 64 * 1024) {
        EXPECT_EQ(file->bytesRead(), size);
      } else {
        EXPECT_GE(file->bytesRead(), 64u * 1024);
      }
      for (const auto& s : streams) {
        SCOPED_TRACE(narrow(s.name));
        auto id = file->findRootChild(s.name);
        ASSERT_TRUE(id);
        EXPECT_TRUE(file->readStream(*id, 1u << 20) == s.content);
        // Pieces across sector and mini-sector borders, and in-place views.
        for (uint64_t at : {uint64_t{0}, uint64_t{60}, uint64_t{500}, uint64_t{4090}}) {
          std::vector<uint8_t> piece(std::min<uint64_t>(200, s.content.size() - std::min<uint64_t>(at, s.content.size())));
          if (piece.empty()) continue;
          file->readStream(*id, at, piece);
          EXPECT_TRUE(std::equal(piece.begin(), piece.end(), s.content.begin() + static_cast<long>(at))) << at;
        }
        const uint64_t head = std::min<uint64_t>(s.content.size(), 4096);
        if (const uint8_t* view = file->streamView(*id, head)) {
          EXPECT_TRUE(std::equal(view, view + head, s.content.begin()));
        }
      }
      if (size <= 64 * 1024) {
        EXPECT_EQ(file->bytesRead(), size);
      }
    }
  }
}

TEST(CompoundFileReader, OpenErrorsCarryTheirNumbers) {
  TempDir dir;
  auto expectNumber = [](const std::filesystem::path& p, int32_t number) {
    try {
      CompoundFile::open(p);
      ADD_FAILURE() << "opened " << p;
    } catch (const StorageError& e) {
      EXPECT_EQ(e.number(), number) << e.what();
      EXPECT_FALSE(e.description().empty());
    }
  };
  expectNumber(dir / "missing.par", hresult::kFileNotFound);
  expectNumber(dir.path(), hresult::kFileNotFound);
  writeFileBytes(dir / "text.par", std::vector<uint8_t>(2000, 'x'));
  expectNumber(dir / "text.par", hresult::kInvalidHeader);
  writeFileBytes(dir / "empty.par", {});
  expectNumber(dir / "empty.par", hresult::kInvalidHeader);
}

}  // namespace
}  // namespace fendrik::cfb::testing
