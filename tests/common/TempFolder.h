#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FolderChain.h"
#include "properties/platform/Files.h"

namespace fendrik::test {

// A fresh folder under the system's temporary folder, removed again at the end.
// Names and paths as std::string are UTF-8 (platform::FsPath / Utf8Path).
class TempFolder {
 public:
  TempFolder() {
    // A name nobody has taken: create_directory tells, as mkdtemp would.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = std::filesystem::temp_directory_path() / ("fendrik-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(candidate)) path_ = candidate;
    }
    if (path_.empty()) std::abort();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return platform::Utf8Path(path_); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / platform::FsPath(name); }

  // A copy of `source` in this folder (under `name`, or its own name) that the
  // owner may write, whatever the mode of the original.
  std::filesystem::path copy(const std::filesystem::path& source, const std::string& name = {}) const {
    std::filesystem::path target = path_ / (name.empty() ? source.filename() : platform::FsPath(name));
    // Removed first rather than overwritten: MinGW's copy_file refuses to
    // overwrite an existing file.
    std::error_code absent;
    std::filesystem::remove(target, absent);
    std::filesystem::copy_file(source, target);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return target;
  }

  // A file with `content`, a folder, a symbolic link to `target`, each at a
  // path relative to this folder (whose missing folders are made); the full path.
  std::string file(const std::string& relative, const std::string& content = {}) const {
    const std::filesystem::path full = path_ / platform::FsPath(relative);
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return platform::Utf8Path(full);
  }
  std::string folder(const std::string& relative) const {
    const std::filesystem::path full = path_ / platform::FsPath(relative);
    std::filesystem::create_directories(full);
    return platform::Utf8Path(full);
  }
  void link(const std::string& relative, const std::string& target) const {
    std::filesystem::create_directories((path_ / platform::FsPath(relative)).parent_path());
    std::filesystem::create_symlink(platform::FsPath(target), path_ / platform::FsPath(relative));
  }

  // `levels` folders each inside the one before, all named `name`, in the
  // folder `relative`; made one level at a time from the level above, so the
  // chain may go deeper than any path the system opens. In each level the
  // list names (0: the outermost), a file "level<N>.par" with `content`.
  // The full paths of those files, outermost first.
  std::vector<std::string> chain(const std::string& relative, const std::string& name, int levels,
                                 const std::vector<int>& withFile, const std::string& content = {}) const {
    return FolderChain(folder(relative), name, levels, withFile, content);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace fendrik::test
