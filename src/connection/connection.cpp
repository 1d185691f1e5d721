#include "connection/connection.h"

#include "connection/connstring.h"

Connection::Connection(QObject *parent)
    : QObject(parent)
{
}

Connection::~Connection()
{
    if (m_connected)
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
    return m_connected;
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
    if (m_connected)
        return;
    const std::vector<SQLWCHAR> text = odbc::toWide(odbcConnectionString());
    odbc::WaitCursor waitCursor;
    odbc::Handle dbc(SQL_HANDLE_DBC, odbc::environment());
    // No prompt is ever shown, whatever the login-prompt flag says.
    std::vector<SQLWCHAR> completed(1024, 0);
    SQLSMALLINT completedLength = 0;
    const SQLRETURN rc = SQLDriverConnectW(dbc.get(), nullptr, const_cast<SQLWCHAR *>(text.data()), SQL_NTS,
                                           completed.data(), SQLSMALLINT(completed.size()), &completedLength,
                                           SQL_DRIVER_NOPROMPT);
    odbc::check(rc, SQL_HANDLE_DBC, dbc.get(), "SQLDriverConnect");
    m_dbc = std::move(dbc);
    m_connected = true;
    m_defaultDatabase.clear();
    emit connectedChanged(true);
}

void Connection::setDefaultDatabase(const QString &database)
{
    if (!m_connected)
        throw DatabaseError(QStringLiteral("Connection is not open"));
    std::vector<SQLWCHAR> name = odbc::toWide(database);
    // A driver answering "option value changed" (SQL_SUCCESS_WITH_INFO) has succeeded.
    const SQLRETURN rc = SQLSetConnectAttrW(m_dbc.get(), SQL_ATTR_CURRENT_CATALOG, name.data(),
                                            SQLINTEGER(database.size() * sizeof(SQLWCHAR)));
    odbc::check(rc, SQL_HANDLE_DBC, m_dbc.get(), "SQLSetConnectAttr");
    m_defaultDatabase = database;
}

QString Connection::defaultDatabase() const
{
    return m_defaultDatabase;
}

void Connection::close()
{
    if (!m_connected)
        return;
    // Held results own no statement handles, so nothing can block the disconnect.
    SQLDisconnect(m_dbc.get());
    m_dbc.reset();
    m_connected = false;
    emit connectedChanged(false);
}
