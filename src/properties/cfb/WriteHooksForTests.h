#pragma once

// Test seam of the in-place writer: fault injection at each write and fsync,
// and a step between opening the file and locking it.
// Only tests and benchmarks include this header; the writer's public
// functions (replaceRootStreams, FileProperties::Save) take no hooks. Hooks
// are installed per thread for the lifetime of a ScopedWriteHooks.

#include <cstddef>
#include <cstdint>
#include <span>

namespace fendrik::cfb {

struct WriteHooks {
  virtual ~WriteHooks() = default;
  // Called when the writer has opened the file, before it takes the lock:
  // the moment another program may rename a file over the path.
  virtual void beforeLock() {}
  // Called before each pwrite of `bytes` at `offset`. May throw (anything but
  // StorageError) to stop the writer right there, as a crash would: no
  // clean-up runs. May return an errno value: the write then fails as if the
  // system had returned that error, and the writer handles it as it would.
  virtual int beforeWrite(uint64_t /*offset*/, std::span<const uint8_t> /*bytes*/) { return 0; }
  // Wraps each fsync: `sync(fd)` makes the real call and gives its result (0
  // or the errno), and the writer goes on with what this returns. The default
  // syncs the file and passes the result on. A hook may make the real call on
  // another descriptor (a pipe, which the system cannot sync: EINVAL), replace
  // the result with an errno, or throw instead of calling it (a crash before
  // the fsync).
  virtual int aroundSync(int fd, int (*sync)(int fd)) { return sync(fd); }
};

class ScopedWriteHooks {
 public:
  explicit ScopedWriteHooks(WriteHooks& hooks);
  ~ScopedWriteHooks();
  ScopedWriteHooks(const ScopedWriteHooks&) = delete;
  ScopedWriteHooks& operator=(const ScopedWriteHooks&) = delete;

 private:
  WriteHooks* previous_;
};

namespace detail {
// The hooks installed for this thread, or nullptr.
WriteHooks* installedWriteHooks();
}  // namespace detail

}  // namespace fendrik::cfb
