#include "properties/cfb/CompoundFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <new>

#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/FileLock.h"
#include "properties/cfb/UniqueFd.h"

namespace fendrik::cfb {
namespace {

// Read ahead at open: the header, FAT, directory, mini stream and the start of
// the property streams of a document lie in its first 64 KiB. Larger files
// read the rest only where a request leads.
constexpr size_t kReadAhead = 64 * 1024;

// How long a reader waits for a writer that holds the file: our writer's
// transaction takes milliseconds; a foreign lock held longer must not make
// a listing of many documents crawl.
constexpr std::chrono::milliseconds kReaderLockWait{500};

}  // namespace

struct CompoundFile::Impl {
  std::filesystem::path path;
  detail::UniqueFd fd;
  std::unique_ptr<detail::Container> container;
  FileIdentity identity;
  bool locked = false;
};

namespace {
FileIdentity identityOf(const struct stat& st) {
  return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<uint64_t>(st.st_size),
          static_cast<int64_t>(st.st_mtim.tv_sec), static_cast<int64_t>(st.st_mtim.tv_nsec)};
}
}  // namespace

FileIdentity FileIdentity::of(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) detail::throwFromErrno(errno, "Dateistatus");
  return identityOf(st);
}

CompoundFile::CompoundFile() : impl_(std::make_unique<Impl>()) {}
CompoundFile::~CompoundFile() = default;

std::unique_ptr<CompoundFile> CompoundFile::open(const std::filesystem::path& path) {
  try {
    return openChecked(path);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryError("beim Lesen von " + VisibleText(path.native()));
  }
}

std::unique_ptr<CompoundFile> CompoundFile::openChecked(const std::filesystem::path& path) {
  // O_NONBLOCK keeps a FIFO or device from blocking the open; such files are
  // refused right after.
  int raw = ::open(detail::systemPath(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (raw < 0) detail::throwFromErrno(errno, path.string());
  detail::UniqueFd fd(raw);
  // The shared lock (see FileLock.h), held until the file is closed, so that
  // our writer never changes the document while it is read. A writer at work
  // is waited for briefly; after that, and on file systems without locks, the
  // file is read anyway (the listing must not stop at a document another
  // program keeps locked). Taken before the size is read: a transaction that
  // just ended may have grown the file.
  const bool locked = detail::lockWholeFile(fd.get(), F_RDLCK, kReaderLockWait) == 0;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) detail::throwFromErrno(errno, path.string());
  if (S_ISDIR(st.st_mode)) throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden (ein Ordner): " + path.string());
  if (!S_ISREG(st.st_mode)) detail::throwInvalidHeader("keine gewöhnliche Datei", path.string());
  std::unique_ptr<CompoundFile> file(new CompoundFile());
  file->impl_->path = path;
  file->impl_->identity = identityOf(st);
  file->impl_->container = std::make_unique<detail::Container>(fd.get(), static_cast<uint64_t>(st.st_size), kReadAhead);
  file->impl_->fd = std::move(fd);
  file->impl_->locked = locked;
  return file;
}

void CompoundFile::releaseReadLock() {
  if (!impl_->locked) return;
  detail::unlockWholeFile(impl_->fd.get());
  impl_->locked = false;
}

const std::filesystem::path& CompoundFile::path() const { return impl_->path; }
int CompoundFile::majorVersion() const { return impl_->container->header().majorVersion; }
const DirectoryEntry& CompoundFile::root() const { return impl_->container->entry(0); }
std::vector<uint32_t> CompoundFile::rootChildren() const { return impl_->container->rootChildren(); }

std::optional<uint32_t> CompoundFile::findRootChild(std::u16string_view name) const {
  for (uint32_t id : impl_->container->rootChildren())
    if (impl_->container->nameEquals(id, name)) return id;
  return std::nullopt;
}

const DirectoryEntry& CompoundFile::entry(uint32_t id) const { return impl_->container->entry(id); }
uint64_t CompoundFile::streamSize(uint32_t id) const { return impl_->container->streamSize(id); }

void CompoundFile::readStream(uint32_t id, uint64_t offset, std::span<uint8_t> out) const {
  impl_->container->readStream(id, offset, out);
}

std::vector<uint8_t> CompoundFile::readStream(uint32_t id, uint64_t maxBytes) const {
  const uint64_t size = impl_->container->streamSize(id);
  if (size > maxBytes)
    detail::throwCorrupt("der Datenstrom ist unerwartet groß", impl_->container->entryLabel(id) + ": " +
                                                                   std::to_string(size) + " Bytes, höchstens " +
                                                                   std::to_string(maxBytes));
  if (size > impl_->container->fileSize())
    detail::throwCorrupt("der Datenstrom ist größer als die Datei",
                         impl_->container->entryLabel(id) + ": " + std::to_string(size) + " Bytes, die Datei hat " +
                             std::to_string(impl_->container->fileSize()));
  return impl_->container->readWholeStream(id);
}

const uint8_t* CompoundFile::streamView(uint32_t id, uint64_t length) const {
  return impl_->container->streamHeadView(id, length);
}

uint64_t CompoundFile::bytesRead() const { return impl_->container->bytesRead(); }

const FileIdentity& CompoundFile::identity() const { return impl_->identity; }
std::span<const uint8_t> CompoundFile::headerBytes() const { return impl_->container->header().raw; }
std::span<const uint8_t> CompoundFile::directoryBytes() const { return impl_->container->directoryBytes(); }

}  // namespace fendrik::cfb
