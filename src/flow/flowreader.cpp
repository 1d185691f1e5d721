#include "flow/flowreader.h"

#include "base/numformat.h"
#include "db/command.h"
#include "db/connection.h"
#include "db/memoryshortage.h"
#include "flow/healthtext.h"

#include <algorithm>
#include <climits>
#include <mutex>

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
// Trades after the largest cjbh held: compared as the column is (a number,
// or a text of digits of one width), or as a number where texts differ in
// width; the whole table where none is held (a statement of its own, so
// that a server's plan for the first does not serve the others).
const QString AllTradesSql = QStringLiteral("select cjbh, bcrq, cjsj, sqbh, gddm, zqdm, cjsl, cjje, bs from ashare_cjhb");
const QString TradesAfterSql = AllTradesSql + QStringLiteral(" where cjbh > ? order by cjbh");
const QString TradesAfterNumberSql =
    AllTradesSql + QStringLiteral(" where cast(cjbh as bigint) > ? order by cast(cjbh as bigint)");
const std::vector<int> TradeWidths{24, 8, 6, 10, 10, 6, 24, 24, 1};
const QString StatusSql = QStringLiteral(
    "select rec_num, status from ashare_ordwth where rec_num >= ? and rec_num <= ?");
// Statuses are read in at most this many ranges of rec_num; unsent orders
// fewer than StatusGap rows apart share one.
constexpr int StatusRanges = 8;
constexpr qint32 StatusGap = 256;
// The smallest and largest key of a table: two index seeks.
const QString OrderEndsSql = QStringLiteral(
    "select (select min(rec_num) from ashare_ordwth), (select max(rec_num) from ashare_ordwth)");
const QString ConfirmationEndsSql = QStringLiteral(
    "select (select min(rec_num) from ashare_ordwth2), (select max(rec_num) from ashare_ordwth2)");
const QString TradeEndsSql =
    QStringLiteral("select (select min(cjbh) from ashare_cjhb), (select max(cjbh) from ashare_cjhb)");
const QString TradeEndsNumberSql = QStringLiteral(
    "select (select min(cast(cjbh as bigint)) from ashare_cjhb), (select max(cast(cjbh as bigint)) from ashare_cjhb)");
// Text trade numbers of one width w: those of more digits that begin with
// the smallest number of w digits, i.e. the first after the numbers passed
// 10^w (below the smallest held as text, where the ends do not see them).
const QString WiderTradesSql = QStringLiteral("select count(*) from ashare_cjhb where cjbh >= ? and cjbh < ?");
// Rows in a gap between two orders held: one seek each; the newest few.
const QString GapSql = QStringLiteral("select count(*) from ashare_ordwth where rec_num > ? and rec_num < ?");
constexpr std::size_t GapsChecked = 4;
// The server's clock (a PC's may be minutes off). SQLite has no
// CURRENT_TIMESTAMP in local time; this is the one statement that differs
// by server.
const QString ClockSql = QStringLiteral("select CURRENT_TIMESTAMP");
const QString SqliteClockSql = QStringLiteral("select datetime('now', 'localtime')");

const char *const OrdersTable = "ashare_ordwth";
const char *const ConfirmationsTable = "ashare_ordwth2";
const char *const TradesTable = "ashare_cjhb";

// Fixed declared sizes of text parameters whose column size is unknown.
constexpr SQLULEN TextSizes[] = {16, 64, 256, 1024, 4000};

std::mutex observerMutex;
StatementObserver &observer()
{
    static StatementObserver current;
    return current;
}

StatementObserver currentObserver()
{
    const std::lock_guard<std::mutex> lock(observerMutex);
    return observer();
}

bool isAscii(const QString &text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 128; });
}

char firstChar(QStringView text)
{
    text = text.trimmed();
    return text.isEmpty() || text[0].unicode() > 127 ? 0 : char(text[0].unicode());
}

qint32 whole32(QStringView text)
{
    return qint32(std::clamp<qint64>(wholeNumber(text), INT_MIN, INT_MAX));
}

// A text key as the server compares it: without the blanks that pad a char.
QStringView keyText(QStringView text)
{
    while (!text.isEmpty() && text.back() == u' ')
        text.chop(1);
    return text;
}

// The parameters as the driver's descriptors hold them, where it tells.
std::vector<BoundParameter> describedParameters(SQLHSTMT statement, std::vector<BoundParameter> bound)
{
    SQLHDESC implementation = SQL_NULL_HDESC, application = SQL_NULL_HDESC;
    if (!SQL_SUCCEEDED(SQLGetStmtAttr(statement, SQL_ATTR_IMP_PARAM_DESC, &implementation, 0, nullptr))
        || !SQL_SUCCEEDED(SQLGetStmtAttr(statement, SQL_ATTR_APP_PARAM_DESC, &application, 0, nullptr)))
        return bound;
    for (std::size_t i = 0; i < bound.size(); ++i) {
        const auto record = SQLSMALLINT(i + 1);
        SQLSMALLINT sqlType = 0, cType = 0;
        SQLULEN length = 0;
        if (SQL_SUCCEEDED(SQLGetDescFieldW(implementation, record, SQL_DESC_CONCISE_TYPE, &sqlType, 0, nullptr))
            && sqlType != 0)
            bound[i].sqlType = sqlType;
        if (SQL_SUCCEEDED(SQLGetDescFieldW(application, record, SQL_DESC_CONCISE_TYPE, &cType, 0, nullptr))
            && cType != 0)
            bound[i].cType = cType;
        if ((bound[i].sqlType == SQL_CHAR || bound[i].sqlType == SQL_VARCHAR || bound[i].sqlType == SQL_WCHAR
             || bound[i].sqlType == SQL_WVARCHAR)
            && SQL_SUCCEEDED(SQLGetDescFieldW(implementation, record, SQL_DESC_LENGTH, &length, 0, nullptr))
            && length != 0)
            bound[i].size = length;
    }
    return bound;
}

} // namespace

// ---- keys and statements ----

Key::Key(qint32 value)
    : int32(value)
{
}

Key Key::number(qint64 value, const ColumnType &column)
{
    Key key;
    if (column.type == SQL_INTEGER || column.type == SQL_SMALLINT || column.type == SQL_TINYINT) {
        key.int32 = qint32(std::clamp<qint64>(value, INT_MIN, INT_MAX));
    } else {
        key.cType = SQL_C_SBIGINT;
        key.sqlType = SQL_BIGINT;
        key.int64 = value;
    }
    return key;
}

Key Key::text(const QString &value, const ColumnType &column)
{
    Key key;
    key.size = declaredSize(column.size, value.size());
    if (isAscii(value)) {
        key.cType = SQL_C_CHAR;
        key.sqlType = SQL_VARCHAR;
        key.narrow = value.toLatin1();
        key.length = SQLLEN(key.narrow.size());
    } else {
        key.cType = SQL_C_WCHAR;
        key.sqlType = SQL_WVARCHAR;
        key.wide = odbc::toWide(value);
        key.length = SQLLEN(value.size() * qsizetype(sizeof(SQLWCHAR)));
    }
    return key;
}

SQLULEN declaredSize(SQLULEN columnSize, qsizetype length)
{
    const auto needed = SQLULEN(std::max<qsizetype>(length, 1));
    if (columnSize > 0 && columnSize <= 8000 && needed <= columnSize)
        return columnSize;
    for (const SQLULEN size : TextSizes)
        if (needed <= size)
            return size;
    return needed;
}

void setStatementObserver(StatementObserver observer)
{
    const std::lock_guard<std::mutex> lock(observerMutex);
    flow::observer() = std::move(observer);
}

BlockFetch::BlockFetch(Reader &reader, const QString &sql, const std::vector<int> &widths,
                       const std::vector<Key> &keys, int blockRows)
    : m_reader(reader)
    , m_statement(SQL_HANDLE_STMT, reader.dbc)
    , m_widths(widths)
    , m_values(widths.size())
    , m_lengths(widths.size())
    , m_keys(keys)
    , m_blockRows(blockRows)
{
    const SQLHSTMT statement = m_statement.get();
    // A driver without a query time-out runs the statement without one.
    SQLSetStmtAttr(statement, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(reader.querySeconds)), 0);
    std::vector<BoundParameter> bound;
    for (std::size_t i = 0; i < m_keys.size(); ++i) {
        Key &key = m_keys[i];
        SQLPOINTER value = &key.int32;
        SQLLEN bufferLength = 0;
        SQLLEN *length = nullptr;
        if (key.cType == SQL_C_SBIGINT) {
            value = &key.int64;
        } else if (key.cType == SQL_C_CHAR) {
            value = key.narrow.data();
            bufferLength = key.length + 1;
            length = &key.length;
        } else if (key.cType == SQL_C_WCHAR) {
            value = key.wide.data();
            bufferLength = SQLLEN(key.wide.size() * sizeof(SQLWCHAR));
            length = &key.length;
        }
        const SQLRETURN rc = SQLBindParameter(statement, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, key.cType,
                                              key.sqlType, key.size, 0, value, bufferLength, length);
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLBindParameter");
        bound.push_back({key.cType, key.sqlType, key.size});
    }
    if (const StatementObserver observe = currentObserver())
        observe({sql, describedParameters(statement, std::move(bound))});
    std::vector<SQLWCHAR> text = odbc::toWide(sql);
    SQLRETURN rc;
    {
        const CommandControl::Interruptible interruptible(reader.control, statement);
        rc = SQLExecDirectW(statement, text.data(), SQL_NTS);
    }
    // A cancel interrupts the statement with an error of the driver's.
    if (reader.control)
        reader.control->throwIfCancelled();
    odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLExecDirectW");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_BIND_TYPE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(m_blockRows)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &m_fetched, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    for (std::size_t c = 0; c < m_widths.size(); ++c) {
        const std::size_t perRow = std::size_t(m_widths[c]) + 1;
        m_values[c].resize(perRow * std::size_t(m_blockRows));
        m_lengths[c].resize(std::size_t(m_blockRows));
        const SQLRETURN bindRc = SQLBindCol(statement, SQLUSMALLINT(c + 1), SQL_C_WCHAR, m_values[c].data(),
                                            SQLLEN(perRow * sizeof(SQLWCHAR)), m_lengths[c].data());
        odbc::check(bindRc, SQL_HANDLE_STMT, statement, "SQLBindCol");
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
    m_reader.rows += qint64(m_fetched);
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

ColumnType BlockFetch::column(int column) const
{
    SQLWCHAR name[64];
    SQLSMALLINT nameLength = 0, digits = 0, nullable = 0;
    ColumnType type;
    odbc::check(SQLDescribeColW(m_statement.get(), SQLUSMALLINT(column + 1), name, 64, &nameLength, &type.type,
                                &type.size, &digits, &nullable),
                SQL_HANDLE_STMT, m_statement.get(), "SQLDescribeColW");
    return type;
}

qint64 scalar(Reader &reader, const QString &sql, const std::vector<Key> &keys)
{
    BlockFetch fetch(reader, sql, {24}, keys, 1);
    return fetch.next() ? wholeNumber(fetch.text(0, 0)) : 0;
}

bool isTimeOut(const QString &sqlState)
{
    return sqlState == QLatin1String("HYT00") || sqlState == QLatin1String("HYT01")
        || sqlState == QLatin1String("57014");
}

ReadError::ReadError(const DatabaseError &error, QString table)
    : DatabaseError(error.message(), error.sqlState(), error.nativeError())
    , m_table(std::move(table))
    , m_timedOut(!m_table.isEmpty() && isTimeOut(error.sqlState())) // not a login's time-out
{
}

// ---- the monitor's session ----

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
// block to `add`; false when there was none. Cancelling stops it between
// blocks.
template <typename Row, typename Parse, typename Add>
bool readBlocks(BlockFetch &fetch, CommandControl *control, Parse parse, Add add)
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

qint64 FlowSession::rowsHeld() const
{
    return m_flow.orderRows() + m_flow.confirmationRows() + m_flow.tradeRows();
}

QString FlowSession::readingTable() const
{
    const char *table = m_reading;
    return table ? QString::fromLatin1(table) : QString();
}

void FlowSession::disconnect()
{
    m_connection.drop();
    m_flow = OrderFlow();
}

Snapshot FlowSession::refresh(int timeoutSeconds, CommandControl *control)
{
    try {
        return readNew(timeoutSeconds, control);
    } catch (...) {
        // Memory ran out part way: the model may hold part of a batch, so it
        // goes with the memory it holds, and the next refresh reads the day
        // whole on a new connection.
        if (isMemoryShortage(std::current_exception()))
            dropAll();
        throw;
    }
}

void FlowSession::dropAll() noexcept
{
    try {
        m_connection.drop();
    } catch (...) {
    }
    try {
        // Freeing first: what clearing allocates again is small.
        m_flow.clearOrders(); // the confirmations and trades with them
        m_flow.clearConfirmations();
        m_flow.clearTrades();
    } catch (...) {
        m_flow = OrderFlow();
    }
}

Snapshot FlowSession::readNew(int timeoutSeconds, CommandControl *control)
{
    return m_connection.run(control, [&](SQLHDBC dbc) {
        Reader reader{dbc, m_querySeconds, control, 0, &m_reading};
        try {
            Snapshot snapshot = read(reader, timeoutSeconds);
            m_rowsRead = reader.rows;
            return snapshot;
        } catch (const OperationCancelled &) {
            reader.reading(nullptr);
            throw;
        } catch (const DatabaseError &error) {
            const QString table = readingTable();
            reader.reading(nullptr);
            throw ReadError(error, table);
        }
    });
}

Snapshot FlowSession::read(Reader &reader, int timeoutSeconds)
{
    if (m_connection.fresh())
        learnServer(reader);
    checkEnds(reader);
    checkGaps(reader);
    readStatuses(reader);
    readOrders(reader);
    readConfirmations(reader);
    readTrades(reader);
    reader.reading(nullptr);
    return m_flow.snapshot(serverTime(reader), timeoutSeconds);
}

void FlowSession::learnServer(Reader &reader)
{
    SQLWCHAR name[64] = {};
    SQLSMALLINT length = 0;
    SQLGetInfoW(reader.dbc, SQL_DBMS_NAME, name, sizeof name, &length);
    m_sqlite = odbc::fromWide(name, -1).contains(QLatin1String("SQLite"), Qt::CaseInsensitive);
    m_layout = learnLayout(reader);
    // cjbh is an integer on the production server; some installations
    // declare it as text.
    if (m_layout.tradeCjbh.isNumber())
        m_tradeOrder = TradeOrder::Number;
    else if (m_tradeOrder == TradeOrder::Number)
        m_tradeOrder = TradeOrder::Text;
    m_notes.clear();
    const QStringList refresh = missingIndexes(reader, false);
    if (!refresh.isEmpty())
        m_notes << missingIndexNote(refresh, false);
    const QStringList trace = missingIndexes(reader, true);
    if (!trace.isEmpty())
        m_notes << missingIndexNote(trace, true);
    if (m_tradeOrder == TradeOrder::Cast)
        m_notes << tradeKeyScanNote();
}

void FlowSession::checkEnds(Reader &reader)
{
    // The model only grows: rows that went away or came in below what is
    // held move a table's smallest key or take its largest back.
    const auto ends = [&reader](const char *table, const QString &sql) {
        reader.reading(table);
        BlockFetch fetch(reader, sql, {24, 24}, {}, 1);
        const bool any = fetch.next();
        return std::make_pair(any ? keyText(fetch.text(0, 0)).toString() : QString(),
                              any ? keyText(fetch.text(0, 1)).toString() : QString());
    };
    const auto movedNumbers = [](const std::pair<QString, QString> &server, qint64 first, qint64 last) {
        if (first == 0 && last == 0)
            return false; // nothing held: everything is read anyway
        return wholeNumber(server.first) != first || wholeNumber(server.second) < last;
    };
    if (movedNumbers(ends(OrdersTable, OrderEndsSql), m_flow.firstRecNum(), m_flow.lastRecNum()))
        m_flow.clearOrders(); // the confirmations and trades with them
    if (movedNumbers(ends(ConfirmationsTable, ConfirmationEndsSql), m_flow.firstConfirmationRecNum(),
                     m_flow.lastConfirmationRecNum()))
        m_flow.clearConfirmations();
    // Text numbers of several widths: their ends as numbers (a scan on a
    // server, as their reads are; SQLite can index the expression).
    const auto trades = ends(TradesTable, m_tradeOrder == TradeOrder::Cast ? TradeEndsNumberSql : TradeEndsSql);
    bool moved;
    if (m_tradeOrder == TradeOrder::Text)
        moved = !m_lastTradeText.isEmpty()
            && (trades.first != m_firstTradeText || trades.second < m_lastTradeText || widerTradeNumbers(reader));
    else
        moved = movedNumbers(trades, m_flow.firstCjbh(), m_flow.lastCjbh());
    if (moved)
        m_flow.clearTrades();
}

bool FlowSession::widerTradeNumbers(Reader &reader)
{
    if (!m_tradeDigits || m_tradeWidth < 1)
        return false;
    const QString smallest = QLatin1Char('1') + QString(m_tradeWidth - 1, u'0');
    QString after = smallest;
    after[after.size() - 1] = QChar(after.back().unicode() + 1);
    return scalar(reader, WiderTradesSql,
                  {Key::text(smallest + u'0', m_layout.tradeCjbh), Key::text(after, m_layout.tradeCjbh)})
        > 0;
}

void FlowSession::checkGaps(Reader &reader)
{
    // An order committed after a later one is not among the rows read
    // after the larger rec_num: it fills a gap, and the table is read again.
    const auto &gaps = m_flow.recNumGaps();
    reader.reading(OrdersTable);
    for (std::size_t i = gaps.size() > GapsChecked ? gaps.size() - GapsChecked : 0; i < gaps.size(); ++i) {
        const qint64 filled = scalar(reader, GapSql,
                                     {Key::number(gaps[i].first, m_layout.orderRecNum),
                                      Key::number(gaps[i].second, m_layout.orderRecNum)});
        if (filled > 0) {
            m_flow.clearOrders();
            return;
        }
    }
}

void FlowSession::readOrders(Reader &reader)
{
    reader.reading(OrdersTable);
    BlockFetch fetch(reader, OrdersSql, OrderWidths, {Key::number(m_flow.lastRecNum(), m_layout.orderRecNum)});
    const bool any = readBlocks<OrderRow>(fetch, reader.control, [](const BlockFetch &f, int r) {
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

void FlowSession::readConfirmations(Reader &reader)
{
    reader.reading(ConfirmationsTable);
    BlockFetch fetch(reader, ConfirmationsSql, ConfirmationWidths,
                     {Key::number(m_flow.lastConfirmationRecNum(), m_layout.confirmationRecNum)});
    readBlocks<ConfirmationRow>(fetch, reader.control, [](const BlockFetch &f, int r) {
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

void FlowSession::noteTradeText(QStringView cjbh)
{
    // Digits of one width compare as text as they do as numbers, on any
    // server's collation.
    const QStringView text = keyText(cjbh);
    m_tradeDigits = m_tradeDigits && !text.isEmpty()
        && std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (m_tradeWidth == -1)
        m_tradeWidth = int(text.size());
    else if (m_tradeWidth != text.size())
        m_tradeWidth = -2;
    if (m_firstTradeText.isEmpty() || text < m_firstTradeText)
        m_firstTradeText = text.toString();
    if (text > m_lastTradeText)
        m_lastTradeText = text.toString();
}

void FlowSession::readTrades(Reader &reader)
{
    reader.reading(TradesTable);
    const bool all = m_flow.tradeRows() == 0;
    if (all) {
        m_firstTradeText.clear();
        m_lastTradeText.clear();
        m_tradeWidth = -1;
        m_tradeDigits = true;
    }
    const auto parse = [](const BlockFetch &f, int r) {
        TradeRow row = rowWithParties(f, r, &TradeRow::sqbh);
        row.cjbh = wholeNumber(f.text(r, 0));
        row.quantity = wholeNumber(f.text(r, 6));
        if (!amountCents(f.text(r, 7), &row.cents))
            row.cents = 0;
        row.bs = firstChar(f.text(r, 8));
        return row;
    };
    const auto add = [this](const std::vector<TradeRow> &rows) { m_flow.addTrades(rows); };
    if (m_tradeOrder == TradeOrder::Number) {
        BlockFetch fetch(reader, all ? AllTradesSql : TradesAfterSql, TradeWidths,
                         all ? std::vector<Key>{} : std::vector<Key>{Key::number(m_flow.lastCjbh(), m_layout.tradeCjbh)});
        readBlocks<TradeRow>(fetch, reader.control, parse, add);
        return;
    }
    if (m_tradeOrder == TradeOrder::Cast && !all) {
        BlockFetch fetch(reader, TradesAfterNumberSql, TradeWidths,
                         {Key::number(m_flow.lastCjbh(), ColumnType{SQL_BIGINT, 0})});
        readBlocks<TradeRow>(fetch, reader.control, parse, add);
        return;
    }
    // Text keys: the largest read is the bound of the next read while every
    // key is a number of the same width.
    {
        BlockFetch fetch(reader, all ? AllTradesSql : TradesAfterSql, TradeWidths,
                         all ? std::vector<Key>{} : std::vector<Key>{Key::text(m_lastTradeText, m_layout.tradeCjbh)});
        readBlocks<TradeRow>(fetch, reader.control, [&](const BlockFetch &f, int r) {
            noteTradeText(f.text(r, 0));
            return parse(f, r);
        }, add);
    }
    if (m_tradeWidth == -1 || (m_tradeWidth > 0 && m_tradeDigits)) {
        m_tradeOrder = TradeOrder::Text;
        m_notes.removeAll(tradeKeyScanNote());
        return;
    }
    // Keys of several widths: text order is not the numbers' order, and a
    // key of another width may have sorted below the bound. Numbers from
    // now on, and the table read whole once more unless it just was.
    if (!m_notes.contains(tradeKeyScanNote()))
        m_notes << tradeKeyScanNote();
    m_tradeOrder = TradeOrder::Cast;
    if (!all) {
        m_flow.clearTrades();
        BlockFetch fetch(reader, AllTradesSql, TradeWidths);
        readBlocks<TradeRow>(fetch, reader.control, parse, add);
    }
}

void FlowSession::readStatuses(Reader &reader)
{
    // Only the gateway changes a row: R becomes P. Unsent rows are mostly
    // the newest ones; one left behind long ago gets a short range of its own.
    reader.reading(OrdersTable);
    for (const auto &range : m_flow.unsentRanges(StatusRanges, StatusGap)) {
        BlockFetch fetch(reader, StatusSql, {12, 1},
                         {Key::number(range.first, m_layout.orderRecNum), Key::number(range.second, m_layout.orderRecNum)});
        while (fetch.next()) {
            if (reader.control)
                reader.control->throwIfCancelled();
            for (int r = 0; r < fetch.rows(); ++r)
                m_flow.setStatus(whole32(fetch.text(r, 0)), firstChar(fetch.text(r, 1)));
        }
    }
}

qint64 FlowSession::serverTime(Reader &reader)
{
    try {
        BlockFetch fetch(reader, m_sqlite ? SqliteClockSql : ClockSql, {40}, {}, 1);
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
    } catch (const OperationCancelled &) {
        throw;
    } catch (const DatabaseError &) {
        // Falls back to the newest time in the tables.
    }
    return m_flow.newestTime();
}

} // namespace flow
