// Figures of a query page over every trade row: how long the UI thread is
// kept from its timers during a title sort, and how long a search of the
// find bar takes over the whole result for a text that is not there.

#include "bench.h"
#include "stallmeter.h"

#include "connection/datamodule.h"
#include "db/query.h"
#include "query/findbar.h"
#include "query/queryform.h"
#include "query/querypage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

// Runs the event loop until `done`, at most a minute.
template <typename Done>
void waitUntil(Done done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Runs the event loop for this long.
void waitFor(qint64 ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

const bench::FigureGroup queryPageFigures(25, [](bench::Context &context) {
    queryform->show();
    QCoreApplication::processEvents();
    QTableView *grid = bench::queryControl<QTableView>("DBGrid1");
    bench::queryControl<QPushButton>("Button1")->click();
    if (bench::queryControl<QLabel>("Label12")->text() != QString::number(context.rows)) {
        std::fprintf(stderr, "the list did not show every row\n");
        std::exit(1);
    }

    // The list's own end first: its repaint and the old result's release.
    waitFor(200);

    // A click on the title of "成交数量", twice (descending, ascending); the
    // longer stall counts.
    qint64 sortStallMs = 0;
    for (int round = 0; round < 2; ++round) {
        const bench::StallMeter watch;
        QHeaderView *header = grid->horizontalHeader();
        emit header->sectionClicked(2);
        waitFor(100);
        sortStallMs = std::max(sortStallMs, watch.longest());
    }
    bench::report("sort_max_stall_ms", sortStallMs);

    // A text that no cell shows, over the rows × 15 columns.
    FindBar *bar = queryform->page(1).findBar();
    bar->open();
    QCoreApplication::processEvents();
    double findMs = 0;
    qint64 findStallMs = 0;
    for (int round = 0; round < 2; ++round) {
        bar->search()->stop();
        const bench::StallMeter watch;
        QElapsedTimer clock;
        clock.start();
        bar->box()->setText(QStringLiteral("9876543210x"));
        bar->findNext();
        waitUntil([bar] { return !bar->search()->running(); });
        const double ms = double(clock.nsecsElapsed()) / 1e6;
        findMs = round == 0 ? ms : std::min(findMs, ms);
        findStallMs = std::max(findStallMs, watch.longest());
        if (bar->search()->count() != 0) {
            std::fprintf(stderr, "the search found the text that is not there\n");
            std::exit(1);
        }
    }
    bench::report("find_all_ms", findMs);
    bench::report("find_max_stall_ms", findStallMs);
    bar->closeBar();
    queryform->hide();
});

} // namespace
