// The compound-file reader against the real documents and generated files,
// with olefile as the reference.

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"

namespace fendrik::cfb::testing {
namespace {

TEST(RealSampleReader, EveryRealSampleReadsLikeOlefile) {
  auto samples = realSamples();
  ASSERT_GT(samples.size(), 20u);
  auto reference = olefileRootStreams(samples);
  for (size_t i = 0; i < samples.size(); ++i) {
    SCOPED_TRACE(samples[i].string());
    ASSERT_TRUE(reference[i].has_value());
    EXPECT_TRUE(rootStreams(samples[i]) == *reference[i]);
    // Property sets are found whatever the case of their names.
    auto file = CompoundFile::open(samples[i]);
    auto summary = file->findRootChild(u"\005SUMMARYINFORMATION");
    ASSERT_TRUE(summary.has_value());
    EXPECT_EQ(file->entry(*summary).type, kTypeStream);
    EXPECT_TRUE(file->findRootChild(u"\005c3teagxwottdbfkuiaamtae3ie").has_value());
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
  auto id = file->findRootChild(kSummary);
  ASSERT_TRUE(id);
  auto bytes = file->readStream(*id, 1 << 20);
  EXPECT_FALSE(bytes.empty());
  EXPECT_LT(file->bytesRead() * 8, std::filesystem::file_size(largest));
  std::vector<uint8_t> beyond(2);
  EXPECT_THROW(file->readStream(*id, bytes.size() - 1, beyond), StorageError);
  EXPECT_THROW(file->readStream(*id, 10), StorageError);  // larger than the caller allows
}

TEST(CompoundFileReader, GeneratedFilesReadLikeOlefile) {
  // A leading stream pushes the mini stream, directory and FAT towards, across
  // and beyond the end of the first 64 KiB, which the reader reads at open;
  // the largest one needs DIFAT sectors in version 3.
  TempDir dir;
  std::vector<std::filesystem::path> paths;
  std::vector<std::vector<BuildStream>> contents;
  for (int version : {3, 4})
    for (size_t lead : {0u, 52000u, 60000u, 64000u, 66000u, 200000u, 8u << 20}) {
      contents.push_back({{u"Lead", pattern(lead, 7)},
                          {kSummary, pattern(430, 8)},
                          {kExtendedSummary, pattern(45152, 9)},
                          {u"Empty", {}},
                          {u"JustBelowCutoff", pattern(4095, 10)},
                          {u"AtCutoff", pattern(4096, 11)},
                          {u"Body", pattern(9000, 12)}});
      auto built = buildCompoundFile(contents.back(), version);
      if (lead == 8u << 20 && version == 3) {
        EXPECT_GT(built.numDifatSectors, 0u);
      }
      paths.push_back(dir / ("v" + std::to_string(version) + "_" + std::to_string(lead) + ".par"));
      writeSparse(built.image, paths.back());
    }
  auto reference = olefileRootStreams(paths);
  for (size_t f = 0; f < paths.size(); ++f) {
    SCOPED_TRACE(paths[f].filename().string());
    ASSERT_TRUE(reference[f].has_value());
    EXPECT_TRUE(rootStreams(paths[f]) == *reference[f]);
    auto file = CompoundFile::open(paths[f]);
    // Opening reads the head in one piece; a file that fits in it is read
    // once and never again.
    const uint64_t size = std::filesystem::file_size(paths[f]);
    EXPECT_GE(file->bytesRead(), std::min<uint64_t>(size, 64 * 1024));
    for (const auto& s : contents[f]) {
      SCOPED_TRACE(s.content.size());
      auto id = file->findRootChild(s.name);
      ASSERT_TRUE(id);
      EXPECT_TRUE(file->readStream(*id, 16u << 20) == s.content);
      // Pieces across sector and mini-sector borders, and in-place views.
      for (uint64_t at : {0, 60, 500, 4090}) {
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

}  // namespace
}  // namespace fendrik::cfb::testing
