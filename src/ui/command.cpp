#include "ui/command.h"

#include "db/memoryshortage.h"
#include "db/odbc.h"
#include "ui/errorbox.h"
#include "ui/waitcursor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

#include <new>

namespace {

const QString ProgressName = QStringLiteral("CommandProgress");
const QString CancelText = QStringLiteral("取消");
const QString ProgressLine = QStringLiteral("已处理 %1 行，用时 %2 秒");
const QString BusyText = QStringLiteral("已有命令正在执行，请稍候");

constexpr int ProgressDelayMs = 500;
constexpr int ProgressUpdateMs = 250;

bool running = false;
bool ending = false;

bool isInputEvent(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

// While a command runs, the windows take no input and ignore their close
// boxes; only the progress window is spared, and the main window's close box
// asks the command to end the program.
class InputBlocker : public QObject
{
public:
    explicit InputBlocker(std::function<void()> mainWindowClosed)
        : m_mainWindowClosed(std::move(mainWindowClosed))
    {
        qApp->installEventFilter(this);
    }
    ~InputBlocker() override { qApp->removeEventFilter(this); }

    QPointer<QWidget> spared;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto *widget = static_cast<QWidget *>(watched);
        if (spared && (widget == spared || spared->isAncestorOf(widget)))
            return false;
        if (event->type() == QEvent::Close) {
            event->ignore();
            if (qobject_cast<QMainWindow *>(widget))
                m_mainWindowClosed();
            return true;
        }
        return isInputEvent(event->type());
    }

private:
    std::function<void()> m_mainWindowClosed;
};

// The modal window that appears when a command takes a while. Made once
// (creating it costs the UI thread tens of milliseconds) and shown again for
// every command that takes that long.
class ProgressWindow : public QProgressDialog
{
public:
    ProgressWindow()
        : QProgressDialog(QString(), CancelText, 0, 0)
    {
        setObjectName(ProgressName);
        setWindowModality(Qt::ApplicationModal);
        setAutoReset(false);
        setMinimumDuration(0);
        reset(); // hidden, and not shown by the dialog's own timer
        connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::showState);
    }

    void begin(const QString &text, const CommandControl &control, const QElapsedTimer &clock)
    {
        reset();
        m_text = text;
        m_control = &control;
        m_clock = &clock;
        setWindowTitle(applicationTitle());
        showState();
        m_timer.start(ProgressUpdateMs);
        show();
    }

    void end()
    {
        m_timer.stop();
        m_control = nullptr;
        m_clock = nullptr;
        reset();
        hide();
    }

protected:
    // Escape, like the close box, means "取消".
    void reject() override { emit canceled(); }

private:
    void showState()
    {
        if (!m_control)
            return;
        setLabelText(m_text + QLatin1Char('\n')
                     + ProgressLine.arg(m_control->rows()).arg(m_clock->elapsed() / 1000));
    }

    QString m_text;
    const CommandControl *m_control = nullptr;
    const QElapsedTimer *m_clock = nullptr;
    QTimer m_timer;
};

QPointer<ProgressWindow> progressWindow;

ProgressWindow &sharedProgressWindow()
{
    if (!progressWindow)
        progressWindow = new ProgressWindow;
    return *progressWindow;
}

struct RunningFlag
{
    RunningFlag() { running = true; }
    ~RunningFlag() { running = false; }
};

// One command on the UI thread: the event loop it keeps running, the
// progress window, the cancel and the end.
class CommandSession
{
public:
    CommandSession(DatabaseWorker &worker, const QString &text, const CommandRun::Work &work,
                   std::function<void()> givenUp)
        : m_text(text)
        , m_givenUp(std::move(givenUp))
        , m_run(worker.post(work))
        , m_control(m_run->control())
        , m_blocker([this] {
            m_closing = true;
            cancel();
        })
    {
        m_clock.start();
        m_run->setEndListener([this] { QMetaObject::invokeMethod(&m_loop, "quit", Qt::QueuedConnection); });
        m_giveUp.setSingleShot(true);
        m_giveUp.setTimerType(Qt::PreciseTimer); // not before the worker counts it given up
        QObject::connect(&m_giveUp, &QTimer::timeout, &m_loop, &QEventLoop::quit);
        m_showProgress.setSingleShot(true);
        QObject::connect(&m_showProgress, &QTimer::timeout, &m_loop, [this] { showProgress(); });
        m_showProgress.start(ProgressDelayMs);
    }

    ~CommandSession()
    {
        m_run->setEndListener(nullptr);
        hideProgress();
    }

    // Runs the event loop until the work has ended, was left behind or was
    // given up.
    void wait()
    {
        if (!m_run->ended())
            m_loop.exec();
        if (!m_run->ended() && !m_control.cancelRequested() && !m_abandoned) {
            // The event loops are ending under the command: stop it as the
            // main window's close box does.
            m_closing = true;
            m_control.requestCancel();
            m_run->wait(CommandGiveUpMs);
        }
        hideProgress();
    }

    // Returns when the work succeeded; throws its error, or OperationCancelled.
    void finish()
    {
        const bool ended = m_run->ended();
        if (m_closing) {
            ending = true;
            QCoreApplication::exit(0);
        }
        if (!ended) {
            // The call goes on on its thread; at exit nothing is freed under it.
            if (m_closing)
                odbc::leaveHandlesAtExit();
            if (!m_abandoned && m_givenUp)
                m_givenUp();
            else if (!m_abandoned)
                emit commandEvents()->connectionGivenUp();
            if (m_outOfMemory)
                throw std::bad_alloc();
            throw OperationCancelled();
        }
        const std::exception_ptr error = m_run->error();
        if (m_outOfMemory) {
            if (isMemoryShortage(error))
                std::rethrow_exception(error); // says more, a list's rows for one
            throw std::bad_alloc();
        }
        if (error) {
            // Whatever the driver made of the interruption, it was a cancel.
            if (m_control.cancelRequested())
                throw OperationCancelled();
            std::rethrow_exception(error);
        }
    }

    // Memory ran out on this thread meanwhile: the work is stopped, and the
    // command ends in a memory error (finish()).
    void stopForMemory() noexcept
    {
        m_outOfMemory = true;
        try {
            cancel();
        } catch (...) {
            // The cancel flag is set before anything is allocated: the work
            // sees it between blocks all the same.
        }
    }

private:
    void cancel()
    {
        if (m_control.cancelRequested())
            return;
        m_control.requestCancel();
        if (m_control.abandonable()) {
            m_abandoned = true;
            m_loop.quit();
        } else {
            m_giveUp.start(CommandGiveUpMs);
        }
    }

    void showProgress()
    {
        if (m_control.cancelRequested())
            return;
        ProgressWindow &window = sharedProgressWindow();
        m_progress = &window;
        m_canceled = QObject::connect(&window, &QProgressDialog::canceled, &m_loop, [this] { cancel(); });
        m_blocker.spared = &window;
        window.begin(m_text, m_control, m_clock);
    }

    void hideProgress()
    {
        QObject::disconnect(m_canceled);
        if (m_progress)
            m_progress->end();
        m_progress = nullptr;
    }

    QString m_text;
    std::function<void()> m_givenUp; // work on a connection of its own
    std::shared_ptr<CommandRun> m_run;
    CommandControl &m_control;
    QElapsedTimer m_clock;
    QEventLoop m_loop;
    InputBlocker m_blocker;
    QTimer m_giveUp;
    QTimer m_showProgress;
    QPointer<ProgressWindow> m_progress; // while shown for this command
    QMetaObject::Connection m_canceled;
    bool m_abandoned = false; // the call is left running (a connect)
    bool m_closing = false;   // the main window was closed
    bool m_outOfMemory = false; // memory ran out on the UI thread meanwhile
};

CommandSession *currentSession = nullptr;

struct CurrentSession
{
    explicit CurrentSession(CommandSession &session) { currentSession = &session; }
    ~CurrentSession() { currentSession = nullptr; }
};

} // namespace

bool commandRunning()
{
    return running;
}

QProgressDialog *commandProgressWindow()
{
    return progressWindow && progressWindow->isVisible() ? progressWindow.data() : nullptr;
}

void createCommandWindows()
{
    sharedProgressWindow();
}

void destroyCommandWindows()
{
    delete progressWindow.data();
}

bool programEnding()
{
    return ending;
}

CommandEvents *commandEvents()
{
    // Lives as long as the program; connected to by the data module.
    static CommandEvents *events = new CommandEvents;
    return events;
}

bool stopCommandForMemory() noexcept
{
    if (!currentSession)
        return false;
    currentSession->stopForMemory();
    return true;
}

void runCommand(DatabaseWorker &worker, const QString &text, const CommandRun::Work &work,
                const std::function<void()> &givenUp)
{
    if (running)
        throw ProgramError(BusyText);
    const RunningFlag flag;
    ending = false;
    clearOutOfMemoryStatus();
    const WaitCursor waitCursor;
    CommandSession session(worker, text, work, givenUp);
    {
        const CurrentSession current(session);
        session.wait();
    }
    session.finish();
    restoreMemoryReserve(); // given back when memory ran out before
}
