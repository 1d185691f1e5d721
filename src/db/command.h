#pragma once

// The control of one command and its run. The rules of a command (who owns
// a statement, what crosses threads, cancel, give-up, exit) are stated once,
// at the top of db/worker.h.

#include "db/odbc.h"

#include <QtGlobal>

#include <atomic>
#include <exception>
#include <functional>
#include <memory>

// How long a cancelled command may take to end before it is given up.
constexpr int CommandGiveUpMs = 2000;

// Shared between the UI thread and the worker running one command.
class CommandControl
{
public:
    CommandControl();
    ~CommandControl();
    CommandControl(const CommandControl &) = delete;
    CommandControl &operator=(const CommandControl &) = delete;

    bool cancelRequested() const;      // atomic; workers check it between blocks/rows
    void requestCancel();              // any thread; never blocks
    void addRows(qint64 n);            // progress: rows fetched / written so far (atomic)
    qint64 rows() const;

    // Throws OperationCancelled once a cancel has been requested.
    void throwIfCancelled() const;
    // True while the work is in a call that a cancel may leave running (a connect).
    bool abandonable() const;
    // True once the work may be left behind: cancelled in an abandonable call,
    // or cancelled CommandGiveUpMs ago.
    bool givenUp() const;
    // Milliseconds until givenUp() (0 when it is; the whole give-up time when
    // no cancel was requested yet).
    qint64 msUntilGivenUp() const;

    // While alive, a cancel interrupts the statement with SQLCancel; the
    // statement is not freed before that call has returned.
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

    // Where an interruption (a call that may block) runs; without one it
    // runs on the thread requesting the cancel. Set before the control is
    // shared.
    using Interrupter = std::function<void(std::function<void()>)>;
    void setInterrupter(Interrupter interrupter);

private:
    struct Executing;
    std::shared_ptr<Executing> m_executing; // shared with the thread interrupting
    Interrupter m_interrupter;
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_cancelledAtMs{0};
    std::atomic<bool> m_abandonable{false};
    std::atomic<qint64> m_rows{0};
};

// Thrown when a command was cancelled; message "操作已取消".
class OperationCancelled : public DatabaseError
{
public:
    OperationCancelled();
};

// One piece of work queued on a DatabaseWorker. The run is shared by the
// worker and the poster, so it outlives a poster that stops waiting for it.
class CommandRun
{
public:
    using Work = std::function<void(CommandControl &)>;
    ~CommandRun();
    CommandRun(const CommandRun &) = delete;
    CommandRun &operator=(const CommandRun &) = delete;

    CommandControl &control() { return m_control; }
    bool ended() const;
    // Waits at most `milliseconds` for the end; true when the work has ended.
    bool wait(int milliseconds);
    // Called once when the work ends: on the worker's thread when set before
    // the end, else at once on the calling thread. Never under a lock.
    // Cleared with nullptr, which waits for a call in progress on another
    // thread; after that the listener is never called.
    void setEndListener(std::function<void()> listener);
    // The work's exception when it failed; call after ended().
    std::exception_ptr error() const;

private:
    friend class DatabaseWorker;
    CommandRun();
    // Runs `work` (or, when cancelled before, fails it without running it),
    // frees it and ends the run.
    void execute(Work &work);

    struct Sync;
    CommandControl m_control;
    std::unique_ptr<Sync> m_sync;
    std::exception_ptr m_error;
};
