#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "properties/platform/Files.h"

namespace fendrik::cfb {

inline constexpr uint8_t kTypeStorage = 1;
inline constexpr uint8_t kTypeStream = 2;
inline constexpr uint8_t kTypeRoot = 5;

struct DirectoryEntry {
  std::u16string name;
  uint8_t type = 0;  // kTypeStorage, kTypeStream, kTypeRoot (0 = unused)
  std::array<uint8_t, 16> clsid{};
  uint32_t startSector = 0;
  uint64_t size = 0;
};

// Which file an open handle refers to and the state it was in: another
// program that saves the document (in place or by writing a new file and
// renaming it over the old one) changes at least one of these.
struct FileIdentity {
  platform::FileIdentity file;  // device and inode, or volume and file index
  uint64_t size = 0;
  platform::FileTime modified;
  bool operator==(const FileIdentity&) const = default;
  // The identity of the file a status describes.
  static FileIdentity of(const platform::FileStatus& status);
};

// Memory for the bytes a reading compound file keeps of its file (the head
// and the windows, see detail::Container), for an owner that opens one file
// after another: lent to each file it opens, so that opening a file takes no
// new buffers. One file holds it at a time; a file opened while another holds
// it takes memory of its own. It must outlive the files it is lent to.
// The memory is aligned to 4096 bytes: the kernel copies a file's bytes into
// a buffer that lies 8 or 16 bytes past a 64-byte boundary several times more
// slowly than into an aligned one.
class ReadSpace {
 public:
  ReadSpace() = default;
  ~ReadSpace();
  ReadSpace(const ReadSpace&) = delete;
  ReadSpace& operator=(const ReadSpace&) = delete;

  // At least `bytes` bytes (their content undefined) until giveBack, or
  // nullptr while they are lent.
  uint8_t* borrow(size_t bytes);
  void giveBack() { lent_ = false; }

  // Aligned memory as ReadSpace holds it.
  struct Free {
    void operator()(uint8_t* p) const;
  };
  using Bytes = std::unique_ptr<uint8_t[], Free>;
  static Bytes allocate(size_t bytes);

 private:
  Bytes bytes_;
  size_t size_ = 0;
  bool lent_ = false;
};

// Read access to a compound file (versions 3 and 4). Reads the head of the file
// (its first 64 KiB) at open, which holds the header, directory, FAT and often
// the small streams of a document, and beyond it only what a request needs:
// the FAT, mini FAT and stream sectors on the way to the requested bytes, small
// pieces with the 16 KiB around them; never the whole file. Every sector number,
// chain and size is checked; a damaged file throws StorageError
// (hresult::kDocfileCorrupt), a file that is no compound file
// hresult::kInvalidHeader, a missing file hresult::kFileNotFound, memory that
// runs out hresult::kOutOfMemory. What it keeps follows the sectors the file's
// structure uses, never the file's length. While open,
// it holds the shared lock of platform::File on the file that our writer's
// exclusive lock waits for, so it never reads half of a change.
class CompoundFile {
 public:
  // With `status`, the status of the opened handle is put there as soon as
  // it is known, also when the file then turns out to be no compound file,
  // damaged or not a regular file (a caller that shows the file's size and
  // time needs no second look-up by path); it stays as it was when the file
  // could not be opened or its status not be read.
  // With `space`, the file keeps what it reads there while it is open.
  static std::unique_ptr<CompoundFile> open(std::filesystem::path path, platform::FileStatus* status = nullptr,
                                            ReadSpace* space = nullptr);
  // A path comes from platform::FsPath: made from a std::string directly, it
  // would be read in the ANSI code page on Windows and miss every name
  // beyond it.
  static std::unique_ptr<CompoundFile> open(const std::string&, platform::FileStatus* = nullptr,
                                            ReadSpace* = nullptr) = delete;
  ~CompoundFile();
  CompoundFile(const CompoundFile&) = delete;
  CompoundFile& operator=(const CompoundFile&) = delete;

  const std::filesystem::path& path() const;
  int majorVersion() const;  // 3 or 4
  const DirectoryEntry& root() const;

  // Ids of the direct children of the root storage, and lookup of one child
  // by name with the compound-file name comparison (case-insensitive).
  std::vector<uint32_t> rootChildren() const;
  std::optional<uint32_t> findRootChild(std::u16string_view name) const;
  const DirectoryEntry& entry(uint32_t id) const;
  // The type of an entry (kTypeStream, ...) without decoding the rest of it.
  uint8_t entryType(uint32_t id) const;
  // A stream's size as it counts (version 3 ignores the upper half of the
  // size field).
  uint64_t streamSize(uint32_t id) const;

  // Reads bytes [offset, offset + out.size()) of a stream; throws when the
  // range lies outside the stream or the chain is damaged.
  void readStream(uint32_t id, uint64_t offset, std::span<uint8_t> out) const;
  // The whole stream; throws when it is larger than maxBytes.
  std::vector<uint8_t> readStream(uint32_t id, uint64_t maxBytes) const;
  // The first `length` bytes of a stream in place, when they lie one after the
  // other in the part of the file read at open; nullptr otherwise. Valid as
  // long as this object lives.
  const uint8_t* streamView(uint32_t id, uint64_t length) const;

  // Bytes read from the file so far (for benchmarks).
  uint64_t bytesRead() const;

  // Gives up the shared lock taken at open (before this process writes the
  // file through another handle; the lock would stand in its way).
  void releaseReadLock();

  // The file as it was when opened: its identity, its header (512 bytes) and
  // its directory, for telling whether the file has changed since.
  const FileIdentity& identity() const;
  std::span<const uint8_t> headerBytes() const;
  std::span<const uint8_t> directoryBytes() const;

 private:
  CompoundFile();
  static std::unique_ptr<CompoundFile> openChecked(std::filesystem::path& path, platform::FileStatus* status,
                                                   ReadSpace* space);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fendrik::cfb
