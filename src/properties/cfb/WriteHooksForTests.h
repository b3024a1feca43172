#pragma once

// Test seam of the in-place writer: fault injection at each write and flush,
// and a step between opening the file and locking it.
// Only tests and benchmarks include this header; the writer's public
// functions (replaceRootStreams, FileProperties::Save) take no hooks. Hooks
// are installed per thread for the lifetime of a ScopedWriteHooks.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "properties/platform/Files.h"

namespace fendrik::cfb {

struct WriteHooks {
  virtual ~WriteHooks() = default;
  // Called when the writer has opened the file, before it takes the lock:
  // the moment another program may rename a file over the path.
  virtual void beforeLock() {}
  // Called before each write of `bytes` at `offset`. May throw (anything but
  // StorageError) to stop the writer right there, as a crash would: no
  // clean-up runs. May return an error (platform::Simulated(Fault::diskFull),
  // ...): the write then fails as if the system had returned it, and the
  // writer handles it as it would.
  virtual platform::SystemError beforeWrite(uint64_t /*offset*/, std::span<const uint8_t> /*bytes*/) { return {}; }
  // Wraps each flush to the disk: `flush()` makes the real call on the
  // writer's file and gives its result, and the writer goes on with what
  // this returns. The default flushes and passes the result on. A hook may
  // replace the result with an error, or throw instead of calling it (a
  // crash before the flush).
  virtual platform::SystemError aroundSync(const std::function<platform::SystemError()>& flush) { return flush(); }
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
