#include "flow/flowwatch.h"

#include "db/errors.h"
#include "db/worker.h"
#include "flow/flowreader.h"

namespace flow {

struct FlowWatch::Result
{
    Snapshot snapshot;
    qint64 rowsRead = 0;
};

FlowWatch::FlowWatch(QString odbcConnectionString, QString database, QObject *parent)
    : QObject(parent)
    , m_session(std::make_shared<FlowSession>(std::move(odbcConnectionString), std::move(database)))
    , m_worker(std::make_unique<DatabaseWorker>(QStringLiteral("monitor")))
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FlowWatch::refreshNow);
    m_waitTicker.setInterval(1000);
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

void FlowWatch::start()
{
    m_running = true;
    refreshNow();
}

void FlowWatch::pause()
{
    m_running = false;
    m_again = false;
    m_timer.stop();
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
    m_waitTicker.start();
    auto result = std::make_shared<Result>();
    m_worker->post(
        [session = m_session, result, timeout = m_timeoutSeconds](CommandControl &control) {
            result->snapshot = session->refresh(timeout, &control);
            result->rowsRead = session->rowsRead();
        },
        this, [this, result](std::exception_ptr error) { refreshEnded(error, result); });
}

CommandRun::Work FlowWatch::sessionJob(std::function<void(FlowSession &, CommandControl &)> job) const
{
    return [session = m_session, job = std::move(job)](CommandControl &control) { job(*session, control); };
}

void FlowWatch::checkWaiting()
{
    if (!m_busy || m_started.secsTo(QDateTime::currentDateTime()) <= m_interval)
        return;
    m_health.state = Health::Waiting;
    m_health.since = m_started;
    m_health.message.clear();
    emit healthChanged();
}

void FlowWatch::refreshEnded(std::exception_ptr error, const std::shared_ptr<Result> &result)
{
    m_busy = false;
    m_waitTicker.stop();
    const Health before = m_health;
    if (error) {
        m_health = {Health::Failed, QDateTime::currentDateTime(), errorText(error)};
    } else {
        m_snapshot = std::move(result->snapshot);
        m_snapshotTime = QDateTime::currentDateTime();
        m_rowsRead = result->rowsRead;
        m_health = {Health::Ok, m_snapshotTime, QString()};
    }
    if (before.state != m_health.state || before.message != m_health.message)
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
