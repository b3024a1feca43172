#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace fendrik {

// Whether a workbook (a zip of XML parts) at `path` is whole: every part
// inflates to the size and checksum the zip's directory gives for it and
// ends with the closing tag of its root element, and the part
// `sheetPart` holds `sheetRows` rows. libxlsxwriter ignores failed writes
// to its own temporary files (a full temporary folder, a size limit) and
// then zips a part cut short without an error; this check finds that.
// Gives what is wrong in German words; nothing when the workbook is whole.
// The file is read as any other: every offset and length is checked.
std::optional<std::string> WorkbookFault(const std::string& path, std::string_view sheetPart, size_t sheetRows);

}  // namespace fendrik
