#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QLocale>
#include <ctime>
#include <filesystem>
#include <string>

#include "TempFolder.h"
#include "resultlist/FileFacts.h"

namespace fendrik {
namespace {

using test::TempFolder;

// Sets the locale the formatting functions use, and the system's back after.
class WithLocale {
 public:
  explicit WithLocale(const QLocale& locale) { QLocale::setDefault(locale); }
  ~WithLocale() { QLocale::setDefault(QLocale::system()); }
};

std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

FileObject OfSize(std::uintmax_t size) {
  FileObject file;
  file.size = size;
  return file;
}

TEST(FileFacts, LooksUpNameFolderTimeAndSizeOfARealFile) {
  TempFolder temp;
  std::string path = temp.file("Sub Folder/Welle.01.PAR", "12345");
  std::time_t stamp = LocalTime(2007, 3, 15, 14, 5, 9);
  struct timespec times[2] = {{stamp, 0}, {stamp, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);

  auto file = LookUpFile(path);
  ASSERT_TRUE(file);
  EXPECT_EQ(GetFileName(*file), "Welle.01.PAR");
  EXPECT_EQ(GetFolderPath(*file), temp.str() + "/Sub Folder");
  EXPECT_EQ(file->size, 5U);
  WithLocale german(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(GetModifiedText(*file), "2007.03.15 14:05:09");
  EXPECT_EQ(GetSizeText(*file), "              5");
}

TEST(FileFacts, RelativePathsGiveTheAbsoluteFolder) {
  TempFolder temp;
  temp.file("d/x.dft");
  std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  auto file = LookUpFile("./d/x.dft");
  std::filesystem::current_path(before);
  ASSERT_TRUE(file);
  EXPECT_EQ(GetFolderPath(*file), temp.str() + "/d");
  EXPECT_EQ(GetFileName(*file), "x.dft");
}

TEST(FileFacts, NoFileObjectForMissingPathsAndFolders) {
  TempFolder temp;
  temp.folder("folder.par");
  EXPECT_FALSE(LookUpFile(temp.str() + "/missing.par"));
  EXPECT_FALSE(LookUpFile(temp.str() + "/folder.par"));
  EXPECT_FALSE(LookUpFile(""));
}

TEST(FileFacts, ModifiedTextUsesTheLocaleTimeSeparatorAnd24Hours) {
  FileObject file;
  file.modified = LocalTime(1999, 12, 31, 23, 59, 58);
  {
    WithLocale american(QLocale(QLocale::English, QLocale::UnitedStates));  // a 12-hour locale
    EXPECT_EQ(GetModifiedText(file), "1999.12.31 23:59:58");
  }
  {
    WithLocale finnish(QLocale(QLocale::Finnish, QLocale::Finland));
    EXPECT_EQ(GetModifiedText(file), "1999.12.31 23.59.58");
  }
  file.modified = LocalTime(2024, 1, 2, 3, 4, 5);
  WithLocale german(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(GetModifiedText(file), "2024.01.02 03:04:05");
}

TEST(FileFacts, SizeTextIsGroupedAndRightAlignedIn15Characters) {
  TempFolder temp;
  std::string big = temp.file("big.asm");
  std::filesystem::resize_file(big, 3'000'000);
  {
    WithLocale german(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(GetSizeText(*LookUpFile(big)), "      3.000.000");
    EXPECT_EQ(GetSizeText(OfSize(0)), "              0");
    EXPECT_EQ(GetSizeText(OfSize(999)), "            999");
    EXPECT_EQ(GetSizeText(OfSize(123'456'789'012ULL)), "123.456.789.012");
    // Longer than 15 characters: only the last 15 are kept.
    EXPECT_EQ(GetSizeText(OfSize(1'234'567'890'123'456'789ULL)), "890.123.456.789");
  }
  {
    WithLocale english(QLocale(QLocale::English, QLocale::UnitedKingdom));
    EXPECT_EQ(GetSizeText(OfSize(1'234'567)), "      1,234,567");
  }
  WithLocale c(QLocale::c());
  EXPECT_EQ(GetSizeText(OfSize(1'234'567)), "      1,234,567");
}

TEST(FileFacts, StripExtensionAndTypeTextSplitAtTheLastDot) {
  EXPECT_EQ(StripExtension("welle.01.par"), "welle.01");
  EXPECT_EQ(GetTypeText("welle.01.par"), "par");
  EXPECT_EQ(StripExtension(".par"), "");
  EXPECT_EQ(GetTypeText(".par"), "par");
  EXPECT_EQ(StripExtension("WELLEPAR"), "WELLEPAR");
  EXPECT_EQ(GetTypeText("WELLEPAR"), "");
  EXPECT_EQ(StripExtension("welle."), "welle");
  EXPECT_EQ(GetTypeText("welle."), "");
  EXPECT_EQ(GetTypeText("    /d/welle..PAR"), "par");
  EXPECT_EQ(GetTypeText("    /d.x/WELLEPAR"), "x/wellepar");
  EXPECT_EQ(GetTypeText("x.PÄR"), "pär");
  EXPECT_EQ(StripExtension("Größe.asm"), "Größe");
}

}  // namespace
}  // namespace fendrik
