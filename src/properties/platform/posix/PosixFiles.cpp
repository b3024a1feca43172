#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>

#include "properties/platform/Files.h"

namespace fendrik::platform {
namespace {

SystemError FromErrno(int err) {
  switch (err) {
    case 0:
      return {};
    case ENOENT:
    case ENOTDIR:
      return {Fault::notFound, err};
    case ENAMETOOLONG:
      return {Fault::nameTooLong, err};
    case ELOOP:
      return {Fault::linkLoop, err};
    case EACCES:
    case EPERM:
      return {Fault::accessDenied, err};
    case EROFS:
      return {Fault::readOnlyMedium, err};
    case ETXTBSY:
      return {Fault::inUse, err};
    case EAGAIN:
      return {Fault::locked, err};
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return {Fault::diskFull, err};
    case EIO:
      return {Fault::ioError, err};
    case EMFILE:
    case ENFILE:
      return {Fault::tooManyOpen, err};
    case ENOMEM:
      return {Fault::outOfMemory, err};
    case EOPNOTSUPP:
    case ENOSYS:
      return {Fault::notSupported, err};
    default:
      return {Fault::other, err};
  }
}

// The system reads a path up to its first NUL byte: the rest would be
// dropped unseen, and another file opened.
bool HasNul(const std::string& path) { return path.find('\0') != std::string::npos; }

FileTime TimeOf(const timespec& t) { return {static_cast<int64_t>(t.tv_sec), static_cast<int32_t>(t.tv_nsec)}; }

void Fill(const struct stat& st, FileStatus& status) {
  status.kind = S_ISREG(st.st_mode) ? Kind::file : S_ISDIR(st.st_mode) ? Kind::folder : Kind::other;
  status.size = static_cast<uint64_t>(st.st_size);
  status.identity = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  status.modified = TimeOf(st.st_mtim);
  status.changed = TimeOf(st.st_ctim);
  status.readOnly = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

SystemError StatusWith(int (*call)(const char*, struct stat*), const std::string& path, FileStatus& status) {
  status = {};
  if (HasNul(path)) return {Fault::invalidName, EINVAL};
  struct stat st {};
  if (call(path.c_str(), &st) != 0) return LastError();
  Fill(st, status);
  return {};
}

}  // namespace

SystemError LastError() { return FromErrno(errno); }

std::string SystemText(int code) {
  return std::string(std::strerror(code)) + " (Systemfehler " + std::to_string(code) + ")";
}

SystemError StatusOf(const std::string& path, FileStatus& status) { return StatusWith(&::stat, path, status); }
SystemError LinkStatusOf(const std::string& path, FileStatus& status) { return StatusWith(&::lstat, path, status); }

File::~File() {
  if (handle_ != kNone) ::close(handle_);
}

SystemError File::open(const std::string& path, Mode mode) {
  if (HasNul(path)) return {Fault::invalidName, EINVAL};
  close();
  int flags = O_CLOEXEC | O_NOCTTY;
  switch (mode) {
    case Mode::read:
      flags |= O_RDONLY | O_NONBLOCK;
      break;
    case Mode::readWrite:
      flags |= O_RDWR;
      break;
    case Mode::createNew:
      flags |= O_WRONLY | O_CREAT | O_EXCL;
      break;
  }
  const int fd = ::open(path.c_str(), flags, 0666);
  if (fd < 0) return LastError();
  handle_ = fd;
  return {};
}

bool File::isOpen() const { return handle_ != kNone; }

SystemError File::close() {
  if (handle_ == kNone) return {};
  const int fd = std::exchange(handle_, kNone);
  locked_ = false;
  return ::close(fd) == 0 ? SystemError{} : LastError();
}

SystemError File::status(FileStatus& status) const {
  status = {};
  struct stat st {};
  if (::fstat(handle_, &st) != 0) return LastError();
  Fill(st, status);
  return {};
}

SystemError File::readAt(uint64_t offset, std::span<uint8_t> out, size_t& got) const {
  got = 0;
  while (got < out.size()) {
    const ssize_t n = ::pread(handle_, out.data() + got, out.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return {};
}

SystemError File::writeAt(uint64_t offset, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::pwrite(handle_, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    done += static_cast<size_t>(n);
  }
  return {};
}

SystemError File::flush() { return ::fsync(handle_) == 0 ? SystemError{} : LastError(); }

SystemError File::reserve(uint64_t size) {
  struct stat st {};
  if (::fstat(handle_, &st) != 0) return LastError();
  const auto current = static_cast<uint64_t>(st.st_size);
  if (size <= current) return {};
  // Mode 0 also extends the length, so a size limit shows here too.
  if (::fallocate(handle_, 0, static_cast<off_t>(current), static_cast<off_t>(size - current)) != 0)
    return LastError();
  return {};
}

SystemError File::resize(uint64_t size) {
  return ::ftruncate(handle_, static_cast<off_t>(size)) == 0 ? SystemError{} : LastError();
}

SystemError File::lock(Lock kind, int waitMilliseconds) {
  struct flock request {};
  request.l_type = kind == Lock::shared ? F_RDLCK : F_WRLCK;
  request.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, also as it grows
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
  // A free file costs one fcntl. A conflicting lock is tried again after
  // 1, 2, 4 ... ms (at most 20 ms apart), so that a short transaction of the
  // other side is waited for without many system calls.
  std::chrono::milliseconds pause{1};
  for (;;) {
    if (::fcntl(handle_, F_OFD_SETLK, &request) == 0) {
      locked_ = true;
      return {};
    }
    const int err = errno;
    if (err == EINTR) continue;
    if (err != EAGAIN && err != EACCES) return FromErrno(err);
    if (std::chrono::steady_clock::now() >= deadline) return {Fault::locked, err};
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds{20});
  }
}

void File::unlock() {
  if (!locked_) return;
  struct flock request {};
  request.l_type = F_UNLCK;
  request.l_whence = SEEK_SET;
  ::fcntl(handle_, F_OFD_SETLK, &request);
  locked_ = false;
}

SystemError ReplaceFile(const std::string& from, const std::string& to) {
  if (HasNul(from) || HasNul(to)) return {Fault::invalidName, EINVAL};
  return ::rename(from.c_str(), to.c_str()) == 0 ? SystemError{} : LastError();
}

SystemError RemoveFile(const std::string& path) {
  if (HasNul(path)) return {Fault::invalidName, EINVAL};
  return ::unlink(path.c_str()) == 0 ? SystemError{} : LastError();
}

SystemError ListFolder(const std::string& path, FileIdentity& identity,
                       const std::function<void(const FolderEntry&)>& entry) {
  if (HasNul(path)) return {Fault::invalidName, EINVAL};
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return LastError();
  struct stat self {};
  if (::fstat(fd, &self) != 0) {
    const SystemError error = LastError();
    ::close(fd);
    return error;
  }
  identity = {static_cast<uint64_t>(self.st_dev), static_cast<uint64_t>(self.st_ino)};
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
  if (dir == nullptr) {
    const SystemError error = LastError();
    ::close(fd);
    return error;
  }
  for (;;) {
    errno = 0;
    const dirent* found = ::readdir(dir.get());
    if (found == nullptr) return errno != 0 ? LastError() : SystemError{};
    const char* name = found->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    FolderEntry item{name, Kind::file, {}};
    if (found->d_type == DT_DIR) {
      item.kind = Kind::folder;
    } else if (found->d_type == DT_REG) {
      item.kind = Kind::file;
    } else if (found->d_type == DT_LNK || found->d_type == DT_UNKNOWN) {
      // A link counts by what it points to.
      struct stat target {};
      if (::fstatat(::dirfd(dir.get()), name, &target, 0) == 0) {
        item.kind = S_ISDIR(target.st_mode) ? Kind::folder : S_ISREG(target.st_mode) ? Kind::file : Kind::other;
      } else if (errno == ENOENT || errno == ENOTDIR) {
        item.kind = Kind::missing;
      } else {
        item.kind = Kind::other;
        item.error = LastError();
      }
    } else {
      item.kind = Kind::other;
    }
    entry(item);
  }
}

std::filesystem::path FsPath(std::string_view utf8) { return std::filesystem::path(std::string(utf8)); }
std::string Utf8Path(const std::filesystem::path& path) { return path.native(); }

SystemError WriteStandardOutput(std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return LastError();
    if (n == 0) return FromErrno(EIO);
    done += static_cast<size_t>(n);
  }
  return {};
}

}  // namespace fendrik::platform
