#include "connection/loginform.h"
#include "ui_loginform.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "base/settings.h"
#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/keys.h"
#include "ui/messages.h"

#include <QKeyEvent>

Tloginform *loginform = nullptr;

namespace {
const QString LoginFailedText = QStringLiteral("数据库登录错误");
const QString LoginFailedCaption = QStringLiteral("错误");
const QString ConnectingText = QStringLiteral("正在连接…");
} // namespace

Tloginform::Tloginform(QWidget *parent)
    : FixedDialog(parent)
    , ui(std::make_unique<Ui::Tloginform>())
{
    ui->setupUi(this);

    // activated: only the operator's choice, never a programmatic change.
    connect(ui->box, &QComboBox::activated, this, &Tloginform::boxChange);
    connect(ui->Button1, &QPushButton::clicked, this, &Tloginform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tloginform::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &Tloginform::Button3Click);
    finishSetup({ui->Edit1, ui->Edit2, ui->Edit3});
}

Tloginform::~Tloginform() = default;

QString Tloginform::passwordText() const
{
    return ui->Edit2->text();
}

void Tloginform::FormShow()
{
    fillFromSettings();
    resetPassword();
    ui->box->clear();
    ui->box1->clear();
    try {
        const QStringList lines = settings::readDsnList();
        for (const QString &line : lines) {
            ui->box->addItem(settings::splitEntry(line).description);
            ui->box1->addItem(line);
        }
    } catch (const std::exception &error) {
        // The window opens all the same, with the section's values.
        showExceptionBox(error);
    }
    ui->box->setCurrentIndex(-1);
    ui->box1->setCurrentIndex(-1);
}

void Tloginform::fillFromSettings()
{
    const settings::ConDbSet values = settings::readConDbSet();
    ui->Edit1->setText(values.user);
    ui->Edit3->setText(values.dsn);
    ui->Edit4->setText(values.database);
    ui->Edit5->setText(values.description);
    for (QLineEdit *edit : {ui->Edit1, ui->Edit3, ui->Edit4, ui->Edit5})
        edit->setEnabled(false);
}

void Tloginform::resetPassword()
{
    ui->Edit2->clear();
    ui->Edit2->setFocus();
}

void Tloginform::boxChange()
{
    const int index = ui->box->currentIndex();
    if (index < 0)
        return;
    ui->box1->setCurrentIndex(index);
    ui->Edit5->setText(ui->box->currentText());
    const settings::DsnEntry entry = settings::splitEntry(ui->box1->currentText());
    ui->Edit3->setText(entry.dsn);
    ui->Edit1->setText(entry.user);
    ui->Edit4->setText(entry.database);
    resetPassword();
}

// "默认设置"
void Tloginform::Button3Click()
{
    ui->box->setCurrentIndex(-1);
    ui->box1->setCurrentIndex(-1);
    fillFromSettings();
    resetPassword();
}

// "确 定"
void Tloginform::Button1Click()
{
    Connection *con = datamod->con;
    if (!con->connected()) {
        try {
            logIn(*con, {ui->Edit2->text(), ui->Edit1->text(), ui->Edit3->text(), ui->Edit4->text()},
                  [](const std::function<void(CommandControl &)> &work) { runCommand(datamod->worker(), ConnectingText, work); });
        } catch (const std::exception &error) {
            showCommandFailure(error, [this] { msg::error(LoginFailedText, LoginFailedCaption, this); });
            resetPassword();
            return;
        }
        emit loggedIn(ui->Edit1->text());
    }
    hide();
}

// "取消"
void Tloginform::Button2Click()
{
    hide();
}

bool Tloginform::editKeyPress(QLineEdit *edit, QKeyEvent *event)
{
    if (edit == ui->Edit1)
        return Edit1KeyPress(event);
    if (edit == ui->Edit3)
        return Edit3KeyPress(event);
    return false;
}

bool Tloginform::editKeyRelease(QLineEdit *edit, QKeyEvent *event)
{
    if (edit == ui->Edit1)
        return Edit1KeyUp(event);
    if (edit == ui->Edit2)
        return Edit2KeyUp(event);
    if (edit == ui->Edit3)
        return Edit3KeyUp(event);
    return false;
}

// Edit1 and Edit3 are disabled whenever the operator can type, so their
// handlers never act; they are kept as the window defines them.
bool Tloginform::Edit1KeyPress(QKeyEvent *event)
{
    return moveFocusByEnter(ui->Edit1, *event);
}

bool Tloginform::Edit1KeyUp(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit1, *event);
}

bool Tloginform::Edit2KeyUp(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit2, *event);
}

bool Tloginform::Edit3KeyPress(QKeyEvent *event)
{
    return moveFocusByEnter(ui->Edit3, *event);
}

bool Tloginform::Edit3KeyUp(QKeyEvent *event)
{
    return moveFocusByArrow(ui->Edit3, *event);
}
