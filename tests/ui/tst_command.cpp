// Commands that wait on the database, on a SQLite file standing in for a slow
// server: the event loop goes on, the progress window cancels, a cancelled
// command ends as a failed one, a given-up command logs out, and closing the
// main window mid-list ends the program.

#include "query/querytestsupport.h"

#include "app/mainform.h"
#include "db/connstring.h"
#include "query/statements.h"
#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/memorynotice.h"

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QStatusBar>
#include <QThread>

#include <new>
#include <thread>

using namespace querytest;
using testsupport::ModalRecord;
using testsupport::ModalWatcher;

namespace {

constexpr int TradeRows = 200;
// The cancel's message as the application-wide error box shows it.
const QString Cancelled = errorBoxText(QStringLiteral("操作已取消"));

// A hundred million generated rows: listing or counting them runs until
// cancelled.
const QString EndlessView = QStringLiteral(
    "create view endless as with recursive c(x) as (select 1 union all select x + 1 from c "
    "where x < 100000000) select x from c");
const QString EndlessTrades = QStringLiteral(
    "create view ashare_cjhb as select 'A' || x as gddm, '600000' as zqdm, x as cjsl, 1.5 as cjjg, "
    "x * 1.5 as cjje, 0 as bcye, x as cjbh, '20260101' as bcrq, '93000' as cjsj, '93000' as sbsj, "
    "'name' as gdxm, '1' as gsdm, x as sqbh, 'B' as bs, '1' as mjbh from endless");

// Waits for the command's progress window, clicks the orders page's list
// button (which must do nothing while the command runs), and cancels the
// command, by its "取消" button or by Escape, remembering what it showed.
class Canceller : public QObject
{
public:
    enum Way { Button, Escape };
    explicit Canceller(Way way)
        : m_way(way)
    {
        m_timer = startTimer(10);
    }
    QString shownText;
    QString buttonText;

protected:
    void timerEvent(QTimerEvent *) override
    {
        QProgressDialog *window = commandProgressWindow();
        if (!window || !shownText.isEmpty())
            return;
        shownText = window->labelText();
        QTest::mouseClick(control<QPushButton>(QStringLiteral("Button4")), Qt::LeftButton);
        auto *button = window->findChild<QPushButton *>();
        buttonText = button ? button->text() : QString();
        if (m_way == Button && button)
            button->click();
        else
            QTest::keyClick(window, Qt::Key_Escape);
    }

private:
    Way m_way;
    int m_timer = 0;
};

// Rows the progress window said were done.
qint64 shownRows(const QString &text)
{
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("已处理 (\\d+) 行")).match(text);
    return match.hasMatch() ? match.captured(1).toLongLong() : -1;
}

// An event handler that runs out of memory.
class OutOfMemoryThrower : public QObject
{
public:
    int thrown = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != QEvent::User)
            return QObject::event(event);
        ++thrown;
        throw std::bad_alloc();
    }
};

void replaceTrades()
{
    sqliteExec(databasePath(), QStringLiteral("alter table ashare_cjhb rename to cjhb_kept"));
    sqliteExec(databasePath(), EndlessTrades);
}

bool exists(const char *type, const char *name)
{
    return sqliteCount(databasePath(), QStringLiteral("select count(*) from sqlite_master where type = '%1' and name = '%2'")
                                           .arg(QLatin1String(type), QLatin1String(name)));
}

void restoreTrades()
{
    if (exists("view", "ashare_cjhb"))
        sqliteExec(databasePath(), QStringLiteral("drop view ashare_cjhb"));
    if (exists("table", "cjhb_kept"))
        sqliteExec(databasePath(), QStringLiteral("alter table cjhb_kept rename to ashare_cjhb"));
}

} // namespace

class tst_command : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        testsupport::generateDatabase(databasePath(), TradeRows);
        sqliteExec(databasePath(), EndlessView);
    }

    void init()
    {
        m_session = std::make_unique<Session>();
        reconnect();
    }
    void cleanup()
    {
        m_session.reset();
        restoreTrades();
    }

    // A list that fails, and one cancelled during its fetch, end alike:
    // their box, then the query closed, the grid empty and the count kept.
    void listEndsAsFailure_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("failure") << "failure";
        QTest::newRow("cancel button") << "button";
        QTest::newRow("escape") << "escape";
    }
    void listEndsAsFailure()
    {
        QFETCH(QString, way);
        click(QStringLiteral("Button1"));
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(TradeRows));

        QString expectedText = Cancelled;
        if (way == QLatin1String("failure")) {
            sqliteExec(databasePath(), QStringLiteral("alter table ashare_cjhb rename to cjhb_kept"));
            reconnect();
            expectedText = errorBoxText(failureMessage());
        } else {
            replaceTrades();
            reconnect();
        }
        int beats = 0;
        QTimer beat;
        connect(&beat, &QTimer::timeout, &beat, [&beats] { ++beats; });
        beat.start(10);
        Canceller canceller(way == QLatin1String("escape") ? Canceller::Escape : Canceller::Button);
        ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        beat.stop();

        QCOMPARE(watcher.records.size(), 1);
        testsupport::verifyOkBox(watcher.records.first(), QStringLiteral("tst_command"), expectedText,
                                 QMessageBox::Critical);
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(source(1)->rowCount(), 0);
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(TradeRows));
        if (way != QLatin1String("failure")) {
            QVERIFY(!datamod->qry2->active()); // the click during the command did nothing
            // Rows were arriving when the cancel came, and the UI thread
            // kept its timers going meanwhile.
            QVERIFY2(canceller.shownText.startsWith(QStringLiteral("正在查询…\n")), qPrintable(canceller.shownText));
            QVERIFY(shownRows(canceller.shownText) > 0);
            QCOMPARE(canceller.buttonText, QStringLiteral("取消"));
            QVERIFY2(beats >= 10, qPrintable(QString::number(beats)));
        }

        // The connection serves the next command; its result arrives on the
        // UI thread, whole.
        QList<bool> onUiThread;
        QObject context;
        connect(datamod->qry2, &Query::resultChanged, &context,
                [&] { onUiThread << (QThread::currentThread() == thread()); });
        click(QStringLiteral("Button4"));
        QCOMPARE(labelText(QStringLiteral("Label15")), QString::number(TradeRows / 2));
        QCOMPARE(source(2)->rowCount(), TradeRows / 2);
        QCOMPARE(onUiThread, QList<bool>{true});
        QCOMPARE(watcher.records.size(), 1);
    }

    // A statement still executing (a count over the endless rows) is
    // interrupted; the connection runs the next statement. (The driver
    // interrupts only when it runs whole statements at their execution.)
    void cancelDuringExecution()
    {
        reconnect(QStringLiteral("sse"));
        Query &query = *datamod->qry4;
        Canceller canceller(Canceller::Button);
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 runQuery(query, {QStringLiteral("select count(*) from endless")}));
        QCOMPARE(shownRows(canceller.shownText), 0);
        QVERIFY(!query.active());
        runQuery(query, {QStringLiteral("select count(*) from ashare_cjhb")});
        QCOMPARE(query.fieldByName(QStringLiteral("count(*)")).asString(), QString::number(TradeRows));
    }

    // The progress window is made once: a second command shows the same
    // window with its own text and rows, also after the first was cancelled.
    void progressWindowIsReused_data()
    {
        QTest::addColumn<bool>("cancelFirst");
        QTest::newRow("after an ended command") << false;
        QTest::newRow("after a cancelled command") << true;
    }
    void progressWindowIsReused()
    {
        QFETCH(bool, cancelFirst);
        QList<QProgressDialog *> windows;
        QStringList texts;
        QList<bool> cancelledFlags;
        int command = 1;
        QTimer poll;
        connect(&poll, &QTimer::timeout, &poll, [&] {
            QProgressDialog *window = commandProgressWindow();
            if (!window || windows.size() >= command)
                return;
            windows << window;
            texts << window->labelText();
            cancelledFlags << window->wasCanceled();
            if (cancelFirst && command == 1)
                window->findChild<QPushButton *>()->click();
        });
        poll.start(10);
        const auto slowWork = [](qint64 rows) {
            return [rows](CommandControl &control) {
                control.addRows(rows);
                for (int i = 0; i < 100 && !control.cancelRequested(); ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                control.throwIfCancelled();
            };
        };
        try {
            runCommand(datamod->worker(), QStringLiteral("正在清空…"), slowWork(7));
            QVERIFY(!cancelFirst);
        } catch (const OperationCancelled &) {
            QVERIFY(cancelFirst);
        }
        QVERIFY(!commandProgressWindow());
        command = 2;
        runCommand(datamod->worker(), QStringLiteral("正在执行…"), slowWork(0));
        QVERIFY(!commandProgressWindow());
        QCOMPARE(windows.size(), 2);
        QCOMPARE(windows[0], windows[1]);
        QVERIFY2(texts[1].startsWith(QStringLiteral("正在执行…\n")), qPrintable(texts[1]));
        QCOMPARE(shownRows(texts[0]), 7);
        QCOMPARE(shownRows(texts[1]), 0);
        QCOMPARE(cancelledFlags, (QList<bool>{false, false}));
    }

    // Work that does not end within 2 s of the cancel is given up: the
    // connection counts as lost and the program is logged out, while the
    // query window keeps its result and fails its next command.
    void stuckCommandIsGivenUp()
    {
        click(QStringLiteral("Button1"));
        Canceller canceller(Canceller::Button);
        QElapsedTimer clock;
        clock.start();
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 runCommand(datamod->worker(), QStringLiteral("正在查询…"), [](CommandControl &) {
                                     std::this_thread::sleep_for(std::chrono::seconds(4));
                                 }));
        QVERIFY(clock.elapsed() < 4000);
        QVERIFY(!datamod->con->connected());
        testsupport::verifyLoggedOutState(QStringLiteral("状态: 未登录"), QStringLiteral("数据库用户: "));
        QCOMPARE(datamod->qry1->recordCount(), TradeRows);

        ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().text, QStringLiteral("数据库未连接."));
    }

    // A second command while one runs is the program's mistake, said in
    // Chinese; the first command goes on to its end.
    void secondCommandIsRefused()
    {
        QString refused;
        bool wrongKind = false;
        QTimer::singleShot(50, this, [&] {
            try {
                runCommand(datamod->worker(), QStringLiteral("正在查询…"), [](CommandControl &) {});
            } catch (const ProgramError &error) {
                refused = error.message();
            } catch (...) {
                wrongKind = true;
            }
        });
        bool ended = false;
        runCommand(datamod->worker(), QStringLiteral("正在查询…"), [&ended](CommandControl &) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ended = true;
        });
        QVERIFY(ended);
        QVERIFY(!wrongKind);
        QCOMPARE(refused, QStringLiteral("已有命令正在执行，请稍候"));
    }

    // Memory running out on the UI thread while a list fetches (an event
    // handler meets std::bad_alloc): the list is stopped first, and only
    // once its work has ended and freed its rows does the prepared box say
    // so, with the memory set aside given back; nothing of the list is kept,
    // and the next command works. A second shortage while the box is up,
    // when no box can be shown, is told in the main window's status bar
    // until the next command.
    void outOfMemoryDuringCommandStopsItFirst()
    {
        click(QStringLiteral("Button1"));
        replaceTrades();
        reconnect();
        QVERIFY(memoryReserved());
        OutOfMemoryThrower thrower;
        QTimer::singleShot(300, &thrower, [&thrower] {
            QEvent event(QEvent::User);
            QCoreApplication::sendEvent(&thrower, &event);
        });
        QStringList atBox;
        ModalWatcher watcher([&](QWidget *modal, const ModalRecord &) {
            atBox << QStringLiteral("running %1, reserved %2").arg(commandRunning()).arg(memoryReserved());
            QEvent again(QEvent::User);
            QCoreApplication::sendEvent(&thrower, &again);
            atBox << mainform->statusBar()->currentMessage();
            closeModal(modal);
        });
        click(QStringLiteral("Button1"));

        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().objectName, QStringLiteral("OutOfMemoryBox"));
        testsupport::verifyOkBox(watcher.records.first(), QStringLiteral("tst_command"),
                                 QStringLiteral("内存不足，操作未完成."), QMessageBox::Critical);
        QCOMPARE(atBox, (QStringList{"running 0, reserved 0", "内存不足，操作未完成"}));
        QCOMPARE(thrower.thrown, 2);
        QVERIFY(memoryReserved());
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(source(1)->rowCount(), 0);

        click(QStringLiteral("Button4"));
        QCOMPARE(labelText(QStringLiteral("Label15")), QString::number(TradeRows / 2));
        QCOMPARE(mainform->statusBar()->currentMessage(), QString());
        QCOMPARE(watcher.records.size(), 1);
    }

    // The work's own memory error says more than the UI thread's: a list
    // whose fetch ran out as well ends in its own message.
    void outOfMemoryDuringCommandKeepsWorksOwnError()
    {
        OutOfMemoryThrower thrower;
        ModalWatcher watcher;
        runGuarded([&] {
            runCommand(datamod->worker(), QStringLiteral("正在查询…"), [&thrower](CommandControl &control) {
                QMetaObject::invokeMethod(&thrower, [&thrower] {
                    QEvent event(QEvent::User);
                    QCoreApplication::sendEvent(&thrower, &event);
                }, Qt::QueuedConnection);
                while (!control.cancelRequested())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                throw ResultTooLarge(42);
            });
        });
        QCOMPARE(thrower.thrown, 1);
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().objectName, QStringLiteral("ErrorBox"));
        QCOMPARE(watcher.records.first().text, QStringLiteral("内存不足：已取回 42 行，结果过大，请加条件查询."));
    }

    // The main window's close box during a list cancels it and ends the
    // event loop; the worker has ended, so the connection closes cleanly.
    // (Last: the program counts as ending afterwards.)
    void closingMainWindowMidListExits()
    {
        replaceTrades();
        reconnect();
        mainform->show();
        ModalWatcher watcher;
        QTimer::singleShot(0, this, [] { click(QStringLiteral("Button1")); });
        QTimer::singleShot(300, mainform, [] { mainform->close(); });
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!commandRunning());
        QVERIFY(!datamod->qry1->active());
        QVERIFY(datamod->con->connected());
        QCOMPARE(watcher.records.size(), 0);
    }

private:
    // Logs in again, by default to the DSN whose rows arrive while they are
    // fetched. The SQLite driver stepping rows re-runs a prepared statement
    // endlessly when the schema changed under its connection, hence a fresh
    // connection after each change.
    static void reconnect(const QString &dsn = QStringLiteral("stepped"))
    {
        datamod->con->close();
        datamod->con->setConnectionString(loginConnectionString(QString(), QStringLiteral("qtrl"), dsn));
        datamod->con->open();
    }

    // The driver's message for listing a missing table.
    static QString failureMessage()
    {
        Query query(datamod->con);
        query.setSql(tradeAllStatement().lines);
        try {
            query.open();
        } catch (const DatabaseError &error) {
            return error.message();
        }
        return {};
    }

    std::unique_ptr<Session> m_session;
};

SQLTOOL_TEST_MAIN(tst_command)
#include "tst_command.moc"
