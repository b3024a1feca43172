#pragma once

#include <string>
#include <string_view>
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

// The path a file entry names: the entry without its indent. Only the indent
// goes, so a file name that ends in a blank keeps it.
inline std::string_view FileEntryPath(std::string_view entry) {
  if (entry.starts_with(kFileEntryIndent)) entry.remove_prefix(sizeof kFileEntryIndent - 1);
  return entry;
}

}  // namespace fendrik
