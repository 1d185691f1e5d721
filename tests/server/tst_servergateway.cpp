#include "support/testsupport.h"

#include "support/linkchecks.h"
#include "support/pgserver.h"
#include "support/standinrun.h"

#include "query/queryform.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>

namespace {

qint64 count(const QString &sql)
{
    return pgserver::value(sql).toLongLong();
}

const QStringList &quick()
{
    static const QStringList arguments = {
        QStringLiteral("--dsn"), pgserver::dsn(), QStringLiteral("--user"), pgserver::user(),
        QStringLiteral("--password"), pgserver::password(), QStringLiteral("--rate"), QStringLiteral("200"),
        QStringLiteral("--confirm-delay"), QStringLiteral("20"), QStringLiteral("--fill-delay"), QStringLiteral("40"),
        QStringLiteral("--poll"), QStringLiteral("20")};
    return arguments;
}

standin::Run runGateway(const QStringList &arguments)
{
    return standin::runToEnd(quick() + arguments, 120000);
}

} // namespace

// The server's day and the stand-in's rows on it, read back with SQL of
// their own, on tables typed as SQL Server types them (char padded).
class ServerGatewayTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { PGSERVER_REQUIRE(); }

    void serverDayLinks()
    {
        const QStringList failed = linkchecks::failures(count);
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where status = 'R'")), qint64(4));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth o where status = 'P' and not exists "
                                      "(select 1 from ashare_ordwth2 c where c.reff = o.reff)")),
                 qint64(3));
        QCOMPARE(pgserver::column(QStringLiteral("select distinct status from ashare_ordwth2 order by 1")),
                 (QStringList{"?", "E", "F", "O", "W"}));
        QVERIFY(count(QStringLiteral("select count(*) from ashare_cjhb")) > 1000);
    }

    // Faults planted in one run on the server, each found once; the
    // server's own rows go on linking.
    void gatewayPlantsEachFaultOnce()
    {
        const standin::Run run = runGateway({QStringLiteral("--rows"), QStringLiteral("80"), QStringLiteral("--gap"),
                                        QStringLiteral("20"), QStringLiteral("--cancel-unknown"), QStringLiteral("40"),
                                        QStringLiteral("--unknown-trade"), QStringLiteral("25"), QStringLiteral("--overfill"),
                                        QStringLiteral("10"), QStringLiteral("--reject-burst"), QStringLiteral("15:1026:3")});
        const auto &values = run.values;
        QVERIFY2(run.exitCode == 0, qPrintable(run.errors));
        QVERIFY2(!values.contains(QStringLiteral("write_errors")), qPrintable(run.errors));
        // The server's waiting rows are taken with the new ones; they trade
        // at today's time, before the time of that other day they entered.
        const QStringList failed = linkchecks::failures(
            count, {{"recNumGap", 1}, {"cancelOfNoOrder", 1}, {"tradeOfNoAcceptedOrder", 1}, {"fillsAboveOrder", 1}},
            {QStringLiteral("tradeBeforeOrder")});
        QVERIFY2(failed.isEmpty(), qPrintable(failed.join(QLatin1Char('\n'))));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where rec_num > 1000")), qint64(80));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth where status = 'R'")), qint64(0));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_ordwth2 c join ashare_ordwth o on o.reff = c.reff "
                                      "where o.rec_num > 1000 and c.status = 'E' and c.remark = '1026'")), qint64(3));
        QCOMPARE(count(QStringLiteral("select count(*) from ashare_cjhb where sqbh = '%1'")
                           .arg(values.value(QStringLiteral("planted_unknown_trade_sqbh")))),
                 qint64(1));
        QCOMPARE(values.value(QStringLiteral("planted_gap_rec_num")), QStringLiteral("1020"));
        QCOMPARE(count(QStringLiteral("select max(rec_num) from ashare_ordwth2")),
                 qint64(993) + values.value(QStringLiteral("confirmations_written")).toLongLong());
    }

    // The tool lists the confirmations again and again while the stand-in
    // writes them: no error on either side, each list sees more rows.
    void toolListsWhileItWrites()
    {
        testsupport::Forms forms;
        testsupport::logIn(pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database());
        testsupport::ModalWatcher boxes;
        queryform->show();
        QVERIFY(QTest::qWaitForWindowExposed(queryform));
        QProcess process;
        standin::start(process, quick() + QStringList{QStringLiteral("--rate"), QStringLiteral("100"),
                                                      QStringLiteral("--seconds"), QStringLiteral("4")});
        testsupport::child<QTabWidget>(queryform, "PageControl1")->setCurrentIndex(2);
        const QList<qint64> counts =
            standin::countsWhileRunning(process, testsupport::child<QPushButton>(queryform, "Button8"),
                                        testsupport::child<QLabel>(queryform, "Label39"));
        const standin::Run run = standin::finish(process, 120000);
        QVERIFY2(boxes.records.isEmpty(), qPrintable(boxes.records.value(0).text));
        standin::expectGrowingListsAndCleanRun(run, counts);
        queryform->hide();
    }
};

SQLTOOL_SERVER_TEST_MAIN(ServerGatewayTest, "sqltool_gateway")
#include "tst_servergateway.moc"
