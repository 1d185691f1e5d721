#pragma once

// One order's whole life: the order, its cancels, their confirmations and
// its trades, read by key with a few small selects (its state in one
// sentence is flow/flowtext's stateSentence).

#include "db/odbc.h"
#include "db/ownconnection.h"
#include "flow/tablelayout.h"

#include <QString>

#include <functional>
#include <vector>

class CommandControl;

namespace flow {

// What names the order: its rec_num (an order row, a cancel's ordrec, a
// finding) or, without one, its reff (a confirmation, a trade's sqbh).
struct TraceKey
{
    qint32 recNum = 0;
    QString reff;
};

struct TraceRow
{
    enum Kind { Order, Cancel, Confirmation, CancelConfirmation, Trade };
    Kind kind = Order;
    qint32 date = 0;
    qint32 time = -1;     // seconds of day
    qint32 recNum = 0;    // rec_num; cjbh of a trade
    QString reff;
    QString status;       // status; 处理结果 of a confirmation
    qint64 quantity = 0;  // qty; qty2 of a cancel's confirmation; cjsl
    QString price;        // price; cjjg
    qint64 cents = 0;     // cjje of a trade
    int code = 0;         // return code of a confirmation
    QString remark;
};

struct OrderTrace
{
    bool found = false;
    std::vector<TraceRow> rows; // in time order
};

// The key of a row of one of the three tables (named in lower case), its
// values by field name: an order by rec_num and reff, a confirmation by reff
// (a cancel's by ordrec, the cancelled order's rec_num), a trade by sqbh.
TraceKey traceKeyOf(const QString &table, const std::function<QString(const QString &field)> &value);

struct Reader;

// The selects of one trace, each by one column that an index leads, the
// keys bound as `layout` declares the columns. Throws DatabaseError.
OrderTrace readTrace(Reader &reader, const Layout &layout, const TraceKey &key);

// The trace window's session: its connection and what it learnt of the
// tables on connecting. Used on its worker's thread only.
class TraceSession
{
public:
    // `odbcConnectionString` and `database` are those of the current login.
    TraceSession(QString odbcConnectionString, QString database);
    // Reads one order, connecting first when needed, each statement with
    // `querySeconds` to execute; a failure drops the connection and
    // propagates as a ReadError (a cancel as OperationCancelled).
    OrderTrace read(const TraceKey &key, int querySeconds, CommandControl *control = nullptr);

private:
    OwnConnection m_connection;
    Layout m_layout;
};

} // namespace flow
