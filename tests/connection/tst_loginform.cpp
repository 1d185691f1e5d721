#include "support/testsupport.h"

#include "app/mainform.h"
#include "connection/datamodule.h"
#include "connection/loginform.h"
#include "db/connection.h"
#include "db/query.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace testsupport;

namespace {

// Section values different from the built-in defaults, and three DSN list
// entries; the second points at the other SQLite file.
QByteArray sampleDbset()
{
    return "; connection settings\r\n"
           "[ConDBSet]\r\n"
           "SQLUser=sa\r\n"
           "DSN=sse\r\n"
           "DATABASE=TRADE\r\n"
           "DSN_Description="
        + gbk(QStringLiteral("正式报盘库")) + "\r\n"
        + "[DSNList]\r\n"
          "DSNDst1="
        + gbk(QStringLiteral("测试库")) + ",sse.qtrl..OIW\r\n"
        + "DSNDst2=" + gbk(QStringLiteral("备用库")) + ",other.op.a..HIST2\r\n"
        + "DSNDst3=" + gbk(QStringLiteral("无此库")) + ",nosuch.qtrl..OIW\r\n";
}

// User, DSN, database, description as the four boxes show them.
QStringList shownValues()
{
    return lineEditTexts(loginform, {"Edit1", "Edit3", "Edit4", "Edit5"});
}

// The four filled boxes stay disabled; the password box is empty and has
// the focus.
void verifyPasswordToType()
{
    for (const char *name : {"Edit1", "Edit3", "Edit4", "Edit5"})
        QVERIFY2(!child<QLineEdit>(loginform, name)->isEnabled(), name);
    QVERIFY(child<QLineEdit>(loginform, "Edit2")->text().isEmpty());
    QCOMPARE(loginform->focusWidget(), child<QLineEdit>(loginform, "Edit2"));
}

// The operator picks an entry of the drop-down list with the keyboard.
void chooseEntry(int index)
{
    QComboBox *box = child<QComboBox>(loginform, "box");
    box->setFocus();
    while (box->currentIndex() < index)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentIndex(), index);
}

void typePassword(const QString &password)
{
    QLineEdit *box = child<QLineEdit>(loginform, "Edit2");
    box->clear();
    QTest::keyClicks(box, password);
    QCOMPARE(box->text(), password);
}

// Logged out, with the status texts the main window is created with.
void verifyLoggedOutAsCreated()
{
    verifyLoggedOutState(QStringLiteral("状态:未登录"), QStringLiteral("数据库用户:"));
}

// Rows of ashare_cjhb as seen through the open connection.
int tradeRowsThroughConnection()
{
    runQuery(*datamod->qry1, {QStringLiteral("select cjbh from ashare_cjhb")});
    return datamod->qry1->recordCount();
}

const int SseTrades = 40;
const int OtherTrades = 7;

} // namespace

class LoginTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), SseTrades, 11);
        generateDatabase(otherDatabasePath(), OtherTrades, 12);
        QCOMPARE(sqliteCount(databasePath(), QStringLiteral("select count(*) from ashare_cjhb")),
                 qint64(SseTrades));
    }

    void cleanup() { removeDbset(); }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *cls, const char *text) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                                << QString::fromUtf8(text);
        };
        row("GroupBox1", "QGroupBox", "数据库");
        row("Label6", "QLabel", "更换DSN:");
        row("Label3", "QLabel", "数据源名DSN:");
        row("Label5", "QLabel", "DSN描述:");
        row("Label4", "QLabel", "数据库:");
        row("Label1", "QLabel", "数据库用户:");
        row("Label2", "QLabel", "用户口令:");
        row("box", "QComboBox", "");
        row("box1", "QComboBox", "");
        row("Edit1", "QLineEdit", "");
        row("Edit2", "QLineEdit", "");
        row("Edit3", "QLineEdit", "");
        row("Edit4", "QLineEdit", "");
        row("Edit5", "QLineEdit", "");
        row("Button3", "QPushButton", "默认设置");
        row("Button1", "QPushButton", "确 定");
        row("Button2", "QPushButton", "取消");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        Forms forms;
        QCOMPARE(loginform->windowTitle(), QStringLiteral("登录数据库"));
        QCOMPARE(loginform->size(), QSize(245, 233));
        const QWidget *widget = child<QWidget>(loginform, name.toLatin1().constData());
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(caption(widget), text);
    }

    void passwordBoxIsMasked()
    {
        Forms forms;
        QCOMPARE(maskCharacter(child<QLineEdit>(loginform, "Edit2")), QLatin1Char('*'));
    }

    // Showing fills the boxes from dbset.ini (or the defaults) and the list
    // from the DSN list entries; a missing file is reported and the window
    // opens all the same.
    void show_data()
    {
        QTest::addColumn<bool>("withFile");
        QTest::addColumn<QStringList>("values");      // user, DSN, database, description
        QTest::addColumn<QStringList>("descriptions"); // list items
        QTest::newRow("no dbset.ini")
            << false
            << QStringList{"qtrl", "sse", "OIW", QStringLiteral("本地上海报盘数据库")}
            << QStringList{};
        QTest::newRow("dbset.ini")
            << true << QStringList{"sa", "sse", "TRADE", QStringLiteral("正式报盘库")}
            << QStringList{QStringLiteral("测试库"), QStringLiteral("备用库"),
                           QStringLiteral("无此库")};
    }

    void show()
    {
        QFETCH(bool, withFile);
        QFETCH(QStringList, values);
        QFETCH(QStringList, descriptions);
        if (withFile)
            writeDbset(sampleDbset());
        else
            removeDbset();
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        QVERIFY(loginform->isVisible());

        QCOMPARE(watcher.records.size(), withFile ? 0 : 1);
        if (!withFile) {
            verifyOkBox(watcher.records.first(), applicationTitle(),
                        QStringLiteral("File not found."), QMessageBox::Critical);
        }
        QCOMPARE(shownValues(), values);
        QVERIFY(child<QLineEdit>(loginform, "Edit2")->isEnabled());
        verifyPasswordToType();

        QComboBox *box = child<QComboBox>(loginform, "box");
        QComboBox *box1 = child<QComboBox>(loginform, "box1");
        QStringList items;
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
        QCOMPARE(items, descriptions);
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box1->currentIndex(), -1);
        QVERIFY(!box1->isVisible());
        QCOMPARE(box1->count(), descriptions.size());
        if (withFile)
            QCOMPARE(box1->itemText(1), QStringLiteral("DSNDst2=备用库,other.op.a..HIST2"));
    }

    // Each showing starts again from the file: typed password and a chosen
    // entry are forgotten, and the file's current content is shown.
    void showAgainStartsFromFile()
    {
        writeDbset(sampleDbset());
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        chooseEntry(1);
        typePassword(QStringLiteral("secret"));
        child<QPushButton>(loginform, "Button2")->click();
        QVERIFY(!loginform->isVisible());
        QCOMPARE(loginform->passwordText(), QStringLiteral("secret"));

        writeDbset("[ConDBSet]\r\nSQLUser=\r\nDSN=other\r\nDSNDst9=x,y.z..w\r\n");
        loginform->show();
        QCOMPARE(shownValues(), (QStringList{"", "other", "OIW",
                                             QStringLiteral("本地上海报盘数据库")}));
        QVERIFY(child<QLineEdit>(loginform, "Edit2")->text().isEmpty());
        QComboBox *box = child<QComboBox>(loginform, "box");
        QCOMPARE(box->count(), 1);
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(watcher.records.size(), 0);
    }

    void chooseEntryThenDefaults()
    {
        const QByteArray content = sampleDbset();
        writeDbset(content);
        Forms forms;
        ModalWatcher watcher;
        loginform->show();

        QComboBox *box = child<QComboBox>(loginform, "box");
        QComboBox *box1 = child<QComboBox>(loginform, "box1");

        // A selection made by the program does not count as a choice.
        box->setCurrentIndex(1);
        QCOMPARE(shownValues(), (QStringList{"sa", "sse", "TRADE", QStringLiteral("正式报盘库")}));
        box->setCurrentIndex(-1);

        typePassword(QStringLiteral("typed"));
        chooseEntry(1);
        QCOMPARE(shownValues(), (QStringList{"op.a", "other", "HIST2", QStringLiteral("备用库")}));
        QCOMPARE(box1->currentIndex(), 1);
        verifyPasswordToType();

        typePassword(QStringLiteral("typed"));
        child<QPushButton>(loginform, "Button3")->click();
        QCOMPARE(shownValues(), (QStringList{"sa", "sse", "TRADE", QStringLiteral("正式报盘库")}));
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box1->currentIndex(), -1);
        verifyPasswordToType();
        QCOMPARE(readDbset(), content);
        QCOMPARE(watcher.records.size(), 0);
    }

    // A login that cannot connect keeps everything but the password.
    void failedLogin_data()
    {
        QTest::addColumn<QByteArray>("dbset");
        QTest::addColumn<int>("entry"); // DSN list entry to choose, -1 for none
        QTest::addColumn<QStringList>("values");
        QTest::newRow("DSN that does not exist")
            << QByteArray("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=nosuch\r\nDATABASE=OIW\r\n"
                          "DSN_Description=missing\r\n")
            << -1 << QStringList{"qtrl", "nosuch", "OIW", "missing"};
        QTest::newRow("DSN carrying a second DSN key")
            << QByteArray("[ConDBSet]\r\nDSN=nosuch;Data Source=sse\r\n") << -1
            << QStringList{"qtrl", "nosuch;Data Source=sse", "OIW",
                           QStringLiteral("本地上海报盘数据库")};
        QTest::newRow("chosen entry with an unknown DSN")
            << sampleDbset() << 2
            << QStringList{"qtrl", "nosuch", "OIW", QStringLiteral("无此库")};
    }

    void failedLogin()
    {
        QFETCH(QByteArray, dbset);
        QFETCH(int, entry);
        QFETCH(QStringList, values);
        writeDbset(dbset);
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        if (entry >= 0)
            chooseEntry(entry);
        typePassword(QStringLiteral("secret"));
        child<QPushButton>(loginform, "Button1")->click();

        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), QStringLiteral("错误"), QStringLiteral("数据库登录错误"),
                    QMessageBox::Critical, true);

        QVERIFY(loginform->isVisible());
        QCOMPARE(shownValues(), values);
        verifyPasswordToType();
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutAsCreated();
    }

    // The connection string carries the typed password; values that hold
    // ";", a quote or outer blanks are quoted so they cannot add keys.
    void successfulLogin_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("connectionString");
        const QString tail = QStringLiteral(";Persist Security Info=False;User ID=qtrl;Data Source=sse");
        const QString head = QStringLiteral("Provider=MSDASQL.1; password=");
        QTest::newRow("plain") << "secret" << head + "secret" + tail;
        QTest::newRow("empty") << "" << head + tail;
        QTest::newRow("semicolon") << "pa;ss" << head + "\"pa;ss\"" + tail;
        QTest::newRow("second data source")
            << "x;Data Source=other" << head + "\"x;Data Source=other\"" + tail;
        QTest::newRow("quote") << "a\"b" << head + "\"a\"\"b\"" + tail;
        QTest::newRow("outer blanks") << " pw " << head + "\" pw \"" + tail;
    }

    void successfulLogin()
    {
        QFETCH(QString, password);
        QFETCH(QString, connectionString);
        removeDbset();
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        QCOMPARE(watcher.records.size(), 1); // "File not found."
        typePassword(password);
        child<QPushButton>(loginform, "Button1")->click();

        QCOMPARE(watcher.records.size(), 1);
        QVERIFY(!loginform->isVisible());
        Connection *con = datamod->con;
        QVERIFY(con->connected());
        QCOMPARE(con->connectionString(), connectionString);
        QVERIFY(!con->loginPrompt());
        QVERIFY(con->keepConnection());
        QCOMPARE(con->defaultDatabase(), QStringLiteral("OIW"));
        verifyLoggedInState(QStringLiteral("qtrl"));
        // The password stays in its box for the password change.
        QCOMPARE(loginform->passwordText(), password);
        // Whatever the password holds, the data source is the one of Edit3.
        QCOMPARE(tradeRowsThroughConnection(), SseTrades);
    }

    void loginWithChosenEntry()
    {
        writeDbset(sampleDbset());
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        chooseEntry(1);
        typePassword(QStringLiteral("pw"));
        child<QPushButton>(loginform, "Button1")->click();
        QCOMPARE(watcher.records.size(), 0);
        QVERIFY(datamod->con->connected());
        QCOMPARE(datamod->con->connectionString(),
                 QStringLiteral("Provider=MSDASQL.1; password=pw;Persist Security Info=False;"
                                "User ID=op.a;Data Source=other"));
        QCOMPARE(datamod->con->defaultDatabase(), QStringLiteral("HIST2"));
        verifyLoggedInState(QStringLiteral("op.a"));
        QCOMPARE(tradeRowsThroughConnection(), OtherTrades);
        // Choosing never writes the file.
        QCOMPARE(readDbset(), sampleDbset());
    }

    // Fields are taken exactly, blanks included; the DSN and the user then
    // lose their outer blanks in the connection string, as the provider
    // trims them, so the entry still logs in.
    void loginWithBlanksAroundEntryFields()
    {
        writeDbset(sampleDbset() + "DSNDst4=" + gbk(QStringLiteral("演示")) + ", sse. qtrl ..OIW\r\n");
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        chooseEntry(3);
        QCOMPARE(shownValues(), (QStringList{" qtrl ", " sse", "OIW", "演示"}));
        typePassword(QStringLiteral("pw"));
        child<QPushButton>(loginform, "Button1")->click();
        QCOMPARE(watcher.records.size(), 0);
        QVERIFY(datamod->con->connected());
        QCOMPARE(datamod->con->odbcConnectionString(), QStringLiteral("DSN=sse;UID=qtrl;PWD=pw"));
        QCOMPARE(tradeRowsThroughConnection(), SseTrades);
    }

    // A step after the connection has opened fails (with SQL Server: the
    // database cannot be selected). The SQLite driver accepts any catalog,
    // so the failure is raised by an observer of the opened connection. The
    // connection must be closed again, so that the state stays consistent
    // and the next "确 定" really retries.
    void failureAfterOpenClosesConnection()
    {
        removeDbset();
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        QCOMPARE(watcher.records.size(), 1); // "File not found."
        bool fail = true;
        QObject::connect(datamod->con, &Connection::connectedChanged, loginform,
                         [&fail](bool connected) {
                             if (connected && fail)
                                 throw std::runtime_error("selecting the database failed");
                         });
        typePassword(QStringLiteral("pw"));
        child<QPushButton>(loginform, "Button1")->click();

        QCOMPARE(watcher.records.size(), 2);
        QCOMPARE(watcher.records.last().text, QStringLiteral("数据库登录错误"));
        QCOMPARE(watcher.records.last().title, QStringLiteral("错误"));
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutAsCreated();
        QVERIFY(loginform->isVisible());
        QVERIFY(child<QLineEdit>(loginform, "Edit2")->text().isEmpty());

        fail = false;
        typePassword(QStringLiteral("pw"));
        child<QPushButton>(loginform, "Button1")->click();
        QCOMPARE(watcher.records.size(), 2);
        QVERIFY(datamod->con->connected());
        verifyLoggedInState(QStringLiteral("qtrl"));
        QVERIFY(!loginform->isVisible());
        QCOMPARE(tradeRowsThroughConnection(), SseTrades);
    }

    // Runs only against a real SQL Server named by SQLTOOL_MSSQL_DSN (with
    // _USER, _PASSWORD, _DATABASE): a database that does not exist cannot be
    // selected; the connection is closed again and, with the right database,
    // the next try logs in.
    void databaseSelectFailureOnSqlServer()
    {
        if (sqlServerDsn().isEmpty())
            QSKIP("SQLTOOL_MSSQL_DSN is not set");
        const auto dbset = [](const QString &database) {
            return "[ConDBSet]\r\nSQLUser=" + gbk(sqlServerUser()) + "\r\nDSN=" + gbk(sqlServerDsn())
                + "\r\nDATABASE=" + gbk(database) + "\r\n";
        };
        writeDbset(dbset(QStringLiteral("sqltool_no_such_database_4711")));
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        typePassword(sqlServerPassword());
        child<QPushButton>(loginform, "Button1")->click();
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.last().text, QStringLiteral("数据库登录错误"));
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutAsCreated();

        writeDbset(dbset(sqlServerDatabase()));
        child<QPushButton>(loginform, "Button3")->click();
        typePassword(sqlServerPassword());
        child<QPushButton>(loginform, "Button1")->click();
        QCOMPARE(watcher.records.size(), 1);
        QVERIFY(datamod->con->connected());
        verifyLoggedInState(sqlServerUser());
    }

    // Through the menu: the login window runs modally, then logout and a
    // second login.
    void logoutAndLoginAgain()
    {
        removeDbset();
        Forms forms;
        // One watcher per showing: a watcher takes a window it has met as
        // handled until it sees it hidden.
        const auto loginThroughMenu = [](const QString &password) {
            int logins = 0;
            ModalWatcher watcher([&](QWidget *modal, const ModalRecord &record) {
                if (modal == loginform) {
                    ++logins;
                    QTest::keyClicks(child<QLineEdit>(loginform, "Edit2"), password);
                    child<QPushButton>(loginform, "Button1")->click();
                    return;
                }
                QCOMPARE(record.text, QStringLiteral("File not found."));
                closeModal(modal);
            });
            mainform->N2Click();
            QCOMPARE(logins, 1);
            QCOMPARE(watcher.records.size(), 2); // "File not found.", then the window
            QCOMPARE(watcher.records.at(1).className, QStringLiteral("Tloginform"));
        };
        verifyLoggedOutAsCreated();
        loginThroughMenu(QStringLiteral("pw1"));
        QVERIFY(datamod->con->connected());
        verifyLoggedInState(QStringLiteral("qtrl"));

        mainform->N7Click();
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutState(QStringLiteral("状态: 未登录"), QStringLiteral("数据库用户: "));

        loginThroughMenu(QStringLiteral("pw2"));
        QVERIFY(datamod->con->connected());
        QVERIFY(datamod->con->connectionString().contains(QStringLiteral("password=pw2;")));
        verifyLoggedInState(QStringLiteral("qtrl"));
        QCOMPARE(tradeRowsThroughConnection(), SseTrades);
    }

    void cancelAndCloseOnlyHide_data()
    {
        QTest::addColumn<bool>("useCloseButton");
        QTest::newRow("取消") << false;
        QTest::newRow("close button") << true;
    }

    void cancelAndCloseOnlyHide()
    {
        QFETCH(bool, useCloseButton);
        writeDbset(sampleDbset());
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        typePassword(QStringLiteral("kept"));
        if (useCloseButton)
            loginform->close();
        else
            child<QPushButton>(loginform, "Button2")->click();
        QVERIFY(!loginform->isVisible());
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutAsCreated();
        QCOMPARE(loginform->passwordText(), QStringLiteral("kept"));
        QCOMPARE(watcher.records.size(), 0);
    }

    // Up/Down released in the password box move along the tab order
    // (Edit1, Edit2, Edit3, Edit4, Edit5, box, Button1, Button2, box1,
    // Button3) over the controls that can take the focus.
    void passwordBoxKeys()
    {
        writeDbset(sampleDbset());
        Forms forms;
        ModalWatcher watcher;
        loginform->show();
        QLineEdit *password = child<QLineEdit>(loginform, "Edit2");
        // Arrows move on release only.
        QCOMPARE(focusAfterKey(password, Qt::Key_Up), (QStringList{"Edit2", "Button3"}));
        QCOMPARE(focusAfterKey(password, Qt::Key_Down), (QStringList{"Edit2", "box"}));

        // Enter has no action of its own: no button is pressed.
        typePassword(QStringLiteral("pw"));
        password->setFocus();
        QTest::keyClick(password, Qt::Key_Return);
        QTest::keyClick(password, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(loginform->focusWidget(), password);
        QVERIFY(loginform->isVisible());
        QVERIFY(!datamod->con->connected());
        QCOMPARE(password->text(), QStringLiteral("pw"));
        // Nor does Escape close the window.
        QTest::keyClick(password, Qt::Key_Escape);
        QVERIFY(loginform->isVisible());
        QCOMPARE(watcher.records.size(), 0);
    }
};

SQLTOOL_TEST_MAIN(LoginTest)
#include "tst_loginform.moc"
