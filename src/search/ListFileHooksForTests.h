#pragma once

// Test seam of the writers that replace a file (search/FileReplacement.h:
// the list file and the exported lists): each step's real result passes
// through the hooks, which may replace it, so that a test sees which steps
// ran in which order and can make any of them fail. Only tests include this
// header; the hooks are installed per thread for the lifetime of a
// ScopedListFileHooks.

#include "properties/platform/Files.h"

namespace fendrik {

// Write: a piece appended by the program itself (not by a library that
// writes the temporary file by its name).
enum class ListFileStep { Write, Sync, Close, Rename };

struct ListFileHooks {
  virtual ~ListFileHooks() = default;
  // Called right after the system call of `step` with its result: no error
  // or the one it failed with. The writer goes on with what this returns.
  virtual platform::SystemError after(ListFileStep /*step*/, platform::SystemError error) { return error; }
};

class ScopedListFileHooks {
 public:
  explicit ScopedListFileHooks(ListFileHooks& hooks);
  ~ScopedListFileHooks();
  ScopedListFileHooks(const ScopedListFileHooks&) = delete;
  ScopedListFileHooks& operator=(const ScopedListFileHooks&) = delete;

 private:
  ListFileHooks* previous_;
};

}  // namespace fendrik
