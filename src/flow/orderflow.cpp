#include "flow/orderflow.h"

#include "base/numformat.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <set>

namespace flow {

bool isCancelFlag(QStringView owflag)
{
    return owflag.trimmed().compare(u"WTH", Qt::CaseInsensitive) == 0;
}

bool isMarketFlag(QStringView owflag)
{
    owflag = owflag.trimmed();
    return owflag.compare(u"MPT", Qt::CaseInsensitive) == 0 || owflag.compare(u"NPT", Qt::CaseInsensitive) == 0;
}

bool isUnsentStatus(QChar status)
{
    return status == u'R' || status == u'r';
}

bool isTakenStatus(QChar status)
{
    return status == u'P' || status == u'p';
}

Reply replyOf(QChar status)
{
    switch (status.unicode()) {
    case u'O':
    case u'o':
        return Reply::Accepted;
    case u'W':
    case u'w':
        return Reply::CancelAccepted;
    case u'F':
    case u'f':
    case u'E':
    case u'e':
    case u'?':
        return Reply::Rejected;
    case 0:
    case u' ':
        return Reply::None;
    default:
        return Reply::Other;
    }
}

int returnCodeOf(QStringView remark)
{
    remark = remark.trimmed();
    int code = 0;
    int digits = 0;
    while (digits < remark.size() && remark[digits].isDigit() && digits < 5) {
        code = code * 10 + remark[digits].digitValue();
        ++digits;
    }
    // A code is three or four digits followed by nothing or a non-digit.
    if (digits < 3 || digits > 4)
        return 0;
    return code;
}

namespace {

int digitsValue(QStringView text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        if (i >= text.size() || !text[i].isDigit() || text[i].unicode() > 127)
            return -1;
        value = value * 10 + (text[i].unicode() - u'0');
    }
    return value;
}

int clockSeconds(int h, int m, int s)
{
    if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 59)
        return -1;
    return h * 3600 + m * 60 + s;
}

} // namespace

int secondsOfDay(QStringView time)
{
    time = time.trimmed();
    if (time.size() == 8 && time[2] == u':' && time[5] == u':')
        return clockSeconds(digitsValue(time, 0, 2), digitsValue(time, 3, 2), digitsValue(time, 6, 2));
    if (time.size() == 5 || time.size() == 6) {
        const int hourDigits = int(time.size()) - 4;
        return clockSeconds(digitsValue(time, 0, hourDigits), digitsValue(time, hourDigits, 2),
                            digitsValue(time, hourDigits + 2, 2));
    }
    return -1;
}

qint32 dateNumber(QStringView date)
{
    date = date.trimmed();
    if (date.size() != 8)
        return 0;
    const int y = digitsValue(date, 0, 4), m = digitsValue(date, 4, 2), d = digitsValue(date, 6, 2);
    if (y < 1 || m < 1 || m > 12 || d < 1 || d > 31)
        return 0;
    return y * 10000 + m * 100 + d;
}

qint64 wholeNumber(QStringView text, qint64 fallback)
{
    qint64 scaled = 0;
    return parseScaledDecimal(text.trimmed(), 0, &scaled) ? scaled : fallback;
}

bool amountCents(QStringView text, qint64 *cents)
{
    return parseScaledDecimal(text.trimmed(), 2, cents);
}

qint64 timeStamp(qint32 date, int seconds)
{
    // Days from the civil date (proleptic Gregorian), then seconds.
    qint64 y = date / 10000;
    const qint64 m = (date / 100) % 100, d = date % 100;
    y -= m <= 2;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    const qint64 days = era * 146097 + doe - 719468;
    return days * 86400 + std::max(seconds, 0);
}

qint32 dateOf(qint64 stamp)
{
    const qint64 days = (stamp >= 0 ? stamp : stamp - 86399) / 86400 + 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 doe = days - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 d = doy - (153 * mp + 2) / 5 + 1;
    const qint64 m = mp < 10 ? mp + 3 : mp - 9;
    const qint64 y = yoe + era * 400 + (m <= 2);
    return qint32(y * 10000 + m * 100 + d);
}

int categoryCode(Category category)
{
    switch (category) {
    case Category::RecNumGap:
    case Category::RecNumRepeated:
        return 1021;
    case Category::CancelTargetMissing:
        return 1030;
    case Category::CancelTargetTooHigh:
        return 1031;
    default:
        return 0;
    }
}

bool stopsGateway(Category category)
{
    switch (category) {
    case Category::RecNumGap:
    case Category::RecNumRepeated:
    case Category::UnsentTooLong:
    case Category::UnconfirmedTooLong:
        return true;
    default:
        return false;
    }
}

int categoryRank(Category category)
{
    switch (category) {
    case Category::RecNumGap:
    case Category::RecNumRepeated:
        return 0;
    case Category::UnsentTooLong:
        return 1;
    case Category::UnconfirmedTooLong:
        return 2;
    case Category::RejectBurst:
        return 3;
    case Category::Rejected:
        return 4;
    default:
        return 5;
    }
}

std::vector<quint32> rankOrder(const std::vector<Finding> &findings)
{
    // Counted into place: one pass to count, one to place.
    std::array<std::size_t, CategoryRanks + 1> start{};
    for (const Finding &f : findings)
        ++start[std::size_t(categoryRank(f.category)) + 1];
    for (int rank = 1; rank <= CategoryRanks; ++rank)
        start[std::size_t(rank)] += start[std::size_t(rank) - 1];
    std::vector<quint32> order(findings.size());
    for (std::size_t i = 0; i < findings.size(); ++i)
        order[start[std::size_t(categoryRank(findings[i].category))]++] = quint32(i);
    return order;
}

bool newerFirst(const Finding &x, const Finding &y)
{
    const qint64 tx = timeStamp(x.date, x.time), ty = timeStamp(y.date, y.time);
    if (tx != ty)
        return tx > ty;
    if (x.recNum != y.recNum)
        return x.recNum > y.recNum;
    return int(x.category) < int(y.category);
}

// A million of them are held: the monitor's memory goal counts on this size.
static_assert(sizeof(OrderFlow::Order) <= 80, "an order row grew");

OrderFlow::OrderFlow()
{
    m_reffSlots.assign(1024, NoSlot);
}

namespace {
std::size_t hashOf(const Reff &reff)
{
    std::uint64_t h = 1469598103934665603ULL; // FNV-1a
    for (char c : reff.c) {
        h ^= std::uint8_t(c);
        h *= 1099511628211ULL;
    }
    return std::size_t(h ^ (h >> 29));
}

// A finding about a row of any table: its time, account and security, with
// the return code its category always carries.
template <typename Row>
Finding findingAbout(Category category, const Row &row, qint32 recNum, const Reff &reff)
{
    Finding f;
    f.category = category;
    f.recNum = recNum;
    f.date = row.date;
    f.time = row.time;
    f.reff = reff;
    f.acc = row.acc;
    f.stock = row.stock;
    f.code = categoryCode(category);
    return f;
}
} // namespace

quint32 OrderFlow::findReff(const Reff &reff) const
{
    const std::size_t mask = m_reffSlots.size() - 1;
    for (std::size_t i = hashOf(reff) & mask;; i = (i + 1) & mask) {
        const quint32 slot = m_reffSlots[i];
        if (slot == NoSlot || m_orders[slot].reff == reff)
            return slot;
    }
}

void OrderFlow::insertReff(quint32 index)
{
    if ((m_reffCount + 1) * 2 > m_reffSlots.size())
        growReffIndex();
    const std::size_t mask = m_reffSlots.size() - 1;
    std::size_t i = hashOf(m_orders[index].reff) & mask;
    while (m_reffSlots[i] != NoSlot)
        i = (i + 1) & mask;
    m_reffSlots[i] = index;
    ++m_reffCount;
}

void OrderFlow::growReffIndex()
{
    std::vector<quint32> old(m_reffSlots.size() * 2, NoSlot);
    old.swap(m_reffSlots);
    m_reffCount = 0;
    for (quint32 slot : old)
        if (slot != NoSlot)
            insertReff(slot);
}

qint64 OrderFlow::findRecNum(qint32 recNum) const
{
    const auto it = std::lower_bound(m_orders.begin(), m_orders.end(), recNum,
                                     [](const Order &o, qint32 r) { return o.recNum < r; });
    if (it == m_orders.end() || it->recNum != recNum)
        return -1;
    return it - m_orders.begin();
}

OrderFlow::Order OrderFlow::orderOf(const OrderRow &row)
{
    Order o{};
    o.recNum = row.recNum;
    o.date = row.date;
    o.time = row.time;
    o.qty = row.qty;
    o.ordrec = row.ordrec;
    o.priceMils = row.priceMils;
    o.reff = row.reff;
    o.acc = row.acc;
    o.stock = row.stock;
    o.status = row.status;
    o.bs = row.bs;
    o.reply = Reply::None;
    o.cancel = row.cancel;
    o.market = row.market;
    return o;
}

Finding OrderFlow::findingOf(Category category, const Order &order)
{
    return findingAbout(category, order, order.recNum, order.reff);
}

void OrderFlow::noteTime(qint32 date, qint32 time)
{
    if (date > 0 && time >= 0)
        m_newest = std::max(m_newest, timeStamp(date, time));
}

void OrderFlow::countMinute(Series series, qint32 date, qint32 time)
{
    if (date <= 0 || time < 0)
        return;
    m_minutes[date][series][std::size_t(time / 60)] += 1;
}

void OrderFlow::addOrders(const std::vector<OrderRow> &rows)
{
    ++m_orderBatches;
    // A new batch may make orphans reportable.
    if (!rows.empty() || !m_orphanConfirmations.empty() || !m_orphanTrades.empty())
        m_findingsDirty = true;
    for (const OrderRow &row : rows) {
        const quint32 index = quint32(m_orders.size());
        const qint32 previous = m_orders.empty() ? 0 : m_orders.back().recNum;
        m_orders.push_back(orderOf(row));
        Order &o = m_orders.back();
        if (index > 0 && row.recNum == previous) {
            m_structural.push_back(findingOf(Category::RecNumRepeated, o));
        } else if (index > 0 && row.recNum > previous + 1) {
            // Named by the first number missing; the row after the gap gives the time.
            Finding gap;
            gap.category = Category::RecNumGap;
            gap.recNum = previous + 1;
            gap.date = o.date;
            gap.time = o.time;
            gap.code = categoryCode(gap.category);
            m_structural.push_back(gap);
            m_gaps.emplace_back(previous, row.recNum);
        }
        if (o.cancel) {
            ++m_figures.cancels;
            // Its confirmation names the same ordrec, whether or not that order exists.
            m_cancels.emplace(o.ordrec, index);
            if (o.ordrec >= o.recNum)
                m_structural.push_back(findingOf(Category::CancelTargetTooHigh, o));
            else if (findRecNum(o.ordrec) < 0)
                m_structural.push_back(findingOf(Category::CancelTargetMissing, o));
        } else {
            ++m_figures.orders;
            const quint32 first = findReff(o.reff);
            if (first == NoSlot) {
                insertReff(index);
            } else {
                o.repeatedReff = true;
                m_orders[first].hasRepeats = true;
                Finding f = findingOf(Category::ReffRepeated, o);
                f.a = m_orders[first].recNum;
                m_structural.push_back(f);
            }
        }
        if (isUnsentStatus(QChar(o.status)))
            ++m_figures.unsent;
        m_open.push_back(index);
        countMinute(SeriesOrders, o.date, o.time);
        noteTime(o.date, o.time);
    }
    retryOrphans();
}

void OrderFlow::setStatus(qint32 recNum, char status)
{
    for (qint64 i = findRecNum(recNum); i >= 0 && i < qint64(m_orders.size())
         && m_orders[std::size_t(i)].recNum == recNum;
         ++i) {
        Order &o = m_orders[std::size_t(i)];
        m_figures.unsent += int(isUnsentStatus(QChar(status))) - int(isUnsentStatus(QChar(o.status)));
        o.status = status;
    }
}

qint32 OrderFlow::firstUnsentRecNum() const
{
    for (quint32 index : m_open)
        if (isUnsentStatus(QChar(m_orders[index].status)))
            return m_orders[index].recNum;
    return 0;
}

std::vector<std::pair<qint32, qint32>> OrderFlow::unsentRanges(int maxRanges, qint32 minGap) const
{
    // m_open is in the order of m_orders, hence of rec_num.
    std::vector<qint32> unsent;
    for (quint32 index : m_open)
        if (isUnsentStatus(QChar(m_orders[index].status)))
            unsent.push_back(m_orders[index].recNum);
    std::vector<std::pair<qint32, qint32>> ranges;
    if (unsent.empty())
        return ranges;
    // (gap before unsent[i], i), widest first; the widest ones split.
    std::vector<std::pair<qint64, std::size_t>> gaps;
    for (std::size_t i = 1; i < unsent.size(); ++i)
        if (qint64(unsent[i]) - unsent[i - 1] - 1 > minGap)
            gaps.emplace_back(qint64(unsent[i]) - unsent[i - 1], i);
    const std::size_t splits = std::min(gaps.size(), std::size_t(std::max(maxRanges, 1) - 1));
    std::partial_sort(gaps.begin(), gaps.begin() + std::ptrdiff_t(splits), gaps.end(),
                      [](const auto &x, const auto &y) { return x.first > y.first; });
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < splits; ++i)
        starts.push_back(gaps[i].second);
    std::sort(starts.begin(), starts.end());
    starts.push_back(unsent.size());
    for (std::size_t i = 0; i + 1 < starts.size(); ++i)
        ranges.emplace_back(unsent[starts[i]], unsent[starts[i + 1] - 1]);
    return ranges;
}

void OrderFlow::markReplied(Order &order)
{
    order.replied = true;
}

qint64 OrderFlow::replyTarget(const Reff &reff) const
{
    const quint32 first = findReff(reff);
    if (first == NoSlot)
        return -1;
    if (!m_orders[first].replied || !m_orders[first].hasRepeats)
        return first;
    for (const Finding &f : m_structural) {
        if (f.category != Category::ReffRepeated || f.reff != reff)
            continue;
        for (qint64 i = findRecNum(f.recNum); i >= 0 && i < qint64(m_orders.size())
             && m_orders[std::size_t(i)].recNum == f.recNum;
             ++i) {
            const Order &o = m_orders[std::size_t(i)];
            if (!o.cancel && o.reff == reff && !o.replied)
                return i;
        }
    }
    return first;
}

qint64 OrderFlow::applyConfirmation(const ConfirmationRow &row)
{
    qint64 index = -1;
    if (row.cancel) {
        const auto it = m_cancels.find(row.ordrec);
        if (it != m_cancels.end())
            index = it->second;
    } else {
        index = replyTarget(row.reff);
    }
    if (index < 0)
        return -1;
    Order &order = m_orders[std::size_t(index)];
    if (!order.replied && order.time >= 0 && row.time >= 0) {
        const qint64 replied = timeStamp(row.date, row.time);
        m_delays.emplace_back(replied, qint32(replied - timeStamp(order.date, order.time)));
    }
    if (!order.replied) {
        order.reply = row.reply;
        order.qty2 = row.qty2;
        order.code = qint16(std::clamp(row.code, 0, 32767));
    }
    markReplied(order);
    return index;
}

// A rejection read before its order names the order once it matches. The
// findings sorted so far are sorted again (it is rare: the gateway must
// reply between the reads of the two tables).
void OrderFlow::placeRejection(std::size_t rejection, qint64 index)
{
    m_rejections[rejection].recNum = m_orders[std::size_t(index)].recNum;
    if (rejection < m_stableRejections) {
        m_stableFindings.clear();
        m_stableStructural = m_stableRejections = 0;
    }
    m_findingsDirty = true;
}

void OrderFlow::addConfirmations(const std::vector<ConfirmationRow> &rows)
{
    if (!rows.empty())
        m_findingsDirty = true;
    for (const ConfirmationRow &row : rows) {
        if (m_confirmationRows == 0 || row.recNum < m_firstConfirmation)
            m_firstConfirmation = row.recNum;
        ++m_confirmationRows;
        m_lastConfirmation = std::max(m_lastConfirmation, row.recNum);
        countMinute(SeriesConfirmations, row.date, row.time);
        noteTime(row.date, row.time);
        switch (row.reply) {
        case Reply::Accepted:
            ++m_figures.confirmed;
            break;
        case Reply::CancelAccepted:
            ++m_figures.confirmed;
            ++m_figures.cancelled;
            break;
        case Reply::Rejected:
            ++m_figures.rejected;
            countMinute(SeriesRejections, row.date, row.time);
            break;
        default:
            break;
        }
        const qint64 index = applyConfirmation(row);
        std::size_t rejection = NoRejection;
        if (row.reply == Reply::Rejected) {
            // Named like every other finding by the order's rec_num (a
            // refused cancel by the cancel's own), not by the gateway's
            // sequence; blank while no order is known.
            Finding f = findingAbout(Category::Rejected, row, index >= 0 ? m_orders[std::size_t(index)].recNum : 0,
                                     row.reff);
            f.code = row.code;
            rejection = m_rejections.size();
            m_rejections.push_back(f);
        }
        if (index < 0)
            m_orphanConfirmations.push_back({row, m_orderBatches, rejection});
    }
    // Delays older than ten minutes before the newest row are no longer asked for.
    if (m_delays.size() > 4096) {
        const qint64 keep = m_newest - 600;
        m_delays.erase(std::remove_if(m_delays.begin(), m_delays.end(),
                                      [keep](const auto &d) { return d.first < keep; }),
                       m_delays.end());
    }
}

bool OrderFlow::applyTrade(const TradeRow &row)
{
    const quint32 slot = findReff(row.sqbh);
    if (slot == NoSlot)
        return false;
    Order &order = m_orders[slot];
    order.traded += row.quantity;
    order.cents += row.cents;
    ++order.fills;
    if (order.traded > order.qty)
        m_overfilled.insert(slot);
    return true;
}

void OrderFlow::addTrades(const std::vector<TradeRow> &rows)
{
    if (!rows.empty())
        m_findingsDirty = true;
    for (const TradeRow &row : rows) {
        if (m_figures.tradeRows == 0 || row.cjbh < m_firstCjbh)
            m_firstCjbh = row.cjbh;
        ++m_figures.tradeRows;
        m_figures.tradedQuantity += row.quantity;
        m_figures.tradedCents += row.cents;
        m_lastCjbh = std::max(m_lastCjbh, row.cjbh);
        countMinute(SeriesTrades, row.date, row.time);
        noteTime(row.date, row.time);
        if (!applyTrade(row))
            m_orphanTrades.push_back({row, m_orderBatches});
    }
}

void OrderFlow::retryOrphans()
{
    auto matched = [this](const auto &orphan) {
        if constexpr (std::is_same_v<std::decay_t<decltype(orphan.row)>, ConfirmationRow>) {
            const qint64 index = applyConfirmation(orphan.row);
            if (index >= 0 && orphan.rejection != NoRejection)
                placeRejection(orphan.rejection, index);
            return index >= 0;
        } else {
            return applyTrade(orphan.row);
        }
    };
    m_orphanConfirmations.erase(std::remove_if(m_orphanConfirmations.begin(),
                                               m_orphanConfirmations.end(), matched),
                                m_orphanConfirmations.end());
    m_orphanTrades.erase(
        std::remove_if(m_orphanTrades.begin(), m_orphanTrades.end(), matched),
        m_orphanTrades.end());
}

void OrderFlow::clearOrders()
{
    m_findingsDirty = true;
    m_orders.clear();
    m_orders.shrink_to_fit();
    m_reffSlots.assign(1024, NoSlot);
    m_reffCount = 0;
    m_open.clear();
    m_open.shrink_to_fit();
    m_cancels.clear();
    m_structural.clear();
    m_gaps.clear();
    m_stableFindings.clear();
    m_stableStructural = m_stableRejections = 0;
    m_overfilled.clear();
    m_figures = Figures{};
    for (auto &day : m_minutes)
        day.second[SeriesOrders].fill(0);
    clearConfirmations();
    clearTrades();
}

void OrderFlow::clearConfirmations()
{
    m_findingsDirty = true;
    for (Order &o : m_orders) {
        o.replied = false;
        o.reply = Reply::None;
        o.qty2 = 0;
        o.code = 0;
    }
    m_open.clear();
    for (quint32 i = 0; i < m_orders.size(); ++i)
        m_open.push_back(i);
    m_rejections.clear();
    m_stableFindings.clear();
    m_stableStructural = m_stableRejections = 0;
    m_orphanConfirmations.clear();
    m_delays.clear();
    m_confirmationRows = 0;
    m_lastConfirmation = 0;
    m_firstConfirmation = 0;
    m_figures.confirmed = m_figures.rejected = m_figures.cancelled = 0;
    for (auto &day : m_minutes) {
        day.second[SeriesConfirmations].fill(0);
        day.second[SeriesRejections].fill(0);
    }
}

void OrderFlow::clearTrades()
{
    m_findingsDirty = true;
    for (Order &o : m_orders) {
        o.traded = 0;
        o.cents = 0;
        o.fills = 0;
    }
    m_overfilled.clear();
    m_orphanTrades.clear();
    m_lastCjbh = 0;
    m_firstCjbh = 0;
    m_figures.tradeRows = m_figures.tradedQuantity = m_figures.tradedCents = 0;
    for (auto &day : m_minutes)
        day.second[SeriesTrades].fill(0);
}

void OrderFlow::compactOpen()
{
    // A reply read before the row's new status (the gateway wrote both
    // between two reads) leaves the order held as unsent: it stays until
    // its status is read again.
    m_open.erase(std::remove_if(m_open.begin(), m_open.end(),
                                [this](quint32 i) {
                                    const Order &o = m_orders[i];
                                    return o.replied && !isUnsentStatus(QChar(o.status));
                                }),
                 m_open.end());
}

namespace {

// Nearest-rank percentile of sorted values.
qint64 percentile(const std::vector<qint32> &sorted, int percent)
{
    if (sorted.empty())
        return -1;
    std::size_t rank = (sorted.size() * std::size_t(percent) + 99) / 100;
    return sorted[std::max<std::size_t>(rank, 1) - 1];
}

} // namespace

namespace {

// Newest first, by a key computed once per finding.
void sortNewestFirst(std::vector<Finding> &findings)
{
    std::vector<std::pair<qint64, quint32>> keys(findings.size());
    for (std::size_t i = 0; i < findings.size(); ++i)
        keys[i] = {timeStamp(findings[i].date, findings[i].time), quint32(i)};
    std::sort(keys.begin(), keys.end(), [&findings](const auto &x, const auto &y) {
        if (x.first != y.first)
            return x.first > y.first;
        return newerFirst(findings[x.second], findings[y.second]);
    });
    std::vector<Finding> sorted;
    sorted.reserve(findings.size());
    for (const auto &key : keys)
        sorted.push_back(findings[key.second]);
    findings.swap(sorted);
}

// As std::merge (of equal findings those of x first), but a few findings
// merged into many are placed by binary search: a refresh merges the day's
// findings with the few that change at every one.
std::vector<Finding> mergedNewestFirst(const std::vector<Finding> &x, const std::vector<Finding> &y)
{
    std::vector<Finding> out;
    out.reserve(x.size() + y.size());
    if (std::min(x.size(), y.size()) * 32 > std::max(x.size(), y.size())) {
        std::merge(x.begin(), x.end(), y.begin(), y.end(), std::back_inserter(out), newerFirst);
        return out;
    }
    const bool fewInY = y.size() <= x.size();
    const std::vector<Finding> &many = fewInY ? x : y;
    auto from = many.begin();
    for (const Finding &f : fewInY ? y : x) {
        const auto to = fewInY ? std::upper_bound(from, many.end(), f, newerFirst)
                               : std::lower_bound(from, many.end(), f, newerFirst);
        out.insert(out.end(), from, to);
        out.push_back(f);
        from = to;
    }
    out.insert(out.end(), from, many.end());
    return out;
}

} // namespace

void OrderFlow::sortFindings()
{
    std::vector<Finding> added(m_structural.begin() + std::ptrdiff_t(m_stableStructural), m_structural.end());
    added.insert(added.end(), m_rejections.begin() + std::ptrdiff_t(m_stableRejections), m_rejections.end());
    m_stableStructural = m_structural.size();
    m_stableRejections = m_rejections.size();
    if (!added.empty()) {
        sortNewestFirst(added);
        m_stableFindings = mergedNewestFirst(m_stableFindings, added);
    }
    // Orphans and overfilled orders come and go: sorted afresh.
    std::vector<Finding> changing;
    for (const auto &o : m_orphanConfirmations)
        if (o.batch < m_orderBatches)
            changing.push_back(findingAbout(Category::OrphanConfirmation, o.row, o.row.recNum, o.row.reff));
    for (const auto &o : m_orphanTrades)
        if (o.batch < m_orderBatches)
            changing.push_back(findingAbout(Category::OrphanTrade, o.row, 0, o.row.sqbh));
    for (quint32 index : m_overfilled) {
        const Order &o = m_orders[index];
        Finding f = findingOf(Category::Overfilled, o);
        f.a = o.traded;
        f.b = o.qty;
        changing.push_back(f);
    }
    sortNewestFirst(changing);
    m_changingFindings.swap(changing);
    m_findingsDirty = false;
}

Snapshot OrderFlow::snapshot(qint64 now, int timeoutSeconds)
{
    compactOpen();
    if (m_findingsDirty)
        sortFindings();
    Snapshot s;
    s.now = now;
    s.figures = m_figures;
    if (!m_orders.empty())
        s.figures.lastOrderTime = m_orders.back().time;
    std::vector<Finding> timeouts;
    for (quint32 index : m_open) {
        const Order &o = m_orders[index];
        const bool unsent = isUnsentStatus(QChar(o.status));
        const bool taken = isTakenStatus(QChar(o.status));
        if (o.replied || (!unsent && !taken))
            continue;
        if (taken)
            ++s.figures.unconfirmed;
        if (o.time < 0 || o.date <= 0)
            continue;
        const qint64 age = std::max<qint64>(now - timeStamp(o.date, o.time), 0);
        qint64 &oldest = unsent ? s.figures.oldestUnsentAge : s.figures.oldestUnconfirmedAge;
        oldest = std::max(oldest, age);
        if (age > timeoutSeconds) {
            Finding f = findingOf(unsent ? Category::UnsentTooLong : Category::UnconfirmedTooLong, o);
            f.a = age;
            timeouts.push_back(f);
        }
    }
    std::sort(timeouts.begin(), timeouts.end(), newerFirst);
    timeouts = mergedNewestFirst(timeouts, rejectBursts());
    s.findings = mergedNewestFirst(m_stableFindings, mergedNewestFirst(m_changingFindings, timeouts));

    std::vector<qint32> delays;
    for (const auto &d : m_delays)
        if (d.first >= now - 300 && d.first <= now)
            delays.push_back(d.second);
    std::sort(delays.begin(), delays.end());
    s.figures.delayMedian = percentile(delays, 50);
    s.figures.delaySlowest5 = percentile(delays, 95);

    std::map<int, qint64> byCode;
    for (const Finding &f : m_rejections)
        ++byCode[f.code];
    s.rejectionsByCode.assign(byCode.begin(), byCode.end());

    // The chart shows the day of `now`, else the newest day held.
    const qint32 today = dateOf(now);
    auto day = m_minutes.find(today);
    if (day == m_minutes.end() && !m_minutes.empty())
        day = std::prev(m_minutes.end());
    if (day != m_minutes.end()) {
        s.chartDate = day->first;
        s.chart = day->second;
    }
    return s;
}

std::vector<Finding> OrderFlow::rejectBursts() const
{
    std::vector<Finding> bursts;
    if (m_rejectBurst <= 0)
        return bursts;
    // Newest day and minute first.
    for (auto day = m_minutes.rbegin(); day != m_minutes.rend(); ++day) {
        const auto &counts = day->second[SeriesRejections];
        for (int minute = 1439; minute >= 0; --minute) {
            if (counts[std::size_t(minute)] < quint32(m_rejectBurst))
                continue;
            Finding f;
            f.category = Category::RejectBurst;
            f.date = day->first;
            f.time = minute * 60;
            f.a = counts[std::size_t(minute)];
            bursts.push_back(f);
        }
    }
    return bursts;
}

std::size_t OrderFlow::bytesHeld() const
{
    return m_orders.capacity() * sizeof(Order) + m_reffSlots.capacity() * sizeof(quint32)
        + m_open.capacity() * sizeof(quint32) + m_delays.capacity() * sizeof(m_delays[0])
        + (m_structural.capacity() + m_rejections.capacity() + m_stableFindings.capacity()
           + m_changingFindings.capacity()) * sizeof(Finding)
        + m_orphanConfirmations.capacity() * sizeof(m_orphanConfirmations[0])
        + m_orphanTrades.capacity() * sizeof(m_orphanTrades[0])
        + m_minutes.size() * sizeof(MinuteCounts) + m_cancels.size() * 32;
}

} // namespace flow
