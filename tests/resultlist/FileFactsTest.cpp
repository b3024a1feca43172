// What the list shows of a file: its name, folder, time and size texts.
#include "resultlist/FileFacts.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>

#include "TempFolder.h"

namespace fendrik {
namespace {

TEST(FileFacts, RelativePathsGiveTheAbsoluteFolderAndFoldersOrMissingFilesNothing) {
  test::TempFolder temp;
  temp.file("Sub Folder/Welle.01.PAR", "12345");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  auto file = LookUpFile("./Sub Folder/../Sub Folder/Welle.01.PAR");
  std::filesystem::current_path(before);
  ASSERT_TRUE(file);
  EXPECT_EQ(GetFolderPath(*file), temp.str() + "/Sub Folder");
  EXPECT_EQ(GetFileName(*file), "Welle.01.PAR");
  EXPECT_EQ(file->size, 5U);
  for (const std::string& nothing : {temp.str() + "/missing.par", temp.str() + "/Sub Folder", std::string()})
    EXPECT_FALSE(LookUpFile(nothing)) << nothing;
}

TEST(FileFacts, TimeAndSizeTextsFollowTheLocale) {
  ::setenv("TZ", "CET-1", 1);  // local time is an hour ahead of UTC, all year
  ::tzset();
  const struct {
    QLocale locale;
    std::time_t modified;
    const char* modifiedText;
    std::uintmax_t size;
    const char* sizeText;
  } cases[] = {
      {QLocale(QLocale::German, QLocale::Germany), 1704164645, "2024.01.02 04:04:05", 123'456'789'012ULL, "123.456.789.012"},
      // Longer than 15 characters: only the last 15 are kept.
      {QLocale(QLocale::German, QLocale::Germany), 0, "1970.01.01 01:00:00", 1'234'567'890'123'456'789ULL, "890.123.456.789"},
      {QLocale(QLocale::English, QLocale::UnitedStates), 946728000, "2000.01.01 13:00:00", 999, "            999"},  // 24 hours
      {QLocale(QLocale::Finnish, QLocale::Finland), 946684798, "2000.01.01 00.59.58", 0, "              0"},
      {QLocale::c(), 946684798, "2000.01.01 00:59:58", 1'234'567, "      1,234,567"},  // grouped all the same
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    QLocale::setDefault(c.locale);
    const FileObject file{"", "", c.modified, c.size};
    EXPECT_EQ(GetModifiedText(file), c.modifiedText);
    EXPECT_EQ(GetSizeText(file), c.sizeText);
  }
  QLocale::setDefault(QLocale::system());
}

TEST(FileFacts, StripExtensionAndTypeTextSplitAtTheLastDot) {
  for (const auto& [text, stripped, type] :
       {std::tuple{"welle.01.par", "welle.01", "par"}, {".par", "", "par"}, {"WELLEPAR", "WELLEPAR", ""},
        {"welle.", "welle", ""}, {"    /d/welle..PAR", "    /d/welle.", "par"}, {"    /d.x/WELLEPAR", "    /d", "x/wellepar"},
        {"x.PÄR", "x", "pär"}, {"Größe.asm", "Größe", "asm"}}) {
    EXPECT_EQ(StripExtension(text), stripped) << text;
    EXPECT_EQ(GetTypeText(text), type) << text;
  }
}

}  // namespace
}  // namespace fendrik
