#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// windows.h names its own ReplaceFileW so; ours is platform::ReplaceFile.
#undef ReplaceFile

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>

#include "properties/platform/Files.h"
#include "properties/platform/win32/Win32Convert.h"

namespace fendrik::platform {
namespace win32 {

Fault FaultOfError(uint32_t code) {
  switch (code) {
    case ERROR_SUCCESS:
      return Fault::none;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_DIRECTORY:  // a file where the path needs a folder (POSIX ENOTDIR)
      return Fault::notFound;
    case ERROR_FILENAME_EXCED_RANGE:
      return Fault::nameTooLong;
    case ERROR_CANT_RESOLVE_FILENAME:
      return Fault::linkLoop;
    case ERROR_INVALID_NAME:
      return Fault::invalidName;
    case ERROR_ACCESS_DENIED:
      return Fault::accessDenied;
    case ERROR_WRITE_PROTECT:
      return Fault::readOnlyMedium;
    case ERROR_SHARING_VIOLATION:
      return Fault::inUse;
    case ERROR_LOCK_VIOLATION:
      return Fault::locked;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      return Fault::diskFull;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      return Fault::ioError;
    case ERROR_TOO_MANY_OPEN_FILES:
      return Fault::tooManyOpen;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return Fault::outOfMemory;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return Fault::notSupported;
    default:
      return Fault::other;
  }
}

FileTime TimeOfTicks(int64_t ticks) {
  // 1970-01-01 is 11644473600 seconds after 1601-01-01.
  constexpr int64_t kTicksPerSecond = 10'000'000;
  constexpr int64_t kSecondsTo1970 = 11'644'473'600;
  // Whole seconds rounded down, so that the remainder is never negative.
  int64_t seconds = ticks / kTicksPerSecond;
  int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    seconds -= 1;
    rest += kTicksPerSecond;
  }
  return {seconds - kSecondsTo1970, static_cast<int32_t>(rest * 100)};
}

std::string Utf8Of(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int length = static_cast<int>(std::min<size_t>(wide.size(), std::numeric_limits<int>::max()));
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(std::max(bytes, 0)), '\0');
  if (bytes > 0) ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), length, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

namespace {

bool StartsWith(std::wstring_view text, std::wstring_view head) { return text.substr(0, head.size()) == head; }

}  // namespace

SystemError SystemPath(std::string_view utf8, std::wstring& wide) {
  wide.clear();
  if (utf8.empty()) return {Fault::notFound, ERROR_PATH_NOT_FOUND};
  // The system would read the name only up to a NUL and open another file.
  if (utf8.find('\0') != std::string_view::npos) return {Fault::invalidName, ERROR_INVALID_NAME};
  if (utf8.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
    return {Fault::nameTooLong, ERROR_FILENAME_EXCED_RANGE};
  const int length = static_cast<int>(utf8.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
  if (units <= 0) return {Fault::invalidName, static_cast<int>(::GetLastError())};
  std::wstring given(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, given.data(), units);
  std::replace(given.begin(), given.end(), L'/', L'\\');
  if (StartsWith(given, L"\\\\?\\") || StartsWith(given, L"\\\\.\\")) {
    wide = std::move(given);
    return {};
  }
  // Absolute, with "." and ".." resolved: the "\\?\" form takes every name
  // literally.
  std::wstring full;
  DWORD size = ::GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  for (;;) {
    if (size == 0) return LastError();
    full.assign(size, L'\0');
    const DWORD written = ::GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
    if (written == 0) return LastError();
    if (written < size) {
      full.resize(written);
      break;
    }
    size = written;  // the current folder changed meanwhile and grew
  }
  if (StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) {
    wide = std::move(full);
  } else if (StartsWith(full, L"\\\\")) {
    wide = L"\\\\?\\UNC\\" + full.substr(2);
  } else {
    wide = L"\\\\?\\" + full;
  }
  // Longer than any path or name Windows keeps (32,767 units; 255 for one
  // name): too long, said before the file system is asked, which may call it
  // only "not found".
  bool nameTooLong = wide.size() > kMaxPathUnits;
  for (size_t k = 0, run = 0; k < wide.size() && !nameTooLong; ++k) {
    run = wide[k] == L'\\' ? 0 : run + 1;
    nameTooLong = run > kMaxNameUnits;
  }
  if (nameTooLong) {
    wide.clear();
    return {Fault::nameTooLong, ERROR_FILENAME_EXCED_RANGE};
  }
  return {};
}

}  // namespace win32

namespace {

using win32::SystemPath;
using win32::Utf8Of;

SystemError ErrorOf(DWORD code) { return {win32::FaultOfError(code), static_cast<int>(code)}; }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

// The most one ReadFile or WriteFile call moves.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// A link in the sense of LinkStatusOf: a symbolic link or a junction; other
// reparse points (files kept in the cloud, deduplicated files) are files.
bool IsLinkTag(DWORD tag) { return tag == IO_REPARSE_TAG_SYMLINK || tag == IO_REPARSE_TAG_MOUNT_POINT; }

SystemError StatusOfHandle(HANDLE handle, FileStatus& status, bool linkItself) {
  status = {};
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(handle, &info)) return LastError();
  FILE_BASIC_INFO basic{};
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) return LastError();
  const DWORD attributes = info.dwFileAttributes;
  status.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::folder : Kind::file;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0 || ::GetFileType(handle) != FILE_TYPE_DISK) status.kind = Kind::other;
  if (linkItself && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) && IsLinkTag(tag.ReparseTag))
      status.kind = Kind::other;
  }
  status.size = status.kind == Kind::folder ? 0 : (uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  status.identity = {info.dwVolumeSerialNumber, (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  status.modified = win32::TimeOfTicks(basic.LastWriteTime.QuadPart);
  status.changed = win32::TimeOfTicks(basic.ChangeTime.QuadPart);
  status.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  return {};
}

// Opens for the status only: reading attributes needs no share mode of its
// own, so another program's open, with whatever sharing, never stands in the
// way, and this open stands in nobody's.
SystemError StatusOfPath(const std::string& path, FileStatus& status, bool linkItself) {
  status = {};
  std::wstring wide;
  if (const SystemError error = SystemPath(path, wide)) return error;
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (linkItself) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  HANDLE handle = ::CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  const SystemError error = StatusOfHandle(handle, status, linkItself);
  ::CloseHandle(handle);
  return error;
}

}  // namespace

SystemError LastError() { return ErrorOf(::GetLastError()); }

std::string SystemText(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
      static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0,
      nullptr);
  std::string text = length > 0 && buffer != nullptr ? Utf8Of(std::wstring_view(buffer, length)) : std::string();
  if (buffer != nullptr) ::LocalFree(buffer);
  // The system's texts end in a line break, sometimes with spaces before it.
  const auto last = text.find_last_not_of(" \t\r\n");
  text.erase(last == std::string::npos ? 0 : last + 1);
  const auto first = text.find_first_not_of(" \t\r\n");
  text.erase(0, first == std::string::npos ? text.size() : first);
  if (text.empty()) text = "Unbekannter Fehler";
  return text + " (Systemfehler " + std::to_string(code) + ")";
}

SystemError StatusOf(const std::string& path, FileStatus& status) { return StatusOfPath(path, status, false); }
SystemError LinkStatusOf(const std::string& path, FileStatus& status) { return StatusOfPath(path, status, true); }

File::~File() {
  if (handle_ != kNone) ::CloseHandle(handle_);
}

SystemError File::open(const std::string& path, Mode mode) {
  close();
  std::wstring wide;
  if (const SystemError error = SystemPath(path, wide)) return error;
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case Mode::read:
      // Never in the way of another program, not even one that renames or
      // deletes the file meanwhile.
      share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
      break;
    case Mode::readWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      break;
    case Mode::createNew:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  // Backup semantics let a folder open too, so that status() can tell it.
  HANDLE handle = ::CreateFileW(wide.c_str(), access, share, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return LastError();
  handle_ = handle;
  return {};
}

bool File::isOpen() const { return handle_ != kNone; }

SystemError File::close() {
  if (handle_ == kNone) return {};
  HANDLE handle = std::exchange(handle_, kNone);
  locked_ = false;
  return ::CloseHandle(handle) ? SystemError{} : LastError();
}

SystemError File::status(FileStatus& status) const { return StatusOfHandle(handle_, status, false); }

SystemError File::readAt(uint64_t offset, std::span<uint8_t> out, size_t& got) const {
  got = 0;
  while (got < out.size()) {
    OVERLAPPED at = At(offset + got);
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(out.size() - got, kMaxTransfer));
    if (!::ReadFile(handle_, out.data() + got, chunk, &n, &at)) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      return ErrorOf(code);
    }
    if (n == 0) break;
    got += n;
  }
  return {};
}

SystemError File::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
    if (!::WriteFile(handle_, bytes.data() + done, chunk, &n, &at)) return LastError();
    if (n == 0) return ErrorOf(ERROR_WRITE_FAULT);
    done += n;
  }
  return {};
}

SystemError File::flush() { return ::FlushFileBuffers(handle_) ? SystemError{} : LastError(); }

SystemError File::reserve(uint64_t size) {
  LARGE_INTEGER current{};
  if (!::GetFileSizeEx(handle_, &current)) return LastError();
  if (size <= static_cast<uint64_t>(current.QuadPart)) return {};
  // The clusters first, then the length. Setting the length alone allocates
  // the clusters too on NTFS, so a file system (or Wine) that cannot reserve
  // still shows a full disk here and not at a later write.
  FILE_ALLOCATION_INFO allocation{};
  allocation.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(handle_, FileAllocationInfo, &allocation, sizeof allocation)) {
    const SystemError error = LastError();
    if (error.fault == Fault::diskFull) return error;
  }
  return resize(size);
}

SystemError File::resize(uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  return ::SetFileInformationByHandle(handle_, FileEndOfFileInfo, &end, sizeof end) ? SystemError{} : LastError();
}

SystemError File::lock(Lock kind, int waitMilliseconds) {
  DWORD flags = LOCKFILE_FAIL_IMMEDIATELY;
  if (kind == Lock::exclusive) flags |= LOCKFILE_EXCLUSIVE_LOCK;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  // As on POSIX: a free file costs one call; a conflicting lock is tried
  // again after 1, 2, 4 ... ms (at most 20 ms apart).
  std::chrono::milliseconds pause{1};
  for (;;) {
    OVERLAPPED at = At(kLockOffset);
    if (::LockFileEx(handle_, flags, 0, static_cast<DWORD>(kLockLength), static_cast<DWORD>(kLockLength >> 32),
                     &at)) {
      locked_ = true;
      return {};
    }
    const DWORD code = ::GetLastError();
    if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) return ErrorOf(code);
    if (std::chrono::steady_clock::now() >= deadline) return {Fault::locked, static_cast<int>(code)};
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds{20});
  }
}

void File::unlock() {
  if (!locked_) return;
  OVERLAPPED at = At(kLockOffset);
  ::UnlockFileEx(handle_, 0, static_cast<DWORD>(kLockLength), static_cast<DWORD>(kLockLength >> 32), &at);
  locked_ = false;
}

SystemError ReplaceFile(const std::string& from, const std::string& to) {
  std::wstring wideFrom, wideTo;
  if (const SystemError error = SystemPath(from, wideFrom)) return error;
  if (const SystemError error = SystemPath(to, wideTo)) return error;
  return ::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
             ? SystemError{}
             : LastError();
}

SystemError RemoveFile(const std::string& path) {
  std::wstring wide;
  if (const SystemError error = SystemPath(path, wide)) return error;
  return ::DeleteFileW(wide.c_str()) ? SystemError{} : LastError();
}

SystemError ListFolder(const std::string& path, FileIdentity& identity,
                       const std::function<void(const FolderEntry&)>& entry) {
  // The folder itself, held open while it is listed, for its identity. It is
  // opened without separators at the end (but a drive's root keeps its own):
  // Windows calls "file.par\" an invalid name, where the walk needs to hear
  // that there is no such folder.
  std::string_view own = path;
  while (own.size() > 1 && (own.back() == '\\' || own.back() == '/') && own[own.size() - 2] != ':') own.remove_suffix(1);
  File folder;
  if (const SystemError error = folder.open(std::string(own), File::Mode::read)) return error;
  FileStatus self;
  if (const SystemError error = folder.status(self)) return error;
  if (self.kind != Kind::folder) return ErrorOf(ERROR_DIRECTORY);
  identity = self.identity;

  std::wstring pattern;
  if (const SystemError error = SystemPath(path, pattern)) return error;
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD code = ::GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES ? SystemError{} : ErrorOf(code);
  }
  const bool endsWithSeparator = !path.empty() && (path.back() == '/' || path.back() == '\\');
  SystemError result;
  do {
    const std::wstring_view wideName(found.cFileName);
    if (wideName == L"." || wideName == L"..") continue;
    const std::string name = Utf8Of(wideName);
    FolderEntry item{name, Kind::file, {}};
    const DWORD attributes = found.dwFileAttributes;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      // A link counts by what it points to.
      FileStatus target;
      const SystemError error = StatusOf(endsWithSeparator ? path + name : path + '\\' + name, target);
      if (!error) {
        item.kind = target.kind;
      } else if (error.fault == Fault::notFound) {
        item.kind = Kind::missing;
      } else {
        item.kind = Kind::other;
        item.error = error;
      }
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      item.kind = Kind::folder;
    } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
      item.kind = Kind::other;
    }
    entry(item);
  } while (::FindNextFileW(search, &found));
  const DWORD code = ::GetLastError();
  if (code != ERROR_NO_MORE_FILES) result = ErrorOf(code);
  ::FindClose(search);
  return result;
}

std::filesystem::path FsPath(std::string_view utf8) {
  // Invalid UTF-8 becomes U+FFFD rather than an exception: such a path names
  // nothing the system would find anyway.
  if (utf8.empty()) return {};
  const int length = static_cast<int>(std::min<size_t>(utf8.size(), std::numeric_limits<int>::max()));
  const int units = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(std::max(units, 0)), L'\0');
  if (units > 0) ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, wide.data(), units);
  return std::filesystem::path(std::move(wide));
}

std::string Utf8Path(const std::filesystem::path& path) { return Utf8Of(path.native()); }

SystemError WriteStandardOutput(std::string_view bytes) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || out == nullptr) return ErrorOf(ERROR_INVALID_HANDLE);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD n = 0;
    const auto chunk = static_cast<DWORD>(std::min(bytes.size() - done, kMaxTransfer));
    if (!::WriteFile(out, bytes.data() + done, chunk, &n, nullptr)) return LastError();
    if (n == 0) return ErrorOf(ERROR_WRITE_FAULT);
    done += n;
  }
  return {};
}

}  // namespace fendrik::platform
