#include "resultlist/ExportTable.h"

#include <cstdio>

#include "properties/VisibleText.h"
#include "properties/propset/TextCodec.h"

namespace fendrik {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Reads `count` digits at text[at] into value; false when any is no digit.
bool ReadDigits(std::string_view text, size_t at, size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (!IsDigit(text[i])) return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

bool NeedsCsvQuotes(std::string_view text) { return text.find_first_of(",\"\r\n") != std::string_view::npos; }

void AppendCsvField(std::string& out, std::string_view text) {
  if (!NeedsCsvQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// The text of a cell for CSV: sizes and times in their plain forms, the rest
// as the list shows it.
std::string CsvValue(const ResultRows& rows, size_t row, int column) {
  const std::string_view text = rows.text(row, column);
  switch (ExportKindOf(column)) {
    case ExportKind::Bytes:
      if (const auto bytes = ParseSizeText(text)) return std::to_string(*bytes);
      break;
    case ExportKind::Time:
      if (const auto time = ParseSavedText(text)) return IsoTimeText(*time, ' ');
      break;
    case ExportKind::Status:
    case ExportKind::Text:
      break;
  }
  return ExportText(text);
}

}  // namespace

ExportKind ExportKindOf(int column) {
  switch (column) {
    case kSavedColumn:
      return ExportKind::Time;
    case kSizeColumn:
      return ExportKind::Bytes;
    case kStatusColumn:
      return ExportKind::Status;
    default:
      return ExportKind::Text;
  }
}

std::optional<uint64_t> ParseSizeText(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || !IsDigit(text.front()) || !IsDigit(text.back())) return std::nullopt;
  // Between the digits stand only group separators: one character each (a
  // point, a comma, an apostrophe, a space of any width), never two in a row.
  uint64_t value = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (IsDigit(text[i])) {
      const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
      if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
      value = value * 10 + digit;
      ++i;
      continue;
    }
    size_t next = i;
    const std::optional<char32_t> separator = propset::nextCodePoint(text, next);
    if (!separator) return std::nullopt;
    const char32_t c = *separator;
    const bool groupSeparator = c == U'.' || c == U',' || c == U'\'' || c == U' ' || c == U'\u00A0' ||
                                c == U'\u2009' || c == U'\u202F' || c == U'\u2019' || c == U'\u066C';
    if (!groupSeparator || next >= text.size() || !IsDigit(text[next])) return std::nullopt;
    i = next;
  }
  return value;
}

std::optional<platform::CivilTime> ParseSavedText(std::string_view text) {
  // yyyy.MM.dd hh<sep>mm<sep>ss; the time separator is the same both times.
  platform::CivilTime time;
  if (!ReadDigits(text, 0, 4, time.year) || text.size() < 19 || text[4] != '.' || !ReadDigits(text, 5, 2, time.month) ||
      text[7] != '.' || !ReadDigits(text, 8, 2, time.day) || text[10] != ' ' || !ReadDigits(text, 11, 2, time.hour))
    return std::nullopt;
  const std::string_view rest = text.substr(13);
  size_t separatorLength = 0;
  while (separatorLength < rest.size() && !IsDigit(rest[separatorLength])) ++separatorLength;
  if (separatorLength == 0 || rest.size() != 2 * separatorLength + 4) return std::nullopt;
  const std::string_view separator = rest.substr(0, separatorLength);
  if (rest.substr(separatorLength + 2, separatorLength) != separator ||
      !ReadDigits(rest, separatorLength, 2, time.minute) || !ReadDigits(rest, 2 * separatorLength + 2, 2, time.second))
    return std::nullopt;
  if (time.year < 1 || time.month < 1 || time.month > 12 || time.day < 1 || time.day > 31 || time.hour > 23 ||
      time.minute > 59 || time.second > 59)
    return std::nullopt;
  return time;
}

std::optional<int> ParseStatusText(std::string_view text) {
  text = Trimmed(text);
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  if (!ReadDigits(text, 0, text.size(), value) || value > 32767) return std::nullopt;
  return value;
}

std::string ExportText(std::string_view text) {
  return propset::isUtf8(text) ? std::string(text) : Escaped(text);
}

std::string IsoTimeText(const platform::CivilTime& time, char dateTimeSeparator) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d%c%02d:%02d:%02d", time.year, time.month, time.day,
                dateTimeSeparator, time.hour, time.minute, time.second);
  return buffer;
}

void AppendCsvHeader(std::string& out) {
  out += kUtf8ByteOrderMark;
  for (int column = 0; column < kExportColumnCount; ++column) {
    if (column > 0) out += ',';
    AppendCsvField(out, kColumns[static_cast<size_t>(column)].header);
  }
  out += "\r\n";
}

void AppendCsvRecord(std::string& out, const ResultRows& rows, size_t row) {
  for (int column = 0; column < kExportColumnCount; ++column) {
    if (column > 0) out += ',';
    AppendCsvField(out, CsvValue(rows, row, column));
  }
  out += "\r\n";
}

void AppendJsonString(std::string& out, std::string_view text) {
  const std::string valid = ExportText(text);
  out += '"';
  for (char c : valid) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04X", byte);
      out += escape;
    } else {
      out += c;
    }
  }
  out += '"';
}

void AppendJsonStart(std::string& out) { out += "[\n"; }

void AppendJsonRow(std::string& out, const ResultRows& rows, size_t row, bool first) {
  if (!first) out += ",\n";
  out += '{';
  for (int column = 0; column < kExportColumnCount; ++column) {
    if (column > 0) out += ", ";
    AppendJsonString(out, kColumns[static_cast<size_t>(column)].header);
    out += ": ";
    const std::string_view text = rows.text(row, column);
    switch (ExportKindOf(column)) {
      case ExportKind::Bytes:
        if (const auto bytes = ParseSizeText(text)) {
          out += std::to_string(*bytes);
          continue;
        }
        break;
      case ExportKind::Status:
        if (Trimmed(text).empty()) {
          out += "null";
          continue;
        }
        if (const auto code = ParseStatusText(text)) {
          out += std::to_string(*code);
          continue;
        }
        break;
      case ExportKind::Time:
        if (const auto time = ParseSavedText(text)) {
          AppendJsonString(out, IsoTimeText(*time, 'T'));
          continue;
        }
        break;
      case ExportKind::Text:
        break;
    }
    AppendJsonString(out, text);
  }
  out += '}';
}

void AppendJsonEnd(std::string& out) { out += "\n]\n"; }

}  // namespace fendrik
