#include "db/worker.h"

#include <QMetaObject>
#include <QPointer>

DatabaseWorker::DatabaseWorker(const QString &name)
    : m_name(name)
{
}

DatabaseWorker::~DatabaseWorker()
{
    std::shared_ptr<CommandRun> last;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        last = m_last;
    }
    if (last) {
        last->control().requestCancel();
        last->wait(1000);
    }
}

std::shared_ptr<CommandRun> DatabaseWorker::post(CommandRun::Work work)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    // Each job waits for the one before it, so the connection is used by one
    // job at a time, in order.
    std::shared_ptr<CommandRun> previous = m_last;
    m_last = CommandRun::start([previous, work = std::move(work)](CommandControl &control) {
        if (previous)
            while (!previous->wait(100)) {
            }
        control.throwIfCancelled();
        work(control);
    });
    return m_last;
}

std::shared_ptr<CommandRun> DatabaseWorker::post(CommandRun::Work work, QObject *context,
                                                 std::function<void(std::exception_ptr)> done)
{
    std::shared_ptr<CommandRun> run = post(std::move(work));
    std::weak_ptr<CommandRun> weak = run;
    QPointer<QObject> guard(context);
    run->setEndListener([weak, guard, done = std::move(done)] {
        // Called under the run's lock: its error is read on the context's thread.
        std::shared_ptr<CommandRun> ended = weak.lock();
        if (guard)
            QMetaObject::invokeMethod(
                guard.data(), [done, ended] { done(ended ? ended->error() : nullptr); },
                Qt::QueuedConnection);
    });
    return run;
}
