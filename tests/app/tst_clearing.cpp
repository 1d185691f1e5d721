#include "support/testsupport.h"

#include "app/clearing.h"
#include "app/mainform.h"
#include "connection/datamodule.h"
#include "db/connection.h"
#include "db/query.h"
#include "query/queryform.h"

#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QTableView>

using namespace testsupport;

Q_DECLARE_METATYPE(ClearTable)

namespace {

struct Expected
{
    const char *table;
    const char *statement;
    const char *question;
    const char *success;
    const char *failureLine4;
    const char *menuEntry;
    const char *listAllButton;
    const char *grid;
    const char *countLabel;
};

// The texts and names each command is specified with.
Expected expected(ClearTable table)
{
    switch (table) {
    case ClearTable::Cjhb:
        return {"ashare_cjhb", "delete ashare_cjhb", "您确定清除成交回报数据表(Ashare_Cjhb)吗?",
                "清除成交回报数据表(Ashare_Cjhb)成功！", "成交回报数据表(Ashare_Cjhb)有",
                "AshareCjhb1", "Button1", "DBGrid1", "Label12"};
    case ClearTable::Ordwth2:
        return {"ashare_ordwth2", "delete ashare_ordwth2",
                "您确定清除接收返回确认表(Ashare_Ordwth2)吗?",
                "清除接收返回确认表(Ashare_Ordwth2)成功！", "接收返回确认表(Ashare_Ordwth2)有",
                "AshareOrdwth21", "Button8", "DBGrid3", "Label39"};
    case ClearTable::Ordwth:
        break;
    }
    return {"ashare_ordwth", "delete ashare_ordwth", "您确定清除发送数据表(Ashare_Ordwth)吗?",
            "清除发送数据表(Ashare_Ordwth)成功！", "发送数据表(Ashare_Ordwth)有", "AshareOrdwth1",
            "Button4", "DBGrid2", "Label15"};
}

Query *queryObject(ClearTable table)
{
    switch (table) {
    case ClearTable::Cjhb:
        return datamod->qry1;
    case ClearTable::Ordwth2:
        return datamod->qry3;
    case ClearTable::Ordwth:
        break;
    }
    return datamod->qry2;
}

QString failureText(ClearTable table)
{
    return QStringList{QStringLiteral("清除表失败！"), QString(),
                       QStringLiteral("请检查该数据库用户是否对"),
                       QString::fromUtf8(expected(table).failureLine4),
                       QStringLiteral("删除权限！")}
        .join(QLatin1Char('\n'));
}

const char *const Tables[] = {"ashare_cjhb", "ashare_ordwth", "ashare_ordwth2"};

QList<qint64> rowCounts(const QString &path)
{
    QList<qint64> counts;
    for (const char *table : Tables)
        counts << sqliteCount(path, QStringLiteral("select count(*) from %1").arg(QLatin1String(table)));
    return counts;
}

enum class Answer { Yes, No, Escape, Close };

ModalWatcher::Handler answering(Answer answer)
{
    return [answer](QWidget *modal, const ModalRecord &record) {
        if (record.title != QLatin1String("Confirm")) {
            closeModal(modal);
            return;
        }
        switch (answer) {
        case Answer::Yes:
            pressButton(modal, QStringLiteral("&Yes"));
            break;
        case Answer::No:
            pressButton(modal, QStringLiteral("&No"));
            break;
        case Answer::Escape:
            pressEscape(modal);
            break;
        case Answer::Close:
            modal->close();
            break;
        }
    };
}

void verifyQuestion(const ModalRecord &record, ClearTable table)
{
    QCOMPARE(record.className, QStringLiteral("QMessageBox"));
    QCOMPARE(record.title, QStringLiteral("Confirm"));
    QCOMPARE(record.text, QString::fromUtf8(expected(table).question));
    QCOMPARE(record.icon, int(QMessageBox::Question));
    QCOMPARE(record.buttons, (QStringList{"&Yes", "&No"}));
    QCOMPARE(record.defaultButton, QStringLiteral("&Yes"));
    QVERIFY(!record.hasOwner);
}

// Orders not yet taken by the gateway, counted independently.
qint64 unsentOrders(const QString &path)
{
    return sqliteCount(path, QStringLiteral("select count(*) from ashare_ordwth where upper(status) = 'R'"));
}

// The second question of clearing ashare_ordwth: `unsent` orders still "R".
QString unsentQuestion(qint64 unsent)
{
    return QStringLiteral("发送数据表中还有 %1 笔委托尚未被网关取走（状态 R），清除后这些委托将不会报出。仍要清除吗?").arg(unsent);
}

// The questions a command asks before it deletes: its own, and for
// ashare_ordwth with unsent orders the second.
int questionsAsked(ClearTable table, qint64 unsent)
{
    return table == ClearTable::Ordwth && unsent > 0 ? 2 : 1;
}

void verifyUnsentQuestion(const ModalRecord &record, qint64 unsent)
{
    QCOMPARE(record.className, QStringLiteral("QMessageBox"));
    QCOMPARE(record.title, QStringLiteral("Confirm"));
    QCOMPARE(record.text, unsentQuestion(unsent));
    QCOMPARE(record.icon, int(QMessageBox::Question));
    QCOMPARE(record.buttons, (QStringList{"&Yes", "&No"}));
    QCOMPARE(record.defaultButton, QStringLiteral("&No"));
    QVERIFY(!record.hasOwner);
}

void addTableRows()
{
    QTest::addColumn<ClearTable>("table");
    QTest::newRow("ashare_cjhb") << ClearTable::Cjhb;
    QTest::newRow("ashare_ordwth2") << ClearTable::Ordwth2;
    QTest::newRow("ashare_ordwth") << ClearTable::Ordwth;
}

} // namespace

class ClearingTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { generateDatabase(databasePath(), 60, 5, 40); }

    void declined_data()
    {
        QTest::addColumn<ClearTable>("table");
        QTest::addColumn<int>("answer");
        for (ClearTable table : {ClearTable::Cjhb, ClearTable::Ordwth2, ClearTable::Ordwth}) {
            const QByteArray name = expected(table).table;
            QTest::newRow((name + " No").constData()) << table << int(Answer::No);
            QTest::newRow((name + " Escape").constData()) << table << int(Answer::Escape);
            QTest::newRow((name + " closed").constData()) << table << int(Answer::Close);
        }
    }

    // Any answer but Yes ends the command: nothing is deleted or shown, and
    // the query object is left as it was.
    void declined()
    {
        QFETCH(ClearTable, table);
        QFETCH(int, answer);
        const QList<qint64> before = rowCounts(databasePath());
        Forms forms;
        logIn();
        Query *query = queryObject(table);
        const QStringList sqlBefore = query->sql();
        ModalWatcher watcher(answering(Answer(answer)));
        clearTable(table);

        QCOMPARE(watcher.records.size(), 1);
        verifyQuestion(watcher.records.first(), table);
        QCOMPARE(query->sql(), sqlBefore);
        QVERIFY(query->lastStatement().isEmpty());
        QCOMPARE(rowCounts(databasePath()), before);
    }

    // On Yes the statement is sent as it stands; SQLite knows no
    // "delete <table>" without FROM, so every command takes its failure path.
    void acceptedFailsOnSqlite_data() { addTableRows(); }

    void acceptedFailsOnSqlite()
    {
        QFETCH(ClearTable, table);
        const QList<qint64> before = rowCounts(databasePath());
        QVERIFY(before.at(0) > 0 && before.at(1) > 0 && before.at(2) > 0);
        Forms forms;
        logIn();
        Query *query = queryObject(table);
        // Leave a result open on the object, as a listed page does.
        runQuery(*query, {QStringLiteral("select * from %1").arg(QLatin1String(expected(table).table))});
        QVERIFY(query->active());

        ModalWatcher watcher(answering(Answer::Yes));
        const int questions = questionsAsked(table, unsentOrders(databasePath()));
        clearTable(table);

        QCOMPARE(watcher.records.size(), questions + 1);
        verifyQuestion(watcher.records.at(0), table);
        verifyOkBox(watcher.records.at(questions), QStringLiteral("失败了"), failureText(table),
                    QMessageBox::Critical);

        const QString statement = QString::fromUtf8(expected(table).statement);
        QCOMPARE(query->lastStatement(), statement);
        QVERIFY(query->lastBoundValues().isEmpty());
        QCOMPARE(query->sql(), QStringList{statement});
        QVERIFY(!query->active());
        for (Query *other : {datamod->qry1, datamod->qry2, datamod->qry3, datamod->qry4}) {
            if (other != query)
                QVERIFY(other->lastStatement() != statement);
        }
        QCOMPARE(rowCounts(databasePath()), before);
        // The login state does not change.
        QVERIFY(datamod->con->connected());
        QVERIFY(mainform->N3()->isEnabled());
    }

    // The menu entries run their own table's command, and the query
    // window's page of that table shows an empty grid afterwards while its
    // count label keeps the last count.
    void menuEntryAndQueryPage_data() { addTableRows(); }

    void menuEntryAndQueryPage()
    {
        QFETCH(ClearTable, table);
        const Expected names = expected(table);
        Forms forms;
        logIn();
        ModalWatcher watcher(answering(Answer::Yes));

        auto *grid = child<QTableView>(queryform, names.grid);
        auto *count = child<QLabel>(queryform, names.countLabel);
        child<QAbstractButton>(queryform, names.listAllButton)->click();
        const qint64 rows = sqliteCount(
            databasePath(), QStringLiteral("select count(*) from %1").arg(QLatin1String(names.table)));
        QCOMPARE(count->text(), QString::number(rows));
        QCOMPARE(grid->model()->rowCount(), int(rows));

        auto *entry = child<QAction>(mainform, names.menuEntry);
        QVERIFY(entry->isEnabled());
        const int questions = questionsAsked(table, unsentOrders(databasePath()));
        entry->trigger();

        QCOMPARE(watcher.records.size(), questions + 1);
        verifyQuestion(watcher.records.at(0), table);
        QCOMPARE(watcher.records.at(questions).title, QStringLiteral("失败了"));
        QCOMPARE(queryObject(table)->lastStatement(), QString::fromUtf8(names.statement));
        QCOMPARE(grid->model()->rowCount(), 0);
        QCOMPARE(count->text(), QString::number(rows));
    }

    // Clearing ashare_ordwth while the gateway has not taken every order
    // asks a second question, No by default, with the number counted on
    // the data module's worker; No deletes nothing. Without unsent orders
    // there is no second question.
    void unsentOrdersAskASecondQuestion_data()
    {
        QTest::addColumn<QString>("statuses"); // SQL setting the statuses first
        QTest::addColumn<int>("secondAnswer");
        QTest::newRow("four R, No") << QString() << int(Answer::No);
        QTest::newRow("four R, Escape") << QString() << int(Answer::Escape);
        QTest::newRow("four R, Yes") << QString() << int(Answer::Yes);
        QTest::newRow("r in lower case too, No")
            << QStringLiteral("update ashare_ordwth set status = 'r' where rec_num in (1, 2)") << int(Answer::No);
        QTest::newRow("none unsent") << QStringLiteral("update ashare_ordwth set status = 'P'") << int(Answer::Yes);
    }

    void unsentOrdersAskASecondQuestion()
    {
        QFETCH(QString, statuses);
        QFETCH(int, secondAnswer);
        generateDatabase(databasePath(), 60, 5, 40);
        if (!statuses.isEmpty())
            sqliteExec(databasePath(), statuses);
        const qint64 unsent = unsentOrders(databasePath());
        QVERIFY(statuses.contains(QLatin1String("'P'")) ? unsent == 0 : unsent >= 4);
        const QList<qint64> before = rowCounts(databasePath());
        Forms forms;
        logIn();
        int questions = 0;
        ModalWatcher watcher([&questions, secondAnswer](QWidget *modal, const ModalRecord &record) {
            if (record.title != QLatin1String("Confirm")) {
                closeModal(modal);
                return;
            }
            answering(++questions == 1 ? Answer::Yes : Answer(secondAnswer))(modal, record);
        });
        clearTable(ClearTable::Ordwth);

        verifyQuestion(watcher.records.at(0), ClearTable::Ordwth);
        const QString count = datamod->qry4->lastStatement();
        QVERIFY2(count.contains(QLatin1String("count(*) from ashare_ordwth")), qPrintable(count));
        QVERIFY(!datamod->qry4->active());
        const bool asked = unsent > 0;
        if (asked)
            verifyUnsentQuestion(watcher.records.at(1), unsent);
        const bool deleting = !asked || Answer(secondAnswer) == Answer::Yes;
        // SQLite runs no "delete ashare_ordwth": a delete sent fails.
        QCOMPARE(watcher.records.size(), (asked ? 2 : 1) + (deleting ? 1 : 0));
        QCOMPARE(datamod->qry2->lastStatement(), deleting ? QStringLiteral("delete ashare_ordwth") : QString());
        if (deleting)
            QCOMPARE(watcher.records.last().title, QStringLiteral("失败了"));
        QCOMPARE(rowCounts(databasePath()), before);
        generateDatabase(databasePath(), 60, 5, 40);
    }

    // Runs only against a real SQL Server named by SQLTOOL_MSSQL_DSN (with
    // _USER, _PASSWORD, _DATABASE). It empties the three tables there.
    void clearOnSqlServer_data() { addTableRows(); }

    void clearOnSqlServer()
    {
        QFETCH(ClearTable, table);
        if (sqlServerDsn().isEmpty())
            QSKIP("SQLTOOL_MSSQL_DSN is not set");
        Forms forms;
        logIn(sqlServerDsn(), sqlServerUser(), sqlServerPassword(), sqlServerDatabase());
        ModalWatcher watcher(answering(Answer::Yes));
        const QString countSql =
            QStringLiteral("select * from %1").arg(QLatin1String(expected(table).table));

        // Twice: the second time the table is already empty.
        qsizetype boxes = 0;
        for (int round = 0; round < 2; ++round) {
            runQuery(*datamod->qry4, {QStringLiteral("select count(*) from ashare_ordwth where upper(status) = 'R'")});
            const qint64 unsent = datamod->qry4->result()->text(0, 0).toLongLong();
            clearTable(table);
            boxes += questionsAsked(table, unsent) + 1;
            QCOMPARE(watcher.records.size(), boxes);
            verifyOkBox(watcher.records.last(), QStringLiteral("清除成功"),
                        QString::fromUtf8(expected(table).success), QMessageBox::Information);
            QVERIFY(!queryObject(table)->active());
            runQuery(*datamod->qry4, {countSql});
            QCOMPARE(datamod->qry4->recordCount(), 0);
        }
    }
};

SQLTOOL_TEST_MAIN(ClearingTest)
#include "tst_clearing.moc"
