#include "support/testsupport.h"

#include "app/mainform.h"
#include "connection/chgpassform.h"
#include "connection/datamodule.h"
#include "connection/loginform.h"
#include "db/connection.h"
#include "db/query.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace testsupport;

namespace {

// The failure text as the box shows it: five lines, the second empty.
QString failureText()
{
    return QStringList{QStringLiteral("修改密码失败！"), QString(),
                       QStringLiteral("请检查原密码输入是否正确或"),
                       QStringLiteral("新密码与确认新密码是否一致"),
                       QStringLiteral("或新密码不能设置空！")}
        .join(QLatin1Char('\n'));
}

// Logs in through the login window with this password.
void login(const QString &password, const QString &dsn = QStringLiteral("sse"),
           const QString &user = QStringLiteral("qtrl"), const QString &database = QStringLiteral("OIW"))
{
    writeDbset("[ConDBSet]\r\nSQLUser=" + gbk(user) + "\r\nDSN=" + gbk(dsn) + "\r\nDATABASE="
               + gbk(database) + "\r\n");
    ModalWatcher watcher;
    loginform->show();
    QTest::keyClicks(child<QLineEdit>(loginform, "Edit2"), password);
    child<QPushButton>(loginform, "Button1")->click();
    QVERIFY(datamod->con->connected());
    QVERIFY(!loginform->isVisible());
    QCOMPARE(loginform->passwordText(), password);
}

void fill(const QString &old, const QString &newPassword, const QString &confirm)
{
    QTest::keyClicks(child<QLineEdit>(chgpassform, "Edit1"), old);
    QTest::keyClicks(child<QLineEdit>(chgpassform, "Edit2"), newPassword);
    QTest::keyClicks(child<QLineEdit>(chgpassform, "Edit3"), confirm);
}

// "确认修改"
void confirmChange()
{
    child<QPushButton>(chgpassform, "Button1")->click();
}

void verifyBoxesReset()
{
    QCOMPARE(lineEditTexts(chgpassform, {"Edit1", "Edit2", "Edit3"}), QStringList({"", "", ""}));
    QCOMPARE(chgpassform->focusWidget(), child<QLineEdit>(chgpassform, "Edit1"));
    QVERIFY(chgpassform->isVisible());
}

} // namespace

class ChgpassTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { generateDatabase(databasePath(), 20, 3); }

    void cleanup() { removeDbset(); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("red");
        const auto row = [](const char *name, const char *text, bool red = false) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << red;
        };
        row("GroupBox2", "提示");
        row("Label1", "此项操作只修改当前用户登录SQL Server 服");
        row("Label2", "务器的数据库密码，不更改其他用户的密码。");
        row("Label6", "注意：1]如果登录用户没有设置密码，此项", true);
        row("Label7", "操作将修改密码失败。", true);
        row("Label8", "2]修改密码前，请不要进行数据查询", true);
        row("Label9", "或清除表操作，否则将修改密码失", true);
        row("Label10", "败，修改后请重新启动程序。", true);
        row("GroupBox1", "修改密码信息");
        row("Label3", "原密码：");
        row("Label4", "新密码：");
        row("Label5", "确认新密码：");
        row("Button1", "确认修改");
        row("Button2", "取消修改");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(bool, red);
        Forms forms;
        QCOMPARE(chgpassform->windowTitle(), QStringLiteral("修改密码"));
        QCOMPARE(chgpassform->size(), QSize(266, 289));
        QWidget *widget = child<QWidget>(chgpassform, name.toLatin1().constData());
        QCOMPARE(caption(widget), text);
        if (qobject_cast<QLabel *>(widget)) {
            widget->ensurePolished();
            const bool isRed = widget->palette().color(QPalette::WindowText) == QColor(Qt::red);
            QCOMPARE(isRed, red);
        }
    }

    void boxesAreMasked()
    {
        Forms forms;
        for (const char *name : {"Edit1", "Edit2", "Edit3"})
            QCOMPARE(maskCharacter(child<QLineEdit>(chgpassform, name)), QLatin1Char('*'));
    }

    void showEmptiesBoxes()
    {
        Forms forms;
        chgpassform->show();
        fill(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"));
        child<QLineEdit>(chgpassform, "Edit3")->setFocus();
        child<QPushButton>(chgpassform, "Button2")->click();
        QVERIFY(!chgpassform->isVisible());
        chgpassform->show();
        verifyBoxesReset();
        chgpassform->close();
        QVERIFY(!chgpassform->isVisible());
        QVERIFY(datamod->qry4->lastStatement().isEmpty());
    }

    // The checks before any server call, and the server call on SQLite,
    // where sp_password does not exist and the call always fails.
    void change_data()
    {
        QTest::addColumn<QString>("loginPassword");
        QTest::addColumn<QString>("old");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<bool>("sent");
        QTest::newRow("confirmation differs") << "pw" << "pw" << "n1" << "n2" << false;
        QTest::newRow("confirmation differs, wrong old") << "pw" << "x" << "n1" << "n2" << false;
        QTest::newRow("confirmation differs in case") << "pw" << "pw" << "New" << "new" << false;
        QTest::newRow("new password empty twice") << "pw" << "pw" << "" << "" << false;
        QTest::newRow("wrong old password") << "pw" << "px" << "n1" << "n1" << false;
        QTest::newRow("old password in other case") << "pw" << "PW" << "n1" << "n1" << false;
        QTest::newRow("old password with a blank") << "pw" << "pw " << "n1" << "n1" << false;
        QTest::newRow("everything empty, login with password") << "pw" << "" << "" << "" << false;
        QTest::newRow("login password") << "pw" << "pw" << "n1" << "n1" << true;
        // The last new password is still empty, so an empty old password passes.
        QTest::newRow("empty old password before any change") << "pw" << "" << "n1" << "n1" << true;
        QTest::newRow("empty login password") << "" << "" << "n;1" << "n;1" << true;
        QTest::newRow("passwords with quotes and colons")
            << "p'w" << "p'w" << ":newpass'" << ":newpass'" << true;
    }

    void change()
    {
        QFETCH(QString, loginPassword);
        QFETCH(QString, old);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QFETCH(bool, sent);
        Forms forms;
        login(loginPassword);
        if (QTest::currentTestFailed())
            return;
        ModalWatcher watcher;
        chgpassform->show();
        fill(old, newPassword, confirm);
        confirmChange();

        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), sent ? QStringLiteral("失败了") : QStringLiteral("失败"),
                    failureText(), QMessageBox::Critical);
        verifyBoxesReset();
        Query *qry4 = datamod->qry4;
        if (sent) {
            QCOMPARE(qry4->sql(), QStringList{"exec sp_password :oldpass,:newpass"});
            QCOMPARE(qry4->lastStatement(), QStringLiteral("exec sp_password ?,?"));
            QCOMPARE(qry4->lastBoundValues(), (QStringList{old, newPassword}));
            QVERIFY(!qry4->active());
        } else {
            QVERIFY(qry4->lastStatement().isEmpty());
            QVERIFY(qry4->sql().isEmpty());
        }
        QVERIFY(datamod->con->connected());
    }

    // The login password is taken from the login window at every press.
    void loginPasswordReadAtEveryPress()
    {
        Forms forms;
        login(QStringLiteral("first"));
        if (QTest::currentTestFailed())
            return;
        ModalWatcher watcher;
        chgpassform->show();
        fill(QStringLiteral("first"), QStringLiteral("n"), QStringLiteral("n"));
        confirmChange();
        QCOMPARE(watcher.records.last().title, QStringLiteral("失败了"));
        chgpassform->hide();

        mainform->N7Click();
        QVERIFY(!datamod->con->connected());
        login(QStringLiteral("second"));
        if (QTest::currentTestFailed())
            return;
        chgpassform->show();
        fill(QStringLiteral("first"), QStringLiteral("n"), QStringLiteral("n"));
        confirmChange();
        QCOMPARE(watcher.records.last().title, QStringLiteral("失败"));
        fill(QStringLiteral("second"), QStringLiteral("n"), QStringLiteral("n"));
        confirmChange();
        QCOMPARE(watcher.records.last().title, QStringLiteral("失败了"));
        QCOMPARE(watcher.records.size(), 3);
    }

    // Tab order: Edit1, Edit2, Edit3, 确认修改 (Button1), 取消修改 (Button2).
    void keys_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        QTest::newRow("Enter in Edit1") << "Edit1" << int(Qt::Key_Return) << "Edit2";
        QTest::newRow("Enter in Edit2") << "Edit2" << int(Qt::Key_Enter) << "Edit3";
        QTest::newRow("Enter in Edit3") << "Edit3" << int(Qt::Key_Return) << "Button1";
        QTest::newRow("Down in Edit1") << "Edit1" << int(Qt::Key_Down) << "Edit2";
        QTest::newRow("Down in Edit2") << "Edit2" << int(Qt::Key_Down) << "Edit3";
        QTest::newRow("Up in Edit2") << "Edit2" << int(Qt::Key_Up) << "Edit1";
        QTest::newRow("Up in Edit1 wraps") << "Edit1" << int(Qt::Key_Up) << "Button2";
    }

    void keys()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        Forms forms;
        ModalWatcher watcher;
        chgpassform->show();
        QLineEdit *source = child<QLineEdit>(chgpassform, from.toLatin1().constData());
        QTest::keyClicks(source, QStringLiteral("abc"));
        const QStringList focus = focusAfterKey(source, Qt::Key(key));
        if (key == Qt::Key_Up || key == Qt::Key_Down) // Edit1 and Edit2 move on release
            QCOMPARE(focus.first(), from);
        QCOMPARE(focus.last(), to);
        QCOMPARE(source->text(), QStringLiteral("abc"));
        QVERIFY(chgpassform->isVisible());
        QCOMPARE(watcher.records.size(), 0);
        QVERIFY(datamod->qry4->lastStatement().isEmpty());
    }

    // Edit3 moves on pressing an arrow; the release then reaches the box
    // that has the focus by then.
    void edit3ArrowsMoveOnPress()
    {
        Forms forms;
        chgpassform->show();
        QLineEdit *edit3 = child<QLineEdit>(chgpassform, "Edit3");
        edit3->setFocus();
        QTest::keyPress(edit3, Qt::Key_Up);
        QCOMPARE(chgpassform->focusWidget(), child<QLineEdit>(chgpassform, "Edit2"));
        QTest::keyRelease(chgpassform->focusWidget(), Qt::Key_Up);
        QCOMPARE(chgpassform->focusWidget(), child<QLineEdit>(chgpassform, "Edit1"));

        edit3->setFocus();
        QTest::keyPress(edit3, Qt::Key_Down);
        QCOMPARE(chgpassform->focusWidget(), child<QPushButton>(chgpassform, "Button1"));
        QTest::keyRelease(chgpassform->focusWidget(), Qt::Key_Down);
        QCOMPARE(chgpassform->focusWidget(), child<QPushButton>(chgpassform, "Button1"));

        // A release alone does nothing in Edit3.
        edit3->setFocus();
        QTest::keyRelease(edit3, Qt::Key_Up);
        QCOMPARE(chgpassform->focusWidget(), edit3);
    }

    // Runs only against a real SQL Server named by SQLTOOL_MSSQL_DSN (with
    // _USER, _PASSWORD, _DATABASE): two changes in one run, the second one
    // giving back the original password.
    void changeOnSqlServer()
    {
        if (sqlServerDsn().isEmpty())
            QSKIP("SQLTOOL_MSSQL_DSN is not set");
        const QString original = sqlServerPassword();
        const QString changed = original + QStringLiteral("_t1");
        Forms forms;
        login(original, sqlServerDsn(), sqlServerUser(), sqlServerDatabase());
        if (QTest::currentTestFailed())
            return;
        ModalWatcher watcher;

        chgpassform->show();
        fill(original, changed, changed);
        confirmChange();
        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.last(), QStringLiteral("成功"), QStringLiteral("修改密码成功！"),
                    QMessageBox::Information);
        QVERIFY(!chgpassform->isVisible());

        // The first change's new password now passes the old-password check.
        chgpassform->show();
        fill(changed, original, original);
        confirmChange();
        QCOMPARE(watcher.records.size(), 2);
        QCOMPARE(watcher.records.last().title, QStringLiteral("成功"));
        QVERIFY(!chgpassform->isVisible());
    }
};

SQLTOOL_TEST_MAIN(ChgpassTest)
#include "tst_chgpassform.moc"
