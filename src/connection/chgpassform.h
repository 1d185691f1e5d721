#pragma once

#include "ui/dialogbase.h"

#include <QString>
#include <memory>

class QKeyEvent;

namespace Ui {
class Tchgpassform;
}

// The password change: checks the typed passwords, then runs sp_password
// on qry4.
class Tchgpassform : public FixedDialog
{
    Q_OBJECT
public:
    explicit Tchgpassform(QWidget *parent = nullptr);
    ~Tchgpassform() override;

public slots:
    void Button1Click();
    void Button2Click();

protected:
    void FormShow() override;
    bool editKeyPress(QLineEdit *edit, QKeyEvent *event) override;
    bool editKeyRelease(QLineEdit *edit, QKeyEvent *event) override;

private:
    void resetBoxes();
    bool oldPasswordMatches() const;
    bool Edit1KeyPress(QKeyEvent *event);
    bool Edit1KeyUp(QKeyEvent *event);
    bool Edit2KeyPress(QKeyEvent *event);
    bool Edit2KeyUp(QKeyEvent *event);
    bool Edit3KeyPress(QKeyEvent *event);
    bool Edit3KeyDown(QKeyEvent *event);

    std::unique_ptr<Ui::Tchgpassform> ui;
    // The new password of the last successful change in this run.
    QString m_lastNewPassword;
};

extern Tchgpassform *chgpassform;
