#include "db/connection.h"

#include "db/connstring.h"

namespace {
const char *const OtherDatabaseText = "Database '%1' was not selected; the connection stays in '%2'";
}

Connection::Connection(QObject *parent)
    : QObject(parent)
{
}

Connection::~Connection()
{
    if (m_dbc)
        SQLDisconnect(m_dbc.get());
}

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
    return m_dbc.get();
}

void Connection::open()
{
    if (m_dbc)
        return;
    std::vector<SQLWCHAR> text = odbc::toWide(odbcConnectionString());
    odbc::Handle dbc(SQL_HANDLE_DBC, odbc::environment());
    // No prompt is ever shown, whatever the login-prompt flag says.
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, text.data(), SQL_NTS, nullptr, 0, nullptr,
                                           SQL_DRIVER_NOPROMPT);
    odbc::check(rc, SQL_HANDLE_DBC, dbc.get(), "SQLDriverConnect");
    m_dbc = std::move(dbc);
    m_defaultDatabase.clear();
    emit connectedChanged(true);
}

void Connection::setDefaultDatabase(const QString &database)
{
    requireOpen(this);
    std::vector<SQLWCHAR> name = odbc::toWide(database);
    // A driver answering "option value changed" (SQL_SUCCESS_WITH_INFO) has succeeded.
    // The name goes zero-terminated: unixODBC, converting it for an ANSI
    // driver, takes a length in bytes for one in characters and reads past it.
    const SQLRETURN rc = SQLSetConnectAttrW(m_dbc.get(), SQL_ATTR_CURRENT_CATALOG, name.data(), SQL_NTS);
    odbc::check(rc, SQL_HANDLE_DBC, m_dbc.get(), "SQLSetConnectAttr");
    // Some drivers (PostgreSQL's) accept any name and stay where they are.
    const QString current = currentCatalog();
    if (!current.isEmpty() && current.compare(database, Qt::CaseInsensitive) != 0)
        throw DatabaseError(QString::fromLatin1(OtherDatabaseText).arg(database, current));
    m_defaultDatabase = database;
}

QString Connection::currentCatalog() const
{
    requireOpen(this);
    std::vector<SQLWCHAR> buffer(256);
    SQLINTEGER length = 0;
    SQLRETURN rc = SQLGetConnectAttrW(m_dbc.get(), SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                                      SQLINTEGER(buffer.size() * sizeof(SQLWCHAR)), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && length >= SQLINTEGER(buffer.size() * sizeof(SQLWCHAR))) {
        buffer.resize(std::size_t(length) / sizeof(SQLWCHAR) + 1);
        rc = SQLGetConnectAttrW(m_dbc.get(), SQL_ATTR_CURRENT_CATALOG, buffer.data(),
                                SQLINTEGER(buffer.size() * sizeof(SQLWCHAR)), &length);
    }
    if (!SQL_SUCCEEDED(rc))
        return {};
    const qsizetype size = std::min<qsizetype>(qsizetype(length) / qsizetype(sizeof(SQLWCHAR)),
                                               qsizetype(buffer.size()) - 1);
    buffer[std::size_t(std::max<qsizetype>(size, 0))] = 0;
    return odbc::fromWide(buffer.data(), -1).left(size);
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
    SQLDisconnect(m_dbc.get());
    m_dbc.reset();
    emit connectedChanged(false);
}

void requireOpen(const Connection *connection)
{
    if (!connection || !connection->connected())
        throw DatabaseError(QStringLiteral("Connection is not open"));
}

void logIn(Connection &connection, const LoginValues &values)
{
    try {
        connection.setConnectionString(
            loginConnectionString(values.password, values.user, values.dsn));
        connection.setLoginPrompt(false);
        connection.open();
        connection.setDefaultDatabase(values.database);
        connection.setKeepConnection(true);
    } catch (...) {
        // A connection left open here would sit under the logged-out state.
        connection.close();
        throw;
    }
}
