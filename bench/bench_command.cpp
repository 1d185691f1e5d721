// Figures of commands run off the UI thread: how long the UI thread is kept
// from its timers while the query window lists every trade row, what the
// worker costs against the same open on the UI thread, how soon a cancel
// gives the program back, when the progress window shows, the same list on
// a busy machine, and memory across repeated lists of one page.

#include "bench.h"
#include "stallmeter.h"

#include "connection/datamodule.h"
#include "base/platform.h"
#include "db/query.h"
#include "db/worker.h"
#include "query/queryform.h"
#include "ui/command.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>
#include <cstdlib>
#include <limits>

namespace {


// Watches the UI thread while a command runs: the longest gap between the
// beats of a 10 ms timer, when the progress window first showed, and (when
// asked to) clicks its "取消" a while after the start and notes when the
// command's box came up, closing it.
class CommandWatch : public QObject
{
public:
    explicit CommandWatch(qint64 cancelAfterMs = -1)
        : m_cancelAfterMs(cancelAfterMs)
    {
        m_clock.start();
        connect(&m_poll, &QTimer::timeout, this, &CommandWatch::poll);
        m_poll.start(5);
    }

    qint64 maxGapMs() const { return m_stall.longest(); }
    qint64 progressShownMs = -1;
    qint64 cancelClickedMs = -1;
    qint64 boxShownMs = -1;

private:
    void poll()
    {
        const qint64 now = m_clock.elapsed();
        QProgressDialog *progress = commandProgressWindow();
        if (progress && progressShownMs < 0)
            progressShownMs = now;
        if (progress && m_cancelAfterMs >= 0 && cancelClickedMs < 0 && now >= m_cancelAfterMs) {
            cancelClickedMs = m_clock.elapsed();
            progress->findChild<QPushButton *>()->click();
        }
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            if (boxShownMs < 0)
                boxShownMs = now;
            box->button(QMessageBox::Ok)->click();
        }
    }

    qint64 m_cancelAfterMs;
    QElapsedTimer m_clock;
    bench::StallMeter m_stall;
    QTimer m_poll;
};

// The same open on the UI thread, as the program did it before.
double syncOpenSeconds(const QString &statement)
{
    Query query(datamod->con);
    query.setSql({statement});
    query.setPrepared(true);
    const bench::Stopwatch watch;
    query.open();
    return watch.seconds();
}

const bench::FigureGroup commandFigures(30, [](bench::Context &context) {
    queryform->show();
    QCoreApplication::processEvents();
    auto *button = bench::queryControl<QPushButton>("Button1");
    QLabel *count = bench::queryControl<QLabel>("Label12");

    // Two rounds of each, alternating; the faster counts, the longest stall
    // of either.
    double syncSeconds = std::numeric_limits<double>::infinity();
    double listSeconds = std::numeric_limits<double>::infinity();
    qint64 maxStallMs = 0;
    qint64 progressShownMs = 0;
    for (int round = 0; round < 2; ++round) {
        syncSeconds = std::min(syncSeconds, syncOpenSeconds(context.listStatement));
        CommandWatch watch;
        const bench::Stopwatch stopwatch;
        button->click();
        listSeconds = std::min(listSeconds, stopwatch.seconds());
        if (count->text() != QString::number(context.rows)) {
            std::fprintf(stderr, "count label shows %s\n", qPrintable(count->text()));
            std::exit(1);
        }
        maxStallMs = std::max(maxStallMs, watch.maxGapMs());
        progressShownMs = std::max(progressShownMs, watch.progressShownMs);
    }
    bench::report("list_max_stall_ms", maxStallMs);
    bench::report("list_vs_sync", listSeconds / syncSeconds);
    bench::report("progress_shown_ms", progressShownMs);

    // "取消" one second into the list, whatever it is doing by then.
    {
        CommandWatch watch(1000);
        button->click();
        if (watch.cancelClickedMs < 0) {
            std::fprintf(stderr, "cancel_ms not measured: the list ended within a second\n");
        } else if (watch.boxShownMs < 0) {
            std::fprintf(stderr, "the cancelled list showed no box\n");
            std::exit(1);
        } else {
            bench::report("cancel_ms", watch.boxShownMs - watch.cancelClickedMs);
        }
    }
    queryform->hide();
});

// Keeps every core busy at the program's own priority while alive.
class BusyLoops
{
public:
    explicit BusyLoops(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            m_threads.emplace_back([this] {
                unsigned long long spins = 0;
                while (!m_stop.load(std::memory_order_relaxed))
                    ++spins;
                m_spins += spins;
            });
    }
    ~BusyLoops()
    {
        m_stop = true;
        for (std::thread &thread : m_threads)
            thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::atomic<unsigned long long> m_spins{0};
    std::vector<std::thread> m_threads;
};

// The same list on a busy machine: two loops on the cores compete with the
// UI thread and the worker.
const bench::FigureGroup busyFigures(31, [](bench::Context &) {
    queryform->show();
    QCoreApplication::processEvents();
    auto *button = bench::queryControl<QPushButton>("Button1");
    const BusyLoops busy(2);
    CommandWatch watch;
    button->click();
    bench::report("list_max_stall_ms_busy", watch.maxGapMs());
    queryform->hide();
});

constexpr double MiB = 1024.0 * 1024.0;

// Memory across five lists of the same rows on one page: what stays
// resident after the fifth against after the first, and the peak of a list
// that replaces a result against the first list's.
const bench::FigureGroup relistFigures(32, [](bench::Context &context) {
    queryform->show();
    QCoreApplication::processEvents();
    auto *button = bench::queryControl<QPushButton>("Button1");
    datamod->qry1->close();
    datamod->worker().post([](CommandControl &) {})->wait(60000); // the old result is freed
    platform::giveBackFreedMemory();
    qint64 firstResident = 0;
    qint64 firstPeak = 0;
    qint64 laterPeak = 0;
    for (int list = 1; list <= 5; ++list) {
        platform::resetPeakResident();
        button->click();
        if (datamod->qry1->recordCount() != context.rows) {
            std::fprintf(stderr, "list %d held %d rows\n", list, datamod->qry1->recordCount());
            std::exit(1);
        }
        const qint64 peak = platform::windowPeakResidentBytes();
        if (list == 1) {
            firstResident = platform::residentBytes();
            firstPeak = peak;
        } else {
            laterPeak = std::max(laterPeak, peak);
        }
    }
    bench::report("relist_rss_growth_mb", (platform::residentBytes() - firstResident) / MiB);
    bench::report("relist_peak_vs_first", double(laterPeak) / double(firstPeak));
    queryform->hide();
});

} // namespace
