// The writer's refusals: read-only files, locks held by other processes,
// missing streams, a full disk; and what it keeps: inode, owner, mode.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "WriterSupport.h"
#include "properties/StorageError.h"

namespace fendrik::cfb::testing {
namespace {

std::filesystem::path smallSample() {
  auto samples = realSamples();
  return *std::min_element(samples.begin(), samples.end(), [](const auto& a, const auto& b) {
    return std::filesystem::file_size(a) < std::filesystem::file_size(b);
  });
}

int32_t errorNumber(const std::filesystem::path& path, const std::vector<StreamReplacement>& changes) {
  try {
    replaceRootStreams(path, changes);
  } catch (const StorageError& e) {
    EXPECT_FALSE(e.description().empty());
    return e.number();
  }
  return 0;
}

TEST(RealSampleWriterAccess, ReadOnlyFileIsRefusedAndUntouched) {
  TempDir dir;
  auto path = copyInto(smallSample(), dir, "ro.par");
  auto bytes = readFileBytes(path);
  auto changes = statusLikeChange(rootStreams(path));
  ::chmod(path.c_str(), 0444);
  EXPECT_EQ(errorNumber(path, changes), hresult::kAccessDenied);
  EXPECT_EQ(readFileBytes(path), bytes);
  try {
    replaceRootStreams(path, changes);
  } catch (const StorageError& e) {
    EXPECT_NE(std::string(e.what()).find("schreibgeschützt"), std::string::npos);
  }
}

TEST(RealSampleWriterAccess, MissingFileAndMissingStream) {
  TempDir dir;
  EXPECT_EQ(errorNumber(dir / "none.par", {{kSummary, {1, 2}}}), hresult::kFileNotFound);
  auto path = copyInto(smallSample(), dir, "doc.par");
  auto bytes = readFileBytes(path);
  auto changes = statusLikeChange(rootStreams(path));
  changes.push_back({u"\005NoSuchPropertySet", {1, 2, 3}});
  EXPECT_EQ(errorNumber(path, changes), hresult::kSetNotFound);
  EXPECT_EQ(readFileBytes(path), bytes);
  writeFileBytes(dir / "text.par", std::vector<uint8_t>(4000, 'a'));
  EXPECT_EQ(errorNumber(dir / "text.par", {{kSummary, {1}}}), hresult::kInvalidHeader);
}

TEST(RealSampleWriterAccess, FileLockedByAnotherProcess) {
  TempDir dir;
  auto path = copyInto(smallSample(), dir, "locked.par");
  auto bytes = readFileBytes(path);
  int ready[2];
  int release[2];
  ASSERT_EQ(::pipe(ready), 0);
  ASSERT_EQ(::pipe(release), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int fd = ::open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    int ok = ::fcntl(fd, F_SETLK, &lock) == 0 ? 1 : 0;
    char c = static_cast<char>(ok);
    (void)!::write(ready[1], &c, 1);
    (void)!::read(release[0], &c, 1);
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 1);
  EXPECT_EQ(errorNumber(path, statusLikeChange(rootStreams(path))), hresult::kLockViolation);
  EXPECT_EQ(readFileBytes(path), bytes);
  (void)!::write(release[1], &c, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
  // Once the other process is gone the change goes through.
  EXPECT_EQ(errorNumber(path, statusLikeChange(rootStreams(path))), 0);
}

TEST(RealSampleWriterAccess, KeepsInodeOwnerAndModeAndAdvancesModificationTime) {
  TempDir dir;
  auto path = copyInto(smallSample(), dir, "meta.par");
  ::chmod(path.c_str(), 0640);
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), old, 0);
  struct stat before {};
  ::stat(path.c_str(), &before);
  auto streams = rootStreams(path);
  auto changes = statusLikeChange(streams);
  replaceRootStreams(path, changes);
  struct stat after {};
  ::stat(path.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_EQ(after.st_mode, before.st_mode);
  EXPECT_GT(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(rootStreams(path), applied(streams, changes));
}

TEST(RealSampleWriterAccess, FullDiskLeavesTheFileAsItWas) {
  // A file-size limit stands in for a full disk: writing past it fails the
  // same way, before anything the old state references is touched.
  TempDir dir;
  auto path = copyInto(smallSample(), dir, "full.par");
  auto bytes = readFileBytes(path);
  auto streams = rootStreams(path);
  auto changes = statusLikeChange(streams, 300000);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {bytes.size(), bytes.size()};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int code = 1;
    try {
      replaceRootStreams(path, changes);
    } catch (const StorageError& e) {
      code = e.number() == hresult::kDiskFull ? 0 : 2;
    } catch (...) {
      code = 3;
    }
    ::_exit(code);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFileBytes(path), bytes);
}

}  // namespace
}  // namespace fendrik::cfb::testing
