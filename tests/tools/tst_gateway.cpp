#include "support/testsupport.h"

#include "gateway.h"
#include "support/linkchecks.h"
#include "support/standinrun.h"

#include "connection/datamodule.h"
#include "db/query.h"
#include "query/queryform.h"

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>

using Counts = QMap<QString, qint64>;

namespace {

using testsupport::databasePath;
using testsupport::sqliteColumn;
using testsupport::sqliteCount;

using standin::finish;
using standin::Run;
using standin::start;

// Quick timings, so that a run of some dozens of rows takes about a second.
const QStringList Quick = {QStringLiteral("--dsn"), QStringLiteral("sse"), QStringLiteral("--rate"), QStringLiteral("200"),
                           QStringLiteral("--confirm-delay"), QStringLiteral("20"), QStringLiteral("--fill-delay"),
                           QStringLiteral("40"), QStringLiteral("--poll"), QStringLiteral("20")};

Run runGateway(const QStringList &arguments)
{
    return standin::runToEnd(Quick + arguments, 60000);
}

void freshDatabase()
{
    for (const char *suffix : {"", "-wal", "-shm"})
        QFile::remove(databasePath() + QLatin1String(suffix));
    testsupport::createEmptyDatabase(databasePath());
}

qint64 count(const QString &sql)
{
    return sqliteCount(databasePath(), sql);
}

QString failures(const QMap<QString, qint64> &expected, const QStringList &skipped = {})
{
    return linkchecks::failures(count, expected, skipped).join(QLatin1Char('\n'));
}

} // namespace

// The stand-in's rows, read back with SQL of their own.
class GatewayTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanRunLinksEveryRow()
    {
        freshDatabase();
        const Run run = runGateway({QStringLiteral("--rows"), QStringLiteral("120"), QStringLiteral("--seed"), QStringLiteral("3")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        const QString failed = failures({});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth")), qint64(120));
        QCOMPARE(count(QStringLiteral("select min(rec_num) from ashare_ordwth")), qint64(1));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where status <> 'P'")), qint64(0));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth2")), qint64(120));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth2 where remark like '1021%'")), qint64(0));
        // What it says it did is what the tables hold.
        QCOMPARE(run.number("rows_inserted"), qint64(120));
        QCOMPARE(run.number("cancels_inserted"), count(QStringLiteral("select count(*) from ashare_ordwth where owflag = 'WTH'")));
        QCOMPARE(run.number("trades_written"), count(QStringLiteral("select count(*) from ashare_cjhb")));
        QCOMPARE(run.number("quantity_filled"), count(QStringLiteral("select sum(cjsl) from ashare_cjhb")));
        QCOMPARE(run.number("cancels_accepted"), count(QStringLiteral("select count(*) from ashare_ordwth2 where status = 'W'")));
        QVERIFY(run.number("trades_written") > 0);
        QVERIFY(run.number("cancels_accepted") > 0);
        QCOMPARE(run.values.value(QStringLiteral("stopped_by")), QStringLiteral("rows"));
    }

    // Each fault, planted alone, shows exactly once; nothing else breaks.
    void faultIsPlantedOnce_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("plantedLine");
        QTest::addColumn<Counts>("expected"); // broken link rules
        QTest::addColumn<QString>("faultSql");               // counts the fault's rows
        QTest::addColumn<qint64>("faultRows");
        QTest::addColumn<QStringList>("skipped"); // rules the fault leaves undecidable
        using M = Counts;
        QTest::newRow("rec_num gap") << QStringList{"--gap", "20"} << "planted_gap_rec_num" << M{{"recNumGap", 1}}
                                     << "select count(*) from ashare_ordwth2 where status = 'E' and remark = '1021'" << qint64(1) << QStringList{};
        QTest::newRow("repeated rec_num") << QStringList{"--repeat-rec-num", "20"} << "planted_repeat_rec_num"
                                          << M{{"recNumRepeated", 1}}
                                          << "select count(*) from ashare_ordwth2 where status = 'E' and remark = '1021'" << qint64(1) << QStringList{};
        QTest::newRow("repeated reff") << QStringList{"--repeat-reff", "20"} << "planted_repeat_reff"
                                       << M{{"reffRepeated", 1}, {"confirmationWithoutOneOrder", 2}, {"orderWithSeveralConfirmations", 2}}
                                       << "select count(*) from ashare_ordwth where reff = '%1'" << qint64(2) << QStringList{"fillsAboveOrder", "cancelledQuantityWrong"};
        QTest::newRow("cancel of no order") << QStringList{"--cancel-unknown", "20"} << "planted_cancel_unknown_rec_num"
                                            << M{{"cancelOfNoOrder", 1}}
                                            << "select count(*) from ashare_ordwth2 where status = 'E' and remark = '1030' and ordrec is not null" << qint64(1) << QStringList{};
        QTest::newRow("cancel not below its rec_num") << QStringList{"--cancel-not-lower", "20"} << "planted_cancel_not_lower_rec_num"
                                                      << M{{"cancelNotBelowOwn", 1}, {"cancelOfNoOrder", 1}}
                                                      << "select count(*) from ashare_ordwth where rec_num = %1 and cast(ordrec as int) = %1" << qint64(1) << QStringList{};
        QTest::newRow("trade of unknown reff") << QStringList{"--unknown-trade", "20"} << "planted_unknown_trade_sqbh"
                                               << M{{"tradeOfNoAcceptedOrder", 1}}
                                               << "select count(*) from ashare_cjhb where sqbh = '%1'" << qint64(1) << QStringList{};
        QTest::newRow("fill above the order") << QStringList{"--overfill", "10"} << "planted_overfill_reff"
                                              << M{{"fillsAboveOrder", 1}}
                                              << "select count(*) from ashare_cjhb t join ashare_ordwth o on o.reff = t.sqbh "
                                                 "where t.sqbh = '%1' and t.cjsl = cast(o.qty as int) + 100" << qint64(1) << QStringList{};
        QTest::newRow("burst of rejections") << QStringList{"--reject-burst", "10:218:4"} << "planted_reject_burst" << M{}
                                             << "select count(*) from ashare_ordwth2 where status = 'F' and remark like '218%'" << qint64(4) << QStringList{};
        QTest::newRow("stops taking rows") << QStringList{"--stop-taking", "30"} << "planted_stop_taking_rec_num" << M{}
                                           << "select count(*) from ashare_ordwth where status = 'R' and rec_num >= %1" << qint64(50) << QStringList{};
        QTest::newRow("stops confirming") << QStringList{"--stop-confirming", "30"} << "planted_stop_confirming_rec_num" << M{}
                                          << "select count(*) from ashare_ordwth o where status = 'P' and rec_num >= %1 and not exists "
                                             "(select 1 from ashare_ordwth2 c where c.reff = o.reff)" << qint64(50) << QStringList{};
    }
    void faultIsPlantedOnce()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, plantedLine);
        QFETCH(Counts, expected);
        QFETCH(QString, faultSql);
        QFETCH(qint64, faultRows);
        QFETCH(QStringList, skipped);
        freshDatabase();
        const Run run = runGateway(QStringList{QStringLiteral("--rows"), QStringLiteral("80")} + arguments);
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QVERIFY2(run.values.contains(plantedLine), qPrintable(run.values.keys().join(QLatin1Char(' '))));
        const QString planted = run.values.value(plantedLine);
        const QString failed = failures(expected, skipped);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QCOMPARE(count(faultSql.contains(QLatin1String("%1")) ? faultSql.arg(planted) : faultSql), faultRows);
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth")), qint64(80));
    }

    // As the gateway does: a rec_num out of sequence stops the exchange side.
    void sequenceFaultCanHaltTheExchange()
    {
        freshDatabase();
        const Run run = runGateway({QStringLiteral("--rows"), QStringLiteral("40"), QStringLiteral("--gap"), QStringLiteral("15"),
                                    QStringLiteral("--halt-on-sequence-fault")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QCOMPARE(run.values.value(QStringLiteral("halted_at_rec_num")), QStringLiteral("16"));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where status = 'R'")), qint64(26));
        QCOMPARE(count(QStringLiteral("select min(rec_num) from ashare_ordwth where status = 'R'")), qint64(16));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth2 where remark = '1021'")), qint64(0));
    }

    // On a generated day it goes on where the day stands: the next rec_num,
    // the waiting rows taken first, the confirmations' own sequence.
    void continuesAGeneratedDay()
    {
        for (const char *suffix : {"-wal", "-shm"})
            QFile::remove(databasePath() + QLatin1String(suffix));
        testsupport::generateDatabase(databasePath(), 400, 5);
        const qint64 before = count(QStringLiteral("select max(rec_num) from ashare_ordwth"));
        const qint64 confirmationsBefore = count(QStringLiteral("select max(rec_num) from ashare_ordwth2"));
        const Run run = runGateway({QStringLiteral("--rows"), QStringLiteral("30")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        // The generated rows lie on another day's clock: the waiting ones
        // trade at today's time, before the time they entered the table.
        const QString failed = failures({}, {QStringLiteral("tradeBeforeOrder")});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        QCOMPARE(count(QStringLiteral("select max(rec_num) from ashare_ordwth")), before + 30);
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where status = 'R'")), qint64(0));
        QCOMPARE(count(QStringLiteral("select max(rec_num) from ashare_ordwth2")), confirmationsBefore + run.number("confirmations_written"));
        QCOMPARE(run.number("rows_taken"), qint64(30 + 4));
        QCOMPARE(count(QStringLiteral("pragma journal_mode")), qint64(0)); // "wal" is no number
        QCOMPARE(sqliteColumn(databasePath(), QStringLiteral("pragma journal_mode")), QStringList{QStringLiteral("wal")});
    }

    void stopsCleanlyOnSignal()
    {
#ifdef Q_OS_WIN
        QSKIP("no SIGTERM to send on Windows");
#endif
        freshDatabase();
        QProcess process;
        start(process, Quick);
        QElapsedTimer waited;
        waited.start();
        while (count(QStringLiteral("select count(*) from ashare_cjhb")) < 3 && waited.elapsed() < 20000)
            QTest::qWait(50);
        process.terminate(); // SIGTERM
        const Run run = finish(process, 20000);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.values.value(QStringLiteral("stopped_by")), QStringLiteral("signal"));
        QCOMPARE(run.number("rows_inserted"), count(QStringLiteral("select count(*) from ashare_ordwth")));
        QCOMPARE(run.number("trades_written"), count(QStringLiteral("select count(*) from ashare_cjhb")));
        QVERIFY(run.number("trades_written") >= 3);
    }

    // The tool lists the table again and again while the stand-in writes
    // it: no lock error on either side, and each list sees more rows.
    void toolListsWhileItWrites()
    {
        freshDatabase();
        testsupport::Forms forms;
        testsupport::logIn();
        testsupport::ModalWatcher boxes;
        queryform->show();
        QVERIFY(QTest::qWaitForWindowExposed(queryform));
        QProcess process;
        start(process, {QStringLiteral("--dsn"), QStringLiteral("sse"), QStringLiteral("--rate"), QStringLiteral("100"),
                        QStringLiteral("--seconds"), QStringLiteral("4"), QStringLiteral("--confirm-delay"),
                        QStringLiteral("20"), QStringLiteral("--fill-delay"), QStringLiteral("40")});
        auto *list = testsupport::child<QPushButton>(queryform, "Button4");
        auto *page = testsupport::child<QTabWidget>(queryform, "PageControl1");
        page->setCurrentIndex(1);
        auto *label = testsupport::child<QLabel>(queryform, "Label15");
        const QList<qint64> counts = standin::countsWhileRunning(process, list, label);
        const Run run = finish(process, 20000);
        QVERIFY2(boxes.records.isEmpty(), qPrintable(boxes.records.value(0).text));
        standin::expectGrowingListsAndCleanRun(run, counts);
        queryform->hide();
    }

    void argumentsRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        QTest::newRow("no data source") << QStringList{"--rows", "5"} << "--dsn or --connect is needed";
        QTest::newRow("row zero") << QStringList{"--dsn", "x", "--gap", "0"} << "--gap needs a whole number of at least 1";
        QTest::newRow("missing value") << QStringList{"--dsn", "x", "--rows"} << "--rows needs a whole number of at least 1";
        QTest::newRow("two faults on one row") << QStringList{"--dsn", "x", "--gap", "7", "--cancel-unknown", "7"}
                                               << "--gap and --cancel-unknown name the same row";
        QTest::newRow("repeat of the first row") << QStringList{"--dsn", "x", "--repeat-rec-num=1"}
                                                 << "a repeat needs a row before it: N of at least 2";
        QTest::newRow("burst code of two digits") << QStringList{"--dsn", "x", "--reject-burst", "5:21"}
                                                  << "--reject-burst needs N[:CODE[:COUNT]], CODE of 3 or 4 digits";
        QTest::newRow("both sides excluded") << QStringList{"--dsn", "x", "--broker-only", "--exchange-only"}
                                             << "--broker-only and --exchange-only exclude each other";
        QTest::newRow("percent above 100") << QStringList{"--dsn", "x", "--reject-percent", "101"} << "--reject-percent needs 0 to 100";
        QTest::newRow("unknown") << QStringList{"--dsn", "x", "--fast"} << "unknown argument --fast";
    }
    void argumentsRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        QString text;
        bool help = false;
        QVERIFY(!gateway::parseArguments(arguments, &text, &help));
        QCOMPARE(text, error);
    }

    void burstArgumentTakesCodeAndCount()
    {
        QString text;
        bool help = false;
        const auto options = gateway::parseArguments({QStringLiteral("--dsn=x"), QStringLiteral("--reject-burst=12:1025:3")}, &text, &help);
        QVERIFY2(options, qPrintable(text));
        QCOMPARE(options->faults.rejectBurst, 12);
        QCOMPARE(options->faults.rejectCode, QStringLiteral("1025"));
        QCOMPARE(options->faults.rejectCount, 3);
    }
};

SQLTOOL_TEST_MAIN(GatewayTest)
#include "tst_gateway.moc"
