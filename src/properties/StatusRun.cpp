#include "properties/StatusRun.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "properties/FileProperties.h"
#include "properties/StatusChange.h"
#include "properties/StorageError.h"
#include "properties/WorkerThreads.h"
#include "properties/platform/Files.h"

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

// The file a path names (through links and linked folders), or nothing when
// its status cannot be read: such a path goes its own way, and its write
// reports why. Likewise a file without a number of its own (index 0: some
// network file systems give none), which must not be taken for another.
std::optional<platform::FileIdentity> FileNamedBy(const std::string& path) {
  platform::FileStatus status;
  if (platform::StatusOf(path, status) || status.kind != platform::Kind::file || status.identity.index == 0)
    return std::nullopt;
  return status.identity;
}

// Which path writes each file: the first to claim it. Not synchronised; the
// caller guards it.
class FileClaims {
 public:
  // Nothing when the path at `index` is the one to write its file (or its
  // file is unknown); otherwise the index of the path that writes it.
  std::optional<size_t> claim(size_t index, const std::optional<platform::FileIdentity>& file) {
    if (!file) return std::nullopt;
    const auto [claimed, first] = writers_.emplace(*file, index);
    if (first) return std::nullopt;
    return claimed->second;
  }

 private:
  std::map<platform::FileIdentity, size_t> writers_;
};
}  // namespace

StatusRunSummary WriteStatusOfDocuments(const std::vector<std::string>& paths, int16_t code, unsigned workers,
                                        std::stop_token stop, const StatusProgress& progress) {
  StatusRunSummary summary;
  const size_t count = paths.size();
  workers = static_cast<unsigned>(std::clamp<size_t>(workers, 1, std::max<size_t>(count, 1)));
  std::vector<std::unique_ptr<FileProperties>> servers;
  for (unsigned w = 0; w < workers; ++w) servers.push_back(FileProperties::Create());
  FileClaims claims;

  if (workers == 1) {
    std::vector<StatusOutcome> outcomes;  // of the paths before, for a file named again
    for (size_t i = 0; i < count && !stop.stop_requested(); ++i) {
      // A single path names no file twice: no status to read for it.
      const std::optional<size_t> writer = count > 1 ? claims.claim(i, FileNamedBy(paths[i])) : std::nullopt;
      outcomes.push_back(writer ? outcomes[*writer] : WriteOne(*servers[0], paths[i], code));
      Count(summary, outcomes.back());
      if (progress) progress(i, outcomes.back());
    }
    summary.stopped = summary.tried < count;
    return summary;
  }

  // Workers take the next path in display order; their results are
  // reported from here in that order, as soon as every earlier one is in.
  // A path naming a file another path has claimed is not written: it waits
  // for that write's outcome (or takes it, when it is in already), and the
  // worker goes on to the next path.
  std::mutex mutex;
  std::condition_variable resultIn;
  std::vector<std::optional<StatusOutcome>> results(count);
  std::map<size_t, std::vector<size_t>> waiting;  // writer's index -> the paths awaiting its outcome
  std::atomic<size_t> next{0};
  size_t ended = 0;  // workers done
  auto work = [&](size_t w) {
    for (;;) {
      if (stop.stop_requested()) break;
      const size_t i = next.fetch_add(1);
      if (i >= count) break;
      const std::optional<platform::FileIdentity> file = FileNamedBy(paths[i]);
      {
        std::lock_guard lock(mutex);
        if (const std::optional<size_t> writer = claims.claim(i, file)) {
          if (results[*writer]) {
            results[i] = results[*writer];
            resultIn.notify_one();
          } else {
            waiting[*writer].push_back(i);
          }
          continue;
        }
      }
      StatusOutcome outcome = WriteOne(*servers[w], paths[i], code);
      std::lock_guard lock(mutex);
      if (const auto others = waiting.find(i); others != waiting.end()) {
        for (size_t other : others->second) results[other] = outcome;
        waiting.erase(others);
      }
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
