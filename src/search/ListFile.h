#pragma once

#include <string>
#include <string_view>
#include <vector>
#include <cstdint>
#include <functional>

#include "resultlist/ResultRows.h"

namespace fendrik {

// The list file: a plain-text copy of the result list in the user's
// documents folder, written after every search and read back by the filter
// reset. One line per row, ended by CR LF; the lines are described in
// resultlist/ListFileLine.h. Reading gives exactly the rows that were
// written.

// The shell's folder id of the user's documents folder.
inline constexpr int kDocumentsFolderId = 5;
// What GetSpecialFolderPath gives for a folder the system does not know.
inline constexpr char kFolderNotDefined[] = " - nicht definiert - ";

// The path of a special folder; only the documents folder (id 5) is known.
// Any other id, or a system without a documents folder, gives
// kFolderNotDefined.
std::string GetSpecialFolderPath(int id);

// The documents folder, a separator (only when the folder does not already
// end in one), and "Fendrik_" + name + ".lst", where "Fendrik_" is left out
// when name already starts with it and ".lst" when it already ends in it
// (both compared exactly). "0" gives <documents>/Fendrik_0.lst.
std::string ListFilePath(std::string_view name);

// The largest list file that is read: far more than a million rows, and
// still an amount of memory a desktop has to spare.
inline constexpr uint64_t kMaxListFileBytes = uint64_t{1} << 30;

// How a list-file operation ended. `reason` says why it failed, in German
// words ("Zugriff verweigert", ...).
struct ListFileResult {
  enum class Outcome { Done, Missing, Failed };
  Outcome outcome = Outcome::Done;
  std::string reason;
  // Reading: the lines that gave no row, each as "Zeile <n>: <why>".
  std::vector<std::string> refused;
  // Reading: stopped by the progress callback; the rows read so far stay.
  bool stopped = false;
  bool done() const { return outcome == Outcome::Done; }
};

// Writes every row into the file at path, replacing it. The rows go into a
// temporary file beside it that is flushed to the disk and then renamed over
// the old file, so a crash or a full disk leaves the previous list file
// whole; on failure the temporary file is removed again. When path is a
// symbolic link, the file it leads to is replaced and the link stays. A
// missing folder of the file is created.
ListFileResult SaveListView(const ResultRows& rows, const std::string& path);

// Told the number of rows read so far after each piece of the file; reading
// stops when it gives false.
using ListFileProgress = std::function<bool(size_t rows)>;

// Empties rows and, when an ordinary file exists at path, adds one row per
// line (see AddListFileRow). The file is read in pieces. Missing when there
// is no ordinary file at path; Failed when it exists but cannot be read or
// is larger than kMaxListFileBytes (rows stay empty then). Lines that give
// no row are listed in `refused`; the other rows are read.
ListFileResult LoadListView(ResultRows& rows, const std::string& path, const ListFileProgress& progress = {});

}  // namespace fendrik
