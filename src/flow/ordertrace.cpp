#include "flow/ordertrace.h"

#include "db/command.h"
#include "flow/flowreader.h"
#include "flow/orderflow.h"

#include <algorithm>

namespace flow {

namespace {

// Each statement compares one column, which an index leads.
const QString OrderColumns = QStringLiteral(
    "select rec_num, date, time, reff, qty, price, status, owflag, ordrec from ashare_ordwth ");
const QString OrderByRecNumSql = OrderColumns + QStringLiteral("where rec_num = ?");
const QString OrderByReffSql = OrderColumns + QStringLiteral("where reff = ? order by rec_num");
const QString CancelsSql = OrderColumns + QStringLiteral("where ordrec = ?");
const std::vector<int> OrderWidths{12, 8, 8, 10, 12, 12, 1, 3, 12};
// Confirmations of the order (by reff) and of its cancels (by ordrec).
const QString ConfirmationColumns = QStringLiteral(
    "select rec_num, date, time, reff, qty2, price, status, owflag, ordrec, remark from ashare_ordwth2 ");
const QString ConfirmationsByReffSql = ConfirmationColumns + QStringLiteral("where reff = ?");
const QString ConfirmationsByOrdrecSql = ConfirmationColumns + QStringLiteral("where ordrec = ?");
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

std::vector<TraceRow> readOrders(Reader &reader, const QString &sql, const Key &key)
{
    std::vector<TraceRow> rows;
    BlockFetch fetch(reader, sql, OrderWidths, {key}, 64);
    while (fetch.next())
        for (int r = 0; r < fetch.rows(); ++r)
            rows.push_back(orderRow(fetch, r));
    return rows;
}

// ordrec is text in the tables, written as the number or right-aligned in
// its column: both forms, the second only where it differs.
std::vector<QString> ordrecForms(qint32 recNum, const ColumnType &column)
{
    const QString text = QString::number(recNum);
    const QString padded = text.rightJustified(column.size > 0 && column.size <= 64 ? qsizetype(column.size) : 8, u' ');
    return padded == text ? std::vector<QString>{text} : std::vector<QString>{text, padded};
}

TraceRow confirmationRow(const BlockFetch &f, int r, bool cancel)
{
    TraceRow row = leadingColumns(f, r);
    row.kind = cancel ? TraceRow::CancelConfirmation : TraceRow::Confirmation;
    row.status = f.text(r, 6).trimmed().toString();
    row.remark = f.text(r, 9).trimmed().toString();
    row.code = returnCodeOf(row.remark);
    return row;
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

OrderTrace readTrace(Reader &reader, const Layout &layout, const TraceKey &key)
{
    OrderTrace trace;
    const auto byRecNum = [&](qint32 recNum) {
        return readOrders(reader, OrderByRecNumSql, Key::number(recNum, layout.orderRecNum));
    };
    reader.reading("ashare_ordwth");
    std::vector<TraceRow> found = key.recNum > 0
        ? byRecNum(key.recNum)
        : readOrders(reader, OrderByReffSql, Key::text(key.reff, layout.orderReff));
    // A cancel leads to the order it names.
    auto order = std::find_if(found.begin(), found.end(), [](const TraceRow &r) { return r.kind == TraceRow::Order; });
    if (order == found.end() && !found.empty() && found.front().kind == TraceRow::Cancel)
        found = byRecNum(found.front().code);
    order = std::find_if(found.begin(), found.end(), [](const TraceRow &r) { return r.kind == TraceRow::Order; });
    if (order == found.end())
        return trace;
    TraceRow head = *order;
    head.code = 0;
    trace.found = true;
    trace.rows.push_back(head);

    for (const QString &ordrec : ordrecForms(head.recNum, layout.orderOrdrec))
        for (TraceRow cancel : readOrders(reader, CancelsSql, Key::text(ordrec, layout.orderOrdrec)))
            if (cancel.kind == TraceRow::Cancel) {
                cancel.code = 0;
                trace.rows.push_back(cancel);
            }

    // An order's confirmation by reff, a cancel's by ordrec.
    reader.reading("ashare_ordwth2");
    {
        BlockFetch confirmations(reader, ConfirmationsByReffSql, ConfirmationWidths,
                                 {Key::text(head.reff, layout.confirmationReff)}, 64);
        while (confirmations.next())
            for (int r = 0; r < confirmations.rows(); ++r)
                if (!isCancelFlag(confirmations.text(r, 7)))
                    trace.rows.push_back(confirmationRow(confirmations, r, false));
    }
    for (const QString &ordrec : ordrecForms(head.recNum, layout.confirmationOrdrec)) {
        BlockFetch confirmations(reader, ConfirmationsByOrdrecSql, ConfirmationWidths,
                                 {Key::text(ordrec, layout.confirmationOrdrec)}, 64);
        while (confirmations.next())
            for (int r = 0; r < confirmations.rows(); ++r)
                if (isCancelFlag(confirmations.text(r, 7)))
                    trace.rows.push_back(confirmationRow(confirmations, r, true));
    }

    reader.reading("ashare_cjhb");
    BlockFetch trades(reader, TradesSql, TradeWidths, {Key::text(head.reff, layout.tradeSqbh)}, 64);
    while (trades.next())
        for (int r = 0; r < trades.rows(); ++r) {
            TraceRow row = leadingColumns(trades, r);
            row.kind = TraceRow::Trade;
            amountCents(trades.text(r, 6), &row.cents);
            trace.rows.push_back(row);
        }
    reader.reading(nullptr);

    std::stable_sort(trace.rows.begin(), trace.rows.end(), [](const TraceRow &a, const TraceRow &b) {
        return timeStamp(a.date, a.time) < timeStamp(b.date, b.time);
    });
    return trace;
}

TraceSession::TraceSession(QString odbcConnectionString, QString database)
    : m_connection(std::move(odbcConnectionString), std::move(database))
{
}

OrderTrace TraceSession::read(const TraceKey &key, int querySeconds, CommandControl *control)
{
    return m_connection.run(control, [&](SQLHDBC dbc) {
        std::atomic<const char *> table{nullptr};
        Reader reader{dbc, querySeconds, control, 0, &table};
        try {
            if (m_connection.fresh())
                m_layout = learnLayout(reader);
            return readTrace(reader, m_layout, key);
        } catch (const OperationCancelled &) {
            throw;
        } catch (const DatabaseError &error) {
            const char *name = table;
            throw ReadError(error, name ? QString::fromLatin1(name) : QString());
        }
    });
}

} // namespace flow
