#include "search/ExportFile.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <utility>

#include "properties/VisibleText.h"
#include "properties/platform/Files.h"
#include "properties/platform/Locale.h"
#include "properties/propset/TextCodec.h"
#include "resultlist/ExportTable.h"
#include "search/FileReplacement.h"
#include "search/WorkbookCheck.h"

namespace fendrik {

namespace {

using platform::SystemError;

// CSV goes out in pieces of about this size.
constexpr size_t kPiece = 1 << 20;
// The progress is told every this many rows.
constexpr size_t kProgressRows = 1000;
// The widest cell of the time and size columns: "2026-12-07 13:24:48".
constexpr size_t kTimeWidth = 19;
// Room beside a header for the filter's drop-down button.
constexpr size_t kFilterButtonWidth = 3;
// Excel counts the years of its dates from 1900; earlier ones stay texts.
constexpr int kFirstDateYear = 1900;

ExportResult Failed(std::string reason) { return {ExportResult::Outcome::Failed, std::move(reason)}; }
ExportResult Failed(const SystemError& error) { return Failed(platform::ErrorText(error)); }
ExportResult Stopped() { return {ExportResult::Outcome::Stopped, {}}; }
ExportResult LibraryFailed(lxw_error error) {
  return Failed(std::string("die Excel-Bibliothek meldet: ") + lxw_strerror(error));
}

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// Whether the progress, told at every kProgressRows-th row, lets the
// export go on.
bool GoOn(const ExportProgress& progress, size_t row) {
  return !progress || row % kProgressRows != 0 || progress(row);
}

bool IsWide(char32_t c) {
  // The East Asian wide and full-width blocks: Hangul Jamo, CJK with its
  // symbols, kana and Yi, Hangul syllables, compatibility ideographs,
  // vertical and full-width forms, and the ideographs beyond the first plane.
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}

// The width of a UTF-8 text in characters of a column, wide characters
// counting two; counting stops at `cap`.
size_t DisplayWidth(std::string_view utf8, size_t cap) {
  size_t width = 0;
  for (size_t at = 0; at < utf8.size() && width < cap;) {
    if (static_cast<unsigned char>(utf8[at]) < 0x80) {
      ++at;
      ++width;
      continue;
    }
    const std::optional<char32_t> c = propset::nextCodePoint(utf8, at);
    if (!c) ++at;
    width += c && IsWide(*c) ? 2 : 1;
  }
  return width;
}

size_t DigitCount(uint64_t value) {
  size_t digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// Whether a text holds a control character that a cell cannot carry as it
// is: a NUL, which would end the library's C string, or any other below
// 0x20 but TAB and LF, which the file would hold as "_x000D_" and the like,
// read back as those letters by some programs.
bool HasControlCharacters(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n'; });
}

// A text as a cell holds it: ExportText's form, or the escaped form when the
// text holds control characters; at most kMaxCellCharacters characters, the
// last of them "…" when cut.
std::string CellText(std::string_view text) {
  std::string cell = HasControlCharacters(text) ? Escaped(text) : ExportText(text);
  size_t characters = 0;
  for (size_t at = 0; at < cell.size(); ++at) {
    if ((static_cast<unsigned char>(cell[at]) & 0xC0) == 0x80) continue;
    if (++characters == kMaxCellCharacters) {
      // Where the last character that fits starts: is anything beyond it?
      size_t next = at + 1;
      while (next < cell.size() && (static_cast<unsigned char>(cell[next]) & 0xC0) == 0x80) ++next;
      if (next < cell.size()) {
        cell.resize(at);
        cell += "\u2026";
      }
      break;
    }
  }
  return cell;
}

ExportResult WriteCsv(const ResultRows& rows, FileReplacement& file, const ExportProgress& progress) {
  std::string piece;
  piece.reserve(kPiece + 4096);
  AppendCsvHeader(piece);
  for (size_t row = 0; row < rows.size(); ++row) {
    if (!GoOn(progress, row)) return Stopped();
    AppendCsvRecord(piece, rows, row);
    if (piece.size() >= kPiece) {
      if (SystemError error = file.append(piece)) return Failed(error);
      piece.clear();
    }
  }
  if (SystemError error = file.append(piece)) return Failed(error);
  return {};
}

// A workbook of the library, closed (written) at the end of its scope if
// nobody closed it before: the library frees a workbook only when it
// writes it.
class Workbook {
 public:
  Workbook(const std::string& path, lxw_workbook_options& options)
      : book_(workbook_new_opt(path.c_str(), &options)) {}
  ~Workbook() {
    if (book_ != nullptr) workbook_close(book_);
  }
  Workbook(const Workbook&) = delete;
  Workbook& operator=(const Workbook&) = delete;
  lxw_workbook* get() const { return book_; }
  lxw_error close() { return workbook_close(std::exchange(book_, nullptr)); }

 private:
  lxw_workbook* book_;
};

// The cells of one workbook row and the widths they need.
class SheetWriter {
 public:
  SheetWriter(lxw_worksheet* sheet, lxw_format* sizeFormat, lxw_format* timeFormat)
      : sheet_(sheet), sizeFormat_(sizeFormat), timeFormat_(timeFormat) {
    for (int column = 0; column < kExportColumnCount; ++column)
      widths_[static_cast<size_t>(column)] =
          DisplayWidth(kColumns[static_cast<size_t>(column)].header, kMaxColumnWidth) + kFilterButtonWidth;
  }

  lxw_error writeRow(const ResultRows& rows, size_t row) {
    const auto sheetRow = static_cast<lxw_row_t>(row + 1);
    bool cells = false;
    for (int column = 0; column < kExportColumnCount; ++column) {
      const std::string_view text = rows.text(row, column);
      // Empty texts, and blanks where a number belongs, leave the cell blank.
      if (text.empty() || (ExportKindOf(column) != ExportKind::Text && IsBlank(text))) continue;
      cells = true;
      if (lxw_error error = writeCell(sheetRow, column, text)) return error;
    }
    if (cells) ++rowsWithCells_;
    return LXW_NO_ERROR;
  }

  // The rows that got a cell: the rows of the sheet (a row of empty texts
  // leaves no trace in it).
  size_t rowsWithCells() const { return rowsWithCells_; }

  lxw_error setWidths() {
    for (int column = 0; column < kExportColumnCount; ++column) {
      const size_t width = std::min(widths_[static_cast<size_t>(column)] + 1, kMaxColumnWidth);
      const auto at = static_cast<lxw_col_t>(column);
      if (lxw_error error = worksheet_set_column(sheet_, at, at, static_cast<double>(width), nullptr)) return error;
    }
    return LXW_NO_ERROR;
  }

 private:
  lxw_error writeCell(lxw_row_t row, int column, std::string_view text) {
    const auto at = static_cast<lxw_col_t>(column);
    size_t& width = widths_[static_cast<size_t>(column)];
    switch (ExportKindOf(column)) {
      case ExportKind::Bytes:
        if (const auto bytes = ParseSizeText(text)) {
          // Shown with a separator between groups of three digits.
          const size_t digits = DigitCount(*bytes);
          width = std::max(width, digits + (digits - 1) / 3);
          return worksheet_write_number(sheet_, row, at, static_cast<double>(*bytes), sizeFormat_);
        }
        break;
      case ExportKind::Time:
        if (const auto time = ParseSavedText(text); time && time->year >= kFirstDateYear) {
          lxw_datetime moment{time->year, time->month, time->day, time->hour, time->minute,
                              static_cast<double>(time->second)};
          width = std::max(width, kTimeWidth);
          return worksheet_write_datetime(sheet_, row, at, &moment, timeFormat_);
        }
        break;
      case ExportKind::Status:
        if (const auto code = ParseStatusText(text)) {
          width = std::max(width, DigitCount(static_cast<uint64_t>(*code)));
          return worksheet_write_number(sheet_, row, at, *code, nullptr);
        }
        break;
      case ExportKind::Text:
        break;
    }
    const std::string cell = CellText(text);
    width = std::max(width, DisplayWidth(cell, kMaxColumnWidth));
    return worksheet_write_string(sheet_, row, at, cell.c_str(), nullptr);
  }

  lxw_worksheet* sheet_;
  lxw_format* sizeFormat_;
  lxw_format* timeFormat_;
  std::array<size_t, kExportColumnCount> widths_{};
  size_t rowsWithCells_ = 0;
};

ExportResult WriteXlsx(const ResultRows& rows, FileReplacement& file, const ExportProgress& progress) {
  if (rows.size() > kMaxWorkbookRows)
    return Failed("eine Excel-Arbeitsmappe fasst höchstens " + std::to_string(kMaxWorkbookRows) +
                  " Zeilen unter der Überschrift, die Liste hat " + std::to_string(rows.size()) +
                  "; als CSV lässt sie sich ganz exportieren");
  // The library writes the temporary file by its name.
  if (SystemError error = file.closeForOtherWriter()) return Failed(error);

  // The library writes numbers (the dates among them) with printf, which
  // follows the regional settings the window took for the process: under
  // German ones a date would read "46000,5", and Excel would call the file
  // broken.
  const platform::ClassicNumbersInThisThread classicNumbers;
  char probe[8];
  std::snprintf(probe, sizeof probe, "%.1f", 0.5);
  // A library built with its own number conversion (the Windows build's)
  // does not use printf for them.
  if (!FENDRIK_XLSXWRITER_LOCALE_FREE_NUMBERS && std::strcmp(probe, "0.5") != 0)
    return Failed("die Zahlen der Arbeitsmappe lassen sich nicht unabhängig von den Ländereinstellungen schreiben");

  // Rows go out one after the other (constant memory: the library keeps
  // only the current row), through a temporary file of its own in the
  // system's temporary folder.
  std::error_code noTemporaryFolder;
  std::string temporaryFolder = platform::Utf8Path(std::filesystem::temp_directory_path(noTemporaryFolder));
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = noTemporaryFolder || temporaryFolder.empty() ? nullptr : temporaryFolder.data();
  Workbook book(file.temporary(), options);
  if (book.get() == nullptr) return LibraryFailed(LXW_ERROR_MEMORY_MALLOC_FAILED);
  lxw_worksheet* sheet = workbook_add_worksheet(book.get(), "Liste");
  // Without a worksheet the library could not make its temporary file.
  if (sheet == nullptr) return LibraryFailed(LXW_ERROR_CREATING_TMPFILE);
  lxw_format* bold = workbook_add_format(book.get());
  lxw_format* sizeFormat = workbook_add_format(book.get());
  lxw_format* timeFormat = workbook_add_format(book.get());
  if (bold == nullptr || sizeFormat == nullptr || timeFormat == nullptr)
    return LibraryFailed(LXW_ERROR_MEMORY_MALLOC_FAILED);
  format_set_bold(bold);
  format_set_num_format(sizeFormat, "#,##0");
  format_set_num_format(timeFormat, "yyyy-mm-dd hh:mm:ss");

  for (int column = 0; column < kExportColumnCount; ++column) {
    const std::string header(kColumns[static_cast<size_t>(column)].header);
    if (lxw_error error = worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(column), header.c_str(), bold))
      return LibraryFailed(error);
  }
  SheetWriter writer(sheet, sizeFormat, timeFormat);
  for (size_t row = 0; row < rows.size(); ++row) {
    if (!GoOn(progress, row)) return Stopped();
    if (lxw_error error = writer.writeRow(rows, row)) return LibraryFailed(error);
  }
  const auto lastRow = static_cast<lxw_row_t>(rows.size());
  if (lxw_error error = writer.setWidths()) return LibraryFailed(error);
  if (lxw_error error = worksheet_autofilter(sheet, 0, 0, lastRow, kExportColumnCount - 1))
    return LibraryFailed(error);
  worksheet_freeze_panes(sheet, 1, 0);
  if (lxw_error error = book.close()) return LibraryFailed(error);
  // The header row and the rows with cells.
  if (const auto fault = WorkbookFault(file.temporary(), "xl/worksheets/sheet1.xml", writer.rowsWithCells() + 1))
    return Failed("die Excel-Bibliothek hat die Arbeitsmappe nicht vollständig geschrieben (" + *fault +
                  "); ist der Datenträger oder der Ordner für temporäre Dateien voll?");
  return {};
}

}  // namespace

std::optional<ExportFormat> ExportFormatOf(std::string_view path) {
  const size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  std::string extension(path.substr(dot + 1));
  for (char& c : extension)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (extension == "xlsx") return ExportFormat::Xlsx;
  if (extension == "csv") return ExportFormat::Csv;
  return std::nullopt;
}

ExportResult ExportRows(const ResultRows& rows, const std::string& path, ExportFormat format,
                        const ExportProgress& progress) {
  FileReplacement file;
  if (SystemError error = file.begin(path)) return Failed(error);
  ExportResult result =
      format == ExportFormat::Xlsx ? WriteXlsx(rows, file, progress) : WriteCsv(rows, file, progress);
  if (result.done() && progress && !progress(rows.size())) result = Stopped();
  if (!result.done()) return result;  // the temporary file goes with `file`
  if (SystemError error = file.commit()) return Failed(error);
  return {};
}

ExportResult ExportRows(const ResultRows& rows, const std::string& path, const ExportProgress& progress) {
  const std::optional<ExportFormat> format = ExportFormatOf(path);
  if (!format)
    return Failed("unbekanntes Format: der Dateiname muss auf .xlsx (Excel-Arbeitsmappe) oder .csv (CSV) enden");
  return ExportRows(rows, path, *format, progress);
}

}  // namespace fendrik
