// The peak resident size of a list of 3,000,000 trade rows, run as the list
// command runs it (on a worker, the whole result held), through a driver
// that streams the rows as they are fetched (SQLite's StepAPI=1), from what
// is resident once the data module's results are freed.

#include "bench.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "base/platform.h"
#include "db/query.h"
#include "db/worker.h"
#include "gendata.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 ListRows = 3000000;
constexpr double MiB = 1024.0 * 1024.0;
const char *const ListDsn = "bench3m";

// A DSN of its own for the file, in the benchmark's private odbc.ini.
void addDsn(const QString &path)
{
    QFile ini(qEnvironmentVariable("ODBCINI"));
    if (!ini.open(QIODevice::Append)) {
        std::fprintf(stderr, "cannot add a DSN to %s\n", qPrintable(ini.fileName()));
        std::exit(1);
    }
    ini.write(QByteArray("[") + ListDsn + "]\nDriver=SQLite3\nStepAPI=1\nDatabase=" + QFile::encodeName(path)
              + "\n\n");
}

const bench::FigureGroup memoryFigures(50, [](bench::Context &context) {
    QString path = context.databasePath;
    if (context.rows != ListRows) {
        path += QStringLiteral(".3m");
        gendata::Options options;
        options.tradeRows = ListRows;
        options.orderRows = 0;
        gendata::generate(QFile::encodeName(path).toStdString(), options);
    }
    addDsn(path);
    for (Query *query : {datamod->qry1, datamod->qry2, datamod->qry3})
        query->close();
    datamod->worker().post([](CommandControl &) {})->wait(60000); // the results are freed
    platform::giveBackFreedMemory();

    Connection connection;
    logIn(connection, {QString(), QStringLiteral("bench"), QString::fromLatin1(ListDsn), QStringLiteral("OIW")});
    Query query(&connection);
    platform::resetPeakResident();
    runQuery(query, {context.listStatement});
    if (query.recordCount() != ListRows) {
        std::fprintf(stderr, "the 3,000,000-row list held %d rows\n", query.recordCount());
        std::exit(1);
    }
    bench::report("list_3m_peak_rss_mb", double(platform::windowPeakResidentBytes()) / MiB);
    query.close();
    connection.close();
    if (path != context.databasePath)
        QFile::remove(path);
});

} // namespace
