#include "db/resultset.h"

#include "db/command.h"
#include "base/numformat.h"
#include "base/platform.h"
#include "db/memorywatch.h"

#include <algorithm>
#include <charconv>
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
// Characters read of a decimal value at least, so that the words of one
// that is no number ("NaN", "-Infinity") arrive whole.
constexpr SQLULEN OddDecimalCharacters = 16;
// Memory a list leaves to the rest of the program when it decides whether
// it may go on.
constexpr std::size_t ReservedBytes = ListReserveBytes;
// How much a vector grows at once: as the standard library does, and
// when memory is short.
constexpr double NormalGrowth = 2.0;
constexpr double TightGrowth = 1.25;
// Rows fetched value by value between two looks at the memory left.
constexpr int ValuesBetweenRoomChecks = 256;

const QString TooManyRowsText = QStringLiteral("结果的行数过多");

bool isLongType(SQLSMALLINT type)
{
    return type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR || type == SQL_LONGVARBINARY;
}

bool isBinaryType(SQLSMALLINT type)
{
    return type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY;
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

FieldKind fieldKindOf(SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits)
{
    if ((sqlType == SQL_NUMERIC || sqlType == SQL_DECIMAL) && digits > 0 && size <= MaxExactDigits)
        return FieldKind::Decimal;
    return fieldKindOf(sqlType);
}

struct ResultSet::Column
{
    QString name;
    FieldKind kind = FieldKind::Text;
    SQLSMALLINT sqlType = 0;
    int displaySize = 0;
    SQLULEN width = 0; // Decimal, Text: characters read at most, terminator included
    bool isLong = false;
    int scale = 0;     // Decimal: values held in `integers` as value * 10^scale
    std::vector<qint64> integers;
    std::vector<double> reals;
    std::vector<char16_t> chars;
    std::vector<std::uint32_t> offsets; // Text: start of each row, plus the end
    std::vector<std::uint64_t> nulls;   // one bit per row in fetch order
    // Decimal values the driver gave as text that is no number (NaN,
    // Infinity): a bit per row up to the last such row, and the texts in
    // fetch order.
    std::vector<std::uint64_t> odd;
    std::vector<std::pair<std::uint32_t, QString>> oddTexts;

    // The C type a value is read as, and the bytes it needs.
    SQLSMALLINT cType() const
    {
        switch (kind) {
        case FieldKind::Integer:
            return SQL_C_SBIGINT;
        case FieldKind::Float:
            return SQL_C_DOUBLE;
        default:
            return SQL_C_WCHAR;
        }
    }
    std::size_t valueBytes() const
    {
        return kind == FieldKind::Integer || kind == FieldKind::Float ? 8 : width * sizeof(SQLWCHAR);
    }

    bool isNull(std::uint32_t row) const { return (nulls[row >> 6] >> (row & 63)) & 1; }

    bool isOdd(std::uint32_t row) const
    {
        if (kind == FieldKind::Float)
            return !std::isfinite(reals[row]);
        return (row >> 6) < odd.size() && ((odd[row >> 6] >> (row & 63)) & 1);
    }

    QString oddText(std::uint32_t row) const
    {
        const auto found = std::lower_bound(oddTexts.begin(), oddTexts.end(), row,
                                            [](const auto &entry, std::uint32_t r) { return entry.first < r; });
        return found != oddTexts.end() && found->first == row ? found->second : QString();
    }

    void markRow(std::uint32_t row, bool null)
    {
        if ((row & 63) == 0)
            nulls.push_back(0);
        if (null)
            nulls.back() |= std::uint64_t(1) << (row & 63);
    }

    // Appends the value of fetch row `row` as the driver delivered it: its
    // bytes in cType() (`capacity` of them at most) and its indicator.
    // False when a text did not fit, which leaves the column to be cleared.
    bool store(std::uint32_t row, const void *data, SQLLEN indicator, SQLULEN capacity)
    {
        const bool null = indicator == SQL_NULL_DATA;
        markRow(row, null);
        switch (kind) {
        case FieldKind::Integer: {
            qint64 value = 0;
            if (!null)
                std::memcpy(&value, data, sizeof value);
            integers.push_back(value);
            break;
        }
        case FieldKind::Float: {
            double value = 0;
            if (!null)
                std::memcpy(&value, data, sizeof value);
            reals.push_back(value);
            break;
        }
        case FieldKind::Decimal:
            if (null) {
                integers.push_back(0);
                break;
            }
            if (indicator < 0 || SQLULEN(indicator) >= capacity)
                throw DatabaseError(QStringLiteral("列“%1”的一个值位数超过了列的定义").arg(name));
            appendDecimal(row, QStringView(static_cast<const char16_t *>(data), indicator / SQLLEN(sizeof(SQLWCHAR))));
            break;
        case FieldKind::Text:
            if (!null) {
                if (indicator == SQL_NO_TOTAL || indicator < 0 || SQLULEN(indicator) >= capacity)
                    return false;
                const auto *begin = static_cast<const char16_t *>(data);
                chars.insert(chars.end(), begin, begin + indicator / SQLLEN(sizeof(SQLWCHAR)));
            }
            if (chars.size() > std::numeric_limits<std::uint32_t>::max())
                throw DatabaseError(QStringLiteral("列“%1”的文字过多，结果无法保存").arg(name));
            offsets.push_back(std::uint32_t(chars.size()));
            break;
        }
        return true;
    }

    // The driver's text of a decimal value, as the scaled integer held; a
    // text that is no such number (NaN, Infinity) is kept as it is.
    void appendDecimal(std::uint32_t row, QStringView text)
    {
        qint64 value = 0;
        if (!parseScaledDecimal(text, scale, &value)) {
            odd.resize((row >> 6) + 1, 0);
            odd[row >> 6] |= std::uint64_t(1) << (row & 63);
            oddTexts.emplace_back(row, text.toString());
        }
        integers.push_back(value);
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
        odd = {};
        oddTexts = {};
        if (kind == FieldKind::Text)
            offsets.push_back(0);
    }

    double real(std::uint32_t row) const
    {
        if (kind == FieldKind::Float)
            return reals[row];
        if (isOdd(row))
            return std::numeric_limits<double>::quiet_NaN();
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

    // Bytes newly allocated while `moreRows` rows are added to the `rows`
    // held: each vector that must grow takes `factor` times its capacity
    // (at least what it needs), and text grows by the characters per row
    // held so far.
    std::size_t growthBytes(std::size_t rows, std::size_t moreRows, double factor) const
    {
        std::size_t more = 0;
        forEachGrowth(*this, rows, moreRows, factor,
                      [&more](const auto &, std::size_t capacity, std::size_t bytes) { more += bytes; });
        return more;
    }

    // Gives every vector that must grow the capacity growthBytes() counted.
    void reserveGrowth(std::size_t rows, std::size_t moreRows, double factor)
    {
        forEachGrowth(*this, rows, moreRows, factor,
                      [](auto &values, std::size_t capacity, std::size_t) { values.reserve(capacity); });
    }

    // Calls visit(vector, new capacity, its bytes) for each vector of the
    // column that the rows to come make grow.
    template <typename Self, typename Visit>
    static void forEachGrowth(Self &self, std::size_t rows, std::size_t moreRows, double factor, Visit visit)
    {
        const auto one = [&](auto &values, std::size_t more) {
            if (values.empty() || values.size() + more <= values.capacity())
                return;
            const auto capacity = std::max(std::size_t(double(values.capacity()) * factor), values.size() + more);
            visit(values, capacity, capacity * sizeof(values[0]));
        };
        one(self.integers, moreRows);
        one(self.reals, moreRows);
        one(self.offsets, moreRows);
        one(self.nulls, moreRows / 64 + 1);
        if (rows > 0)
            one(self.chars, self.chars.size() / rows * moreRows + moreRows);
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
            throw DatabaseError(QStringLiteral("文字值比列的定义更长"));
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
        column.kind = fieldKindOf(type, size, digits);
        column.displaySize = describedDisplaySize(statement, i, size);
        if (column.kind == FieldKind::Decimal) {
            // Read as text (sign, digits, point) and held exactly; room
            // for the words of a value that is no number ("-Infinity").
            column.scale = digits;
            column.width = std::max<SQLULEN>(size + 3, OddDecimalCharacters);
        } else if (column.kind == FieldKind::Text) {
            // Binary values arrive as two hexadecimal digits per byte.
            const SQLULEN characters = isBinaryType(type) ? size * 2 : size;
            column.isLong = isLongType(type) || size == 0 || characters > LongColumnLimit;
            column.width = characters + 1;
        }
        column.clear();
    }
}

void ResultSet::ensureRoom(std::size_t moreRows)
{
    // What growing by `factor` takes, plus the row index finish() adds.
    const auto needed = [&](double factor) {
        std::size_t bytes = 0;
        for (const Column &column : m_columns)
            bytes += column.growthBytes(std::size_t(m_rows), moreRows, factor);
        return bytes;
    };
    const std::size_t normal = needed(NormalGrowth);
    if (normal == 0)
        return; // the next rows fit what is allocated: nothing to ask
    const qint64 room = platform::obtainableBytes();
    if (room < 0)
        return; // the system does not tell
    const std::uint64_t fixed = (std::uint64_t(m_rows) + moreRows) * sizeof(std::uint32_t) + ReservedBytes;
    if (normal + fixed <= std::uint64_t(room))
        return;
    // Near the end of the room vectors grow in smaller steps, so that the
    // old and the new copy of one fit side by side a while longer.
    if (needed(TightGrowth) + fixed > std::uint64_t(room))
        throw ResultTooLarge(m_rows);
    for (Column &column : m_columns)
        column.reserveGrowth(std::size_t(m_rows), moreRows, TightGrowth);
}

bool ResultSet::fetchBlocks(SQLHSTMT statement, CommandControl *control)
{
    const std::size_t columnCount = m_columns.size();
    std::size_t rowBytes = 0;
    for (const Column &column : m_columns)
        rowBytes += sizeof(SQLLEN) + column.valueBytes();
    const std::size_t blockRows = std::clamp(BlockBufferBytes / std::max<std::size_t>(rowBytes, 1),
                                             MinBlockRows, MaxBlockRows);

    struct Buffer
    {
        std::vector<qint64> values; // 8-byte aligned for the numbers
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

    odbc::setStatementAttr(statement, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN(SQL_BIND_BY_COLUMN)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_BIND_TYPE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(blockRows)),
                           "SQLSetStmtAttr(SQL_ATTR_ROW_ARRAY_SIZE)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, "SQLSetStmtAttr(SQL_ATTR_ROWS_FETCHED_PTR)");
    odbc::setStatementAttr(statement, SQL_ATTR_ROW_STATUS_PTR, status.data(), "SQLSetStmtAttr(SQL_ATTR_ROW_STATUS_PTR)");

    for (std::size_t c = 0; c < columnCount; ++c) {
        const Column &column = m_columns[c];
        Buffer &buffer = buffers[c];
        const std::size_t bytes = column.valueBytes();
        buffer.values.resize((blockRows * bytes + sizeof(qint64) - 1) / sizeof(qint64));
        buffer.indicators.resize(blockRows);
        const SQLRETURN rc = SQLBindCol(statement, SQLUSMALLINT(c + 1), column.cType(), buffer.values.data(),
                                        SQLLEN(bytes), buffer.indicators.data());
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLBindCol");
    }

    for (;;) {
        // Between blocks only: SQLCancel is never called while a fetch runs.
        if (control)
            control->throwIfCancelled();
        ensureRoom(blockRows);
        fetched = 0;
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA)
            break;
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLFetch");
        std::size_t rows = std::min<std::size_t>(fetched, blockRows);
        for (std::size_t r = 0; r < rows; ++r) {
            if (status[r] == SQL_ROW_ERROR) {
                const QString message = odbc::diagnostics(SQL_HANDLE_STMT, statement);
                throw DatabaseError(message.isEmpty() ? QStringLiteral("有一行无法取回") : message);
            }
            if (status[r] == SQL_ROW_NOROW) {
                rows = r;
                break;
            }
        }
        if (std::size_t(m_rows) + rows > std::size_t(std::numeric_limits<int>::max()))
            throw DatabaseError(TooManyRowsText);
        for (std::size_t c = 0; c < columnCount; ++c) {
            Column &column = m_columns[c];
            const Buffer &buffer = buffers[c];
            const std::size_t bytes = column.valueBytes();
            const auto *base = reinterpret_cast<const char *>(buffer.values.data());
            for (std::size_t r = 0; r < rows; ++r) {
                if (!column.store(std::uint32_t(m_rows + r), base + r * bytes, buffer.indicators[r], bytes))
                    return false;
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
    std::vector<char16_t> text;        // a whole text value, put together from chunks
    std::vector<qint64> value;         // one value of any other kind, 8-byte aligned
    for (;;) {
        if (control)
            control->throwIfCancelled();
        if (m_rows % ValuesBetweenRoomChecks == 0)
            ensureRoom(ValuesBetweenRoomChecks);
        const SQLRETURN rc = SQLFetch(statement);
        if (rc == SQL_NO_DATA)
            break;
        odbc::check(rc, SQL_HANDLE_STMT, statement, "SQLFetch");
        if (m_rows == std::numeric_limits<int>::max())
            throw DatabaseError(TooManyRowsText);
        const auto row = std::uint32_t(m_rows);
        for (std::size_t c = 0; c < m_columns.size(); ++c) {
            Column &column = m_columns[c];
            const auto number = SQLUSMALLINT(c + 1);
            SQLLEN indicator = 0;
            if (column.kind != FieldKind::Text) {
                const std::size_t bytes = column.valueBytes();
                value.assign((bytes + sizeof(qint64) - 1) / sizeof(qint64), 0);
                odbc::check(SQLGetData(statement, number, column.cType(), value.data(), SQLLEN(bytes), &indicator),
                            SQL_HANDLE_STMT, statement, "SQLGetData");
                column.store(row, value.data(), indicator, bytes);
                continue;
            }
            // Text of any length, chunk by chunk.
            text.clear();
            const SQLLEN chunkBytes = SQLLEN(chunk.size() * sizeof(SQLWCHAR));
            for (;;) {
                const SQLRETURN got = SQLGetData(statement, number, SQL_C_WCHAR, chunk.data(), chunkBytes,
                                                 &indicator);
                if (got == SQL_NO_DATA)
                    break;
                odbc::check(got, SQL_HANDLE_STMT, statement, "SQLGetData");
                if (indicator == SQL_NULL_DATA)
                    break;
                std::size_t length = GetDataChunk; // a full chunk, terminator excluded
                if (indicator != SQL_NO_TOTAL && indicator >= 0 && indicator < chunkBytes)
                    length = std::size_t(indicator) / sizeof(SQLWCHAR);
                const auto *begin = reinterpret_cast<const char16_t *>(chunk.data());
                text.insert(text.end(), begin, begin + length);
                if (got == SQL_SUCCESS)
                    break;
            }
            const SQLLEN length = indicator == SQL_NULL_DATA ? SQL_NULL_DATA : SQLLEN(text.size() * sizeof(SQLWCHAR));
            column.store(row, text.data(), length, std::numeric_limits<SQLULEN>::max());
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
    // Shrinking copies a vector: only where the room allows the largest copy.
    std::size_t largest = 0;
    for (const Column &column : m_columns)
        largest = std::max(largest, column.bytes());
    const qint64 room = platform::obtainableBytes();
    if (room < 0 || std::uint64_t(largest) + ReservedBytes <= std::uint64_t(room)) {
        for (Column &column : m_columns)
            column.shrink();
    }
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

bool ResultSet::isNumber(int row, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    const std::uint32_t r = fetchRow(row);
    return c.kind != FieldKind::Text && !c.isNull(r) && (c.kind == FieldKind::Integer || !c.isOdd(r));
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
        prefetch(c.reals.data() + far);
        break;
    case FieldKind::Decimal:
        prefetch(c.integers.data() + far);
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
    prefetchAhead(row, m_columns[std::size_t(column)]);
    return fetchedText(int(fetchRow(row)), column);
}

std::vector<std::uint32_t> ResultSet::positions() const
{
    std::vector<std::uint32_t> positions(m_order.size());
    for (std::size_t row = 0; row < m_order.size(); ++row)
        positions[m_order[row]] = std::uint32_t(row);
    return positions;
}

QStringView ResultSet::fetchedTextView(int position, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    const auto r = std::uint32_t(position);
    return c.isNull(r) ? QStringView() : c.view(r);
}

QString ResultSet::fetchedText(int position, int column) const
{
    const Column &c = m_columns[std::size_t(column)];
    const auto r = std::uint32_t(position);
    if (c.isNull(r))
        return {};
    if (c.kind == FieldKind::Text)
        return c.view(r).toString();
    char out[NumberTextSize];
    return QString::fromLatin1(out, fetchedNumberText(position, column, out));
}

static_assert(ResultSet::NumberTextSize >= GeneralTextSize, "a general number fits");

int ResultSet::fetchedNumberText(int position, int column, char *out) const
{
    const Column &c = m_columns[std::size_t(column)];
    const auto r = std::uint32_t(position);
    if (c.isNull(r))
        return -1;
    switch (c.kind) {
    case FieldKind::Integer:
        return int(std::to_chars(out, out + NumberTextSize, c.integers[r]).ptr - out);
    case FieldKind::Float:
        return formatGeneralTo(c.reals[r], out);
    case FieldKind::Decimal:
        if (c.isOdd(r)) {
            // NaN, Infinity: short Latin-1 words as the driver gave them.
            const QByteArray word = c.oddText(r).left(NumberTextSize).toLatin1();
            std::memcpy(out, word.constData(), std::size_t(word.size()));
            return int(word.size());
        }
        return formatGeneralTo(c.real(r), out);
    case FieldKind::Text:
    default:
        return -1;
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
    // Each sort starts from the fetch order, so ties keep the database's
    // order; nulls come first ascending, last descending. Between blocks of
    // rows a cancel may end the sort.
    std::vector<std::uint32_t> nullRows;
    std::vector<std::uint32_t> valueRows;
    valueRows.reserve(std::size_t(m_rows));
    for (std::uint32_t r = 0; r < std::uint32_t(m_rows); ++r) {
        if (control && r % SortCheckRows == 0 && r > 0) {
            control->addRows(SortCheckRows);
            control->throwIfCancelled();
        }
        (c.isNull(r) ? nullRows : valueRows).push_back(r);
    }
    std::vector<std::uint32_t> sorted = c.kind == FieldKind::Text ? sortedTextRows(c, valueRows, descending)
                                                                  : sortedNumberRows(c, valueRows, descending);
    sorted.insert(descending ? sorted.end() : sorted.begin(), nullRows.begin(), nullRows.end());
    if (control)
        control->throwIfCancelled();
    return sorted;
}

// By UTF-16 code unit: the first KeyUnits units packed into two words, the
// rest compared only where those are equal.
std::vector<std::uint32_t> ResultSet::sortedTextRows(const Column &c, const std::vector<std::uint32_t> &rows,
                                                     bool descending)
{
    std::vector<TextKey> keys;
    keys.reserve(rows.size());
    for (const std::uint32_t r : rows) {
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
    std::vector<std::uint32_t> sorted;
    sorted.reserve(rows.size());
    for (const TextKey &key : keys)
        sorted.push_back(key.row);
    return sorted;
}

// Integers, reals and decimals by an unsigned key of the same order.
// Decimals held as text sort as PostgreSQL orders them: -Infinity below
// every number, Infinity and NaN above.
std::vector<std::uint32_t> ResultSet::sortedNumberRows(const Column &c, const std::vector<std::uint32_t> &rows,
                                                       bool descending)
{
    std::vector<std::uint32_t> below;
    std::vector<std::uint32_t> above;
    std::vector<NumberKey> keys;
    keys.reserve(rows.size());
    for (const std::uint32_t r : rows) {
        if (c.kind == FieldKind::Decimal && c.isOdd(r)) {
            (c.oddText(r).startsWith(QLatin1Char('-')) ? below : above).push_back(r);
            continue;
        }
        const std::uint64_t key = c.kind == FieldKind::Float ? realKey(c.reals[r]) : integerKey(c.integers[r]);
        keys.push_back({descending ? ~key : key, r});
    }
    std::stable_sort(keys.begin(), keys.end(), [](const NumberKey &a, const NumberKey &b) { return a.key < b.key; });
    const std::vector<std::uint32_t> &first = descending ? above : below;
    const std::vector<std::uint32_t> &last = descending ? below : above;
    std::vector<std::uint32_t> sorted;
    sorted.reserve(rows.size());
    sorted.insert(sorted.end(), first.begin(), first.end());
    for (const NumberKey &key : keys)
        sorted.push_back(key.row);
    sorted.insert(sorted.end(), last.begin(), last.end());
    return sorted;
}

std::size_t ResultSet::heldBytes() const
{
    std::size_t bytes = m_order.capacity() * sizeof(std::uint32_t);
    for (const Column &column : m_columns)
        bytes += column.bytes();
    return bytes;
}
