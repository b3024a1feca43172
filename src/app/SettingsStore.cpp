#include "app/SettingsStore.h"

#include <QFileInfo>
#include <QStringList>
#include <charconv>
#include <cmath>

#include "app/SettingsKeys.h"

namespace fendrik {

std::optional<double> ParseStoredNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

SettingsStore::SettingsStore()
    : settings_(QSettings::IniFormat, QSettings::UserScope, kSettingsApplication, kSettingsApplication) {}

std::optional<QString> SettingsStore::read(const QString& section, const QString& key) {
  QVariant value = settings_.value(section + '/' + key);
  if (!value.isValid()) return std::nullopt;
  // A text edited by hand with an unquoted comma reads back as a list.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(',');
  return value.toString();
}

QString SettingsStore::read(const QString& section, const QString& key, const QString& fallback) {
  return read(section, key).value_or(fallback);
}

void SettingsStore::write(const QString& section, const QString& key, const QString& text) {
  settings_.setValue(section + '/' + key, text);
}

bool SettingsStore::flush() {
  settings_.sync();
  if (settings_.status() != QSettings::NoError) return false;
  // sync() reports nothing when the file stands in a place it cannot go.
  QFileInfo file(settings_.fileName());
  return file.isFile() && file.isWritable();
}

}  // namespace fendrik
