#include "flow/ordertrace.h"

#include "flow/flowreader.h"
#include "flow/orderflow.h"

#include <algorithm>

namespace flow {

namespace {

const QString OrderColumns = QStringLiteral(
    "select rec_num, date, time, reff, qty, price, status, owflag, ordrec from ashare_ordwth ");
const QString OrderByRecNumSql = OrderColumns + QStringLiteral("where rec_num = ?");
const QString OrderByReffSql = OrderColumns + QStringLiteral("where reff = ? order by rec_num");
const QString CancelsSql = OrderColumns + QStringLiteral("where ordrec = ? or ordrec = ?");
const std::vector<int> OrderWidths{12, 8, 8, 10, 12, 12, 1, 3, 12};
// Confirmations of the order (by reff) and of its cancels (by ordrec).
const QString ConfirmationsSql = QStringLiteral(
    "select rec_num, date, time, reff, qty2, price, status, owflag, ordrec, remark "
    "from ashare_ordwth2 where reff = ? or ordrec = ? or ordrec = ?");
const std::vector<int> ConfirmationWidths{12, 8, 8, 10, 12, 12, 1, 3, 12, 60};
const QString TradesSql = QStringLiteral(
    "select cjbh, bcrq, cjsj, sqbh, cjsl, cjjg, cjje from ashare_cjhb where sqbh = ?");
const std::vector<int> TradeWidths{24, 8, 6, 10, 24, 24, 24};

// The first six columns, alike in the three selects: rec_num (cjbh), date,
// time, reff (sqbh), quantity and price.
TraceRow leadingColumns(const BlockFetch &f, int r)
{
    TraceRow row;
    row.recNum = qint32(wholeNumber(f.text(r, 0)));
    row.date = dateNumber(f.text(r, 1));
    row.time = secondsOfDay(f.text(r, 2));
    row.reff = f.text(r, 3).trimmed().toString();
    row.quantity = wholeNumber(f.text(r, 4));
    row.price = f.text(r, 5).trimmed().toString();
    return row;
}

TraceRow orderRow(const BlockFetch &f, int r)
{
    TraceRow row = leadingColumns(f, r);
    row.status = f.text(r, 6).trimmed().toString();
    row.kind = isCancelFlag(f.text(r, 7)) ? TraceRow::Cancel : TraceRow::Order;
    row.code = qint32(wholeNumber(f.text(r, 8))); // ordrec, kept while reading
    return row;
}

std::vector<TraceRow> readOrders(SQLHDBC dbc, const QString &sql, const std::vector<Key> &keys)
{
    std::vector<TraceRow> rows;
    BlockFetch fetch(dbc, sql, OrderWidths, keys, 64);
    while (fetch.next())
        for (int r = 0; r < fetch.rows(); ++r)
            rows.push_back(orderRow(fetch, r));
    return rows;
}

} // namespace

TraceKey traceKeyOf(const QString &table, const std::function<QString(const QString &field)> &value)
{
    TraceKey key;
    const QString name = table.toLower();
    if (name == QLatin1String("ashare_ordwth")) {
        key.recNum = qint32(wholeNumber(value(QStringLiteral("rec_num"))));
        key.reff = value(QStringLiteral("reff")).trimmed();
    } else if (name == QLatin1String("ashare_ordwth2")) {
        if (isCancelFlag(value(QStringLiteral("owflag"))))
            key.recNum = qint32(wholeNumber(value(QStringLiteral("ordrec"))));
        else
            key.reff = value(QStringLiteral("reff")).trimmed();
    } else if (name == QLatin1String("ashare_cjhb")) {
        key.reff = value(QStringLiteral("sqbh")).trimmed();
    }
    return key;
}

OrderTrace readTrace(SQLHDBC dbc, const TraceKey &key)
{
    OrderTrace trace;
    std::vector<TraceRow> found = key.recNum > 0 ? readOrders(dbc, OrderByRecNumSql, {Key(key.recNum)})
                                                 : readOrders(dbc, OrderByReffSql, {Key(key.reff)});
    // A cancel leads to the order it names.
    auto order = std::find_if(found.begin(), found.end(), [](const TraceRow &r) { return r.kind == TraceRow::Order; });
    if (order == found.end() && !found.empty() && found.front().kind == TraceRow::Cancel)
        found = readOrders(dbc, OrderByRecNumSql, {Key(found.front().code)});
    order = std::find_if(found.begin(), found.end(), [](const TraceRow &r) { return r.kind == TraceRow::Order; });
    if (order == found.end())
        return trace;
    TraceRow head = *order;
    head.code = 0;
    trace.found = true;
    trace.rows.push_back(head);

    // ordrec is text in the tables; it is compared both as given and padded.
    const QString recText = QString::number(head.recNum);
    const QString padded = recText.rightJustified(8, u' ');
    for (TraceRow cancel : readOrders(dbc, CancelsSql, {Key(recText), Key(padded)}))
        if (cancel.kind == TraceRow::Cancel) {
            cancel.code = 0;
            trace.rows.push_back(cancel);
        }

    BlockFetch confirmations(dbc, ConfirmationsSql, ConfirmationWidths, {Key(head.reff), Key(recText), Key(padded)}, 64);
    while (confirmations.next())
        for (int r = 0; r < confirmations.rows(); ++r) {
            const bool cancel = isCancelFlag(confirmations.text(r, 7));
            // An order's confirmation by reff, a cancel's by ordrec.
            if (cancel != (wholeNumber(confirmations.text(r, 8)) == head.recNum))
                continue;
            if (!cancel && confirmations.text(r, 3).trimmed() != head.reff)
                continue;
            TraceRow row = leadingColumns(confirmations, r);
            row.kind = cancel ? TraceRow::CancelConfirmation : TraceRow::Confirmation;
            row.status = confirmations.text(r, 6).trimmed().toString();
            row.remark = confirmations.text(r, 9).trimmed().toString();
            row.code = returnCodeOf(row.remark);
            trace.rows.push_back(row);
        }

    BlockFetch trades(dbc, TradesSql, TradeWidths, {Key(head.reff)}, 64);
    while (trades.next())
        for (int r = 0; r < trades.rows(); ++r) {
            TraceRow row = leadingColumns(trades, r);
            row.kind = TraceRow::Trade;
            amountCents(trades.text(r, 6), &row.cents);
            trace.rows.push_back(row);
        }

    std::stable_sort(trace.rows.begin(), trace.rows.end(), [](const TraceRow &a, const TraceRow &b) {
        return timeStamp(a.date, a.time) < timeStamp(b.date, b.time);
    });
    return trace;
}

} // namespace flow
