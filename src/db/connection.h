#pragma once

#include "db/odbc.h"

#include <QObject>
#include <QString>

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
    // (SQL_ATTR_CURRENT_CATALOG). Throws DatabaseError.
    void setDefaultDatabase(const QString &database);
    QString defaultDatabase() const;
    // Disconnects; does nothing when already closed.
    void close();

    // The ODBC string the current connection string translates to.
    QString odbcConnectionString() const;
    SQLHDBC handle() const;

signals:
    void connectedChanged(bool connected);

private:
    QString m_connectionString;
    QString m_defaultDatabase;
    bool m_loginPrompt = true;
    bool m_keepConnection = true;
    odbc::Handle m_dbc; // set while connected
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

// The login sequence on a closed connection: sets the login's connection
// string, opens it without a prompt and selects the database. On any failure
// the connection is closed again and the error propagates.
void logIn(Connection &connection, const LoginValues &values);

// Throws DatabaseError ("Connection is not open") unless the connection
// exists and is open.
void requireOpen(const Connection *connection);
