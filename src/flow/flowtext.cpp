#include "flow/flowtext.h"

#include "flow/returncodes.h"

#include <QStringList>

#include <algorithm>

namespace flow {

namespace {

const QString NoneText = QStringLiteral("—");

QString secondsOrNone(qint64 value)
{
    return value < 0 ? NoneText : durationText(value);
}

} // namespace

QString centsText(qint64 value)
{
    const QString sign = value < 0 ? QStringLiteral("-") : QString();
    const quint64 magnitude = quint64(value < 0 ? -value : value);
    return sign + QString::number(magnitude / 100) + u'.'
        + QStringLiteral("%1").arg(magnitude % 100, 2, 10, QChar(u'0'));
}

QString categoryText(Category category)
{
    switch (category) {
    case Category::RecNumGap:
        return QStringLiteral("记录编号不连续");
    case Category::RecNumRepeated:
        return QStringLiteral("记录编号重复");
    case Category::CancelTargetMissing:
        return QStringLiteral("撤单对象不存在");
    case Category::CancelTargetTooHigh:
        return QStringLiteral("撤单对象编号过大");
    case Category::UnsentTooLong:
        return QStringLiteral("未报超时");
    case Category::UnconfirmedTooLong:
        return QStringLiteral("未确认超时");
    case Category::Rejected:
        return QStringLiteral("废单");
    case Category::ReffRepeated:
        return QStringLiteral("申请编号重复");
    case Category::OrphanConfirmation:
        return QStringLiteral("确认无对应委托");
    case Category::OrphanTrade:
        return QStringLiteral("成交无对应委托");
    case Category::Overfilled:
        return QStringLiteral("超额成交");
    case Category::RejectBurst:
        return QStringLiteral("废单激增");
    }
    return {};
}

QString explanation(const Finding &f)
{
    switch (f.category) {
    case Category::UnsentTooLong:
        return QStringLiteral("%1未被网关取走").arg(durationText(f.a));
    case Category::UnconfirmedTooLong:
        return QStringLiteral("已报 %1未确认").arg(durationText(f.a));
    case Category::Rejected:
        return QStringLiteral("废单，未给返回码");
    case Category::ReffRepeated:
        return QStringLiteral("申请编号已用于记录 %1").arg(f.a);
    case Category::OrphanConfirmation:
        return QStringLiteral("找不到对应的委托");
    case Category::OrphanTrade:
        return QStringLiteral("找不到申请编号相同的委托");
    case Category::Overfilled:
        return QStringLiteral("成交 %1 > 委托 %2").arg(f.a).arg(f.b);
    case Category::RejectBurst:
        return QStringLiteral("1 分钟内 %1 笔废单").arg(f.a);
    default:
        return {};
    }
}

QString findingNote(const Finding &f)
{
    if (f.code != 0) {
        const QString text = returnCodeNote(f.code);
        if (!text.isEmpty())
            return text;
    }
    return explanation(f);
}

QString clockText(qint32 secondsOfDay)
{
    if (secondsOfDay < 0)
        return {};
    return QStringLiteral("%1:%2:%3")
        .arg(secondsOfDay / 3600, 2, 10, QChar(u'0'))
        .arg(secondsOfDay / 60 % 60, 2, 10, QChar(u'0'))
        .arg(secondsOfDay % 60, 2, 10, QChar(u'0'));
}

QString durationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 分 %2 秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 小时 %2 分").arg(seconds / 3600).arg(seconds / 60 % 60);
}

QString kindText(TraceRow::Kind kind)
{
    switch (kind) {
    case TraceRow::Order:
        return QStringLiteral("委托");
    case TraceRow::Cancel:
        return QStringLiteral("撤单");
    case TraceRow::Confirmation:
        return QStringLiteral("委托确认");
    case TraceRow::CancelConfirmation:
        return QStringLiteral("撤单确认");
    case TraceRow::Trade:
        return QStringLiteral("成交");
    }
    return {};
}

namespace {

QString rejection(const TraceRow &reply)
{
    if (reply.code == 0)
        return QStringLiteral("废单");
    const QString text = returnCodeNote(reply.code);
    return QStringLiteral("废单：%1%2").arg(reply.code).arg(text.isEmpty() ? QString() : u' ' + text);
}

// Average price to the cent, rounded half up, from exact cents and a quantity.
QString averagePrice(qint64 cents, qint64 quantity)
{
    if (quantity <= 0)
        return QStringLiteral("0.00");
    const qint64 rounded = (cents * 2 + quantity) / (quantity * 2);
    return QStringLiteral("%1.%2").arg(rounded / 100).arg(rounded % 100, 2, 10, QChar(u'0'));
}

} // namespace

QString stateSentence(const OrderTrace &trace)
{
    if (!trace.found)
        return QStringLiteral("未找到该委托");
    const TraceRow *order = nullptr, *reply = nullptr, *cancel = nullptr, *cancelReply = nullptr;
    qint64 traded = 0, cents = 0, fills = 0;
    for (const TraceRow &row : trace.rows) {
        switch (row.kind) {
        case TraceRow::Order:
            order = order ? order : &row;
            break;
        case TraceRow::Confirmation:
            reply = reply ? reply : &row;
            break;
        case TraceRow::Cancel:
            cancel = cancel ? cancel : &row;
            break;
        case TraceRow::CancelConfirmation:
            cancelReply = cancelReply ? cancelReply : &row;
            break;
        case TraceRow::Trade:
            traded += row.quantity;
            cents += row.cents;
            ++fills;
            break;
        }
    }
    const Reply kind = reply && !reply->status.isEmpty() ? replyOf(reply->status[0]) : Reply::None;
    if (kind == Reply::Rejected)
        return rejection(*reply);
    QString text;
    if (kind == Reply::Accepted || kind == Reply::CancelAccepted)
        text = QStringLiteral("已确认");
    else if (!order->status.isEmpty() && isUnsentStatus(order->status[0]))
        text = QStringLiteral("未报");
    else
        text = QStringLiteral("已报未确认");
    if (fills > 0)
        text += QStringLiteral("，成交 %1/%2（%3 笔，均价 %4）")
                    .arg(traded)
                    .arg(order->quantity)
                    .arg(fills)
                    .arg(averagePrice(cents, traded));
    if (cancel) {
        const Reply cancelKind = cancelReply && !cancelReply->status.isEmpty() ? replyOf(cancelReply->status[0])
                                                                               : Reply::None;
        if (cancelKind == Reply::CancelAccepted || cancelKind == Reply::Accepted)
            text += QStringLiteral("，撤单已撤 %1").arg(cancelReply->quantity);
        else if (cancelKind == Reply::Rejected)
            text += QStringLiteral("，撤单") + rejection(*cancelReply);
        else
            text += QStringLiteral("，撤单未确认");
    }
    return text;
}

std::vector<FigureItem> figureItems(const Figures &f)
{
    return {{QStringLiteral("委托"), FigureItem::Count, f.orders},
            {QStringLiteral("撤单"), FigureItem::Count, f.cancels},
            {QStringLiteral("未报"), FigureItem::Count, f.unsent},
            {QStringLiteral("已报未确认"), FigureItem::Count, f.unconfirmed},
            {QStringLiteral("已确认"), FigureItem::Count, f.confirmed},
            {QStringLiteral("废单"), FigureItem::Count, f.rejected},
            {QStringLiteral("已撤"), FigureItem::Count, f.cancelled},
            {QStringLiteral("成交笔数"), FigureItem::Count, f.tradeRows},
            {QStringLiteral("成交数量"), FigureItem::Count, f.tradedQuantity},
            {QStringLiteral("成交金额"), FigureItem::Cents, f.tradedCents},
            {QStringLiteral("最久未报"), FigureItem::Seconds, f.oldestUnsentAge},
            {QStringLiteral("最久未确认"), FigureItem::Seconds, f.oldestUnconfirmedAge},
            {QStringLiteral("确认延迟(近5分钟) 中位"), FigureItem::Seconds, f.delayMedian},
            {QStringLiteral("最慢5%"), FigureItem::Seconds, f.delaySlowest5}};
}

QString figureValueText(const FigureItem &item)
{
    switch (item.kind) {
    case FigureItem::Cents:
        return centsText(item.value);
    case FigureItem::Seconds:
        return secondsOrNone(item.value);
    case FigureItem::Count:
    default:
        return QString::number(item.value);
    }
}

// Counts, then times; the two delays read as one figure.
std::vector<QStringList> figureGroups(const Figures &f)
{
    QStringList counts, times;
    for (const FigureItem &item : figureItems(f)) {
        const QString text = QString(item.name + u' ' + figureValueText(item)).replace(u' ', QChar(0xA0));
        (item.kind == FigureItem::Seconds ? times : counts) << text;
    }
    const QString slowest = times.takeLast();
    times.last() += u' ' + slowest;
    return {counts, times};
}

namespace {
const QString FigureSeparator = QStringLiteral("  ");
}

QString figuresText(const Figures &figures)
{
    QStringList lines;
    for (const QStringList &group : figureGroups(figures))
        lines << group.join(FigureSeparator);
    return lines.join(u'\n');
}

// Greedy: each figure goes on the current line when the line with it still
// fits, else it starts the next one.
QString wrapFigures(const std::vector<QStringList> &groups, int width,
                    const std::function<int(const QString &)> &measure)
{
    QStringList lines;
    for (const QStringList &group : groups) {
        QString line;
        for (const QString &figure : group) {
            if (line.isEmpty()) {
                line = figure;
                continue;
            }
            const QString longer = line + FigureSeparator + figure;
            if (measure(longer) <= width) {
                line = longer;
            } else {
                lines << line;
                line = figure;
            }
        }
        if (!line.isEmpty())
            lines << line;
    }
    return lines.join(u'\n');
}

MinuteTicks minuteTicks(int first, int last, int maxTicks)
{
    // Whole minutes, then steps that read well on a clock.
    static const int Steps[] = {1, 5, 10, 15, 30, 60, 120, 240, 360, 720, 1440};
    last = std::max(last, first);
    MinuteTicks ticks;
    for (int step : Steps) {
        const int from = first / step * step;
        const int to = std::max((last + step - 1) / step * step, from + step);
        ticks = {from, std::min(to, 1440), std::min(to, 1440) / step - from / step + 1, step};
        if (ticks.count <= std::max(maxTicks, 2))
            break;
    }
    return ticks;
}

} // namespace flow
