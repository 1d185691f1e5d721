// "追踪委托" in the context menu of the query window's three grids opens the
// order of the current row in the trace window.

#include "support/testsupport.h"

#include "../monitor/monitortestsupport.h"
#include "db/query.h"
#include "db/resultset.h"
#include "query/queryform.h"
#include "query/querypage.h"

#include <QAction>
#include <QTableView>

using namespace testsupport;
using namespace monitortest;

class TestTraceMenu : public QObject
{
    Q_OBJECT
private slots:
    void traceEntryOpensTheRowsOrder_data();
    void traceEntryOpensTheRowsOrder();
};

void TestTraceMenu::traceEntryOpensTheRowsOrder_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::newRow("trade by sqbh") << 1 << "cjbh" << "4";
    QTest::newRow("order by rec_num") << 2 << "rec_num" << "4";
    QTest::newRow("cancel by its ordrec") << 2 << "rec_num" << "7";
    QTest::newRow("confirmation by reff") << 3 << "rec_num" << "4";
    QTest::newRow("cancel confirmation by ordrec") << 3 << "rec_num" << "6";
}

void TestTraceMenu::traceEntryOpensTheRowsOrder()
{
    QFETCH(int, page);
    QFETCH(QString, field);
    QFETCH(QString, value);
    createEmptyDatabase(databasePath());
    const auto exec = [](const QString &sql) { sqliteExec(databasePath(), sql); };
    plantNormalDay(exec);
    exec(order(4, "P1", "P", 1000, 50));
    exec(confirmation(4, "P1", "O", "", 49));
    exec(trade(3, "P1", 200, "10.470", "2094.00", 48));
    exec(trade(4, "P1", 400, "10.500", "4200.00", 47));
    exec(order(7, "X7", "P", 0, 40, "WTH", 4));
    exec(confirmation(6, "X7", "W", "", 39, "WTH", 4, 400));
    Forms forms;
    logIn();
    QueryPage &p = queryform->page(page);
    p.listAll();
    const ResultSet *result = p.query()->result();
    QVERIFY(result);
    int row = -1;
    for (int r = 0; r < result->rowCount() && row < 0; ++r)
        if (result->text(r, result->columnIndex(field)).trimmed() == value)
            row = r;
    QVERIFY(row >= 0);
    p.grid()->setCurrentIndex(p.grid()->model()->index(row, 0));
    QAction *entry = p.grid()->findChild<QAction *>(QStringLiteral("TraceAction"));
    QVERIFY(entry);
    QCOMPARE(entry->text(), QStringLiteral("追踪委托"));
    QVERIFY(entry->isEnabled());
    QSignalSpy spy(traceform, &Ttraceform::traced);
    entry->trigger();
    QVERIFY(spy.wait(20000));
    QCOMPARE(traceform->stateText(), QStringLiteral("已确认，成交 600/1000（2 笔，均价 10.49），撤单已撤 400"));
}

SQLTOOL_TEST_MAIN(TestTraceMenu)
#include "tst_tracemenu.moc"
