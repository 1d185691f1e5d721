#pragma once

// One database watched as the monitor shows it: its session (connection,
// reader and model) on a worker of its own, refreshed every few seconds, and
// how the database answered. A FlowWatch lives on the UI thread; its session
// is used on its worker only, and a refresh hands back values (see
// db/worker.h).

#include "db/command.h"
#include "flow/orderflow.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class CommandRun;
class DatabaseWorker;

namespace flow {

class FlowSession;

// How the watched database answered.
struct Health
{
    enum State {
        Idle,    // not read yet
        Ok,      // the last refresh succeeded
        Waiting, // a refresh has waited longer than the interval
        Failed,  // the last refresh failed (the next one connects again)
    };
    State state = Idle;
    // Waiting: when the waiting refresh started; Failed: when it failed.
    QDateTime since;
    // Failed: the reason.
    QString message;
    // Waiting: the table being read; Failed: the table that was being read
    // (empty when none, e.g. while connecting).
    QString table;
    // Failed: a statement ran out of its time-out (FlowWatch::querySeconds()).
    bool timedOut = false;
};

class FlowWatch : public QObject
{
    Q_OBJECT
public:
    // `odbcConnectionString` and `database` as the login's connection has
    // them; nothing is read before start() or refreshNow().
    FlowWatch(QString odbcConnectionString, QString database, QObject *parent = nullptr);
    // Cancels a running refresh; the session goes with the worker.
    ~FlowWatch() override;

    // The connection string and the database it reads.
    const QString &connectionString() const { return m_connectionString; }
    const QString &database() const { return m_database; }
    // Seconds between refreshes (1 to 60).
    void setInterval(int seconds);
    int interval() const { return m_interval; }
    // Seconds after which an order unsent or unconfirmed is a finding.
    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }
    int timeoutSeconds() const { return m_timeoutSeconds; }
    // Seconds each statement may execute before it fails as timed out
    // (from the next refresh on).
    void setQuerySeconds(int seconds) { m_querySeconds = seconds; }
    int querySeconds() const { return m_querySeconds; }
    // Rejections within one clock minute that make a finding of a burst.
    void setRejectBurst(int rejections) { m_rejectBurst = rejections; }

    // Refreshes at once and then every interval while anyone views it:
    // several windows may show one watch, each starting and pausing it as
    // itself (`viewer`), and it pauses when the last of them did. A refresh
    // that runs out of memory (its health Failed, "内存不足…") stops the
    // refreshes until one asked for by refreshNow() succeeds. Pausing
    // cancels a running refresh (its statement too): it hands in nothing,
    // and the health is again what it was before it began to wait.
    void start(const void *viewer = nullptr);
    void pause(const void *viewer = nullptr);
    bool running() const { return m_running; }
    // A refresh at once; while one runs, another right after it.
    void refreshNow();
    bool refreshing() const { return m_busy; }

    const Snapshot &snapshot() const { return m_snapshot; }
    // The clock time the snapshot was read at; null before the first.
    QDateTime snapshotTime() const { return m_snapshotTime; }
    // Rows the last successful refresh fetched from the database.
    qint64 rowsRead() const { return m_rowsRead; }
    // Rows of the three tables held after it.
    qint64 rowsHeld() const { return m_rowsHeld; }
    // What the operator should know about the database, learnt when the
    // session connected (indexes missing); empty when nothing.
    QStringList notes() const { return m_notes; }
    const Health &health() const { return m_health; }

    // Work beside the refreshes on the watched session (the day-end
    // reconciliation): a job for worker(), which runs it after the jobs
    // posted before it and hands it the session; the session is used on
    // that worker only. The job captures the session, not the watch.
    DatabaseWorker &worker() const { return *m_worker; }
    CommandRun::Work sessionJob(std::function<void(FlowSession &, CommandControl &)> job) const;
    // Such a job was given up and left running with the session: a new
    // session takes its place, connecting anew and reading the day again at
    // the next refresh. The watch, its figures and its health stay.
    void replaceSession();

signals:
    // A refresh ended; `ok` false when it failed (health() says why).
    void refreshed(bool ok);
    // health() changed: a refresh began to wait (an interval after it
    // started), waits on (every second), or ended waiting, failed or succeeded.
    void healthChanged();

private:
    struct Result;
    void refreshEnded(std::exception_ptr error, const std::shared_ptr<Result> &result);
    void checkWaiting();
    void scheduleNext();

    std::vector<const void *> m_viewers;
    QString m_connectionString;
    QString m_database;
    std::shared_ptr<FlowSession> m_session;
    std::unique_ptr<DatabaseWorker> m_worker;
    std::shared_ptr<CommandRun> m_run; // the running refresh
    QTimer m_timer;       // the next refresh
    QTimer m_waitTicker;  // while a refresh runs: an interval, then every second
    Snapshot m_snapshot;
    QDateTime m_snapshotTime;
    QDateTime m_started;  // the running refresh
    Health m_health;
    Health m_settled; // the health before the running refresh began to wait
    qint64 m_rowsRead = 0;
    qint64 m_rowsHeld = 0;
    QStringList m_notes;
    int m_interval = 5;
    int m_timeoutSeconds = 10;
    int m_querySeconds;
    int m_rejectBurst = 20;
    bool m_running = false;
    bool m_heldForMemory = false; // running, stopped when memory ran out until a refresh succeeds
    bool m_busy = false;
    bool m_again = false;
};

} // namespace flow
