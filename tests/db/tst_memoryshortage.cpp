// Which driver failures mean that memory ran out, as a table of diagnostic
// records, and the same on the real SQLite driver: a general failure is
// none, a statement that needs more memory than SQLite may take is one and
// ends a list in the program's own message, with the driver's text in the
// log only.

#include "support/testcore.h"

#include "db/connection.h"
#include "db/connstring.h"
#include "db/memoryshortage.h"
#include "db/query.h"

#include <sqlite3.h>

#include <new>
#include <stdexcept>

using namespace testsupport;

namespace {

// SQLite's limit on the memory all its connections in this process take
// together (the driver's SQLite is this process's); allocations beyond it
// fail as out of memory (SQLITE_NOMEM).
constexpr sqlite3_int64 HeapLimitBytes = 20 * 1024 * 1024;

// While alive, SQLite may take no more than HeapLimitBytes.
struct HeapLimit
{
    HeapLimit() : previous(sqlite3_hard_heap_limit64(HeapLimitBytes)) {}
    ~HeapLimit() { sqlite3_hard_heap_limit64(previous); }
    sqlite3_int64 previous;
};
// One value of 100,000,000 characters: more than the limit in one piece.
const QString LargeValue = QStringLiteral("select length(printf('%.*c', 100000000, 'x')) as n");

// Messages seen while a case runs.
QStringList warnings;
QtMessageHandler previousHandler = nullptr;

void collectWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg)
        warnings << message;
    previousHandler(type, context, message);
}

} // namespace

class MemoryShortageTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        warnings.clear();
        previousHandler = qInstallMessageHandler(collectWarnings);
    }
    void cleanup() { qInstallMessageHandler(previousHandler); }

    void classification_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<int>("native");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("outOfMemory");
        // SQLSTATE HY001 means it from any driver; S1001 is its ODBC 2 name.
        QTest::newRow("HY001, SQL Server") << "HY001" << 0
                                           << "[HY001] [Microsoft][ODBC Driver 17 for SQL Server]Memory allocation failure"
                                           << true;
        QTest::newRow("HY001, PostgreSQL") << "HY001" << 4 << "[HY001] Could not allocate memory" << true;
        QTest::newRow("S1001") << "S1001" << 0 << "[S1001] [SQLite]out of memory" << true;
        // The SQLite driver's general state with SQLite's codes.
        QTest::newRow("SQLite 7") << "HY000" << 7 << "[HY000] [SQLite]unknown error (7)" << true;
        QTest::newRow("SQLite 7, ODBC 2") << "S1000" << 7 << "[S1000] [SQLite]out of memory (7)" << true;
        QTest::newRow("SQLite 3082") << "HY000" << 3082 << "[HY000] [SQLite]disk I/O error (3082)" << true;
        QTest::newRow("SQLite driver's own") << "HY000" << -1 << "[HY000] [SQLite]out of memory" << true;
        QTest::newRow("SQLite, later records") << "HY000" << 7
                                               << "[HY000] [SQLite]unknown error (7)\n[01000] [SQLite]more" << true;
        // Other failures under the general state are not.
        QTest::newRow("SQLite busy") << "HY000" << 5 << "[HY000] [SQLite]database is locked (5)" << false;
        QTest::newRow("SQLite no table") << "HY000" << 1 << "[HY000] [SQLite]no such table: x (1)" << false;
        QTest::newRow("SQLite -1, other text") << "HY000" << -1 << "[HY000] [SQLite]no memory for parameter x"
                                               << false;
        QTest::newRow("native 7, another driver") << "HY000" << 7
                                                  << "[HY000] [Microsoft][ODBC Driver 17 for SQL Server]error 7"
                                                  << false;
        QTest::newRow("SQLite tag later in the text") << "HY000" << 7 << "[HY000] [Other][SQLite]error (7)" << false;
        QTest::newRow("native 7, another state") << "42000" << 7 << "[42000] [SQLite]syntax (7)" << false;
        QTest::newRow("cancelled") << "HY008" << 0 << "[HY008] Operation canceled" << false;
        QTest::newRow("link down") << "08S01" << 0 << "[08S01] Communication link failure" << false;
        QTest::newRow("no diagnostic") << "" << 0 << "SQLFetch 调用失败" << false;
    }
    void classification()
    {
        QFETCH(QString, state);
        QFETCH(int, native);
        QFETCH(QString, text);
        QFETCH(bool, outOfMemory);
        QCOMPARE(isOutOfMemory(state, native, text), outOfMemory);
        const DatabaseError error(text, state, native);
        QCOMPARE(isOutOfMemory(error), outOfMemory);
        QCOMPARE(isMemoryShortage(error), outOfMemory);
        QCOMPARE(isMemoryShortage(std::make_exception_ptr(error)), outOfMemory);
    }

    void shortageKinds()
    {
        QVERIFY(isMemoryShortage(std::bad_alloc()));
        QVERIFY(isMemoryShortage(ResultTooLarge(12)));
        QVERIFY(isMemoryShortage(std::make_exception_ptr(std::bad_alloc())));
        QVERIFY(!isMemoryShortage(std::runtime_error("x")));
        QVERIFY(!isMemoryShortage(ProgramError(QStringLiteral("x"))));
        QVERIFY(!isMemoryShortage(std::exception_ptr()));
        QVERIFY(!isMemoryShortage(std::make_exception_ptr(42)));
    }

    // The real driver: a general failure is no shortage; a value SQLite
    // cannot allocate is, and a list meeting it ends in the program's own
    // message while the driver's text goes to the log.
    void realDriver()
    {
        generateDatabase(databasePath(), 10);
        Connection connection;
        logIn(connection, {QString(), QStringLiteral("qtrl"), QStringLiteral("sse"), QStringLiteral("OIW")});
        Query query(&connection);

        query.setSql({QStringLiteral("select * from nosuchtable")});
        try {
            query.open();
            QFAIL("a missing table was listed");
        } catch (const DatabaseError &error) {
            QVERIFY2(error.sqlState() == QLatin1String("HY000"), qPrintable(error.message()));
            QVERIFY2(!isOutOfMemory(error), qPrintable(error.message()));
        }

        query.setSql({LargeValue});
        QString message;
        {
            const HeapLimit limit;
            try {
                query.open();
            } catch (const std::exception &error) {
                message = QString::fromUtf8(error.what());
            }
        }

        QCOMPARE(message, QStringLiteral("内存不足：已取回 0 行，结果过大，请加条件查询"));
        QVERIFY(!query.active());
        const QStringList driver = warnings.filter(QStringLiteral("[SQLite]"));
        QVERIFY2(driver.size() == 1, qPrintable(warnings.join(QLatin1Char('\n'))));
        QVERIFY2(driver.first().contains(QStringLiteral("(7)")), qPrintable(driver.first()));

        // Without the limit the same value lists.
        query.setSql({LargeValue});
        query.open();
        QCOMPARE(query.fieldByName(QStringLiteral("n")).asString(), QStringLiteral("100000000"));
    }
};

SQLTOOL_CORE_TEST_MAIN(MemoryShortageTest)
#include "tst_memoryshortage.moc"
