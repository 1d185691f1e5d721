#include "connection/chgpassform.h"
#include "ui_chgpassform.h"

#include "connection/datamodule.h"
#include "connection/loginform.h"
#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/keys.h"
#include "ui/messages.h"

#include <QKeyEvent>

Tchgpassform *chgpassform = nullptr;

namespace {
const QString Statement = QStringLiteral("exec sp_password :oldpass,:newpass");
const QString CheckFailedCaption = QStringLiteral("失败");
const QString ServerFailedCaption = QStringLiteral("失败了");
const QString SuccessText = QStringLiteral("修改密码成功！");
const QString SuccessCaption = QStringLiteral("成功");
const QString ChangingText = QStringLiteral("正在修改密码…");

// Text of both failure boxes: five lines separated by single carriage returns.
QString failureText()
{
    return QStringLiteral("修改密码失败！\r\r请检查原密码输入是否正确或\r新密码与确认新密码是否一致\r"
                          "或新密码不能设置空！");
}
} // namespace

Tchgpassform::Tchgpassform(QWidget *parent)
    : FixedDialog(parent)
    , ui(std::make_unique<Ui::Tchgpassform>())
{
    ui->setupUi(this);

    connect(ui->Button1, &QPushButton::clicked, this, &Tchgpassform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tchgpassform::Button2Click);
    finishSetup({ui->Edit1, ui->Edit2, ui->Edit3});
}

Tchgpassform::~Tchgpassform() = default;

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
        msg::error(failureText(), CheckFailedCaption);
        resetBoxes();
        return;
    }
    try {
        executeStatement(*datamod->qry4, {Statement},
                         {{QStringLiteral("oldpass"), ui->Edit1->text()},
                          {QStringLiteral("newpass"), newPassword}},
                         ChangingText);
    } catch (const std::exception &error) {
        showCommandFailure(error, [] { msg::error(failureText(), ServerFailedCaption); });
        resetBoxes();
        return;
    }
    msg::information(SuccessText, SuccessCaption);
    m_lastNewPassword = newPassword;
    hide();
}

// "取消修改"
void Tchgpassform::Button2Click()
{
    hide();
}

bool Tchgpassform::editKeyPress(QLineEdit *edit, QKeyEvent *event)
{
    if (edit == ui->Edit1)
        return Edit1KeyPress(event);
    if (edit == ui->Edit2)
        return Edit2KeyPress(event);
    if (edit == ui->Edit3)
        return Edit3KeyDown(event) || Edit3KeyPress(event);
    return false;
}

bool Tchgpassform::editKeyRelease(QLineEdit *edit, QKeyEvent *event)
{
    if (edit == ui->Edit1)
        return Edit1KeyUp(event);
    if (edit == ui->Edit2)
        return Edit2KeyUp(event);
    return false;
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
