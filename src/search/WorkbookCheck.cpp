#include "search/WorkbookCheck.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "properties/LittleEndian.h"
#include "properties/platform/Files.h"

namespace fendrik {

namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr size_t kEndSize = 22;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
// The end record may be followed by a comment of up to this many bytes.
constexpr size_t kMaxComment = 0xFFFF;
// Sizes of 0xFFFFFFFF stand for ZIP64 fields, which the library does not
// write unless asked to.
constexpr uint32_t kZip64 = 0xFFFFFFFF;
constexpr size_t kChunk = 1 << 16;
// Bytes kept of a part's beginning and end to find its root element and
// that element's closing tag.
constexpr size_t kKept = 256;
constexpr std::string_view kRowEnd = "</row>";

using Fault = std::optional<std::string>;

Fault Broken(std::string_view what) { return "die Arbeitsmappe ist beschädigt: " + std::string(what); }
Fault Cut(std::string_view part) { return std::string(part) + " ist unvollständig"; }

struct Entry {
  std::string name;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t packedSize = 0;
  uint32_t size = 0;
  uint32_t localOffset = 0;
};

bool ReadExactly(const platform::File& file, uint64_t offset, std::span<uint8_t> out) {
  size_t got = 0;
  return !file.readAt(offset, out, got) && got == out.size();
}

// The root element's name: the first tag after the XML declaration and any
// blanks.
std::string RootName(std::string_view head) {
  size_t at = 0;
  while (at < head.size()) {
    at = head.find('<', at);
    if (at == std::string_view::npos || at + 1 >= head.size()) return {};
    if (head[at + 1] != '?' && head[at + 1] != '!') break;
    ++at;
  }
  if (at >= head.size()) return {};
  const size_t end = head.find_first_of(" \t\r\n/>", at + 1);
  return end == std::string_view::npos ? std::string() : std::string(head.substr(at + 1, end - at - 1));
}

bool EndsWithClosingTag(std::string_view tail, const std::string& root) {
  while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r' || tail.back() == ' ' || tail.back() == '\t'))
    tail.remove_suffix(1);
  return !root.empty() && tail.ends_with("</" + root + ">");
}

// Inflates one part and checks it; `rows` counts its "</row>" tags.
Fault CheckPart(const platform::File& file, uint64_t dataEnd, const Entry& entry, size_t& rows) {
  std::array<uint8_t, kLocalSize> local{};
  if (uint64_t{entry.localOffset} + kLocalSize > dataEnd || !ReadExactly(file, entry.localOffset, local) ||
      loadU32(local.data()) != kLocalSignature)
    return Broken("Kopf von " + entry.name);
  const uint64_t data = uint64_t{entry.localOffset} + kLocalSize + loadU16(local.data() + 26) + loadU16(local.data() + 28);
  if (data + entry.packedSize > dataEnd) return Broken("Daten von " + entry.name);
  if (entry.method != 0 && entry.method != Z_DEFLATED) return Broken("Packverfahren von " + entry.name);

  z_stream stream{};
  if (entry.method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return Broken("zlib");
  std::vector<uint8_t> in(kChunk), out(kChunk);
  std::string head, tail, carry;
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0, read = 0;
  auto take = [&](const uint8_t* bytes, size_t count) {
    crc = crc32(crc, bytes, static_cast<uInt>(count));
    total += count;
    const std::string_view piece(reinterpret_cast<const char*>(bytes), count);
    if (head.size() < kKept) head += piece.substr(0, kKept - head.size());
    tail += piece.substr(piece.size() - std::min(piece.size(), kKept));
    tail.erase(0, tail.size() - std::min(tail.size(), kKept));
    // A tag across two pieces: `carry` holds the last bytes before this
    // piece, fewer than a whole tag.
    const std::string seam = carry + std::string(piece.substr(0, kRowEnd.size() - 1));
    for (size_t at = seam.find(kRowEnd); at != std::string::npos; at = seam.find(kRowEnd, at + 1)) ++rows;
    for (size_t at = piece.find(kRowEnd); at != std::string_view::npos; at = piece.find(kRowEnd, at + 1)) ++rows;
    carry += piece.substr(piece.size() - std::min(piece.size(), kRowEnd.size() - 1));
    carry.erase(0, carry.size() - std::min(carry.size(), kRowEnd.size() - 1));
  };
  Fault fault;
  for (bool finished = false; !fault && !finished;) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, entry.packedSize - read));
    if (want > 0 && !ReadExactly(file, data + read, std::span(in.data(), want))) {
      fault = Broken("Daten von " + entry.name);
      break;
    }
    read += want;
    if (entry.method == 0) {
      take(in.data(), want);
      finished = read == entry.packedSize;
      continue;
    }
    // The compressed data ran out before its stream ended.
    if (want == 0) {
      fault = Cut(entry.name);
      break;
    }
    stream.next_in = in.data();
    stream.avail_in = static_cast<uInt>(want);
    while (!finished && !fault) {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      const uInt before = stream.avail_in;
      const int result = inflate(&stream, Z_NO_FLUSH);
      const size_t produced = out.size() - stream.avail_out;
      take(out.data(), produced);
      if (result == Z_STREAM_END)
        finished = true;
      else if (result != Z_OK && result != Z_BUF_ERROR)
        fault = Broken("Daten von " + entry.name);
      // All input of this piece taken and all output given: the next piece.
      else if (stream.avail_in == 0 && stream.avail_out > 0)
        break;
      else if (produced == 0 && stream.avail_in == before)
        fault = Broken("Daten von " + entry.name);
    }
  }
  if (entry.method == Z_DEFLATED) inflateEnd(&stream);
  if (fault) return fault;
  if (total != entry.size || crc != entry.crc) return Broken("Prüfsumme von " + entry.name);
  if (!EndsWithClosingTag(tail, RootName(head))) return Cut(entry.name);
  return {};
}

}  // namespace

std::optional<std::string> WorkbookFault(const std::string& path, std::string_view sheetPart, size_t sheetRows) {
  platform::File file;
  platform::FileStatus status;
  if (file.open(path, platform::File::Mode::read) || file.status(status)) return Broken("nicht lesbar");
  const uint64_t size = status.size;
  if (size < kEndSize) return Broken("zu kurz");

  // The end record: the last signature that leaves room for its comment.
  const size_t searched = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + kMaxComment));
  std::vector<uint8_t> end(searched);
  if (!ReadExactly(file, size - searched, end)) return Broken("nicht lesbar");
  size_t at = searched - kEndSize + 1;
  bool found = false;
  while (!found && at > 0) {
    --at;
    found = loadU32(end.data() + at) == kEndSignature && at + kEndSize + loadU16(end.data() + at + 20) == searched;
  }
  if (!found) return Broken("kein Inhaltsverzeichnis");
  const uint16_t count = loadU16(end.data() + at + 10);
  const uint32_t directorySize = loadU32(end.data() + at + 12), directoryOffset = loadU32(end.data() + at + 16);
  const uint64_t endOffset = size - searched + at;
  if (uint64_t{directoryOffset} + directorySize > endOffset) return Broken("Inhaltsverzeichnis");

  std::vector<uint8_t> directory(directorySize);
  if (!ReadExactly(file, directoryOffset, directory)) return Broken("Inhaltsverzeichnis");
  std::vector<Entry> entries;
  size_t offset = 0;
  for (uint16_t k = 0; k < count; ++k) {
    if (offset + kCentralSize > directory.size() || loadU32(directory.data() + offset) != kCentralSignature)
      return Broken("Inhaltsverzeichnis");
    const uint8_t* record = directory.data() + offset;
    const size_t nameLength = loadU16(record + 28), extra = loadU16(record + 30), comment = loadU16(record + 32);
    if (offset + kCentralSize + nameLength + extra + comment > directory.size()) return Broken("Inhaltsverzeichnis");
    Entry entry;
    entry.method = loadU16(record + 10);
    entry.crc = loadU32(record + 16);
    entry.packedSize = loadU32(record + 20);
    entry.size = loadU32(record + 24);
    entry.localOffset = loadU32(record + 42);
    entry.name.assign(reinterpret_cast<const char*>(record + kCentralSize), nameLength);
    if (entry.packedSize == kZip64 || entry.size == kZip64 || entry.localOffset == kZip64)
      return Broken("Inhaltsverzeichnis");
    entries.push_back(std::move(entry));
    offset += kCentralSize + nameLength + extra + comment;
  }

  bool sheetFound = false;
  for (const Entry& entry : entries) {
    size_t rows = 0;
    if (Fault fault = CheckPart(file, directoryOffset, entry, rows)) return fault;
    if (entry.name != sheetPart) continue;
    sheetFound = true;
    if (rows != sheetRows) return Cut(entry.name);
  }
  if (!sheetFound) return Cut(sheetPart);
  return {};
}

}  // namespace fendrik
