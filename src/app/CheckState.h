#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace fendrik {

// Check boxes store their state as decimal digits: 0 unticked, 1 ticked,
// 2 grey. A stored text that is no number, or a number a box cannot take,
// gives nothing and the box keeps its state.
std::optional<int> ParseCheckState(std::string_view text);

std::string CheckStateText(int state);

}  // namespace fendrik
