// What the monitor's and the trace's reads cost the PostgreSQL test server
// (production-like types and indexes), by the server's own statistics, and
// how their keys are bound: an idle refresh and a trace seek, text trade
// numbers of one width seek too and of several widths are read right, and
// no key of a trace is sent as wide text.

#include "serversupport.h"

#include "flow/flowreader.h"
#include "flow/healthtext.h"
#include "flow/ordertrace.h"

#include <map>

using namespace testsupport;
using namespace monitortest;
using namespace servertest;

namespace {

const QStringList Tables{QStringLiteral("ashare_ordwth"), QStringLiteral("ashare_ordwth2"),
                         QStringLiteral("ashare_cjhb")};

QString connectionString()
{
    return gateway::odbcConnectionString(serverDay(0));
}

// Rows the server's tables and indexes handed out so far, once the
// statistics of the backend behind `dbc` are flushed.
qint64 serverRows(SQLHDBC dbc)
{
    flow::Reader reader{dbc};
    flow::scalar(reader, QStringLiteral("select pg_stat_force_next_flush()"));
    return serverCount(QStringLiteral("select (select coalesce(sum(seq_tup_read), 0) from pg_stat_user_tables) "
                                      "+ (select coalesce(sum(idx_tup_read), 0) from pg_stat_user_indexes)"));
}

void plant(const QString &sql)
{
    pgserver::exec(sql);
}

// The tables' statistics brought up to date and their dead rows removed,
// as autovacuum (off here, so that it reads nothing while the readers are
// measured) would: the planner then knows how few rows a key range holds.
void settle()
{
    for (const QString &table : Tables)
        pgserver::exec(QStringLiteral("vacuum analyze %1").arg(table));
}

} // namespace

class TestServerReads : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        PGSERVER_REQUIRE();
        // Nothing but the readers reads the tables while they are measured.
        for (const QString &table : Tables)
            pgserver::exec(QStringLiteral("alter table %1 set (autovacuum_enabled = off)").arg(table));
    }
    void init()
    {
        pgserver::exec("delete from ashare_cjhb; delete from ashare_ordwth; delete from ashare_ordwth2;");
    }

    void idleRefreshAndTraceSeek();
    void textTradeNumbersOfOneWidthSeek();
    void traceKeysAreBoundAsTheirColumns();
};

void TestServerReads::idleRefreshAndTraceSeek()
{
    runStandIn(serverDay(300));
    settle();
    flow::FlowSession session(connectionString(), pgserver::database());
    session.refresh(10);
    const qint64 held = session.rowsHeld();
    QCOMPARE(held, serverCount("select (select count(*) from ashare_ordwth) + (select count(*) from ashare_ordwth2)"
                               " + (select count(*) from ashare_cjhb)"));
    QVERIFY2(session.notes().isEmpty(), qPrintable(session.notes().join(u'|')));
    session.refresh(10);
    qint64 before = serverRows(session.handle());
    constexpr int Refreshes = 10;
    for (int i = 0; i < Refreshes; ++i) {
        session.refresh(10);
        // The ends of three tables and the clock: never a table again.
        QVERIFY2(session.rowsRead() < 10, qPrintable(QString::number(session.rowsRead())));
    }
    const qint64 idle = (serverRows(session.handle()) - before) / Refreshes;
    // A scan of any of the tables would read hundreds.
    QVERIFY2(idle <= 20, qPrintable(QString::number(idle)));

    // New rows cost what they are, once.
    plant(order(100001, QStringLiteral("N1"), QStringLiteral("P"), 100, 1));
    plant(confirmation(100001, QStringLiteral("N1"), QStringLiteral("O"), QString(), 1));
    plant(trade(100001, QStringLiteral("N1"), 100, QStringLiteral("1.000"), QStringLiteral("100.00"), 1));
    before = serverRows(session.handle());
    session.refresh(10);
    const qint64 withNew = serverRows(session.handle()) - before;
    QVERIFY2(withNew <= 20 + 3, qPrintable(QString::number(withNew)));
    QCOMPARE(session.rowsHeld(), held + 3);

    // One trace: an order with a cancel where there is one.
    flow::TraceKey key;
    key.recNum = qint32(serverCount("select coalesce(min(cast(ordrec as int)), 1) from ashare_ordwth "
                                    "where upper(owflag) = 'WTH' and cast(ordrec as int) > 0"));
    flow::Reader reader{session.handle()};
    const flow::Layout layout = flow::learnLayout(reader);
    before = serverRows(session.handle());
    const flow::OrderTrace trace = flow::readTrace(reader, layout, key);
    const qint64 traced = serverRows(session.handle()) - before;
    QVERIFY(trace.found);
    QVERIFY2(traced <= 20, qPrintable(QString::number(traced)));
}

void TestServerReads::textTradeNumbersOfOneWidthSeek()
{
    // An installation with cjbh as text: the stand-in's numbers all have
    // five digits.
    pgserver::exec("alter table ashare_cjhb alter column cjbh type char(10)");
    struct Restore
    {
        ~Restore()
        {
            pgserver::exec("delete from ashare_cjhb; "
                           "alter table ashare_cjhb alter column cjbh type int using trim(cjbh)::int");
        }
    } restore;
    runStandIn(serverDay(300));
    // The smallest number of five digits: a six-digit number that begins
    // with it does not move the smallest text.
    plant(trade(10000, QStringLiteral("W0"), 100, QStringLiteral("1.000"), QStringLiteral("100.00"), 1));
    settle();
    QCOMPARE(serverCount("select count(distinct length(trim(cjbh))) from ashare_cjhb"), qint64(1));
    flow::FlowSession session(connectionString(), pgserver::database());
    session.refresh(10);
    session.refresh(10);
    const qint64 before = serverRows(session.handle());
    for (int i = 0; i < 5; ++i)
        session.refresh(10);
    const qint64 idle = (serverRows(session.handle()) - before) / 5;
    QVERIFY2(idle <= 20, qPrintable(QString::number(idle)));
    QVERIFY2(session.notes().isEmpty(), qPrintable(session.notes().join(u'|')));
    QCOMPARE(session.model().tradeRows(), serverCount("select count(*) from ashare_cjhb"));

    // The numbers pass 99999: one of six digits sorts below the largest as
    // text (and above the smallest); one of five above it. Both are read,
    // and from then on trades are compared as numbers, which the status
    // line says.
    const qint64 largest = serverCount("select max(cast(cjbh as int)) from ashare_cjhb");
    plant(trade(int(largest + 1), QStringLiteral("W1"), 100, QStringLiteral("1.000"), QStringLiteral("100.00"), 1));
    plant(trade(100003, QStringLiteral("W2"), 200, QStringLiteral("1.000"), QStringLiteral("200.00"), 1));
    session.refresh(10);
    session.refresh(10);
    QCOMPARE(session.model().tradeRows(), serverCount("select count(*) from ashare_cjhb"));
    const flow::Snapshot snapshot = session.refresh(10);
    QCOMPARE(snapshot.figures.tradedQuantity, serverCount("select sum(cjsl) from ashare_cjhb"));
    QVERIFY2(session.notes().contains(flow::tradeKeyScanNote()), qPrintable(session.notes().join(u'|')));
    plant(trade(100004, QStringLiteral("W3"), 300, QStringLiteral("1.000"), QStringLiteral("300.00"), 1));
    session.refresh(10);
    QCOMPARE(session.model().tradeRows(), serverCount("select count(*) from ashare_cjhb"));
}

void TestServerReads::traceKeysAreBoundAsTheirColumns()
{
    // An order of a long and one of a short reff, each with a cancel, its
    // confirmations and a trade.
    plant(order(1, QStringLiteral("J000000017"), QStringLiteral("P"), 1000, 60));
    plant(order(2, QStringLiteral("R2"), QStringLiteral("P"), 500, 59));
    plant(order(3, QStringLiteral("C3"), QStringLiteral("P"), 0, 58, QStringLiteral("WTH"), 1));
    plant(order(4, QStringLiteral("C4"), QStringLiteral("P"), 0, 58, QStringLiteral("WTH"), 2));
    plant(confirmation(1, QStringLiteral("J000000017"), QStringLiteral("O"), QString(), 57));
    plant(confirmation(2, QStringLiteral("R2"), QStringLiteral("O"), QString(), 57));
    plant(confirmation(3, QStringLiteral("C3"), QStringLiteral("W"), QString(), 56, QStringLiteral("WTH"), 1, 400));
    plant(confirmation(4, QStringLiteral("C4"), QStringLiteral("W"), QString(), 56, QStringLiteral("WTH"), 2, 500));
    plant(trade(1, QStringLiteral("J000000017"), 600, QStringLiteral("10.000"), QStringLiteral("6000.00"), 57));

    SentStatements sent;
    flow::TraceSession session(connectionString(), pgserver::database());
    for (const flow::TraceKey &key : {flow::TraceKey{1, {}}, flow::TraceKey{0, QStringLiteral("R2")},
                                      flow::TraceKey{0, QStringLiteral("J000000017")}, flow::TraceKey{4, {}}}) {
        const flow::OrderTrace trace = session.read(key, 30);
        QVERIFY(trace.found);
        QVERIFY2(trace.rows.size() >= 3, qPrintable(QString::number(trace.rows.size())));
    }
    const std::vector<flow::SentStatement> statements = sent.take();
    QVERIFY(!statements.empty());
    // The declared size of each column's key, whatever the value's length.
    const std::map<QString, SQLULEN> sizes{{QStringLiteral("reff"), 10}, {QStringLiteral("ordrec"), 8},
                                           {QStringLiteral("sqbh"), 10}};
    int textKeys = 0;
    for (const flow::SentStatement &statement : statements) {
        const QString sql = statement.sql;
        QVERIFY2(!sql.contains(QLatin1String(" or ")), qPrintable(sql)); // each seeks one column
        QVERIFY2(statement.parameters.size() <= 1, qPrintable(sql));
        if (statement.parameters.empty())
            continue;
        const flow::BoundParameter &p = statement.parameters.front();
        const QString column = sql.section(QLatin1String("where "), 1).section(u' ', 0, 0);
        QVERIFY2(p.sqlType != SQL_WVARCHAR && p.sqlType != SQL_WCHAR && p.sqlType != SQL_WLONGVARCHAR,
                 qPrintable(QStringLiteral("%1: SQL type %2").arg(sql).arg(p.sqlType)));
        if (column == QLatin1String("rec_num")) {
            QCOMPARE(int(p.sqlType), int(SQL_INTEGER));
            continue;
        }
        ++textKeys;
        QVERIFY2(sizes.count(column) == 1, qPrintable(sql));
        QCOMPARE(int(p.cType), int(SQL_C_CHAR));
        QCOMPARE(int(p.sqlType), int(SQL_VARCHAR));
        QCOMPARE(p.size, sizes.at(column));
    }
    QVERIFY2(textKeys >= 12, qPrintable(QString::number(textKeys)));
}

SQLTOOL_SERVER_TEST_MAIN(TestServerReads, "tst_serverreads")
#include "tst_serverreads.moc"
