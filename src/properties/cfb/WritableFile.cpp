#include "properties/cfb/WritableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "properties/StorageError.h"
#include "properties/cfb/FileLock.h"
#include "properties/cfb/Format.h"

namespace fendrik::cfb::detail {
namespace {
// How long the writer waits for readers (ours read a document in a few ms).
constexpr std::chrono::milliseconds kWriterLockWait{2000};
}  // namespace

WritableFile::WritableFile(const std::filesystem::path& path, WriteHooks* hooks) : hooks_(hooks) {
  const std::string readOnly = "Zugriff verweigert: Datei ist schreibgeschützt";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throwFromErrno(errno, path.string());
  if (!S_ISREG(st.st_mode)) throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden: " + path.string());
  // A file without any write bit is treated like a file with the read-only
  // attribute, also for a user (root) whom the permission bits do not stop.
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
    throw StorageError(hresult::kAccessDenied, readOnly + ": " + path.string());
  int raw = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (raw < 0) {
    if (errno == EACCES || errno == EPERM || errno == EROFS || errno == ETXTBSY)
      throw StorageError(hresult::kAccessDenied, readOnly + ": " + path.string());
    throwFromErrno(errno, path.string());
  }
  fd_ = UniqueFd(raw);
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
}

void WritableFile::write(uint64_t offset, std::span<const uint8_t> bytes) {
  size_t length = bytes.size();
  if (hooks_) hooks_->beforeWrite(offset, length);
  const bool shortened = length < bytes.size();
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pwrite(fd_.get(), bytes.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throwFromErrno(errno, "Schreibfehler");
    }
    done += static_cast<size_t>(n);
  }
  bytesWritten_ += length;
  if (shortened) throw WriteInterrupted();
}

void WritableFile::sync() {
  if (hooks_) hooks_->beforeSync();
  if (::fsync(fd_.get()) != 0) throwFromErrno(errno, "Schreibfehler");
}

void WritableFile::reserve(uint64_t newSize) {
  if (newSize <= size_) return;
  // Mode 0 also extends the length, so a size limit shows here too; the new
  // zero sectors are referenced by nothing until the commit.
  int rc = ::fallocate(fd_.get(), 0, static_cast<off_t>(size_), static_cast<off_t>(newSize - size_));
  if (rc != 0 && errno != EOPNOTSUPP && errno != ENOSYS) throwFromErrno(errno, "Speicherplatz reservieren");
}

void WritableFile::restoreSize() {
  if (::ftruncate(fd_.get(), static_cast<off_t>(size_)) != 0) {
    // Nothing more can be done; the appended sectors are unreferenced anyway.
  }
}

}  // namespace fendrik::cfb::detail
