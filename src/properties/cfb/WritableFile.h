#pragma once

// The read-write side of one document during a transaction: opening with the
// access checks, the advisory lock, positioned writes and fsync, each passing
// the test hooks first.

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>

#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/UniqueFd.h"

namespace fendrik::cfb::detail {

// Thrown when a hook asked for a shortened write: the writer stops as if the
// machine had gone down, without any clean-up.
struct WriteInterrupted : std::runtime_error {
  WriteInterrupted() : std::runtime_error("write interrupted by test hook") {}
};

class WritableFile {
 public:
  // Opens O_RDWR and locks; refuses files without any write permission bit
  // (our "read-only" attribute), missing files, and files locked elsewhere.
  WritableFile(const std::filesystem::path& path, WriteHooks* hooks);

  int fd() const { return fd_.get(); }
  uint64_t size() const { return size_; }
  void write(uint64_t offset, std::span<const uint8_t> bytes);
  void sync();
  // Reserves disk space for a file growing to `newSize`, so that a full disk
  // shows before the first write.
  void reserve(uint64_t newSize);
  // Puts the file back to its length at open (after a failure before commit).
  void restoreSize();
  uint64_t bytesWritten() const { return bytesWritten_; }

 private:
  UniqueFd fd_;
  WriteHooks* hooks_;
  uint64_t size_ = 0;
  uint64_t bytesWritten_ = 0;
};

}  // namespace fendrik::cfb::detail
