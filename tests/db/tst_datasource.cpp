#include "support/testsupport.h"

#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/datasource.h"
#include "db/query.h"

#include <QSignalSpy>
#include <QTableView>

using namespace testsupport;

namespace {

const int TradeRows = 500;

// A column of the trade table read directly through SQLite, in sqbh order.
QStringList tableColumn(const QString &field)
{
    return sqliteColumn(databasePath(), "select " + field + " from ashare_cjhb order by sqbh");
}

QStringList modelColumn(const QAbstractItemModel &model, int column)
{
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, column).data().toString();
    return values;
}

} // namespace

class DataSourceTest : public QObject
{
    Q_OBJECT
private:
    Connection *con = nullptr;
    const QStringList captions{QString::fromUtf8("股东代码"), QString::fromUtf8("成交数量"),
                               QString::fromUtf8("成交金额"), QStringLiteral("SQBH"), QString::fromUtf8("备注")};

private slots:
    void initTestCase()
    {
        generateDatabase(databasePath(), TradeRows);
        con = new Connection(this);
        con->setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("sse")));
        con->open();
    }

    void designedColumnsBeforeAnyRun()
    {
        Query query(con);
        DataSource source(&query);
        source.setColumnCaptions(captions);
        QCOMPARE(source.columnCount(), captions.size());
        QCOMPARE(source.rowCount(), 0);
        for (int i = 0; i < captions.size(); ++i) {
            QCOMPARE(source.headerData(i, Qt::Horizontal).toString(), captions[i]);
            QCOMPARE(source.caption(i), captions[i]);
            QVERIFY(source.fieldName(i).isEmpty());
        }
        QCOMPARE(source.currentRow(), -1);
        QSignalSpy header(&source, &QAbstractItemModel::headerDataChanged);
        source.setCaption(1, QString::fromUtf8("▼成交数量"));
        QCOMPARE(header.size(), 1);
        QCOMPARE(header.at(0).at(1).toInt(), 1);
        QCOMPARE(header.at(0).at(2).toInt(), 1);
        QCOMPARE(source.headerData(1, Qt::Horizontal).toString(), QString::fromUtf8("▼成交数量"));
    }

    void columnsShowFieldsByName()
    {
        Query query(con);
        DataSource source(&query);
        source.setColumnCaptions(captions);
        // Bound by position, in another order than the select list; the last
        // column names a field the result does not have.
        const QStringList fields{"gddm", "cjsl", "cjje", "sqbh", "nosuch"};
        runQuery(query, {"select sqbh, cjje, cjsl, gddm, gdxm from ashare_cjhb order by sqbh"}, {}, [&] {
            for (int i = 0; i < fields.size(); ++i)
                source.setFieldName(i, fields[i]);
        });
        QCOMPARE(source.rowCount(), TradeRows);
        QCOMPARE(modelColumn(source, 0), tableColumn("gddm"));
        QCOMPARE(modelColumn(source, 1), tableColumn("cjsl"));
        QCOMPARE(modelColumn(source, 3), tableColumn("sqbh"));
        QCOMPARE(modelColumn(source, 4), QStringList(TradeRows, QString()));
        QCOMPARE(source.index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
                 Qt::AlignRight);
        // Field names match case-insensitively and can change later.
        source.setFieldName(4, "GDXM");
        QCOMPARE(modelColumn(source, 4), tableColumn("gdxm"));
        // Cells are never editable.
        const Qt::ItemFlags flags = source.flags(source.index(0, 0));
        QVERIFY(flags & Qt::ItemIsEnabled);
        QVERIFY(flags & Qt::ItemIsSelectable);
        QVERIFY(!(flags & Qt::ItemIsEditable));
        QVERIFY(!source.setData(source.index(0, 0), "x"));
    }

    void followsResortsAndClose()
    {
        Query query(con);
        DataSource source(&query);
        source.setColumnCaptions(captions);
        source.setFieldName(0, "gddm");
        source.setFieldName(3, "sqbh");
        QSignalSpy reset(&source, &QAbstractItemModel::modelReset);
        runQuery(query, {"select sqbh, gddm from ashare_cjhb"});
        QCOMPARE(reset.size(), 1);
        query.sort("sqbh DESC");
        QCOMPARE(reset.size(), 2);
        QCOMPARE(modelColumn(source, 3),
                 sqliteColumn(databasePath(), "select sqbh from ashare_cjhb order by sqbh desc"));
        query.sort("gddm ASC");
        // Nulls first, ties in the database's order (here: sqbh order).
        QCOMPARE(modelColumn(source, 3),
                 sqliteColumn(databasePath(), "select sqbh from ashare_cjhb order by gddm is not null, gddm, rowid"));
        query.close();
        QCOMPARE(source.rowCount(), 0);
        QCOMPARE(source.currentRow(), -1);
        // A statement executed on the query leaves the grid empty.
        runQuery(query, {"select sqbh, gddm from ashare_cjhb"});
        QCOMPARE(source.rowCount(), TradeRows);
        QVERIFY_THROWS_EXCEPTION(DatabaseError, executeStatement(query, {"delete ashare_cjhb"}));
        QCOMPARE(source.rowCount(), 0);
    }

    void currentRowFollowsTheWalk()
    {
        Query query(con);
        DataSource source(&query);
        source.setColumnCaptions(captions);
        source.setFieldName(3, "sqbh");
        runQuery(query, {"select sqbh from ashare_cjhb order by sqbh"});
        QCOMPARE(source.currentRow(), 0);
        QCoreApplication::processEvents();
        QSignalSpy moved(&source, &DataSource::currentRowChanged);
        query.next();
        query.next();
        query.next();
        QCOMPARE(source.currentRow(), 3);
        QCoreApplication::processEvents();
        QCOMPARE(moved.size(), 1);
        QCOMPARE(moved.at(0).at(0).toInt(), 3);
        query.setRecNo(42);
        QCoreApplication::processEvents();
        QCOMPARE(moved.size(), 2);
        QCOMPARE(source.currentRow(), 42);
    }

    void gridOverTheModel()
    {
        Tdatamod module;
        module.DataSource1->setColumnCaptions(captions);
        QTableView grid;
        grid.setModel(module.DataSource1);
        grid.resize(600, 400);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.model()->rowCount(), 0);
        module.con->setConnectionString(loginConnectionString("", "qtrl", "sse"));
        module.con->open();
        runQuery(*module.qry1, {"select gddm,cjsl from ashare_cjhb"}, {}, [&] {
            module.DataSource1->setFieldName(0, "gddm");
            module.DataSource1->setFieldName(1, "cjsl");
        });
        QCOMPARE(grid.model()->rowCount(), TradeRows);
        QCOMPARE(module.DataSource1->dataSet(), module.qry1);
        module.qry1->sort("cjsl DESC");
        QCoreApplication::processEvents();
        QCOMPARE(grid.model()->index(0, 1).data().toString(),
                 sqliteColumn(databasePath(), "select max(cjsl) from ashare_cjhb").value(0));
        module.qry1->close();
        QCoreApplication::processEvents();
        QCOMPARE(grid.model()->rowCount(), 0);
    }
};

SQLTOOL_TEST_MAIN(DataSourceTest)
#include "tst_datasource.moc"
