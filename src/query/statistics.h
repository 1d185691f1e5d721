#pragma once

#include <QString>
#include <QtGlobal>

class Query;

// Totals of the rows a query page shows, as the statistics window presents
// them. Every value is read by field name, converted to text, trimmed and
// parsed; a value that does not parse (null, empty, NaN, a quantity with
// decimals) or a quantity total beyond 64 bits stops the walk with
// ConversionError, whose text names the row (1-based, in the grid's order)
// and the field's caption, and leaves the query on that row.

// The captions the operator knows the totalled fields by, in the statistics
// window and in the texts that stop a total.
extern const QString TradeQuantityCaption; // cjsl
extern const QString TradeAmountCaption;   // cjje
extern const QString OrderQuantityCaption; // qty

// The rows to total, from the count label's text: 0 when it is empty.
qint64 statisticsRows(const QString &countLabel);

// The amount total. Decimal values whose column has a scale are added
// exactly as scaled integers (value = scaled / 10^scale); plain doubles
// with compensated (Neumaier) summation, so the total keeps every cent the
// 15 digits of the general format can show.
class AmountTotal
{
public:
    void add(double value);
    void addScaled(qint64 scaled, int scale);
    // The total in the general number format.
    QString text() const;

private:
    qint64 m_scaled = 0;
    int m_scale = -1; // none added yet
    bool m_inexact = false;
    double m_sum = 0;
    double m_compensation = 0;
};

struct TradeTotals
{
    qint64 quantity = 0; // cjsl: whole numbers, kept in 64 bits
    AmountTotal amount;  // cjje
};

// Moves to the first row and totals cjsl and cjje over the next `rows` rows;
// the query is left on the last row visited.
TradeTotals sumTrades(Query &query, qint64 rows);
// The same over qty of the orders sent.
qint64 sumOrders(Query &query, qint64 rows);

// Cell texts.
QString countCell(const QString &countLabel); // "2(条)"
QString quantityCell(qint64 total);           // "300(股/手)"
QString amountCell(const AmountTotal &total); // "1334.75(元)"
