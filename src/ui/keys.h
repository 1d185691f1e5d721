#pragma once

#include <QChar>
#include <QObject>
#include <QString>

class QKeyEvent;
class QLineEdit;
class QWidget;

// The characters a key press types: Backspace and Enter as 8 and 13 even
// where the platform reports no text for them, otherwise the event's text
// (empty for keys that type nothing).
QString typedCharacters(const QKeyEvent *event);

// Focus movement used by the login, configuration and password windows: to
// the previous or next control in tab order that can take the focus
// (enabled, visible, accepting focus by Tab), circular. Each returns whether
// the key was one it acts on.

// Enter, on the main keyboard or the keypad, moves to the next control.
bool moveFocusByEnter(QWidget *from, const QKeyEvent &event);
// Up moves to the previous control, Down to the next one.
bool moveFocusByArrow(QWidget *from, const QKeyEvent &event);

// Key filters of the condition boxes. Each takes a typed character and
// either leaves it unchanged or replaces it by the null character to
// discard it; none converts a character. Backspace is 8, Enter 13.
namespace keyfilters {

// Shareholder account: "0"-"9", "A"-"Z", Backspace, Enter.
void Edit1KeyPress(QChar &key);
// Codes, quantities and times: "0"-"9", Backspace, Enter.
void Edit7KeyPress(QChar &key);
// Order price: "0"-"9", ".", Backspace, Enter.
void Edit15KeyPress(QChar &key);
// Buy/sell side: "B" and "S" only (Backspace and Enter are discarded too).
void Edit13KeyPress(QChar &key);

using KeyPress = void (*)(QChar &key);

// Runs a key filter on every character typed into the boxes it is installed
// on: a key press whose character the filter discards never reaches the
// box. Keys that type no character (Delete, arrows) pass untouched.
class TypedKeyFilter : public QObject
{
    Q_OBJECT
public:
    TypedKeyFilter(KeyPress filter, QObject *parent);
    // Installs the filter on the box; also keeps text from reaching it
    // around the filter (input method composition, dropped text).
    void install(QLineEdit *box);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    KeyPress m_filter;
};

} // namespace keyfilters
