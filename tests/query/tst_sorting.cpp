#include "querytestsupport.h"

#include <algorithm>

using namespace querytest;

namespace {

const QString Down = QStringLiteral("\u25BC");
const QString Up = QStringLiteral("\u25B2");

QStringList nonEmpty(const QStringList &values)
{
    QStringList result;
    for (const QString &value : values) {
        if (!value.isEmpty())
            result << value;
    }
    return result;
}

QList<double> numbers(const QStringList &values)
{
    QList<double> result;
    for (const QString &value : values)
        result << value.toDouble();
    return result;
}

// The values of a column as SQLite orders them, nulls left out.
QStringList sqliteOrdered(const QString &column, bool descending)
{
    return sqliteColumn(databasePath(),
                        QStringLiteral("select %1 from ashare_cjhb where %1 is not null order by %1 %2")
                            .arg(column, descending ? QStringLiteral("desc") : QStringLiteral("asc")));
}

} // namespace

class SortingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { testsupport::generateDatabase(databasePath(), 400, 11); }
    void init() { m_session = std::make_unique<Session>(); }
    void cleanup() { m_session.reset(); }

    // Before the page's first list command a title click does nothing.
    void beforeFirstList()
    {
        testsupport::ModalWatcher watcher;
        const QStringList plain = {"成交数量", "证券代码", "证券代码"};
        for (int number = 1; number <= 3; ++number) {
            clickTitle(number, 2);
            QCOMPARE(caption(number, 2), plain.at(number - 1));
            QCOMPARE(queryform->page(number).sortState().lastColumn(), -1);
            QVERIFY(!queryform->page(number).sortState().ascendingNext());
        }
        QTest::qWait(20);
        QCOMPARE(watcher.records.size(), 0);
    }

    // ▼ then ▲ then ▼ on the same title, rows re-sorted each time.
    void sameColumnAlternates()
    {
        click(QStringLiteral("Button1"));
        const QString statement = datamod->qry1->lastStatement();
        clickTitle(1, 2);
        QCOMPARE(caption(1, 2), Down + QStringLiteral("成交数量"));
        QCOMPARE(nonEmpty(columnTexts(1, 2)), sqliteOrdered(QStringLiteral("cjsl"), true));
        QVERIFY(queryform->page(1).sortState().ascendingNext());

        clickTitle(1, 2);
        QCOMPARE(caption(1, 2), Up + QStringLiteral("成交数量"));
        QCOMPARE(nonEmpty(columnTexts(1, 2)), sqliteOrdered(QStringLiteral("cjsl"), false));

        clickTitle(1, 2);
        QCOMPARE(caption(1, 2), Down + QStringLiteral("成交数量"));
        QCOMPARE(nonEmpty(columnTexts(1, 2)), sqliteOrdered(QStringLiteral("cjsl"), true));
        // Sorted in memory: nothing was sent to the database.
        QCOMPARE(datamod->qry1->lastStatement(), statement);
        QCOMPARE(source(1)->rowCount(), datamod->qry1->recordCount());
    }

    // The direction alternates per grid, not per column; the previous
    // column gets its plain caption back.
    void otherColumnContinuesDirection()
    {
        click(QStringLiteral("Button1"));
        clickTitle(1, 2);
        clickTitle(1, 4);
        QCOMPARE(caption(1, 2), QStringLiteral("成交数量"));
        QCOMPARE(caption(1, 4), Up + QStringLiteral("成交金额"));
        QCOMPARE(numbers(nonEmpty(columnTexts(1, 4))), numbers(sqliteOrdered(QStringLiteral("cjje"), false)));
        clickTitle(1, 0);
        QCOMPARE(caption(1, 4), QStringLiteral("成交金额"));
        QCOMPARE(caption(1, 0), Down + QStringLiteral("股东代码"));
        QCOMPARE(nonEmpty(columnTexts(1, 0)), sqliteOrdered(QStringLiteral("gddm"), true));
        // At most one arrow in the grid.
        int arrows = 0;
        for (int column = 0; column < TradeCaptions.size(); ++column) {
            const QString text = caption(1, column);
            if (text.startsWith(Down) || text.startsWith(Up))
                ++arrows;
            else
                QCOMPARE(text, TradeCaptions.at(column));
        }
        QCOMPARE(arrows, 1);
    }

    // Times are text: ascending puts 10:00:00 and later before 9:xx:xx.
    void timesSortAsText()
    {
        click(QStringLiteral("Button1"));
        clickTitle(1, 8);
        clickTitle(1, 8);
        QCOMPARE(caption(1, 8), Up + QStringLiteral("申报时间"));
        const QStringList times = columnTexts(1, 8);
        QCOMPARE(times, sqliteOrdered(QStringLiteral("sbsj"), false));
        QCOMPARE(times.first().size(), 6);
        QCOMPARE(times.last().size(), 5);
    }

    // Each grid keeps its own captions and direction.
    void gridsAreIndependent()
    {
        click(QStringLiteral("Button1"));
        click(QStringLiteral("Button4"));
        click(QStringLiteral("Button8"));
        clickTitle(1, 2);
        QCOMPARE(caption(1, 2), Down + QStringLiteral("成交数量"));
        for (int number = 2; number <= 3; ++number) {
            for (int column = 0; column < source(number)->columnCount(); ++column) {
                QVERIFY(!caption(number, column).startsWith(Down));
                QVERIFY(!caption(number, column).startsWith(Up));
            }
            QVERIFY(!queryform->page(number).sortState().ascendingNext());
        }
        clickTitle(2, 4);
        QCOMPARE(caption(2, 4), Down + QStringLiteral("委托数量"));
        clickTitle(3, 5);
        QCOMPARE(caption(3, 5), Down + QStringLiteral("撤单数量"));
        QCOMPARE(caption(1, 2), Down + QStringLiteral("成交数量"));
        QCOMPARE(nonEmpty(fieldValues(datamod->qry2, QStringLiteral("qty"))),
                 sqliteColumn(databasePath(), QStringLiteral(
                     "select qty from ashare_ordwth where qty is not null order by qty desc")));
        clickTitle(1, 3);
        QCOMPARE(caption(1, 3), Up + QStringLiteral("成交价格"));
    }

    // An empty result still gets the arrow and an (empty) re-sort.
    void emptyResult()
    {
        testsupport::ModalWatcher watcher;
        type(QStringLiteral("Edit2"), QStringLiteral("999999"));
        click(QStringLiteral("Button2"));
        QCOMPARE(labelText(QStringLiteral("Label12")), QStringLiteral("0"));
        clickTitle(1, 1);
        QCOMPARE(caption(1, 1), Down + QStringLiteral("证券代码"));
        QVERIFY(queryform->page(1).sortState().ascendingNext());
        QCOMPARE(watcher.records.size(), 0);
    }

    // A new list command keeps the arrow (rows in database order); the
    // next click moves it on as usual.
    void arrowSurvivesNewList()
    {
        click(QStringLiteral("Button1"));
        const QStringList databaseOrder = columnTexts(1, 12);
        clickTitle(1, 2);
        QVERIFY(columnTexts(1, 12) != databaseOrder);
        click(QStringLiteral("Button1"));
        QCOMPARE(caption(1, 2), Down + QStringLiteral("成交数量"));
        QCOMPARE(columnTexts(1, 12), databaseOrder);
        clickTitle(1, 5);
        QCOMPARE(caption(1, 2), QStringLiteral("成交数量"));
        QCOMPARE(caption(1, 5), Up + QStringLiteral("本次余额"));
    }

    // Count label set but query closed: error box, arrow already set,
    // direction not flipped.
    void closedQuery()
    {
        click(QStringLiteral("Button1"));
        clickTitle(1, 2); // ▼, next ascending
        datamod->qry1->close();
        testsupport::ModalWatcher watcher;
        clickTitle(1, 4);
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().className, QStringLiteral("QMessageBox"));
        QCOMPARE(watcher.records.first().icon, int(QMessageBox::Critical));
        QCOMPARE(caption(1, 2), QStringLiteral("成交数量"));
        QCOMPARE(caption(1, 4), Up + QStringLiteral("成交金额"));
        QVERIFY(queryform->page(1).sortState().ascendingNext());
        // Still the same direction on the next click.
        clickTitle(1, 0);
        QCOMPARE(watcher.records.size(), 2);
        QCOMPARE(caption(1, 4), QStringLiteral("成交金额"));
        QCOMPARE(caption(1, 0), Up + QStringLiteral("股东代码"));
        // Once listed again, the click works and flips.
        click(QStringLiteral("Button1"));
        clickTitle(1, 0);
        QCOMPARE(watcher.records.size(), 2);
        QCOMPARE(caption(1, 0), Up + QStringLiteral("股东代码"));
        QVERIFY(!queryform->page(1).sortState().ascendingNext());
        QCOMPARE(nonEmpty(columnTexts(1, 0)), sqliteOrdered(QStringLiteral("gddm"), false));
    }

    // Dragging a title separator resizes the column and sorts nothing.
    void resizeDragIsNoClick()
    {
        click(QStringLiteral("Button1"));
        QHeaderView *header = grid(1)->horizontalHeader();
        header->setOffset(0);
        const int width = header->sectionSize(0);
        const int edge = header->sectionViewportPosition(0) + width - 1;
        const int y = header->height() / 2;
        QWidget *viewport = header->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(edge, y));
        QMouseEvent move(QEvent::MouseMove, QPointF(edge + 30, y), viewport->mapToGlobal(QPointF(edge + 30, y)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(edge + 30, y));
        QCOMPARE(header->sectionSize(0), width + 30);
        QCOMPARE(caption(1, 0), QStringLiteral("股东代码"));
        QCOMPARE(caption(1, 1), QStringLiteral("证券代码"));
        QCOMPARE(queryform->page(1).sortState().lastColumn(), -1);
        // Columns stay in their designed positions.
        QTest::mousePress(viewport, Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(1) + 10, y));
        QMouseEvent drag(QEvent::MouseMove, QPointF(5, y), viewport->mapToGlobal(QPointF(5, y)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &drag);
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, QPoint(5, y));
        QCOMPARE(header->visualIndex(1), 1);
    }

private:
    std::unique_ptr<Session> m_session;
};

SQLTOOL_TEST_MAIN(SortingTest)
#include "tst_sorting.moc"
