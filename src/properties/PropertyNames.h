#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "properties/propset/Fmtid.h"

namespace fendrik {

// Compares two UTF-8 names without regard to letter case, also for letters
// beyond ASCII ("STICHWÖRTER" equals "Stichwörter").
bool namesEqualIgnoringCase(std::string_view a, std::string_view b);

// Where a named property set lives: the root stream and the FMTID of its
// section inside that stream.
struct SetLocation {
  std::string_view name;        // as the system names the set
  std::u16string_view stream;   // "\005SummaryInformation", ...
  const propset::Fmtid* fmtid;
  size_t index;                 // 0 .. kSetCount - 1, the set's place in the table
};

inline constexpr size_t kSetCount = 6;

// The set of that name (case-insensitive), or nothing.
std::optional<SetLocation> findSetLocation(std::string_view setName);
// The set whose section has that FMTID, or nothing.
std::optional<SetLocation> findSetLocation(const propset::Fmtid& fmtid);

// Property id of a fixed property of a set, by its German or English name;
// nothing when the name is not one of the set's fixed properties.
std::optional<uint32_t> fixedPropertyId(const propset::Fmtid& set, std::string_view propertyName);

// A display name of a fixed property (for listings), or empty.
std::string_view fixedPropertyName(const propset::Fmtid& set, uint32_t id);

}  // namespace fendrik
