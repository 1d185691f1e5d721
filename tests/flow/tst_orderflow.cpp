// The matching rules of the order flow as tables: rows of the three tables
// in, findings and figures out, whether the rows come all at once or one
// refresh at a time.

#include "flow/alarms.h"
#include "flow/flowtext.h"
#include "flow/orderflow.h"

#include <QtTest/QtTest>

using namespace flow;

namespace {

const qint32 Day = 20261209;

// One row per text, by its first letter:
//   O rec reff status qty time        an order
//   X rec ordrec status time [reff]   a cancel naming rec_num ordrec
//   C rec reff status remark time     an order's confirmation
//   K rec ordrec status time [qty2]   a cancel's confirmation
//   T cjbh sqbh qty cents time        a trade (time HHMMSS)
struct Batch
{
    std::vector<OrderRow> orders;
    std::vector<ConfirmationRow> confirmations;
    std::vector<TradeRow> trades;
};

void addRow(Batch &batch, const QString &text)
{
    const QStringList f = text.split(u' ');
    const QChar kind = f[0][0];
    if (kind == u'O' || kind == u'X') {
        OrderRow row;
        row.recNum = f[1].toInt();
        row.date = Day;
        row.cancel = kind == u'X';
        row.reff = Reff::from(kind == u'O' ? f[2] : (f.size() > 5 ? f[5] : QStringLiteral("C") + f[1]));
        row.ordrec = kind == u'X' ? f[2].toInt() : 0;
        row.status = f[3][0].toLatin1();
        row.qty = kind == u'O' ? f[4].toInt() : 0;
        row.time = secondsOfDay(f[kind == u'O' ? 5 : 4]);
        row.acc = Account::from(u"A000000001");
        row.stock = Stock::from(u"600000");
        batch.orders.push_back(row);
    } else if (kind == u'C' || kind == u'K') {
        ConfirmationRow row;
        row.recNum = f[1].toInt();
        row.date = Day;
        row.cancel = kind == u'K';
        if (row.cancel)
            row.ordrec = f[2].toInt();
        else
            row.reff = Reff::from(f[2]);
        row.reply = replyOf(f[3][0]);
        row.code = kind == u'C' ? returnCodeOf(f[4]) : 0;
        row.time = secondsOfDay(f[kind == u'C' ? 5 : 4]);
        row.qty2 = kind == u'K' && f.size() > 5 ? f[5].toInt() : 0;
        batch.confirmations.push_back(row);
    } else {
        TradeRow row;
        row.cjbh = f[1].toLongLong();
        row.sqbh = Reff::from(f[2]);
        row.quantity = f[3].toLongLong();
        row.cents = f[4].toLongLong();
        row.time = secondsOfDay(f[5]);
        row.date = Day;
        batch.trades.push_back(row);
    }
}

// Applies batches as a refresh does (orders, confirmations, trades, with a
// snapshot after each when `snapshots`), then one more refresh that brings
// nothing.
Snapshot run(const QList<Batch> &batches, const QString &now, int timeout = 10, bool snapshots = false)
{
    OrderFlow model;
    const qint64 stamp = timeStamp(Day, secondsOfDay(now));
    for (const Batch &b : batches) {
        model.addOrders(b.orders);
        model.addConfirmations(b.confirmations);
        model.addTrades(b.trades);
        if (snapshots)
            model.snapshot(stamp, timeout);
    }
    model.addOrders({});
    return model.snapshot(stamp, timeout);
}

// The findings in the order the snapshot gives them.
QStringList inOrder(const Snapshot &s)
{
    QStringList out;
    for (const Finding &f : s.findings)
        out << QStringLiteral("%1 %2 %3").arg(categoryText(f.category)).arg(f.recNum).arg(f.code);
    return out;
}

QStringList describe(const Snapshot &s)
{
    QStringList out = inOrder(s);
    out.sort();
    return out;
}

} // namespace

class TestOrderFlow : public QObject
{
    Q_OBJECT
private slots:
    void findingsOfRows_data();
    void findingsOfRows();
    void figuresCountRowsByTheirState();
    void findingLeavesWhenItNoLongerHolds();
    void unsentOrdersAreReadInShortRanges_data();
    void unsentOrdersAreReadInShortRanges();
    void replyReadBeforeNewStatusKeepsStatusRead();
    void newestFindingComesFirst();
    void clearedTableStartsOver();
    void valueRules_data();
    void valueRules();
    void explanationsCarryTheFigures();
    void newFindingsThatStallTheGatewayCallTheOperator_data();
    void newFindingsThatStallTheGatewayCallTheOperator();
    void rejectionsWithinAMinuteMakeABurst_data();
    void rejectionsWithinAMinuteMakeABurst();
    void gatewayStoppersComeFirst();
    void figuresBreakOnlyBetweenFigures_data();
    void figuresBreakOnlyBetweenFigures();
    void timeAxisTicksReadDifferently_data();
    void timeAxisTicksReadDifferently();
    void durationsReadAsAnOperatorReadsThem_data();
    void durationsReadAsAnOperatorReadsThem();
};

void TestOrderFlow::findingsOfRows_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("now");
    QTest::addColumn<QStringList>("expected");

    const QStringList normal{"O 1 A1 P 1000 09:30:00", "O 2 A2 P 500 09:30:01",
                             "C 1 A1 O 0 09:30:01", "C 2 A2 O 0 09:30:02",
                             "T 1 A1 600 630000 93002", "T 2 A1 400 420000 93003"};
    QTest::newRow("normal day") << normal << "09:40:00" << QStringList{};
    QTest::newRow("gap names first missing")
        << QStringList{"O 1 A1 P 1 09:30:00", "O 2 A2 P 1 09:30:00", "O 5 A3 P 1 09:30:00",
                       "C 1 A1 O 0 09:30:01", "C 2 A2 O 0 09:30:01", "C 3 A3 O 0 09:30:01"}
        << "09:40:00" << QStringList{"记录编号不连续 3 1021"};
    QTest::newRow("repeated rec_num")
        << QStringList{"O 1 A1 P 1 09:30:00", "O 2 A2 P 1 09:30:00", "O 2 A3 P 1 09:30:00",
                       "C 1 A1 O 0 09:30:01", "C 2 A2 O 0 09:30:01", "C 3 A3 O 0 09:30:01"}
        << "09:40:00" << QStringList{"记录编号重复 2 1021"};
    QTest::newRow("cancel names no order")
        << QStringList{"O 1 A1 P 1 09:30:00", "X 2 0 P 09:30:00", "C 1 A1 O 0 09:30:01",
                       "K 2 0 W 09:30:01"}
        << "09:40:00" << QStringList{"撤单对象不存在 2 1030"};
    QTest::newRow("cancel names itself")
        << QStringList{"O 1 A1 P 1 09:30:00", "X 2 2 P 09:30:00", "C 1 A1 O 0 09:30:01"}
        << "09:30:05" << QStringList{"撤单对象编号过大 2 1031"};
    QTest::newRow("cancel names a later row")
        << QStringList{"O 1 A1 P 1 09:30:00", "X 2 3 P 09:30:00", "O 3 A3 P 1 09:30:00",
                       "C 1 A1 O 0 09:30:01", "C 2 A3 O 0 09:30:01"}
        << "09:30:05" << QStringList{"撤单对象编号过大 2 1031"};
    QTest::newRow("unsent after threshold")
        << QStringList{"O 1 A1 R 1 09:30:00"} << "09:30:11" << QStringList{"未报超时 1 0"};
    QTest::newRow("unsent within threshold")
        << QStringList{"O 1 A1 r 1 09:30:00"} << "09:30:10" << QStringList{};
    QTest::newRow("taken, no reply after threshold")
        << QStringList{"O 1 A1 P 1 09:30:00"} << "09:30:37" << QStringList{"未确认超时 1 0"};
    QTest::newRow("rejected with code: named by the order")
        << QStringList{"O 1 A1 P 1 09:30:00", "C 7 A1 F 231余额不足 09:30:01"}
        << "09:40:00" << QStringList{"废单 1 231"};
    QTest::newRow("rejection read before its order")
        << QStringList{"C 7 A1 F 231 09:30:01", "O 1 A1 P 1 09:30:00", "O 2 A2 P 1 09:30:02", "C 8 A2 F 231 09:30:03"}
        << "09:40:00" << QStringList{"废单 1 231", "废单 2 231"};
    QTest::newRow("refused cancel: named by the cancel")
        << QStringList{"O 1 A1 P 1 09:30:00", "C 1 A1 O 0 09:30:01", "X 2 1 P 09:30:02", "K 9 1 F 09:30:03"}
        << "09:40:00" << QStringList{"废单 2 0"};
    QTest::newRow("front end and link rejections")
        << QStringList{"O 1 A1 P 1 09:30:00", "O 2 A2 p 1 09:30:00", "C 1 A1 E 1022 09:30:01",
                       "C 2 A2 ? 0 09:30:01"}
        << "09:40:00" << QStringList{"废单 1 1022", "废单 2 0"};
    QTest::newRow("reff repeated")
        << QStringList{"O 1 A1 P 1 09:30:00", "O 2 A1 P 1 09:30:00", "C 1 A1 O 0 09:30:01",
                       "C 2 A1 O 0 09:30:01"}
        << "09:40:00" << QStringList{"申请编号重复 2 0"};
    QTest::newRow("cancel repeats its order's reff")
        << QStringList{"O 1 A1 P 1 09:30:00", "X 2 1 P 09:30:02 A1", "C 1 A1 O 0 09:30:01",
                       "K 2 1 w 09:30:03 1"}
        << "09:40:00" << QStringList{};
    QTest::newRow("cancel without reply")
        << QStringList{"O 1 A1 P 1 09:30:00", "X 2 1 P 09:30:02", "C 1 A1 O 0 09:30:01"}
        << "09:40:00" << QStringList{"未确认超时 2 0"};
    QTest::newRow("confirmation of no order")
        << QStringList{"O 1 A1 P 1 09:30:00", "C 1 A1 O 0 09:30:01", "C 2 Z9 O 0 09:30:01"}
        << "09:40:00" << QStringList{"确认无对应委托 2 0"};
    QTest::newRow("rejection of no order: no record number")
        << QStringList{"O 1 A1 P 1 09:30:00", "C 1 A1 O 0 09:30:01", "C 2 Z9 F 231 09:30:01"}
        << "09:40:00" << QStringList{"废单 0 231", "确认无对应委托 2 0"};
    QTest::newRow("trade of no order")
        << QStringList{"O 1 A1 P 1 09:30:00", "C 1 A1 O 0 09:30:01", "T 1 Z9 100 1000 93002"}
        << "09:40:00" << QStringList{"成交无对应委托 0 0"};
    QTest::newRow("trades above quantity")
        << QStringList{"O 1 A1 P 1000 09:30:00", "C 1 A1 O 0 09:30:01", "T 1 A1 600 1 93002",
                       "T 2 A1 500 1 93003"}
        << "09:40:00" << QStringList{"超额成交 1 0"};
    QTest::newRow("trades exactly the quantity")
        << QStringList{"O 1 A1 P 1000 09:30:00", "C 1 A1 O 0 09:30:01", "T 1 A1 600 1 93002",
                       "T 2 A1 400 1 93003"}
        << "09:40:00" << QStringList{};
}

void TestOrderFlow::findingsOfRows()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, now);
    QFETCH(QStringList, expected);

    Batch all;
    QList<Batch> single;
    for (const QString &row : rows) {
        addRow(all, row);
        single.append(Batch());
        addRow(single.last(), row);
    }
    QCOMPARE(describe(run({all}, now)), expected);
    // Row by row, each in a refresh of its own: the same findings.
    QCOMPARE(describe(run(single, now)), expected);
    // Each refresh showing its findings: the same ones, newest first all the same.
    QCOMPARE(inOrder(run(single, now, 10, true)), inOrder(run({all}, now)));
}

void TestOrderFlow::figuresCountRowsByTheirState()
{
    Batch b;
    for (const char *row : {"O 1 A1 R 100 09:30:00", "O 2 A2 P 200 09:30:05", "O 3 A3 P 300 09:30:10",
                            "O 4 A4 P 400 09:30:20", "X 5 3 P 09:30:30", "C 1 A3 O 0 09:30:12",
                            "C 2 A4 F 231 09:30:21", "K 3 3 W 09:30:31 300", "T 1 A3 100 105050 93015",
                            "T 2 A3 50 52525 93016"})
        addRow(b, QString::fromLatin1(row));
    const Snapshot s = run({b}, "09:31:00");
    const Figures &f = s.figures;
    QCOMPARE(f.orders, 4);
    QCOMPARE(f.cancels, 1);
    QCOMPARE(f.unsent, 1);
    QCOMPARE(f.unconfirmed, 1); // order 2
    QCOMPARE(f.confirmed, 2);
    QCOMPARE(f.rejected, 1);
    QCOMPARE(f.cancelled, 1);
    QCOMPARE(f.tradeRows, 2);
    QCOMPARE(f.tradedQuantity, 150);
    QCOMPARE(f.tradedCents, 157575);
    QCOMPARE(f.oldestUnsentAge, 60);
    QCOMPARE(f.oldestUnconfirmedAge, 55);
    // Replies after 2, 1 and 1 seconds.
    QCOMPARE(f.delayMedian, 1);
    QCOMPARE(f.delaySlowest5, 2);
    QCOMPARE(s.rejectionsByCode.size(), std::size_t(1));
    QCOMPARE(s.rejectionsByCode[0].first, 231);
    QCOMPARE(s.chartDate, Day);
    QCOMPARE(s.chart[SeriesOrders][9 * 60 + 30], 5u);
    QCOMPARE(s.chart[SeriesRejections][9 * 60 + 30], 1u);
    QCOMPARE(s.chart[SeriesTrades][9 * 60 + 30], 2u);
}

void TestOrderFlow::findingLeavesWhenItNoLongerHolds()
{
    OrderFlow model;
    Batch b;
    addRow(b, "O 1 A1 R 100 09:30:00");
    addRow(b, "O 2 A2 P 100 09:30:00");
    model.addOrders(b.orders);
    const qint64 now = timeStamp(Day, secondsOfDay(u"09:30:20"));
    QCOMPARE(describe(model.snapshot(now, 10)), (QStringList{"未报超时 1 0", "未确认超时 2 0"}));
    QCOMPARE(model.firstUnsentRecNum(), 1);

    model.setStatus(1, 'P');
    Batch replies;
    addRow(replies, "C 1 A1 O 0 09:30:21");
    addRow(replies, "C 2 A2 O 0 09:30:21");
    model.addConfirmations(replies.confirmations);
    const Snapshot s = model.snapshot(now + 5, 10);
    QVERIFY(s.findings.empty());
    QCOMPARE(s.figures.unsent, 0);
    QCOMPARE(model.firstUnsentRecNum(), 0);
}

void TestOrderFlow::unsentOrdersAreReadInShortRanges_data()
{
    // Orders 1..n, those listed unsent (R), the rest taken (P); a negative
    // number is an unsent order the gateway took after it was read.
    QTest::addColumn<int>("orders");
    QTest::addColumn<QList<int>>("unsent");
    QTest::addColumn<int>("maxRanges");
    QTest::addColumn<QString>("ranges");
    QTest::newRow("none unsent") << 50 << QList<int>{} << 8 << "";
    QTest::newRow("the newest together") << 50 << QList<int>{47, 48, 50} << 8 << "47-50";
    QTest::newRow("near ones share a range") << 50 << QList<int>{10, 20, 30} << 8 << "10-30";
    QTest::newRow("one left behind long ago") << 2000 << QList<int>{3, 1999, 2000} << 8 << "3-3 1999-2000";
    QTest::newRow("widest gaps split first")
        << 5000 << QList<int>{1, 1000, 1300, 4000} << 3 << "1-1 1000-1300 4000-4000";
    QTest::newRow("one range at most") << 5000 << QList<int>{1, 4000} << 1 << "1-4000";
    QTest::newRow("taken since") << 2000 << QList<int>{3, 1999, -1999} << 8 << "3-3";
}

void TestOrderFlow::unsentOrdersAreReadInShortRanges()
{
    QFETCH(int, orders);
    QFETCH(QList<int>, unsent);
    QFETCH(int, maxRanges);
    QFETCH(QString, ranges);
    Batch b;
    for (int rec = 1; rec <= orders; ++rec) {
        const QChar status = unsent.contains(rec) ? u'R' : u'P';
        addRow(b, QStringLiteral("O %1 A%1 %2 100 09:30:00").arg(rec).arg(status));
    }
    OrderFlow model;
    model.addOrders(b.orders);
    for (int rec : unsent)
        if (rec < 0)
            model.setStatus(-rec, 'P');
    QStringList got;
    for (const auto &range : model.unsentRanges(maxRanges, 256))
        got << QStringLiteral("%1-%2").arg(range.first).arg(range.second);
    QCOMPARE(got.join(u' '), ranges);
}

void TestOrderFlow::replyReadBeforeNewStatusKeepsStatusRead()
{
    // Order 2 was read as R; the gateway took it and replied before the
    // confirmations were read: its status must still be read again.
    OrderFlow model;
    Batch b;
    addRow(b, "O 1 A1 P 100 09:30:00");
    addRow(b, "O 2 A2 R 100 09:30:00");
    addRow(b, "C 1 A1 O 0 09:30:01");
    addRow(b, "C 2 A2 O 0 09:30:01");
    model.addOrders(b.orders);
    model.addConfirmations(b.confirmations);
    const qint64 now = timeStamp(Day, secondsOfDay(u"09:31:00"));
    Snapshot s = model.snapshot(now, 10);
    QVERIFY2(s.findings.empty(), qPrintable(describe(s).join(u'|')));
    QCOMPARE(s.figures.oldestUnsentAge, -1);
    QCOMPARE(model.unsentRanges(8, 256), (std::vector<std::pair<qint32, qint32>>{{2, 2}}));

    model.setStatus(2, 'P');
    s = model.snapshot(now, 10);
    QCOMPARE(s.figures.unsent, 0);
    QVERIFY(model.unsentRanges(8, 256).empty());
    QCOMPARE(s.figures.unconfirmed, 0);
}

void TestOrderFlow::newestFindingComesFirst()
{
    Batch b;
    for (const char *row : {"O 1 A1 P 1 09:30:00", "O 2 A2 P 1 09:35:00", "O 3 A3 P 1 09:32:00"})
        addRow(b, QString::fromLatin1(row));
    const Snapshot s = run({b}, "09:50:00");
    QCOMPARE(s.findings.size(), std::size_t(3));
    QCOMPARE(s.findings[0].recNum, 2);
    QCOMPARE(s.findings[1].recNum, 3);
    QCOMPARE(s.findings[2].recNum, 1);
}

void TestOrderFlow::clearedTableStartsOver()
{
    OrderFlow model;
    Batch b;
    for (const char *row : {"O 1 A1 P 1 09:30:00", "O 2 A2 P 1 09:30:00", "C 1 A1 O 0 09:30:01",
                            "C 2 A2 F 231 09:30:01", "T 1 A1 1 100 93002"})
        addRow(b, QString::fromLatin1(row));
    model.addOrders(b.orders);
    model.addConfirmations(b.confirmations);
    model.addTrades(b.trades);
    model.clearConfirmations();
    QCOMPARE(model.lastConfirmationRecNum(), 0);
    const Snapshot s = model.snapshot(timeStamp(Day, secondsOfDay(u"09:30:05")), 60);
    QCOMPARE(s.figures.rejected, 0);
    QCOMPARE(s.figures.unconfirmed, 2);
    QVERIFY(s.rejectionsByCode.empty());
    model.clearOrders();
    QCOMPARE(model.orderRows(), 0);
    QCOMPARE(model.tradeRows(), 0);
    QCOMPARE(model.lastCjbh(), 0);
}

void TestOrderFlow::valueRules_data()
{
    QTest::addColumn<QString>("rule");
    QTest::addColumn<QString>("input");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("code alone") << "code" << "231" << qint64(231);
    QTest::newRow("code and text") << "code" << " 1021rec_num" << qint64(1021);
    QTest::newRow("blank remark") << "code" << "   " << qint64(0);
    QTest::newRow("zero remark") << "code" << "0" << qint64(0);
    QTest::newRow("five digits are no code") << "code" << "12345" << qint64(0);
    QTest::newRow("order time") << "time" << "09:30:05" << qint64(34205);
    QTest::newRow("trade time before ten") << "time" << "93005" << qint64(34205);
    QTest::newRow("trade time after ten") << "time" << "143005" << qint64(52205);
    QTest::newRow("no time") << "time" << "9:3" << qint64(-1);
    QTest::newRow("hour out of range") << "time" << "25:00:00" << qint64(-1);
    QTest::newRow("date") << "date" << "20261209" << qint64(20261209);
    QTest::newRow("month 13") << "date" << "20261309" << qint64(0);
    QTest::newRow("amount") << "cents" << "1234.5" << qint64(123450);
    QTest::newRow("amount too large marker") << "cents" << "-1" << qint64(-100);
    QTest::newRow("cancel flag any case") << "cancel" << "wTh" << qint64(1);
    QTest::newRow("limit order") << "cancel" << "LPT" << qint64(0);
    QTest::newRow("accepted") << "reply" << "O" << qint64(Reply::Accepted);
    QTest::newRow("cancel accepted") << "reply" << "W" << qint64(Reply::CancelAccepted);
    QTest::newRow("front end rejection") << "reply" << "E" << qint64(Reply::Rejected);
    QTest::newRow("link failure") << "reply" << "?" << qint64(Reply::Rejected);
    QTest::newRow("day round trip") << "day" << "20260301" << qint64(20260301);
    QTest::newRow("leap day round trip") << "day" << "20240229" << qint64(20240229);
}

void TestOrderFlow::valueRules()
{
    QFETCH(QString, rule);
    QFETCH(QString, input);
    QFETCH(qint64, expected);
    qint64 actual = -999;
    if (rule == "code")
        actual = returnCodeOf(input);
    else if (rule == "time")
        actual = secondsOfDay(input);
    else if (rule == "date")
        actual = dateNumber(input);
    else if (rule == "cents")
        QVERIFY(amountCents(input, &actual));
    else if (rule == "cancel")
        actual = isCancelFlag(input);
    else if (rule == "reply")
        actual = qint64(replyOf(input[0]));
    else if (rule == "day")
        actual = dateOf(timeStamp(dateNumber(input), 86399));
    QCOMPARE(actual, expected);
}

void TestOrderFlow::explanationsCarryTheFigures()
{
    Finding f;
    f.category = Category::UnconfirmedTooLong;
    f.a = 37;
    QCOMPARE(explanation(f), QStringLiteral("已报 37 秒未确认"));
    f.category = Category::UnsentTooLong;
    f.a = 59334;
    QCOMPARE(explanation(f), QStringLiteral("16 小时 28 分未被网关取走"));
    f.category = Category::Overfilled;
    f.a = 1200;
    f.b = 1000;
    QCOMPARE(explanation(f), QStringLiteral("成交 1200 > 委托 1000"));
    // The next day's first second is one second after the last of this one.
    QCOMPARE(timeStamp(20261210, 0) - timeStamp(20261209, 86399), 1);
}

void TestOrderFlow::newFindingsThatStallTheGatewayCallTheOperator_data()
{
    // Findings as "类别 记录编号 申请编号" texts, before and after a refresh;
    // how many alarms the refresh raises and clears.
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("now");
    QTest::addColumn<int>("alarms");
    QTest::addColumn<int>("cleared");
    QTest::newRow("nothing") << QStringList{} << QStringList{} << 0 << 0;
    QTest::newRow("a gap") << QStringList{} << QStringList{"记录编号不连续 5 -"} << 1 << 0;
    QTest::newRow("the same gap again") << QStringList{"记录编号不连续 5 -"} << QStringList{"记录编号不连续 5 -"} << 0 << 0;
    QTest::newRow("a second gap") << QStringList{"记录编号不连续 5 -"}
                                  << QStringList{"记录编号不连续 5 -", "记录编号不连续 9 -"} << 1 << 0;
    QTest::newRow("a gap filled") << QStringList{"记录编号不连续 5 -"} << QStringList{} << 0 << 1;
    QTest::newRow("unsent becomes unconfirmed") << QStringList{"未报超时 4 R4"} << QStringList{"未确认超时 4 R4"} << 1 << 1;
    QTest::newRow("repeat and stalls")
        << QStringList{} << QStringList{"记录编号重复 3 A", "未报超时 4 R4", "未确认超时 2 R2"} << 3 << 0;
    QTest::newRow("many unconfirmed: one alarm")
        << QStringList{} << QStringList{"未确认超时 4 R4", "未确认超时 5 R5", "未确认超时 6 R6"} << 1 << 0;
    QTest::newRow("rejections and orphans call nobody")
        << QStringList{} << QStringList{"废单 4 R4", "确认无对应委托 5 Z", "成交无对应委托 0 Z", "超额成交 2 R2",
                                        "申请编号重复 6 R2", "撤单对象不存在 7 C7", "撤单对象编号过大 8 C8"}
        << 0 << 0;
    QTest::newRow("another order unsent: the same alarm") << QStringList{"未报超时 4 R4"} << QStringList{"未报超时 5 R5"}
                                                          << 0 << 0;
}

void TestOrderFlow::newFindingsThatStallTheGatewayCallTheOperator()
{
    QFETCH(QStringList, before);
    QFETCH(QStringList, now);
    QFETCH(int, alarms);
    QFETCH(int, cleared);
    const auto causes = [](const QStringList &texts) {
        Snapshot s;
        for (const QString &text : texts) {
            const QStringList f = text.split(u' ');
            Finding finding;
            for (int c = 0; c < CategoryCount; ++c)
                if (categoryText(Category(c)) == f[0])
                    finding.category = Category(c);
            if (categoryText(finding.category) != f[0])
                qFatal("unknown category %s", qPrintable(f[0]));
            finding.recNum = f[1].toInt();
            finding.reff = Reff::from(f[2]);
            s.findings.push_back(finding);
        }
        return findingCauses(s);
    };
    const AlarmChanges changes = compareCauses(causes(before), causes(now));
    QCOMPARE(int(changes.raised.size()), alarms);
    QCOMPARE(int(changes.cleared.size()), cleared);
}

void TestOrderFlow::rejectionsWithinAMinuteMakeABurst_data()
{
    // Rejections as "HH:MM:SS×count"; the burst findings as "HH:MM:SS count".
    QTest::addColumn<QStringList>("rejections");
    QTest::addColumn<int>("threshold");
    QTest::addColumn<QStringList>("bursts");
    QTest::newRow("twenty in one minute") << QStringList{"10:31:05x12", "10:31:59x8"} << 20
                                          << QStringList{"10:31:00 20"};
    QTest::newRow("nineteen") << QStringList{"10:31:05x19"} << 20 << QStringList{};
    QTest::newRow("twenty over two minutes") << QStringList{"10:31:50x10", "10:32:05x10"} << 20 << QStringList{};
    QTest::newRow("two bursts, newest first") << QStringList{"10:31:05x25", "10:35:00x30", "10:36:00x1"} << 20
                                              << QStringList{"10:35:00 30", "10:31:00 25"};
    QTest::newRow("a lower threshold") << QStringList{"10:31:05x5"} << 5 << QStringList{"10:31:00 5"};
    QTest::newRow("none looked for") << QStringList{"10:31:05x50"} << 0 << QStringList{};
}

void TestOrderFlow::rejectionsWithinAMinuteMakeABurst()
{
    QFETCH(QStringList, rejections);
    QFETCH(int, threshold);
    QFETCH(QStringList, bursts);
    Batch b;
    int rec = 0;
    for (const QString &group : rejections) {
        const QString time = group.section(u'x', 0, 0);
        for (int i = 0; i < group.section(u'x', 1).toInt(); ++i) {
            ++rec;
            addRow(b, QStringLiteral("O %1 A%1 P 1 10:00:00").arg(rec));
            addRow(b, QStringLiteral("C %1 A%1 F 231 %2").arg(rec).arg(time));
        }
    }
    OrderFlow model;
    model.setRejectBurst(threshold);
    model.addOrders(b.orders);
    model.addConfirmations(b.confirmations);
    const Snapshot s = model.snapshot(timeStamp(Day, secondsOfDay(u"10:40:00")), 3600);
    QStringList found;
    for (const Finding &f : s.findings) {
        if (f.category == Category::RejectBurst) {
            found << QStringLiteral("%1 %2").arg(clockText(f.time)).arg(f.a);
            QCOMPARE(explanation(f), QStringLiteral("1 分钟内 %1 笔废单").arg(f.a));
        }
    }
    QCOMPARE(found, bursts);
    QVERIFY(std::is_sorted(s.findings.begin(), s.findings.end(), newerFirst));
}

void TestOrderFlow::gatewayStoppersComeFirst()
{
    Batch b;
    for (const char *row : {"O 1 A1 P 1 09:30:00", "O 3 A3 R 1 09:31:00", "O 4 A4 P 1 09:32:00", "O 5 A1 P 1 09:33:00",
                            "C 1 A1 O 0 09:30:01", "C 2 A1 F 231 09:33:01", "C 3 A9 O 0 09:34:00"})
        addRow(b, QString::fromLatin1(row));
    Snapshot s = run({b}, "09:40:00");
    QCOMPARE(inOrder(s), (QStringList{"确认无对应委托 3 0", "废单 5 231", "申请编号重复 5 0", "未确认超时 4 0",
                                      "未报超时 3 0", "记录编号不连续 2 1021"}));
    Snapshot ranked = s;
    ranked.findings.clear();
    for (quint32 i : rankOrder(s.findings))
        ranked.findings.push_back(s.findings[i]);
    // Gaps, then unsent, then unconfirmed, then rejections; the rest newest
    // first as before.
    QCOMPARE(inOrder(ranked), (QStringList{"记录编号不连续 2 1021", "未报超时 3 0", "未确认超时 4 0", "废单 5 231",
                                      "确认无对应委托 3 0", "申请编号重复 5 0"}));
}

void TestOrderFlow::figuresBreakOnlyBetweenFigures_data()
{
    // Widths in characters; separators are two blanks.
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("lines");
    QTest::newRow("all fit") << 100 << "aa bbb cc|dd eee";
    QTest::newRow("exactly fits") << 11 << "aa bbb cc|dd eee";
    QTest::newRow("one short") << 10 << "aa bbb|cc|dd eee";
    QTest::newRow("narrow") << 5 << "aa|bbb|cc|dd|eee";
    QTest::newRow("narrower than a figure: it stands alone, whole") << 2 << "aa|bbb|cc|dd|eee";
}

void TestOrderFlow::figuresBreakOnlyBetweenFigures()
{
    QFETCH(int, width);
    QFETCH(QString, lines);
    const std::vector<QStringList> groups{{"aa", "bbb", "cc"}, {"dd", "eee"}};
    const QString text = wrapFigures(groups, width, [](const QString &line) { return int(line.size()); });
    QCOMPARE(text.split(u'\n').join(u'|').replace(QStringLiteral("  "), QStringLiteral(" ")), lines);
}

void TestOrderFlow::timeAxisTicksReadDifferently_data()
{
    // Minutes of the day with data; the axis as "from-to/count/step".
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("axis");
    QTest::newRow("one minute") << "02:08" << "02:08" << "02:08-02:09/2/1";
    QTest::newRow("a few minutes") << "02:08" << "02:11" << "02:08-02:11/4/1";
    QTest::newRow("ten minutes") << "10:03" << "10:13" << "10:00-10:15/4/5";
    QTest::newRow("forty minutes") << "10:03" << "10:43" << "10:00-10:50/6/10";
    QTest::newRow("an hour and a quarter") << "10:00" << "11:20" << "10:00-11:30/7/15";
    QTest::newRow("an hour and a half") << "09:31" << "11:02" << "09:30-11:30/5/30";
    QTest::newRow("a morning") << "09:15" << "11:30" << "09:00-11:30/6/30";
    QTest::newRow("a trading day") << "09:15" << "15:00" << "09:00-15:00/7/60";
    QTest::newRow("the whole day") << "00:00" << "23:59" << "00:00-24:00/7/240";
}

void TestOrderFlow::timeAxisTicksReadDifferently()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, axis);
    const auto minute = [](const QString &clock) { return secondsOfDay(clock + QStringLiteral(":00")) / 60; };
    const MinuteTicks t = minuteTicks(minute(first), minute(last), 7);
    const auto clock = [](int m) { return QStringLiteral("%1:%2").arg(m / 60, 2, 10, QChar(u'0')).arg(m % 60, 2, 10, QChar(u'0')); };
    QCOMPARE(QStringLiteral("%1-%2/%3/%4").arg(clock(t.from), clock(t.to)).arg(t.count).arg(t.step), axis);
    // Evenly spaced ticks land on whole steps and cover the data.
    QCOMPARE((t.to - t.from) % t.step, 0);
    QCOMPARE((t.to - t.from) / t.step + 1, t.count);
    QVERIFY(t.from <= minute(first) && t.to >= minute(last) && t.count <= 7);
}

void TestOrderFlow::durationsReadAsAnOperatorReadsThem_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("none") << qint64(0) << "0 秒";
    QTest::newRow("under a minute") << qint64(59) << "59 秒";
    QTest::newRow("a minute") << qint64(60) << "1 分 0 秒";
    QTest::newRow("minutes") << qint64(307) << "5 分 7 秒";
    QTest::newRow("under an hour") << qint64(3599) << "59 分 59 秒";
    QTest::newRow("an hour") << qint64(3600) << "1 小时 0 分";
    QTest::newRow("seconds dropped past an hour") << qint64(3659) << "1 小时 0 分";
    QTest::newRow("more than a day") << qint64(26 * 3600 + 5 * 60) << "26 小时 5 分";
}

void TestOrderFlow::durationsReadAsAnOperatorReadsThem()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(durationText(seconds), text);
}

QTEST_GUILESS_MAIN(TestOrderFlow)
#include "tst_orderflow.moc"
