#include "support/testsupport.h"

#include "app/mainform.h"
#include "connection/datamodule.h"
#include "db/connection.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>

#include <cmath>

using namespace testsupport;

namespace {

QStringList names(const QList<QAction *> &actions)
{
    QStringList result;
    for (const QAction *a : actions)
        result << a->objectName();
    return result;
}

// A submenu's entry on the menu bar is the menu's own action; it carries
// the menu's name.
QRect menuBarEntry(const char *name)
{
    return child<QMenuBar>(mainform, "MainMenu1")->actionGeometry(child<QAction>(mainform, name));
}

void clickMenuBarEntry(const char *name)
{
    QTest::mouseClick(child<QMenuBar>(mainform, "MainMenu1"), Qt::LeftButton, {},
                      menuBarEntry(name).center());
}

void showActive()
{
    mainform->show();
    mainform->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(mainform));
}

} // namespace

class MainformTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), 200);
        writeDbset("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n");
    }

    void cleanupTestCase() { removeDbset(); }

    // --- pure arithmetic ------------------------------------------------

    void datePanelText_data()
    {
        QTest::addColumn<int>("year");
        QTest::addColumn<int>("month");
        QTest::addColumn<int>("day");
        QTest::addColumn<QString>("expected");
        QTest::newRow("5 March 2004") << 2004 << 3 << 5 << QStringLiteral("日期: 2004年3月5日");
        QTest::newRow("two-digit month and day") << 1999 << 12 << 31
                                                 << QStringLiteral("日期: 1999年12月31日");
        QTest::newRow("10 October") << 2010 << 10 << 10 << QStringLiteral("日期: 2010年10月10日");
    }

    void datePanelText()
    {
        QFETCH(int, year);
        QFETCH(int, month);
        QFETCH(int, day);
        QFETCH(QString, expected);
        QCOMPARE(::datePanelText(year, month, day), expected);
        QCOMPARE(::datePanelText(QDate(year, month, day)), expected);
    }

    void centredLeft_data()
    {
        QTest::addColumn<int>("screen");
        QTest::addColumn<int>("window");
        QTest::addColumn<int>("left");
        QTest::newRow("1024/425") << 1024 << 425 << 299;
        QTest::newRow("even") << 1024 << 424 << 300;
        QTest::newRow("difference -5") << 100 << 105 << -2;
        QTest::newRow("difference -1") << 1023 << 1024 << 0;
        QTest::newRow("difference -11") << 100 << 111 << -5;
        QTest::newRow("same width") << 417 << 417 << 0;
    }

    void centredLeft()
    {
        QFETCH(int, screen);
        QFETCH(int, window);
        QFETCH(int, left);
        QCOMPARE(::centredLeft(screen, window), left);
    }

    // --- the window as created ------------------------------------------

    void mainWindowAloneAtCreation()
    {
        // FormCreate uses nothing but the main window itself.
        Tmainform alone;
        QCOMPARE(alone.panel(0)->text(), QStringLiteral("状态:未登录"));
    }

    void windowFrame()
    {
        Forms forms;
        QCOMPARE(mainform->windowTitle(), QStringLiteral("上海A股SQL报盘数据库工具"));
        QCOMPARE(mainform->width(), 417);
        QCOMPARE(mainform->minimumSize(), mainform->maximumSize());
        const Qt::WindowFlags flags = mainform->windowFlags();
        QVERIFY(flags & Qt::WindowSystemMenuHint);
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QCOMPARE(mainform->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(mainform->font().pointSize(), 8);
        // The designed font resolves to one that shows the window's texts.
        QVERIFY(QFontMetrics(mainform->font()).inFont(QChar(u'状')));
        QVERIFY(mainform->windowIcon().availableSizes().contains(QSize(32, 32)));

        showActive();
        // A strip of menu bar over status bar, nothing between.
        QStatusBar *bar = child<QStatusBar>(mainform, "StatusBar");
        QCOMPARE(bar->height(), 19);
        QCOMPARE(bar->width(), 417);
        QCOMPARE(bar->geometry().bottom(), mainform->height() - 1);
        const QMenuBar *menuBar = child<QMenuBar>(mainform, "MainMenu1");
        QCOMPARE(menuBar->geometry().top(), 0);
        QCOMPARE(mainform->height(), menuBar->height() + 19);
    }

    void placement()
    {
        Forms forms;
        const int screen = QGuiApplication::primaryScreen()->geometry().width();
        const int outer = mainform->frameGeometry().width();
        QCOMPARE(mainform->frameGeometry().top(), 0);
        QCOMPARE(mainform->frameGeometry().left(), int(std::trunc((screen - outer) / 2.0)));
    }

    void menuStructure()
    {
        Forms forms;
        QCOMPARE(names(child<QMenuBar>(mainform, "MainMenu1")->actions()),
                 (QStringList{"N1", "N3", "N4", "N8"}));
        QCOMPARE(names(child<QMenu>(mainform, "N1")->actions()), (QStringList{"N2", "N7", "N5"}));
        QCOMPARE(names(child<QMenu>(mainform, "N4")->actions()),
                 (QStringList{"N11", "N15", "N6", "N13", "N14", "N16", "N17", "N18"}));
        QCOMPARE(names(child<QMenu>(mainform, "N11")->actions()),
                 (QStringList{"AshareCjhb1", "AshareOrdwth21", "AshareOrdwth1"}));
        QCOMPARE(names(child<QMenu>(mainform, "N8")->actions()), (QStringList{"N12", "N9", "N10"}));
        // N3 is a command on the menu bar itself.
        QVERIFY(!child<QAction>(mainform, "N3")->menu());
        for (const char *name : {"N1", "N4", "N11", "N8"})
            QCOMPARE(child<QAction>(mainform, name)->menu(), child<QMenu>(mainform, name));
        for (const char *name : {"N15", "N13", "N16"})
            QVERIFY(child<QAction>(mainform, name)->isSeparator());
    }

    void captions_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("picture");
        QTest::newRow("N1") << "N1" << "系统操作(&S)" << true;
        QTest::newRow("N2") << "N2" << "登录数据库" << true;
        QTest::newRow("N7") << "N7" << "退出登录" << true;
        QTest::newRow("N5") << "N5" << "配置信息" << true;
        QTest::newRow("N3") << "N3" << "数据查询(&Q)" << true;
        QTest::newRow("N4") << "N4" << "★辅助工具(&T)" << false;
        QTest::newRow("N11") << "N11" << "清除数据表" << false;
        QTest::newRow("AshareCjhb1") << "AshareCjhb1" << "清除成交回报数据表(Ashare_Cjhb)" << false;
        QTest::newRow("AshareOrdwth21") << "AshareOrdwth21" << "清除接收返回确认表(Ashare_Ordwth2)" << false;
        QTest::newRow("AshareOrdwth1") << "AshareOrdwth1" << "清除发送数据表(Ashare_Ordwth)" << false;
        QTest::newRow("N6") << "N6" << "修改密码" << false;
        QTest::newRow("N14") << "N14" << "数据库重构向导" << false;
        QTest::newRow("N17") << "N17" << "报盘监控" << false;
        QTest::newRow("N18") << "N18" << "报盘总览" << false;
        QTest::newRow("N8") << "N8" << "说明(&H)" << true;
        QTest::newRow("N12") << "N12" << "错误代码对照表" << false;
        QTest::newRow("N9") << "N9" << "使用说明" << false;
        QTest::newRow("N10") << "N10" << "关于..." << false;
    }

    void captions()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QFETCH(bool, picture);
        Forms forms;
        QAction *entry = child<QAction>(mainform, name.toLatin1().constData());
        QCOMPARE(entry->text(), caption);
        QCOMPARE(!entry->icon().isNull(), picture);
        if (picture)
            QVERIFY(!entry->icon().pixmap(QSize(16, 16)).isNull());
    }

    // On the menu bar the pictures go beside the captions, not instead.
    void menuBarShowsCaptionsBesidePictures()
    {
        Forms forms;
        showActive();
        const QFontMetrics metrics(child<QMenuBar>(mainform, "MainMenu1")->font());
        for (const char *name : {"N1", "N3", "N8"}) {
            const QString shown = child<QAction>(mainform, name)->text().remove(QLatin1Char('&'));
            QVERIFY2(menuBarEntry(name).width() >= metrics.horizontalAdvance(shown) + 16, name);
        }
    }

    void statusPanels()
    {
        Forms forms;
        showActive();
        QCOMPARE(mainform->panel(0)->text(), QStringLiteral("状态:未登录"));
        QCOMPARE(mainform->panel(1)->text(), QStringLiteral("数据库用户:"));
        const QRegularExpression date(QStringLiteral("^日期: ([1-9][0-9]*)年([1-9][0-9]?)月([1-9][0-9]?)日$"));
        const QRegularExpressionMatch match = date.match(mainform->panel(2)->text());
        QVERIFY2(match.hasMatch(), qPrintable(mainform->panel(2)->text()));
        const QDate today = QDate::currentDate();
        QCOMPARE(match.captured(1).toInt(), today.year());
        QCOMPARE(match.captured(2).toInt(), today.month());
        QCOMPARE(match.captured(3).toInt(), today.day());

        // Three panels in order, 100 and 165 wide, the last at least 50.
        QStatusBar *bar = child<QStatusBar>(mainform, "StatusBar");
        for (int i = 0; i < 3; ++i)
            QCOMPARE(mainform->panel(i)->parentWidget(), bar);
        QCOMPARE(mainform->panel(0)->width(), 100);
        QCOMPARE(mainform->panel(1)->width(), 165);
        QVERIFY(mainform->panel(2)->width() >= 50);
        QVERIFY(mainform->panel(0)->x() < mainform->panel(1)->x());
        QVERIFY(mainform->panel(1)->x() < mainform->panel(2)->x());
        QVERIFY(mainform->panel(2)->geometry().right() < bar->width());
    }

    // --- login state ------------------------------------------------------

    void loggedOutAtStart()
    {
        Forms forms;
        QVERIFY(child<QAction>(mainform, "N2")->isEnabled());
        QVERIFY(!child<QAction>(mainform, "N3")->isEnabled());
        QVERIFY(!child<QAction>(mainform, "N4")->isEnabled());
        QVERIFY(!child<QAction>(mainform, "N7")->isEnabled());
        for (const char *name : {"N1", "N5", "N8", "N12", "N9", "N10"})
            QVERIFY2(child<QAction>(mainform, name)->isEnabled(), name);
        QCOMPARE(mainform->N2(), child<QAction>(mainform, "N2"));
        QCOMPARE(mainform->N3(), child<QAction>(mainform, "N3"));
        QCOMPARE(mainform->N4(), child<QAction>(mainform, "N4"));
        QCOMPARE(mainform->N7(), child<QAction>(mainform, "N7"));
    }

    void loginAndLogout()
    {
        Forms forms;
        logIn();
        QVERIFY(datamod->con->connected());
        verifyLoggedInState(QStringLiteral("qtrl"));
        const QString date = mainform->panel(2)->text();

        child<QAction>(mainform, "N7")->trigger();
        QVERIFY(!datamod->con->connected());
        verifyLoggedOutState(QStringLiteral("状态: 未登录"), QStringLiteral("数据库用户: "));
        QCOMPARE(mainform->panel(2)->text(), date);

        // Logging out over a closed connection does nothing more.
        mainform->N7Click();
        QVERIFY(!datamod->con->connected());
        QCOMPARE(mainform->panel(0)->text(), QStringLiteral("状态: 未登录"));
    }

    // Logged out, the tools menu does not open; the others do.
    void disabledMenuCannotOpen()
    {
        Forms forms;
        showActive();
        clickMenuBarEntry("N4");
        QTest::qWait(50);
        QVERIFY(!child<QMenu>(mainform, "N4")->isVisible());
        QVERIFY(!QApplication::activePopupWidget());

        for (const char *name : {"N1", "N8"}) {
            clickMenuBarEntry(name);
            QMenu *menu = child<QMenu>(mainform, name);
            QTRY_VERIFY2(menu->isVisible(), name);
            menu->close();
            QTRY_VERIFY(!QApplication::activePopupWidget());
        }
    }

    // Each command shows its window modally and returns when it closes.
    void commandsShowTheirWindows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("loggedIn");
        QTest::newRow("N2") << "N2" << "Tloginform" << false;
        QTest::newRow("N5") << "N5" << "Tinfoform" << false;
        QTest::newRow("N12") << "N12" << "Trtnform" << false;
        QTest::newRow("N10") << "N10" << "Taboutform" << false;
        QTest::newRow("N9") << "N9" << "QMessageBox" << false;
        QTest::newRow("N3") << "N3" << "Tqueryform" << true;
        QTest::newRow("N6") << "N6" << "Tchgpassform" << true;
        QTest::newRow("N14") << "N14" << "QMessageBox" << true;
    }

    void commandsShowTheirWindows()
    {
        QFETCH(QString, name);
        QFETCH(QString, window);
        QFETCH(bool, loggedIn);
        Forms forms;
        if (loggedIn) {
            logIn();
        }
        ModalWatcher watcher;
        child<QAction>(mainform, name.toLatin1().constData())->trigger();
        bool met = false;
        for (const ModalRecord &record : watcher.records)
            met = met || record.className == window;
        QVERIFY2(met, qPrintable(name));
        QVERIFY(!QApplication::activeModalWidget());
    }

    void clearingCommandsAsk_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("AshareCjhb1") << "AshareCjhb1";
        QTest::newRow("AshareOrdwth21") << "AshareOrdwth21";
        QTest::newRow("AshareOrdwth1") << "AshareOrdwth1";
    }

    void clearingCommandsAsk()
    {
        QFETCH(QString, name);
        Forms forms;
        logIn();
        const QString rows =
            QStringLiteral("select (select count(*) from ashare_cjhb) + (select count(*) from ashare_ordwth)"
                           " + (select count(*) from ashare_ordwth2)");
        const qint64 before = sqliteCount(databasePath(), rows);
        ModalWatcher watcher([](QWidget *modal, const ModalRecord &record) {
            if (record.title == QLatin1String("Confirm"))
                pressButton(modal, QStringLiteral("&No"));
            else
                pressEscape(modal);
        });
        child<QAction>(mainform, name.toLatin1().constData())->trigger();
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().title, QStringLiteral("Confirm"));
        QCOMPARE(sqliteCount(databasePath(), rows), before);
    }

    // One click on "数据查询(&Q)" on the menu bar, or Alt+Q, opens the query
    // window without a submenu.
    void queryEntryIsACommand()
    {
        Forms forms;
        logIn();
        showActive();
        {
            ModalWatcher watcher;
            clickMenuBarEntry("N3");
            QTRY_COMPARE(watcher.records.size(), 1);
            QCOMPARE(watcher.records.first().className, QStringLiteral("Tqueryform"));
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
        QTRY_VERIFY(!QApplication::activePopupWidget());
        showActive();
        {
            ModalWatcher watcher;
            QTest::keyClick(mainform, Qt::Key_Q, Qt::AltModifier);
            QTRY_COMPARE(watcher.records.size(), 1);
            QCOMPARE(watcher.records.first().className, QStringLiteral("Tqueryform"));
            QTRY_VERIFY(!QApplication::activeModalWidget());
        }
    }

    // --- lifetime ---------------------------------------------------------

    void destroyingTheDataModuleClosesTheConnection()
    {
        bool closed = false;
        {
            Forms forms;
            logIn();
            QObject::connect(datamod->con, &Connection::connectedChanged,
                             [&closed](bool connected) { closed = closed || !connected; });
        }
        QVERIFY(closed);
        QVERIFY(!mainform);
        QVERIFY(!datamod);
    }

    void windowsStartHidden()
    {
        Forms forms;
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget != mainform)
                QVERIFY2(!widget->isVisible(), widget->metaObject()->className());
        }
    }

    void closingTheMainWindowEndsTheLoop()
    {
        Forms forms;
        mainform->show();
        QVERIFY(QTest::qWaitForWindowExposed(mainform));
        QTimer guard;
        guard.setSingleShot(true);
        bool timedOut = false;
        QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
            timedOut = true;
            QCoreApplication::quit();
        });
        guard.start(10000);
        QTimer::singleShot(20, mainform, &QWidget::close);
        QCoreApplication::exec();
        QVERIFY(!timedOut);
    }
};

SQLTOOL_TEST_MAIN(MainformTest)
#include "tst_mainform.moc"
