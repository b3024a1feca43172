#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace fendrik {

// A message box with only an OK button and the platform's default title.
void ShowMessage(QWidget* parent, const QString& text);
// A message box with a title, the information icon and an OK button.
void ShowInformation(QWidget* parent, const QString& title, const QString& text);
// A message box with an icon, a title and an OK button; details, when given,
// are shown scrollable behind a button of the box.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                    const QString& details = {});

// With FENDRIK_TEST_LOG set, a line on standard error that lets a test
// watch a running program; otherwise nothing.
void TestLog(const QString& line);

}  // namespace fendrik
