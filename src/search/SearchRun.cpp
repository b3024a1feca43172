#include "search/SearchRun.h"

#include "search/ListFilling.h"

namespace fendrik {

size_t RunSearch(const SearchRequest& request, FileProperties& server, ScanList& scan, ResultRows& rows,
                 const PerFolderCallback& perFolder) {
  scan.clear();
  ScanFolders(request.folder, request.types, request.includeSubfolders, scan, perFolder);
  return FillResultRows(scan, server, request.sortedByName, rows);
}

}  // namespace fendrik
