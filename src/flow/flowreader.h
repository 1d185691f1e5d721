#pragma once

// Reads the three interface tables into an OrderFlow on a connection of its
// own, a little at a time: orders and confirmations by rec_num above the
// largest held (the clustered key), trades by cjbh above the largest held.
// Everything here runs on the monitor's worker thread.

#include "db/odbc.h"
#include "db/ownconnection.h"
#include "flow/orderflow.h"

#include <QString>

#include <functional>
#include <memory>

class CommandControl;

namespace flow {

// A value bound to a marker: a 64-bit integer or a wide text.
struct Key
{
    Key(qint64 value) : number(value) {}
    Key(qint32 value) : number(value) {}
    Key(const QString &value) : text(odbc::toWide(value)), isText(true) {}
    qint64 number = 0;
    std::vector<SQLWCHAR> text;
    SQLLEN length = SQL_NTS;
    bool isText = false;
};

// Rows of a statement fetched in blocks into bound wide-text columns.
class BlockFetch
{
public:
    // `widths` are the characters of each column; `keys` are bound in order
    // to the markers.
    BlockFetch(SQLHDBC dbc, const QString &sql, const std::vector<int> &widths,
               const std::vector<Key> &keys = {}, int blockRows = 2000);
    ~BlockFetch();
    // The next block; false at the end.
    bool next();
    int rows() const { return int(m_fetched); }
    // Column `column` of row `row` in the current block, null as empty.
    QStringView text(int row, int column) const;

private:
    odbc::Handle m_statement;
    std::vector<int> m_widths;
    std::vector<std::vector<SQLWCHAR>> m_values;
    std::vector<std::vector<SQLLEN>> m_lengths;
    std::vector<Key> m_keys;
    SQLULEN m_fetched = 0;
    int m_blockRows;
};

// One integer of the first row, first column.
qint64 scalar(SQLHDBC dbc, const QString &sql);

// The monitor's session: its connection, its reading position and its model.
class FlowSession
{
public:
    // `odbcConnectionString` and `database` are those of the current login.
    FlowSession(QString odbcConnectionString, QString database);
    ~FlowSession();

    // One refresh: connects when needed, reads what is new (and a table again
    // from the start when its row count says rows went away or came in below
    // the largest key held; counts are read when the smallest or largest key
    // moved and every few refreshes), then the server's clock. A failure drops the
    // connection, so the next refresh connects again, and propagates.
    Snapshot refresh(int timeoutSeconds, CommandControl *control = nullptr);
    // Forgets the connection (logout); the next refresh starts over.
    void disconnect();

    OrderFlow &model() { return m_flow; }
    SQLHDBC handle() const;
    // Rows read by the last refresh, all tables.
    qint64 rowsRead() const { return m_rowsRead; }

private:
    void learnServer(SQLHDBC dbc);
    void readOrders(CommandControl *control);
    void readConfirmations(CommandControl *control);
    void readTrades(CommandControl *control);
    void readStatuses(CommandControl *control);
    qint64 serverTime();
    bool keysMoved();

    OwnConnection m_connection;
    OrderFlow m_flow;
    QString m_tradeKey;      // cjbh, or its integer cast where the column is text
    int m_clock = -1;        // how to ask for the server's time; -1 unknown
    qint64 m_rowsRead = 0;
    quint64 m_refreshes = 0;
};

} // namespace flow
