// The Windows implementation of the platform layer: which fault each system
// error number is, FILETIME against 1970, the UTF-16 path every call gets,
// and files, folders, share modes and locks on a real disk. Built only for
// Windows (it runs under Wine as well).

#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "properties/platform/Files.h"
#include "properties/platform/win32/Win32Convert.h"

namespace fendrik::platform {

// How a test failure shows an error: its fault's words and the number.
void PrintTo(const SystemError& error, std::ostream* out) { *out << ErrorText(error) << " (" << error.code << ")"; }

namespace {

TEST(Win32Errors, EachSystemNumberHasItsFault) {
  // The numbers as Windows documents them, not the constants the code uses.
  struct Case {
    uint32_t code;
    const char* name;
    Fault fault;
  };
  const std::vector<Case> cases = {
      {0, "SUCCESS", Fault::none},
      {2, "FILE_NOT_FOUND", Fault::notFound},
      {3, "PATH_NOT_FOUND", Fault::notFound},
      {15, "INVALID_DRIVE", Fault::notFound},
      {53, "BAD_NETPATH", Fault::notFound},
      {67, "BAD_NET_NAME", Fault::notFound},
      {267, "DIRECTORY", Fault::notFound},
      {206, "FILENAME_EXCED_RANGE", Fault::nameTooLong},
      {1921, "CANT_RESOLVE_FILENAME", Fault::linkLoop},
      {123, "INVALID_NAME", Fault::invalidName},
      {5, "ACCESS_DENIED", Fault::accessDenied},
      {19, "WRITE_PROTECT", Fault::readOnlyMedium},
      {32, "SHARING_VIOLATION", Fault::inUse},
      {33, "LOCK_VIOLATION", Fault::locked},
      {112, "DISK_FULL", Fault::diskFull},
      {39, "HANDLE_DISK_FULL", Fault::diskFull},
      {223, "FILE_TOO_LARGE", Fault::diskFull},
      {23, "CRC", Fault::ioError},
      {30, "READ_FAULT", Fault::ioError},
      {29, "WRITE_FAULT", Fault::ioError},
      {31, "GEN_FAILURE", Fault::ioError},
      {1117, "IO_DEVICE", Fault::ioError},
      {4, "TOO_MANY_OPEN_FILES", Fault::tooManyOpen},
      {8, "NOT_ENOUGH_MEMORY", Fault::outOfMemory},
      {14, "OUTOFMEMORY", Fault::outOfMemory},
      {50, "NOT_SUPPORTED", Fault::notSupported},
      {1, "INVALID_FUNCTION", Fault::notSupported},
      // Numbers without a fault of their own.
      {87, "INVALID_PARAMETER", Fault::other},
      {183, "ALREADY_EXISTS", Fault::other},
      {38, "HANDLE_EOF", Fault::other},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(win32::FaultOfError(c.code), c.fault);
  }
}

TEST(Win32Errors, SystemTextIsTheSystemsWordsAndTheNumber) {
  const std::string text = SystemText(2);
  EXPECT_TRUE(text.ends_with(" (Systemfehler 2)")) << text;
  EXPECT_GT(text.size(), std::string(" (Systemfehler 2)").size()) << text;
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_EQ(ErrorText({Fault::other, 2}), text);
}

TEST(Win32Times, FileTimeCountsFrom1970BothWays) {
  constexpr int64_t k1970 = 116444736000000000;  // 100-ns ticks from 1601 to 1970
  struct Case {
    int64_t ticks;
    FileTime expected;
  };
  const std::vector<Case> cases = {
      {k1970, {0, 0}},
      {k1970 + 1, {0, 100}},
      {k1970 + 10'000'000, {1, 0}},
      {k1970 - 1, {-1, 999'999'900}},
      {k1970 - 5'000'000, {-1, 500'000'000}},
      {k1970 - 10'000'000, {-1, 0}},
      {k1970 - 10'000'001, {-2, 999'999'900}},
      {0, {-11'644'473'600, 0}},
      {-1, {-11'644'473'601, 999'999'900}},  // before 1601: the field is signed
      // 2022-06-18 04:26:40 UTC and a tick after it.
      {133'000'000'000'000'000, {1'655'526'400, 0}},
      {133'000'000'000'000'001, {1'655'526'400, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ticks);
    EXPECT_EQ(win32::TimeOfTicks(c.ticks), c.expected);
  }
}

TEST(Win32Paths, EveryPathBecomesAnAbsoluteLongPath) {
  const std::wstring here = std::filesystem::current_path().wstring();
  const std::wstring prefix = here.starts_with(L"\\\\") ? L"\\\\?\\UNC\\" + here.substr(2) : L"\\\\?\\" + here;
  struct Case {
    std::string utf8;
    std::wstring expected;
  };
  const std::vector<Case> cases = {
      {"C:/a/b", L"\\\\?\\C:\\a\\b"},
      {"C:\\a\\b.par", L"\\\\?\\C:\\a\\b.par"},
      {"C:/a/../b/./c", L"\\\\?\\C:\\b\\c"},
      {"//server/share/x", L"\\\\?\\UNC\\server\\share\\x"},
      {"\\\\server\\share\\x\\y.asm", L"\\\\?\\UNC\\server\\share\\x\\y.asm"},
      {"\\\\?\\C:\\x/y", L"\\\\?\\C:\\x\\y"},
      {"\\\\?\\UNC\\server\\share", L"\\\\?\\UNC\\server\\share"},
      {"rel/a.par", prefix + L"\\rel\\a.par"},
      {"\xC3\x84rger.par", prefix + L"\\\u00C4rger.par"},
      {"\xE2\x82\xAC/\xF0\x9F\x98\x80", prefix + L"\\\u20AC\\\U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    std::wstring wide;
    EXPECT_FALSE(win32::SystemPath(c.utf8, wide));
    EXPECT_EQ(wide, c.expected);
  }
}

TEST(Win32Paths, PathsTheSystemCannotTakeAreRefused) {
  struct Case {
    std::string utf8;
    Fault fault;
  };
  const std::vector<Case> cases = {
      {std::string("C:/a.par\0.hidden/b.par", 22), Fault::invalidName},
      {std::string("\0", 1), Fault::invalidName},
      {"C:/\xC3(.par", Fault::invalidName},          // a lead byte without its follower
      {"C:/\xC0\xAF.par", Fault::invalidName},       // an overlong '/'
      {"C:/\xED\xA0\x80.par", Fault::invalidName},   // a surrogate
      {"C:/\xFF.par", Fault::invalidName},           // no UTF-8 byte at all
      {"C:/Stra\xDF" "e.par", Fault::invalidName},   // Latin-1, not UTF-8
      {"", Fault::notFound},
      // Longer than a name (255 units) or a path (32,767) may be: too long,
      // whatever the file system would say (Wine calls it "not found").
      {"C:/" + std::string(256, 'n') + ".par", Fault::nameTooLong},
      {"C:/a/" + std::string(256, 'n') + "/b.par", Fault::nameTooLong},
      {[] { std::string p = "C:"; while (p.size() <= 32767) p += "/" + std::string(200, 'd'); return p; }(),
       Fault::nameTooLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8.substr(0, 300)));
    std::wstring wide = L"stale";
    EXPECT_EQ(win32::SystemPath(c.utf8, wide).fault, c.fault);
    EXPECT_TRUE(wide.empty());
  }
  // A name counts UTF-16 units, not bytes: 255 letters of two bytes each fit.
  std::string umlauts;
  for (int k = 0; k < 255; ++k) umlauts += "\xC3\xA4";
  std::wstring wide;
  EXPECT_FALSE(win32::SystemPath("C:/" + umlauts, wide));
  EXPECT_EQ(win32::SystemPath("C:/" + umlauts + "x", wide).fault, Fault::nameTooLong);
  // Each file call refuses such a path before it opens anything.
  const std::string withNul("C:/a.par\0b", 10);
  File file;
  FileStatus status;
  FileIdentity identity;
  EXPECT_EQ(file.open(withNul, File::Mode::read).fault, Fault::invalidName);
  EXPECT_EQ(StatusOf(withNul, status).fault, Fault::invalidName);
  EXPECT_EQ(RemoveFile(withNul).fault, Fault::invalidName);
  EXPECT_EQ(ListFolder(withNul, identity, [](const FolderEntry&) {}).fault, Fault::invalidName);
}

// A fresh folder on the disk for one test, removed at its end.
class Win32Disk : public testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() /
             (L"fendrik-win32-" + std::to_wstring(testing::UnitTest::GetInstance()->random_seed()) + L"-" +
              std::to_wstring(reinterpret_cast<uintptr_t>(this)));
    std::filesystem::create_directories(folder);
    root = Utf8Path(folder);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::string make(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = root + "/" + name;
    File file;
    EXPECT_FALSE(file.open(path, File::Mode::createNew));
    EXPECT_FALSE(file.writeAt(0, bytes));
    EXPECT_FALSE(file.close());
    return path;
  }
  std::filesystem::path folder;
  std::string root;
};

TEST_F(Win32Disk, ReadsWritesAndStatusOfFilesAndFolders) {
  const std::string path = make("\xC3\x84nderung.par", {1, 2, 3, 4, 5});
  File file;
  ASSERT_FALSE(file.open(path, File::Mode::readWrite));
  ASSERT_FALSE(file.writeAt(3, std::vector<uint8_t>{9, 9, 9}));
  std::vector<uint8_t> out(8, 0);
  size_t got = 99;
  ASSERT_FALSE(file.readAt(1, out, got));
  EXPECT_EQ(got, 5u);  // the file ends after byte 5
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5), (std::vector<uint8_t>{2, 3, 9, 9, 9}));
  ASSERT_FALSE(file.readAt(100, out, got));
  EXPECT_EQ(got, 0u);
  ASSERT_FALSE(file.flush());
  ASSERT_EQ(file.reserve(4096), SystemError{});
  ASSERT_FALSE(file.resize(7));
  FileStatus status, byPath;
  ASSERT_FALSE(file.status(status));
  EXPECT_EQ(status.kind, Kind::file);
  EXPECT_EQ(status.size, 7u);
  EXPECT_FALSE(status.readOnly);
  EXPECT_GT(status.modified.seconds, 1'600'000'000);  // after 2020
  ASSERT_FALSE(StatusOf(path, byPath));
  EXPECT_EQ(byPath.identity, status.identity);
  EXPECT_EQ(byPath.size, 7u);
  ASSERT_FALSE(file.close());

  File folderHandle;
  ASSERT_FALSE(folderHandle.open(root, File::Mode::read));
  ASSERT_FALSE(folderHandle.status(status));
  EXPECT_EQ(status.kind, Kind::folder);
  EXPECT_NE(status.identity, byPath.identity);

  EXPECT_EQ(StatusOf(root + "/none.par", status).fault, Fault::notFound);
  EXPECT_EQ(status.kind, Kind::missing);
  EXPECT_EQ(file.open(root + "/none/x.par", File::Mode::read).fault, Fault::notFound);
  EXPECT_EQ(file.open(path, File::Mode::createNew).code, 80);  // ERROR_FILE_EXISTS
}

TEST_F(Win32Disk, ListsAFolderWithItsNamesInUtf8) {
  make("a.par", {1});
  make("\xC3\x9C" "ber \xE2\x82\xAC.asm", {2});
  std::filesystem::create_directory(folder / L"sub");
  std::set<std::pair<std::string, Kind>> seen;
  FileIdentity identity;
  ASSERT_FALSE(ListFolder(root, identity, [&](const FolderEntry& e) {
    EXPECT_FALSE(e.error);
    seen.insert({std::string(e.name), e.kind});
  }));
  const std::set<std::pair<std::string, Kind>> expected = {
      {"a.par", Kind::file}, {"\xC3\x9C" "ber \xE2\x82\xAC.asm", Kind::file}, {"sub", Kind::folder}};
  EXPECT_EQ(seen, expected);
  FileStatus self;
  ASSERT_FALSE(StatusOf(root, self));
  EXPECT_EQ(identity, self.identity);
  seen.clear();
  ASSERT_FALSE(ListFolder(root + "/sub/", identity, [&](const FolderEntry& e) { seen.insert({std::string(e.name), e.kind}); }));
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(ListFolder(root + "/a.par", identity, [](const FolderEntry&) {}).fault, Fault::notFound);
  EXPECT_EQ(ListFolder(root + "/none", identity, [](const FolderEntry&) {}).fault, Fault::notFound);
}

TEST_F(Win32Disk, ReplacesAndRemovesFiles) {
  const std::string from = make("new.tmp", {7, 7});
  const std::string to = make("list.txt", {1});
  ASSERT_FALSE(ReplaceFile(from, to));
  EXPECT_EQ(std::filesystem::file_size(FsPath(to)), 2u);
  EXPECT_FALSE(std::filesystem::exists(FsPath(from)));
  ASSERT_FALSE(RemoveFile(to));
  EXPECT_EQ(RemoveFile(to).fault, Fault::notFound);
}

// Another program that has a document open for writing and shares no writing
// (as the CAD program does): our open for writing is refused as "in use",
// while reading it still works.
TEST_F(Win32Disk, AnOpenWithoutWriteSharingMakesTheFileInUse) {
  const std::string path = make("held.par", {1, 2, 3});
  File other, ours, reader;
  ASSERT_FALSE(other.open(path, File::Mode::readWrite));
  EXPECT_EQ(ours.open(path, File::Mode::readWrite), (SystemError{Fault::inUse, 32}));
  EXPECT_FALSE(ours.isOpen());
  EXPECT_FALSE(reader.open(path, File::Mode::read));
  FileStatus status;
  EXPECT_FALSE(StatusOf(path, status));  // the status needs no sharing
}

// The program's lock lies beyond every byte of data: a held exclusive lock
// stops another lock, never a read of the document.
TEST_F(Win32Disk, LocksConflictWithoutCoveringData) {
  const std::string path = make("locked.par", {1, 2, 3});
  File writer, reader;
  ASSERT_FALSE(writer.open(path, File::Mode::readWrite));
  ASSERT_FALSE(reader.open(path, File::Mode::read));
  ASSERT_FALSE(writer.lock(File::Lock::exclusive, 0));
  EXPECT_EQ(reader.lock(File::Lock::shared, 30).fault, Fault::locked);
  std::vector<uint8_t> out(3);
  size_t got = 0;
  EXPECT_FALSE(reader.readAt(0, out, got));
  EXPECT_EQ(got, 3u);
  writer.unlock();
  EXPECT_FALSE(reader.lock(File::Lock::shared, 0));
  File second;
  ASSERT_FALSE(second.open(path, File::Mode::read));
  EXPECT_FALSE(second.lock(File::Lock::shared, 0));  // shared locks go together
}

TEST(Win32Paths, FileSystemPathsCarryUtf8BothWays) {
  const std::string name = "C:/\xC3\x84/\xE2\x82\xAC \xF0\x9F\x98\x80.par";
  const std::filesystem::path path = FsPath(name);
  EXPECT_EQ(path.wstring(), L"C:/\u00C4/\u20AC \U0001F600.par");
  EXPECT_EQ(Utf8Path(path), name);
}

}  // namespace
}  // namespace fendrik::platform
