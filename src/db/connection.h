#pragma once

#include "db/odbc.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CommandControl;
class DatabaseWorker;

// An open ODBC connection handle. The last owner disconnects and frees it, on
// its own thread (see "Give-up" in db/worker.h).
class ConnectionLink
{
public:
    explicit ConnectionLink(odbc::Handle dbc);
    ~ConnectionLink();
    ConnectionLink(const ConnectionLink &) = delete;
    ConnectionLink &operator=(const ConnectionLink &) = delete;
    SQLHDBC get() const { return m_dbc.get(); }

private:
    odbc::Handle m_dbc;
};

// The program's database connection `con`: opened from a provider-style
// connection string through an ODBC DSN.
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject *parent = nullptr);
    ~Connection() override;

    QString connectionString() const;
    void setConnectionString(const QString &text);
    // Whether the driver may prompt for missing login values. Over ODBC no
    // prompt is ever shown (SQL_DRIVER_NOPROMPT), whatever this says.
    bool loginPrompt() const;
    void setLoginPrompt(bool on);
    // Whether the connection stays open between commands. Over ODBC it
    // always does, until close().
    bool keepConnection() const;
    void setKeepConnection(bool on);

    bool connected() const;
    // Connects with SQLDriverConnectW, never prompting. Throws DatabaseError.
    void open();
    // Selects the default database of the open connection
    // (SQL_ATTR_CURRENT_CATALOG). Throws DatabaseError, also when the driver
    // reports success but names another database afterwards (compared
    // without regard to case; a driver naming none is taken at its word).
    void setDefaultDatabase(const QString &database);
    // The database the driver says the connection is in; empty when it
    // names none or cannot tell.
    QString currentCatalog() const;
    QString defaultDatabase() const;
    // Disconnects; does nothing when already closed.
    void close();

    // The steps of open() and setDefaultDatabase() that wait on the server,
    // callable on any thread: a new connection from an ODBC connection string
    // (login time-out 15 s where the driver takes one; a cancel abandons the
    // connect), and the selection of its database.
    static std::shared_ptr<ConnectionLink> connect(const QString &odbcConnectionString,
                                                   CommandControl *control = nullptr);
    static void selectDatabase(SQLHDBC dbc, const QString &database);
    // Takes a link made by connect() as the open connection (a closed one
    // only), with `database` as its default database when not empty.
    void adopt(std::shared_ptr<ConnectionLink> link, const QString &database = {});
    // Gives the connection up as lost without disconnecting it: a call still
    // running on it keeps the handle and frees it when it returns. Emits
    // lost() when the connection was open.
    void abandon();

    // The worker that runs this connection's jobs, set by its owner (null:
    // none). Large held results of its queries are freed there.
    void setWorker(DatabaseWorker *worker) { m_worker = worker; }
    DatabaseWorker *worker() const { return m_worker; }

    // The ODBC string the current connection string translates to.
    QString odbcConnectionString() const;
    SQLHDBC handle() const;
    std::shared_ptr<ConnectionLink> link() const; // null while closed

signals:
    void connectedChanged(bool connected);
    // The connection was given up (abandon()).
    void lost();

private:
    QString m_connectionString;
    QString m_defaultDatabase;
    bool m_loginPrompt = true;
    bool m_keepConnection = true;
    std::shared_ptr<ConnectionLink> m_dbc; // set while connected
    DatabaseWorker *m_worker = nullptr;
};

// What a login needs: the typed password, the user, the DSN and the
// database to select.
struct LoginValues
{
    QString password;
    QString user;
    QString dsn;
    QString database;
};

// Runs the work of a command (on a database worker, for one).
using WorkRunner = std::function<void(const std::function<void(CommandControl &)> &work)>;

// The login sequence on a closed connection: sets the login's connection
// string, opens it without a prompt and selects the database. The steps that
// wait on the server run through `run` when given, else here. On any failure
// the connection is closed again and the error propagates.
void logIn(Connection &connection, const LoginValues &values, const WorkRunner &run = {});

// Throws DatabaseError ("Connection is not open") unless the connection
// exists and is open.
void requireOpen(const Connection *connection);
