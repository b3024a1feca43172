#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "resultlist/Columns.h"

namespace fendrik {

// Column widths in twips, indexed by column (0 to 23).
using ColumnWidthSet = std::array<double, kColumnCount>;

// A width key missing from the store, or holding no number, counts as this.
inline constexpr double kStoredWidthDefault = 1500.0;

// The key of a column in section "Liste": "Breite(" + header position + ")",
// the header position being the column index plus one.
std::string WidthKey(int column);

// The widths every column has at the very first start.
ColumnWidthSet FirstStartWidths();

// The widths after restoring: each column takes its stored width or 1500;
// when column 0 then has exactly 1500 (nothing stored yet), columns 0 to 8
// take their first-start widths. readStored gives the stored text of a key,
// or nothing when the key is missing.
ColumnWidthSet RestoredWidths(const std::function<std::optional<std::string>(const std::string& key)>& readStored);

// A width as it is stored: cut down to a whole number, decimal digits only.
std::string WidthText(double twips);

}  // namespace fendrik
