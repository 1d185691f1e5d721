#pragma once

#include "ui/memorynotice.h"

#include <QString>
#include <exception>
#include <functional>

// Title rule: file name without directory, cut at the first ".", every
// character after the first in lower case ("C:\\x\\TOOL.EXE" gives "Tool").
QString applicationTitle(const QString &executablePath);
// The title of the running program.
QString applicationTitle();

// Text of the application-wide error box: the message, plus a full stop
// when its last character compares above ".".
QString errorBoxText(const QString &message);

// Shows the application-wide error box for an error: error icon, OK button,
// the application title as caption, no owner window. A std::bad_alloc, or
// memory running out while the box is built, goes to showOutOfMemory().
void showExceptionBox(const std::exception &error);
void showExceptionBox(const QString &message);

// Runs the body of an event handler: an error it raises ends the handler in
// the application-wide error box, here, instead of travelling up through the
// toolkit's frames.
void runGuarded(const std::function<void()> &body);

// The failure of a command that reports failures by a fixed text of its own
// (login, clearing, password change): a cancel is told in the
// application-wide error box, any other failure by showFixedText.
void showCommandFailure(const std::exception &error, const std::function<void()> &showFixedText);
