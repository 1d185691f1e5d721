#include "db/resultset.h"

#include "db/command.h"
#include "db/numformat.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
#include <xmmintrin.h>
#endif

namespace {

// Columns whose described size is 0 or above this many characters are read
// value by value with SQLGetData instead of through bound buffers.
constexpr SQLULEN LongColumnLimit = 4000;
// Aim of the bound buffers of one block fetch, and the bounds of its rows.
constexpr std::size_t BlockBufferBytes = 2 * 1024 * 1024;
constexpr std::size_t MinBlockRows = 32;
constexpr std::size_t MaxBlockRows = 2048;
// Rows between two looks at a cancel during a sort.
constexpr std::uint32_t SortCheckRows = 65536;
// Chunk of one SQLGetData call for text, in characters.
constexpr std::size_t GetDataChunk = 4096;
// Decimal columns up to this many digits are held as scaled 64-bit integers.
constexpr SQLULEN MaxExactDigits = 18;

bool isLongType(SQLSMALLINT type)
{
    return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY;
}

bool isBinaryType(SQLSMALLINT type)
{
    return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
}

void setStatementAttr(SQLHSTMT statement, SQLINTEGER attribute, SQLPOINTER value, const char *call)
{
    odbc::check(SQLSetStmtAttr(statement, attribute, value, 0), SQL_HANDLE_STMT, statement, call);
}

// Puts the statement back to one row per fetch and no bound columns.
void unbind(SQLHSTMT statement)
{
    SQLFreeStmt(statement, SQL_UNBIND);
    SQLSetStmtAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(1)), 0);
    SQLSetStmtAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0);
    SQLSetStmtAttr(statement, SQL_ATTR_ROW_STATUS_PTR, nullptr, 0);
}

// An order-preserving 64-bit key for numbers.
std::uint64_t integerKey(qint64 value)
{
    return std::uint64_t(value) ^ (std::uint64_t(1) << 63);
}

std::uint64_t realKey(double value)
{
    if (value == 0)
        value = 0; // -0 sorts with 0
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return (bits & (std::uint64_t(1) << 63)) ? ~bits : bits | (std::uint64_t(1) << 63);
}

struct NumberKey
{
    std::uint64_t key;
    std::uint32_t row;
};

// The first eight UTF-16 units of a text, packed so that comparing the two
// words compares the units; longer texts fall back to the stored characters.
struct TextKey
{
    std::uint64_t high;
    std::uint64_t low;
    std::uint32_t row;
    std::uint32_t length;
};

constexpr std::uint32_t KeyUnits = 8;

// Rows ahead of the one read whose values are fetched into the cache, so a
// walk through a re-sorted result does not wait on memory at every row.
constexpr int PrefetchRows = 16;

inline void prefetch(const void *address)
{
#if defined(__GNUC__) || defined(__clang__)
    __builtin_prefetch(address);
#elif defined(_MSC_VER) && (defined(_M_X64) || defined(_M_IX86))
    _mm_prefetch(static_cast<const char *>(address), _MM_HINT_T0);
#else
    (void)address;
#endif
}

int describedDisplaySize(SQLHSTMT statement, SQLSMALLINT column, SQLULEN size)
{
    SQLLEN display = 0;
    const SQLRETURN rc = SQLColAttributeW(statement, SQLUSMALLINT(column + 1), SQL_DESC_DISPLAY_SIZE, nullptr, 0,
                                          nullptr, &display);
    if (!SQL_SUCCEEDED(rc) || display <= 0)
        display = SQLLEN(size);
    return int(std::clamp<SQLLEN>(display, 0, std::numeric_limits<int>::max()));
}

} // namespace

FieldKind fieldKindOf(SQLSMALLINT sqlType)
{
    switch (sqlType) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_BIT:
        return FieldKind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
        return FieldKind::Float;
    default:
        return FieldKind::Text;
    }
}

struct ResultSet::Column
{
    QString name;
    FieldKind kind = FieldKind::Text;
    SQLSMALLINT sqlType = 0;
    int displaySize = 0;
    SQLULEN width = 0; // bound text buffer in characters, terminator included
    bool isLong = false;
    int scale = 0;     // > 0: a decimal held in `integers` as value * 10^scale
    std::vector<qint64> integers;
    std::vector<double> reals;
    std::vector<char16_t> chars;
    std::vector<std::uint32_t> offsets; // Text: start of each row, plus the end
    std::vector<std::uint64_t> nulls;   // one bit per row in fetch order

    bool isNull(std::uint32_t row) const { return (nulls[row >> 6] >> (row & 63)) & 1; }

    void markRow(std::uint32_t row, bool null)
    {
        if ((row & 63) == 0)
            nulls.push_back(0);
        if (null)
            nulls.back() |= std::uint64_t(1) << (row & 63);
    }

    void endText()
    {
        if (chars.size() > std::numeric_limits<std::uint32_t>::max())
            throw DatabaseError(QStringLiteral("The result holds too much text in column '%1'").arg(name));
        offsets.push_back(std::uint32_t(chars.size()));
    }

    QStringView view(std::uint32_t row) const
    {
        const std::uint32_t begin = offsets[row];
        return QStringView(chars.data() + begin, qsizetype(offsets[row + 1] - begin));
    }

    void clear()
    {
        integers = {};
        reals = {};
        chars = {};
        offsets = {};
        nulls = {};
        if (kind == FieldKind::Text)
            offsets.push_back(0);
    }

    // The driver's text of a decimal value, as the scaled integer held.
    void appendDecimal(QStringView text)
    {
        qint64 value = 0;
        if (!parseScaledDecimal(text, scale, &value))
            throw DatabaseError(QStringLiteral("The value '%1' of column '%2' is not a decimal number")
                                    .arg(text.toString(), name));
        integers.push_back(value);
    }

    [[noreturn]] void decimalTooLong() const
    {
        throw DatabaseError(QStringLiteral("A value of column '%1' has more digits than the column").arg(name));
    }

    double real(std::uint32_t row) const
    {
        if (scale == 0)
            return reals[row];
        return double(integers[row]) / std::pow(10.0, scale);
    }

    void shrink()
    {
        integers.shrink_to_fit();
        reals.shrink_to_fit();
        chars.shrink_to_fit();
        offsets.shrink_to_fit();
        nulls.shrink_to_fit();
    }

    std::size_t bytes() const
    {
        return integers.capacity() * sizeof(qint64) + reals.capacity() * sizeof(double)
            + chars.capacity() * sizeof(char16_t) + offsets.capacity() * sizeof(std::uint32_t)
            + nulls.capacity() * sizeof(std::uint64_t);
    }
};

ResultSet::ResultSet() = default;
ResultSet::~ResultSet() = default;

std::unique_ptr<ResultSet> ResultSet::fetchAll(SQLHSTMT statement, const std::function<void()> &reexecute,
                                               CommandControl *control)
{
    auto result = std::make_unique<ResultSet>();
    result->describe(statement);
    const bool anyLong = std::any_of(result->m_columns.begin(), result->m_columns.end(),
                                     [](const Column &column) { return column.isLong; });
    if (anyLong) {
        result->fetchValues(statement, control);
    } else if (!result->fetchBlocks(statement, control)) {
        // A text value did not fit its bound buffer: never keep it cut.
        if (!reexecute)
            throw DatabaseError(QStringLiteral("A text value is longer than its column"));
        result->clearValues();
        SQLFreeStmt(statement, SQL_CLOSE);
        if (control)
            control->addRows(-control->rows());
        reexecute();
        result->fetchValues(statement, control);
    }
    result->finish();
    return result;
}

void ResultSet::describe(SQLHSTMT statement)
{
    SQLSMALLINT count = 0;
    odbc::check(SQLNumResultCols(statement, &count), SQL_HANDLE_STMT, statement, "SQLNumResultCols");
    m_columns.resize(std::size_t(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        Column &column = m_columns[std::size_t(i)];
        std::vector<SQLWCHAR> name(256);
        SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        SQLRETURN rc = SQLDescribeColW(statement, SQLUSMALLINT(i + 1), name.data(), SQLSMALLINT(name.size()),
                                       &nameLength, &type, &size, &digits, &nullable);
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLDescribeCol");
        if (nameLength >= SQLSMALLINT(name.size())) {
            name.resize(std::size_t(nameLength) + 1);
            rc = SQLDescribeColW(statement, SQLUSMALLINT(i + 1), name.data(), SQLSMALLINT(name.size()),
                                 &nameLength, &type, &size, &digits, &nullable);
            odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLDescribeCol");
        }
        column.name = odbc::fromWide(name.data(), std::min<qsizetype>(nameLength, qsizetype(name.size()) - 1));
        column.sqlType = type;
        column.kind = fieldKindOf(type);
        column.displaySize = describedDisplaySize(statement, i, size);
        if ((type == SQL_NUMERIC || type == SQL_DECIMAL) && digits > 0 && size <= MaxExactDigits) {
            // Read as text (sign, digits, point) and held exactly.
            column.scale = digits;
            column.width = size + 3;
        } else if (column.kind == FieldKind::Text) {
            // Binary values arrive as two hexadecimal digits per byte.
            const SQLULEN characters = isBinaryType(type) ? size * 2 : size;
            column.isLong = isLongType(type) || size == 0 || characters > LongColumnLimit;
            column.width = characters + 1;
        }
        column.clear();
    }
}

bool ResultSet::fetchBlocks(SQLHSTMT statement, CommandControl *control)
{
    const std::size_t columnCount = m_columns.size();
    std::size_t rowBytes = 0;
    for (const Column &column : m_columns) {
        rowBytes += sizeof(SQLLEN);
        rowBytes += column.width > 0 ? column.width * sizeof(SQLWCHAR) : 8;
    }
    const std::size_t blockRows = std::clamp(BlockBufferBytes / std::max<std::size_t>(rowBytes, 1),
                                             MinBlockRows, MaxBlockRows);

    struct Buffer
    {
        std::vector<qint64> integers;
        std::vector<double> reals;
        std::vector<SQLWCHAR> chars;
        std::vector<SQLLEN> indicators;
    };
    std::vector<Buffer> buffers(columnCount);
    SQLULEN fetched = 0;
    std::vector<SQLUSMALLINT> status(blockRows);

    struct Unbinder
    {
        SQLHSTMT statement;
        ~Unbinder() { unbind(statement); }
    } unbinder{statement};

    setStatementAttr(statement, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)),
                     "SQLSetStmtAttr(SQL_ATTR_ROW_BIND_TYPE)");
    setStatementAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(blockRows)),
                     "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    setStatementAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    setStatementAttr(statement, SQL_ATTR_ROW_STATUS_PTR, status.data(), "SQLSetStmtAttr(SQL_ATTR_ROW_STATUS_PTR)");

    for (std::size_t c = 0; c < columnCount; ++c) {
        const Column &column = m_columns[c];
        Buffer &buffer = buffers[c];
        buffer.indicators.resize(blockRows);
        // Binds `perRow` values of the buffer to each row of the block.
        const auto bind = [&](SQLSMALLINT cType, auto &values, std::size_t perRow) {
            values.resize(blockRows * perRow);
            const SQLRETURN rc = SQLBindCol(statement, SQLUSMALLINT(c + 1), cType, values.data(),
                                            SQLLEN(perRow * sizeof values[0]), buffer.indicators.data());
            odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLBindCol");
        };
        switch (column.kind) {
        case FieldKind::Integer:
            bind(SQL_C_SBIGINT, buffer.integers, 1);
            break;
        case FieldKind::Float:
            if (column.scale > 0)
                bind(SQL_C_WCHAR, buffer.chars, column.width);
            else
                bind(SQL_C_DOUBLE, buffer.reals, 1);
            break;
        case FieldKind::Text:
        default:
            bind(SQL_C_WCHAR, buffer.chars, column.width);
            break;
        }
    }

    for (;;) {
        // Between blocks only: SQLCancel is never called while a fetch runs.
        if (control)
            control->throwIfCancelled();
        fetched = 0;
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA)
            break;
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLFetch");
        std::size_t rows = std::min<std::size_t>(fetched, blockRows);
        for (std::size_t r = 0; r < rows; ++r) {
            if (status[r] == SQL_ROW_ERROR) {
                const QString message = odbc::diagnostics(SQL_HANDLE_STMT, statement);
                throw DatabaseError(message.isEmpty() ? QStringLiteral("A row could not be fetched") : message);
            }
            if (status[r] == SQL_ROW_NOROW) {
                rows = r;
                break;
            }
        }
        if (std::size_t(m_rows) + rows > std::size_t(std::numeric_limits<int>::max()))
            throw DatabaseError(QStringLiteral("The result has too many rows"));
        for (std::size_t c = 0; c < columnCount; ++c) {
            Column &column = m_columns[c];
            const Buffer &buffer = buffers[c];
            for (std::size_t r = 0; r < rows; ++r) {
                const SQLLEN indicator = buffer.indicators[r];
                const bool null = indicator == SQL_NULL_DATA;
                column.markRow(std::uint32_t(m_rows + r), null);
                switch (column.kind) {
                case FieldKind::Integer:
                    column.integers.push_back(null ? 0 : buffer.integers[r]);
                    break;
                case FieldKind::Float:
                    if (column.scale == 0) {
                        column.reals.push_back(null ? 0.0 : buffer.reals[r]);
                    } else if (null) {
                        column.integers.push_back(0);
                    } else {
                        const auto *begin = reinterpret_cast<const QChar *>(buffer.chars.data() + r * column.width);
                        if (indicator < 0 || SQLULEN(indicator) >= column.width * sizeof(SQLWCHAR))
                            column.decimalTooLong();
                        column.appendDecimal(QStringView(begin, indicator / SQLLEN(sizeof(SQLWCHAR))));
                    }
                    break;
                case FieldKind::Text:
                default:
                    if (!null) {
                        if (indicator == SQL_NO_TOTAL || indicator < 0
                            || SQLULEN(indicator) >= column.width * sizeof(SQLWCHAR))
                            return false;
                        const auto *begin = reinterpret_cast<const char16_t *>(buffer.chars.data() + r * column.width);
                        column.chars.insert(column.chars.end(), begin, begin + indicator / SQLLEN(sizeof(SQLWCHAR)));
                    }
                    column.endText();
                    break;
                }
            }
        }
        m_rows += int(rows);
        if (control)
            control->addRows(qint64(rows));
    }
    return true;
}

void ResultSet::fetchValues(SQLHSTMT statement, CommandControl *control)
{
    std::vector<SQLWCHAR> chunk(GetDataChunk + 1);
    for (;;) {
        if (control)
            control->throwIfCancelled();
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA)
            break;
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLFetch");
        if (m_rows == std::numeric_limits<int>::max())
            throw DatabaseError(QStringLiteral("The result has too many rows"));
        const auto row = std::uint32_t(m_rows);
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            Column &column = m_columns[c];
            const auto number = SQLUSMALLINT(c + 1);
            SQLLEN indicator = 0;
            const auto getNumber = [&](SQLSMALLINT cType, auto &values) {
                typename std::decay_t<decltype(values)>::value_type value = 0;
                odbc::check(SQLGetData(statement, number, cType, &value, sizeof value, &indicator),
                            SQL_HANDLE_STMT, statement, "SQLGetData");
                const bool null = indicator == SQL_NULL_DATA;
                column.markRow(row, null);
                values.push_back(null ? 0 : value);
            };
            switch (column.kind) {
            case FieldKind::Integer:
                getNumber(SQL_C_SBIGINT, column.integers);
                break;
            case FieldKind::Float:
                if (column.scale == 0) {
                    getNumber(SQL_C_DOUBLE, column.reals);
                } else {
                    SQLWCHAR text[MaxExactDigits + 4] = {};
                    odbc::check(SQLGetData(statement, number, SQL_C_WCHAR, text, sizeof text, &indicator),
                                SQL_HANDLE_STMT, statement, "SQLGetData");
                    const bool null = indicator == SQL_NULL_DATA;
                    if (!null && (indicator < 0 || SQLULEN(indicator) >= sizeof text))
                        column.decimalTooLong();
                    column.markRow(row, null);
                    if (null)
                        column.integers.push_back(0);
                    else
                        column.appendDecimal(QStringView(reinterpret_cast<const QChar *>(text)));
                }
                break;
            case FieldKind::Text:
            default: {
                bool null = false;
                const SQLLEN chunkBytes = SQLLEN(chunk.size() * sizeof(SQLWCHAR));
                for (;;) {
                    const SQLRETURN got = SQLGetData(statement, number, SQL_C_WCHAR, chunk.data(), chunkBytes,
                                                     &indicator);
                    if (got == SQL_NO_DATA)
                        break;
                    odbc::check(got, SQL_HANDLE_STMT, statement, "SQLGetData");
                    if (indicator == SQL_NULL_DATA) {
                        null = true;
                        break;
                    }
                    std::size_t length = GetDataChunk; // a full chunk, terminator excluded
                    if (indicator != SQL_NO_TOTAL && indicator >= 0 && indicator < chunkBytes)
                        length = std::size_t(indicator) / sizeof(SQLWCHAR);
                    const auto *begin = reinterpret_cast<const char16_t *>(chunk.data());
                    column.chars.insert(column.chars.end(), begin, begin + length);
                    if (got == SQL_SUCCESS)
                        break;
                }
                column.markRow(row, null);
                column.endText();
                break;
            }
            }
        }
        ++m_rows;
        if (control)
            control->addRows(1);
    }
}

void ResultSet::clearValues()
{
    for (Column &column : m_columns)
        column.clear();
    m_rows = 0;
}

void ResultSet::finish()
{
    for (Column &column : m_columns)
        column.shrink();
    m_order.resize(std::size_t(m_rows));
    for (std::size_t i = 0; i < m_order.size(); ++i)
        m_order[i] = std::uint32_t(i);
}

int ResultSet::rowCount() const
{
    return m_rows;
}

int ResultSet::columnCount() const
{
    return int(m_columns.size());
}

QString ResultSet::columnName(int column) const
{
    return m_columns[std::size_t(column)].name;
}

FieldKind ResultSet::kind(int column) const
{
    return m_columns[std::size_t(column)].kind;
}

SQLSMALLINT ResultSet::sqlType(int column) const
{
    return m_columns[std::size_t(column)].sqlType;
}

int ResultSet::displaySize(int column) const
{
    return m_columns[std::size_t(column)].displaySize;
}

int ResultSet::columnIndex(const QString &name) const
{
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (m_columns[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

bool ResultSet::isNull(int row, int column) const
{
    return m_columns[std::size_t(column)].isNull(fetchRow(row));
}

qint64 ResultSet::integer(int row, int column) const
{
    return m_columns[std::size_t(column)].integers[fetchRow(row)];
}

double ResultSet::real(int row, int column) const
{
    return m_columns[std::size_t(column)].real(fetchRow(row));
}

int ResultSet::scale(int column) const
{
    return m_columns[std::size_t(column)].scale;
}

qint64 ResultSet::scaled(int row, int column) const
{
    return m_columns[std::size_t(column)].integers[fetchRow(row)];
}

void ResultSet::prefetchAhead(int row, const Column &c) const
{
    if (row + PrefetchRows >= m_rows)
        return;
    const std::uint32_t far = m_order[std::size_t(row + PrefetchRows)];
    switch (c.kind) {
    case FieldKind::Integer:
        prefetch(c.integers.data() + far);
        break;
    case FieldKind::Float:
        prefetch(c.scale > 0 ? static_cast<const void *>(c.integers.data() + far) : c.reals.data() + far);
        break;
    case FieldKind::Text:
    default: {
        // Offsets far ahead; the characters of a nearer row, whose offset
        // was fetched earlier.
        prefetch(c.offsets.data() + far);
        const std::uint32_t near = m_order[std::size_t(row + PrefetchRows / 2)];
        prefetch(c.chars.data() + c.offsets[near]);
        break;
    }
    }
}

QString ResultSet::text(int row, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    prefetchAhead(row, c);
    const std::uint32_t r = fetchRow(row);
    if (c.isNull(r))
        return {};
    switch (c.kind) {
    case FieldKind::Integer:
        return QString::number(c.integers[r]);
    case FieldKind::Float:
        return formatGeneral(c.real(r));
    case FieldKind::Text:
    default:
        return c.view(r).toString();
    }
}

QStringView ResultSet::textView(int row, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    prefetchAhead(row, c);
    const std::uint32_t r = fetchRow(row);
    return c.isNull(r) ? QStringView() : c.view(r);
}

void ResultSet::sort(int column, bool descending)
{
    setOrder(sortedOrder(column, descending));
}

void ResultSet::setOrder(std::vector<std::uint32_t> order)
{
    if (order.size() == m_order.size())
        m_order.swap(order);
}

// Reads the held values only, so it may run on another thread while the
// result is shown, as long as nothing changes the result meanwhile.
std::vector<std::uint32_t> ResultSet::sortedOrder(int column, bool descending, CommandControl *control) const
{
    const Column &c = m_columns[std::size_t(column)];
    // Between blocks of rows a cancel may end the sort.
    const auto checkpoint = [control](std::uint32_t r) {
        if (control && r % SortCheckRows == 0 && r > 0) {
            control->addRows(SortCheckRows);
            control->throwIfCancelled();
        }
    };
    // Each sort starts from the fetch order, so ties keep the database's order.
    std::vector<std::uint32_t> nullRows;
    std::vector<std::uint32_t> sorted;
    sorted.reserve(std::size_t(m_rows));

    if (c.kind == FieldKind::Text) {
        std::vector<TextKey> keys;
        keys.reserve(std::size_t(m_rows));
        for (std::uint32_t r = 0; r < std::uint32_t(m_rows); ++r) {
            checkpoint(r);
            if (c.isNull(r)) {
                nullRows.push_back(r);
                continue;
            }
            const std::uint32_t begin = c.offsets[r];
            const std::uint32_t length = c.offsets[r + 1] - begin;
            const char16_t *text = c.chars.data() + begin;
            std::uint64_t words[2] = {0, 0};
            for (std::uint32_t i = 0; i < KeyUnits && i < length; ++i)
                words[i / 4] |= std::uint64_t(text[i]) << (48 - 16 * (i % 4));
            keys.push_back({words[0], words[1], r, length});
        }
        const auto less = [&c](const TextKey &a, const TextKey &b) {
            if (a.high != b.high)
                return a.high < b.high;
            if (a.low != b.low)
                return a.low < b.low;
            if (a.length <= KeyUnits || b.length <= KeyUnits)
                return a.length < b.length;
            const char16_t *x = c.chars.data() + c.offsets[a.row] + KeyUnits;
            const char16_t *y = c.chars.data() + c.offsets[b.row] + KeyUnits;
            return std::lexicographical_compare(x, x + (a.length - KeyUnits), y, y + (b.length - KeyUnits));
        };
        if (descending)
            std::stable_sort(keys.begin(), keys.end(), [&less](const TextKey &a, const TextKey &b) { return less(b, a); });
        else
            std::stable_sort(keys.begin(), keys.end(), less);
        for (const TextKey &key : keys)
            sorted.push_back(key.row);
    } else {
        std::vector<NumberKey> keys;
        keys.reserve(std::size_t(m_rows));
        for (std::uint32_t r = 0; r < std::uint32_t(m_rows); ++r) {
            checkpoint(r);
            if (c.isNull(r)) {
                nullRows.push_back(r);
                continue;
            }
            const std::uint64_t key = c.kind == FieldKind::Integer || c.scale > 0 ? integerKey(c.integers[r])
                                                                                  : realKey(c.reals[r]);
            keys.push_back({descending ? ~key : key, r});
        }
        std::stable_sort(keys.begin(), keys.end(),
                         [](const NumberKey &a, const NumberKey &b) { return a.key < b.key; });
        for (const NumberKey &key : keys)
            sorted.push_back(key.row);
    }

    if (descending)
        sorted.insert(sorted.end(), nullRows.begin(), nullRows.end());
    else
        sorted.insert(sorted.begin(), nullRows.begin(), nullRows.end());
    if (control)
        control->throwIfCancelled();
    return sorted;
}

std::size_t ResultSet::heldBytes() const
{
    std::size_t bytes = m_order.capacity() * sizeof(std::uint32_t);
    for (const Column &column : m_columns)
        bytes += column.bytes();
    return bytes;
}
