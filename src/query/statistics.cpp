#include "query/statistics.h"

#include "base/numformat.h"
#include "db/query.h"
#include "db/resultset.h"

#include <algorithm>
#include <cmath>
#include <limits>

const QString TradeQuantityCaption = QStringLiteral("成交数量");
const QString TradeAmountCaption = QStringLiteral("成交金额");
const QString OrderQuantityCaption = QStringLiteral("委托数量");

namespace {

const QString CountUnit = QStringLiteral("(条)");
const QString QuantityUnit = QStringLiteral("(股/手)");
const QString AmountUnit = QStringLiteral("(元)");
// Why a value stops the statistics, naming its row (1-based, in the grid's
// order) and the caption of its field.
const QString EmptyValueText = QStringLiteral("第 %1 行的“%2”为空，无法统计");
const QString NotIntegerText = QStringLiteral("第 %1 行的“%2”不是有效的整数（%3），无法统计");
const QString NotNumberText = QStringLiteral("第 %1 行的“%2”不是有效的数字（%3），无法统计");
const QString QuantityRangeText = QStringLiteral("第 %1 行的“%2”使合计超出范围，无法统计");

// The totalled fields and the captions the operator knows them by.
struct TotalledField
{
    QString name;
    QString caption;
};
const TotalledField TradeQuantity{QStringLiteral("cjsl"), TradeQuantityCaption};
const TotalledField TradeAmount{QStringLiteral("cjje"), TradeAmountCaption};
const TotalledField OrderQuantity{QStringLiteral("qty"), OrderQuantityCaption};

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

bool addOverflows(qint64 a, qint64 b)
{
    return b > 0 ? a > std::numeric_limits<qint64>::max() - b : a < std::numeric_limits<qint64>::min() - b;
}

// A field of the walked query, found by name once (with the query's own
// error for a missing field) and read on the current row. A value that
// does not convert throws ConversionError naming the row and the caption.
class FieldText
{
public:
    FieldText(const Query &query, const TotalledField &field)
        : m_query(query)
        , m_caption(field.caption)
    {
        query.fieldByName(field.name); // the query's error when there is no such field
        m_column = query.result()->columnIndex(field.name);
    }

    qint64 wholeNumber() const
    {
        const QString text = trimmed();
        try {
            return textToInteger(text);
        } catch (const ConversionError &) {
            throw failure(NotIntegerText, text);
        }
    }

    double decimalNumber() const
    {
        const QString text = trimmed();
        try {
            return textToFloat(text);
        } catch (const ConversionError &) {
            throw failure(NotNumberText, text);
        }
    }

    // The scale of a decimal column held exactly; 0 otherwise.
    int scale() const { return m_query.result()->scale(m_column); }
    // The exact value of a decimal column; false when the row holds no
    // number (null, NaN, no row).
    bool scaled(qint64 *value) const
    {
        const int row = m_query.recNo();
        if (row < 0 || !m_query.result()->isNumber(row, m_column))
            return false;
        *value = m_query.result()->scaled(row, m_column);
        return true;
    }

    qint64 addQuantity(qint64 total) const
    {
        const qint64 value = wholeNumber();
        if (addOverflows(total, value))
            throw ConversionError(QuantityRangeText.arg(rowNumber()).arg(m_caption));
        return total + value;
    }

private:
    // Null and no row read as empty.
    QString trimmed() const
    {
        const int row = m_query.recNo();
        const QString text = row < 0 ? QString() : trimBlanks(m_query.result()->text(row, m_column));
        if (text.isEmpty())
            throw ConversionError(EmptyValueText.arg(rowNumber()).arg(m_caption));
        return text;
    }

    int rowNumber() const { return m_query.recNo() + 1; }

    ConversionError failure(const QString &message, const QString &text) const
    {
        return ConversionError(message.arg(rowNumber()).arg(m_caption, text));
    }

    const Query &m_query;
    QString m_caption;
    int m_column = -1;
};

void addAmount(AmountTotal &total, const FieldText &field)
{
    qint64 scaled = 0;
    if (field.scale() > 0 && field.scaled(&scaled))
        total.addScaled(scaled, field.scale());
    else
        total.add(field.decimalNumber()); // a null or NaN fails here as text
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

qint64 statisticsRows(const QString &countLabel)
{
    if (countLabel.isEmpty())
        return 0;
    return textToInteger(countLabel);
}

TradeTotals sumTrades(Query &query, qint64 rows)
{
    query.first();
    const FieldText quantity(query, TradeQuantity);
    const FieldText amount(query, TradeAmount);
    TradeTotals totals;
    for (qint64 i = 0; i < rows; ++i) {
        totals.quantity = quantity.addQuantity(totals.quantity);
        addAmount(totals.amount, amount);
        query.next();
    }
    return totals;
}

qint64 sumOrders(Query &query, qint64 rows)
{
    query.first();
    const FieldText quantity(query, OrderQuantity);
    qint64 total = 0;
    for (qint64 i = 0; i < rows; ++i) {
        total = quantity.addQuantity(total);
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
