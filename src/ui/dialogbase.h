#pragma once

#include <QDialog>
#include <initializer_list>

class QKeyEvent;
class QLineEdit;
class QShowEvent;

// The fixed dialogs of the connection windows: a title bar with the system
// menu and the close box, no resizing, FormShow() each time the program
// shows the window, and neither Enter nor Escape acting on the window (no
// button is the default or the cancel button). Key presses and releases in
// the edit boxes given to finishSetup() reach editKeyPress() and
// editKeyRelease(); auto-repeated releases are dropped. A handler returns
// whether it consumed the key.
class FixedDialog : public QDialog
{
    Q_OBJECT
public:
    explicit FixedDialog(QWidget *parent = nullptr);

protected:
    // Call after setupUi(): fixes the window's flags and its designed size,
    // and watches the keys of the edit boxes.
    void finishSetup(std::initializer_list<QLineEdit *> edits);

    virtual void FormShow() {}
    virtual bool editKeyPress(QLineEdit *edit, QKeyEvent *event);
    virtual bool editKeyRelease(QLineEdit *edit, QKeyEvent *event);

    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};
