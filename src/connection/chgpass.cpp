#include "connection/chgpass.h"
#include "ui_chgpass.h"

#include "app/application.h"
#include "app/messages.h"
#include "ui/command.h"
#include "connection/datamodule.h"
#include "connection/keynav.h"
#include "connection/login.h"

#include <QKeyEvent>
#include <QShowEvent>

Tchgpassform *chgpassform = nullptr;

namespace {
const char *const Statement = "exec sp_password :oldpass,:newpass";
const char *const CheckFailedCaption = "失败";
const char *const ServerFailedCaption = "失败了";
const char *const SuccessText = "修改密码成功！";
const char *const SuccessCaption = "成功";
const char *const ChangingText = "正在修改密码…";

// Text of both failure boxes: five lines separated by single carriage returns.
QString failureText()
{
    return QStringLiteral("修改密码失败！\r\r请检查原密码输入是否正确或\r新密码与确认新密码是否一致\r"
                          "或新密码不能设置空！");
}
} // namespace

Tchgpassform::Tchgpassform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tchgpassform>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());

    connect(ui->Button1, &QPushButton::clicked, this, &Tchgpassform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tchgpassform::Button2Click);
    for (QLineEdit *edit : {ui->Edit1, ui->Edit2, ui->Edit3})
        edit->installEventFilter(this);
}

Tchgpassform::~Tchgpassform() = default;

void Tchgpassform::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

// Neither Enter nor Escape acts on the window: no button is the default or
// the cancel button.
void Tchgpassform::keyPressEvent(QKeyEvent *event)
{
    QWidget::keyPressEvent(event);
}

void Tchgpassform::FormShow()
{
    resetBoxes();
}

void Tchgpassform::resetBoxes()
{
    ui->Edit1->clear();
    ui->Edit2->clear();
    ui->Edit3->clear();
    ui->Edit1->setFocus();
}

// The old password is the login password (the login window's password box
// at this press) or the new password of the last successful change.
bool Tchgpassform::oldPasswordMatches() const
{
    const QString old = ui->Edit1->text();
    return old == loginform->passwordText() || old == m_lastNewPassword;
}

// "确认修改"
void Tchgpassform::Button1Click()
{
    const QString newPassword = ui->Edit2->text();
    if (!oldPasswordMatches() || newPassword != ui->Edit3->text() || newPassword.isEmpty()) {
        msg::error(failureText(), QString::fromUtf8(CheckFailedCaption));
        resetBoxes();
        return;
    }
    try {
        executeStatement(*datamod->qry4, {QString::fromUtf8(Statement)},
                         {{QStringLiteral("oldpass"), ui->Edit1->text()},
                          {QStringLiteral("newpass"), newPassword}},
                         QString::fromUtf8(ChangingText));
    } catch (const std::exception &error) {
        // A cancel is told as such; any other failure by the fixed text.
        if (dynamic_cast<const OperationCancelled *>(&error))
            showExceptionBox(error);
        else
            msg::error(failureText(), QString::fromUtf8(ServerFailedCaption));
        resetBoxes();
        return;
    }
    msg::information(QString::fromUtf8(SuccessText), QString::fromUtf8(SuccessCaption));
    m_lastNewPassword = newPassword;
    hide();
}

// "取消修改"
void Tchgpassform::Button2Click()
{
    hide();
}

bool Tchgpassform::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (watched == ui->Edit1)
            return Edit1KeyPress(key);
        if (watched == ui->Edit2)
            return Edit2KeyPress(key);
        if (watched == ui->Edit3)
            return Edit3KeyDown(key) || Edit3KeyPress(key);
    } else if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->isAutoRepeat())
            return false;
        if (watched == ui->Edit1)
            return Edit1KeyUp(key);
        if (watched == ui->Edit2)
            return Edit2KeyUp(key);
    }
    return QDialog::eventFilter(watched, event);
}

bool Tchgpassform::Edit1KeyPress(QKeyEvent *event)
{
    return moveFocusByEnter(ui->Edit1, *event);
}

bool Tchgpassform::Edit1KeyUp(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit1, *event);
}

bool Tchgpassform::Edit2KeyPress(QKeyEvent *event)
{
    return moveFocusByEnter(ui->Edit2, *event);
}

bool Tchgpassform::Edit2KeyUp(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit2, *event);
}

bool Tchgpassform::Edit3KeyPress(QKeyEvent *event)
{
    return moveFocusByEnter(ui->Edit3, *event);
}

// Edit3 moves on pressing the arrow, not on releasing it.
bool Tchgpassform::Edit3KeyDown(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit3, *event);
}
