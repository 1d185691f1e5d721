#include "flow/dayend.h"

#include "flow/flowtext.h"
#include "flow/returncodes.h"

#include <QStringList>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace flow {

namespace {

const QString StateTexts[FinalStateCount] = {
    QStringLiteral("未报"),     QStringLiteral("已报未确认"), QStringLiteral("废单"),
    QStringLiteral("已确认未成交"), QStringLiteral("部分成交"), QStringLiteral("全部成交"),
    QStringLiteral("部成部撤"), QStringLiteral("已撤"),       QStringLiteral("撤单成功"),
    QStringLiteral("撤单失败"),
};
const QString NoteSeparator = QStringLiteral("；");
const QString NoCodeNote = QStringLiteral("未给返回码");
const QString CodeWithoutNote = QStringLiteral("返回码 %1");
const QString CancelsText = QStringLiteral("撤销记录 %1");
const QString CancelledByText = QStringLiteral("撤单记录 %1");
const QString UnreadableReplyText = QStringLiteral("确认状态无法识别");
const QString OverfilledText = QStringLiteral("超额成交：成交 %1 > 委托 %2");
const QString WaitingText = QStringLiteral("已等待 %1");

bool acceptsCancel(Reply reply)
{
    return reply == Reply::CancelAccepted || reply == Reply::Accepted;
}

bool isOpen(FinalState state)
{
    return state == FinalState::Unsent || state == FinalState::Unconfirmed;
}

QLatin1String latin1(const char *text, std::size_t size)
{
    return QLatin1String(text, qsizetype(qstrnlen(text, uint(size))));
}

template <int N>
QLatin1String latin1(const Code<N> &code)
{
    return latin1(code.c.data(), std::size_t(N));
}

// The key of a trade group: account, security, side.
struct TradeKey
{
    const char *acc;
    const char *stock;
    char bs;

    bool operator<(const TradeKey &o) const
    {
        if (const int c = std::memcmp(acc, o.acc, sizeof(Account::c)))
            return c < 0;
        if (const int c = std::memcmp(stock, o.stock, sizeof(Stock::c)))
            return c < 0;
        return uchar(bs) < uchar(o.bs);
    }
    bool operator==(const TradeKey &o) const { return !(*this < o) && !(o < *this); }
};

} // namespace

FinalState finalState(const StateFacts &f)
{
    const bool unsent = !f.replied && isUnsentStatus(QChar(f.status));
    if (f.cancel) {
        if (f.replied && acceptsCancel(f.reply))
            return FinalState::CancelDone;
        if (f.replied && f.reply == Reply::Rejected)
            return FinalState::CancelFailed;
        return unsent ? FinalState::Unsent : FinalState::Unconfirmed;
    }
    if (f.replied && f.reply == Reply::Rejected)
        return FinalState::Rejected;
    if (f.quantity > 0 && f.traded >= f.quantity)
        return FinalState::Traded;
    if (f.cancelAccepted || f.cancelled > 0)
        return f.traded > 0 ? FinalState::PartlyCancelled : FinalState::Cancelled;
    if (f.traded > 0)
        return FinalState::PartlyTraded;
    if (f.replied && (f.reply == Reply::Accepted || f.reply == Reply::CancelAccepted))
        return FinalState::ConfirmedUntraded;
    return unsent ? FinalState::Unsent : FinalState::Unconfirmed;
}

QString finalStateText(FinalState state)
{
    return StateTexts[int(state)];
}

qint64 averageMils(qint64 cents, qint64 quantity)
{
    if (quantity <= 0)
        return -1;
    // cents * 10 / quantity thousandths, rounded half away from zero.
    const qint64 magnitude = (std::abs(cents) * 20 + quantity) / (quantity * 2);
    return cents < 0 ? -magnitude : magnitude;
}

QDateTime clockTime(qint64 stamp)
{
    if (stamp == 0)
        return {};
    const qint64 days = (stamp >= 0 ? stamp : stamp - 86399) / 86400;
    return QDateTime(QDate(1970, 1, 1).addDays(days), QTime(0, 0).addSecs(int(stamp - days * 86400)));
}

DayEndReconciliation::DayEndReconciliation(const OrderFlow &model, const Snapshot &snapshot, QString database)
    : m_model(model)
    , m_snapshot(snapshot)
    , m_database(std::move(database))
{
    const qint64 rows = model.orderRows();
    for (qint64 i = 0; i < rows; ++i) {
        if (!model.order(i).cancel)
            continue;
        const qint64 target = targetOf(i);
        if (target >= 0)
            m_cancels.emplace_back(quint32(target), quint32(i));
    }
    std::sort(m_cancels.begin(), m_cancels.end());
    for (qint64 i = 0; i < rows; ++i) {
        const FinalState state = stateOf(i);
        ++m_states[std::size_t(state)];
        if (isOpen(state))
            m_open.push_back(quint32(i));
    }
}

qint64 DayEndReconciliation::targetOf(qint64 cancel) const
{
    const OrderFlow::Order &c = m_model.order(cancel);
    if (c.ordrec <= 0 || c.ordrec >= c.recNum)
        return -1;
    const qint64 target = m_model.indexOf(c.ordrec);
    return target >= 0 && !m_model.order(target).cancel ? target : -1;
}

StateFacts DayEndReconciliation::factsOf(qint64 index) const
{
    const OrderFlow::Order &o = m_model.order(index);
    StateFacts f;
    f.cancel = o.cancel;
    f.status = o.status;
    f.replied = o.replied;
    f.reply = o.reply;
    f.quantity = o.qty;
    f.traded = o.traded;
    if (o.cancel) {
        f.cancelled = o.replied && acceptsCancel(o.reply) ? o.qty2 : 0;
        return f;
    }
    // A market order's remainder cancelled at once is given as its
    // confirmation's qty2 (assumed zero on a limit order's).
    if (o.market && o.replied && o.reply == Reply::Accepted)
        f.cancelled += o.qty2;
    const auto from = std::lower_bound(m_cancels.begin(), m_cancels.end(), std::make_pair(quint32(index), 0u));
    for (auto it = from; it != m_cancels.end() && it->first == quint32(index); ++it) {
        const OrderFlow::Order &c = m_model.order(it->second);
        if (c.replied && acceptsCancel(c.reply)) {
            f.cancelAccepted = true;
            f.cancelled += c.qty2;
        }
    }
    return f;
}

const QString &DayEndReconciliation::codeNote(int code) const
{
    auto it = m_codeNotes.find(code);
    if (it == m_codeNotes.end()) {
        QString note = code == 0 ? NoCodeNote : returnCodeNote(code);
        if (note.isEmpty())
            note = CodeWithoutNote.arg(code);
        it = m_codeNotes.emplace(code, note).first;
    }
    return it->second;
}

QString DayEndReconciliation::noteOf(qint64 index, const StateFacts &facts, FinalState state) const
{
    const OrderFlow::Order &o = m_model.order(index);
    QStringList parts;
    if (o.cancel) {
        parts << CancelsText.arg(o.ordrec);
        if (targetOf(index) < 0)
            parts << categoryText(o.ordrec >= o.recNum ? Category::CancelTargetTooHigh
                                                       : Category::CancelTargetMissing);
    } else {
        const auto from = std::lower_bound(m_cancels.begin(), m_cancels.end(), std::make_pair(quint32(index), 0u));
        for (auto it = from; it != m_cancels.end() && it->first == quint32(index); ++it)
            parts << CancelledByText.arg(m_model.order(it->second).recNum);
        if (o.repeatedReff)
            parts << categoryText(Category::ReffRepeated);
        if (o.traded > o.qty)
            parts << OverfilledText.arg(o.traded).arg(o.qty);
    }
    if (state == FinalState::Rejected || state == FinalState::CancelFailed)
        parts << codeNote(o.code);
    if (facts.replied && (facts.reply == Reply::None || facts.reply == Reply::Other))
        parts << UnreadableReplyText;
    if (isOpen(state) && o.time >= 0 && o.date > 0 && m_snapshot.now > 0)
        parts << WaitingText.arg(durationText(std::max<qint64>(m_snapshot.now - timeStamp(o.date, o.time), 0)));
    return parts.join(NoteSeparator);
}

DayEndOrderLine DayEndReconciliation::lineOf(qint64 index)
{
    const OrderFlow::Order &o = m_model.order(index);
    const StateFacts facts = factsOf(index);
    const FinalState state = finalState(facts);
    DayEndOrderLine line;
    line.recNum = o.recNum;
    line.reff = latin1(o.reff);
    line.account = latin1(o.acc);
    line.stock = latin1(o.stock);
    line.bs = latin1(&o.bs, 1);
    line.quantity = o.qty;
    line.priceMils = o.priceMils;
    line.time = o.time;
    line.state = StateTexts[int(state)];
    line.cancel = o.cancel;
    line.traded = o.traded;
    line.cents = o.cents;
    line.averageMils = averageMils(o.cents, o.traded);
    line.cancelled = facts.cancelled;
    line.code = o.replied ? o.code : 0;
    m_note = noteOf(index, facts, state); // empty, without allocating, for most rows
    line.note = m_note;
    return line;
}

DayEndSummary DayEndReconciliation::summary()
{
    DayEndSummary s;
    s.database = m_database;
    s.moment = clockTime(m_snapshot.now);
    for (const FigureItem &item : figureItems(m_snapshot.figures)) {
        DayEndFigure figure;
        figure.name = item.name;
        figure.value = item.value;
        figure.kind = item.kind == FigureItem::Count ? DayEndFigure::Count
            : item.kind == FigureItem::Cents         ? DayEndFigure::Cents
                                                     : DayEndFigure::Text;
        if (figure.kind == DayEndFigure::Text)
            figure.text = figureValueText(item);
        s.figures.push_back(figure);
    }
    for (int i = 0; i < FinalStateCount; ++i)
        s.states.emplace_back(StateTexts[i], m_states[std::size_t(i)]);
    for (const auto &[code, count] : m_snapshot.rejectionsByCode)
        s.rejections.push_back({code, code != 0 ? returnCodeNote(code) : QString(), count});
    return s;
}

void DayEndReconciliation::openLines(const std::function<void(const DayEndOrderLine &)> &visit)
{
    for (const quint32 index : m_open)
        visit(lineOf(index));
}

void DayEndReconciliation::orderLines(const std::function<void(const DayEndOrderLine &)> &visit)
{
    const qint64 rows = m_model.orderRows();
    auto cancel = m_cancels.begin();
    for (qint64 i = 0; i < rows; ++i) {
        const OrderFlow::Order &o = m_model.order(i);
        if (o.cancel) {
            if (targetOf(i) < 0)
                visit(lineOf(i)); // names no order before it: in its own place
            continue;
        }
        visit(lineOf(i));
        for (; cancel != m_cancels.end() && cancel->first <= quint32(i); ++cancel)
            if (cancel->first == quint32(i))
                visit(lineOf(cancel->second));
    }
}

void DayEndReconciliation::tradeLines(const std::function<void(const DayEndTradeLine &)> &visit)
{
    // Rows with fills by their key; a trade that matched no order is marked
    // by the top bit.
    constexpr quint32 Unmatched = 0x80000000u;
    const auto keyOf = [this](quint32 entry) {
        if (entry & Unmatched) {
            const TradeRow &t = m_model.unmatchedTrade(entry & ~Unmatched);
            return TradeKey{t.acc.c.data(), t.stock.c.data(), t.bs};
        }
        const OrderFlow::Order &o = m_model.order(entry);
        return TradeKey{o.acc.c.data(), o.stock.c.data(), o.bs};
    };
    std::vector<quint32> entries;
    const qint64 rows = m_model.orderRows();
    for (qint64 i = 0; i < rows; ++i)
        if (m_model.order(i).fills > 0)
            entries.push_back(quint32(i));
    for (std::size_t i = 0; i < m_model.unmatchedTradeCount(); ++i)
        entries.push_back(quint32(i) | Unmatched);
    std::stable_sort(entries.begin(), entries.end(),
                     [&keyOf](quint32 x, quint32 y) { return keyOf(x) < keyOf(y); });

    for (std::size_t i = 0; i < entries.size();) {
        const TradeKey key = keyOf(entries[i]);
        DayEndTradeLine line;
        line.account = latin1(key.acc, sizeof(Account::c));
        line.stock = latin1(key.stock, sizeof(Stock::c));
        line.bs = latin1(&key.bs, 1);
        for (; i < entries.size() && keyOf(entries[i]) == key; ++i) {
            if (entries[i] & Unmatched) {
                const TradeRow &t = m_model.unmatchedTrade(entries[i] & ~Unmatched);
                line.fills += 1;
                line.quantity += t.quantity;
                line.cents += t.cents;
            } else {
                const OrderFlow::Order &o = m_model.order(entries[i]);
                line.fills += o.fills;
                line.quantity += o.traded;
                line.cents += o.cents;
            }
        }
        visit(line);
    }
}

void DayEndReconciliation::findingLines(const std::function<void(const DayEndFindingLine &)> &visit)
{
    for (const Finding &f : m_snapshot.findings) {
        DayEndFindingLine line;
        line.category = categoryText(f.category);
        line.recNum = f.recNum;
        line.reff = f.reff.text();
        line.account = f.acc.text();
        line.stock = f.stock.text();
        line.time = clockText(f.time);
        line.code = f.code;
        line.note = findingNote(f);
        visit(line);
    }
}

} // namespace flow
