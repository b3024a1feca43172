// What the list shows of a file: its name, folder, time and size texts.
#include "resultlist/FileFacts.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QLocale>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

#include "TempFolder.h"

namespace fendrik {
namespace {

using test::TempFolder;

// Sets the locale the formatting functions use, and the system's back after.
// Times are given in UTC, the time zone of these tests.
struct WithLocale {
  explicit WithLocale(const QLocale& locale) {
    QLocale::setDefault(locale);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
  }
  ~WithLocale() { QLocale::setDefault(QLocale::system()); }
};

TEST(FileFacts, LooksUpNameFolderTimeAndSizeOfARealFile) {
  TempFolder temp;
  std::string path = temp.file("Sub Folder/Welle.01.PAR", "12345");
  const struct timespec times[2] = {{1173967509, 0}, {1173967509, 0}};  // 2007-03-15 14:05:09
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  WithLocale german(QLocale(QLocale::German, QLocale::Germany));
  auto file = LookUpFile(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(GetFileName(*file), "Welle.01.PAR");
  EXPECT_EQ(GetFolderPath(*file), temp.str() + "/Sub Folder");
  EXPECT_EQ(GetModifiedText(*file), "2007.03.15 14:05:09");
  EXPECT_EQ(GetSizeText(*file), "              5");

  // A relative path gives the absolute folder; missing paths and folders give nothing.
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  auto relative = LookUpFile("./Sub Folder/../Sub Folder/Welle.01.PAR");
  std::filesystem::current_path(before);
  ASSERT_TRUE(relative);
  EXPECT_EQ(GetFolderPath(*relative), temp.str() + "/Sub Folder");
  EXPECT_EQ(GetFileName(*relative), "Welle.01.PAR");
  for (const std::string& nothing : {temp.str() + "/missing.par", temp.str() + "/Sub Folder", std::string()})
    EXPECT_FALSE(LookUpFile(nothing)) << nothing;
}

TEST(FileFacts, TimeAndSizeTextsFollowTheLocale) {
  const struct {
    QLocale locale;
    std::time_t modified;
    std::uintmax_t size;
    const char* modifiedText;
    const char* sizeText;
  } cases[] = {
      {QLocale(QLocale::German, QLocale::Germany), 1704164645, 0, "2024.01.02 03:04:05",
       "              0"},
      {QLocale(QLocale::German, QLocale::Germany), 0, 123'456'789'012ULL, nullptr, "123.456.789.012"},
      // Longer than 15 characters: only the last 15 are kept.
      {QLocale(QLocale::German, QLocale::Germany), 0, 1'234'567'890'123'456'789ULL, nullptr, "890.123.456.789"},
      // A 12-hour locale still gives 24 hours.
      {QLocale(QLocale::English, QLocale::UnitedStates), 946684798, 999,
       "1999.12.31 23:59:58", "            999"},
      {QLocale(QLocale::Finnish, QLocale::Finland), 946684798, 0, "1999.12.31 23.59.58",
       nullptr},
      {QLocale(QLocale::English, QLocale::UnitedKingdom), 0, 1'234'567, nullptr, "      1,234,567"},
      // The C locale groups too.
      {QLocale::c(), 0, 1'234'567, nullptr, "      1,234,567"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    WithLocale locale(c.locale);
    FileObject file;
    file.modified = c.modified;
    file.size = c.size;
    EXPECT_TRUE(!c.modifiedText || GetModifiedText(file) == c.modifiedText) << GetModifiedText(file);
    EXPECT_TRUE(!c.sizeText || GetSizeText(file) == c.sizeText) << GetSizeText(file);
  }
}

TEST(FileFacts, StripExtensionAndTypeTextSplitAtTheLastDot) {
  const struct {
    const char* text;
    const char* stripped;
    const char* type;
  } cases[] = {{"welle.01.par", "welle.01", "par"}, {".par", "", "par"},          {"WELLEPAR", "WELLEPAR", ""},
               {"welle.", "welle", ""},             {"    /d/welle..PAR", nullptr, "par"},
               {"    /d.x/WELLEPAR", nullptr, "x/wellepar"}, {"x.PÄR", nullptr, "pär"}, {"Größe.asm", "Größe", "asm"}};
  for (const auto& c : cases) {
    EXPECT_TRUE(!c.stripped || StripExtension(c.text) == c.stripped) << c.text;
    EXPECT_EQ(GetTypeText(c.text), c.type) << c.text;
  }
}

}  // namespace
}  // namespace fendrik
