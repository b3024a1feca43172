#include "properties/cfb/WritableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "properties/StorageError.h"
#include "properties/cfb/FileLock.h"
#include "properties/cfb/Format.h"
#include "properties/cfb/WriteHooksForTests.h"

namespace fendrik::cfb {
namespace {

thread_local WriteHooks* installedHooks = nullptr;

}  // namespace

ScopedWriteHooks::ScopedWriteHooks(WriteHooks& hooks) : previous_(installedHooks) { installedHooks = &hooks; }
ScopedWriteHooks::~ScopedWriteHooks() { installedHooks = previous_; }

namespace detail {

WriteHooks* installedWriteHooks() { return installedHooks; }

namespace {

// How long the writer waits for readers (ours read a document in a few ms).
constexpr std::chrono::milliseconds kWriterLockWait{2000};

// A failed write or fsync: a full disk is kDiskFull, every other error
// (EIO above all) a write fault; never "access denied", since the file was
// open for writing.
[[noreturn]] void throwWriteError(int err, const std::string& where) {
  if (err == ENOSPC || err == EDQUOT || err == EFBIG) throwFromErrno(err, where);
  throw StorageError(hresult::kWriteFault, std::string("Schreibfehler: ") + std::strerror(err), where);
}

}  // namespace

WritableFile::WritableFile(const std::filesystem::path& path) : hooks_(installedWriteHooks()) {
  const std::string readOnly = "Zugriff verweigert: Datei ist schreibgeschützt";
  struct stat st {};
  const char* name = systemPath(path);
  if (::stat(name, &st) != 0) throwFromErrno(errno, path.string());
  if (!S_ISREG(st.st_mode)) throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden: " + path.string());
  // A file without any write bit is treated like a file with the read-only
  // attribute, also for a user (root) whom the permission bits do not stop.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    throw StorageError(hresult::kAccessDenied, readOnly + ": " + path.string());
  int raw = ::open(name, O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (raw < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)
      throw StorageError(hresult::kAccessDenied, readOnly + ": " + path.string());
    throwFromErrno(errno, path.string());
  }
  fd_ = UniqueFd(raw);
  if (hooks_) hooks_->beforeLock();
  // The exclusive lock (see FileLock.h). Our readers hold the shared one for
  // the few milliseconds they read a document, so a short wait for them
  // comes before the answer "locked".
  if (const int err = lockWholeFile(fd_.get(), F_WRLCK, kWriterLockWait); err != 0) {
    if (err == EAGAIN || err == EACCES)
      throw StorageError(hresult::kLockViolation,
                         "Die Datei wird von einem anderen Programm verwendet (gesperrt): " + path.string());
    throwFromErrno(err, path.string());
  }
  if (::fstat(fd_.get(), &st) != 0) throwFromErrno(errno, path.string());
  size_ = static_cast<uint64_t>(st.st_size);
  noteState();
}

void WritableFile::noteState() {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) throwFromErrno(errno, "Dateistatus");
  leftSize_ = static_cast<uint64_t>(st.st_size);
  leftChangeSeconds_ = st.st_ctim.tv_sec;
  leftChangeNanoseconds_ = st.st_ctim.tv_nsec;
}

std::string WritableFile::changeByOthers() const {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) throwFromErrno(errno, "Dateistatus");
  if (static_cast<uint64_t>(st.st_size) != leftSize_)
    return "die Datei hat " + std::to_string(st.st_size) + " Bytes statt " + std::to_string(leftSize_);
  if (st.st_ctim.tv_sec != leftChangeSeconds_ || st.st_ctim.tv_nsec != leftChangeNanoseconds_)
    return "die Änderungszeit der Datei hat sich seit dem letzten eigenen Schreiben verschoben";
  return {};
}

uint64_t WritableFile::currentSize() const {
  struct stat st {};
  if (::fstat(fd_.get(), &st) != 0) throwFromErrno(errno, "Dateistatus");
  return static_cast<uint64_t>(st.st_size);
}

bool WritableFile::readNow(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::pread(fd_.get(), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwFromErrno(errno, "Lesefehler");
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void WritableFile::write(uint64_t offset, std::span<const uint8_t> bytes) {
  const auto where = [&] { return std::to_string(bytes.size()) + " Bytes an Stelle " + hexText(offset); };
  writeAttempted_ = true;
  if (hooks_)
    if (int err = hooks_->beforeWrite(offset, bytes)) throwWriteError(err, where());
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::pwrite(fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throwWriteError(errno, where());
    }
    done += static_cast<size_t>(n);
  }
  bytesWritten_ += bytes.size();
  noteState();
}

namespace {
int syncFile(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }
}  // namespace

void WritableFile::sync() {
  const int err = hooks_ ? hooks_->aroundSync(fd_.get(), &syncFile) : syncFile(fd_.get());
  if (err != 0) throwWriteError(err, "fsync");
}

void WritableFile::reserve(uint64_t newSize) {
  if (newSize <= size_) return;
  // Mode 0 also extends the length, so a size limit shows here too; the new
  // zero sectors are referenced by nothing until the commit.
  int rc = ::fallocate(fd_.get(), 0, static_cast<off_t>(size_), static_cast<off_t>(newSize - size_));
  if (rc != 0 && errno != EOPNOTSUPP && errno != ENOSYS) throwFromErrno(errno, "Speicherplatz reservieren");
  noteState();
}

void WritableFile::restoreSize() {
  if (::ftruncate(fd_.get(), static_cast<off_t>(size_)) != 0) {
    // Nothing more can be done; the appended sectors are unreferenced anyway.
  }
  try {
    noteState();
  } catch (const StorageError&) {
    // The next check of the file's state reports it changed.
  }
}

}  // namespace detail
}  // namespace fendrik::cfb
