#include "properties/cfb/FileLock.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace fendrik::cfb::detail {

int lockWholeFile(int fd, short type, std::chrono::milliseconds wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, also as it grows
  const auto deadline = std::chrono::steady_clock::now() + wait;
  // A free file costs one fcntl. A conflicting lock is tried again after
  // 1, 2, 4 ... ms (at most 20 ms apart), so that a short transaction of the
  // other side is waited for without many system calls.
  std::chrono::milliseconds pause{1};
  for (;;) {
    if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return 0;
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN && err != EACCES) return err;
    if (std::chrono::steady_clock::now() >= deadline) return err;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds{20});
  }
}

void unlockWholeFile(int fd) {
  struct flock lock {};
  lock.l_type = F_UNLCK;
  lock.l_whence = SEEK_SET;
  ::fcntl(fd, F_OFD_SETLK, &lock);
}

}  // namespace fendrik::cfb::detail
