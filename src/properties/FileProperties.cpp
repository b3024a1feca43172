#include "properties/FileProperties.h"

#include <algorithm>
#include <array>

#include "properties/CompoundStreamSource.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/platform/CodePages.h"
#include "properties/platform/Files.h"
#include "properties/propset/PropertySetEditor.h"
#include "properties/propset/TextCodec.h"

namespace fendrik {

// A property-set stream of the open document. It is read from the file until
// a value changes; then it is loaded whole and edited in memory.
struct LoadedStream {
  uint32_t entryId = 0;
  std::u16string_view name;  // SetLocation::stream, a name of static storage
  std::unique_ptr<propset::ByteSource> source;
  propset::StreamHeader header;
  bool loaded = false;
  std::vector<uint8_t> original;
  std::vector<uint8_t> edited;
};

// One value change, kept so that it can be made again on the document as
// another program left it (see FileProperties::changesUnderLock).
struct ValueEdit {
  std::u16string_view stream;  // as LoadedStream::name
  std::string_view setName;
  propset::Fmtid fmtid{};
  uint32_t id = 0;
  PropertyValue value;
};

struct OpenDocument {
  std::unique_ptr<cfb::CompoundFile> file;  // its path() is the document's
  std::map<uint32_t, std::unique_ptr<LoadedStream>> streams;   // by directory entry id
  std::array<std::unique_ptr<PropertySet>, kSetCount> sets;    // by SetLocation::index
  std::vector<ValueEdit> edits;                                 // in the order they were made
  bool rebased = false;  // the last Save made the edits again on another program's save
};

namespace {

// Upper limit for loading a property-set stream whole to change a value
// (real ones hold a few KiB): a larger one is refused as damaged before any of
// it is read, so a change never holds more than a few copies of 16 MiB.
constexpr uint64_t kMaxStreamBytes = kMaxPropertySetBytes;

[[noreturn]] void throwSetNotFound(std::string_view name) {
  throw StorageError(hresult::kSetNotFound, "Eigenschaftengruppe nicht gefunden: " + std::string(name));
}

[[noreturn]] void throwMemberNotFound(std::string_view name) {
  throw StorageError(hresult::kMemberNotFound, "Eigenschaft nicht gefunden: " + std::string(name));
}

// The type a value gets where the set holds none for it (a missing property,
// or one stored as VT_EMPTY or VT_NULL): texts as the set's codepage allows
// (Unicode in codepage 1200), whole numbers as VT_I4, as documents store them.
uint16_t typeForNewValue(const PropertyValue& value, uint16_t codepage) {
  if (!std::holds_alternative<std::string>(value)) return vt::kI4;
  return codepage == propset::kCodepageUtf16 ? vt::kLpwstr : vt::kLpstr;
}

// Index of the section with that FMTID in a stream, or nothing.
std::optional<size_t> sectionIndex(const propset::StreamHeader& header, const propset::Fmtid& fmtid) {
  for (size_t i = 0; i < header.sections.size(); ++i)
    if (header.sections[i].fmtid == fmtid) return i;
  return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------- Property

PropertyValue Property::Value() const {
  if (auto value = tryValue()) return std::move(*value);
  throwMemberNotFound(std::to_string(id_));
}

std::optional<PropertyValue> Property::tryValue() const {
  const propset::PropertyEntry* entry = set_->table().find(id_);
  if (entry == nullptr) return std::nullopt;
  return propset::readValue(*set_->stream_.source, set_->table(), *entry);
}

void Property::SetValue(int16_t value) { set_->setValue(id_, value); }

void Property::SetValue(std::string_view utf8) { set_->setValue(id_, std::string(utf8)); }

// ---------------------------------------------------------------- PropertySet

PropertySet::PropertySet(FileProperties& server, const SetLocation& where, LoadedStream& stream, size_t sectionNo)
    : server_(server), where_(where), stream_(stream), sectionNo_(sectionNo) {
  refresh();
}

void PropertySet::refresh() {
  // Found again by FMTID: a stream read anew may hold its sections in
  // another order.
  auto index = sectionIndex(stream_.header, *where_.fmtid);
  if (!index) throwSetNotFound(where_.name);
  sectionNo_ = *index;
  table_ = propset::readSectionTable(*stream_.source, stream_.header.sections[sectionNo_]);
  dictionary_.reset();
}

Property PropertySet::Item(std::string_view name) {
  if (auto property = tryItem(name)) return *property;
  throwMemberNotFound(name);
}

std::optional<Property> PropertySet::tryItem(std::string_view name) {
  if (where_.fmtid != &propset::kFmtidUserDefined) {
    if (auto id = fixedPropertyId(*where_.fmtid, name)) return Property(*this, *id);
  }
  if (!dictionary_) dictionary_ = propset::readDictionary(*stream_.source, table_);
  for (const auto& entry : *dictionary_)
    if (namesEqualIgnoringCase(entry.name, name)) return Property(*this, entry.id);
  return std::nullopt;
}

void PropertySet::setValue(uint32_t id, const PropertyValue& value) {
  server_.valueChanged(*this, id, value);
}

// ---------------------------------------------------------------- FileProperties

FileProperties::FileProperties() : space_(std::make_unique<cfb::ReadSpace>()) {}
FileProperties::~FileProperties() = default;

std::unique_ptr<FileProperties> FileProperties::Create() {
  // Documents store texts in these codepages; without them the server
  // would show wrong texts, so it refuses to start.
  for (uint16_t codepage : {uint16_t{1252}, uint16_t{932}, uint16_t{1200}}) {
    if (!propset::codepageAvailable(codepage))
      throw StorageError(hresult::kConverterMissing, "Die Zeichensatz-Umwandlung " +
                                                         platform::CodePageName(codepage) + " fehlt auf diesem System.");
  }
  return std::unique_ptr<FileProperties>(new FileProperties());
}

void FileProperties::Open(const std::string& path, platform::FileStatus* status) {
  Close();
  auto doc = std::make_unique<OpenDocument>();
  doc->file = cfb::CompoundFile::open(platform::FsPath(path), status, space_.get());
  doc_ = std::move(doc);
}

void FileProperties::Close() noexcept { doc_.reset(); }

const cfb::CompoundFile* FileProperties::file() const { return doc_ ? doc_->file.get() : nullptr; }

PropertySet& FileProperties::Item(std::string_view setName) {
  if (PropertySet* set = tryItem(setName)) return *set;
  if (!doc_ && findSetLocation(setName))
    throw StorageError(hresult::kNoDocument, "Kein Dokument geöffnet: " + std::string(setName));
  throwSetNotFound(setName);
}

PropertySet* FileProperties::tryItem(std::string_view setName) {
  auto where = findSetLocation(setName);
  if (!where || !doc_) return nullptr;
  auto& set = doc_->sets[where->index];
  if (set) return set.get();

  auto entryId = doc_->file->findRootChild(where->stream);
  if (!entryId || doc_->file->entryType(*entryId) != cfb::kTypeStream) return nullptr;
  auto& slot = doc_->streams[*entryId];
  if (!slot) {
    auto stream = std::make_unique<LoadedStream>();
    stream->entryId = *entryId;
    stream->name = where->stream;
    stream->source = std::make_unique<CompoundStreamSource>(*doc_->file, *entryId);
    stream->header = propset::readStreamHeader(*stream->source);
    slot = std::move(stream);
  }
  const auto& sections = slot->header.sections;
  auto section = std::find_if(sections.begin(), sections.end(),
                              [&](const auto& s) { return s.fmtid == *where->fmtid; });
  if (section == sections.end()) return nullptr;
  set.reset(new PropertySet(*this, *where, *slot, static_cast<size_t>(section - sections.begin())));
  return set.get();
}

void FileProperties::refreshSetsOn(const LoadedStream& stream) {
  for (auto& set : doc_->sets)
    if (set && &set->stream_ == &stream) set->refresh();
}

void FileProperties::valueChanged(PropertySet& set, uint32_t id, const PropertyValue& value) {
  LoadedStream& stream = set.stream_;
  if (!stream.loaded) {
    stream.original = doc_->file->readStream(stream.entryId, kMaxStreamBytes);
    stream.edited = stream.original;
    stream.source = std::make_unique<propset::MemorySource>(stream.edited);
    stream.loaded = true;
  }
  std::vector<uint8_t> edited = stream.edited;
  propset::setStoredValue(edited, set.sectionNo_, id, value, typeForNewValue(value, set.table().codepage));
  // Only a successful change replaces the bytes the source reads.
  stream.edited = std::move(edited);
  stream.source = std::make_unique<propset::MemorySource>(stream.edited);
  stream.header = propset::readStreamHeader(*stream.source);
  refreshSetsOn(stream);
  doc_->edits.push_back({stream.name, set.where_.name, *set.where_.fmtid, id, value});
}

std::vector<cfb::StreamReplacement> FileProperties::changesUnderLock(const cfb::LockedFile& now) {
  const cfb::CompoundFile& read = *doc_->file;
  const bool unchanged = now.identity == read.identity() && std::ranges::equal(now.header, read.headerBytes()) &&
                         std::ranges::equal(now.directory, read.directoryBytes());
  if (!unchanged) {
    // Another program saved the document since Open (in place, or by
    // renaming a new file over it). Streams built from the older read would
    // undo its changes, so the value changes are made again on the streams
    // as they are now; every stream is rebuilt before any replaces the old.
    std::vector<std::pair<LoadedStream*, std::vector<uint8_t>>> current;
    std::vector<std::vector<uint8_t>> rebuilt;
    for (auto& [id, stream] : doc_->streams) {
      if (!stream->loaded) continue;
      auto bytes = now.readStream(stream->name, kMaxStreamBytes);
      std::vector<uint8_t> edited = bytes.value_or(std::vector<uint8_t>{});
      for (const ValueEdit& e : doc_->edits) {
        if (e.stream != stream->name) continue;
        std::optional<size_t> section;
        propset::SectionTable table;
        if (bytes) {
          propset::MemorySource source(edited);
          const propset::StreamHeader header = propset::readStreamHeader(source);
          section = sectionIndex(header, e.fmtid);
          if (section) table = propset::readSectionTable(source, header.sections[*section]);
        }
        if (!section)
          throw StorageError(hresult::kSetNotFound, "Eigenschaftengruppe nicht gefunden: " + std::string(e.setName),
                             "ein anderes Programm hat die Datei seit dem Öffnen geändert");
        propset::setStoredValue(edited, *section, e.id, e.value, typeForNewValue(e.value, table.codepage));
      }
      current.emplace_back(stream.get(), bytes.value_or(std::vector<uint8_t>{}));
      rebuilt.push_back(std::move(edited));
    }
    for (size_t i = 0; i < current.size(); ++i) {
      LoadedStream& stream = *current[i].first;
      stream.original = std::move(current[i].second);
      stream.edited = std::move(rebuilt[i]);
      stream.source = std::make_unique<propset::MemorySource>(stream.edited);
      stream.header = propset::readStreamHeader(*stream.source);
    }
    doc_->rebased = true;
  }
  std::vector<cfb::StreamReplacement> changes;
  for (const auto& [id, stream] : doc_->streams)
    if (stream->loaded && stream->edited != stream->original) changes.push_back({std::u16string(stream->name), stream->edited});
  return changes;
}

}  // namespace fendrik

namespace fendrik {

SaveResult FileProperties::Save() {
  if (!doc_) throw StorageError(hresult::kNoDocument, "Kein Dokument geöffnet.");
  // Only streams whose bytes really changed are written, all in one
  // transaction, so a crash leaves either every change or none. What to
  // write is decided under the writer's lock, against the file as it is then.
  const bool anyChange = std::any_of(doc_->streams.begin(), doc_->streams.end(), [](const auto& s) {
    return s.second->loaded && s.second->edited != s.second->original;
  });
  if (!anyChange) return {};
  doc_->rebased = false;
  doc_->file->releaseReadLock();
  const cfb::WriteResult written =
      cfb::replaceRootStreams(doc_->file->path(), [this](const cfb::LockedFile& now) { return changesUnderLock(now); });
  try {
    reopenAfterSave();
  } catch (StorageError& error) {
    error.markFileMayBeChanged();  // the file was written
    throw;
  }
  return {written.warning};
}

void FileProperties::reopenAfterSave() {
  // The file now holds the edited bytes. Reopen it so that streams still
  // read lazily see the new layout of the file; after another program's
  // save the directory may number the streams differently.
  doc_->file = cfb::CompoundFile::open(doc_->file->path());
  std::map<uint32_t, std::unique_ptr<LoadedStream>> streams;
  uint32_t gone = 0xFFFFFFFFu;  // keys no directory entry has, for streams that vanished
  for (auto& [id, stream] : doc_->streams) {
    auto newId = doc_->file->findRootChild(stream->name);
    stream->entryId = newId.value_or(gone);
    if (stream->loaded) {
      stream->original = stream->edited;
    } else if (newId) {
      stream->source = std::make_unique<CompoundStreamSource>(*doc_->file, *newId);
      if (doc_->rebased) {
        // Best effort: a stream another program damaged shows its error
        // when it is read, not as a failure of this (successful) save.
        try {
          stream->header = propset::readStreamHeader(*stream->source);
          refreshSetsOn(*stream);
        } catch (const StorageError&) {
        }
      }
    }
    streams[newId.value_or(gone--)] = std::move(stream);
  }
  doc_->streams = std::move(streams);
  doc_->edits.clear();
  if (doc_->rebased)
    for (auto& [id, stream] : doc_->streams)
      if (stream->loaded) refreshSetsOn(*stream);
}

}  // namespace fendrik
