// 报盘总览: which databases it lists and how a row's state reads (rules as
// tables), and the window on three SQLite databases and a DSN that does not
// exist: rows, states and figures against SQL of the test's own, passwords
// asked for, rows hidden and shown again, logout; a gap the gateway
// stand-in leaves in one database alarming only its row, the monitor of a
// row opened on the row's own watch, and a row's day reconciled.

#include "support/exportreader.h"
#include "support/testsupport.h"

#include "monitortestsupport.h"

#include "app/mainform.h"
#include "flow/alarmbook.h"
#include "flow/flowwatch.h"
#include "monitor/alarmnotifier.h"
#include "monitor/monitorform.h"
#include "monitor/overviewform.h"
#include "monitor/overviewrows.h"

#include <QAction>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTableView>
#include <QToolButton>

using namespace testsupport;

namespace {

overview::DatabaseEntry entry(const QString &name, const QString &dsn, const QString &user, const QString &database)
{
    return {name, dsn, user, database};
}

QString listed(const std::vector<overview::DatabaseEntry> &entries)
{
    QStringList out;
    for (const auto &e : entries)
        out << e.name + u':' + e.dsn + u'.' + e.user + QStringLiteral("..") + e.database;
    return out.join(u'|');
}

QByteArray dsnLine(int n, const QString &name, const QString &dsn, const QString &user, const QString &database)
{
    return gbk(QStringLiteral("DSNDst%1=%2,%3.%4..%5\r\n").arg(n).arg(name, dsn, user, database));
}

// The shown row whose DSN is `dsn`; -1 when none.
int rowOf(const QString &dsn)
{
    const QAbstractItemModel *m = overviewform->rows();
    for (int r = 0; r < m->rowCount(); ++r)
        if (m->index(r, 1).data().toString() == dsn)
            return r;
    return -1;
}

QString cell(int row, int column)
{
    return overviewform->rows()->index(row, column).data().toString();
}

// Waits until every row with a watch has been read once (or failed).
bool everyRowRead()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        bool all = true;
        for (int r = 0; r < overviewform->rows()->rowCount(); ++r)
            if (const flow::FlowWatch *watch = overviewform->watchOf(r))
                all = all && watch->health().state != flow::Health::Idle && !watch->refreshing();
        if (all)
            return true;
        QTest::qWait(50);
    }
    return false;
}

qint64 count(const QString &path, const QString &sql)
{
    return sqliteCount(path, sql);
}

const QString UnconfirmedSql = QStringLiteral(
    "select count(*) from ashare_ordwth o where upper(o.status) = 'P' and not exists (select 1 from "
    "ashare_ordwth2 c where (upper(o.owflag) <> 'WTH' and upper(c.owflag) <> 'WTH' and c.reff = o.reff) "
    "or (upper(o.owflag) = 'WTH' and upper(c.owflag) = 'WTH' and cast(c.ordrec as int) = cast(o.ordrec as int)))");

enum Column { Name, Dsn, Database, State, Orders, Unsent, Unconfirmed, Rejected, Trades, LastOrder, Refreshed, Alarms };

// A row read from its database: 告警 exactly while it counts alarms not
// acknowledged, else 正常 (a generated day has orders left unsent and
// unconfirmed, which alarm).
bool readAndAnswering(int row)
{
    const QString state = cell(row, State);
    const bool alarmed = cell(row, Alarms).toInt() > 0;
    return (state == QStringLiteral("告警") && alarmed) || (state == QStringLiteral("正常") && !alarmed);
}

// Answers the save dialog with `path` and closes every other box.
ModalWatcher::Handler saveAs(const QString &path, QString *offered)
{
    return [path, offered](QWidget *modal, const ModalRecord &) {
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            *offered = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            dialog->selectFile(path);
            QTimer::singleShot(0, dialog, [dialog] { QMetaObject::invokeMethod(dialog, "accept"); });
        } else {
            closeModal(modal);
        }
    };
}

} // namespace

class OverviewTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), 3000, 11);
        generateDatabase(otherDatabasePath(), 2000, 12);
        generateDatabase(thirdDatabasePath(), 1000, 13);
    }
    void init()
    {
        removeDbset();
        QDir(dataDir()).removeRecursively(); // no alarm log of another test
    }

    // ---- rules ----

    void entriesListEachDatabaseOnceCurrentFirst_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("expected");
        const QString current = QStringLiteral("本地:sse.qtrl..OIW");
        QTest::newRow("no list") << QStringList{} << current;
        QTest::newRow("others in file order")
            << QStringList{QStringLiteral("DSNDst1=乙,b.u..DB2"), QStringLiteral("DSNDst2=甲,a.u..DB1")}
            << current + QStringLiteral("|乙:b.u..DB2|甲:a.u..DB1");
        QTest::newRow("the login's own entry is not listed again")
            << QStringList{QStringLiteral("DSNDst1=同一个, SSE. QTRL ..oiw"), QStringLiteral("DSNDst2=甲,a.u..DB1")}
            << current + QStringLiteral("|甲:a.u..DB1");
        QTest::newRow("repeated entries once")
            << QStringList{QStringLiteral("DSNDst1=甲,a.u..DB1"), QStringLiteral("DSNDst2=又甲,A.U..db1")}
            << current + QStringLiteral("|甲:a.u..DB1");
        QTest::newRow("another database of the same DSN is another row")
            << QStringList{QStringLiteral("DSNDst1=甲,sse.qtrl..OIW2")}
            << current + QStringLiteral("|甲:sse.qtrl..OIW2");
        QTest::newRow("another user of the same database is another row")
            << QStringList{QStringLiteral("DSNDst1=甲,sse.audit..OIW")}
            << current + QStringLiteral("|甲:sse.audit..OIW");
    }

    void entriesListEachDatabaseOnceCurrentFirst()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, expected);
        const auto entries = overview::overviewEntries(entry(QStringLiteral("本地"), QStringLiteral("sse"),
                                                             QStringLiteral("qtrl"), QStringLiteral("OIW")),
                                                       lines);
        QCOMPARE(listed(entries), expected);
    }

    void rowStates_data()
    {
        QTest::addColumn<bool>("password");
        QTest::addColumn<int>("health");
        QTest::addColumn<int>("alarms");
        QTest::addColumn<QString>("state");
        QTest::newRow("no password") << false << int(flow::Health::Ok) << 3 << "需要密码";
        QTest::newRow("not read yet") << true << int(flow::Health::Idle) << 0 << "正在连接";
        QTest::newRow("answering") << true << int(flow::Health::Ok) << 0 << "正常";
        QTest::newRow("waiting") << true << int(flow::Health::Waiting) << 0 << "等待";
        QTest::newRow("failed") << true << int(flow::Health::Failed) << 0 << "无法连接";
        QTest::newRow("alarms of an answering database") << true << int(flow::Health::Ok) << 2 << "告警";
        QTest::newRow("waiting over its alarm") << true << int(flow::Health::Waiting) << 1 << "等待";
        QTest::newRow("failed over its alarm") << true << int(flow::Health::Failed) << 1 << "无法连接";
        QTest::newRow("alarms carried over, not read yet") << true << int(flow::Health::Idle) << 1 << "告警";
    }

    void rowStates()
    {
        QFETCH(bool, password);
        QFETCH(int, health);
        QFETCH(int, alarms);
        QFETCH(QString, state);
        flow::Health h;
        h.state = flow::Health::State(health);
        QCOMPARE(overview::stateText(overview::rowState(password, h, alarms)), state);
    }

    void worstStateOfAll()
    {
        using S = overview::RowState;
        QCOMPARE(overview::worstState({}), S::Ok);
        QCOMPARE(overview::worstState({S::Ok, S::NeedsPassword, S::Ok}), S::NeedsPassword);
        QCOMPARE(overview::worstState({S::Unreachable, S::Waiting, S::Ok}), S::Waiting);
        QCOMPARE(overview::worstState({S::Waiting, S::Alarm, S::Unreachable}), S::Alarm);
    }

    void hiddenRowsRoundTrip()
    {
        const QStringList keys{QStringLiteral("a.u..db1"), QStringLiteral("b.u..db2")};
        QCOMPARE(overview::hiddenKeys(overview::hiddenSetting(keys)), keys);
        QCOMPARE(overview::hiddenKeys(QStringLiteral("|a.u..db1||a.u..db1|")), QStringList{QStringLiteral("a.u..db1")});
        QVERIFY(overview::hiddenKeys(QString()).isEmpty());
    }

    // ---- the window ----

    void everyDatabaseWithItsStateAndFigures()
    {
        writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n"
                                      "DSN_Description=主席位\r\n"))
                   + dsnLine(1, QStringLiteral("主席位"), QStringLiteral("sse"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW"))
                   + dsnLine(2, QStringLiteral("二号席位"), QStringLiteral("other"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW"))
                   + dsnLine(3, QStringLiteral("三号席位"), QStringLiteral("third"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW"))
                   + dsnLine(4, QStringLiteral("已撤席位"), QStringLiteral("nowhere"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW")));
        Forms forms;
        logIn();
        ModalWatcher boxes;
        overviewform->show();
        QVERIFY(everyRowRead());
        QCOMPARE(overviewform->rows()->rowCount(), 4);
        QCOMPARE(cell(0, 0), QStringLiteral("主席位"));
        QCOMPARE(cell(0, 1), QStringLiteral("sse"));

        const QList<QPair<QString, QString>> files{{QStringLiteral("sse"), databasePath()},
                                                   {QStringLiteral("other"), otherDatabasePath()},
                                                   {QStringLiteral("third"), thirdDatabasePath()}};
        for (const auto &[dsn, path] : files) {
            const int r = rowOf(dsn);
            QVERIFY2(r >= 0, qPrintable(dsn));
            QVERIFY2(readAndAnswering(r), qPrintable(cell(r, 3)));
            QCOMPARE(cell(r, 4).toLongLong(),
                     count(path, QStringLiteral("select count(*) from ashare_ordwth where upper(owflag) <> 'WTH'")));
            QCOMPARE(cell(r, 5).toLongLong(),
                     count(path, QStringLiteral("select count(*) from ashare_ordwth where upper(status) = 'R'")));
            QCOMPARE(cell(r, 6).toLongLong(), count(path, UnconfirmedSql));
            QCOMPARE(cell(r, 7).toLongLong(),
                     count(path, QStringLiteral("select count(*) from ashare_ordwth2 where status in ('F', 'E', '?')")));
            QCOMPARE(cell(r, 8).toLongLong(), count(path, QStringLiteral("select count(*) from ashare_cjhb")));
            QCOMPARE(cell(r, 9), sqliteColumn(path, QStringLiteral(
                                                        "select time from ashare_ordwth order by rec_num desc limit 1"))
                                     .value(0)
                                     .trimmed());
            QVERIFY(!cell(r, 10).isEmpty());
        }
        const int missing = rowOf(QStringLiteral("nowhere"));
        QCOMPARE(cell(missing, 3), QStringLiteral("无法连接"));
        QVERIFY(!overviewform->rows()->index(missing, 3).data(Qt::ToolTipRole).toString().isEmpty());
        QVERIFY(cell(missing, 4).isEmpty());
        QVERIFY2(boxes.records.isEmpty(), qPrintable(boxes.records.value(0).text));
        overviewform->stop();
    }

    void anotherUserNeedsItsPasswordAskedOnce()
    {
        writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\n"))
                   + dsnLine(1, QStringLiteral("审计"), QStringLiteral("other"), QStringLiteral("audit"),
                             QStringLiteral("OIW")));
        Forms forms;
        logIn();
        overviewform->show();
        QVERIFY(everyRowRead());
        const int r = rowOf(QStringLiteral("other"));
        QCOMPARE(cell(r, 3), QStringLiteral("需要密码"));
        QVERIFY(!overviewform->watchOf(r));

        QStringList prompts;
        ModalWatcher boxes([&prompts](QWidget *modal, const ModalRecord &) {
            auto *dialog = qobject_cast<QInputDialog *>(modal);
            QVERIFY(dialog);
            prompts << dialog->labelText();
            QCOMPARE(dialog->textEchoMode(), QLineEdit::Password);
            dialog->setTextValue(QStringLiteral("secret"));
            dialog->accept();
        });
        auto *grid = child<QTableView>(overviewform, "OverviewGrid");
        emit grid->doubleClicked(overviewform->rows()->index(r, 0));
        QCOMPARE(prompts.size(), 1);
        QVERIFY(prompts[0].contains(QStringLiteral("audit")));
        QVERIFY(everyRowRead());
        QVERIFY(overviewform->watchOf(r));
        QVERIFY2(readAndAnswering(r), qPrintable(cell(r, 3))); // SQLite takes any password
        // The password stays in memory: nothing of it in the settings file.
        QVERIFY(!readDbset().contains("secret"));
        overviewform->stop();
    }

    void hiddenRowsAreNotReadAndStayHidden()
    {
        writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\n"))
                   + dsnLine(1, QStringLiteral("二号"), QStringLiteral("other"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW"))
                   + dsnLine(2, QStringLiteral("三号"), QStringLiteral("third"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW")));
        Forms forms;
        logIn();
        overviewform->show();
        QVERIFY(everyRowRead());
        QCOMPARE(overviewform->rows()->rowCount(), 3);
        auto *menu = child<QToolButton>(overviewform, "RowsButton")->menu();
        emit menu->aboutToShow();
        QCOMPARE(menu->actions().size(), 3);
        menu->actions().at(1)->setChecked(false); // 二号
        QCOMPARE(overviewform->rows()->rowCount(), 2);
        QCOMPARE(rowOf(QStringLiteral("other")), -1);
        QVERIFY(readDbset().contains("[Overview]"));

        // A new login reads the setting again: the row stays hidden.
        overviewform->stop();
        QCOMPARE(overviewform->rows()->rowCount(), 0);
        overviewform->show();
        QVERIFY(everyRowRead());
        QCOMPARE(overviewform->rows()->rowCount(), 2);
        QCOMPARE(rowOf(QStringLiteral("other")), -1);
        emit menu->aboutToShow();
        menu->actions().at(1)->setChecked(true);
        QVERIFY(everyRowRead());
        QVERIFY2(readAndAnswering(rowOf(QStringLiteral("other"))), qPrintable(cell(rowOf(QStringLiteral("other")), 3)));
        overviewform->stop();
    }

    void aGapInOneDatabaseAlarmsOnlyItsRowAndItsMonitor()
    {
        // Three days of the stand-in, one with a gap.
        for (const QString &path : {databasePath(), otherDatabasePath(), thirdDatabasePath()})
            createEmptyDatabase(path);
        for (const QString &dsn : {QStringLiteral("sse"), QStringLiteral("other"), QStringLiteral("third")}) {
            gateway::Options day = monitortest::standInDay(dsn, 40);
            day.faults.gap = dsn == QLatin1String("other") ? 20 : 0;
            monitortest::runStandIn(day);
        }
        const qint64 missing =
            sqliteCount(otherDatabasePath(), "select min(rec_num) + 1 from ashare_ordwth o where rec_num < "
                                             "(select max(rec_num) from ashare_ordwth) and not exists "
                                             "(select 1 from ashare_ordwth n where n.rec_num = o.rec_num + 1)");
        writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n"))
                   + dsnLine(1, QStringLiteral("二号席位"), QStringLiteral("other"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW"))
                   + dsnLine(2, QStringLiteral("三号席位"), QStringLiteral("third"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW")));
        Forms forms;
        logIn();
        overviewform->show();
        QVERIFY(everyRowRead());
        const int other = rowOf(QStringLiteral("other"));
        QCOMPARE(cell(other, State), QStringLiteral("告警"));
        QCOMPARE(cell(other, Alarms), QStringLiteral("1"));
        QVERIFY2(overviewform->rows()->index(other, Alarms).data(Qt::ToolTipRole).toString().endsWith(
                     QStringLiteral("记录编号不连续 1021，缺 %1").arg(missing)),
                 qPrintable(overviewform->rows()->index(other, Alarms).data(Qt::ToolTipRole).toString()));
        for (const QString &dsn : {QStringLiteral("sse"), QStringLiteral("third")}) {
            QCOMPARE(cell(rowOf(dsn), State), QStringLiteral("正常"));
            QCOMPARE(cell(rowOf(dsn), Alarms), QStringLiteral("0"));
        }
        QCOMPARE(overviewform->notifier()->light(), AlarmLight::Red);

        // The row's monitor: its watch, its figures at once, its name in the caption and the banner.
        auto *grid = child<QTableView>(overviewform, "OverviewGrid");
        emit grid->doubleClicked(overviewform->rows()->index(other, Name));
        QPointer<Tmonitorform> monitor = overviewform->monitorOf(other);
        QVERIFY(monitor && monitor->isVisible());
        QVERIFY(monitor != monitorform);
        QCOMPARE(monitor->windowTitle(), QStringLiteral("报盘监控 - 二号席位"));
        QCOMPARE(monitor->flowWatch(), overviewform->watchOf(other));
        QCOMPARE(monitor->snapshot().figures.orders, cell(other, Orders).toLongLong());
        const QString banner = child<QLabel>(monitor, "AlarmLabel")->text();
        QVERIFY2(banner.startsWith(QStringLiteral("二号席位：1 条告警未确认：")), qPrintable(banner));
        emit grid->doubleClicked(overviewform->rows()->index(other, Name));
        QCOMPARE(overviewform->monitorOf(other), monitor.data()); // one window per database

        // Acknowledged there: the row is no longer 告警, the log names the database and the user.
        QTest::mouseClick(child<QPushButton>(monitor, "AckButton"), Qt::LeftButton);
        QCOMPARE(cell(other, State), QStringLiteral("正常"));
        QCOMPARE(overviewform->notifier()->light(), AlarmLight::Amber);
        const std::vector<flow::AlarmRecord> logged =
            flow::readAlarmLog(overviewform->bookOf(other)->logPath(), QStringLiteral("other/OIW"));
        QCOMPARE(int(logged.size()), 1);
        QCOMPARE(logged[0].recNum, qint32(missing));
        QCOMPARE(logged[0].acknowledgedBy, QStringLiteral("qtrl"));

        // The login's database is read once, by its monitor and its row alike.
        monitorform->show();
        QCOMPARE(monitorform->flowWatch(), overviewform->watchOf(rowOf(QStringLiteral("sse"))));
        monitorform->hide();
        QVERIFY(overviewform->watchOf(rowOf(QStringLiteral("sse")))->running());
        overviewform->hide();
        QVERIFY(overviewform->watchOf(other)->running()); // its monitor still shows it
        monitor->hide();
        QVERIFY(!overviewform->watchOf(other)->running());
        overviewform->stop();
        QVERIFY(!monitor);
        initTestCase(); // the generated days again
    }

    void aRowsDayIsReconciledFromItsWatch()
    {
        writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\n"))
                   + dsnLine(1, QStringLiteral("二号席位"), QStringLiteral("other"), QStringLiteral("qtrl"),
                             QStringLiteral("OIW")));
        Forms forms;
        logIn();
        overviewform->show();
        QVERIFY(everyRowRead());
        const int other = rowOf(QStringLiteral("other"));
        child<QTableView>(overviewform, "OverviewGrid")->setCurrentIndex(overviewform->rows()->index(other, Name));
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("other.xlsx"));
        QString offered;
        {
            ModalWatcher boxes(saveAs(path, &offered));
            child<QAction>(overviewform, "DayEndAction")->trigger();
        }
        QVERIFY2(offered.startsWith(QStringLiteral("日终核对_")) && offered.endsWith(QStringLiteral("_OIW.xlsx")),
                 qPrintable(offered));
        QVERIFY(QFile::exists(path));
        // One row per order and cancel of that database, none of the login's.
        QJsonArray orders;
        for (const QJsonValue &sheet : readWorkbook(path))
            if (sheet.toObject().value("title").toString() == QStringLiteral("委托"))
                orders = sheet.toObject().value("rows").toArray();
        QCOMPARE(qint64(orders.size() - 1),
                 sqliteCount(otherDatabasePath(), "select count(*) from ashare_ordwth"));
        overviewform->stop();
    }

    void logoutEmptiesAndClosesIt()
    {
        Forms forms;
        logIn();
        overviewform->show();
        QVERIFY(everyRowRead());
        QCOMPARE(overviewform->rows()->rowCount(), 1);
        child<QAction>(mainform, "N7")->trigger(); // 退出登录
        QVERIFY(!overviewform->isVisible());
        QCOMPARE(overviewform->rows()->rowCount(), 0);
        overviewform->show();
        QCOMPARE(overviewform->statusText(), QStringLiteral("未登录"));
        overviewform->hide();
    }
};

SQLTOOL_TEST_MAIN(OverviewTest)
#include "tst_overviewform.moc"
