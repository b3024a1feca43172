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
  // The file's status once it was locked (identity, size, times).
  const platform::FileStatus& lockedStatus() const { return locked_; }
  // Errors: kDiskFull for a full disk or quota, kWriteFault for any other
  // (an I/O error above all).
  void write(uint64_t offset, std::span<const uint8_t> bytes);
  // Flushes to the disk; first notes the state the handle's writes left
  // (see changeByOthers), unless `noteState` is false: for the last flush,
  // after which the file's state is compared with nothing.
  void sync(bool noteState = true);
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
  // Like readNow, but gives how many bytes the file held there (fewer than
  // out.size() where it ends).
  size_t readNowUpTo(uint64_t offset, std::span<uint8_t> out) const;
  // What tells that another program changed the file since this handle
  // last did (opened, wrote, reserved or cut it): its size, or its change
  // time, which every write moves. Empty when neither differs; a change
  // within the same tick of the clock shows in neither.
  // The size and change time after the handle's own change are noted when
  // it is done: after a run of writes at the next flush (sync, before the
  // flush itself; not at the last one), after a cut at once. Only that state is ever compared
  // (the writer checks after a flush, or after an error that cuts the file
  // back), so one status per run of writes suffices where one per write
  // would cost a round trip each on a file share. Asked before the state of
  // its last change was noted, it cannot rule a change out and says so.
  std::string changeByOthers() const;
  // The file's size now.
  uint64_t currentSize() const;
  // Its size when the state was last noted (see changeByOthers); writes
  // since then that lay inside the file left it so.
  uint64_t notedSize() const { return leftSize_; }

 private:
  void noteState();
  void noteState(const platform::FileStatus& status);
  platform::FileStatus statusNow() const;

  platform::File file_;
  WriteHooks* hooks_;
  platform::FileStatus locked_;
  uint64_t size_ = 0;
  uint64_t bytesWritten_ = 0;
  bool writeAttempted_ = false;
  // Size and change time after this handle's last change, and whether it
  // changed the file since they were noted.
  uint64_t leftSize_ = 0;
  platform::FileTime leftChange_;
  bool stateOwed_ = false;
};

}  // namespace fendrik::cfb::detail
