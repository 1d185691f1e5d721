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

#include <cstdio>
#include <cstdlib>

namespace {

constexpr double MegaByte = 1024.0 * 1024.0;

QString connectionString(const QString &path)
{
    return QStringLiteral("DRIVER=SQLite3;StepAPI=1;Database=") + path;
}

double dayEndSeconds(const QString &database, const QString &target, qint64 *orders)
{
    flow::FlowSession session(connectionString(database), QString());
    const flow::Snapshot snapshot = session.refresh(10);
    *orders = session.model().orderRows();
    platform::giveBackFreedMemory();
    const bool reset = platform::resetPeakResident();
    const qint64 before = platform::residentBytes();
    CommandControl control;
    const bench::Stopwatch watch;
    flow::DayEndReconciliation day(session.model(), snapshot, QStringLiteral("bench"));
    writeDayEndBook(day, {}, target, control);
    const double seconds = watch.seconds();
    if (reset)
        bench::report("dayend_peak_growth_mb", double(platform::windowPeakResidentBytes() - before) / MegaByte);
    return seconds;
}

// Every column of the orders table, exported from a held result.
double exportSeconds(const QString &database, const QString &target, qint64 orders)
{
    Connection connection;
    connection.setConnectionString(connectionString(database));
    connection.open();
    Query query(&connection);
    query.setSql({QStringLiteral("select * from ashare_ordwth order by rec_num")});
    query.open();
    const ResultSet &result = *query.result();
    if (result.rowCount() != orders) {
        std::fprintf(stderr, "the export lists %d order rows, not %lld\n", result.rowCount(),
                     static_cast<long long>(orders));
        std::exit(1);
    }
    QList<ExportColumn> columns;
    for (int c = 0; c < result.columnCount(); ++c)
        columns.append({result.columnName(c), result.columnName(c)});
    CommandControl control;
    const bench::Stopwatch watch;
    exportResult(result, columns, target, ExportFormat::Xlsx, control);
    return watch.seconds();
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
    qint64 orders = 0;
    const double dayEnd = dayEndSeconds(database, dir.filePath(QStringLiteral("dayend.xlsx")), &orders);
    const double exported = exportSeconds(database, dir.filePath(QStringLiteral("orders.xlsx")), orders);
    bench::report("dayend_s", dayEnd);
    bench::report("dayend_export_orders_s", exported);
    bench::report("dayend_vs_export", dayEnd / exported);
    QFile::remove(database);
});

} // namespace
