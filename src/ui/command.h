#pragma once

// Commands that wait on the database, modally: the work runs on the
// connection's DatabaseWorker while the user-interface thread keeps its event
// loop. The rules of a command are at the top of db/worker.h.

#include "db/worker.h"

#include <QObject>
#include <QString>

#include <functional>

// Posts `work` to `worker` (one command at a time) and keeps the UI thread's event loop
// running modally (no other input; wait cursor) until it ends. After about 0.5 s a modal
// progress window shows `text` ("正在查询…", "正在连接…", "正在清空…", "正在导出…"), the rows
// so far and the elapsed seconds, with "取消" (Escape the same). Rethrows the work's exception
// on the UI thread; throws OperationCancelled when cancelled, and when the work was given up
// (then CommandEvents tells that the connection is lost, unless the work was abandonable;
// work on a connection other than the program's says so through `givenUp` instead).
// During a command only the main window's close box is honoured: it cancels, waits for the
// work until it is given up, and ends the program's event loops.
void runCommand(DatabaseWorker &worker, const QString &text, const CommandRun::Work &work,
                const std::function<void()> &givenUp = {});

// True while runCommand runs.
bool commandRunning();
// Memory ran out on the UI thread while a command runs (its work is the
// likely taker): cancels the command, which then ends, once its work has
// ended and freed what it held, in the work's own memory error or else in
// std::bad_alloc, also when the work succeeded (its result is dropped).
// False when no command runs.
bool stopCommandForMemory() noexcept;
// True once the main window was closed during a command: the program is
// ending, and no more boxes are shown.
bool programEnding();

// Tells who holds the connection that a command was given up on.
class CommandEvents : public QObject
{
    Q_OBJECT
signals:
    // A cancelled command did not end in time: its connection counts as lost.
    void connectionGivenUp();
};
CommandEvents *commandEvents();

class QProgressDialog;
// The running command's progress window while it shows; null otherwise.
QProgressDialog *commandProgressWindow();
// Makes the progress window ahead of the first command, so that no command
// pays for it; destroy it with the other windows (made on demand otherwise).
void createCommandWindows();
void destroyCommandWindows();
