#pragma once

// The read-write side of one document during a transaction: opening with the
// access checks, the program's lock, positioned writes and the flush to the
// disk, each passing the test hooks (WriteHooksForTests.h) first when a test
// installed them. Everything the transaction reads of the file while it
// holds the lock goes through this one handle: on Windows another handle
// could not even open the file for reading meanwhile.

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

#include "properties/platform/Files.h"

namespace fendrik::cfb {
struct WriteHooks;
}

namespace fendrik::cfb::detail {

class WritableFile {
 public:
  // Opens for reading and writing and locks; refuses read-only files (the
  // attribute, or on POSIX no write permission bit at all), missing files,
  // files another program has open for writing (Windows) and files locked
  // elsewhere.
  explicit WritableFile(const std::filesystem::path& path);
  explicit WritableFile(const std::string&) = delete;  // a path comes from platform::FsPath

  const platform::File& file() const { return file_; }
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

  // Bytes as the file holds them now (read from the file, not through a
  // container's read-ahead); false when the file ends before them.
  bool readNow(uint64_t offset, std::span<uint8_t> out) const;
  // What tells that another program changed the file since this handle
  // last did (opened, wrote, reserved or cut it): its size, or its change
  // time, which every write moves. Empty when neither differs; a change
  // within the same tick of the clock shows in neither.
  std::string changeByOthers() const;
  // The file's size now.
  uint64_t currentSize() const;

 private:
  void noteState();
  platform::FileStatus statusNow() const;

  platform::File file_;
  WriteHooks* hooks_;
  uint64_t size_ = 0;
  uint64_t bytesWritten_ = 0;
  bool writeAttempted_ = false;
  // Size and change time after this handle's last change.
  uint64_t leftSize_ = 0;
  platform::FileTime leftChange_;
};

}  // namespace fendrik::cfb::detail
