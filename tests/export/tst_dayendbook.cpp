// The day-end workbook read back by openpyxl: its four sheets, cell types
// and formats, amounts exact to the cent and totals added in cents, long
// lists going on in further sheets, and the export's safety (cancel, failed
// and cut writes leave no file and say why).

#include "support/exportreader.h"
#include "support/testcore.h"

#include "db/command.h"
#include "export/dayendbook.h"
#include "disklimits.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <system_error>
#include <thread>

using namespace testsupport;

namespace {

// An order row with the texts its line points into.
struct OrderFixture
{
    qint32 recNum = 0;
    QByteArray reff, account, stock, bs;
    qint64 quantity = 0, priceMils = -1;
    qint32 time = -1;
    QString state;
    bool cancel = false;
    qint64 traded = 0, cents = 0, averageMils = -1, cancelled = 0;
    qint32 code = 0;
    QString note;

    DayEndOrderLine line() const
    {
        DayEndOrderLine l;
        l.recNum = recNum;
        l.reff = QLatin1String(reff);
        l.account = QLatin1String(account);
        l.stock = QLatin1String(stock);
        l.bs = QLatin1String(bs);
        l.quantity = quantity;
        l.priceMils = priceMils;
        l.time = time;
        l.state = state;
        l.cancel = cancel;
        l.traded = traded;
        l.cents = cents;
        l.averageMils = averageMils;
        l.cancelled = cancelled;
        l.code = code;
        l.note = note;
        return l;
    }
};

struct TradeFixture
{
    QByteArray account, stock, bs;
    qint64 fills = 0, quantity = 0, cents = 0;
};

// A day given as values: what the reconciliation of a model would hand in.
class FixedDay : public DayEndSource
{
public:
    DayEndSummary values;
    std::vector<OrderFixture> orders;
    std::vector<OrderFixture> open;
    qint64 openRows = -1; // -1: as many as listed
    std::vector<TradeFixture> trades;
    std::vector<DayEndFindingLine> findings;

    DayEndSummary summary() override { return values; }
    qint64 openCount() override { return openRows >= 0 ? openRows : qint64(open.size()); }
    void openLines(const std::function<void(const DayEndOrderLine &)> &visit) override
    {
        for (const OrderFixture &o : open)
            visit(o.line());
    }
    void orderLines(const std::function<void(const DayEndOrderLine &)> &visit) override
    {
        for (const OrderFixture &o : orders)
            visit(o.line());
    }
    void tradeLines(const std::function<void(const DayEndTradeLine &)> &visit) override
    {
        for (const TradeFixture &t : trades)
            visit({QLatin1String(t.account), QLatin1String(t.stock), QLatin1String(t.bs), t.fills, t.quantity, t.cents});
    }
    void findingLines(const std::function<void(const DayEndFindingLine &)> &visit) override
    {
        for (const DayEndFindingLine &f : findings)
            visit(f);
    }
};

OrderFixture order(qint32 rec, const char *reff, const char *stock, qint64 qty, qint64 price, const char *state,
                   qint64 traded, qint64 cents, qint64 average)
{
    OrderFixture o;
    o.recNum = rec;
    o.reff = reff;
    o.account = "A123456789";
    o.stock = stock;
    o.bs = "B";
    o.quantity = qty;
    o.priceMils = price;
    o.time = 9 * 3600 + 30 * 60 + rec;
    o.state = QString::fromUtf8(state);
    o.traded = traded;
    o.cents = cents;
    o.averageMils = average;
    return o;
}

// Three orders, a cancel beside the second, trades in two groups, two
// findings, a rejection and an open order.
FixedDay smallDay()
{
    FixedDay day;
    day.values.database = QStringLiteral("OIW");
    day.values.moment = QDateTime(QDate(2026, 12, 9), QTime(15, 0, 2));
    day.values.figures = {{QStringLiteral("委托"), DayEndFigure::Count, 3, {}},
                          {QStringLiteral("成交金额"), DayEndFigure::Cents, 1234550, {}},
                          {QStringLiteral("最久未报"), DayEndFigure::Text, 0, QStringLiteral("37 秒")}};
    day.values.states = {{QStringLiteral("全部成交"), 1}, {QStringLiteral("已撤"), 1}, {QStringLiteral("废单"), 1}};
    day.values.rejections = {{231, QStringLiteral("余额不足"), 1}, {0, QString(), 2}};
    day.orders.push_back(order(1, "R1", "000001", 1000, 10500, "全部成交", 1000, 1234550, 12346));
    day.orders.push_back(order(2, "R2", "600000", 500, 9990, "已撤", 0, 0, -1));
    day.orders.back().cancelled = 500;
    day.orders.back().note = QStringLiteral("撤单记录 4");
    OrderFixture cancel = order(4, "C4", "600000", 0, -1, "撤单成功", 0, 0, -1);
    cancel.cancel = true;
    cancel.cancelled = 500;
    cancel.note = QStringLiteral("撤销记录 2");
    day.orders.push_back(cancel);
    day.orders.push_back(order(3, "R3", "600000", 100, 9000, "废单", 0, 0, -1));
    day.orders.back().code = 231;
    day.orders.back().note = QStringLiteral("余额不足");
    day.open.push_back(order(5, "R5", "600000", 100, 9000, "未报", 0, 0, -1));
    day.open.back().note = QStringLiteral("已等待 37 秒");
    day.trades = {{"A123456789", "000001", "B", 2, 1000, 1234550}, {"A123456789", "600000", "S", 1, 100, 99999999999999}};
    day.findings = {{QStringLiteral("废单"), 3, QStringLiteral("R3"), QStringLiteral("A123456789"), QStringLiteral("600000"),
                     QStringLiteral("09:30:03"), 231, QStringLiteral("余额不足")},
                    {QStringLiteral("成交无对应委托"), 0, QStringLiteral("ZZ"), QStringLiteral("A123456789"),
                     QStringLiteral("600000"), QStringLiteral("09:31:00"), 0, QStringLiteral("找不到申请编号相同的委托")}};
    return day;
}

QJsonObject cellAt(const QJsonArray &rows, int row, int column)
{
    return rows.at(row).toArray().at(column).toObject();
}

// A cell as "type:value", numbers as the shortest text that reads back.
QString cell(const QJsonArray &rows, int row, int column)
{
    const QJsonObject value = cellAt(rows, row, column);
    const QJsonValue v = value.value("v");
    const QString text = v.isDouble() ? QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest) : v.toString();
    return value.value("t").toString() + ":" + (v.isNull() ? QStringLiteral("null") : text);
}

QStringList rowTexts(const QJsonArray &rows, int row)
{
    QStringList cells;
    const QJsonArray r = rows.at(row).toArray();
    for (int c = 0; c < r.size(); ++c)
        cells << cell(rows, row, c);
    while (!cells.isEmpty() && cells.last() == QStringLiteral("n:null"))
        cells.removeLast();
    return cells;
}

// The row of a sheet whose first cell is this text; -1 when none.
int rowStarting(const QJsonArray &rows, const QString &first)
{
    for (int r = 0; r < rows.size(); ++r)
        if (cellAt(rows, r, 0).value("v").toString() == first)
            return r;
    return -1;
}

QJsonObject sheetNamed(const QJsonArray &sheets, const QString &title)
{
    for (const QJsonValue &sheet : sheets)
        if (sheet.toObject().value("title").toString() == title)
            return sheet.toObject();
    return {};
}

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

} // namespace

class DayEndBookTest : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir *dir = nullptr;
    QString target(const QString &name) const { return dir->filePath(name); }

    QString writeError(DayEndSource &day, const QString &path, const std::vector<DayEndAlarm> &alarms = {},
                       const ExportOptions &options = {})
    {
        CommandControl control;
        try {
            writeDayEndBook(day, alarms, path, control, options);
        } catch (const DatabaseError &error) {
            return error.message();
        }
        return QStringLiteral("<no error>");
    }

private slots:
    void init()
    {
        delete dir;
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }
    void cleanupTestCase() { delete dir; }

    void ordersSheetKeepsCodesAsTextAndAmountsAsNumbers()
    {
        FixedDay day = smallDay();
        const QString path = target("day.xlsx");
        CommandControl control;
        writeDayEndBook(day, {}, path, control);
        QCOMPARE(filesIn(dir->path()), QStringList{"day.xlsx"});
        QVERIFY(control.rows() > qint64(day.orders.size()));
        const QJsonArray sheets = readWorkbook(path);
        QStringList titles;
        for (const QJsonValue &s : sheets)
            titles << s.toObject().value("title").toString();
        QCOMPARE(titles, (QStringList{"汇总", "委托", "成交汇总", "异常"}));

        const QJsonObject orders = sheetNamed(sheets, "委托");
        const QJsonArray rows = orders.value("rows").toArray();
        QCOMPARE(rows.size(), 5);
        QCOMPARE(rowTexts(rows, 0),
                 (QStringList{"s:记录编号", "s:申请编号", "s:股东帐号", "s:证券代码", "s:买卖", "s:委托数量",
                              "s:委托价格", "s:时间", "s:最终状态", "s:成交数量", "s:成交金额", "s:成交均价",
                              "s:撤单数量", "s:返回码", "s:说明"}));
        QVERIFY(orders.value("bold").toBool());
        QCOMPARE(orders.value("freeze").toString(), QStringLiteral("A2"));
        QCOMPARE(orders.value("filter").toString(), QStringLiteral("A1:O5"));
        QCOMPARE(rowTexts(rows, 1), (QStringList{"n:1", "s:R1", "s:A123456789", "s:000001", "s:B", "n:1000", "n:10.5",
                                                 "s:09:30:01", "s:全部成交", "n:1000", "n:12345.5", "n:12.346"}));
        QCOMPARE(cellAt(rows, 1, 6).value("f").toString(), QStringLiteral("0.000"));
        QCOMPARE(cellAt(rows, 1, 10).value("f").toString(), QStringLiteral("0.00"));
        QCOMPARE(cellAt(rows, 1, 11).value("f").toString(), QStringLiteral("0.000"));
        QCOMPARE(rowTexts(rows, 2), (QStringList{"n:2", "s:R2", "s:A123456789", "s:600000", "s:B", "n:500", "n:9.99",
                                                 "s:09:30:02", "s:已撤", "n:0", "n:0", "n:null", "n:500", "n:null",
                                                 "s:撤单记录 4"}));
        // The cancel beside its order: no trade columns, no price.
        QCOMPARE(rowTexts(rows, 3), (QStringList{"n:4", "s:C4", "s:A123456789", "s:600000", "s:B", "n:0", "n:null",
                                                 "s:09:30:04", "s:撤单成功", "n:null", "n:null", "n:null", "n:500",
                                                 "n:null", "s:撤销记录 2"}));
        QCOMPARE(cell(rows, 4, 13), QStringLiteral("s:231")); // a code stays text
        QCOMPARE(cell(rows, 4, 14), QStringLiteral("s:余额不足"));
        // Fitted: the note is wider than its caption, the code no wider than needed.
        const QJsonArray widths = orders.value("widths").toArray();
        QVERIFY(widths.at(14).toDouble() >= 11);
        QVERIFY(widths.at(13).toDouble() < widths.at(14).toDouble());
    }

    void tradesAndFindingsSheets()
    {
        FixedDay day = smallDay();
        const QString path = target("day.xlsx");
        QCOMPARE(writeError(day, path), QStringLiteral("<no error>"));
        const QJsonArray sheets = readWorkbook(path);
        const QJsonObject trades = sheetNamed(sheets, "成交汇总");
        const QJsonArray rows = trades.value("rows").toArray();
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rowTexts(rows, 0), (QStringList{"s:股东帐号", "s:证券代码", "s:买卖", "s:笔数", "s:成交数量", "s:成交金额"}));
        QCOMPARE(rowTexts(rows, 2), (QStringList{"s:A123456789", "s:600000", "s:S", "n:1", "n:100", "n:999999999999.99"}));
        // The total row lies below the filtered rows, bold, added in cents.
        QCOMPARE(trades.value("filter").toString(), QStringLiteral("A1:F3"));
        QCOMPARE(rowTexts(rows, 3), (QStringList{"s:合计", "n:null", "n:null", "n:3", "n:1100", "n:1000000012345.49"}));
        QVERIFY(cellAt(rows, 3, 5).value("b").toBool());
        QCOMPARE(cellAt(rows, 3, 5).value("f").toString(), QStringLiteral("0.00"));

        const QJsonArray findings = sheetNamed(sheets, "异常").value("rows").toArray();
        QCOMPARE(rowTexts(findings, 0),
                 (QStringList{"s:类别", "s:记录编号", "s:申请编号", "s:股东帐号", "s:证券代码", "s:时间", "s:返回码", "s:说明"}));
        QCOMPARE(rowTexts(findings, 1), (QStringList{"s:废单", "n:3", "s:R3", "s:A123456789", "s:600000", "s:09:30:03",
                                                     "s:231", "s:余额不足"}));
        QCOMPARE(rowTexts(findings, 2), (QStringList{"s:成交无对应委托", "n:null", "s:ZZ", "s:A123456789", "s:600000",
                                                     "s:09:31:00", "n:null", "s:找不到申请编号相同的委托"}));
    }

    void summaryHasFiguresRejectionsOpenOrdersAndAlarms()
    {
        FixedDay day = smallDay();
        DayEndAlarm acknowledged{QDateTime(QDate(2026, 12, 9), QTime(10, 1, 2)), QStringLiteral("未报超时"),
                                 QStringLiteral("记录 5 已 37 秒未被网关取走"),
                                 QDateTime(QDate(2026, 12, 9), QTime(10, 2, 0)), QStringLiteral("张三"),
                                 QDateTime(QDate(2026, 12, 9), QTime(10, 3, 0))};
        DayEndAlarm standing{QDateTime(QDate(2026, 12, 9), QTime(14, 0)), QStringLiteral("记录编号不连续"),
                             QStringLiteral("缺记录 7"), {}, {}, {}};
        const QString path = target("day.xlsx");
        QCOMPARE(writeError(day, path, {acknowledged, standing}), QStringLiteral("<no error>"));
        const QJsonArray rows = sheetNamed(readWorkbook(path), "汇总").value("rows").toArray();
        QCOMPARE(rowTexts(rows, 0), QStringList{"s:日终核对"});
        QVERIFY(cellAt(rows, 0, 0).value("b").toBool());
        QCOMPARE(rowTexts(rows, 1), (QStringList{"s:数据库", "s:OIW"}));
        QCOMPARE(rowTexts(rows, 2), (QStringList{"s:核对时间", "s:2026-12-09 15:00:02"}));

        const int figures = rowStarting(rows, "项目");
        QVERIFY(figures > 0);
        QCOMPARE(rowTexts(rows, figures + 1), (QStringList{"s:委托", "n:3"}));
        QCOMPARE(rowTexts(rows, figures + 2), (QStringList{"s:成交金额", "n:12345.5"}));
        QCOMPARE(cellAt(rows, figures + 2, 1).value("f").toString(), QStringLiteral("0.00"));
        QCOMPARE(rowTexts(rows, figures + 3), (QStringList{"s:最久未报", "s:37 秒"}));

        const int states = rowStarting(rows, "最终状态");
        QVERIFY(states > figures);
        QCOMPARE(rowTexts(rows, states + 1), (QStringList{"s:全部成交", "n:1"}));

        const int rejections = rowStarting(rows, "返回码");
        QVERIFY(rejections > states);
        QCOMPARE(rowTexts(rows, rejections + 1), (QStringList{"s:231", "s:余额不足", "n:1"}));
        QCOMPARE(rowTexts(rows, rejections + 2), (QStringList{"s:无", "n:null", "n:2"}));

        const int open = rowStarting(rows, "记录编号");
        QVERIFY(open > rejections);
        QCOMPARE(rowTexts(rows, open + 1), (QStringList{"n:5", "s:R5", "s:A123456789", "s:600000", "s:B", "n:100",
                                                        "s:09:30:05", "s:未报", "s:已等待 37 秒"}));

        const int alarms = rowStarting(rows, "报警时间");
        QVERIFY(alarms > open);
        QCOMPARE(rowTexts(rows, alarms),
                 (QStringList{"s:报警时间", "s:类别", "s:说明", "s:确认时间", "s:确认人", "s:解除时间"}));
        QCOMPARE(rowTexts(rows, alarms + 1),
                 (QStringList{"s:2026-12-09 10:01:02", "s:未报超时", "s:记录 5 已 37 秒未被网关取走",
                              "s:2026-12-09 10:02:00", "s:张三", "s:2026-12-09 10:03:00"}));
        QCOMPARE(rowTexts(rows, alarms + 2),
                 (QStringList{"s:2026-12-09 14:00:00", "s:记录编号不连续", "s:缺记录 7"}));
        QCOMPARE(rows.size(), alarms + 3);
    }

    // Empty lists say so; an empty day still gives all four sheets.
    void emptyDaySaysNone()
    {
        FixedDay day;
        const QString path = target("empty.xlsx");
        QCOMPARE(writeError(day, path), QStringLiteral("<no error>"));
        const QJsonArray sheets = readWorkbook(path);
        QCOMPARE(sheets.size(), 4);
        const QJsonArray summary = sheetNamed(sheets, "汇总").value("rows").toArray();
        for (const char *section : {"返回码", "记录编号", "报警时间"}) {
            const int row = rowStarting(summary, section);
            QVERIFY2(row > 0, section);
            QCOMPARE(rowTexts(summary, row + 1), QStringList{"s:无"});
        }
        const QJsonObject trades = sheetNamed(sheets, "成交汇总");
        QCOMPARE(trades.value("filter").toString(), QStringLiteral("A1:F1"));
        QCOMPARE(rowTexts(trades.value("rows").toArray(), 1), (QStringList{"s:合计", "n:null", "n:null", "n:0", "n:0", "n:0"}));
    }

    // Many amounts whose sum a floating-point total would miss: each cell
    // and the total read back as the exact decimal.
    void amountsAndTotalsExactToTheCent()
    {
        FixedDay day;
        qint64 expected = 0;
        for (int i = 0; i < 3000; ++i) {
            const qint64 cents = 10 + (i % 7) * 20 + (i % 3 == 0 ? 999999999 : 0);
            day.trades.push_back({"A" + QByteArray::number(100000000 + i), "600000", "B", 1, 100, cents});
            expected += cents;
        }
        double floating = 0;
        for (const TradeFixture &t : day.trades)
            floating += double(t.cents) / 100.0;
        QVERIFY(floating != double(expected) / 100.0); // the trap is real
        const QString path = target("amounts.xlsx");
        QCOMPARE(writeError(day, path), QStringLiteral("<no error>"));
        const QJsonArray rows = sheetNamed(readWorkbook(path), "成交汇总").value("rows").toArray();
        QCOMPARE(rows.size(), 3002);
        for (int i = 0; i < 3000; ++i)
            QCOMPARE(cellAt(rows, i + 1, 5).value("v").toDouble(), double(day.trades[std::size_t(i)].cents) / 100.0);
        QCOMPARE(cellAt(rows, 3001, 5).value("v").toDouble(), double(expected) / 100.0);
        QCOMPARE(QString::number(cellAt(rows, 3001, 5).value("v").toDouble(), 'f', 2),
                 QStringLiteral("%1.%2").arg(expected / 100).arg(expected % 100, 2, 10, QChar(u'0')));
    }

    void longListsGoOnInAnotherSheet()
    {
        FixedDay day = smallDay();
        ExportOptions options;
        options.sheetRows = 3;
        const QString path = target("split.xlsx");
        QCOMPARE(writeError(day, path, {}, options), QStringLiteral("<no error>"));
        const QJsonArray sheets = readWorkbook(path);
        QStringList titles;
        for (const QJsonValue &s : sheets)
            titles << s.toObject().value("title").toString();
        QCOMPARE(titles, (QStringList{"汇总", "委托", "委托(2)", "成交汇总", "异常"}));
        const QJsonObject second = sheets.at(2).toObject();
        QCOMPARE(second.value("filter").toString(), QStringLiteral("A1:O2"));
        QCOMPARE(second.value("freeze").toString(), QStringLiteral("A2"));
        const QJsonArray rows = second.value("rows").toArray();
        QCOMPARE(cell(rows, 0, 0), QStringLiteral("s:记录编号"));
        QCOMPARE(cell(rows, 1, 0), QStringLiteral("n:3"));
    }

    void openOrdersStopAtTheirLimit()
    {
        FixedDay day;
        for (int i = 0; i < MaxOpenLines + 2; ++i)
            day.open.push_back(order(i + 1, "R", "600000", 100, 1000, "已报未确认", 0, 0, -1));
        day.openRows = MaxOpenLines + 2;
        const QString path = target("open.xlsx");
        QCOMPARE(writeError(day, path), QStringLiteral("<no error>"));
        const QJsonArray rows = sheetNamed(readWorkbook(path), "汇总").value("rows").toArray();
        const int open = rowStarting(rows, "记录编号");
        QCOMPARE(cell(rows, open + int(MaxOpenLines), 0), QStringLiteral("n:%1").arg(MaxOpenLines));
        QCOMPARE(cell(rows, open + int(MaxOpenLines) + 1, 0),
                 QStringLiteral("s:另有 2 笔未列出，见「委托」表的最终状态"));
    }

    // A cancel in the middle of a long list ends the write at once.
    void cancelWhileWritingStopsThere()
    {
        FixedDay day;
        for (int i = 0; i < 200000; ++i)
            day.orders.push_back(order(i + 1, "R", "600000", 100, 1000, "全部成交", 100, 10000, 1000));
        CommandControl control;
        std::thread canceller([&control] {
            while (control.rows() < 20 * 1024)
                std::this_thread::yield();
            control.requestCancel();
        });
        const QString path = target("big.xlsx");
        QVERIFY_THROWS_EXCEPTION(OperationCancelled, writeDayEndBook(day, {}, path, control));
        canceller.join();
        QVERIFY2(control.rows() < 100000, qPrintable(QString::number(control.rows())));
        QCOMPARE(filesIn(dir->path()), QStringList());
    }

    void failureSaysWhyAndLeavesNothing()
    {
        FixedDay day = smallDay();
        const QString missing = target("missing/day.xlsx");
        const QString error = writeError(day, missing);
        QVERIFY2(error.contains(QDir::toNativeSeparators(missing)), qPrintable(error));
        QVERIFY(QDir(dir->path()).mkdir("taken"));
        QVERIFY2(writeError(day, target("taken")).contains(QDir::toNativeSeparators(target("taken"))),
                 qPrintable(writeError(day, target("taken"))));
        QCOMPARE(filesIn(dir->path()), QStringList());
        QVERIFY(QFileInfo(target("taken")).isDir());
    }

    // The disk filling while the rows go to the writer's temporary files,
    // or while the workbook is assembled: the reason, and nothing left.
    void cutWriteSaysWhyAndLeavesNothing_data()
    {
        QTest::addColumn<double>("share");
        QTest::newRow("tenth") << 0.1;
        QTest::newRow("half") << 0.5;
        QTest::newRow("nearly whole") << 0.95;
    }

    void cutWriteSaysWhyAndLeavesNothing()
    {
#ifndef Q_OS_UNIX
        QSKIP("file-size limits are a POSIX feature");
#else
        QFETCH(double, share);
        FixedDay day;
        for (int i = 0; i < 20000; ++i)
            day.orders.push_back(order(i + 1, "R", "600000", 100, 1000, "全部成交", 100, 10000, 1000));
        const QString whole = target("whole.xlsx");
        QCOMPARE(writeError(day, whole), QStringLiteral("<no error>"));
        const qint64 size = zipMemberSize(whole, "xl/worksheets/sheet2.xml");
        QVERIFY(size > 100000);
        QVERIFY(QFile::remove(whole));
        const QString path = target("cut.xlsx");
        QString error;
        {
            const FileSizeLimit limit(rlim_t(double(size) * share));
            error = writeError(day, path);
        }
        QVERIFY2(error.contains(systemReason(EFBIG)), qPrintable(error));
        QCOMPARE(filesIn(dir->path()), QStringList());
#endif
    }

    void fullDiskIsNamed()
    {
#ifndef Q_OS_UNIX
        QSKIP("mounting a small disk needs a POSIX system");
#else
        if (geteuid() != 0)
            QSKIP("mounting a small disk needs root");
        const QString folder = target("disk");
        QVERIFY(QDir().mkpath(folder));
        SmallDisk disk(folder, 64);
        if (!disk.mounted())
            QSKIP("no small disk could be mounted");
        FixedDay day;
        for (int i = 0; i < 20000; ++i)
            day.orders.push_back(order(i + 1, "R", "600000", 100, 1000, "全部成交", 100, 10000, 1000));
        const QString error = writeError(day, folder + "/day.xlsx");
        QVERIFY2(error.contains(QStringLiteral("磁盘空间不足")), qPrintable(error));
        QCOMPARE(filesIn(folder), QStringList());
        QVERIFY(disk.unmount());
#endif
    }

    void fileNameOfTheDay_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("name");
        QTest::newRow("database") << "OIW" << "日终核对_20261209_OIW.xlsx";
        QTest::newRow("none") << "" << "日终核对_20261209.xlsx";
        QTest::newRow("blanks") << "  OIW " << "日终核对_20261209_OIW.xlsx";
        QTest::newRow("not in a file name") << "a/b:c*d?\"<>|\\" << "日终核对_20261209_a_b_c_d______.xlsx";
        QTest::newRow("chinese") << "报盘库" << "日终核对_20261209_报盘库.xlsx";
    }

    void fileNameOfTheDay()
    {
        QFETCH(QString, database);
        QFETCH(QString, name);
        QCOMPARE(dayEndFileName(QDate(2026, 12, 9), database), name);
    }
};

SQLTOOL_CORE_TEST_MAIN(DayEndBookTest)
#include "tst_dayendbook.moc"
