#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "properties/cfb/CompoundFile.h"

namespace fendrik::cfb {

// New contents for one stream directly in the root storage.
struct StreamReplacement {
  std::u16string name;
  std::vector<uint8_t> content;
};

// What a write that did not throw reports: `warning` is empty when the new
// contents were written and reached the disk. Otherwise a step after the
// commit failed (the fsync after it, freeing the old sectors), yet the file,
// read back, holds the new contents: they count as written, but may not have
// reached the disk; `warning` says so and why.
struct WriteResult {
  std::string warning;
};

// Replaces the contents of root streams in one crash-safe transaction, in
// place: the file keeps its inode, owner, mode and every byte the change does
// not need to touch. After a crash at any point the file reads either all old
// or all new contents. Takes an advisory lock for the duration.
// Errors (StorageError): kFileNotFound, kAccessDenied (read-only file or no
// write permission), kLockViolation (another process holds a lock), kDiskFull,
// kWriteFault (an I/O error while writing), kSetNotFound (a named stream is
// missing), kInvalidHeader/kDocfileCorrupt, kOutOfMemory, kLockViolation also
// when another program wrote the file during the transaction (the writer
// stops before its next step). Whether an error after the first write is
// reported is decided by reading the file back: when it holds the new
// contents, the call returns (with a warning, see WriteResult) instead. An
// error after the first write that cannot show the file reads as before says
// so (StorageError::fileMayBeChanged).
// Before the first write the whole allocation structure is proven (see
// StructureProof.h): a file with shared, looping or mis-sized chains, or with
// used sectors the FAT calls free, is refused as damaged, byte for byte as it
// was. Before the commit point every error leaves the file's contents untouched.
// Returns only when the file, read back through the locked handle after the
// last flush, holds the new contents; otherwise kCannotSave, the file
// possibly changed (another program wrote it after the writer's last check,
// or the disk does not give back what it was given).
WriteResult replaceRootStreams(const std::filesystem::path& path, std::span<const StreamReplacement> changes);

// The document as the writer finds it once it holds the lock: the file's
// identity, header and directory, and its root streams as they are now.
struct LockedFile {
  FileIdentity identity;
  std::span<const uint8_t> header;
  std::span<const uint8_t> directory;
  // A root stream's content (name compared as compound files compare names),
  // nullopt when the document has no such stream; throws kDocfileCorrupt for
  // one larger than maxBytes or a damaged chain.
  std::function<std::optional<std::vector<uint8_t>>(std::u16string_view name, uint64_t maxBytes)> readStream;
};

// Like above, but the new contents are decided under the lock: `plan` gets the
// file as it is then and returns the streams to write, so that a change made
// by another program since the caller read the file is never written over
// with contents built from the older read. An error thrown by `plan` leaves
// the file untouched.
WriteResult replaceRootStreams(const std::filesystem::path& path,
                               const std::function<std::vector<StreamReplacement>(const LockedFile&)>& plan);

}  // namespace fendrik::cfb
