// What the monitor and the trace cost a database server, by the server's
// own statistics: a private PostgreSQL server (scripts/pgserver.sh) with the
// test server's production-like tables and indexes, a day of 1,000,000 rows
// in each table, and the rows its tables and indexes handed out
// (seq_tup_read of pg_stat_user_tables plus idx_tup_read of
// pg_stat_user_indexes) for an idle refresh, a refresh after 1,000 new rows
// in each table, and one trace. Skipped with the reason when no server can
// start here.

#include "bench.h"

#include "flow/flowreader.h"
#include "flow/ordertrace.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <stdexcept>

namespace {

constexpr qint64 DayRows = 1000000;
constexpr int IdleRefreshes = 60;
constexpr int NewRowRounds = 3;
const QString Database = QStringLiteral("benchday");

// The day: every 17th order a cancel of the order five before it, the
// newest four still unsent and the three before them sent with nothing
// back; one confirmation for each other row, one trade for each row (the
// trades of a cancel's number go to the order before it).
const QString DaySql = QStringLiteral(
    "truncate ashare_ordwth, ashare_ordwth2, ashare_cjhb;"
    "insert into ashare_ordwth (rec_num, date, time, reff, acc, stock, bs, price, qty, status, owflag, ordrec, firmid) "
    "select r, '20261208', to_char(time '09:15:00' + (r / 60) * interval '1 second', 'HH24:MI:SS'), "
    "'J' || lpad(r::text, 9, '0'), 'A' || lpad((r::bigint * 7919 % 5000)::text, 9, '0'), (600000 + r * 13 % 400)::text, "
    "case when r % 2 = 0 then 'B' else 'S' end, '10.00', '100', case when r > %1 - 4 then 'R' else 'P' end, "
    "case when r % 17 = 0 then 'WTH' else 'LPT' end, case when r % 17 = 0 then (r - 5)::text else '0' end, '30001' "
    "from generate_series(1, %1) r;"
    "insert into ashare_ordwth2 (rec_num, date, time, reff, acc, stock, bs, price, qty, qty2, status, remark, status1, "
    "owflag, ordrec, teordernum, firmid) "
    "select rec_num, date, time, reff, acc, stock, bs, price, qty, '0', case when owflag = 'WTH' then 'W' else 'O' end, "
    "'0', 'Y', owflag, ordrec, lpad(rec_num::text, 8, '0'), firmid from ashare_ordwth where rec_num <= %1 - 7;"
    "insert into ashare_cjhb (gddm, gdxm, bcrq, cjbh, gsdm, cjsl, bcye, zqdm, sbsj, cjsj, cjjg, cjje, sqbh, bs, mjbh) "
    "select acc, 'X', date, rec_num, firmid, 100, 0, stock, replace(time, ':', ''), replace(time, ':', ''), 10, 1000, "
    "'J' || lpad((rec_num - case when rec_num % 17 = 0 then 1 else 0 end)::text, 9, '0'), bs, '00001' "
    "from ashare_ordwth;");
// 1,000 new rows in each table after the largest keys, sent, confirmed and traded.
const QString NewRowsSql = QStringLiteral(
    "insert into ashare_ordwth (rec_num, date, time, reff, acc, stock, bs, price, qty, status, owflag, ordrec, firmid) "
    "select m + i, '20261208', '14:59:00', 'N' || lpad((m + i)::text, 9, '0'), 'A000000001', '600000', 'B', '10.00', "
    "'100', 'P', 'LPT', '0', '30001' from (select max(rec_num) m from ashare_ordwth) x, generate_series(1, 1000) i;"
    "insert into ashare_ordwth2 (rec_num, date, time, reff, acc, stock, bs, price, qty, qty2, status, remark, status1, "
    "owflag, ordrec, teordernum, firmid) "
    "select c + i, '20261208', '14:59:01', 'N' || lpad((o - 1000 + i)::text, 9, '0'), 'A000000001', '600000', 'B', "
    "'10.00', '100', '0', 'O', '0', 'Y', 'LPT', '0', '1', '30001' "
    "from (select max(rec_num) c from ashare_ordwth2) x, (select max(rec_num) o from ashare_ordwth) y, "
    "generate_series(1, 1000) i;"
    "insert into ashare_cjhb (gddm, gdxm, bcrq, cjbh, gsdm, cjsl, bcye, zqdm, sbsj, cjsj, cjjg, cjje, sqbh, bs, mjbh) "
    "select 'A000000001', 'X', '20261208', t + i, '30001', 100, 0, '600000', '145900', '145902', 10, 1000, "
    "'N' || lpad((o - 1000 + i)::text, 9, '0'), 'B', '00001' "
    "from (select max(cjbh) t from ashare_cjhb) x, (select max(rec_num) o from ashare_ordwth) y, "
    "generate_series(1, 1000) i;");
const QString ServerRowsSql = QStringLiteral(
    "select (select coalesce(sum(seq_tup_read), 0) from pg_stat_user_tables) "
    "+ (select coalesce(sum(idx_tup_read), 0) from pg_stat_user_indexes)");

// The server of the benchmark, in a folder of its own, stopped at the end.
class Server
{
public:
    explicit Server(const QString &folder)
        : m_folder(folder)
    {
        script({QStringLiteral("start"), m_folder});
        m_started = true;
    }
    ~Server()
    {
        if (m_started) {
            try {
                script({QStringLiteral("stop"), m_folder});
            } catch (const std::exception &e) {
                std::fprintf(stderr, "%s\n", e.what());
            }
        }
    }
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    QString sql(const QString &database, const QString &text) const
    {
        return QString::fromUtf8(script({QStringLiteral("sql"), m_folder, database, text})).trimmed();
    }
    qint64 number(const QString &text) const { return sql(Database, text).toLongLong(); }

    // The driver's section of the server's odbcinst.ini added to the
    // benchmark's own set-up, and a connection string naming it.
    QString connectionString() const
    {
        const QString own = qEnvironmentVariable("ODBCSYSINI") + QStringLiteral("/odbcinst.ini");
        QFile theirs(m_folder + QStringLiteral("/odbcinst.ini"));
        QFile ours(own);
        if (!theirs.open(QIODevice::ReadOnly) || !ours.open(QIODevice::Append))
            throw std::runtime_error("cannot add the PostgreSQL driver to " + own.toStdString());
        ours.write("\n" + theirs.readAll() + "\n");
        return QStringLiteral("DRIVER={PostgreSQL Unicode};Servername=127.0.0.1;Port=%1;Database=%2;UID=qtrl;PWD=qtrl")
            .arg(port(), Database);
    }

private:
    QString port() const
    {
        QFile env(m_folder + QStringLiteral("/server.env"));
        if (env.open(QIODevice::ReadOnly))
            for (const QByteArray &line : env.readAll().split('\n'))
                if (line.startsWith("PORT="))
                    return QString::fromLatin1(line.mid(5).trimmed());
        throw std::runtime_error("no port in " + m_folder.toStdString());
    }

    static QByteArray script(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("sh"), QStringList{QStringLiteral(SQLTOOL_PGSERVER_SCRIPT)} + arguments);
        if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0)
            throw std::runtime_error("pgserver.sh " + arguments.value(0).toStdString() + ": "
                                     + process.readAllStandardError().trimmed().toStdString());
        return process.readAllStandardOutput();
    }

    QString m_folder;
    bool m_started = false;
};

// Rows handed out by the server's tables and indexes so far, once the
// statistics of the monitor's own backend are flushed.
qint64 serverRows(const Server &server, flow::FlowSession &session)
{
    flow::Reader reader{session.handle()};
    flow::scalar(reader, QStringLiteral("select pg_stat_force_next_flush()"));
    return server.number(ServerRowsSql);
}

const bench::FigureGroup serverFigures(45, [](bench::Context &) {
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/sqltool-benchpg-XXXXXX"));
    std::unique_ptr<Server> server;
    try {
        server = std::make_unique<Server>(folder.path());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "server figures skipped: %s\n", e.what());
        return;
    }
    server->sql(QStringLiteral("postgres"), QStringLiteral("create database %1 template sse owner qtrl").arg(Database));
    const bench::Stopwatch load;
    server->sql(Database, DaySql.arg(DayRows));
    for (const char *table : {"ashare_ordwth", "ashare_ordwth2", "ashare_cjhb"}) {
        // No autovacuum or analyze reading the tables while they are measured.
        server->sql(Database, QStringLiteral("alter table %1 set (autovacuum_enabled = off)").arg(QLatin1String(table)));
        server->sql(Database, QStringLiteral("vacuum analyze %1").arg(QLatin1String(table)));
    }
    bench::report("server_day_load_s", load.seconds());

    flow::FlowSession session(server->connectionString(), QString());
    session.refresh(10);
    session.refresh(10);

    qint64 before = serverRows(*server, session);
    qint64 clientRows = 0;
    for (int i = 0; i < IdleRefreshes; ++i) {
        session.refresh(10);
        clientRows += session.rowsRead();
    }
    qint64 after = serverRows(*server, session);
    bench::report("monitor_server_rows_per_idle_refresh", double(after - before) / IdleRefreshes);
    bench::report("monitor_rows_read_per_idle_refresh", double(clientRows) / IdleRefreshes);

    qint64 newRows = 0;
    for (int round = 0; round < NewRowRounds; ++round) {
        server->sql(Database, NewRowsSql);
        before = serverRows(*server, session);
        session.refresh(10);
        after = serverRows(*server, session);
        newRows += after - before;
    }
    bench::report("monitor_server_rows_per_1000_new", double(newRows) / NewRowRounds);

    // An order in the middle of the day with a cancel, its confirmations and
    // a trade.
    flow::TraceKey key;
    key.recNum = qint32(DayRows / 2 / 17 * 17 - 5);
    flow::Reader reader{session.handle()};
    const flow::Layout layout = flow::learnLayout(reader);
    before = serverRows(*server, session);
    const flow::OrderTrace trace = flow::readTrace(reader, layout, key);
    after = serverRows(*server, session);
    if (trace.rows.size() < 4)
        std::fprintf(stderr, "the trace found %zu rows, not 4 or more\n", trace.rows.size());
    bench::report("trace_server_rows", after - before);
});

} // namespace
