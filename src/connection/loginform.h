#pragma once

#include "ui/dialogbase.h"

#include <memory>

class QKeyEvent;

namespace Ui {
class Tloginform;
}

// The login window: opens the data module's connection with the DSN, user
// and database from dbset.ini (or a chosen DSN list entry) and the typed
// password, then reports the login through loggedIn().
class Tloginform : public FixedDialog
{
    Q_OBJECT
public:
    explicit Tloginform(QWidget *parent = nullptr);
    ~Tloginform() override;

    // Text of the password box Edit2. It keeps the password of the last
    // login until the window is shown again; the password change checks
    // the old password against it.
    QString passwordText() const;

signals:
    // The connection is open for this database user.
    void loggedIn(const QString &user);

public slots:
    void boxChange();
    void Button1Click();
    void Button2Click();
    void Button3Click();

protected:
    void FormShow() override;
    bool editKeyPress(QLineEdit *edit, QKeyEvent *event) override;
    bool editKeyRelease(QLineEdit *edit, QKeyEvent *event) override;

private:
    void fillFromSettings();
    void resetPassword();
    bool Edit1KeyPress(QKeyEvent *event);
    bool Edit1KeyUp(QKeyEvent *event);
    bool Edit2KeyUp(QKeyEvent *event);
    bool Edit3KeyPress(QKeyEvent *event);
    bool Edit3KeyUp(QKeyEvent *event);

    std::unique_ptr<Ui::Tloginform> ui;
};

extern Tloginform *loginform;
