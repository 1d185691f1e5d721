#include "ui/dialogbase.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QShowEvent>

FixedDialog::FixedDialog(QWidget *parent)
    : QDialog(parent)
{
}

void FixedDialog::finishSetup(std::initializer_list<QLineEdit *> edits)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint
                   | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(size());
    for (QLineEdit *edit : edits)
        edit->installEventFilter(this);
}

bool FixedDialog::editKeyPress(QLineEdit *, QKeyEvent *)
{
    return false;
}

bool FixedDialog::editKeyRelease(QLineEdit *, QKeyEvent *)
{
    return false;
}

void FixedDialog::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void FixedDialog::keyPressEvent(QKeyEvent *event)
{
    // Skips QDialog's handling of Enter and Escape.
    QWidget::keyPressEvent(event);
}

bool FixedDialog::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::KeyRelease) {
        if (auto *edit = qobject_cast<QLineEdit *>(watched)) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (type == QEvent::KeyPress)
                return editKeyPress(edit, key);
            if (!key->isAutoRepeat())
                return editKeyRelease(edit, key);
            return false;
        }
    }
    return QDialog::eventFilter(watched, event);
}
