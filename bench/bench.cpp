#include "bench.h"

#include "app/application.h"
#include "app/forms.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/odbc.h"
#include "base/platform.h"
#include "db/query.h"
#include "db/resultset.h"
#include "gendata.h"
#include "query/statements.h"
#include "ui/fonts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <vector>

namespace bench {

namespace {

const char *const Dsn = "bench";
constexpr SQLULEN RawBlockRows = 1024;

std::multimap<int, std::function<void(Context &)>> &groups()
{
    static std::multimap<int, std::function<void(Context &)>> registered;
    return registered;
}

QElapsedTimer &clock()
{
    static QElapsedTimer timer;
    if (!timer.isValid())
        timer.start();
    return timer;
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    file.write(content);
}

struct RawResult
{
    qint64 rows = 0;
    qint64 valueBytes = 0;
};

// The baseline: the plainest bound-column block fetch of the statement,
// with the same C types as the held result, every value's bytes appended to
// one growing buffer.
RawResult rawFetch(SQLHDBC dbc, const QString &sql)
{
    odbc::Handle stmt(SQL_HANDLE_STMT, dbc);
    const SQLHSTMT h = stmt.get();
    std::vector<SQLWCHAR> text = odbc::toWide(sql);
    odbc::check(SQLPrepareW(h, text.data(), SQL_NTS), SQL_HANDLE_STMT, h, "SQLPrepare");
    odbc::check(SQLExecute(h), SQL_HANDLE_STMT, h, "SQLExecute");

    SQLSMALLINT columns = 0;
    odbc::check(SQLNumResultCols(h, &columns), SQL_HANDLE_STMT, h, "SQLNumResultCols");
    struct Bound
    {
        SQLSMALLINT cType;
        SQLLEN width; // bytes per row
        std::vector<char> data;
        std::vector<SQLLEN> indicators;
    };
    std::vector<Bound> bound(static_cast<std::size_t>(columns));
    for (SQLSMALLINT c = 0; c < columns; ++c) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        odbc::check(SQLDescribeColW(h, SQLUSMALLINT(c + 1), name, 256, &nameLength, &type, &size, &digits, &nullable),
                    SQL_HANDLE_STMT, h, "SQLDescribeCol");
        Bound &b = bound[std::size_t(c)];
        switch (fieldKindOf(type)) {
        case FieldKind::Integer:
            b.cType = SQL_C_SBIGINT;
            b.width = 8;
            break;
        case FieldKind::Float:
        case FieldKind::Decimal:
            b.cType = SQL_C_DOUBLE;
            b.width = 8;
            break;
        case FieldKind::Text:
            b.cType = SQL_C_WCHAR;
            b.width = SQLLEN((size + 1) * sizeof(SQLWCHAR));
            break;
        }
        b.data.resize(std::size_t(b.width) * RawBlockRows);
        b.indicators.resize(RawBlockRows);
    }
    SQLULEN fetched = 0;
    SQLSetStmtAttr(h, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)), 0);
    odbc::check(SQLSetStmtAttr(h, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(RawBlockRows), 0),
                SQL_HANDLE_STMT, h, "SQLSetStmtAttr");
    SQLSetStmtAttr(h, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (SQLSMALLINT c = 0; c < columns; ++c) {
        Bound &b = bound[std::size_t(c)];
        odbc::check(SQLBindCol(h, SQLUSMALLINT(c + 1), b.cType, b.data.data(), b.width, b.indicators.data()),
                    SQL_HANDLE_STMT, h, "SQLBindCol");
    }

    std::vector<char> values;
    RawResult result;
    for (;;) {
        const SQLRETURN rc = SQLFetch(h);
        if (rc == SQL_NO_DATA)
            break;
        odbc::check(rc, SQL_HANDLE_STMT, h, "SQLFetch");
        for (SQLULEN r = 0; r < fetched; ++r) {
            for (const Bound &b : bound) {
                const SQLLEN indicator = b.indicators[r];
                if (indicator == SQL_NULL_DATA)
                    continue;
                const char *value = b.data.data() + std::size_t(b.width) * r;
                const SQLLEN bytes = b.cType == SQL_C_WCHAR ? std::min(indicator, b.width - 2) : 8;
                values.insert(values.end(), value, value + bytes);
            }
        }
        result.rows += qint64(fetched);
    }
    result.valueBytes = qint64(values.size());
    return result;
}

} // namespace

void report(const char *name, double value)
{
    std::printf("%s: %.3f\n", name, value);
    std::fflush(stdout);
}

void report(const char *name, qint64 value)
{
    std::printf("%s: %lld\n", name, static_cast<long long>(value));
    std::fflush(stdout);
}

Stopwatch::Stopwatch()
    : m_start(clock().nsecsElapsed())
{
}

double Stopwatch::seconds() const
{
    return double(clock().nsecsElapsed() - m_start) / 1e9;
}

FigureGroup::FigureGroup(int order, std::function<void(Context &)> run)
{
    groups().emplace(order, std::move(run));
}

} // namespace bench

namespace {

// SQLTOOL_BENCH_GROUPS="40 ..." runs only the figure groups of these order
// numbers, without the data-layer figures (on a small trade table).
std::vector<int> chosenGroups()
{
    std::vector<int> chosen;
    const QString value = qEnvironmentVariable("SQLTOOL_BENCH_GROUPS");
    for (const QString &item : value.split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts)) {
        bool ok = false;
        const int order = item.toInt(&ok);
        if (ok)
            chosen.push_back(order);
    }
    return chosen;
}

} // namespace

int main(int argc, char *argv[])
{
    using namespace bench;
    qint64 rows = 1000000;
    if (argc > 1) {
        bool ok = false;
        rows = QString::fromLocal8Bit(argv[1]).toLongLong(&ok);
        if (!ok || rows <= 0) {
            std::fprintf(stderr, "usage: %s [rows]\n", argv[0]);
            return 2;
        }
    }

    // A private ODBC set-up, named before the first ODBC call.
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/sqltool-bench-XXXXXX"));
    if (!dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary folder\n");
        return 1;
    }
    Context context;
    context.rows = rows;
    context.databasePath = dir.path() + QStringLiteral("/bench.db");
    context.dsn = QString::fromLatin1(Dsn);
    context.listStatement = tradeAllStatement().lines.join(QStringLiteral("\r\n"));
    writeFile(dir.path() + QStringLiteral("/odbcinst.ini"),
              "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" SQLTOOL_SQLITE_ODBC_DRIVER "\nThreading=2\n\n");
    // StepAPI=1: the SQLite driver steps through the rows as a server's
    // driver streams them, instead of first copying the whole result.
    // SQLTOOL_BENCH_STEPAPI=0 measures the driver copying it.
    const QByteArray stepApi = qEnvironmentVariable("SQLTOOL_BENCH_STEPAPI", QStringLiteral("1")).toLatin1();
    writeFile(dir.path() + QStringLiteral("/odbc.ini"),
              "[bench]\nDriver=SQLite3\nStepAPI=" + stepApi + "\nDatabase=" + context.databasePath.toUtf8() + "\n\n");
    qputenv("ODBCSYSINI", QFile::encodeName(dir.path()));
    qputenv("ODBCINI", QFile::encodeName(dir.path() + QStringLiteral("/odbc.ini")));
    // The monitor's alarm log goes into the private folder as well.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dir.path() + QStringLiteral("/data")));
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    const std::vector<int> chosen = chosenGroups();
    const bool onlyGroups = !chosen.empty();
    try {
        report("rows", rows);
        {
            Stopwatch watch;
            gendata::Options options;
            // Chosen groups list a small trade table, unless the rows are given.
            options.tradeRows = onlyGroups && argc < 2 ? std::min<qint64>(rows, 1000) : rows;
            options.orderRows = 0;
            gendata::generate(QFile::encodeName(context.databasePath).toStdString(), options);
            report("generate_s", watch.seconds());
        }

        int toolkitArgc = 1;
        Application app(toolkitArgc, argv);
        installFontSubstitutions();
        createForms();
        Connection &con = *datamod->con;
        logIn(con, {QString(), QStringLiteral("bench"), context.dsn, QStringLiteral("OIW")});

        if (onlyGroups) {
            for (auto &group : groups())
                if (std::find(chosen.begin(), chosen.end(), group.first) != chosen.end())
                    group.second(context);
            report("peak_rss_mb", double(platform::peakResidentBytes()) / (1024.0 * 1024.0));
            destroyForms();
            return 0;
        }

        // (a) the raw baseline and (b) the same statement through qry1, as
        // the list command runs it. Each is timed twice, alternately, and the
        // faster time counts, so that a busy machine disturbs the ratio less.
        Query &qry1 = *datamod->qry1;
        RawResult raw;
        double openSeconds = std::numeric_limits<double>::infinity();
        context.rawFetchSeconds = openSeconds;
        for (int round = 0; round < 2; ++round) {
            qry1.close();
            const Stopwatch rawWatch;
            raw = rawFetch(con.handle(), context.listStatement);
            context.rawFetchSeconds = std::min(context.rawFetchSeconds, rawWatch.seconds());
            const Stopwatch openWatch;
            runQuery(qry1, {context.listStatement});
            openSeconds = std::min(openSeconds, openWatch.seconds());
        }
        if (qry1.recordCount() != raw.rows) {
            std::fprintf(stderr, "row counts differ: %d held, %lld raw\n", qry1.recordCount(),
                         static_cast<long long>(raw.rows));
            return 1;
        }
        report("raw_fetch_s", context.rawFetchSeconds);
        report("open_s", openSeconds);
        report("open_vs_raw", openSeconds / context.rawFetchSeconds);
        report("raw_value_bytes", raw.valueBytes);
        const auto held = qint64(qry1.result()->heldBytes());
        report("held_bytes", held);
        report("held_vs_raw", double(held) / double(raw.valueBytes));

        // (c) re-sorts
        {
            Stopwatch watch;
            qry1.sort(QStringLiteral("cjsl DESC"));
            report("sort_cjsl_desc_s", watch.seconds());
        }
        {
            Stopwatch watch;
            qry1.sort(QStringLiteral("gddm ASC"));
            report("sort_gddm_asc_s", watch.seconds());
        }

        // (d) a walk reading two fields by name, as the statistics do
        {
            const QString cjsl = QStringLiteral("cjsl");
            const QString cjje = QStringLiteral("cjje");
            qint64 characters = 0;
            Stopwatch watch;
            for (qry1.first(); !qry1.eof(); qry1.next()) {
                characters += qry1.fieldByName(cjsl).asString().size();
                characters += qry1.fieldByName(cjje).asString().size();
            }
            report("walk_s", watch.seconds());
            if (characters == 0)
                std::fprintf(stderr, "the walk read nothing\n");
        }
        QCoreApplication::processEvents();

        // Figures of other parts.
        for (auto &group : groups())
            group.second(context);

        report("peak_rss_mb", double(platform::peakResidentBytes()) / (1024.0 * 1024.0));
        destroyForms();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "benchmark failed: %s\n", e.what());
        return 1;
    }
    return 0;
}
