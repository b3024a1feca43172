#pragma once

#include <string>
#include <vector>

namespace fendrik {

// The entries found by a folder scan, in the order they were appended; its
// count is size(). Two kinds of entry:
//   file entry:   four blanks + folder path ending in "/" + file name
//   folder entry: ">>" + folder path ending in "/" + subfolder name
using ScanList = std::vector<std::string>;

inline constexpr char kFileEntryIndent[] = "    ";
inline constexpr char kFolderEntryMark[] = ">>";

inline bool IsFolderEntry(const std::string& entry) { return entry.starts_with(kFolderEntryMark); }

}  // namespace fendrik
