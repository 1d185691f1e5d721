#include "modalclose.h"

#include <QAbstractButton>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QAbstractButton *buttonByText(const QMessageBox *box, const QString &text)
{
    if (text.isEmpty())
        return nullptr;
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QAbstractButton *fallbackButton(const QMessageBox *box, BoxFallback fallback)
{
    if (fallback == BoxFallback::Escape && box->escapeButton())
        return box->escapeButton();
    if (box->defaultButton())
        return box->defaultButton();
    if (fallback == BoxFallback::Default && !box->buttons().isEmpty())
        return box->buttons().first();
    return nullptr;
}

} // namespace

void closeModal(QWidget *modal, const QString &buttonText, BoxFallback fallback)
{
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        QAbstractButton *button = buttonByText(box, buttonText);
        if (!button)
            button = fallbackButton(box, fallback);
        if (button)
            button->click();
        else
            box->close();
    } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        dialog->reject();
    } else {
        modal->close();
    }
}
