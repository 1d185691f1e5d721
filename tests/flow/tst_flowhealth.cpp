// The rules of how the monitor reads and says how the database answers,
// as tables: the status texts of a waiting, failed or timed-out refresh,
// which failures are time-outs, how key parameters are declared.

#include "support/testcore.h"

#include "flow/flowreader.h"
#include "flow/flowwatch.h"
#include "flow/healthtext.h"

Q_DECLARE_METATYPE(flow::Health)

namespace {

const QDateTime Start(QDate(2026, 12, 8), QTime(10, 31, 5));

flow::Health health(flow::Health::State state, const QString &message, const QString &table, bool timedOut)
{
    flow::Health h;
    h.state = state;
    h.since = Start;
    h.message = message;
    h.table = table;
    h.timedOut = timedOut;
    return h;
}

} // namespace

class TestFlowHealth : public QObject
{
    Q_OBJECT
private slots:
    void statusOfHealth_data();
    void statusOfHealth();
    void refreshedAndStaleTexts();
    void missingIndexNotes();
    void timeOutStates_data();
    void timeOutStates();
    void declaredSizeIsTheColumnsOrAFixedOne_data();
    void declaredSizeIsTheColumnsOrAFixedOne();
    void keysAreDeclaredAsTheirColumns_data();
    void keysAreDeclaredAsTheirColumns();
};

void TestFlowHealth::statusOfHealth_data()
{
    using H = flow::Health;
    QTest::addColumn<flow::Health>("health");
    QTest::addColumn<int>("secondsLater");
    QTest::addColumn<QString>("expected");
    QTest::newRow("waiting") << health(H::Waiting, {}, {}, false) << 12 << "等待数据库响应 12 秒（自 10:31:05 起）";
    QTest::newRow("waiting on a table") << health(H::Waiting, {}, "ashare_cjhb", false) << 2
                                        << "等待数据库响应 2 秒（自 10:31:05 起），正在读取 ashare_cjhb";
    QTest::newRow("timed out") << health(H::Failed, "[57014] canceling", "ashare_cjhb", true) << 0
                               << "10:31:05 读取超时：ashare_cjhb 在 30 秒内未返回，下次刷新重试";
    QTest::newRow("timed out connecting") << health(H::Failed, "[HYT00] timeout", {}, true) << 0
                                          << "10:31:05 读取超时：30 秒内未返回，下次刷新重试";
    QTest::newRow("failed") << health(H::Failed, "[08S01] lost", "ashare_ordwth", false) << 0
                            << "10:31:05 刷新失败：[08S01] lost";
    QTest::newRow("ok says nothing") << health(H::Ok, {}, {}, false) << 0 << "";
    QTest::newRow("idle says nothing") << health(H::Idle, {}, {}, false) << 0 << "";
}

void TestFlowHealth::statusOfHealth()
{
    QFETCH(flow::Health, health);
    QFETCH(int, secondsLater);
    QFETCH(QString, expected);
    QCOMPARE(flow::healthText(health, Start.addSecs(secondsLater).addMSecs(400), 30), expected);
}

void TestFlowHealth::refreshedAndStaleTexts()
{
    QCOMPARE(flow::refreshedText(QTime(9, 5, 7), 16, 300000), QStringLiteral("09:05:07 已刷新，读入 16 行（共 300000 行）"));
    QCOMPARE(flow::staleText(QDateTime(QDate(2026, 12, 8), QTime(10, 31, 0))), QStringLiteral("数据截至 10:31:00"));
    QCOMPARE(flow::staleText(QDateTime()), QString());
}

void TestFlowHealth::missingIndexNotes()
{
    QCOMPARE(flow::missingIndexNote({QStringLiteral("ashare_ordwth.rec_num")}, false),
             QStringLiteral("ashare_ordwth.rec_num 无索引：每次刷新都会扫描整表，请按说明建立索引"));
    QCOMPARE(flow::missingIndexNote({QStringLiteral("ashare_cjhb.sqbh"), QStringLiteral("ashare_ordwth.reff")}, true),
             QStringLiteral("ashare_cjhb.sqbh、ashare_ordwth.reff 无索引：每次追踪都会扫描整表，请按说明建立索引"));
}

void TestFlowHealth::timeOutStates_data()
{
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("timeOut");
    QTest::newRow("ODBC time-out") << "HYT00" << true;
    QTest::newRow("connection time-out") << "HYT01" << true;
    QTest::newRow("PostgreSQL statement_timeout") << "57014" << true;
    QTest::newRow("link lost") << "08S01" << false;
    QTest::newRow("no table") << "42S02" << false;
    QTest::newRow("deadlock victim") << "40001" << false;
    QTest::newRow("no state") << "" << false;
}

void TestFlowHealth::timeOutStates()
{
    QFETCH(QString, state);
    QFETCH(bool, timeOut);
    QCOMPARE(flow::isTimeOut(state), timeOut);
    const flow::ReadError error(DatabaseError(QStringLiteral("x"), state), QStringLiteral("ashare_cjhb"));
    QCOMPARE(error.timedOut(), timeOut);
    QCOMPARE(error.table(), QStringLiteral("ashare_cjhb"));
    QCOMPARE(error.sqlState(), state);
    QCOMPARE(error.message(), QStringLiteral("x"));
    // Reading no table (connecting), a time-out is the login's.
    QVERIFY(!flow::ReadError(DatabaseError(QStringLiteral("x"), state), QString()).timedOut());
}

void TestFlowHealth::declaredSizeIsTheColumnsOrAFixedOne_data()
{
    QTest::addColumn<int>("columnSize");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("declared");
    QTest::newRow("short value, char(10)") << 10 << 2 << 10;
    QTest::newRow("full value, char(10)") << 10 << 10 << 10;
    QTest::newRow("empty value, char(8)") << 8 << 0 << 8;
    QTest::newRow("size unknown, short") << 0 << 3 << 16;
    QTest::newRow("size unknown, 16") << 0 << 16 << 16;
    QTest::newRow("size unknown, 17") << 0 << 17 << 64;
    QTest::newRow("longer than the column") << 8 << 12 << 16;
    QTest::newRow("longer than every fixed size") << 0 << 5000 << 5000;
    QTest::newRow("a column of no useful size") << 100000 << 5 << 16;
}

void TestFlowHealth::declaredSizeIsTheColumnsOrAFixedOne()
{
    QFETCH(int, columnSize);
    QFETCH(int, length);
    QFETCH(int, declared);
    QCOMPARE(int(flow::declaredSize(SQLULEN(columnSize), length)), declared);
}

void TestFlowHealth::keysAreDeclaredAsTheirColumns_data()
{
    QTest::addColumn<int>("columnType");
    QTest::addColumn<int>("columnSize");
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("cType");
    QTest::addColumn<int>("sqlType");
    QTest::addColumn<int>("size");
    QTest::newRow("reff, char(10)") << int(SQL_CHAR) << 10 << "J000000017" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 10;
    QTest::newRow("short reff, char(10)") << int(SQL_CHAR) << 10 << "R1" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 10;
    QTest::newRow("ordrec, varchar(8)") << int(SQL_VARCHAR) << 8 << "12" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 8;
    QTest::newRow("reff, nvarchar(10)") << int(SQL_WVARCHAR) << 10 << "R1" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 10;
    QTest::newRow("reff, nchar(10)") << int(SQL_WCHAR) << 10 << "R1" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 10;
    QTest::newRow("type unknown") << int(SQL_UNKNOWN_TYPE) << 0 << "R1" << int(SQL_C_CHAR) << int(SQL_VARCHAR) << 16;
    QTest::newRow("not ASCII") << int(SQL_VARCHAR) << 10 << "委托1" << int(SQL_C_WCHAR) << int(SQL_WVARCHAR) << 10;
}

void TestFlowHealth::keysAreDeclaredAsTheirColumns()
{
    QFETCH(int, columnType);
    QFETCH(int, columnSize);
    QFETCH(QString, value);
    QFETCH(int, cType);
    QFETCH(int, sqlType);
    QFETCH(int, size);
    const flow::Key key = flow::Key::text(value, flow::ColumnType{SQLSMALLINT(columnType), SQLULEN(columnSize)});
    QCOMPARE(int(key.cType), cType);
    QCOMPARE(int(key.sqlType), sqlType);
    QCOMPARE(int(key.size), size);
    if (cType == SQL_C_CHAR) {
        QCOMPARE(key.narrow, value.toLatin1());
        QCOMPARE(qsizetype(key.length), value.size());
    } else {
        QCOMPARE(odbc::fromWide(key.wide.data(), value.size()), value);
        QCOMPARE(qsizetype(key.length), value.size() * qsizetype(sizeof(SQLWCHAR)));
    }
}

SQLTOOL_CORE_TEST_MAIN(TestFlowHealth)
#include "tst_flowhealth.moc"
