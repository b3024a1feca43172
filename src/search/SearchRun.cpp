#include "search/SearchRun.h"

#include "search/ParallelWalk.h"

namespace fendrik {

namespace {
// Thrown out of the folder walk to stop it when the search is cancelled.
struct WalkStopped {};
}  // namespace

size_t RunSearch(const SearchRequest& request, ScanList& scan, ResultRows& rows, const SearchHooks& hooks) {
  // With subfolders the tree is listed by the readers themselves, so that
  // reading starts with the first folder; one folder alone, or one thread,
  // needs no such overlap.
  if (request.includeSubfolders && request.jobs != 1)
    return WalkAndReadInParallel(request, request.jobs == 0 ? kDefaultReadJobs : request.jobs, scan, rows, hooks);
  scan.clear();
  rows.clear();
  auto stopped = [&hooks] { return hooks.cancel != nullptr && hooks.cancel->load(std::memory_order_relaxed); };
  try {
    ScanFolders(request.folder, request.types, request.includeSubfolders, scan, [&] {
      if (stopped()) throw WalkStopped{};
      if (hooks.perFolder) hooks.perFolder();
    }, hooks.folderError);
  } catch (const WalkStopped&) {
    // Cancelled while walking: no document has been read yet.
    return 0;
  }
  FillOptions options;
  options.jobs = request.jobs;
  options.sortedByName = request.sortedByName;
  options.cancel = hooks.cancel;
  options.progress = hooks.progress;
  options.failed = hooks.failed;
  return FillResultRows(scan, options, rows);
}

bool LeavesSearchIncomplete(const SearchRequest& request, const FolderFailure& failure) {
  // Not found is also what a path through a file gives.
  if (failure.error.fault != platform::Fault::notFound) return true;
  return failure.folder != WalkFolderPath(request.folder);
}

}  // namespace fendrik
