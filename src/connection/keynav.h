#pragma once

class QKeyEvent;
class QWidget;

// Focus movement used by the login, configuration and password windows:
// to the previous or next control in tab order that can take the focus
// (enabled, visible, accepting focus by Tab), circular.
void focusPreviousControl(QWidget *from);
void focusNextControl(QWidget *from);

// The control focusPreviousControl/focusNextControl would move to; `from`
// itself when no other control of its window can take the focus.
QWidget *previousControl(QWidget *from);
QWidget *nextControl(QWidget *from);

// Enter on the main keyboard or the keypad.
bool isEnterKey(const QKeyEvent &event);

// Up moves to the previous control, Down to the next one. Returns whether
// the key was one of the two.
bool moveFocusByArrow(QWidget *from, const QKeyEvent &event);
