#include "TestSupport.h"

#include <QSettings>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>

#include "app/AppSetup.h"

namespace fendrik::test {

namespace fs = std::filesystem;

namespace {
QString home;
#define OPEN_STORE(name) QSettings name(QSettings::IniFormat, QSettings::UserScope, "Fendriken", "Fendriken")
}  // namespace

QString TestHome() { return home; }
QString SettingsFile() { return home + "/config/Fendriken/Fendriken.ini"; }
QString DocumentsFolder() { return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation); }
bool DocumentsFolderIsOwn() { return QDir(DocumentsFolder()).absolutePath().startsWith(home + "/"); }

std::unique_ptr<ProgramRun> StartProgram() {
  auto run = std::make_unique<ProgramRun>();
  run->loaded = run->window.Form_Load(run->guard);
  return run;
}

void SeedSettings(const QMap<QString, QString>& texts) {
  OPEN_STORE(store);
  store.clear();
  for (auto it = texts.begin(); it != texts.end(); ++it) store.setValue(it.key(), it.value());
  store.sync();
}

QMap<QString, QString> StoredSettings() {
  OPEN_STORE(store);
  QMap<QString, QString> texts;
  for (const QString& key : store.allKeys()) texts[key] = store.value(key).toString();
  return texts;
}

std::vector<Shown> AnswerMessages(const std::function<void()>& action) {
  std::vector<Shown> shown;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&shown] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown.push_back({box->text(), box->detailedText(), box->icon()});
      box->accept();
    }
  });
  watcher.start(10);
  action();
  return shown;
}

std::string Texts(const std::vector<Shown>& shown) {
  std::string out;
  for (const Shown& s : shown) out += s.text.toStdString() + "|";
  return out;
}

ResultRows MakeRows(const std::vector<std::map<int, std::string>>& rows) {
  ResultRows out;
  for (const auto& texts : rows) {
    std::vector<std::string> row(kColumnCount);
    for (const auto& [column, text] : texts) row[column] = text;
    out.append(row);
  }
  return out;
}

void WindowTest::SetUp() {
  run_ = StartProgram();
  ASSERT_TRUE(run_->loaded);
  window().show();
  window().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
}

std::vector<Shown> WindowTest::Reload() {
  return AnswerMessages([this] {
    EXPECT_TRUE(window().reloadListFile());
    EXPECT_TRUE(QTest::qWaitFor([this] { return !window().reloadRunning(); }, 120000));
  });
}

std::vector<std::string> WindowTest::Column(int column) {
  std::vector<std::string> texts;
  for (size_t i = 0; i < model().rows().size(); ++i) texts.emplace_back(model().rows().text(i, column));
  return texts;
}

}  // namespace fendrik::test

// Every test process gets its own home, set before the application object
// exists (QSettings and QStandardPaths read it once).
int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  QTemporaryDir folder;
  fendrik::test::home = folder.path();
  for (const auto& [name, below] :
       {std::pair{"HOME", ""}, {"XDG_CONFIG_HOME", "/config"}, {"XDG_RUNTIME_DIR", "/runtime"}}) {
    QDir().mkpath(folder.path() + below);
    qputenv(name, (folder.path() + below).toLocal8Bit());
  }
  QFile::setPermissions(folder.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  // The settings below the own home on every system (Windows keeps them
  // below the profile's AppData, which no variable moves).
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, folder.path() + "/config");
  // Offscreen windows unless the test command chose a platform; Qt for
  // Windows has no offscreen one, so there the build names its own. Programs
  // the tests start inherit the choice.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", FENDRIK_TEST_PLATFORM);
  QApplication app(argc, argv);
  fendrik::SetUpApplication();
  // On Windows the Documents folder is the user's own, which no variable
  // moves: the tests run as a user of their own (the Wine prefix of the
  // build), start only where no list file lies there, and remove the list
  // files they made, never one they found.
  QDir documents(fendrik::test::DocumentsFolder());
  const bool shared = !fendrik::test::DocumentsFolderIsOwn();
  if (shared && !documents.entryList({"Fendrik_*.lst"}, QDir::Files).isEmpty()) {
    std::fprintf(stderr, "%s holds list files already; the window tests need a user of their own\n",
                 qPrintable(documents.absolutePath()));
    return 2;
  }
  const int result = RUN_ALL_TESTS();
  if (shared)
    for (const QString& name : documents.entryList({"Fendrik_*.lst"}, QDir::Files)) documents.remove(name);
  return result;
}
