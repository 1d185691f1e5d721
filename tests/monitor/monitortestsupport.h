#pragma once

// Rows of a trading day planted with plain SQL, timed relative to now, and
// the steps the monitor tests share.

#include "db/connection.h"
#include "flow/flowreader.h"
#include "gateway.h"
#include "monitor/monitorform.h"
#include "monitor/monitorsettings.h"
#include "monitor/traceform.h"

#include <QDateTime>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStyle>
#include <QTableView>
#include <QHeaderView>
#include <QString>
#include <QtTest/QtTest>

#include <functional>
#include <mutex>

namespace monitortest {

using Exec = std::function<void(const QString &sql)>;

inline QDateTime at(int ageSeconds)
{
    return QDateTime::currentDateTime().addSecs(-ageSeconds);
}

inline QString order(int rec, const QString &reff, const QString &status, int qty, int age,
                     const QString &owflag = QStringLiteral("LPT"), int ordrec = 0)
{
    const QDateTime t = at(age);
    return QStringLiteral("insert into ashare_ordwth (rec_num, date, time, reff, acc, stock, bs, price, "
                          "qty, status, owflag, ordrec, firmid, checkord) values (%1, '%2', '%3', '%4', "
                          "'A123456789', '600000', 'B', '10.500', '%5', '%6', '%7', '%8', '12345', '')")
        .arg(rec)
        .arg(t.toString(QStringLiteral("yyyyMMdd")), t.toString(QStringLiteral("HH:mm:ss")), reff)
        .arg(qty)
        .arg(status, owflag)
        .arg(ordrec);
}

inline QString confirmation(int rec, const QString &reff, const QString &status, const QString &remark,
                            int age, const QString &owflag = QStringLiteral("LPT"), int ordrec = 0,
                            int qty2 = 0)
{
    const QDateTime t = at(age);
    return QStringLiteral("insert into ashare_ordwth2 (rec_num, date, time, reff, acc, stock, bs, price, "
                          "qty, qty2, status, remark, status1, owflag, ordrec, teordernum, firmid, checkord) "
                          "values (%1, '%2', '%3', '%4', 'A123456789', '600000', 'B', '10.500', '1000', "
                          "'%5', '%6', '%7', 'A', '%8', '%9', '1', '12345', '')")
        .arg(rec)
        .arg(t.toString(QStringLiteral("yyyyMMdd")), t.toString(QStringLiteral("HH:mm:ss")), reff)
        .arg(qty2)
        .arg(status, remark, owflag)
        .arg(ordrec);
}

inline QString trade(int cjbh, const QString &sqbh, int qty, const QString &price, const QString &amount,
                     int age)
{
    const QDateTime t = at(age);
    const QString hms = QString::number(t.time().hour() * 10000 + t.time().minute() * 100 + t.time().second());
    return QStringLiteral("insert into ashare_cjhb (gddm, gdxm, bcrq, cjbh, gsdm, cjsl, bcye, zqdm, sbsj, "
                          "cjsj, cjjg, cjje, sqbh, bs, mjbh) values ('A123456789', 'X', '%1', '%2', "
                          "'12345', %3, 0, '600000', '%4', '%4', %5, %6, '%7', 'B', '1')")
        .arg(t.toString(QStringLiteral("yyyyMMdd")))
        .arg(cjbh)
        .arg(qty)
        .arg(hms, price, amount, sqbh);
}

// Three orders sent a minute ago, each confirmed a second later; the first
// fully traded.
inline void plantNormalDay(const Exec &exec)
{
    exec(order(1, QStringLiteral("R1"), QStringLiteral("P"), 1000, 60));
    exec(order(2, QStringLiteral("R2"), QStringLiteral("P"), 500, 60));
    exec(order(3, QStringLiteral("R3"), QStringLiteral("P"), 300, 60));
    for (int i = 1; i <= 3; ++i)
        exec(confirmation(i, QStringLiteral("R%1").arg(i), QStringLiteral("O"), QString(), 59));
    exec(trade(1, QStringLiteral("R1"), 600, QStringLiteral("10.480"), QStringLiteral("6288.00"), 58));
    exec(trade(2, QStringLiteral("R1"), 400, QStringLiteral("10.500"), QStringLiteral("4200.00"), 58));
}

// The next refresh of the monitor, after the one running ends.
inline bool refreshMonitor()
{
    QSignalSpy spy(monitorform, &Tmonitorform::refreshed);
    if (monitorform->refreshing() && !spy.wait(20000))
        return false;
    spy.clear();
    monitorform->RefreshButtonClick();
    return spy.wait(20000) && !spy.isEmpty();
}

inline bool lastRefreshOk()
{
    return monitorform->statusText().contains(QStringLiteral("已刷新"));
}

// Findings as "类别 记录编号 返回码", in grid order.
inline QStringList findingTexts()
{
    QStringList out;
    const FindingsModel *m = monitorform->findings();
    for (int r = 0; r < m->rowCount(); ++r)
        out << QStringLiteral("%1 %2 %3")
                   .arg(m->index(r, 0).data().toString(), m->index(r, 1).data().toString(),
                        m->index(r, 6).data().toString());
    return out;
}

// The texts of a grid, titles included, that its columns show cut short
// (the last column, which takes the rest of the width, aside).
inline QStringList cutShortCells(const QTableView *grid)
{
    const int margins = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
    const QAbstractItemModel *m = grid->model();
    QStringList out;
    for (int c = 0; c + 1 < m->columnCount(); ++c) {
        const QString title = m->headerData(c, Qt::Horizontal).toString();
        if (grid->horizontalHeader()->fontMetrics().horizontalAdvance(title) + margins > grid->columnWidth(c))
            out << title;
        for (int r = 0; r < m->rowCount(); ++r) {
            const QString text = m->index(r, c).data().toString();
            if (grid->fontMetrics().horizontalAdvance(text) + margins > grid->columnWidth(c))
                out << text;
        }
    }
    return out;
}

inline QString traceState(const flow::TraceKey &key)
{
    QSignalSpy spy(traceform, &Ttraceform::traced);
    traceform->showOrder(key);
    if (!spy.wait(20000))
        return QStringLiteral("(no trace)");
    return traceform->stateText();
}

// A short, fast trading day of the stand-in: `rows` rows, answers within
// milliseconds, no rejections unless asked.
inline gateway::Options standInDay(const QString &dsn, std::int64_t rows)
{
    gateway::Options o;
    o.dsn = dsn;
    o.rows = rows;
    o.rate = 2000;
    o.confirmDelayMs = 5;
    o.fillDelayMs = 10;
    o.pollMs = 10;
    o.rejectPercent = 0;
    o.seconds = 20;
    return o;
}

// Runs the stand-in on a connection of its own until its day ends.
inline void runStandIn(const gateway::Options &o)
{
    Connection connection;
    auto link = Connection::connect(gateway::odbcConnectionString(o));
    if (!o.database.isEmpty())
        Connection::selectDatabase(link->get(), o.database);
    connection.adopt(std::move(link), o.database);
    gateway::run(connection, o);
}

// The faults of the stand-in, each with the one finding it must give.
inline void addFaultRows()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("expected");
    QTest::newRow("gap") << "gap" << "记录编号不连续 1021";
    QTest::newRow("repeated rec_num") << "repeatRecNum" << "记录编号重复 1021";
    QTest::newRow("repeated reff") << "repeatReff" << "申请编号重复 ";
    QTest::newRow("cancel of no order") << "cancelUnknown" << "撤单对象不存在 1030";
    QTest::newRow("cancel of itself") << "cancelNotLower" << "撤单对象编号过大 1031";
    QTest::newRow("trade of no order") << "unknownTrade" << "成交无对应委托 ";
    QTest::newRow("overfill") << "overfill" << "超额成交 ";
    QTest::newRow("gateway stops taking") << "stopTaking" << "未报超时 ";
    QTest::newRow("gateway stops confirming") << "stopConfirming" << "未确认超时 ";
    QTest::newRow("normal day") << "" << "";
}

inline void plantFault(gateway::Options &o, const QString &fault)
{
    gateway::Faults &f = o.faults;
    std::int64_t *at = fault == "gap" ? &f.gap
        : fault == "repeatRecNum" ? &f.repeatRecNum
        : fault == "repeatReff" ? &f.repeatReff
        : fault == "cancelUnknown" ? &f.cancelUnknown
        : fault == "cancelNotLower" ? &f.cancelNotLower
        : fault == "unknownTrade" ? &f.unknownTrade
        : fault == "overfill" ? &f.overfill
        : fault == "stopTaking" ? &f.stopTaking
        : fault == "stopConfirming" ? &f.stopConfirming
        : nullptr;
    if (at)
        *at = 20;
    if (fault.startsWith(QLatin1String("stop")))
        o.seconds = 3; // the day does not end by itself
}

// The findings but rejections (bursts of them included) and time-outs of
// rows a stall left behind, as "类别 返回码", one per kind; how many there
// were of the expected kind in `count`.
inline QStringList kindsBesideRejections(const QString &expected, int *count)
{
    QStringList kinds;
    *count = 0;
    for (const QString &text : findingTexts()) {
        const QStringList parts = text.split(u' ');
        const QString kind = parts[0] + u' ' + parts.value(2);
        if (parts[0] == QStringLiteral("废单") || parts[0] == QStringLiteral("废单激增"))
            continue;
        if (kind == expected)
            ++*count;
        if (!kinds.contains(kind))
            kinds << kind;
    }
    return kinds;
}

// With a day of the stand-in written and logged in: the monitor, with a
// one-second threshold, finds the fault's finding and no other (once,
// unless the gateway stopped and every row left waiting gives one).
inline void expectFindingOfFault(const QString &fault, const QString &expected)
{
    monitorform->show();
    QSpinBox *timeout = monitorform->findChild<QSpinBox *>(QStringLiteral("TimeoutSpin"));
    QVERIFY(timeout);
    timeout->setValue(1);
    QTest::qWait(2100); // rows left behind by a stall are older than the threshold
    QVERIFY(refreshMonitor());
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    int count = 0;
    const QStringList kinds = kindsBesideRejections(expected, &count);
    QVERIFY2(kinds == (expected.isEmpty() ? QStringList{} : QStringList{expected}),
             qPrintable(findingTexts().join(u'|')));
    if (!fault.startsWith(QLatin1String("stop")))
        QCOMPARE(count, expected.isEmpty() ? 0 : 1);
}

// The statements the monitor's and the trace's readers send while alive.
class SentStatements
{
public:
    SentStatements()
    {
        flow::setStatementObserver([this](const flow::SentStatement &sent) {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_sent.push_back(sent);
        });
    }
    ~SentStatements() { flow::setStatementObserver({}); }
    SentStatements(const SentStatements &) = delete;
    SentStatements &operator=(const SentStatements &) = delete;
    std::vector<flow::SentStatement> take()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return std::move(m_sent);
    }

private:
    std::mutex m_mutex;
    std::vector<flow::SentStatement> m_sent;
};

} // namespace monitortest
