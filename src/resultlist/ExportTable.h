#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "properties/platform/Clock.h"
#include "resultlist/ResultRows.h"

namespace fendrik {

// The result list as a table for other programs (spreadsheets, scripts):
// the columns "Objekt" (the document's full path) to "Material", titled as
// the list titles them; the five "Blatt" columns, which stay empty, are left
// out. The values come from the texts the list shows, so an export of a list
// read back from a list file gives the same table as the search did.
inline constexpr int kExportColumnCount = kFilledColumnCount;

// What a column holds: "Größe" a whole number of bytes, "Gespeichert" a
// moment in local time, "Status" a status code; the rest is text.
enum class ExportKind { Text, Bytes, Time, Status };
ExportKind ExportKindOf(int column);

// The bytes of a "Größe" text: its digits, with the grouping and the padding
// of any regional setting. Nothing for an empty text or one that is not a
// grouped whole number.
std::optional<uint64_t> ParseSizeText(std::string_view text);

// The moment of a "Gespeichert" text ("2026.12.07 13:24:48", with any time
// separator). Nothing for an empty text or any other form.
std::optional<platform::CivilTime> ParseSavedText(std::string_view text);

// The code of a "Status" text: a whole number from 0 to 32767 (the list shows
// the stored code). Nothing for an empty text or any other.
std::optional<int> ParseStatusText(std::string_view text);

// A text as it goes into a file for other programs, which expect UTF-8: the
// text itself when it is UTF-8; its escaped form (properties/VisibleText.h)
// when it holds bytes that are not, so that nothing is lost and the file
// stays valid.
std::string ExportText(std::string_view text);

// "2026-12-07 13:24:48"; with isoSeparator 'T' as "2026-12-07T13:24:48".
std::string IsoTimeText(const platform::CivilTime& time, char dateTimeSeparator = ' ');

// CSV after RFC 4180 in UTF-8: a byte-order mark (so that a spreadsheet reads
// umlauts right) and the header of column titles, then one record per row;
// every line ends in CR LF, and a field is quoted when it holds a comma, a
// quote, CR or LF (quotes doubled). "Größe" is a whole number of bytes,
// "Gespeichert" "YYYY-MM-DD HH:MM:SS"; texts that do not parse stand as the
// list shows them.
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
void AppendCsvHeader(std::string& out);
void AppendCsvRecord(std::string& out, const ResultRows& rows, size_t row);

// JSON: one array of objects keyed by the column titles. "Größe" is a number,
// "Status" a number or null when empty, "Gespeichert" "YYYY-MM-DDTHH:MM:SS"
// or "" when empty, the rest strings; a size or status text that does not
// parse stands as a string. AppendJsonRow writes ",\n" before every row but
// the first (row 0 of the output, counted by the caller).
void AppendJsonStart(std::string& out);
void AppendJsonRow(std::string& out, const ResultRows& rows, size_t row, bool first);
void AppendJsonEnd(std::string& out);
// A JSON string literal of a text (after ExportText), quotes included.
void AppendJsonString(std::string& out, std::string_view text);

}  // namespace fendrik
