#include "support/testsupport.h"

#include "support/linkchecks.h"
#include "support/pgserver.h"

#include "query/queryform.h"

#include <QElapsedTimer>
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

QMap<QString, QString> finish(QProcess &process, int *exitCode, QString *errors)
{
    if (!process.waitForFinished(120000))
        process.kill();
    process.waitForFinished();
    *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    *errors = QString::fromLocal8Bit(process.readAllStandardError());
    QMap<QString, QString> values;
    for (const QString &line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QStringLiteral(": "));
        if (colon > 0)
            values.insert(line.left(colon), line.mid(colon + 2));
    }
    return values;
}

QMap<QString, QString> runGateway(const QStringList &arguments, int *exitCode, QString *errors)
{
    QProcess process;
    process.start(QStringLiteral(SQLTOOL_GATEWAY), quick() + arguments);
    return finish(process, exitCode, errors);
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
        int exitCode = -1;
        QString errors;
        const auto values = runGateway({QStringLiteral("--rows"), QStringLiteral("80"), QStringLiteral("--gap"),
                                        QStringLiteral("20"), QStringLiteral("--cancel-unknown"), QStringLiteral("40"),
                                        QStringLiteral("--unknown-trade"), QStringLiteral("25"), QStringLiteral("--overfill"),
                                        QStringLiteral("10"), QStringLiteral("--reject-burst"), QStringLiteral("15:1026:3")},
                                       &exitCode, &errors);
        QVERIFY2(exitCode == 0, qPrintable(errors));
        QVERIFY2(!values.contains(QStringLiteral("write_errors")), qPrintable(errors));
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
        process.start(QStringLiteral(SQLTOOL_GATEWAY), quick() + QStringList{QStringLiteral("--rate"), QStringLiteral("100"),
                                                                            QStringLiteral("--seconds"), QStringLiteral("4")});
        QVERIFY(process.waitForStarted());
        testsupport::child<QTabWidget>(queryform, "PageControl1")->setCurrentIndex(2);
        auto *list = testsupport::child<QPushButton>(queryform, "Button8");
        auto *label = testsupport::child<QLabel>(queryform, "Label39");
        QList<qint64> counts;
        QElapsedTimer elapsed;
        elapsed.start();
        while (process.state() != QProcess::NotRunning && elapsed.elapsed() < 30000) {
            QTest::mouseClick(list, Qt::LeftButton);
            QTRY_VERIFY(!label->text().isEmpty());
            counts << label->text().toLongLong();
            QTest::qWait(100);
        }
        int exitCode = -1;
        QString errors;
        const auto values = finish(process, &exitCode, &errors);
        QVERIFY2(exitCode == 0 && errors.isEmpty(), qPrintable(errors));
        QVERIFY(!values.contains(QStringLiteral("write_errors")));
        QVERIFY2(boxes.records.isEmpty(), qPrintable(boxes.records.value(0).text));
        QVERIFY2(counts.size() >= 5, qPrintable(QString::number(counts.size())));
        QVERIFY(std::is_sorted(counts.cbegin(), counts.cend()));
        QVERIFY(counts.last() > counts.first());
        queryform->hide();
    }
};

SQLTOOL_SERVER_TEST_MAIN(ServerGatewayTest, "sqltool_gateway")
#include "tst_servergateway.moc"
