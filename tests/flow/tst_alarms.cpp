// The alarms of a watched database as tables: what each refresh found and
// how the database answered in, alarms raised and cleared out, as the day's
// log file (a real file in the run's private data folder) records them; the
// log read back after a restart. (A book following a real watch is tested
// with the monitor's window.)

#include "support/exportreader.h"
#include "support/testcore.h"

#include "flow/alarmbook.h"
#include "flow/flowtext.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest/QtTest>

using namespace flow;
using namespace testsupport;

namespace {

const QString Database = QStringLiteral("sse/OIW");

QDateTime todayAt(const QString &clock)
{
    return QDateTime(QDate::currentDate(), QTime::fromString(clock, QStringLiteral("HH:mm:ss")));
}

qint64 stampOf(const QDateTime &time)
{
    const QDate d = time.date();
    return timeStamp(d.year() * 10000 + d.month() * 100 + d.day(), time.time().msecsSinceStartOfDay() / 1000);
}

Finding finding(Category category, qint32 recNum, const QDateTime &at, qint64 a = 0)
{
    Finding f;
    f.category = category;
    f.recNum = recNum;
    const QDate d = at.date();
    f.date = d.year() * 10000 + d.month() * 100 + d.day();
    f.time = at.time().msecsSinceStartOfDay() / 1000;
    f.a = a;
    return f;
}

// One evaluation, written as tokens:
//   at:HH:MM:SS       the clock of this evaluation (else 5 s after the last)
//   gap:N  repeat:N   a rec_num gap or repeat naming N
//   unsent:N@HH:MM:SS unconfirmed:N@HH:MM:SS   N orders waiting, the oldest at
//   burst:N@HH:MM     a burst finding of N rejections in that minute
//   rejected:N orphan:N overfill:N   findings that raise nothing
//   waiting@HH:MM:SS  a refresh waiting since then;  failed   the last failed
//   timedout          the last ran out of its time-out reading ashare_cjhb
//   nosnap            no new snapshot: the health changed only
struct Step
{
    QDateTime now;
    Snapshot snapshot;
    Health health;
    bool hasSnapshot = true;
};

// A failure with a table and no message is a time-out reading it.
Health healthOf(Health::State state, const QDateTime &since, const QString &message = {}, const QString &table = {})
{
    Health health;
    health.state = state;
    health.since = since;
    health.message = message;
    health.table = table;
    health.timedOut = state == Health::Failed && !table.isEmpty();
    return health;
}

Step stepOf(const QString &text, const QDateTime &previous)
{
    Step step;
    step.now = previous.addSecs(5);
    step.health.state = Health::Ok;
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = token.section(QRegularExpression(QStringLiteral("[:@]")), 0, 0);
        const QString value = token.mid(name.size() + 1);
        if (name == QLatin1String("at"))
            step.now = todayAt(value);
    }
    step.snapshot.now = stampOf(step.now);
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString name = token.section(QRegularExpression(QStringLiteral("[:@]")), 0, 0);
        const QString count = token.section(u':', 1).section(u'@', 0, 0);
        const QString when = token.section(u'@', 1);
        auto &findings = step.snapshot.findings;
        if (name == QLatin1String("gap"))
            findings.push_back(finding(Category::RecNumGap, count.toInt(), step.now));
        else if (name == QLatin1String("repeat"))
            findings.push_back(finding(Category::RecNumRepeated, count.toInt(), step.now));
        else if (name == QLatin1String("unsent") || name == QLatin1String("unconfirmed"))
            // The oldest last, as newest first puts it.
            for (int i = count.toInt() - 1; i >= 0; --i)
                findings.push_back(finding(name == QLatin1String("unsent") ? Category::UnsentTooLong
                                                                          : Category::UnconfirmedTooLong,
                                           100 + i, todayAt(when).addSecs(i)));
        else if (name == QLatin1String("burst"))
            findings.push_back(finding(Category::RejectBurst, 0, todayAt(when + QStringLiteral(":00")), count.toInt()));
        else if (name == QLatin1String("rejected") || name == QLatin1String("orphan") || name == QLatin1String("overfill"))
            for (int i = 0; i < count.toInt(); ++i)
                findings.push_back(finding(name == QLatin1String("rejected") ? Category::Rejected
                                           : name == QLatin1String("orphan") ? Category::OrphanConfirmation
                                                                             : Category::Overfilled,
                                           i + 1, step.now));
        else if (name == QLatin1String("waiting"))
            step.health = healthOf(Health::Waiting, todayAt(when));
        else if (name == QLatin1String("failed"))
            step.health = healthOf(Health::Failed, step.now, QStringLiteral("[unixODBC] 连接中断"));
        else if (name == QLatin1String("timedout"))
            step.health = healthOf(Health::Failed, step.now, QString(), QStringLiteral("ashare_cjhb"));
        else if (name == QLatin1String("nosnap"))
            step.hasSnapshot = false;
    }
    std::sort(step.snapshot.findings.begin(), step.snapshot.findings.end(), newerFirst);
    return step;
}

// The events of the log as Python's csv module reads them, each as
// "事件 类别 说明", titles left out.
QStringList logEvents(const QString &path)
{
    QStringList events;
    const QList<QStringList> records = readCsv(path);
    for (int i = 1; i < records.size(); ++i)
        events << QStringLiteral("%1 %2 %3").arg(records[i].value(6), records[i].value(1), records[i].value(2));
    return events;
}

void removeLogs()
{
    QDir(dataDir()).removeRecursively();
}

} // namespace

class TestAlarms : public QObject
{
    Q_OBJECT
private slots:
    void init() { removeLogs(); }
    void cleanupTestCase() { removeLogs(); }

    void alarmsOverRefreshes_data();
    void alarmsOverRefreshes();
    void logIsAFileOfTheDayExcelOpens();
    void restartKeepsTheDay();
    void logThatCannotBeWrittenIsSaidOnce();
};

void TestAlarms::alarmsOverRefreshes_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("active");

    QTest::newRow("nothing found") << QStringList{"", ""} << QStringList{} << 0;
    QTest::newRow("a gap: raised once, cleared when filled")
        << QStringList{"gap:5", "gap:5", "gap:5", ""}
        << QStringList{"发生 记录编号不连续 缺 5", "解除 记录编号不连续 缺 5"} << 0;
    QTest::newRow("a gap filled, then a new gap: two alarms")
        << QStringList{"gap:5", "", "gap:9"}
        << QStringList{"发生 记录编号不连续 缺 5", "解除 记录编号不连续 缺 5", "发生 记录编号不连续 缺 9"} << 1;
    QTest::newRow("the same gap back after it was filled: raised again")
        << QStringList{"gap:5", "", "gap:5"}
        << QStringList{"发生 记录编号不连续 缺 5", "解除 记录编号不连续 缺 5", "发生 记录编号不连续 缺 5"} << 1;
    QTest::newRow("two gaps at once: two alarms")
        << QStringList{"gap:5 gap:9", "gap:9"}
        << QStringList{"发生 记录编号不连续 缺 9", "发生 记录编号不连续 缺 5", "解除 记录编号不连续 缺 5"} << 1;
    QTest::newRow("rows repeating one rec_num: one alarm")
        << QStringList{"repeat:7 repeat:7 repeat:7"} << QStringList{"发生 记录编号重复 重复 7"} << 1;
    QStringList stall;
    for (int i = 0; i < 100; ++i)
        stall << "unconfirmed:937@10:08:51";
    QTest::newRow("the same stall refreshed 100 times: one alarm")
        << stall << QStringList{"发生 未确认超时 937 笔委托已报未确认，最早 10:08:51"} << 1;
    QTest::newRow("a growing stall stays one alarm, its text follows")
        << QStringList{"unconfirmed:3@10:08:51", "unconfirmed:937@10:08:51", "unconfirmed:2@10:30:00", ""}
        << QStringList{"发生 未确认超时 3 笔委托已报未确认，最早 10:08:51",
                       "解除 未确认超时 2 笔委托已报未确认，最早 10:30:00"}
        << 0;
    QTest::newRow("unsent orders taken but not confirmed: one alarm ends, another begins")
        << QStringList{"unsent:4@10:30:00", "unconfirmed:4@10:30:00"}
        << QStringList{"发生 未报超时 4 笔委托未被网关取走，最早 10:30:00",
                       "解除 未报超时 4 笔委托未被网关取走，最早 10:30:00",
                       "发生 未确认超时 4 笔委托已报未确认，最早 10:30:00"}
        << 1;
    QTest::newRow("rejections, orphans and overfills call nobody")
        << QStringList{"rejected:19 orphan:3 overfill:1"} << QStringList{} << 0;
    QTest::newRow("a burst of rejections: while its minute is recent")
        << QStringList{"at:10:40:10 burst:25@10:40", "at:10:41:50 burst:25@10:40", "at:10:42:00 burst:25@10:40"}
        << QStringList{"发生 废单激增 10:40 一分钟内 25 笔废单", "解除 废单激增 10:40 一分钟内 25 笔废单"} << 0;
    QTest::newRow("bursts minute after minute: one alarm")
        << QStringList{"at:10:40:10 burst:25@10:40", "at:10:41:30 burst:30@10:41 burst:25@10:40"}
        << QStringList{"发生 废单激增 10:40 一分钟内 25 笔废单"} << 1;
    QTest::newRow("a burst long past raises nothing")
        << QStringList{"at:10:40:00 burst:25@09:31"} << QStringList{} << 0;
    QTest::newRow("waiting within the query seconds: nothing")
        << QStringList{"at:10:40:00 waiting@10:39:30 nosnap", "at:10:40:00 nosnap"} << QStringList{} << 0;
    QTest::newRow("waiting past the query seconds: one alarm while it lasts")
        << QStringList{"at:10:40:00 waiting@10:39:29 nosnap", "at:10:40:01 waiting@10:39:29 nosnap",
                       "at:10:40:02 waiting@10:39:29 nosnap", "at:10:40:03"}
        << QStringList{"发生 数据库不可用 等待数据库响应 31 秒（自 10:39:29 起）",
                       "解除 数据库不可用 等待数据库响应 33 秒（自 10:39:29 起）"}
        << 0;
    QTest::newRow("a statement's time-out, then an answer")
        << QStringList{"timedout nosnap", ""}
        << QStringList{"发生 数据库不可用 读取超时：ashare_cjhb 在 30 秒内未返回",
                       "解除 数据库不可用 读取超时：ashare_cjhb 在 30 秒内未返回"}
        << 0;
    QTest::newRow("waiting, then failing: one alarm")
        << QStringList{"at:10:40:00 waiting@10:39:00 nosnap", "failed nosnap"}
        << QStringList{"发生 数据库不可用 等待数据库响应 1 分 0 秒（自 10:39:00 起）"} << 1;
    QTest::newRow("a failed refresh keeps the alarms found before it")
        << QStringList{"gap:5", "failed nosnap", "failed nosnap", ""}
        << QStringList{"发生 记录编号不连续 缺 5", "发生 数据库不可用 刷新失败：[unixODBC] 连接中断",
                       "解除 记录编号不连续 缺 5", "解除 数据库不可用 刷新失败：[unixODBC] 连接中断"}
        << 0;
}

void TestAlarms::alarmsOverRefreshes()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    QFETCH(int, active);
    AlarmBook book(Database);
    QSignalSpy raised(&book, &AlarmBook::raised);
    QDateTime clock = todayAt(QStringLiteral("10:39:55"));
    for (const QString &text : steps) {
        const Step step = stepOf(text, clock);
        clock = step.now;
        book.update(step.hasSnapshot ? &step.snapshot : nullptr, step.health, step.now);
    }
    QCOMPARE(logEvents(book.logPath()), events);
    QCOMPARE(book.activeCount(), active);
    int raisedCount = 0;
    for (const auto &signal : raised)
        raisedCount += signal[0].toInt();
    QCOMPARE(raisedCount, int(events.filter(QStringLiteral("发生")).size()));
    QCOMPARE(book.unacknowledgedCount(), raisedCount);
    QCOMPARE(int(book.records().size()), raisedCount);
}

void TestAlarms::logIsAFileOfTheDayExcelOpens()
{
    AlarmBook book(Database);
    Step step = stepOf(QStringLiteral("at:10:31:05 gap:1500 failed nosnap"), QDateTime());
    // A failure's own text with a comma, a quote and a line break.
    step.health.message = QStringLiteral("[08S01] 连接中断, \"TCP\"\r\n请重试");
    book.update(&step.snapshot, step.health, step.now);
    QCOMPARE(book.acknowledge(QStringLiteral("qtrl"), todayAt(QStringLiteral("10:31:40"))), 2);
    QCOMPARE(book.acknowledge(QStringLiteral("other"), todayAt(QStringLiteral("10:31:50"))), 0);

    const QString path = book.logPath();
    QCOMPARE(QFileInfo(path).fileName(),
             QStringLiteral("告警记录_%1.csv").arg(QDate::currentDate().toString(QStringLiteral("yyyyMMdd"))));
    QCOMPARE(QFileInfo(path).absolutePath(), QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QVERIFY(path.startsWith(dataDir()));
    const QByteArray bytes = readFile(path);
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString expected = QStringLiteral(
        "发生时间,类别,说明,确认时间,确认人,解除时间,事件,数据库,编号,记录编号\r\n"
        "%1 10:31:05,记录编号不连续,缺 1500,,,,发生,sse/OIW,1,1500\r\n"
        "%1 10:31:05,数据库不可用,\"刷新失败：[08S01] 连接中断, \"\"TCP\"\"\r\n请重试\",,,,发生,sse/OIW,2,\r\n"
        "%1 10:31:05,记录编号不连续,缺 1500,%1 10:31:40,qtrl,,确认,sse/OIW,1,1500\r\n"
        "%1 10:31:05,数据库不可用,\"刷新失败：[08S01] 连接中断, \"\"TCP\"\"\r\n请重试\",%1 10:31:40,qtrl,,确认,sse/OIW,2,\r\n")
                                 .arg(day);
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(bytes.mid(3)), expected);
    // Another reader reads the same fields.
    const QList<QStringList> csv = readCsv(path);
    QCOMPARE(csv.size(), 5);
    QCOMPARE(csv[2].value(2), QStringLiteral("刷新失败：") + step.health.message);
    QCOMPARE(csv[4].value(4), QStringLiteral("qtrl"));

    // Read back: the last line of each alarm.
    QString error;
    const std::vector<AlarmRecord> records = readAlarmLog(path, QString(), &error);
    QVERIFY(error.isEmpty());
    QCOMPARE(records.size(), std::size_t(2));
    QCOMPARE(records[1].text, QStringLiteral("刷新失败：") + step.health.message);
    QCOMPARE(records[1].acknowledgedBy, QStringLiteral("qtrl"));
    QCOMPARE(records[0].recNum, 1500);
    QCOMPARE(alarmSummary(records[0]), QStringLiteral("10:31:05 记录编号不连续 1021，缺 1500"));
    QCOMPARE(readAlarmLog(path, QStringLiteral("other/OIW")).size(), std::size_t(0));
}

void TestAlarms::restartKeepsTheDay()
{
    const QDateTime start = todayAt(QStringLiteral("10:00:00"));
    {
        AlarmBook book(Database);
        AlarmBook other(QStringLiteral("other/OIW"));
        Step step = stepOf(QStringLiteral("at:10:00:00 gap:5 unconfirmed:3@09:59:00"), QDateTime());
        book.update(&step.snapshot, step.health, step.now);
        other.update(&step.snapshot, step.health, step.now);
        book.acknowledge(QStringLiteral("qtrl"), start.addSecs(10));
        step = stepOf(QStringLiteral("at:10:00:20 unconfirmed:3@09:59:00 repeat:8"), QDateTime());
        book.update(&step.snapshot, step.health, step.now);
        QCOMPARE(book.records().size(), std::size_t(3));
    }
    AlarmBook book(Database);
    QCOMPARE(book.logError(), QString());
    // The day as it was: the gap cleared, the stall acknowledged and
    // active, the repeat active and waiting for acknowledgement.
    QCOMPARE(book.records().size(), std::size_t(3));
    QCOMPARE(book.activeCount(), 2);
    QCOMPARE(book.unacknowledgedCount(), 1);
    const AlarmRecord &gap = book.records()[0];
    QCOMPARE(gap.kind, AlarmKind::RecNumGap);
    QCOMPARE(gap.raised, start);
    QCOMPARE(gap.acknowledged, start.addSecs(10));
    QCOMPARE(gap.cleared, start.addSecs(20));
    QCOMPARE(book.newestUnacknowledged()->kind, AlarmKind::RecNumRepeated);

    // Before its first refresh, a change of health keeps them; the same
    // causes found again go on without a new alarm; new numbers follow on.
    QSignalSpy raised(&book, &AlarmBook::raised);
    Step step = stepOf(QStringLiteral("at:11:00:00 nosnap"), QDateTime());
    book.update(nullptr, step.health, step.now);
    QCOMPARE(book.activeCount(), 2);
    step = stepOf(QStringLiteral("at:11:00:05 unconfirmed:7@09:59:00 repeat:8"), QDateTime());
    book.update(&step.snapshot, step.health, step.now);
    QCOMPARE(raised.size(), 0);
    QCOMPARE(book.records()[1].text, QStringLiteral("7 笔委托已报未确认，最早 09:59:00"));
    step = stepOf(QStringLiteral("at:11:00:10 gap:40"), QDateTime());
    book.update(&step.snapshot, step.health, step.now);
    QCOMPARE(raised.size(), 1);
    QCOMPARE(book.records().back().id, 4);
    QCOMPARE(book.activeCount(), 1);
    // The other database's alarms are its own.
    AlarmBook other(QStringLiteral("other/OIW"));
    QCOMPARE(other.records().size(), std::size_t(2));
    QCOMPARE(other.unacknowledgedCount(), 2);
}

void TestAlarms::logThatCannotBeWrittenIsSaidOnce()
{
    // The data folder is a file: no folder, no log, whoever runs the test.
    QDir().mkpath(dataDir());
    writeFile(QFileInfo(alarmLogPath(QDate::currentDate())).absolutePath(), "not a folder");
    AlarmBook book(Database);
    QSignalSpy failed(&book, &AlarmBook::logFailed);
    Step step = stepOf(QStringLiteral("gap:5 gap:6"), todayAt(QStringLiteral("10:00:00")));
    book.update(&step.snapshot, step.health, step.now);
    book.acknowledge(QStringLiteral("qtrl"), step.now);
    QCOMPARE(failed.size(), 1);
    QVERIFY2(failed[0][0].toString().startsWith(QStringLiteral("无法写入告警记录")), qPrintable(failed[0][0].toString()));
    // The alarms go on in memory.
    QCOMPARE(book.records().size(), std::size_t(2));
    QCOMPARE(book.unacknowledgedCount(), 0);
}

SQLTOOL_CORE_TEST_MAIN(TestAlarms)
#include "tst_alarms.moc"
