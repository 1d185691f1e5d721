#pragma once

// One long-lived line of work per connection: its jobs run one after the
// other, in the order they were posted, never two at once.
//
// Exit rule: destroying the worker asks the running job to cancel and waits
// for it at most a second; a job still in the driver then ends on its own.

#include "db/command.h"

#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class DatabaseWorker
{
public:
    explicit DatabaseWorker(const QString &name);
    ~DatabaseWorker();
    DatabaseWorker(const DatabaseWorker &) = delete;
    DatabaseWorker &operator=(const DatabaseWorker &) = delete;

    // Queues `work`; it runs after every job posted before it.
    std::shared_ptr<CommandRun> post(CommandRun::Work work);
    // The same; afterwards calls `done` on `context`'s thread (queued), with
    // the work's exception (null on success), and not at all when `context`
    // is destroyed by then.
    std::shared_ptr<CommandRun> post(CommandRun::Work work, QObject *context,
                                     std::function<void(std::exception_ptr)> done);

private:
    QString m_name;
    std::mutex m_mutex;
    std::shared_ptr<CommandRun> m_last;
};
