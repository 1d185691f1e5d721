#include "db/ownconnection.h"

#include "db/connection.h"

OwnConnection::OwnConnection(QString odbcConnectionString, QString database)
    : m_connectionString(std::move(odbcConnectionString))
    , m_database(std::move(database))
{
}

OwnConnection::~OwnConnection() = default;

SQLHDBC OwnConnection::open(CommandControl *control)
{
    m_fresh = !m_link;
    if (!m_link) {
        auto link = Connection::connect(m_connectionString, control);
        if (!m_database.isEmpty())
            Connection::selectDatabase(link->get(), m_database);
        m_link = std::move(link);
    }
    return m_link->get();
}

SQLHDBC OwnConnection::handle() const
{
    return m_link ? m_link->get() : SQL_NULL_HDBC;
}

void OwnConnection::drop()
{
    m_link.reset();
}
