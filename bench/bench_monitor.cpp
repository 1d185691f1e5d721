// Figures of the monitor on a day of as many orders as trade rows, with as
// many confirmations: its first load against raw block fetches of the same
// columns, a refresh with nothing new and with 1,000 new rows in each table,
// the longest stall of the UI thread meanwhile, the memory its model holds,
// and the growth of the resident size over 10,000 small refreshes beyond
// what the model holds of the rows they add.

#include "bench.h"
#include "monitorday.h"
#include "stallmeter.h"

#include "db/connection.h"
#include "flow/flowreader.h"
#include "base/platform.h"
#include "gendata.h"
#include "monitor/monitorform.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

constexpr double MegaByte = 1024.0 * 1024.0;

QString connectionString(const QString &path)
{
    return QStringLiteral("DRIVER=SQLite3;StepAPI=1;Database=") + path;
}

// `rows` new orders, each confirmed and traded once, after the largest keys.
void addRows(const QString &path, int rows)
{
    // Inserted as the gateway would, without waiting for the disk each time.
    std::string sql = "pragma synchronous = off; begin;";
    sql += "create temp table if not exists n(i integer primary key);delete from n;";
    sql += "with recursive c(i) as (select 1 union all select i + 1 from c where i < " + std::to_string(rows)
        + ") insert into n select i from c;";
    sql += "insert into ashare_ordwth (rec_num, date, time, reff, acc, stock, bs, price, qty, status, owflag, ordrec) "
           "select m.r + n.i, strftime('%Y%m%d', 'now', 'localtime'), strftime('%H:%M:%S', 'now', 'localtime'), "
           "'N' || (m.r + n.i), 'A000000001', '600000', 'B', '10.000', '100', 'P', 'LPT', '0' from n, "
           "(select max(rec_num) r from ashare_ordwth) m;";
    sql += "insert into ashare_ordwth2 (rec_num, date, time, reff, acc, stock, bs, price, qty, qty2, status, remark, "
           "owflag, ordrec) select m.r + n.i, strftime('%Y%m%d', 'now', 'localtime'), "
           "strftime('%H:%M:%S', 'now', 'localtime'), 'N' || (o.r - " + std::to_string(rows)
        + " + n.i), 'A000000001', '600000', 'B', '10.000', '100', '0', 'O', '', 'LPT', '0' from n, "
          "(select max(rec_num) r from ashare_ordwth2) m, (select max(rec_num) r from ashare_ordwth) o;";
    sql += "insert into ashare_cjhb (gddm, bcrq, cjbh, cjsl, cjsj, cjjg, cjje, sqbh, bs) "
           "select 'A000000001', strftime('%Y%m%d', 'now', 'localtime'), m.r + n.i, 100, "
           "strftime('%H%M%S', 'now', 'localtime'), 10.000, 1000.00, 'N' || (o.r - " + std::to_string(rows)
        + " + n.i), 'B' from n, (select max(cast(cjbh as bigint)) r from ashare_cjhb) m, "
          "(select max(rec_num) r from ashare_ordwth) o;";
    sql += "commit;";
    gendata::execute(bench::fileName(path), sql);
}

// Raw block fetches of the columns the monitor reads, doing nothing with them.
qint64 rawFetch(SQLHDBC dbc)
{
    const std::pair<const char *, int> statements[] = {
        {"select rec_num, date, time, reff, acc, stock, qty, status, owflag, ordrec, bs, price from ashare_ordwth "
         "where rec_num > 0 order by rec_num", 12},
        {"select rec_num, date, time, reff, acc, stock, qty2, status, remark, owflag, ordrec from ashare_ordwth2 "
         "where rec_num > 0 order by rec_num", 11},
        {"select cjbh, bcrq, cjsj, sqbh, gddm, zqdm, cjsl, cjje, bs from ashare_cjhb "
         "where cast(cjbh as bigint) > 0 order by cast(cjbh as bigint)", 9},
    };
    const std::vector<int> widths[] = {{12, 8, 8, 10, 10, 6, 12, 1, 3, 12, 1, 12},
                                       {12, 8, 8, 10, 10, 6, 12, 1, 60, 3, 12},
                                       {24, 8, 6, 10, 10, 6, 24, 24, 1}};
    qint64 rows = 0;
    flow::Reader reader{dbc};
    for (int i = 0; i < 3; ++i) {
        flow::BlockFetch fetch(reader, QString::fromLatin1(statements[i].first), widths[i]);
        while (fetch.next())
            rows += fetch.rows();
    }
    return rows;
}

double milliseconds(const bench::Stopwatch &watch)
{
    return watch.seconds() * 1000.0;
}

void waitForRefresh()
{
    QEventLoop loop;
    QObject::connect(monitorform, &Tmonitorform::refreshed, &loop, &QEventLoop::quit);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
}

const bench::FigureGroup monitorFigures(40, [](bench::Context &context) {
    const QString path = context.databasePath + QStringLiteral(".monitor");
    {
        gendata::Options options;
        options.tradeRows = context.rows;
        options.orderRows = context.rows;
        gendata::generate(bench::fileName(path), options);
        bench::addMonitorKeys(path);
    }
    double raw = 1e99;
    {
        const auto link = Connection::connect(connectionString(path));
        for (int round = 0; round < 2; ++round) {
            const bench::Stopwatch watch;
            rawFetch(link->get());
            raw = std::min(raw, watch.seconds());
        }
    }
    std::unique_ptr<flow::FlowSession> session;

    // What the allocator keeps free after the baseline is not the model's.
    platform::giveBackFreedMemory();
    const qint64 before = platform::residentBytes();
    session = std::make_unique<flow::FlowSession>(connectionString(path), QString());
    const bench::Stopwatch load;
    flow::Snapshot snapshot = session->refresh(10);
    const double loadSeconds = load.seconds();
    const qint64 orders = session->model().orderRows();
    bench::report("monitor_load_s", loadSeconds);
    bench::report("monitor_load_vs_raw", loadSeconds / raw);
    platform::giveBackFreedMemory();
    const qint64 held = platform::residentBytes() - before;
    bench::report("monitor_memory_mb_per_million", double(held) / MegaByte / (double(orders) / 1e6));
    bench::report("monitor_model_mb_per_million",
                  double(session->model().bytesHeld()) / MegaByte / (double(orders) / 1e6));

    double idle = 1e99;
    for (int i = 0; i < 10; ++i) {
        const bench::Stopwatch watch;
        snapshot = session->refresh(10);
        idle = std::min(idle, milliseconds(watch));
    }
    bench::report("monitor_refresh_idle_ms", idle);
    double thousand = 1e99;
    for (int i = 0; i < 3; ++i) {
        addRows(path, 1000);
        const qint64 held = session->rowsHeld();
        const bench::Stopwatch watch;
        snapshot = session->refresh(10);
        thousand = std::min(thousand, milliseconds(watch));
        if (session->rowsHeld() - held != 3000)
            std::fprintf(stderr, "refresh added %lld rows, not 3000\n", static_cast<long long>(session->rowsHeld() - held));
    }
    bench::report("monitor_refresh_1000_ms", thousand);
    session.reset();

    // The window: first load and refreshes while a 10 ms timer ticks.
    {
        bench::StallMeter meter;
        monitorform->watch(connectionString(path), QString());
        monitorform->show();
        waitForRefresh();
        for (int i = 0; i < 10; ++i) {
            if (i == 5)
                addRows(path, 1000);
            monitorform->RefreshButtonClick();
            waitForRefresh();
        }
        bench::report("monitor_max_stall_ms", meter.longest());
        monitorform->stop();
    }
    QFile::remove(path);

    // Soak: 10,000 refreshes with a few new rows each, on a small day.
    const QString soakPath = context.databasePath + QStringLiteral(".soak");
    {
        gendata::Options options;
        options.tradeRows = 10000;
        options.orderRows = 10000;
        gendata::generate(bench::fileName(soakPath), options);
        bench::addMonitorKeys(soakPath);
    }
    session = std::make_unique<flow::FlowSession>(connectionString(soakPath), QString());
    session->refresh(10);
    addRows(soakPath, 3);
    session->refresh(10);
    platform::giveBackFreedMemory();
    const qint64 first = platform::residentBytes();
    const qint64 firstHeld = qint64(session->model().bytesHeld());
    for (int i = 0; i < 10000; ++i) {
        addRows(soakPath, 3);
        session->refresh(10);
    }
    platform::giveBackFreedMemory();
    // The 30,000 rows added to each table are held by the model as they
    // should be: what grows beyond them is what the refreshes leave behind.
    const qint64 modelGrowth = qint64(session->model().bytesHeld()) - firstHeld;
    bench::report("monitor_soak_model_growth_mb", double(modelGrowth) / MegaByte);
    bench::report("monitor_soak_growth_mb",
                  double(platform::residentBytes() - first - modelGrowth) / MegaByte);
    session.reset();
    QFile::remove(soakPath);
});

} // namespace
