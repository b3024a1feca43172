// Every real document reads with the same thirteen texts as the independent
// reader (olefile container, its own property-set decoding).

#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

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

// Generated documents cover what the real ones lack: codepages 932 and 1252,
// multi-line comments, Custom values, both container versions.
TEST(GeneratedSamples, ThirteenTextsMatchTheManifest) {
  test::TempDir temp;
  std::string command = "/usr/bin/python3 " + test::shellQuote(FENDRIK_SAMPLE_GENERATOR) + " --out " +
                        test::shellQuote(temp.path().string()) + " --documents 150 --seed 11 --version mixed --nested";
  ASSERT_EQ(test::runCommand(command + " >/dev/null"), 0);
  QFile manifestFile(QString::fromStdString((temp.path() / "manifest.json").string()));
  ASSERT_TRUE(manifestFile.open(QIODevice::ReadOnly));
  QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
  ASSERT_EQ(manifest.size(), 150);
  auto server = FileProperties::Create();
  for (auto it = manifest.begin(); it != manifest.end(); ++it) {
    std::string file = (temp.path() / it.key().toStdString()).string();
    SCOPED_TRACE(file);
    PropertyTexts texts;
    try {
      server->Open(file);
    } catch (const StorageError&) {
    }
    SEProperty(*server, texts);
    server->Close();
    QJsonArray want = it.value().toArray();
    for (int i = 0; i < 13; ++i)
      EXPECT_EQ(texts[static_cast<size_t>(i)], want[i].toString().toStdString()) << "read " << i + 1;
  }
}
