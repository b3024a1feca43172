#include "search/ListFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QStandardPaths>
#include <QString>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>

#include "properties/propset/TextCodec.h"
#include "resultlist/ListFileLine.h"

namespace fendrik {

namespace {

constexpr std::string_view kPrefix = "Fendrik_";
constexpr std::string_view kSuffix = ".lst";
// Fields per line: the key and the texts of all columns.
constexpr size_t kFieldsPerLine = kColumnCount + 1;
// The rows are written in pieces of about this size.
constexpr size_t kWriteChunk = 1 << 20;
constexpr uint16_t kWindows1252 = 1252;

std::string ErrorText(int error) { return std::strerror(error); }

ListFileResult Failed(int error) { return {ListFileResult::Outcome::Failed, ErrorText(error)}; }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

// A file name beside `path` that no other writer uses: the process id and a
// counter make it unique within the machine, O_EXCL catches the rest.
std::string TemporaryNameFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// Whether bytes are well-formed UTF-8. ASCII, nearly every byte of a list
// file, is passed over without decoding.
bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
    } else if (!propset::nextCodePoint(text, i)) {
      return false;
    }
  }
  return true;
}

// Adds the row of one line (without its line end).
void AddRow(ResultRows& rows, std::string_view line) {
  std::string decoded;
  if (!IsUtf8(line)) {
    try {
      decoded = propset::decodeText(std::span(reinterpret_cast<const uint8_t*>(line.data()), line.size()),
                                    kWindows1252);
      line = decoded;
    } catch (const std::exception&) {
      // Without a converter the bytes stay as they are; the list shows
      // replacement characters for them.
    }
  }
  std::array<std::string_view, kFieldsPerLine> fields{};
  size_t count = 0;
  size_t start = 0;
  while (count < kFieldsPerLine) {
    size_t tab = line.find('\t', start);
    fields[count++] = line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  // Field 1 is the row key, which the list does not keep.
  rows.append(std::span<const std::string_view>(fields.data() + 1, kColumnCount));
}

bool ReadWhole(int fd, std::string& content) {
  struct stat facts {};
  if (::fstat(fd, &facts) == 0 && facts.st_size > 0) content.reserve(static_cast<size_t>(facts.st_size));
  std::array<char, 1 << 16> buffer{};
  while (true) {
    ssize_t got = ::read(fd, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    content.append(buffer.data(), static_cast<size_t>(got));
  }
}

}  // namespace

std::string GetSpecialFolderPath(int id) {
  if (id != kDocumentsFolderId) return kFolderNotDefined;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) return kFolderNotDefined;
  return folder.toStdString();
}

std::string ListFilePath(std::string_view name) {
  std::string path = GetSpecialFolderPath(kDocumentsFolderId);
  if (!path.ends_with('/')) path += '/';
  if (!name.starts_with(kPrefix)) path += kPrefix;
  path += name;
  if (!name.ends_with(kSuffix)) path += kSuffix;
  return path;
}

ListFileResult SaveListView(const ResultRows& rows, const std::string& path) {
  std::string temporary;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporary = TemporaryNameFor(path);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) return Failed(errno);
  }
  int error = 0;
  std::string chunk;
  chunk.reserve(kWriteChunk + 4096);
  for (size_t row = 0; row < rows.size() && error == 0; ++row) {
    AppendListFileLine(chunk, rows, row);
    if (chunk.size() >= kWriteChunk) {
      if (!WriteAll(fd, chunk)) error = errno;
      chunk.clear();
    }
  }
  if (error == 0 && !WriteAll(fd, chunk)) error = errno;
  // On the disk before it takes the old file's name, so a crash right after
  // the rename cannot leave an empty or partial list file.
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    return Failed(error);
  }
  return {};
}

ListFileResult LoadListView(ResultRows& rows, const std::string& path) {
  rows.clear();
  struct stat facts {};
  if (::stat(path.c_str(), &facts) != 0 || !S_ISREG(facts.st_mode)) return {ListFileResult::Outcome::Missing, {}};
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Failed(errno);
  std::string content;
  bool read = ReadWhole(fd, content);
  int error = errno;
  ::close(fd);
  if (!read) return Failed(error);

  // A line ends at CR LF, LF or a lone CR; the end of the file ends the
  // last line too, unless it ended just before.
  std::string_view rest = content;
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    if (end == std::string_view::npos) {
      AddRow(rows, rest);
      break;
    }
    AddRow(rows, rest.substr(0, end));
    size_t next = end + 1;
    if (rest[end] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
    rest.remove_prefix(next);
  }
  return {};
}

}  // namespace fendrik
