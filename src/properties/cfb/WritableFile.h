#pragma once

// The read-write side of one document during a transaction: opening with the
// access checks, the advisory lock, positioned writes and fsync, each passing
// the test hooks (WriteHooksForTests.h) first when a test installed them.

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include "properties/cfb/UniqueFd.h"

namespace fendrik::cfb {
struct WriteHooks;
}

namespace fendrik::cfb::detail {

class WritableFile {
 public:
  // Opens O_RDWR and locks; refuses files without any write permission bit
  // (our "read-only" attribute), missing files, and files locked elsewhere.
  explicit WritableFile(const std::filesystem::path& path);

  int fd() const { return fd_.get(); }
  uint64_t size() const { return size_; }
  // Errors: kDiskFull for a full disk or quota, kWriteFault for any other
  // (an I/O error above all).
  void write(uint64_t offset, std::span<const uint8_t> bytes);
  void sync();
  // Whether any write was tried (even one that failed).
  bool writeAttempted() const { return writeAttempted_; }
  // Reserves disk space for a file growing to `newSize`, so that a full disk
  // shows before the first write.
  void reserve(uint64_t newSize);
  // Puts the file back to its length at open (after a failure before commit).
  void restoreSize();
  uint64_t bytesWritten() const { return bytesWritten_; }

  // Bytes as the file holds them now (read with pread, not through a
  // container's read-ahead); false when the file ends before them.
  bool readNow(uint64_t offset, std::span<uint8_t> out) const;
  // What tells that another program changed the file since this descriptor
  // last did (opened, wrote, reserved or cut it): its size, or its change
  // time, which every write moves. Empty when neither differs; a change
  // within the same tick of the clock shows in neither.
  std::string changeByOthers() const;
  // The file's size now.
  uint64_t currentSize() const;

 private:
  void noteState();

  UniqueFd fd_;
  WriteHooks* hooks_;
  uint64_t size_ = 0;
  uint64_t bytesWritten_ = 0;
  bool writeAttempted_ = false;
  // Size and change time after this descriptor's last change.
  uint64_t leftSize_ = 0;
  int64_t leftChangeSeconds_ = 0;
  int64_t leftChangeNanoseconds_ = 0;
};

}  // namespace fendrik::cfb::detail
