#include "support/testsupport.h"

#include "app/forms.h"
#include "app/mainform.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "ui/command.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace testsupport {

void logIn(const QString &dsn, const QString &user, const QString &password,
           const QString &database)
{
    ::logIn(*datamod->con, {password, user, dsn, database});
    mainform->enterLoggedInState(user);
}

void verifyLoggedInState(const QString &user)
{
    QVERIFY(!mainform->N2()->isEnabled());
    QVERIFY(mainform->N3()->isEnabled());
    QVERIFY(mainform->N4()->isEnabled());
    QVERIFY(mainform->N7()->isEnabled());
    QCOMPARE(mainform->panel(0)->text(), QStringLiteral("状态: 已登录"));
    QCOMPARE(mainform->panel(1)->text(), QStringLiteral("数据库用户: ") + user);
}

void verifyLoggedOutState(const QString &panel0, const QString &panel1)
{
    QVERIFY(mainform->N2()->isEnabled());
    QVERIFY(!mainform->N3()->isEnabled());
    QVERIFY(!mainform->N4()->isEnabled());
    QVERIFY(!mainform->N7()->isEnabled());
    QCOMPARE(mainform->panel(0)->text(), panel0);
    QCOMPARE(mainform->panel(1)->text(), panel1);
}

ModalWatcher::ModalWatcher(Handler handler)
    : m_handler(std::move(handler))
{
    m_timer = startTimer(5);
}

ModalWatcher::~ModalWatcher()
{
    killTimer(m_timer);
}

void ModalWatcher::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timer)
        poll();
}

bool ModalWatcher::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide) {
        m_seen.removeIf([watched](const QPointer<QWidget> &seen) { return !seen || seen == watched; });
        watched->removeEventFilter(this);
    }
    return false;
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible())
        return;
    // A command's progress window is the command's, not a box to close.
    if (modal == commandProgressWindow())
        return;
    // A window counts as met until it is hidden; shown again, it is new.
    m_seen.removeIf([](const QPointer<QWidget> &seen) { return !seen || !seen->isVisible(); });
    for (const auto &seen : std::as_const(m_seen)) {
        if (seen == modal)
            return;
    }
    m_seen << modal;
    // Hidden and shown again without a poll in between, it is still new.
    modal->installEventFilter(this);
    ModalRecord record;
    record.className = QString::fromLatin1(modal->metaObject()->className());
    record.objectName = modal->objectName();
    record.title = modal->windowTitle();
    record.hasOwner = modal->parentWidget() != nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        record.text = box->text();
        record.icon = box->icon();
        for (QAbstractButton *button : box->buttons())
            record.buttons << button->text();
        if (box->defaultButton())
            record.defaultButton = box->defaultButton()->text();
    }
    records << record;
    if (m_handler)
        m_handler(modal, record);
    else
        closeModal(modal);
}

void verifyOkBox(const ModalRecord &box, const QString &title, const QString &text,
                 QMessageBox::Icon icon, bool hasOwner)
{
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, title);
    QCOMPARE(box.text, text);
    QCOMPARE(box.icon, int(icon));
    QCOMPARE(box.buttons, QStringList{OkButtonText});
    QCOMPARE(box.hasOwner, hasOwner);
}

QString caption(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(control))
        return group->title();
    return {};
}

QStringList lineEditTexts(const QObject *parent, std::initializer_list<const char *> names)
{
    QStringList texts;
    for (const char *name : names)
        texts << child<QLineEdit>(parent, name)->text();
    return texts;
}

QChar maskCharacter(const QLineEdit *box)
{
    if (box->echoMode() != QLineEdit::Password)
        return {};
    QStyleOptionFrame option;
    option.initFrom(box);
    return QChar(box->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, &option, box));
}

QStringList focusAfterKey(QWidget *box, Qt::Key key)
{
    const auto focused = [box] {
        const QWidget *focus = box->window()->focusWidget();
        return focus ? focus->objectName() : QString();
    };
    box->setFocus();
    QTest::keyPress(box, key);
    const QString afterPress = focused();
    QTest::keyRelease(box, key);
    return {afterPress, focused()};
}

void pressButton(QWidget *messageBox, const QString &text)
{
    auto *box = qobject_cast<QMessageBox *>(messageBox);
    if (!box)
        qFatal("pressButton: not a message box");
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
    qFatal("pressButton: no button %s", qPrintable(text));
}

void pressEscape(QWidget *modal)
{
    QTest::keyClick(modal, Qt::Key_Escape);
}

Forms::Forms()
{
    createForms();
}

Forms::~Forms()
{
    destroyForms();
}

} // namespace testsupport
