#pragma once

// What the tests of the monitor's windows on the PostgreSQL test server
// share: a day of the gateway stand-in there, the login to it, and another
// session holding a table locked.

#include "support/pgserver.h"
#include "support/testsupport.h"

#include "../monitor/monitortestsupport.h"

#include "db/connection.h"
#include "db/odbc.h"

namespace servertest {

inline gateway::Options serverDay(std::int64_t rows)
{
    gateway::Options o = monitortest::standInDay(pgserver::dsn(), rows);
    o.user = pgserver::user();
    o.password = pgserver::password();
    o.database = pgserver::database();
    return o;
}

inline void logInToServer()
{
    testsupport::logIn(pgserver::dsn(), pgserver::user(), pgserver::password(), pgserver::database());
}

inline qint64 serverCount(const QString &sql)
{
    return pgserver::value(sql).toLongLong();
}

// Another session holding a table: an exclusive lock in a transaction left
// open until release() or the end.
class TableLock
{
public:
    explicit TableLock(const QString &table)
    {
        const gateway::Options o = serverDay(0);
        m_link = Connection::connect(gateway::odbcConnectionString(o));
        Connection::selectDatabase(m_link->get(), o.database);
        SQLSetConnectAttrW(m_link->get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
        odbc::Handle statement(SQL_HANDLE_STMT, m_link->get());
        std::vector<SQLWCHAR> sql = odbc::toWide(QStringLiteral("lock table %1 in access exclusive mode").arg(table));
        odbc::check(SQLExecDirectW(statement.get(), sql.data(), SQL_NTS), SQL_HANDLE_STMT, statement.get(), "lock");
    }
    ~TableLock() { release(); }
    void release()
    {
        if (m_link)
            SQLEndTran(SQL_HANDLE_DBC, m_link->get(), SQL_ROLLBACK);
        m_link.reset();
    }

private:
    std::shared_ptr<ConnectionLink> m_link;
};

} // namespace servertest
