#include "support/testsupport.h"

#include "connection/datamodule.h"
#include "db/command.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/query.h"

#include <QCursor>
#include <QGuiApplication>
#include <QSignalSpy>

#include <algorithm>
#include <thread>

using namespace testsupport;

namespace {

const int TradeRows = 3000;

// A column of the trade table read directly through SQLite, in sqbh order.
QStringList tableColumn(const QString &field)
{
    return sqliteColumn(databasePath(), "select " + field + " from ashare_cjhb order by sqbh");
}

QStringList fieldColumn(Query &query, const QString &field)
{
    QStringList values;
    for (query.first(); !query.eof(); query.next())
        values << query.fieldByName(field).asString();
    return values;
}

// Each row's value of the field paired with its sqbh (unique, in insertion
// order), so that one comparison checks the order and its stability.
const QChar PairSeparator(0x1);

QStringList pairedWithSqbh(Query &query, const QString &field)
{
    QStringList pairs;
    for (query.first(); !query.eof(); query.next())
        pairs << query.fieldByName(field).asString() + PairSeparator + query.fieldByName("sqbh").asString();
    return pairs;
}

// Expected order of a column by an independent rule: stable over the
// database's order, nulls first ascending and last descending.
QStringList expectedOrder(const QStringList &values, const QList<bool> &nulls, bool descending,
                          const std::function<bool(const QString &, const QString &)> &less)
{
    QList<int> index;
    for (int i = 0; i < values.size(); ++i)
        index << i;
    std::stable_sort(index.begin(), index.end(), [&](int a, int b) {
        if (nulls[a] != nulls[b])
            return descending ? nulls[b] : nulls[a];
        if (nulls[a])
            return false;
        return descending ? less(values[b], values[a]) : less(values[a], values[b]);
    });
    QStringList ordered;
    for (int i : index)
        ordered << values[i];
    return ordered;
}

} // namespace

class QueryTest : public QObject
{
    Q_OBJECT
private:
    Connection *con = nullptr;

private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), TradeRows);
        // Nulls in every column the sort tests use, in two rows (by their
        // place in the file: an order's fills share their sqbh).
        sqliteExec(databasePath(), "update ashare_cjhb set gddm=null, zqdm=null, sbsj=null, bs=null, cjsl=null, "
                                   "bcye=null, cjje=null where rowid in (100, 2999)");
        con = new Connection(this);
        con->setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("sse")));
        con->open();
    }

    // Named parameters ------------------------------------------------------

    void parameterParsing_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QStringList>("names");

        QTest::newRow("plain") << QStringList{"select * from t where a like :tmpgddm"}
                               << "select * from t where a like ?" << QStringList{"tmpgddm"};
        QTest::newRow("quoted constant") << QStringList{"where(A.sbsj between :tmptime3 and '95959')or(B.sbsj between '100000' and :tmptime4)"}
                                         << "where(A.sbsj between ? and '95959')or(B.sbsj between '100000' and ?)"
                                         << QStringList{"tmptime3", "tmptime4"};
        QTest::newRow("colon inside single quotes") << QStringList{"select ':notparam' from t where a=:p"}
                                                    << "select ':notparam' from t where a=?" << QStringList{"p"};
        QTest::newRow("colon inside double quotes") << QStringList{"select \"a:b\" from t where a=:p"}
                                                    << "select \"a:b\" from t where a=?" << QStringList{"p"};
        QTest::newRow("doubled quote stays inside") << QStringList{"select 'it''s :x' , :y"}
                                                    << "select 'it''s :x' , ?" << QStringList{"y"};
        QTest::newRow("same name twice") << QStringList{"select :a, :b, :A"} << "select ?, ?, ?"
                                         << QStringList{"a", "b"};
        QTest::newRow("double colon") << QStringList{"select x::int, :p"} << "select x::int, ?"
                                      << QStringList{"p"};
        QTest::newRow("lone colon") << QStringList{"select ': ' || :p || ' :'"} << "select ': ' || ? || ' :'"
                                    << QStringList{"p"};
        QTest::newRow("several lines") << QStringList{"exec sp_password :oldpass,", ":newpass"}
                                       << "exec sp_password ?,\r\n?" << QStringList{"oldpass", "newpass"};
    }

    void parameterParsing()
    {
        QFETCH(QStringList, lines);
        QFETCH(QString, statement);
        QFETCH(QStringList, names);
        Query query(con);
        for (const QString &line : lines)
            query.addSql(line);
        QCOMPARE(query.sqlText(), lines.join("\r\n"));
        QCOMPARE(query.parameterNames(), names);
        // What reaches the driver: run it (it may fail on SQLite) and read back.
        for (const QString &name : names)
            query.setParameter(name, name + "-value");
        try {
            query.execSql();
        } catch (const DatabaseError &) {
        }
        QCOMPARE(query.lastStatement(), statement);
    }

    void parameterBindsEveryPlace()
    {
        Query query(con);
        query.addSql("select :a as x, :b as y, :A as z");
        query.setParameter(":a", "first");
        query.setParameter("B", "second");
        query.open();
        QCOMPARE(query.lastBoundValues(), (QStringList{"first", "second", "first"}));
        QCOMPARE(query.fieldByName("x").asString(), QString("first"));
        QCOMPARE(query.fieldByName("y").asString(), QString("second"));
        QCOMPARE(query.fieldByName("z").asString(), QString("first"));
    }

    void parameterBeforeTextDoesNotExist()
    {
        Query query(con);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.setParameter("tmpgddm", "%A%"));
        query.addSql("select gddm from ashare_cjhb");
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.setParameter("tmpgddm", "%A%"));
        query.addSql("where gddm like :tmpgddm");
        query.setParameter("tmpgddm", "%A%");
        QCOMPARE(query.parameterValue("tmpgddm"), QString("%A%"));
        try {
            query.setParameter("nosuch", "x");
            QFAIL("no error");
        } catch (const DatabaseError &e) {
            QVERIFY(e.message().contains("Parameter 'nosuch' not found"));
        }
        // Clearing the text removes the parameters again.
        query.clearSql();
        QVERIFY(!query.hasParameter("tmpgddm"));
    }

    void chineseTextParameter()
    {
        // Wide text travels unchanged both ways.
        const QString name = QString::fromUtf8("林静");
        Query query(con);
        query.addSql("select count(*) as n from ashare_cjhb where gdxm = :name");
        query.setParameter("name", name);
        query.open();
        const qint64 expected = sqliteCount(databasePath(),
                                            "select count(*) from ashare_cjhb where gdxm = '" + name + "'");
        QVERIFY(expected > 0);
        QCOMPARE(query.fieldByName("n").asString(), QString::number(expected));
    }

    // A value declared as ASCII text (SQL_VARCHAR) finds what the same value
    // declared wide finds; one with other characters, or a long one, still
    // travels whole.
    void asciiParameterMatchesWide_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("ascii") << QString("%A1%");
        QTest::newRow("chinese") << QString::fromUtf8("林静");
        QTest::newRow("long") << QString("%") + QString("A").repeated(5000);
    }
    void asciiParameterMatchesWide()
    {
        QFETCH(QString, value);
        const auto count = [&](ParameterType type) {
            Query query(con);
            query.addSql("select count(*) as n from ashare_cjhb where gddm like :p or gdxm = :p");
            query.setParameter("p", value, type);
            query.open();
            return query.lastBoundValues() == QStringList({value, value}) ? query.fieldByName("n").asString()
                                                                          : QString("bound otherwise");
        };
        const QString expected = QString::number(sqliteCount(
            databasePath(), "select count(*) from ashare_cjhb where gddm like '" + value + "' or gdxm = '" + value + "'"));
        QCOMPARE(count(ParameterType::AsciiText), expected);
        QCOMPARE(count(ParameterType::WideText), expected);
    }

    // Run and execute ---------------------------------------------------------

    void recordCountMatchesTable_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::newRow("all") << "%%";
        QTest::newRow("A accounts") << "%A1%";
        QTest::newRow("none") << "%nothing%";
    }

    void recordCountMatchesTable()
    {
        QFETCH(QString, condition);
        Query query(con);
        runQuery(query, {"select gddm,zqdm,cjsl from ashare_cjhb", "where (gddm like :tmpgddm)"},
                 {{"tmpgddm", condition}});
        QVERIFY(query.active());
        QVERIFY(query.prepared());
        const qint64 expected = sqliteCount(databasePath(),
                                            "select count(*) from ashare_cjhb where gddm like '" + condition + "'");
        QCOMPARE(qint64(query.recordCount()), expected);
        int walked = 0;
        for (query.first(); !query.eof(); query.next())
            ++walked;
        QCOMPARE(walked, int(expected));
        QCOMPARE(query.recNo(), expected == 0 ? -1 : int(expected) - 1);
    }

    void fieldValuesByName()
    {
        Query query(con);
        runQuery(query, {"select sqbh,gddm,gdxm,cjsl,cjje from ashare_cjhb order by sqbh"});
        QCOMPARE(fieldColumn(query, "GDDM"), tableColumn("gddm"));
        QCOMPARE(fieldColumn(query, "gdxm"), tableColumn("gdxm"));
        QCOMPARE(fieldColumn(query, "cjsl"), tableColumn("cjsl"));
        // cjje is numeric(15,2): compare as numbers.
        const QStringList cjje = tableColumn("cjje");
        const QStringList shown = fieldColumn(query, "cjje");
        QCOMPARE(shown.size(), cjje.size());
        for (int i = 0; i < shown.size(); ++i) {
            QCOMPARE(shown[i].isEmpty(), cjje[i].isEmpty());
            if (!shown[i].isEmpty())
                QCOMPARE(shown[i].toDouble(), cjje[i].toDouble());
        }
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.fieldByName("nosuchfield"));
    }

    void closedQueryRaises()
    {
        Query query(con);
        query.setObjectName("qry1");
        QVERIFY(!query.active());
        QCOMPARE(query.recNo(), -1);
        QCOMPARE(query.result(), nullptr);
        const std::function<void()> uses[] = {
            [&] { query.recordCount(); },
            [&] { query.first(); },
            [&] { query.next(); },
            [&] { query.eof(); },
            [&] { query.fieldByName("gddm"); },
            [&] { query.sort("gddm ASC"); },
            [&] { query.setRecNo(0); },
        };
        for (const auto &use : uses) {
            try {
                use();
                QFAIL("a closed query did not raise");
            } catch (const DatabaseError &e) {
                QVERIFY2(e.message().contains("closed dataset"), qPrintable(e.message()));
            }
        }
        query.close(); // closing a closed query does nothing
        QVERIFY(!query.active());
    }

    void failingStatementLeavesQueryClosed()
    {
        Query query(con);
        runQuery(query, {"select gddm from ashare_cjhb"});
        QVERIFY(query.active());
        try {
            runQuery(query, {"select nosuchcolumn from ashare_cjhb"});
            QFAIL("no error");
        } catch (const DatabaseError &e) {
            // The driver's own text, with its SQLSTATE.
            QVERIFY2(e.message().contains("nosuchcolumn"), qPrintable(e.message()));
            QVERIFY2(e.message().startsWith('['), qPrintable(e.message()));
            QVERIFY(!e.sqlState().isEmpty());
            QCOMPARE(QString::fromUtf8(e.what()), e.message());
        }
        QVERIFY(!query.active());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.recordCount());
        // The next run works as usual.
        runQuery(query, {"select gddm from ashare_cjhb"});
        QCOMPARE(query.recordCount(), TradeRows);
    }

    void executeLeavesQueryClosed()
    {
        sqliteExec(databasePath(), "create table if not exists scratch (a varchar(10)); delete from scratch;");
        Query query(con);
        runQuery(query, {"select gddm from ashare_cjhb"});
        executeStatement(query, {"insert into scratch (a) values (:v)"}, {{"v", "x1"}});
        QVERIFY(!query.active());
        executeStatement(query, {"insert into scratch (a) values (:v)"}, {{"v", "x2"}});
        QCOMPARE(sqliteCount(databasePath(), "select count(*) from scratch"), qint64(2));
        executeStatement(query, {"delete from scratch"});
        QCOMPARE(sqliteCount(databasePath(), "select count(*) from scratch"), qint64(0));
        // Deleting from an empty table succeeds too.
        executeStatement(query, {"delete from scratch"});
        QVERIFY(!query.active());
    }

    void unpreparedRunsDirectly()
    {
        Query query(con);
        query.addSql("select gddm from ashare_cjhb where bs = :bs");
        query.setParameter("bs", "B");
        QVERIFY(!query.prepared());
        query.open();
        QCOMPARE(qint64(query.recordCount()),
                 sqliteCount(databasePath(), "select count(*) from ashare_cjhb where bs = 'B'"));
        query.open(); // an open query stays as it is
        QVERIFY(query.active());
    }

    void overlongTextIsNeverCut()
    {
        // SQLite keeps text longer than the declared varchar(10): the bound
        // buffer is too short, and the value must still come back whole.
        const QString longValue = QString("L").repeated(3000) + QString::fromUtf8("尾");
        sqliteExec(databasePath(), "create table if not exists longtext (id int, code varchar(10), note text);"
                                   "delete from longtext;");
        QString insert = "begin;";
        for (int i = 0; i < 2500; ++i)
            insert += QString("insert into longtext values (%1, 'C%1', 'n%1');").arg(i);
        insert += "commit;";
        sqliteExec(databasePath(), insert);
        sqliteExec(databasePath(), "update longtext set code = '" + longValue + "' where id = 2200;"
                                   "update longtext set note = '" + QString("N").repeated(70000) + "' where id = 5");

        Query query(con);
        runQuery(query, {"select id, code from longtext order by id"});
        QCOMPARE(query.recordCount(), 2500);
        query.setRecNo(2200);
        QCOMPARE(query.fieldByName("code").asString(), longValue);
        query.setRecNo(2199);
        QCOMPARE(query.fieldByName("code").asString(), QString("C2199"));

        // A long text column is read value by value.
        runQuery(query, {"select id, note from longtext order by id"});
        QCOMPARE(query.recordCount(), 2500);
        query.setRecNo(5);
        QCOMPARE(query.fieldByName("note").asString(), QString("N").repeated(70000));
        query.setRecNo(6);
        QCOMPARE(query.fieldByName("note").asString(), QString("n6"));
    }

    void chineseTextComesBackWhole()
    {
        Query query(con);
        runQuery(query, {"select gdxm from ashare_cjhb order by sqbh"});
        QCOMPARE(fieldColumn(query, "gdxm"), tableColumn("gdxm"));
    }

    void fieldKindsAndNulls()
    {
        Query query(con);
        runQuery(query, {"select gddm, cjsl, cjje from ashare_cjhb where rowid = 100"});
        QCOMPARE(query.recordCount(), 1);
        QCOMPARE(query.fieldByName("gddm").kind(), FieldKind::Text);
        QCOMPARE(query.fieldByName("cjsl").kind(), FieldKind::Integer);
        QCOMPARE(query.fieldByName("cjje").kind(), FieldKind::Float);
        for (const char *field : {"gddm", "cjsl", "cjje"}) {
            QVERIFY(query.fieldByName(field).isNull());
            QCOMPARE(query.fieldByName(field).asString(), QString());
        }
        runQuery(query, {"select 12345678901 as big, 2.5e20 as huge, 0.00001 as tiny, -7 as neg"});
        QCOMPARE(query.fieldByName("big").asString(), QString("12345678901"));
        QCOMPARE(query.fieldByName("huge").asString(), QString("2.5E20"));
        QCOMPARE(query.fieldByName("tiny").asString(), QString("1E-5"));
        QCOMPARE(query.fieldByName("neg").asString(), QString("-7"));
    }

    void emptyResult()
    {
        Query query(con);
        runQuery(query, {"select gddm from ashare_cjhb where 1 = 0"});
        QVERIFY(query.active());
        QCOMPARE(query.recordCount(), 0);
        QVERIFY(query.eof());
        QCOMPARE(query.recNo(), -1);
        query.first();
        QVERIFY(query.eof());
        query.next();
        QVERIFY(query.eof());
        QVERIFY(query.fieldByName("gddm").isNull());
        query.sort("gddm DESC");
        QCOMPARE(query.recNo(), -1);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.setRecNo(0));
    }

    void navigation()
    {
        Query query(con);
        runQuery(query, {"select sqbh from ashare_cjhb order by sqbh"});
        const QStringList sqbh = sqliteColumn(databasePath(), "select sqbh from ashare_cjhb order by sqbh");
        QCOMPARE(sqbh.size(), TradeRows);
        QCOMPARE(query.recNo(), 0);
        QVERIFY(!query.eof());
        QCOMPARE(query.fieldByName("sqbh").asString(), sqbh.first());
        query.next();
        QCOMPARE(query.recNo(), 1);
        QCOMPARE(query.fieldByName("sqbh").asString(), sqbh.at(1));
        query.setRecNo(TradeRows - 1);
        QVERIFY(!query.eof());
        query.next();
        QVERIFY(query.eof());
        QCOMPARE(query.recNo(), TradeRows - 1); // stays on the last row
        QCOMPARE(query.fieldByName("sqbh").asString(), sqbh.last());
        query.first();
        QCOMPARE(query.recNo(), 0);
        QVERIFY(!query.eof());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.setRecNo(TradeRows));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.setRecNo(-1));
    }

    void currentRowSignalIsCoalesced()
    {
        Query query(con);
        runQuery(query, {"select sqbh from ashare_cjhb"});
        QCoreApplication::processEvents();
        QSignalSpy spy(&query, &Query::currentRowChanged);
        for (query.first(); !query.eof(); query.next()) {
        }
        QCOMPARE(spy.size(), 0); // nothing until the event loop turns
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), TradeRows - 1);
        query.sort("sqbh DESC");
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 0);
        query.close();
        QCoreApplication::processEvents();
        QCOMPARE(spy.size(), 3);
        QCOMPARE(spy.at(2).at(0).toInt(), -1);
    }

    void signalsAroundResultChanges()
    {
        Query query(con);
        QSignalSpy about(&query, &Query::resultAboutToChange);
        QSignalSpy changed(&query, &Query::resultChanged);
        QSignalSpy active(&query, &Query::activeChanged);
        QSignalSpy order(&query, &Query::orderChanged);
        runQuery(query, {"select gddm from ashare_cjhb"});
        QCOMPARE(about.size(), 1);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(active.size(), 1);
        query.sort("gddm ASC");
        QCOMPARE(about.size(), 2);
        QCOMPARE(changed.size(), 2);
        QCOMPARE(order.size(), 1);
        // A failing run closes the open result and opens nothing.
        QVERIFY_THROWS_EXCEPTION(DatabaseError, runQuery(query, {"select nosuch from ashare_cjhb"}));
        QCOMPARE(about.size(), 3);
        QCOMPARE(changed.size(), 3);
        QCOMPARE(active.size(), 2);
        QCOMPARE(active.at(1).at(0).toBool(), false);
    }

    void waitCursorWhileRunning()
    {
        Query query(con);
        int cursorShape = -1;
        QObject::connect(&query, &Query::resultAboutToChange, this, [&] {
            const QCursor *cursor = QGuiApplication::overrideCursor();
            cursorShape = cursor ? int(cursor->shape()) : -1;
        });
        runQuery(query, {"select gddm from ashare_cjhb"});
        QCOMPARE(cursorShape, int(Qt::WaitCursor));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        // A failing run restores the cursor as well.
        QVERIFY_THROWS_EXCEPTION(DatabaseError, runQuery(query, {"select nosuch from ashare_cjhb"}));
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    }

    void runQuerySteps()
    {
        // The stored text is replaced; the binding callback runs after the
        // parameters are set and before the open.
        Tdatamod module;
        QCOMPARE(module.qry1->sqlText(), QString("select * from ashare_cjhb"));
        bool called = false;
        Query &query = *module.qry2;
        Connection *moduleCon = module.con;
        moduleCon->setConnectionString(loginConnectionString("", "qtrl", "sse"));
        moduleCon->open();
        runQuery(query, {"select acc from ashare_ordwth", "where acc like :tmpacc"}, {{"tmpacc", "%A%"}}, [&] {
            called = true;
            QVERIFY(!query.active());
            QCOMPARE(query.parameterValue("tmpacc"), QString("%A%"));
        });
        QVERIFY(called);
        QCOMPARE(qint64(query.recordCount()),
                 sqliteCount(databasePath(), "select count(*) from ashare_ordwth where acc like '%A%'"));
        // A parameter that the text does not hold stops the run before the open.
        QVERIFY_THROWS_EXCEPTION(DatabaseError,
                                 runQuery(query, {"select acc from ashare_ordwth"}, {{"tmpacc", "%A%"}}));
        QVERIFY(!query.active());
    }

    // Re-sorting ----------------------------------------------------------------

    void sortMatchesIndependentOrder_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<bool>("numeric");
        for (const char *field : {"gddm", "zqdm", "sbsj", "bs"}) {
            QTest::addRow("%s ASC", field) << QString(field) << false << false;
            QTest::addRow("%s DESC", field) << QString(field) << true << false;
        }
        for (const char *field : {"cjsl", "bcye", "cjje"}) {
            QTest::addRow("%s ASC", field) << QString(field) << false << true;
            QTest::addRow("%s DESC", field) << QString(field) << true << true;
        }
    }

    void sortMatchesIndependentOrder()
    {
        QFETCH(QString, field);
        QFETCH(bool, descending);
        QFETCH(bool, numeric);
        Query query(con);
        runQuery(query, {"select sqbh,gddm,zqdm,sbsj,bs,cjsl,bcye,cjje from ashare_cjhb"});
        QList<bool> nulls;
        for (query.first(); !query.eof(); query.next())
            nulls << query.fieldByName(field).isNull();
        QVERIFY(nulls.contains(true)); // the generated data holds some nulls

        const auto valueOf = [](const QString &s) { return s.section(PairSeparator, 0, 0); };
        const auto less = [&](const QString &a, const QString &b) {
            if (numeric)
                return valueOf(a).toDouble() < valueOf(b).toDouble();
            return valueOf(a) < valueOf(b); // QString compares UTF-16 code units
        };
        const QStringList expected = expectedOrder(pairedWithSqbh(query, field), nulls, descending, less);

        query.sort(field + (descending ? " DESC" : " ASC"));
        QCOMPARE(query.recNo(), 0);
        QCOMPARE(pairedWithSqbh(query, field), expected);
    }

    void sortIsIndependentOfEarlierSorts()
    {
        Query query(con);
        runQuery(query, {"select sqbh,bs,gddm from ashare_cjhb"});
        query.sort("bs ASC");
        const QStringList once = fieldColumn(query, "sqbh");
        query.sort("gddm desc");
        query.sort("BS asc");
        QCOMPARE(fieldColumn(query, "sqbh"), once);
    }

    // A sort computed elsewhere changes the order only once its work has
    // ended; a cancelled one leaves the order as it was.
    void sortThroughARunner()
    {
        const QStringList select = {"select sqbh,gddm from ashare_cjhb"};
        Query direct(con);
        runQuery(direct, select);
        direct.sort("gddm DESC");
        Query query(con);
        runQuery(query, select);
        const QStringList before = fieldColumn(query, "sqbh");
        QStringList whileRunning;
        query.sort("gddm DESC", [&](const std::function<void(CommandControl &)> &work) {
            std::thread worker([&work] {
                CommandControl control;
                work(control);
            });
            worker.join();
            whileRunning = fieldColumn(query, "sqbh");
        });
        QCOMPARE(whileRunning, before);
        QCOMPARE(fieldColumn(query, "sqbh"), fieldColumn(direct, "sqbh"));

        const auto cancelled = [](const std::function<void(CommandControl &)> &work) {
            CommandControl control;
            control.requestCancel();
            work(control);
        };
        QVERIFY_THROWS_EXCEPTION(OperationCancelled, query.sort("gddm ASC", cancelled));
        QCOMPARE(fieldColumn(query, "sqbh"), fieldColumn(direct, "sqbh"));
    }

    void textSortsByCodeUnits()
    {
        // Times without a leading zero: as text "100000" sorts before "91500".
        Query query(con);
        runQuery(query, {"select '91500' as t union all select '100000' union all select '95959'"});
        query.sort("t ASC");
        QCOMPARE(fieldColumn(query, "t"), (QStringList{"100000", "91500", "95959"}));
        query.sort("t DESC");
        QCOMPARE(fieldColumn(query, "t"), (QStringList{"95959", "91500", "100000"}));
    }

    void badSortExpressionRaises_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::newRow("unknown field") << "nosuch ASC";
        QTest::newRow("bad keyword") << "gddm UP";
        QTest::newRow("no keyword") << "gddm";
        QTest::newRow("empty") << "";
        QTest::newRow("extra word") << "gddm ASC DESC";
    }

    void badSortExpressionRaises()
    {
        QFETCH(QString, expression);
        Query query(con);
        runQuery(query, {"select sqbh,gddm from ashare_cjhb"});
        const QStringList before = fieldColumn(query, "sqbh");
        QVERIFY_THROWS_EXCEPTION(DatabaseError, query.sort(expression));
        QCOMPARE(fieldColumn(query, "sqbh"), before);
    }

    // The SQL Server statements ----------------------------------------------------

    void sqlServerStatementsOnSqlite()
    {
        Query query(con);
        runQuery(query, {"select gddm from ashare_cjhb"});
        // The clearing command's statement: exact text, no parameters. SQLite
        // has no "delete <table>" without "from", so it fails there.
        QVERIFY_THROWS_EXCEPTION(DatabaseError, executeStatement(query, {"delete ashare_cjhb"}));
        QCOMPARE(query.lastStatement(), QString("delete ashare_cjhb"));
        QVERIFY(query.lastBoundValues().isEmpty());
        QVERIFY(!query.active());
        QCOMPARE(sqliteCount(databasePath(), "select count(*) from ashare_cjhb"), qint64(TradeRows));

        Query qry4(con);
        try {
            executeStatement(qry4, {"exec sp_password :oldpass,:newpass"},
                             {{"oldpass", "old;pw'"}, {"newpass", "new \"pw\""}});
            QFAIL("no error");
        } catch (const DatabaseError &e) {
            QVERIFY(!e.message().isEmpty());
        }
        QCOMPARE(qry4.lastStatement(), QString("exec sp_password ?,?"));
        QCOMPARE(qry4.lastBoundValues(), (QStringList{"old;pw'", "new \"pw\""}));
        QVERIFY(!qry4.active());
    }

    void cleanupTestCase()
    {
        con->close();
        con->close(); // twice does nothing
        QVERIFY(!con->connected());
    }
};

SQLTOOL_TEST_MAIN(QueryTest)
#include "tst_query.moc"
