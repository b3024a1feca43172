// The result list below the window: the packed rows (24 texts each, of any
// length), the filter boxes, which keep or remove the rows with a text in any
// letter case (the window's tests check the boxes' columns), the sort order
// (locale collation, letter case ignored, digits as text, equal texts in
// their old order) and the file facts the rows show.
#include <gtest/gtest.h>

#include <QLocale>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "TempFolder.h"
#include "platform/TestSystem.h"
#include "resultlist/ExportTable.h"
#include "properties/platform/Files.h"
#include "resultlist/FileFacts.h"
#include "resultlist/ResultRows.h"
#include "resultlist/RowFilter.h"
#include "resultlist/TextOrder.h"

namespace fendrik {
namespace {

using Strings = std::vector<std::string>;

TEST(ResultRows, KeepsTwentyFourTextsOfAnyLengthPerRow) {
  ResultRows rows;
  std::vector<std::string> texts;
  // Empty texts, texts beyond one and two length bytes, and more texts than columns.
  for (int k = 0; k < 30; ++k) texts.push_back(k % 3 == 0 ? "" : std::string(k * k * k * 4, 'a' + k % 26) + "äöü");
  rows.append(texts);
  rows.append({"/nur/zwei.par", "zwei"});
  ASSERT_EQ(rows.size(), 2u);
  for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(rows.text(0, k), texts[k]) << k;
  // Rows of short texts only (one length byte each) are read another way; 127 bytes is the longest such text.
  for (size_t last : {127u, 128u}) {
    std::vector<std::string> short_;
    for (int k = 0; k < kColumnCount; ++k) short_.push_back(k == 23 ? std::string(last, 'z') : "t" + std::to_string(k * 7));
    ResultRows one;
    one.append(short_);
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(one.text(0, k), short_[k]) << last << "/" << k;
  }
  for (const auto& [row, column] : {std::pair{1, 2}, {1, 23}, {2, 0}, {0, 24}, {0, -1}})
    EXPECT_EQ(rows.text(row, column), "") << row << "/" << column;  // empty, or no such row or column

  rows.setText(1, 8, "3");
  rows.setText(1, 23, std::string(70000, 'x'));
  EXPECT_EQ(rows.text(1, 8), "3");
  EXPECT_EQ(rows.text(1, 1), "zwei");
  EXPECT_EQ(rows.text(1, 23).size(), 70000u);
  EXPECT_THROW(rows.setText(2, 0, "x"), std::out_of_range);
  EXPECT_THROW(rows.setText(0, 24, "x"), std::out_of_range);
  // A copy holds the same texts and marks and changes apart.
  rows.markPathUncertain(1);
  ResultRows copied = rows.copy();
  ASSERT_EQ(copied.size(), rows.size());
  for (size_t row = 0; row < rows.size(); ++row) {
    EXPECT_EQ(copied.pathUncertain(row), rows.pathUncertain(row)) << row;
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(copied.text(row, k), rows.text(row, k)) << row << "/" << k;
  }
  copied.setText(1, 1, "anders");
  EXPECT_EQ(rows.text(1, 1), "zwei");
  rows.remove(0);
  EXPECT_EQ(rows.text(0, 1), "zwei");
  EXPECT_THROW(rows.remove(1), std::out_of_range);
  EXPECT_EQ(copied.size(), 2u);
}

TEST(RowFilter, KeepsOrRemovesTheMatchesInAnyLetterCaseInTheirOrder) {
  const Strings latin{"xABCx", "abd", "Abc", "zzabc", "ab c", "ABC"};
  const Strings german{"WELLE-ÄUSSERE", "welle-äußere", "Straße", "STRASSE", "STRAẞE", "𐐀x", "𐐨y", "plain"};
  const Strings blanks{"a b", "ab", "a\tb", "  "};
  const struct {
    Strings names;
    QString text;
    bool doesNotContain;
    Strings left;
  } cases[] = {
      {latin, "abc", false, {"xABCx", "Abc", "zzabc", "ABC"}},
      {latin, "aBc", true, {"abd", "ab c"}},
      {german, QString::fromUtf8("ä"), false, {"WELLE-ÄUSSERE", "welle-äußere"}},
      // Capital sharp s folds to ß; "ss" is a different text.
      {german, QString::fromUtf8("ß"), false, {"welle-äußere", "Straße", "STRAẞE"}},
      {german, QString::fromUtf8("𐐨"), false, {"𐐀x", "𐐨y"}},  // beyond the Basic Multilingual Plane
      // The Kelvin sign folds to an ASCII k, so non-ASCII texts are folded too.
      {{"\u212Aopf", "kopf", "Topf"}, "K", false, {"\u212Aopf", "kopf"}},
      {blanks, " ", false, {"a b", "  "}},
      {blanks, "\t", true, {"a b", "ab", "  "}},
      {blanks, QString(100000, 'a'), false, {}},
      {{}, "q", true, {}},
  };
  for (const auto& c : cases) {
    // The file name (column 1) is filtered; the path (column 0) says which row it was.
    ResultRows rows;
    for (size_t i = 0; i < c.names.size(); ++i) rows.append({"/r" + std::to_string(i), c.names[i]});
    EXPECT_EQ(ApplyFilter(rows, 1, c.text, c.doesNotContain), c.left.size());
    Strings left;
    for (size_t i = 0; i < rows.size(); ++i) left.emplace_back(rows.text(i, 1));
    EXPECT_EQ(left, c.left) << c.text.left(10).toStdString() << (c.doesNotContain ? " (not)" : "");
  }
}

// Long texts with characters beyond ASCII are read a piece at a time; a match is found wherever it lies,
// also across the places where pieces of natural sizes (2^14, 2^15 units) would meet.
TEST(RowFilter, FindsAPartAnywhereInALongText) {
  for (size_t around : {16384u, 32768u})
    for (size_t at = around - 24; at < around + 24; ++at) {
      const std::string text = "ä" + std::string(at - 1, 'x') + "WoRt" + std::string(100, 'y');
      EXPECT_TRUE(ContainsText(text, "wort")) << at;
      EXPECT_TRUE(ContainsText(text, QString::fromUtf8("äx"))) << at;
      EXPECT_FALSE(ContainsText(text, "worty" + QString(101, 'y'))) << at;
      EXPECT_FALSE(ContainsText(text, "wörtyy")) << at;
    }
  // Letters beyond the Basic Multilingual Plane take two units each, an odd number before the match too.
  for (const std::string& before : {std::string(), std::string("e")}) {
    std::string text = before;
    for (int k = 0; k < 20000; ++k) text += "𐐀";
    text += "x";
    EXPECT_TRUE(ContainsText(text, QString::fromUtf8("𐐨𐐨X")));
    EXPECT_TRUE(ContainsText(text, before.empty() ? QString::fromUtf8("𐐀") : QString::fromUtf8("E𐐨")));
    EXPECT_FALSE(ContainsText(text, QString::fromUtf8("x𐐨")));
  }
  // Bytes that are not UTF-8 read as U+FFFD, one for each byte.
  EXPECT_TRUE(ContainsText("ä\xff\xfe", QString::fromUtf8("ä\uFFFD\uFFFD")));
}

class TextOrderIn : public ::testing::TestWithParam<QLocale> {
 protected:
  void SetUp() override { QLocale::setDefault(GetParam()); }
  void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// The names sorted, each with its position before, so the stable order of equal names shows.
Strings SortedStrings(const Strings& names, bool ascending) {
  ResultRows rows;
  for (size_t k = 0; k < names.size(); ++k) rows.append({std::to_string(k), names[k]});
  rows.sortByColumn(kFileNameColumn, ascending);
  Strings order;
  for (size_t k = 0; k < rows.size(); ++k) order.push_back(std::string(rows.text(k, 1)) + "#" + std::string(rows.text(k, 0)));
  return order;
}

TEST_P(TextOrderIn, MixedCaseAndUmlautsSortAsAPersonReadsAndDigitsAsText) {
  const Strings names{"Zahnrad", "welle", "Äpfel", "WELLE", "apfel", "Apfel", "Welle", "ärger"};
  EXPECT_EQ(SortedStrings(names, true),
            (Strings{"apfel#4", "Apfel#5", "Äpfel#2", "ärger#7", "welle#1", "WELLE#3", "Welle#6", "Zahnrad#0"}));
  // Descending turns the order round, but equal names keep their scan order.
  EXPECT_EQ(SortedStrings(names, false),
            (Strings{"Zahnrad#0", "welle#1", "WELLE#3", "Welle#6", "ärger#7", "Äpfel#2", "apfel#4", "Apfel#5"}));
  // The size column is right-aligned in 15 characters, the date column has a fixed width.
  TextOrder order;
  for (const auto& [a, b] : {std::pair{"10", "9"}, {"Teil 10", "Teil 9"}, {"            999", "          1.000"},
                             {"2007.03.15 14:05:09", "2007.11.01 08:00:00"}, {"", "a"}})
    EXPECT_LT(order.compare(a, b), 0) << a << " / " << b;
}

// The list's order written out: groups of texts that compare equal, the
// groups from first to last. Empty texts first, then blanks and punctuation,
// digits as text, letters; an umlaut right after its plain letter and before
// the next letter, ß right after "ss" as an accented letter after its plain
// one, letter case ignored.
//
// Windows' own collation, which the Windows build follows, differs in two
// points: ß is "ss" there, and a hyphen inside a word only breaks the tie
// with the same word without it ("xy" before "x-y").
std::vector<Strings> WithWindowsCollation(std::vector<Strings> groups) {
  if (!test::kWindows) return groups;
  const auto groupOf = [&groups](const std::string& text) {
    return std::find_if(groups.begin(), groups.end(), [&text](const Strings& group) {
      return std::find(group.begin(), group.end(), text) != group.end();
    });
  };
  for (const auto& [plain, sharp] : {std::pair<std::string, std::string>{"ss", "ß"}, {"STRASSE", "Straße"}}) {
    auto from = groupOf(sharp);
    groupOf(plain)->insert(groupOf(plain)->end(), from->begin(), from->end());
    groups.erase(from);
  }
  std::iter_swap(groupOf("x-y"), groupOf("xy"));
  return groups;
}

const std::vector<Strings> kOrderedGroups = WithWindowsCollation({
    {""},
    {" x"},
    {"0"},
    {"10"},
    {"9"},
    {"apfel", "Apfel", "APFEL"},
    {"Äpfel", "äpfel"},
    {"ärger"},
    {"Ofen"},
    {"Öl"},
    {"Ölpumpe"},
    {"ss", "SS"},
    {"ß"},
    {"STRASSE", "strasse"},
    {"Straße"},
    {"Teil 1"},
    {"Teil 10"},
    {"Teil 9"},
    {"uber"},
    {"Über"},
    {"Ufer"},
    {"welle", "WELLE", "Welle"},
    {"x y"},
    {"x-y"},
    {"xy"},
    {"Zahnrad"},
});

TEST_P(TextOrderIn, ComparesAsTheWrittenOutOrderSays) {
  const TextOrder order;
  for (size_t g = 0; g < kOrderedGroups.size(); ++g)
    for (const std::string& a : kOrderedGroups[g])
      for (size_t h = 0; h < kOrderedGroups.size(); ++h)
        for (const std::string& b : kOrderedGroups[h]) {
          const int expected = g < h ? -1 : g > h ? 1 : 0;
          const int c = order.compare(a, b);
          EXPECT_EQ((c > 0) - (c < 0), expected) << "\"" << a << "\" / \"" << b << "\"";
          const int k = order.key(a).compare(order.key(b));
          EXPECT_EQ((k > 0) - (k < 0), expected) << "keys of \"" << a << "\" / \"" << b << "\"";
        }
}

// A list long enough that the keys are made by several threads sorts into
// the written-out order, in both directions; rows of equal texts keep their
// positions' order either way.
TEST_P(TextOrderIn, LongListsSortIntoTheWrittenOutOrderAndEqualTextsKeepTheirOrder) {
  Strings stems;
  std::vector<size_t> groupOf;
  for (size_t g = 0; g < kOrderedGroups.size(); ++g)
    for (const std::string& text : kOrderedGroups[g]) {
      stems.push_back(text);
      groupOf.push_back(g);
    }
  // Row k holds stem (k * 7919) mod n, so every group's rows are spread over the list.
  constexpr size_t kRows = 70000;
  Strings names;
  for (size_t k = 0; k < kRows; ++k) names.push_back(stems[(k * 7919) % stems.size()]);
  for (bool ascending : {true, false}) {
    SCOPED_TRACE(ascending ? "ascending" : "descending");
    Strings expected;
    for (size_t step = 0; step < kOrderedGroups.size(); ++step) {
      const size_t g = ascending ? step : kOrderedGroups.size() - 1 - step;
      for (size_t k = 0; k < kRows; ++k)
        if (groupOf[(k * 7919) % stems.size()] == g) expected.push_back(names[k] + "#" + std::to_string(k));
    }
    const Strings sorted = SortedStrings(names, ascending);
    ASSERT_EQ(sorted.size(), expected.size());
    const auto [got, want] = std::mismatch(sorted.begin(), sorted.end(), expected.begin());
    EXPECT_TRUE(got == sorted.end()) << "row " << (got - sorted.begin()) << ": \"" << *got << "\", expected \""
                                     << *want << "\"";
  }
}

// The "C" locale of a system without a language setting still puts "Äpfel"
// beside "Apfel" and not after "z".
INSTANTIATE_TEST_SUITE_P(Locales, TextOrderIn,
                         ::testing::Values(QLocale(QLocale::German, QLocale::Germany), QLocale::c()),
                         [](const auto& info) { return info.index == 0 ? std::string("German") : std::string("C"); });

TEST(FileFacts, RelativePathsGiveTheAbsoluteFolderAndFoldersOrMissingFilesNothing) {
  test::TempFolder temp;
  temp.file("Sub Folder/Welle.01.PAR", "12345");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp.path());
  auto file = LookUpFile("./Sub Folder/../Sub Folder/Welle.01.PAR");
  std::filesystem::current_path(before);
  ASSERT_TRUE(file);
  EXPECT_EQ(GetFolderPath(*file), test::Native(temp.str() + "/Sub Folder"));
  EXPECT_EQ(GetFileName(*file), "Welle.01.PAR");
  EXPECT_EQ(file->size, 5U);
  // A file last written before 1970 or after 2038 keeps its time.
  for (int64_t seconds : {int64_t{-14182940}, int64_t{2214129600}}) {
    const auto when = std::chrono::sys_seconds(std::chrono::seconds(seconds));
    std::filesystem::last_write_time(temp / "Sub Folder/Welle.01.PAR", std::chrono::file_clock::from_sys(when));
    file = LookUpFile(temp.str() + "/Sub Folder/Welle.01.PAR");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->modified, seconds);
  }
  for (const std::string& nothing : {temp.str() + "/missing.par", temp.str() + "/Sub Folder", std::string()})
    EXPECT_FALSE(LookUpFile(nothing)) << nothing;
}

// Paths one after the other in one folder, and in folders whose paths begin
// alike, each get their own folder; a status at hand gives what the look-up
// by path gives, and nothing for a folder or a missing file.
TEST(FileFacts, EachPathGetsItsOwnFolderAndAStatusAtHandTheFactsOfTheLookUp) {
  test::TempFolder temp;
  temp.file("a/x.par", "1");
  temp.file("a/y.par", "22");
  temp.file("ab/z.par", "333");
  temp.file("b/w.par", "4444");
  const std::string t = temp.str();
  const std::pair<std::string, std::string> cases[] = {
      {t + "/a/x.par", t + "/a"},          {t + "/a/y.par", t + "/a"},    {t + "/ab/z.par", t + "/ab"},
      {t + "/a/../b/w.par", t + "/b"},     {t + "/a/./x.par", t + "/a"},  {t + "/a/../a/y.par", t + "/a"},
      {t + "/a/x.par", t + "/a"},          {t + "/b/../ab/z.par", t + "/ab"}};
  for (const auto& [path, folder] : cases) {
    SCOPED_TRACE(path);
    const auto file = LookUpFile(path);
    ASSERT_TRUE(file);
    EXPECT_EQ(GetFolderPath(*file), test::Native(folder));
    EXPECT_EQ(file->size, std::filesystem::file_size(platform::FsPath(path)));
    platform::FileStatus status;
    ASSERT_FALSE(platform::StatusOf(path, status));
    const auto fromStatus = FileObjectOf(path, status);
    ASSERT_TRUE(fromStatus);
    EXPECT_EQ(std::tie(fromStatus->name, fromStatus->folderPath, fromStatus->modified, fromStatus->size),
              std::tie(file->name, file->folderPath, file->modified, file->size));
  }
  platform::FileStatus folder;
  ASSERT_FALSE(platform::StatusOf(t + "/a", folder));
  EXPECT_FALSE(FileObjectOf(t + "/a", folder));
  EXPECT_FALSE(FileObjectOf(t + "/a/gone.par", platform::FileStatus{}));
}

// Plain absolute paths split at their last separator, the others as the
// file system library normalizes them: the same folder and name either way.
TEST(FileFacts, FolderAndNameOfPlainAndUnusualAbsolutePaths) {
  if (platform::kPathSeparator != '/') GTEST_SKIP() << "paths of this table are written with '/'";
  platform::FileStatus status;
  status.kind = platform::Kind::file;
  const struct {
    const char* path;
    const char* folder;
    const char* name;
  } cases[] = {
      {"/x.par", "/", "x.par"},           {"/a/b c/x.y.par", "/a/b c", "x.y.par"}, {"/a//b/x.par", "/a/b", "x.par"},
      {"/a/./x.par", "/a", "x.par"},      {"/a/b/../x.par", "/a", "x.par"},         {"/../x.par", "/", "x.par"},
      {"/a/.x/x.par", "/a/.x", "x.par"},  {"/a/..x/x.par", "/a/..x", "x.par"},      {"/a/x..par", "/a", "x..par"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto file = FileObjectOf(c.path, status);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->folderPath, c.folder);
    EXPECT_EQ(file->name, c.name);
  }
}

TEST(FileFacts, TimeAndSizeTextsFollowTheLocale) {
  // Local time is an hour ahead of UTC, all year.
  if (!test::SetTimeZone("CET-1")) GTEST_SKIP() << "the local time zone of this system cannot be set by a test";
  const struct {
    QLocale locale;
    int64_t modified;
    const char* modifiedText;
    std::uintmax_t size;
    const char* sizeText;
  } cases[] = {
      {QLocale(QLocale::German, QLocale::Germany), 1704164645, "2024.01.02 04:04:05", 123'456'789'012ULL, "123.456.789.012"},
      {QLocale(QLocale::German, QLocale::Germany), 0, "1970.01.01 01:00:00", 1'234'567'890'123'456'789ULL,
       "1.234.567.890.123.456.789"},
      {QLocale(QLocale::English, QLocale::UnitedStates), 946728000, "2000.01.01 13:00:00", 999, "            999"},  // 24 hours
      {QLocale(QLocale::Finnish, QLocale::Finland), 946684798, "2000.01.01 00.59.58", 0, "              0"},
      {QLocale::c(), 946684798, "2000.01.01 00:59:58", 1'234'567, "      1,234,567"},  // grouped all the same
      // Before 1970 and after 2038 (beyond 32-bit seconds), and the last second of the year 9999.
      {QLocale(QLocale::German, QLocale::Germany), -14182940, "1969.07.20 21:17:40", 1, "              1"},
      {QLocale(QLocale::German, QLocale::Germany), -2208988800, "1900.01.01 01:00:00", 1, "              1"},
      {QLocale(QLocale::German, QLocale::Germany), 2147483648, "2038.01.19 04:14:08", 1, "              1"},
      {QLocale(QLocale::German, QLocale::Germany), 2214129600, "2040.02.29 13:00:00", 1, "              1"},
      {QLocale(QLocale::German, QLocale::Germany), 253402297199, "9999.12.31 23:59:59", 1, "              1"},
      {QLocale(QLocale::German, QLocale::Germany), 253402297200, "", 1, "              1"},  // the year 10000
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale.name().toStdString());
    QLocale::setDefault(c.locale);
    const FileObject file{"", "", c.modified, c.size};
    EXPECT_EQ(GetModifiedText(file), c.modifiedText);
    EXPECT_EQ(GetSizeText(file), c.sizeText);
    const FactFormats formats;  // as a reading thread makes them, once
    EXPECT_EQ(GetModifiedText(file, formats), c.modifiedText);
    EXPECT_EQ(GetSizeText(file, formats), c.sizeText);
  }
  // Formats keep the locale they were made in (a search keeps its texts
  // alike while the settings change).
  QLocale::setDefault(QLocale(QLocale::Finnish, QLocale::Finland));
  const FactFormats finnish;
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const FileObject file{"", "", 946684798, 1'234'567};
  EXPECT_EQ(GetModifiedText(file, finnish), "2000.01.01 00.59.58");
  EXPECT_EQ(GetModifiedText(file), "2000.01.01 00:59:58");
  EXPECT_EQ(GetSizeText(file), "      1.234.567");
  EXPECT_NE(GetSizeText(file, finnish), GetSizeText(file));
  QLocale::setDefault(QLocale::system());
}

// An export reads sizes and times back from the texts the list shows: every
// regional grouping and time separator gives the size in bytes and the moment,
// whatever the locale was when the list was made; texts of any other form stay
// texts.
TEST(ExportTable, SizeAndTimeTextsOfEveryLocaleReadBack) {
  const QLocale locales[] = {QLocale(QLocale::German, QLocale::Germany), QLocale(QLocale::German, QLocale::Switzerland),
                             QLocale(QLocale::French, QLocale::France), QLocale(QLocale::English, QLocale::India),
                             QLocale(QLocale::Finnish, QLocale::Finland), QLocale(QLocale::Italian, QLocale::Italy),
                             QLocale::c()};
  const std::uintmax_t sizes[] = {0, 7, 999, 1000, 1'234'567, 123'456'789'012ULL, 18'446'744'073'709'551'615ULL};
  const int64_t moments[] = {0, 1704164645, -2208988800, 253402297199};
  for (const QLocale& locale : locales) {
    SCOPED_TRACE(locale.name().toStdString());
    QLocale::setDefault(locale);
    for (std::uintmax_t size : sizes) {
      const std::string text = GetSizeText(FileObject{"", "", 0, size});
      EXPECT_EQ(ParseSizeText(text), std::optional<uint64_t>(size)) << text;
    }
    for (int64_t moment : moments) {
      const std::string text = GetModifiedText(FileObject{"", "", moment, 0});
      const auto time = ParseSavedText(text);
      ASSERT_TRUE(time) << text;
      // The same digits in ISO order.
      const std::string iso = IsoTimeText(*time, 'T');
      EXPECT_EQ(iso.substr(0, 10), text.substr(0, 4) + "-" + text.substr(5, 2) + "-" + text.substr(8, 2)) << text;
      EXPECT_EQ(iso.substr(11, 2) + iso.substr(14, 2) + iso.substr(17, 2),
                text.substr(11, 2) + text.substr(text.size() - 5, 2) + text.substr(text.size() - 2)) << text;
    }
  }
  QLocale::setDefault(QLocale::system());
  for (const char* text : {"", " ", "12 kB", "1..000", "1.000.", ".1", "-5", "18446744073709551616", "0x10",
                           "1\xC2", "ca. 3"})
    EXPECT_FALSE(ParseSizeText(text)) << text;
  for (const char* text : {"", "2024.01.02", "2024.01.02 04:04", "2024-01-02 04:04:05", "2024.13.02 04:04:05",
                           "2024.01.02 24:00:00", "2024.01.02 04:04.05", "2024.01.02 04:04:05 ", "0000.01.01 00:00:00",
                           "2024.01.02 04::04::5"})
    EXPECT_FALSE(ParseSavedText(text)) << text;
  EXPECT_EQ(ParseStatusText(" 3 "), std::optional<int>(3));
  for (const char* text : {"", "-1", "32768", "3a", "Freigegeben"}) EXPECT_FALSE(ParseStatusText(text)) << text;
}

// Sizes up to 15 characters stand right-aligned in 15; longer ones keep every digit.
TEST(FileFacts, SizeTextsKeepEveryDigit) {
  QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
  const std::pair<std::uintmax_t, const char*> cases[] = {
      {0, "              0"},
      {1, "              1"},
      {999, "            999"},
      {1'000, "          1.000"},
      {12'345'678, "     12.345.678"},
      {999'999'999'999ULL, "999.999.999.999"},              // the longest text that fits
      {1'000'000'000'000ULL, "1.000.000.000.000"},          // 1 TB
      {1'099'511'627'776ULL, "1.099.511.627.776"},          // 1 TiB
      {1'000'000'000'000'000ULL, "1.000.000.000.000.000"},  // 1 PB
      {1'125'899'906'842'624ULL, "1.125.899.906.842.624"},  // 1 PiB
      {18'446'744'073'709'551'615ULL, "18.446.744.073.709.551.615"},  // the largest size there is
  };
  for (const auto& [size, text] : cases) EXPECT_EQ(GetSizeText(FileObject{"", "", 0, size}), text) << size;
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
