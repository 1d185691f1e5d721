// The monitor and the trace windows on a real SQLite file through ODBC:
// planted faults, figures against independent SQL, incremental reads,
// failures in the status line, logout.

#include "support/testsupport.h"

#include "app/mainform.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "base/settings.h"
#include "monitortestsupport.h"
#include "reference/rtnform.h"

#include <QAction>
#include <QClipboard>
#include <QLabel>
#include <QScreen>
#include <QSpinBox>
#include <QStandardItemModel>
#include <QTableView>

using namespace testsupport;
using namespace monitortest;

namespace {

void exec(const QString &sql)
{
    sqliteExec(databasePath(), sql);
}

qint64 count(const QString &sql)
{
    return sqliteCount(databasePath(), sql);
}

} // namespace

class TestMonitorForm : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { removeDbset(); }
    void init()
    {
        removeDbset();
        createEmptyDatabase(databasePath());
    }
    void cleanupTestCase() { removeDbset(); }

    void standInFaultGivesItsFinding_data() { addFaultRows(); }
    void standInFaultGivesItsFinding();
    void plantedFaultGivesItsOneFinding_data();
    void plantedFaultGivesItsOneFinding();
    void figuresEqualIndependentSql();
    void rowsArrivingLaterAreCountedOnce();
    void clearedTableStartsOver();
    void stalledGatewayTimesOutAndRecovers();
    void failedRefreshShowsReasonAndNextRecovers();
    void logoutStopsAndEmptiesTheMonitor();
    void refreshSettingsKeepTheirOwnSection();
    void windowsComeBackWhereTheyWereLeft();
    void doubleClickOnFindingTracesItsOrder();
    void traceStateSentence_data();
    void traceStateSentence();
    void traceRefreshShowsWhatCameSince();
    void statusLineSaysRowsReadAndRowsHeld();
    void orderFillingAGapIsReadAgain();
};

void TestMonitorForm::standInFaultGivesItsFinding()
{
    QFETCH(QString, fault);
    QFETCH(QString, expected);
    gateway::Options day = standInDay(QStringLiteral("sse"), 60);
    plantFault(day, fault);
    runStandIn(day);
    Forms forms;
    logIn();
    expectFindingOfFault(fault, expected);
    if (QTest::currentTestFailed())
        return;
    if (fault == QLatin1String("stopTaking")) {
        // The gateway takes the rest: the time-outs leave.
        gateway::Options rest = standInDay(QStringLiteral("sse"), 0);
        rest.broker = false;
        rest.seconds = 1.5;
        runStandIn(rest);
        QVERIFY(refreshMonitor());
        int count = 0;
        QCOMPARE(kindsBesideRejections(expected, &count), QStringList{});
    }
}

void TestMonitorForm::plantedFaultGivesItsOneFinding_data()
{
    QTest::addColumn<QStringList>("planted");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("note");

    QTest::newRow("gap") << QStringList{order(5, "R5", "P", 100, 30), confirmation(4, "R5", "O", "", 29)}
                         << "记录编号不连续 4 1021" << "rec_num 必须连续递增";
    QTest::newRow("repeat") << QStringList{order(3, "R9", "P", 100, 30), confirmation(4, "R9", "O", "", 29)}
                            << "记录编号重复 3 1021" << "rec_num 必须连续递增";
    QTest::newRow("cancel of nothing")
        << QStringList{order(4, "C4", "P", 0, 30, "WTH", 0), confirmation(4, "C4", "W", "", 29, "WTH", 0)}
        << "撤单对象不存在 4 1030" << "撤消单的ordrec域错误";
    QTest::newRow("cancel of itself")
        << QStringList{order(4, "C4", "P", 0, 30, "WTH", 4), confirmation(4, "C4", "W", "", 29, "WTH", 4)}
        << "撤单对象编号过大 4 1031" << "撤消单的ordrec域大于等于撤消单的rec_num域";
    QTest::newRow("rejection")
        << QStringList{order(4, "R4", "P", 100, 30), confirmation(4, "R4", "F", "231", 29)}
        << "废单 4 231" << "余额不足";
    QTest::newRow("reff repeated")
        << QStringList{order(4, "R2", "P", 100, 30), confirmation(4, "R2", "O", "", 29)}
        << "申请编号重复 4 " << "申请编号已用于记录 2";
    QTest::newRow("confirmation of nothing") << QStringList{confirmation(4, "ZZ", "O", "", 29)}
                                             << "确认无对应委托 4 " << "找不到对应的委托";
    QTest::newRow("trade of nothing")
        << QStringList{trade(3, "ZZ", 100, "10.000", "1000.00", 29)} << "成交无对应委托  "
        << "找不到申请编号相同的委托";
    QTest::newRow("overfill") << QStringList{trade(3, "R2", 600, "10.000", "6000.00", 29)}
                              << "超额成交 2 " << "成交 600 > 委托 500";
    QTest::newRow("not taken") << QStringList{order(4, "R4", "R", 100, 30)} << "未报超时 4 "
                               << "30 秒未被网关取走";
    QTest::newRow("not confirmed") << QStringList{order(4, "R4", "P", 100, 37)} << "未确认超时 4 "
                                   << "已报 37 秒未确认";
}

void TestMonitorForm::plantedFaultGivesItsOneFinding()
{
    QFETCH(QStringList, planted);
    QFETCH(QString, expected);
    QFETCH(QString, note);
    plantNormalDay(exec);
    for (const QString &sql : planted)
        exec(sql);
    Forms forms;
    logIn();
    ModalWatcher boxes;
    mainform->findChild<QAction *>(QStringLiteral("N17"))->trigger();
    QVERIFY(monitorform->isVisible());
    // The second refresh reports rows that no order matched in the first.
    QVERIFY(refreshMonitor());
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QCOMPARE(findingTexts(), QStringList{expected});
    const QString shown = monitorform->findings()->index(0, 7).data().toString();
    // Ages may have moved on by a second or two since planting.
    if (expected.startsWith(QStringLiteral("未")))
        QVERIFY2(shown.contains(QStringLiteral("秒")), qPrintable(shown));
    else
        QCOMPARE(shown, note);
    QCOMPARE(monitorform->findings()->index(0, 7).data(Qt::ToolTipRole).toString(), shown);
    for (const char *grid : {"FindingsGrid", "RejectionsGrid"})
        QCOMPARE(cutShortCells(child<QTableView>(monitorform, grid)), QStringList{});
    QVERIFY(boxes.records.isEmpty());
}

void TestMonitorForm::figuresEqualIndependentSql()
{
    plantNormalDay(exec);
    exec(order(4, "R4", "R", 100, 5));
    exec(order(5, "R5", "P", 100, 5));
    exec(order(6, "C6", "P", 0, 4, "WTH", 2));
    exec(order(7, "R7", "P", 800, 4));
    exec(confirmation(4, "C6", "W", "", 3, "WTH", 2, 500));
    exec(confirmation(5, "R7", "E", "1022股票代码错误", 3));
    exec(trade(3, "R3", 300, "9.990", "2997.00", 2));
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    const flow::Figures &f = monitorform->snapshot().figures;
    QCOMPARE(f.orders, count("select count(*) from ashare_ordwth where upper(owflag) <> 'WTH'"));
    QCOMPARE(f.cancels, count("select count(*) from ashare_ordwth where upper(owflag) = 'WTH'"));
    QCOMPARE(f.unsent, count("select count(*) from ashare_ordwth where status in ('R', 'r')"));
    QCOMPARE(f.unconfirmed,
             count("select count(*) from ashare_ordwth o where status in ('P', 'p') and not exists "
                   "(select 1 from ashare_ordwth2 c where (upper(o.owflag) <> 'WTH' and upper(c.owflag) <> 'WTH' "
                   "and c.reff = o.reff) or (upper(o.owflag) = 'WTH' and upper(c.owflag) = 'WTH' "
                   "and c.ordrec = o.ordrec))"));
    QCOMPARE(f.confirmed, count("select count(*) from ashare_ordwth2 where status in ('O', 'W')"));
    QCOMPARE(f.rejected, count("select count(*) from ashare_ordwth2 where status in ('F', 'E', '?')"));
    QCOMPARE(f.cancelled, count("select count(*) from ashare_ordwth2 where status = 'W'"));
    QCOMPARE(f.tradeRows, count("select count(*) from ashare_cjhb"));
    QCOMPARE(f.tradedQuantity, count("select sum(cjsl) from ashare_cjhb"));
    QCOMPARE(f.tradedCents, count("select sum(cast(round(cjje * 100) as integer)) from ashare_cjhb"));
    QVERIFY(f.oldestUnsentAge >= 5 && f.oldestUnsentAge < 60);
    QVERIFY(f.delayMedian >= 1 && f.delaySlowest5 >= f.delayMedian);
    const QString line = child<QLabel>(monitorform, "FiguresLabel")->text();
    // A figure and its name stay on one line.
    QVERIFY2(line.contains(QStringLiteral("成交金额\u00A013485.00")), qPrintable(line));
    QVERIFY2(line.contains(QRegularExpression(QStringLiteral("\n最久未报\u00A0\\d+\u00A0秒"))), qPrintable(line));
    QCOMPARE(monitorform->snapshot().rejectionsByCode.size(), std::size_t(1));
    QCOMPARE(monitorform->snapshot().rejectionsByCode[0].first, 1022);
}

void TestMonitorForm::rowsArrivingLaterAreCountedOnce()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    for (int rec = 4; rec <= 8; ++rec) {
        exec(order(rec, QStringLiteral("N%1").arg(rec), "P", 100, 2));
        exec(confirmation(rec, QStringLiteral("N%1").arg(rec), "O", "", 1));
        exec(trade(rec, QStringLiteral("N%1").arg(rec), 100, "1.000", "100.00", 1));
    }
    // F5 refreshes at once, as the button does (no timed refresh comes
    // within the minute).
    child<QSpinBox>(monitorform, "RefreshSpin")->setValue(60);
    QSignalSpy spy(monitorform, &Tmonitorform::refreshed);
    if (monitorform->refreshing())
        QVERIFY(spy.wait(20000));
    spy.clear();
    monitorform->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(monitorform));
    QTest::keyClick(monitorform, Qt::Key_F5);
    QVERIFY(spy.wait(20000));
    QVERIFY(refreshMonitor());
    const flow::Figures &f = monitorform->snapshot().figures;
    QCOMPARE(f.orders, 8);
    QCOMPARE(f.confirmed, 8);
    QCOMPARE(f.tradeRows, 7);
    QCOMPARE(f.tradedQuantity, 1500);
    QCOMPARE(findingTexts(), QStringList{});
}

void TestMonitorForm::clearedTableStartsOver()
{
    plantNormalDay(exec);
    exec(confirmation(4, "R2", "F", "231", 1));
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->snapshot().figures.rejected, 1);
    exec("delete from ashare_ordwth2");
    exec(confirmation(1, "R1", "O", "", 1));
    QVERIFY(refreshMonitor());
    const flow::Figures &f = monitorform->snapshot().figures;
    QCOMPARE(f.confirmed, 1);
    QCOMPARE(f.rejected, 0);
    QCOMPARE(f.unconfirmed, 2);
    // A row removed and one filled in below the largest rec_num held leave
    // the ends in place; the rows after the largest come in as ever.
    exec("delete from ashare_ordwth where rec_num = 2");
    exec(order(9, "R9", "P", 100, 1));
    exec(order(2, "R2", "P", 500, 1));
    for (int i = 0; i < 12 && monitorform->snapshot().figures.orders != 4; ++i)
        QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->snapshot().figures.orders, 4);
    QVERIFY(findingTexts().contains(QStringLiteral("记录编号不连续 4 1021")));
}

void TestMonitorForm::stalledGatewayTimesOutAndRecovers()
{
    plantNormalDay(exec);
    exec(order(4, "R4", "R", 100, 0));
    Forms forms;
    logIn();
    monitorform->show();
    child<QSpinBox>(monitorform, "TimeoutSpin")->setValue(2);
    QVERIFY(refreshMonitor());
    QCOMPARE(findingTexts(), QStringList{});
    QSignalSpy alarms(monitorform, &Tmonitorform::alarmed);
    QTest::qWait(3100);
    QVERIFY(refreshMonitor());
    QCOMPARE(findingTexts(), QStringList{"未报超时 4 "});
    QVERIFY(refreshMonitor());
    // The stall calls the operator once, not at every refresh it lasts.
    QCOMPARE(alarms.size(), 1);
    QCOMPARE(alarms[0][0].toInt(), 1);
    exec("update ashare_ordwth set status = 'P' where rec_num = 4");
    QVERIFY(refreshMonitor());
    QCOMPARE(findingTexts(), QStringList{"未确认超时 4 "});
    QCOMPARE(alarms.size(), 2);
    exec(confirmation(4, "R4", "O", "", 0));
    exec(confirmation(5, "ZZ", "F", "231", 0)); // a rejection calls nobody
    QVERIFY(refreshMonitor());
    QVERIFY(refreshMonitor());
    // No order has its reff: the rejection names no record.
    QCOMPARE(findingTexts(), (QStringList{"废单  231", "确认无对应委托 5 "}));
    QCOMPARE(monitorform->snapshot().figures.unsent, 0);
    QCOMPARE(alarms.size(), 2);
}

void TestMonitorForm::failedRefreshShowsReasonAndNextRecovers()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    ModalWatcher boxes;
    monitorform->show();
    QVERIFY(refreshMonitor());
    exec("alter table ashare_cjhb rename to cjhb_away");
    QVERIFY(refreshMonitor());
    QVERIFY2(monitorform->statusText().contains(QStringLiteral("刷新失败")), qPrintable(monitorform->statusText()));
    QVERIFY(monitorform->statusText().contains(QTime::currentTime().toString(QStringLiteral("HH:")).left(3)));
    exec("alter table cjhb_away rename to ashare_cjhb");
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QCOMPARE(monitorform->snapshot().figures.tradeRows, 2);
    QVERIFY(boxes.records.isEmpty());
}

void TestMonitorForm::logoutStopsAndEmptiesTheMonitor()
{
    plantNormalDay(exec);
    exec(confirmation(4, "R2", "F", "231", 1));
    Forms forms;
    logIn();
    monitorform->show();
    child<QSpinBox>(monitorform, "RefreshSpin")->setValue(1);
    QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->findings()->rowCount(), 1);
    mainform->findChild<QAction *>(QStringLiteral("N7"))->trigger();
    QVERIFY(!monitorform->isVisible());
    QCOMPARE(monitorform->findings()->rowCount(), 0);
    QCOMPARE(monitorform->snapshot().figures.orders, 0);
    QSignalSpy spy(monitorform, &Tmonitorform::refreshed);
    QVERIFY(!spy.wait(2500));
    // Shown again after the next login it reads afresh.
    logIn();
    monitorform->show();
    QVERIFY(spy.wait(20000));
    QCOMPARE(monitorform->snapshot().figures.orders, 3);
}

void TestMonitorForm::refreshSettingsKeepTheirOwnSection()
{
    writeDbset(gbk(QStringLiteral("[ConDBSet]\r\nSQLUser=qtrl\r\nDSN=sse\r\nDATABASE=OIW\r\nDSN_Description=本地\r\n")));
    const QByteArray before = readDbset();
    Forms forms;
    logIn();
    monitorform->show();
    child<QSpinBox>(monitorform, "RefreshSpin")->setValue(7);
    child<QSpinBox>(monitorform, "TimeoutSpin")->setValue(25);
    const QByteArray after = readDbset();
    QVERIFY(after.startsWith(before));
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeyRefresh, {}), QStringLiteral("7"));
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeyTimeout, {}), QStringLiteral("25"));
    monitorform->hide();
    child<QSpinBox>(monitorform, "RefreshSpin")->setValue(3);
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeyRefresh, QStringLiteral("99"));
    monitorform->show();
    // Out of range in the file: the default.
    QCOMPARE(child<QSpinBox>(monitorform, "RefreshSpin")->value(), 5);
    QCOMPARE(child<QSpinBox>(monitorform, "TimeoutSpin")->value(), 25);
    removeDbset();
}

void TestMonitorForm::windowsComeBackWhereTheyWereLeft()
{
    const QRect monitorPlace(30, 40, 640, 480), tracePlace(60, 70, 500, 300);
    {
        Forms forms;
        logIn();
        monitorform->show();
        monitorform->setGeometry(monitorPlace);
        traceform->show();
        traceform->setGeometry(tracePlace);
        monitorform->hide(); // closed by the operator; the trace stays open to the end
    }
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeyPlace, {}),
             QStringLiteral("30,40,640,480"));
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeyTracePlace, {}),
             QStringLiteral("60,70,500,300"));
    {
        Forms forms;
        logIn();
        monitorform->show();
        traceform->show();
        QCOMPARE(monitorform->geometry(), monitorPlace);
        QCOMPARE(traceform->geometry(), tracePlace);
        monitorform->hide();
    }
    // A place off every screen is not restored.
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeyPlace, QStringLiteral("9000,9000,640,480"));
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(QGuiApplication::primaryScreen()->availableGeometry().intersects(monitorform->geometry()));
    removeDbset();
}

void TestMonitorForm::doubleClickOnFindingTracesItsOrder()
{
    plantNormalDay(exec);
    exec(order(4, "F1", "P", 1000, 46));
    exec(confirmation(4, "F1", "F", "231", 45));
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QCOMPARE(findingTexts(), QStringList{"废单 4 231"});
    auto *grid = child<QTableView>(monitorform, "FindingsGrid");
    QSignalSpy spy(traceform, &Ttraceform::traced);
    emit grid->doubleClicked(grid->model()->index(0, 0));
    QVERIFY(spy.wait(20000));
    QCOMPARE(traceform->stateText(), QStringLiteral("废单：231 余额不足"));
    QCOMPARE(traceform->rows()->rowCount(), 2);

    // The menu's entry traces the current finding too; the findings copy
    // out as a table.
    traceform->hide();
    grid->setCurrentIndex(grid->model()->index(0, 3));
    child<QAction>(grid, "TraceAction")->trigger();
    QVERIFY(spy.wait(20000));
    QVERIFY(traceform->isVisible());
    child<QAction>(grid, "CopyAllAction")->trigger();
    const QStringList lines = QApplication::clipboard()->text().split(u'\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].startsWith(QStringLiteral("类别\t记录编号\t申请编号")), qPrintable(lines[0]));
    QVERIFY2(lines[1].startsWith(QStringLiteral("废单\t4\tF1")) && lines[1].endsWith(QStringLiteral("\t231\t余额不足")),
             qPrintable(lines[1]));
}

void TestMonitorForm::traceStateSentence_data()
{
    QTest::addColumn<int>("recNum");
    QTest::addColumn<QString>("reff");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("rows");
    QTest::newRow("full fill") << 1 << "" << "已确认，成交 1000/1000（2 笔，均价 10.49）" << 4;
    QTest::newRow("partial fill and cancel, by trade")
        << 0 << "P1" << "已确认，成交 600/1000（2 笔，均价 10.49），撤单已撤 400" << 7;
    QTest::newRow("rejection") << 5 << "" << "废单：231 余额不足" << 2;
    QTest::newRow("nothing back") << 6 << "" << "已报未确认" << 1;
    QTest::newRow("cancel leads to its order") << 8 << "" << "已确认，成交 600/1000（2 笔，均价 10.49），撤单已撤 400" << 7;
    QTest::newRow("no such order") << 99 << "" << "未找到该委托" << 0;
}

void TestMonitorForm::traceStateSentence()
{
    QFETCH(int, recNum);
    QFETCH(QString, reff);
    QFETCH(QString, expected);
    QFETCH(int, rows);
    plantNormalDay(exec);
    exec(order(4, "P1", "P", 1000, 50));
    exec(confirmation(4, "P1", "O", "", 49));
    exec(trade(3, "P1", 200, "10.470", "2094.00", 48));
    exec(trade(4, "P1", 400, "10.500", "4200.00", 47));
    exec(order(5, "F1", "P", 1000, 46));
    exec(confirmation(5, "F1", "F", "231", 45));
    exec(order(6, "N1", "P", 1000, 44));
    exec(order(7, "X7", "P", 0, 40, "WTH", 4));
    exec(order(8, "P1", "P", 0, 39, "WTH", 4)); // a cancel repeating the order's reff
    exec(confirmation(6, "X7", "W", "", 39, "WTH", 4, 400));
    Forms forms;
    logIn();
    flow::TraceKey key;
    key.recNum = recNum;
    key.reff = reff;
    QCOMPARE(traceState(key), expected);
    QCOMPARE(traceform->rows()->rowCount(), rows);
    QVERIFY(traceform->isVisible());
    QCOMPARE(cutShortCells(child<QTableView>(traceform, "TraceGrid")), QStringList{});
}

void TestMonitorForm::traceRefreshShowsWhatCameSince()
{
    plantNormalDay(exec);
    exec(order(4, "N4", "P", 1000, 10));
    Forms forms;
    logIn();
    flow::TraceKey key;
    key.recNum = 4;
    QCOMPARE(traceState(key), QStringLiteral("已报未确认"));
    QCOMPARE(traceform->rows()->rowCount(), 1);
    exec(confirmation(4, "N4", "O", "", 5));
    exec(trade(3, "N4", 400, "10.000", "4000.00", 4));
    QSignalSpy spy(traceform, &Ttraceform::traced);
    traceform->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(traceform));
    QTest::keyClick(traceform, Qt::Key_F5);
    QVERIFY(spy.wait(20000));
    QCOMPARE(traceform->stateText(), QStringLiteral("已确认，成交 400/1000（1 笔，均价 10.00）"));
    QCOMPARE(traceform->rows()->rowCount(), 3);
    // After a logout there is no order to read again.
    traceform->stop();
    spy.clear();
    traceform->RefreshButtonClick();
    QVERIFY(!spy.wait(300));
    QCOMPARE(traceform->rows()->rowCount(), 0);
}

void TestMonitorForm::statusLineSaysRowsReadAndRowsHeld()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    QSignalSpy first(monitorform, &Tmonitorform::refreshed);
    monitorform->show();
    const QRegularExpression said(QStringLiteral("已刷新，读入 (\\d+) 行（共 (\\d+) 行）"));
    const auto readAndHeld = [&said]() {
        const QRegularExpressionMatch m = said.match(monitorform->statusText());
        return m.hasMatch() ? std::make_pair(m.captured(1).toLongLong(), m.captured(2).toLongLong())
                            : std::make_pair(qint64(-1), qint64(-1));
    };
    QVERIFY(first.wait(20000));
    const qint64 rows = count("select (select count(*) from ashare_ordwth) + (select count(*) from ashare_ordwth2)"
                              " + (select count(*) from ashare_cjhb)");
    QCOMPARE(readAndHeld().second, rows);
    QVERIFY2(readAndHeld().first >= rows, qPrintable(monitorform->statusText()));
    // An idle refresh reads the tables' ends and the clock, not the rows held.
    QVERIFY(refreshMonitor());
    const qint64 idle = readAndHeld().first;
    QVERIFY2(idle > 0 && idle < rows, qPrintable(monitorform->statusText()));
    QVERIFY(refreshMonitor());
    QCOMPARE(readAndHeld().first, idle);
    // New rows add what they are.
    exec(order(4, "N4", "P", 100, 1));
    exec(confirmation(4, "N4", "O", "", 1));
    QVERIFY(refreshMonitor());
    QCOMPARE(readAndHeld(), std::make_pair(idle + 2, rows + 2));
    // Without the indexes the refresh relies on, the status line says so
    // under the refresh's own status; with them, nothing.
    const QString note = QStringLiteral("ashare_ordwth.rec_num、ashare_ordwth2.rec_num、ashare_cjhb.cjbh 无索引：每次刷新都会扫描整表，请按说明建立索引");
    QVERIFY2(monitorform->statusText().split(u'\n').contains(note), qPrintable(monitorform->statusText()));
    exec("create index o_rec on ashare_ordwth(rec_num); create index c_rec on ashare_ordwth2(rec_num);"
         "create index t_no on ashare_cjhb(cjbh)");
    monitorform->stop();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk() && !monitorform->statusText().contains(QStringLiteral("每次刷新")),
             qPrintable(monitorform->statusText()));
}

void TestMonitorForm::orderFillingAGapIsReadAgain()
{
    plantNormalDay(exec);
    exec(order(5, "N5", "P", 100, 2));
    exec(confirmation(4, "N5", "O", "", 1));
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QCOMPARE(findingTexts(), QStringList{"记录编号不连续 4 1021"});
    // The order committed late: the table is read again and the gap goes.
    exec(order(4, "N4", "P", 100, 2));
    exec(confirmation(5, "N4", "O", "", 1));
    QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->snapshot().figures.orders, count("select count(*) from ashare_ordwth"));
    QCOMPARE(findingTexts(), QStringList{});
}

SQLTOOL_TEST_MAIN(TestMonitorForm)
#include "tst_monitorform.moc"
