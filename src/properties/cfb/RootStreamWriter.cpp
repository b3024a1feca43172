// Crash-safe in-place replacement of root streams.
//
// The rules. Each holds for every call; the ones marked (assert) are checked
// with assert where they must hold (debug and sanitizer builds).
//
//  R1 Proof first. Nothing is written before proveStructure has shown that
//     every sector and mini sector of the old state belongs to exactly one
//     structure and that everything the FAT and mini FAT call free is used by
//     nothing (StructureProof.h). Damaged files are refused untouched.
//  R2 Nothing the old state reads changes before the commit (assert, for
//     every write before it). New bytes go where the old state does not look:
//     free or appended sectors, free mini sectors, the slack behind a
//     stream's old end inside its last (mini) sector; FAT and mini-FAT
//     entries change only for (mini) sectors the old state does not use.
//  R3 Sectors the current state uses are written only as single aligned
//     512-byte blocks, each in a write of its own, and only the blocks whose
//     bytes change (assert). We rely on the device writing such a block
//     atomically (old or new after a crash), never on more: a larger write may
//     after a crash hold any mixture of old, new and garbage blocks. So a FAT
//     block shared by live and changed entries, or a stream's last sector
//     with new bytes in its slack, is old or new, and both read the same to
//     the state that is current. Sectors nobody uses yet may be written in
//     any size; a crash may leave garbage there, which nothing reads.
//  R4 The commit is one write of one aligned 512-byte block, and everything
//     it makes reachable was written and fsynced before it (assert): no write
//     since the last fsync when the commit block is written. The block is
//      - the directory block holding every changed directory entry, when all
//        of them lie in one block and the header stays, or
//      - the header (first 512 bytes), which then points at a shadow copy of
//        the directory prefix up to the last changed directory sector (whose
//        last sector links to the old directory's unchanged tail), at a new
//        DIFAT and FAT sector count, and at a moved mini FAT when those grew, or
//      - for a single stream whose changed bytes all lie in one block and
//        whose size stays, that block of the stream itself (no other write).
//     fsync after it.
//  R5 Only after the commit's fsync are the old chains freed (FAT and mini
//     FAT entries -> FREESECT, by R3 block by block), then fsync. A crash
//     before that fsync only leaks sectors; the file reads the new state.
//  R6 An error before the commit leaves the old state (and the old length);
//     after any error the writer reads the file back (through its locked
//     handle, with a fresh container) and reports what a reader sees: the
//     new contents are success with a warning that they may not have reached
//     the disk, anything else is the error. The error says the file may be
//     changed unless nothing was written or the file reads as before (header,
//     directory and the changed streams as they were).
//  R7 Another program may write the file in place, heedless of the lock.
//     Before the commit and before freeing the old chains the writer checks
//     that the file is still the one it wrote (size and change time since
//     its own last write, header, everything it wrote, the blocks the step
//     rewrites) and stops there if not, with an error saying the file may be
//     changed; it never truncates such a file.
//
// How streams change within these rules. A new chain may share the old
// chain's unchanged tail, because no FAT entry of the old chain changes: new
// chain = fresh copies of the units up to the last changed one + the old units
// after it (only possible when the unit count stays; growth past the last
// unit needs that unit's FAT entry changed, so then the whole stream gets a
// fresh chain). Two streams changed in one Save (Status and Username in
// ExtendedSummaryInformation, Security in SummaryInformation) switch together:
// either both directory entries (and the root entry, whose start and size
// describe the mini stream) change in the commit write, or neither. The mini
// stream grows into the slack of its last sector; beyond that it is copied to
// a fresh chain (its old last sector's FAT entry must not change), and the
// root entry switches with the commit. The mini FAT grows by moving it to a
// fresh chain, switched in the header.

#include "properties/cfb/RootStreamWriter.h"

#include <algorithm>
#include <cassert>
#include <map>
#include <new>
#include <numeric>
#include <optional>
#include <set>

#include "properties/StorageError.h"
#include "properties/VisibleText.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/Names.h"
#include "properties/cfb/StructureProof.h"
#include "properties/cfb/WritableFile.h"

namespace fendrik::cfb {
namespace {

using namespace detail;

// The writer reads the head of the file in one read once it holds the lock:
// the header, DIFAT, FAT, directory, mini FAT and the property streams of a
// document mostly lie in its first 64 KiB, and many documents are not much
// larger, so the proof and the plan work on those bytes instead of fetching
// each sector on its own (on a file share every read is a round trip; one
// of 128 KiB costs hardly more than one of 512 bytes). They are the file as
// it is under the lock; what the file holds later is read from the file
// (WritableFile::readNow, a fresh container for the read-back), never from
// them.
constexpr size_t kWriterReadAhead = 128 * 1024;

// Ranges the writer reads back to see whether the file is still the one it
// wrote (changeFound) come in one read where together they span at most
// kReadBackSpan: reading the bytes between costs less than another round
// trip.
constexpr uint64_t kReadBackSpan = 128 * 1024;

struct PendingWrite {
  bool mini = false;
  uint32_t unit = 0;    // sector or mini sector
  uint32_t within = 0;  // offset inside the unit
  std::vector<uint8_t> bytes;
};

class Transaction {
 public:
  Transaction(WritableFile& file, Container& c, const SectorMap& map)
      : file_(file), c_(c), map_(map), ss_(c.sectorSize()), per_(c.entriesPerFatSector()) {
    fatLocations_ = c.fatLocations();
    fat_ = c.wholeFat();
    diskFat_ = fat_;
    nextAppend_ = c.describedSectorCount();
    std::copy(c.header().raw.begin(), c.header().raw.end(), header_.begin());
    dir_ = c.directoryBytes();
  }

  void run(std::span<const StreamReplacement> changes);
  // Whether the run stopped because another program wrote the file.
  bool foreignChange() const { return foreignChange_; }
  // The streams the run changes, with the contents they had.
  const std::vector<StreamReplacement>& oldContents() const { return oldContents_; }

 private:
  struct Change {
    uint32_t id = 0;
    const std::vector<uint8_t>* content = nullptr;
    std::vector<uint8_t> old;
  };
  // One write into sectors: `before` is what the file holds there as far as
  // this writer knows, empty for a sector nobody reads (written whole).
  struct BlockWrite {
    uint64_t offset = 0;
    std::vector<uint8_t> now;
    std::vector<uint8_t> before;
  };

  // Sector tables (working copies).
  uint32_t fatGet(uint32_t s) const { return s < fat_.size() ? fat_[s] : kFreeSector; }
  void fatSet(uint32_t s, uint32_t v) {
    if (s >= fat_.size()) throwCorrupt("Sektornummer außerhalb der FAT");
    fat_[s] = v;
    dirtyFat_.insert(s / per_);
  }
  void miniSet(uint32_t m, uint32_t v) {
    miniFat_[m] = v;
    dirtyMini_.insert(m / per_);
  }
  void ensureFatCovers(uint32_t s);
  uint32_t allocateSector();
  uint32_t allocateMini();
  void loadMini();
  std::vector<uint32_t> allocateChain(size_t count);

  // Planning.
  std::vector<Change> collect(std::span<const StreamReplacement> changes);
  bool patchInPlace(const Change& change);
  void planStream(const Change& change);
  void planMiniStream();
  void planMiniFat();
  void planDirectory();
  void planDifat();
  void setEntry(uint32_t id, uint32_t start, uint64_t size);

  // Execution.
  bool freshSector(uint64_t offset) const;
  void put(uint64_t offset, std::span<const uint8_t> bytes);
  // The flush; `last` for the final one, after which nothing is checked
  // (see WritableFile::sync).
  void sync(bool last = false);
  static void addChangedBlocks(std::vector<BlockWrite>& writes, uint64_t offset, std::span<const uint8_t> now,
                               std::span<const uint8_t> before);
  void writePrepared();
  std::vector<BlockWrite> tableWrites();
  void writeTables();
  using Expected = std::vector<std::pair<uint64_t, std::span<const uint8_t>>>;
  void checkAsLeft(const char* step, Expected expected);
  // With `byState` false only the bytes are compared (between writes, before
  // the state of the last one is noted).
  std::string changeFound(Expected expected, bool byState = true) const;
  void freeOld();
  void commit();
#ifndef NDEBUG
  bool oldStateReads(uint64_t offset);
  bool keepsOldState(uint64_t offset, std::span<const uint8_t> bytes);
#endif

  WritableFile& file_;
  Container& c_;
  const SectorMap& map_;  // who uses each sector in the old state (proven)
  const uint32_t ss_;
  const uint32_t per_;

  std::vector<uint32_t> fatLocations_;
  std::vector<uint32_t> fat_;
  std::vector<uint32_t> diskFat_;  // the FAT as the file holds it now
  std::set<uint32_t> dirtyFat_;
  uint32_t nextAppend_;
  uint32_t freeCursor_ = 0;

  std::vector<uint32_t> miniFat_;
  std::vector<uint32_t> diskMiniFat_;  // the mini FAT as the file holds it now
  size_t oldMiniFatEntries_ = 0;
  std::set<uint32_t> dirtyMini_;
  uint32_t miniCursor_ = 0;
  uint64_t miniCount_ = 0;     // mini sectors the old mini stream holds
  uint64_t newMiniCount_ = 0;  // after this transaction
  std::vector<uint32_t> rootChain_;
  std::vector<uint32_t> miniFatChain_;
  bool miniLoaded_ = false;

  std::array<uint8_t, kHeaderBytes> header_{};
  bool headerChanged_ = false;
  std::vector<uint8_t> dir_;
  std::set<uint32_t> changedEntries_;
  std::vector<uint32_t> dirChain_;  // the directory chain after the commit

  std::vector<PendingWrite> writes_;
  std::vector<std::pair<std::vector<uint32_t>, std::vector<uint8_t>>> sectorRuns_;  // whole new sectors
  std::vector<uint32_t> freeAfter_;
  std::vector<uint32_t> freeMiniAfter_;
  std::optional<std::pair<uint64_t, std::vector<uint8_t>>> commitBlock_;
  std::vector<uint8_t> commitBefore_;  // the commit block as the old state holds it
  bool committed_ = false;
  size_t unsyncedWrites_ = 0;
  bool foreignChange_ = false;
  std::vector<StreamReplacement> oldContents_;
  // Every write of this transaction, where and what, the commit last.
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> written_;
};

// Appended sectors need FAT entries; new FAT sectors are appended as well and
// mark themselves FATSECT.
void Transaction::ensureFatCovers(uint32_t s) {
  std::vector<uint32_t> added;
  uint32_t highest = s;
  while (static_cast<uint64_t>(highest) >= static_cast<uint64_t>(fatLocations_.size()) * per_) {
    uint32_t f = nextAppend_++;
    fat_.resize(fat_.size() + per_, kFreeSector);
    dirtyFat_.insert(static_cast<uint32_t>(fatLocations_.size()));
    fatLocations_.push_back(f);
    added.push_back(f);
    highest = std::max(highest, f);
  }
  for (uint32_t f : added) fatSet(f, kFatSector);
}

// A free sector inside the file: one the FAT calls free and the old state
// does not use (the proof makes the two agree; the map is asked anyway), else
// the next one after the sectors the FAT describes. That is the end of the
// file, unless the file goes on beyond its structure (extended, or with bytes
// appended): the sectors there belong to nothing, as the free ones do, and
// are taken in turn, so that the FAT grows with the structure and never to
// the file's length (a 100 GB sparse file would need a FAT of 800 MB).
uint32_t Transaction::allocateSector() {
  while (freeCursor_ < c_.describedSectorCount()) {
    uint32_t s = freeCursor_++;
    if (!map_.usedByOldState(s) && fatGet(s) == kFreeSector) {
      fatSet(s, kEndOfChain);
      return s;
    }
  }
  if (nextAppend_ >= kMaxRegularSector - 1024) throw StorageError(hresult::kDiskFull, "Die Datei ist zu groß");
  uint32_t s = nextAppend_++;
  ensureFatCovers(s);
  fatSet(s, kEndOfChain);
  return s;
}

std::vector<uint32_t> Transaction::allocateChain(size_t count) {
  std::vector<uint32_t> sectors;
  for (size_t i = 0; i < count; ++i) sectors.push_back(allocateSector());
  for (size_t i = 0; i + 1 < sectors.size(); ++i) fatSet(sectors[i], sectors[i + 1]);
  return sectors;
}

uint32_t Transaction::allocateMini() {
  const uint64_t limit = std::min<uint64_t>(miniCount_, oldMiniFatEntries_);
  while (miniCursor_ < limit) {
    uint32_t m = miniCursor_++;
    const bool used = m < map_.miniOwner.size() && map_.miniOwner[m] != kOwnerNone;
    if (!used && miniFat_[m] == kFreeSector) {
      miniSet(m, kEndOfChain);
      return m;
    }
  }
  // Beyond the old mini stream's end: unseen by the old state.
  uint64_t m = std::max(newMiniCount_, miniCount_);
  if (m >= kMaxRegularSector / 2) throw StorageError(hresult::kDiskFull, "Der Mini-Datenstrom ist zu groß");
  newMiniCount_ = m + 1;
  while (miniFat_.size() <= m) miniFat_.resize(miniFat_.size() + per_, kFreeSector);
  miniSet(static_cast<uint32_t>(m), kEndOfChain);
  return static_cast<uint32_t>(m);
}

void Transaction::loadMini() {
  miniFat_ = c_.miniFat();
  diskMiniFat_ = miniFat_;
  oldMiniFatEntries_ = miniFat_.size();
  rootChain_ = c_.rootChain();
  miniFatChain_ = c_.miniFatChain();
  miniCount_ = unitsFor(c_.streamSize(0), kMiniSectorSize);
  miniLoaded_ = true;
}

std::vector<Transaction::Change> Transaction::collect(std::span<const StreamReplacement> changes) {
  std::vector<Change> result;
  for (const auto& r : changes) {
    std::optional<uint32_t> id;
    for (uint32_t child : c_.rootChildren())
      if (c_.entry(child).type == kTypeStream && compareNames(c_.entry(child).name, r.name) == 0) id = child;
    if (!id) {
      std::string narrow;
      for (char16_t ch : r.name) narrow += ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?';
      throw StorageError(hresult::kSetNotFound, "Eigenschaftensatz nicht gefunden: " + narrow);
    }
    if (c_.header().majorVersion == 3 && r.content.size() > 0xFFFFFFFFu)
      throw StorageError(hresult::kDiskFull, "Der Datenstrom ist zu groß");
    for (const auto& other : result)
      if (other.id == *id) throw StorageError(hresult::kDocfileCorrupt, "Ein Datenstrom wurde doppelt übergeben");
    Change change;
    change.id = *id;
    change.content = &r.content;
    const uint64_t size = c_.streamSize(*id);
    if (size > c_.fileSize()) throwCorrupt("der Datenstrom ist größer als die Datei");
    change.old = c_.readWholeStream(*id);
    if (change.old == r.content) continue;
    oldContents_.push_back({r.name, change.old});
    result.push_back(std::move(change));
  }
  return result;
}

// A single same-size stream whose changed bytes share one aligned 512-byte
// block: that block is written alone, and is itself the commit.
bool Transaction::patchInPlace(const Change& change) {
  const auto& now = *change.content;
  if (now.size() != change.old.size()) return false;
  auto first = std::mismatch(now.begin(), now.end(), change.old.begin()).first - now.begin();
  auto last = now.size() - 1 - (std::mismatch(now.rbegin(), now.rend(), change.old.rbegin()).first - now.rbegin());
  const bool mini = c_.inMiniStream(change.id);
  const uint64_t unit = mini ? kMiniSectorSize : ss_;
  const auto& chain = c_.streamChain(change.id);
  auto fileOffset = [&](uint64_t pos) {
    uint32_t u = chain[pos / unit];
    return (mini ? c_.miniSectorOffset(u) : c_.sectorOffset(u)) + pos % unit;
  };
  const uint64_t a = fileOffset(static_cast<uint64_t>(first));
  const uint64_t b = fileOffset(last);
  if (static_cast<uint64_t>(first) / unit != last / unit || a / kAtomicBlock != b / kAtomicBlock) return false;
  const uint64_t blockStart = a / kAtomicBlock * kAtomicBlock;
  std::vector<uint8_t> block(kAtomicBlock);
  c_.readAt(blockStart, block);
  commitBefore_ = block;
  std::copy(now.begin() + first, now.begin() + static_cast<long>(last) + 1, block.begin() + (a - blockStart));
  commitBlock_ = {blockStart, std::move(block)};
  return true;
}

void Transaction::setEntry(uint32_t id, uint32_t start, uint64_t size) {
  uint8_t* p = dir_.data() + static_cast<size_t>(id) * kDirEntrySize;
  storeU32(p + kDeStartSector, start);
  storeU64(p + kDeSize, size);
  changedEntries_.insert(id);
}

void Transaction::planStream(const Change& change) {
  const auto& now = *change.content;
  const auto& old = change.old;
  const bool oldMini = c_.inMiniStream(change.id);
  const bool newMini = now.size() < kMiniStreamCutoff;
  if ((oldMini || newMini) && !miniLoaded_) loadMini();
  const uint64_t unit = newMini ? kMiniSectorSize : ss_;
  const std::vector<uint32_t> oldChain = c_.streamChain(change.id);
  const size_t units = static_cast<size_t>(unitsFor(now.size(), unit));

  // Units [0, fresh) get new sectors; units [fresh, units) stay where they are.
  size_t fresh = units;
  if (oldMini == newMini && units == oldChain.size() && units > 0) {
    const size_t overlap = std::min(old.size(), now.size());
    size_t lastDiff = overlap;
    for (size_t i = overlap; i-- > 0;)
      if (old[i] != now[i]) {
        lastDiff = i;
        break;
      }
    fresh = lastDiff == overlap ? 0 : lastDiff / unit + 1;
    // Bytes past the old end land in the old last unit's slack, unseen by
    // the old state.
    if (fresh < units && now.size() > old.size()) {
      const size_t lastUnit = units - 1;
      writes_.push_back({newMini, oldChain[lastUnit], static_cast<uint32_t>(old.size() - lastUnit * unit),
                         std::vector<uint8_t>(now.begin() + static_cast<long>(old.size()), now.end())});
    }
  }
  if (oldMini != newMini || units != oldChain.size()) fresh = units;

  std::vector<uint32_t> chain(units);
  for (size_t i = 0; i < fresh; ++i) chain[i] = newMini ? allocateMini() : allocateSector();
  for (size_t i = fresh; i < units; ++i) chain[i] = oldChain[i];
  for (size_t i = 0; i < fresh; ++i) {
    uint32_t next = i + 1 < units ? chain[i + 1] : kEndOfChain;
    if (newMini)
      miniSet(chain[i], next);
    else
      fatSet(chain[i], next);
    const size_t begin = i * unit;
    const size_t end = std::min<size_t>(begin + unit, now.size());
    std::vector<uint8_t> bytes(unit, 0);
    std::copy(now.begin() + static_cast<long>(begin), now.begin() + static_cast<long>(end), bytes.begin());
    writes_.push_back({newMini, chain[i], 0, std::move(bytes)});
  }
  // The shared tail stays; the old units before it are freed after the commit.
  const size_t shared = units - fresh;
  for (size_t i = 0; i < oldChain.size() - shared; ++i) (oldMini ? freeMiniAfter_ : freeAfter_).push_back(oldChain[i]);
  setEntry(change.id, units ? chain[0] : kEndOfChain, now.size());
}

// The mini stream grows into the slack of its last sector; past that it gets a
// fresh chain holding a copy of the old one (see the comment at the top).
void Transaction::planMiniStream() {
  if (!miniLoaded_ || newMiniCount_ <= miniCount_) return;
  const uint64_t newBytes = newMiniCount_ * kMiniSectorSize;
  const size_t sectors = static_cast<size_t>(unitsFor(newBytes, ss_));
  if (sectors > rootChain_.size()) {
    std::vector<uint8_t> image(sectors * static_cast<size_t>(ss_), 0);
    c_.readStream(0, 0, std::span<uint8_t>(image).first(static_cast<size_t>(c_.streamSize(0))));
    for (auto& w : writes_) {
      if (!w.mini) continue;
      std::copy(w.bytes.begin(), w.bytes.end(),
                image.begin() + static_cast<long>(uint64_t(w.unit) * kMiniSectorSize + w.within));
    }
    std::erase_if(writes_, [](const PendingWrite& w) { return w.mini; });
    std::vector<uint32_t> chain = allocateChain(sectors);
    for (uint32_t s : rootChain_) freeAfter_.push_back(s);
    rootChain_ = chain;
    sectorRuns_.push_back({chain, std::move(image)});
  }
  setEntry(0, rootChain_.empty() ? kEndOfChain : rootChain_[0], newBytes);
}

// A mini FAT that must grow moves to a fresh chain, switched in the header.
void Transaction::planMiniFat() {
  if (!miniLoaded_ || miniFat_.size() <= oldMiniFatEntries_) return;
  const size_t sectors = miniFat_.size() / per_;
  std::vector<uint32_t> chain = allocateChain(sectors);
  for (uint32_t s : miniFatChain_) freeAfter_.push_back(s);
  miniFatChain_ = chain;
  dirtyMini_.clear();
  for (uint32_t k = 0; k < sectors; ++k) dirtyMini_.insert(k);
  storeU32(header_.data() + kHdrFirstMiniFatSector, chain[0]);
  storeU32(header_.data() + kHdrNumMiniFatSectors, static_cast<uint32_t>(sectors));
  headerChanged_ = true;
}

void Transaction::planDirectory() {
  dirChain_ = c_.directoryChain();
  if (changedEntries_.empty()) return;
  const uint32_t firstBlock = *changedEntries_.begin() * kDirEntrySize / kAtomicBlock;
  const uint32_t lastBlock = *changedEntries_.rbegin() * kDirEntrySize / kAtomicBlock;
  const bool fatGrows = fatLocations_.size() != c_.fatLocations().size();
  if (!headerChanged_ && !fatGrows && firstBlock == lastBlock) {
    const uint64_t pos = uint64_t(firstBlock) * kAtomicBlock;
    const uint64_t offset = c_.sectorOffset(dirChain_[pos / ss_]) + pos % ss_;
    commitBlock_ = {offset, std::vector<uint8_t>(dir_.begin() + static_cast<long>(pos),
                                                 dir_.begin() + static_cast<long>(pos + kAtomicBlock))};
    const auto& old = c_.directoryBytes();
    commitBefore_.assign(old.begin() + static_cast<long>(pos), old.begin() + static_cast<long>(pos + kAtomicBlock));
    return;
  }
  // Shadow copy of the directory prefix up to the last changed sector; its
  // last sector links to the old, unchanged rest of the directory.
  const size_t lastSector = *changedEntries_.rbegin() * kDirEntrySize / ss_;
  std::vector<uint32_t> shadow = allocateChain(lastSector + 1);
  fatSet(shadow.back(), lastSector + 1 < dirChain_.size() ? dirChain_[lastSector + 1] : kEndOfChain);
  for (size_t i = 0; i <= lastSector; ++i) {
    freeAfter_.push_back(dirChain_[i]);
    dirChain_[i] = shadow[i];
  }
  sectorRuns_.push_back(
      {shadow, std::vector<uint8_t>(dir_.begin(), dir_.begin() + static_cast<long>((lastSector + 1) * ss_))});
  storeU32(header_.data() + kHdrFirstDirSector, shadow[0]);
  headerChanged_ = true;
}

// New FAT sectors go into the header's DIFAT array, beyond 109 into a fresh
// set of DIFAT sectors (the old ones' chain end must not change).
void Transaction::planDifat() {
  if (fatLocations_.size() == c_.fatLocations().size()) return;
  headerChanged_ = true;
  const uint32_t perDifat = per_ - 1;
  std::vector<uint32_t> difat;
  for (;;) {
    const uint64_t count = fatLocations_.size();
    const uint64_t needed = count > kHeaderDifatEntries ? unitsFor(count - kHeaderDifatEntries, perDifat) : 0;
    if (difat.size() >= needed) break;
    uint32_t s = allocateSector();
    fatSet(s, kDifatSector);
    difat.push_back(s);
  }
  if (!difat.empty())
    for (uint32_t s : c_.difatSectors()) freeAfter_.push_back(s);
  std::vector<uint8_t> bytes(difat.size() * static_cast<size_t>(ss_), 0);
  for (size_t d = 0; d < difat.size(); ++d) {
    uint8_t* p = bytes.data() + d * ss_;
    for (uint32_t e = 0; e < perDifat; ++e) {
      uint64_t idx = kHeaderDifatEntries + d * perDifat + e;
      storeU32(p + 4 * e, idx < fatLocations_.size() ? fatLocations_[idx] : kFreeSector);
    }
    storeU32(p + 4 * perDifat, d + 1 < difat.size() ? difat[d + 1] : kEndOfChain);
  }
  if (!difat.empty()) sectorRuns_.push_back({difat, std::move(bytes)});
  for (uint32_t i = 0; i < kHeaderDifatEntries; ++i)
    storeU32(header_.data() + kHdrDifat + 4 * i, i < fatLocations_.size() ? fatLocations_[i] : kFreeSector);
  storeU32(header_.data() + kHdrNumFatSectors, static_cast<uint32_t>(fatLocations_.size()));
  storeU32(header_.data() + kHdrFirstDifatSector, difat.empty() ? kEndOfChain : difat[0]);
  storeU32(header_.data() + kHdrNumDifatSectors, static_cast<uint32_t>(difat.size()));
}

// Whether the sector at `offset` is one nobody reads: before the commit, a
// sector the old state does not use (free or appended); after it, none.
bool Transaction::freshSector(uint64_t offset) const {
  if (committed_ || offset < ss_) return false;
  return !map_.usedByOldState(static_cast<uint32_t>(offset / ss_ - 1));
}

void Transaction::put(uint64_t offset, std::span<const uint8_t> bytes) {
  // R2 (unless another program wrote the file meanwhile: checkAsLeft stops
  // the writer before the commit) and R3.
  assert(committed_ || keepsOldState(offset, bytes) || !changeFound({{0, c_.header().raw}}, false).empty());
  assert(freshSector(offset) || (bytes.size() == kAtomicBlock && offset % kAtomicBlock == 0));
  file_.write(offset, bytes);
  written_.emplace_back(offset, std::vector<uint8_t>(bytes.begin(), bytes.end()));
  ++unsyncedWrites_;
}

void Transaction::sync(bool last) {
  file_.sync(!last);
  unsyncedWrites_ = 0;
}

// R3: the bytes [offset, offset + now.size()) of sectors in use, `before`
// being what the file holds there: each aligned 512-byte block that changes
// becomes a write of its own. The range starts and ends on block boundaries.
void Transaction::addChangedBlocks(std::vector<BlockWrite>& writes, uint64_t offset, std::span<const uint8_t> now,
                                   std::span<const uint8_t> before) {
  for (size_t b = 0; b < now.size(); b += kAtomicBlock) {
    const auto block = now.subspan(b, kAtomicBlock), held = before.subspan(b, kAtomicBlock);
    if (!std::equal(block.begin(), block.end(), held.begin()))
      writes.push_back({offset + b, {block.begin(), block.end()}, {held.begin(), held.end()}});
  }
}

void Transaction::writePrepared() {
  // Into sectors nobody reads yet (free or appended: the new units of the
  // streams, the new mini stream, directory and DIFAT sectors): sorted by
  // file offset, everything that touches written in one write, since on a
  // file share each write is a round trip. Into sectors the old state uses
  // (a stream's last sector, the mini stream): patched into copies of their
  // blocks, written block by block (R3).
  std::vector<std::pair<uint64_t, std::span<const uint8_t>>> pieces;
  std::map<uint64_t, std::pair<std::vector<uint8_t>, std::vector<uint8_t>>> blocks;  // offset -> (new, old)
  for (const auto& w : writes_) {
    const uint64_t at = (w.mini ? c_.miniSectorOffset(w.unit, rootChain_) : c_.sectorOffset(w.unit)) + w.within;
    if (freshSector(at)) {
      pieces.push_back({at, w.bytes});
      continue;
    }
    for (size_t k = 0; k < w.bytes.size();) {
      const uint64_t pos = at + k;
      const uint64_t start = pos / kAtomicBlock * kAtomicBlock;
      auto it = blocks.find(start);
      if (it == blocks.end()) {
        std::vector<uint8_t> old(kAtomicBlock);
        c_.readAt(start, old);
        it = blocks.emplace(start, std::make_pair(old, old)).first;
      }
      const size_t n = std::min<size_t>(w.bytes.size() - k, start + kAtomicBlock - pos);
      std::copy_n(w.bytes.begin() + static_cast<long>(k), n, it->second.first.begin() + static_cast<long>(pos - start));
      k += n;
    }
  }
  for (const auto& [sectors, bytes] : sectorRuns_)
    for (size_t i = 0; i < sectors.size(); ++i)
      pieces.push_back({c_.sectorOffset(sectors[i]), std::span<const uint8_t>(bytes).subspan(i * ss_, ss_)});
  std::sort(pieces.begin(), pieces.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < pieces.size();) {
    std::vector<uint8_t> run(pieces[i].second.begin(), pieces[i].second.end());
    size_t j = i + 1;
    while (j < pieces.size() && pieces[j].first == pieces[i].first + run.size()) {
      run.insert(run.end(), pieces[j].second.begin(), pieces[j].second.end());
      ++j;
    }
    put(pieces[i].first, run);
    i = j;
  }
  std::vector<BlockWrite> changed;
  for (const auto& [start, images] : blocks) addChangedBlocks(changed, start, images.first, images.second);
  for (const BlockWrite& w : changed) put(w.offset, w.now);
}

// Changed FAT and mini-FAT sectors: fresh ones whole, the others by R3 (each
// changed 512-byte block with what it held before). The writer's image of
// the tables on the disk takes the changes at once.
std::vector<Transaction::BlockWrite> Transaction::tableWrites() {
  std::vector<BlockWrite> result;
  std::vector<uint8_t> now(ss_);
  std::vector<uint8_t> before(ss_);
  auto tableSector = [&](uint32_t sector, const std::vector<uint32_t>& table, std::vector<uint32_t>& disk,
                         uint64_t first) {
    for (uint32_t e = 0; e < per_; ++e) {
      storeU32(now.data() + 4 * e, table[first + e]);
      storeU32(before.data() + 4 * e, first + e < disk.size() ? disk[first + e] : kFreeSector);
    }
    const uint64_t offset = c_.sectorOffset(sector);
    if (freshSector(offset))
      result.push_back({offset, now, {}});
    else
      addChangedBlocks(result, offset, now, before);
    if (disk.size() < first + per_) disk.resize(first + per_, kFreeSector);
    std::copy_n(table.begin() + static_cast<long>(first), per_, disk.begin() + static_cast<long>(first));
  };
  if (miniLoaded_) {
    for (uint32_t k : dirtyMini_)
      if (k < miniFatChain_.size()) tableSector(miniFatChain_[k], miniFat_, diskMiniFat_, uint64_t(k) * per_);
    dirtyMini_.clear();
  }
  for (uint32_t k : dirtyFat_) tableSector(fatLocations_[k], fat_, diskFat_, uint64_t(k) * per_);
  dirtyFat_.clear();
  return result;
}

void Transaction::writeTables() {
  for (const BlockWrite& w : tableWrites()) put(w.offset, w.now);
}

// Another program that writes the file in place, heedless of the lock, cannot
// be stopped. But before each step that rewrites bytes the state then current
// reads (the commit, the freeing of the old chains), the file must still be
// the one this writer wrote: the size and change time of its own last write,
// and `expected` (the header it knows, everything it wrote, the blocks the
// step rewrites as they are before it) read back from the disk. Otherwise the
// writer stops before the step: its bytes, planned for the file it read,
// would land in the other program's file.
void Transaction::checkAsLeft(const char* step, Expected expected) {
  const std::string found = changeFound(std::move(expected));
  if (found.empty()) return;
  foreignChange_ = true;
  StorageError error(hresult::kLockViolation,
                     std::string("Ein anderes Programm hat die Datei während des Schreibens verändert; das Schreiben "
                                 "wurde ") + step + " abgebrochen",
                     found);
  error.markFileMayBeChanged();
  throw error;
}

// What shows that the file is no longer the one this writer wrote (see
// checkAsLeft); empty when nothing does.
std::string Transaction::changeFound(Expected expected, bool byState) const {
  // A write that a later one overlaps is left to the later one.
  for (size_t i = 0; i < written_.size(); ++i) {
    // Plain names rather than a structured binding: the lambda below uses
    // them, which not every compiler of the project accepts for bindings.
    const uint64_t offset = written_[i].first;
    const auto& bytes = written_[i].second;
    const bool overlapped =
        std::any_of(written_.begin() + static_cast<long>(i) + 1, written_.end(), [&](const auto& later) {
          return later.first < offset + bytes.size() && offset < later.first + later.second.size();
        });
    if (!overlapped) expected.emplace_back(offset, bytes);
  }
  if (byState)
    if (std::string found = file_.changeByOthers(); !found.empty()) return found;
  // Read in spans of ranges close together (see kReadBackSpan), then each
  // range compared on its own, in the order given.
  struct Span {
    uint64_t start = 0, end = 0;
    std::vector<uint8_t> bytes;  // as far as the file holds them
  };
  std::vector<size_t> byOffset(expected.size());
  std::iota(byOffset.begin(), byOffset.end(), size_t{0});
  std::sort(byOffset.begin(), byOffset.end(), [&](size_t a, size_t b) { return expected[a].first < expected[b].first; });
  std::vector<Span> spans;
  std::vector<size_t> spanOf(expected.size());
  for (size_t k : byOffset) {
    const uint64_t offset = expected[k].first;
    const uint64_t end = offset + expected[k].second.size();
    if (spans.empty() || std::max(end, spans.back().end) - spans.back().start > kReadBackSpan)
      spans.push_back({offset, end, {}});
    spans.back().end = std::max(spans.back().end, end);
    spanOf[k] = spans.size() - 1;
  }
  for (Span& span : spans) {
    span.bytes.resize(static_cast<size_t>(span.end - span.start));
    span.bytes.resize(file_.readNowUpTo(span.start, span.bytes));
  }
  for (size_t k = 0; k < expected.size(); ++k) {
    const auto& [offset, bytes] = expected[k];
    const Span& span = spans[spanOf[k]];
    const uint64_t at = offset - span.start;
    if (at + bytes.size() > span.bytes.size() ||
        !std::equal(bytes.begin(), bytes.end(), span.bytes.begin() + static_cast<std::ptrdiff_t>(at)))
      return offset == 0 ? "der Dateikopf ist ein anderer"
                         : "die Bytes " + hexText(offset) + " bis " + hexText(offset + bytes.size()) + " sind andere";
  }
  return {};
}

void Transaction::commit() {
  if (headerChanged_) {
    commitBlock_ = {0, std::vector<uint8_t>(header_.begin(), header_.end())};
    commitBefore_.assign(c_.header().raw.begin(), c_.header().raw.end());
  }
  // R4: one aligned block, after everything it reaches is on the disk.
  assert(commitBlock_ && commitBlock_->second.size() == kAtomicBlock && commitBlock_->first % kAtomicBlock == 0);
  assert(unsyncedWrites_ == 0);
  checkAsLeft("vor dem Festschreiben", {{0, c_.header().raw}, {commitBlock_->first, commitBefore_}});
  file_.write(commitBlock_->first, commitBlock_->second);
  written_.emplace_back(commitBlock_->first, commitBlock_->second);
  committed_ = true;
  ++unsyncedWrites_;
}

void Transaction::freeOld() {
  for (uint32_t s : freeAfter_) fatSet(s, kFreeSector);
  for (uint32_t m : freeMiniAfter_)
    if (m < miniFat_.size()) miniSet(m, kFreeSector);
  const std::vector<BlockWrite> writes = tableWrites();
  Expected expected{{0, header_}};
  for (const BlockWrite& w : writes) expected.emplace_back(w.offset, w.before);
  checkAsLeft("vor dem Freigeben der alten Sektoren", std::move(expected));
  for (const BlockWrite& w : writes) put(w.offset, w.now);
}

#ifndef NDEBUG
// Whether the old state reads the byte at `offset` (R2 check).
bool Transaction::oldStateReads(uint64_t offset) {
  if (offset < kHeaderBytes) return true;
  if (offset < ss_) return false;  // the rest of a version 4 header sector
  const uint32_t s = static_cast<uint32_t>(offset / ss_ - 1);
  if (!map_.usedByOldState(s)) return false;
  const uint32_t owner = map_.owner[s];
  const uint64_t within = offset % ss_;
  auto indexIn = [](const std::vector<uint32_t>& chain, uint32_t sector) {
    return static_cast<uint64_t>(std::find(chain.begin(), chain.end(), sector) - chain.begin());
  };
  // Bytes of a chain's last unit behind the end of its data are not read.
  auto inTail = [&](uint32_t id, uint64_t unitSize, uint64_t posInUnit) {
    const uint64_t rest = c_.streamSize(id) % unitSize;
    return rest != 0 && posInUnit >= rest;
  };
  switch (owner) {
    case kOwnerDirectory:
    case kOwnerDifat:
      return true;
    case kOwnerFat: {
      const uint64_t entry = indexIn(c_.fatLocations(), s) * per_ + within / 4;
      return entry < map_.owner.size() && map_.usedByOldState(static_cast<uint32_t>(entry));
    }
    case kOwnerMiniFat: {
      const uint64_t m = indexIn(c_.miniFatChain(), s) * per_ + within / 4;
      return m < map_.miniOwner.size() && map_.miniOwner[m] != kOwnerNone;
    }
    case 0: {
      const uint64_t m = (indexIn(c_.rootChain(), s) * ss_ + within) / kMiniSectorSize;
      if (m >= map_.miniOwner.size() || map_.miniOwner[m] == kOwnerNone) return false;
      const uint32_t id = map_.miniOwner[m];
      return !(map_.lastUnit[id] == m && inTail(id, kMiniSectorSize, within % kMiniSectorSize));
    }
    default:
      return !(map_.lastUnit[owner] == s && inTail(owner, ss_, within));
  }
}

// R2: writing `bytes` at `offset` changes no byte the old state reads.
bool Transaction::keepsOldState(uint64_t offset, std::span<const uint8_t> bytes) {
  std::vector<uint8_t> current(bytes.size());
  const uint64_t inFile = offset < c_.fileSize() ? std::min<uint64_t>(bytes.size(), c_.fileSize() - offset) : 0;
  if (inFile > 0) c_.readAt(offset, std::span<uint8_t>(current).first(static_cast<size_t>(inFile)));
  for (size_t i = 0; i < inFile; ++i)
    if (bytes[i] != current[i] && oldStateReads(offset + i)) return false;
  return true;
}
#endif

void Transaction::run(std::span<const StreamReplacement> requested) {
  std::vector<Change> changes = collect(requested);
  if (changes.empty()) return;
  if (changes.size() == 1 && patchInPlace(changes.front())) {
    commit();
    sync(true);
    return;
  }
  for (const auto& change : changes) planStream(change);
  planMiniStream();
  planMiniFat();
  planDirectory();
  planDifat();

  const uint64_t newSize = (static_cast<uint64_t>(nextAppend_) + 1) * ss_;
  try {
    file_.reserve(newSize);
    writePrepared();
    writeTables();
    sync();
    commit();
    sync();
  } catch (const StorageError&) {
    // R6; a file another program wrote meanwhile keeps its length.
    if (!committed_ && !foreignChange_) file_.restoreSize();
    throw;
  } catch (const std::bad_alloc&) {
    if (!committed_) file_.restoreSize();
    throw;
  }
  freeOld();
  sync(true);
}

}  // namespace

namespace {

// R6: whether the file, read anew through the locked handle (the lock
// keeps our own readers out, and the path may name another file by now),
// holds every stream of `streams` with that content.
// `knownSize` is the file's size as far as the caller knows it (a file
// another program cut shorter fails the reading), without it the size now.
bool holds(const WritableFile& file, std::span<const StreamReplacement> streams,
           std::optional<uint64_t> knownSize = std::nullopt) {
  try {
    Container c(file.file(), knownSize ? *knownSize : file.currentSize(), kWriterReadAhead);
    for (const auto& stream : streams) {
      std::optional<uint32_t> id;
      for (uint32_t child : c.rootChildren())
        if (c.nameEquals(child, stream.name)) id = child;
      if (!id || c.entry(*id).type != kTypeStream || c.streamSize(*id) != stream.content.size()) return false;
      std::vector<uint8_t> bytes(stream.content.size());
      c.readStream(*id, 0, bytes);
      if (bytes != stream.content) return false;
    }
    return true;
  } catch (const StorageError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Whether the file reads as it did before the transaction: unchanged since
// the writer's last change to it, the same header and directory bytes (so
// every stream has its old place and size), and the changed streams with
// their old contents. What the transaction wrote before its commit lies
// where the old state does not look (R2).
bool readsAsBefore(const WritableFile& file, const Container& old, std::span<const StreamReplacement> oldContents) {
  try {
    if (!file.changeByOthers().empty()) return false;
    std::vector<uint8_t> header(kHeaderBytes), directory(old.directoryBytes().size());
    if (!file.readNow(0, header) || !std::ranges::equal(header, old.header().raw)) return false;
    Container now(file.file(), file.currentSize());
    return std::ranges::equal(now.directoryBytes(), old.directoryBytes()) && holds(file, oldContents);
  } catch (const StorageError&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

WriteResult replaceRootStreams(const std::filesystem::path& path, std::span<const StreamReplacement> changes) {
  return replaceRootStreams(
      path, [&](const LockedFile&) { return std::vector<StreamReplacement>(changes.begin(), changes.end()); });
}

WriteResult replaceRootStreams(const std::filesystem::path& path,
                               const std::function<std::vector<StreamReplacement>(const LockedFile&)>& plan) {
  const std::string name = platform::Utf8Path(path);
  const std::string writing = "beim Schreiben in " + VisibleText(name);
  // A file renamed over the path between our open and our lock would leave us
  // holding (and writing) the replaced inode: open again until the path and
  // the locked handle name the same file.
  std::optional<WritableFile> file;
  FileIdentity locked;
  std::optional<Container> container;
  std::optional<SectorMap> map;
  std::vector<StreamReplacement> changes;
  try {
    for (int attempt = 0;; ++attempt) {
      file.emplace(path);
      locked = FileIdentity::of(file->lockedStatus());
      // Only the status of the path: an open that reads no data, which
      // neither waits for nor disturbs the lock just taken.
      platform::FileStatus named;
      if (!platform::StatusOf(name, named) && named.identity == locked.file) break;
      if (attempt == 3)
        throw StorageError(hresult::kLockViolation,
                           "Die Datei wird gerade von einem anderen Programm ersetzt: " + name);
    }
    container.emplace(file->file(), file->size(), kWriterReadAhead);
    // Nothing is written before the old state is proven (see StructureProof.h).
    map = proveStructure(*container);
    LockedFile now;
    now.identity = locked;
    now.header = container->header().raw;
    now.directory = container->directoryBytes();
    now.readStream = [&](std::u16string_view name, uint64_t maxBytes) -> std::optional<std::vector<uint8_t>> {
      for (uint32_t child : container->rootChildren()) {
        if (container->entry(child).type != kTypeStream || compareNames(container->entry(child).name, name) != 0)
          continue;
        const uint64_t size = container->streamSize(child);
        if (size > maxBytes || size > container->fileSize())
          throwCorrupt("der Datenstrom ist unerwartet groß",
                       container->entryLabel(child) + ": " + std::to_string(size) + " Bytes");
        return container->readWholeStream(child);
      }
      return std::nullopt;
    };
    changes = plan(now);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryError(writing);
  }

  Transaction transaction(*file, *container, *map);
  std::optional<StorageError> failure;
  bool ran = false;
  try {
    transaction.run(changes);
    ran = true;
  } catch (const StorageError& error) {
    failure = error;
  } catch (const std::bad_alloc&) {
    failure = OutOfMemoryError(writing);
  }
  if (ran) {
    // The read-back: success only when the file, read anew through the
    // locked handle, holds the new contents. Through this handle, not a
    // second open: that would cost round trips on a share, and the path may
    // name another file by now.
    // The size is the one last noted (the commit and the freeing write
    // inside the file): no status needed.
    if (!file->writeAttempted() || holds(*file, changes, file->notedSize())) return {};
    StorageError error(hresult::kCannotSave,
                       "Die Datei enthält nach dem Schreiben nicht, was geschrieben wurde", name);
    error.markFileMayBeChanged();
    throw error;
  }
  // R6. The lock is still held, so none of our readers or writers changed
  // the file meanwhile; another program that ignores the lock is reported.
  if (!file->writeAttempted() && !transaction.foreignChange()) throw *failure;  // untouched
  if (!transaction.foreignChange()) {
    if (holds(*file, changes))
      return {std::string("Die Änderung ist in der Datei, hat den Datenträger aber vielleicht nicht erreicht: ") +
              failure->what()};
    if (readsAsBefore(*file, *container, transaction.oldContents())) throw *failure;
  }
  failure->markFileMayBeChanged();
  throw *failure;
}

}  // namespace fendrik::cfb
