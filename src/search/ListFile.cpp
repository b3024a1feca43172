#include "search/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "properties/StorageError.h"
#include "resultlist/ListFileLine.h"
#include "search/ListFileHooksForTests.h"

namespace fendrik {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = "Fendrik_";
constexpr std::string_view kSuffix = ".lst";
// The rows are written, and the file is read, in pieces of about this size.
constexpr size_t kPiece = 1 << 20;
// Symbolic links followed from the list file's path to the file itself, as
// many as the system follows in one path.
constexpr int kMaxLinks = 40;

thread_local ListFileHooks* installedHooks = nullptr;

ListFileResult Failed(int error) { return {ListFileResult::Outcome::Failed, SystemErrorText(error), {}}; }

// The result of one step of the writer as the hooks let it stand.
int Step(ListFileStep step, int error) { return installedHooks ? installedHooks->after(step, error) : error; }

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return Step(ListFileStep::Write, errno);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return Step(ListFileStep::Write, 0);
}

// A file name beside `path` that no other writer uses: the process id and a
// counter make it unique within the machine, O_EXCL catches the rest.
std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// The file that `path` leads to: path itself, or the last target of the
// symbolic links it names, whether or not that exists yet. 0 or an errno
// value.
int FollowLinks(std::string& path) {
  for (int links = 0; links <= kMaxLinks; ++links) {
    struct stat facts {};
    if (::lstat(path.c_str(), &facts) != 0) return errno == ENOENT ? 0 : errno;
    if (!S_ISLNK(facts.st_mode)) return 0;
    std::error_code error;
    const fs::path target = fs::read_symlink(path, error);
    if (error) return error.value();
    path = (target.is_absolute() ? target : fs::path(path).parent_path() / target).string();
  }
  return ELOOP;
}

// Reads lines from the open file in pieces and adds their rows. 0 or an
// errno value; EFBIG when the file outgrows kMaxListFileBytes meanwhile.
int ReadRows(int fd, ResultRows& rows, const ListFileProgress& progress, ListFileResult& result) {
  std::string pending;
  uint64_t total = 0;
  size_t lineNumber = 0;
  auto add = [&](std::string_view line) {
    ++lineNumber;
    if (auto why = AddListFileRow(rows, line))
      result.refused.push_back("Zeile " + std::to_string(lineNumber) + ": " + *why);
  };
  bool end = false;
  while (!end) {
    const size_t kept = pending.size();
    pending.resize(kept + kPiece);
    ssize_t got = ::read(fd, pending.data() + kept, kPiece);
    if (got < 0) {
      pending.resize(kept);
      if (errno == EINTR) continue;
      return errno;
    }
    pending.resize(kept + static_cast<size_t>(got));
    end = got == 0;
    total += static_cast<uint64_t>(got);
    if (total > kMaxListFileBytes) return EFBIG;

    // A line ends at CR LF, LF or a lone CR; the end of the file ends the
    // last line too, unless it ended just before. A CR at the end of a
    // piece waits for the next piece, which may start with its LF.
    std::string_view rest = pending;
    while (!rest.empty()) {
      const size_t stop = rest.find_first_of("\r\n");
      if (stop == std::string_view::npos || (!end && rest[stop] == '\r' && stop + 1 == rest.size())) {
        if (end) {
          add(rest);
          rest = {};
        }
        break;
      }
      add(rest.substr(0, stop));
      size_t next = stop + 1;
      if (rest[stop] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
      rest.remove_prefix(next);
    }
    pending.erase(0, pending.size() - rest.size());
    if (progress && !end && !progress(rows.size())) {
      result.stopped = true;
      break;
    }
  }
  return 0;
}

}  // namespace

ScopedListFileHooks::ScopedListFileHooks(ListFileHooks& hooks) : previous_(installedHooks) {
  installedHooks = &hooks;
}
ScopedListFileHooks::~ScopedListFileHooks() { installedHooks = previous_; }

std::string GetSpecialFolderPath(int id) {
  if (id != kDocumentsFolderId) return kFolderNotDefined;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) return kFolderNotDefined;
  return folder.toStdString();
}

std::string ListFilePath(std::string_view name) {
  std::string path = GetSpecialFolderPath(kDocumentsFolderId);
  if (!path.ends_with('/')) path += '/';
  if (!name.starts_with(kPrefix)) path += kPrefix;
  path += name;
  if (!name.ends_with(kSuffix)) path += kSuffix;
  return path;
}

ListFileResult SaveListView(const ResultRows& rows, const std::string& listPath) {
  // Through a link the file it leads to is replaced; a new file in place of
  // the link would leave the link's target with the old list.
  std::string path = listPath;
  if (int error = FollowLinks(path)) return Failed(error);
  // A new account may have no documents folder yet.
  const fs::path folder = fs::path(path).parent_path();
  std::error_code folderError;
  if (!folder.empty()) fs::create_directories(folder, folderError);
  if (folderError) return Failed(folderError.value());

  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporary = TemporaryNameFor(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) return Failed(errno);
  }
  int error = 0;
  std::string piece;
  piece.reserve(kPiece + 4096);
  for (size_t row = 0; row < rows.size() && error == 0; ++row) {
    AppendListFileLine(piece, rows, row);
    if (piece.size() >= kPiece) {
      error = WriteAll(fd, piece);
      piece.clear();
    }
  }
  if (error == 0) error = WriteAll(fd, piece);
  // On the disk before it takes the old file's name, so a crash right after
  // the rename cannot leave an empty or partial list file.
  if (error == 0) error = Step(ListFileStep::Sync, ::fsync(fd) == 0 ? 0 : errno);
  const int closed = Step(ListFileStep::Close, ::close(fd) == 0 ? 0 : errno);
  if (error == 0) error = closed;
  if (error == 0) error = Step(ListFileStep::Rename, ::rename(temporary.c_str(), path.c_str()) == 0 ? 0 : errno);
  if (error != 0) {
    ::unlink(temporary.c_str());
    return Failed(error);
  }
  return {};
}

ListFileResult LoadListView(ResultRows& rows, const std::string& path, const ListFileProgress& progress) {
  rows.clear();
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return {ListFileResult::Outcome::Missing, {}, {}};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(errno);
  ListFileResult result;
  int error = 0;
  if (::fstat(fd, &facts) != 0)
    error = errno;
  else if (static_cast<uint64_t>(facts.st_size) > kMaxListFileBytes)
    error = EFBIG;
  else
    error = ReadRows(fd, rows, progress, result);
  ::close(fd);
  if (error == 0) return result;
  rows.clear();
  if (error != EFBIG) return Failed(error);
  return {ListFileResult::Outcome::Failed,
          "die Datei ist größer als " + std::to_string(kMaxListFileBytes >> 20) +
              " MiB; so lange Listen werden nicht gelesen",
          {}};
}

}  // namespace fendrik
