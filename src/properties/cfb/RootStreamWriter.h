#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace fendrik::cfb {

// New contents for one stream directly in the root storage.
struct StreamReplacement {
  std::u16string name;
  std::vector<uint8_t> content;
};

// Fault injection for tests: called before each write and each fsync; may
// throw to stop the writer there, or (for writes) lower `length` so that only
// the first bytes are written, after which the writer stops.
struct WriteHooks {
  virtual ~WriteHooks() = default;
  virtual void beforeWrite(uint64_t /*offset*/, size_t& /*length*/) {}
  virtual void beforeSync() {}
};

// Replaces the contents of root streams in one crash-safe transaction, in
// place: the file keeps its inode, owner, mode and every byte the change does
// not need to touch. After a crash at any point the file reads either all old
// or all new contents. Takes an advisory lock for the duration.
// Errors (StorageError): kFileNotFound, kAccessDenied (read-only file or no
// write permission), kLockViolation (another process holds a lock), kDiskFull,
// kSetNotFound (a named stream is missing), kInvalidHeader/kDocfileCorrupt.
// Before the commit point every error leaves the file's contents untouched.
void replaceRootStreams(const std::filesystem::path& path, std::span<const StreamReplacement> changes,
                        WriteHooks* hooks = nullptr);

}  // namespace fendrik::cfb
