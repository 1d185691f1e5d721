#include "connection/keynav.h"

#include <QKeyEvent>
#include <QWidget>

namespace {

bool canTakeFocus(const QWidget *widget, const QWidget *window)
{
    return widget->window() == window && widget->isEnabled() && widget->isVisibleTo(window)
        && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy();
}

QWidget *walk(QWidget *from, bool forward)
{
    if (!from)
        return nullptr;
    const QWidget *window = from->window();
    QWidget *widget = from;
    // The chain is circular, so the walk ends at the latest when it is back.
    for (;;) {
        widget = forward ? widget->nextInFocusChain() : widget->previousInFocusChain();
        if (!widget || widget == from)
            return from;
        if (canTakeFocus(widget, window))
            return widget;
    }
}

void moveTo(QWidget *from, QWidget *target, Qt::FocusReason reason)
{
    if (target && target != from)
        target->setFocus(reason);
}

} // namespace

QWidget *previousControl(QWidget *from)
{
    return walk(from, false);
}

QWidget *nextControl(QWidget *from)
{
    return walk(from, true);
}

void focusPreviousControl(QWidget *from)
{
    moveTo(from, previousControl(from), Qt::BacktabFocusReason);
}

void focusNextControl(QWidget *from)
{
    moveTo(from, nextControl(from), Qt::TabFocusReason);
}

bool isEnterKey(const QKeyEvent &event)
{
    return event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
}

bool moveFocusByArrow(QWidget *from, const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Up:
        focusPreviousControl(from);
        return true;
    case Qt::Key_Down:
        focusNextControl(from);
        return true;
    default:
        return false;
    }
}
