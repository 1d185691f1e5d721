#include "query/statistics.h"

#include "db/numformat.h"
#include "db/query.h"
#include "db/resultset.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString CountUnit = QStringLiteral("(条)");
const QString QuantityUnit = QStringLiteral("(股/手)");
const QString AmountUnit = QStringLiteral("(元)");
const QString QuantityRangeText = QStringLiteral("Quantity total is out of range");

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
    // The scale of a decimal column held exactly; 0 otherwise.
    int scale() const { return m_query.result()->scale(m_column); }
    // Null (or no row) reads as no value.
    bool scaled(qint64 *value) const
    {
        const int row = m_query.recNo();
        if (row < 0 || m_query.result()->isNull(row, m_column))
            return false;
        *value = m_query.result()->scaled(row, m_column);
        return true;
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

void addAmount(AmountTotal &total, const FieldText &field)
{
    qint64 scaled = 0;
    if (field.scale() > 0 && field.scaled(&scaled))
        total.addScaled(scaled, field.scale());
    else
        total.add(decimalNumber(field)); // a null fails here as text
}

bool addOverflows(qint64 a, qint64 b)
{
    return b > 0 ? a > std::numeric_limits<qint64>::max() - b : a < std::numeric_limits<qint64>::min() - b;
}

double powerOfTen(int exponent)
{
    return std::pow(10.0, exponent);
}

} // namespace

void AmountTotal::add(double value)
{
    const double sum = m_sum + value;
    if (std::isfinite(sum)) {
        // Neumaier: the part of the smaller addend the rounding lost.
        if (std::fabs(m_sum) >= std::fabs(value))
            m_compensation += (m_sum - sum) + value;
        else
            m_compensation += (value - sum) + m_sum;
    }
    m_sum = sum;
    m_inexact = true;
}

void AmountTotal::addScaled(qint64 scaled, int scale)
{
    if (m_scale < 0)
        m_scale = scale;
    // Another scale or a sum beyond 64 bits (far more digits than the
    // format shows) joins the compensated sum instead.
    if (scale != m_scale || addOverflows(m_scaled, scaled))
        add(double(scaled) / powerOfTen(scale));
    else
        m_scaled += scaled;
}

QString AmountTotal::text() const
{
    if (!m_inexact)
        return formatGeneralDecimal(m_scaled, std::max(m_scale, 0));
    AmountTotal total = *this;
    if (m_scale >= 0)
        total.add(double(m_scaled) / powerOfTen(m_scale));
    return formatGeneral(std::isfinite(total.m_sum) ? total.m_sum + total.m_compensation : total.m_sum);
}

qint64 addQuantity(qint64 total, qint64 value)
{
    if (addOverflows(total, value))
        throw ConversionError(QuantityRangeText);
    return total + value;
}

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
        totals.quantity = addQuantity(totals.quantity, wholeNumber(quantity));
        addAmount(totals.amount, amount);
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
        total = addQuantity(total, wholeNumber(quantity));
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

QString amountCell(const AmountTotal &total)
{
    return total.text() + AmountUnit;
}
