#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace fendrik {

// How many documents a status change writes at once by default. On a file
// share every file-system request waits for the network, and one document
// takes some thirty requests (open and read it, open it for writing, read
// its structure, write, status, flush, read back); sixteen documents in
// flight keep the share busy while the local disk hardly notices the
// difference.
inline constexpr unsigned kDefaultStatusWorkers = 16;

// What became of one document.
struct StatusOutcome {
  bool written = false;
  // The server's error number and description when it was not written.
  int32_t number = 0;
  std::string description;
  // When not written: whether the document is known to be as it was (the
  // failure came before anything was written into it, or the writer read it
  // back and found its old state). False when it may have been changed: the
  // write failed past the point where that can be shown, or another program
  // wrote the document meanwhile.
  bool unchanged = false;
  // When written: why the status may not have reached the disk (see
  // SaveResult); empty normally.
  std::string warning;
};

// Told once per document that was tried, in the order of the paths (the
// list's display order), from the thread that runs WriteStatusOfDocuments.
using StatusProgress = std::function<void(size_t index, const StatusOutcome& outcome)>;

struct StatusRunSummary {
  size_t tried = 0;    // documents tried, always the first `tried` paths
  size_t written = 0;  // of those, written successfully
  bool stopped = false;
};

// Writes the status `code` into every document of `paths` through
// WriteDocumentStatus, each with a server of its own, up to `workers` at a
// time (1: one after another). A document that fails does not stop the
// others. Progress is reported in path order, each document once, after it
// is saved and closed. When `stop` is requested, the documents being written
// are finished and no further one is begun. When the system gives fewer
// threads than `workers`, the ones it gives write every document. Throws
// before any document is touched when no server can be created
// (StorageError) or not one thread started (std::system_error).
// Paths that name one file (the same path twice, a hard link, a symbolic
// link, a path through a linked folder; told by platform::StatusOf's
// identity) write it once, through the path that claims it first, so that
// no two workers wait for each other's lock on it. Every one of them is
// reported, in its place, with the outcome of that one write (whose
// description may name the path it went through). A path whose status
// cannot be read is written on its own, and its write reports the error;
// so is one whose file system gives its file no number (index 0).
StatusRunSummary WriteStatusOfDocuments(const std::vector<std::string>& paths, int16_t code, unsigned workers,
                                        std::stop_token stop, const StatusProgress& progress);

}  // namespace fendrik
