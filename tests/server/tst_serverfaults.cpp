// Faults of a real database server under the tool: the PostgreSQL test
// server stopped at once or its backend killed, between two commands and
// during a long list; a login to a server that never answers; a server
// frozen mid-query. The program goes on, shows nothing partial as complete,
// and logs in again once the server is back.

#include "support/pgserver.h"
#include "support/testsupport.h"

#include "../query/querytestsupport.h"

#include "app/mainform.h"
#include "connection/loginform.h"
#include "ui/command.h"
#include "ui/errorbox.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>

using namespace querytest;
using testsupport::ModalWatcher;

namespace {

enum class Fault { Halt, KillBackend };

// Trade rows the long list reads: enough for the server to be busy
// sending them for a good part of a second.
constexpr int LongListRows = 300000;

void inject(Fault fault)
{
    if (fault == Fault::Halt)
        pgserver::halt();
    else
        pgserver::terminateBackends();
}

void recover(Fault fault)
{
    if (fault == Fault::Halt)
        pgserver::restart();
}

void addFaultRows()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("server stopped") << Fault::Halt;
    QTest::newRow("backend killed") << Fault::KillBackend;
}

// The one error box a failed command showed: the application's box with
// the driver's words for a lost connection.
void verifyConnectionLostBox(const ModalWatcher &watcher)
{
    QCOMPARE(watcher.records.size(), 1);
    const testsupport::ModalRecord &box = watcher.records.first();
    qInfo("error box: %s", qPrintable(box.text));
    QCOMPARE(box.title, applicationTitle());
    QCOMPARE(box.icon, int(QMessageBox::Critical));
    QVERIFY2(box.text.contains(QLatin1String("[08")) || box.text.contains(QLatin1String("connection"))
                 || box.text.contains(QLatin1String("terminat")),
             qPrintable(box.text));
}

} // namespace

Q_DECLARE_METATYPE(Fault)

class ServerFaultsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        PGSERVER_REQUIRE();
        m_tradeRows = pgserver::value(QStringLiteral("select count(*) from ashare_cjhb"));
        // A second table as long as the long list needs, swapped in by name.
        pgserver::exec(QStringLiteral("create table long_cjhb as select * from ashare_cjhb, generate_series(1, %1)")
                           .arg(LongListRows / m_tradeRows.toInt() + 1));
        pgserver::exec(QStringLiteral("alter table long_cjhb drop column generate_series; alter table long_cjhb owner to qtrl"));
    }

    void init()
    {
        m_forms = std::make_unique<testsupport::Forms>();
        logIn();
        queryform->show();
        QVERIFY(QTest::qWaitForWindowExposed(queryform));
    }

    void cleanup()
    {
        pgserver::thaw();
        try {
            pgserver::restart();
        } catch (const std::exception &) {
            // It was running.
        }
        m_forms.reset();
    }

    // Fault between two commands: the next command shows the error box with
    // the driver's message, the window keeps going, and a logout and a new
    // login work again once the server is back.
    void faultBetweenCommands_data() { addFaultRows(); }
    void faultBetweenCommands()
    {
        QFETCH(Fault, fault);
        click(QStringLiteral("Button1"));
        QCOMPARE(labelText(QStringLiteral("Label12")), m_tradeRows);

        inject(fault);
        {
            ModalWatcher watcher;
            click(QStringLiteral("Button4"));
            verifyConnectionLostBox(watcher);
        }
        QVERIFY(!datamod->qry2->active());
        QVERIFY(labelText(QStringLiteral("Label15")).isEmpty());
        // The trade rows listed before the fault are still shown as they were.
        QCOMPARE(grid(1)->model()->rowCount(), m_tradeRows.toInt());

        recover(fault);
        relogIn();
        click(QStringLiteral("Button4"));
        QCOMPARE(labelText(QStringLiteral("Label15")),
                 pgserver::value(QStringLiteral("select count(*) from ashare_ordwth")));
    }

    // Fault while the server sends a long list: the command fails as a
    // whole; the grid shows no rows and the count label keeps the count of
    // the last list that succeeded.
    void faultDuringLongList_data() { addFaultRows(); }
    void faultDuringLongList()
    {
        QFETCH(Fault, fault);
        type(QStringLiteral("Edit2"), QStringLiteral("600519"));
        click(QStringLiteral("Button2"));
        const QString before = labelText(QStringLiteral("Label12"));
        QVERIFY(!before.isEmpty());

        useLongTable(true);
        std::atomic<bool> injected{false};
        std::unique_ptr<QThread> injector(QThread::create([&] {
            QElapsedTimer waited;
            waited.start();
            while (pgserver::activeStatements() == 0 && waited.elapsed() < 20000)
                QThread::msleep(10);
            inject(fault);
            injected = true;
        }));
        injector->start();
        {
            ModalWatcher watcher;
            click(QStringLiteral("Button1"));
            QVERIFY(injector->wait(30000));
            QVERIFY(injected);
            verifyConnectionLostBox(watcher);
        }
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(grid(1)->model()->rowCount(), 0);
        QCOMPARE(labelText(QStringLiteral("Label12")), before);

        recover(fault);
        useLongTable(false);
        relogIn();
        click(QStringLiteral("Button1"));
        QCOMPARE(labelText(QStringLiteral("Label12")), m_tradeRows);
    }

    // A server that accepts the connection and never answers: the login
    // ends in its failure box within the login time-out (15 s).
    void loginToSilentServerTimesOut()
    {
        mainform->N7Click();
        testsupport::writeDbset("[ConDBSet]\r\nSQLUser=" + pgserver::user().toUtf8() + "\r\nDSN="
                                + pgserver::silentDsn().toUtf8() + "\r\nDATABASE="
                                + pgserver::database().toUtf8() + "\r\n");
        loginform->show();
        QTest::keyClicks(testsupport::child<QLineEdit>(loginform, "Edit2"), pgserver::password());
        QList<testsupport::ModalRecord> boxes;
        ModalWatcher watcher([&](QWidget *modal, const testsupport::ModalRecord &record) {
            boxes << record;
            closeModal(modal);
        });
        QElapsedTimer elapsed;
        elapsed.start();
        testsupport::child<QPushButton>(loginform, "Button1")->click();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 25000);
        qInfo("login failed after %lld ms", elapsed.elapsed());
        QVERIFY2(elapsed.elapsed() < 20000, qPrintable(QString::number(elapsed.elapsed())));
        QCOMPARE(boxes.first().text, QStringLiteral("数据库登录错误"));
        QVERIFY(!datamod->con->connected());
        QVERIFY(mainform->N2()->isEnabled());
    }

    // A server frozen mid-query (SIGSTOP): "取消" still ends the command,
    // with "操作已取消", in the logged-out state; after the server is back a
    // new login lists again.
    void frozenServerLeavesWorkingCancel()
    {
        pgserver::freeze();
        QElapsedTimer sinceCancel;
        QList<testsupport::ModalRecord> boxes;
        ModalWatcher watcher([&](QWidget *modal, const testsupport::ModalRecord &record) {
            boxes << record;
            closeModal(modal);
        });
        // The operator clicks "取消" once the progress window shows.
        QTimer canceller;
        QObject::connect(&canceller, &QTimer::timeout, [&] {
            QProgressDialog *progress = commandProgressWindow();
            if (sinceCancel.isValid() || !progress || !progress->isVisible())
                return;
            for (QAbstractButton *button : progress->findChildren<QAbstractButton *>()) {
                if (button->text() == QStringLiteral("取消")) {
                    sinceCancel.start();
                    button->click();
                }
            }
        });
        canceller.start(20);
        click(QStringLiteral("Button1"));
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, 10000);
        QVERIFY(sinceCancel.isValid());
        qInfo("command ended %lld ms after the cancel", sinceCancel.elapsed());
        QVERIFY2(sinceCancel.elapsed() < 4000, qPrintable(QString::number(sinceCancel.elapsed())));
        QCOMPARE(boxes.first().text, errorBoxText(QStringLiteral("操作已取消")));
        QVERIFY(!datamod->con->connected());
        QVERIFY(mainform->N2()->isEnabled());
        QVERIFY(labelText(QStringLiteral("Label12")).isEmpty());

        pgserver::thaw();
        logIn();
        click(QStringLiteral("Button1"));
        QCOMPARE(labelText(QStringLiteral("Label12")), m_tradeRows);
    }

private:
    static void logIn()
    {
        testsupport::logIn(pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database());
    }

    // Logout ("退出登录") and a new login, as the operator recovers.
    static void relogIn()
    {
        mainform->N7Click();
        QVERIFY(!datamod->con->connected());
        logIn();
        testsupport::verifyLoggedInState(pgserver::user());
    }

    // The long table takes the name the list statement reads, or gives it back.
    static void useLongTable(bool on)
    {
        pgserver::exec(on ? QStringLiteral("alter table ashare_cjhb rename to short_cjhb;"
                                           " alter table long_cjhb rename to ashare_cjhb")
                          : QStringLiteral("alter table ashare_cjhb rename to long_cjhb;"
                                           " alter table short_cjhb rename to ashare_cjhb"));
    }

    QString m_tradeRows;
    std::unique_ptr<testsupport::Forms> m_forms;
};

SQLTOOL_SERVER_TEST_MAIN(ServerFaultsTest, "tst_serverfaults")
#include "tst_serverfaults.moc"
