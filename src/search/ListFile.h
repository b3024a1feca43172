#pragma once

#include <string>
#include <string_view>

#include "resultlist/ResultRows.h"

namespace fendrik {

// The list file: a plain-text copy of the result list in the user's
// documents folder, written after every search and read back by the filter
// reset. One line per row, ended by CR LF, each of 25 fields separated by
// TABs: the row key (always empty), the document's path (column 0), then
// columns 1 to 23. The text is UTF-8.

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

// How a list-file operation ended. `reason` says why it failed, in the words
// of the system (e.g. "Permission denied").
struct ListFileResult {
  enum class Outcome { Done, Missing, Failed };
  Outcome outcome = Outcome::Done;
  std::string reason;
  bool done() const { return outcome == Outcome::Done; }
};

// Writes every row into the file at path, replacing it. The rows go into a
// temporary file beside it that is flushed to the disk and then renamed over
// the old file, so a crash or a full disk leaves the previous list file
// whole; on failure the temporary file is removed again. A TAB, CR or LF
// inside a text is written as one blank.
ListFileResult SaveListView(const ResultRows& rows, const std::string& path);

// Empties rows and, when an ordinary file exists at path, adds one row per
// line: missing fields are empty texts, fields beyond the 25th are dropped,
// an empty line gives an empty row. A line that is not valid UTF-8 is read
// as Windows-1252 (a list file from an older Windows machine). Missing
// when there is no ordinary file at path; Failed when it exists but cannot
// be read (rows stay empty then).
ListFileResult LoadListView(ResultRows& rows, const std::string& path);

}  // namespace fendrik
