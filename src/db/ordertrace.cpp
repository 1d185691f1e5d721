#include "db/ordertrace.h"

#include "db/flowreader.h"
#include "db/orderflow.h"

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

QString kindText(TraceRow::Kind kind)
{
    switch (kind) {
    case TraceRow::Order:
        return QStringLiteral("委托");
    case TraceRow::Cancel:
        return QStringLiteral("撤单");
    case TraceRow::Confirmation:
        return QStringLiteral("委托确认");
    case TraceRow::CancelConfirmation:
        return QStringLiteral("撤单确认");
    case TraceRow::Trade:
        return QStringLiteral("成交");
    }
    return {};
}

namespace {

QString rejection(const TraceRow &reply, const std::function<QString(int)> &note)
{
    if (reply.code == 0)
        return QStringLiteral("废单");
    const QString text = note ? note(reply.code) : QString();
    return QStringLiteral("废单：%1%2").arg(reply.code).arg(text.isEmpty() ? QString() : u' ' + text);
}

// Average price to the cent, rounded half up, from exact cents and a quantity.
QString averagePrice(qint64 cents, qint64 quantity)
{
    if (quantity <= 0)
        return QStringLiteral("0.00");
    const qint64 rounded = (cents * 2 + quantity) / (quantity * 2);
    return QStringLiteral("%1.%2").arg(rounded / 100).arg(rounded % 100, 2, 10, QChar(u'0'));
}

} // namespace

QString stateSentence(const OrderTrace &trace, const std::function<QString(int)> &note)
{
    if (!trace.found)
        return QStringLiteral("未找到该委托");
    const TraceRow *order = nullptr, *reply = nullptr, *cancel = nullptr, *cancelReply = nullptr;
    qint64 traded = 0, cents = 0, fills = 0;
    for (const TraceRow &row : trace.rows) {
        switch (row.kind) {
        case TraceRow::Order:
            order = order ? order : &row;
            break;
        case TraceRow::Confirmation:
            reply = reply ? reply : &row;
            break;
        case TraceRow::Cancel:
            cancel = cancel ? cancel : &row;
            break;
        case TraceRow::CancelConfirmation:
            cancelReply = cancelReply ? cancelReply : &row;
            break;
        case TraceRow::Trade:
            traded += row.quantity;
            cents += row.cents;
            ++fills;
            break;
        }
    }
    const Reply kind = reply && !reply->status.isEmpty() ? replyOf(reply->status[0]) : Reply::None;
    if (kind == Reply::Rejected)
        return rejection(*reply, note);
    QString text;
    if (kind == Reply::Accepted || kind == Reply::CancelAccepted)
        text = QStringLiteral("已确认");
    else if (!order->status.isEmpty() && isUnsentStatus(order->status[0]))
        text = QStringLiteral("未报");
    else
        text = QStringLiteral("已报未确认");
    if (fills > 0)
        text += QStringLiteral("，成交 %1/%2（%3 笔，均价 %4）")
                    .arg(traded)
                    .arg(order->quantity)
                    .arg(fills)
                    .arg(averagePrice(cents, traded));
    if (cancel) {
        const Reply cancelKind = cancelReply && !cancelReply->status.isEmpty() ? replyOf(cancelReply->status[0])
                                                                               : Reply::None;
        if (cancelKind == Reply::CancelAccepted || cancelKind == Reply::Accepted)
            text += QStringLiteral("，撤单已撤 %1").arg(cancelReply->quantity);
        else if (cancelKind == Reply::Rejected)
            text += QStringLiteral("，撤单") + rejection(*cancelReply, note);
        else
            text += QStringLiteral("，撤单未确认");
    }
    return text;
}

} // namespace flow
