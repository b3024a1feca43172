#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "properties/platform/Files.h"
#include "search/DocumentTypes.h"
#include "search/ScanList.h"

namespace fendrik {

// Called once for every folder the scan visits, before it is listed. It may
// throw to stop the walk (a cancelled search); every folder the walk opened
// is closed again when the exception leaves it.
using PerFolderCallback = std::function<void()>;

// Called for each folder the scan cannot open or list, and for each link whose
// target it cannot examine (a loop, no right to look), since a folder may hide
// behind it: its path (ending in the separator) and the error, in walk order.
// A folder whose path is longer than the system allows, or leads through too
// many links, is reported with Fault::nameTooLong or Fault::linkLoop: no
// document in it could be opened by its path.
using FolderErrorCallback = std::function<void(const std::string& folder, platform::SystemError error)>;

// Whether the upper-cased `name` ends in `pattern` (ASCII upper case, as the
// document types' patterns are); a name shorter than the pattern never does.
bool NameEndsInPattern(std::string_view name, std::string_view pattern);

// The start folder as the walk writes it into paths: with the system's
// separator (Windows also takes "/" in it) and one separator behind.
std::string WalkFolderPath(const std::string& folder);

// Walks `folder` (with or without a trailing separator) and appends to `list` a
// file entry for every file whose upper-cased name ends in `pattern`, in the
// order the file system reports the entries. With includeSubfolders the walk
// descends depth-first into each subfolder where the enumeration meets it;
// without, each subfolder gives a folder entry instead. A symbolic link to a
// folder counts as a folder. A folder the walk has listed already (the same
// identity on the disk, reached again through a link) is not listed again, so
// links back to an ancestor end and links that fan out cost one walk of each
// folder. Paths in the list have the system's separator between folders
// (C:\Daten\a.par on Windows). A folder that cannot be listed contributes
// nothing but a call of folderError. The walk holds at most one folder open at
// a time and needs no recursion, whatever the depth of the tree.
void ScanFolder(const std::string& folder, std::string_view pattern, ScanList& list, bool includeSubfolders,
                const PerFolderCallback& perFolder = {}, const FolderErrorCallback& folderError = {});

// One walk for several types. Appends exactly what one ScanFolder call per
// selected type would, in the order PAR, ASM, PSM, DFT: all entries of the
// first selected type, then those of the next, and so on. Without subfolders
// every selected type therefore records each subfolder once.
void ScanFolders(const std::string& folder, TypeSelection types, bool includeSubfolders, ScanList& list,
                 const PerFolderCallback& perFolder = {}, const FolderErrorCallback& folderError = {});

}  // namespace fendrik
