// A connection of a window's own: opened on first use, kept while uses
// succeed, dropped by a failing use so that the next one connects again;
// and the one text a status line shows for any failure.

#include "support/testcore.h"

#include "db/connstring.h"
#include "db/errors.h"
#include "db/ownconnection.h"

#include <QtTest/QtTest>

using namespace testsupport;

namespace {

QString odbcString(const QString &dsn)
{
    return toOdbcConnectionString(loginConnectionString(QString(), QStringLiteral("qtrl"), dsn));
}

// Fails with the driver's error on a statement SQLite cannot prepare.
void runBadStatement(SQLHDBC dbc)
{
    odbc::Handle statement(SQL_HANDLE_STMT, dbc);
    std::vector<SQLWCHAR> text = odbc::toWide(QStringLiteral("select * from no_such_table"));
    odbc::check(SQLExecDirectW(statement.get(), text.data(), SQL_NTS), SQL_HANDLE_STMT, statement.get(),
                "SQLExecDirectW");
}

} // namespace

class OwnConnectionTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), 200, 3);
    }

    void keptWhileUsesSucceedAndDroppedByAFailure()
    {
        OwnConnection connection(odbcString(QStringLiteral("sse")), QString());
        QVERIFY(!connection.isOpen());
        SQLHDBC first = connection.run(nullptr, [](SQLHDBC dbc) { return dbc; });
        QVERIFY(first != SQL_NULL_HDBC);
        QVERIFY(connection.fresh());
        SQLHDBC second = connection.run(nullptr, [](SQLHDBC dbc) { return dbc; });
        QCOMPARE(second, first);
        QVERIFY(!connection.fresh());

        QVERIFY_THROWS_EXCEPTION(DatabaseError, connection.run(nullptr, runBadStatement));
        QVERIFY(!connection.isOpen());
        QCOMPARE(connection.handle(), SQLHDBC(SQL_NULL_HDBC));

        // The next use connects again and works.
        const int value = connection.run(nullptr, [](SQLHDBC dbc) { return dbc != SQL_NULL_HDBC ? 7 : 0; });
        QCOMPARE(value, 7);
        QVERIFY(connection.fresh());
        QVERIFY(connection.isOpen());
    }

    void aConnectionThatCannotOpenStaysClosed()
    {
        OwnConnection connection(odbcString(QStringLiteral("no_such_dsn")), QString());
        bool used = false;
        QVERIFY_THROWS_EXCEPTION(DatabaseError, connection.run(nullptr, [&used](SQLHDBC) { used = true; }));
        QVERIFY(!used);
        QVERIFY(!connection.isOpen());
    }

    void errorTextOfEveryKind_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::newRow("database") << 0 << QStringLiteral("[42S02] no such table");
        QTest::newRow("program") << 1 << QStringLiteral("数据库未连接");
        QTest::newRow("too large") << 2 << QStringLiteral("内存不足：已取回 12 行，结果过大，请加条件查询");
        QTest::newRow("standard") << 3 << QStringLiteral("磁盘已满");
        QTest::newRow("anything else") << 4 << QStringLiteral("未知错误");
    }

    void errorTextOfEveryKind()
    {
        QFETCH(int, kind);
        QFETCH(QString, text);
        std::exception_ptr error;
        try {
            switch (kind) {
            case 0:
                throw DatabaseError(text, QStringLiteral("42S02"));
            case 1:
                throw ProgramError(text);
            case 2:
                throw ResultTooLarge(12);
            case 3:
                throw std::runtime_error(text.toStdString());
            default:
                throw 42;
            }
        } catch (...) {
            error = std::current_exception();
        }
        QCOMPARE(errorText(error), text);
    }
};

SQLTOOL_CORE_TEST_MAIN(OwnConnectionTest)
#include "tst_ownconnection.moc"
