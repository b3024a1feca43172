#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "search/DocumentTypes.h"
#include "search/ScanList.h"

namespace fendrik {

// Called once for every folder the scan visits, before it is listed. It may
// throw to stop the walk (a cancelled search); every folder the walk opened
// is closed again when the exception leaves it.
using PerFolderCallback = std::function<void()>;

// Called for each folder the scan cannot open or list, and for each link whose
// target it cannot examine (a loop, no right to look), since a folder may hide
// behind it: its path (ending in "/") and the errno value, in walk order. A
// folder whose path is longer than the system allows, or leads through too
// many links, is reported with ENAMETOOLONG or ELOOP: no document in it could
// be opened by its path.
using FolderErrorCallback = std::function<void(const std::string& folder, int error)>;

// Walks `folder` (with or without a trailing "/") and appends to `list` a
// file entry for every file whose upper-cased name ends in `pattern`, in the
// order the file system reports the entries. With includeSubfolders the walk
// descends depth-first into each subfolder where the enumeration meets it;
// without, each subfolder gives a folder entry instead. A symbolic link to a
// folder counts as a folder. A folder the walk has listed already (the same
// device and inode, reached again through a link) is not listed again, so
// links back to an ancestor end and links that fan out cost one walk of each
// folder. A folder that cannot be listed contributes nothing but a call of
// folderError. The walk holds at most one folder open at a time and needs no
// recursion, whatever the depth of the tree.
void ScanFolder(const std::string& folder, std::string_view pattern, ScanList& list, bool includeSubfolders,
                const PerFolderCallback& perFolder = {}, const FolderErrorCallback& folderError = {});

// One walk for several types. Appends exactly what one ScanFolder call per
// selected type would, in the order PAR, ASM, PSM, DFT: all entries of the
// first selected type, then those of the next, and so on. Without subfolders
// every selected type therefore records each subfolder once.
void ScanFolders(const std::string& folder, TypeSelection types, bool includeSubfolders, ScanList& list,
                 const PerFolderCallback& perFolder = {}, const FolderErrorCallback& folderError = {});

}  // namespace fendrik
