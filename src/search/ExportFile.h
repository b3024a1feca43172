#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "resultlist/ResultRows.h"

namespace fendrik {

// The result list as a file for other programs: an Excel workbook or CSV,
// with the columns of resultlist/ExportTable.h, one row per list row in the
// list's order. The file is written as search/FileReplacement.h writes: it
// appears whole or not at all, and an old file of that name stays as it was
// until the new one replaces it.

enum class ExportFormat { Xlsx, Csv };

// The format a file name asks for by its extension: ".xlsx" or ".csv", in
// any letter case; nothing for any other name.
std::optional<ExportFormat> ExportFormatOf(std::string_view path);

// A workbook's worksheet holds at most 1,048,576 rows, one of them the
// header; a cell at most 32,767 characters (a longer text is cut and ends
// in "…"). Columns are made as wide as their longest text, at most
// kMaxColumnWidth characters.
inline constexpr size_t kMaxWorkbookRows = 1048575;
inline constexpr size_t kMaxCellCharacters = 32767;
inline constexpr size_t kMaxColumnWidth = 80;

// How an export ended. `reason` says why it failed, in German words as the
// list file's results give them ("Zugriff verweigert", ...); the caller
// names the file.
struct ExportResult {
  enum class Outcome { Done, Stopped, Failed };
  Outcome outcome = Outcome::Done;
  std::string reason;
  bool done() const { return outcome == Outcome::Done; }
};

// Told the number of rows written so far, every thousand rows and once at
// the end; the export stops when it gives false, and no file is written.
using ExportProgress = std::function<bool(size_t rows)>;

// Writes the rows into the file at path in the format given.
//  - Csv: resultlist/ExportTable.h's header and records.
//  - Xlsx: one worksheet "Liste" with a bold header row that stays in view
//    (frozen), a filter over all columns and rows, "Größe" and "Status" as
//    numbers and "Gespeichert" as dates with times where their texts
//    parse (the text as shown otherwise; empty cells stay blank), the
//    other texts as ExportText gives them (the escaped form when a text
//    holds a NUL), and columns as wide as their texts.
ExportResult ExportRows(const ResultRows& rows, const std::string& path, ExportFormat format,
                        const ExportProgress& progress = {});

// The same with the format the name's extension asks for; any other name is
// refused.
ExportResult ExportRows(const ResultRows& rows, const std::string& path, const ExportProgress& progress = {});

}  // namespace fendrik
