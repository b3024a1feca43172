#include "app/Messages.h"

#include <QMessageBox>
#include <QTimer>
#include <cstdio>

namespace fendrik {

namespace {
bool TestLogOn() { return !qEnvironmentVariableIsEmpty("FENDRIK_TEST_LOG"); }
}  // namespace

void TestLog(const QString& line) {
  if (!TestLogOn()) return;
  std::fprintf(stderr, "fendrik: %s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

void ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, parent);
  if (TestLogOn()) {
    // A watched program cannot wait for a click: the box answers itself.
    TestLog("message: " + text);
    QTimer::singleShot(0, &box, &QMessageBox::accept);
  }
  box.exec();
}

}  // namespace fendrik
