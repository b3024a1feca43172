#include "app/CheckState.h"

#include <charconv>
#include <cmath>

namespace fendrik {

std::optional<int> ParseCheckState(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  // Whole numbers as the user wrote them; "1.0" is as good as "1".
  double rounded = std::nearbyint(value);
  if (rounded < 0 || rounded > 2) return std::nullopt;
  return static_cast<int>(rounded);
}

std::string CheckStateText(int state) { return std::to_string(state); }

}  // namespace fendrik
