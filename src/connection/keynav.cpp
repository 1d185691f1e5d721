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

// Moves the focus to the next (or previous) control; nothing happens when
// no other control of the window can take it.
void focusControl(QWidget *from, bool forward)
{
    QWidget *target = walk(from, forward);
    if (target != from)
        target->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

} // namespace

bool moveFocusByEnter(QWidget *from, const QKeyEvent &event)
{
    if (event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter)
        return false;
    focusControl(from, true);
    return true;
}

bool moveFocusByArrow(QWidget *from, const QKeyEvent &event)
{
    switch (event.key()) {
    case Qt::Key_Up:
        focusControl(from, false);
        return true;
    case Qt::Key_Down:
        focusControl(from, true);
        return true;
    default:
        return false;
    }
}
