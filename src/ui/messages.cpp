#include "ui/messages.h"

#include <QMessageBox>
#include <QPushButton>

namespace msg {

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

static void showBox(QMessageBox::Icon icon, const QString &text, const QString &caption,
                    QWidget *owner)
{
    QMessageBox box(icon, caption, displayText(text), QMessageBox::Ok, owner);
    box.exec();
}

void information(const QString &text, const QString &caption, QWidget *owner)
{
    showBox(QMessageBox::Information, text, caption, owner);
}

void error(const QString &text, const QString &caption, QWidget *owner)
{
    showBox(QMessageBox::Critical, text, caption, owner);
}

bool confirm(const QString &question, DefaultAnswer defaultAnswer)
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), displayText(question));
    QPushButton *yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
    QPushButton *no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
    box.setDefaultButton(defaultAnswer == DefaultAnswer::Yes ? yes : no);
    box.setEscapeButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

} // namespace msg
