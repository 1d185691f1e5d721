#include "flow/tablelayout.h"

#include "db/command.h"
#include "flow/flowreader.h"

#include <map>

namespace flow {

namespace {

const QString OrderColumnsSql = QStringLiteral("select rec_num, reff, ordrec from ashare_ordwth where 1 = 0");
const QString ConfirmationColumnsSql =
    QStringLiteral("select rec_num, reff, ordrec from ashare_ordwth2 where 1 = 0");
const QString TradeColumnsSql = QStringLiteral("select cjbh, sqbh from ashare_cjhb where 1 = 0");

// SQLStatistics' result columns: TYPE, ORDINAL_POSITION, COLUMN_NAME.
constexpr SQLUSMALLINT StatisticsType = 7;
constexpr SQLUSMALLINT StatisticsOrdinal = 8;
constexpr SQLUSMALLINT StatisticsColumn = 9;
constexpr int NameChars = 128;

} // namespace

bool ColumnType::isNumber() const
{
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

Layout learnLayout(Reader &reader)
{
    Layout layout;
    {
        reader.reading("ashare_ordwth");
        BlockFetch orders(reader, OrderColumnsSql, {1, 1, 1}, {}, 1);
        layout.orderRecNum = orders.column(0);
        layout.orderReff = orders.column(1);
        layout.orderOrdrec = orders.column(2);
    }
    {
        reader.reading("ashare_ordwth2");
        BlockFetch confirmations(reader, ConfirmationColumnsSql, {1, 1, 1}, {}, 1);
        layout.confirmationRecNum = confirmations.column(0);
        layout.confirmationReff = confirmations.column(1);
        layout.confirmationOrdrec = confirmations.column(2);
    }
    reader.reading("ashare_cjhb");
    BlockFetch trades(reader, TradeColumnsSql, {1, 1}, {}, 1);
    layout.tradeCjbh = trades.column(0);
    layout.tradeSqbh = trades.column(1);
    return layout;
}

const std::vector<IndexUse> &indexesReliedOn()
{
    // The refresh reads by the keys; the trace by the columns that link
    // an order's rows.
    static const std::vector<IndexUse> Indexes{
        {"ashare_ordwth", "rec_num", false},  {"ashare_ordwth2", "rec_num", false},
        {"ashare_cjhb", "cjbh", false},       {"ashare_ordwth", "reff", true},
        {"ashare_ordwth", "ordrec", true},    {"ashare_ordwth2", "reff", true},
        {"ashare_ordwth2", "ordrec", true},   {"ashare_cjhb", "sqbh", true},
    };
    return Indexes;
}

std::optional<QStringList> leadingIndexColumns(Reader &reader, const QString &table)
{
    odbc::Handle statement(SQL_HANDLE_STMT, reader.dbc);
    const SQLHSTMT h = statement.get();
    SQLSetStmtAttr(h, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(reader.querySeconds)), 0);
    std::vector<SQLWCHAR> name = odbc::toWide(table);
    SQLRETURN rc;
    {
        const CommandControl::Interruptible interruptible(reader.control, h);
        rc = SQLStatisticsW(h, nullptr, 0, nullptr, 0, name.data(), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
    }
    if (reader.control)
        reader.control->throwIfCancelled();
    if (!SQL_SUCCEEDED(rc)) {
        QString state;
        const QString message = odbc::diagnostics(SQL_HANDLE_STMT, h, &state);
        if (isTimeOut(state))
            throw DatabaseError(message, state);
        return std::nullopt; // the driver cannot tell
    }
    SQLSMALLINT type = 0, ordinal = 0;
    SQLWCHAR column[NameChars + 1] = {};
    SQLLEN typeLength = 0, ordinalLength = 0, columnLength = 0;
    SQLBindCol(h, StatisticsType, SQL_C_SSHORT, &type, 0, &typeLength);
    SQLBindCol(h, StatisticsOrdinal, SQL_C_SSHORT, &ordinal, 0, &ordinalLength);
    SQLBindCol(h, StatisticsColumn, SQL_C_WCHAR, column, sizeof column, &columnLength);
    QStringList columns;
    for (;;) {
        rc = SQLFetch(h);
        if (rc == SQL_NO_DATA)
            break;
        if (!SQL_SUCCEEDED(rc))
            return std::nullopt;
        ++reader.rows;
        if (typeLength == SQL_NULL_DATA || type == SQL_TABLE_STAT || ordinalLength == SQL_NULL_DATA
            || ordinal != 1 || columnLength <= 0)
            continue;
        const qsizetype chars = std::min<qsizetype>(columnLength / qsizetype(sizeof(SQLWCHAR)), NameChars);
        columns << odbc::fromWide(column, chars).trimmed().toLower();
    }
    SQLFreeStmt(h, SQL_CLOSE);
    return columns;
}

QStringList missingIndexes(Reader &reader, bool trace)
{
    std::map<QString, std::optional<QStringList>> leading;
    QStringList missing;
    for (const IndexUse &use : indexesReliedOn()) {
        if (use.trace != trace)
            continue;
        const QString table = QLatin1String(use.table);
        auto found = leading.find(table);
        if (found == leading.end()) {
            reader.reading(use.table);
            found = leading.emplace(table, leadingIndexColumns(reader, table)).first;
        }
        if (found->second && !found->second->contains(QLatin1String(use.column)))
            missing << table + QLatin1Char('.') + QLatin1String(use.column);
    }
    return missing;
}

} // namespace flow
