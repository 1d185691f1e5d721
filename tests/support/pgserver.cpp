#include "support/pgserver.h"

#include "support/testcore.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTcpServer>

#include <stdexcept>

namespace pgserver {

namespace {

const QString Dsn = QStringLiteral("pg");
const QString SilentDsn = QStringLiteral("pgsilent");
const QString User = QStringLiteral("qtrl");
const QString Password = QStringLiteral("qtrl");
const QString TemplateDatabase = QStringLiteral("sse");
constexpr int ScriptTimeoutMs = 120000;

struct State
{
    QString folder;
    QString database;
    QString unavailable;
};

State &state()
{
    static State s;
    return s;
}

QString script()
{
    return QStringLiteral(SQLTOOL_PGSERVER_SCRIPT);
}

// Runs the server script; its standard output, or throws with its errors.
QByteArray run(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("sh"), QStringList{script()} + arguments);
    if (!process.waitForFinished(ScriptTimeoutMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        process.kill();
        process.waitForFinished();
        throw std::runtime_error("pgserver.sh " + arguments.join(QLatin1Char(' ')).left(200).toStdString()
                                 + ": " + process.readAllStandardError().trimmed().toStdString());
    }
    return process.readAllStandardOutput();
}

QByteArray command(const QString &name)
{
    return run({name, state().folder});
}

QByteArray sqlIn(const QString &database, const QString &sql)
{
    return run({QStringLiteral("sql"), state().folder, database, sql});
}

void stopOwnServer()
{
    try {
        command(QStringLiteral("stop"));
    } catch (const std::exception &error) {
        qWarning("%s", error.what());
    }
}

// The server's port, as the server script recorded it.
QByteArray serverPort()
{
    const QByteArray env = testsupport::readFile(state().folder + QStringLiteral("/server.env"));
    for (const QByteArray &line : env.split('\n')) {
        if (line.startsWith("PORT="))
            return line.mid(5).trimmed();
    }
    throw std::runtime_error("no port in " + state().folder.toStdString() + "/server.env");
}

QByteArray dsnSection(const QString &name, const QByteArray &port)
{
    return "[" + name.toUtf8() + "]\nDriver=PostgreSQL Unicode\nServername=127.0.0.1\nPort=" + port
        + "\nDatabase=" + state().database.toUtf8() + "\n\n";
}

// The server script's driver section, and the DSNs of this program's
// database and of a local port that accepts connections and never answers.
void addDsns()
{
    const QString own = testsupport::workDir();
    const QByteArray odbcinst = testsupport::readFile(state().folder + QStringLiteral("/odbcinst.ini"));
    if (odbcinst.isEmpty())
        throw std::runtime_error("no odbcinst.ini in " + state().folder.toStdString());
    auto *silent = new QTcpServer(QCoreApplication::instance());
    if (!silent->listen(QHostAddress::LocalHost))
        throw std::runtime_error("cannot listen on 127.0.0.1");
    const QByteArray odbc = dsnSection(Dsn, serverPort())
        + dsnSection(SilentDsn, QByteArray::number(silent->serverPort()));
    const QString odbcinstPath = own + QStringLiteral("/odbcinst.ini");
    const QString odbcPath = own + QStringLiteral("/odbc.ini");
    testsupport::writeFile(odbcinstPath, testsupport::readFile(odbcinstPath) + "\n" + odbcinst + "\n");
    testsupport::writeFile(odbcPath, testsupport::readFile(odbcPath) + "\n" + odbc);
}

QString quoted(const QString &name)
{
    return QLatin1Char('"') + name + QLatin1Char('"');
}

} // namespace

void attach(const QString &database)
{
    State &s = state();
    s.database = database;
    s.folder = qEnvironmentVariable("SQLTOOL_PG_FOLDER");
    try {
        if (s.folder.isEmpty()) {
            s.folder = testsupport::workDir() + QStringLiteral("/pgserver");
            command(QStringLiteral("start"));
            qAddPostRoutine(stopOwnServer);
        }
        const QByteArray reason = testsupport::readFile(s.folder + QStringLiteral("/unavailable"));
        if (!reason.isEmpty()) {
            s.unavailable = QString::fromLocal8Bit(reason.trimmed());
            return;
        }
        sqlIn(QStringLiteral("postgres"),
              QStringLiteral("drop database if exists %1 with (force)").arg(quoted(database)));
        sqlIn(QStringLiteral("postgres"), QStringLiteral("create database %1 template %2 owner %3")
                                              .arg(quoted(database), TemplateDatabase, User));
        addDsns();
    } catch (const std::exception &error) {
        s.unavailable = QString::fromLocal8Bit(error.what());
    }
}

bool available()
{
    return !state().folder.isEmpty() && state().unavailable.isEmpty();
}

QString unavailableReason()
{
    return state().unavailable;
}

bool required()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

QString dsn() { return Dsn; }
QString silentDsn() { return SilentDsn; }
QString user() { return User; }
QString password() { return Password; }
QString database() { return state().database; }

QList<QStringList> rows(const QString &sql)
{
    QList<QStringList> result;
    QString text = QString::fromUtf8(sqlIn(state().database, sql));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    if (text.isEmpty())
        return result;
    for (const QString &line : text.split(QLatin1Char('\n')))
        result << line.split(QLatin1Char('|'));
    return result;
}

QStringList column(const QString &sql)
{
    QStringList values;
    for (const QStringList &row : rows(sql))
        values << row.value(0);
    return values;
}

QString value(const QString &sql)
{
    return column(sql).value(0);
}

void exec(const QString &sql)
{
    sqlIn(state().database, sql);
}

void halt() { command(QStringLiteral("halt")); }
void restart() { command(QStringLiteral("restart")); }
void freeze() { command(QStringLiteral("freeze")); }
void thaw() { command(QStringLiteral("thaw")); }

void terminateBackends()
{
    sqlIn(QStringLiteral("postgres"),
          QStringLiteral("select pg_terminate_backend(pid) from pg_stat_activity where usename = '%1'")
              .arg(User));
}

int activeStatements()
{
    return sqlIn(QStringLiteral("postgres"),
                 QStringLiteral("select count(*) from pg_stat_activity where usename = '%1' and state = 'active'")
                     .arg(User))
        .trimmed()
        .toInt();
}

} // namespace pgserver
