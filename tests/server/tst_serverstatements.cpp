// Every statement the monitor, the trace and the table clearing send to a
// database server (here the PostgreSQL test server, where SQL Server would
// be), written to statements.sql in the check's folder and checked as
// Transact-SQL by scripts/tsqlcheck.sh. The monitor is driven through each
// of its kinds of read; the clearing through its window commands.

#include "support/pgserver.h"
#include "support/testsupport.h"

#include "../monitor/monitortestsupport.h"

#include "app/clearing.h"
#include "connection/datamodule.h"
#include "db/query.h"
#include "flow/flowreader.h"
#include "flow/ordertrace.h"

#include <QDir>
#include <QProcess>

#include <cmath>
#include <set>

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

QString connectionString()
{
    return gateway::odbcConnectionString(serverDay(0));
}

// The check's folder: the one ctest's fixture installed the parser into,
// else one of this run's own, installed now.
QString checkFolder()
{
    const QString fixture = qEnvironmentVariable("SQLTOOL_TSQL_FOLDER");
    if (!fixture.isEmpty())
        return fixture;
    const QString own = workDir() + QStringLiteral("/tsql");
    QProcess::execute(QStringLiteral("sh"), {QStringLiteral(SQLTOOL_TSQLCHECK_SCRIPT), QStringLiteral("install"), own});
    return own;
}

// Runs the check on a file of statements; its exit code, its output in `output`.
int check(const QString &folder, const QString &file, QString *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("sh"), {QStringLiteral(SQLTOOL_TSQLCHECK_SCRIPT), QStringLiteral("check"), folder, file});
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        *output = QStringLiteral("the check did not end");
        return -1;
    }
    *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void writeLines(const QString &path, const QStringList &lines)
{
    writeFile(path, (lines.join(u'\n') + u'\n').toUtf8());
}

// One line each, as the check reads them.
QString oneLine(QString sql)
{
    return sql.replace(QStringLiteral("\r\n"), QStringLiteral(" ")).replace(u'\n', u' ').trimmed();
}

void plant(const QString &sql)
{
    pgserver::exec(sql);
}

} // namespace

class TestServerStatements : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PGSERVER_REQUIRE(); }
    void statementsSentToAServerAreTransactSql();
};

void TestServerStatements::statementsSentToAServerAreTransactSql()
{
    std::set<QString> statements;
    {
        SentStatements sent;
        runStandIn(serverDay(60));
        // The monitor: a first load, idle refreshes with an unsent order, a
        // gap and its filling, a cleared table.
        flow::FlowSession session(connectionString(), pgserver::database());
        const int last = pgserver::value("select max(rec_num) from ashare_ordwth").toInt();
        plant(order(last + 2, QStringLiteral("G2"), QStringLiteral("R"), 100, 1));
        session.refresh(10);
        session.refresh(10);
        plant(order(last + 1, QStringLiteral("G1"), QStringLiteral("P"), 100, 1));
        session.refresh(10);
        pgserver::exec("delete from ashare_ordwth2");
        session.refresh(10);
        // Trade numbers as text: of one width, then of two.
        pgserver::exec("alter table ashare_cjhb alter column cjbh type char(10)");
        {
            flow::FlowSession text(connectionString(), pgserver::database());
            text.refresh(10);
            text.refresh(10);
            // The first numbers of one digit more.
            const QString largest = pgserver::value("select max(cast(cjbh as int)) from ashare_cjhb");
            plant(trade(int(std::pow(10, largest.size())) + 3, QStringLiteral("W"), 100, QStringLiteral("1.000"),
                        QStringLiteral("100.00"), 1));
            text.refresh(10);
            text.refresh(10);
        }
        pgserver::exec("alter table ashare_cjhb alter column cjbh type int using trim(cjbh)::int");
        // The trace: by rec_num, by reff, from a cancel.
        flow::TraceSession trace(connectionString(), pgserver::database());
        trace.read(flow::TraceKey{1, {}}, 30);
        trace.read(flow::TraceKey{0, QStringLiteral("G1")}, 30);
        const qint32 cancel = qint32(pgserver::value("select coalesce(min(rec_num), 1) from ashare_ordwth "
                                                     "where upper(owflag) = 'WTH'").toInt());
        trace.read(flow::TraceKey{cancel, {}}, 30);
        for (const flow::SentStatement &statement : sent.take())
            statements.insert(oneLine(statement.sql));
    }
    {
        // The clearing commands, Yes to every question (the deletes fail
        // here: PostgreSQL wants DELETE FROM).
        Forms forms;
        logIn(pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database());
        ModalWatcher boxes([](QWidget *modal, const ModalRecord &record) {
            if (record.title == QLatin1String("Confirm"))
                pressButton(modal, QStringLiteral("&Yes"));
            else
                closeModal(modal);
        });
        for (const ClearTable table : {ClearTable::Cjhb, ClearTable::Ordwth2, ClearTable::Ordwth}) {
            clearTable(table);
            for (const Query *query : {datamod->qry1, datamod->qry2, datamod->qry3, datamod->qry4})
                if (!query->lastStatement().isEmpty())
                    statements.insert(oneLine(query->lastStatement()));
        }
    }
    QStringList lines(statements.begin(), statements.end());
    const QString folder = checkFolder();
    QDir().mkpath(folder);
    const QString dump = folder + QStringLiteral("/statements.sql");
    writeLines(dump, lines);

    // Each kind of read was sent, and none of SQLite's statement.
    const QStringList kinds{
        "from ashare_ordwth where rec_num > ? order by rec_num", "from ashare_ordwth2 where rec_num > ? order by rec_num",
        "from ashare_cjhb where cjbh > ? order by cjbh",
        "where cast(cjbh as bigint) > ?", "select (select min(rec_num) from ashare_ordwth)",
        "select (select min(cjbh) from ashare_cjhb)", "select (select min(cast(cjbh as bigint)) from ashare_cjhb)",
        "where rec_num > ? and rec_num < ?",
        "where rec_num >= ? and rec_num <= ?", "where cjbh >= ? and cjbh < ?", "where 1 = 0",
        "from ashare_ordwth where rec_num = ?", "from ashare_ordwth where reff = ?", "from ashare_ordwth where ordrec = ?",
        "from ashare_ordwth2 where reff = ?", "from ashare_ordwth2 where ordrec = ?", "from ashare_cjhb where sqbh = ?",
        "select CURRENT_TIMESTAMP", "delete ashare_cjhb", "delete ashare_ordwth2", "delete ashare_ordwth",
        "from ashare_ordwth where status in ('R', 'r')"};
    for (const QString &kind : kinds)
        QVERIFY2(std::any_of(lines.begin(), lines.end(), [&kind](const QString &l) { return l.contains(kind); }),
                 qPrintable(kind + QStringLiteral(" not sent:\n") + lines.join(u'\n')));
    QVERIFY2(lines.contains(QStringLiteral("select cjbh, bcrq, cjsj, sqbh, gddm, zqdm, cjsl, cjje, bs from ashare_cjhb")),
             qPrintable(lines.join(u'\n')));
    QVERIFY2(!lines.join(u'\n').contains(QLatin1String("datetime(")), qPrintable(lines.join(u'\n')));

    const QByteArray unavailable = readFile(folder + QStringLiteral("/unavailable"));
    if (!unavailable.isEmpty() || !QFile::exists(folder + QStringLiteral("/node_modules/node-sql-parser"))) {
        const QByteArray reason = "Transact-SQL check unavailable: "
            + (unavailable.isEmpty() ? QByteArray("node-sql-parser not installed in ") + folder.toLocal8Bit()
                                     : unavailable.trimmed());
        if (pgserver::required())
            QFAIL(reason.constData());
        QSKIP(reason.constData());
    }
    QString output;
    QVERIFY2(check(folder, dump, &output) == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("%1 statements, 0 not Transact-SQL").arg(lines.size())), qPrintable(output));

    // The check fails on what SQL Server would not run.
    const QString foreign = folder + QStringLiteral("/foreign.sql");
    for (const QString &sql : {QStringLiteral("select rec_num from ashare_ordwth order by rec_num limit 10"),
                               QStringLiteral("select rec_num::text from ashare_ordwth"),
                               QStringLiteral("selec rec_num from ashare_ordwth"),
                               QStringLiteral("select datetime('now', 'localtime')")}) {
        writeLines(foreign, {sql});
        QVERIFY2(check(folder, foreign, &output) == 1, qPrintable(sql + u'\n' + output));
    }
}

SQLTOOL_SERVER_TEST_MAIN(TestServerStatements, "tst_serverstatements")
#include "tst_serverstatements.moc"
