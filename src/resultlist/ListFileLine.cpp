#include "resultlist/ListFileLine.h"

#include <array>
#include <cstdint>
#include <exception>
#include <span>

#include "properties/VisibleText.h"
#include "properties/propset/TextCodec.h"

namespace fendrik {
namespace {

constexpr size_t kFieldsPerLine = kColumnCount + 1;
constexpr uint16_t kWindows1252 = 1252;

using Fields = std::array<std::string_view, kFieldsPerLine>;

// The fields of a line, split at every TAB; the ones beyond the 25th are
// dropped, missing ones stay empty.
Fields SplitFields(std::string_view line) {
  Fields fields{};
  size_t count = 0;
  size_t start = 0;
  while (count < kFieldsPerLine) {
    const size_t tab = line.find('\t', start);
    fields[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return fields;
}

std::string WithoutNul(std::string_view path) {
  return "der Pfad " + VisibleText(path) + " enthält ein NUL-Zeichen";
}

}  // namespace

void AppendListFileLine(std::string& out, const ResultRows& rows, size_t row) {
  bool escaped = false;
  for (int column = 0; column < kColumnCount && !escaped; ++column) escaped = NeedsEscapes(rows.text(row, column));
  if (escaped) out += kEscapedLineMark;
  for (int column = 0; column < kColumnCount; ++column) {
    out += '\t';
    if (escaped)
      AppendEscaped(out, rows.text(row, column));
    else
      out += rows.text(row, column);
  }
  out += "\r\n";
}

std::optional<std::string> AddListFileRow(ResultRows& rows, std::string_view line) {
  const Fields raw = SplitFields(line);
  if (raw[0] == kEscapedLineMark) {
    std::array<std::string, kColumnCount> texts;
    for (int column = 0; column < kColumnCount; ++column) {
      std::optional<std::string> text = Unescaped(raw[column + 1]);
      if (!text) return "ungültige Escape-Folge in Spalte " + std::to_string(column + 1);
      texts[column] = std::move(*text);
    }
    if (texts[0].find('\0') != std::string::npos) return WithoutNul(texts[0]);
    std::array<std::string_view, kColumnCount> views;
    for (int column = 0; column < kColumnCount; ++column) views[column] = texts[column];
    rows.append(std::span<const std::string_view>(views));
    return std::nullopt;
  }

  if (raw[1].find('\0') != std::string_view::npos) return WithoutNul(raw[1]);
  if (propset::isUtf8(line)) {
    rows.append(std::span<const std::string_view>(raw.data() + 1, kColumnCount));
    return std::nullopt;
  }
  std::string decoded;
  try {
    decoded = propset::decodeText(std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()),
                                  kWindows1252);
  } catch (const std::exception&) {
    // Without a converter the bytes stay as they are; the list shows
    // replacement characters for them, and the path is exact.
    rows.append(std::span<const std::string_view>(raw.data() + 1, kColumnCount));
    return std::nullopt;
  }
  // TAB is the same byte in both, so the fields stay where they were.
  const Fields fields = SplitFields(decoded);
  rows.append(std::span<const std::string_view>(fields.data() + 1, kColumnCount));
  if (fields[1] != raw[1]) rows.markPathUncertain(rows.size() - 1);
  return std::nullopt;
}

}  // namespace fendrik
