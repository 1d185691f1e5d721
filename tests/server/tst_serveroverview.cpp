// 报盘总览 with the login on the PostgreSQL test server beside a SQLite
// database: a table locked on the server turns only the server's row to
// 等待 while the other goes on refreshing, and a wrong password is
// 无法连接 with the server's reason, in the row and never in a box.

#include "serversupport.h"

#include "flow/flowwatch.h"
#include "monitor/overviewform.h"

#include <QInputDialog>
#include <QSignalSpy>
#include <QTableView>

using namespace testsupport;
using namespace servertest;

namespace {

enum Column { Name, Dsn, Database, State };

QByteArray dbset(const QString &entries)
{
    return gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=%1\r\nDSN=%2\r\nDATABASE=%3\r\n[Monitor]\r\nRefreshSeconds=1\r\n%4")
                   .arg(pgserver::user(), pgserver::dsn(), pgserver::database(), entries));
}

int rowOf(const QString &dsn, const QString &user = pgserver::user())
{
    for (int r = 0; r < overviewform->rows()->rowCount(); ++r)
        if (overviewform->entryOf(r).dsn == dsn && overviewform->entryOf(r).user == user)
            return r;
    return -1;
}

QString state(int row)
{
    return overviewform->rows()->index(row, State).data().toString();
}

bool turns(int row, const QString &wanted, int milliseconds = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        if (state(row) == wanted)
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestServerOverview : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        PGSERVER_REQUIRE();
        // A day of the stand-in without faults: the SQLite row answers without alarms.
        createEmptyDatabase(databasePath());
        monitortest::runStandIn(monitortest::standInDay(QStringLiteral("sse"), 40));
    }
    void init()
    {
        removeDbset();
        QDir(dataDir()).removeRecursively(); // no alarm log of another test
        pgserver::exec("delete from ashare_cjhb; delete from ashare_ordwth; delete from ashare_ordwth2;");
        monitortest::runStandIn(serverDay(60));
    }

    void aLockedTableHoldsOnlyItsRow()
    {
        writeDbset(dbset(QStringLiteral("DSNDst1=本地,sse.%1..OIW\r\n").arg(pgserver::user())));
        Forms forms;
        logInToServer();
        overviewform->show();
        const int server = rowOf(pgserver::dsn());
        const int local = rowOf(QStringLiteral("sse"));
        QVERIFY(server >= 0 && local >= 0 && server != local);
        QVERIFY2(turns(server, QStringLiteral("正常")), qPrintable(state(server)));
        QVERIFY2(turns(local, QStringLiteral("正常")), qPrintable(state(local)));

        TableLock lock(QStringLiteral("ashare_cjhb"));
        overviewform->watchOf(server)->refreshNow();
        QVERIFY2(turns(server, QStringLiteral("等待")), qPrintable(state(server)));
        // The other database goes on refreshing meanwhile.
        QSignalSpy other(overviewform->watchOf(local), &flow::FlowWatch::refreshed);
        const flow::FlowWatch *localWatch = overviewform->watchOf(local);
        QVERIFY2(other.wait(5000), qPrintable(QStringLiteral("running %1 refreshing %2 health %3 %4")
                                                  .arg(localWatch->running())
                                                  .arg(localWatch->refreshing())
                                                  .arg(int(localWatch->health().state))
                                                  .arg(localWatch->health().message)));
        QCOMPARE(other.first().first().toBool(), true);
        QCOMPARE(state(local), QStringLiteral("正常"));
        QCOMPARE(state(server), QStringLiteral("等待"));
        QVERIFY(!overviewform->rows()->index(server, State).data(Qt::ToolTipRole).toString().isEmpty());

        lock.release();
        QVERIFY2(turns(server, QStringLiteral("正常")), qPrintable(state(server)));
        overviewform->stop();
    }

    void aWrongPasswordIsUnreachableWithTheReasonAndNoBox()
    {
        // Another user of the server: the password asked for is wrong.
        writeDbset(dbset(QStringLiteral("DSNDst1=审计,%1.audit..%2\r\n").arg(pgserver::dsn(), pgserver::database())));
        Forms forms;
        logInToServer();
        overviewform->show();
        const int audit = rowOf(pgserver::dsn(), QStringLiteral("audit"));
        QVERIFY(audit >= 0);
        QCOMPARE(state(audit), QStringLiteral("需要密码"));
        ModalWatcher boxes([](QWidget *modal, const ModalRecord &) {
            if (auto *dialog = qobject_cast<QInputDialog *>(modal)) {
                dialog->setTextValue(QStringLiteral("wrong"));
                dialog->accept();
            } else {
                closeModal(modal);
            }
        });
        emit child<QTableView>(overviewform, "OverviewGrid")->doubleClicked(overviewform->rows()->index(audit, Name));
        QVERIFY2(turns(audit, QStringLiteral("无法连接")), qPrintable(state(audit)));
        const QString reason = overviewform->rows()->index(audit, State).data(Qt::ToolTipRole).toString();
        QVERIFY2(reason.contains(QStringLiteral("audit")), qPrintable(reason));
        QTest::qWait(1500); // a refresh more: still no box
        QCOMPARE(boxes.records.size(), 1); // the password box alone
        QCOMPARE(state(rowOf(pgserver::dsn())), QStringLiteral("正常"));
        overviewform->stop();
    }
};

SQLTOOL_SERVER_TEST_MAIN(TestServerOverview, "tst_serveroverview")
#include "tst_serveroverview.moc"
