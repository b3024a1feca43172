#pragma once

// Acting as an ordinary user and running short of threads or open files:
// POSIX means (set*uid, resource limits, /proc). Windows tests have none of
// them; the tests that need them skip there first (TestSystem.h says why),
// and a call that comes anyway fails the test instead of running wrongly.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "TempFolder.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fendrik::test {

#ifndef _WIN32

// Threads of every process whose real user is `uid`: what the system's limit of
// processes counts.
inline rlim_t TasksOfUser(uid_t uid) {
  rlim_t count = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    // Processes only: not the links "self" and "thread-self" to this one.
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream status(entry.path() / "status");
    std::string line;
    bool ours = false;
    while (std::getline(status, line)) {
      if (line.starts_with("Uid:")) ours = std::stoul(line.substr(4)) == uid;
      if (ours && line.starts_with("Threads:")) count += std::stoul(line.substr(8));
    }
  }
  return count;
}

// The real user of this process while its threads are limited: one no other
// process has, so that the limit counts this process's threads only. Under
// "nobody", a command-line test that runs fendrik-cli as "nobody" at the same
// time moved the count between the look and the run, and the test got more or
// fewer threads than it asked for.
inline uid_t ThreadCountingUser() { return static_cast<uid_t>(50000 + ::getpid() % 10000); }

// Runs `action` with the rights of an ordinary user, who cannot list a folder of
// mode 0: the super-user is "nobody" for the call (its saved user stays root).
// With `newThreads`, the process may start only that many threads meanwhile:
// its limit of processes is set, which holds for ordinary users only, so the
// super-user's real user becomes ThreadCountingUser() (its rights to files
// stay those of "nobody").
template <typename Action>
void AsOrdinaryUser(const TempFolder& temp, Action action, std::optional<uint64_t> newThreads = std::nullopt) {
  const bool root = ::geteuid() == 0;
  if (root) {
    ::chmod(temp.str().c_str(), 0755);
    ASSERT_EQ(::setresuid(newThreads ? ThreadCountingUser() : static_cast<uid_t>(-1), 65534, 0), 0);
  }
  rlimit old{};
  ::getrlimit(RLIMIT_NPROC, &old);
  if (newThreads) {
    rlimit few = old;
    few.rlim_cur = TasksOfUser(::getuid()) + static_cast<rlim_t>(*newThreads);
    ASSERT_EQ(::setrlimit(RLIMIT_NPROC, &few), 0);
  }
  action();
  if (newThreads) ::setrlimit(RLIMIT_NPROC, &old);
  if (root) {
    ASSERT_EQ(::setresuid(0, 0, 0), 0);
  }
}

// While it lives, the process may hold only `headroom` more files open than
// it holds now (its soft limit of open files is lowered, then restored).
class FewOpenFiles {
 public:
  explicit FewOpenFiles(uint64_t headroom) {
    ::getrlimit(RLIMIT_NOFILE, &old_);
    rlimit few = old_;
    few.rlim_cur = static_cast<rlim_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})) +
                   static_cast<rlim_t>(headroom);
    ok_ = ::setrlimit(RLIMIT_NOFILE, &few) == 0;
  }
  ~FewOpenFiles() { ::setrlimit(RLIMIT_NOFILE, &old_); }
  FewOpenFiles(const FewOpenFiles&) = delete;
  FewOpenFiles& operator=(const FewOpenFiles&) = delete;
  bool ok() const { return ok_; }

 private:
  rlimit old_{};
  bool ok_ = false;
};

#else
template <typename Action>
void AsOrdinaryUser(const TempFolder&, Action, std::optional<uint64_t> = std::nullopt) {
  ADD_FAILURE() << "Windows tests cannot act as another user";
}

class FewOpenFiles {
 public:
  explicit FewOpenFiles(uint64_t) {}
  bool ok() const { return false; }
};
#endif

}  // namespace fendrik::test
