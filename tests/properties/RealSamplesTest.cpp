// Every real document reads with the same thirteen texts as the independent
// reader (olefile container, its own property-set decoding).

#include <gtest/gtest.h>

#include "TestFiles.h"
#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"

using namespace fendrik;

TEST(RealSamples, ThirteenTextsMatchTheIndependentReader) {
  auto files = test::realSamples();
  if (files.empty()) GTEST_SKIP() << "no real samples in " << FENDRIK_REAL_SAMPLES;
  auto expected = test::referenceTexts(files);
  ASSERT_EQ(expected.size(), files.size());
  auto server = FileProperties::Create();
  size_t withAuthor = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.string());
    server->Open(file.string());
    PropertyTexts texts;
    SEProperty(*server, texts);
    server->Close();
    const auto& want = expected.at(file.string());
    for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i], want[i]) << "read " << i + 1;
    EXPECT_EQ(texts[2], "0");  // every sample carries Status 0
    withAuthor += !texts[10].empty();
  }
  EXPECT_GT(withAuthor, files.size() / 2);  // the comparison is not between empty texts only
}
