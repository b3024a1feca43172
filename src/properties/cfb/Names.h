#pragma once

#include <string>
#include <string_view>

namespace fendrik::cfb {

// Directory-name order of compound files: the shorter name sorts first; names
// of equal length compare code unit by code unit after upper-casing. Real files
// spell some letters of the property-set stream names in a different case, so
// lookups go through this comparison. Returns <0, 0 or >0.
int compareNames(std::u16string_view a, std::u16string_view b);

// The upper-case form of one character (or UTF-16 code unit) as that
// comparison uses it; also the case folding of property names.
char32_t upperCase(char32_t c);

// A name as messages and listings show it: UTF-8, control characters as octal
// escapes ("\005SummaryInformation").
std::string printableName(std::u16string_view name);

}  // namespace fendrik::cfb
