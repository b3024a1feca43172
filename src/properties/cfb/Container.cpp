#include "properties/cfb/Container.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <unordered_set>
#include <utility>

#include "properties/cfb/Names.h"
#include "properties/StorageError.h"

namespace fendrik::cfb::detail {
namespace {

// Units of a directory entry's name (the stored length counts bytes and the
// terminating NUL; at most 32 units fit).
size_t nameUnits(const uint8_t* entry) {
  const uint16_t bytes = std::min<uint16_t>(loadU16(entry + kDeNameLength), 64);
  return bytes >= 2 ? bytes / 2 - 1 : 0;
}

std::string fileRange(uint64_t offset, uint64_t length, uint64_t fileSize) {
  return "Bytes " + hexText(offset) + " bis " + hexText(offset + length) + ", die Datei hat " +
         std::to_string(fileSize) + " Bytes";
}

// A sector number as read from the file: the special values by their names,
// others in decimal.
std::string unitNumber(uint32_t n) {
  switch (n) {
    case kEndOfChain: return "ENDOFCHAIN";
    case kFreeSector: return "FREESECT";
    case kFatSector: return "FATSECT";
    case kDifatSector: return "DIFSECT";
    default: return n > kMaxRegularSector ? hexText(n) : std::to_string(n);
  }
}

// Where a chain left its bounds: the unit it came from and the number it read.
std::string chainStep(const std::string& what, const char* unitName, const std::vector<uint32_t>& before,
                      uint32_t next) {
  std::string where = what + ", ";
  if (before.empty()) return where + "erster " + unitName + " " + unitNumber(next);
  return where + unitName + " " + std::to_string(before.back()) + " verweist auf " + unitNumber(next) + " (Glied " +
         std::to_string(before.size() + 1) + " der Kette)";
}

}  // namespace

Container::Container(const platform::File& file, uint64_t fileSize, size_t readAhead, ReadSpace* space)
    : file_(file), fileSize_(fileSize) {
  readHead(readAhead, space);
  readHeader();
  readDifat();
  readDirectory();
  collectRootChildren();
}

Container::~Container() = default;

void Container::readHead(size_t readAhead, ReadSpace* space) {
  const size_t size = static_cast<size_t>(std::min<uint64_t>(readAhead, fileSize_));
  if (size == 0) return;
  // The head and the windows in the space the owner lends (one per reading
  // thread, not a thread-local object: with MinGW's threads one with a
  // destructor is destroyed after the thread's storage is gone), the windows
  // behind the head at a multiple of 4096 bytes.
  const size_t headRoom = (size + 4095) / 4096 * 4096;
  if (uint8_t* lent = space != nullptr ? space->borrow(headRoom + kWindowCount * kWindowBytes) : nullptr) {
    loan_.space = space;
    head_ = lent;
    for (size_t k = 0; k < kWindowCount; ++k) windows_[k].bytes = lent + headRoom + k * kWindowBytes;
  } else {
    ownHead_ = ReadSpace::allocate(size);
    head_ = ownHead_.get();
  }
  readFully(0, std::span<uint8_t>(head_, size));
  headSize_ = size;
}


void Container::readAt(uint64_t offset, std::span<uint8_t> out) {
  if (offset > fileSize_ || out.size() > fileSize_ - offset)
    throwCorrupt("die Datei ist abgeschnitten", fileRange(offset, out.size(), fileSize_));
  const uint8_t* p = headView(offset, out.size());
  if (p == nullptr) p = windowView(offset, out.size());
  if (p == nullptr && headSize_ > 0 && out.size() <= kWindowBytes / 2) p = loadWindow(offset, out.size());
  if (p == nullptr) {
    readFully(offset, out);
  } else if (!out.empty()) {
    std::memcpy(out.data(), p, out.size());
  }
}

const uint8_t* Container::windowView(uint64_t offset, uint64_t length) const {
  for (const Window& w : windows_)
    if (w.length > 0 && offset >= w.offset && offset - w.offset <= w.length && length <= w.length - (offset - w.offset)) {
      w.lastUse = ++useClock_;
      return w.bytes + (offset - w.offset);
    }
  return nullptr;
}

const uint8_t* Container::loadWindow(uint64_t offset, uint64_t length) {
  // The aligned window holding offset, moved back at the end of the file; the
  // range (at most half a window, inside the file) always fits in it.
  uint64_t start = offset / kWindowBytes * kWindowBytes;
  if (offset + length > start + kWindowBytes) start = offset / 4096 * 4096;
  if (start + kWindowBytes > fileSize_) start = fileSize_ > kWindowBytes ? fileSize_ - kWindowBytes : 0;
  start = std::min(start, offset);
  Window& w = *std::min_element(windows_.begin(), windows_.end(),
                                [](const Window& a, const Window& b) { return a.lastUse < b.lastUse; });
  if (w.bytes == nullptr) {
    w.own = ReadSpace::allocate(kWindowBytes);
    w.bytes = w.own.get();
  }
  // Emptied first: a read that fails leaves no window with stale bytes.
  w.length = 0;
  const size_t bytes = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, fileSize_ - start));
  readFully(start, std::span<uint8_t>(w.bytes, bytes));
  w.offset = start;
  w.length = bytes;
  return windowView(offset, length);
}

void Container::readFully(uint64_t offset, std::span<uint8_t> out) {
  size_t got = 0;
  if (const platform::SystemError error = file_.readAt(offset, out, got)) throwSystemError(error, "Lesefehler");
  if (got < out.size()) throwCorrupt("die Datei ist abgeschnitten", fileRange(offset, out.size(), offset + got));
  bytesRead_ += out.size();
}

void Container::readHeader() {
  if (fileSize_ < kHeaderBytes)
    throwInvalidHeader("die Datei ist zu kurz",
                       "die Datei hat " + std::to_string(fileSize_) + " Bytes, ein Dateikopf braucht 512");
  readAt(0, header_.raw);
  const uint8_t* h = header_.raw.data();
  if (!std::equal(kSignature.begin(), kSignature.end(), h))
    throwInvalidHeader("Kennung fehlt", "Dateikopf, Bytes 0x0 bis 0x7");
  Header& hd = header_;
  hd.majorVersion = loadU16(h + kHdrMajorVersion);
  hd.sectorShift = loadU16(h + kHdrSectorShift);
  // Each check of the header names the field it found wrong.
  if (const uint16_t order = loadU16(h + kHdrByteOrder); order != 0xFFFE)
    throwInvalidHeader("unbekannte Bytereihenfolge " + hexText(order) + " statt 0xFFFE", headerField(kHdrByteOrder));
  if (hd.majorVersion != 3 && hd.majorVersion != 4)
    throwInvalidHeader("unbekannte Version " + std::to_string(hd.majorVersion), headerField(kHdrMajorVersion));
  if (const uint32_t expected = hd.majorVersion == 3 ? 9 : 12; hd.sectorShift != expected)
    throwInvalidHeader("Sektorgröße 2^" + std::to_string(hd.sectorShift) + " passt nicht zu Version " +
                           std::to_string(hd.majorVersion) + " (erwartet 2^" + std::to_string(expected) + ")",
                       headerField(kHdrSectorShift));
  if (const uint16_t miniShift = loadU16(h + kHdrMiniSectorShift); miniShift != 6)
    throwInvalidHeader("Mini-Sektorgröße 2^" + std::to_string(miniShift) + " statt 2^6",
                       headerField(kHdrMiniSectorShift));
  if (const uint32_t cutoff = loadU32(h + kHdrMiniStreamCutoff); cutoff != kMiniStreamCutoff)
    throwInvalidHeader("Grenze des Mini-Datenstroms " + std::to_string(cutoff) + " statt 4096",
                       headerField(kHdrMiniStreamCutoff));
  hd.sectorSize = 1u << hd.sectorShift;
  hd.numFatSectors = loadU32(h + kHdrNumFatSectors);
  hd.firstDirSector = loadU32(h + kHdrFirstDirSector);
  hd.firstMiniFatSector = loadU32(h + kHdrFirstMiniFatSector);
  hd.numMiniFatSectors = loadU32(h + kHdrNumMiniFatSectors);
  hd.firstDifatSector = loadU32(h + kHdrFirstDifatSector);
  hd.numDifatSectors = loadU32(h + kHdrNumDifatSectors);
  uint64_t sectors = unitsFor(fileSize_, hd.sectorSize);
  if (sectors < 2)
    throwCorrupt("die Datei ist abgeschnitten",
                 "die Datei hat " + std::to_string(fileSize_) + " Bytes, weniger als Dateikopf und ein Sektor");
  sectorCount_ = static_cast<uint32_t>(std::min<uint64_t>(sectors - 1, kMaxRegularSector));
}

void Container::readDifat() {
  const uint32_t numFat = header_.numFatSectors;
  if (numFat == 0 || numFat > sectorCount_)
    throwCorrupt("ungültige Anzahl FAT-Sektoren " + std::to_string(numFat),
                 headerField(kHdrNumFatSectors) + ", die Datei hat " + std::to_string(sectorCount_) + " Sektoren");
  // Grows with the DIFAT sectors actually read: a damaged count alone takes
  // no memory.
  fatLocations_.reserve(std::min(numFat, kHeaderDifatEntries));
  for (uint32_t i = 0; i < std::min(numFat, kHeaderDifatEntries); ++i)
    fatLocations_.push_back(loadU32(header_.raw.data() + kHdrDifat + 4 * i));
  const uint32_t perDifat = header_.sectorSize / 4 - 1;
  if (numFat > kHeaderDifatEntries) {
    uint64_t needed = unitsFor(numFat - kHeaderDifatEntries, perDifat);
    if (header_.numDifatSectors < needed)
      throwCorrupt("die DIFAT ist unvollständig", headerField(kHdrNumDifatSectors) + ": " +
                                                      std::to_string(header_.numDifatSectors) + " DIFAT-Sektoren, " +
                                                      std::to_string(needed) + " nötig");
    std::unordered_set<uint32_t> seen;
    std::vector<uint8_t> buffer(header_.sectorSize);
    uint32_t s = header_.firstDifatSector;
    for (uint64_t k = 0; k < needed; ++k) {
      const std::string link = k == 0 ? headerField(kHdrFirstDifatSector)
                                      : "DIFAT-Sektor " + std::to_string(difatSectors_.back()) + ", letzter Eintrag";
      if (s >= sectorCount_)
        throwCorrupt("die DIFAT verweist außerhalb der Datei", link + ": Sektor " + std::to_string(s) +
                                                                   ", die Datei hat " + std::to_string(sectorCount_));
      if (!seen.insert(s).second)
        throwCorrupt("Schleife in der DIFAT", link + ": Sektor " + std::to_string(s) + " zum zweiten Mal");
      difatSectors_.push_back(s);
      readAt(sectorOffset(s), buffer);
      for (uint32_t i = 0; i < perDifat && fatLocations_.size() < numFat; ++i)
        fatLocations_.push_back(loadU32(buffer.data() + 4 * i));
      s = loadU32(buffer.data() + 4 * perDifat);
    }
  }
  for (size_t i = 0; i < fatLocations_.size(); ++i)
    if (fatLocations_[i] >= sectorCount_)
      throwCorrupt("ein FAT-Sektor liegt außerhalb der Datei",
                   "FAT-Sektor " + std::to_string(i) + " in Sektor " + unitNumber(fatLocations_[i]) +
                       ", die Datei hat " + std::to_string(sectorCount_) + " Sektoren");
}

const std::vector<uint32_t>& Container::fatSector(uint32_t index) {
  auto it = fatCache_.find(index);
  if (it != fatCache_.end()) return it->second;
  if (index >= fatLocations_.size())
    throwCorrupt("Sektornummer außerhalb der FAT", "FAT-Sektor " + std::to_string(index) + ", die FAT hat " +
                                                      std::to_string(fatLocations_.size()));
  std::vector<uint8_t> buffer(header_.sectorSize);
  readAt(sectorOffset(fatLocations_[index]), buffer);
  std::vector<uint32_t> entries(entriesPerFatSector());
  for (size_t i = 0; i < entries.size(); ++i) entries[i] = loadU32(buffer.data() + 4 * i);
  return fatCache_.emplace(index, std::move(entries)).first->second;
}

const std::vector<uint32_t>& Container::wholeFat() {
  if (wholeFatLoaded_) return wholeFat_;
  const uint32_t per = entriesPerFatSector();
  const uint32_t ss = header_.sectorSize;
  // At most as many FAT sectors as the file has sectors (checked with the
  // DIFAT), so this is bounded by the file's size.
  wholeFat_.resize(fatLocations_.size() * static_cast<size_t>(per));
  std::vector<uint8_t> bytes;
  constexpr size_t kMaxRun = 256;  // sectors per read
  for (size_t i = 0; i < fatLocations_.size();) {
    size_t j = i + 1;
    while (j < fatLocations_.size() && j - i < kMaxRun && fatLocations_[j] == fatLocations_[j - 1] + 1) ++j;
    bytes.resize((j - i) * ss);
    readAt(sectorOffset(fatLocations_[i]), bytes);
    for (size_t k = 0; k < (j - i) * per; ++k) wholeFat_[i * per + k] = loadU32(bytes.data() + 4 * k);
    i = j;
  }
  wholeFatLoaded_ = true;
  return wholeFat_;
}

uint32_t Container::nextSector(uint32_t sector) {
  if (wholeFatLoaded_) {
    if (sector >= wholeFat_.size()) throwCorrupt("Sektornummer außerhalb der FAT");
    return wholeFat_[sector];
  }
  const uint32_t index = sector >> (header_.sectorShift - 2);
  const uint32_t within = sector & (entriesPerFatSector() - 1);
  if (index != lastFatIndex_) {
    // A FAT sector inside the read-ahead head is read in place; of one that
    // the head holds only in part (the end of a file cut short), the entries
    // the head holds are read in place too.
    const uint64_t offset = index < fatLocations_.size() ? sectorOffset(fatLocations_[index]) : 0;
    const uint8_t* inHead = index < fatLocations_.size() ? headView(offset, header_.sectorSize) : nullptr;
    if (inHead == nullptr && index < fatLocations_.size())
      if (const uint8_t* p = headView(offset + 4ull * within, 4)) return loadU32(p);
    const std::vector<uint32_t>* decoded = inHead == nullptr ? &fatSector(index) : nullptr;
    lastFatIndex_ = index;
    lastFatInHead_ = inHead;
    lastFat_ = decoded;
  }
  return lastFatInHead_ != nullptr ? loadU32(lastFatInHead_ + 4ull * within) : (*lastFat_)[within];
}

// The two kinds of chain: sectors linked through the FAT, inside the file, and
// mini sectors linked through the mini FAT, inside the mini stream. Errors name
// the units and the space they must stay in.
struct Container::ChainKind {
  const char* unit;      // one link ("Sektor")
  const char* units;     // several ("Sektoren")
  const char* spaceHas;  // "die Datei hat"
  const char* tooLong;   // problem text: more links than the space holds
  const char* outside;   // problem text: a link leaves the space
  const char* endsEarly; // problem text: ENDOFCHAIN before the last link
  uint32_t (Container::*next)(uint32_t);
};

const Container::ChainKind Container::kSectors{"Sektor", "Sektoren", "die Datei hat",
                                               "Sektorkette ist länger als die Datei",
                                               "Sektorkette verweist außerhalb der Datei",
                                               "Sektorkette endet zu früh", &Container::nextSector};
const Container::ChainKind Container::kMiniSectors{
    "Mini-Sektor", "Mini-Sektoren", "der Mini-Datenstrom hat", "ein Datenstrom ist größer als der Mini-Datenstrom",
    "Mini-Sektorkette verweist außerhalb des Mini-Datenstroms", "Mini-Sektorkette endet zu früh",
    &Container::nextMiniSector};

std::vector<uint32_t> Container::followChain(const ChainKind& kind, uint32_t start, uint64_t count,
                                             uint64_t capacity, const ChainOwner& what) {
  if (count > capacity)
    throwCorrupt(kind.tooLong, what.text() + ": " + std::to_string(count) + " " + kind.units + ", " + kind.spaceHas + " " +
                                   std::to_string(capacity));
  std::vector<uint32_t> result;
  result.reserve(count);
  uint32_t unit = start;
  for (uint64_t i = 0; i < count; ++i) {
    if (unit >= capacity)
      throwCorrupt(unit == kEndOfChain ? kind.endsEarly : kind.outside, chainLeaves(kind, what, result, unit, capacity));
    result.push_back(unit);
    if (i + 1 < count) unit = (this->*kind.next)(unit);
  }
  checkNoRepeats(result, what, kind.unit);
  return result;
}

std::string Container::chainLeaves(const ChainKind& kind, const ChainOwner& what, const std::vector<uint32_t>& before,
                                   uint32_t next, uint64_t capacity) {
  return chainStep(what.text(), kind.unit, before, next) + ", " + kind.spaceHas + " " + std::to_string(capacity) + " " +
         kind.units;
}

std::vector<uint32_t> Container::chain(uint32_t start, uint64_t count, const ChainOwner& what) {
  if (count > fatEntryCount() + 1)
    throwCorrupt("Sektorkette ist länger als die FAT", what.text() + ": " + std::to_string(count) +
                                                           " Sektoren, die FAT beschreibt " +
                                                           std::to_string(fatEntryCount()));
  return followChain(kSectors, start, count, sectorCount_, what);
}

void Container::checkNoRepeats(const std::vector<uint32_t>& units, const ChainOwner& what, const char* unitName) {
  // A chain that visits a unit twice loops (or shares units with itself).
  // Most chains run forward, each unit above the one before; such a chain
  // visits none twice, and only the others are searched for a repeat.
  const bool forward = std::adjacent_find(units.begin(), units.end(), std::greater_equal<uint32_t>()) == units.end();
  bool repeat = false;
  size_t marked = 0;
  if (units.size() <= 32) {
    if (!forward) {
      // Short chains (the small streams): sorted in a local copy.
      std::array<uint32_t, 32> sorted;
      const auto end = std::copy(units.begin(), units.end(), sorted.begin());
      std::sort(sorted.begin(), end);
      repeat = std::adjacent_find(sorted.begin(), end) != end;
    }
  } else {
    const uint32_t largest = forward ? units.back() : *std::max_element(units.begin(), units.end());
    if (largest >= fileSize_ / kMiniSectorSize)
      throwCorrupt("Sektorkette verweist außerhalb der Datei",
                   what.text() + ", " + unitName + " " + std::to_string(largest));
    if (forward) {
      // No unit twice.
    } else if (largest / 32 <= units.size()) {
      // Longer ones whose numbers lie close together (as in every real
      // file): one mark per unit up to the largest, kept between checks and
      // cleared again after each; at most a bit per 4 bytes of the chain.
      if (marks_.size() <= largest) marks_.resize(static_cast<size_t>(largest) + 1, false);
      for (; marked < units.size() && !repeat; ++marked) {
        repeat = marks_[units[marked]];
        marks_[units[marked]] = true;
      }
      for (size_t k = 0; k < marked; ++k) marks_[units[k]] = false;
    } else {
      // Numbers far apart (a file much longer than its structure, or a
      // damaged chain): a sorted copy, whatever the numbers.
      std::vector<uint32_t> sorted(units);
      std::sort(sorted.begin(), sorted.end());
      repeat = std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end();
    }
  }
  if (repeat) {
    // Named by the first unit that comes twice (found again only now, on the
    // way to the error).
    std::string where = what.text();
    for (size_t i = 0; i < units.size(); ++i)
      if (std::find(units.begin(), units.begin() + static_cast<std::ptrdiff_t>(i), units[i]) !=
          units.begin() + static_cast<std::ptrdiff_t>(i)) {
        where += ", " + std::string(unitName) + " " + std::to_string(units[i]) + " zum zweiten Mal (Glied " +
                 std::to_string(i + 1) + " der Kette)";
        break;
      }
    throwCorrupt("Schleife in der Sektorkette", where);
  }
}

std::vector<uint32_t> Container::chainToEnd(uint32_t start, const std::string& what) {
  std::vector<uint32_t> result;
  result.reserve(64);  // a directory's length, mostly
  // Each sector of the chain is followed through the FAT (nextSector refuses
  // one it does not describe), so marks for those sectors suffice. While the
  // chain runs forward (each sector above the one before, as in most files),
  // no sector can come twice and none is marked; at its first step back the
  // sectors so far are marked, and from then on each one.
  std::vector<bool> seen;
  bool forward = true;
  for (uint32_t s = start; s != kEndOfChain; s = nextSector(s)) {
    if (s >= sectorCount_) throwCorrupt(kSectors.outside, chainLeaves(kSectors, what, result, s, sectorCount_));
    if (forward && (result.empty() || s > result.back())) {
      result.push_back(s);
      continue;
    }
    if (forward) {
      forward = false;
      seen.assign(describedSectorCount(), false);
      for (uint32_t before : result)
        if (before < seen.size()) seen[before] = true;
    }
    if (s < seen.size()) {
      if (seen[s])
        throwCorrupt("Schleife in der Sektorkette", what + ", Sektor " + std::to_string(s) +
                                                        " zum zweiten Mal (Glied " +
                                                        std::to_string(result.size() + 1) + " der Kette)");
      seen[s] = true;
    }
    result.push_back(s);
  }
  return result;
}

void Container::readDirectory() {
  dirChain_ = chainToEnd(header_.firstDirSector, "Verzeichnis");
  if (dirChain_.empty()) throwCorrupt("das Verzeichnis fehlt", headerField(kHdrFirstDirSector) + ": ENDOFCHAIN");
  const uint32_t ss = header_.sectorSize;
  dirBytes_.reserve(dirChain_.size() * ss);
  // Contiguous runs of directory sectors are read with one read each.
  for (size_t i = 0; i < dirChain_.size();) {
    size_t j = i + 1;
    while (j < dirChain_.size() && dirChain_[j] == dirChain_[j - 1] + 1) ++j;
    const uint64_t offset = sectorOffset(dirChain_[i]);
    const size_t length = (j - i) * ss;
    if (const uint8_t* p = headView(offset, length)) {
      dirBytes_.insert(dirBytes_.end(), p, p + length);
    } else {
      dirBytes_.resize(dirBytes_.size() + length);
      readAt(offset, std::span<uint8_t>(dirBytes_).last(length));
    }
    i = j;
  }
  const size_t count = dirBytes_.size() / kDirEntrySize;
  entrySlot_.assign(count, 0);
  links_.resize(count);
  for (size_t id = 0; id < count; ++id) {
    const uint8_t* p = dirBytes_.data() + id * kDirEntrySize;
    links_[id] = {loadU32(p + kDeLeft), loadU32(p + kDeRight), loadU32(p + kDeChild)};
  }
  if (rawEntry(0)[kDeType] != kTypeRoot)
    throwCorrupt("der Stammeintrag fehlt", "Verzeichniseintrag 0 hat den Typ " + std::to_string(rawEntry(0)[kDeType]) +
                                               " statt 5 (Sektor " + std::to_string(dirChain_[0]) + ")");
}

const uint8_t* Container::rawEntry(uint32_t id) const {
  if (id >= entryCount())
    throwCorrupt("Verzeichniseintrag außerhalb des Verzeichnisses", "Verzeichniseintrag " + std::to_string(id) +
                                                                        ", das Verzeichnis hat " +
                                                                        std::to_string(entryCount()) + " Einträge");
  return dirBytes_.data() + static_cast<size_t>(id) * kDirEntrySize;
}

namespace {

// Whether the stored name of the entry at `p` equals `name` in the
// compound-file comparison.
bool storedNameEquals(const uint8_t* p, std::u16string_view name) {
  const size_t units = nameUnits(p);
  if (units != name.size()) return false;
  for (size_t k = 0; k < units; ++k) {
    const auto stored = static_cast<char16_t>(loadU16(p + 2 * k));
    if (stored != name[k] && upperCase(stored) != upperCase(name[k])) return false;
  }
  return true;
}

}  // namespace

bool Container::nameEquals(uint32_t id, std::u16string_view name) const { return storedNameEquals(rawEntry(id), name); }

uint32_t Container::findRootChild(std::u16string_view name) const {
  // The children were checked to lie inside the directory when collected;
  // most differ from `name` in length already.
  for (uint32_t id : rootChildren_) {
    const uint8_t* p = dirBytes_.data() + static_cast<size_t>(id) * kDirEntrySize;
    if (nameUnits(p) == name.size() && storedNameEquals(p, name)) return id;
  }
  return kNoStream;
}

void Container::collectRootChildren() {
  // In-order walk of the red-black tree below the root. Each entry may be
  // entered once, so a tree that loops ends in an error instead of a hang.
  std::vector<bool> seen(entryCount(), false);
  std::vector<uint32_t> stack;
  stack.reserve(64);
  rootChildren_.reserve(entryCount());
  uint32_t from = 0;  // the entry whose link led to cur (for error descriptions)
  uint32_t cur = links_[0].child;
  while (cur != kNoStream || !stack.empty()) {
    while (cur != kNoStream) {
      // Made only for an error: the walk passes every child of the root.
      auto link = [&] {
        return "Verzeichniseintrag " + std::to_string(from) + " verweist auf " + std::to_string(cur);
      };
      if (cur >= entryCount())
        throwCorrupt("Verzeichnisverweis außerhalb des Verzeichnisses",
                     link() + ", das Verzeichnis hat " + std::to_string(entryCount()) + " Einträge");
      if (seen[cur]) throwCorrupt("Schleife im Verzeichnis", link() + ", das schon erreicht war");
      seen[cur] = true;
      const uint8_t* p = rawEntry(cur);
      if (p[kDeType] != kTypeStorage && p[kDeType] != kTypeStream)
        throwCorrupt("ungültiger Verzeichniseintrag: unbekannter Typ " + std::to_string(p[kDeType]),
                     "Verzeichniseintrag " + std::to_string(cur) + ", Byte " + hexText(kDeType));
      if (const uint16_t nameBytes = loadU16(p + kDeNameLength); nameBytes > 64)
        throwCorrupt("ungültiger Verzeichniseintrag: Namenslänge " + std::to_string(nameBytes) + " Bytes (höchstens 64)",
                     "Verzeichniseintrag " + std::to_string(cur) + ", Byte " + hexText(kDeNameLength));
      stack.push_back(cur);
      from = cur;
      cur = links_[cur].left;
    }
    cur = stack.back();
    stack.pop_back();
    rootChildren_.push_back(cur);
    from = cur;
    cur = links_[cur].right;
  }
}

std::string ChainOwner::text() const { return container_ != nullptr ? container_->entryLabel(id_) : std::string(text_); }

std::string Container::entryLabel(uint32_t id) const {
  if (id >= entryCount()) return "Verzeichniseintrag " + std::to_string(id);
  const uint8_t* p = rawEntry(id);
  const char* kind = p[kDeType] == kTypeRoot      ? "Stammeintrag"
                     : p[kDeType] == kTypeStorage ? "Speicher"
                                                  : "Datenstrom";
  return std::string(kind) + " \"" + printableName(entry(id).name) + "\" (Verzeichniseintrag " + std::to_string(id) +
         ")";
}

const DirectoryEntry& Container::entry(uint32_t id) const {
  const uint8_t* p = rawEntry(id);
  if (entrySlot_[id] != 0) return decoded_[entrySlot_[id] - 1];
  DirectoryEntry& e = decoded_.emplace_back();
  e.type = p[kDeType];
  const size_t units = nameUnits(p);
  e.name.resize(units);
  for (size_t k = 0; k < units; ++k) e.name[k] = static_cast<char16_t>(loadU16(p + 2 * k));
  std::copy_n(p + kDeClsid, 16, e.clsid.begin());
  e.startSector = loadU32(p + kDeStartSector);
  e.size = loadU64(p + kDeSize);
  entrySlot_[id] = static_cast<uint32_t>(decoded_.size());
  return e;
}

uint64_t Container::streamSize(uint32_t id) const {
  uint64_t size = loadU64(rawEntry(id) + kDeSize);
  // Version 3 files may leave garbage in the upper half of the size field.
  return header_.majorVersion == 3 ? (size & 0xFFFFFFFFu) : size;
}

const std::vector<uint32_t>& Container::miniFatChain() {
  loadMiniChains();
  return miniFatChain_;
}

const std::vector<uint32_t>& Container::rootChain() {
  loadMiniChains();
  return rootChain_;
}

void Container::loadMiniChains() {
  if (miniChainsLoaded_) return;
  miniFatChain_ = chain(header_.firstMiniFatSector, header_.numMiniFatSectors,
                        "Mini-FAT (" + headerField(kHdrFirstMiniFatSector) + ")");
  rootChain_ = chain(loadU32(rawEntry(0) + kDeStartSector), unitsFor(streamSize(0), header_.sectorSize),
                     "Mini-Datenstrom (Verzeichniseintrag 0)");
  miniChainsLoaded_ = true;
}

const std::vector<uint32_t>& Container::miniFat() {
  if (miniFatLoaded_) return miniFat_;
  loadMiniChains();
  std::vector<uint8_t> bytes(miniFatChain_.size() * header_.sectorSize);
  for (size_t i = 0; i < miniFatChain_.size(); ++i)
    readAt(sectorOffset(miniFatChain_[i]),
           std::span<uint8_t>(bytes).subspan(i * header_.sectorSize, header_.sectorSize));
  miniFat_.resize(bytes.size() / 4);
  for (size_t i = 0; i < miniFat_.size(); ++i) miniFat_[i] = loadU32(bytes.data() + 4 * i);
  miniFatLoaded_ = true;
  return miniFat_;
}

uint32_t Container::nextMiniSector(uint32_t miniSector) {
  // Mini-FAT sectors inside the read-ahead head are read in place.
  const uint32_t index = miniSector / entriesPerFatSector();
  if (index < miniFatChain_.size()) {
    const uint64_t offset = sectorOffset(miniFatChain_[index]) + 4ull * (miniSector % entriesPerFatSector());
    if (const uint8_t* p = headView(offset, 4)) return loadU32(p);
  }
  return miniFat().at(miniSector);
}

std::vector<uint32_t> Container::miniChain(uint32_t start, uint64_t count, const ChainOwner& what) {
  loadMiniChains();
  const uint64_t capacity = std::min<uint64_t>(uint64_t{miniFatChain_.size()} * entriesPerFatSector(),
                                               unitsFor(streamSize(0), kMiniSectorSize));
  return followChain(kMiniSectors, start, count, capacity, what);
}

uint64_t Container::miniSectorOffset(uint32_t miniSector, const std::vector<uint32_t>& root) const {
  const uint64_t pos = static_cast<uint64_t>(miniSector) * kMiniSectorSize;
  const uint64_t index = pos / header_.sectorSize;
  if (index >= root.size())
    throwCorrupt("Mini-Sektor außerhalb des Mini-Datenstroms", "Mini-Sektor " + std::to_string(miniSector) +
                                                                    ", der Mini-Datenstrom hat " +
                                                                    std::to_string(root.size()) + " Sektoren");
  return sectorOffset(root[index]) + pos % header_.sectorSize;
}

const std::vector<uint32_t>& Container::streamChain(uint32_t id) {
  auto it = streamChains_.find(id);
  if (it != streamChains_.end()) return it->second;
  const uint8_t* e = rawEntry(id);
  if (e[kDeType] != kTypeStream && id != 0) throwCorrupt("der Eintrag ist kein Datenstrom", entryLabel(id));
  const uint32_t start = loadU32(e + kDeStartSector);
  const uint64_t size = streamSize(id);
  if (size > fileSize_)
    throwCorrupt("der Datenstrom ist größer als die Datei", entryLabel(id) + ": " + std::to_string(size) +
                                                                " Bytes, die Datei hat " + std::to_string(fileSize_));
  const ChainOwner owner(*this, id);
  std::vector<uint32_t> c = inMiniStream(id) ? miniChain(start, unitsFor(size, kMiniSectorSize), owner)
                                             : chain(start, unitsFor(size, header_.sectorSize), owner);
  return streamChains_.emplace(id, std::move(c)).first->second;
}

const uint8_t* Container::streamHeadView(uint32_t id, uint64_t length) {
  if (length == 0 || length > streamSize(id) || headSize_ == 0) return nullptr;
  const bool mini = inMiniStream(id);
  const uint64_t unit = mini ? kMiniSectorSize : header_.sectorSize;
  const auto& units = streamChain(id);
  auto offsetOf = [&](uint32_t u) { return mini ? miniSectorOffset(u) : sectorOffset(u); };
  const uint64_t first = offsetOf(units[0]);
  for (uint64_t i = 1; i < unitsFor(length, unit); ++i)
    if (offsetOf(units[i]) != first + i * unit) return nullptr;
  return headView(first, length);
}

std::vector<uint8_t> Container::readWholeStream(uint32_t id) {
  streamChain(id);
  std::vector<uint8_t> bytes(static_cast<size_t>(streamSize(id)));
  readStream(id, 0, bytes);
  return bytes;
}

void Container::readStream(uint32_t id, uint64_t offset, std::span<uint8_t> out) {
  const uint64_t size = streamSize(id);
  if (offset > size || out.size() > size - offset)
    throwCorrupt("Lesebereich außerhalb des Datenstroms", entryLabel(id) + ", Bytes " + std::to_string(offset) +
                                                              " bis " + std::to_string(offset + out.size()) +
                                                              " von " + std::to_string(size));
  if (out.empty()) return;
  const bool mini = inMiniStream(id);
  const uint64_t unit = mini ? kMiniSectorSize : header_.sectorSize;
  const auto& units = streamChain(id);
  // Pieces that follow each other in the file are read with one read.
  uint64_t runOffset = 0;
  size_t runStart = 0;
  size_t runLength = 0;
  size_t done = 0;
  while (done < out.size()) {
    const uint64_t pos = offset + done;
    const uint64_t within = pos % unit;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(unit - within, out.size() - done));
    const uint32_t u = units[pos / unit];
    const uint64_t fileOffset = (mini ? miniSectorOffset(u) : sectorOffset(u)) + within;
    if (runLength > 0 && fileOffset == runOffset + runLength) {
      runLength += n;
    } else {
      if (runLength > 0) readAt(runOffset, out.subspan(runStart, runLength));
      runOffset = fileOffset;
      runStart = done;
      runLength = n;
    }
    done += n;
  }
  readAt(runOffset, out.subspan(runStart, runLength));
}

}  // namespace fendrik::cfb::detail
