// A list larger than the memory the process can still get: run in a child
// process under an address-space limit, it stops with the out-of-memory
// message, frees what it fetched, and the program goes on.

#include "querytestsupport.h"

#include "base/platform.h"

#include <QProcess>
#include <QRegularExpression>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#endif

using namespace querytest;

namespace {

// The child's case, run by the parent with this variable set.
const char ChildVariable[] = "SQLTOOL_MEMORY_LIMIT_CHILD";

constexpr int WideRows = 200000;
// Address space the child may add to what it uses before the list.
constexpr qint64 HeadroomBytes = 256LL * 1024 * 1024;

// The trade table as a view of 200,000 rows, each with a 1,000-character
// name (about 2 KB held per row): some 400 MB, far beyond the headroom.
// Every column is a plain column of a table, so the driver describes it.
const QString WideTrades = QStringLiteral(
    "drop table ashare_cjhb;"
    "create table wide (gdxm varchar(2000), zqdm varchar(6), cjsl int, cjjg numeric(9,3), cjje numeric(15,2),"
    " bcye int, cjbh varchar(10), bcrq varchar(8), cjsj varchar(6), sbsj varchar(6), gsdm varchar(5),"
    " sqbh varchar(10), bs varchar(1), mjbh varchar(5));"
    "insert into wide values (printf('%.1000c', 'x'), '600000', 100, 10.5, 1050, 0, 'T1', '20261208',"
    " '93000', '93000', '30001', 'S1', 'B', '00001');"
    "create table numbers (gddm varchar(10));"
    "insert into numbers with recursive n(i) as (select 1 union all select i + 1 from n where i < %1)"
    " select printf('A%09d', i) from n;"
    "create view ashare_cjhb as select numbers.gddm, wide.* from numbers, wide;");

// Address space in use now, from /proc.
qint64 addressSpaceInUse()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpression vmSize(QStringLiteral("^VmSize:\\s+(\\d+) kB"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = vmSize.match(QString::fromLatin1(status.readAll()));
    return match.hasMatch() ? match.captured(1).toLongLong() * 1024 : -1;
}

} // namespace

class MemoryLimitTest : public QObject
{
    Q_OBJECT
private slots:
    void listBeyondMemoryStopsWithMessage()
    {
#ifndef Q_OS_LINUX
        QSKIP("the address-space limit is set with setrlimit");
#endif
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer's shadow memory does not work under an address-space limit");
#endif
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("listUnderAddressSpaceLimit")});
        QVERIFY(child.waitForFinished(240000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, qPrintable(output));
        QVERIFY2(output.contains(QStringLiteral("PASS   : MemoryLimitTest::listUnderAddressSpaceLimit()")),
                 qPrintable(output));
    }

    // The child: lists all trades under a limit it cannot hold them in.
    void listUnderAddressSpaceLimit()
    {
        if (qEnvironmentVariableIsEmpty(ChildVariable))
            QSKIP("run in a child process by listBeyondMemoryStopsWithMessage");
#ifdef Q_OS_LINUX
        testsupport::createEmptyDatabase(databasePath());
        sqliteExec(databasePath(), WideTrades.arg(WideRows));
        testsupport::Forms forms;
        // Rows stepped as they are fetched: the driver holds no copy.
        testsupport::logIn(QStringLiteral("stepped"));
        queryform->show();
        QVERIFY(QTest::qWaitForWindowExposed(queryform));

        const qint64 inUse = addressSpaceInUse();
        QVERIFY(inUse > 0);
        const rlimit limit{rlim_t(inUse + HeadroomBytes), rlim_t(inUse + HeadroomBytes)};
        QCOMPARE(setrlimit(RLIMIT_AS, &limit), 0);
        QVERIFY(platform::obtainableBytes() <= HeadroomBytes);

        testsupport::ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.records.size(), 1, 120000);
        const testsupport::ModalRecord box = watcher.records.first();
        QCOMPARE(box.objectName, QStringLiteral("ErrorBox"));
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        const QRegularExpressionMatch message =
            QRegularExpression(QStringLiteral("^内存不足：已取回 (\\d+) 行，结果过大，请加条件查询\\.$")).match(box.text);
        QVERIFY2(message.hasMatch(), qPrintable(box.text));
        qInfo("%s", qPrintable(box.text));
        const int fetched = message.captured(1).toInt();
        QVERIFY2(fetched > 10000 && fetched < WideRows, qPrintable(box.text));
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(grid(1)->model()->rowCount(), 0);

        // The memory was given back: a list that fits works under the same limit.
        type(QStringLiteral("Edit1"), QStringLiteral("000000007"));
        click(QStringLiteral("Button2"));
        QTRY_COMPARE_WITH_TIMEOUT(labelText(QStringLiteral("Label12")), QStringLiteral("1"), 60000);
        QCOMPARE(watcher.records.size(), 1);
        QCOMPARE(grid(1)->model()->index(0, 0).data().toString(), QStringLiteral("A000000007"));
#endif
    }
};

SQLTOOL_TEST_MAIN(MemoryLimitTest)
#include "tst_memorylimit.moc"
