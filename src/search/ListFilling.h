#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "resultlist/ResultRows.h"
#include "search/ScanList.h"

namespace fendrik {

// Documents read at the same time by default. On a file share every read
// call waits for the network (about a millisecond), not for a core, so many
// more readers than cores keep the share busy: 16 came close to the time the
// share needs just to deliver the bytes (see bench/search), while each
// reader costs only a thread, one open file and its 64 KiB read-ahead. On a
// local disk with a hot cache the readers are limited by the cores instead
// and the extra threads cost next to nothing.
inline constexpr unsigned kDefaultReadJobs = 16;

// A document whose opening failed: its row has empty property texts.
struct DocumentFailure {
  std::string path;
  int32_t number = 0;
  std::string description;
};

// How a fill is run and watched.
struct FillOptions {
  // Documents read at the same time; 0 means kDefaultReadJobs, 1 reads them
  // one after another in the calling thread.
  unsigned jobs = 0;
  bool sortedByName = false;
  // Set from any thread to stop: documents not yet started give no row.
  const std::atomic<bool>* cancel = nullptr;
  // After each document: how many are read and how many there are. Called
  // from the reading threads, one call at a time.
  std::function<void(size_t read, size_t total)> progress;
  // Each document that could not be opened, in ScanList order, from the
  // calling thread after the reading.
  std::function<void(const DocumentFailure&)> failed;
};

// Empties `rows` and adds one row per file entry of `scan` (folder entries
// give none): column 0 the document's path, columns 1 to 5 the file facts
// ("Dateiname", "Typ", "Pfad", "Gespeichert", "Größe"), columns 6 to 18 the
// thirteen document properties. Carries on past every failure: a missing
// file still gives a row with its path and type, a document that cannot be
// opened gives empty property texts. Each document is opened and closed
// exactly once, by one of the reading threads, each with a server of its
// own; the rows come out in ScanList order whatever the number of readers.
// After a cancel the rows are those of the documents read so far. With
// sortedByName the rows end up in ascending order of "Dateiname" (stable).
// Returns the number of rows. Throws what kept the reading from running at
// all (no server, not one reading thread to be had).
size_t FillResultRows(const ScanList& scan, const FillOptions& options, ResultRows& rows);

}  // namespace fendrik
