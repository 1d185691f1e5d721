#pragma once

// The harness of test programs with windows: the core harness
// (support/testcore.h) and helpers that log in, read the main window's state
// and read and close the modal windows a command opens.

#include "support/testcore.h"

#include "modalclose.h"
#include "ui/errorbox.h"

#include <QList>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <QtTest/QtTest>

#include <cstdint>
#include <functional>
#include <initializer_list>

class QLineEdit;

namespace testsupport {

// Opens the data module's connection as the login window would, without the
// window, and puts the main window into the logged-in state.
void logIn(const QString &dsn = QStringLiteral("sse"), const QString &user = QStringLiteral("qtrl"),
           const QString &password = {}, const QString &database = QStringLiteral("OIW"));
// The main window's login state: the enabled menu entries and status panels
// 0 and 1.
void verifyLoggedInState(const QString &user);
void verifyLoggedOutState(const QString &panel0, const QString &panel1);

// What a modal window looked like when the watcher met it.
struct ModalRecord
{
    QString className;   // "QMessageBox", "Tcountform", ...
    QString objectName;
    QString title;
    QString text;        // message box text
    int icon = 0;        // QMessageBox::Icon
    QStringList buttons; // button texts of a message box
    QString defaultButton;
    bool hasOwner = false;
};

// Qt's standard OK button as the program shows it: in Qt's own Chinese.
inline const QString OkButtonText = QStringLiteral("确定");

// Checks a message box the watcher met: this caption, text and icon, the
// single standard OK button, and an owner window or none.
void verifyOkBox(const ModalRecord &box, const QString &title, const QString &text,
                 QMessageBox::Icon icon, bool hasOwner = false);

// While alive, watches for modal windows (polling every few milliseconds),
// records each one it meets (a command's progress window aside) and then
// hands it to the handler, which must close it; without a handler,
// closeModal closes it.
class ModalWatcher : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<void(QWidget *modal, const ModalRecord &record)>;
    explicit ModalWatcher(Handler handler = {});
    ~ModalWatcher() override;

    QList<ModalRecord> records;

private:
    void poll();
    Handler m_handler;
    QList<QPointer<QWidget>> m_seen;
    int m_timer = 0;

protected:
    void timerEvent(QTimerEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The child of `parent` with this objectName; fails the test (qFatal) when
// there is none, so a renamed control is reported by name.
template <typename T>
T *child(const QObject *parent, const char *name)
{
    T *found = parent ? parent->findChild<T *>(QLatin1String(name)) : nullptr;
    if (!found)
        qFatal("no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

// The caption a control shows: the text of a label or a button, the title
// of a group box; empty for any other control.
QString caption(const QWidget *control);
// The texts of the line edits with these objectNames, in this order.
QStringList lineEditTexts(const QObject *parent, std::initializer_list<const char *> names);
// The character a line edit shows for each typed one; null when it shows
// the text itself.
QChar maskCharacter(const QLineEdit *box);
// Focuses `box`, presses `key` in it and releases it there. Gives the
// objectNames of the focused control after the press and after the release.
QStringList focusAfterKey(QWidget *box, Qt::Key key);

// Presses the message box button with this text ("&Yes", "&No", OkButtonText).
void pressButton(QWidget *messageBox, const QString &text);
// Presses Escape in the modal window.
void pressEscape(QWidget *modal);

// Creates the program's single instances for one test and destroys them
// again at the end of the scope.
class Forms
{
public:
    Forms();
    ~Forms();
    Forms(const Forms &) = delete;
    Forms &operator=(const Forms &) = delete;
};

} // namespace testsupport

// Test main: our Application (with its error box), offscreen platform,
// private ODBC set-up, font substitution.
#define SQLTOOL_TEST_MAIN(TestObject)                                                              \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        testsupport::prepareProcess();                                                             \
        Application app(argc, argv);                                                               \
        installFontSubstitutions();                                                                \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }

#include "app/application.h"
#include "ui/fonts.h"
