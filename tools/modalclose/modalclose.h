#pragma once

#include <QString>

class QWidget;

// Which button of a message box closes it when no button text is given.
enum class BoxFallback {
    Default, // the default button, or the first one
    Escape,  // the escape button, else the default one
};

// Closes a modal window the way an operator would, for the tests and the
// screenshot tool: a message box by the button with this text when it has
// one, otherwise by the fallback button (closed outright when it has none);
// a dialog by rejecting it; any other window by closing it.
void closeModal(QWidget *modal, const QString &buttonText = {},
                BoxFallback fallback = BoxFallback::Default);
