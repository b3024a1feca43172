#pragma once

#include <QApplication>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/FrmFendrik.h"
#include "app/SingleInstance.h"

namespace fendrik::test {

// Points HOME, XDG_CONFIG_HOME and XDG_RUNTIME_DIR below home.
void SetTestHome(const QString& home);
QString TestHome();
QString SettingsFile();

// One run of the program inside the test: the guard and the loaded window.
// Destroy it before the next run, since the guard holds the lock.
struct ProgramRun {
  SingleInstance guard;
  FrmFendrik window;
  bool loaded = false;
};
std::unique_ptr<ProgramRun> StartProgram();

// Writes texts into the store before a run (section/key -> text).
void SeedSettings(const QMap<QString, QString>& texts);
// The stored texts after a run, read back from the file.
QMap<QString, QString> StoredSettings();

// Runs action and answers the message box it opens; gives the box's texts.
QStringList AnswerMessages(const std::function<void()>& action);

template <typename Control>
Control* Find(QWidget& window, const QString& name) {
  return window.findChild<Control*>(name);
}

}  // namespace fendrik::test
