// The program started for real, twice: the second start hands over to the
// first and ends without a window and without touching the settings.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTest>

#include "TestSupport.h"

namespace fendrik::test {
namespace {

constexpr int kGenerousMs = 60000;

// A started program whose standard error is collected as it comes.
class Program {
 public:
  Program() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("FENDRIK_TEST_LOG", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    process_.setProcessEnvironment(env);
    process_.setProgram(FENDRIK_PROGRAM);
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

}  // namespace
}  // namespace fendrik::test
