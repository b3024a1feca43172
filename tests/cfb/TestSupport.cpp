#include "TestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "properties/cfb/CompoundFile.h"

namespace fendrik::cfb::testing {
namespace {

std::vector<uint8_t> fromHex(const std::string& hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) out[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

}  // namespace

std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

StreamMap rootStreams(const std::filesystem::path& path) {
  auto file = CompoundFile::open(path);
  StreamMap streams;
  for (uint32_t id : file->rootChildren())
    if (file->entry(id).type == kTypeStream) streams[file->entry(id).name] = file->readStream(id, 1u << 30);
  return streams;
}

namespace {

// One line "<name hex> <content hex or z<size>>" of olefile_dump.py into `streams`.
void addStreamLine(const std::string& line, StreamMap& streams) {
  size_t space = line.find(' ');
  if (space == std::string::npos) return;
  auto nameBytes = fromHex(line.substr(0, space));
  std::u16string name;
  for (size_t i = 0; i + 1 < nameBytes.size(); i += 2)
    name += static_cast<char16_t>(nameBytes[i] | (nameBytes[i + 1] << 8));
  std::string content = line.substr(space + 1);
  streams[name] = content.starts_with("z") ? std::vector<uint8_t>(std::stoull(content.substr(1)), 0) : fromHex(content);
}

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string::npos) eol = text.size();
    lines.push_back(text.substr(pos, eol - pos));
    pos = eol + 1;
  }
  return lines;
}

}  // namespace

std::optional<StreamMap> olefileRootStreams(const std::filesystem::path& path) {
  using fendrik::test::shellQuote;
  std::string text;
  if (fendrik::test::runCommand("/usr/bin/python3 " + shellQuote(FENDRIK_OLEFILE_DUMP) + " " +
                                    shellQuote(path.string()) + " 2>/dev/null",
                                &text) != 0)
    return std::nullopt;
  StreamMap streams;
  for (const auto& line : linesOf(text)) addStreamLine(line, streams);
  return streams;
}

std::vector<std::optional<StreamMap>> olefileRootStreamsOfMany(const std::vector<std::filesystem::path>& paths) {
  using fendrik::test::shellQuote;
  std::vector<std::optional<StreamMap>> result(paths.size());
  // In batches, to keep command lines short.
  for (size_t first = 0; first < paths.size(); first += 200) {
    const size_t count = std::min<size_t>(200, paths.size() - first);
    std::string command = "/usr/bin/python3 " + shellQuote(FENDRIK_OLEFILE_DUMP) + " --many";
    for (size_t i = 0; i < count; ++i) command += " " + shellQuote(paths[first + i].string());
    std::string text;
    fendrik::test::runCommand(command + " 2>/dev/null", &text);
    std::optional<StreamMap>* current = nullptr;
    for (const auto& line : linesOf(text)) {
      if (line.starts_with("= ")) {
        current = &result[first + std::stoul(line.substr(2))];
        *current = StreamMap{};
      } else if (line.starts_with("! ")) {
        current = nullptr;
        result[first + std::stoul(line.substr(2))].reset();
      } else if (current) {
        addStreamLine(line, **current);
      }
    }
  }
  return result;
}

std::string narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x20 ? '#' : (c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

}  // namespace fendrik::cfb::testing
