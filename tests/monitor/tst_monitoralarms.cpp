// The monitor's alarms on a real SQLite file through ODBC: the banner and
// its acknowledgement, sound and tray (recorded where they would play and
// show, and the real sound loaded once), the day's log in its grid and its
// file, the 静音 setting, the category filter, the figures line at every
// width, the chart's time axis, and the gateway stand-in's gap and stall
// end to end.

#include "support/exportreader.h"
#include "support/testsupport.h"

#include "base/settings.h"
#include "flow/alarmbook.h"
#include "flow/flowwatch.h"
#include "flow/flowtext.h"
#include "monitor/alarmnotifier.h"
#include "monitortestsupport.h"

#include <QCheckBox>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QLabel>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPushButton>
#include <QSoundEffect>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTableView>

using namespace testsupport;
using namespace monitortest;

namespace {

void exec(const QString &sql)
{
    sqliteExec(databasePath(), sql);
}

// What the sound card and the tray would have played and shown.
class RecordingDevices : public AlarmDevices
{
public:
    bool hasSound = true;
    bool hasTray = true;
    int plays = 0;
    bool trayShown = false;
    AlarmLight light = AlarmLight::Green;
    QString tooltip;
    QStringList messages; // "title|text"

    bool playSound() override
    {
        plays += hasSound ? 1 : 0;
        return hasSound;
    }
    bool showTray(AlarmLight shown, const QString &tip) override
    {
        if (!hasTray)
            return false;
        trayShown = true;
        light = shown;
        tooltip = tip;
        return true;
    }
    void trayMessage(const QString &title, const QString &text) override
    {
        if (hasTray && trayShown)
            messages << title + u'|' + text;
    }
    void hideTray() override { trayShown = false; }
    void click() { emit trayClicked(); }
};

RecordingDevices *recordAlarms(int repeatMs = 300)
{
    auto devices = std::make_unique<RecordingDevices>();
    RecordingDevices *recorded = devices.get();
    monitorform->notifier()->setDevices(std::move(devices));
    monitorform->notifier()->setRepeatInterval(repeatMs);
    return recorded;
}

QWidget *banner()
{
    return child<QWidget>(monitorform, "AlarmBanner");
}

QString bannerText()
{
    return banner()->isVisible() ? child<QLabel>(monitorform, "AlarmLabel")->text() : QString();
}

QColor bannerColour()
{
    return banner()->palette().color(QPalette::Window);
}

// The alarm log grid as "类别|说明|确认人|cleared or not", newest first.
QStringList logRows()
{
    QStringList rows;
    const QAbstractItemModel *m = child<QTableView>(monitorform, "AlarmGrid")->model();
    for (int r = 0; r < m->rowCount(); ++r)
        rows << QStringLiteral("%1|%2|%3|%4")
                    .arg(m->index(r, 1).data().toString(), m->index(r, 2).data().toString(),
                         m->index(r, 4).data().toString(),
                         m->index(r, 5).data().toString().isEmpty() ? QStringLiteral("active")
                                                                    : QStringLiteral("cleared"));
    return rows;
}

// The lines of the day's log file as Python's csv module reads them, as
// "事件|类别|确认人", titles left out.
QStringList logFileLines()
{
    QStringList lines;
    const QList<QStringList> records = readCsv(monitorform->alarmBook()->logPath());
    for (int i = 1; i < records.size(); ++i)
        lines << QStringLiteral("%1|%2|%3").arg(records[i].value(6), records[i].value(1), records[i].value(4));
    return lines;
}

// Plays over a while with nothing new happening.
int playsOver(RecordingDevices *devices, int milliseconds)
{
    const int before = devices->plays;
    QTest::qWait(milliseconds);
    return devices->plays - before;
}

const QColor Red(211, 47, 47);
const QColor Amber(255, 179, 0);

} // namespace

class TestMonitorAlarms : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { removeDbset(); }
    void init()
    {
        removeDbset();
        createEmptyDatabase(databasePath());
        QDir(dataDir()).removeRecursively();
    }
    void cleanupTestCase() { removeDbset(); }

    void bannerCallsUntilAcknowledgedAndClears();
    void muteIsKeptAndSilences();
    void withoutSoundOrTrayNothingBreaks();
    void databaseFailingIsOneAlarmUntilItAnswers();
    void aWatchAndBookOfSomeoneElseAreShown();
    void realSoundLoadsFromTheResources();
    void categoryFilterCountsEachKind();
    void figuresAreNeverSplitAtAnyWidth();
    void timeAxisNeverRepeatsALabel();
    void standInGapAndStallEndToEnd();
};

void TestMonitorAlarms::bannerCallsUntilAcknowledgedAndClears()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 30));
    exec(confirmation(4, "R5", "O", "", 29));
    Forms forms;
    logIn();
    RecordingDevices *devices = recordAlarms();
    QSignalSpy alarmed(monitorform, &Tmonitorform::alarmed);
    monitorform->show();
    QVERIFY(refreshMonitor());
    // Red, with the count and the newest alarm, and the sound at once.
    const flow::AlarmRecord gap = monitorform->alarmBook()->records().at(0);
    const QString summary = gap.raised.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" 记录编号不连续 1021，缺 4");
    QCOMPARE(bannerText(), QStringLiteral("1 条告警未确认：") + summary);
    QCOMPARE(bannerColour(), Red);
    QVERIFY(child<QPushButton>(monitorform, "AckButton")->isVisible());
    QCOMPARE(alarmed.size(), 1);
    QVERIFY(devices->plays >= 1);
    QVERIFY(devices->trayShown);
    QCOMPARE(devices->light, AlarmLight::Red);
    QCOMPARE(devices->tooltip, QStringLiteral("报盘监控：1 条告警未确认，1 条未解除"));
    QCOMPARE(devices->messages, QStringList{QStringLiteral("报盘监控告警：sse/OIW|") + summary});
    // Repeated until acknowledged; refreshes finding the same gap add nothing.
    QVERIFY(playsOver(devices, 1000) >= 2);
    QVERIFY(refreshMonitor());
    QCOMPARE(alarmed.size(), 1);
    QCOMPARE(devices->messages.size(), 1);

    QTest::mouseClick(child<QPushButton>(monitorform, "AckButton"), Qt::LeftButton);
    QCOMPARE(bannerText(), QStringLiteral("1 条告警已确认，尚未解除：") + summary);
    QCOMPARE(bannerColour(), Amber);
    QVERIFY(!child<QPushButton>(monitorform, "AckButton")->isVisible());
    QCOMPARE(playsOver(devices, 800), 0);
    QCOMPARE(devices->light, AlarmLight::Amber);
    QCOMPARE(logRows(), QStringList{"记录编号不连续|缺 4|qtrl|active"});
    QCOMPARE(logFileLines(), (QStringList{"发生|记录编号不连续|", "确认|记录编号不连续|qtrl"}));

    // The missing order arrives: the alarm clears by itself and says so.
    exec(order(4, "R4", "P", 100, 1));
    for (int i = 0; i < 14 && banner()->isVisible(); ++i)
        QVERIFY(refreshMonitor());
    QVERIFY2(!banner()->isVisible(), qPrintable(bannerText()));
    QCOMPARE(devices->light, AlarmLight::Green);
    QCOMPARE(devices->tooltip, QStringLiteral("报盘监控：无告警"));
    QCOMPARE(logRows(), QStringList{"记录编号不连续|缺 4|qtrl|cleared"});
    QCOMPARE(logFileLines(),
             (QStringList{"发生|记录编号不连续|", "确认|记录编号不连续|qtrl", "解除|记录编号不连续|qtrl"}));
    // Closed, the window leaves the tray.
    monitorform->hide();
    QVERIFY(!devices->trayShown);
}

void TestMonitorAlarms::muteIsKeptAndSilences()
{
    plantNormalDay(exec);
    Forms forms;
    logIn();
    RecordingDevices *devices = recordAlarms();
    monitorform->show();
    auto *mute = child<QCheckBox>(monitorform, "MuteCheck");
    QVERIFY(!mute->isChecked());
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeySound, {}), QStringLiteral("0"));
    exec(order(6, "R6", "P", 100, 30));
    QVERIFY(refreshMonitor());
    QCOMPARE(bannerColour(), Red);
    QCOMPARE(devices->plays, 0);
    QCOMPARE(playsOver(devices, 700), 0);
    QCOMPARE(devices->light, AlarmLight::Red); // the tray still tells
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(settings::readSetting(monitorsettings::Section, monitorsettings::KeySound, {}), QStringLiteral("1"));
    QVERIFY(devices->plays >= 1);
    // The next showing reads the setting.
    monitorform->hide();
    settings::writeSetting(monitorsettings::Section, monitorsettings::KeySound, QStringLiteral("0"));
    monitorform->show();
    QVERIFY(mute->isChecked());
    QCOMPARE(playsOver(devices, 700), 0);
    removeDbset();
}

void TestMonitorAlarms::withoutSoundOrTrayNothingBreaks()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 30));
    Forms forms;
    logIn();
    RecordingDevices *devices = recordAlarms();
    devices->hasSound = false;
    devices->hasTray = false;
    traceform->show();
    QSignalSpy refreshed(monitorform, &Tmonitorform::refreshed);
    monitorform->show();
    QVERIFY(refreshed.wait(20000));
    QCOMPARE(bannerColour(), Red);
    // Said once in the status line, after the refresh's own text.
    QTRY_COMPARE(monitorform->statusText(), QStringLiteral("没有音频设备：告警不发声"));
    exec(order(7, "R7", "P", 100, 30)); // a second gap
    QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->alarmBook()->unacknowledgedCount(), 3);
    QTest::qWait(100);
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QVERIFY(devices->messages.isEmpty());
    // A click on the tray icon brings the monitor to the front.
    devices->hasTray = true;
    traceform->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(traceform));
    devices->click();
    QVERIFY(QTest::qWaitForWindowActive(monitorform));
}

void TestMonitorAlarms::databaseFailingIsOneAlarmUntilItAnswers()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 1)); // a gap at 4
    Forms forms;
    logIn();
    recordAlarms();
    monitorform->show();
    QVERIFY(refreshMonitor());
    exec("alter table ashare_ordwth rename to ordwth_away");
    for (int i = 0; i < 3; ++i)
        QVERIFY(refreshMonitor());
    QVERIFY2(monitorform->statusText().contains(QStringLiteral("刷新失败")), qPrintable(monitorform->statusText()));
    // One alarm for the failures, the gap's stays.
    const QStringList rows = logRows();
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(QStringLiteral("数据库不可用|刷新失败：")), qPrintable(rows[0]));
    QVERIFY2(bannerText().startsWith(QStringLiteral("2 条告警未确认：")), qPrintable(bannerText()));
    QVERIFY2(bannerText().contains(QStringLiteral(" 数据库不可用，刷新失败：")), qPrintable(bannerText()));
    exec("alter table ordwth_away rename to ashare_ordwth");
    QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QCOMPARE(logRows().value(0).section(u'|', 3), QStringLiteral("cleared"));
    QCOMPARE(logRows().value(1), QStringLiteral("记录编号不连续|缺 4||active"));
    QCOMPARE(logFileLines(), (QStringList{"发生|记录编号不连续|", "发生|数据库不可用|", "解除|数据库不可用|"}));
}

void TestMonitorAlarms::aWatchAndBookOfSomeoneElseAreShown()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 1)); // a gap at 4
    Forms forms;
    logIn();
    recordAlarms();
    auto watch = std::make_shared<flow::FlowWatch>(QStringLiteral("DSN=sse"), QString());
    auto book = std::make_shared<flow::AlarmBook>(QStringLiteral("第二席位"));
    book->observe(watch.get());
    monitorform->watch(watch, book, QStringLiteral("OIW"));
    monitorform->show();
    QVERIFY(refreshMonitor());
    QCOMPARE(monitorform->alarmBook(), book.get());
    QVERIFY2(bannerText().endsWith(QStringLiteral("记录编号不连续 1021，缺 4")), qPrintable(bannerText()));
    // Let go of, they live on with their owner and no longer reach the window.
    monitorform->stop();
    QVERIFY(!banner()->isVisible());
    QCOMPARE(book->activeCount(), 1);
    QSignalSpy window(monitorform, &Tmonitorform::refreshed);
    QSignalSpy own(watch.get(), &flow::FlowWatch::refreshed);
    watch->refreshNow();
    QVERIFY(own.wait(20000));
    QCOMPARE(window.size(), 0);
    QCOMPARE(monitorform->findings()->rowCount(), 0);
}

void TestMonitorAlarms::realSoundLoadsFromTheResources()
{
    QSoundEffect sound;
    sound.setSource(alarmSoundSource());
    QTRY_COMPARE_WITH_TIMEOUT(sound.status(), QSoundEffect::Ready, 10000);
    // The machine's devices: the sound plays where an audio device exists,
    // the icon shows where a tray does, and neither fails otherwise.
    const auto devices = systemAlarmDevices();
    QCOMPARE(devices->playSound(), !QMediaDevices::audioOutputs().isEmpty());
    QCOMPARE(devices->showTray(AlarmLight::Red, QStringLiteral("报盘监控：1 条告警未确认，1 条未解除")),
             QSystemTrayIcon::isSystemTrayAvailable());
    devices->trayMessage(QStringLiteral("报盘监控告警：sse"), QStringLiteral("10:31:05 记录编号不连续 1021，缺 1500"));
    devices->hideTray();
}

void TestMonitorAlarms::categoryFilterCountsEachKind()
{
    plantNormalDay(exec);
    exec(order(5, "R5", "P", 100, 60)); // gap at 4, and unconfirmed
    for (int rec = 6; rec <= 9; ++rec)
        exec(order(rec, QStringLiteral("R%1").arg(rec), "P", 100, 20 - rec));
    exec(confirmation(4, "R1", "F", "231", 1));
    Forms forms;
    logIn();
    recordAlarms();
    monitorform->show();
    QVERIFY(refreshMonitor());
    auto *combo = child<QComboBox>(monitorform, "CategoryCombo");
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    QCOMPARE(items, (QStringList{"全部 (7)", "记录编号不连续 (1)", "未确认超时 (5)", "废单 (1)"}));
    // The gap first, though the newest rows are others.
    QCOMPARE(findingTexts().first(), QStringLiteral("记录编号不连续 4 1021"));
    combo->setCurrentIndex(2);
    for (const QString &text : findingTexts())
        QVERIFY2(text.startsWith(QStringLiteral("未确认超时")), qPrintable(text));
    QCOMPARE(findingTexts().size(), 5);
    // A refresh with one more keeps the choice and counts it.
    exec(order(10, "R10", "P", 100, 15));
    QVERIFY(refreshMonitor());
    QCOMPARE(combo->currentText(), QStringLiteral("未确认超时 (6)"));
    QCOMPARE(findingTexts().size(), 6);
    // Its findings gone, the choice stays with none.
    for (int rec = 5; rec <= 10; ++rec)
        exec(confirmation(rec, QStringLiteral("R%1").arg(rec), "O", "", 0));
    QVERIFY(refreshMonitor());
    QCOMPARE(combo->currentText(), QStringLiteral("未确认超时 (0)"));
    QCOMPARE(findingTexts(), QStringList{});
    combo->setCurrentIndex(0);
    QCOMPARE(findingTexts(), (QStringList{"记录编号不连续 4 1021", "废单 1 231"}));
}

void TestMonitorAlarms::figuresAreNeverSplitAtAnyWidth()
{
    plantNormalDay(exec);
    exec(trade(3, "R2", 500, "42112357.00", "21056178500.00", 5));
    Forms forms;
    logIn();
    recordAlarms();
    monitorform->show();
    QVERIFY(refreshMonitor());
    auto *label = child<QLabel>(monitorform, "FiguresLabel");
    const QStringList figures = flow::figureGroups(monitorform->snapshot().figures)[0]
                                + flow::figureGroups(monitorform->snapshot().figures)[1];
    QVERIFY(figures.contains(QStringLiteral("成交金额\u00A021056188988.00")));
    int widest = 0, narrowest = 99;
    for (int width = monitorform->minimumSizeHint().width(); width <= 1700; width += 23) {
        monitorform->resize(width, 620);
        QCoreApplication::processEvents();
        const QStringList lines = label->text().split(u'\n');
        widest = std::max(widest, int(lines.size()));
        narrowest = std::min(narrowest, int(lines.size()));
        for (const QString &line : lines) {
            QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->contentsRect().width(),
                     qPrintable(QStringLiteral("%1 px: %2").arg(width).arg(line)));
            // A line is whole figures and separators only.
            for (const QString &piece : line.split(QStringLiteral("  ")))
                QVERIFY2(figures.contains(piece), qPrintable(QStringLiteral("%1 px: %2").arg(width).arg(piece)));
        }
        QCOMPARE(lines.join(QStringLiteral("  ")).split(QStringLiteral("  ")), figures);
    }
    // Narrow windows take more lines, wide ones two.
    QCOMPARE(narrowest, 2);
    QVERIFY(widest >= 3);
}

void TestMonitorAlarms::timeAxisNeverRepeatsALabel()
{
    // A day that spans a few minutes, as on the live demo.
    for (int age = 200, rec = 1; age >= 0; age -= 20, ++rec)
        exec(order(rec, QStringLiteral("R%1").arg(rec), "P", 100, age));
    Forms forms;
    logIn();
    recordAlarms();
    monitorform->show();
    QVERIFY(refreshMonitor());
    auto *x = qobject_cast<QDateTimeAxis *>(
        child<QChartView>(monitorform, "FlowChart")->chart()->axes(Qt::Horizontal).value(0));
    QVERIFY(x);
    QVERIFY(x->tickCount() >= 2);
    QStringList labels;
    const qint64 from = x->min().toMSecsSinceEpoch(), to = x->max().toMSecsSinceEpoch();
    for (int i = 0; i < x->tickCount(); ++i) {
        const QDateTime tick = QDateTime::fromMSecsSinceEpoch(from + (to - from) * i / (x->tickCount() - 1));
        QCOMPARE(tick.time().second(), 0);
        labels << tick.toString(x->format());
    }
    QCOMPARE(QSet<QString>(labels.begin(), labels.end()).size(), labels.size());
    QVERIFY2(labels.size() >= 4 && labels.size() <= 7, qPrintable(labels.join(u' ')));
}

void TestMonitorAlarms::standInGapAndStallEndToEnd()
{
    gateway::Options day = standInDay(QStringLiteral("sse"), 40);
    day.faults.gap = 20;
    runStandIn(day);
    const qint64 missing = sqliteCount(databasePath(), "select min(rec_num) + 1 from ashare_ordwth o where rec_num < "
                                                       "(select max(rec_num) from ashare_ordwth) and not exists "
                                                       "(select 1 from ashare_ordwth n where n.rec_num = o.rec_num + 1)");
    Forms forms;
    logIn();
    RecordingDevices *devices = recordAlarms();
    // The banner within one refresh.
    QSignalSpy refreshed(monitorform, &Tmonitorform::refreshed);
    monitorform->show();
    QVERIFY(refreshed.wait(20000));
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    QVERIFY2(bannerText().startsWith(QStringLiteral("1 条告警未确认：")), qPrintable(bannerText()));
    QVERIFY2(bannerText().endsWith(QStringLiteral(" 记录编号不连续 1021，缺 %1").arg(missing)), qPrintable(bannerText()));
    QVERIFY(devices->plays >= 1);
    for (int i = 0; i < 3; ++i)
        QVERIFY(refreshMonitor());
    QCOMPARE(logRows(), QStringList{QStringLiteral("记录编号不连续|缺 %1||active").arg(missing)});
    QTest::mouseClick(child<QPushButton>(monitorform, "AckButton"), Qt::LeftButton);
    QCOMPARE(logFileLines(), (QStringList{"发生|记录编号不连续|", "确认|记录编号不连续|qtrl"}));

    // The gateway goes on and stops confirming: one alarm for all it leaves.
    child<QSpinBox>(monitorform, "TimeoutSpin")->setValue(1);
    gateway::Options more = standInDay(QStringLiteral("sse"), 30);
    more.faults.stopConfirming = 5;
    more.seconds = 3;
    runStandIn(more);
    QTest::qWait(2100); // the orders it left are older than the threshold
    for (int i = 0; i < 4; ++i)
        QVERIFY(refreshMonitor());
    QVERIFY2(lastRefreshOk(), qPrintable(monitorform->statusText()));
    const QStringList rows = logRows();
    QVERIFY2(rows.size() == 2, qPrintable(rows.join(u';') + QStringLiteral(" / ") + findingTexts().join(u';')));
    QVERIFY2(rows[0].startsWith(QStringLiteral("未确认超时|25 笔委托已报未确认，最早 ")), qPrintable(rows[0]));
    QCOMPARE(rows[1], QStringLiteral("记录编号不连续|缺 %1|qtrl|active").arg(missing));
    QVERIFY2(bannerText().startsWith(QStringLiteral("1 条告警未确认：")), qPrintable(bannerText()));
    QCOMPARE(bannerColour(), Red);
    QTest::mouseClick(child<QPushButton>(monitorform, "AckButton"), Qt::LeftButton);
    QCOMPARE(bannerColour(), Amber);
    QVERIFY2(bannerText().startsWith(QStringLiteral("2 条告警已确认，尚未解除：")), qPrintable(bannerText()));
    QCOMPARE(logFileLines(), (QStringList{"发生|记录编号不连续|", "确认|记录编号不连续|qtrl", "发生|未确认超时|",
                                          "确认|未确认超时|qtrl"}));
}

SQLTOOL_TEST_MAIN(TestMonitorAlarms)
#include "tst_monitoralarms.moc"
