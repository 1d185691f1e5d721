// Copying out of the grids of the monitor and trace windows: what each
// entry puts on the clipboard, from a real grid on the offscreen platform.

#include "ui/gridcopy.h"
#include "ui/gridsizes.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>
#include <QtTest/QtTest>

class TestGridCopy : public QObject
{
    Q_OBJECT
private slots:
    void entryCopiesWhatItNames_data();
    void entryCopiesWhatItNames();
    void emptyGridLeavesClipboard_data();
    void emptyGridLeavesClipboard();
    void samplesAndTitlesFitTheirColumns();
};

namespace {

// A grid of `rows` rows under the titles 类别, 编号, 说明; cell (r, c) reads
// "r.c", but for the one given.
struct Grid
{
    QTableView view;
    QStandardItemModel model;

    explicit Grid(int rows, const QString &special = QString())
        : model(rows, 3)
    {
        model.setHorizontalHeaderLabels({QStringLiteral("类别"), QStringLiteral("编号"), QStringLiteral("说明")});
        for (int r = 0; r < rows; ++r)
            for (int c = 0; c < 3; ++c)
                model.setItem(r, c, new QStandardItem(QStringLiteral("%1.%2").arg(r).arg(c)));
        if (!special.isEmpty() && rows > 0)
            model.item(0, 2)->setText(special);
        view.setModel(&model);
        installCopyEntries(&view);
        view.show();
    }

    void trigger(const QString &name)
    {
        QAction *action = view.findChild<QAction *>(name);
        QVERIFY2(action, qPrintable(name));
        QVERIFY(view.actions().contains(action));
        action->trigger();
    }
};

} // namespace

void TestGridCopy::entryCopiesWhatItNames_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<int>("currentColumn");
    QTest::addColumn<QString>("special");
    QTest::addColumn<QString>("expected");
    QTest::newRow("cell") << "CopyAction" << 1 << 2 << "" << "1.2";
    QTest::newRow("cell as shown, breaks kept") << "CopyAction" << 0 << 2 << "a\tb" << "a b";
    QTest::newRow("row") << "CopyRowAction" << 1 << 0 << "" << "类别\t编号\t说明\n1.0\t1.1\t1.2";
    QTest::newRow("all") << "CopyAllAction" << -1 << -1 << ""
                         << "类别\t编号\t说明\n0.0\t0.1\t0.2\n1.0\t1.1\t1.2\n2.0\t2.1\t2.2";
    QTest::newRow("tab and line break in a cell")
        << "CopyRowAction" << 0 << 0 << "x\ty\r\nz" << "类别\t编号\t说明\n0.0\t0.1\tx y  z";
}

void TestGridCopy::entryCopiesWhatItNames()
{
    QFETCH(QString, action);
    QFETCH(int, currentRow);
    QFETCH(int, currentColumn);
    QFETCH(QString, special);
    QFETCH(QString, expected);
    Grid grid(3, special);
    if (currentRow >= 0)
        grid.view.setCurrentIndex(grid.model.index(currentRow, currentColumn));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    grid.trigger(action);
    QCOMPARE(QApplication::clipboard()->text(), expected);
}

void TestGridCopy::emptyGridLeavesClipboard_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("cell") << "CopyAction";
    QTest::newRow("row") << "CopyRowAction";
    QTest::newRow("all") << "CopyAllAction";
}

void TestGridCopy::emptyGridLeavesClipboard()
{
    QFETCH(QString, action);
    Grid grid(0);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    grid.trigger(action);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
}

void TestGridCopy::samplesAndTitlesFitTheirColumns()
{
    Grid grid(1);
    const QStringList samples{QStringLiteral("撤单对象编号过大"), QStringLiteral("1")};
    fitGridToSamples(&grid.view, samples);
    const int margins = 2 * (grid.view.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &grid.view) + 1);
    // The first column is as wide as its sample, the second as its title.
    QVERIFY(grid.view.columnWidth(0) >= grid.view.fontMetrics().horizontalAdvance(samples[0]) + margins);
    QVERIFY(grid.view.columnWidth(1)
            >= grid.view.horizontalHeader()->fontMetrics().horizontalAdvance(QStringLiteral("编号")) + margins);
    QVERIFY(grid.view.columnWidth(1) < grid.view.columnWidth(0));
    QVERIFY(grid.view.rowHeight(0) >= grid.view.fontMetrics().height());
    QVERIFY(grid.view.rowHeight(0) < 2 * grid.view.fontMetrics().height());
}

QTEST_MAIN(TestGridCopy)
#include "tst_gridcopy.moc"
