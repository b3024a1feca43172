#pragma once

#include <QSettings>
#include <QString>
#include <optional>
#include <string_view>

namespace fendrik {

// The per-user settings store: texts under section and key, kept in
// ~/.config/Fendriken/Fendriken.ini (or below XDG_CONFIG_HOME).
class SettingsStore {
 public:
  SettingsStore();

  // The stored text, or nothing when the key is missing.
  std::optional<QString> read(const QString& section, const QString& key);
  QString read(const QString& section, const QString& key, const QString& fallback);
  void write(const QString& section, const QString& key, const QString& text);

  // Writes everything to disk; false when the file could not be written.
  bool flush();
  QString fileName() const { return settings_.fileName(); }

 private:
  QSettings settings_;
};

// A stored text as a number, blanks and tabs around it allowed; nothing when
// it is no finite number.
std::optional<double> ParseStoredNumber(std::string_view text);

}  // namespace fendrik
