#pragma once

// The PostgreSQL test server (scripts/pgserver.sh) as the test programs use
// it: a real client/server database over TCP, with the interface tables
// typed as on SQL Server.

#include <QList>
#include <QString>
#include <QStringList>
#include <QtTest/QtTest>

#include "support/testcore.h"

namespace pgserver {

// Attaches the test program to the server: the one ctest's fixture started
// (folder SQLTOOL_PG_FOLDER), else one of its own, started now and stopped
// when the application object goes. Creates `database` afresh as a copy of
// the server's "sse" and adds the DSN "pg" for it to the private ODBC
// set-up. Call after prepareProcess and the application object, before the
// first ODBC call.
void attach(const QString &database);

bool available();
// Why the server is not available (empty when it is).
QString unavailableReason();
// True when a missing server is a failure rather than a skip (CI=true).
bool required();

QString dsn();      // "pg"
// A DSN like dsn() on a local port that accepts connections and never
// answers.
QString silentDsn();
QString user();     // "qtrl"
QString password(); // its password
QString database(); // the database given to attach

// SQL run in the attached database as the superuser (psql, not ODBC).
// Rows come as their columns' texts; a null is an empty text. Throws
// std::runtime_error with psql's message when the SQL fails.
QList<QStringList> rows(const QString &sql);
QStringList column(const QString &sql); // the first column
QString value(const QString &sql);      // the first column of the first row
void exec(const QString &sql);

// Faults: stop the server at once (pg_ctl stop -m immediate) and start it
// again; stop (SIGSTOP) and continue every server process; end every
// backend serving the test login (pg_terminate_backend).
void halt();
void restart();
void freeze();
void thaw();
void terminateBackends();
// Number of backends of the test login running a statement now.
int activeStatements();

} // namespace pgserver

// Skips the calling test function (or the whole program, from
// initTestCase) when the server is not available; fails under CI=true.
#define PGSERVER_REQUIRE()                                                                         \
    do {                                                                                           \
        if (!pgserver::available()) {                                                              \
            const QByteArray reason = pgserver::unavailableReason().toLocal8Bit();                 \
            if (pgserver::required())                                                              \
                QFAIL(("PostgreSQL server unavailable under CI=true: " + reason).constData());     \
            QSKIP(("PostgreSQL server unavailable: " + reason).constData());                       \
        }                                                                                          \
    } while (false)

// Test main of a program against the server (with support/testsupport.h):
// as SQLTOOL_TEST_MAIN, and
// attached to the server with a database of its own.
#define SQLTOOL_SERVER_TEST_MAIN(TestObject, database)                                             \
    int main(int argc, char *argv[])                                                               \
    {                                                                                              \
        testsupport::prepareProcess();                                                             \
        Application app(argc, argv);                                                               \
        installFontSubstitutions();                                                                \
        pgserver::attach(QStringLiteral(database));                                                \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
