#pragma once

#include "db/odbc.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CommandControl;

// How a held column stores its values.
enum class FieldKind { Integer, Float, Text };
// The kind a column of this ODBC SQL type is held as.
FieldKind fieldKindOf(SQLSMALLINT sqlType);

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
    qint64 integer(int row, int column) const;   // Integer columns
    double real(int row, int column) const;      // Float columns
    // A Float column the driver reports as SQL_NUMERIC or SQL_DECIMAL with
    // a scale (and at most 18 digits) is held exactly: scale() gives that
    // scale and scaled() the value times 10^scale. scale() is 0 otherwise.
    int scale(int column) const;
    qint64 scaled(int row, int column) const;
    // The value as text: integers in decimal, floats in the general number
    // format, text as stored; empty for null.
    QString text(int row, int column) const;
    // The stored characters of a Text column's value, without a copy; valid
    // while the result lives. Empty for null.
    QStringView textView(int row, int column) const;

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
    void describe(SQLHSTMT statement);
    bool fetchBlocks(SQLHSTMT statement, CommandControl *control);
    void fetchValues(SQLHSTMT statement, CommandControl *control);
    void clearValues();
    void finish();

    std::vector<Column> m_columns;
    std::vector<std::uint32_t> m_order;
    int m_rows = 0;
};
