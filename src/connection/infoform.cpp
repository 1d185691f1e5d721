#include "connection/infoform.h"
#include "ui_infoform.h"

#include "base/settings.h"
#include "ui/keys.h"
#include "ui/errorbox.h"

#include <QKeyEvent>

Tinfoform *infoform = nullptr;

Tinfoform::Tinfoform(QWidget *parent)
    : FixedDialog(parent)
    , ui(std::make_unique<Ui::Tinfoform>())
{
    ui->setupUi(this);

    connect(ui->Button1, &QPushButton::clicked, this, &Tinfoform::Button1Click);
    connect(ui->Button2, &QPushButton::clicked, this, &Tinfoform::Button2Click);
    finishSetup({ui->Edit3, ui->Edit1, ui->Edit4, ui->Edit2});
}

Tinfoform::~Tinfoform() = default;

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

bool Tinfoform::editKeyPress(QLineEdit *edit, QKeyEvent *event)
{
    return Edit3KeyPress(edit, event);
}

bool Tinfoform::editKeyRelease(QLineEdit *edit, QKeyEvent *event)
{
    return Edit3KeyUp(edit, event);
}

bool Tinfoform::Edit3KeyPress(QLineEdit *edit, QKeyEvent *event)
{
    return moveFocusByEnter(edit, *event);
}

bool Tinfoform::Edit3KeyUp(QLineEdit *edit, QKeyEvent *event)
{
    return moveFocusByArrow(edit, *event);
}
