#include "connection/info.h"
#include "ui_info.h"

#include "app/application.h"

#include "connection/keynav.h"
#include "connection/settings.h"

#include <QKeyEvent>
#include <QShowEvent>

Tinfoform *infoform = nullptr;

Tinfoform::Tinfoform(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::Tinfoform>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());

    connect(ui->Button1, &QPushButton::clicked, this, &Tinfoform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tinfoform::Button2Click);
    for (QLineEdit *edit : {ui->Edit3, ui->Edit1, ui->Edit4, ui->Edit2})
        edit->installEventFilter(this);
}

Tinfoform::~Tinfoform() = default;

void Tinfoform::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

// Neither Enter nor Escape acts on the window: no button is the default or
// the cancel button.
void Tinfoform::keyPressEvent(QKeyEvent *event)
{
    QWidget::keyPressEvent(event);
}

void Tinfoform::FormShow()
{
    const settings::ConDbSet values = settings::readConDbSet();
    ui->Edit1->setText(values.user);
    ui->Edit3->setText(values.dsn);
    ui->Edit4->setText(values.database);
    ui->Edit2->setText(values.description);
    ui->Edit3->setFocus();
}

// "取  消"
void Tinfoform::Button1Click()
{
    hide();
}

// "应  用": a failing write ends in the application-wide error box and the
// window stays open with the operator's values.
void Tinfoform::Button2Click()
{
    runGuarded([this] {
        settings::ConDbSet values;
        values.user = ui->Edit1->text();
        values.dsn = ui->Edit3->text();
        values.database = ui->Edit4->text();
        values.description = ui->Edit2->text();
        settings::writeConDbSet(values);
        hide();
    });
}

bool Tinfoform::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto *edit = qobject_cast<QLineEdit *>(watched);
        auto *key = static_cast<QKeyEvent *>(event);
        if (edit) {
            if (event->type() == QEvent::KeyPress)
                return Edit3KeyPress(edit, key);
            if (!key->isAutoRepeat())
                return Edit3KeyUp(edit, key);
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool Tinfoform::Edit3KeyPress(QLineEdit *edit, QKeyEvent *event)
{
    return moveFocusByEnter(edit, *event);
}

bool Tinfoform::Edit3KeyUp(QLineEdit *edit, QKeyEvent *event)
{
    return moveFocusByArrow(edit, *event);
}
