#include "properties/propset/PropertySetReader.h"

#include <algorithm>
#include <cstring>

#include "properties/propset/TextCodec.h"
#include "properties/StorageError.h"

namespace fendrik::propset {
namespace {

// Real streams hold one or two sections; more than this is taken as damage.
constexpr uint32_t kMaxSections = 16;

// Payload bytes of the fixed-size types the reader decodes; -1 for others.
int fixedPayloadSize(uint16_t type) {
  switch (type) {
    case vt::kEmpty:
    case vt::kNull: return 0;
    case vt::kI1:
    case vt::kUi1: return 1;
    case vt::kI2:
    case vt::kUi2:
    case vt::kBool: return 2;
    case vt::kI4:
    case vt::kUi4:
    case vt::kInt:
    case vt::kUint:
    case vt::kR4: return 4;
    case vt::kI8:
    case vt::kUi8:
    case vt::kR8:
    case vt::kCy:
    case vt::kDate:
    case vt::kFiletime: return 8;
    default: return -1;
  }
}

// "Abschnitt bei 0x30 (412 Bytes)": a section by its place in the stream.
std::string sectionPlace(const SectionTable& section) {
  return "Abschnitt bei " + hexText(section.offset) + " (" + std::to_string(section.size) + " Bytes)";
}

// "Abschnitt bei 0x30 (412 Bytes), Eigenschaft 12, Wert bei 0x1F8".
std::string valuePlace(const SectionTable& section, const PropertyEntry& entry) {
  return sectionPlace(section) + ", Eigenschaft " + std::to_string(entry.id) + ", Wert bei " +
         hexText(uint64_t{section.offset} + entry.offset);
}

bool isCodepageString(uint16_t type) { return type == vt::kLpstr || type == vt::kBstr; }

// Sizes of the values of one property, checked against the end of its
// section. Sizes count from the start of a payload (behind a type field).
class ValueSizer {
 public:
  ValueSizer(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry)
      : source_(source), section_(section), entry_(entry), end_(uint64_t{section.offset} + section.size) {}

  // The payload of a value of `type` at `at`, including nested elements;
  // nothing when the size cannot be told.
  std::optional<uint64_t> payload(uint64_t at, uint16_t type) {
    if ((type & vt::kVector) == 0) return type == vt::kVariant ? std::nullopt : element(at, type, false);
    const uint16_t elementType = type & ~vt::kVector;
    if (elementType == vt::kEmpty || elementType == vt::kNull || (elementType & 0xF000) != 0) return std::nullopt;
    need(at, 4);
    const uint64_t count = source_.u32(at);
    // Every element takes at least one byte: a count beyond the section's
    // room is damage, found before the loop runs.
    if (count > end_ - at - 4) runsPast(at + 4 + count);
    uint64_t pos = at + 4;
    for (uint64_t i = 0; i < count; ++i) {
      std::optional<uint64_t> size;
      if (elementType == vt::kVariant) {
        need(pos, 4);
        const uint16_t inner = source_.u16(pos);
        // A variant holds one scalar; nested vectors or variants are not
        // followed (their size counts as unknown).
        if ((inner & vt::kVector) != 0 || inner == vt::kVariant) return std::nullopt;
        // Inside a vector of variants Office does not pad strings to 4 bytes;
        // small numbers still take 4 bytes each.
        size = element(pos + 4, inner, true);
        if (size) *size += 4;
      } else {
        size = element(pos, elementType, false);
      }
      if (!size) return std::nullopt;
      pos += *size;
    }
    return pos - at;
  }

  // Bytes of the whole value from its type field: 4 + payload, padded to 4
  // but not beyond the section's end.
  std::optional<uint64_t> whole(uint16_t type) {
    const uint64_t at = uint64_t{section_.offset} + entry_.offset;
    auto size = payload(at + 4, type);
    if (!size) return std::nullopt;
    return std::min(roundUp4(4 + *size), end_ - at);
  }

 private:
  // One element (or scalar payload) of a type without the vector flag. In a
  // vector of variants (inVariant) numbers take at least 4 bytes and strings,
  // blobs and clipboard data are not padded; elsewhere numbers take their
  // size and the others are padded to 4 bytes.
  std::optional<uint64_t> element(uint64_t at, uint16_t type, bool inVariant) {
    const int fixed = fixedPayloadSize(type);
    if (fixed >= 0) {
      const uint64_t size = inVariant ? roundUp4(static_cast<uint64_t>(fixed)) : static_cast<uint64_t>(fixed);
      need(at, size);
      return size;
    }
    switch (type) {
      case vt::kError: need(at, 4); return 4;
      case vt::kClsid:
      case vt::kDecimal: need(at, 16); return 16;
      case vt::kLpstr:
      case vt::kBstr:
      case vt::kLpwstr:
      case vt::kBlob:
      case vt::kBlobObject:
      case vt::kCf: {
        need(at, 4);
        const uint64_t count = source_.u32(at);
        const uint64_t bytes = 4 + (type == vt::kLpwstr ? count * 2 : count);
        need(at, bytes);
        return inVariant ? bytes : std::min(roundUp4(bytes), end_ - at);
      }
      default: return std::nullopt;
    }
  }

  void need(uint64_t at, uint64_t bytes) {
    if (at > end_ || bytes > end_ - at) runsPast(at + bytes);
  }

  [[noreturn]] void runsPast(uint64_t reach) {
    throwCorrupt("Wert von Eigenschaft " + std::to_string(entry_.id) + " reicht über das Ende des Abschnitts",
                 valuePlace(section_, entry_) + ": reicht bis " + hexText(reach) + ", der Abschnitt endet bei " +
                     hexText(end_));
  }

  const ByteSource& source_;
  const SectionTable& section_;
  const PropertyEntry& entry_;
  const uint64_t end_;
};

// Bytes from the value's payload to the end of its section.
uint64_t payloadRoom(const SectionTable& section, const PropertyEntry& entry) {
  return static_cast<uint64_t>(section.size) - entry.offset - 4;
}

// The stored byte length of a string value's characters (without its length
// field), checked against the section.
uint64_t stringByteLength(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry,
                          uint16_t type) {
  uint64_t room = payloadRoom(section, entry);
  if (room < 4) throwCorrupt("Textlänge außerhalb des Abschnitts", valuePlace(section, entry));
  uint64_t count = source.u32(uint64_t{section.offset} + entry.offset + 4);
  uint64_t bytes = type == vt::kLpwstr ? count * 2 : count;
  if (bytes > room - 4)
    throwCorrupt("Text reicht über das Ende des Abschnitts", valuePlace(section, entry) + ": " +
                                                                 std::to_string(bytes) + " Bytes, Platz für " +
                                                                 std::to_string(room - 4));
  return bytes;
}

std::string decodeStored(std::span<const uint8_t> raw, bool wide, uint16_t codepage) {
  if (wide) {
    size_t chars = raw.size() / 2;
    size_t i = 0;
    // Four units at a time while none of them is 0 (a word has a zero 16-bit
    // lane exactly when this test finds one, in either byte order).
    for (; i + 4 <= chars; i += 4) {
      uint64_t w;
      std::memcpy(&w, raw.data() + 2 * i, 8);
      if (((w - 0x0001000100010001ull) & ~w & 0x8000800080008000ull) != 0) break;
    }
    for (; i < chars; ++i) {
      if (raw[2 * i] == 0 && raw[2 * i + 1] == 0) {
        chars = i;
        break;
      }
    }
    return utf16ToUtf8(std::span<const uint8_t>(raw.data(), chars * 2));
  }
  if (raw.empty()) return {};
  auto nul = static_cast<const uint8_t*>(std::memchr(raw.data(), 0, raw.size()));
  size_t len = nul ? static_cast<size_t>(nul - raw.data()) : raw.size();
  return decodeText(std::span<const uint8_t>(raw.data(), len), codepage);
}

}  // namespace

const PropertyEntry* SectionTable::find(uint32_t id) const {
  for (const auto& p : properties)
    if (p.id == id) return &p;
  return nullptr;
}

StreamHeader readStreamHeader(const ByteSource& source) {
  if (source.size() < kStreamHeaderSize)
    throwCorrupt("Datenstrom kürzer als sein Kopf", std::to_string(source.size()) + " Bytes, der Kopf braucht " +
                                                        std::to_string(kStreamHeaderSize));
  uint8_t head[kStreamHeaderSize];
  source.read(0, head);
  StreamHeader h;
  h.byteOrder = loadU16(head);
  h.version = loadU16(head + 2);
  h.osVersion = loadU32(head + 4);
  std::memcpy(h.clsid.data(), head + 8, 16);
  uint32_t count = loadU32(head + 24);
  if (h.byteOrder != 0xFFFE)
    throwCorrupt("unbekannte Bytereihenfolge " + hexText(h.byteOrder) + " statt 0xFFFE", "Kopf, Byte 0x0");
  if (count == 0 || count > kMaxSections)
    throwCorrupt("unzulässige Anzahl Abschnitte " + std::to_string(count), "Kopf, Byte 0x18");
  uint64_t listEnd = kStreamHeaderSize + uint64_t{kSectionListEntrySize} * count;
  if (listEnd > source.size())
    throwCorrupt("Abschnittsliste reicht über das Ende des Datenstroms",
                 std::to_string(count) + " Abschnitte bis " + hexText(listEnd) + ", der Datenstrom hat " +
                     std::to_string(source.size()) + " Bytes");
  std::vector<uint8_t> scratch;
  auto list = source.bytes(kStreamHeaderSize, listEnd - kStreamHeaderSize, scratch);
  for (uint32_t i = 0; i < count; ++i) {
    StreamHeader::SectionLocation loc;
    std::memcpy(loc.fmtid.data(), &list[i * kSectionListEntrySize], 16);
    loc.offset = loadU32(&list[i * kSectionListEntrySize + 16]);
    h.sections.push_back(loc);
  }
  return h;
}

SectionTable readSectionTable(const ByteSource& source, const StreamHeader::SectionLocation& where) {
  SectionTable s;
  s.fmtid = where.fmtid;
  s.offset = where.offset;
  uint64_t streamSize = source.size();
  uint64_t listEnd = kStreamHeaderSize;  // a section may not start inside the stream header
  if (s.offset < listEnd || s.offset % 4 != 0 || uint64_t{s.offset} + 8 > streamSize)
    throwCorrupt("Abschnitt liegt außerhalb des Datenstroms",
                 "Abschnitt " + fmtidToText(s.fmtid) + " bei " + hexText(s.offset) + ", der Datenstrom hat " +
                     std::to_string(streamSize) + " Bytes");
  uint8_t head[8];
  source.read(s.offset, head);
  s.size = loadU32(head);
  uint32_t count = loadU32(head + 4);
  if (s.size < 8 || s.size > streamSize - s.offset)
    throwCorrupt("unzulässige Abschnittsgröße", sectionPlace(s) + ", bis zum Ende des Datenstroms " +
                                                    std::to_string(streamSize - s.offset) + " Bytes");
  if (count > (s.size - 8) / 8)
    throwCorrupt("unzulässige Anzahl Eigenschaften " + std::to_string(count), sectionPlace(s));
  std::vector<uint8_t> scratch;
  auto table = source.bytes(uint64_t{s.offset} + 8, uint64_t{count} * 8, scratch);
  uint32_t valuesStart = 8 + 8 * count;
  s.properties.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    PropertyEntry e{loadU32(&table[8 * i]), loadU32(&table[8 * i + 4])};
    // Such an entry fails only its own property (see readValueType); values
    // at offsets that are not a multiple of 4 are read as they lie.
    e.misplaced = e.offset < valuesStart || e.offset > s.size - 4;
    s.properties.push_back(e);
  }
  if (const PropertyEntry* cp = s.find(kPidCodepage)) {
    // Every text of the set depends on the codepage: without it the set
    // is not read.
    if (cp->misplaced) readValueType(source, s, *cp);
    if (readValueType(source, s, *cp) == vt::kI2 && payloadRoom(s, *cp) >= 2)
      s.codepage = source.u16(uint64_t{s.offset} + cp->offset + 4);
  }
  return s;
}

uint16_t readValueType(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry) {
  if (entry.misplaced)
    throwCorrupt("Wert von Eigenschaft " + std::to_string(entry.id) + " liegt außerhalb des Abschnitts",
                 sectionPlace(section) + ": Offset " + hexText(entry.offset) + " im Abschnitt");
  return source.u16(uint64_t{section.offset} + entry.offset);
}

PropertyValue readValue(const ByteSource& source, const SectionTable& section, const PropertyEntry& entry) {
  if (entry.id == kPidDictionary) return UnsupportedValue{0};
  uint16_t type = readValueType(source, section, entry);
  uint64_t at = uint64_t{section.offset} + entry.offset + 4;
  int fixed = fixedPayloadSize(type);
  if (fixed >= 0) {
    if (static_cast<uint64_t>(fixed) > payloadRoom(section, entry))
      throwCorrupt("Wert reicht über das Ende des Abschnitts", valuePlace(section, entry));
    uint8_t b[8] = {};
    source.read(at, std::span<uint8_t>(b, static_cast<size_t>(fixed)));
    switch (type) {
      case vt::kEmpty: return EmptyValue{};
      case vt::kNull: return NullValue{};
      case vt::kI1: return static_cast<int16_t>(static_cast<int8_t>(b[0]));
      case vt::kUi1: return static_cast<uint16_t>(b[0]);
      case vt::kI2: return static_cast<int16_t>(loadU16(b));
      case vt::kUi2: return loadU16(b);
      case vt::kBool: return loadU16(b) != 0;
      case vt::kI4:
      case vt::kInt: return static_cast<int32_t>(loadU32(b));
      case vt::kUi4:
      case vt::kUint: return loadU32(b);
      case vt::kR4: {
        float f;
        uint32_t bits = loadU32(b);
        std::memcpy(&f, &bits, 4);
        return f;
      }
      case vt::kI8: return static_cast<int64_t>(loadU64(b));
      case vt::kUi8: return loadU64(b);
      case vt::kCy: return Currency{static_cast<int64_t>(loadU64(b))};
      case vt::kFiletime: return FileTime{loadU64(b)};
      case vt::kR8:
      case vt::kDate: {
        double d;
        uint64_t bits = loadU64(b);
        std::memcpy(&d, &bits, 8);
        if (type == vt::kDate) return OleDate{d};
        return d;
      }
      default: break;
    }
  }
  if (isCodepageString(type) || type == vt::kLpwstr) {
    uint64_t length = stringByteLength(source, section, entry, type);
    bool wide = type == vt::kLpwstr || section.codepage == kCodepageUtf16;
    std::vector<uint8_t> scratch;
    return decodeStored(source.bytes(at + 4, length, scratch), wide, section.codepage);
  }
  if (!ValueSizer(source, section, entry).whole(type))
    throwCorrupt("Größe des Werts von Eigenschaft " + std::to_string(entry.id) + " ist nicht bestimmbar (Typ " +
                     variantTypeName(type) + ")",
                 valuePlace(section, entry));
  return UnsupportedValue{type};
}

std::optional<uint32_t> readValueSize(const ByteSource& source, const SectionTable& section,
                                      const PropertyEntry& entry) {
  if (entry.id == kPidDictionary) return std::nullopt;
  const uint16_t type = readValueType(source, section, entry);
  auto size = ValueSizer(source, section, entry).whole(type);
  if (!size) return std::nullopt;
  return static_cast<uint32_t>(*size);
}

std::vector<DictionaryEntry> readDictionary(const ByteSource& source, const SectionTable& section) {
  std::vector<DictionaryEntry> out;
  const PropertyEntry* dict = section.find(kPidDictionary);
  if (dict == nullptr) return out;
  readValueType(source, section, *dict);  // throws for a misplaced entry
  uint64_t pos = uint64_t{section.offset} + dict->offset;
  uint64_t end = uint64_t{section.offset} + section.size;
  uint32_t count = source.u32(pos);
  pos += 4;
  if (count > (end - pos) / 8)
    throwCorrupt("unzulässige Anzahl Einträge im Wörterbuch " + std::to_string(count),
                 sectionPlace(section) + ", Wörterbuch bei " + hexText(pos - 4));
  bool wide = section.codepage == kCodepageUtf16;
  out.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (end - pos < 8)
      throwCorrupt("Wörterbuch reicht über das Ende des Abschnitts",
                   sectionPlace(section) + ", Eintrag " + std::to_string(i) + " bei " + hexText(pos));
    DictionaryEntry e;
    e.id = source.u32(pos);
    uint64_t length = source.u32(pos + 4);
    pos += 8;
    uint64_t bytes = wide ? length * 2 : length;
    if (bytes > end - pos)
      throwCorrupt("Name im Wörterbuch reicht über das Ende des Abschnitts",
                   sectionPlace(section) + ", Eintrag " + std::to_string(i) + " (Eigenschaft " +
                       std::to_string(e.id) + "), Name bei " + hexText(pos) + " mit " + std::to_string(bytes) +
                       " Bytes");
    std::vector<uint8_t> scratch;
    e.name = decodeStored(source.bytes(pos, bytes, scratch), wide, section.codepage);
    pos += bytes;
    // In codepage 1200 each entry is padded to 4 bytes.
    if (wide) pos = section.offset + roundUp4(pos - section.offset);
    if (pos > end)
      throwCorrupt("Wörterbuch reicht über das Ende des Abschnitts",
                   sectionPlace(section) + ", Eintrag " + std::to_string(i) + " endet bei " + hexText(pos));
    out.push_back(std::move(e));
  }
  return out;
}

}  // namespace fendrik::propset
