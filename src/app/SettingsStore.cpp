#include "app/SettingsStore.h"

#include <QFileInfo>
#include <QStringList>

#include "app/SettingsKeys.h"

namespace fendrik {

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
