// Figures of the day-end workbook: the reconciliation of a day of as many
// orders as trade rows written from the monitor's model, against exporting
// as many order rows with the grid's export, and the memory the writing
// adds at its peak.

#include "bench.h"

#include "base/platform.h"
#include "db/command.h"
#include "db/connection.h"
#include "db/query.h"
#include "db/resultset.h"
#include "export/dayendbook.h"
#include "export/export.h"
#include "flow/dayend.h"
#include "flow/flowreader.h"
#include "gendata.h"

#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double MegaByte = 1024.0 * 1024.0;

QString connectionString(const QString &path)
{
    return QStringLiteral("DRIVER=SQLite3;StepAPI=1;Database=") + path;
}

// The workbook written from a loaded model; the peak memory the writing
// adds, when asked for.
double dayEndSeconds(flow::FlowSession &session, const flow::Snapshot &snapshot, const QString &target,
                     bool peak)
{
    platform::giveBackFreedMemory();
    const bool reset = peak && platform::resetPeakResident();
    const qint64 before = platform::residentBytes();
    CommandControl control;
    const bench::Stopwatch watch;
    flow::DayEndReconciliation day(session.model(), snapshot, QStringLiteral("bench"));
    writeDayEndBook(day, {}, target, control);
    const double seconds = watch.seconds();
    if (reset)
        bench::report("dayend_peak_growth_mb", double(platform::windowPeakResidentBytes() - before) / MegaByte);
    QFile::remove(target);
    return seconds;
}

// Every column of the orders table, exported from a held result.
double exportSeconds(const ResultSet &result, const QString &target)
{
    QList<ExportColumn> columns;
    for (int c = 0; c < result.columnCount(); ++c)
        columns.append({result.columnName(c), result.columnName(c)});
    CommandControl control;
    const bench::Stopwatch watch;
    exportResult(result, columns, target, ExportFormat::Xlsx, control);
    const double seconds = watch.seconds();
    QFile::remove(target);
    return seconds;
}

const bench::FigureGroup dayEndFigures(45, [](bench::Context &context) {
    const QString database = context.databasePath + QStringLiteral(".dayend");
    {
        gendata::Options options;
        options.tradeRows = context.rows;
        options.orderRows = context.rows;
        gendata::generate(QFile::encodeName(database).toStdString(), options);
    }
    QTemporaryDir dir;
    const QString dayEndFile = dir.filePath(QStringLiteral("dayend.xlsx"));
    const QString exportFile = dir.filePath(QStringLiteral("orders.xlsx"));
    // Each written twice, in turns, the faster counted: the machine is shared.
    double dayEnd = 1e99, exported = 1e99;
    {
        flow::FlowSession session(connectionString(database), QString());
        const flow::Snapshot snapshot = session.refresh(10);
        const qint64 orders = session.model().orderRows();
        Connection connection;
        connection.adopt(Connection::connect(connectionString(database)), QString());
        Query query(&connection);
        query.setSql({QStringLiteral("select * from ashare_ordwth order by rec_num")});
        query.open();
        if (query.result()->rowCount() != orders) {
            std::fprintf(stderr, "the export lists %d order rows, not %lld\n", query.result()->rowCount(),
                         static_cast<long long>(orders));
            std::exit(1);
        }
        for (int round = 0; round < 2; ++round) {
            dayEnd = std::min(dayEnd, dayEndSeconds(session, snapshot, dayEndFile, round == 0));
            exported = std::min(exported, exportSeconds(*query.result(), exportFile));
        }
    }
    bench::report("dayend_s", dayEnd);
    bench::report("dayend_export_orders_s", exported);
    bench::report("dayend_vs_export", dayEnd / exported);
    QFile::remove(database);
});

} // namespace
