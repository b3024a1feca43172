// Readers beside a writer: a reader that has a document open holds the writer
// off until it closes, and a reader that comes while a status is written waits
// for the transaction and reads its result, never a mix of old and new.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "TestFiles.h"
#include "properties/FileProperties.h"
#include "properties/PropertyReader.h"
#include "properties/cfb/RootStreamWriter.h"
#include "properties/cfb/WriteHooksForTests.h"

using namespace fendrik;

namespace {

std::filesystem::path realSample() {
  return std::filesystem::path(FENDRIK_REAL_SAMPLES) / "SolidEdgeStorekeeper/Part2.par";
}

struct Seen {
  std::string status, username, security;
};

Seen readWithOwnServer(const std::filesystem::path& file) {
  auto server = FileProperties::Create();
  server->Open(file.string());
  Seen seen{valueToText(server->Item("ExtendedSummaryInformation").Item("Status").Value()).value_or("?"),
            valueToText(server->Item("ExtendedSummaryInformation").Item("Username").Value()).value_or("?"),
            valueToText(server->Item("SummaryInformation").Item("Security").Value()).value_or("?")};
  server->Close();
  return seen;
}

// Calls `action` once, before the writer's first write.
struct BeforeFirstWrite : cfb::WriteHooks {
  std::function<void()> action;
  bool done = false;
  int beforeWrite(uint64_t, std::span<const uint8_t>) override {
    if (!done) {
      done = true;
      action();
    }
    return 0;
  }
};

void setStatus(FileProperties& server, int16_t code) {
  server.Item("ExtendedSummaryInformation").Item("Status").SetValue(code);
  server.Item("SummaryInformation").Item("Security").SetValue(static_cast<int16_t>(code >= 3 ? 4 : 0));
  server.Item("ExtendedSummaryInformation").Item("Username").SetValue("Vodra");
}

class RealSampleReadersBesideWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(realSample())) GTEST_SKIP() << "no real samples";
    document = temp.copy(realSample());
    std::filesystem::permissions(document, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
  }
  test::TempDir temp;
  std::filesystem::path document;
};

TEST_F(RealSampleReadersBesideWriter, AnOpenReaderHoldsTheWriterOffUntilItCloses) {
  auto reader = FileProperties::Create();
  reader->Open(document.string());
  PropertyTexts before;
  SEProperty(*reader, before);

  std::atomic<bool> readerClosed{false};
  std::atomic<bool> writerStarted{false};
  bool firstWriteAfterClose = false;
  std::string writerError;
  std::thread writer([&] {
    try {
      auto server = FileProperties::Create();
      server->Open(document.string());
      setStatus(*server, 3);
      BeforeFirstWrite hooks;
      hooks.action = [&] { firstWriteAfterClose = readerClosed.load(); };
      writerStarted = true;
      cfb::ScopedWriteHooks installed(hooks);
      server->Save();
      server->Close();
    } catch (const std::exception& e) {
      writerError = e.what();
    }
  });
  while (!writerStarted) std::this_thread::yield();
  // While the writer waits, the reader still reads the old state, whole.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  PropertyTexts during;
  SEProperty(*reader, during);
  EXPECT_EQ(during, before);
  readerClosed = true;
  reader->Close();
  writer.join();
  EXPECT_EQ(writerError, "");
  EXPECT_TRUE(firstWriteAfterClose);
  const Seen after = readWithOwnServer(document);
  EXPECT_EQ(after.status, "3");
  EXPECT_EQ(after.username, "Vodra");
  EXPECT_EQ(after.security, "4");
}

TEST_F(RealSampleReadersBesideWriter, AReaderDuringATransactionReadsItsWholeResult) {
  const Seen old = readWithOwnServer(document);
  ASSERT_EQ(old.status, "0");
  std::mutex m;
  std::condition_variable cv;
  bool readerDone = false;
  Seen seen;
  std::string readerError;
  std::thread reader;

  auto server = FileProperties::Create();
  server->Open(document.string());
  setStatus(*server, 4);
  BeforeFirstWrite hooks;
  hooks.action = [&] {
    // A reader arrives while the writer holds the file; the writer gives it
    // time to read (which it must not use) before going on.
    reader = std::thread([&] {
      try {
        seen = readWithOwnServer(document);
      } catch (const std::exception& e) {
        readerError = e.what();
      }
      std::lock_guard lock(m);
      readerDone = true;
      cv.notify_all();
    });
    std::unique_lock lock(m);
    cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return readerDone; });
  };
  {
    cfb::ScopedWriteHooks installed(hooks);
    server->Save();
  }
  server->Close();
  reader.join();
  EXPECT_EQ(readerError, "");
  EXPECT_EQ(seen.status, "4");
  EXPECT_EQ(seen.username, "Vodra");
  EXPECT_EQ(seen.security, "4");
}

}  // namespace
