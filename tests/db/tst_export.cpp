#include "support/exportreader.h"
#include "support/testsupport.h"

#include "db/query.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/command.h"
#include "db/export.h"

#include <QJsonObject>
#include <QTemporaryDir>

#include <thread>

using namespace testsupport;

namespace {

const QString Select = QStringLiteral("select gddm,zqdm,cjsl,cjjg,gdxm,cjbh,sqbh from ashare_cjhb order by sqbh");

// Captions in the grid's order; the last column's field is not in the result.
const QList<ExportColumn> Columns = {
    {"股东代码", "gddm"}, {"证券代码", "zqdm"}, {"成交数量", "cjsl"}, {"成交价格", "cjjg"},
    {"股东姓名", "gdxm"}, {"成交编号", "cjbh"}, {"操作员", "mjbh"},
};

// The rows as CSV holds them (an empty field for null and the unbound column).
const QList<QStringList> CsvRows = {
    {"股东代码", "证券代码", "成交数量", "成交价格", "股东姓名", "成交编号", "操作员"},
    {"A000000001", "000001", "300", "10.5", "张三", "a,b", ""},
    {"A000000002", "600000", "100", "8.25", "李\"四", "x\ny", ""},
    {"", "000002", "", "7", "王五", "a longer trade number", ""},
};

// A cell as the reader gives it: its type and its value as text.
QString cell(const QJsonArray &rows, int row, int column)
{
    const QJsonObject value = rows.at(row).toArray().at(column).toObject();
    const QJsonValue v = value.value("v");
    const QString text = v.isDouble() ? QString::number(v.toDouble()) : v.toString();
    return value.value("t").toString() + ":" + (v.isNull() ? QStringLiteral("null") : text);
}

} // namespace

class ExportTest : public QObject
{
    Q_OBJECT
private:
    Connection *con = nullptr;
    Query *query = nullptr;
    QTemporaryDir *dir = nullptr;

    QString target(const QString &name) const { return dir->filePath(name); }

    void exportTo(const QString &path, ExportFormat format, const ExportOptions &options = {})
    {
        CommandControl control;
        exportResult(*query->result(), Columns, path, format, control, options);
        QCOMPARE(control.rows(), qint64(query->recordCount()));
    }

private slots:
    void initTestCase()
    {
        createEmptyDatabase(databasePath());
        sqliteExec(databasePath(),
                   "insert into ashare_cjhb (gddm,zqdm,cjsl,cjjg,gdxm,cjbh,sqbh) values "
                   "('A000000001','000001',300,10.5,'张三','a,b','1'),"
                   "('A000000002','600000',100,8.25,'李\"四','x'||char(10)||'y','2'),"
                   "(null,'000002',null,7,'王五','a longer trade number','3')");
        con = new Connection(this);
        con->setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("sse")));
        con->open();
        query = new Query(con, this);
        query->setSql({Select});
        query->open();
    }

    void init()
    {
        query->sort("sqbh ASC");
        delete dir;
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanupTestCase() { delete dir; }

    void workbookKeepsTextAndNumbers()
    {
        const QString path = target("trades.xlsx");
        exportTo(path, ExportFormat::Xlsx);
        QCOMPARE(filesIn(dir->path()), QStringList{"trades.xlsx"});
        const QJsonArray sheets = readWorkbook(path);
        QCOMPARE(sheets.size(), 1);
        const QJsonObject sheet = sheets.at(0).toObject();
        const QJsonArray rows = sheet.value("rows").toArray();
        QCOMPARE(rows.size(), 4);
        for (int c = 0; c < Columns.size(); ++c)
            QCOMPARE(cell(rows, 0, c), "s:" + Columns[c].caption);
        QCOMPARE(cell(rows, 1, 0), QStringLiteral("s:A000000001"));
        QCOMPARE(cell(rows, 1, 1), QStringLiteral("s:000001")); // a code stays text
        QCOMPARE(cell(rows, 1, 2), QStringLiteral("n:300"));    // a quantity is a number
        QCOMPARE(cell(rows, 1, 3), QStringLiteral("n:10.5"));
        QCOMPARE(cell(rows, 1, 4), QStringLiteral("s:张三"));
        QCOMPARE(cell(rows, 2, 4), QStringLiteral("s:李\"四"));
        QCOMPARE(cell(rows, 2, 5), QStringLiteral("s:x\ny"));
        QCOMPARE(cell(rows, 3, 0), QStringLiteral("n:null"));   // null stays an empty cell
        QCOMPARE(cell(rows, 3, 2), QStringLiteral("n:null"));
        QCOMPARE(cell(rows, 1, 6), QStringLiteral("n:null"));   // unbound column
        QVERIFY(sheet.value("bold").toBool());
        QCOMPARE(sheet.value("freeze").toString(), QStringLiteral("A2"));
        QCOMPARE(sheet.value("filter").toString(), QStringLiteral("A1:G4"));
        // Widths follow the content, and are at least the caption's.
        const QJsonArray widths = sheet.value("widths").toArray();
        QCOMPARE(widths.size(), Columns.size());
        QVERIFY(widths.at(5).toDouble() >= 21);
        QVERIFY(widths.at(5).toDouble() > widths.at(3).toDouble());
        QVERIFY(widths.at(3).toDouble() >= 10); // "成交价格" is 8 wide, plus the filter button
    }

    void csvIsUtf8WithBomCrlfAndQuoting()
    {
        const QString path = target("trades.csv");
        exportTo(path, ExportFormat::Csv);
        const QByteArray bytes = readFile(path);
        QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
        QVERIFY(bytes.endsWith("\r\n"));
        QCOMPARE(bytes.count("\r\n"), 4);         // the quoted line break inside a field stays LF
        QVERIFY(bytes.contains("\"李\"\"四\""));  // quotes doubled inside a quoted field
        QCOMPARE(readCsv(path), CsvRows);
    }

    void rowsFollowTheCurrentOrder_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("xlsx") << int(ExportFormat::Xlsx);
        QTest::newRow("csv") << int(ExportFormat::Csv);
    }

    void rowsFollowTheCurrentOrder()
    {
        QFETCH(int, format);
        query->setRecNo(1);
        query->sort("cjsl DESC");
        query->setRecNo(2);
        const QString path = target(ExportFormat(format) == ExportFormat::Xlsx ? "sorted.xlsx" : "sorted.csv");
        exportTo(path, ExportFormat(format));
        QCOMPARE(query->recNo(), 2); // the export does not move the current row
        QStringList quantities;
        if (ExportFormat(format) == ExportFormat::Xlsx) {
            quantities = sheetColumn(readWorkbook(path).at(0).toObject().value("rows").toArray(), 2);
        } else {
            const QList<QStringList> records = readCsv(path);
            for (int row = 1; row < records.size(); ++row)
                quantities << records[row][2];
        }
        QCOMPARE(quantities, (QStringList{"300", "100", ""}));
    }

    void sheetsSplitWithTheHeaderRepeated()
    {
        const QString path = target("split.xlsx");
        ExportOptions options;
        options.sheetRows = 2;
        exportTo(path, ExportFormat::Xlsx, options);
        const QJsonArray sheets = readWorkbook(path);
        QCOMPARE(sheets.size(), 2);
        const QJsonArray first = sheets.at(0).toObject().value("rows").toArray();
        const QJsonArray second = sheets.at(1).toObject().value("rows").toArray();
        QCOMPARE(first.size(), 3);
        QCOMPARE(second.size(), 2);
        QCOMPARE(cell(second, 0, 1), QStringLiteral("s:证券代码"));
        QCOMPARE(sheetColumn(first, 1) + sheetColumn(second, 1), (QStringList{"000001", "600000", "000002"}));
        QCOMPARE(sheets.at(1).toObject().value("filter").toString(), QStringLiteral("A1:G2"));
        QCOMPARE(sheets.at(1).toObject().value("freeze").toString(), QStringLiteral("A2"));
    }

    void cancelLeavesNoFileAndKeepsTheOldOne_data() { rowsFollowTheCurrentOrder_data(); }

    void cancelLeavesNoFileAndKeepsTheOldOne()
    {
        QFETCH(int, format);
        const QString path = target("old");
        writeFile(path, "old content");
        CommandControl control;
        control.requestCancel();
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 exportResult(*query->result(), Columns, path, ExportFormat(format), control));
        QCOMPARE(filesIn(dir->path()), QStringList{"old"});
        QCOMPARE(readFile(path), QByteArray("old content"));
    }

    // A cancel once the rows are nearly all written lands in the last rows
    // or in the closing of the workbook, which runs on a thread the cancel
    // leaves behind: either way the export ends and no file stays.
    void cancelWhileClosingLeavesNoFile()
    {
        generateDatabase(otherDatabasePath(), 40000, 3);
        Connection other;
        other.setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("other")));
        other.open();
        Query trades(&other);
        trades.setSql({Select});
        trades.open();
        CommandControl control;
        std::thread canceller([&control] {
            while (control.rows() < 39 * 1024)
                std::this_thread::yield();
            control.requestCancel();
        });
        const QString path = target("big.xlsx");
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 exportResult(*trades.result(), Columns, path, ExportFormat::Xlsx, control));
        canceller.join();
        QTRY_COMPARE_WITH_TIMEOUT(filesIn(dir->path()), QStringList(), 10000);
    }

    void failureLeavesNoFile_data() { rowsFollowTheCurrentOrder_data(); }

    void failureLeavesNoFile()
    {
        QFETCH(int, format);
        CommandControl control;
        // A folder that does not exist: nothing can be created.
        try {
            exportResult(*query->result(), Columns, target("missing/x"), ExportFormat(format), control);
            QFAIL("no error");
        } catch (const ExportError &error) {
            QVERIFY2(error.message().contains(QDir::toNativeSeparators(target("missing/x"))), qPrintable(error.message()));
        }
        // A folder where the file should go: written beside it, then the
        // rename fails and the written file goes again.
        QVERIFY(QDir(dir->path()).mkdir("taken"));
        QVERIFY_THROWS_EXCEPTION(ExportError,
                                 exportResult(*query->result(), Columns, target("taken"), ExportFormat(format), control));
        QCOMPARE(filesIn(dir->path()), QStringList());
        QVERIFY(QFileInfo(target("taken")).isDir());
    }
};

SQLTOOL_TEST_MAIN(ExportTest)
#include "tst_export.moc"
