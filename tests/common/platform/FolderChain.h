#pragma once

// A chain of folders each inside the one before, made one level at a time
// from the level above (POSIX: mkdirat/openat), so that it may go deeper
// than any path the system opens. See TempFolder::chain.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fendrik::test {

inline std::vector<std::string> FolderChain(std::string path, const std::string& name, int levels,
                                            const std::vector<int>& withFile, const std::string& content) {
  std::vector<std::string> files;
  const auto wanted = [&](int level) { return std::find(withFile.begin(), withFile.end(), level) != withFile.end(); };
#ifndef _WIN32
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int level = 0; level < levels && fd >= 0; ++level) {
    ::mkdirat(fd, name.c_str(), 0755);
    const int inner = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = inner;
    path += "/" + name;
    if (!wanted(level) || fd < 0) continue;
    const std::string file = "level" + std::to_string(level) + ".par";
    const int out = ::openat(fd, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out >= 0 && ::write(out, content.data(), content.size()) == static_cast<ssize_t>(content.size()))
      files.push_back(path + "/" + file);
    if (out >= 0) ::close(out);
  }
  if (fd < 0) std::abort();
  ::close(fd);
#else
  // Windows has no relative opens: each level by its full path, as deep as
  // the system's longest path allows.
  for (int level = 0; level < levels; ++level) {
    path += "\\" + name;
    std::filesystem::create_directory(std::filesystem::path(std::u8string(path.begin(), path.end())));
    if (!wanted(level)) continue;
    const std::string file = path + "\\level" + std::to_string(level) + ".par";
    std::ofstream(std::filesystem::path(std::u8string(file.begin(), file.end())), std::ios::binary) << content;
    files.push_back(file);
  }
#endif
  return files;
}

}  // namespace fendrik::test
