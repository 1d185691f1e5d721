// The pieces of the tool's own windows (monitor, trace): what each copy
// entry puts on the clipboard, from a real grid on the offscreen platform;
// grid sizes; where a window comes back from its stored place.

#include "ui/gridcopy.h"
#include "ui/gridsizes.h"
#include "ui/windowplace.h"

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
    void storedPlaceComesBackOnAScreen_data();
    void storedPlaceComesBackOnAScreen();
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

void TestGridCopy::storedPlaceComesBackOnAScreen_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QRect>("expected");
    const QRect none;
    QTest::newRow("as stored") << "40,30,700,500" << QRect(40, 30, 700, 500);
    QTest::newRow("blanks around numbers") << " 40, 30 ,700,500 " << QRect(40, 30, 700, 500);
    QTest::newRow("on the second screen") << "2000,100,700,500" << QRect(2000, 100, 700, 500);
    QTest::newRow("mostly off, top strip reachable") << "1800,900,700,500" << QRect(1800, 900, 700, 500);
    QTest::newRow("larger than its screen") << "0,0,3000,2000" << QRect(0, 0, 1920, 1040);
    QTest::newRow("nothing stored") << "" << none;
    QTest::newRow("three numbers") << "40,30,700" << none;
    QTest::newRow("not numbers") << "40,30,wide,500" << none;
    QTest::newRow("below the smallest size") << "40,30,50,20" << none;
    QTest::newRow("negative size") << "40,30,-700,500" << none;
    QTest::newRow("screen since removed") << "5000,100,700,500" << none;
    QTest::newRow("title strip under the bottom") << "100,1035,700,500" << none;
    QTest::newRow("only a corner on screen") << "-650,100,700,500" << none;
}

void TestGridCopy::storedPlaceComesBackOnAScreen()
{
    QFETCH(QString, stored);
    QFETCH(QRect, expected);
    // Two screens side by side, the first with a task bar at its foot.
    const QList<QRect> screens{QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 1024)};
    QCOMPARE(placeFromText(stored, screens, QSize(200, 100)), expected);
    if (!expected.isNull())
        QCOMPARE(placeFromText(placeText(expected), screens, QSize(200, 100)), expected);
}

QTEST_MAIN(TestGridCopy)
#include "tst_gridcopy.moc"
