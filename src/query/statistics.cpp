#include "query/statistics.h"

#include "db/numformat.h"
#include "db/query.h"
#include "db/resultset.h"

namespace {

const QString CountUnit = QStringLiteral("(条)");
const QString QuantityUnit = QStringLiteral("(股/手)");
const QString AmountUnit = QStringLiteral("(元)");

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= ' ';
}

// Removes leading and trailing blanks and control characters.
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

// A field of the walked query, found by name once (with the query's own
// error for a missing field) and read as text on the current row.
class FieldText
{
public:
    FieldText(const Query &query, const QString &name)
        : m_query(query)
    {
        query.fieldByName(name); // the query's error when there is no such field
        m_column = query.result()->columnIndex(name);
    }
    // Empty on no row, like a null.
    QString current() const
    {
        const int row = m_query.recNo();
        return row < 0 ? QString() : m_query.result()->text(row, m_column);
    }

private:
    const Query &m_query;
    int m_column = -1;
};

qint64 wholeNumber(const FieldText &field)
{
    return textToInteger(trimBlanks(field.current()));
}

double decimalNumber(const FieldText &field)
{
    return textToFloat(trimBlanks(field.current()));
}

} // namespace

qint64 statisticsRows(const QString &countLabel)
{
    if (countLabel.isEmpty())
        return 0;
    return textToInteger(countLabel);
}

TradeTotals sumTrades(Query &query, qint64 rows)
{
    query.first();
    const FieldText quantity(query, QStringLiteral("cjsl"));
    const FieldText amount(query, QStringLiteral("cjje"));
    TradeTotals totals;
    for (qint64 i = 0; i < rows; ++i) {
        totals.quantity += wholeNumber(quantity);
        totals.amount += decimalNumber(amount);
        query.next();
    }
    return totals;
}

qint64 sumOrders(Query &query, qint64 rows)
{
    query.first();
    const FieldText quantity(query, QStringLiteral("qty"));
    qint64 total = 0;
    for (qint64 i = 0; i < rows; ++i) {
        total += wholeNumber(quantity);
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
