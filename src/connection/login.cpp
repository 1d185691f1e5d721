#include "connection/login.h"
#include "ui_login.h"

#include "app/application.h"
#include "app/messages.h"
#include "app/unit1.h"
#include "connection/connection.h"
#include "connection/connstring.h"
#include "connection/datamodule.h"
#include "connection/keynav.h"
#include "connection/settings.h"
#include "ui/command.h"

#include <QKeyEvent>
#include <QShowEvent>

Tloginform *loginform = nullptr;

namespace {
const char *const LoginFailedText = "数据库登录错误";
const char *const LoginFailedCaption = "错误";
const char *const ConnectingText = "正在连接…";

// Connects and selects the database as a command; the connection becomes
// `con`'s only when both have succeeded.
void connectAsCommand(Connection &con, const QString &database)
{
    const QString text = con.odbcConnectionString();
    const auto link = std::make_shared<std::shared_ptr<ConnectionLink>>();
    runCommand(QString::fromUtf8(ConnectingText), [text, database, link](CommandControl &control) {
        std::shared_ptr<ConnectionLink> opened = Connection::connect(text, &control);
        Connection::selectDatabase(opened->get(), database);
        *link = std::move(opened);
    });
    con.adopt(std::move(*link), database);
}
} // namespace

Tloginform::Tloginform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tloginform>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());

    // activated: only the operator's choice, never a programmatic change.
    connect(ui->box, &QComboBox::activated, this, &Tloginform::boxChange);
    connect(ui->Button1, &QPushButton::clicked, this, &Tloginform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tloginform::Button2Click);
    connect(ui->Button3, &QPushButton::clicked, this, &Tloginform::Button3Click);
    for (QLineEdit *edit : {ui->Edit1, ui->Edit2, ui->Edit3})
        edit->installEventFilter(this);
}

Tloginform::~Tloginform() = default;

QString Tloginform::passwordText() const
{
    return ui->Edit2->text();
}

void Tloginform::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

// Neither Enter nor Escape acts on the window: no button is the default or
// the cancel button.
void Tloginform::keyPressEvent(QKeyEvent *event)
{
    QWidget::keyPressEvent(event);
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
            con->setConnectionString(
                loginConnectionString(ui->Edit2->text(), ui->Edit1->text(), ui->Edit3->text()));
            con->setLoginPrompt(false);
            connectAsCommand(*con, ui->Edit4->text());
            con->setKeepConnection(true);
            mainform->enterLoggedInState(ui->Edit1->text());
        } catch (const std::exception &error) {
            // A connection left open here would sit under the logged-out
            // state and turn every later "确 定" into a mere hide.
            con->close();
            // A cancel is told as such; any other failure by the fixed text.
            if (dynamic_cast<const OperationCancelled *>(&error))
                showExceptionBox(error);
            else
                msg::error(QString::fromUtf8(LoginFailedText), QString::fromUtf8(LoginFailedCaption), this);
            resetPassword();
            return;
        }
    }
    hide();
}

// "取消"
void Tloginform::Button2Click()
{
    hide();
}

bool Tloginform::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool release = event->type() == QEvent::KeyRelease;
        if (release && key->isAutoRepeat())
            return false;
        if (watched == ui->Edit1)
            return release ? Edit1KeyUp(key) : Edit1KeyPress(key);
        if (watched == ui->Edit2)
            return release && Edit2KeyUp(key);
        if (watched == ui->Edit3)
            return release ? Edit3KeyUp(key) : Edit3KeyPress(key);
    }
    return QDialog::eventFilter(watched, event);
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
