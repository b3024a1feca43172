#include "properties/StatusRun.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "properties/FileProperties.h"
#include "properties/StatusChange.h"
#include "properties/StorageError.h"
#include "properties/WorkerThreads.h"

namespace fendrik {

namespace {
StatusOutcome WriteOne(FileProperties& server, const std::string& path, int16_t code) {
  StatusOutcome outcome;
  try {
    outcome.warning = WriteDocumentStatus(server, path, code).warning;
    outcome.written = true;
  } catch (const StorageError& error) {
    outcome.number = error.number();
    outcome.description = error.description();
    outcome.unchanged = !error.fileMayBeChanged();
  } catch (const std::exception& error) {
    // An error of another kind may come from any step: the document counts as
    // possibly changed.
    outcome.number = hresult::kCannotSave;
    outcome.description = error.what();
  }
  server.Close();
  return outcome;
}

void Count(StatusRunSummary& summary, const StatusOutcome& outcome) {
  ++summary.tried;
  if (outcome.written) ++summary.written;
}
}  // namespace

StatusRunSummary WriteStatusOfDocuments(const std::vector<std::string>& paths, int16_t code, unsigned workers,
                                        std::stop_token stop, const StatusProgress& progress) {
  StatusRunSummary summary;
  const size_t count = paths.size();
  workers = static_cast<unsigned>(std::clamp<size_t>(workers, 1, std::max<size_t>(count, 1)));
  std::vector<std::unique_ptr<FileProperties>> servers;
  for (unsigned w = 0; w < workers; ++w) servers.push_back(FileProperties::Create());

  if (workers == 1) {
    for (size_t i = 0; i < count && !stop.stop_requested(); ++i) {
      const StatusOutcome outcome = WriteOne(*servers[0], paths[i], code);
      Count(summary, outcome);
      if (progress) progress(i, outcome);
    }
    summary.stopped = summary.tried < count;
    return summary;
  }

  // Workers take the next path in display order; their results are
  // reported from here in that order, as soon as every earlier one is in.
  std::mutex mutex;
  std::condition_variable resultIn;
  std::vector<std::optional<StatusOutcome>> results(count);
  std::atomic<size_t> next{0};
  size_t ended = 0;  // workers done
  auto work = [&](size_t w) {
    for (;;) {
      if (stop.stop_requested()) break;
      const size_t i = next.fetch_add(1);
      if (i >= count) break;
      StatusOutcome outcome = WriteOne(*servers[w], paths[i], code);
      std::lock_guard lock(mutex);
      results[i] = std::move(outcome);
      resultIn.notify_one();
    }
    std::lock_guard lock(mutex);
    ++ended;
    resultIn.notify_one();
  };
  {
    // Throws, before any document is touched, when not one worker starts.
    const std::vector<std::jthread> pool = StartWorkerThreads(workers, work);
    size_t reported = 0;
    for (;;) {
      std::unique_lock lock(mutex);
      resultIn.wait(lock, [&] { return ended == pool.size() || (reported < count && results[reported]); });
      if (reported < count && results[reported]) {
        const StatusOutcome outcome = *results[reported];
        lock.unlock();
        Count(summary, outcome);
        if (progress) progress(reported, outcome);
        ++reported;
        continue;
      }
      break;  // every worker ended and nothing more is in
    }
  }
  summary.stopped = summary.tried < count;
  return summary;
}

}  // namespace fendrik
