#pragma once

// The harness every test program shares, without widgets: a private ODBC
// set-up with the DSN "sse" on a generated SQLite file, dbset.ini beside the
// test executable, direct SQLite reads, permission cases run as nobody.

#include "base/platform.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <QtTest/QtTest>

#include <cstdint>

namespace testsupport {

// Called by the test main before anything else: sets QT_QPA_PLATFORM to
// offscreen when unset, and writes odbcinst.ini/odbc.ini into a private
// folder named by ODBCSYSINI (before the first ODBC call), and points the
// program's data folder into the private folder (dataDir()). The DSNs:
//   sse      → SQLite file databasePath()
//   other    → SQLite file otherDatabasePath()
//   third    → SQLite file thirdDatabasePath()
//   stepped  → SQLite file databasePath(), rows stepped one by one as they
//              are fetched (StepAPI) instead of all during the execution
// When SQLTOOL_MSSQL_DSN is set, the machine's own ODBC entries are copied
// after these so that DSN is reachable as well.
void prepareProcess();

// The private folder of this test run (removed at exit).
QString workDir();
// The folder the program's data location (QStandardPaths::AppDataLocation)
// lies under in this run: XDG_DATA_HOME, set by prepareProcess().
QString dataDir();
QString databasePath();      // file behind DSN "sse"
QString otherDatabasePath(); // file behind DSN "other"
QString thirdDatabasePath(); // file behind DSN "third"

// Generates the three tables into the file with the given rows and seed
// (order rows: -1 = half the trade rows). Replaces the file.
void generateDatabase(const QString &path, std::int64_t tradeRows, std::uint64_t seed = 1,
                      std::int64_t orderRows = -1);
// Creates the file with the three tables and no rows.
void createEmptyDatabase(const QString &path);
// Runs SQL on the file directly through SQLite (not through ODBC).
void sqliteExec(const QString &path, const QString &sql);
// First column of the first row of a query run directly through SQLite.
qint64 sqliteCount(const QString &path, const QString &sql);
// First column of every row, as text (null as empty).
QStringList sqliteColumn(const QString &path, const QString &sql);

// Whole-file read (empty when the file cannot be read) and write (qFatal
// when it cannot be written).
QByteArray readFile(const QString &path);
void writeFile(const QString &path, const QByteArray &content);

// dbset.ini beside the test executable.
QString dbsetPath();
void writeDbset(const QByteArray &content);
void removeDbset();
QByteArray readDbset();
// Text as dbset.ini stores it.
inline QByteArray gbk(const QString &text)
{
    return platform::toGbk(text);
}

// Permission cases as an unprivileged user: when this process runs as root
// (where permission bits stop nothing) and runuser exists, runCaseAsNobody
// runs one case of this test program ("function:tag") again as the user
// nobody. Gives an empty text when it passed there, else its output.
bool canRunAsNobody();
QString runCaseAsNobody(const QString &testCase);

// An optional real SQL Server: SQLTOOL_MSSQL_DSN names a DSN of the
// machine's ODBC set-up; SQLTOOL_MSSQL_USER, SQLTOOL_MSSQL_PASSWORD and
// SQLTOOL_MSSQL_DATABASE give the login. Empty when unset.
QString sqlServerDsn();
QString sqlServerUser();
QString sqlServerPassword();
QString sqlServerDatabase();

} // namespace testsupport

// Test main of a program without windows: no QApplication, private ODBC
// set-up.
#define SQLTOOL_CORE_TEST_MAIN(TestObject)                                                         \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        testsupport::prepareProcess();                                                             \
        QCoreApplication app(argc, argv);                                                          \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
