#include "db/worker.h"

#include "base/platform.h"

#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> leftBehind{0};

// A thread that says when its function has returned, so that it can be
// joined without waiting longer than the exit rule allows.
class OwnedThread
{
public:
    template <typename Function>
    explicit OwnedThread(Function function)
        : m_end(std::make_shared<End>())
    {
        m_thread = std::thread([end = m_end, function = std::move(function)]() mutable {
            function();
            const std::lock_guard<std::mutex> lock(end->mutex);
            end->exited = true;
            end->changed.notify_all();
        });
    }

    ~OwnedThread()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

    OwnedThread(const OwnedThread &) = delete;
    OwnedThread &operator=(const OwnedThread &) = delete;

    // Joins the thread when it ends within `milliseconds`, else leaves it.
    void joinOrLeave(qint64 milliseconds)
    {
        bool exited;
        {
            std::unique_lock<std::mutex> lock(m_end->mutex);
            exited = m_end->changed.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                             [this] { return m_end->exited; });
        }
        if (exited)
            m_thread.join();
        else
            leave();
    }

    // The one place a thread is detached: it holds only shared state.
    void leave()
    {
        m_thread.detach();
        ++leftBehind;
    }

private:
    struct End
    {
        std::mutex mutex;
        std::condition_variable changed;
        bool exited = false;
    };
    std::shared_ptr<End> m_end;
    std::thread m_thread;
};

// Tells the context's thread that a job ended, through a queued connection
// that Qt drops when the receiver is destroyed.
class EndNotifier : public QObject
{
    Q_OBJECT
signals:
    void ended();
};

} // namespace

struct DatabaseWorker::Queue
{
    struct Job
    {
        std::shared_ptr<CommandRun> run;
        CommandRun::Work work;
        std::function<void()> notify;
    };
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<Job> jobs;
    bool stopping = false;
};

// One thread taking jobs from the queue, until it is stopped or left behind.
struct DatabaseWorker::Lane
{
    struct State
    {
        // Guarded by the queue's mutex.
        bool left = false;
        std::shared_ptr<CommandRun> running;
    };

    Lane(std::shared_ptr<Queue> queue, const QString &name)
        : state(std::make_shared<State>())
        , thread([queue, state = state, name] { run(*queue, *state, name); })
    {
    }

    static void run(Queue &queue, State &state, const QString &name)
    {
        platform::nameThisThread(name);
        for (;;) {
            Queue::Job job;
            {
                std::unique_lock<std::mutex> lock(queue.mutex);
                queue.wake.wait(lock, [&] { return state.left || queue.stopping || !queue.jobs.empty(); });
                if (state.left || queue.jobs.empty())
                    return;
                job = std::move(queue.jobs.front());
                queue.jobs.pop_front();
                state.running = job.run;
            }
            job.run->execute(job.work);
            if (job.notify)
                job.notify();
            job = {};
            const std::lock_guard<std::mutex> lock(queue.mutex);
            state.running.reset();
        }
    }

    std::shared_ptr<State> state;
    OwnedThread thread;
};

// Calls SQLCancel (and whatever else may block) for the worker's jobs, so
// that neither the UI thread nor the job's own thread waits on it.
class DatabaseWorker::Canceller
{
public:
    explicit Canceller(const QString &name)
        : m_state(std::make_shared<State>())
        , m_thread([state = m_state, name] { run(*state, name); })
    {
    }

    CommandControl::Interrupter interrupter() const
    {
        return [state = m_state](std::function<void()> call) {
            const std::lock_guard<std::mutex> lock(state->mutex);
            if (state->stopping)
                return; // the worker is gone; the cancel flag alone remains
            state->calls.push_back(std::move(call));
            state->wake.notify_one();
        };
    }

    // Runs the calls already asked for, then ends.
    void stop(qint64 milliseconds)
    {
        {
            const std::lock_guard<std::mutex> lock(m_state->mutex);
            m_state->stopping = true;
            m_state->wake.notify_one();
        }
        m_thread.joinOrLeave(milliseconds);
    }

private:
    struct State
    {
        std::mutex mutex;
        std::condition_variable wake;
        std::deque<std::function<void()>> calls;
        bool stopping = false;
    };

    static void run(State &state, const QString &name)
    {
        platform::nameThisThread(name + QStringLiteral(" cancel"));
        std::unique_lock<std::mutex> lock(state.mutex);
        for (;;) {
            state.wake.wait(lock, [&] { return state.stopping || !state.calls.empty(); });
            if (state.calls.empty())
                return;
            std::function<void()> call = std::move(state.calls.front());
            state.calls.pop_front();
            lock.unlock();
            call();
            call = nullptr;
            lock.lock();
        }
    }

    std::shared_ptr<State> m_state;
    OwnedThread m_thread;
};

DatabaseWorker::DatabaseWorker(const QString &name)
    : m_name(name)
    , m_queue(std::make_shared<Queue>())
    , m_canceller(std::make_unique<Canceller>(name))
{
    startLane();
}

DatabaseWorker::~DatabaseWorker()
{
    qint64 waitMs = CommandGiveUpMs;
    {
        const std::lock_guard<std::mutex> lock(m_queue->mutex);
        m_queue->stopping = true;
        for (Queue::Job &job : m_queue->jobs)
            job.run->control().requestCancel();
        if (const std::shared_ptr<CommandRun> &running = m_lane->state->running) {
            running->control().requestCancel();
            waitMs = running->control().msUntilGivenUp();
        }
        m_queue->wake.notify_all();
    }
    const auto start = std::chrono::steady_clock::now();
    m_lane->thread.joinOrLeave(waitMs);
    const qint64 spentMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    // An idle canceller ends at once; a short grace keeps it from being left
    // behind for nothing.
    constexpr qint64 GraceMs = 100;
    m_canceller->stop(std::max(waitMs - spentMs, GraceMs));
}

void DatabaseWorker::startLane()
{
    m_lane = std::make_unique<Lane>(m_queue, m_name);
}

std::shared_ptr<CommandRun> DatabaseWorker::newRun() const
{
    std::shared_ptr<CommandRun> run(new CommandRun);
    run->control().setInterrupter(m_canceller->interrupter());
    return run;
}

void DatabaseWorker::enqueue(const std::shared_ptr<CommandRun> &run, CommandRun::Work work,
                             std::function<void()> notify)
{
    const std::lock_guard<std::mutex> lock(m_queue->mutex);
    const std::shared_ptr<CommandRun> &running = m_lane->state->running;
    if (running && running->control().givenUp()) {
        m_lane->state->left = true;
        m_lane->thread.leave();
        startLane();
    }
    m_queue->jobs.push_back({run, std::move(work), std::move(notify)});
    m_queue->wake.notify_all();
}

std::shared_ptr<CommandRun> DatabaseWorker::post(CommandRun::Work work)
{
    std::shared_ptr<CommandRun> run = newRun();
    enqueue(run, std::move(work), {});
    return run;
}

std::shared_ptr<CommandRun> DatabaseWorker::post(CommandRun::Work work, QObject *context,
                                                 std::function<void(std::exception_ptr)> done)
{
    // Emitted on the worker's thread, but a QObject is deleted only on its
    // own thread: the notifier lives on the context's and is handed back to
    // it for deletion, after the queued call it posted.
    std::shared_ptr<EndNotifier> notifier(new EndNotifier, [](EndNotifier *ended) { ended->deleteLater(); });
    notifier->moveToThread(context->thread());
    std::shared_ptr<CommandRun> run = newRun();
    QObject::connect(notifier.get(), &EndNotifier::ended, context,
                     [run, done = std::move(done)] { done(run->error()); }, Qt::QueuedConnection);
    enqueue(run, std::move(work), [notifier] { emit notifier->ended(); });
    return run;
}

int DatabaseWorker::threadsLeftBehind()
{
    return leftBehind.load();
}

#include "worker.moc"
