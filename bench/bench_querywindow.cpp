// Figures of the query window: the trade list, a title-click re-sort and the
// statistics, each through the real window (offscreen) as the operator
// drives it.

#include "bench.h"

#include "connection/datamodule.h"
#include "db/query.h"
#include "query/countform.h"
#include "query/queryform.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>

QWidget *bench::queryControl(const char *name)
{
    auto *widget = queryform->findChild<QWidget *>(QString::fromLatin1(name));
    if (!widget) {
        std::fprintf(stderr, "query window has no %s\n", name);
        std::exit(1);
    }
    return widget;
}

namespace {

using bench::queryControl;

// Clicks the title of a column the way the mouse does: press and release
// over the title cell; the window then handles the click.
void clickTitle(QTableView *grid, int column)
{
    QHeaderView *header = grid->horizontalHeader();
    const QPointF point(header->sectionViewportPosition(column) + header->sectionSize(column) / 2.0,
                        header->height() / 2.0);
    QWidget *viewport = header->viewport();
    const QPointF global = viewport->mapToGlobal(point);
    QMouseEvent press(QEvent::MouseButtonPress, point, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, point, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
    QCoreApplication::processEvents();
}

// Closes the statistics window as soon as it is up; any other modal window
// (an error box) ends the benchmark.
class ModalCloser : public QObject
{
public:
    ModalCloser() { m_timer = startTimer(0); }
    ~ModalCloser() override { killTimer(m_timer); }
    int closed = 0;

protected:
    void timerEvent(QTimerEvent *) override
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (modal != countform) {
            std::fprintf(stderr, "unexpected modal window: %s\n", qPrintable(modal->windowTitle()));
            std::exit(1);
        }
        ++closed;
        countform->reject();
    }

private:
    int m_timer = 0;
};

const bench::FigureGroup queryWindowFigures(20, [](bench::Context &context) {
    queryform->show();
    QCoreApplication::processEvents();
    QTableView *grid = queryControl<QTableView>("DBGrid1");
    QLabel *count = queryControl<QLabel>("Label12");

    // "查询全部数据" up to the count label, twice; the faster counts, as for
    // the raw baseline.
    double listSeconds = std::numeric_limits<double>::infinity();
    for (int round = 0; round < 2; ++round) {
        QCoreApplication::processEvents();
        const bench::Stopwatch watch;
        queryControl<QPushButton>("Button1")->click();
        listSeconds = std::min(listSeconds, watch.seconds());
        if (count->text() != QString::number(context.rows)) {
            std::fprintf(stderr, "count label shows %s\n", qPrintable(count->text()));
            std::exit(1);
        }
    }
    QCoreApplication::processEvents();
    bench::report("window_list_s", listSeconds);
    bench::report("window_list_vs_raw", listSeconds / context.rawFetchSeconds);

    // A click on "成交数量": the arrow and a descending re-sort, repainted.
    {
        bench::Stopwatch watch;
        clickTitle(grid, 2);
        bench::report("title_sort_s", watch.seconds());
    }

    // "查询统计" over the rows "按条件查询" lists with empty boxes: those
    // without a null in the filtered columns, so that no quantity stops the
    // walk. Timed from the click until the window is closed again.
    queryControl<QPushButton>("Button2")->click();
    QCoreApplication::processEvents();
    {
        ModalCloser closer;
        bench::Stopwatch watch;
        queryControl<QPushButton>("Button13")->click();
        QCoreApplication::processEvents();
        const double seconds = watch.seconds();
        if (closer.closed != 1) {
            std::fprintf(stderr, "the statistics window did not come up\n");
            std::exit(1);
        }
        bench::report("statistics_rows", qint64(datamod->qry1->recordCount()));
        bench::report("statistics_s", seconds);
    }
    queryform->hide();
});

} // namespace
