#include "app/CheckState.h"

#include <cmath>

#include "app/SettingsStore.h"

namespace fendrik {

std::optional<int> ParseCheckState(std::string_view text) {
  std::optional<double> value = ParseStoredNumber(text);
  if (!value) return std::nullopt;
  // Whole numbers as the user wrote them; "1.0" is as good as "1".
  double rounded = std::nearbyint(*value);
  if (rounded < 0 || rounded > 2) return std::nullopt;
  return static_cast<int>(rounded);
}

std::string CheckStateText(int state) { return std::to_string(state); }

}  // namespace fendrik
