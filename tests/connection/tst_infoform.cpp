#include "support/testsupport.h"

#include "connection/infoform.h"
#include "connection/loginform.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

using namespace testsupport;

namespace {

// DSN, description, database, user as the four boxes show them.
QStringList shownValues()
{
    return lineEditTexts(infoform, {"Edit3", "Edit2", "Edit4", "Edit1"});
}

void setValues(const QStringList &values)
{
    const char *names[] = {"Edit3", "Edit2", "Edit4", "Edit1"};
    for (int i = 0; i < 4; ++i)
        child<QLineEdit>(infoform, names[i])->setText(values.at(i));
}

QList<QByteArray> lines(const QByteArray &content)
{
    QList<QByteArray> result = content.split('\n');
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    for (QByteArray &line : result) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return result;
}

// A file with comments, other sections and DSN list entries around the
// section, keys in another order and with other letter case.
QList<QByteArray> richFileLines()
{
    return {"; settings of the order tool",
            "[Other]",
            "DSN=keep-me",
            "DSNDst1=" + gbk(QStringLiteral("测试库")) + ",sse.qtrl..OIW",
            "",
            "[ConDBSet]",
            "dsn=old-dsn",
            "SQLUser=old-user",
            "; DSNDst in a comment",
            "DSN_Description=" + gbk(QStringLiteral("旧描述")),
            "DATABASE=old-db",
            "[Tail]",
            "x=1"};
}

QByteArray joined(const QList<QByteArray> &fileLines)
{
    QByteArray content;
    for (const QByteArray &line : fileLines)
        content += line + "\r\n";
    return content;
}

} // namespace

class InfoTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        QDir(dbsetPath()).removeRecursively();
        removeDbset();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const auto row = [](const char *name, const char *text) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text);
        };
        row("GroupBox2", "说明");
        row("Label2", "更新配置后，请重新启动程序。");
        row("GroupBox1", "登录数据库配置");
        row("Label3", "数据源名DSN:");
        row("Label5", "DSN描述:");
        row("Label4", "数据库:");
        row("Label1", "数据库用户:");
        row("Button2", "应  用");
        row("Button1", "取  消");
        row("Edit1", "");
        row("Edit2", "");
        row("Edit3", "");
        row("Edit4", "");
    }

    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        Forms forms;
        QCOMPARE(infoform->windowTitle(), QStringLiteral("配置信息"));
        QCOMPARE(infoform->size(), QSize(242, 223));
        const QWidget *widget = child<QWidget>(infoform, name.toLatin1().constData());
        if (auto *line = qobject_cast<const QLineEdit *>(widget))
            QVERIFY(line->isEnabled() && line->echoMode() == QLineEdit::Normal);
        else
            QCOMPARE(caption(widget), text);
    }

    void show_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file
        QTest::addColumn<QStringList>("values");
        QTest::newRow("no dbset.ini")
            << QByteArray() << QStringList{"sse", QStringLiteral("本地上海报盘数据库"), "OIW", "qtrl"};
        QTest::newRow("section")
            << joined(richFileLines())
            << QStringList{"old-dsn", QStringLiteral("旧描述"), "old-db", "old-user"};
        QTest::newRow("empty user, other keys missing")
            << QByteArray("[ConDBSet]\r\nSQLUser=\r\n")
            << QStringList{"sse", QStringLiteral("本地上海报盘数据库"), "OIW", ""};
    }

    void show()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, values);
        if (content.isEmpty())
            removeDbset();
        else
            writeDbset(content);
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        QCOMPARE(shownValues(), values);
        QCOMPARE(infoform->focusWidget(), child<QLineEdit>(infoform, "Edit3"));
        QCOMPARE(watcher.records.size(), 0); // a missing file is not reported
        QCOMPARE(QFileInfo::exists(dbsetPath()), !content.isEmpty());
    }

    void applyCreatesFile()
    {
        removeDbset();
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        QLineEdit *dsn = child<QLineEdit>(infoform, "Edit3");
        dsn->clear();
        QTest::keyClicks(dsn, QStringLiteral("other"));
        child<QPushButton>(infoform, "Button2")->click();

        QVERIFY(!infoform->isVisible());
        QCOMPARE(watcher.records.size(), 0);
        const QList<QByteArray> expected = {
            "[ConDBSet]", "SQLUser=qtrl", "DSN=other", "DATABASE=OIW",
            "DSN_Description=" + gbk(QStringLiteral("本地上海报盘数据库"))};
        QCOMPARE(lines(readDbset()), expected);

        // The window shows the written values at its next showing.
        infoform->show();
        QCOMPARE(shownValues(),
                 (QStringList{"other", QStringLiteral("本地上海报盘数据库"), "OIW", "qtrl"}));
    }

    // Applying replaces the four values in place and leaves every other
    // line as it was; an emptied box is written empty and then read empty.
    void applyKeepsOtherLines_data()
    {
        QTest::addColumn<QStringList>("values"); // DSN, description, database, user
        QTest::newRow("new values")
            << QStringList{"other", QStringLiteral("新描述"), "HIST", "sa"};
        QTest::newRow("empty DSN") << QStringList{"", QStringLiteral("旧描述"), "old-db", "old-user"};
        QTest::newRow("empty description") << QStringList{"old-dsn", "", "old-db", "old-user"};
        QTest::newRow("empty database")
            << QStringList{"old-dsn", QStringLiteral("旧描述"), "", "old-user"};
        QTest::newRow("empty user") << QStringList{"old-dsn", QStringLiteral("旧描述"), "old-db", ""};
        QTest::newRow("all empty") << QStringList{"", "", "", ""};
    }

    void applyKeepsOtherLines()
    {
        QFETCH(QStringList, values);
        writeDbset(joined(richFileLines()));
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        setValues(values);
        child<QPushButton>(infoform, "Button2")->click();
        QVERIFY(!infoform->isVisible());

        QList<QByteArray> expected = richFileLines();
        expected[6] = "dsn=" + gbk(values.at(0));
        expected[7] = "SQLUser=" + gbk(values.at(3));
        expected[9] = "DSN_Description=" + gbk(values.at(1));
        expected[10] = "DATABASE=" + gbk(values.at(2));
        const QList<QByteArray> written = lines(readDbset());
        QCOMPARE(written.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i) {
            if (i == 6) // the key's spelling is the writer's choice
                QCOMPARE(written.at(i).toLower(), expected.at(i).toLower());
            else
                QCOMPARE(written.at(i), expected.at(i));
        }

        // Both windows show the values as written, empty ones empty.
        infoform->show();
        QCOMPARE(shownValues(), values);
        loginform->show();
        QCOMPARE(lineEditTexts(loginform, {"Edit3", "Edit5", "Edit4", "Edit1"}), values);
        QCOMPARE(watcher.records.size(), 0);
    }

    // A write that fails goes to the application-wide error box and the
    // window stays open with the operator's values. A directory in the
    // file's place makes the write fail for every user, root included.
    void failingWrite()
    {
        writeDbset("[ConDBSet]\r\nDSN=old\r\n");
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        const QStringList typed = {"new-dsn", QStringLiteral("新描述"), "new-db", "new-user"};
        setValues(typed);
        removeDbset();
        QVERIFY(QDir().mkpath(dbsetPath()));

        // Through the event loop, as the operator's click arrives.
        QTest::mouseClick(child<QPushButton>(infoform, "Button2"), Qt::LeftButton);
        QTRY_COMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), applicationTitle(),
                    QStringLiteral("Unable to write to ") + dbsetPath() + QLatin1Char('.'),
                    QMessageBox::Critical);
        QVERIFY(infoform->isVisible());
        QCOMPARE(shownValues(), typed);
        QVERIFY(QFileInfo(dbsetPath()).isDir());
    }

    // A value with characters the GBK file cannot keep is refused with a
    // box naming them, and nothing is written; GBK's own symbols go through.
    void charactersWithoutGbkAreRefused_data()
    {
        QTest::addColumn<int>("box"); // in the order of setValues
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("refused");
        QTest::newRow("emoji in the description") << 1 << QStringLiteral("本地库😀") << QStringList{"😀"};
        QTest::newRow("two, each named once") << 1 << QStringLiteral("ẞ库กẞ") << QStringList{"ẞ", "ก"};
        QTest::newRow("in the user") << 3 << QStringLiteral("op😀") << QStringList{"😀"};
        QTest::newRow("GBK symbols") << 1 << QStringLiteral("中文①—·") << QStringList();
    }

    void charactersWithoutGbkAreRefused()
    {
        QFETCH(int, box);
        QFETCH(QString, text);
        QFETCH(QStringList, refused);
        const QByteArray content = joined(richFileLines());
        writeDbset(content);
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        QStringList typed = {"new-dsn", QStringLiteral("新描述"), "new-db", "new-user"};
        typed[box] = text;
        setValues(typed);
        QTest::mouseClick(child<QPushButton>(infoform, "Button2"), Qt::LeftButton);
        if (refused.isEmpty()) {
            QVERIFY(!infoform->isVisible());
            QVERIFY(readDbset().contains(gbk(text)));
            QCOMPARE(watcher.records.size(), 0);
            return;
        }
        QTRY_COMPARE(watcher.records.size(), 1);
        const QString shown = watcher.records.first().text;
        QCOMPARE(watcher.records.first().icon, int(QMessageBox::Critical));
        for (const QString &character : refused)
            QCOMPARE(shown.count(QStringLiteral("“") + character + QStringLiteral("”")), 1);
        QVERIFY(infoform->isVisible());
        QCOMPARE(shownValues(), typed);
        QCOMPARE(readDbset(), content);
    }

    void cancelWritesNothing_data()
    {
        QTest::addColumn<bool>("useCloseButton");
        QTest::newRow("取  消") << false;
        QTest::newRow("close button") << true;
    }

    void cancelWritesNothing()
    {
        QFETCH(bool, useCloseButton);
        const QByteArray content = joined(richFileLines());
        writeDbset(content);
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        const auto cancel = [useCloseButton] {
            if (useCloseButton)
                infoform->close();
            else
                child<QPushButton>(infoform, "Button1")->click();
        };
        setValues({"a", "b", "c", "d"});
        cancel();
        QVERIFY(!infoform->isVisible());
        QCOMPARE(readDbset(), content);

        removeDbset();
        infoform->show();
        cancel();
        QVERIFY(!QFileInfo::exists(dbsetPath()));
    }

    // Tab order: Edit3, Edit1, Edit4, Edit2, 取  消 (Button1), 应  用 (Button2).
    void keys_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("to");
        QTest::newRow("Enter in Edit3") << "Edit3" << int(Qt::Key_Return) << "Edit1";
        QTest::newRow("Enter in Edit1") << "Edit1" << int(Qt::Key_Return) << "Edit4";
        QTest::newRow("Enter in Edit4") << "Edit4" << int(Qt::Key_Enter) << "Edit2";
        QTest::newRow("Enter in Edit2") << "Edit2" << int(Qt::Key_Return) << "Button1";
        QTest::newRow("Down in Edit3") << "Edit3" << int(Qt::Key_Down) << "Edit1";
        QTest::newRow("Down in Edit2") << "Edit2" << int(Qt::Key_Down) << "Button1";
        QTest::newRow("Up in Edit1") << "Edit1" << int(Qt::Key_Up) << "Edit3";
        QTest::newRow("Up in Edit3 wraps") << "Edit3" << int(Qt::Key_Up) << "Button2";
    }

    void keys()
    {
        QFETCH(QString, from);
        QFETCH(int, key);
        QFETCH(QString, to);
        const QByteArray content = joined(richFileLines());
        writeDbset(content);
        Forms forms;
        ModalWatcher watcher;
        infoform->show();
        QLineEdit *source = child<QLineEdit>(infoform, from.toLatin1().constData());
        const QString before = source->text();
        const QStringList focus = focusAfterKey(source, Qt::Key(key));
        if (key == Qt::Key_Up || key == Qt::Key_Down) // arrows move on release
            QCOMPARE(focus.first(), from);
        QCOMPARE(focus.last(), to);
        // Enter is swallowed: the box keeps its text, nothing is applied.
        QCOMPARE(source->text(), before);
        QVERIFY(infoform->isVisible());
        QCOMPARE(readDbset(), content);
        QCOMPARE(watcher.records.size(), 0);
    }
};

SQLTOOL_TEST_MAIN(InfoTest)
#include "tst_infoform.moc"
