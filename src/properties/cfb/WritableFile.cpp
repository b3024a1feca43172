#include "properties/cfb/WritableFile.h"

#include "properties/StorageError.h"
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
constexpr int kWriterLockWaitMilliseconds = 2000;

// A failed write or flush: a full disk is kDiskFull, every other error (an
// I/O error above all) a write fault; never "access denied", since the file
// was open for writing.
[[noreturn]] void throwWriteError(const platform::SystemError& error, const std::string& where) {
  if (error.fault == platform::Fault::diskFull) throwSystemError(error, where);
  throw StorageError(hresult::kWriteFault, "Schreibfehler: " + platform::ErrorText(error), where);
}

}  // namespace

WritableFile::WritableFile(const std::filesystem::path& path) : hooks_(installedWriteHooks()) {
  const std::string name = platform::Utf8Path(path);
  const std::string readOnly = "Zugriff verweigert: Datei ist schreibgeschützt: " + name;
  platform::FileStatus status;
  if (const platform::SystemError error = platform::StatusOf(name, status)) throwSystemError(error, name);
  if (status.kind != platform::Kind::file) throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden: " + name);
  // A read-only file is refused also for a user (root, an administrator)
  // whom the permissions would not stop.
  if (status.readOnly) throw StorageError(hresult::kAccessDenied, readOnly);
  if (const platform::SystemError error = file_.open(name, platform::File::Mode::readWrite)) {
    if (error.fault == platform::Fault::accessDenied || error.fault == platform::Fault::readOnlyMedium)
      throw StorageError(hresult::kAccessDenied, readOnly);
    // Fault::inUse, another program that has the file open for writing,
    // reads as a lock held by it.
    throwSystemError(error, name);
  }
  if (hooks_) hooks_->beforeLock();
  // The exclusive lock (see platform::File::lock). Our readers hold the
  // shared one for the few milliseconds they read a document, so a short
  // wait for them comes before the answer "locked".
  if (const platform::SystemError error = file_.lock(platform::File::Lock::exclusive, kWriterLockWaitMilliseconds)) {
    if (error.fault == platform::Fault::locked)
      throw StorageError(hresult::kLockViolation,
                         "Die Datei wird von einem anderen Programm verwendet (gesperrt): " + name);
    throwSystemError(error, name);
  }
  // One status serves the size at open, the state the first check compares
  // with and the identity the caller compares with the path's.
  locked_ = statusNow();
  size_ = locked_.size;
  noteState(locked_);
}

platform::FileStatus WritableFile::statusNow() const {
  platform::FileStatus status;
  if (const platform::SystemError error = file_.status(status)) throwSystemError(error, "Dateistatus");
  return status;
}

void WritableFile::noteState() { noteState(statusNow()); }

void WritableFile::noteState(const platform::FileStatus& status) {
  leftSize_ = status.size;
  leftChange_ = status.changed;
  stateOwed_ = false;
}

std::string WritableFile::changeByOthers() const {
  if (stateOwed_) return "der Zustand der Datei nach dem letzten eigenen Schreiben ist nicht bekannt";
  const platform::FileStatus status = statusNow();
  if (status.size != leftSize_)
    return "die Datei hat " + std::to_string(status.size) + " Bytes statt " + std::to_string(leftSize_);
  if (status.changed != leftChange_)
    return "die Änderungszeit der Datei hat sich seit dem letzten eigenen Schreiben verschoben";
  return {};
}

uint64_t WritableFile::currentSize() const { return statusNow().size; }

bool WritableFile::readNow(uint64_t offset, std::span<uint8_t> out) const {
  return readNowUpTo(offset, out) == out.size();
}

size_t WritableFile::readNowUpTo(uint64_t offset, std::span<uint8_t> out) const {
  size_t got = 0;
  if (const platform::SystemError error = file_.readAt(offset, out, got)) throwSystemError(error, "Lesefehler");
  return got;
}

void WritableFile::write(uint64_t offset, std::span<const uint8_t> bytes) {
  const auto where = [&] { return std::to_string(bytes.size()) + " Bytes an Stelle " + hexText(offset); };
  writeAttempted_ = true;
  stateOwed_ = true;  // also after a failed write, which may have written a part
  if (hooks_)
    if (const platform::SystemError error = hooks_->beforeWrite(offset, bytes)) throwWriteError(error, where());
  if (const platform::SystemError error = file_.writeAt(offset, bytes)) throwWriteError(error, where());
  bytesWritten_ += bytes.size();
}

void WritableFile::sync(bool noteFirst) {
  // The state after the run of writes just ended, before anything else
  // happens to the file (see changeByOthers).
  if (noteFirst && stateOwed_) noteState();
  const auto flush = [this] { return file_.flush(); };
  const platform::SystemError error = hooks_ ? hooks_->aroundSync(flush) : flush();
  if (error) throwWriteError(error, "fsync");
}

void WritableFile::reserve(uint64_t newSize) {
  if (newSize <= size_) return;
  // The length grows too, so a size limit shows here; the new zero sectors
  // are referenced by nothing until the commit. A file system that cannot
  // reserve shows a full disk at the first write instead.
  if (const platform::SystemError error = file_.reserve(newSize);
      error && error.fault != platform::Fault::notSupported)
    throwSystemError(error, "Speicherplatz reservieren");
  stateOwed_ = true;
}

void WritableFile::restoreSize() {
  if (file_.resize(size_)) {
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
