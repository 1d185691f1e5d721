#include "ui/keys.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

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

namespace keyfilters {

namespace {

const char16_t Backspace = 8;
const char16_t Enter = 13;

bool isDigit(QChar key)
{
    return key >= QLatin1Char('0') && key <= QLatin1Char('9');
}

bool isCapital(QChar key)
{
    return key >= QLatin1Char('A') && key <= QLatin1Char('Z');
}

bool isBackspaceOrEnter(QChar key)
{
    return key.unicode() == Backspace || key.unicode() == Enter;
}

void keepIf(QChar &key, bool pass)
{
    if (!pass)
        key = QChar(0);
}

} // namespace

void Edit1KeyPress(QChar &key)
{
    keepIf(key, isDigit(key) || isCapital(key) || isBackspaceOrEnter(key));
}

void Edit7KeyPress(QChar &key)
{
    keepIf(key, isDigit(key) || isBackspaceOrEnter(key));
}

void Edit15KeyPress(QChar &key)
{
    keepIf(key, isDigit(key) || key == QLatin1Char('.') || isBackspaceOrEnter(key));
}

void Edit13KeyPress(QChar &key)
{
    keepIf(key, key == QLatin1Char('B') || key == QLatin1Char('S'));
}

TypedKeyFilter::TypedKeyFilter(KeyPress filter, QObject *parent)
    : QObject(parent)
    , m_filter(filter)
{
}

void TypedKeyFilter::install(QLineEdit *box)
{
    box->setAttribute(Qt::WA_InputMethodEnabled, false);
    box->setAcceptDrops(false);
    box->installEventFilter(this);
}

bool TypedKeyFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QObject::eventFilter(watched, event);
    const auto *keyEvent = static_cast<const QKeyEvent *>(event);
    // Delete types nothing, whatever text the platform gives it.
    if (keyEvent->key() == Qt::Key_Delete)
        return false;
    // Several characters in one event (rare) pass only if all of them do.
    for (QChar character : typedCharacters(keyEvent)) {
        QChar key = character;
        m_filter(key);
        if (key.isNull())
            return true;
    }
    return false;
}

} // namespace keyfilters
