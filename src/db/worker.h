#pragma once

// The database worker: one long-lived thread per connection runs that
// connection's jobs in order.
//
// The rules of database work, for every thread of the program:
//
// - Ownership. A job runs on its worker's thread from start to end. A
//   statement handle lives inside one call of one job and is used, cancelled
//   only as below, and freed on that thread. A connection handle is shared
//   through ConnectionLink; its last owner frees it on its own thread.
// - What crosses threads. Only values: a job captures by value what it
//   uses (QString, shared pointers to immutable calls, a shared slot for the
//   result), never a caller's locals, since it may outlive the caller. A
//   result comes back through the job's captures once CommandRun::ended(),
//   or in the `done` call on the poster's thread. Errors are caught on the
//   worker and kept in the run (CommandRun::error()); nothing is thrown
//   across threads or through Qt's frames.
// - Cancel. CommandControl::requestCancel() may be called on any thread at
//   any time, before the start and after the end included. A job that has
//   not started ends with OperationCancelled without running. A running job
//   sees the cancel between blocks and rows; while a statement executes
//   (CommandControl::Interruptible) the worker's canceller thread calls
//   SQLCancel on it: only then, never during a fetch, and the statement is
//   not freed before SQLCancel has returned. The memory watch of a list
//   (db/memorywatch.h) cancels the same way, when memory runs short while
//   the statement executes. A call that cannot be
//   interrupted but may be left running (a connect, closing a workbook) is
//   marked CommandControl::Abandonable.
// - Give-up. A cancelled job is given up CommandGiveUpMs after the cancel,
//   or at once when it is in an abandonable call (CommandControl::givenUp()).
//   A given-up job is left behind: its thread is no longer the worker's and
//   ends when the job's call returns, freeing what the job holds there; the
//   next job posted runs on a new thread. The one who gave up treats the
//   connection as lost when the job was a database call (Connection::abandon).
// - Exit. Destroying the worker cancels every job, queued or running, and
//   joins its threads. A thread still in a call once its job is given up is
//   left behind by the same rule instead of being joined. That rule, here in
//   the worker, is the only place the program leaves a thread running; a
//   program ending with such a thread calls odbc::leaveHandlesAtExit().

#include "db/command.h"

#include <QString>

#include <exception>
#include <functional>
#include <memory>

class QObject;

class DatabaseWorker
{
public:
    explicit DatabaseWorker(const QString &name); // starts the thread, named for debuggers
    ~DatabaseWorker();                             // see "Exit" above
    DatabaseWorker(const DatabaseWorker &) = delete;
    DatabaseWorker &operator=(const DatabaseWorker &) = delete;

    // Queues `work`; it runs on this worker's thread after every job posted
    // before it. Any thread may post.
    std::shared_ptr<CommandRun> post(CommandRun::Work work);
    // The same; afterwards calls `done` on `context`'s thread (queued), with
    // the work's exception (null on success), and not at all when `context`
    // is destroyed by then.
    std::shared_ptr<CommandRun> post(CommandRun::Work work, QObject *context,
                                     std::function<void(std::exception_ptr)> done);

    // Threads left behind so far by workers of this process (for tests).
    static int threadsLeftBehind();

private:
    struct Queue;
    struct Lane;
    class Canceller;
    void startLane();
    std::shared_ptr<CommandRun> newRun() const;
    void enqueue(const std::shared_ptr<CommandRun> &run, CommandRun::Work work, std::function<void()> notify);

    QString m_name;
    std::shared_ptr<Queue> m_queue;
    std::unique_ptr<Lane> m_lane;
    std::unique_ptr<Canceller> m_canceller;
};
