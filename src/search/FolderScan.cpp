#include "search/FolderScan.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace fendrik {

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

namespace {

// One depth-first walk that feeds one or more patterns, each into its own
// list, so several types cost a single pass over the tree.
//
// The walk holds at most one folder open, however deep the tree: it reads a
// folder's entries whole (deciding folder or file while the folder is open),
// closes it, and then goes through what it read, opening each subfolder by
// its full path where the entries meet it. A stack of read folders takes the
// place of recursion, so a deep tree costs neither descriptors nor call stack
// per level. Opening by the full path fails just where a document cannot be
// reached by its path either: a path longer than the system allows
// (Fault::nameTooLong) or one through too many symbolic links
// (Fault::linkLoop); such a folder is reported and its documents would be
// unreadable anyway.
class TreeWalk {
 public:
  TreeWalk(const std::string_view* patterns, ScanList* const* lists, size_t count, bool includeSubfolders,
           const PerFolderCallback& perFolder, const FolderErrorCallback& folderError)
      : patterns_(patterns), lists_(lists), count_(count), includeSubfolders_(includeSubfolders),
        perFolder_(perFolder), folderError_(folderError) {}

  void run(const std::string& folder) {
    folder_ = WalkFolderPath(folder);
    visit();
    while (depth_ > 0) {
      Pending& top = stack_[depth_ - 1];
      folder_.resize(top.pathLength);
      if (top.next == top.entries.size()) {
        --depth_;
        continue;
      }
      const char kind = top.entries[top.next];
      const char* name = top.entries.c_str() + top.next + 1;
      top.next += 2 + std::strlen(name);
      if (kind == kFile) {
        meetFile(name);
        continue;
      }
      folder_ += name;
      folder_ += platform::kPathSeparator;
      if (kind == kFolder)
        visit();  // may add to stack_: `top` is not used after this
      else
        report(top.errors[top.nextError++]);
    }
  }

 private:
  // Each entry is a folder, a file, or a link whose target could not be
  // examined (a loop, no right to look): that one is reported like a folder
  // that cannot be read, since a folder may hide behind it.
  static constexpr char kFile = 'f';
  static constexpr char kFolder = 'd';
  static constexpr char kUnexamined = 'e';

  // A folder read but not yet gone through: its entries in the order the
  // file system gave them, each as its kind, its name and a NUL, without the
  // files that match no pattern.
  struct Pending {
    std::string entries;
    size_t next = 0;
    // The errors of its kUnexamined entries, in order.
    std::vector<platform::SystemError> errors;
    size_t nextError = 0;
    // The length of folder_ while the walk is in this folder.
    size_t pathLength = 0;
  };

  // Opens the folder folder_ names and, the first time the walk meets it
  // (by its identity on the disk), reads its entries.
  void visit() {
    // The callback may throw to stop the walk; no folder is open here.
    if (perFolder_) perFolder_();
    // Without subfolders nothing is entered: every entry is met at once.
    Pending* pending = nullptr;
    if (includeSubfolders_) {
      if (depth_ == stack_.size()) stack_.emplace_back();
      pending = &stack_[depth_++];
      pending->entries.clear();
      pending->next = 0;
      pending->errors.clear();
      pending->nextError = 0;
      pending->pathLength = folder_.size();
    }
    // The listing gives the folder's identity before its first entry; a
    // folder listed before is gone through no more.
    platform::FileIdentity identity;
    bool first = true;
    bool again = false;
    const platform::SystemError error =
        platform::ListFolder(folder_, identity, [&](const platform::FolderEntry& entry) {
          if (first) {
            first = false;
            again = !listed_.insert(identity).second;
          }
          if (again) return;
          const char kind = KindOf(entry);
          const std::string_view name = entry.name;
          if (kind == kFile && (pending == nullptr || pending->entries.empty())) {
            // Files before the first entry that has to wait need not wait.
            meetFile(name);
          } else if (pending == nullptr) {
            meetAtOnce(kind, name, entry.error);
          } else if (kind != kFile || matchesAny(name)) {
            pending->entries += kind;
            pending->entries.append(name).push_back('\0');
            if (kind == kUnexamined) pending->errors.push_back(entry.error);
          }
        });
    if (first && !error) again = !listed_.insert(identity).second;
    // Nothing to go through: a folder met before, or one that did not open.
    if (pending != nullptr && (again || (first && error))) --depth_;
    if (error && !again) report(error);
  }

  // A folder or unexamined link met in a walk without subfolders.
  void meetAtOnce(char kind, std::string_view name, const platform::SystemError& error) {
    if (kind == kFolder) {
      for (size_t k = 0; k < count_; ++k) append(*lists_[k], kFolderEntryMark, name);
      return;
    }
    const size_t length = folder_.size();
    folder_.append(name).push_back(platform::kPathSeparator);
    report(error);
    folder_.resize(length);
  }

  void report(const platform::SystemError& error) const {
    if (folderError_) folderError_(folder_, error);
  }

  // A link counts by what it points to; a link to nothing, and anything
  // else that is no folder (a FIFO, a device), is a file.
  static char KindOf(const platform::FolderEntry& entry) {
    if (entry.kind == platform::Kind::folder) return kFolder;
    return entry.error ? kUnexamined : kFile;
  }

  bool matchesAny(std::string_view name) const {
    for (size_t k = 0; k < count_; ++k)
      if (NameEndsInPattern(name, patterns_[k])) return true;
    return false;
  }

  void meetFile(std::string_view view) {
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
  // The read folders from the start folder down to the one the walk is in;
  // entries beyond depth_ are kept for their memory.
  std::vector<Pending> stack_;
  size_t depth_ = 0;
  // The identity of every folder listed so far in this walk.
  std::set<platform::FileIdentity> listed_;
};

}  // namespace

std::string WalkFolderPath(const std::string& folder) {
  std::string path = folder;
  if constexpr (platform::kPathSeparator != '/') std::replace(path.begin(), path.end(), '/', platform::kPathSeparator);
  if (path.empty() || path.back() != platform::kPathSeparator) path += platform::kPathSeparator;
  return path;
}

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
