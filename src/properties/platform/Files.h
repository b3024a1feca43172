#pragma once

// The one place that talks to the operating system about files, folders and
// errors. Two implementations stand behind this interface: posix/ (Linux) and
// win32/ (Windows); CMake builds the one of the target system. Nothing above
// this folder knows which system it runs on.
//
// Paths are UTF-8 strings everywhere in the program. On POSIX they are the
// system's own bytes, whatever they are; on Windows they are converted to
// UTF-16 here, with forward slashes turned into backslashes and the "\\?\"
// form for absolute paths, so that paths longer than 260 characters work. A
// path that holds a NUL character, or on Windows is no valid UTF-8, is
// refused with Fault::invalidName before anything is opened.
//
// No function here throws; each returns a SystemError, empty on success.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace fendrik::platform {

// The separator this system writes between folders ('/' or '\\').
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// What went wrong, in the terms the program reports; the same on every system.
enum class Fault : uint8_t {
  none,
  notFound,        // the file or a folder on its path does not exist
  nameTooLong,     // the path or a name on it is longer than the system allows
  linkLoop,        // symbolic links on the path point at each other
  invalidName,     // a path the system cannot take (a NUL; on Windows no UTF-8)
  accessDenied,    // no right to open the file this way
  readOnlyMedium,  // the medium is read-only
  inUse,           // another program has the file open without sharing it
  locked,          // another program holds a conflicting lock
  diskFull,        // no room left on the disk, or over a quota or size limit
  ioError,         // the disk reported an error
  tooManyOpen,     // the process or system has too many files open
  outOfMemory,     // the system lacks memory for the call
  notSupported,    // the file system does not offer the operation
  other,
};

struct SystemError {
  Fault fault = Fault::none;
  // The system's own number: errno on POSIX, GetLastError() on Windows;
  // 0 for a fault that no system call gave (one a test made up).
  int code = 0;
  constexpr explicit operator bool() const { return fault != Fault::none; }
  constexpr bool operator==(const SystemError&) const = default;
};

// A fault as a test hook makes it up, the same on every system.
constexpr SystemError Simulated(Fault fault) { return {fault, 0}; }

// The error of the last failed system call of this thread.
SystemError LastError();

// What the program tells the user about an error: German words for the
// faults it knows ("Datei nicht gefunden", "Der Datenträger ist voll", ...),
// for any other the system's own text and number.
std::string ErrorText(const SystemError& error);

// The system's own text for its number, and the number ("... (Systemfehler 5)").
std::string SystemText(int code);

enum class Kind : uint8_t { missing, file, folder, other };

// Which file it is on its disk: device and inode on POSIX, volume serial
// number and file index on Windows.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t index = 0;
  constexpr bool operator==(const FileIdentity&) const = default;
  constexpr auto operator<=>(const FileIdentity&) const = default;
};

// Times are seconds and nanoseconds since 1970-01-01 UTC; before 1970 negative.
struct FileTime {
  int64_t seconds = 0;
  int32_t nanoseconds = 0;
  constexpr bool operator==(const FileTime&) const = default;
};

struct FileStatus {
  Kind kind = Kind::missing;
  uint64_t size = 0;
  FileIdentity identity;
  FileTime modified;
  // The time of the last change of content or metadata (POSIX ctime, NTFS
  // ChangeTime): every write moves it, and a program cannot set it back.
  FileTime changed;
  // Windows' read-only attribute; on POSIX, a file without any write bit.
  bool readOnly = false;
};

// The status of what `path` names, following symbolic links. A missing file
// gives Fault::notFound with kind missing.
SystemError StatusOf(const std::string& path, FileStatus& status);

// The status of the link itself, not what it points to (kind other for a
// link); on Windows the same as StatusOf for anything but a reparse point.
SystemError LinkStatusOf(const std::string& path, FileStatus& status);

// One open file, closed by the destructor.
class File {
 public:
  enum class Mode : uint8_t {
    // Reading, never blocking another program: POSIX O_RDONLY|O_NONBLOCK
    // (a FIFO does not block the open); Windows shares read, write and delete.
    read,
    // Reading and writing in place; Windows shares read only, so no other
    // program writes the file meanwhile (a program that has it open for
    // writing makes the open fail with Fault::inUse).
    readWrite,
    // A new file for writing that must not exist yet (O_EXCL, CREATE_NEW).
    createNew,
  };
  enum class Lock : uint8_t { shared, exclusive };

  File() = default;
  ~File();
  File(File&& other) noexcept
      : handle_(std::exchange(other.handle_, kNone)), locked_(std::exchange(other.locked_, false)) {}
  File& operator=(File&& other) noexcept {
    std::swap(handle_, other.handle_);
    std::swap(locked_, other.locked_);
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  SystemError open(const std::string& path, Mode mode);
  bool isOpen() const;
  // Closes now and gives the error of the close (a delayed write error on
  // some file systems); the destructor ignores it.
  SystemError close();

  SystemError status(FileStatus& status) const;

  // Reads up to out.size() bytes at `offset`; `got` is fewer only where the
  // file ends. Retries interrupted calls and short reads.
  SystemError readAt(uint64_t offset, std::span<uint8_t> out, size_t& got) const;
  // Writes all of `bytes` at `offset`, or fails.
  SystemError writeAt(uint64_t offset, std::span<const uint8_t> bytes);
  // Makes everything written so far durable (fsync, FlushFileBuffers).
  SystemError flush();
  // Grows the file to `size` with its disk space reserved, so that a full
  // disk shows now and not at a later write; notSupported where the file
  // system cannot reserve (the caller may go on).
  SystemError reserve(uint64_t size);
  // Sets the file's length.
  SystemError resize(uint64_t size);

  // Takes the program's lock on the file, waiting while another holds a
  // conflicting one; Fault::locked once that lasts longer than
  // `waitMilliseconds`. Our readers take it shared, our writer exclusive.
  // The lock never stops a read or write of the file's bytes: on POSIX it is
  // an advisory lock on the whole file (open-file-description lock); Windows
  // locks are mandatory, so there it covers bytes far beyond any data
  // (kLockOffset) that nobody reads or writes.
  SystemError lock(Lock kind, int waitMilliseconds);
  void unlock();

#ifdef _WIN32
  using Native = void*;
  static constexpr Native kNone = nullptr;
#else
  using Native = int;
  static constexpr Native kNone = -1;
#endif
  Native native() const { return handle_; }

 private:
  Native handle_ = kNone;
  bool locked_ = false;
};

// Where the Windows implementation takes its locks: 2^62, a place no
// document reaches, so that the mandatory locks of Windows never cover data.
inline constexpr uint64_t kLockOffset = uint64_t{1} << 62;
inline constexpr uint64_t kLockLength = 1;

// Puts `from` in place of `to` in one step (rename; Windows MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). Fails with inUse on
// Windows while another program has `to` open without delete sharing.
SystemError ReplaceFile(const std::string& from, const std::string& to);

// Removes a file (not a folder).
SystemError RemoveFile(const std::string& path);

// One entry of a folder as ListFolder reports it.
struct FolderEntry {
  std::string_view name;
  // For a symbolic link (or Windows reparse point): the kind of its target;
  // missing for a link to nothing.
  Kind kind = Kind::other;
  // Set when a link's target could not be examined (a loop, no right to
  // look); kind is other then.
  SystemError error;
};

// Lists the folder `path` (without "." and ".."), calling `entry` for each in
// the order the file system gives them; `identity` is the folder's own, set
// before the first call of `entry` (the walk skips a folder it has seen). An
// error that ends the listing early is returned after the entries before it.
// Holds one folder open while it runs, and none after.
SystemError ListFolder(const std::string& path, FileIdentity& identity,
                       const std::function<void(const FolderEntry&)>& entry);

// A UTF-8 path string as std::filesystem wants it, and back; on Windows the
// narrow form of a path would be the ANSI code page, never UTF-8.
std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// Writes all bytes to the process's standard output. A full disk, or a pipe
// whose reader has gone, gives its error (UseUtf8Terminal keeps the program
// from being ended by a signal for the latter).
SystemError WriteStandardOutput(std::string_view bytes);

}  // namespace fendrik::platform
