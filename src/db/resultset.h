#pragma once

#include "db/odbc.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CommandControl;

// How a held column stores its values: 64-bit integers, doubles, exact
// decimals (64-bit integers at the column's scale) or UTF-16 text.
enum class FieldKind { Integer, Float, Decimal, Text };
// The kind a column of this ODBC SQL type is held as when its size and
// digits are not known: never Decimal.
FieldKind fieldKindOf(SQLSMALLINT sqlType);
// The kind a described column is held as: SQL_NUMERIC and SQL_DECIMAL
// with a scale and at most 18 digits are Decimal.
FieldKind fieldKindOf(SQLSMALLINT sqlType, SQLULEN size, SQLSMALLINT digits);

// A whole query result held on the client: column-wise compact storage with
// per-cell null flags, plus a row index giving the current order. Row numbers
// in the accessors are positions in the current order.
class ResultSet
{
public:
    ResultSet();
    ~ResultSet();
    ResultSet(const ResultSet &) = delete;
    ResultSet &operator=(const ResultSet &) = delete;

    // Executes nothing: fetches every row of an executed statement that has
    // a result set, with bound columns and block fetches. Throws DatabaseError.
    // When a bound text value turns out longer than its column claimed, the
    // cursor is closed, reexecute() runs the statement again and the result
    // is fetched value by value instead; without reexecute such a result
    // throws. With a control, the rows fetched are counted on it and a
    // cancel stops the fetch at the next block (OperationCancelled).
    // Before each block the fetch makes sure the result can grow by it and
    // still leave the rest of the program room: otherwise it stops, frees
    // what it fetched and throws ResultTooLarge.
    static std::unique_ptr<ResultSet> fetchAll(SQLHSTMT statement, const std::function<void()> &reexecute = {},
                                               CommandControl *control = nullptr);

    int rowCount() const;
    int columnCount() const;
    QString columnName(int column) const;
    FieldKind kind(int column) const;
    SQLSMALLINT sqlType(int column) const;
    // Characters the column's values need when shown as text, as the
    // driver describes it (the described column size when it says nothing).
    int displaySize(int column) const;
    // Case-insensitive lookup; -1 when there is no such column.
    int columnIndex(const QString &name) const;

    bool isNull(int row, int column) const;
    // True when the value is a number a total can use: not null, and not a
    // value a Float or Decimal column holds only as text (NaN, Infinity).
    bool isNumber(int row, int column) const;
    qint64 integer(int row, int column) const;   // Integer columns
    // Float and Decimal columns; NaN for a Decimal value held as text.
    double real(int row, int column) const;
    // Decimal columns: the scale, and the value times 10^scale (a number
    // only where isNumber()). scale() is 0 for the other kinds.
    int scale(int column) const;
    qint64 scaled(int row, int column) const;
    // The value as text: integers in decimal, floats in the general number
    // format (decimals too), text as stored, a decimal
    // the driver gave as no number (NaN, Infinity) as the driver's text;
    // empty for null.
    QString text(int row, int column) const;
    // The stored characters of a Text column's value, without a copy; valid
    // while the result lives. Empty for null.
    QStringView textView(int row, int column) const;

    // For scans that visit every row once: the rows in the order they were
    // fetched, which is the order they are stored in, so a scan reads the
    // memory in sequence. positions()[p] is the row, in the current order,
    // of the row fetched at position p; fetchedText and fetchedTextView are
    // text and textView of that row.
    std::vector<std::uint32_t> positions() const;
    QString fetchedText(int position, int column) const;
    QStringView fetchedTextView(int position, int column) const;
    // The text of a number, written into `out` (NumberTextSize characters):
    // its length, or -1 for null and for a Text column.
    static constexpr int NumberTextSize = 48;
    int fetchedNumberText(int position, int column, char *out) const;

    // Stable re-sort of the row index; nulls first ascending, last descending.
    void sort(int column, bool descending);
    // The two halves of sort(): the new row index, read from the held values
    // only (a cancel of the control stops it with OperationCancelled), and
    // its adoption. An index of another row count is ignored.
    std::vector<std::uint32_t> sortedOrder(int column, bool descending, CommandControl *control = nullptr) const;
    void setOrder(std::vector<std::uint32_t> order);

    // Bytes held for values, null flags, offsets and the row index.
    std::size_t heldBytes() const;

private:
    struct Column;
    // Position of a row of the current order in the fetch order.
    std::uint32_t fetchRow(int row) const { return m_order[std::size_t(row)]; }
    void prefetchAhead(int row, const Column &column) const;
    // The rows (none null) of a text or a number column in sort order.
    static std::vector<std::uint32_t> sortedTextRows(const Column &column, const std::vector<std::uint32_t> &rows,
                                                     bool descending);
    static std::vector<std::uint32_t> sortedNumberRows(const Column &column, const std::vector<std::uint32_t> &rows,
                                                       bool descending);
    void describe(SQLHSTMT statement);
    void ensureRoom(std::size_t moreRows);
    bool fetchBlocks(SQLHSTMT statement, CommandControl *control);
    void fetchValues(SQLHSTMT statement, CommandControl *control);
    void clearValues();
    void finish();

    std::vector<Column> m_columns;
    std::vector<std::uint32_t> m_order;
    int m_rows = 0;
};
