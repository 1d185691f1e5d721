// 日终核对 from the monitor on a real SQLite file through ODBC: a day of
// the gateway stand-in with hand-made rows giving one order of each final
// state, written through the button and read back by openpyxl against SQL
// of the test's own; the context menu entry; the progress window's cancel
// and a failed read, each leaving the target as it was.

#include "support/exportreader.h"
#include "support/testsupport.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "monitortestsupport.h"
#include "ui/command.h"

#include <QAction>
#include <QFileDialog>
#include <QJsonObject>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>

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

// The hand-made orders after the stand-in's rows: reff → the state it must
// end in, with its fills, amount in cents, cancelled quantity and code.
struct Expected
{
    QString reff;
    QString state;
    qint64 traded;
    qint64 cents;
    qint64 cancelled;
    QString code;
};

const QList<Expected> HandMade = {
    {"HU", "未报", 0, 0, 0, ""},
    {"HP", "已报未确认", 0, 0, 0, ""},
    {"HF", "废单", 0, 0, 0, "231"},
    {"HO", "已确认未成交", 0, 0, 0, ""},
    {"HT", "部分成交", 200, 209600, 0, ""},
    {"HA", "全部成交", 1000, 1048800, 0, ""},
    {"HX", "部成部撤", 300, 299700, 500, ""},
    {"HC", "已撤", 0, 0, 400, ""},
};

// Plants the hand-made rows after the largest keys the stand-in left: one
// order of each final state, two accepted cancels and a refused one.
void plantHandMadeDay()
{
    const int b = int(count("select coalesce(max(rec_num), 0) from ashare_ordwth")) + 1;
    int c = int(count("select coalesce(max(rec_num), 0) from ashare_ordwth2")) + 1;
    const int t = int(count("select coalesce(max(cast(cjbh as integer)), 0) from ashare_cjhb")) + 1;
    exec(order(b, "HU", "R", 100, 1));
    exec(order(b + 1, "HP", "P", 100, 1));
    exec(order(b + 2, "HF", "P", 100, 3));
    exec(order(b + 3, "HO", "P", 300, 3));
    exec(order(b + 4, "HT", "P", 500, 3));
    exec(order(b + 5, "HA", "P", 1000, 3));
    exec(order(b + 6, "HX", "P", 800, 3));
    exec(order(b + 7, "HC", "P", 400, 3));
    exec(order(b + 8, "K1", "P", 0, 2, "WTH", b + 6));
    exec(order(b + 9, "K2", "P", 0, 2, "WTH", b + 7));
    exec(order(b + 10, "K3", "P", 0, 2, "WTH", b + 5));
    exec(confirmation(c++, "HF", "F", "231余额不足", 2));
    for (const char *reff : {"HO", "HT", "HA", "HX", "HC"})
        exec(confirmation(c++, QString::fromLatin1(reff), "O", "0", 2));
    exec(confirmation(c++, "K1", "W", "0", 1, "WTH", b + 6, 500));
    exec(confirmation(c++, "K2", "W", "0", 1, "WTH", b + 7, 400));
    exec(confirmation(c++, "K3", "F", "411申报已成交", 1, "WTH", b + 5));
    exec(trade(t, "HT", 200, "10.480", "2096.00", 2));
    exec(trade(t + 1, "HA", 600, "10.480", "6288.00", 2));
    exec(trade(t + 2, "HA", 400, "10.500", "4200.00", 2));
    exec(trade(t + 3, "HX", 300, "9.990", "2997.00", 2));
}

QJsonObject sheetNamed(const QJsonArray &sheets, const QString &title)
{
    for (const QJsonValue &sheet : sheets)
        if (sheet.toObject().value("title").toString() == title)
            return sheet.toObject();
    return {};
}

// A cell as text: numbers as the shortest text that reads back, empty for
// an empty cell.
QString text(const QJsonArray &rows, int row, int column)
{
    const QJsonValue v = rows.at(row).toArray().at(column).toObject().value("v");
    return v.isDouble() ? QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest) : v.toString();
}

// Cents of an amount cell, exact for the two decimals written.
qint64 cents(const QJsonArray &rows, int row, int column)
{
    return qRound64(rows.at(row).toArray().at(column).toObject().value("v").toDouble() * 100);
}

// Answers the save dialog with `path` (or cancels it when empty) and Qt's
// question whether to replace it with yes, records what the dialog offered,
// and closes every other box.
struct Answers
{
    QString offeredName;
    QString offeredFolder;
    QString dialogName;
};

ModalWatcher::Handler saveAs(const QString &path, Answers &answers)
{
    return [path, &answers](QWidget *modal, const ModalRecord &) {
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            answers.dialogName = dialog->objectName();
            answers.offeredName = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            answers.offeredFolder = dialog->directory().absolutePath();
            if (path.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->selectFile(path);
            QTimer::singleShot(0, dialog, [dialog] { QMetaObject::invokeMethod(dialog, "accept"); });
        } else if (auto *question = qobject_cast<QMessageBox *>(modal); question && modal->parentWidget()) {
            pressButton(modal, question->button(QMessageBox::Yes)->text()); // Qt's own: replace the file
        } else {
            closeModal(modal);
        }
    };
}

// Presses "取消" in the command's progress window once it shows.
class Canceller : public QObject
{
public:
    Canceller() { startTimer(10); }
    bool pressed = false;

protected:
    void timerEvent(QTimerEvent *) override
    {
        QProgressDialog *window = commandProgressWindow();
        if (!window || pressed)
            return;
        if (auto *button = window->findChild<QPushButton *>()) {
            pressed = true;
            button->click();
        }
    }
};

} // namespace

class TestMonitorDayEnd : public QObject
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

    void workbookHoldsEachOrdersStateAndTheServersSums();
    void contextMenuOffersTheSameInTheLastFolder();
    void summaryListsTheDaysAlarms();
    void cancelInTheProgressWindowLeavesNoFile();
    void failedWriteSaysWhyAndLeavesNoFile();
};

void TestMonitorDayEnd::workbookHoldsEachOrdersStateAndTheServersSums()
{
    gateway::Options day = standInDay(QStringLiteral("sse"), 80);
    day.faults.rejectBurst = 10;
    day.faults.rejectCount = 2;
    runStandIn(day);
    plantHandMadeDay();
    Forms forms;
    logIn();
    monitorform->show();
    child<QSpinBox>(monitorform, "TimeoutSpin")->setValue(60); // no time-outs: the findings stay as they are
    QVERIFY(refreshMonitor());

    QTemporaryDir dir;
    const QString path = dir.filePath("day.xlsx");
    Answers answers;
    ModalWatcher boxes(saveAs(path, answers));
    QSignalSpy refreshed(monitorform, &Tmonitorform::refreshed);
    child<QPushButton>(monitorform, "DayEndButton")->click();
    QCOMPARE(answers.dialogName, QStringLiteral("DayEndDialog"));
    QCOMPARE(answers.offeredName, QStringLiteral("日终核对_%1_%2.xlsx")
                                      .arg(QDate::currentDate().toString("yyyyMMdd"), datamod->con->defaultDatabase()));
    QCOMPARE(boxes.records.size(), 2);
    QCOMPARE(boxes.records[1].text, QStringLiteral("已写出日终核对到文件：\n") + QDir::toNativeSeparators(path));
    QCOMPARE(filesIn(dir.path()), QStringList{"day.xlsx"});

    const QJsonArray sheets = readWorkbook(path);
    const QJsonArray orders = sheetNamed(sheets, "委托").value("rows").toArray();
    QCOMPARE(orders.size() - 1, count("select count(*) from ashare_ordwth"));
    QMap<QString, int> rowOf;
    QMap<QString, qint64> states;
    for (int r = 1; r < orders.size(); ++r) {
        rowOf[text(orders, r, 1)] = r;
        ++states[text(orders, r, 8)];
    }
    // Each hand-made order: its state, fills, amount, cancelled quantity, code.
    for (const Expected &e : HandMade) {
        QVERIFY2(rowOf.contains(e.reff), qPrintable(e.reff));
        const int r = rowOf[e.reff];
        QCOMPARE(text(orders, r, 8), e.state);
        QCOMPARE(text(orders, r, 9), QString::number(e.traded));
        QCOMPARE(cents(orders, r, 10), e.cents);
        QCOMPARE(text(orders, r, 12), e.cancelled > 0 ? QString::number(e.cancelled) : QString());
        QCOMPARE(text(orders, r, 13), e.code);
    }
    QCOMPARE(text(orders, rowOf["HA"], 11), QStringLiteral("10.488")); // average price
    QCOMPARE(text(orders, rowOf["HA"] + 1, 1), QStringLiteral("K3"));  // its cancel beside it
    QCOMPARE(text(orders, rowOf["K3"], 8), QStringLiteral("撤单失败"));
    QCOMPARE(text(orders, rowOf["K1"], 8), QStringLiteral("撤单成功"));
    QCOMPARE(text(orders, rowOf["K1"], 12), QStringLiteral("500"));

    // Every order's fills and amount against the trades the server sums per reff.
    QStringList sheetFills, sqlFills;
    for (int r = 1; r < orders.size(); ++r)
        if (!text(orders, r, 9).isEmpty())
            sheetFills << text(orders, r, 1) + u' ' + text(orders, r, 9) + u' ' + QString::number(cents(orders, r, 10));
    sqlFills = sqliteColumn(databasePath(),
                            "select o.reff || ' ' || coalesce(sum(t.cjsl), 0) || ' ' || "
                            "coalesce(sum(cast(round(t.cjje * 100) as integer)), 0) from ashare_ordwth o "
                            "left join ashare_cjhb t on t.sqbh = o.reff where upper(o.owflag) <> 'WTH' "
                            "group by o.rec_num, o.reff");
    sheetFills.sort();
    sqlFills.sort();
    QCOMPARE(sheetFills, sqlFills);

    // Counts of states against SQL of their own.
    QCOMPARE(states.value("未报"), count("select count(*) from ashare_ordwth where status in ('R', 'r')"));
    QCOMPARE(states.value("废单"),
             count("select count(*) from ashare_ordwth o where upper(o.owflag) <> 'WTH' and exists (select 1 from "
                   "ashare_ordwth2 c where c.reff = o.reff and upper(c.owflag) <> 'WTH' and c.status in ('F', 'E', '?'))"));
    QCOMPARE(states.value("撤单成功"), count("select count(*) from ashare_ordwth2 where status = 'W'"));
    QCOMPARE(states.value("撤单成功") + states.value("撤单失败"),
             count("select count(*) from ashare_ordwth where upper(owflag) = 'WTH'"));
    for (const Expected &e : HandMade)
        QVERIFY2(states.value(e.state) >= 1, qPrintable(e.state));

    // The trade totals are the server's own sums.
    const QJsonArray trades = sheetNamed(sheets, "成交汇总").value("rows").toArray();
    const int total = trades.size() - 1;
    QCOMPARE(text(trades, total, 0), QStringLiteral("合计"));
    QCOMPARE(text(trades, total, 3), QString::number(count("select count(*) from ashare_cjhb")));
    QCOMPARE(text(trades, total, 4), QString::number(count("select sum(cjsl) from ashare_cjhb")));
    QCOMPARE(cents(trades, total, 5), count("select sum(cast(round(cjje * 100) as integer)) from ashare_cjhb"));
    QCOMPARE(QString::number(trades.at(total).toArray().at(5).toObject().value("v").toDouble(), 'f', 2),
             sqliteColumn(databasePath(), "select printf('%.2f', sum(cjje)) from ashare_cjhb").value(0));
    qint64 groups = 0;
    for (int r = 1; r < total; ++r)
        groups += cents(trades, r, 5);
    QCOMPARE(groups, cents(trades, total, 5));

    // 汇总: the states as counted in 委托, the figure of the traded amount.
    const QJsonArray summary = sheetNamed(sheets, "汇总").value("rows").toArray();
    QMap<QString, QString> firstTwo;
    for (int r = 0; r < summary.size(); ++r)
        firstTwo.insert(text(summary, r, 0), text(summary, r, 1));
    for (auto it = states.cbegin(); it != states.cend(); ++it)
        QCOMPARE(firstTwo.value(it.key()), QString::number(it.value()));
    QCOMPARE(qRound64(firstTwo.value("成交金额").toDouble() * 100), cents(trades, total, 5));
    QCOMPARE(firstTwo.value("231"), QStringLiteral("余额不足"));

    // 异常: as the monitor's grid shows its findings after the write.
    QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && !monitorform->refreshing(), 20000);
    const QJsonArray findings = sheetNamed(sheets, "异常").value("rows").toArray();
    const FindingsModel *grid = monitorform->findings();
    QVERIFY(grid->rowCount() >= 4); // the burst, the hand-made rejection and refused cancel
    QCOMPARE(findings.size() - 1, grid->rowCount());
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            QCOMPARE(text(findings, r + 1, c), grid->index(r, c).data().toString());
    for (int c = 0; c < grid->columnCount(); ++c)
        QCOMPARE(text(findings, 0, c), grid->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString());
}

void TestMonitorDayEnd::contextMenuOffersTheSameInTheLastFolder()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    QTemporaryDir dir;
    {
        Answers answers;
        ModalWatcher boxes(saveAs(dir.filePath("first.xlsx"), answers));
        child<QPushButton>(monitorform, "DayEndButton")->click();
        QCOMPARE(filesIn(dir.path()), QStringList{"first.xlsx"});
    }
    auto *entry = child<QAction>(monitorform, "DayEndAction");
    QVERIFY(monitorform->actions().contains(entry));
    QCOMPARE(monitorform->contextMenuPolicy(), Qt::ActionsContextMenu);
    QCOMPARE(entry->text(), QStringLiteral("日终核对..."));
    Answers answers;
    ModalWatcher boxes(saveAs(QString(), answers));
    entry->trigger();
    QCOMPARE(answers.offeredFolder, QFileInfo(dir.path()).absoluteFilePath());
    QVERIFY(answers.offeredName.startsWith(QStringLiteral("日终核对_")));
    QCOMPARE(boxes.records.size(), 1); // the dialog, cancelled: nothing written, nothing said
    QCOMPARE(filesIn(dir.path()), QStringList{"first.xlsx"});
}

void TestMonitorDayEnd::summaryListsTheDaysAlarms()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 1)); // a gap at 4
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    child<QPushButton>(monitorform, "AckButton")->click();
    QTemporaryDir dir;
    const QString path = dir.filePath("day.xlsx");
    Answers answers;
    ModalWatcher boxes(saveAs(path, answers));
    child<QPushButton>(monitorform, "DayEndButton")->click();
    const QJsonArray summary = sheetNamed(readWorkbook(path), "汇总").value("rows").toArray();
    // The gap's alarm, acknowledged, still active.
    QStringList alarms;
    for (int r = 0; r < summary.size(); ++r)
        if (text(summary, r, 1) == QStringLiteral("记录编号不连续"))
            alarms << QStringList{text(summary, r, 2), text(summary, r, 4), text(summary, r, 5)}.join(u'|');
    QCOMPARE(alarms, QStringList{QStringLiteral("缺 4|qtrl|")});
}

void TestMonitorDayEnd::cancelInTheProgressWindowLeavesNoFile()
{
    generateDatabase(databasePath(), 200000, 5, 200000);
    Forms forms;
    logIn();
    monitorform->show();
    QSignalSpy refreshed(monitorform, &Tmonitorform::refreshed);
    QVERIFY(refreshed.wait(60000));
    QTemporaryDir dir;
    const QString path = dir.filePath("big.xlsx");
    writeFile(path, "old content");
    Answers answers;
    ModalWatcher boxes(saveAs(path, answers));
    Canceller canceller;
    child<QPushButton>(monitorform, "DayEndButton")->click();
    QVERIFY(canceller.pressed);
    QCOMPARE(boxes.records.size(), 3); // the dialog, Qt's question to replace the file, the box
    QCOMPARE(boxes.records[2].text, errorBoxText(QStringLiteral("操作已取消")));
    QTRY_COMPARE_WITH_TIMEOUT(filesIn(dir.path()), QStringList{"big.xlsx"}, 10000);
    QCOMPARE(readFile(path), QByteArray("old content"));
}

// The database gone between the last refresh and the write: the write
// reads what is new first, fails with the driver's reason and writes nothing.
void TestMonitorDayEnd::failedWriteSaysWhyAndLeavesNoFile()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    monitorform->show();
    QVERIFY(refreshMonitor());
    exec("alter table ashare_cjhb rename to cjhb_away");
    QTemporaryDir dir;
    const QString path = dir.filePath("day.xlsx");
    writeFile(path, "old content");
    Answers answers;
    ModalWatcher boxes(saveAs(path, answers));
    child<QPushButton>(monitorform, "DayEndButton")->click();
    QCOMPARE(boxes.records.size(), 3); // the dialog, Qt's question to replace the file, the box
    QVERIFY2(boxes.records[2].text.contains(QStringLiteral("ashare_cjhb")), qPrintable(boxes.records[2].text));
    QCOMPARE(boxes.records[2].icon, int(QMessageBox::Critical));
    QCOMPARE(filesIn(dir.path()), QStringList{"day.xlsx"});
    QCOMPARE(readFile(path), QByteArray("old content"));
}

SQLTOOL_TEST_MAIN(TestMonitorDayEnd)
#include "tst_monitordayend.moc"
