#pragma once

// What tests do that differs per system: child processes with a memory limit,
// a file-size limit standing in for a full disk, holes in sparse files, and
// which of these the system offers at all. A test that needs one of them asks
// first (NoChildProcesses() ...) and skips with the reason where it is
// missing.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#ifdef _WIN32
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#endif

namespace fendrik::test::system {

// Why the system cannot do it; nullptr where it can.
inline const char* NoChildProcesses() {
#ifdef _WIN32
  return "Windows has no fork(): the test's work cannot run in a child process with a memory limit";
#else
  return nullptr;
#endif
}

inline const char* NoFileSizeLimit() {
#ifdef _WIN32
  return "Windows has no limit of the file size per process to stand in for a full disk";
#else
  return nullptr;
#endif
}

// Share modes: whether another program's open for writing makes our open
// for writing fail (Windows), or nothing stops it (POSIX).
inline const char* NoShareModes() {
#ifdef _WIN32
  return nullptr;
#else
  return "POSIX has no share modes: a second open of a file for writing always succeeds";
#endif
}

// Whether the tests can act as another, ordinary user (the super-user on
// POSIX becomes "nobody" for a while).
inline const char* NoOtherUsers() {
#ifdef _WIN32
  return "Windows tests cannot act as another user";
#else
  return nullptr;
#endif
}

// Gives `folder` and everything in it to the ordinary user AsOrdinaryUser
// acts as: "nobody" when the tests run as the super-user, else this user.
// Only where NoOtherUsers() is nullptr; false when the system refused.
inline bool HandToOrdinaryUser([[maybe_unused]] const std::filesystem::path& folder) {
#ifdef _WIN32
  return false;
#else
  const bool root = ::geteuid() == 0;
  if (root)
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
      if (::chown(entry.path().c_str(), 65534, 65534) != 0) return false;
  return ::chown(folder.c_str(), root ? 65534 : ::geteuid(), static_cast<gid_t>(-1)) == 0;
#endif
}

// The owner of a file as the system tells it ("1000:1000", user and group on
// POSIX); empty where the tests do not look at owners.
inline std::string OwnerOf([[maybe_unused]] const std::filesystem::path& path) {
#ifdef _WIN32
  return {};
#else
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0) return "?";
  return std::to_string(facts.st_uid) + ":" + std::to_string(facts.st_gid);
#endif
}

// What a child process reported: the text `work` returned, whether the child
// ended normally with it, and its peak memory.
struct ChildReport {
  bool ended = false;
  std::string text;
  long peakKiB = 0;
};

// Runs `work` in a child process whose address space may grow by `extraMiB`
// beyond what it holds at the start (no limit for 0, and none under
// AddressSanitizer, whose shadow memory takes terabytes of address space).
// Only where NoChildProcesses() is nullptr.
inline ChildReport RunInChild([[maybe_unused]] size_t extraMiB, [[maybe_unused]] const std::function<std::string()>& work) {
  ChildReport report;
#ifndef _WIN32
  int channel[2];
  if (::pipe(channel) != 0) return report;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(channel[0]);
#ifndef __SANITIZE_ADDRESS__
    if (extraMiB > 0) {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlim_t limit =
          static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (rlim_t{extraMiB} << 20);
      const struct rlimit address {limit, limit};
      ::setrlimit(RLIMIT_AS, &address);
    }
#endif
    const std::string text = work();
    const bool sent = ::write(channel[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(sent ? 0 : 1);
  }
  ::close(channel[1]);
  char buffer[4096];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
    report.text.append(buffer, static_cast<size_t>(n));
  ::close(channel[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  report.peakKiB = usage.ru_maxrss;
  report.ended = WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
  return report;
}


// Whether a sparse file holds data at or after `offset`; nullopt where the
// system cannot tell.
inline std::optional<bool> HasDataFrom([[maybe_unused]] const std::string& path, [[maybe_unused]] uint64_t offset) {
#ifdef _WIN32
  return std::nullopt;
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  const int error = errno;
  ::close(fd);
  if (data >= 0) return true;
  if (error == ENXIO) return false;
  return std::nullopt;
#endif
}

}  // namespace fendrik::test::system

// ---- folders, links, FIFOs, paths, error numbers and time zones ----

// What tests need of the system that differs between POSIX and Windows:
// folders an ordinary user cannot list, symbolic links, FIFOs, the longest
// path, the file-size limit, the local time zone and the system's numbers
// for the errors the tests provoke. Where a system lacks the means, the
// helper says so and the test skips that part with the reason, printed once
// per run (SkipHere).

#include <gtest/gtest.h>

#include <clocale>
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
// windows.h names Win32 functions by macros; one our platform layer uses as
// a name of its own is taken back.
#undef ReplaceFile
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

// While it lives, the whole process takes German regional settings
// (setlocale LC_ALL, as the window's toolkit takes the user's), so that
// printf writes "0,5"; ok() is false where no German locale can be had. On
// Linux one is compiled into `scratch` (localedef) when the system has none
// installed, and loaded from there through LOCPATH.
class GermanNumbers {
 public:
  explicit GermanNumbers([[maybe_unused]] const std::filesystem::path& scratch) {
    const char* before = std::setlocale(LC_ALL, nullptr);
    previous_ = before != nullptr ? before : "C";
#ifdef _WIN32
    ok_ = std::setlocale(LC_ALL, "German_Germany.1252") != nullptr || std::setlocale(LC_ALL, "de-DE") != nullptr;
#else
    ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    if (!ok_) {
      const std::string folder = (scratch / "locales").string();
      std::filesystem::create_directories(folder);
      const std::string command = "localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0) {
        // LOCPATH only while the locale is loaded: glibc's newlocale leaks
        // its copy of the variable on every call while it is set.
        const char* locpath = std::getenv("LOCPATH");
        const std::string old = locpath != nullptr ? locpath : "";
        ::setenv("LOCPATH", folder.c_str(), 1);
        ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        locpath != nullptr ? ::setenv("LOCPATH", old.c_str(), 1) : ::unsetenv("LOCPATH");
      }
    }
#endif
    char number[8];
    std::snprintf(number, sizeof number, "%.1f", 0.5);
    ok_ = ok_ && std::string(number) == "0,5";
  }
  ~GermanNumbers() { std::setlocale(LC_ALL, previous_.c_str()); }
  GermanNumbers(const GermanNumbers&) = delete;
  GermanNumbers& operator=(const GermanNumbers&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
  std::string previous_;
};

}  // namespace fendrik::test
