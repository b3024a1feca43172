#include "search/ListFile.h"

#include <QDir>
#include <QStandardPaths>
#include <QString>

#include "properties/platform/Files.h"
#include "resultlist/ListFileLine.h"
#include "search/FileReplacement.h"

namespace fendrik {

namespace {

using platform::SystemError;

constexpr std::string_view kPrefix = "Fendrik_";
constexpr std::string_view kSuffix = ".lst";
// The rows are written, and the file is read, in pieces of about this size.
constexpr size_t kPiece = 1 << 20;

ListFileResult Failed(const SystemError& error) {
  return {ListFileResult::Outcome::Failed, platform::ErrorText(error), {}};
}

// Reads lines from the open file in pieces and adds their rows; `tooBig`
// when the file outgrows kMaxListFileBytes meanwhile.
SystemError ReadRows(const platform::File& file, ResultRows& rows, const ListFileProgress& progress,
                     ListFileResult& result, bool& tooBig) {
  std::string pending;
  uint64_t total = 0;
  size_t lineNumber = 0;
  auto add = [&](std::string_view line) {
    ++lineNumber;
    if (auto why = AddListFileRow(rows, line))
      result.refused.push_back("Zeile " + std::to_string(lineNumber) + ": " + *why);
  };
  bool end = false;
  while (!end) {
    const size_t kept = pending.size();
    pending.resize(kept + kPiece);
    size_t got = 0;
    const SystemError error =
        file.readAt(total, std::span(reinterpret_cast<uint8_t*>(pending.data() + kept), kPiece), got);
    if (error) return error;
    pending.resize(kept + got);
    end = got == 0;
    total += got;
    if (total > kMaxListFileBytes) {
      tooBig = true;
      return {};
    }

    // A line ends at CR LF, LF or a lone CR; the end of the file ends the
    // last line too, unless it ended just before. A CR at the end of a
    // piece waits for the next piece, which may start with its LF.
    std::string_view rest = pending;
    while (!rest.empty()) {
      const size_t stop = rest.find_first_of("\r\n");
      if (stop == std::string_view::npos || (!end && rest[stop] == '\r' && stop + 1 == rest.size())) {
        if (end) {
          add(rest);
          rest = {};
        }
        break;
      }
      add(rest.substr(0, stop));
      size_t next = stop + 1;
      if (rest[stop] == '\r' && next < rest.size() && rest[next] == '\n') ++next;
      rest.remove_prefix(next);
    }
    pending.erase(0, pending.size() - rest.size());
    if (progress && !end && !progress(rows.size())) {
      result.stopped = true;
      break;
    }
  }
  return {};
}

}  // namespace

std::string GetSpecialFolderPath(int id) {
  if (id != kDocumentsFolderId) return kFolderNotDefined;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) return kFolderNotDefined;
  // Qt writes "/" on every system; messages show the system's separator.
  return QDir::toNativeSeparators(folder).toStdString();
}

std::string ListFilePath(std::string_view name) {
  std::string path = GetSpecialFolderPath(kDocumentsFolderId);
  if (!path.ends_with(platform::kPathSeparator)) path += platform::kPathSeparator;
  if (!name.starts_with(kPrefix)) path += kPrefix;
  path += name;
  if (!name.ends_with(kSuffix)) path += kSuffix;
  return path;
}

ListFileResult SaveListView(const ResultRows& rows, const std::string& listPath) {
  FileReplacement file;
  SystemError error = file.begin(listPath);
  std::string piece;
  piece.reserve(kPiece + 4096);
  for (size_t row = 0; row < rows.size() && !error; ++row) {
    AppendListFileLine(piece, rows, row);
    if (piece.size() >= kPiece) {
      error = file.append(piece);
      piece.clear();
    }
  }
  if (!error) error = file.append(piece);
  if (!error) error = file.commit();
  if (error) return Failed(error);
  return {};
}

ListFileResult LoadListView(ResultRows& rows, const std::string& path, const ListFileProgress& progress) {
  rows.clear();
  platform::FileStatus facts;
  if (platform::StatusOf(path, facts) || facts.kind != platform::Kind::file)
    return {ListFileResult::Outcome::Missing, {}, {}};
  platform::File file;
  if (SystemError error = file.open(path, platform::File::Mode::read)) return Failed(error);
  ListFileResult result;
  bool tooBig = false;
  SystemError error = file.status(facts);
  if (!error && facts.size > kMaxListFileBytes)
    tooBig = true;
  else if (!error)
    error = ReadRows(file, rows, progress, result, tooBig);
  file.close();
  if (!error && !tooBig) return result;
  rows.clear();
  if (error) return Failed(error);
  return {ListFileResult::Outcome::Failed,
          "die Datei ist größer als " + std::to_string(kMaxListFileBytes >> 20) +
              " MiB; so lange Listen werden nicht gelesen",
          {}};
}

}  // namespace fendrik
