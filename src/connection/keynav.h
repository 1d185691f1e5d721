#pragma once

class QKeyEvent;
class QWidget;

// Focus movement used by the login, configuration and password windows: to
// the previous or next control in tab order that can take the focus
// (enabled, visible, accepting focus by Tab), circular. Each returns whether
// the key was one it acts on.

// Enter, on the main keyboard or the keypad, moves to the next control.
bool moveFocusByEnter(QWidget *from, const QKeyEvent &event);
// Up moves to the previous control, Down to the next one.
bool moveFocusByArrow(QWidget *from, const QKeyEvent &event);
