#include "resultlist/FileFacts.h"

#include <QLocale>
#include <QString>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

#include "properties/platform/Clock.h"
#include "properties/platform/Files.h"

namespace fendrik {
namespace {

// The text between the hour and the minute field of the locale's short time
// format, quotes removed; ":" when the format has none.
QString TimeSeparator(const QLocale& locale) {
  QString format = locale.timeFormat(QLocale::ShortFormat);
  qsizetype hour = format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
  qsizetype minute = format.indexOf(QLatin1Char('m'), hour < 0 ? 0 : hour);
  if (hour < 0 || minute < 0) return QStringLiteral(":");
  qsizetype start = hour;
  while (start < minute && (format[start] == QLatin1Char('h') || format[start] == QLatin1Char('H'))) ++start;
  QString separator = format.mid(start, minute - start);
  separator.remove(QLatin1Char('\''));
  return separator.isEmpty() ? QStringLiteral(":") : separator;
}

// The default locale with the digit grouping always on, also where the
// locale leaves it off by default (the C locale).
QLocale GroupingLocale() {
  QLocale locale;
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  return locale;
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// A path that is absolute and normal already in the plainest form ("/a/b.par":
// no "." or ".." names, no empty ones, no separator at its end), as the search
// gives them, splits at its last separator: std::filesystem gives the same
// texts at the cost of several allocations per row. Only where '/' is the
// separator; elsewhere (drive letters, names the system shortens) the
// general way.
bool SplitPlainPath(std::string_view path, std::string& folder, std::string& name) {
  if constexpr (platform::kPathSeparator != '/') return false;
  if (path.size() < 2 || path[0] != '/') return false;
  for (size_t start = 1;;) {
    const size_t end = path.find('/', start);
    const std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  const size_t last = path.rfind('/');
  folder.assign(path.substr(0, last == 0 ? 1 : last));
  name.assign(path.substr(last + 1));
  return true;
}

// The folder (absolute, normal, as std::filesystem makes it) and the name of
// the file at `path`; false when the path cannot be made absolute.
bool SplitFullPath(const std::string& path, std::string& folder, std::string& name) {
  if (SplitPlainPath(path, folder, name)) return true;
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(platform::FsPath(path), error);
  if (error) return false;
  full = full.lexically_normal();
  name = platform::Utf8Path(full.filename());
  folder = platform::Utf8Path(full.parent_path());
  return true;
}

}  // namespace

std::optional<FileObject> LookUpFile(const std::string& path) {
  platform::FileStatus facts;
  if (path.empty() || platform::StatusOf(path, facts)) return std::nullopt;
  return FileObjectOf(path, facts);
}

std::optional<FileObject> FileObjectOf(const std::string& path, const platform::FileStatus& status) {
  if (path.empty() || status.kind == platform::Kind::missing || status.kind == platform::Kind::folder)
    return std::nullopt;
  FileObject file;
  if (!SplitFullPath(path, file.folderPath, file.name)) return std::nullopt;
  file.modified = status.modified.seconds;
  file.size = static_cast<std::uintmax_t>(status.size);
  return file;
}

std::string GetFileName(const FileObject& file) { return file.name; }

std::string GetFolderPath(const FileObject& file) { return file.folderPath; }

// Owned by the reader that passes them (a thread-local copy would be an
// object with a destructor, which with MinGW's threads is destroyed after the
// thread's storage is gone and crashed the reading threads at their end).
struct FactFormats::Parts {
  std::string timeSeparator = TimeSeparator(QLocale()).toStdString();
  QLocale grouping = GroupingLocale();
};

FactFormats::FactFormats() : parts_(std::make_unique<Parts>()) {}
FactFormats::~FactFormats() = default;

std::string GetModifiedText(const FileObject& file, const FactFormats& formats) {
  const std::optional<platform::CivilTime> local = platform::LocalTimeOf(file.modified);
  if (!local) return {};
  return platform::DateTimeText(*local, formats.parts_->timeSeparator);
}

std::string GetSizeText(const FileObject& file, const FactFormats& formats) {
  const QString digits = formats.parts_->grouping.toString(static_cast<qulonglong>(file.size));
  // Every digit stays; only a shorter text is padded on the left.
  return digits.rightJustified(kSizeTextWidth, QLatin1Char(' ')).toStdString();
}

std::string StripExtension(std::string_view text) {
  size_t dot = text.rfind('.');
  return std::string(dot == std::string_view::npos ? text : text.substr(0, dot));
}

std::string GetTypeText(std::string_view text) {
  size_t dot = text.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string_view type = text.substr(dot + 1);
  if (!IsAscii(type)) return QString::fromUtf8(type.data(), static_cast<qsizetype>(type.size())).toLower().toStdString();
  std::string lower(type);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

}  // namespace fendrik
