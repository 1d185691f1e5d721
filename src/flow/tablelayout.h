#pragma once

// What the readers learn of the three tables on connecting: how the key
// columns are declared, so that parameters are bound as the columns are,
// and which of them lead an index, so that the operator is told where a
// read has to scan.

#include "db/odbc.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace flow {

struct Reader;

// How a column is declared: its SQL type and size (characters of a text).
struct ColumnType
{
    SQLSMALLINT type = SQL_UNKNOWN_TYPE;
    SQLULEN size = 0;
    bool isNumber() const; // an integer, numeric or decimal
};

// The key columns of the three tables.
struct Layout
{
    ColumnType orderRecNum;
    ColumnType orderReff;
    ColumnType orderOrdrec;
    ColumnType confirmationRecNum;
    ColumnType confirmationReff;
    ColumnType confirmationOrdrec;
    ColumnType tradeCjbh;
    ColumnType tradeSqbh;
};
// One statement per table that returns no rows. Throws DatabaseError.
Layout learnLayout(Reader &reader);

// An index the readers rely on: its table and leading column, and whether
// the trace (rather than the refresh) reads by it.
struct IndexUse
{
    const char *table;
    const char *column;
    bool trace;
};
const std::vector<IndexUse> &indexesReliedOn();

// The columns of `table` that lead an index, in lower case, as the
// driver's SQLStatistics tells; nothing when the driver cannot tell.
// Throws on a time-out or a cancel.
std::optional<QStringList> leadingIndexColumns(Reader &reader, const QString &table);
// The indexes relied on by the refresh (or the trace) that are missing, as
// "table.column".
QStringList missingIndexes(Reader &reader, bool trace);

} // namespace flow
