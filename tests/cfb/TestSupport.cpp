#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <stdexcept>

#include "properties/StorageError.h"
#include "properties/cfb/CompoundFile.h"
#include "properties/cfb/Names.h"
#include "properties/platform/Files.h"

namespace fendrik::cfb::testing {
namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

const std::u16string& storedName(const StreamMap& map, const std::u16string& name) {
  for (const auto& [key, value] : map)
    if (compareNames(key, name) == 0) return key;
  throw std::runtime_error("no such stream");
}

}  // namespace

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
  const std::string bytes = test::readFile(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  std::minstd_rand random(seed + 1);
  for (auto& b : v) b = static_cast<uint8_t>(random() >> 8);
  return v;
}

std::filesystem::path makeDocument(const TempDir& dir, const std::string& name, int version,
                                   std::vector<BuildStream> extra) {
  extra.push_back({kSummary, pattern(400, 1)});
  extra.push_back({kExtendedSummary, pattern(45300, 2)});
  writeSparse(buildCompoundFile(extra, version).image, dir / name);
  return dir / name;
}

std::filesystem::path realSample(const std::string& folder, const std::string& name) {
  for (const auto& p : realSamples())
    if (p.filename() == name && p.parent_path().filename() == folder) return p;
  ADD_FAILURE() << "real sample missing: " << folder << "/" << name;
  return {};
}

StreamMap rootStreams(const std::filesystem::path& path) {
  auto file = CompoundFile::open(path);
  StreamMap streams;
  for (uint32_t id : file->rootChildren())
    if (file->entry(id).type == kTypeStream) streams[file->entry(id).name] = file->readStream(id, 1u << 30);
  return streams;
}

// olefile_dump.py prints "= N" before the streams of the N-th file ("! N"
// when it cannot read it), then "s <name hex> <content hex or z<size>>" per stream.
std::vector<std::optional<StreamMap>> olefileRootStreams(const std::vector<std::filesystem::path>& paths) {
  std::string command = "/usr/bin/python3 " + test::shellQuote(FENDRIK_OLEFILE_DUMP), text;
  for (const auto& path : paths) command += " " + test::shellQuote(test::hostPath(platform::Utf8Path(path)));
  test::runCommand(command + " 2>/dev/null", &text);
  std::vector<std::optional<StreamMap>> result(paths.size());
  std::optional<StreamMap>* current = nullptr;
  std::istringstream words(text);
  for (std::string mark, name, content; words >> mark;) {
    if (mark != "s" && words >> name) {
      current = &result.at(std::stoul(name));
      *current = mark == "=" ? std::make_optional<StreamMap>() : std::nullopt;
    } else if (words >> name >> content && current && *current) {
      const auto bytes = fromHex(name);
      std::u16string decoded;
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) decoded += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
      (**current)[decoded] =
          content[0] == 'z' ? std::vector<uint8_t>(std::stoull(content.substr(1)), 0) : fromHex(content);
    }
  }
  return result;
}

std::vector<StreamReplacement> statusLikeChange(const StreamMap& before, size_t growBy) {
  auto esi = before.at(storedName(before, kExtendedSummary));
  esi[48] ^= 0x03;
  for (size_t i = 0; i < growBy; ++i) esi.push_back(static_cast<uint8_t>('V' + i % 5));
  auto si = before.at(storedName(before, kSummary));
  si[si.size() / 2] ^= 0x04;
  return {{kExtendedSummary, esi}, {kSummary, si}};
}

StreamMap applied(const StreamMap& before, const std::vector<StreamReplacement>& changes) {
  StreamMap after = before;
  for (const auto& c : changes) after[storedName(before, c.name)] = c.content;
  return after;
}

bool readsAs(const std::filesystem::path& path, const StreamMap& expected) {
  return rootStreams(path) == expected && olefileRootStreams({path}).front() == expected;
}

Failure failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const StorageError& e) {
    return {e.number(), e.what()};
  }
  return {};
}

}  // namespace fendrik::cfb::testing
