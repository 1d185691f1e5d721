#pragma once

// Database work that runs on a thread of its own while the user-interface
// thread goes on with its event loop: the control shared with the running
// work, and the run that owns it.

#include "db/odbc.h"

#include <QtGlobal>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

// Shared between the UI thread and the worker running one command.
class CommandControl
{
public:
    CommandControl();
    ~CommandControl();
    CommandControl(const CommandControl &) = delete;
    CommandControl &operator=(const CommandControl &) = delete;

    bool cancelRequested() const;      // atomic; workers check it between blocks/rows
    void requestCancel();
    void addRows(qint64 n);            // progress: rows fetched / written so far (atomic)
    qint64 rows() const;

    // Throws OperationCancelled once a cancel has been requested.
    void throwIfCancelled() const;
    // True while the work is in a call that a cancel may leave running (a connect).
    bool abandonable() const;

    // While alive, a cancel interrupts the statement with SQLCancel, called from
    // a helper thread; the statement is not freed before that call has
    // returned. Only around execution: a fetch is never cancelled this way.
    class Interruptible
    {
    public:
        Interruptible(CommandControl *control, SQLHSTMT statement);
        ~Interruptible();
        Interruptible(const Interruptible &) = delete;
        Interruptible &operator=(const Interruptible &) = delete;

    private:
        CommandControl *m_control;
    };

    // While alive, a cancel ends the command at once and leaves the call to
    // return on its own thread.
    class Abandonable
    {
    public:
        explicit Abandonable(CommandControl *control);
        ~Abandonable();
        Abandonable(const Abandonable &) = delete;
        Abandonable &operator=(const Abandonable &) = delete;

    private:
        CommandControl *m_control;
    };

private:
    struct Executing;
    std::shared_ptr<Executing> m_executing; // shared with a helper thread cancelling
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_abandonable{false};
    std::atomic<qint64> m_rows{0};
};

// Thrown when a command was cancelled; message "操作已取消".
class OperationCancelled : public DatabaseError
{
public:
    OperationCancelled();
};

// One piece of work on a thread of its own. The run is shared by the thread
// and its starter, so it outlives a starter that stops waiting for it.
class CommandRun
{
public:
    using Work = std::function<void(CommandControl &)>;
    // Starts `work` on a new thread. The work is kept until it returns: what
    // it captures must stay valid that long, even when nobody waits any more.
    static std::shared_ptr<CommandRun> start(Work work);
    ~CommandRun();

    CommandControl &control() { return m_control; }
    bool ended() const;
    // Waits at most `milliseconds` for the end; true when the work has ended.
    bool wait(int milliseconds);
    // Called once on the worker thread when the work ends (at once when it
    // already has). Cleared again with nullptr, after which it is never called.
    void setEndListener(std::function<void()> listener);
    // The work's exception when it failed; call after ended().
    std::exception_ptr error() const;

private:
    CommandRun() = default;
    void run(Work work);

    struct Sync;
    CommandControl m_control;
    std::unique_ptr<Sync> m_sync;
    std::exception_ptr m_error;
};
