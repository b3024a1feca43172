// Crashes at every write and every fsync of the writer, modelled as SQLite's
// crash test does: what was written before the last fsync is on the disk;
// each write since then may be on the disk, missing, or (unless it is one
// aligned 512-byte block, the unit a disk writes atomically) garbage in every
// 512-byte block it touches. Every such state must read entirely old or
// entirely new in our reader and in olefile, and the change run again on it
// must complete it.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <string_view>

#include "TestSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/WriteHooksForTests.h"

namespace fendrik::cfb::testing {
namespace {

struct Crash {};

// Records each write since the last fsync with the bytes it replaced; at step
// `stopAt` (writes and fsyncs counted together) the machine goes down.
struct CrashRecorder : WriteHooks {
  struct Write {
    uint64_t offset;
    std::vector<uint8_t> before, after;
    // One aligned 512-byte block: on the disk entirely or not at all.
    bool atomic() const { return after.size() == 512 && offset % 512 == 0; }
  };
  std::filesystem::path path;
  int stopAt = -1;
  int steps = 0;
  std::vector<Write> unsynced;

  int beforeWrite(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (steps++ == stopAt) throw Crash{};
    std::vector<uint8_t> before(bytes.size(), 0);  // zeros past the file's end
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(before.data()), static_cast<std::streamsize>(before.size()));
    unsynced.push_back({offset, std::move(before), {bytes.begin(), bytes.end()}});
    return 0;
  }
  int beforeSync() override {
    if (steps++ == stopAt) throw Crash{};
    unsynced.clear();
    return 0;
  }
};

void place(std::vector<uint8_t>& image, uint64_t offset, const std::vector<uint8_t>& bytes) {
  if (image.size() < offset + bytes.size()) image.resize(offset + bytes.size(), 0);
  std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<long>(offset));
}

enum Fate { kKept, kLost, kGarbled };

// The disk states a crash may leave after the writes `unsynced` (the file
// holding all of them is `crashed`), one after the other to `visit` with the
// fate of each write (K kept, L lost, G garbled): all kept, all lost, each one
// alone lost, kept or garbled, and random mixtures.
void forEachCrashState(const std::vector<uint8_t>& crashed, const std::vector<CrashRecorder::Write>& unsynced,
                       std::mt19937& random,
                       const std::function<void(const std::string&, const std::vector<uint8_t>&)>& visit) {
  std::vector<uint8_t> synced = crashed;
  for (auto w = unsynced.rbegin(); w != unsynced.rend(); ++w) place(synced, w->offset, w->before);
  const size_t n = unsynced.size();
  std::vector<std::vector<Fate>> fates = {std::vector<Fate>(n, kKept), std::vector<Fate>(n, kLost)};
  for (size_t i = 0; i < n; ++i)
    for (Fate alone : {kLost, kKept, kGarbled}) {
      std::vector<Fate> fate(n, alone == kKept ? kLost : kKept);
      fate[i] = alone;
      if (alone != kGarbled || !unsynced[i].atomic()) fates.push_back(fate);
    }
  for (int k = 0; k < 6 && n > 1; ++k) {
    std::vector<Fate> mixed(n);
    for (auto& f : mixed) f = static_cast<Fate>(random() % 3);
    fates.push_back(mixed);
  }
  for (const auto& fate : fates) {
    std::vector<uint8_t> image = synced;
    std::string name;
    for (size_t i = 0; i < n; ++i) {
      const auto& w = unsynced[i];
      Fate f = fate[i] == kGarbled && w.atomic() ? kKept : fate[i];
      name += "KLG"[f];
      if (f == kKept) place(image, w.offset, w.after);
      for (uint64_t block = w.offset / 512 * 512; f == kGarbled && block < w.offset + w.after.size(); block += 512) {
        std::vector<uint8_t> garbage(512);
        for (auto& b : garbage) b = static_cast<uint8_t>(random());
        place(image, block, garbage);
      }
    }
    visit(name, image);
  }
}

// Crashes `changes` on a copy of `original` at every step, until a run takes
// no more than `steps` allows; then checks all disk states that may remain.
void crashEverywhere(const std::filesystem::path& original, const std::vector<StreamReplacement>& changes,
                     int minimumSteps, int maximumSteps = 1000) {
  TempDir dir;
  const auto before = rootStreams(original);
  const auto after = applied(before, changes);
  std::mt19937 random(4711);
  std::set<size_t> seen;  // hashes of the states written
  std::vector<std::filesystem::path> files;
  std::vector<std::string> labels;
  for (int step = 0, done = 0; !done; ++step) {
    CrashRecorder recorder;
    recorder.path = dir.copy(original, "crash.par");
    recorder.stopAt = step;
    try {
      ScopedWriteHooks installed(recorder);
      replaceRootStreams(recorder.path, changes);
      done = 1;
      ASSERT_EQ(fileState(recorder.path, before, changes), "new");
      ASSERT_GE(step, minimumSteps);
      ASSERT_LE(step, maximumSteps);
    } catch (const Crash&) {
    }
    forEachCrashState(readFileBytes(recorder.path), recorder.unsynced, random, [&](const auto& fates, const auto& image) {
      const std::string_view bytes(reinterpret_cast<const char*>(image.data()), image.size());
      if (!seen.insert(std::hash<std::string_view>()(bytes)).second) return;
      files.push_back(dir / ("state" + std::to_string(files.size()) + ".par"));
      labels.push_back("crash before step " + std::to_string(step) + ", writes since fsync " + fates);
      writeSparse(image, files.back());
    });
  }
  // Both readers, olefile for all states in one run.
  auto reference = olefileRootStreams(files);
  size_t oldCount = 0, newCount = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(labels[i]);
    try {
      const StreamMap ours = rootStreams(files[i]);
      EXPECT_TRUE(ours == before || ours == after) << "mixed contents";
      EXPECT_TRUE(reference[i] == ours) << "olefile reads otherwise";
      oldCount += ours == before;
      newCount += ours == after;
      // The crashed file is still one the writer accepts, and the change
      // completes on it.
      replaceRootStreams(files[i], changes);
      EXPECT_TRUE(rootStreams(files[i]) == after);
    } catch (const StorageError& e) {
      ADD_FAILURE() << e.what();
    }
  }
  EXPECT_GT(oldCount, 0u);
  EXPECT_GT(newCount, 0u);
  std::printf("%zu distinct crash states (%zu old, %zu new)\n", files.size(), oldCount, newCount);
}

TEST(RealSampleCrashSafety, StatusChangeOnRealDocuments) {
  for (auto [folder, file, growBy] : {std::tuple{"headrestraint", "Asm2.asm", 24},  // version 3
                                      std::tuple{"CAD-Model-Project", "Asm1.asm", 5000}}) {  // version 4, grows past its last sector
    SCOPED_TRACE(file);
    const auto sample = realSample(folder, file);
    ASSERT_FALSE(sample.empty()) << "real sample missing";
    crashEverywhere(sample, statusLikeChange(rootStreams(sample), growBy), 5);
  }
}

TEST(CrashSafety, GeneratedDocuments) {
  TempDir dir;
  // Growth that adds FAT sectors and moves the DIFAT.
  auto path = makeDocument(dir, "big.par", 3, {{u"Model", std::vector<uint8_t>(8u << 20, 0)}});
  crashEverywhere(path, statusLikeChange(rootStreams(path), 200000), 6);
  // A single same-size change inside one 512-byte block: that block is
  // written alone and is the commit (one write, one fsync).
  for (int version : {3, 4}) {
    path = makeDocument(dir, "small.par", version);
    auto changes = statusLikeChange(rootStreams(path), 0);
    changes.resize(1);
    crashEverywhere(path, changes, 2, 2);
  }
}

}  // namespace
}  // namespace fendrik::cfb::testing
