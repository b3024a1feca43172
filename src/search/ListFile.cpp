#include "search/ListFile.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>
#include <atomic>
#include <filesystem>
#include <random>
#include <system_error>

#include "properties/platform/Files.h"
#include "resultlist/ListFileLine.h"
#include "search/ListFileHooksForTests.h"

namespace fendrik {

namespace {

namespace fs = std::filesystem;
using platform::Fault;
using platform::SystemError;

constexpr std::string_view kPrefix = "Fendrik_";
constexpr std::string_view kSuffix = ".lst";
// The rows are written, and the file is read, in pieces of about this size.
constexpr size_t kPiece = 1 << 20;
// Symbolic links followed from the list file's path to the file itself, as
// many as the system follows in one path.
constexpr int kMaxLinks = 40;
// Names tried for the temporary file before the writer gives up.
constexpr int kMaxAttempts = 100;

thread_local ListFileHooks* installedHooks = nullptr;

ListFileResult Failed(const SystemError& error) {
  return {ListFileResult::Outcome::Failed, platform::ErrorText(error), {}};
}

// An error of the standard library's file functions in the program's terms.
SystemError ErrorOf(const std::error_code& error) {
  if (!error) return {};
  if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory)
    return {Fault::notFound, error.value()};
  if (error == std::errc::filename_too_long) return {Fault::nameTooLong, error.value()};
  if (error == std::errc::too_many_symbolic_link_levels) return {Fault::linkLoop, error.value()};
  if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted)
    return {Fault::accessDenied, error.value()};
  if (error == std::errc::read_only_file_system) return {Fault::readOnlyMedium, error.value()};
  if (error == std::errc::no_space_on_device) return {Fault::diskFull, error.value()};
  return {Fault::other, error.value()};
}

// The result of one step of the writer as the hooks let it stand.
SystemError Step(ListFileStep step, SystemError error) {
  return installedHooks ? installedHooks->after(step, error) : error;
}

// Writes `bytes` at `offset` and moves it behind them.
SystemError WriteAll(platform::File& file, uint64_t& offset, std::string_view bytes) {
  const SystemError error =
      file.writeAt(offset, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  if (!error) offset += bytes.size();
  return Step(ListFileStep::Write, error);
}

// A file name beside `path` that no other writer uses: a random number drawn
// once per process and a counter make it unique within the machine, and
// creating it only where no file is catches the rest.
std::string TemporaryNameFor(const std::string& path) {
  static const unsigned process = std::random_device{}();
  static std::atomic<unsigned> counter{0};
  return path + ".tmp-" + std::to_string(process) + "-" + std::to_string(counter.fetch_add(1));
}

bool Exists(const std::string& path) {
  platform::FileStatus status;
  return !platform::LinkStatusOf(path, status) && status.kind != platform::Kind::missing;
}

// The file that `path` leads to: path itself, or the last target of the
// symbolic links it names, whether or not that exists yet.
SystemError FollowLinks(std::string& path) {
  for (int links = 0; links <= kMaxLinks; ++links) {
    platform::FileStatus status;
    const SystemError error = platform::LinkStatusOf(path, status);
    if (error.fault == Fault::notFound) return {};
    if (error) return error;
    // A link is of kind other, as are a FIFO and a device, which are no link.
    std::error_code linkError;
    if (status.kind != platform::Kind::other || !fs::is_symlink(fs::symlink_status(platform::FsPath(path), linkError)))
      return ErrorOf(linkError);
    const fs::path target = fs::read_symlink(platform::FsPath(path), linkError);
    if (linkError) return ErrorOf(linkError);
    path = platform::Utf8Path(target.is_absolute() ? target : platform::FsPath(path).parent_path() / target);
  }
  return {Fault::linkLoop, 0};
}

// Reads lines from the open file in pieces and adds their rows; `tooBig`
// when the file outgrows kMaxListFileBytes meanwhile.
SystemError ReadRows(const platform::File& file, ResultRows& rows, const ListFileProgress& progress,
                     ListFileResult& result, bool& tooBig) {
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
    size_t got = 0;
    const SystemError error =
        file.readAt(total, std::span(reinterpret_cast<uint8_t*>(pending.data() + kept), kPiece), got);
    if (error) return error;
    pending.resize(kept + got);
    end = got == 0;
    total += got;
    if (total > kMaxListFileBytes) {
      tooBig = true;
      return {};
    }

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
  return {};
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
  // Qt writes "/" on every system; messages show the system's separator.
  return QDir::toNativeSeparators(folder).toStdString();
}

std::string ListFilePath(std::string_view name) {
  std::string path = GetSpecialFolderPath(kDocumentsFolderId);
  if (!path.ends_with(platform::kPathSeparator)) path += platform::kPathSeparator;
  if (!name.starts_with(kPrefix)) path += kPrefix;
  path += name;
  if (!name.ends_with(kSuffix)) path += kSuffix;
  return path;
}

ListFileResult SaveListView(const ResultRows& rows, const std::string& listPath) {
  // Through a link the file it leads to is replaced; a new file in place of
  // the link would leave the link's target with the old list.
  std::string path = listPath;
  if (SystemError error = FollowLinks(path)) return Failed(error);
  // A new account may have no documents folder yet.
  const fs::path folder = platform::FsPath(path).parent_path();
  std::error_code folderError;
  if (!folder.empty()) fs::create_directories(folder, folderError);
  if (folderError) return Failed(ErrorOf(folderError));

  std::string temporary;
  platform::File file;
  for (int attempt = 0; !file.isOpen(); ++attempt) {
    temporary = TemporaryNameFor(path);
    const SystemError error = file.open(temporary, platform::File::Mode::createNew);
    // Another file of that name: the next name.
    if (error && (attempt >= kMaxAttempts || !Exists(temporary))) return Failed(error);
  }
  SystemError error;
  uint64_t offset = 0;
  std::string piece;
  piece.reserve(kPiece + 4096);
  for (size_t row = 0; row < rows.size() && !error; ++row) {
    AppendListFileLine(piece, rows, row);
    if (piece.size() >= kPiece) {
      error = WriteAll(file, offset, piece);
      piece.clear();
    }
  }
  if (!error) error = WriteAll(file, offset, piece);
  // On the disk before it takes the old file's name, so a crash right after
  // the rename cannot leave an empty or partial list file.
  if (!error) error = Step(ListFileStep::Sync, file.flush());
  const SystemError closed = Step(ListFileStep::Close, file.close());
  if (!error) error = closed;
  // Windows refuses while another program has the list file open without
  // letting it be deleted (Fault::inUse); the old file stays then.
  if (!error) error = Step(ListFileStep::Rename, platform::ReplaceFile(temporary, path));
  if (error) {
    platform::RemoveFile(temporary);
    return Failed(error);
  }
  return {};
}

ListFileResult LoadListView(ResultRows& rows, const std::string& path, const ListFileProgress& progress) {
  rows.clear();
  platform::FileStatus facts;
  if (platform::StatusOf(path, facts) || facts.kind != platform::Kind::file)
    return {ListFileResult::Outcome::Missing, {}, {}};
  platform::File file;
  if (SystemError error = file.open(path, platform::File::Mode::read)) return Failed(error);
  ListFileResult result;
  bool tooBig = false;
  SystemError error = file.status(facts);
  if (!error && facts.size > kMaxListFileBytes)
    tooBig = true;
  else if (!error)
    error = ReadRows(file, rows, progress, result, tooBig);
  file.close();
  if (!error && !tooBig) return result;
  rows.clear();
  if (error) return Failed(error);
  return {ListFileResult::Outcome::Failed,
          "die Datei ist größer als " + std::to_string(kMaxListFileBytes >> 20) +
              " MiB; so lange Listen werden nicht gelesen",
          {}};
}

}  // namespace fendrik
