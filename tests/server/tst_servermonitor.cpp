// The monitor against the PostgreSQL test server with the gateway stand-in:
// its faults, rows arriving while it reads, the server stopped and started
// again, and the query window working while a refresh waits on a lock.

#include "support/pgserver.h"
#include "support/testsupport.h"

#include "../monitor/monitortestsupport.h"

#include "connection/datamodule.h"
#include "db/query.h"
#include "query/queryform.h"
#include "query/querypage.h"

#include <thread>

using namespace testsupport;
using namespace monitortest;

namespace {

gateway::Options serverDay(std::int64_t rows)
{
    gateway::Options o = standInDay(pgserver::dsn(), rows);
    o.user = pgserver::user();
    o.password = pgserver::password();
    o.database = pgserver::database();
    return o;
}

void logInToServer()
{
    logIn(pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database());
}

qint64 serverCount(const QString &sql)
{
    return pgserver::value(sql).toLongLong();
}

} // namespace

class TestServerMonitor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PGSERVER_REQUIRE(); }
    void init()
    {
        removeDbset();
        pgserver::exec("delete from ashare_cjhb; delete from ashare_ordwth; delete from ashare_ordwth2;");
    }

    void standInFaultGivesItsFinding_data() { addFaultRows(); }
    void standInFaultGivesItsFinding();
    void rowsArrivingWhileReadingAreCountedOnce();
    void serverStoppedAndStartedAgainRecoversWithoutABox();
    void queryWindowListsWhileARefreshWaits();
};

void TestServerMonitor::standInFaultGivesItsFinding()
{
    QFETCH(QString, fault);
    QFETCH(QString, expected);
    gateway::Options day = serverDay(60);
    plantFault(day, fault);
    runStandIn(day);
    Forms forms;
    logInToServer();
    expectFindingOfFault(fault, expected);
}

void TestServerMonitor::rowsArrivingWhileReadingAreCountedOnce()
{
    Forms forms;
    logInToServer();
    monitorform->show();
    gateway::Options day = serverDay(300);
    day.rate = 300;
    day.rejectPercent = 5;
    std::thread standIn([day] { runStandIn(day); });
    for (int i = 0; i < 200 && serverCount("select count(*) from ashare_ordwth") < 300; ++i)
        QVERIFY(refreshMonitor());
    standIn.join();
    QVERIFY(refreshMonitor());
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    const flow::Figures &f = monitorform->snapshot().figures;
    QCOMPARE(f.orders + f.cancels, serverCount("select count(*) from ashare_ordwth"));
    QCOMPARE(f.cancels, serverCount("select count(*) from ashare_ordwth where upper(owflag) = 'WTH'"));
    QCOMPARE(f.confirmed, serverCount("select count(*) from ashare_ordwth2 where status in ('O', 'W')"));
    QCOMPARE(f.rejected, serverCount("select count(*) from ashare_ordwth2 where status in ('F', 'E', '?')"));
    QCOMPARE(f.tradeRows, serverCount("select count(*) from ashare_cjhb"));
    QCOMPARE(f.tradedQuantity, serverCount("select coalesce(sum(cjsl), 0) from ashare_cjhb"));
    QCOMPARE(f.tradedCents, serverCount("select coalesce(sum(cjje * 100), 0)::bigint from ashare_cjhb"));
    QCOMPARE(f.unsent, 0);
    int count = 0;
    QVERIFY2(kindsBesideRejections(QString(), &count).isEmpty(), qPrintable(findingTexts().join(u'|')));
}

void TestServerMonitor::serverStoppedAndStartedAgainRecoversWithoutABox()
{
    runStandIn(serverDay(20));
    Forms forms;
    logInToServer();
    ModalWatcher boxes;
    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY(lastRefreshOk());
    pgserver::halt();
    QVERIFY(refreshMonitor());
    QVERIFY2(monitorform->statusText().contains(QStringLiteral("刷新失败")), qPrintable(monitorform->statusText()));
    pgserver::restart();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QCOMPARE(monitorform->snapshot().figures.orders + monitorform->snapshot().figures.cancels, 20);
    QVERIFY(boxes.records.isEmpty());
}

void TestServerMonitor::queryWindowListsWhileARefreshWaits()
{
    runStandIn(serverDay(20));
    Forms forms;
    logInToServer();
    monitorform->show();
    QVERIFY(refreshMonitor());
    // Another session holds the trade table: the monitor's next read waits.
    Connection holder;
    gateway::Options o = serverDay(0);
    auto link = Connection::connect(gateway::odbcConnectionString(o));
    Connection::selectDatabase(link->get(), o.database);
    SQLSetConnectAttrW(link->get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    {
        odbc::Handle statement(SQL_HANDLE_STMT, link->get());
        std::vector<SQLWCHAR> sql = odbc::toWide(QStringLiteral("lock table ashare_cjhb in access exclusive mode"));
        QVERIFY(SQL_SUCCEEDED(SQLExecDirectW(statement.get(), sql.data(), SQL_NTS)));
    }
    QSignalSpy spy(monitorform, &Tmonitorform::refreshed);
    monitorform->RefreshButtonClick();
    QTRY_VERIFY_WITH_TIMEOUT(pgserver::activeStatements() >= 1, 10000);
    QVERIFY(monitorform->refreshing());
    // The query window lists on the program's own connection meanwhile.
    QueryPage &orders = queryform->page(2);
    orders.listAll();
    QVERIFY(orders.query()->active());
    QCOMPARE(orders.query()->recordCount(), 20);
    QVERIFY(monitorform->refreshing());
    QVERIFY(spy.isEmpty());
    SQLEndTran(SQL_HANDLE_DBC, link->get(), SQL_ROLLBACK);
    QVERIFY(spy.wait(20000));
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
}

SQLTOOL_SERVER_TEST_MAIN(TestServerMonitor, "tst_servermonitor")
#include "tst_servermonitor.moc"
