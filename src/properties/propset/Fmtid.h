#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace fendrik::propset {

// A format identifier (GUID) in the byte order it has on disk: Data1, Data2
// and Data3 little-endian, Data4 as it stands.
using Fmtid = std::array<uint8_t, 16>;

// Parses "F29F85E0-4FF9-1068-AB91-08002B27B3D9"; the text must be well formed.
Fmtid fmtidFromText(std::string_view text);
// The same text form, upper case, without braces.
std::string fmtidToText(const Fmtid& id);

inline const Fmtid kFmtidSummaryInformation = fmtidFromText("F29F85E0-4FF9-1068-AB91-08002B27B3D9");
inline const Fmtid kFmtidDocumentSummaryInformation = fmtidFromText("D5CDD502-2E9C-101B-9397-08002B2CF9AE");
inline const Fmtid kFmtidUserDefined = fmtidFromText("D5CDD505-2E9C-101B-9397-08002B2CF9AE");
inline const Fmtid kFmtidProjectInformation = fmtidFromText("F0D6D0B1-A0D8-11CE-8AA2-08003601E988");
inline const Fmtid kFmtidExtendedSummaryInformation = fmtidFromText("CC024FA2-6EB5-11CE-8AA2-08003601E988");
inline const Fmtid kFmtidMechanicalModeling = fmtidFromText("CC024FCA-6EB5-11CE-8AA2-08003601E988");

}  // namespace fendrik::propset
