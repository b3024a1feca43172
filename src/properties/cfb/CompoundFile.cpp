#include "properties/cfb/CompoundFile.h"

#include <new>
#include <utility>

#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Container.h"
#include "properties/platform/Files.h"

namespace fendrik::cfb {
namespace {

// Read ahead at open: the header, FAT, directory, mini stream and the start of
// the property streams of a document lie in its first 64 KiB. Larger files
// read the rest only where a request leads.
constexpr size_t kReadAhead = 64 * 1024;

// How long a reader waits for a writer that holds the file: our writer's
// transaction takes milliseconds; a foreign lock held longer must not make
// a listing of many documents crawl.
constexpr int kReaderLockWaitMilliseconds = 500;

}  // namespace

struct CompoundFile::Impl {
  std::filesystem::path path;
  platform::File file;
  std::unique_ptr<detail::Container> container;
  FileIdentity identity;
  bool locked = false;
};

ReadSpace::~ReadSpace() = default;

void ReadSpace::Free::operator()(uint8_t* p) const { ::operator delete[](p, std::align_val_t{4096}); }

ReadSpace::Bytes ReadSpace::allocate(size_t bytes) {
  return Bytes(static_cast<uint8_t*>(::operator new[](bytes, std::align_val_t{4096})));
}

uint8_t* ReadSpace::borrow(size_t bytes) {
  if (lent_) return nullptr;
  if (size_ < bytes) {
    bytes_.reset();
    size_ = 0;
    bytes_ = allocate(bytes);
    size_ = bytes;
  }
  lent_ = true;
  return bytes_.get();
}

FileIdentity FileIdentity::of(const platform::FileStatus& status) {
  return {status.identity, status.size, status.modified};
}

CompoundFile::CompoundFile() : impl_(std::make_unique<Impl>()) {}
CompoundFile::~CompoundFile() = default;

std::unique_ptr<CompoundFile> CompoundFile::open(std::filesystem::path path, platform::FileStatus* status,
                                                 ReadSpace* space) {
  try {
    return openChecked(path, status, space);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryError("beim Lesen von " + VisibleText(platform::Utf8Path(path)));
  }
}

std::unique_ptr<CompoundFile> CompoundFile::openChecked(std::filesystem::path& path,
                                                       platform::FileStatus* statusOut, ReadSpace* space) {
  const std::string name = platform::Utf8Path(path);
  // The read mode keeps a FIFO or device from blocking the open, and another
  // program's open from failing; such files are refused right after.
  platform::File handle;
  if (const platform::SystemError error = handle.open(name, platform::File::Mode::read))
    detail::throwSystemError(error, name);
  // The shared lock, held until the file is closed, so that our writer never
  // changes the document while it is read. A writer at work is waited for
  // briefly; after that, and on file systems without locks, the file is read
  // anyway (the listing must not stop at a document another program keeps
  // locked). Taken before the size is read: a transaction that just ended
  // may have grown the file.
  const bool locked = !handle.lock(platform::File::Lock::shared, kReaderLockWaitMilliseconds);
  platform::FileStatus status;
  if (const platform::SystemError error = handle.status(status)) detail::throwSystemError(error, name);
  if (statusOut != nullptr) *statusOut = status;
  if (status.kind == platform::Kind::folder)
    throw StorageError(hresult::kFileNotFound, "Datei nicht gefunden (ein Ordner): " + name);
  if (status.kind != platform::Kind::file) detail::throwInvalidHeader("keine gewöhnliche Datei", name);
  std::unique_ptr<CompoundFile> file(new CompoundFile());
  Impl& impl = *file->impl_;
  impl.identity = FileIdentity::of(status);
  impl.file = std::move(handle);
  impl.container = std::make_unique<detail::Container>(impl.file, status.size, kReadAhead, space);
  impl.locked = locked;
  // Last: open() names the path when memory runs out before.
  impl.path = std::move(path);
  return file;
}

void CompoundFile::releaseReadLock() {
  if (!impl_->locked) return;
  impl_->file.unlock();
  impl_->locked = false;
}

const std::filesystem::path& CompoundFile::path() const { return impl_->path; }
int CompoundFile::majorVersion() const { return impl_->container->header().majorVersion; }
const DirectoryEntry& CompoundFile::root() const { return impl_->container->entry(0); }
std::vector<uint32_t> CompoundFile::rootChildren() const { return impl_->container->rootChildren(); }

std::optional<uint32_t> CompoundFile::findRootChild(std::u16string_view name) const {
  const uint32_t id = impl_->container->findRootChild(name);
  if (id == detail::kNoStream) return std::nullopt;
  return id;
}

const DirectoryEntry& CompoundFile::entry(uint32_t id) const { return impl_->container->entry(id); }
uint8_t CompoundFile::entryType(uint32_t id) const { return impl_->container->entryType(id); }
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
