#include "query/statistics.h"

#include "connection/adoquery.h"
#include "connection/numformat.h"

namespace {

const QString CountUnit = QStringLiteral("(条)");
const QString QuantityUnit = QStringLiteral("(股/手)");
const QString AmountUnit = QStringLiteral("(元)");

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= ' ';
}

qint64 wholeField(const Query &query, const QString &field)
{
    return textToInteger(trimBlanks(query.fieldByName(field).asString()));
}

double decimalField(const Query &query, const QString &field)
{
    return textToFloat(trimBlanks(query.fieldByName(field).asString()));
}

} // namespace

qint64 statisticsRows(const QString &countLabel)
{
    if (countLabel.isEmpty())
        return 0;
    return textToInteger(countLabel);
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

TradeTotals sumTrades(Query &query, qint64 rows)
{
    const QString quantityField = QStringLiteral("cjsl");
    const QString amountField = QStringLiteral("cjje");
    query.first();
    TradeTotals totals;
    for (qint64 i = 0; i < rows; ++i) {
        totals.quantity += wholeField(query, quantityField);
        totals.amount += decimalField(query, amountField);
        query.next();
    }
    return totals;
}

qint64 sumOrders(Query &query, qint64 rows)
{
    const QString quantityField = QStringLiteral("qty");
    query.first();
    qint64 total = 0;
    for (qint64 i = 0; i < rows; ++i) {
        total += wholeField(query, quantityField);
        query.next();
    }
    return total;
}

QString countCell(const QString &countLabel)
{
    return countLabel + CountUnit;
}

QString quantityCell(qint64 total)
{
    return QString::number(total) + QuantityUnit;
}

QString amountCell(double total)
{
    return formatGeneral(total) + AmountUnit;
}
