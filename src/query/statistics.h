#pragma once

#include <QString>
#include <QtGlobal>

class Query;

// Totals of the rows a query page shows, as the statistics window presents
// them. Every value is read by field name, converted to text, trimmed and
// parsed; a value that does not parse stops the walk with ConversionError
// and leaves the query on that row.

// The rows to total, from the count label's text: 0 when it is empty.
qint64 statisticsRows(const QString &countLabel);

struct TradeTotals
{
    qint64 quantity = 0; // cjsl: whole numbers, kept in 64 bits
    double amount = 0;   // cjje
};

// Moves to the first row and totals cjsl and cjje over the next `rows` rows;
// the query is left on the last row visited.
TradeTotals sumTrades(Query &query, qint64 rows);
// The same over qty of the orders sent.
qint64 sumOrders(Query &query, qint64 rows);

// Cell texts.
QString countCell(const QString &countLabel); // "2(条)"
QString quantityCell(qint64 total);           // "300(股/手)"
QString amountCell(double total);             // "1334.75(元)"
