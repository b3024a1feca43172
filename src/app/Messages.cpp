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

namespace {
void Show(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  if (TestLogOn()) {
    // A watched program cannot wait for a click: the box answers itself.
    TestLog("message: " + text);
    QTimer::singleShot(0, &box, &QMessageBox::accept);
  }
  box.exec();
}
}  // namespace

void ShowMessage(QWidget* parent, const QString& text) { Show(parent, QMessageBox::NoIcon, QString(), text); }

void ShowInformation(QWidget* parent, const QString& title, const QString& text) {
  Show(parent, QMessageBox::Information, title, text);
}

}  // namespace fendrik
