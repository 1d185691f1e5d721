#pragma once

// Commands that wait on the database: the work runs on a worker thread while
// the user-interface thread keeps its event loop, modally.

#include "db/command.h"

#include <QObject>
#include <QString>

#include <functional>

// Runs work on the database worker thread (one command at a time) while the UI thread keeps
// its event loop running modally (no other input; wait cursor). After about 0.5 s a modal
// progress window shows `text` ("正在查询…", "正在连接…", "正在清空…", "正在导出…"), the rows
// so far and the elapsed seconds, with "取消" (Escape the same). Returns when the work has
// ended; rethrows the work's exception on the calling (UI) thread; throws OperationCancelled
// when cancelled.
//
// The work is copied and may outlive the call: a cancelled command whose work
// has not ended about 2 s later ends anyway (the connection is then given up,
// see CommandEvents), and the work goes on on its thread until its call
// returns. So it captures by value what it uses, never the caller's locals.
// During a command only the main window's close box is honoured: it cancels,
// waits for the work at most those 2 s, and ends the program's event loops.
void runCommand(const QString &text, const std::function<void(CommandControl &)> &work);

// True while runCommand runs.
bool commandRunning();
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
