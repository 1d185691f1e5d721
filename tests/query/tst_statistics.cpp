#include "querytestsupport.h"

#include "query/statistics.h"

#include <limits>

using namespace querytest;

namespace {

// A trade row with the given quantity and amount (SQL literals).
QString trade(int n, const QString &quantity, const QString &amount, const char *side = "B")
{
    return QStringLiteral("('A%1','X','20261208','%2','30001',%3,0,'600000','93000','93000',10,%4,'%5','%6','00001')")
        .arg(n, 9, 10, QLatin1Char('0'))
        .arg(10000 + n)
        .arg(quantity, amount)
        .arg(n, 10, 10, QLatin1Char('0'))
        .arg(QLatin1String(side));
}

QString order(int n, const QString &quantity)
{
    return QStringLiteral("(%1,'20261208','09:30:00','R%1','A000000001','600000','B','10.00',%2,'P','ORD','12345','c')")
        .arg(n)
        .arg(quantity);
}


// What the statistics window showed when it came up: the title, then the
// cells line by line, (0, 0) (1, 0) (0, 1) (1, 1) (0, 2) (1, 2).
using Shown = QStringList;

// The value cell (1, row).
QString value(const Shown &shown, int row)
{
    return shown.at(2 + 2 * row);
}

} // namespace

class StatisticsTest : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { m_session.reset(); }

    void window()
    {
        start({});
        QCOMPARE(countform->windowTitle(), QStringLiteral("统计"));
        QCOMPARE(countform->size(), QSize(295, 116));
        QCOMPARE(countform->title(), QStringLiteral("简单数据统计"));
        QCOMPARE(countform->palette().color(QPalette::Window), QColor(192, 220, 192));
        auto *label1 = testsupport::child<QLabel>(countform, "Label1");
        QCOMPARE(label1->font().pixelSize(), 16);
        QCOMPARE(label1->font().family(), QStringLiteral("宋体"));
        auto *shape = testsupport::child<QWidget>(countform, "Shape1");
        QCOMPARE(shape->size(), QSize(145, 2));
        QCOMPARE(shape->palette().color(QPalette::Window), QColor(Qt::blue));
        QVERIFY(shape->y() > label1->y());
        auto *grid1 = testsupport::child<QTableWidget>(countform, "grid1");
        QCOMPARE(grid1->columnCount(), 2);
        QCOMPARE(grid1->rowCount(), 3);
        QCOMPARE(grid1->columnWidth(0), 64);
        QCOMPARE(grid1->columnWidth(1), 301);
        QCOMPARE(grid1->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid1->font().pixelSize(), 15);
        QCOMPARE(grid1->palette().color(QPalette::Base), QColor(192, 220, 192));
        QVERIFY(grid1->y() > shape->y());
        auto *label2 = testsupport::child<QLabel>(countform, "Label2");
        QCOMPARE(label2->text(), QStringLiteral("提示：对买卖方向不进行差别化统计。"));
        QVERIFY(label2->y() > grid1->geometry().bottom());
        QVERIFY(label2->geometry().bottom() < countform->height());
    }

    // The example of two trade rows; buy and sell are added together.
    void tradeStatistics()
    {
        start({trade(1, "100", "1234.5", "B"), trade(2, "200", "100.25", "S")});
        click(QStringLiteral("Button1"));
        const QList<Shown> shown = runStatistics(QStringLiteral("Button13"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first(), (Shown{"成交数据统计", "记录数", "2(条)", "成交数量", "300(股/手)",
                                       "成交金额", "1334.75(元)"}));
        // The walk leaves the page on the last row, and the grid follows.
        QCOMPARE(datamod->qry1->recNo(), 1);
        QTRY_COMPARE(grid(1)->currentIndex().row(), 1);
    }

    // Orders after trades: new title, the amount line emptied.
    void ordersAfterTrades()
    {
        start({trade(1, "100", "1234.5")}, {order(1, "'300'"), order(2, "'500'"), order(3, "' 200\t'")});
        click(QStringLiteral("Button1"));
        QCOMPARE(runStatistics(QStringLiteral("Button13")).size(), 1);
        click(QStringLiteral("Button4"));
        const QList<Shown> shown = runStatistics(QStringLiteral("Button14"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first(), (Shown{"委托数据统计", "记录数", "3(条)", "委托数量", "1000(股/手)", "", ""}));
    }

    // Nothing before the page's first list, nothing for a count of 0.
    void nothingToTotal()
    {
        start({trade(1, "100", "1")}, {order(1, "'300'")});
        QVERIFY(runStatistics(QStringLiteral("Button13")).isEmpty());
        QVERIFY(runStatistics(QStringLiteral("Button14")).isEmpty());
        type(QStringLiteral("Edit2"), QStringLiteral("999999"));
        click(QStringLiteral("Button2"));
        QCOMPARE(labelText(QStringLiteral("Label12")), QStringLiteral("0"));
        QVERIFY(runStatistics(QStringLiteral("Button13")).isEmpty());
        type(QStringLiteral("Edit10"), QStringLiteral("999999"));
        click(QStringLiteral("Button5"));
        QCOMPARE(labelText(QStringLiteral("Label15")), QStringLiteral("0"));
        QVERIFY(runStatistics(QStringLiteral("Button14")).isEmpty());
        QCOMPARE(countform->title(), QStringLiteral("简单数据统计"));
    }

    // The amount in the general number format.
    void amountFormat_data()
    {
        QTest::addColumn<QStringList>("amounts");
        QTest::addColumn<QString>("cell");
        QTest::newRow("whole") << QStringList{"100", "200"} << "300(元)";
        QTest::newRow("zero") << QStringList{"5", "-5"} << "0(元)";
        QTest::newRow("negative") << QStringList{"-5.5", "1"} << "-4.5(元)";
        QTest::newRow("1.5E20") << QStringList{"100000000000000000000", "50000000000000000000"} << "1.5E20(元)";
        QTest::newRow("below 0.0001") << QStringList{"0.00001", "0"} << "1E-5(元)";
        QTest::newRow("just 0.0001") << QStringList{"0.0001", "0"} << "0.0001(元)";
        QTest::newRow("15 digits") << QStringList{"123456789012345", "0"} << "123456789012345(元)";
        QTest::newRow("16 digits") << QStringList{"1234567890123456", "0"} << "1.23456789012346E15(元)";
        // Added one by one as doubles, the hundred cents lose one.
        QTest::newRow("cents of many rows") << QStringList{"99999999999.99"} + QStringList(100, "0.01")
                                            << "100000000000.99(元)";
    }
    void amountFormat()
    {
        QFETCH(QStringList, amounts);
        QFETCH(QString, cell);
        QStringList rows;
        for (int i = 0; i < amounts.size(); ++i)
            rows << trade(i + 1, QStringLiteral("1"), amounts.at(i));
        start(rows);
        click(QStringLiteral("Button1"));
        const QList<Shown> shown = runStatistics(QStringLiteral("Button13"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(value(shown.first(), 2), cell);
    }

    // Quantity totals beyond the 32-bit range show correctly.
    void quantityAbove32Bits()
    {
        start({trade(1, "2000000000", "1"), trade(2, "2000000000", "1"), trade(3, "147483648", "1")},
              {order(1, "'2147483647'"), order(2, "'1'")});
        click(QStringLiteral("Button1"));
        QList<Shown> shown = runStatistics(QStringLiteral("Button13"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(value(shown.first(), 1), QStringLiteral("4147483648(股/手)"));
        click(QStringLiteral("Button4"));
        shown = runStatistics(QStringLiteral("Button14"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(value(shown.first(), 1), QStringLiteral("2147483648(股/手)"));
    }

    // A quantity total beyond 64 bits ends the command in the error box.
    void quantityTotalOutOfRange_data()
    {
        QTest::addColumn<bool>("orders");
        QTest::newRow("trades") << false;
        QTest::newRow("orders") << true;
    }
    void quantityTotalOutOfRange()
    {
        QFETCH(bool, orders);
        const QString largest = QStringLiteral("9223372036854775807");
        if (orders)
            start({}, {order(1, "'" + largest + "'"), order(2, "'" + largest + "'")});
        else
            start({trade(1, largest, "1"), trade(2, largest, "1")});
        click(orders ? QStringLiteral("Button4") : QStringLiteral("Button1"));
        QList<testsupport::ModalRecord> records;
        QVERIFY(runStatistics(orders ? QStringLiteral("Button14") : QStringLiteral("Button13"), &records).isEmpty());
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().icon, int(QMessageBox::Critical));
        QCOMPARE(records.first().text, QStringLiteral("第 2 行的“%1”使合计超出范围，无法统计.")
                                           .arg(orders ? QStringLiteral("委托数量") : QStringLiteral("成交数量")));
    }

    // The amount rule without a database: decimals given with their scale
    // add exactly, doubles with compensation.
    void amountTotal_data()
    {
        QTest::addColumn<QList<qint64>>("scaled"); // at scale 2; empty: doubles below
        QTest::addColumn<QList<double>>("doubles");
        QTest::addColumn<QString>("text");
        QList<qint64> manyCents{9999999999999};
        QList<double> manyCentsAsDoubles{99999999999.99};
        for (int i = 0; i < 100; ++i) {
            manyCents << 1;
            manyCentsAsDoubles << 0.01;
        }
        QTest::newRow("decimal cents") << manyCents << QList<double>{} << "100000000000.99";
        QTest::newRow("double cents") << QList<qint64>{} << manyCentsAsDoubles << "100000000000.99";
        QTest::newRow("decimal cancelling") << QList<qint64>{1000000000000000000, 25, -1000000000000000000}
                                            << QList<double>{} << "0.25";
        QTest::newRow("double cancelling") << QList<qint64>{} << QList<double>{1e16, 0.25, -1e16} << "0.25";
        QTest::newRow("decimal beyond 15 digits") << QList<qint64>{99999999999999999, 1} << QList<double>{}
                                                  << "1E15";
        QTest::newRow("decimal beyond 64 bits") << QList<qint64>{std::numeric_limits<qint64>::max(), 100}
                                                << QList<double>{} << "9.22337203685478E16";
        QTest::newRow("nothing") << QList<qint64>{} << QList<double>{} << "0";
    }
    void amountTotal()
    {
        QFETCH(QList<qint64>, scaled);
        QFETCH(QList<double>, doubles);
        QFETCH(QString, text);
        AmountTotal total;
        for (qint64 value : scaled)
            total.addScaled(value, 2);
        for (double value : doubles)
            total.add(value);
        QCOMPARE(total.text(), text);
        QCOMPARE(amountCell(total), text + QStringLiteral("(元)"));
    }

    // A value that does not convert stops the walk at its row: error box,
    // no window, the page left on that row.
    void conversionFailure_data()
    {
        QTest::addColumn<bool>("orders");
        QTest::addColumn<QStringList>("quantities"); // SQL literals
        QTest::addColumn<int>("stopRow");
        QTest::addColumn<QString>("text");
        QTest::newRow("null cjsl") << false << QStringList{"100", "NULL", "200"} << 1
                                   << "第 2 行的“成交数量”为空，无法统计.";
        QTest::newRow("null qty") << true << QStringList{"'100'", "'200'", "NULL"} << 2
                                  << "第 3 行的“委托数量”为空，无法统计.";
        QTest::newRow("decimal qty") << true << QStringList{"'12.5'", "'200'"} << 0
                                     << "第 1 行的“委托数量”不是有效的整数（12.5），无法统计.";
        QTest::newRow("text qty") << true << QStringList{"'100'", "'abc'"} << 1
                                  << "第 2 行的“委托数量”不是有效的整数（abc），无法统计.";
        QTest::newRow("empty qty") << true << QStringList{"'100'", "''"} << 1
                                   << "第 2 行的“委托数量”为空，无法统计.";
        QTest::newRow("blank qty") << true << QStringList{"'100'", "'  \t'"} << 1
                                   << "第 2 行的“委托数量”为空，无法统计.";
    }
    void conversionFailure()
    {
        QFETCH(bool, orders);
        QFETCH(QStringList, quantities);
        QFETCH(int, stopRow);
        QFETCH(QString, text);
        QStringList trades;
        QStringList orderRows;
        for (int i = 0; i < quantities.size(); ++i) {
            if (orders)
                orderRows << order(i + 1, quantities.at(i));
            else
                trades << trade(i + 1, quantities.at(i), QStringLiteral("1"));
        }
        start(trades, orderRows);
        click(orders ? QStringLiteral("Button4") : QStringLiteral("Button1"));
        QList<testsupport::ModalRecord> records;
        const QList<Shown> shown = runStatistics(orders ? QStringLiteral("Button14") : QStringLiteral("Button13"),
                                                 &records);
        QVERIFY(shown.isEmpty());
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().className, QStringLiteral("QMessageBox"));
        QCOMPARE(records.first().icon, int(QMessageBox::Critical));
        QCOMPARE(records.first().text, text);
        Query *query = orders ? datamod->qry2 : datamod->qry1;
        QCOMPARE(query->recNo(), stopRow);
        QTRY_COMPARE(grid(orders ? 2 : 1)->currentIndex().row(), stopRow);
    }

    // Count shown but the query closed: the closed data set error.
    void closedQuery()
    {
        start({trade(1, "100", "1")});
        click(QStringLiteral("Button1"));
        datamod->qry1->close();
        QList<testsupport::ModalRecord> records;
        QVERIFY(runStatistics(QStringLiteral("Button13"), &records).isEmpty());
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().icon, int(QMessageBox::Critical));
        QCOMPARE(records.first().text, QStringLiteral("查询结果已关闭，请重新查询."));
    }

    // The row is counted in the grid's order: after a title sort the
    // failing value's row number follows the sorted grid.
    void failureRowFollowsSortedGrid()
    {
        start({trade(1, "100", "1"), trade(2, "NULL", "2"), trade(3, "300", "3")});
        click(QStringLiteral("Button1"));
        clickTitle(1, 4); // 成交金额 ▼: 3, 2, 1
        QList<testsupport::ModalRecord> records;
        QVERIFY(runStatistics(QStringLiteral("Button13"), &records).isEmpty());
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first().text, QStringLiteral("第 2 行的“成交数量”为空，无法统计."));
        QCOMPARE(datamod->qry1->recNo(), 1);
    }

private:
    // A database of its own with the given trade and order rows only, and
    // the session on it.
    void start(const QStringList &trades, const QStringList &orders = {})
    {
        testsupport::createEmptyDatabase(databasePath());
        if (!trades.isEmpty())
            sqliteExec(databasePath(), TradeInsert + trades.join(QLatin1Char(',')));
        if (!orders.isEmpty())
            sqliteExec(databasePath(), OrderInsert + orders.join(QLatin1Char(',')));
        m_session = std::make_unique<Session>();
    }

    // Clicks the statistics button; records the statistics window's
    // contents each time it comes up and closes it, as well as any other
    // modal window (error boxes).
    QList<Shown> runStatistics(const QString &button, QList<testsupport::ModalRecord> *others = nullptr)
    {
        QList<Shown> shown;
        testsupport::ModalWatcher watcher([&](QWidget *modal, const testsupport::ModalRecord &record) {
            if (modal == countform) {
                Shown s{countform->title()};
                for (int row = 0; row < 3; ++row)
                    s << countform->cell(0, row) << countform->cell(1, row);
                shown << s;
            } else if (others) {
                *others << record;
            }
            closeModal(modal);
        });
        click(button);
        QTest::qWait(20);
        return shown;
    }

    std::unique_ptr<Session> m_session;
};

SQLTOOL_TEST_MAIN(StatisticsTest)
#include "tst_statistics.moc"
