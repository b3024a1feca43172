#pragma once

#include <string>
#include <string_view>

#include "properties/platform/Files.h"

namespace fendrik {

// Writes a file so that it is never half-written: the new content goes into
// a temporary file beside the target, which is flushed to the disk and then
// renamed over the target in one step. A crash, a full disk or a stop leaves
// the old target (if any) as it was, and the temporary file is removed again
// on every failure (and by the destructor, unless commit() succeeded).
// The list file and the exported lists are written this way; the steps pass
// through the test hooks of search/ListFileHooksForTests.h.
class FileReplacement {
 public:
  FileReplacement() = default;
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Finds the file `path` leads to (through symbolic links, whose target is
  // replaced while the links stay), makes its folder when it is missing and
  // creates a new temporary file beside it, open for writing.
  platform::SystemError begin(const std::string& path);

  // The file that is replaced (path after its links) and the temporary one.
  const std::string& target() const { return target_; }
  const std::string& temporary() const { return temporary_; }

  // Appends bytes to the temporary file.
  platform::SystemError append(std::string_view bytes);

  // Closes the temporary file, so that another writer (a library that takes
  // a file name) can write it by its name; commit() opens it again.
  platform::SystemError closeForOtherWriter();

  // Flushes the temporary file to the disk, closes it and renames it over
  // the target; on failure the temporary file is removed.
  platform::SystemError commit();

  // Removes the temporary file (also done by the destructor).
  void discard();

 private:
  std::string target_;
  std::string temporary_;
  platform::File file_;
  uint64_t written_ = 0;
  bool pending_ = false;
};

}  // namespace fendrik
