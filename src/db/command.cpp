#include "db/command.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

const QString CancelledText = QStringLiteral("操作已取消");

qint64 nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

// The statement being executed, guarded against being freed while another
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

void CommandControl::setInterrupter(Interrupter interrupter)
{
    m_interrupter = std::move(interrupter);
}

void CommandControl::requestCancel()
{
    qint64 unset = 0; // the first request starts the give-up time
    m_cancelledAtMs.compare_exchange_strong(unset, nowMs());
    if (m_cancel.exchange(true))
        return;
    auto interrupt = [executing = m_executing] {
        const std::lock_guard<std::mutex> lock(executing->mutex);
        if (executing->statement != SQL_NULL_HSTMT)
            SQLCancel(executing->statement);
    };
    if (m_interrupter)
        m_interrupter(std::move(interrupt));
    else
        interrupt();
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

qint64 CommandControl::msUntilGivenUp() const
{
    if (!cancelRequested())
        return CommandGiveUpMs;
    if (abandonable())
        return 0;
    return std::max<qint64>(0, m_cancelledAtMs.load() + CommandGiveUpMs - nowMs());
}

bool CommandControl::givenUp() const
{
    return cancelRequested() && msUntilGivenUp() == 0;
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
    std::condition_variable changed;
    bool ended = false;
    std::function<void()> listener;
    // The thread calling the listener, while it does.
    std::thread::id calling;
};

CommandRun::CommandRun()
    : m_sync(std::make_unique<Sync>())
{
}

CommandRun::~CommandRun() = default;

void CommandRun::execute(Work &work)
{
    try {
        m_control.throwIfCancelled();
        work(m_control);
    } catch (...) {
        m_error = std::current_exception();
    }
    // What the work holds (statements, a connection given up) is freed here,
    // on the thread that used it.
    work = nullptr;
    std::function<void()> listener;
    {
        const std::lock_guard<std::mutex> lock(m_sync->mutex);
        m_sync->ended = true;
        listener = std::move(m_sync->listener);
        m_sync->listener = nullptr;
        if (listener)
            m_sync->calling = std::this_thread::get_id();
        m_sync->changed.notify_all();
    }
    if (!listener)
        return;
    listener();
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    m_sync->calling = {};
    m_sync->changed.notify_all();
}

bool CommandRun::ended() const
{
    const std::lock_guard<std::mutex> lock(m_sync->mutex);
    return m_sync->ended;
}

bool CommandRun::wait(int milliseconds)
{
    std::unique_lock<std::mutex> lock(m_sync->mutex);
    return m_sync->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                    [this] { return m_sync->ended; });
}

void CommandRun::setEndListener(std::function<void()> listener)
{
    std::unique_lock<std::mutex> lock(m_sync->mutex);
    const std::thread::id self = std::this_thread::get_id();
    m_sync->changed.wait(lock, [this, self] {
        return m_sync->calling == std::thread::id() || m_sync->calling == self;
    });
    if (listener && m_sync->ended) {
        lock.unlock();
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
