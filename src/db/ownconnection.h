#pragma once

#include "db/odbc.h"

#include <QString>

#include <memory>

class CommandControl;
class ConnectionLink;

// A connection of its own for a window that reads beside the others (the
// monitor, the trace): opened with a login's values on first use and
// dropped when a use fails, so that the next use connects again. Used on
// its worker's thread only (see db/worker.h).
class OwnConnection
{
public:
    // `odbcConnectionString` and `database` as the login's connection has them.
    OwnConnection(QString odbcConnectionString, QString database);
    ~OwnConnection();

    // Runs `use` with the open handle, connecting first when needed; a
    // failure drops the connection and propagates.
    template <typename Use>
    auto run(CommandControl *control, Use &&use) -> decltype(use(SQLHDBC{}))
    {
        try {
            return use(open(control));
        } catch (...) {
            drop();
            throw;
        }
    }
    // The open handle, connecting first when needed.
    SQLHDBC open(CommandControl *control);
    // Whether the last open() made a new connection (to learn what it is
    // connected to once).
    bool fresh() const { return m_fresh; }
    bool isOpen() const { return bool(m_link); }
    // The open handle; null when not connected.
    SQLHDBC handle() const;
    void drop();

private:
    QString m_connectionString;
    QString m_database;
    std::shared_ptr<ConnectionLink> m_link;
    bool m_fresh = false;
};
