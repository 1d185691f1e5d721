#include "app/keys.h"

#include <QKeyEvent>

QString typedCharacters(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Backspace:
        return QString(QChar(8));
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QString(QChar(13));
    default:
        return event->text();
    }
}
