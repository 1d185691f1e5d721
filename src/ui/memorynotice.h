#pragma once

class QStatusBar;

// Telling the operator that memory ran out takes memory of its own, so it
// is made ready before it is needed. prepareOutOfMemoryBox(), called once
// the application object exists, makes the box ready to show (its native
// window, style and layout exist, its text is set) and sets a block of
// memory aside.
//
// showOutOfMemory() first gives that block back. While a command runs, it
// stops the command, which then ends in a memory error that its handler
// tells once the work has freed what it held (ui/command.h). Otherwise it
// shows the box; when the box cannot be shown (not prepared, already up, or
// showing fails) it says so in the status bar given to
// setOutOfMemoryStatusBar(), else in the standard error output. Then it
// sets the block aside again where memory allows. It never throws.
void prepareOutOfMemoryBox();
void showOutOfMemory() noexcept;

// Where the notice goes when no box can be shown: the main window's status
// bar, until the next command starts (null: none).
void setOutOfMemoryStatusBar(QStatusBar *bar);
void clearOutOfMemoryStatus() noexcept;

// The block set aside: released for a handler that needs memory to let go
// of what it holds; restored when it was released and memory allows.
void releaseMemoryReserve() noexcept;
void restoreMemoryReserve() noexcept;
bool memoryReserved() noexcept;
