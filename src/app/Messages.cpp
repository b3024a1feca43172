#include "app/Messages.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>

#include "properties/VisibleText.h"

namespace fendrik {

namespace {
bool TestLogOn() { return !qEnvironmentVariableIsEmpty("FENDRIK_TEST_LOG"); }
}  // namespace

void TestLog(const QString& line) {
  if (!TestLogOn()) return;
  std::fprintf(stderr, "fendrik: %s\n", line.toLocal8Bit().constData());
  std::fflush(stderr);
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& details) {
  QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
  if (!details.isEmpty()) box.setDetailedText(details);
  if (TestLogOn()) {
    // A watched program cannot wait for a click: the box answers itself.
    TestLog("message: " + text);
    if (!details.isEmpty()) TestLog("details: " + details);
    QTimer::singleShot(0, &box, &QMessageBox::accept);
  }
  box.exec();
}

bool AskYesNo(QWidget* parent, const QString& title, const QString& text) {
  QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No, parent);
  box.button(QMessageBox::Yes)->setText("Ja");
  box.button(QMessageBox::No)->setText("Nein");
  box.setDefaultButton(QMessageBox::No);
  if (TestLogOn()) {
    // A watched program cannot wait for a click: the box answers "Ja".
    TestLog("question: " + text);
    QTimer::singleShot(0, &box, [&box] { box.button(QMessageBox::Yes)->click(); });
  }
  return box.exec() == QMessageBox::Yes;
}

QString ListExcerpt(const QStringList& items) {
  constexpr qsizetype kShown = 10;
  return items.mid(0, kShown).join('\n') + (items.size() > kShown ? "\n..." : "");
}

void ShowListMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     const QStringList& items) {
  ShowMessageBox(parent, icon, title, text + "\n\n" + ListExcerpt(items), items.join('\n'));
}

QString ShownText(std::string_view bytes) { return QString::fromStdString(VisibleText(bytes)); }

void ShowMessage(QWidget* parent, const QString& text) { ShowMessageBox(parent, QMessageBox::NoIcon, QString(), text); }

void ShowInformation(QWidget* parent, const QString& title, const QString& text) {
  ShowMessageBox(parent, QMessageBox::Information, title, text);
}

}  // namespace fendrik
