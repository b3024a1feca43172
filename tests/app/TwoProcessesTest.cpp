// The program started for real: twice, where the second start hands over
// to the first and ends without a window and without touching the settings;
// and once without the codepage converters the file-properties server needs.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QProcess>
#include <QTest>

#include "TestSupport.h"

namespace fendrik::test {
namespace {

constexpr int kGenerousMs = 60000;

// A started program whose standard error is collected as it comes.
class Program {
 public:
  // The program itself, or another program that ends by starting it.
  explicit Program(const QString& program = FENDRIK_PROGRAM, const QStringList& arguments = {},
                   const QMap<QString, QString>& extraEnv = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FENDRIK_TEST_LOG", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (auto it = extraEnv.begin(); it != extraEnv.end(); ++it) env.insert(it.key(), it.value());
    process_.setProcessEnvironment(env);
    process_.setProgram(program);
    process_.setArguments(arguments);
    process_.start();
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(kGenerousMs);
    }
  }
  bool waitForLog(const QString& line) {
    return QTest::qWaitFor(
        [&] {
          process_.waitForReadyRead(50);
          log_ += QString::fromLocal8Bit(process_.readAllStandardError());
          return log_.contains("fendrik: " + line);
        },
        kGenerousMs);
  }
  QProcess& process() { return process_; }
  QString log() {
    log_ += QString::fromLocal8Bit(process_.readAllStandardError());
    return log_;
  }

 private:
  QProcess process_;
  QString log_;
};

TEST(TwoProcesses, SecondStartBringsTheFirstToTheFrontAndEnds) {
  Program first;
  ASSERT_TRUE(first.waitForLog("window shown")) << first.log().toStdString();

  Program second;
  ASSERT_TRUE(second.process().waitForFinished(kGenerousMs));
  EXPECT_EQ(second.process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.process().exitCode(), 0);
  EXPECT_FALSE(second.log().contains("window shown")) << second.log().toStdString();

  EXPECT_TRUE(first.waitForLog("brought to front by a second start")) << first.log().toStdString();
  EXPECT_EQ(first.process().state(), QProcess::Running);
  // Neither run has ended through shutdown, so nothing is stored yet.
  EXPECT_FALSE(QFile::exists(SettingsFile()));
}

TEST(TwoProcesses, AnInstanceThatDiedDoesNotBlockTheNextStart) {
  {
    Program crashed;
    ASSERT_TRUE(crashed.waitForLog("window shown"));
    crashed.process().kill();
    ASSERT_TRUE(crashed.process().waitForFinished(kGenerousMs));
  }
  Program next;
  EXPECT_TRUE(next.waitForLog("window shown")) << next.log().toStdString();
}

QString GconvFolder() {
  for (const char* folder : {"/usr/lib/x86_64-linux-gnu/gconv", "/usr/lib/aarch64-linux-gnu/gconv", "/usr/lib64/gconv",
                             "/usr/lib/gconv"})
    if (QFileInfo(folder).isDir()) return folder;
  return {};
}

TEST(ServerStart, WithoutCodepageConvertersTheWindowOpensWithoutColumns) {
  // An empty folder laid over the converter folder, in a mount namespace of
  // the program's own: the server really cannot start.
  const QString gconv = GconvFolder();
  if (gconv.isEmpty() || QProcess::execute("unshare", {"-m", "true"}) != 0)
    GTEST_SKIP() << "no private mount namespace here";
  QTemporaryDir empty;
  const QMap<QString, QString> seeded = {{"Einstellungen/Titel", "Welle"}, {"Liste/Breite(2)", "4444"}};
  SeedSettings(seeded);

  Program program("unshare", {"-m", "--propagation", "private", "sh", "-c", R"(mount --bind "$1" "$2" && exec "$3")",
                              "sh", empty.path(), gconv, FENDRIK_PROGRAM},
                  {{"FENDRIK_TEST_CLOSE", "1"}});
  ASSERT_TRUE(program.process().waitForFinished(kGenerousMs)) << program.log().toStdString();
  const QString log = program.log();
  EXPECT_TRUE(log.contains("fendrik: message: Unable to start the 'Solid Edge File Properties': ")) << log.toStdString();
  EXPECT_EQ(log.count("fendrik: message:"), 1) << log.toStdString();
  EXPECT_TRUE(log.contains("fendrik: window shown")) << log.toStdString();

  // Shutdown stored the controls as created and no widths.
  QMap<QString, QString> stored = StoredSettings();
  EXPECT_EQ(stored["Einstellungen/Titel"], "Titel");
  EXPECT_EQ(stored["Einstellungen/Dateiname"], "Dateiname");
  EXPECT_EQ(stored["Einstellungen/sortiert"], "1");
  EXPECT_EQ(stored["Liste/Breite(2)"], "4444");
  EXPECT_FALSE(stored.contains("Liste/Breite(1)"));
}

}  // namespace
}  // namespace fendrik::test
