#pragma once

// What tests need of the system that differs between POSIX and Windows:
// folders an ordinary user cannot list, symbolic links, FIFOs, the longest
// path, the file-size limit, the local time zone and the system's numbers
// for the errors the tests provoke. Where a system lacks the means, the
// helper says so and the test skips that part with the reason, printed once
// per run (SkipHere).

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <system_error>

#include "properties/platform/Files.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#endif

namespace fendrik::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// Prints "skipped here: <reason>" the first time a reason comes up in this
// run and gives true, so that a table row or a part of a test can be left out
// where the system cannot do it: `if (SkipHere(!CanMakeLinks(), "...")) continue;`.
inline bool SkipHere(bool skip, const std::string& reason) {
  if (!skip) return false;
  static std::set<std::string> told;
  if (told.insert(reason).second) std::printf("[  SKIPPED ] skipped here: %s\n", reason.c_str());
  return true;
}

// `path` with "/" written as the system's separator, as the program writes
// the paths it puts together.
inline std::string Native(std::string path) {
  if constexpr (platform::kPathSeparator != '/')
    for (char& c : path)
      if (c == '/') c = platform::kPathSeparator;
  return path;
}

// The system's numbers (SystemError::code) for the errors tests provoke.
struct ErrorCodes {
  int notFound;      // a missing file or folder
  int notAFolder;    // a path that leads through a file
  int accessDenied;  // a folder the user may not list
  int linkLoop;      // links that lead to each other
  int nameTooLong;   // a path longer than the system opens
};
#ifdef _WIN32
inline constexpr ErrorCodes kCodes{ERROR_PATH_NOT_FOUND, ERROR_DIRECTORY, ERROR_ACCESS_DENIED,
                                   ERROR_CANT_RESOLVE_FILENAME, ERROR_FILENAME_EXCED_RANGE};
// The longest path Windows opens in the "\\?\" form.
inline constexpr size_t kMaxPath = 32767;
#else
inline constexpr ErrorCodes kCodes{ENOENT, ENOTDIR, EACCES, ELOOP, ENAMETOOLONG};
inline constexpr size_t kMaxPath = PATH_MAX;
#endif

// Whether an ordinary user can be kept out of a folder by its mode
// (DenyListing); Windows folders have no mode bits, and their access lists
// do not keep an administrator out.
inline constexpr bool kFolderModes = !kWindows;

// Takes every right on the folder from everyone but the super-user, and
// gives it back to the owner.
inline void DenyListing(const std::string& path) {
#ifndef _WIN32
  ::chmod(path.c_str(), 0);
#else
  (void)path;
#endif
}
inline void AllowListing(const std::string& path) {
#ifndef _WIN32
  ::chmod(path.c_str(), 0700);
#else
  (void)path;
#endif
}

// Whether the test runs as the super-user, who must take another user's
// rights to be kept out of a folder; never on Windows.
inline bool IsSuperUser() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

// Lets everyone list the folder (mode 0755), so that another user reaches
// what lies in it; nothing to do on Windows.
inline void AllowEveryoneToList(const std::string& path) {
#ifndef _WIN32
  ::chmod(path.c_str(), 0755);
#else
  (void)path;
#endif
}

// Whether tests may make symbolic links: Windows lets only administrators
// and developer mode make them; one is tried once.
inline bool CanMakeLinks() {
#ifdef _WIN32
  static const bool can = [] {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
    const std::filesystem::path link = folder / ("fendrik-link-probe-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directory_symlink(folder, link, error);
    const bool made = !error;
    std::filesystem::remove(link, error);
    return made;
  }();
  return can;
#else
  return true;
#endif
}

// Makes a FIFO at `path`; false where the system has none.
inline bool MakeFifo(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// The files (POSIX) or handles (Windows) this process holds open.
inline long OpenFileCount() {
#ifdef _WIN32
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<long>(count);
#else
  return static_cast<long>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
#endif
}

// The CPU time the calling thread has spent, in milliseconds.
inline double ThreadCpuMilliseconds() {
#ifdef _WIN32
  FILETIME created{}, exited{}, kernel{}, user{};
  GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user);
  auto ticks = [](const FILETIME& t) { return (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return static_cast<double>(ticks(kernel) + ticks(user)) / 1e4;
#else
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
#endif
}

// Sets the local time zone of this process from a POSIX TZ text ("CET-1":
// an hour ahead of UTC all year). Windows takes the zone of the system for
// the program's local times, which a test cannot change: false there.
inline bool SetTimeZone(const char* posixZone) {
#ifdef _WIN32
  (void)posixZone;
  return false;
#else
  ::setenv("TZ", posixZone, 1);
  ::tzset();
  return true;
#endif
}

// While it lives, every write beyond `bytes` fails as on a full disk (the
// process's file-size limit, its signal ignored); ok() is false where the
// system has no such limit.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(uint64_t bytes) {
#ifndef _WIN32
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &previous_);
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit small = saved_;
    small.rlim_cur = static_cast<rlim_t>(bytes);
    ok_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
#else
    (void)bytes;
#endif
  }
  ~FileSizeLimit() {
#ifndef _WIN32
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    sigaction(SIGXFSZ, &previous_, nullptr);
#endif
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
#ifndef _WIN32
  struct sigaction previous_ {};
  rlimit saved_{};
#endif
};

}  // namespace fendrik::test
