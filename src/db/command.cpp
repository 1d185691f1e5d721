#include "db/command.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
const QString CancelledText = QStringLiteral("操作已取消");
} // namespace

// The statement being executed, guarded against being freed while a helper
// thread cancels it.
struct CommandControl::Executing
{
    std::mutex mutex;
    SQLHSTMT statement = SQL_NULL_HSTMT;
};

CommandControl::CommandControl()
    : m_executing(std::make_shared<Executing>())
{
}

CommandControl::~CommandControl() = default;

bool CommandControl::cancelRequested() const
{
    return m_cancel.load();
}

void CommandControl::requestCancel()
{
    if (m_cancel.exchange(true))
        return;
    // SQLCancel may block for as long as the server does not answer, so it
    // runs on a helper thread of its own.
    std::thread([executing = m_executing] {
        const std::lock_guard<std::mutex> lock(executing->mutex);
        if (executing->statement != SQL_NULL_HSTMT)
            SQLCancel(executing->statement);
    }).detach();
}

void CommandControl::addRows(qint64 n)
{
    m_rows.fetch_add(n);
}

qint64 CommandControl::rows() const
{
    return m_rows.load();
}

void CommandControl::throwIfCancelled() const
{
    if (cancelRequested())
        throw OperationCancelled();
}

bool CommandControl::abandonable() const
{
    return m_abandonable.load();
}

CommandControl::Interruptible::Interruptible(CommandControl *control, SQLHSTMT statement)
    : m_control(control)
{
    if (!m_control)
        return;
    {
        const std::lock_guard<std::mutex> lock(m_control->m_executing->mutex);
        m_control->m_executing->statement = statement;
    }
    // A cancel that came before the statement was registered found nothing
    // to interrupt: it ends the work here instead.
    if (m_control->cancelRequested()) {
        const std::lock_guard<std::mutex> lock(m_control->m_executing->mutex);
        m_control->m_executing->statement = SQL_NULL_HSTMT;
        throw OperationCancelled();
    }
}

CommandControl::Interruptible::~Interruptible()
{
    if (!m_control)
        return;
    // Waits for a SQLCancel in progress on the statement.
    const std::lock_guard<std::mutex> lock(m_control->m_executing->mutex);
    m_control->m_executing->statement = SQL_NULL_HSTMT;
}

CommandControl::Abandonable::Abandonable(CommandControl *control)
    : m_control(control)
{
    if (m_control)
        m_control->m_abandonable = true;
}

CommandControl::Abandonable::~Abandonable()
{
    if (m_control)
        m_control->m_abandonable = false;
}

OperationCancelled::OperationCancelled()
    : DatabaseError(CancelledText)
{
}

struct CommandRun::Sync
{
    mutable std::mutex mutex;
    std::condition_variable endedChanged;
    bool ended = false;
    std::function<void()> listener;
};

std::shared_ptr<CommandRun> CommandRun::start(Work work)
{
    std::shared_ptr<CommandRun> run(new CommandRun);
    run->m_sync = std::make_unique<Sync>();
    // Detached: a call that never returns must not hold up anyone.
    std::thread([run, work = std::move(work)]() mutable { run->run(std::move(work)); }).detach();
    return run;
}

CommandRun::~CommandRun() = default;

void CommandRun::run(Work work)
{
    try {
        work(m_control);
    } catch (...) {
        m_error = std::current_exception();
    }
    // What the work holds (statements, a connection given up) is freed here,
    // on the thread that used it.
    work = nullptr;
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    m_sync->ended = true;
    m_sync->endedChanged.notify_all();
    if (m_sync->listener)
        m_sync->listener();
}

bool CommandRun::ended() const
{
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    return m_sync->ended;
}

bool CommandRun::wait(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_sync->mutex);
    return m_sync->endedChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                         [this] { return m_sync->ended; });
}

void CommandRun::setEndListener(std::function<void()> listener)
{
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    if (listener && m_sync->ended) {
        listener();
        return;
    }
    m_sync->listener = std::move(listener);
}

std::exception_ptr CommandRun::error() const
{
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    return m_error;
}
