#include "db/connection.h"

#include "db/command.h"
#include "db/connstring.h"

namespace {
const QString OtherDatabaseText = QStringLiteral("未能切换到数据库“%1”，连接仍在“%2”");
// Seconds a connect may take; the driver gives up after that.
constexpr SQLULEN LoginTimeoutSeconds = 15;

// The database the driver says the connection is in; empty when it names
// none or cannot tell.
QString catalogOf(SQLHDBC dbc)
{
    std::vector<SQLWCHAR> buffer(256);
    SQLINTEGER length = 0;
    SQLRETURN rc = SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                                      SQLINTEGER(buffer.size() * sizeof(SQLWCHAR)), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLINTEGER(buffer.size() * sizeof(SQLWCHAR))) {
        buffer.resize(std::size_t(length) / sizeof(SQLWCHAR) + 1);
        rc = SQLGetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                                SQLINTEGER(buffer.size() * sizeof(SQLWCHAR)), &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return {};
    const qsizetype size = std::min<qsizetype>(qsizetype(length) / qsizetype(sizeof(SQLWCHAR)),
                                               qsizetype(buffer.size()) - 1);
    buffer[std::size_t(std::max<qsizetype>(size, 0))] = 0;
    return odbc::fromWide(buffer.data(), -1).left(size);
}
} // namespace

ConnectionLink::ConnectionLink(odbc::Handle dbc)
    : m_dbc(std::move(dbc))
{
}

ConnectionLink::~ConnectionLink()
{
    if (m_dbc && !odbc::leavingHandles())
        SQLDisconnect(m_dbc.get());
}

Connection::Connection(QObject *parent)
    : QObject(parent)
{
}

Connection::~Connection() = default;

QString Connection::connectionString() const
{
    return m_connectionString;
}

void Connection::setConnectionString(const QString &text)
{
    m_connectionString = text;
}

bool Connection::loginPrompt() const
{
    return m_loginPrompt;
}

void Connection::setLoginPrompt(bool on)
{
    m_loginPrompt = on;
}

bool Connection::keepConnection() const
{
    return m_keepConnection;
}

void Connection::setKeepConnection(bool on)
{
    m_keepConnection = on;
}

bool Connection::connected() const
{
    return bool(m_dbc);
}

QString Connection::odbcConnectionString() const
{
    return toOdbcConnectionString(m_connectionString);
}

SQLHDBC Connection::handle() const
{
    return m_dbc ? m_dbc->get() : SQL_NULL_HDBC;
}

std::shared_ptr<ConnectionLink> Connection::link() const
{
    return m_dbc;
}

std::shared_ptr<ConnectionLink> Connection::connect(const QString &odbcConnectionString,
                                                     CommandControl *control)
{
    std::vector<SQLWCHAR> text = odbc::toWide(odbcConnectionString);
    odbc::Handle dbc(SQL_HANDLE_DBC, odbc::environment());
    // A driver without a login time-out connects without one.
    SQLSetConnectAttrW(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(LoginTimeoutSeconds), 0);
    SQLRETURN rc;
    {
        const CommandControl::Abandonable abandonable(control);
        // No prompt is ever shown, whatever the login-prompt flag says.
        rc = SQLDriverConnectW(dbc.get(), nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr,
                               SQL_DRIVER_NOPROMPT);
    }
    odbc::check(rc, SQL_HANDLE_DBC, dbc.get(), "SQLDriverConnect");
    auto link = std::make_shared<ConnectionLink>(std::move(dbc));
    if (control)
        control->throwIfCancelled();
    return link;
}

void Connection::selectDatabase(SQLHDBC dbc, const QString &database)
{
    std::vector<SQLWCHAR> name = odbc::toWide(database);
    // A driver answering "option value changed" (SQL_SUCCESS_WITH_INFO) has succeeded.
    // The name goes null-terminated: driver managers disagree on whether a
    // length given here counts bytes or characters.
    const SQLRETURN rc = SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, name.data(), SQL_NTS);
    odbc::check(rc, SQL_HANDLE_DBC, dbc, "SQLSetConnectAttr");
    // Some drivers (PostgreSQL's) accept any name and stay where they are.
    const QString current = catalogOf(dbc);
    if (!current.isEmpty() && current.compare(database, Qt::CaseInsensitive) != 0)
        throw DatabaseError(OtherDatabaseText.arg(database, current));
}

void Connection::adopt(std::shared_ptr<ConnectionLink> link, const QString &database)
{
    if (m_dbc || !link)
        return;
    m_dbc = std::move(link);
    m_defaultDatabase = database;
    emit connectedChanged(true);
}

void Connection::abandon()
{
    if (!m_dbc)
        return;
    // Only let go of here: a call given up on a worker thread still holds
    // the handle and disconnects it there when it returns.
    m_dbc.reset();
    emit connectedChanged(false);
    emit lost();
}

void Connection::open()
{
    if (m_dbc)
        return;
    adopt(connect(odbcConnectionString()));
}

void Connection::setDefaultDatabase(const QString &database)
{
    requireOpen(this);
    selectDatabase(m_dbc->get(), database);
    m_defaultDatabase = database;
}

QString Connection::currentCatalog() const
{
    requireOpen(this);
    return catalogOf(m_dbc->get());
}

QString Connection::defaultDatabase() const
{
    return m_defaultDatabase;
}

void Connection::close()
{
    if (!m_dbc)
        return;
    // Held results own no statement handles, so nothing can block the disconnect.
    m_dbc.reset();
    emit connectedChanged(false);
}

void requireOpen(const Connection *connection)
{
    if (!connection || !connection->connected())
        throw ProgramError(QStringLiteral("数据库未连接"));
}

void logIn(Connection &connection, const LoginValues &values, const WorkRunner &run)
{
    try {
        connection.setConnectionString(
            loginConnectionString(values.password, values.user, values.dsn));
        connection.setLoginPrompt(false);
        // The connect and the selection of the database wait on the server;
        // the connection takes the link only when both have succeeded.
        const QString text = connection.odbcConnectionString();
        const QString database = values.database;
        const auto link = std::make_shared<std::shared_ptr<ConnectionLink>>();
        const std::function<void(CommandControl &)> work = [text, database, link](CommandControl &control) {
            std::shared_ptr<ConnectionLink> opened = Connection::connect(text, &control);
            Connection::selectDatabase(opened->get(), database);
            *link = std::move(opened);
        };
        if (run) {
            run(work);
        } else {
            CommandControl control;
            work(control);
        }
        connection.adopt(std::move(*link), database);
        connection.setKeepConnection(true);
    } catch (...) {
        // A connection left open here would sit under the logged-out state.
        connection.close();
        throw;
    }
}
