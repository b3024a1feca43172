#include "search/ListFilling.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/WorkerThreads.h"
#include "resultlist/Columns.h"
#include "resultlist/FileFacts.h"
#include "search/DocumentRow.h"

namespace fendrik {

namespace {

bool Cancelled(const FillOptions& options) {
  return options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed);
}

}  // namespace

size_t FillResultRows(const ScanList& scan, const FillOptions& options, ResultRows& rows) {
  rows.clear();
  std::vector<const std::string*> documents;
  for (const std::string& entry : scan)
    if (!IsFolderEntry(entry)) documents.push_back(&entry);
  const size_t total = documents.size();

  // Each reader takes the next unread document; its row goes into the slot of
  // the document, so the order of the rows does not depend on who was faster.
  std::vector<ReadResult> results(total);
  std::vector<char> read(total, 0);
  std::atomic<size_t> next{0};
  std::mutex progressLock;
  size_t readCount = 0;
  std::exception_ptr problem;
  std::mutex problemLock;
  auto reader = [&] {
    try {
      std::unique_ptr<FileProperties> server = FileProperties::Create();
      const FactFormats formats;
      while (!Cancelled(options)) {
        const size_t k = next.fetch_add(1);
        if (k >= total) break;
        ReadDocumentRow(*documents[k], *server, formats, results[k]);
        read[k] = 1;
        if (options.progress) {
          std::lock_guard lock(progressLock);
          options.progress(++readCount, total);
        }
      }
    } catch (...) {
      std::lock_guard lock(problemLock);
      if (!problem) problem = std::current_exception();
      // The others stop at their next document.
      next.store(total);
    }
  };
  const size_t jobs =
      std::clamp<size_t>(options.jobs == 0 ? kDefaultReadJobs : options.jobs, 1, std::max<size_t>(total, 1));
  if (jobs == 1) {
    reader();
  } else {
    // Readers that the system refuses are done without; all are joined at the
    // end of this statement.
    StartWorkerThreads(jobs, [&](size_t) { reader(); });
  }
  if (problem) std::rethrow_exception(problem);

  for (size_t k = 0; k < total; ++k) {
    if (read[k]) TakeDocumentRow(results[k], options.failed, rows);
  }
  if (options.sortedByName) rows.sortByColumn(kFileNameColumn, true);
  return rows.size();
}

}  // namespace fendrik
