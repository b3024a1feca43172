#include "app/ColumnWidths.h"

#include <charconv>
#include <cmath>

#include "app/SettingsStore.h"

namespace fendrik {

namespace {
// Columns 0 to 8 have their own first-start widths; from column 9 on it is 1500.
constexpr int kOwnWidthColumns = 9;
}  // namespace

std::string WidthKey(int column) { return "Breite(" + std::to_string(column + 1) + ")"; }

ColumnWidthSet FirstStartWidths() {
  ColumnWidthSet widths{};
  for (int k = 0; k < kColumnCount; ++k) widths[k] = kColumns[k].firstStartWidth;
  return widths;
}

ColumnWidthSet RestoredWidths(const std::function<std::optional<std::string>(const std::string& key)>& readStored) {
  ColumnWidthSet widths{};
  for (int k = 0; k < kColumnCount; ++k) {
    std::optional<std::string> stored = readStored(WidthKey(k));
    std::optional<double> width = stored ? ParseStoredNumber(*stored) : std::nullopt;
    widths[k] = width.value_or(kStoredWidthDefault);
  }
  // Nothing stored yet: column 0 was never written as "0".
  if (widths[0] == kStoredWidthDefault) {
    const ColumnWidthSet first = FirstStartWidths();
    for (int k = 0; k < kOwnWidthColumns; ++k) widths[k] = first[k];
  }
  return widths;
}

std::string WidthText(double twips) {
  double whole = std::floor(twips);
  if (!std::isfinite(whole)) return "0";
  char buffer[32];
  auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, whole, std::chars_format::fixed, 0);
  if (error != std::errc()) return "0";
  return std::string(buffer, end);
}

}  // namespace fendrik
