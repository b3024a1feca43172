#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace fendrik::test {

// A fresh folder under the system's temporary folder, removed again at the end.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fendrik-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // A copy of `source` in this folder (under `name`, or its own name) that the
  // owner may write, whatever the mode of the original.
  std::filesystem::path copy(const std::filesystem::path& source, const std::string& name = {}) const {
    std::filesystem::path target = path_ / (name.empty() ? source.filename().string() : name);
    std::filesystem::copy_file(source, target, std::filesystem::copy_options::overwrite_existing);
    std::filesystem::permissions(target, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    return target;
  }

  // A file with `content`, a folder, a symbolic link to `target`, each at a
  // path relative to this folder (whose missing folders are made); the full path.
  std::string file(const std::string& relative, const std::string& content = {}) const {
    std::filesystem::create_directories((path_ / relative).parent_path());
    std::ofstream(path_ / relative, std::ios::binary) << content;
    return (path_ / relative).string();
  }
  std::string folder(const std::string& relative) const {
    std::filesystem::create_directories(path_ / relative);
    return (path_ / relative).string();
  }
  void link(const std::string& relative, const std::string& target) const {
    std::filesystem::create_directories((path_ / relative).parent_path());
    std::filesystem::create_symlink(target, path_ / relative);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace fendrik::test
