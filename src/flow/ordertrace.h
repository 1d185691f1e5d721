#pragma once

// One order's whole life: the order, its cancels, their confirmations and
// its trades, read by key with a few small selects (its state in one
// sentence is flow/flowtext's stateSentence).

#include "db/odbc.h"

#include <QString>

#include <functional>
#include <vector>

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

// The three selects on an open connection. Throws DatabaseError.
OrderTrace readTrace(SQLHDBC dbc, const TraceKey &key);

} // namespace flow
