#pragma once

#include <QString>

class QWidget;

// The program's own message boxes. Texts are written with single carriage
// returns as line breaks; the boxes show each as a line break.
namespace msg {

// Converts the stored carriage returns to the line breaks a box shows.
QString displayText(const QString &text);

// OK box with the information icon.
void information(const QString &text, const QString &caption, QWidget *owner = nullptr);
// OK box with the error icon.
void error(const QString &text, const QString &caption, QWidget *owner = nullptr);
// The standard confirmation dialog: caption "Confirm", question icon,
// "&Yes"/"&No", Yes the default (or No), Escape or closing answers No.
enum class DefaultAnswer { Yes, No };
bool confirm(const QString &question, DefaultAnswer defaultAnswer = DefaultAnswer::Yes);

} // namespace msg
