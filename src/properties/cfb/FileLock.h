#pragma once

// Advisory locks on a whole compound file, the same range for our readers and
// our writer: open-file-description locks (F_OFD_SETLK), which conflict with
// the record locks of other processes and, unlike classic POSIX locks, are not
// dropped when the process closes another descriptor of the file. The writer
// holds the exclusive lock for its whole transaction; readers hold a shared
// one while they read, so that a reader never sees half of a change.

#include <chrono>

namespace fendrik::cfb::detail {

// Takes the lock (F_RDLCK or F_WRLCK) on the whole file, waiting up to `wait`
// while another holds a conflicting lock. Returns 0 when locked, else the
// errno of the last attempt (EAGAIN or EACCES: still held by another after
// the wait; others: the file system offers no such locks).
int lockWholeFile(int fd, short type, std::chrono::milliseconds wait);

// Gives the lock up again (the descriptor stays open).
void unlockWholeFile(int fd);

}  // namespace fendrik::cfb::detail
