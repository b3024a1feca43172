#pragma once

#include <cstddef>
#include <string>

#include "properties/FileProperties.h"
#include "resultlist/ResultRows.h"
#include "search/FolderScan.h"

namespace fendrik {

// What the user chose for a search.
struct SearchRequest {
  std::string folder;
  TypeSelection types;
  bool includeSubfolders = true;
  bool sortedByName = false;
};

// A whole search: scans the folder for the chosen types (in the order PAR,
// ASM, PSM, DFT) into `scan`, then fills `rows` from it with the document
// properties read through `server`. Returns the number of rows.
size_t RunSearch(const SearchRequest& request, FileProperties& server, ScanList& scan, ResultRows& rows,
                 const PerFolderCallback& perFolder = {});

}  // namespace fendrik
