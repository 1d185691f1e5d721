#pragma once

// Where a window of the tool's own (the monitor, the trace) was last left,
// kept in the settings file as "x,y,width,height" of its inside, so that a
// window kept open all day comes back where the operator put it.

#include <QList>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

QString placeText(const QRect &place);

// The place to restore from stored text, or a null rectangle: when the text
// is not four whole numbers, the size is below `minimum`, or the window's
// top strip would not lie on any of `screens` (a screen since removed). A
// place larger than its screen shrinks to it.
QRect placeFromText(const QString &text, const QList<QRect> &screens, const QSize &minimum);

// Moves the window to the place stored under `key` of `section`, if any.
void restorePlace(QWidget *window, const QString &section, const QString &key);
// Stores the window's place; the reason in the operator's words when the
// settings file cannot be written, else empty.
QString savePlace(const QWidget *window, const QString &section, const QString &key);
// A shown window in front of the others and active, restored when minimized
// (the tray icon's click); a hidden one stays hidden.
void bringToFront(QWidget *window);
