#include "support/testsupport.h"

#include "app/usage.h"

using namespace testsupport;

namespace {

const QString rule = QStringLiteral("    ") + QString(22, QLatin1Char('-'));

// The usage text, line by line; line 21 is checked apart (its address).
QStringList expectedLines()
{
    return {
        QStringLiteral("        [★使用说明★]"),
        QStringLiteral("[1]"),
        QStringLiteral("在系统的控制面板-ODBC图标-设置用户DSN"),
        QString(),
        QStringLiteral("设置能访问OIW数据库的DSN后，在此软件的"),
        QString(),
        QStringLiteral("[配置信息]菜单中做相关对应设置，然后选"),
        QString(),
        QStringLiteral("择[登录数据库]菜单，进行相关数据库的操"),
        QString(),
        QStringLiteral("作。"),
        QString(),
        QStringLiteral("[2]"),
        QStringLiteral("或者直接安装到上海SQL报盘程序的计算机"),
        QString(),
        QStringLiteral("上。这样就可以无须再次设置ODBC了，直接"),
        QString(),
        QStringLiteral("使用此软件工具。"),
        QString(),
        rule,
        QString(),
        rule,
    };
}

} // namespace

class UsageTest : public QObject
{
    Q_OBJECT
private slots:
    void lines_data()
    {
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("expected");
        const QStringList expected = expectedLines();
        for (int i = 0; i < expected.size(); ++i) {
            if (i != 20)
                QTest::addRow("line %d", i + 1) << i << expected.at(i);
        }
    }

    void lines()
    {
        QFETCH(int, line);
        QFETCH(QString, expected);
        const QStringList lines = usageText().split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 22);
        QCOMPARE(lines.at(line), expected);
    }

    void text()
    {
        const QString text = usageText();
        // Single carriage returns, nothing else, between the lines.
        QCOMPARE(text.count(QLatin1Char('\r')), 21);
        QVERIFY(!text.contains(QLatin1Char('\n')));
        QVERIFY(!text.endsWith(QLatin1Char('\r')));

        const QString mail = text.split(QLatin1Char('\r')).at(20);
        QVERIFY(mail.startsWith(QStringLiteral("    Email:")));
        const QString address = mail.mid(10);
        QVERIFY(!address.contains(QLatin1Char(' ')));
        QCOMPARE(address.count(QLatin1Char('@')), 1);
        QVERIFY(address.indexOf(QLatin1Char('@')) > 0);
        QVERIFY(address.indexOf(QLatin1Char('.'), address.indexOf(QLatin1Char('@'))) > 0);
    }

    // The box shows every line, blanks and empty lines kept.
    void usageBox()
    {
        QStringList shown = expectedLines();
        shown[20] = usageText().split(QLatin1Char('\r')).at(20);
        ModalWatcher watcher;
        showUsage();
        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), QStringLiteral("帮助"), shown.join(QLatin1Char('\n')),
                    QMessageBox::Information);
    }

    void wizardNotice()
    {
        ModalWatcher watcher;
        showWizardNotice();
        QCOMPARE(watcher.records.size(), 1);
        verifyOkBox(watcher.records.first(), QStringLiteral("提示"), QStringLiteral("此功能暂未开通！"),
                    QMessageBox::Information);
    }
};

SQLTOOL_TEST_MAIN(UsageTest)
#include "tst_usage.moc"
