#include "ui/command.h"

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

const char *const CommandProgressName = "CommandProgress";

namespace {

const char *const CancelText = "取消";
const char *const ProgressLine = "已处理 %1 行，用时 %2 秒";
const char *const BusyText = "A command is already running";

constexpr int ProgressDelayMs = 500;
constexpr int ProgressUpdateMs = 250;
// How long a cancelled command may take to end before it is given up.
constexpr int GiveUpMs = 2000;

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

// The modal window that appears when a command takes a while.
class ProgressWindow : public QProgressDialog
{
public:
    ProgressWindow(const QString &text, const CommandControl &control, const QElapsedTimer &clock)
        : QProgressDialog(QString(), QString::fromUtf8(CancelText), 0, 0)
        , m_text(text)
        , m_control(control)
        , m_clock(clock)
    {
        setObjectName(QString::fromLatin1(CommandProgressName));
        setWindowTitle(applicationTitle());
        setWindowModality(Qt::ApplicationModal);
        setAutoReset(false);
        setMinimumDuration(0);
        update();
        connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::update);
        m_timer.start(ProgressUpdateMs);
    }

protected:
    // Escape, like the close box, means "取消".
    void reject() override { emit canceled(); }

private:
    void update()
    {
        setLabelText(m_text + QLatin1Char('\n')
                     + QString::fromUtf8(ProgressLine)
                           .arg(m_control.rows())
                           .arg(m_clock.elapsed() / 1000));
    }

    QString m_text;
    const CommandControl &m_control;
    const QElapsedTimer &m_clock;
    QTimer m_timer;
};

struct RunningFlag
{
    RunningFlag() { running = true; }
    ~RunningFlag() { running = false; }
};

} // namespace

bool commandRunning()
{
    return running;
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

void runCommand(const QString &text, const std::function<void(CommandControl &)> &work)
{
    if (running)
        throw DatabaseError(QString::fromLatin1(BusyText));
    const RunningFlag flag;
    ending = false;
    const WaitCursor waitCursor;
    QElapsedTimer clock;
    clock.start();

    const std::shared_ptr<CommandRun> run = CommandRun::start(work);
    CommandControl &control = run->control();
    QEventLoop loop;
    struct ListenerGuard
    {
        CommandRun &run;
        ~ListenerGuard() { run.setEndListener(nullptr); }
    } listenerGuard{*run};
    run->setEndListener([&loop] { QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection); });

    bool abandoned = false;  // the call is left running (a connect)
    bool closing = false;    // the main window was closed
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto cancel = [&] {
        if (control.cancelRequested())
            return;
        control.requestCancel();
        if (control.abandonable()) {
            abandoned = true;
            loop.quit();
        } else {
            giveUp.start(GiveUpMs);
        }
    };

    InputBlocker blocker([&] {
        closing = true;
        cancel();
    });
    std::unique_ptr<ProgressWindow> progress;
    QTimer showProgress;
    showProgress.setSingleShot(true);
    QObject::connect(&showProgress, &QTimer::timeout, &loop, [&] {
        if (control.cancelRequested())
            return;
        progress = std::make_unique<ProgressWindow>(text, control, clock);
        QObject::connect(progress.get(), &QProgressDialog::canceled, &loop, cancel);
        blocker.spared = progress.get();
        progress->show();
    });
    showProgress.start(ProgressDelayMs);

    if (!run->ended())
        loop.exec();
    if (!run->ended() && !control.cancelRequested() && !abandoned) {
        // The event loops are ending under the command: stop it as the
        // main window's close box does.
        closing = true;
        control.requestCancel();
        run->wait(GiveUpMs);
    }
    progress.reset();

    const bool ended = run->ended();
    if (closing) {
        ending = true;
        QCoreApplication::exit(0);
    }
    if (!ended) {
        // The call goes on on its thread; at exit nothing is freed under it.
        if (closing)
            odbc::leaveHandlesAtExit();
        if (!abandoned)
            emit commandEvents()->connectionGivenUp();
        throw OperationCancelled();
    }
    if (const std::exception_ptr error = run->error()) {
        // Whatever the driver made of the interruption, it was a cancel.
        if (control.cancelRequested())
            throw OperationCancelled();
        std::rethrow_exception(error);
    }
}
