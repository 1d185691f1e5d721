#pragma once

// Reads the three interface tables into an OrderFlow on a connection of its
// own, a little at a time: orders and confirmations by rec_num above the
// largest held (the clustered key), trades by cjbh above the largest held.
// Every statement seeks an index the README lists, runs with a time-out and
// can be interrupted by a cancel. Everything here runs on the monitor's
// worker thread.

#include "db/odbc.h"
#include "db/ownconnection.h"
#include "flow/orderflow.h"
#include "flow/tablelayout.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class CommandControl;

namespace flow {

// Seconds a statement of the monitor or the trace may execute when the
// settings name none.
constexpr int DefaultQuerySeconds = 30;

// The statements of one refresh or one trace: on one connection, each with
// the time-out, interruptible by the control's cancel while it executes (see
// db/worker.h), every row fetched counted.
struct Reader
{
    SQLHDBC dbc = SQL_NULL_HDBC;
    int querySeconds = DefaultQuerySeconds;
    CommandControl *control = nullptr;
    qint64 rows = 0;
    // Where the table being read is told, for any thread to look; none when null.
    std::atomic<const char *> *table = nullptr;
    void reading(const char *name)
    {
        if (table)
            *table = name;
    }
};

// A value bound to a marker, declared as the column it is compared with:
// an int or bigint, or an ASCII text as varchar of the column's size (of a
// fixed size where the column's is unknown), so that SQL Server compares a
// char or varchar column without converting it, seeks its index, and keeps
// one plan for every value.
struct Key
{
    // A rec_num (int).
    Key(qint32 value);
    // A number compared with a column of this type.
    static Key number(qint64 value, const ColumnType &column);
    // A text compared with a text column of this size; ASCII as SQL_C_CHAR
    // and SQL_VARCHAR, anything else as wide text.
    static Key text(const QString &value, const ColumnType &column);

    SQLSMALLINT cType = SQL_C_SLONG;
    SQLSMALLINT sqlType = SQL_INTEGER;
    SQLULEN size = 0; // declared characters of a text
    qint32 int32 = 0;
    qint64 int64 = 0;
    QByteArray narrow;
    std::vector<SQLWCHAR> wide;
    SQLLEN length = 0;

private:
    Key() = default;
};

// The declared size of a text parameter: the column's, or (unknown, or a
// value longer than it) the smallest of a few fixed sizes that holds it.
SQLULEN declaredSize(SQLULEN columnSize, qsizetype length);

// A parameter as the driver was given it.
struct BoundParameter
{
    SQLSMALLINT cType = 0;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
};

// A statement as it was sent; the parameters as the driver's descriptors
// hold them where it tells, else as bound.
struct SentStatement
{
    QString sql;
    std::vector<BoundParameter> parameters;
};
// Called on the reading thread with every statement the readers send while
// one is set (tests and the statement check). Any thread may set it.
using StatementObserver = std::function<void(const SentStatement &)>;
void setStatementObserver(StatementObserver observer);

// Rows of a statement fetched in blocks into bound wide-text columns.
class BlockFetch
{
public:
    // `widths` are the characters of each column; `keys` are bound in order
    // to the markers. Executes at once, with the reader's time-out.
    BlockFetch(Reader &reader, const QString &sql, const std::vector<int> &widths,
               const std::vector<Key> &keys = {}, int blockRows = 2000);
    ~BlockFetch();
    // The next block; false at the end.
    bool next();
    int rows() const { return int(m_fetched); }
    // Column `column` of row `row` in the current block, null as empty.
    QStringView text(int row, int column) const;
    // How the result declares a column.
    ColumnType column(int column) const;

private:
    Reader &m_reader;
    odbc::Handle m_statement;
    std::vector<int> m_widths;
    std::vector<std::vector<SQLWCHAR>> m_values;
    std::vector<std::vector<SQLLEN>> m_lengths;
    std::vector<Key> m_keys;
    SQLULEN m_fetched = 0;
    int m_blockRows;
};

// One integer of the first row, first column.
qint64 scalar(Reader &reader, const QString &sql, const std::vector<Key> &keys = {});

// Whether a failure is a statement running out of its time-out: SQLSTATE
// HYT00 or HYT01 (SQL Server, ODBC), or 57014 as PostgreSQL's driver
// reports its statement_timeout (also its answer to a cancel, which the
// readers tell apart by their control).
bool isTimeOut(const QString &sqlState);

// A read of the monitor or the trace that failed: the table it was reading
// (empty when none, e.g. while connecting) and whether a statement reading
// it ran out of its time-out.
class ReadError : public DatabaseError
{
public:
    ReadError(const DatabaseError &error, QString table);
    QString table() const { return m_table; }
    bool timedOut() const { return m_timedOut; }

private:
    QString m_table;
    bool m_timedOut = false;
};

// The monitor's session: its connection, its reading position and its model.
class FlowSession
{
public:
    // `odbcConnectionString` and `database` are those of the current login.
    FlowSession(QString odbcConnectionString, QString database);
    ~FlowSession();

    // Seconds each statement may execute.
    void setQuerySeconds(int seconds) { m_querySeconds = seconds; }

    // One refresh: connects when needed (learning the columns' types and
    // which indexes exist), reads what is new, then the server's clock. A
    // table whose smallest key moved or whose largest went back (cleared,
    // rows removed at an end or added below), or whose gaps filled, is read
    // again from the start. A failure drops the connection, so the next
    // refresh connects again, and propagates as a ReadError (a cancel as
    // OperationCancelled). When memory ran out (isMemoryShortage) the model
    // is emptied too, so the next refresh reads the day whole.
    Snapshot refresh(int timeoutSeconds, CommandControl *control = nullptr);
    // Forgets the connection (logout); the next refresh starts over.
    void disconnect();

    OrderFlow &model() { return m_flow; }
    SQLHDBC handle() const;
    // Rows the last refresh fetched from the database, all statements.
    qint64 rowsRead() const { return m_rowsRead; }
    // Rows of the three tables the model holds.
    qint64 rowsHeld() const;
    // What the operator should know about the database, learnt on
    // connecting: indexes missing, a trade key that cannot seek.
    QStringList notes() const { return m_notes; }
    // The table being read now, empty between statements; any thread.
    QString readingTable() const;

private:
    // How trades are read after the largest cjbh held.
    enum class TradeOrder {
        Number, // cjbh is a number column
        Text,   // text, every key digits of one width: compared as text,
                // seeks (numbers passing 10^width are looked for apart)
        Cast,   // other text: compared as numbers, scans
    };
    Snapshot readNew(int timeoutSeconds, CommandControl *control);
    Snapshot read(Reader &reader, int timeoutSeconds);
    void dropAll() noexcept;
    void learnServer(Reader &reader);
    void checkEnds(Reader &reader);
    bool widerTradeNumbers(Reader &reader);
    void checkGaps(Reader &reader);
    void readOrders(Reader &reader);
    void readConfirmations(Reader &reader);
    void readTrades(Reader &reader);
    void readStatuses(Reader &reader);
    void noteTradeText(QStringView cjbh);
    qint64 serverTime(Reader &reader);

    OwnConnection m_connection;
    OrderFlow m_flow;
    Layout m_layout;
    TradeOrder m_tradeOrder = TradeOrder::Number;
    // Text order: the smallest and largest cjbh held (trailing blanks
    // removed) and the width all have; -1 none yet, -2 several.
    QString m_firstTradeText;
    QString m_lastTradeText;
    int m_tradeWidth = -1;
    bool m_tradeDigits = true; // and whether all are digits alone
    QStringList m_notes;
    std::atomic<const char *> m_reading{nullptr};
    int m_querySeconds = DefaultQuerySeconds;
    bool m_sqlite = false;
    qint64 m_rowsRead = 0;
};

} // namespace flow
