#pragma once

#include <QMessageBox>
#include <QString>
#include <string_view>

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

// A question with the buttons "Ja" and "Nein" (the default); true for "Ja".
bool AskYesNo(QWidget* parent, const QString& title, const QString& text);

// A message box that lists items (documents, folders, lines): the text, a
// blank line and the first ten items, all of them behind the details button.
void ShowListMessage(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
                     const QStringList& items);
// The first ten items, one per line, and "..." when there are more: what a
// message shows of a list before its details.
QString ListExcerpt(const QStringList& items);

// A path or a text of a document as the window shows it in a message or a
// text box: UTF-8, with control characters, direction marks and bytes that
// are not UTF-8 escaped (see properties/VisibleText.h), so that it cannot
// pass for another name.
QString ShownText(std::string_view bytes);

// With FENDRIK_TEST_LOG set, a line on standard error that lets a test
// watch a running program; otherwise nothing.
void TestLog(const QString& line);

}  // namespace fendrik
