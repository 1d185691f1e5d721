// The query window, the statistics, the login and the two statements only
// SQL Server can run, against a real database server: the PostgreSQL test
// server, and a SQL Server when SQLTOOL_MSSQL_* name one. Expected rows come
// from SQL written here, never from the tool's own statements.

#include "support/exportreader.h"
#include "support/pgserver.h"
#include "support/testsupport.h"

#include "../query/querytestsupport.h"

#include "app/mainform.h"
#include "connection/chgpassform.h"
#include "connection/loginform.h"
#include "query/countform.h"

#include "db/command.h"
#include "export/export.h"

#include <QAction>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>

using namespace querytest;
using testsupport::ModalRecord;
using testsupport::ModalWatcher;

namespace {

// A database server the test runs against, and a way to run the test's
// own SQL there.
struct Backend
{
    QString dsn;
    QString user;
    QString password;
    QString database;
    std::function<QList<QStringList>(const QString &)> rows;
    std::function<void(const QString &)> exec;
};

// SQL Server's rows of the test's own SQL, through a connection of its own.
QList<QStringList> sqlServerRows(const QString &sql)
{
    Connection con;
    logIn(con, {testsupport::sqlServerPassword(), testsupport::sqlServerUser(), testsupport::sqlServerDsn(),
                testsupport::sqlServerDatabase()});
    Query query(&con);
    query.setSql({sql});
    QList<QStringList> rows;
    if (!sql.trimmed().startsWith(QLatin1String("select"), Qt::CaseInsensitive)) {
        query.execSql();
        return rows;
    }
    query.open();
    const ResultSet *result = query.result();
    for (int row = 0; row < result->rowCount(); ++row) {
        QStringList values;
        for (int column = 0; column < result->columnCount(); ++column)
            values << result->text(row, column);
        rows << values;
    }
    return rows;
}

Backend backend(const QString &name)
{
    if (name == QLatin1String("sqlserver")) {
        return {testsupport::sqlServerDsn(), testsupport::sqlServerUser(), testsupport::sqlServerPassword(),
                testsupport::sqlServerDatabase(), sqlServerRows,
                [](const QString &sql) { sqlServerRows(sql); }};
    }
    return {pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database(), pgserver::rows,
            pgserver::exec};
}

// Rows of the test's own, on both servers: one trade on each side of
// 10:00:00 and one inside, decimal amounts, Chinese names.
const QString OwnTrades = QStringLiteral(
    "insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,cjjg,cjje,sqbh,bs,mjbh) values "
    "('A900000001','王伟','20261208','900001','30001',300,0,'600519','95800','100200',10.5,3150.25,'SRV0000001','B','00001'),"
    "('A900000002','李芳','20261208','900001','30001',200,100,'600519','100100','100200',10.5,2100.5,'SRV0000002','S','00001'),"
    "('A900000003','张敏','20261208','900002','30002',1000,0,'600519','93000','93100',9.99,9990,'SRV0000003','B','00002'),"
    "('A900000004','刘静','20261208','900003','30002',2100,500,'600519','140000','140100',12.345,25924.5,'SRV0000004','S','00003')");
const QString OwnOrders = QStringLiteral(
    "insert into ashare_ordwth (rec_num,date,time,reff,acc,stock,bs,price,qty,status,owflag,firmid,checkord) values "
    "(900001,'20261208','09:30:00','R900001','A900000001','600519','B','10.50','1000','R','ORD','30001','c'),"
    "(900002,'20261208','09:30:01','R900002','A900000001','600519','S','10.05','2100','R','ORD','30001','c');"
    "insert into ashare_ordwth2 (rec_num,date,time,reff,acc,stock,bs,price,qty,qty2,status,remark,status1,owflag,teordernum,firmid,checkord) values "
    "(900001,'20261208','09:30:01','R900001','A900000001','600519','B','10.50','1000','1000','O','成功','Y','WTH','H900001','30001','c'),"
    "(900002,'20261208','09:30:02','R900002','A900000001','600519','S','10.05','2100','0','F','231余额不足','N','ORD','H900002','30001','c')");
const QString RemoveOwnRows = QStringLiteral(
    "delete from ashare_cjhb where sqbh like 'SRV%'; delete from ashare_ordwth where rec_num >= 900001;"
    " delete from ashare_ordwth2 where rec_num >= 900001");

// Two trades of a stock of their own, one with a NaN amount.
const QString NanTrades = QStringLiteral(
    "insert into ashare_cjhb (gddm,gdxm,bcrq,cjbh,gsdm,cjsl,bcye,zqdm,sbsj,cjsj,cjjg,cjje,sqbh,bs,mjbh) values "
    "('A900000005','陈强','20261208','900005','30001',100,0,'688001','93000','93100',12.5,1250,'NAN0000001','B','00001'),"
    "('A900000006','杨敏','20261208','900006','30001',200,0,'688001','93000','93100',12.5,'NaN','NAN0000002','S','00001')");
const QString RemoveNanTrades = QStringLiteral("delete from ashare_cjhb where sqbh like 'NAN%'");

const QString TradeNotNull = QStringLiteral(
    "gddm is not null and zqdm is not null and cjsl is not null and bcye is not null and bs is not null");
const QString OrderNotNull = QStringLiteral(
    "acc is not null and stock is not null and qty is not null and price is not null and bs is not null");

// The boxes a list command is run with: box name → text.
using Boxes = QList<QPair<QString, QString>>;

struct ListCase
{
    int page;       // 1 trades, 2 orders sent, 3 confirmations
    QString button;
    Boxes boxes;
    QString expectedSql; // the keys of the rows the list must show, in any order
};

QStringList sorted(QStringList values)
{
    for (QString &value : values)
        value = value.trimmed();
    std::sort(values.begin(), values.end());
    return values;
}

// The key column of each page's grid: sqbh, rec_num, rec_num.
int keyColumn(int page)
{
    return page == 1 ? 12 : 0;
}

QStringList column(const QList<QStringList> &rows, int index = 0)
{
    QStringList values;
    for (const QStringList &row : rows)
        values << row.value(index);
    return values;
}

QList<double> numbers(const QStringList &values)
{
    QList<double> result;
    for (const QString &value : values) {
        if (!value.trimmed().isEmpty())
            result << value.toDouble();
    }
    return result;
}

// A decimal as the statistics window writes it: no trailing zeros.
QString general(QString decimal)
{
    if (decimal.contains(QLatin1Char('.'))) {
        while (decimal.endsWith(QLatin1Char('0')))
            decimal.chop(1);
        if (decimal.endsWith(QLatin1Char('.')))
            decimal.chop(1);
    }
    return decimal;
}

void addBackendRows()
{
    QTest::addColumn<QString>("server");
    QTest::newRow("postgresql") << QStringLiteral("postgresql");
    QTest::newRow("sqlserver") << QStringLiteral("sqlserver");
}

} // namespace

Q_DECLARE_METATYPE(ListCase)

class ServerQueriesTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        PGSERVER_REQUIRE();
        pgserver::exec(OwnTrades + QLatin1Char(';') + OwnOrders);
        if (!testsupport::sqlServerDsn().isEmpty()) {
            sqlServerRows(RemoveOwnRows);
            sqlServerRows(OwnTrades);
            sqlServerRows(OwnOrders);
        }
    }

    void cleanupTestCase()
    {
        if (!testsupport::sqlServerDsn().isEmpty())
            sqlServerRows(RemoveOwnRows);
    }

    void cleanup()
    {
        m_forms.reset();
    }

    // Every list command of the three pages lists exactly the rows the
    // test's own SQL finds, whatever the column types.
    void listStatements_data()
    {
        QTest::addColumn<QString>("server");
        QTest::addColumn<ListCase>("listCase");
        const QString trades = QStringLiteral("select sqbh from ashare_cjhb");
        const QList<QPair<const char *, ListCase>> cases = {
            {"trades all", {1, "Button1", {}, trades}},
            {"trades no time",
             {1, "Button2", {{"Edit1", "A1000000"}, {"Edit7", "00"}, {"Edit11", "B"}},
              trades + " where " + TradeNotNull
                  + " and gddm like '%A1000000%' and cast(cjsl as varchar(12)) like '%00%' and bs = 'B'"}},
            {"trades declared in a range",
             {1, "Button2", {{"Edit2", "6000"}, {"Edit3", "93000"}, {"Edit4", "95959"}},
              trades + " where " + TradeNotNull
                  + " and zqdm like '%6000%' and cast(sbsj as int) between 93000 and 95959"}},
            {"trades traded in a range",
             {1, "Button2", {{"Edit8", "5"}, {"Edit5", "100000"}, {"Edit6", "113000"}},
              trades + " where " + TradeNotNull
                  + " and cast(bcye as varchar(12)) like '%5%' and cast(cjsj as int) between 100000 and 113000"}},
            {"trades declared across 10:00:00",
             {1, "Button2", {{"Edit3", "95000"}, {"Edit4", "100500"}},
              trades + " A where " + TradeNotNull
                  + " and (cast(sbsj as int) between 95000 and 95959 or exists (select 1 from ashare_cjhb B"
                    " where B.cjbh = A.cjbh and cast(B.sbsj as int) between 100000 and 100500))"}},
            {"trades traded across 10:00:00",
             {1, "Button2", {{"Edit2", "600519"}, {"Edit5", "93000"}, {"Edit6", "100200"}},
              trades + " A where " + TradeNotNull
                  + " and zqdm = '600519' and (cast(cjsj as int) between 93000 and 95959 or exists (select 1"
                    " from ashare_cjhb B where B.cjbh = A.cjbh and cast(B.cjsj as int) between 100000 and 100200))"}},
            {"orders all", {2, "Button4", {}, "select rec_num from ashare_ordwth"}},
            {"orders by condition",
             {2, "Button5", {{"Edit9", "A1"}, {"Edit10", "6000"}, {"Edit14", "00"}, {"Edit15", "2."}, {"Edit13", "S"}},
              "select rec_num from ashare_ordwth where " + OrderNotNull
                  + " and acc like '%A1%' and stock like '%6000%' and qty like '%00%' and price like '%2.%' and bs = 'S'"}},
            {"confirmations all", {3, "Button8", {}, "select rec_num from ashare_ordwth2"}},
            {"confirmations by condition",
             {3, "Button9", {{"Edit17", "600519"}, {"Edit18", "1000"}},
              "select rec_num from ashare_ordwth2 where " + OrderNotNull
                  + " and qty2 is not null and stock like '%600519%' and qty2 like '%1000%'"}},
        };
        for (const char *server : {"postgresql", "sqlserver"}) {
            for (const auto &[name, listCase] : cases)
                QTest::addRow("%s: %s", server, name) << QString::fromLatin1(server) << listCase;
        }
    }
    void listStatements()
    {
        QFETCH(QString, server);
        QFETCH(ListCase, listCase);
        if (const QString reason = unavailable(server); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        const Backend db = start(server);
        for (const auto &[name, text] : listCase.boxes)
            type(name, text);
        testsupport::ModalWatcher watcher;
        click(listCase.button);
        QCOMPARE(watcher.records.size(), 0);
        const QStringList expected = sorted(column(db.rows(listCase.expectedSql)));
        QVERIFY(!expected.isEmpty());
        QCOMPARE(sorted(columnTexts(listCase.page, keyColumn(listCase.page))), expected);
        const QString label = QStringList{"Label12", "Label15", "Label39"}.at(listCase.page - 1);
        QCOMPARE(labelText(label), QString::number(expected.size()));
    }

    // Title clicks sort int and numeric columns as numbers and the padded
    // HHMMSS text as text.
    void titleSortingOfTypedColumns_data() { addBackendRows(); }
    void titleSortingOfTypedColumns()
    {
        QFETCH(QString, server);
        if (const QString reason = unavailable(server); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        const Backend db = start(server);
        click(QStringLiteral("Button1"));
        const auto ordered = [&](const char *name, const char *direction) {
            return column(db.rows(QStringLiteral("select %1 from ashare_cjhb where %1 is not null order by %1 %2")
                                      .arg(QLatin1String(name), QLatin1String(direction))));
        };
        clickTitle(1, 2); // 成交数量 ▼
        QCOMPARE(numbers(columnTexts(1, 2)), numbers(ordered("cjsl", "desc")));
        clickTitle(1, 4); // 成交金额 ▲
        QCOMPARE(numbers(columnTexts(1, 4)), numbers(ordered("cjje", "asc")));
        clickTitle(1, 3); // 成交价格 ▼
        QCOMPARE(numbers(columnTexts(1, 3)), numbers(ordered("cjjg", "desc")));
        clickTitle(1, 8); // 申报时间 ▲: "100000" comes before "93000"
        QStringList times = columnTexts(1, 8);
        times.removeAll(QString());
        for (QString &time : times)
            time = time.trimmed();
        QStringList expected = column(db.rows(QStringLiteral("select sbsj from ashare_cjhb where sbsj is not null")));
        for (QString &time : expected)
            time = time.trimmed();
        std::sort(expected.begin(), expected.end());
        QCOMPARE(times, expected);
    }

    // Statistics over decimal amounts.
    void statisticsWithDecimalAmounts_data() { addBackendRows(); }
    void statisticsWithDecimalAmounts()
    {
        QFETCH(QString, server);
        if (const QString reason = unavailable(server); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        const Backend db = start(server);
        type(QStringLiteral("Edit2"), QStringLiteral("600519"));
        click(QStringLiteral("Button2"));
        const QStringList totals = db.rows(QStringLiteral("select count(*), sum(cjsl), sum(cjje) from ashare_cjhb "
                                                          "where zqdm = '600519' and ")
                                           + TradeNotNull)
                                       .value(0);
        QStringList shown;
        ModalWatcher watcher([&](QWidget *modal, const ModalRecord &) {
            if (modal == countform) {
                for (int row = 0; row < 3; ++row)
                    shown << countform->cell(1, row);
            }
            closeModal(modal);
        });
        click(QStringLiteral("Button13"));
        QTRY_COMPARE(watcher.records.size(), 1);
        QCOMPARE(shown, (QStringList{totals.value(0) + "(条)", totals.value(1) + "(股/手)",
                                     general(totals.value(2)) + "(元)"}));
        QVERIFY(shown.at(2).contains(QLatin1Char('.')));
    }

    // A NaN amount is shown as its text in the grid and the exports, sorts
    // above every number, and stops the statistics like any non-number.
    void nanAmountShownAsText()
    {
        if (const QString reason = unavailable(QStringLiteral("postgresql")); !reason.isEmpty())
            QSKIP(qPrintable(reason));
        pgserver::exec(NanTrades);
        const auto removeRows = qScopeGuard([] { pgserver::exec(RemoveNanTrades); });
        start(QStringLiteral("postgresql"));
        type(QStringLiteral("Edit2"), QStringLiteral("688001"));
        ModalWatcher watcher;
        click(QStringLiteral("Button2"));
        QCOMPARE(watcher.records.size(), 0);
        QCOMPARE(labelText(QStringLiteral("Label12")), QStringLiteral("2"));
        const ResultSet *result = datamod->qry1->result();
        QCOMPARE(result->kind(result->columnIndex(QStringLiteral("cjje"))), FieldKind::Decimal);
        clickTitle(1, 4); // 成交金额 ▼
        QCOMPARE(columnTexts(1, 4), (QStringList{"NaN", "1250"}));
        clickTitle(1, 4); // ▲
        QCOMPARE(columnTexts(1, 4), (QStringList{"1250", "NaN"}));

        const QTemporaryDir folder;
        const QList<ExportColumn> columns{{QStringLiteral("成交金额"), QStringLiteral("cjje")}};
        CommandControl control;
        const QString csv = folder.filePath(QStringLiteral("nan.csv"));
        exportResult(*datamod->qry1->result(), columns, csv, ExportFormat::Csv, control);
        QCOMPARE(testsupport::readCsv(csv), (QList<QStringList>{{"成交金额"}, {"1250"}, {"NaN"}}));
        const QString xlsx = folder.filePath(QStringLiteral("nan.xlsx"));
        exportResult(*datamod->qry1->result(), columns, xlsx, ExportFormat::Xlsx, control);
        const QJsonArray rows = testsupport::readWorkbook(xlsx).at(0).toObject().value("rows").toArray();
        QCOMPARE(testsupport::sheetColumn(rows, 0), (QStringList{"1250", "NaN"}));
        QCOMPARE(rows.at(2).toArray().at(0).toObject().value("t").toString(), QStringLiteral("s"));

        clickTitle(1, 4); // ▼: the NaN row first
        click(QStringLiteral("Button13"));
        QTRY_COMPARE(watcher.records.size(), 1);
        QCOMPARE(watcher.records.first().icon, int(QMessageBox::Critical));
        QCOMPARE(watcher.records.first().text,
                 QStringLiteral("第 1 行的“成交金额”不是有效的数字（NaN），无法统计."));
        QCOMPARE(datamod->qry1->recNo(), 0);
    }

    // A wrong password and a database the server does not have both end in
    // the login failure box with the connection closed; then the right
    // values log in.
    void loginFailures_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("database");
        QTest::newRow("wrong password") << QStringLiteral("not-the-password") << pgserver::database();
        QTest::newRow("wrong database") << pgserver::password() << QStringLiteral("nosuchdb");
    }
    void loginFailures()
    {
        QFETCH(QString, password);
        QFETCH(QString, database);
        m_forms = std::make_unique<testsupport::Forms>();
        const auto loginWith = [&](const QString &typed, const QString &name) {
            testsupport::writeDbset("[ConDBSet]\r\nSQLUser=" + pgserver::user().toUtf8() + "\r\nDSN="
                                    + pgserver::dsn().toUtf8() + "\r\nDATABASE=" + name.toUtf8() + "\r\n");
            loginform->hide();
            loginform->show();
            QTest::keyClicks(testsupport::child<QLineEdit>(loginform, "Edit2"), typed);
            testsupport::child<QPushButton>(loginform, "Button1")->click();
        };
        ModalWatcher watcher;
        loginWith(password, database);
        QCOMPARE(watcher.records.size(), 1);
        testsupport::verifyOkBox(watcher.records.first(), QStringLiteral("错误"), QStringLiteral("数据库登录错误"),
                                 QMessageBox::Critical, true);
        QVERIFY(!datamod->con->connected());
        QVERIFY(mainform->N2()->isEnabled());

        loginWith(pgserver::password(), pgserver::database());
        QCOMPARE(watcher.records.size(), 1);
        QVERIFY(datamod->con->connected());
        testsupport::verifyLoggedInState(pgserver::user());
    }

    // "delete ashare_cjhb" and "exec sp_password" are SQL Server's own: on
    // PostgreSQL both end in their command's failure box and change nothing.
    void sqlServerOnlyStatementsFail()
    {
        start(QStringLiteral("postgresql"));
        const QString before = pgserver::value(QStringLiteral("select count(*) from ashare_cjhb"));
        ModalWatcher watcher([](QWidget *modal, const ModalRecord &record) {
            if (record.title == QLatin1String("Confirm"))
                testsupport::pressButton(modal, QStringLiteral("&Yes"));
            else
                closeModal(modal);
        });
        testsupport::child<QAction>(mainform, "AshareCjhb1")->trigger();
        QTRY_COMPARE(watcher.records.size(), 2);
        QCOMPARE(watcher.records.at(1).title, QStringLiteral("失败了"));
        QVERIFY(watcher.records.at(1).text.startsWith(QStringLiteral("清除表失败！")));
        QCOMPARE(pgserver::value(QStringLiteral("select count(*) from ashare_cjhb")), before);

        // Logged in without the login window: the old password is empty.
        chgpassform->show();
        for (const char *name : {"Edit2", "Edit3"})
            QTest::keyClicks(testsupport::child<QLineEdit>(chgpassform, name), QStringLiteral("changed"));
        testsupport::child<QPushButton>(chgpassform, "Button1")->click();
        QTRY_COMPARE(watcher.records.size(), 3);
        QCOMPARE(watcher.records.at(2).title, QStringLiteral("失败了"));
        QVERIFY(watcher.records.at(2).text.startsWith(QStringLiteral("修改密码失败！")));
        QVERIFY(datamod->con->connected());
    }

private:
    // The program's windows, logged in to the server, the query window shown.
    Backend start(const QString &server)
    {
        const Backend db = backend(server);
        m_forms = std::make_unique<testsupport::Forms>();
        testsupport::logIn(db.dsn, db.user, db.password, db.database);
        queryform->show();
        if (!QTest::qWaitForWindowExposed(queryform))
            qWarning("query window not exposed");
        return db;
    }

    // Why the server cannot be used (empty when it can).
    static QString unavailable(const QString &server)
    {
        if (server == QLatin1String("sqlserver"))
            return testsupport::sqlServerDsn().isEmpty() ? QStringLiteral("SQLTOOL_MSSQL_DSN is not set") : QString();
        return pgserver::available() ? QString() : QStringLiteral("PostgreSQL server unavailable");
    }

    std::unique_ptr<testsupport::Forms> m_forms;
};

SQLTOOL_SERVER_TEST_MAIN(ServerQueriesTest, "tst_serverqueries")
#include "tst_serverqueries.moc"
