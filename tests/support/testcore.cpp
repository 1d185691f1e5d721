#include "support/testcore.h"

#include "gendata.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <memory>
#include <stdexcept>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace testsupport {

namespace {

QTemporaryDir &privateDir()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/sqltool-test-XXXXXX"));
    return dir;
}

QByteArray systemIni(const char *name)
{
    QByteArray folder = qgetenv("ODBCSYSINI");
    if (folder.isEmpty())
        folder = "/etc";
    QFile file(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// Driver sections with Threading=2 in place of any level of their own: at
// the default level 3 the driver manager holds SQLCancel until the call it
// should interrupt has returned.
QByteArray withCancelThreading(const QByteArray &odbcinst)
{
    QByteArray result;
    for (const QByteArray &line : odbcinst.split('\n')) {
        const QByteArray trimmed = line.trimmed();
        if (trimmed.toLower().startsWith("threading"))
            continue;
        result += line + '\n';
        if (trimmed.startsWith('[') && trimmed != "[ODBC]")
            result += "Threading=2\n";
    }
    return result;
}

QString env(const char *name)
{
    return QString::fromLocal8Bit(qgetenv(name));
}

struct SqliteDb
{
    sqlite3 *db = nullptr;
    explicit SqliteDb(const QString &path)
    {
        if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path.toStdString());
        // Another process may be writing the file (the gateway stand-in).
        sqlite3_busy_timeout(db, 10000);
    }
    ~SqliteDb() { sqlite3_close(db); }
};

} // namespace

void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir &dir = privateDir();
    if (!dir.isValid())
        qFatal("cannot create a temporary folder");

    QByteArray odbcinst = "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" SQLTOOL_SQLITE_ODBC_DRIVER "\n"
                          "Threading=2\n\n";
    QByteArray odbc = "[sse]\nDriver=SQLite3\nDescription=test trades\nDatabase="
        + databasePath().toUtf8() + "\n\n[other]\nDriver=SQLite3\nDescription=second file\nDatabase="
        + otherDatabasePath().toUtf8() + "\n\n[third]\nDriver=SQLite3\nDescription=third file\nDatabase="
        + thirdDatabasePath().toUtf8() + "\n\n[stepped]\nDriver=SQLite3\nDescription=test trades, rows stepped\nDatabase="
        + databasePath().toUtf8() + "\nStepAPI=1\n\n";
    if (!sqlServerDsn().isEmpty()) {
        odbcinst += withCancelThreading(systemIni("odbcinst.ini"));
        odbc += systemIni("odbc.ini");
    }
    writeFile(dir.path() + QStringLiteral("/odbcinst.ini"), odbcinst);
    writeFile(dir.path() + QStringLiteral("/odbc.ini"), odbc);
    qputenv("ODBCSYSINI", QFile::encodeName(dir.path()));
    // User DSNs of the account running the tests must not shadow ours.
    qputenv("ODBCINI", QFile::encodeName(dir.path() + QStringLiteral("/odbc.ini")));
    // The program's data folder (the alarm logs) is private to the run too.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir()));
}

QString dataDir()
{
    return workDir() + QStringLiteral("/data");
}

QString workDir()
{
    return privateDir().path();
}

QString databasePath()
{
    return workDir() + QStringLiteral("/sse.db");
}

QString thirdDatabasePath()
{
    return workDir() + QStringLiteral("/third.db");
}

QString otherDatabasePath()
{
    return workDir() + QStringLiteral("/other.db");
}

void generateDatabase(const QString &path, std::int64_t tradeRows, std::uint64_t seed,
                      std::int64_t orderRows)
{
    gendata::Options options;
    options.tradeRows = tradeRows;
    options.orderRows = orderRows;
    options.seed = seed;
    gendata::generate(QFile::encodeName(path).toStdString(), options);
}

void createEmptyDatabase(const QString &path)
{
    QFile::remove(path);
    gendata::createSchema(QFile::encodeName(path).toStdString());
}

void sqliteExec(const QString &path, const QString &sql)
{
    gendata::execute(QFile::encodeName(path).toStdString(), sql.toStdString());
}

qint64 sqliteCount(const QString &path, const QString &sql)
{
    SqliteDb db(path);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    qint64 value = -1;
    if (sqlite3_step(stmt) == SQLITE_ROW)
        value = sqlite3_column_int64(stmt, 0);
    sqlite3_finalize(stmt);
    return value;
}

QStringList sqliteColumn(const QString &path, const QString &sql)
{
    SqliteDb db(path);
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db.db, sql.toUtf8().constData(), -1, &stmt, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db.db));
    QStringList values;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0));
        values << (text ? QString::fromUtf8(text) : QString());
    }
    sqlite3_finalize(stmt);
    return values;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

QString dbsetPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/dbset.ini");
}

void writeDbset(const QByteArray &content)
{
    QFile::setPermissions(dbsetPath(), QFile::ReadOwner | QFile::WriteOwner);
    writeFile(dbsetPath(), content);
}

void removeDbset()
{
    QFile::setPermissions(dbsetPath(), QFile::ReadOwner | QFile::WriteOwner);
    QFile::remove(dbsetPath());
}

bool canRunAsNobody()
{
#ifdef Q_OS_UNIX
    return geteuid() == 0 && !QStandardPaths::findExecutable(QStringLiteral("runuser")).isEmpty();
#else
    return false;
#endif
}

// A temporary folder every user can enter: each folder on its path lets
// others through.
static QString sharedTempRoot()
{
    for (const QString &candidate : {QDir::tempPath(), QStringLiteral("/tmp"), QStringLiteral("/var/tmp")}) {
        const QString path = QFileInfo(candidate).canonicalFilePath();
        bool open = !path.isEmpty();
        for (QDir dir(path); open && !dir.isRoot(); dir.cdUp())
            open = QFileInfo(dir.path()).permissions().testFlag(QFile::ExeOther);
        if (open)
            return path;
    }
    return QStringLiteral("/tmp");
}

QString runCaseAsNobody(const QString &testCase)
{
    // The program may lie where only its owner can enter (a checkout in a
    // mode-700 folder, root's home): nobody runs a copy in a shared folder.
    const QString shared = sharedTempRoot();
    QTemporaryDir copyDir(shared + QStringLiteral("/sqltool-nobody-XXXXXX"));
    const QString program =
        copyDir.filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    const QFile::Permissions everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther;
    if (!copyDir.isValid() || !QFile::setPermissions(copyDir.path(), everyone)
        || !QFile::copy(QCoreApplication::applicationFilePath(), program) || !QFile::setPermissions(program, everyone))
        return QStringLiteral("cannot copy the test program to ") + shared;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), shared);
    // A sanitizer's suppressions file lies in the checkout as well: nobody
    // reads a copy beside the program.
    for (const QString &variable : {QStringLiteral("ASAN_OPTIONS"), QStringLiteral("UBSAN_OPTIONS"),
                                    QStringLiteral("TSAN_OPTIONS")}) {
        QStringList options = environment.value(variable).split(QLatin1Char(':'));
        for (QString &option : options) {
            const QString key = QStringLiteral("suppressions=");
            if (!option.startsWith(key))
                continue;
            const QString copy = copyDir.filePath(variable + QStringLiteral(".supp"));
            if (!QFile::copy(option.mid(key.size()), copy) || !QFile::setPermissions(copy, everyone))
                return QStringLiteral("cannot copy the suppressions of ") + variable;
            option = key + copy;
        }
        if (environment.contains(variable))
            environment.insert(variable, options.join(QLatin1Char(':')));
    }
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(copyDir.path());
    child.start(QStringLiteral("runuser"), {QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--"),
                                            program, testCase});
    if (!child.waitForFinished(120000))
        child.kill();
    const QString output = QString::fromLocal8Bit(child.readAll());
    // Passed, not skipped: its own PASS line names the case.
    const qsizetype colon = testCase.indexOf(QLatin1Char(':'));
    const QString name = colon < 0 ? testCase + QStringLiteral("()")
                                   : testCase.left(colon) + QLatin1Char('(') + testCase.mid(colon + 1) + QLatin1Char(')');
    bool passLine = false;
    for (const QString &line : output.split(QLatin1Char('\n')))
        passLine = passLine || (line.startsWith(QStringLiteral("PASS")) && line.endsWith(QStringLiteral("::") + name));
    const bool passed = child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 && passLine;
    return passed ? QString() : QStringLiteral("as nobody: ") + testCase + QLatin1Char('\n') + output;
}

QByteArray readDbset()
{
    return readFile(dbsetPath());
}

QString sqlServerDsn() { return env("SQLTOOL_MSSQL_DSN"); }
QString sqlServerUser() { return env("SQLTOOL_MSSQL_USER"); }
QString sqlServerPassword() { return env("SQLTOOL_MSSQL_PASSWORD"); }
QString sqlServerDatabase() { return env("SQLTOOL_MSSQL_DATABASE"); }

} // namespace testsupport
