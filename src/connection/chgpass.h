#pragma once

#include <QDialog>
#include <QString>
#include <memory>

class QKeyEvent;

namespace Ui {
class Tchgpassform;
}

// The password change: checks the typed passwords, then runs sp_password
// on qry4.
class Tchgpassform : public QDialog
{
    Q_OBJECT
public:
    explicit Tchgpassform(QWidget *parent = nullptr);
    ~Tchgpassform() override;

public slots:
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
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
