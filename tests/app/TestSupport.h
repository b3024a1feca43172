#pragma once

#include <gtest/gtest.h>

#include <QMap>
#include <QMessageBox>
#include <QString>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TestCommon.h"
#include "app/FrmFendrik.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
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

// Replaces the whole store before a run (section/key -> text).
void SeedSettings(const QMap<QString, QString>& texts);
// The stored texts after a run, read back from the file.
QMap<QString, QString> StoredSettings();

// A message box, answered with OK.
struct Shown {
  QString title, text, details;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};
// Runs action and answers every message box it opens meanwhile.
std::vector<Shown> AnswerMessages(const std::function<void()>& action);
// Their texts joined, for failure output.
std::string Texts(const std::vector<Shown>& shown);

// Generated documents (tools/gen) in folder, without the manifest; their
// paths sorted.
std::vector<std::string> GenerateDocuments(const std::filesystem::path& folder, int count, int seed,
                                           const std::string& options = "");

// Rows of the list, each given as column -> text.
ResultRows MakeRows(const std::vector<std::map<int, std::string>>& rows);

template <typename Control>
Control* Find(QWidget& window, const QString& name) {
  return window.findChild<Control*>(name);
}

// The loaded window, shown and active.
class WindowTest : public testing::Test {
 protected:
  void SetUp() override;
  FrmFendrik& window() { return run_->window; }
  ResultListView& list() { return *window().listView(); }
  ResultRowsModel& model() { return *window().rowsModel(); }
  template <typename Control = QWidget>
  Control* control(const QString& name) {
    return Find<Control>(window(), name);
  }
  QString label6();
  QString txtWahl();
  // The texts of one column, top to bottom.
  std::vector<std::string> Column(int column);

  TempFolder folder_;
  std::unique_ptr<ProgramRun> run_;
};

}  // namespace fendrik::test
