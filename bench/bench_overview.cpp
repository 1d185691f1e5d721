// Figures of the overview: four databases of a quarter of the day each,
// every one watched as the overview's rows are (a watch of its own: its
// connection, worker and model), loaded and then refreshed together with
// nothing new. Each idle round's time per database, the resident memory
// the four models hold per million orders, and the longest stall of the UI
// thread while all four load and refresh.

#include "bench.h"
#include "monitorday.h"
#include "stallmeter.h"

#include "base/platform.h"
#include "flow/flowwatch.h"
#include "gendata.h"

#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr double MegaByte = 1024.0 * 1024.0;
constexpr int Databases = 4;

// Until every watch asked has handed in its refresh (or ten minutes).
void waitForAll(const int *pending)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (*pending == 0)
            loop.quit();
    });
    check.start(1);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    loop.exec();
}

const bench::FigureGroup overviewFigures(42, [](bench::Context &context) {
    std::vector<QString> paths;
    const qint64 rowsEach = std::max<qint64>(1000, context.rows / Databases);
    for (int i = 0; i < Databases; ++i) {
        const QString path = context.databasePath + QStringLiteral(".overview%1").arg(i);
        gendata::Options options;
        options.tradeRows = rowsEach;
        options.orderRows = options.tradeRows;
        options.seed = 100 + std::uint64_t(i);
        gendata::generate(bench::fileName(path), options);
        bench::addMonitorKeys(path);
        paths.push_back(path);
    }

    platform::giveBackFreedMemory();
    const qint64 before = platform::residentBytes();
    int pending = 0;
    std::vector<std::unique_ptr<flow::FlowWatch>> watches;
    auto loading = std::make_unique<bench::StallMeter>();
    for (const QString &path : paths) {
        auto watch = std::make_unique<flow::FlowWatch>(QStringLiteral("DRIVER=SQLite3;StepAPI=1;Database=") + path,
                                                       QString());
        QObject::connect(watch.get(), &flow::FlowWatch::refreshed, [&pending] { --pending; });
        watches.push_back(std::move(watch));
    }
    pending = Databases;
    for (const auto &watch : watches)
        watch->refreshNow();
    waitForAll(&pending);
    // The measuring's own work (giving freed memory back) is no stall of the window's.
    const qint64 loadStall = loading->longest();
    loading.reset();
    platform::giveBackFreedMemory();
    const qint64 orders = rowsEach * Databases; // the order table's rows, cancels among them
    bench::report("overview_memory_mb_per_database_million",
                  double(platform::residentBytes() - before) / MegaByte / (double(orders) / 1e6));

    double idle = 1e99;
    bench::StallMeter refreshing;
    for (int round = 0; round < 10; ++round) {
        pending = Databases;
        const bench::Stopwatch watch;
        for (const auto &w : watches)
            w->refreshNow();
        waitForAll(&pending);
        idle = std::min(idle, watch.seconds() * 1000.0 / Databases);
    }
    bench::report("overview_refresh_idle_ms_per_database", idle);
    bench::report("overview_max_stall_ms", std::max(loadStall, refreshing.longest()));
    watches.clear();
    for (const QString &path : paths)
        QFile::remove(path);
});

} // namespace
