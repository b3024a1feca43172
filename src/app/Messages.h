#pragma once

#include <QString>

class QWidget;

namespace fendrik {

// A message box with only an OK button and the platform's default title.
void ShowMessage(QWidget* parent, const QString& text);
// A message box with a title, the information icon and an OK button.
void ShowInformation(QWidget* parent, const QString& title, const QString& text);

// With FENDRIK_TEST_LOG set, a line on standard error that lets a test
// watch a running program; otherwise nothing.
void TestLog(const QString& line);

}  // namespace fendrik
