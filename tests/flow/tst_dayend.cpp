// The day reconciled from the model: the final-state rule as a table, and
// a day of one row per outcome read back as the workbook's values (every
// row's state, fills, amounts and cancelled quantity, the cancels beside
// their orders, trades grouped, totals equal to the model's figures).

#include "flow/dayend.h"
#include "flow/flowtext.h"
#include "flow/orderflow.h"
#include "flow/returncodes.h"

#include <QtTest/QtTest>

using namespace flow;

namespace {

const qint32 Day = 20261209;
const int Now = 10 * 3600; // 10:00:00

OrderRow order(int rec, const char *reff, char status, int qty, const char *acc, const char *stock, char bs,
               int priceMils, bool market = false)
{
    OrderRow row;
    row.recNum = rec;
    row.date = Day;
    row.time = Now - 60 + rec;
    row.reff = Reff::from(QString::fromLatin1(reff));
    row.acc = Account::from(QString::fromLatin1(acc));
    row.stock = Stock::from(QString::fromLatin1(stock));
    row.bs = bs;
    row.priceMils = priceMils;
    row.qty = qty;
    row.status = status;
    row.market = market;
    return row;
}

OrderRow cancelOf(int rec, int ordrec)
{
    OrderRow row = order(rec, qPrintable(QStringLiteral("C%1").arg(rec)), 'P', 0, "A000000001", "600000", 'B', -1);
    row.cancel = true;
    row.ordrec = ordrec;
    return row;
}

ConfirmationRow reply(int rec, const char *reff, char status, int code = 0, int qty2 = 0)
{
    ConfirmationRow row;
    row.recNum = rec;
    row.date = Day;
    row.time = Now - 30;
    row.reff = Reff::from(QString::fromLatin1(reff));
    row.reply = replyOf(QChar(status));
    row.code = code;
    row.qty2 = qty2;
    return row;
}

ConfirmationRow cancelReply(int rec, int ordrec, char status, int code = 0, int qty2 = 0)
{
    ConfirmationRow row = reply(rec, "", status, code, qty2);
    row.cancel = true;
    row.ordrec = ordrec;
    return row;
}

TradeRow trade(qint64 cjbh, const char *sqbh, qint64 qty, qint64 cents, const char *acc, const char *stock, char bs)
{
    TradeRow row;
    row.cjbh = cjbh;
    row.date = Day;
    row.time = Now - 20;
    row.sqbh = Reff::from(QString::fromLatin1(sqbh));
    row.acc = Account::from(QString::fromLatin1(acc));
    row.stock = Stock::from(QString::fromLatin1(stock));
    row.bs = bs;
    row.quantity = qty;
    row.cents = cents;
    return row;
}

// A day with one row of each outcome; rec_num 1 to 13.
void plantDay(OrderFlow &model)
{
    model.addOrders({
        order(1, "A1", 'P', 1000, "A1", "600000", 'B', 10500),     // traded in full, two fills
        order(2, "A2", 'P', 500, "A1", "600000", 'B', 10000),      // traded in part
        order(3, "A3", 'P', 300, "A1", "600000", 'S', 8000),       // confirmed, not traded
        order(4, "A4", 'P', 100, "A1", "600000", 'B', 9000),       // rejected 231
        order(5, "A5", 'R', 100, "A1", "600000", 'B', 9000),       // not taken
        order(6, "A6", 'P', 100, "A1", "600000", 'B', 9000),       // taken, nothing back
        order(7, "A7", 'P', 800, "A2", "600000", 'S', 9990),       // traded in part, rest cancelled
        order(8, "A8", 'P', 400, "A1", "600000", 'B', 9000),       // cancelled
        cancelOf(9, 7),                                            // accepted
        cancelOf(10, 8),                                           // accepted
        cancelOf(11, 1),                                           // refused: traded in full
        cancelOf(12, 12),                                          // refused: names itself
        order(13, "A13", 'P', 1000, "A1", "000001", 'B', 0, true), // market order, remainder cancelled
    });
    model.addConfirmations({
        reply(1, "A1", 'O'),
        reply(2, "A2", 'O'),
        reply(3, "A3", 'O'),
        reply(4, "A4", 'F', 231),
        reply(5, "A7", 'O'),
        reply(6, "A8", 'O'),
        cancelReply(7, 7, 'W', 0, 500),
        cancelReply(8, 8, 'W', 0, 400),
        cancelReply(9, 1, 'F', 411),
        cancelReply(10, 12, 'E', 1031),
        reply(11, "A13", 'O', 0, 700),
    });
    model.addTrades({
        trade(1, "A1", 600, 628800, "A1", "600000", 'B'),
        trade(2, "A1", 400, 420000, "A1", "600000", 'B'),
        trade(3, "A2", 200, 200000, "A1", "600000", 'B'),
        trade(4, "A7", 300, 299700, "A2", "600000", 'S'),
        trade(5, "A13", 300, 30000, "A1", "000001", 'B'),
        trade(6, "ZZ", 100, 50000, "A3", "600000", 'B'), // matches no order
    });
}

// "rec state traded cents average cancelled code" of a line; a cancel has
// no trade columns.
QString lineText(const DayEndOrderLine &l)
{
    const QString trades = l.cancel ? QStringLiteral("- - -")
                                    : QStringLiteral("%1 %2 %3").arg(l.traded).arg(l.cents).arg(l.averageMils);
    return QStringLiteral("%1 %2 %3 %4 %5").arg(l.recNum).arg(l.state.toString(), trades).arg(l.cancelled).arg(l.code);
}

} // namespace

class TestDayEnd : public QObject
{
    Q_OBJECT
private slots:
    void finalStateRule_data();
    void finalStateRule();
    void averagePriceRoundsHalfAway_data();
    void averagePriceRoundsHalfAway();
    void everyRowHasItsStateFillsAndAmounts();
    void cancelsFollowTheirOrderAndSayWhichTheyName();
    void tradesGroupedWithTotalsOfTheModel();
    void summaryCountsStatesAndListsOpenRows();
    void clearedTablesForgetWhatBecameOfRows();
};

void TestDayEnd::finalStateRule_data()
{
    // cancel, status, replied, reply status, quantity, traded, cancelled, cancel accepted → state
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QChar>("status");
    QTest::addColumn<bool>("replied");
    QTest::addColumn<QChar>("reply");
    QTest::addColumn<int>("quantity");
    QTest::addColumn<int>("traded");
    QTest::addColumn<int>("cancelled");
    QTest::addColumn<bool>("cancelAccepted");
    QTest::addColumn<QString>("state");
    const QChar none;
    QTest::newRow("not taken") << false << QChar('R') << false << none << 100 << 0 << 0 << false << "未报";
    QTest::newRow("not taken, lower case") << false << QChar('r') << false << none << 100 << 0 << 0 << false << "未报";
    QTest::newRow("taken, nothing back") << false << QChar('P') << false << none << 100 << 0 << 0 << false << "已报未确认";
    QTest::newRow("reply read before the new status")
        << false << QChar('R') << true << QChar('O') << 100 << 0 << 0 << false << "已确认未成交";
    QTest::newRow("unreadable reply") << false << QChar('P') << true << QChar('X') << 100 << 0 << 0 << false << "已报未确认";
    QTest::newRow("blank reply") << false << QChar('P') << true << QChar(' ') << 100 << 0 << 0 << false << "已报未确认";
    QTest::newRow("rejected F") << false << QChar('P') << true << QChar('F') << 100 << 0 << 0 << false << "废单";
    QTest::newRow("rejected E") << false << QChar('P') << true << QChar('E') << 100 << 0 << 0 << false << "废单";
    QTest::newRow("communication failure") << false << QChar('P') << true << QChar('?') << 100 << 0 << 0 << false << "废单";
    QTest::newRow("rejected with fills of a repeated reff")
        << false << QChar('P') << true << QChar('F') << 100 << 100 << 0 << false << "废单";
    QTest::newRow("accepted") << false << QChar('P') << true << QChar('O') << 100 << 0 << 0 << false << "已确认未成交";
    QTest::newRow("in part") << false << QChar('P') << true << QChar('O') << 100 << 40 << 0 << false << "部分成交";
    QTest::newRow("in full") << false << QChar('P') << true << QChar('O') << 100 << 100 << 0 << false << "全部成交";
    QTest::newRow("over-filled") << false << QChar('P') << true << QChar('O') << 100 << 200 << 0 << false << "全部成交";
    QTest::newRow("fills before the reply") << false << QChar('P') << false << none << 100 << 40 << 0 << false << "部分成交";
    QTest::newRow("in full before the reply") << false << QChar('P') << false << none << 100 << 100 << 0 << false << "全部成交";
    QTest::newRow("cancelled") << false << QChar('P') << true << QChar('O') << 100 << 0 << 100 << true << "已撤";
    QTest::newRow("cancelled, quantity not given") << false << QChar('P') << true << QChar('O') << 100 << 0 << 0 << true << "已撤";
    QTest::newRow("in part, rest cancelled") << false << QChar('P') << true << QChar('O') << 100 << 40 << 60 << true << "部成部撤";
    QTest::newRow("in full though a cancel was accepted")
        << false << QChar('P') << true << QChar('O') << 100 << 100 << 0 << true << "全部成交";
    QTest::newRow("cancel accepted before the order's reply")
        << false << QChar('P') << false << none << 100 << 0 << 100 << true << "已撤";
    QTest::newRow("market remainder cancelled") << false << QChar('P') << true << QChar('O') << 100 << 30 << 70 << false << "部成部撤";
    QTest::newRow("market order, nothing traded") << false << QChar('P') << true << QChar('O') << 100 << 0 << 100 << false << "已撤";
    QTest::newRow("cancel accepted W") << true << QChar('P') << true << QChar('W') << 0 << 0 << 0 << false << "撤单成功";
    QTest::newRow("cancel accepted O") << true << QChar('P') << true << QChar('O') << 0 << 0 << 0 << false << "撤单成功";
    QTest::newRow("cancel refused") << true << QChar('P') << true << QChar('E') << 0 << 0 << 0 << false << "撤单失败";
    QTest::newRow("cancel not taken") << true << QChar('R') << false << none << 0 << 0 << 0 << false << "未报";
    QTest::newRow("cancel taken, nothing back") << true << QChar('P') << false << none << 0 << 0 << 0 << false << "已报未确认";
    QTest::newRow("cancel, unreadable reply") << true << QChar('P') << true << QChar('X') << 0 << 0 << 0 << false << "已报未确认";
}

void TestDayEnd::finalStateRule()
{
    QFETCH(bool, cancel);
    QFETCH(QChar, status);
    QFETCH(bool, replied);
    QFETCH(QChar, reply);
    QFETCH(int, quantity);
    QFETCH(int, traded);
    QFETCH(int, cancelled);
    QFETCH(bool, cancelAccepted);
    QFETCH(QString, state);
    StateFacts facts;
    facts.cancel = cancel;
    facts.status = status.toLatin1();
    facts.replied = replied;
    facts.reply = replied ? replyOf(reply) : Reply::None;
    facts.quantity = quantity;
    facts.traded = traded;
    facts.cancelled = cancelled;
    facts.cancelAccepted = cancelAccepted;
    QCOMPARE(finalStateText(finalState(facts)), state);
}

void TestDayEnd::averagePriceRoundsHalfAway_data()
{
    QTest::addColumn<qint64>("cents");
    QTest::addColumn<qint64>("quantity");
    QTest::addColumn<qint64>("mils");
    QTest::newRow("exact") << qint64(1048800) << qint64(1000) << qint64(10488);
    QTest::newRow("half up") << qint64(1) << qint64(4) << qint64(3);     // 2.5 thousandths
    QTest::newRow("below half") << qint64(1) << qint64(3) << qint64(3);  // 0.00333
    QTest::newRow("above half") << qint64(2) << qint64(3) << qint64(7);  // 0.00667
    QTest::newRow("half of a mil") << qint64(1) << qint64(20) << qint64(1); // 0.0005
    QTest::newRow("amount given as -1") << qint64(-100) << qint64(3) << qint64(-333);
    QTest::newRow("no quantity") << qint64(100) << qint64(0) << qint64(-1);
    QTest::newRow("large") << qint64(99999999999) << qint64(100000000) << qint64(10000);
}

void TestDayEnd::averagePriceRoundsHalfAway()
{
    QFETCH(qint64, cents);
    QFETCH(qint64, quantity);
    QFETCH(qint64, mils);
    QCOMPARE(averageMils(cents, quantity), mils);
}

void TestDayEnd::everyRowHasItsStateFillsAndAmounts()
{
    OrderFlow model;
    plantDay(model);
    const Snapshot snapshot = model.snapshot(timeStamp(Day, Now), 3600);
    DayEndReconciliation day(model, snapshot, QStringLiteral("OIW"));
    QStringList lines;
    day.orderLines([&lines](const DayEndOrderLine &l) { lines << lineText(l); });
    QCOMPARE(lines, (QStringList{"1 全部成交 1000 1048800 10488 0 0",
                                 "11 撤单失败 - - - 0 411",
                                 "2 部分成交 200 200000 10000 0 0",
                                 "3 已确认未成交 0 0 -1 0 0",
                                 "4 废单 0 0 -1 0 231",
                                 "5 未报 0 0 -1 0 0",
                                 "6 已报未确认 0 0 -1 0 0",
                                 "7 部成部撤 300 299700 9990 500 0",
                                 "9 撤单成功 - - - 500 0",
                                 "8 已撤 0 0 -1 400 0",
                                 "10 撤单成功 - - - 400 0",
                                 "12 撤单失败 - - - 0 1031",
                                 "13 部成部撤 300 30000 1000 700 0"}));
}

void TestDayEnd::cancelsFollowTheirOrderAndSayWhichTheyName()
{
    OrderFlow model;
    plantDay(model);
    const Snapshot snapshot = model.snapshot(timeStamp(Day, Now), 3600);
    DayEndReconciliation day(model, snapshot, QString());
    QMap<qint32, QString> notes;
    QMap<qint32, QString> parties;
    day.orderLines([&](const DayEndOrderLine &l) {
        notes[l.recNum] = l.note.toString();
        parties[l.recNum] = QStringList{l.reff, l.account, l.stock, l.bs}.join(u' ') + u' '
            + QString::number(l.quantity) + u' ' + QString::number(l.priceMils) + u' ' + clockText(l.time);
    });
    QCOMPARE(notes[1], QStringLiteral("撤单记录 11"));
    QCOMPARE(notes[11], QStringLiteral("撤销记录 1；") + returnCodeNote(411));
    QCOMPARE(notes[7], QStringLiteral("撤单记录 9"));
    QCOMPARE(notes[9], QStringLiteral("撤销记录 7"));
    QCOMPARE(notes[12], QStringLiteral("撤销记录 12；撤单对象编号过大；") + returnCodeNote(1031));
    QCOMPARE(notes[4], QStringLiteral("余额不足"));
    QCOMPARE(notes[5], QStringLiteral("已等待 55 秒")); // sent 09:59:05, measured at 10:00:00
    QCOMPARE(notes[6], QStringLiteral("已等待 54 秒"));
    QCOMPARE(notes[2], QString());
    QCOMPARE(parties[7], QStringLiteral("A7 A2 600000 S 800 9990 09:59:07"));
    QCOMPARE(parties[13], QStringLiteral("A13 A1 000001 B 1000 0 09:59:13"));
}

void TestDayEnd::tradesGroupedWithTotalsOfTheModel()
{
    OrderFlow model;
    plantDay(model);
    const Snapshot snapshot = model.snapshot(timeStamp(Day, Now), 3600);
    DayEndReconciliation day(model, snapshot, QString());
    QStringList groups;
    qint64 fills = 0, quantity = 0, cents = 0;
    day.tradeLines([&](const DayEndTradeLine &l) {
        groups << QStringLiteral("%1 %2 %3 %4 %5 %6").arg(l.account, l.stock, l.bs).arg(l.fills).arg(l.quantity).arg(l.cents);
        fills += l.fills;
        quantity += l.quantity;
        cents += l.cents;
    });
    QCOMPARE(groups, (QStringList{"A1 000001 B 1 300 30000", "A1 600000 B 3 1200 1248800",
                                  "A2 600000 S 1 300 299700", "A3 600000 B 1 100 50000"}));
    QCOMPARE(fills, snapshot.figures.tradeRows);
    QCOMPARE(quantity, snapshot.figures.tradedQuantity);
    QCOMPARE(cents, snapshot.figures.tradedCents);
}

void TestDayEnd::summaryCountsStatesAndListsOpenRows()
{
    OrderFlow model;
    plantDay(model);
    const Snapshot snapshot = model.snapshot(timeStamp(Day, Now), 3600);
    DayEndReconciliation day(model, snapshot, QStringLiteral("OIW"));
    const DayEndSummary s = day.summary();
    QCOMPARE(s.database, QStringLiteral("OIW"));
    QCOMPARE(s.moment, QDateTime(QDate(2026, 12, 9), QTime(10, 0)));
    QStringList states;
    for (const auto &[state, count] : s.states)
        states << QStringLiteral("%1 %2").arg(state).arg(count);
    QCOMPARE(states, (QStringList{"未报 1", "已报未确认 1", "废单 1", "已确认未成交 1", "部分成交 1", "全部成交 1",
                                  "部成部撤 2", "已撤 1", "撤单成功 2", "撤单失败 2"}));
    QStringList figures;
    for (const DayEndFigure &f : s.figures)
        if (f.kind != DayEndFigure::Text)
            figures << QStringLiteral("%1 %2").arg(f.name).arg(f.value);
    QVERIFY2(figures.contains(QStringLiteral("成交金额 1628500")), qPrintable(figures.join(u'|')));
    QVERIFY2(figures.contains(QStringLiteral("委托 9")), qPrintable(figures.join(u'|')));
    QCOMPARE(s.rejections.size(), std::size_t(3));
    QCOMPARE(s.rejections[0].code, 231);
    QCOMPARE(s.rejections[0].note, QStringLiteral("余额不足"));
    QCOMPARE(day.openCount(), 2);
    QStringList open;
    day.openLines([&open](const DayEndOrderLine &l) { open << lineText(l); });
    QCOMPARE(open, (QStringList{"5 未报 0 0 -1 0 0", "6 已报未确认 0 0 -1 0 0"}));
}

void TestDayEnd::clearedTablesForgetWhatBecameOfRows()
{
    OrderFlow model;
    plantDay(model);
    model.clearTrades();
    model.clearConfirmations();
    model.addConfirmations({reply(1, "A1", 'O')});
    const Snapshot snapshot = model.snapshot(timeStamp(Day, Now), 3600);
    DayEndReconciliation day(model, snapshot, QString());
    QStringList lines;
    day.orderLines([&lines](const DayEndOrderLine &l) {
        if (l.recNum <= 2 || l.recNum == 7)
            lines << lineText(l);
    });
    QCOMPARE(lines, (QStringList{"1 已确认未成交 0 0 -1 0 0", "2 已报未确认 0 0 -1 0 0", "7 已报未确认 0 0 -1 0 0"}));
    QStringList groups;
    day.tradeLines([&groups](const DayEndTradeLine &l) { groups << l.account; });
    QCOMPARE(groups, QStringList{});
}

QTEST_GUILESS_MAIN(TestDayEnd)
#include "tst_dayend.moc"
