#pragma once

#include <QString>

class QKeyEvent;

// The characters a key press types: Backspace and Enter as 8 and 13 even
// where the platform reports no text for them, otherwise the event's text
// (empty for keys that type nothing).
QString typedCharacters(const QKeyEvent *event);
