// Saving beside other programs and readers, and with odd stored values; olefile reads what the file holds then.

#include <atomic>
#include <thread>
#include "TestFiles.h"
#include "properties/StatusChange.h"
#include "properties/StatusRun.h"
#include "properties/cfb/WriteHooksForTests.h"
#include "platform/TestSystem.h"
#include "properties/platform/Files.h"

using namespace fendrik;

namespace {

using RealSampleSaveBesideOthers = test::RealSampleDocument;

// Calls each action once: `write` before the writer's first write, `lock` before it first takes the lock.
struct Once : cfb::WriteHooks {
  std::function<void()> write, lock;
  platform::SystemError beforeWrite(uint64_t, std::span<const uint8_t>) override {
    if (write) std::exchange(write, nullptr)();
    return {};
  }
  void beforeLock() override {
    if (lock) std::exchange(lock, nullptr)();
  }
};

// Another program's save of `document` with a new title, in a new file beside it (to be renamed over it).
std::string OtherProgramsSave(const test::TempFolder& temp, const std::string& document) {
  const std::string fresh = platform::Utf8Path(temp.copy(document, "saving.tmp"));
  auto other = FileProperties::Create();
  other->Open(fresh);
  other->Item("SummaryInformation").Item("Title").SetValue("Von einem anderen Programm");
  other->Save();
  other->Close();
  return fresh;
}

}  // namespace

// Windows lets no program replace a file or rename it while another program
// holds it open (as this one does while it reads or writes a document): the
// other program's save by renaming waits there, and ours lands on the
// document as it was.
constexpr bool kRenamesOfOpenFiles = !test::kWindows;

TEST_F(RealSampleSaveBesideOthers, AnotherProgramsSaveBetweenOpenAndSaveIsKept) {
  // Where the other program's save cannot land, the document keeps its own title.
  const std::string ownTitle =
      kRenamesOfOpenFiles ? std::string() : test::field(test::olefileView({document}), document, "title");
  // Another program saves a new title to a new file renamed over the document.
  server->Open(document);
  server->Item("ExtendedSummaryInformation").Item("Status").SetValue(int16_t{3});
  const platform::SystemError replaced = platform::ReplaceFile(OtherProgramsSave(temp, document), document);
  if (kRenamesOfOpenFiles) {
    ASSERT_EQ(replaced.code, 0);
  } else {
    EXPECT_EQ(replaced.fault, platform::Fault::accessDenied);
  }
  server->Save();
  server->Close();
  // A program that ignores our locks rewrites the author in place, in the very set this save changes: same file, same
  // size, same directory.
  server->Open(document);
  server->Item("SummaryInformation").Item("Security").SetValue(int16_t{4});
  test::patchStream(document, test::kSummaryStream, test::Section(document, test::kSummaryStream).valueAt(4) + 8,
                    {'F', 0, 'r', 0, 'e', 0, 'm', 0, 'd', 0, 'e', 0});
  server->Save();
  // The values stay readable through the open server after the save.
  EXPECT_EQ(valueToText(server->Item("SummaryInformation").Item("Author").Value()), "Fremde");
  server->Close();
  const QJsonObject view = test::olefileView({document});
  EXPECT_EQ(test::field(view, document, "title") + " / " + test::field(view, document, "author") + " / " +
                test::statusSeen(view, document),
            (kRenamesOfOpenFiles ? "Von einem anderen Programm" : ownTitle) + " / Fremde / 3 robert 4");
  // The document replaced with something that is no longer a compound file: the save is refused and its bytes stay.
  server->Open(document);
  server->Item("ExtendedSummaryInformation").Item("Status").SetValue(int16_t{1});
  const std::string junk = temp.file("other.tmp", std::string(3000, 'x'));
  if (test::SkipHere(!kRenamesOfOpenFiles, "Windows replaces no file another program holds open")) return;
  ASSERT_EQ(platform::ReplaceFile(junk, document).code, 0);
  EXPECT_EQ(test::errorOf([&] { server->Save(); }), hresult::kInvalidHeader);
  server->Close();
  EXPECT_EQ(test::readFile(document), std::string(3000, 'x'));
}

// Another program saves the document by renaming a new file over it while the writer has the old one open and waits
// for a reader's lock: the writer notices that the path names another file, writes the status into that one, keeping
// the other program's change, and leaves the file renamed away as it was.
TEST_F(RealSampleSaveBesideOthers, FileRenamedOverThePathBeforeTheLockIsWrittenInstead) {
  const auto fresh = OtherProgramsSave(temp, document);
  const std::string oldBytes = test::readFile(document);
  const std::string away = (temp.path() / "renamed-away.par").string();
  auto reader = FileProperties::Create();
  reader->Open(document);
  Once hooks;
  hooks.lock = [&] {
    if (kRenamesOfOpenFiles) {
      ASSERT_EQ(platform::ReplaceFile(document, away).code, 0);
      ASSERT_EQ(platform::ReplaceFile(fresh, document).code, 0);
    } else {  // the writer has the document open, sharing nothing but reading
      EXPECT_EQ(platform::ReplaceFile(document, away).fault, platform::Fault::inUse);
    }
    reader->Close();  // the lock the writer waits for
  };
  {
    cfb::ScopedWriteHooks installed(hooks);
    EXPECT_EQ(test::errorOf([&] { WriteDocumentStatus(*server, document, 3); }), 0);
  }
  EXPECT_FALSE(hooks.lock) << "the writer did not open the file";
  const QJsonObject view = test::olefileView({document});
  if (kRenamesOfOpenFiles) {
    EXPECT_TRUE(test::readFile(away) == oldBytes) << "the file renamed away was written";
    EXPECT_EQ(test::field(view, document, "title") + " / " + test::statusSeen(view, document),
              "Von einem anderen Programm / 3 Vodra 4");
  } else {
    EXPECT_FALSE(std::filesystem::exists(platform::FsPath(away)));
    EXPECT_EQ(test::statusSeen(view, document), "3 Vodra 4");
  }
}

// Another program rewrites the document in place during a status write, heedless of the lock: `cp` of another document,
// or of the document as that program had read it, at each write and fsync of the writer in turn. Nothing stops such a
// program, but the writer notices that the file is no longer the one it wrote and goes no further: the document is
// reported as possibly changed, never as unchanged, and where the rewrite came at an fsync (the writer's bytes then
// all on the disk), the file holds exactly what the other program wrote.
TEST_F(RealSampleSaveBesideOthers, InPlaceRewriteByAnotherProgramIsNeverReportedUnchanged) {
  const std::string asRead = temp.copy(document, "as-read.par").string();
  const std::string another = temp.copy(test::sample("Connecting-Rod/Asm1.asm"), "another.par").string();
  struct RewriteAt : cfb::WriteHooks {
    int target = 0, seen = 0;
    bool atSync = false;
    std::function<void()> rewrite;
    void step(bool sync) {
      if (seen++ != target) return;
      atSync = sync;
      std::exchange(rewrite, nullptr)();
    }
    platform::SystemError beforeWrite(uint64_t, std::span<const uint8_t>) override { return step(false), platform::SystemError{}; }
    platform::SystemError aroundSync(const std::function<platform::SystemError()>& flush) override {
      return step(true), flush();
    }
  };
  size_t atSyncs = 0;
  for (const std::string& source : {another, asRead}) {
    for (int target = 0;; ++target) {
      SCOPED_TRACE(source + " at step " + std::to_string(target));
      const std::string copy = temp.copy(document, "rewritten.par").string();
      RewriteAt hooks;
      hooks.target = target;
      hooks.rewrite = [&] {
        EXPECT_EQ(test::runCommand("cp " + test::shellQuote(test::hostPath(source)) + " " +
                                   test::shellQuote(test::hostPath(copy))),
                  0);
      };
      std::vector<StatusOutcome> outcomes;
      {
        cfb::ScopedWriteHooks installed(hooks);
        WriteStatusOfDocuments({copy}, 3, 1, {}, [&](size_t, const StatusOutcome& o) { outcomes.push_back(o); });
      }
      if (hooks.rewrite) break;  // the write ended before this step: every step was tried
      ASSERT_EQ(outcomes.size(), 1u);
      if (outcomes[0].written) {
        // Only a rewrite with the very bytes the writer had read, before its first write, leaves nothing to notice.
        EXPECT_TRUE(source == asRead && target == 0);
        auto expected = test::readTexts(source);
        expected[2] = "3";
        EXPECT_EQ(test::readTexts(copy), expected);
        continue;
      }
      EXPECT_FALSE(outcomes[0].unchanged) << outcomes[0].description;
      if (hooks.atSync) {
        ++atSyncs;
        EXPECT_TRUE(test::readFile(copy) == test::readFile(source)) << "the writer wrote into the other program's file";
      }
    }
  }
  EXPECT_GE(atSyncs, 6u);  // pre-commit, commit and free fsyncs, for both rewrites
}

// A reader that has the document open holds the writer off until it closes; a reader that comes during a save reads
// its whole result, never a mix.
TEST_F(RealSampleSaveBesideOthers, ReadersBesideAWriterReadOldOrNewWhole) {
  auto reader = FileProperties::Create();
  reader->Open(document);
  PropertyTexts before, during;
  SEProperty(*reader, before);
  std::atomic<bool> readerClosed{false}, writerStarted{false}, firstWriteAfterClose{false};
  std::string writerError, seen;
  std::thread writer([&] {
    try {
      Once hooks;
      hooks.write = [&] { firstWriteAfterClose = readerClosed.load(); };
      cfb::ScopedWriteHooks installed(hooks);
      writerStarted = true;
      WriteDocumentStatus(*server, document, 3);
    } catch (const std::exception& e) {
      writerError = e.what();
    }
  });
  while (!writerStarted) std::this_thread::yield();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the writer waits; the reader reads the old state
  SEProperty(*reader, during);
  EXPECT_EQ(during, before);
  readerClosed = true;
  reader->Close();
  writer.join();
  EXPECT_EQ(writerError, "");
  EXPECT_TRUE(firstWriteAfterClose);
  EXPECT_EQ(test::statusSeen(document), "3 Vodra 4");

  std::thread late;
  Once hooks;
  hooks.write = [&] {
    late = std::thread([&] {
      try {
        seen = test::statusSeen(document);
      } catch (const std::exception& e) {
        seen = e.what();
      }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // time to read, which the reader must not use
  };
  {
    cfb::ScopedWriteHooks installed(hooks);
    WriteDocumentStatus(*server, document, 4);
  }
  late.join();
  EXPECT_EQ(seen, "4 Vodra 4");
}

// Status, Security and Username stored as VT_EMPTY (0) or VT_NULL (1): the status write gives them the types
// documents use, and olefile reads the values.
TEST_F(RealSampleSaveBesideOthers, TypelessValuesGetTheTypesDocumentsUse) {
  struct Case { const char* what; uint8_t statusType, securityType, usernameType; };
  for (const Case& c : {Case{"Security empty", 3, 0, 0x1F}, Case{"Status null", 1, 3, 0x1F},
                        Case{"Username empty", 3, 3, 0}, Case{"all null", 1, 1, 1}}) {
    SCOPED_TRACE(c.what);
    const auto copy = temp.copy(document, std::string(c.what) + ".par");
    auto setType = [&](const std::u16string& stream, uint32_t id, uint8_t type) {
      test::patchStream(copy, stream, test::Section(copy, stream).valueAt(id), {type, 0});
    };
    setType(test::kExtendedStream, 7, c.statusType);
    setType(test::kSummaryStream, 19, c.securityType);
    setType(test::kExtendedStream, 8, c.usernameType);
    WriteDocumentStatus(*server, copy.string(), 3);
    const QJsonObject view = test::olefileView({copy.string()});
    auto type = [&](const char* name) { return test::field(view, copy.string(), name); };
    EXPECT_EQ(test::statusSeen(view, copy.string()) + " " + type("status_vt") + type("security_vt") + type("username_vt"),
              "3 Vodra 4 3331");
  }
}

TEST_F(RealSampleSaveBesideOthers, SetNamingOnePropertyTwiceIsNotWritten) {
  // The Username entry of the table renamed to the Status id: two entries for 7.
  test::patchStream(document, test::kExtendedStream, test::Section(document, test::kExtendedStream).entryAt(8), {7, 0, 0, 0});
  const auto before = test::readFile(document);
  EXPECT_EQ(test::errorOf([&] { WriteDocumentStatus(*server, document, 3); }), hresult::kDocfileCorrupt);
  EXPECT_EQ(test::readFile(document), before);
}
