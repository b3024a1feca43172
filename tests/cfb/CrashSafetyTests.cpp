// Crashes at every write and every fsync of the writer, modelled as SQLite's
// crash test does: what was written before the last fsync is on the disk;
// each write since then may be on the disk, missing, or (unless it is one
// aligned 512-byte block, the unit a disk writes atomically) garbage in every
// 512-byte block it touches. Every such state must read entirely old or
// entirely new in our reader and in olefile, and the change run again on it
// must complete it.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <random>
#include <set>
#include <string_view>

#include "CompoundFileBuilder.h"
#include "WriterSupport.h"
#include "properties/StorageError.h"
#include "properties/cfb/UniqueFd.h"
#include "properties/cfb/WriteHooksForTests.h"

namespace fendrik::cfb::testing {
namespace {

struct Crash {};

// Bytes [offset, offset + length) of the file now; zeros past its end.
std::vector<uint8_t> readRange(const std::filesystem::path& path, uint64_t offset, size_t length) {
  std::vector<uint8_t> bytes(length, 0);
  detail::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  size_t done = 0;
  while (done < length) {
    ssize_t n = ::pread(fd.get(), bytes.data() + done, length - done, static_cast<off_t>(offset + done));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return bytes;
}

// Records each write since the last fsync with the bytes it replaced; at step
// `stopAt` (writes and fsyncs counted together) the machine goes down.
struct CrashRecorder : WriteHooks {
  struct Write {
    uint64_t offset;
    std::vector<uint8_t> before;
    std::vector<uint8_t> after;
  };
  std::filesystem::path path;
  int stopAt = -1;
  int steps = 0;
  std::vector<Write> unsynced;

  int beforeWrite(uint64_t offset, std::span<const uint8_t> bytes) override {
    if (steps++ == stopAt) throw Crash{};
    unsynced.push_back({offset, readRange(path, offset, bytes.size()), {bytes.begin(), bytes.end()}});
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

bool atomicBlock(const CrashRecorder::Write& w) { return w.after.size() == 512 && w.offset % 512 == 0; }

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
  for (size_t i = 0; i < n; ++i) {
    std::vector<Fate> lost(n, kKept), kept(n, kLost), garbled(n, kKept);
    lost[i] = kLost;
    kept[i] = kKept;
    garbled[i] = kGarbled;
    fates.push_back(lost);
    fates.push_back(kept);
    if (!atomicBlock(unsynced[i])) fates.push_back(garbled);
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
      Fate f = fate[i] == kGarbled && atomicBlock(w) ? kKept : fate[i];
      name += "KLG"[f];
      if (f == kKept) place(image, w.offset, w.after);
      if (f == kGarbled) {
        for (uint64_t block = w.offset / 512 * 512; block < w.offset + w.after.size(); block += 512) {
          std::vector<uint8_t> garbage(512);
          for (auto& b : garbage) b = static_cast<uint8_t>(random());
          place(image, block, garbage);
        }
      }
    }
    visit(name, image);
  }
}

void crashEverywhere(const std::filesystem::path& original, const std::vector<StreamReplacement>& changes,
                     int minimumSteps) {
  TempDir dir;
  const auto before = rootStreams(original);
  const auto after = applied(before, changes);
  int steps = 0;
  {
    auto probe = copyInto(original, dir, "probe.par");
    CrashRecorder count;
    count.path = probe;
    ScopedWriteHooks installed(count);
    replaceRootStreams(probe, changes);
    ASSERT_EQ(fileState(probe, before, changes), "new");
    steps = count.steps;
  }
  ASSERT_GE(steps, minimumSteps);
  std::mt19937 random(4711);
  std::set<size_t> seen;  // hashes of the states written
  std::vector<std::filesystem::path> files;
  std::vector<std::string> labels;
  for (int step = 0; step <= steps; ++step) {
    auto copy = copyInto(original, dir, "crash.par");
    CrashRecorder recorder;
    recorder.path = copy;
    recorder.stopAt = step;
    {
      ScopedWriteHooks installed(recorder);
      try {
        replaceRootStreams(copy, changes);
      } catch (const Crash&) {
      }
    }
    forEachCrashState(readFileBytes(copy), recorder.unsynced, random, [&](const auto& fates, const auto& image) {
      const auto hash = std::hash<std::string_view>()(
          std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
      if (!seen.insert(hash).second) return;
      files.push_back(dir / ("state" + std::to_string(files.size()) + ".par"));
      labels.push_back("crash before step " + std::to_string(step) + ", writes since fsync " + fates);
      writeSparse(image, files.back());
    });
  }
  // Both readers, olefile for all states in one run.
  auto reference = olefileRootStreamsOfMany(files);
  size_t oldCount = 0, newCount = 0;
  for (size_t i = 0; i < files.size(); ++i) {
    SCOPED_TRACE(labels[i]);
    StreamMap ours;
    try {
      ours = rootStreams(files[i]);
    } catch (const StorageError& e) {
      ADD_FAILURE() << "our reader fails: " << e.what();
      continue;
    }
    EXPECT_TRUE(ours == before || ours == after) << "mixed contents";
    ASSERT_TRUE(reference[i].has_value()) << "olefile fails";
    EXPECT_TRUE(*reference[i] == ours) << "olefile reads otherwise";
    oldCount += ours == before;
    newCount += ours == after;
    // The crashed file is still one the writer accepts, and the change
    // completes on it.
    try {
      replaceRootStreams(files[i], changes);
      EXPECT_TRUE(rootStreams(files[i]) == after);
    } catch (const StorageError& e) {
      ADD_FAILURE() << "writing again fails: " << e.what();
    }
  }
  EXPECT_GT(oldCount, 0u);
  EXPECT_GT(newCount, 0u);
  std::printf("%d steps, %zu distinct crash states (%zu old, %zu new)\n", steps, files.size(), oldCount, newCount);
}

TEST(RealSampleCrashSafety, StatusChangeOnRealVersion3Document) {
  auto samples = realSamples();
  auto sample = std::find_if(samples.begin(), samples.end(), [](const auto& p) {
    return p.filename() == "Asm2.asm" && p.parent_path().filename() == "headrestraint";
  });
  if (sample == samples.end()) GTEST_SKIP() << "real sample missing";
  auto changes = statusLikeChange(rootStreams(*sample));
  crashEverywhere(*sample, changes, 5);
}

TEST(RealSampleCrashSafety, StatusChangeOnRealVersion4Document) {
  auto samples = realSamples();
  auto sample = std::find_if(samples.begin(), samples.end(), [](const auto& p) {
    return p.filename() == "Asm1.asm" && p.parent_path().filename() == "CAD-Model-Project";
  });
  if (sample == samples.end()) GTEST_SKIP() << "real sample missing";
  auto changes = statusLikeChange(rootStreams(*sample), 5000);  // grows past its last sector
  crashEverywhere(*sample, changes, 5);
}

TEST(CrashSafety, GrowthThatAddsFatAndDifatSectors) {
  TempDir dir;
  std::vector<uint8_t> esi(45300);
  for (size_t i = 0; i < esi.size(); ++i) esi[i] = static_cast<uint8_t>(i * 13);
  auto built = buildCompoundFile({{kSummary, std::vector<uint8_t>(400, 7)},
                                  {kExtendedSummary, esi},
                                  {u"Model", std::vector<uint8_t>(8u << 20, 0)}},
                                 3);
  ASSERT_GT(built.numDifatSectors, 0u);
  auto path = dir / "big.par";
  writeSparse(built.image, path);
  auto changes = statusLikeChange(rootStreams(path), 200000);
  crashEverywhere(path, changes, 6);
}

}  // namespace
}  // namespace fendrik::cfb::testing
