#pragma once

// The day reconciled: what became of every order and cancel the model
// holds (its final state, by one rule), and the values of the day-end
// workbook read from the model row by row while it is written. Everything
// here runs on the thread that owns the model (its watch's worker), so the
// rows cannot change under the writer and nothing of them is copied.

#include "export/dayendbook.h"
#include "flow/orderflow.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <map>
#include <vector>

namespace flow {

// Exactly one per row of ashare_ordwth.
enum class FinalState : quint8 {
    Unsent,            // 未报: still "R", nothing back
    Unconfirmed,       // 已报未确认: taken, nothing (readable) back
    Rejected,          // 废单
    ConfirmedUntraded, // 已确认未成交
    PartlyTraded,      // 部分成交
    Traded,            // 全部成交
    PartlyCancelled,   // 部成部撤
    Cancelled,         // 已撤
    CancelDone,        // 撤单成功 (a cancel)
    CancelFailed,      // 撤单失败 (a cancel)
};
constexpr int FinalStateCount = 10;

// What the rule looks at in one row.
struct StateFacts
{
    bool cancel = false;         // the row is a cancel
    char status = 0;             // its status in ashare_ordwth
    bool replied = false;        // a confirmation matched it
    Reply reply = Reply::None;   // that confirmation's kind
    qint64 quantity = 0;         // ordered
    qint64 traded = 0;           // filled, all its trades
    qint64 cancelled = 0;        // cancelled by an accepted cancel, or a market order's remainder
    bool cancelAccepted = false; // a cancel naming it was accepted
};

// The final state of a row. A rejection decides; then fills of the whole
// quantity; then an accepted cancel (or a cancelled remainder); then any
// fill; then an acceptance; a row without a reply is unsent while "R" and
// unconfirmed otherwise. Fills and accepted cancels count even when the
// order's own confirmation has not been read (they prove it was accepted).
// A cancel succeeds or fails by its confirmation, and without one is
// unsent or unconfirmed as an order is.
FinalState finalState(const StateFacts &facts);
QString finalStateText(FinalState state);

// An average price in thousandths from exact cents and a quantity, rounded
// half away from zero; -1 without a quantity.
qint64 averageMils(qint64 cents, qint64 quantity);

// The local clock time of a time stamp (timeStamp()); null for 0.
QDateTime clockTime(qint64 stamp);

// The reconciliation of the rows `model` holds, as of `snapshot` (taken of
// it, with its findings and the time they were measured against). Both
// must outlive it and stay unchanged while it is read.
class DayEndReconciliation : public DayEndSource
{
public:
    DayEndReconciliation(const OrderFlow &model, const Snapshot &snapshot, QString database);

    DayEndSummary summary() override;
    qint64 openCount() override { return qint64(m_open.size()); }
    void openLines(const std::function<void(const DayEndOrderLine &)> &visit) override;
    // Rows in rec_num order; the cancels of an order right after it.
    void orderLines(const std::function<void(const DayEndOrderLine &)> &visit) override;
    // Groups by account, security and side (the order's; a trade that
    // matched no order by its own), in that order.
    void tradeLines(const std::function<void(const DayEndTradeLine &)> &visit) override;
    void findingLines(const std::function<void(const DayEndFindingLine &)> &visit) override;

    StateFacts factsOf(qint64 index) const;
    FinalState stateOf(qint64 index) const { return finalState(factsOf(index)); }

private:
    // The order a cancel names when it exists and lies before it; -1 else.
    qint64 targetOf(qint64 cancel) const;
    DayEndOrderLine lineOf(qint64 index);
    QString noteOf(qint64 index, const StateFacts &facts, FinalState state) const;
    const QString &codeNote(int code) const;

    const OrderFlow &m_model;
    const Snapshot &m_snapshot;
    QString m_database;
    // (order, cancel naming it) of every cancel with a target, by order.
    std::vector<std::pair<quint32, quint32>> m_cancels;
    std::vector<quint32> m_open; // rows still unsent or unconfirmed
    std::array<qint64, FinalStateCount> m_states{};
    mutable std::map<int, QString> m_codeNotes;
    QString m_note;  // the current line's 说明
};

} // namespace flow
