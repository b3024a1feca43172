// Crash-safe in-place replacement of root streams.
//
// Commit protocol. One call is one transaction with exactly one commit point:
//  1. Prepare: every new byte goes where the old state does not look: free
//     sectors inside the file, sectors appended at its end, free mini sectors,
//     or the slack behind a stream's old end inside its last (mini) sector.
//     FAT and mini-FAT entries change only for sectors the old state does not
//     reference, so rewriting a FAT sector keeps every live entry as it was
//     (a torn write of such a sector cannot hurt the old state either).
//     A new chain may share the old chain's unchanged tail, because no FAT
//     entry of the old chain changes: new chain = fresh copies of the units up
//     to the last changed one + the old units after it (only possible when the
//     unit count stays; growth past the last unit needs that unit's FAT entry
//     changed, so then the whole stream gets a fresh chain).
//     fsync.
//  2. Commit: one write of one aligned 512-byte block. We rely on the storage
//     device writing an aligned 512-byte block (a disk sector) atomically:
//     after a crash it holds either the old or the new block. The block is
//      - the directory block holding every changed directory entry, when all
//        of them lie in one block and the header stays, or
//      - the header (first 512 bytes), which then points at a shadow copy of
//        the directory prefix up to the last changed directory sector (whose
//        last sector links to the old directory's unchanged tail), at a new
//        DIFAT and FAT sector count, and at a moved mini FAT when those grew, or
//      - for a single stream whose changed bytes all lie in one block and
//        whose size stays, that block of the stream itself (no other write).
//     fsync.
//  3. Free: the old chains' sectors (FAT and mini FAT entries -> FREESECT),
//     fsync. A crash before this only leaks sectors: the file reads the new
//     state completely.
// Two streams changed in one Save (Status and Username in
// ExtendedSummaryInformation, Security in SummaryInformation) thus switch
// together: either both directory entries (and the root entry, whose start
// and size describe the mini stream) change in the commit write, or neither.
// The mini stream grows into the slack of its last sector; beyond that it is
// copied to a fresh chain (its old last sector's FAT entry must not change),
// and the root entry switches with the commit. The mini FAT grows by moving
// it to a fresh chain, switched in the header.

#include "properties/cfb/RootStreamWriter.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "properties/StorageError.h"
#include "properties/cfb/Container.h"
#include "properties/cfb/Names.h"
#include "properties/cfb/StructureProof.h"
#include "properties/cfb/WritableFile.h"

namespace fendrik::cfb {
namespace {

using namespace detail;

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
    nextAppend_ = c.sectorCount();
    std::copy(c.header().raw.begin(), c.header().raw.end(), header_.begin());
    dir_ = c.directoryBytes();
  }

  void run(std::span<const StreamReplacement> changes);

 private:
  struct Change {
    uint32_t id = 0;
    const std::vector<uint8_t>* content = nullptr;
    std::vector<uint8_t> old;
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
  void writePrepared();
  void writeTables();
  void writeSectors(const std::vector<uint32_t>& sectors, const std::vector<uint8_t>& bytes);
  void freeOld();

  WritableFile& file_;
  Container& c_;
  const SectorMap& map_;  // who uses each sector in the old state (proven)
  const uint32_t ss_;
  const uint32_t per_;

  std::vector<uint32_t> fatLocations_;
  std::vector<uint32_t> fat_;
  std::set<uint32_t> dirtyFat_;
  uint32_t nextAppend_;
  uint32_t freeCursor_ = 0;

  std::vector<uint32_t> miniFat_;
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
// one appended at the end.
uint32_t Transaction::allocateSector() {
  const uint64_t covered = static_cast<uint64_t>(c_.fatLocations().size()) * per_;
  while (freeCursor_ < std::min<uint64_t>(c_.sectorCount(), covered)) {
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
    change.old.resize(size);
    c_.readStream(*id, 0, change.old);
    if (change.old != r.content) result.push_back(std::move(change));
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

// Whole sectors, runs of consecutive sectors in one write.
void Transaction::writeSectors(const std::vector<uint32_t>& sectors, const std::vector<uint8_t>& bytes) {
  for (size_t i = 0; i < sectors.size();) {
    size_t j = i + 1;
    while (j < sectors.size() && sectors[j] == sectors[j - 1] + 1) ++j;
    file_.write(c_.sectorOffset(sectors[i]), std::span<const uint8_t>(bytes).subspan(i * ss_, (j - i) * ss_));
    i = j;
  }
}

void Transaction::writePrepared() {
  // Unit writes, sorted by file offset and merged where they touch.
  std::vector<std::pair<uint64_t, const std::vector<uint8_t>*>> pieces;
  for (const auto& w : writes_)
    pieces.push_back({(w.mini ? c_.miniSectorOffset(w.unit, rootChain_) : c_.sectorOffset(w.unit)) + w.within, &w.bytes});
  std::sort(pieces.begin(), pieces.end());
  for (size_t i = 0; i < pieces.size();) {
    std::vector<uint8_t> run(*pieces[i].second);
    size_t j = i + 1;
    while (j < pieces.size() && pieces[j].first == pieces[i].first + run.size()) {
      run.insert(run.end(), pieces[j].second->begin(), pieces[j].second->end());
      ++j;
    }
    file_.write(pieces[i].first, run);
    i = j;
  }
  for (const auto& [sectors, bytes] : sectorRuns_) writeSectors(sectors, bytes);
}

void Transaction::writeTables() {
  std::vector<uint8_t> buffer(ss_);
  if (miniLoaded_) {
    for (uint32_t k : dirtyMini_) {
      if (k >= miniFatChain_.size()) continue;
      for (uint32_t e = 0; e < per_; ++e) storeU32(buffer.data() + 4 * e, miniFat_[uint64_t(k) * per_ + e]);
      file_.write(c_.sectorOffset(miniFatChain_[k]), buffer);
    }
    dirtyMini_.clear();
  }
  for (uint32_t k : dirtyFat_) {
    for (uint32_t e = 0; e < per_; ++e) storeU32(buffer.data() + 4 * e, fat_[uint64_t(k) * per_ + e]);
    file_.write(c_.sectorOffset(fatLocations_[k]), buffer);
  }
  dirtyFat_.clear();
}

void Transaction::freeOld() {
  for (uint32_t s : freeAfter_) fatSet(s, kFreeSector);
  for (uint32_t m : freeMiniAfter_)
    if (m < miniFat_.size()) miniSet(m, kFreeSector);
  writeTables();
}

void Transaction::run(std::span<const StreamReplacement> requested) {
  std::vector<Change> changes = collect(requested);
  if (changes.empty()) return;
  if (changes.size() == 1 && patchInPlace(changes.front())) {
    file_.write(commitBlock_->first, commitBlock_->second);
    file_.sync();
    return;
  }
  for (const auto& change : changes) planStream(change);
  planMiniStream();
  planMiniFat();
  planDirectory();
  planDifat();

  const uint64_t newSize = (static_cast<uint64_t>(nextAppend_) + 1) * ss_;
  bool committed = false;
  try {
    file_.reserve(newSize);
    writePrepared();
    writeTables();
    file_.sync();
    if (headerChanged_) commitBlock_ = {0, std::vector<uint8_t>(header_.begin(), header_.end())};
    file_.write(commitBlock_->first, commitBlock_->second);
    committed = true;
    file_.sync();
  } catch (const StorageError&) {
    if (!committed) file_.restoreSize();
    throw;
  }
  freeOld();
  file_.sync();
}

}  // namespace

void replaceRootStreams(const std::filesystem::path& path, std::span<const StreamReplacement> changes,
                        WriteHooks* hooks) {
  replaceRootStreams(
      path, [&](const LockedFile&) { return std::vector<StreamReplacement>(changes.begin(), changes.end()); }, hooks);
}

void replaceRootStreams(const std::filesystem::path& path,
                        const std::function<std::vector<StreamReplacement>(const LockedFile&)>& plan,
                        WriteHooks* hooks) {
  // A file renamed over the path between our open and our lock would leave us
  // holding (and writing) the replaced inode: open again until the path and
  // the locked descriptor name the same file.
  std::optional<WritableFile> file;
  FileIdentity locked;
  for (int attempt = 0;; ++attempt) {
    file.emplace(path, hooks);
    locked = FileIdentity::of(file->fd());
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == locked.device &&
        static_cast<uint64_t>(st.st_ino) == locked.inode)
      break;
    if (attempt == 3)
      throw StorageError(hresult::kLockViolation,
                         "Die Datei wird gerade von einem anderen Programm ersetzt: " + path.string());
  }
  Container container(file->fd(), file->size());
  // Nothing is written before the old state is proven (see StructureProof.h).
  const SectorMap map = proveStructure(container);
  LockedFile now;
  now.identity = locked;
  now.header = container.header().raw;
  now.directory = container.directoryBytes();
  now.readStream = [&](std::u16string_view name, uint64_t maxBytes) -> std::optional<std::vector<uint8_t>> {
    for (uint32_t child : container.rootChildren()) {
      if (container.entry(child).type != kTypeStream || compareNames(container.entry(child).name, name) != 0)
        continue;
      const uint64_t size = container.streamSize(child);
      if (size > maxBytes || size > container.fileSize())
        throwCorrupt("der Datenstrom ist unerwartet groß", container.entryLabel(child) + ": " + std::to_string(size) +
                                                                " Bytes");
      std::vector<uint8_t> bytes(static_cast<size_t>(size));
      container.readStream(child, 0, bytes);
      return bytes;
    }
    return std::nullopt;
  };
  const std::vector<StreamReplacement> changes = plan(now);
  Transaction(*file, container, map).run(changes);
}

}  // namespace fendrik::cfb
