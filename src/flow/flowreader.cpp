#include "flow/flowreader.h"

#include "base/numformat.h"
#include "db/command.h"
#include "db/connection.h"

#include <algorithm>
#include <climits>

namespace flow {

namespace {

// Only the columns the monitor needs, in the order parsed below.
const QString OrdersSql = QStringLiteral(
    "select rec_num, date, time, reff, acc, stock, qty, status, owflag, ordrec, bs, price "
    "from ashare_ordwth where rec_num > ? order by rec_num");
const std::vector<int> OrderWidths{12, 8, 8, 10, 10, 6, 12, 1, 3, 12, 1, 12};
const QString ConfirmationsSql = QStringLiteral(
    "select rec_num, date, time, reff, acc, stock, qty2, status, remark, owflag, ordrec "
    "from ashare_ordwth2 where rec_num > ? order by rec_num");
const std::vector<int> ConfirmationWidths{12, 8, 8, 10, 10, 6, 12, 1, 60, 3, 12};
// %1 is the trade key: cjbh, or its cast where the column is text.
const QString TradesSql = QStringLiteral(
    "select cjbh, bcrq, cjsj, sqbh, gddm, zqdm, cjsl, cjje, bs "
    "from ashare_cjhb where %1 > ? order by %1");
const std::vector<int> TradeWidths{24, 8, 6, 10, 10, 6, 24, 24, 1};
const QString StatusSql = QStringLiteral(
    "select rec_num, status from ashare_ordwth where rec_num >= ? and rec_num <= ?");
// Statuses are read in at most this many ranges of rec_num; unsent orders
// fewer than StatusGap rows apart share one.
constexpr int StatusRanges = 8;
constexpr qint32 StatusGap = 256;
const QString CountOrdersSql = QStringLiteral("select count(*) from ashare_ordwth");
const QString CountConfirmationsSql = QStringLiteral("select count(*) from ashare_ordwth2");
const QString CountTradesSql = QStringLiteral("select count(*) from ashare_cjhb");
// The smallest and largest key of a table: two index seeks.
const QString BoundsSql = QStringLiteral("select (select min(%1) from %2), (select max(%1) from %2)");
// Every so many refreshes the row counts are read even when the keys did
// not move (rows removed or added below the largest key in between).
constexpr int FullCountEvery = 12;
const QString TradeKeyTypeSql = QStringLiteral("select cjbh from ashare_cjhb where 1 = 0");

char firstChar(QStringView text)
{
    text = text.trimmed();
    return text.isEmpty() || text[0].unicode() > 127 ? 0 : char(text[0].unicode());
}

qint32 whole32(QStringView text)
{
    return qint32(std::clamp<qint64>(wholeNumber(text), INT_MIN, INT_MAX));
}

// Whether the first column of the statement is of a numeric type.
bool isNumericColumn(SQLHDBC dbc, const QString &sql)
{
    odbc::Handle statement(SQL_HANDLE_STMT, dbc);
    std::vector<SQLWCHAR> text = odbc::toWide(sql);
    odbc::check(SQLExecDirectW(statement.get(), text.data(), SQL_NTS), SQL_HANDLE_STMT,
                statement.get(), "SQLExecDirectW");
    SQLSMALLINT type = 0;
    SQLWCHAR name[64];
    SQLSMALLINT nameLength = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    odbc::check(SQLDescribeColW(statement.get(), 1, name, 64, &nameLength, &type, &size, &digits, &nullable),
                SQL_HANDLE_STMT, statement.get(), "SQLDescribeColW");
    SQLFreeStmt(statement.get(), SQL_CLOSE);
    switch (type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
        return true;
    default:
        return false;
    }
}

} // namespace

BlockFetch::BlockFetch(SQLHDBC dbc, const QString &sql, const std::vector<int> &widths,
                       const std::vector<Key> &keys, int blockRows)
    : m_statement(SQL_HANDLE_STMT, dbc)
    , m_widths(widths)
    , m_values(widths.size())
    , m_lengths(widths.size())
    , m_keys(keys)
    , m_blockRows(blockRows)
{
    const SQLHSTMT statement = m_statement.get();
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        Key &key = m_keys[i];
        const SQLULEN chars = key.isText ? SQLULEN(std::max<std::size_t>(key.text.size(), 2) - 1) : 0;
        const SQLRETURN rc = key.isText
            ? SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                               chars, 0, key.text.data(), SQLLEN(key.text.size() * sizeof(SQLWCHAR)),
                               &key.length)
            : SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT,
                               0, 0, &key.number, 0, nullptr);
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLBindParameter");
    }
    std::vector<SQLWCHAR> text = odbc::toWide(sql);
    odbc::check(SQLExecDirectW(statement, text.data(), SQL_NTS), SQL_HANDLE_STMT, statement,
                "SQLExecDirectW");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_BIND_TYPE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(m_blockRows)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    for (std::size_t c = 0; c < m_widths.size(); ++c) {
        const std::size_t perRow = std::size_t(m_widths[c]) + 1;
        m_values[c].resize(perRow * std::size_t(m_blockRows));
        m_lengths[c].resize(std::size_t(m_blockRows));
        const SQLRETURN rc = SQLBindCol(statement, SQLUSMALLINT(c + 1), SQL_C_WCHAR, m_values[c].data(),
                                        SQLLEN(perRow * sizeof(SQLWCHAR)), m_lengths[c].data());
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLBindCol");
    }
}

BlockFetch::~BlockFetch()
{
    if (m_statement && !odbc::leavingHandles()) {
        SQLFreeStmt(m_statement.get(), SQL_CLOSE);
        SQLFreeStmt(m_statement.get(), SQL_UNBIND);
    }
}

bool BlockFetch::next()
{
    m_fetched = 0;
    const SQLRETURN rc = SQLFetch(m_statement.get());
    if (rc == SQL_NO_DATA)
        return false;
    odbc::check(rc, SQL_HANDLE_STMT, m_statement.get(), "SQLFetch");
    m_fetched = std::min<SQLULEN>(m_fetched, SQLULEN(m_blockRows));
    return m_fetched > 0;
}

QStringView BlockFetch::text(int row, int column) const
{
    const SQLLEN length = m_lengths[std::size_t(column)][std::size_t(row)];
    if (length == SQL_NULL_DATA || length < 0)
        return {};
    const std::size_t perRow = std::size_t(m_widths[std::size_t(column)]) + 1;
    const qsizetype chars = std::min<qsizetype>(qsizetype(length / SQLLEN(sizeof(SQLWCHAR))),
                                                m_widths[std::size_t(column)]);
    const SQLWCHAR *start = m_values[std::size_t(column)].data() + perRow * std::size_t(row);
    return QStringView(reinterpret_cast<const char16_t *>(start), chars);
}

qint64 scalar(SQLHDBC dbc, const QString &sql)
{
    BlockFetch fetch(dbc, sql, {24}, {}, 1);
    return fetch.next() ? wholeNumber(fetch.text(0, 0)) : 0;
}

namespace {

// Columns 1 to 5, alike in the three tables: date, time, the order's
// reference (reff, or sqbh of a trade), account and security.
template <typename Row>
Row rowWithParties(const BlockFetch &f, int r, Reff Row::*reff)
{
    Row row;
    row.date = dateNumber(f.text(r, 1));
    row.time = secondsOfDay(f.text(r, 2));
    row.*reff = Reff::from(f.text(r, 3));
    row.acc = Account::from(f.text(r, 4));
    row.stock = Stock::from(f.text(r, 5));
    return row;
}

// Reads every block of `fetch`, each row parsed by `parse`, and hands each
// block to `add`, counting the rows in `rowsRead`; false when there was
// none. Cancelling stops it between blocks.
template <typename Row, typename Parse, typename Add>
bool readBlocks(BlockFetch &fetch, CommandControl *control, qint64 &rowsRead, Parse parse, Add add)
{
    std::vector<Row> rows;
    bool any = false;
    while (fetch.next()) {
        any = true;
        if (control)
            control->throwIfCancelled();
        rows.clear();
        for (int r = 0; r < fetch.rows(); ++r)
            rows.push_back(parse(fetch, r));
        rowsRead += qint64(rows.size());
        add(rows);
    }
    return any;
}

} // namespace

FlowSession::FlowSession(QString odbcConnectionString, QString database)
    : m_connection(std::move(odbcConnectionString), std::move(database))
{
}

FlowSession::~FlowSession() = default;

SQLHDBC FlowSession::handle() const
{
    return m_connection.handle();
}

void FlowSession::disconnect()
{
    m_connection.drop();
    m_flow = OrderFlow();
}

void FlowSession::learnServer(SQLHDBC dbc)
{
    // cjbh is an integer on the production server; where it is declared as
    // text the key is compared as a number all the same.
    m_tradeKey = isNumericColumn(dbc, TradeKeyTypeSql) ? QStringLiteral("cjbh")
                                                       : QStringLiteral("cast(cjbh as bigint)");
}

Snapshot FlowSession::refresh(int timeoutSeconds, CommandControl *control)
{
    return m_connection.run(control, [&](SQLHDBC dbc) {
        if (m_connection.fresh())
            learnServer(dbc);
        m_rowsRead = 0;
        // Row counts cost a scan on some servers (SQLite): they are read when
        // the smallest or largest key moved against what is held, and every
        // FullCountEvery refreshes. A table cleared or refilled moves its keys.
        const bool counting = m_refreshes++ % FullCountEvery == 0 || keysMoved();
        const qint64 orders = counting ? scalar(handle(), CountOrdersSql) : -1;
        const qint64 confirmations = counting ? scalar(handle(), CountConfirmationsSql) : -1;
        const qint64 trades = counting ? scalar(handle(), CountTradesSql) : -1;
        // Fewer rows than held: rows were removed, the table is read again.
        if (orders >= 0 && orders < m_flow.orderRows())
            m_flow.clearOrders();
        if (confirmations >= 0 && confirmations < m_flow.confirmationRows())
            m_flow.clearConfirmations();
        if (trades >= 0 && trades < m_flow.tradeRows())
            m_flow.clearTrades();
        readStatuses(control);
        readOrders(control);
        readConfirmations(control);
        readTrades(control);
        // Still fewer than counted before reading: rows came in below the
        // largest key held (a gap filled). Read again from the start.
        if (m_flow.orderRows() < orders) {
            m_flow.clearOrders();
            readOrders(control);
        }
        if (m_flow.confirmationRows() < confirmations) {
            m_flow.clearConfirmations();
            readConfirmations(control);
        }
        if (m_flow.tradeRows() < trades) {
            m_flow.clearTrades();
            readTrades(control);
        }
        return m_flow.snapshot(serverTime(), timeoutSeconds);
    });
}

bool FlowSession::keysMoved()
{
    const auto moved = [this](const QString &key, const char *table, qint64 first, qint64 last) {
        if (first == 0 && last == 0)
            return false; // nothing held: everything is read anyway
        BlockFetch fetch(handle(), BoundsSql.arg(key, QLatin1String(table)), {24, 24}, {}, 1);
        if (!fetch.next())
            return true;
        return wholeNumber(fetch.text(0, 0)) != first || wholeNumber(fetch.text(0, 1)) < last;
    };
    return moved(QStringLiteral("rec_num"), "ashare_ordwth", m_flow.firstRecNum(), m_flow.lastRecNum())
        || moved(QStringLiteral("rec_num"), "ashare_ordwth2", m_flow.firstConfirmationRecNum(),
                 m_flow.lastConfirmationRecNum())
        || moved(m_tradeKey, "ashare_cjhb", m_flow.firstCjbh(), m_flow.lastCjbh());
}

void FlowSession::readOrders(CommandControl *control)
{
    BlockFetch fetch(handle(), OrdersSql, OrderWidths, {m_flow.lastRecNum()});
    const bool any = readBlocks<OrderRow>(fetch, control, m_rowsRead, [](const BlockFetch &f, int r) {
        OrderRow row = rowWithParties(f, r, &OrderRow::reff);
        row.recNum = whole32(f.text(r, 0));
        row.qty = whole32(f.text(r, 6));
        row.status = firstChar(f.text(r, 7));
        row.cancel = isCancelFlag(f.text(r, 8));
        row.market = isMarketFlag(f.text(r, 8));
        row.ordrec = whole32(f.text(r, 9));
        row.bs = firstChar(f.text(r, 10));
        qint64 mils = -1;
        if (parseScaledDecimal(f.text(r, 11).trimmed(), 3, &mils) && mils >= 0 && mils <= INT_MAX)
            row.priceMils = qint32(mils);
        return row;
    }, [this](const std::vector<OrderRow> &rows) { m_flow.addOrders(rows); });
    if (!any)
        m_flow.addOrders({}); // a batch all the same: orphans older than it are reported
}

void FlowSession::readConfirmations(CommandControl *control)
{
    BlockFetch fetch(handle(), ConfirmationsSql, ConfirmationWidths, {m_flow.lastConfirmationRecNum()});
    readBlocks<ConfirmationRow>(fetch, control, m_rowsRead, [](const BlockFetch &f, int r) {
        ConfirmationRow row = rowWithParties(f, r, &ConfirmationRow::reff);
        row.recNum = whole32(f.text(r, 0));
        row.qty2 = whole32(f.text(r, 6));
        const QStringView status = f.text(r, 7).trimmed();
        row.reply = replyOf(status.isEmpty() ? QChar() : status[0]);
        row.code = returnCodeOf(f.text(r, 8));
        row.cancel = isCancelFlag(f.text(r, 9));
        row.ordrec = whole32(f.text(r, 10));
        return row;
    }, [this](const std::vector<ConfirmationRow> &rows) { m_flow.addConfirmations(rows); });
}

void FlowSession::readTrades(CommandControl *control)
{
    BlockFetch fetch(handle(), TradesSql.arg(m_tradeKey), TradeWidths, {m_flow.lastCjbh()});
    readBlocks<TradeRow>(fetch, control, m_rowsRead, [](const BlockFetch &f, int r) {
        TradeRow row = rowWithParties(f, r, &TradeRow::sqbh);
        row.cjbh = wholeNumber(f.text(r, 0));
        row.quantity = wholeNumber(f.text(r, 6));
        if (!amountCents(f.text(r, 7), &row.cents))
            row.cents = 0;
        row.bs = firstChar(f.text(r, 8));
        return row;
    }, [this](const std::vector<TradeRow> &rows) { m_flow.addTrades(rows); });
}

void FlowSession::readStatuses(CommandControl *control)
{
    // Only the gateway changes a row: R becomes P. Unsent rows are mostly
    // the newest ones; one left behind long ago gets a short range of its own.
    for (const auto &range : m_flow.unsentRanges(StatusRanges, StatusGap)) {
        BlockFetch fetch(handle(), StatusSql, {12, 1}, {range.first, range.second});
        while (fetch.next()) {
            if (control)
                control->throwIfCancelled();
            for (int r = 0; r < fetch.rows(); ++r)
                m_flow.setStatus(whole32(fetch.text(r, 0)), firstChar(fetch.text(r, 1)));
        }
    }
}

qint64 FlowSession::serverTime()
{
    // The server's clock (a PC's may be minutes off): SQLite has no
    // CURRENT_TIMESTAMP in local time, the others give it in the session's.
    static const QString Queries[] = {
        QStringLiteral("select CURRENT_TIMESTAMP"),
        QStringLiteral("select datetime('now', 'localtime')"),
    };
    if (m_clock < 0) {
        SQLWCHAR name[64] = {};
        SQLSMALLINT length = 0;
        SQLGetInfoW(handle(), SQL_DBMS_NAME, name, sizeof name, &length);
        m_clock = odbc::fromWide(name, -1).contains(QLatin1String("SQLite"), Qt::CaseInsensitive) ? 1 : 0;
    }
    try {
        BlockFetch fetch(handle(), Queries[m_clock], {40}, {}, 1);
        if (fetch.next()) {
            // "YYYY-MM-DD HH:MM:SS[.fff][+zz]"
            const QStringView text = fetch.text(0, 0).trimmed();
            if (text.size() >= 19) {
                const QString date = text.left(10).toString().remove(u'-');
                const int seconds = secondsOfDay(text.mid(11, 8));
                if (dateNumber(date) > 0 && seconds >= 0)
                    return timeStamp(dateNumber(date), seconds);
            }
        }
    } catch (const DatabaseError &) {
        // Falls back to the newest time in the tables.
    }
    return m_flow.newestTime();
}

} // namespace flow
