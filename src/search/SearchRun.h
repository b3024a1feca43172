#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "resultlist/ResultRows.h"
#include "search/FolderScan.h"
#include "search/ListFilling.h"

namespace fendrik {

// What the user chose for a search.
struct SearchRequest {
  std::string folder;
  TypeSelection types;
  bool includeSubfolders = true;
  bool sortedByName = false;
  // Documents read at the same time (0: kDefaultReadJobs; 1: one by one).
  unsigned jobs = 0;
};

// A folder the walk could not open or list, and why.
struct FolderFailure {
  std::string folder;
  platform::SystemError error;
};

// How a search is watched and stopped.
struct SearchHooks {
  // Before each folder of the walk. With subfolders and several threads it
  // is called from those threads, one call at a time, and may set `cancel`
  // but not throw.
  PerFolderCallback perFolder;
  // Set from any thread to stop the search: the walk stops at its next
  // folder, the reading at its next document; the rows are those of the
  // documents read so far, in the order of the whole search.
  const std::atomic<bool>* cancel = nullptr;
  // Documents read and documents found so far, after each document, one call
  // at a time; the second number grows while the walk goes on.
  std::function<void(size_t read, size_t total)> progress;
  // Each document that could not be opened, in ScanList order.
  std::function<void(const DocumentFailure&)> failed;
  // Each folder the walk could not open or list (FolderErrorCallback), in
  // walk order, from the thread that called RunSearch.
  FolderErrorCallback folderError;
};

// A whole search: scans the folder for the chosen types (in the order PAR,
// ASM, PSM, DFT) into `scan` and fills `rows` from it, as ScanFolders then
// FillResultRows would. With subfolders and more than one job the folders are
// listed by the reading threads and each document is read as soon as its
// folder is listed (WalkAndReadInParallel); the rows, their order and the
// reports are the same. Returns the number of rows. The window and the
// command line both search through this.
size_t RunSearch(const SearchRequest& request, ScanList& scan, ResultRows& rows, const SearchHooks& hooks = {});

// Whether a folder the walk reported leaves the search incomplete, that is,
// documents may be missing from its rows: every report does except that of
// the start folder itself when it does not exist or is no folder, whose
// search is simply empty.
bool LeavesSearchIncomplete(const SearchRequest& request, const FolderFailure& failure);

}  // namespace fendrik
