#pragma once

#include <string_view>

namespace fendrik::cfb {

// Directory-name order of compound files: the shorter name sorts first; names
// of equal length compare code unit by code unit after upper-casing. Real files
// spell some letters of the property-set stream names in a different case, so
// lookups go through this comparison. Returns <0, 0 or >0.
int compareNames(std::u16string_view a, std::u16string_view b);

// The upper-case form of one code unit as that comparison uses it.
char16_t upperCaseUnit(char16_t c);

}  // namespace fendrik::cfb
