// The monitor against the PostgreSQL test server with the gateway stand-in:
// its faults, rows arriving while it reads, the server stopped and started
// again, the query window working while a refresh waits on a lock, what
// the status line says while a table is locked and after its statement
// times out, closing while a read waits, and indexes missing.

#include "serversupport.h"

#include "app/mainform.h"
#include "base/settings.h"
#include "connection/datamodule.h"
#include "db/query.h"
#include "db/worker.h"
#include "flow/flowwatch.h"
#include "flow/healthtext.h"
#include "query/queryform.h"
#include "monitor/dayendcommand.h"
#include "query/querypage.h"
#include "ui/command.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QTemporaryDir>

#include <thread>

using namespace testsupport;
using namespace monitortest;
using namespace servertest;

namespace {

// Indexes of the test's database dropped, and made again at the end.
class DroppedIndexes
{
public:
    explicit DroppedIndexes(const QStringList &names)
        : m_names(names)
    {
        for (const QString &name : m_names)
            m_definitions << pgserver::value(QStringLiteral("select indexdef from pg_indexes where indexname = '%1'").arg(name));
        pgserver::exec(QStringLiteral("drop index %1").arg(m_names.join(QStringLiteral(", "))));
    }
    ~DroppedIndexes()
    {
        for (const QString &definition : m_definitions)
            pgserver::exec(definition);
    }

private:
    QStringList m_names;
    QStringList m_definitions;
};

const QString WaitingText = QStringLiteral("等待数据库响应");

QLabel *figuresLabel()
{
    return child<QLabel>(monitorform, "FiguresLabel");
}

// Whether the figures and findings are greyed as not read by the last refresh.
bool shownStale()
{
    const QColor grey = monitorform->palette().color(QPalette::Disabled, QPalette::Text);
    return figuresLabel()->palette().color(QPalette::WindowText) == grey
        && child<QTableView>(monitorform, "FindingsGrid")->palette().color(QPalette::Text) == grey
        && child<QTableView>(monitorform, "RejectionsGrid")->palette().color(QPalette::Text) == grey;
}

bool shownCurrent()
{
    return figuresLabel()->palette().color(QPalette::WindowText) == monitorform->palette().color(QPalette::WindowText)
        && child<QTableView>(monitorform, "FindingsGrid")->palette().color(QPalette::Text)
        == monitorform->palette().color(QPalette::Text);
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
    void lockedTableIsSaidThenTimesOutAndTheNextRefreshRecovers();
    void closingCancelsAReadThatWaits();
    void missingIndexIsSaidAndTheMonitorGoesOn();
    void dayEndGivenUpOnAFrozenServerKeepsTheLogin();
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

void TestServerMonitor::lockedTableIsSaidThenTimesOutAndTheNextRefreshRecovers()
{
    constexpr int QuerySeconds = 4;
    constexpr int Interval = 1;
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeyQuerySeconds, QString::number(QuerySeconds));
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeyRefresh, QString::number(Interval));
    runStandIn(serverDay(20));
    Forms forms;
    logInToServer();
    ModalWatcher boxes;
    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QVERIFY(shownCurrent());
    const QString dataTime = flow::staleText(monitorform->flowWatch()->snapshotTime());
    QVERIFY(!dataTime.isEmpty());

    TableLock lock(QStringLiteral("ashare_cjhb"));
    // Said within one interval and a second of the refresh's start, with
    // the time it started, the table it reads and how old the data are.
    QTRY_VERIFY_WITH_TIMEOUT(monitorform->statusText().startsWith(WaitingText), 10000);
    const QDateTime seen = QDateTime::currentDateTime();
    const flow::Health waiting = monitorform->flowWatch()->health();
    QCOMPARE(waiting.state, flow::Health::Waiting);
    QVERIFY2(waiting.since.msecsTo(seen) <= (Interval + 1) * 1000, qPrintable(QString::number(waiting.since.msecsTo(seen))));
    QString status = monitorform->statusText();
    QVERIFY2(status.contains(QStringLiteral("（自 %1 起），正在读取 ashare_cjhb；%2")
                                 .arg(waiting.since.time().toString(QStringLiteral("HH:mm:ss")), dataTime)),
             qPrintable(status));
    QVERIFY(shownStale());
    QCOMPARE(monitorform->snapshot().figures.orders + monitorform->snapshot().figures.cancels, 20);

    // The statement runs out of its time-out; the data stay marked.
    QTRY_VERIFY_WITH_TIMEOUT(monitorform->statusText().contains(QStringLiteral("读取超时")), (QuerySeconds + 10) * 1000);
    const qint64 waited = waiting.since.msecsTo(QDateTime::currentDateTime());
    QVERIFY2(waited >= QuerySeconds * 1000 && waited <= (QuerySeconds + Interval + 3) * 1000,
             qPrintable(QString::number(waited)));
    status = monitorform->statusText();
    QVERIFY2(status.contains(QStringLiteral("读取超时：ashare_cjhb 在 %1 秒内未返回，下次刷新重试；%2").arg(QuerySeconds).arg(dataTime)),
             qPrintable(status));
    QVERIFY(monitorform->flowWatch()->health().timedOut);
    QCOMPARE(monitorform->flowWatch()->health().table, QStringLiteral("ashare_cjhb"));
    QVERIFY(shownStale());

    // The next refresh tries again, and waits again.
    QTRY_VERIFY_WITH_TIMEOUT(monitorform->statusText().startsWith(WaitingText)
                                 && monitorform->flowWatch()->health().since > waiting.since,
                             (Interval + 3) * 1000);
    // The trace's statements have the same time-out.
    QSignalSpy traced(traceform, &Ttraceform::traced);
    traceform->showOrder(flow::TraceKey{1, {}});
    QVERIFY(traced.wait((QuerySeconds + 5) * 1000));
    QCOMPARE(traced.first().first().toBool(), false);
    QCOMPARE(traceform->stateText(), QStringLiteral("读取超时：ashare_cjhb 在 %1 秒内未返回").arg(QuerySeconds));
    lock.release();
    QTRY_VERIFY_WITH_TIMEOUT(lastRefreshOk(), (QuerySeconds + 5) * 1000);
    QVERIFY2(!monitorform->statusText().contains(QStringLiteral("数据截至")), qPrintable(monitorform->statusText()));
    QVERIFY(shownCurrent());
    QCOMPARE(monitorform->flowWatch()->health().state, flow::Health::Ok);
    QCOMPARE(monitorform->snapshot().figures.orders + monitorform->snapshot().figures.cancels, 20);
    QVERIFY(boxes.records.isEmpty());
    removeDbset();
}

void TestServerMonitor::closingCancelsAReadThatWaits()
{
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeyRefresh, QStringLiteral("1"));
    runStandIn(serverDay(20));
    Forms forms;
    logInToServer();
    monitorform->show();
    QVERIFY(refreshMonitor());
    const int leftBefore = DatabaseWorker::threadsLeftBehind();
    TableLock lock(QStringLiteral("ashare_cjhb"));

    // Closing the monitor cancels the statement that waits (the query
    // time-out, 30 seconds, is far off).
    QTRY_VERIFY_WITH_TIMEOUT(monitorform->statusText().startsWith(WaitingText), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(pgserver::activeStatements() >= 1, 5000);
    monitorform->hide();
    QTRY_COMPARE_WITH_TIMEOUT(pgserver::activeStatements(), 0, 3000);
    QTRY_VERIFY_WITH_TIMEOUT(!monitorform->refreshing(), 3000);

    // So does closing the trace window.
    QSignalSpy traced(traceform, &Ttraceform::traced);
    flow::TraceKey key;
    key.recNum = 1;
    traceform->showOrder(key);
    QTRY_VERIFY_WITH_TIMEOUT(pgserver::activeStatements() >= 1, 5000);
    traceform->close();
    QTRY_COMPARE_WITH_TIMEOUT(pgserver::activeStatements(), 0, 3000);
    QTest::qWait(200);
    QVERIFY(traced.isEmpty());

    // A logout ends the monitor's watch at once, and its worker with it.
    monitorform->show();
    QTRY_VERIFY_WITH_TIMEOUT(pgserver::activeStatements() >= 1, 5000);
    QElapsedTimer clock;
    clock.start();
    monitorform->stop();
    QVERIFY2(clock.elapsed() < CommandGiveUpMs, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(DatabaseWorker::threadsLeftBehind(), leftBefore);
    QTRY_COMPARE_WITH_TIMEOUT(pgserver::activeStatements(), 0, 3000);

    // Once the table is free again, both read as before.
    lock.release();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    const QString state = traceState(key);
    QVERIFY2(state.startsWith(QStringLiteral("已确认")), qPrintable(state));
    removeDbset();
}

void TestServerMonitor::missingIndexIsSaidAndTheMonitorGoesOn()
{
    const QString refreshNote = QStringLiteral("ashare_ordwth.rec_num 无索引：每次刷新都会扫描整表，请按说明建立索引");
    const QString traceNote = QStringLiteral("ashare_cjhb.sqbh 无索引：每次追踪都会扫描整表，请按说明建立索引");
    runStandIn(serverDay(20));
    {
        const DroppedIndexes dropped({QStringLiteral("ashare_ordwth_rec_num"), QStringLiteral("ashare_cjhb_sqbh")});
        Forms forms;
        logInToServer();
        ModalWatcher boxes;
        monitorform->show();
        for (int i = 0; i < 3; ++i) {
            QVERIFY(refreshMonitor());
            const QString status = monitorform->statusText();
            QVERIFY2(lastRefreshOk(), qPrintable(status));
            QCOMPARE(status.count(refreshNote), 1);
            QCOMPARE(status.count(traceNote), 1);
            QCOMPARE(status.count(QStringLiteral("无索引")), 2);
        }
        QCOMPARE(monitorform->snapshot().figures.orders + monitorform->snapshot().figures.cancels, 20);
        QVERIFY(boxes.records.isEmpty());
    }
    // With the indexes back, a new connection says nothing.
    Forms forms;
    logInToServer();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk() && !monitorform->statusText().contains(QStringLiteral("无索引")),
             qPrintable(monitorform->statusText()));
}

SQLTOOL_SERVER_TEST_MAIN(TestServerMonitor, "tst_servermonitor")
#include "tst_servermonitor.moc"

// The day-end workbook is written on the monitor's own connection: when its
// read is given up (a frozen server does not hear the cancel), that
// connection goes, never the program's login; the monitor reads again once
// the server is back.
void TestServerMonitor::dayEndGivenUpOnAFrozenServerKeepsTheLogin()
{
    runStandIn(serverDay(20));
    Forms forms;
    logInToServer();
    monitorform->show();
    QVERIFY(refreshMonitor());
    monitorform->hide(); // no refresh of its own runs meanwhile
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("day.xlsx"));
    QTimer canceller;
    QElapsedTimer sinceCancel;
    QObject::connect(&canceller, &QTimer::timeout, [&] {
        QProgressDialog *progress = commandProgressWindow();
        if (sinceCancel.isValid() || !progress || !progress->isVisible())
            return;
        for (QAbstractButton *button : progress->findChildren<QAbstractButton *>())
            if (button->text() == QStringLiteral("取消")) {
                sinceCancel.start();
                button->click();
            }
    });
    canceller.start(20);
    const int leftBefore = DatabaseWorker::threadsLeftBehind();
    pgserver::freeze();
    QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                             writeDayEnd(*monitorform->flowWatch(), pgserver::database(), path, {}));
    pgserver::thaw();
    QVERIFY(sinceCancel.isValid());
    QVERIFY(!QFile::exists(path));
    QVERIFY(datamod->con->connected());
    QVERIFY(mainform->N3()->isEnabled());

    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QCOMPARE(monitorform->snapshot().figures.orders + monitorform->snapshot().figures.cancels,
             serverCount(QStringLiteral("select count(*) from ashare_ordwth")));
    // The frozen read was given up, not ended by its cancel.
    QCOMPARE(DatabaseWorker::threadsLeftBehind(), leftBefore + 1);
}
