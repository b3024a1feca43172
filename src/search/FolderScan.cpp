#include "search/FolderScan.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace fendrik {
namespace {

bool NameEndsInPattern(std::string_view name, std::string_view pattern) {
  // The last n characters of the upper-cased name against the pattern; a
  // shorter name is compared whole and so never matches. The patterns are
  // ASCII, so comparing the last n bytes is the same as the last n characters.
  if (name.size() < pattern.size()) return false;
  std::string_view tail = name.substr(name.size() - pattern.size());
  for (size_t i = 0; i < tail.size(); ++i) {
    char c = tail[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != pattern[i]) return false;
  }
  return true;
}

// One depth-first walk that feeds one or more patterns, each into its own
// list, so several types cost a single pass over the tree.
class TreeWalk {
 public:
  TreeWalk(const std::string_view* patterns, ScanList* const* lists, size_t count, bool includeSubfolders,
           const PerFolderCallback& perFolder, const FolderErrorCallback& folderError)
      : patterns_(patterns), lists_(lists), count_(count), includeSubfolders_(includeSubfolders),
        perFolder_(perFolder), folderError_(folderError) {}

  void run(const std::string& folder) {
    folder_ = folder;
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
    if (perFolder_) perFolder_();
    int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
      listFolder(fd);
    else
      report(errno);
  }

 private:
  // Lists the open folder `fd`, whose path (ending in "/") is folder_; takes
  // ownership of fd.
  void listFolder(int fd) {
    struct stat self {};
    if (::fstat(fd, &self) != 0) {
      report(errno);
      ::close(fd);
      return;
    }
    if (!listed_.insert({self.st_dev, self.st_ino}).second) {
      ::close(fd);
      return;
    }
    // The per-folder callback may throw to stop the walk; every folder
    // opened on the way down is closed again then.
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(fd), &::closedir);
    if (dir == nullptr) {
      report(errno);
      ::close(fd);
      return;
    }
    while (true) {
      errno = 0;
      const dirent* entry = ::readdir(dir.get());
      if (entry == nullptr) {
        if (errno != 0) report(errno);
        break;
      }
      const char* name = entry->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
      if (isFolder(dir.get(), *entry))
        meetFolder(dir.get(), name);
      else
        meetFile(name);
    }
  }

  void report(int error) const {
    if (folderError_) folderError_(folder_, error);
  }

  static bool isFolder(DIR* dir, const dirent& entry) {
    if (entry.d_type == DT_DIR) return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
    // A link counts by what it points to; a broken link is a file.
    struct stat target {};
    return ::fstatat(::dirfd(dir), entry.d_name, &target, 0) == 0 && S_ISDIR(target.st_mode);
  }

  void meetFolder(DIR* dir, const char* name) {
    if (!includeSubfolders_) {
      for (size_t k = 0; k < count_; ++k) append(*lists_[k], kFolderEntryMark, name);
      return;
    }
    size_t parentLength = folder_.size();
    folder_ += name;
    folder_ += '/';
    if (perFolder_) perFolder_();
    int fd = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0)
      listFolder(fd);
    else
      report(errno);
    folder_.resize(parentLength);
  }

  void meetFile(const char* name) {
    std::string_view view(name);
    for (size_t k = 0; k < count_; ++k)
      if (NameEndsInPattern(view, patterns_[k])) append(*lists_[k], kFileEntryIndent, view);
  }

  void append(ScanList& list, std::string_view lead, std::string_view name) {
    std::string& entry = list.emplace_back();
    entry.reserve(lead.size() + folder_.size() + name.size());
    entry.append(lead).append(folder_).append(name);
  }

  const std::string_view* patterns_;
  ScanList* const* lists_;
  size_t count_;
  bool includeSubfolders_;
  const PerFolderCallback& perFolder_;
  const FolderErrorCallback& folderError_;
  std::string folder_;
  // Device and inode of every folder listed so far in this walk.
  std::set<std::pair<dev_t, ino_t>> listed_;
};

}  // namespace

void ScanFolder(const std::string& folder, std::string_view pattern, ScanList& list, bool includeSubfolders,
                const PerFolderCallback& perFolder, const FolderErrorCallback& folderError) {
  ScanList* target = &list;
  TreeWalk(&pattern, &target, 1, includeSubfolders, perFolder, folderError).run(folder);
}

void ScanFolders(const std::string& folder, TypeSelection types, bool includeSubfolders, ScanList& list,
                 const PerFolderCallback& perFolder, const FolderErrorCallback& folderError) {
  std::array<std::string_view, kDocumentTypeCount> patterns;
  std::array<ScanList, kDocumentTypeCount> perType;
  std::array<ScanList*, kDocumentTypeCount> targets{};
  size_t count = 0;
  for (int k = 0; k < kDocumentTypeCount; ++k) {
    if (!types.test(static_cast<size_t>(k))) continue;
    patterns[count] = kTypePatterns[k];
    targets[count] = &perType[count];
    ++count;
  }
  if (count == 0) return;
  TreeWalk(patterns.data(), targets.data(), count, includeSubfolders, perFolder, folderError).run(folder);

  size_t total = list.size();
  for (size_t k = 0; k < count; ++k) total += perType[k].size();
  list.reserve(total);
  for (size_t k = 0; k < count; ++k)
    list.insert(list.end(), std::make_move_iterator(perType[k].begin()), std::make_move_iterator(perType[k].end()));
}

}  // namespace fendrik
