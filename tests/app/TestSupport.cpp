#include "TestSupport.h"

#include <QDir>
#include <QMessageBox>
#include <QTimer>

namespace fendrik::test {

namespace {
QString& HomePath() {
  static QString home;
  return home;
}

#define OPEN_STORE(name) QSettings name(QSettings::IniFormat, QSettings::UserScope, "Fendriken", "Fendriken")
}  // namespace

void SetTestHome(const QString& home) {
  HomePath() = home;
  QDir(home).mkpath("config");
  QDir(home).mkpath("runtime");
  QFile::setPermissions(home + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  qputenv("HOME", home.toLocal8Bit());
  qputenv("XDG_CONFIG_HOME", (home + "/config").toLocal8Bit());
  qputenv("XDG_RUNTIME_DIR", (home + "/runtime").toLocal8Bit());
}

QString TestHome() { return HomePath(); }

QString SettingsFile() { return HomePath() + "/config/Fendriken/Fendriken.ini"; }

std::unique_ptr<ProgramRun> StartProgram() {
  auto run = std::make_unique<ProgramRun>();
  run->loaded = run->window.Form_Load(run->guard);
  return run;
}

void SeedSettings(const QMap<QString, QString>& texts) {
  OPEN_STORE(store);
  for (auto it = texts.begin(); it != texts.end(); ++it) store.setValue(it.key(), it.value());
  store.sync();
}

QMap<QString, QString> StoredSettings() {
  OPEN_STORE(store);
  QMap<QString, QString> texts;
  for (const QString& key : store.allKeys()) texts[key] = store.value(key).toString();
  return texts;
}

QStringList AnswerMessages(const std::function<void()>& action) {
  QStringList texts;
  QTimer watcher;
  watcher.setInterval(10);
  QObject::connect(&watcher, &QTimer::timeout, [&texts] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      texts << box->text();
      box->accept();
    }
  });
  watcher.start();
  action();
  return texts;
}

}  // namespace fendrik::test
