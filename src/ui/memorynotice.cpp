#include "ui/memorynotice.h"

#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/messages.h"

#include <QCoreApplication>
#include <QLayout>
#include <QMessageBox>
#include <QPointer>
#include <QStatusBar>

#include <cstdio>
#include <cstdlib>

namespace {

const QString OutOfMemoryText = QStringLiteral("内存不足，操作未完成");
// The same for the standard error output, where nothing may be allocated.
const char OutOfMemoryLine[] = "内存不足，操作未完成\n";

// Enough for the box to show and its event loop to run (a backing store,
// events, the text's layout) with nothing else left. Never written to, so
// it is address space and commitment, not resident memory.
constexpr std::size_t ReserveBytes = 8 * 1024 * 1024;

void *reserve = nullptr;
QMessageBox *outOfMemoryBox = nullptr;
bool outOfMemoryShown = false;
QPointer<QStatusBar> statusBar;

bool showBox() noexcept
{
    if (!outOfMemoryBox || outOfMemoryShown)
        return false;
    outOfMemoryShown = true;
    bool shown = true;
    try {
        outOfMemoryBox->exec();
    } catch (...) {
        shown = false;
        try {
            outOfMemoryBox->hide();
        } catch (...) {
        }
    }
    outOfMemoryShown = false;
    return shown;
}

void noteInStatusBar() noexcept
{
    try {
        if (statusBar) {
            statusBar->showMessage(OutOfMemoryText);
            return;
        }
    } catch (...) {
    }
    std::fputs(OutOfMemoryLine, stderr);
}

} // namespace

void prepareOutOfMemoryBox()
{
    restoreMemoryReserve();
    if (outOfMemoryBox)
        return;
    outOfMemoryBox = new QMessageBox(QMessageBox::Critical, applicationTitle(),
                                     msg::displayText(errorBoxText(OutOfMemoryText)), QMessageBox::Ok);
    outOfMemoryBox->setObjectName(QStringLiteral("OutOfMemoryBox"));
    // Ready to show: what showing would otherwise create first, the native
    // window and its backing store, the style's polish and the layout.
    outOfMemoryBox->ensurePolished();
    outOfMemoryBox->winId();
    if (QLayout *layout = outOfMemoryBox->layout())
        layout->activate();
    outOfMemoryBox->adjustSize();
    // Gone with the application object, before the widgets' world ends.
    qAddPostRoutine([] {
        delete outOfMemoryBox;
        outOfMemoryBox = nullptr;
        releaseMemoryReserve();
    });
}

void showOutOfMemory() noexcept
{
    releaseMemoryReserve();
    if (programEnding())
        return;
    if (stopCommandForMemory())
        return; // told by the command's handler once its work has ended
    if (!showBox())
        noteInStatusBar();
    restoreMemoryReserve();
}

void setOutOfMemoryStatusBar(QStatusBar *bar)
{
    statusBar = bar;
}

void clearOutOfMemoryStatus() noexcept
{
    try {
        if (statusBar && statusBar->currentMessage() == OutOfMemoryText)
            statusBar->clearMessage();
    } catch (...) {
    }
}

void releaseMemoryReserve() noexcept
{
    std::free(reserve);
    reserve = nullptr;
}

void restoreMemoryReserve() noexcept
{
    if (!reserve)
        reserve = std::malloc(ReserveBytes);
}

bool memoryReserved() noexcept
{
    return reserve != nullptr;
}
