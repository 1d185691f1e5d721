#include "flow/flowwatch.h"

#include "db/command.h"
#include "db/errors.h"
#include "db/memoryshortage.h"
#include "db/worker.h"
#include "flow/flowreader.h"

#include <algorithm>

namespace flow {

struct FlowWatch::Result
{
    Snapshot snapshot;
    qint64 rowsRead = 0;
    qint64 rowsHeld = 0;
    QStringList notes;
};

namespace {

// The running refresh has waited longer than the interval, with a little
// to spare for the timer.
constexpr int WaitSlackMs = 50;

const QString OutOfMemoryText = QStringLiteral("内存不足，已停止自动刷新，按“刷新”重试");

} // namespace

FlowWatch::FlowWatch(QString odbcConnectionString, QString database, QObject *parent)
    : QObject(parent)
    , m_connectionString(std::move(odbcConnectionString))
    , m_database(std::move(database))
    , m_session(std::make_shared<FlowSession>(m_connectionString, m_database))
    , m_worker(std::make_unique<DatabaseWorker>(QStringLiteral("monitor")))
    , m_querySeconds(DefaultQuerySeconds)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FlowWatch::refreshNow);
    m_waitTicker.setSingleShot(false);
    connect(&m_waitTicker, &QTimer::timeout, this, &FlowWatch::checkWaiting);
}

FlowWatch::~FlowWatch()
{
    // The session goes with the worker's last job, on its thread; the worker
    // cancels a running refresh and joins (see db/worker.h).
    m_worker->post([session = std::move(m_session)](CommandControl &) mutable { session.reset(); });
}

void FlowWatch::setInterval(int seconds)
{
    m_interval = seconds;
    if (m_timer.isActive())
        m_timer.start(seconds * 1000);
}

void FlowWatch::start(const void *viewer)
{
    if (std::find(m_viewers.begin(), m_viewers.end(), viewer) == m_viewers.end())
        m_viewers.push_back(viewer);
    m_running = true;
    m_heldForMemory = false;
    refreshNow();
}

void FlowWatch::pause(const void *viewer)
{
    m_viewers.erase(std::remove(m_viewers.begin(), m_viewers.end(), viewer), m_viewers.end());
    if (!m_viewers.empty())
        return;
    m_running = false;
    m_heldForMemory = false;
    m_again = false;
    m_timer.stop();
    if (m_busy && m_run)
        m_run->control().requestCancel();
}

void FlowWatch::refreshNow()
{
    if (m_busy) {
        m_again = true; // once the running refresh ends
        return;
    }
    m_busy = true;
    m_timer.stop();
    m_started = QDateTime::currentDateTime();
    m_waitTicker.start(m_interval * 1000 + WaitSlackMs);
    auto result = std::make_shared<Result>();
    m_run = m_worker->post(
        [session = m_session, result, timeout = m_timeoutSeconds, query = m_querySeconds,
         burst = m_rejectBurst](CommandControl &control) {
            session->setQuerySeconds(query);
            session->model().setRejectBurst(burst);
            try {
                result->snapshot = session->refresh(timeout, &control);
            } catch (...) {
                result->notes = session->notes();
                throw;
            }
            result->rowsRead = session->rowsRead();
            result->rowsHeld = session->rowsHeld();
            result->notes = session->notes();
        },
        this, [this, result](std::exception_ptr error) { refreshEnded(error, result); });
}

CommandRun::Work FlowWatch::sessionJob(std::function<void(FlowSession &, CommandControl &)> job) const
{
    return [session = m_session, job = std::move(job)](CommandControl &control) { job(*session, control); };
}

void FlowWatch::replaceSession()
{
    m_session = std::make_shared<FlowSession>(m_connectionString, m_database);
}

void FlowWatch::checkWaiting()
{
    if (!m_busy || m_started.msecsTo(QDateTime::currentDateTime()) < qint64(m_interval) * 1000)
        return;
    m_waitTicker.setInterval(1000);
    if (m_health.state != Health::Waiting)
        m_settled = m_health;
    m_health.state = Health::Waiting;
    m_health.since = m_started;
    m_health.message.clear();
    m_health.table = m_session->readingTable();
    m_health.timedOut = false;
    emit healthChanged();
}

void FlowWatch::refreshEnded(std::exception_ptr error, const std::shared_ptr<Result> &result)
{
    m_busy = false;
    m_waitTicker.stop();
    const bool cancelled = m_run && m_run->control().cancelRequested();
    m_run.reset();
    const Health before = m_health;
    if (error && cancelled) {
        // Paused: the refresh was not the database's failure.
        if (m_health.state == Health::Waiting) {
            m_health = m_settled;
            emit healthChanged();
        }
        scheduleNext();
        return;
    }
    m_notes = result->notes;
    if (error && isMemoryShortage(error)) {
        // The session let go of its model; refreshing on its own would read
        // the whole day and run out again, so the operator asks for it. The
        // figures shown stay. The driver's own text is for the log.
        qWarning("monitor refresh out of memory: %s", qUtf8Printable(errorText(error)));
        m_heldForMemory = m_heldForMemory || m_running;
        m_running = false;
        m_health = {Health::Failed, QDateTime::currentDateTime(), OutOfMemoryText, QString(), false};
    } else if (error) {
        m_health = {Health::Failed, QDateTime::currentDateTime(), errorText(error), QString(), false};
        try {
            std::rethrow_exception(error);
        } catch (const ReadError &e) {
            m_health.table = e.table();
            m_health.timedOut = e.timedOut();
        } catch (...) {
        }
    } else {
        m_snapshot = std::move(result->snapshot);
        m_snapshotTime = QDateTime::currentDateTime();
        m_rowsRead = result->rowsRead;
        m_rowsHeld = result->rowsHeld;
        m_running = m_running || m_heldForMemory;
        m_heldForMemory = false;
        m_health = {Health::Ok, m_snapshotTime, QString(), QString(), false};
    }
    if (before.state != m_health.state || before.message != m_health.message || before.table != m_health.table
        || before.timedOut != m_health.timedOut)
        emit healthChanged();
    scheduleNext();
    emit refreshed(!error);
}

void FlowWatch::scheduleNext()
{
    if (m_again) {
        m_again = false;
        m_timer.start(0);
    } else if (m_running) {
        m_timer.start(m_interval * 1000);
    }
}

} // namespace flow
