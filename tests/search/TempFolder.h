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

  // Creates an empty file (and its folders) at a path relative to this folder.
  std::string file(const std::string& relative, const std::string& content = {}) const {
    std::filesystem::path full = path_ / relative;
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    return full.string();
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
