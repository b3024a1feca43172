#include "search/FileReplacement.h"

#include <atomic>
#include <filesystem>
#include <random>
#include <span>
#include <system_error>

#include "search/ListFileHooksForTests.h"

namespace fendrik {

namespace {

namespace fs = std::filesystem;
using platform::Fault;
using platform::SystemError;

// Symbolic links followed from the path to the file itself, as many as the
// system follows in one path.
constexpr int kMaxLinks = 40;
// Names tried for the temporary file before the writer gives up.
constexpr int kMaxAttempts = 100;

thread_local ListFileHooks* installedHooks = nullptr;

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

}  // namespace

ScopedListFileHooks::ScopedListFileHooks(ListFileHooks& hooks) : previous_(installedHooks) {
  installedHooks = &hooks;
}
ScopedListFileHooks::~ScopedListFileHooks() { installedHooks = previous_; }

FileReplacement::~FileReplacement() { discard(); }

SystemError FileReplacement::begin(const std::string& path) {
  discard();
  // Through a link the file it leads to is replaced; a new file in place of
  // the link would leave the link's target with the old content.
  target_ = path;
  if (SystemError error = FollowLinks(target_)) return error;
  // A new account may have no documents folder yet.
  const fs::path folder = platform::FsPath(target_).parent_path();
  std::error_code folderError;
  if (!folder.empty()) fs::create_directories(folder, folderError);
  if (folderError) return ErrorOf(folderError);

  for (int attempt = 0; !file_.isOpen(); ++attempt) {
    temporary_ = TemporaryNameFor(target_);
    const SystemError error = file_.open(temporary_, platform::File::Mode::createNew);
    // Another file of that name: the next name.
    if (error && (attempt >= kMaxAttempts || !Exists(temporary_))) {
      temporary_.clear();
      return error;
    }
  }
  pending_ = true;
  written_ = 0;
  return {};
}

SystemError FileReplacement::append(std::string_view bytes) {
  const SystemError error =
      file_.writeAt(written_, std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  if (!error) written_ += bytes.size();
  return Step(ListFileStep::Write, error);
}

SystemError FileReplacement::closeForOtherWriter() { return file_.isOpen() ? file_.close() : SystemError{}; }

SystemError FileReplacement::commit() {
  SystemError error;
  if (!file_.isOpen()) error = file_.open(temporary_, platform::File::Mode::readWrite);
  // On the disk before it takes the old file's name, so a crash right after
  // the rename cannot leave an empty or partial file.
  if (!error) error = Step(ListFileStep::Sync, file_.flush());
  const SystemError closed = Step(ListFileStep::Close, file_.close());
  if (!error) error = closed;
  // Windows refuses while another program has the target open without
  // letting it be deleted (Fault::inUse); the old file stays then.
  if (!error) error = Step(ListFileStep::Rename, platform::ReplaceFile(temporary_, target_));
  if (error) {
    discard();
    return error;
  }
  pending_ = false;
  return {};
}

void FileReplacement::discard() {
  if (file_.isOpen()) file_.close();
  if (pending_) platform::RemoveFile(temporary_);
  pending_ = false;
}

}  // namespace fendrik
