#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "properties/PropertyNames.h"
#include "properties/StorageError.h"
#include "properties/propset/PropertySetReader.h"
#include "properties/propset/PropertyValue.h"

namespace fendrik {

namespace platform {
struct FileStatus;
}  // namespace platform

namespace cfb {
class CompoundFile;
class ReadSpace;
struct LockedFile;
struct StreamReplacement;
}  // namespace cfb

// What FileProperties::Save reports when it does not throw.
struct SaveResult {
  // Empty when the change was written and reached the disk; otherwise why it
  // may not have reached the disk although the file holds it.
  std::string warning;
};

class FileProperties;
class PropertySet;

// The largest property-set stream whose values can be changed: SetValue loads
// the stream whole, and refuses a larger one as damaged (kDocfileCorrupt)
// before reading it. Real sets hold a few KiB.
inline constexpr uint64_t kMaxPropertySetBytes = 16u << 20;
struct OpenDocument;
struct LoadedStream;

// One property of a set of the open document.
class Property {
 public:
  // The stored value; throws StorageError (kMemberNotFound) when the document
  // does not hold the property, kDocfileCorrupt when its bytes are damaged.
  PropertyValue Value() const;
  // The stored value, or nothing when the document does not hold the
  // property (where Value throws kMemberNotFound).
  std::optional<PropertyValue> tryValue() const;
  // Changes the value in memory; Save writes it. An existing property keeps
  // its stored type; a missing one is added with the type documents use.
  // Throws kDocfileCorrupt for a set larger than kMaxPropertySetBytes.
  void SetValue(int16_t value);
  void SetValue(std::string_view utf8);

  uint32_t id() const { return id_; }

 private:
  friend class PropertySet;
  Property(PropertySet& set, uint32_t id) : set_(&set), id_(id) {}
  PropertySet* set_;
  uint32_t id_;
};

// A named property set of the open document. Valid until the document is
// closed.
class PropertySet {
 public:
  // The property of that name: a fixed property by its German or English
  // name, any other by its dictionary name, case-insensitive. Throws
  // StorageError (kMemberNotFound) for an unknown name.
  Property Item(std::string_view name);
  // Like Item, but nothing instead of the kMemberNotFound error.
  std::optional<Property> tryItem(std::string_view name);
  std::string_view name() const { return where_.name; }

 private:
  friend class Property;
  friend class FileProperties;
  PropertySet(FileProperties& server, const SetLocation& where, LoadedStream& stream, size_t sectionNo);
  void refresh();
  const propset::SectionTable& table() const { return table_; }
  void setValue(uint32_t id, const PropertyValue& value);

  FileProperties& server_;
  SetLocation where_;
  LoadedStream& stream_;
  size_t sectionNo_;
  propset::SectionTable table_;
  std::optional<std::vector<propset::DictionaryEntry>> dictionary_;
};

// The file-properties server: opens one document at a time and gives its
// property sets by name.
class FileProperties {
 public:
  // Throws StorageError when the server cannot work, for instance
  // kConverterMissing when the platform cannot convert the codepages
  // documents use.
  static std::unique_ptr<FileProperties> Create();
  ~FileProperties();
  FileProperties(const FileProperties&) = delete;
  FileProperties& operator=(const FileProperties&) = delete;

  // Opens the document at a UTF-8 path, closing any open one first. Throws
  // StorageError: not found, not a compound file, damaged, ... With
  // `status`, the status of the file as the opened handle tells it is put
  // there once known, also when the file then proves to be no document (see
  // cfb::CompoundFile::open); it stays as it was when the file could not be
  // opened.
  void Open(const std::string& path, platform::FileStatus* status = nullptr);
  // The set of that name ("SummaryInformation", "Custom", ...,
  // case-insensitive). Throws StorageError: kSetNotFound when the document
  // lacks it, kNoDocument when no document is open, kDocfileCorrupt when it
  // is damaged.
  PropertySet& Item(std::string_view setName);
  // Like Item, but nullptr where Item throws kSetNotFound (unknown name,
  // missing set, no open document); a damaged set still throws.
  PropertySet* tryItem(std::string_view setName);
  // Writes the changed property-set streams into the file in one crash-safe
  // transaction. Nothing is written when nothing changed. When another
  // program has saved the document since Open, the value changes are made
  // again on its content as it is now (never written over it with streams
  // of the older read); when they cannot be (the set is gone), Save throws
  // and the file stays as the other program left it.
  // Returns the warning of a save whose change is in the file but may not
  // have reached the disk (an error after the commit, see cfb::WriteResult);
  // empty after a complete save. Every error that leaves the old values
  // throws; one that may have left the file changed says so
  // (StorageError::fileMayBeChanged).
  SaveResult Save();
  // Closes the open document; safe at any time.
  void Close() noexcept;

  bool isOpen() const { return doc_ != nullptr; }
  // The open compound file (for listings and benchmarks), or nullptr.
  const cfb::CompoundFile* file() const;

 private:
  friend class PropertySet;
  FileProperties();
  void valueChanged(PropertySet& set, uint32_t id, const PropertyValue& value);
  void refreshSetsOn(const LoadedStream& stream);
  std::vector<cfb::StreamReplacement> changesUnderLock(const cfb::LockedFile& now);
  void reopenAfterSave();
  // Lent to each document this server opens (one at a time), so that an
  // open takes no new buffers; declared before doc_, which uses it.
  std::unique_ptr<cfb::ReadSpace> space_;
  std::unique_ptr<OpenDocument> doc_;
};

}  // namespace fendrik
