#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "TestCommon.h"
#include "app/FrmFendrik.h"
#include "app/ResultListView.h"
#include "app/ResultRowsModel.h"
#include "app/SingleInstance.h"

namespace fendrik::test {

// The test process's own home (HOME, XDG_CONFIG_HOME, XDG_RUNTIME_DIR below it).
QString TestHome();
QString SettingsFile();
// Where the program writes its list file: the home's Documents folder on
// Linux; on Windows the user's own, which the window tests there share one
// after the other (each test process starts with no list file in it).
QString DocumentsFolder();
// Whether that folder is the test process's own (below its home), which a
// test may remove; never so for the Windows user's Documents folder.
bool DocumentsFolderIsOwn();

// One run of the program inside the test: the guard and the loaded window.
// Destroy it before the next run, since the guard holds the lock.
struct ProgramRun {
  SingleInstance guard;
  FrmFendrik window;
  bool loaded = false;
};
std::unique_ptr<ProgramRun> StartProgram();

// Replaces the whole store before a run (section/key -> text); the stored texts after a run.
void SeedSettings(const QMap<QString, QString>& texts);
QMap<QString, QString> StoredSettings();

// Runs action and answers every message box it opens with OK; the boxes, and their texts for output.
struct Shown { QString text, details; QMessageBox::Icon icon; };
std::vector<Shown> AnswerMessages(const std::function<void()>& action);
std::string Texts(const std::vector<Shown>& shown);

// Rows of the list, each given as column -> text.
ResultRows MakeRows(const std::vector<std::map<int, std::string>>& rows);

template <typename Control>
Control* Find(QWidget& window, const QString& name) { return window.findChild<Control*>(name); }

// The loaded window, shown and active.
class WindowTest : public testing::Test {
 protected:
  void SetUp() override;
  FrmFendrik& window() { return run_->window; }
  ResultListView& list() { return *window().listView(); }
  ResultRowsModel& model() { return *window().rowsModel(); }
  template <typename Control = QWidget>
  Control* control(const QString& name) { return Find<Control>(window(), name); }
  QString label6() { return control<QLabel>("Label6")->text(); }
  QString txtWahl() { return control<QLineEdit>("TxtWahl")->text(); }
  std::vector<std::string> Column(int column);  // top to bottom
  // The filter reset: reloads the list file and waits until it is read; the
  // message boxes it showed.
  std::vector<Shown> Reload();
  TempFolder folder_;
  std::unique_ptr<ProgramRun> run_;
};

}  // namespace fendrik::test
