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

// Files of this process may not grow beyond `bytes` while it lives: writing
// past fails as on a full disk. Only where NoFileSizeLimit() is nullptr.
class FileSizeLimit {
 public:
  explicit FileSizeLimit([[maybe_unused]] uint64_t bytes) {
#ifndef _WIN32
    ::getrlimit(RLIMIT_FSIZE, &old_);
    struct rlimit limit = old_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
#endif
  }
  ~FileSizeLimit() {
#ifndef _WIN32
    ::setrlimit(RLIMIT_FSIZE, &old_);
#endif
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
#ifndef _WIN32
  struct rlimit old_ {};
#endif
};

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
