#include "support/properties.h"
#include "support/testsupport.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/query.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>

using namespace testsupport;

namespace {

const int SseTrades = 120;
const int OtherTrades = 45;

qint64 tradesThrough(Connection &con)
{
    Query query(&con);
    runQuery(query, {"select count(*) as n from ashare_cjhb"});
    return query.fieldByName("n").asString().toLongLong();
}

} // namespace

class ConnectionTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), SseTrades);
        generateDatabase(otherDatabasePath(), OtherTrades, 2);
        // A DSN whose driver cannot load: reaching it makes a connect fail.
        QFile ini(workDir() + "/odbc.ini");
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("[broken]\nDriver=/nonexistent/libnodriver.so\nDescription=unreachable\n\n");
    }

    // The driver manager keeps the last DSN of a string: an unquoted
    // password could name another data source.
    void driverManagerTakesLastKey()
    {
        const auto connects = [](const QString &text) {
            odbc::Handle dbc(SQL_HANDLE_DBC, odbc::environment());
            std::vector<SQLWCHAR> wide = odbc::toWide(text);
            const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, wide.data(), SQL_NTS, nullptr, 0, nullptr,
                                                   SQL_DRIVER_NOPROMPT);
            if (SQL_SUCCEEDED(rc))
                SQLDisconnect(dbc.get());
            return SQL_SUCCEEDED(rc);
        };
        QVERIFY(connects("DSN=sse;UID=qtrl;PWD=x"));
        QVERIFY(!connects("DSN=broken;UID=qtrl;PWD=x"));
        QVERIFY(!connects("DSN=sse;UID=qtrl;PWD=x;DSN=broken"));
        QVERIFY(connects("DSN=sse;UID=qtrl;PWD={x;DSN=broken}"));
        QVERIFY(connects("DSN=sse;UID=qtrl;PWD={x}};DSN=broken}"));
    }

    // Provider strings ----------------------------------------------------------

    void quoteProviderValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("quoted");
        QTest::newRow("plain") << "qtrl" << "qtrl";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("equals sign") << "a=b" << "a=b";
        QTest::newRow("braces") << "{x}" << "{x}";
        QTest::newRow("inner blank") << "a b" << "a b";
        QTest::newRow("semicolon") << "a;b" << "\"a;b\"";
        QTest::newRow("double quote") << "a\"b" << "\"a\"\"b\"";
        QTest::newRow("single quote") << "it's" << "\"it's\"";
        QTest::newRow("leading blank") << " x" << "\" x\"";
        QTest::newRow("trailing blank") << "x " << "\"x \"";
        QTest::newRow("key injection") << "x;Data Source=other" << "\"x;Data Source=other\"";
    }

    void quoteProviderValue()
    {
        QFETCH(QString, value);
        QFETCH(QString, quoted);
        QCOMPARE(::quoteProviderValue(value), quoted);
    }

    void loginStringPlainValues()
    {
        // Plain values give the login's string unchanged.
        QCOMPARE(loginConnectionString("pw1", "qtrl", "sse"),
                 QString("Provider=MSDASQL.1; password=pw1;Persist Security Info=False;User ID=qtrl;Data Source=sse"));
        QCOMPARE(loginConnectionString("", "qtrl", "sse"),
                 QString("Provider=MSDASQL.1; password=;Persist Security Info=False;User ID=qtrl;Data Source=sse"));
        QCOMPARE(toOdbcConnectionString(loginConnectionString("pw1", "qtrl", "sse")),
                 QString("DSN=sse;UID=qtrl;PWD=pw1"));
        QCOMPARE(toOdbcConnectionString(loginConnectionString("", "qtrl", "sse")), QString("DSN=sse;UID=qtrl;PWD="));
    }

    void parseProviderString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("trimmed") << " Data Source = sse ; User ID=  qtrl" << QStringList{"Data Source", "User ID"}
                                 << QStringList{"sse", "qtrl"};
        QTest::newRow("double quotes keep blanks") << "password=\" a;b \"" << QStringList{"password"}
                                                   << QStringList{" a;b "};
        QTest::newRow("doubled double quote") << "password=\"say \"\"hi\"\"\"" << QStringList{"password"}
                                              << QStringList{"say \"hi\""};
        QTest::newRow("single quotes") << "password='it''s;x'" << QStringList{"password"}
                                       << QStringList{"it's;x"};
        QTest::newRow("other quote inside") << "password='a\"b'" << QStringList{"password"} << QStringList{"a\"b"};
        QTest::newRow("empty value") << "password=;User ID=u" << QStringList{"password", "User ID"}
                                     << QStringList{"", "u"};
        QTest::newRow("equals in value") << "password=a=b" << QStringList{"password"} << QStringList{"a=b"};
        QTest::newRow("trailing semicolon") << "a=1;" << QStringList{"a"} << QStringList{"1"};
    }

    void parseProviderString()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, values);
        const auto pairs = ::parseProviderString(text);
        QStringList actualKeys, actualValues;
        for (const auto &pair : pairs) {
            actualKeys << pair.first;
            actualValues << pair.second;
        }
        QCOMPARE(actualKeys, keys);
        QCOMPARE(actualValues, values);
    }

    void malformedProviderStringRaises_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("unclosed double quote") << "password=\"abc;User ID=x";
        QTest::newRow("unclosed single quote") << "password='abc";
        QTest::newRow("text after quotes") << "password=\"a\"b;User ID=x";
        QTest::newRow("key without value") << "password";
        QTest::newRow("value without key") << "=x";
    }

    void malformedProviderStringRaises()
    {
        QFETCH(QString, text);
        QVERIFY_THROWS_EXCEPTION(ProgramError, ::parseProviderString(text));
    }

    void odbcValue_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("odbc");
        QTest::newRow("plain") << "pw1" << "pw1";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("quotes need nothing") << "a'b\"c" << "a'b\"c";
        QTest::newRow("semicolon") << "a;b" << "{a;b}";
        QTest::newRow("equals") << "a=b" << "{a=b}";
        QTest::newRow("opening brace") << "{x" << "{{x}";
        QTest::newRow("closing brace doubled") << "a}b" << "{a}}b}";
        QTest::newRow("closing brace at end") << "ab}" << "{ab}}}";
        QTest::newRow("blanks") << " x " << "{ x }";
    }

    void odbcValue()
    {
        QFETCH(QString, value);
        QFETCH(QString, odbc);
        QCOMPARE(::odbcValue(value), odbc);
    }

    void nullCharacterCannotBeSent()
    {
        QVERIFY_THROWS_EXCEPTION(ProgramError, ::odbcValue(QString("a") + QChar(0) + "b"));
        Connection con;
        con.setConnectionString(loginConnectionString(QString("a") + QChar(0) + "b", "qtrl", "sse"));
        QVERIFY_THROWS_EXCEPTION(ProgramError, con.open());
        QVERIFY(!con.connected());
    }

    void providerKeysTranslate()
    {
        // Keys are case-insensitive; unknown ones are not passed on; the
        // last of a repeated key wins.
        QCOMPARE(toOdbcConnectionString("PROVIDER=MSDASQL.1;PASSWORD=p;user id=u;data source=d;Persist Security Info=False"),
                 QString("DSN=d;UID=u;PWD=p"));
        QCOMPARE(toOdbcConnectionString("Data Source=a;Data Source=b"), QString("DSN=b"));
    }

    // Passwords reach the driver as one value ---------------------------------------

    void passwords_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << "pw1";
        QTest::newRow("empty") << "";
        QTest::newRow("semicolon") << "a;b";
        QTest::newRow("data source key") << "x;Data Source=broken";
        QTest::newRow("dsn key") << "x;DSN=broken;UID=sa";
        QTest::newRow("equals") << "a=b=c";
        QTest::newRow("double quotes") << "\"quoted\" pw";
        QTest::newRow("single quotes") << "'pw'";
        QTest::newRow("braces") << "{pw}";
        QTest::newRow("closing brace injection") << "x};DSN=broken;PWD={y";
        QTest::newRow("doubled closing braces") << "x}}};DSN=broken";
        QTest::newRow("blanks") << "  pw  ";
        QTest::newRow("blanks and semicolon") << " ; ";
        QTest::newRow("chinese") << QString::fromUtf8("密码;口令");
    }

    void passwords()
    {
        QFETCH(QString, password);
        const QString provider = loginConnectionString(password, "qtrl", "sse");

        // The provider string keeps the password whole and adds no key.
        const auto pairs = ::parseProviderString(provider);
        QCOMPARE(pairs.size(), 5);
        QCOMPARE(pairs[1].first, QString("password"));
        QCOMPARE(pairs[1].second, password);
        QCOMPARE(pairs[3].second, QString("qtrl"));
        QCOMPARE(pairs[4].second, QString("sse"));

        // The ODBC string, read by the driver manager's grammar, holds
        // exactly DSN, UID and PWD with the typed values.
        const auto odbc = model::readOdbcString(toOdbcConnectionString(provider));
        QCOMPARE(odbc.size(), 3);
        QCOMPARE(odbc[0], (QPair<QString, QString>("DSN", "sse")));
        QCOMPARE(odbc[1], (QPair<QString, QString>("UID", "qtrl")));
        QCOMPARE(odbc[2], (QPair<QString, QString>("PWD", password)));

        // A real connect reaches the data source named in the settings.
        Connection con;
        con.setConnectionString(provider);
        con.open();
        QVERIFY(con.connected());
        QCOMPARE(tradesThrough(con), qint64(SseTrades));
        con.close();
    }

    // Property: for any characters in them, the login's string translated
    // for ODBC and read back by the grammar above holds exactly the DSN and
    // the user without their outer blanks and exactly the password; a NUL
    // anywhere is refused.
    void translatedStringHoldsExactlyTheGivenValues()
    {
        const QString alphabet = QStringLiteral("aZ0 \t;=\"'{}中\u3000.");
        QRandomGenerator random(20261210);
        const auto randomText = [&] {
            QString text;
            const int length = int(random.bounded(8));
            for (int i = 0; i < length; ++i)
                text += random.bounded(40) == 0 ? QChar(0) : alphabet.at(random.bounded(int(alphabet.size())));
            return text;
        };
        for (int i = 0; i < 30000; ++i) {
            const QString dsn = randomText(), user = randomText(), password = randomText();
            const QString provider = loginConnectionString(password, user, dsn);
            const QString context = QStringLiteral("[%1] [%2] [%3]").arg(dsn, user, password);
            if ((dsn + user + password).contains(QChar(0))) {
                QVERIFY_THROWS_EXCEPTION(ProgramError, toOdbcConnectionString(provider));
                continue;
            }
            const QList<QPair<QString, QString>> expected{
                {"DSN", dsn.trimmed()}, {"UID", user.trimmed()}, {"PWD", password}};
            QVERIFY2(model::readOdbcString(toOdbcConnectionString(provider)) == expected, qPrintable(context));
        }
    }

    // Opening and closing --------------------------------------------------------

    void openAndClose()
    {
        Connection con;
        QVERIFY(!con.connected());
        QVERIFY(con.loginPrompt());
        QVERIFY(con.keepConnection());
        QVERIFY(con.connectionString().isEmpty());
        QSignalSpy spy(&con, &Connection::connectedChanged);

        con.setConnectionString(loginConnectionString("pw", "qtrl", "other"));
        con.setLoginPrompt(false);
        QVERIFY(!con.loginPrompt());
        con.open();
        con.setKeepConnection(true);
        QVERIFY(con.keepConnection());
        QVERIFY(con.connected());
        QVERIFY(con.handle() != SQL_NULL_HDBC);
        QCOMPARE(tradesThrough(con), qint64(OtherTrades));
        QCOMPARE(spy.size(), 1);

        con.open(); // already open: nothing happens
        QCOMPARE(spy.size(), 1);

        con.close();
        QVERIFY(!con.connected());
        con.close(); // closing a closed connection does nothing
        QVERIFY(!con.connected());
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(0).at(0).toBool(), true);
        QCOMPARE(spy.at(1).at(0).toBool(), false);

        // And it opens again.
        con.setConnectionString(loginConnectionString("pw", "qtrl", "sse"));
        con.open();
        QCOMPARE(tradesThrough(con), qint64(SseTrades));
    }

    void wrongDsnRaises()
    {
        Connection con;
        con.setConnectionString(loginConnectionString("pw", "qtrl", "nosuchdsn"));
        try {
            con.open();
            QFAIL("no error");
        } catch (const DatabaseError &e) {
            QVERIFY2(e.message().startsWith("[IM002]"), qPrintable(e.message()));
            QCOMPARE(e.sqlState(), QString("IM002"));
        }
        QVERIFY(!con.connected());
        con.close();
        QVERIFY(!con.connected());
    }

    void defaultDatabase()
    {
        Connection con;
        QVERIFY_THROWS_EXCEPTION(ProgramError, con.setDefaultDatabase("main"));
        con.setConnectionString(loginConnectionString("", "qtrl", "sse"));
        con.open();
        // The SQLite driver answers "option value changed": that is success.
        con.setDefaultDatabase("ashare");
        QCOMPARE(con.defaultDatabase(), QString("ashare"));
        // It names no database afterwards, which is taken at its word.
        QCOMPARE(con.currentCatalog(), QString());
        QCOMPARE(tradesThrough(con), qint64(SseTrades));
    }

    void resultOutlivesConnection()
    {
        // A held result needs no statement or connection.
        Connection con;
        con.setConnectionString(loginConnectionString("", "qtrl", "sse"));
        con.open();
        Query query(&con);
        runQuery(query, {"select gddm, cjsl from ashare_cjhb"});
        con.close();
        QVERIFY(query.active());
        QCOMPARE(query.recordCount(), SseTrades);
        query.sort("cjsl DESC");
        query.first();
        QVERIFY(!query.fieldByName("gddm").asString().isEmpty() || query.fieldByName("gddm").isNull());
        // Running a statement on the closed connection raises and closes.
        QVERIFY_THROWS_EXCEPTION(ProgramError, runQuery(query, {"select gddm from ashare_cjhb"}));
        QVERIFY(!query.active());
    }

    void dataModuleClosesConnection()
    {
        auto *module = new Tdatamod;
        QCOMPARE(module->qry1->sqlText(), QString("select * from ashare_cjhb"));
        QVERIFY(module->qry2->sql().isEmpty());
        QVERIFY(!module->con->connected());
        module->con->setConnectionString(loginConnectionString("", "qtrl", "sse"));
        module->con->open();
        runQuery(*module->qry1, {"select gddm from ashare_cjhb"});
        QSignalSpy spy(module->con, &Connection::connectedChanged);
        delete module; // disconnects; the held result needs no handle
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toBool(), false);
    }

    // A real SQL Server, when one is named -----------------------------------------------

    void sqlServer()
    {
        if (sqlServerDsn().isEmpty())
            QSKIP("SQLTOOL_MSSQL_DSN is not set");
        Connection con;
        con.setConnectionString(loginConnectionString(sqlServerPassword(), sqlServerUser(), sqlServerDsn()));
        con.setLoginPrompt(false);
        con.open();
        if (!sqlServerDatabase().isEmpty())
            con.setDefaultDatabase(sqlServerDatabase());
        con.setKeepConnection(true);

        // "delete ashare_cjhb" succeeds, inside a transaction rolled back again
        // (which also drops the table if this test created it).
        Query query(&con);
        executeStatement(query, {"begin transaction"});
        executeStatement(query, {"if object_id('ashare_cjhb') is null create table ashare_cjhb (gddm varchar(10), cjsl int)"});
        executeStatement(query, {"insert into ashare_cjhb (gddm, cjsl) values (:g, 100)"},
                         {{"g", QString::fromUtf8("A12345")}});
        executeStatement(query, {"delete ashare_cjhb"});
        QCOMPARE(query.lastStatement(), QString("delete ashare_cjhb"));
        runQuery(query, {"select count(*) as n from ashare_cjhb"});
        QCOMPARE(query.fieldByName("n").asString(), QString("0"));
        executeStatement(query, {"rollback transaction"});

        // sp_password: a wrong old password is refused with the server's text;
        // the right one, changed to itself, succeeds.
        Query qry4(&con);
        QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                 executeStatement(qry4, {"exec sp_password :oldpass,:newpass"},
                                                  {{"oldpass", sqlServerPassword() + "-wrong"},
                                                   {"newpass", sqlServerPassword()}}));
        executeStatement(qry4, {"exec sp_password :oldpass,:newpass"},
                         {{"oldpass", sqlServerPassword()}, {"newpass", sqlServerPassword()}});
        QCOMPARE(qry4.lastStatement(), QString("exec sp_password ?,?"));
        QVERIFY(!qry4.active());

        // Chinese text comes back as wide text.
        runQuery(query, {"select N'上海A股' as t"});
        QCOMPARE(query.fieldByName("t").asString(), QString::fromUtf8("上海A股"));
    }
};

SQLTOOL_TEST_MAIN(ConnectionTest)
#include "tst_connection.moc"
