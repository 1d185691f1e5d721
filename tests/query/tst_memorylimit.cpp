// Memory running out, each case in a child process under an address-space
// limit: a list larger than the memory left stops with the out-of-memory
// message, frees what it fetched, and the program goes on, whether the
// driver streams the rows or holds the whole result before the first fetch;
// the streaming driver lists completely what the holding one cannot; an
// export that runs out of memory says so in Chinese and leaves the target
// as it was.

#include "querytestsupport.h"

#include "base/platform.h"
#include "db/memorywatch.h"
#include "db/worker.h"
#include "query/gridmenu.h"
#include "ui/memorynotice.h"

#include <QFileDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

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

// A trading day too large for the SQLite driver that holds the whole
// result (some 600 bytes a row before the program's copy) under the limit
// below, and small enough for the program's copy alone (some 210 bytes a
// row) when the driver streams the rows.
constexpr qint64 DayRows = 300000;
constexpr qint64 DayHeadroomBytes = 200LL * 1024 * 1024;
// The trade of this account is one row of the day.
const QString DayAccountSql = QStringLiteral("select gddm from ashare_cjhb where rowid = 1000");

// One trade whose quantity is 100 after 2,000,000 blanks (4 MB held), and
// two ordinary trades of another account: an export writes a piece of
// several megabytes, more than MemoryHog leaves.
const QString LargeValueTrades = QStringLiteral(
    "drop table ashare_cjhb;"
    "create table big (v text);"
    "insert into big values (printf('%.*c', 2000000, ' ') || '100');"
    "create table small (gddm text, cjsl text, cjje text);"
    "insert into small values ('B000000001', '100', '1050.5'), ('B000000001', '200', '20.25');"
    "create view ashare_cjhb as"
    " select 'A000000001' as gddm, '600000' as zqdm, v as cjsl, '1.5' as cjjg, '150' as cjje, '0' as bcye,"
    " '1' as cjbh, '20260101' as bcrq, '93000' as cjsj, '93000' as sbsj, 'x' as gdxm, '1' as gsdm,"
    " 'S1' as sqbh, 'B' as bs, '1' as mjbh from big"
    " union all select gddm, '600000', cjsl, '1.5', cjje, '0', '2', '20260101', '93000', '93000', 'y', '1',"
    " 'S2', 'B', '1' from small;");
// What MemoryHog leaves of the memory for the rest of the program.
constexpr std::size_t LeftBytes = 0;

const QString ListMessage = QStringLiteral("^内存不足：已取回 (\\d+) 行，结果过大，请加条件查询\\.$");
const QString OutOfMemoryMessage = QStringLiteral("内存不足，操作未完成.");

// Runs one case of this program in a child process with ChildVariable set;
// gives its output, and fails unless it passed and exited normally.
QString runChild(const QString &testCase)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ChildVariable), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {testCase});
    if (!child.waitForFinished(240000)) {
        child.kill();
        child.waitForFinished();
    }
    const QString output = QString::fromLocal8Bit(child.readAll());
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0
        && output.contains(QStringLiteral("PASS   : MemoryLimitTest::%1()").arg(testCase));
    if (!passed)
        qWarning("%s", qPrintable(output));
    return passed ? output : QString();
}

#ifdef Q_OS_LINUX
// Memory taken by something else: under an address-space limit, takes
// every block the process can still get (what the heap holds free too),
// then gives `left` bytes of it back in small blocks; frees it all when
// destroyed. The blocks are never written to beyond a link.
class MemoryHog
{
public:
    explicit MemoryHog(std::size_t left)
    {
        // What the program frees a moment after a command (its worker's
        // last job, deferred deletes) is taken too.
        QCoreApplication::processEvents();
        if (datamod)
            datamod->worker().post([](CommandControl &) {})->wait(60000);
        for (std::size_t size = std::size_t(64) << 20; size >= 4096; size = size * 3 / 4) {
            while (void *block = std::malloc(size)) {
                *static_cast<void **>(block) = m_blocks;
                m_blocks = block;
            }
        }
        // The last blocks taken are the smallest.
        for (std::size_t given = 0; given < left && m_blocks; given += 4096) {
            void *next = *static_cast<void **>(m_blocks);
            std::free(m_blocks);
            m_blocks = next;
        }
    }
    ~MemoryHog()
    {
        while (m_blocks) {
            void *next = *static_cast<void **>(m_blocks);
            std::free(m_blocks);
            m_blocks = next;
        }
    }
    MemoryHog(const MemoryHog &) = delete;
    MemoryHog &operator=(const MemoryHog &) = delete;

private:
    void *m_blocks = nullptr;
};

// Lets the process add at most `headroom` bytes of address space to what
// it uses now; the hard limit stays, so that liftLimit() can undo it.
bool limitAddressSpace(qint64 headroom)
{
    const qint64 inUse = addressSpaceInUse();
    rlimit limit{};
    if (inUse <= 0 || getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = rlim_t(inUse + headroom);
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

bool liftLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0)
        return false;
    limit.rlim_cur = limit.rlim_max;
    return setrlimit(RLIMIT_AS, &limit) == 0;
}
#endif

// Logs in to `dsn` and shows the query window.
void listAllTrades(const QString &dsn)
{
    testsupport::logIn(dsn);
    queryform->show();
    if (!QTest::qWaitForWindowExposed(queryform))
        qWarning("query window not exposed");
}

// Lists LargeValueTrades with the query window hidden: a grid painting a
// cell of 2,000,000 characters would lay all of them out.
void listLargeValue()
{
    testsupport::logIn(QStringLiteral("stepped"));
    queryform->Button1Click();
    if (queryform->findChild<QLabel *>(QStringLiteral("Label12"))->text() != QLatin1String("3"))
        qWarning("the large value was not listed");
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
        QVERIFY(!runChild(QStringLiteral("listUnderAddressSpaceLimit")).isEmpty());
    }

    // Each case in a child of its own, under a limit set once it has started.
    void caseUnderLimit_data()
    {
        QTest::addColumn<QString>("testCase");
        QTest::newRow("driver holding the result") << "bufferingDriverStopsAndProgramGoesOn";
        QTest::newRow("driver streaming the rows") << "streamingDriverListsAll";
        QTest::newRow("export") << "exportBeyondMemory";
    }
    void caseUnderLimit()
    {
#ifndef Q_OS_LINUX
        QSKIP("the address-space limit is set with setrlimit");
#endif
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer's shadow memory does not work under an address-space limit");
#endif
        QFETCH(QString, testCase);
        QVERIFY(!runChild(testCase).isEmpty());
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
        // (The heap may have given a little back since.)
        QVERIFY(platform::obtainableBytes() <= HeadroomBytes + 4 * 1024 * 1024);

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

    // The child: the whole day through the driver that holds the result,
    // then another command, and a normal end.
    void bufferingDriverStopsAndProgramGoesOn()
    {
        if (qEnvironmentVariableIsEmpty(ChildVariable))
            QSKIP("run in a child process by caseUnderLimit");
#ifdef Q_OS_LINUX
        testsupport::generateDatabase(databasePath(), DayRows, 3, 0);
        const QString account = sqliteColumn(databasePath(), DayAccountSql).value(0);
        const qint64 accountRows =
            sqliteCount(databasePath(), QStringLiteral("select count(*) from ashare_cjhb where gddm like '%%1%'").arg(account));
        testsupport::Forms forms;
        listAllTrades(QStringLiteral("sse"));
        QVERIFY(limitAddressSpace(DayHeadroomBytes));

        testsupport::ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        QTRY_COMPARE_WITH_TIMEOUT(watcher.records.size(), 1, 120000);
        const testsupport::ModalRecord box = watcher.records.first();
        qInfo("%s", qPrintable(box.text));
        QCOMPARE(box.objectName, QStringLiteral("ErrorBox"));
        QCOMPARE(box.icon, int(QMessageBox::Critical));
        const QRegularExpressionMatch message = QRegularExpression(ListMessage).match(box.text);
        QVERIFY2(message.hasMatch(), qPrintable(box.text));
        QVERIFY2(message.captured(1).toLongLong() < DayRows, qPrintable(box.text));
        // Freed: nothing held, the memory back.
        QVERIFY(!datamod->qry1->active());
        QCOMPARE(grid(1)->model()->rowCount(), 0);
        QVERIFY(platform::obtainableBytes() > qint64(ListReserveBytes));
        QVERIFY(memoryReserved());

        // The program goes on: a list that fits, under the same limit.
        type(QStringLiteral("Edit1"), account);
        click(QStringLiteral("Button2"));
        QTRY_VERIFY_WITH_TIMEOUT(!labelText(QStringLiteral("Label12")).isEmpty() || watcher.records.size() > 1, 60000);
        QVERIFY2(watcher.records.size() == 1, qPrintable(watcher.records.last().text));
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(accountRows));
#endif
    }

    // The child: the same day and limit, through the driver that streams
    // the rows: every row is listed.
    void streamingDriverListsAll()
    {
        if (qEnvironmentVariableIsEmpty(ChildVariable))
            QSKIP("run in a child process by caseUnderLimit");
#ifdef Q_OS_LINUX
        testsupport::generateDatabase(databasePath(), DayRows, 3, 0);
        testsupport::Forms forms;
        listAllTrades(QStringLiteral("stepped"));
        QVERIFY(limitAddressSpace(DayHeadroomBytes));

        testsupport::ModalWatcher watcher;
        click(QStringLiteral("Button1"));
        QTRY_VERIFY_WITH_TIMEOUT(!labelText(QStringLiteral("Label12")).isEmpty() || !watcher.records.isEmpty(), 120000);
        QVERIFY2(watcher.records.isEmpty(), qPrintable(watcher.records.value(0).text));
        QCOMPARE(labelText(QStringLiteral("Label12")), QString::number(DayRows));
        QCOMPARE(grid(1)->model()->rowCount(), int(DayRows));
        QVERIFY2(watcher.records.isEmpty(), qPrintable(watcher.records.value(0).text));
#endif
    }

    // The child: a CSV export that cannot hold the large value ends in the
    // prepared box; the target keeps its old contents and nothing else is
    // left in its folder; the next export with memory to spare works.
    void exportBeyondMemory()
    {
        if (qEnvironmentVariableIsEmpty(ChildVariable))
            QSKIP("run in a child process by caseUnderLimit");
#ifdef Q_OS_LINUX
        testsupport::createEmptyDatabase(databasePath());
        sqliteExec(databasePath(), LargeValueTrades);
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("trades.csv"));
        testsupport::writeFile(target, "old");
        testsupport::Forms forms;
        listLargeValue();

        // Memory runs out once the save dialog is answered.
        bool limited = false;
        std::unique_ptr<MemoryHog> hog;
        const auto saveAs = [&](QWidget *modal, const testsupport::ModalRecord &) {
            if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
                dialog->selectFile(target);
                QTimer::singleShot(0, dialog, [dialog] {
                    QMetaObject::invokeMethod(dialog, "accept");
                    if (dialog->isVisible())
                        dialog->reject();
                });
            } else if (auto *question = qobject_cast<QMessageBox *>(modal); question && modal->parentWidget()) {
                if (!limited) {
                    limited = limitAddressSpace(0);
                    hog = std::make_unique<MemoryHog>(LeftBytes);
                }
                testsupport::pressButton(modal, question->button(QMessageBox::Yes)->text());
            } else {
                closeModal(modal);
            }
        };
        {
            testsupport::ModalWatcher watcher(saveAs);
            queryform->page(1).menu()->exportAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(watcher.records.size() >= 3, 120000);
            QVERIFY(limited);
            const testsupport::ModalRecord box = watcher.records.last();
            QCOMPARE(box.objectName, QStringLiteral("OutOfMemoryBox"));
            QCOMPARE(box.text, OutOfMemoryMessage);
        }
        QCOMPARE(testsupport::readFile(target), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
                 QStringList{QStringLiteral("trades.csv")});
        QCOMPARE(datamod->qry1->recordCount(), 3);

        hog.reset();
        QVERIFY(liftLimit());
        {
            testsupport::ModalWatcher watcher(saveAs);
            queryform->page(1).menu()->exportAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(watcher.records.size() >= 3, 120000);
            QCOMPARE(watcher.records.last().objectName, QStringLiteral("ExportNotice"));
        }
        QVERIFY(QFileInfo(target).size() > 2000000);
#endif
    }
};

SQLTOOL_TEST_MAIN(MemoryLimitTest)
#include "tst_memorylimit.moc"
