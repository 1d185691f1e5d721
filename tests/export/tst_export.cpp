#include "support/exportreader.h"
#include "support/testcore.h"

#include "db/query.h"
#include "db/connection.h"
#include "db/connstring.h"
#include "db/command.h"
#include "export/export.h"
#include "export/zipcheck.h"
#include "disklimits.h"

#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <system_error>
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

QString systemReason(int error)
{
    return QString::fromLocal8Bit(std::generic_category().message(error));
}

QString extension(ExportFormat format)
{
    return format == ExportFormat::Xlsx ? QStringLiteral(".xlsx") : QStringLiteral(".csv");
}


} // namespace

Q_DECLARE_METATYPE(std::vector<SheetContent>)

class ExportTest : public QObject
{
    Q_OBJECT
private:
    Connection *con = nullptr;
    Query *query = nullptr;
    QTemporaryDir *dir = nullptr;

    QString target(const QString &name) const { return dir->filePath(name); }

    // 3,000 generated trades on the second database, opened once.
    Connection *bigConnection = nullptr;
    Query *big = nullptr;
    Query &bigResult()
    {
        if (!big) {
            generateDatabase(otherDatabasePath(), 3000, 7);
            bigConnection = new Connection(this);
            bigConnection->setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("other")));
            bigConnection->open();
            big = new Query(bigConnection, this);
            big->setSql({Select});
            big->open();
        }
        return *big;
    }

    // The error an export throws, "<no error>" when it succeeds.
    QString exportError(const Query &from, const QString &path, ExportFormat format)
    {
        CommandControl control;
        try {
            exportResult(*from.result(), Columns, path, format, control);
        } catch (const ExportError &error) {
            return error.message();
        }
        return QStringLiteral("<no error>");
    }

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
        const qsizetype openFiles = QDir("/proc/self/fd").count();
        QVERIFY_THROWS_EXCEPTION(OperationCancelled,
                                 exportResult(*query->result(), Columns, path, ExportFormat(format), control));
        QCOMPARE(QDir("/proc/self/fd").count(), openFiles); // the writer's temporary file is closed
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

    // A disk filling up while the file is written, here a file-size limit:
    // the CSV file, the workbook, or the sheet the workbook writer
    // assembles in a temporary file while closing, cut short (just short of
    // its end leaves a sound zip holding a sheet without its last tag).
    // The export fails with the system's reason and leaves nothing; a limit
    // that lets every file through gives the whole workbook.
    void cutFileFailsWithTheReasonAndLeavesNothing_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("sheet"); // the limit follows the sheet's size, else the file's
        QTest::addColumn<double>("share");
        QTest::addColumn<int>("less");
        QTest::newRow("csv half") << int(ExportFormat::Csv) << false << 0.5 << 0;
        QTest::newRow("csv one byte short") << int(ExportFormat::Csv) << false << 1.0 << 1;
        QTest::newRow("workbook half") << int(ExportFormat::Xlsx) << false << 0.5 << 0;
        QTest::newRow("workbook one byte short") << int(ExportFormat::Xlsx) << false << 1.0 << 1;
        QTest::newRow("sheet half") << int(ExportFormat::Xlsx) << true << 0.5 << 0;
        QTest::newRow("sheet without its end") << int(ExportFormat::Xlsx) << true << 1.0 << 40;
        QTest::newRow("sheet one byte short") << int(ExportFormat::Xlsx) << true << 1.0 << 1;
        QTest::newRow("sheet fits") << int(ExportFormat::Xlsx) << true << 1.0 << -4096;
    }

    void cutFileFailsWithTheReasonAndLeavesNothing()
    {
        QFETCH(int, format);
        QFETCH(bool, sheet);
        QFETCH(double, share);
        QFETCH(int, less);
#ifndef Q_OS_UNIX
        QSKIP("file-size limits are a POSIX feature");
#else
        const Query &trades = bigResult();
        const auto kind = ExportFormat(format);
        const QString whole = target("whole" + extension(kind));
        QCOMPARE(exportError(trades, whole, kind), QStringLiteral("<no error>"));
        const qint64 size = sheet ? zipMemberSize(whole, "xl/worksheets/sheet1.xml") : QFileInfo(whole).size();
        QVERIFY(size > 100000);
        QVERIFY(QFile::remove(whole));

        const QString path = target("cut" + extension(kind));
        QString error;
        {
            const FileSizeLimit limit(rlim_t(double(size) * share - less));
            error = exportError(trades, path, kind);
        }
        if (less < 0) {
            QCOMPARE(error, QStringLiteral("<no error>"));
            const QJsonArray rows = readWorkbook(path).at(0).toObject().value("rows").toArray();
            QCOMPARE(rows.size(), trades.recordCount() + 1);
            return;
        }
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)) || error.contains(dir->path()), qPrintable(error));
        QVERIFY2(error.contains(systemReason(EFBIG)), qPrintable(error));
        QCOMPARE(filesIn(dir->path()), QStringList());
#endif
    }

    // A full disk is named as such: one full from the start, and one with
    // room for the rows' temporary file but not for the sheet the workbook
    // writer assembles from it while closing (which it does not report).
    void fullDiskIsNamed_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<double>("sheets"); // room in sheet sizes; 0: 64 KB
        QTest::newRow("csv") << int(ExportFormat::Csv) << 0.0;
        QTest::newRow("xlsx") << int(ExportFormat::Xlsx) << 0.0;
        QTest::newRow("xlsx, room for 0.9 sheets") << int(ExportFormat::Xlsx) << 0.9;
        QTest::newRow("xlsx, room for 1.1 sheets") << int(ExportFormat::Xlsx) << 1.1;
        QTest::newRow("xlsx, room for 1.5 sheets") << int(ExportFormat::Xlsx) << 1.5;
    }

    void fullDiskIsNamed()
    {
        QFETCH(int, format);
#ifndef Q_OS_UNIX
        QSKIP("mounting a small disk needs a POSIX system");
#else
        if (geteuid() != 0)
            QSKIP("mounting a small disk needs root");
        QFETCH(double, sheets);
        qint64 kilobytes = 64;
        if (sheets > 0) {
            const QString whole = target("whole.xlsx");
            QCOMPARE(exportError(bigResult(), whole, ExportFormat::Xlsx), QStringLiteral("<no error>"));
            kilobytes = qint64(double(zipMemberSize(whole, "xl/worksheets/sheet1.xml")) * sheets / 1024);
            QVERIFY(QFile::remove(whole));
        }
        const QString folder = target("disk");
        QVERIFY(QDir().mkpath(folder));
        SmallDisk disk(folder, kilobytes);
        if (!disk.mounted())
            QSKIP("no small disk could be mounted");
        const auto kind = ExportFormat(format);
        const QString error = exportError(bigResult(), folder + "/trades" + extension(kind), kind);
        QVERIFY2(error.contains(QStringLiteral("磁盘空间不足")), qPrintable(error));
        QCOMPARE(filesIn(folder), QStringList());
        QVERIFY(disk.unmount()); // nothing of the export stays open, holding room
#endif
    }

    // Names up to the system's limit export: the pending file's name is no
    // longer than the target's.
    void longNameExports_data() { rowsFollowTheCurrentOrder_data(); }

    void longNameExports()
    {
        QFETCH(int, format);
        const auto kind = ExportFormat(format);
        const QString name = QString(250 - extension(kind).size(), QLatin1Char('n')) + extension(kind);
        QCOMPARE(name.toUtf8().size(), 250);
        exportTo(target(name), kind);
        QCOMPARE(filesIn(dir->path()), QStringList{name});
        const qsizetype rows = kind == ExportFormat::Xlsx
            ? readWorkbook(target(name)).at(0).toObject().value("rows").toArray().size()
            : readCsv(target(name)).size();
        QCOMPARE(rows, 4);
    }

    // A pending name is no longer than its target's (six characters at the
    // least), so that a name or path near the system's limit still exports.
    void pendingNameNoLongerThanTheTarget_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("length");
        QTest::newRow("short") << "a.csv" << 6;
        QTest::newRow("six") << "ab.csv" << 6;
        QTest::newRow("usual") << "trades.xlsx" << 11;
        QTest::newRow("long") << QString(250, QLatin1Char('n')) << 14;
    }

    void pendingNameNoLongerThanTheTarget()
    {
        QFETCH(QString, name);
        QFETCH(int, length);
        QCOMPARE(pendingFileName(name, 0xbeef).size(), length);
        QVERIFY(pendingFileName(name, 0xbeef).endsWith(".beef"));
        exportTo(target(name), ExportFormat::Csv);
        QCOMPARE(filesIn(dir->path()), QStringList{name});
    }

    // What a killed export of the same target left goes when the next one
    // starts; another target's pending file and other files stay.
    void leftoversOfAKilledExportGo()
    {
        const QString name = QStringLiteral("trades.csv");
        writeFile(target(pendingFileName(name, 0x1234)), "cut");
        writeFile(target(pendingFileName(name, 0xffff)), "cut");
        writeFile(target(pendingFileName("orders.csv", 0x1234)), "running");
        writeFile(target("~keep"), "mine");
        exportTo(target(name), ExportFormat::Csv);
        QStringList expected{name, pendingFileName("orders.csv", 0x1234), "~keep"};
        expected.sort();
        QCOMPARE(filesIn(dir->path()), expected);
        QCOMPARE(readCsv(target(name)).size(), 4);
    }

    // CSV: text a spreadsheet would take for a formula gets an apostrophe;
    // numbers, and text that reads as one (quantities and prices held as
    // text), never. The workbook keeps every text as it is.
    void formulaTextIsDefusedInCsvOnly_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("defused");
        QTest::newRow("hyperlink") << "=HYPERLINK(\"http://x\",\"y\")" << true;
        QTest::newRow("plus formula") << "+1+cmd|' /C calc'!A0" << true;
        QTest::newRow("minus formula") << "-2+3" << true;
        QTest::newRow("at") << "@SUM(A1)" << true;
        QTest::newRow("tab") << "\t=1" << true;
        QTest::newRow("carriage return") << "\r=1" << true;
        QTest::newRow("minus alone") << "-" << true;
        QTest::newRow("negative quantity") << "-100" << false;
        QTest::newRow("signed price") << "+10.50" << false;
        QTest::newRow("exponent") << "-1.5e3" << false;
        QTest::newRow("padded char number") << "-100   " << false;
        QTest::newRow("code") << "600000" << false;
        QTest::newRow("equals inside") << "a=b" << false;
        QTest::newRow("blank first") << " =1" << false;
    }

    void formulaTextIsDefusedInCsvOnly()
    {
        QFETCH(QString, text);
        QFETCH(bool, defused);
        createEmptyDatabase(otherDatabasePath());
        QString literal = text;
        literal.replace("'", "''");
        sqliteExec(otherDatabasePath(), "insert into ashare_cjhb (gddm,zqdm,cjsl,cjjg,gdxm,cjbh,sqbh) values "
                                        "('" + literal + "','600000',-5,-1.5,'x','y','1')");
        Connection other;
        other.setConnectionString(loginConnectionString(QString(), QString(), QStringLiteral("other")));
        other.open();
        Query row(&other);
        row.setSql({Select});
        row.open();
        QCOMPARE(exportError(row, target("f.csv"), ExportFormat::Csv), QStringLiteral("<no error>"));
        QCOMPARE(exportError(row, target("f.xlsx"), ExportFormat::Xlsx), QStringLiteral("<no error>"));
        const QList<QStringList> records = readCsv(target("f.csv"));
        QCOMPARE(records.value(1).value(0), defused ? "'" + text : text);
        QCOMPARE(records.value(1).mid(2, 2), (QStringList{"-5", "-1.5"})); // numbers as they are
        const QJsonArray rows = readWorkbook(target("f.xlsx")).at(0).toObject().value("rows").toArray();
        // The writer stores a carriage return as the escape Excel reads back.
        QCOMPARE(cell(rows, 1, 0).replace("_x000D_", "\r"), "s:" + text);
    }

    // The read-back check of a workbook finds a file cut short, a changed
    // byte, a missing sheet, and a sheet without all the rows and cells
    // written (a piece of its text lost).
    void workbookCheckFindsDamage_data()
    {
        // The three rows: 7 captions; 6, 6 and 4 cells (nulls and the
        // unbound column write none).
        const SheetContent written{4, 23};
        QTest::addColumn<QString>("damage");
        QTest::addColumn<std::vector<SheetContent>>("sheets");
        QTest::addColumn<bool>("complete");
        QTest::newRow("whole") << "" << std::vector<SheetContent>{written} << true;
        QTest::newRow("counts not known") << "" << std::vector<SheetContent>{{}} << true;
        QTest::newRow("sheet missing") << "" << std::vector<SheetContent>{written, written} << false;
        QTest::newRow("a cell lost") << "" << std::vector<SheetContent>{{4, 24}} << false;
        QTest::newRow("a row lost") << "" << std::vector<SheetContent>{{5, 23}} << false;
        QTest::newRow("last byte gone") << "truncate-1" << std::vector<SheetContent>{written} << false;
        QTest::newRow("second half gone") << "half" << std::vector<SheetContent>{written} << false;
        QTest::newRow("byte changed") << "flip" << std::vector<SheetContent>{written} << false;
        QTest::newRow("empty") << "empty" << std::vector<SheetContent>{written} << false;
    }

    void workbookCheckFindsDamage()
    {
        QFETCH(QString, damage);
        QFETCH(std::vector<SheetContent>, sheets);
        QFETCH(bool, complete);
        const QString path = target("book.xlsx");
        QCOMPARE(exportError(*query, path, ExportFormat::Xlsx), QStringLiteral("<no error>"));
        QByteArray bytes = readFile(path);
        if (damage == "truncate-1")
            bytes.chop(1);
        else if (damage == "half")
            bytes.truncate(bytes.size() / 2);
        else if (damage == "flip")
            bytes[bytes.size() / 2] = char(bytes[bytes.size() / 2] ^ 0x10);
        else if (damage == "empty")
            bytes.clear();
        writeFile(path, bytes);
        QCOMPARE(workbookComplete(path, sheets), complete);
    }

    // Read in small pieces, every mark the check counts falls across a
    // piece's end somewhere: none is missed or counted twice.
    void workbookCheckCountsAcrossPieces_data()
    {
        QTest::addColumn<int>("chunk");
        for (const int chunk : {1, 2, 3, 4, 5, 7, 4096})
            QTest::addRow("%d", chunk) << chunk;
    }

    void workbookCheckCountsAcrossPieces()
    {
        QFETCH(int, chunk);
        const QString path = target("book.xlsx");
        QCOMPARE(exportError(*query, path, ExportFormat::Xlsx), QStringLiteral("<no error>"));
        QVERIFY(workbookComplete(path, {{4, 23}}, chunk));
        QVERIFY(!workbookComplete(path, {{4, 22}}, chunk));
    }
};

SQLTOOL_CORE_TEST_MAIN(ExportTest)
#include "tst_export.moc"
