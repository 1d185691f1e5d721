#include "support/testsupport.h"

#include "gendata.h"
#include "db/connection.h"
#include "flow/returncodes.h"
#include "flow/flowreader.h"
#include "flow/tablelayout.h"
#include "support/linkchecks.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>

namespace {

using testsupport::sqliteColumn;
using testsupport::sqliteCount;

QString path(const QString &name)
{
    return testsupport::workDir() + QLatin1Char('/') + name;
}

void generate(const QString &file, std::int64_t trades, std::uint64_t seed, std::int64_t orders, bool cancelReffRepeats = false)
{
    gendata::Options options;
    options.tradeRows = trades;
    options.seed = seed;
    options.orderRows = orders;
    options.cancelReffRepeatsOrder = cancelReffRepeats;
    gendata::generate(QFile::encodeName(file).toStdString(), options);
    // Indexes for the checks' joins only; the rows stay as generated.
    testsupport::sqliteExec(file, QStringLiteral(
        "create index t_sqbh on ashare_cjhb(sqbh); create index o_reff on ashare_ordwth(reff);"
        "create index o_rec on ashare_ordwth(rec_num); create index c_reff on ashare_ordwth2(reff);"
        "create index c_rec on ashare_ordwth2(rec_num); create index t_cjbh on ashare_cjhb(cjbh);"));
}

QByteArray digest(const QString &file)
{
    return QCryptographicHash::hash(testsupport::readFile(file), QCryptographicHash::Sha256);
}

} // namespace

// The generated day, read back with SQL of its own.
class GendataTest : public QObject
{
    Q_OBJECT
private slots:
    void everyRowLinks_data()
    {
        QTest::addColumn<qint64>("trades");
        QTest::addColumn<qint64>("orders");
        QTest::addColumn<quint64>("seed");
        QTest::addColumn<bool>("cancelReffRepeats");
        QTest::newRow("default sizes") << qint64(1000) << qint64(-1) << quint64(1) << false;
        QTest::newRow("larger day") << qint64(8000) << qint64(-1) << quint64(7) << false;
        QTest::newRow("more orders than trades") << qint64(60) << qint64(40) << quint64(5) << false;
        QTest::newRow("few trades, many orders") << qint64(10) << qint64(300) << quint64(3) << false;
        QTest::newRow("cancel repeats the order's reff") << qint64(3000) << qint64(-1) << quint64(2) << true;
    }
    void everyRowLinks()
    {
        QFETCH(qint64, trades);
        QFETCH(qint64, orders);
        QFETCH(quint64, seed);
        QFETCH(bool, cancelReffRepeats);
        const QString file = path(QStringLiteral("linked.db"));
        generate(file, trades, seed, orders, cancelReffRepeats);
        const auto count = [&file](const QString &sql) { return sqliteCount(file, sql); };
        const QStringList failed = linkchecks::failures(count);
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_cjhb")), trades);
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth")), orders < 0 ? trades / 2 : orders);
        // Every row taken and answered has exactly one confirmation; the
        // newest few are waiting, a few before them sent without answer.
        const qint64 all = count(QStringLiteral("select count(*) from ashare_ordwth"));
        const qint64 waiting = count(QStringLiteral("select count(*) from ashare_ordwth where status = 'R'"));
        const qint64 unanswered = count(QStringLiteral(
            "select count(*) from ashare_ordwth o where status = 'P' and not exists "
            "(select 1 from ashare_ordwth2 c where c.reff = o.reff and (upper(c.owflag) = 'WTH') = (upper(o.owflag) = 'WTH'))"));
        QCOMPARE(waiting, std::min<qint64>(4, all / 10));
        QCOMPARE(unanswered, std::min<qint64>(3, all / 10));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth2")), all - waiting - unanswered);
        QCOMPARE(count(QStringLiteral("select min(rec_num) from ashare_ordwth2")), qint64(1));
        QCOMPARE(count(QStringLiteral("select max(rec_num) from ashare_ordwth where status = 'P'")), all - waiting);
    }

    // The mix an operator meets in a day: accepted, rejected with a code of
    // the return-code table, cancels, fills in full, in part and none.
    void dayHasEveryKindOfRow()
    {
        const QString file = path(QStringLiteral("mix.db"));
        generate(file, 8000, 11, -1);
        const auto count = [&file](const QString &sql) { return sqliteCount(file, sql); };
        for (const char *status : {"O", "F", "E", "W", "?"}) {
            QVERIFY2(count(QStringLiteral("select count(*) from ashare_ordwth2 where status = '%1'").arg(QLatin1String(status))) > 0,
                     status);
        }
        QVERIFY(count(QStringLiteral("select count(*) from ashare_ordwth2 where status = 'O'"))
                > 8 * count(QStringLiteral("select count(*) from ashare_ordwth2 where status in ('F','E','?')")));
        // Cancels mostly accepted; refused ones name an order traded in full.
        QVERIFY(count(QStringLiteral("select count(*) from ashare_ordwth2 where owflag = 'WTH' and status = 'W'"))
                > count(QStringLiteral("select count(*) from ashare_ordwth2 where owflag = 'WTH' and status <> 'W'")));
        QCOMPARE(count(QStringLiteral(
                     "select count(*) from ashare_ordwth2 c join ashare_ordwth o on o.rec_num = cast(c.ordrec as int) "
                     "where c.owflag = 'WTH' and c.status = 'F' and coalesce((select sum(cjsl) from ashare_cjhb t "
                     "where t.sqbh = o.reff), 0) < cast(o.qty as int)")),
                 qint64(0));
        const QString filled = QStringLiteral(
            "select count(*) from ashare_ordwth o join ashare_ordwth2 c on c.reff = o.reff and c.owflag <> 'WTH' "
            "and c.status = 'O' where o.owflag <> 'WTH' and coalesce((select sum(cjsl) from ashare_cjhb t "
            "where t.sqbh = o.reff), 0) %1");
        const qint64 full = count(filled.arg(QStringLiteral("= cast(o.qty as int)")));
        const qint64 part = count(filled.arg(QStringLiteral("between 1 and cast(o.qty as int) - 1")));
        const qint64 none = count(filled.arg(QStringLiteral("= 0")));
        QVERIFY2(full > part && part > 0 && none > 0, qPrintable(QStringLiteral("%1 %2 %3").arg(full).arg(part).arg(none)));
        QVERIFY(count(QStringLiteral("select count(*) from (select sqbh from ashare_cjhb group by sqbh having count(*) > 1) x")) > 0);
        // Trade numbers rise with the trade time.
        QCOMPARE(count(QStringLiteral("select count(*) from (select cjsj, lag(cjsj) over (order by cast(cjbh as int)) "
                                      "as before from ashare_cjhb) x where cast(cjsj as int) < cast(before as int)")),
                 qint64(0));

        static const QRegularExpression leadingCode(QStringLiteral("^(\\d{3,4})"));
        const QStringList remarks = sqliteColumn(file, QStringLiteral(
            "select remark from ashare_ordwth2 where status in ('F','E','?')"));
        QVERIFY(!remarks.isEmpty());
        for (const QString &remark : remarks) {
            const QRegularExpressionMatch match = leadingCode.match(remark);
            QVERIFY2(match.hasMatch() && !flow::returnCodeNote(match.captured(1)).isEmpty(), qPrintable(remark));
        }
    }

    // Nulls only in columns a condition box filters, never in what the
    // statistics add up; a few of them in each table.
    void nullsOnlyInFilteredColumns()
    {
        const QString file = path(QStringLiteral("nulls.db"));
        generate(file, 20000, 4, -1);
        const auto count = [&file](const QString &sql) { return sqliteCount(file, sql); };
        QVERIFY(count(QStringLiteral("select count(*) from ashare_cjhb where gddm is null or zqdm is null or bcye is null or bs is null")) > 0);
        QVERIFY(count(QStringLiteral("select count(*) from ashare_ordwth where acc is null or stock is null or bs is null or price is null")) > 0);
        QVERIFY(count(QStringLiteral("select count(*) from ashare_ordwth2 where qty2 is null")) > 0);
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_cjhb where cjsl is null or cjje is null or sqbh is null or cjbh is null")), qint64(0));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where qty is null or reff is null or rec_num is null")), qint64(0));
    }

    void sameSeedSameFile()
    {
        generate(path(QStringLiteral("a.db")), 5000, 9, -1);
        generate(path(QStringLiteral("b.db")), 5000, 9, -1);
        generate(path(QStringLiteral("c.db")), 5000, 10, -1);
        QCOMPARE(digest(path(QStringLiteral("a.db"))), digest(path(QStringLiteral("b.db"))));
        QVERIFY(digest(path(QStringLiteral("a.db"))) != digest(path(QStringLiteral("c.db"))));
    }

    // Without order rows the order tables stay empty (as after clearing
    // them) and the trades still come from a day's orders.
    void tradesAloneWithoutOrderRows()
    {
        const QString file = path(QStringLiteral("trades.db"));
        generate(file, 3000, 1, 0);
        QCOMPARE(sqliteCount(file, QStringLiteral("select count(*) from ashare_cjhb")), qint64(3000));
        QCOMPARE(sqliteCount(file, QStringLiteral("select count(*) from ashare_ordwth")), qint64(0));
        QCOMPARE(sqliteCount(file, QStringLiteral("select count(*) from ashare_ordwth2")), qint64(0));
        QVERIFY(sqliteCount(file, QStringLiteral("select count(distinct sqbh) from ashare_cjhb")) > 500);
    }

    // The keys of a production database: nothing the monitor and the trace
    // read by is left without an index (without them, the trace's keys are).
    void keysCoverEveryIndexReliedOn()
    {
        const QString file = path(QStringLiteral("keys.db"));
        gendata::Options options;
        options.tradeRows = 200;
        gendata::generate(QFile::encodeName(file).toStdString(), options);
        const auto missing = [&file] {
            const auto link = Connection::connect(QStringLiteral("DRIVER=SQLite3;Database=") + file);
            flow::Reader reader{link->get()};
            return flow::missingIndexes(reader, true);
        };
        QVERIFY(!missing().isEmpty());
        gendata::createKeys(QFile::encodeName(file).toStdString());
        QCOMPARE(missing(), QStringList());
    }

    void tooFewOrdersForTheTradesIsRefused()
    {
        QVERIFY_THROWS_EXCEPTION(gendata::Error, generate(path(QStringLiteral("few.db")), 100000, 1, 10));
    }

    // An option the program does not know is never taken as the file to write.
    void optionsAreNotFileNames_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("usage: gendata");
        QTest::newRow("short help") << QStringList{QStringLiteral("-h")} << 0 << QStringLiteral("usage: gendata");
        QTest::newRow("unknown") << QStringList{QStringLiteral("--index"), QStringLiteral("day.db")} << 2
                                 << QStringLiteral("unknown option --index");
        QTest::newRow("after a known one") << QStringList{QStringLiteral("--indexes"), QStringLiteral("--rows")} << 2
                                           << QStringLiteral("unknown option --rows");
    }

    void optionsAreNotFileNames()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        QTemporaryDir folder(testsupport::workDir() + QStringLiteral("/cli-XXXXXX"));
        QVERIFY(folder.isValid());
        QProcess program;
        program.setWorkingDirectory(folder.path());
        program.start(QStringLiteral(SQLTOOL_GENDATA), arguments);
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitCode(), exitCode);
        const QString output = QString::fromUtf8(program.readAllStandardOutput() + program.readAllStandardError());
        QVERIFY2(output.contains(printed), qPrintable(output));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList());
    }
};

SQLTOOL_TEST_MAIN(GendataTest)
#include "tst_gendata.moc"
