// The export of the list into a workbook or CSV, as other programs read it
// back (openpyxl, Python's csv module), and that a failed or stopped export
// never leaves a half file behind.
#include "search/ExportFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "TestCommon.h"
#include "platform/OrdinaryUser.h"
#include "platform/TestSystem.h"
#include "resultlist/ExportTable.h"
#include "StepRecorder.h"
#include "search/WorkbookCheck.h"

namespace fendrik {
namespace {

using test::TempFolder;
namespace fs = std::filesystem;
using Outcome = ExportResult::Outcome;
using Strings = std::vector<std::string>;
using namespace std::string_literals;

// The characters of a UTF-8 text.
size_t Characters(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

Strings Headers() {
  Strings headers;
  for (int column = 0; column < kExportColumnCount; ++column) headers.emplace_back(kColumns[column].header);
  return headers;
}

// Rows given as column -> text.
ResultRows Rows(const std::vector<std::map<int, std::string>>& rows) {
  ResultRows out;
  for (const auto& texts : rows) {
    Strings row(kColumnCount);
    for (const auto& [column, text] : texts) row[static_cast<size_t>(column)] = text;
    out.append(row);
  }
  return out;
}

// One cell as read back: its text and its type; a row of the table below
// gives the cells that are not empty.
struct Cell {
  std::string text;
  std::string type = "str";
};
using Expected = std::vector<std::map<int, Cell>>;

// What a reader must see: the header, then each row with "" for the cells not named.
void ExpectTable(const test::ExportView& view, const Expected& expected, bool typed) {
  ASSERT_EQ(view.error, "");
  ASSERT_EQ(view.rows.size(), expected.size() + 1);
  EXPECT_EQ(view.rows[0], Headers());
  for (size_t row = 0; row < expected.size(); ++row) {
    SCOPED_TRACE("row " + std::to_string(row + 1));
    ASSERT_EQ(view.rows[row + 1].size(), static_cast<size_t>(kExportColumnCount));
    for (int column = 0; column < kExportColumnCount; ++column) {
      const auto named = expected[row].find(column);
      const Cell cell = named != expected[row].end() ? named->second : Cell{"", typed ? "NoneType" : "str"};
      EXPECT_EQ(view.rows[row + 1][static_cast<size_t>(column)], cell.text) << "column " << column;
      if (typed) {
        EXPECT_EQ(view.types[row + 1][static_cast<size_t>(column)], cell.type) << "column " << column;
      }
    }
  }
}

// Rows of every kind the list shows: umlauts and CJK, a path that is no
// UTF-8, a NUL, a control character, leading blanks, a formula-like text,
// sizes with and without grouping, times before Excel's first year, texts
// that do not parse and empty cells (the fourth row has nothing but a blank
// size).
const std::string kLong = std::string(40000, 'x');
const std::vector<std::map<int, std::string>> kRows = {
    {{0, "/daten/Prüfung/Welle.par"}, {1, "Welle.par"}, {2, "par"}, {3, "/daten/Prüfung"},
     {4, "2026.12.07 13:24:48"}, {5, "      1.234.567"}, {6, "DN-4711"}, {7, "A"}, {8, "3"},
     {9, "Größe ÄÖÜ äöü ß"}, {10, "轴承座 ベアリング"}, {17, "120 x 40 x 8"}, {18, "S235JR"}},
    {{0, "/daten/\xe4.par"}, {1, "\xe4.par"}, {4, "1850.01.01 00:00:00"}, {5, "viel"}, {9, "Titel mit \0NUL"s},
     {11, "a\x01" "b"}, {12, "  zwei Blanks vorn"}, {13, "=SUMME(A1:A2)"}},
    {{4, "gestern"}, {5, "         12"}, {8, "x7"}, {9, kLong}},
    {{5, "   "}},
    {{1, "a,b \"c\""}, {4, "2000.02.29 23:59:59"}, {5, "0"}, {8, "32767"}, {11, "Zeile 1\r\nZeile 2"}},
};
// The rows of the sheet: the header and every row but the fourth, which
// has no cell.
constexpr size_t kSheetRows = 5;

TEST(ExportFile, TheFormatComesFromTheExtensionAndOtherNamesAreRefused) {
  const struct { const char* name; std::optional<ExportFormat> format; } cases[] = {
      {"liste.xlsx", ExportFormat::Xlsx}, {"/a/LISTE.XLSX", ExportFormat::Xlsx}, {"b.Csv", ExportFormat::Csv},
      {"c.txt", std::nullopt},            {"ohne", std::nullopt},              {"/ordner.csv/liste", std::nullopt},
      {"liste.xlsx.bak", std::nullopt},   {"liste.xls", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ExportFormatOf(c.name), c.format) << c.name;
  TempFolder temp;
  const ExportResult refused = ExportRows(Rows(kRows), (temp / "liste.txt").string());
  EXPECT_EQ(refused.outcome, Outcome::Failed);
  EXPECT_EQ(refused.reason,
            "unbekanntes Format: der Dateiname muss auf .xlsx (Excel-Arbeitsmappe) oder .csv (CSV) enden");
  EXPECT_TRUE(fs::is_empty(temp.path()));

  // A list longer than a worksheet: refused before anything is written.
  ResultRows tooMany;
  for (size_t k = 0; k <= kMaxWorkbookRows; ++k) tooMany.append({"/a.par"});
  const ExportResult long_ = ExportRows(tooMany, (temp / "lang.xlsx").string());
  EXPECT_EQ(long_.outcome, Outcome::Failed);
  EXPECT_EQ(long_.reason,
            "eine Excel-Arbeitsmappe fasst höchstens 1048575 Zeilen unter der Überschrift, die Liste hat 1048576; "
            "als CSV lässt sie sich ganz exportieren");
  EXPECT_TRUE(fs::is_empty(temp.path()));
}

// The workbook: one sheet, a bold header frozen above the rows, a filter over
// all of them; sizes and statuses as whole numbers, times as dates, the other
// texts as strings (the escaped form for bytes that are no UTF-8 and for a
// NUL, a text beyond Excel's cell limit cut); empty cells blank; columns as
// wide as their texts, but no wider than 80 characters.
TEST(ExportFile, TheWorkbookHoldsTypedCellsUnderABoldFrozenFilteredHeader) {
  TempFolder temp;
  const std::string path = (temp / "Liste ä.xlsx").string();
  std::vector<size_t> told;
  const ExportResult result = ExportRows(Rows(kRows), path, [&](size_t rows) {
    told.push_back(rows);
    return true;
  });
  ASSERT_TRUE(result.done()) << result.reason;
  EXPECT_EQ(told, (std::vector<size_t>{0, kRows.size()}));
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 1);  // nothing left beside it

  const Expected expected = {
      {{0, {"/daten/Prüfung/Welle.par"}}, {1, {"Welle.par"}}, {2, {"par"}}, {3, {"/daten/Prüfung"}},
       {4, {"2026-12-07 13:24:48", "datetime"}}, {5, {"1234567", "int"}}, {6, {"DN-4711"}}, {7, {"A"}},
       {8, {"3", "int"}}, {9, {"Größe ÄÖÜ äöü ß"}}, {10, {"轴承座 ベアリング"}}, {17, {"120 x 40 x 8"}}, {18, {"S235JR"}}},
      {{0, {"/daten/\\xE4.par"}}, {1, {"\\xE4.par"}}, {4, {"1850.01.01 00:00:00"}}, {5, {"viel"}},
       {9, {"Titel mit \\x00NUL"}}, {11, {"a\\x01b"}}, {12, {"  zwei Blanks vorn"}}, {13, {"=SUMME(A1:A2)"}}},
      {{4, {"gestern"}}, {5, {"12", "int"}}, {8, {"x7"}}, {9, {std::string(kMaxCellCharacters - 1, 'x') + "…"}}},
      {},
      {{1, {"a,b \"c\""}}, {4, {"2000-02-29 23:59:59", "datetime"}}, {5, {"0", "int"}}, {8, {"32767", "int"}},
       {11, {"Zeile 1\\r\\nZeile 2"}}},
  };
  const test::ExportView view = test::readExport(path);
  ExpectTable(view, expected, true);
  EXPECT_EQ(view.sheets, Strings{"Liste"});
  EXPECT_EQ(view.bold, std::vector<bool>(kExportColumnCount, true));
  EXPECT_EQ(view.frozen, "A2");
  EXPECT_EQ(view.filter, "A1:S6");
  ASSERT_EQ(view.widths.size(), static_cast<size_t>(kExportColumnCount));
  const Strings headers = Headers();
  for (int column = 0; column < kExportColumnCount; ++column)
    EXPECT_GE(view.widths[column], static_cast<double>(Characters(headers[column]))) << column;
  EXPECT_LT(view.widths[2], 10);                  // "Typ": three letters
  EXPECT_NEAR(view.widths[9], kMaxColumnWidth, 1);  // the long title: at the cap
  EXPECT_GE(view.widths[10], 17);                 // CJK: two places per character
  EXPECT_GE(view.widths[4], 19);                  // "2026-12-07 13:24:48"
}

// CSV: the texts as the list shows them, sizes as bytes and times in ISO
// form; commas, quotes and line breaks quoted so that a reader gets each
// field whole; a byte-order mark first.
TEST(ExportFile, CsvHoldsEveryFieldWhole) {
  TempFolder temp;
  const std::string path = (temp / "liste.CSV").string();
  ASSERT_TRUE(ExportRows(Rows(kRows), path).done());
  const Expected expected = {
      {{0, {"/daten/Prüfung/Welle.par"}}, {1, {"Welle.par"}}, {2, {"par"}}, {3, {"/daten/Prüfung"}},
       {4, {"2026-12-07 13:24:48"}}, {5, {"1234567"}}, {6, {"DN-4711"}}, {7, {"A"}}, {8, {"3"}},
       {9, {"Größe ÄÖÜ äöü ß"}}, {10, {"轴承座 ベアリング"}}, {17, {"120 x 40 x 8"}}, {18, {"S235JR"}}},
      {{0, {"/daten/\\xE4.par"}}, {1, {"\\xE4.par"}}, {4, {"1850-01-01 00:00:00"}}, {5, {"viel"}},
       {9, {"Titel mit \0NUL"s}}, {11, {"a\x01" "b"}}, {12, {"  zwei Blanks vorn"}}, {13, {"=SUMME(A1:A2)"}}},
      {{4, {"gestern"}}, {5, {"12"}}, {8, {"x7"}}, {9, {kLong}}},
      {{5, {"   "}}},
      {{1, {"a,b \"c\""}}, {4, {"2000-02-29 23:59:59"}}, {5, {"0"}}, {8, {"32767"}}, {11, {"Zeile 1\r\nZeile 2"}}},
  };
  const test::ExportView view = test::readExport(path);
  ExpectTable(view, expected, false);
  EXPECT_TRUE(view.bom);
  const std::string bytes = test::readFile(path);
  EXPECT_TRUE(bytes.ends_with("\r\n"));
  EXPECT_NE(bytes.find(",\"a,b \"\"c\"\"\","), std::string::npos);
}

// The window's toolkit gives the process the user's regional settings; under
// German ones printf writes "46000,5", which no spreadsheet reads as the date
// and time it is. The export writes its numbers with a decimal point all the
// same and leaves the settings of the process and of its own thread as they
// were.
TEST(ExportFile, DatesStayDatesUnderGermanRegionalSettings) {
  TempFolder temp;
  const std::string path = (temp / "liste.xlsx").string();
  {
    test::GermanNumbers german(temp.path());
    if (!german.ok()) GTEST_SKIP() << "no German locale to be had on this system";
    ASSERT_TRUE(ExportRows(Rows(kRows), path).done());
    char number[8];
    std::snprintf(number, sizeof number, "%.1f", 0.5);
    EXPECT_STREQ(number, "0,5");
  }
  const test::ExportView view = test::readExport(path);
  ASSERT_EQ(view.error, "");
  ASSERT_EQ(view.rows.size(), kRows.size() + 1);
  EXPECT_EQ(view.rows[1][4], "2026-12-07 13:24:48");
  EXPECT_EQ(view.types[1][4], "datetime");
  EXPECT_EQ(view.rows[5][4], "2000-02-29 23:59:59");
  EXPECT_EQ(view.types[5][4], "datetime");
  EXPECT_EQ(view.rows[1][5], "1234567");
}

// Every way an export can fail or be stopped keeps the old file byte for
// byte and leaves nothing beside it: the rename, the flush and the close
// made to fail, a full disk, a folder the user may not write, a stop.
TEST(ExportFile, AFailedOrStoppedExportKeepsTheOldFileAndLeavesNothingBeside) {
  TempFolder temp;
  ResultRows rows;
  for (int k = 0; k < 5000; ++k)
    rows.append({"/daten/teil_" + std::to_string(k) + ".par", "teil_" + std::to_string(k) + ".par", "par",
                 "/daten", "2026.01.02 03:04:05", "     " + std::to_string(1000 + k), "DN-" + std::to_string(k)});
  const std::string old = "alte Liste\r\n";
  using enum ListFileStep;
  using platform::Fault;
  for (const char* name : {"liste.xlsx", "liste.csv"}) {
    SCOPED_TRACE(name);
    const std::string folder = std::string("docs ") + name, path = temp.file(folder + "/" + name, old);
    auto expectUnchanged = [&] {
      EXPECT_EQ(test::readFile(path), old);
      EXPECT_EQ(std::distance(fs::directory_iterator(temp / folder), {}), 1);
    };
    {  // the steps of a good export: the flush before the rename
      test::StepRecorder recorder;
      ScopedListFileHooks hooks(recorder);
      ASSERT_TRUE(ExportRows(rows, path).done());
      const bool csv = std::string(name).ends_with(".csv");
      EXPECT_EQ(recorder.steps.front(), csv ? Write : Sync);
      EXPECT_EQ(std::vector(recorder.steps.end() - 3, recorder.steps.end()), (std::vector{Sync, Close, Rename}));
      temp.file(folder + "/" + name, old);
    }
    for (auto [step, fault, reason] :
         {std::tuple{Rename, Fault::inUse, "Die Datei wird von einem anderen Programm verwendet"},
          {Sync, Fault::ioError, "Ein-/Ausgabefehler des Datenträgers"},
          {Close, Fault::diskFull, "Der Datenträger ist voll"}}) {
      SCOPED_TRACE(static_cast<int>(step));
      test::StepRecorder failing;
      failing.failAt = step;
      failing.error = platform::Simulated(fault);
      ScopedListFileHooks hooks(failing);
      const ExportResult result = ExportRows(rows, path);
      EXPECT_EQ(result.outcome, Outcome::Failed);
      EXPECT_EQ(result.reason, reason);
      // The hook changes the rename's result after it ran; the new file
      // stands then, so only the other steps leave the old one.
      if (step == Rename) temp.file(folder + "/" + name, old);
      expectUnchanged();
    }
    {  // a stop half-way
      const ExportResult stopped = ExportRows(rows, path, [](size_t done) { return done < 2000; });
      EXPECT_EQ(stopped.outcome, Outcome::Stopped);
      expectUnchanged();
    }
    if (!test::SkipHere(!test::kFolderModes, "a folder an ordinary user may not write needs POSIX modes")) {
      fs::permissions(temp / folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                         fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
      ExportResult denied;
      test::AsOrdinaryUser(temp, [&] { denied = ExportRows(rows, path); });
      fs::permissions(temp / folder, fs::perms::owner_all);
      EXPECT_EQ(denied.outcome, Outcome::Failed);
      EXPECT_EQ(denied.reason, "Zugriff verweigert");
      expectUnchanged();
    }
    // The size limit of the process makes every write beyond 64 KiB fail as
    // a full disk would: the library's own temporary files too.
    ExportResult full;
    {
      test::FileSizeLimit limit(64 * 1024);
      if (test::SkipHere(!limit.ok(), "a file-size limit of the process is a POSIX means")) continue;
      full = ExportRows(rows, path);
    }
    EXPECT_EQ(full.outcome, Outcome::Failed) << full.reason;
    // The library's writes fail unseen; the check of the written workbook tells.
    EXPECT_EQ(full.reason, std::string(name).ends_with(".csv")
                               ? "Der Datenträger ist voll"
                               : "die Excel-Bibliothek hat die Arbeitsmappe nicht vollständig geschrieben "
                                 "(xl/worksheets/sheet1.xml ist unvollständig); ist der Datenträger oder der Ordner "
                                 "für temporäre Dateien voll?");
    expectUnchanged();
  }
}

// The check of a written workbook finds a part cut short or changed, a
// sheet with other rows than written, and a file that is no workbook, and
// reads nothing outside the file (each case also runs under the sanitizers).
TEST(ExportFile, TheWorkbookCheckFindsCutAndDamagedWorkbooks) {
  TempFolder temp;
  const std::string good = (temp / "gut.xlsx").string();
  ASSERT_TRUE(ExportRows(Rows(kRows), good).done());
  constexpr std::string_view kSheet = "xl/worksheets/sheet1.xml";
  EXPECT_EQ(WorkbookFault(good, kSheet, kSheetRows), std::nullopt);
  const std::string bytes = test::readFile(good);
  const size_t sheetData = bytes.find(kSheet) + kSheet.size();  // the first: the part's own header
  std::string flipped = bytes, zeroed = bytes;
  flipped[sheetData + 200] = static_cast<char>(flipped[sheetData + 200] ^ 0x55);
  std::fill(zeroed.begin() + static_cast<long>(sheetData) + 40, zeroed.begin() + static_cast<long>(sheetData) + 400, '\0');
  const struct { const char* what; std::string content; size_t rows; const char* fault; } cases[] = {
      {"other rows", bytes, kSheetRows - 1, "xl/worksheets/sheet1.xml ist unvollständig"},
      {"cut in half", bytes.substr(0, bytes.size() / 2), kSheetRows, "kein Inhaltsverzeichnis"},
      {"a byte of the sheet changed", flipped, kSheetRows, nullptr},
      {"bytes of the sheet zeroed", zeroed, kSheetRows, nullptr},
      {"empty", "", 1, "zu kurz"},
      {"no zip", std::string(5000, 'P'), 1, "kein Inhaltsverzeichnis"},
      {"the end record alone", bytes.substr(bytes.rfind("PK\x05\x06")), 1, "Inhaltsverzeichnis"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto fault = WorkbookFault(temp.file("bad.xlsx", c.content), kSheet, c.rows);
    ASSERT_NE(fault, std::nullopt);
    if (c.fault != nullptr) {
      EXPECT_NE(fault->find(c.fault), std::string::npos) << *fault;
    }
  }
}

}  // namespace
}  // namespace fendrik
