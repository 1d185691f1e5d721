#pragma once

// The day reconciled in one workbook, sheet after sheet:
// - 汇总: the monitor's figures at the moment of writing and that moment,
//   the rows by final state, rejections by return code with their notes,
//   the orders still unsent or unconfirmed, and the day's alarms;
// - 委托: one row per order and per cancel with what became of it;
// - 成交汇总: trades per account, security and side, with a total row;
// - 异常: every finding of the day, as the monitor's grid shows them.
// The writer owns the layout; the values come from a DayEndSource one row
// at a time, so that a day of millions of orders is written without a copy
// of it. Amounts come in cents and are written as numbers with two
// decimals, exact; totals are added up in cents.

#include "export/export.h"

#include <QDateTime>
#include <QLatin1String>
#include <QString>
#include <QStringView>

#include <functional>
#include <utility>
#include <vector>

class CommandControl;

// One alarm of the day as the alarm log keeps it.
struct DayEndAlarm
{
    QDateTime raised;
    QString category;
    QString note;
    QDateTime acknowledged; // null: never acknowledged
    QString acknowledgedBy;
    QDateTime cleared;      // null: still standing
};

// A figure of 汇总: a count, an amount in cents or a text (a length of time).
struct DayEndFigure
{
    enum Kind { Count, Cents, Text };
    QString name;
    Kind kind = Count;
    qint64 value = 0;
    QString text;
};

struct DayEndRejection
{
    int code = 0; // 0: none given
    QString note;
    qint64 count = 0;
};

// What 汇总 says besides the lists.
struct DayEndSummary
{
    QString database;
    QDateTime moment;                              // the clock the figures were read against
    std::vector<DayEndFigure> figures;
    std::vector<std::pair<QString, qint64>> states; // rows per final state
    std::vector<DayEndRejection> rejections;        // code ascending
};

// One row of 委托 (and of the open orders in 汇总). The views are valid for
// the call only; a number that is not known is -1.
struct DayEndOrderLine
{
    qint32 recNum = 0;
    QLatin1String reff, account, stock, bs;
    qint64 quantity = 0;
    qint64 priceMils = -1;   // in thousandths
    qint32 time = -1;        // seconds of the day
    QStringView state;
    bool cancel = false;     // a cancel: no trade columns
    qint64 traded = 0;
    qint64 cents = 0;
    qint64 averageMils = -1; // in thousandths; -1 without fills
    qint64 cancelled = 0;
    qint32 code = 0;         // return code, 0: none
    QStringView note;
};

// One row of 成交汇总.
struct DayEndTradeLine
{
    QLatin1String account, stock, bs;
    qint64 fills = 0;
    qint64 quantity = 0;
    qint64 cents = 0;
};

// One row of 异常, as the monitor's grid shows it.
struct DayEndFindingLine
{
    QString category;
    qint32 recNum = 0; // 0: none
    QString reff, account, stock, time;
    qint32 code = 0;
    QString note;
};

// Where the values come from. Each list is visited once, in the order it
// is written; the writer may stop a visit by throwing (a cancel).
class DayEndSource
{
public:
    virtual ~DayEndSource() = default;
    virtual DayEndSummary summary() = 0;
    // Orders and cancels still unsent or unconfirmed; how many there are.
    virtual qint64 openCount() = 0;
    virtual void openLines(const std::function<void(const DayEndOrderLine &)> &visit) = 0;
    virtual void orderLines(const std::function<void(const DayEndOrderLine &)> &visit) = 0;
    virtual void tradeLines(const std::function<void(const DayEndTradeLine &)> &visit) = 0;
    virtual void findingLines(const std::function<void(const DayEndFindingLine &)> &visit) = 0;
};

// 汇总 lists at most this many open orders; the rest are in 委托 with
// their state.
constexpr qint64 MaxOpenLines = 10000;

// The file name offered: "日终核对_YYYYMMDD_<database>.xlsx", without the
// database where there is none, characters a file name cannot hold as "_".
QString dayEndFileName(const QDate &day, const QString &database);

// Writes the workbook with the export's safety: beside `path` under a
// pending name, read back, then renamed over it; a list longer than
// options.sheetRows goes on in a further sheet under its captions again.
// Reports written rows to `control` and stops when it asks to cancel.
// Throws ExportError or OperationCancelled; no file is left behind then,
// and an existing file at `path` is kept unchanged.
void writeDayEndBook(DayEndSource &source, const std::vector<DayEndAlarm> &alarms, const QString &path,
                     CommandControl &control, const ExportOptions &options = {});
