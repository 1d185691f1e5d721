#pragma once

// The order flow of the three interface tables as the monitor holds it: the
// rules by which orders, cancels, confirmations and trades match, and an
// incremental model that applies them to rows as they arrive. No widgets;
// everything here runs on the monitor's worker thread.
//
// How rows match (one place for the whole program):
// - an order's confirmation: confirmation reff = order reff, both not cancels;
// - a cancel's confirmation: confirmation ordrec = rec_num of the order the
//   cancel names, owflag WTH. A cancel's own reff may repeat the order's or
//   be new; it is not used for matching (assumed: ordrec is always filled);
// - an order's trades: trade sqbh = order reff;
// - confirmation rec_num is the gateway's own sequence and is not matched.

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

namespace flow {

// A short fixed text (reff, account, security code) without its blanks.
// Characters outside Latin-1 are kept as '?'; such codes do not occur in
// the interface.
template <int N>
struct Code
{
    std::array<char, N> c{};
    static Code from(QStringView text)
    {
        Code code;
        text = text.trimmed();
        for (int i = 0; i < N && i < text.size(); ++i) {
            const char16_t u = text[i].unicode();
            code.c[std::size_t(i)] = u < 256 ? char(u) : '?';
        }
        return code;
    }
    bool operator==(const Code &o) const { return c == o.c; }
    bool operator!=(const Code &o) const { return c != o.c; }
    bool empty() const { return c[0] == 0; }
    QString text() const { return QString::fromLatin1(c.data(), qsizetype(qstrnlen(c.data(), N))); }
};
using Reff = Code<10>;
using Account = Code<10>;
using Stock = Code<6>;

// Rules on single values; plain functions, tested as tables.
bool isCancelFlag(QStringView owflag);        // WTH, any case
bool isMarketFlag(QStringView owflag);        // MPT or NPT, any case
bool isUnsentStatus(QChar status);            // R or r
bool isTakenStatus(QChar status);             // P or p
enum class Reply : quint8 { None, Accepted, CancelAccepted, Rejected, Other };
Reply replyOf(QChar confirmationStatus);       // O, W, F/E/?
// The return code at the start of a remark ("231", "231 余额不足"); 0 when
// the remark starts with none (blank, "0").
int returnCodeOf(QStringView remark);
// Seconds of the day from "HH:MM:SS" (order tables) or HHMMSS without
// its leading zero (trade reports); -1 when not a time.
int secondsOfDay(QStringView time);
// YYYYMMDD as a number; 0 when not a date.
qint32 dateNumber(QStringView date);
// A whole number; `fallback` when the text is none.
qint64 wholeNumber(QStringView text, qint64 fallback = 0);
// A decimal amount in cents, exact; false when it is not one.
bool amountCents(QStringView text, qint64 *cents);
// Seconds since 1970 of a date number and seconds of day (local calendar,
// no zone): only differences are used.
qint64 timeStamp(qint32 date, int seconds);
// The date number of a time stamp.
qint32 dateOf(qint64 stamp);

// Rows as read from the tables, already parsed.
struct OrderRow
{
    qint32 recNum = 0;
    qint32 date = 0;
    qint32 time = -1; // seconds of day
    Reff reff;
    Account acc;
    Stock stock;
    qint32 qty = 0;
    qint32 ordrec = 0; // rec_num named by a cancel
    qint32 priceMils = -1; // price in thousandths; -1 when none
    char status = 0;
    char bs = 0;
    bool cancel = false;
    bool market = false; // a market order: its confirmation's qty2 is the remainder cancelled
};

struct ConfirmationRow
{
    qint32 recNum = 0;
    qint32 date = 0;
    qint32 time = -1;
    Reff reff;
    Account acc;
    Stock stock;
    qint32 ordrec = 0;
    qint32 qty2 = 0;
    qint32 code = 0; // return code from the remark
    Reply reply = Reply::None;
    bool cancel = false;
};

struct TradeRow
{
    qint64 cjbh = 0;
    qint32 date = 0;
    qint32 time = -1;
    Reff sqbh;
    Account acc;
    Stock stock;
    qint64 quantity = 0;
    qint64 cents = 0;
    char bs = 0;
};

enum class Category : quint8 {
    RecNumGap,          // 记录编号不连续
    RecNumRepeated,     // 记录编号重复
    CancelTargetMissing,// 撤单对象不存在
    CancelTargetTooHigh,// 撤单对象编号过大
    UnsentTooLong,      // 未报超时
    UnconfirmedTooLong, // 未确认超时
    Rejected,           // 废单
    ReffRepeated,       // 申请编号重复
    OrphanConfirmation, // 确认无对应委托
    OrphanTrade,        // 成交无对应委托
    Overfilled,         // 超额成交
    RejectBurst,        // 废单激增: one per clock minute with many rejections
};
constexpr int CategoryCount = int(Category::RejectBurst) + 1;
// The return code a category always carries (1021, 1030, 1031); 0 for none.
int categoryCode(Category category);

struct Finding
{
    Category category{};
    qint32 recNum = 0;
    qint32 date = 0;
    qint32 time = -1;
    Reff reff;
    Account acc;
    Stock stock;
    qint32 code = 0;
    qint64 a = 0; // the figures of the explanation (seconds; traded, ordered; rejections)
    qint64 b = 0;
};
// Findings that stop or stall the gateway: a rec_num gap or repeat, an
// order left unsent or unconfirmed.
bool stopsGateway(Category category);
// Where a category's findings stand in the monitor's grid, 0 first: those
// that stop the gateway (gaps and repeats, then the unsent, then the
// unconfirmed), then bursts of rejections, then all others.
int categoryRank(Category category);
constexpr int CategoryRanks = 6;
// The indexes of the findings by rank, in their order within a rank.
std::vector<quint32> rankOrder(const std::vector<Finding> &findings);
// Newest first: date and time descending, then record number descending.
bool newerFirst(const Finding &x, const Finding &y);

// The figures line. Ages and delays in seconds, -1 when there is none.
struct Figures
{
    qint64 orders = 0;
    qint64 cancels = 0;
    qint64 unsent = 0;
    qint64 unconfirmed = 0;
    qint64 confirmed = 0; // confirmations accepting an order or a cancel
    qint64 rejected = 0;  // confirmations rejecting one
    qint64 cancelled = 0; // confirmations of accepted cancels
    qint64 tradeRows = 0;
    qint64 tradedQuantity = 0;
    qint64 tradedCents = 0;
    qint32 lastOrderTime = -1; // seconds of day of the newest order or cancel
    qint64 oldestUnsentAge = -1;
    qint64 oldestUnconfirmedAge = -1;
    qint64 delayMedian = -1;
    qint64 delaySlowest5 = -1;
};

enum Series { SeriesOrders, SeriesConfirmations, SeriesRejections, SeriesTrades, SeriesCount };
using MinuteCounts = std::array<std::array<quint32, 1440>, SeriesCount>;

// What one refresh hands to the window: values only.
struct Snapshot
{
    Figures figures;
    std::vector<Finding> findings;              // newest first
    std::vector<std::pair<int, qint64>> rejectionsByCode; // code ascending
    qint32 chartDate = 0;
    MinuteCounts chart{};
    qint64 now = 0; // time stamp the ages were measured against
};

// The incremental model. Rows are added in batches; each batch costs in
// proportion to its own size (indexes by reff, rec_num and sqbh are kept).
// Orders must come in ascending rec_num within and across batches; a table
// read again from the start is first cleared.
class OrderFlow
{
public:
    OrderFlow();

    // Rejections within one clock minute that make a burst (废单激增);
    // 0: none is looked for.
    void setRejectBurst(int rejections) { m_rejectBurst = rejections; }

    void addOrders(const std::vector<OrderRow> &rows);
    void addConfirmations(const std::vector<ConfirmationRow> &rows);
    void addTrades(const std::vector<TradeRow> &rows);
    // The gateway took an order: its status changed after it was read.
    void setStatus(qint32 recNum, char status);

    // Clearing the orders forgets the confirmations and trades as well
    // (they are matched against the orders); read all three again.
    void clearOrders();
    void clearConfirmations();
    void clearTrades();

    qint64 orderRows() const { return qint64(m_orders.size()); }
    qint64 confirmationRows() const { return m_confirmationRows; }
    qint64 tradeRows() const { return m_figures.tradeRows; }
    qint32 lastRecNum() const { return m_orders.empty() ? 0 : m_orders.back().recNum; }
    qint32 lastConfirmationRecNum() const { return m_lastConfirmation; }
    qint64 lastCjbh() const { return m_lastCjbh; }
    // The smallest keys held (0 when none): with the largest they tell
    // cheaply whether a table was cleared or refilled.
    qint32 firstRecNum() const { return m_orders.empty() ? 0 : m_orders.front().recNum; }
    qint32 firstConfirmationRecNum() const { return m_firstConfirmation; }
    qint64 firstCjbh() const { return m_firstCjbh; }
    // The lowest rec_num still unsent (status R), 0 when none: from there on
    // statuses are read again.
    qint32 firstUnsentRecNum() const;
    // The rec_nums of the unsent orders as at most `maxRanges` ranges
    // (first, last), ascending: split at the widest gaps between them, but
    // only where more than `minGap` rows lie between, so that an order left
    // unsent long ago does not make every refresh read all rows after it.
    std::vector<std::pair<qint32, qint32>> unsentRanges(int maxRanges, qint32 minGap) const;
    // The gaps between the orders held: (rec_num before, rec_num after),
    // oldest first. A row that later fills one was missed by the reads.
    const std::vector<std::pair<qint32, qint32>> &recNumGaps() const { return m_gaps; }
    // The newest time stamp of any row; the clock when the server gives none.
    qint64 newestTime() const { return m_newest; }

    // Figures, findings, rejections and chart as of `now` (a time stamp as
    // timeStamp() gives), with the time-outs after `timeoutSeconds`.
    Snapshot snapshot(qint64 now, int timeoutSeconds);

    // Bytes held, for the benchmark.
    std::size_t bytesHeld() const;

    // One row of ashare_ordwth with what became of it, as compact as the
    // monitor's memory asks (a million rows are held).
    struct Order
    {
        qint32 recNum;
        qint32 date;
        qint32 time;
        qint32 qty;
        qint32 ordrec;
        qint32 priceMils;   // -1 when none
        qint32 qty2;        // its confirmation's: the quantity cancelled
        quint32 fills;      // trade rows matched to it
        qint64 traded;
        qint64 cents;       // their amounts (cjje as the server has it)
        Reff reff;
        Account acc;
        Stock stock;
        qint16 code;        // its confirmation's return code
        char status;
        char bs;
        Reply reply;        // its first confirmation's kind
        bool cancel : 1;
        bool market : 1;
        bool replied : 1;      // a confirmation matched it
        bool repeatedReff : 1; // an earlier order has its reff
        bool hasRepeats : 1;   // a later order repeats its reff
    };
    // Read on the model's own thread: the rows in rec_num order, the first
    // with a rec_num (-1 when none), trades that matched no order.
    const Order &order(qint64 index) const { return m_orders[std::size_t(index)]; }
    qint64 indexOf(qint32 recNum) const { return findRecNum(recNum); }
    std::size_t unmatchedTradeCount() const { return m_orphanTrades.size(); }
    const TradeRow &unmatchedTrade(std::size_t index) const { return m_orphanTrades[index].row; }

private:
    static constexpr quint32 NoSlot = 0xffffffffu;

    // reff → index of the first order (not a cancel) with that reff;
    // open addressing, the keys are the orders' own reff.
    quint32 findReff(const Reff &reff) const;
    void insertReff(quint32 index);
    void growReffIndex();
    // Index of the first order with this rec_num, -1 when none.
    qint64 findRecNum(qint32 recNum) const;

    // The index of the order or cancel the confirmation replies to, -1 when
    // none is held (yet).
    qint64 applyConfirmation(const ConfirmationRow &row);
    void placeRejection(std::size_t rejection, qint64 index);
    // The order an order's confirmation with this reff replies to: the
    // first with the reff that has no reply yet (repeats are rare).
    qint64 replyTarget(const Reff &reff) const;
    bool applyTrade(const TradeRow &row);
    void retryOrphans();
    void compactOpen();
    void sortFindings();
    void markReplied(Order &order);
    void countMinute(Series series, qint32 date, qint32 time);
    void noteTime(qint32 date, qint32 time);
    static Finding findingOf(Category category, const Order &order);
    static Order orderOf(const OrderRow &row);
    // One finding per clock minute with at least m_rejectBurst rejections.
    std::vector<Finding> rejectBursts() const;

    std::vector<Order> m_orders;
    std::vector<quint32> m_reffSlots;
    quint32 m_reffCount = 0;
    std::unordered_map<qint32, quint32> m_cancels; // ordrec → first cancel naming it
    std::vector<quint32> m_open;           // orders without a reply or held as unsent
    std::vector<Finding> m_structural;     // gaps, repeats, cancel targets, reff repeats
    std::vector<std::pair<qint32, qint32>> m_gaps; // rec_num around each gap
    std::vector<Finding> m_rejections; // named by the order's (or cancel's) rec_num
    std::set<quint32> m_overfilled;
    // Rows matching no order, with the order batch they were first tried
    // against: a row is reported only after a later batch of orders also
    // missed it, so an order inserted while a refresh reads is not blamed.
    static constexpr std::size_t NoRejection = ~std::size_t(0);
    template <typename Row>
    struct Orphan
    {
        Row row;
        quint64 batch;
        std::size_t rejection = NoRejection; // its finding in m_rejections, if one
    };
    std::vector<Orphan<ConfirmationRow>> m_orphanConfirmations;
    std::vector<Orphan<TradeRow>> m_orphanTrades;
    quint64 m_orderBatches = 0;
    std::vector<std::pair<qint64, qint32>> m_delays; // reply time stamp, seconds
    std::map<qint32, MinuteCounts> m_minutes;
    Figures m_figures;
    // Orphans and overfilled orders as findings, sorted; built again only
    // after rows changed, so that a refresh with nothing new stays cheap.
    std::vector<Finding> m_changingFindings;
    // Structural findings and rejections only grow until a table is cleared:
    // those sorted so far (the first m_stableStructural and
    // m_stableRejections of them), to which a refresh merges only its own.
    std::vector<Finding> m_stableFindings;
    std::size_t m_stableStructural = 0;
    std::size_t m_stableRejections = 0;
    bool m_findingsDirty = true;
    qint64 m_firstCjbh = 0;
    qint32 m_firstConfirmation = 0;
    qint64 m_confirmationRows = 0;
    qint32 m_lastConfirmation = 0;
    qint64 m_lastCjbh = 0;
    qint64 m_newest = 0;
    int m_rejectBurst = 20;
};

} // namespace flow
