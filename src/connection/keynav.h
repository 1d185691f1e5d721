#pragma once

class QWidget;

// Focus movement used by the login, configuration and password windows:
// to the previous or next control in tab order that can take the focus
// (enabled, visible, accepting focus), circular.
void focusPreviousControl(QWidget *from);
void focusNextControl(QWidget *from);
