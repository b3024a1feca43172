#pragma once

// Helpers shared by the compound-file tests: temporary folders, the real
// samples, and the root streams of a file as our reader and as olefile read them.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "TestCommon.h"

namespace fendrik::cfb::testing {

using StreamMap = std::map<std::u16string, std::vector<uint8_t>>;

using TempDir = fendrik::test::TempFolder;
using fendrik::test::realSamples;

// A writable copy of `source` in `dir`.
inline std::filesystem::path copyInto(const std::filesystem::path& source, const TempDir& dir,
                                      const std::string& name) {
  return dir.copy(source, name);
}

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path);
void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// Root streams read with our reader (throws StorageError) and with olefile
// (nullopt when olefile cannot read the file).
StreamMap rootStreams(const std::filesystem::path& path);
std::optional<StreamMap> olefileRootStreams(const std::filesystem::path& path);
// The same for many files in one run of olefile.
std::vector<std::optional<StreamMap>> olefileRootStreamsOfMany(const std::vector<std::filesystem::path>& paths);

// Upper-case names are spelt with a lower-case first letter in some files;
// keys of StreamMap are the names as stored.
std::string narrow(const std::u16string& s);

}  // namespace fendrik::cfb::testing
