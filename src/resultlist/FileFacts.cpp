#include "resultlist/FileFacts.h"

#include <sys/stat.h>

#include <QLocale>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <system_error>

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

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

std::optional<FileObject> LookUpFile(const std::string& path) {
  struct stat facts {};
  if (path.empty() || ::stat(path.c_str(), &facts) != 0 || S_ISDIR(facts.st_mode)) return std::nullopt;
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(path, error);
  if (error) return std::nullopt;
  full = full.lexically_normal();
  FileObject file;
  file.name = full.filename().string();
  file.folderPath = full.parent_path().string();
  file.modified = facts.st_mtim.tv_sec;
  file.size = static_cast<std::uintmax_t>(facts.st_size);
  return file;
}

std::string GetFileName(const FileObject& file) { return file.name; }

std::string GetFolderPath(const FileObject& file) { return file.folderPath; }

std::string GetModifiedText(const FileObject& file) {
  std::tm local{};
  if (::localtime_r(&file.modified, &local) == nullptr) return {};
  std::string separator = TimeSeparator(QLocale()).toStdString();
  char date[32];
  char hour[8];
  char minute[8];
  char second[8];
  std::snprintf(date, sizeof date, "%04d.%02d.%02d ", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
  std::snprintf(hour, sizeof hour, "%02d", local.tm_hour);
  std::snprintf(minute, sizeof minute, "%02d", local.tm_min);
  std::snprintf(second, sizeof second, "%02d", local.tm_sec);
  return std::string(date) + hour + separator + minute + separator + second;
}

std::string GetSizeText(const FileObject& file) {
  QLocale locale;
  // The size is always grouped, also where the locale leaves grouping off by
  // default (the C locale).
  locale.setNumberOptions(QLocale::DefaultNumberOptions);
  const QString digits = locale.toString(static_cast<qulonglong>(file.size));
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
