// Stops the writer after each single write and each fsync (a crash there) and
// tears writes halfway: the file must always open in our reader and in
// olefile and show either all old or all new stream contents.

#include <gtest/gtest.h>

#include "CompoundFileBuilder.h"
#include "WriterSupport.h"
#include "properties/StorageError.h"

namespace fendrik::cfb::testing {
namespace {

struct Crash {};

// Counts steps (writes and fsyncs); at step `stopAt` it crashes, or for a
// write with `tear` lets half of it through first. An aligned single 512-byte
// block is the unit the commit protocol assumes atomic, so it is never torn.
struct CrashHook : WriteHooks {
  int stopAt = -1;
  bool tear = false;
  int steps = 0;
  int writes = 0;
  std::vector<bool> isWrite;
  void beforeWrite(uint64_t offset, size_t& length) override {
    isWrite.push_back(true);
    ++writes;
    if (steps++ != stopAt) return;
    if (tear && !(length == 512 && offset % 512 == 0)) {
      length /= 2;
      return;
    }
    throw Crash{};
  }
  void beforeSync() override {
    isWrite.push_back(false);
    if (steps++ == stopAt) throw Crash{};
  }
};

void crashEverywhere(const std::filesystem::path& original, const std::vector<StreamReplacement>& changes,
                     int minimumSteps) {
  TempDir dir;
  auto before = rootStreams(original);
  CrashHook count;
  auto probe = copyInto(original, dir, "probe.par");
  replaceRootStreams(probe, changes, &count);
  ASSERT_EQ(fileState(probe, before, changes), "new");
  ASSERT_GE(count.steps, minimumSteps);
  for (bool tear : {false, true}) {
    for (int i = 0; i < count.steps; ++i) {
      if (tear && !count.isWrite[i]) continue;
      SCOPED_TRACE("step " + std::to_string(i) + (tear ? " torn" : " stopped"));
      auto copy = copyInto(original, dir, "copy.par");
      CrashHook hook;
      hook.stopAt = i;
      hook.tear = tear;
      try {
        replaceRootStreams(copy, changes, &hook);
      } catch (const Crash&) {
      } catch (const std::runtime_error&) {  // the writer stopping after a torn write
      }
      std::string state = fileState(copy, before, changes);
      EXPECT_TRUE(state == "old" || state == "new") << state;
      // Running the change again on the crashed file completes it.
      replaceRootStreams(copy, changes);
      EXPECT_EQ(fileState(copy, before, changes), "new");
    }
  }
}

TEST(RealSampleCrashSafety, StatusChangeOnRealVersion3Document) {
  auto samples = realSamples();
  auto sample = std::find_if(samples.begin(), samples.end(),
                             [](const auto& p) { return p.filename() == "Asm2.asm" && p.parent_path().filename() == "headrestraint"; });
  ASSERT_NE(sample, samples.end());
  auto changes = statusLikeChange(rootStreams(*sample));
  crashEverywhere(*sample, changes, 5);
}

TEST(RealSampleCrashSafety, StatusChangeOnRealVersion4Document) {
  auto samples = realSamples();
  auto sample = std::find_if(samples.begin(), samples.end(), [](const auto& p) { return p.filename() == "Asm1.asm" && p.parent_path().filename() == "CAD-Model-Project"; });
  ASSERT_NE(sample, samples.end());
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
