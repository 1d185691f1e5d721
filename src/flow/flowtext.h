#pragma once

// The texts the monitor and the trace show for the order flow: names of
// findings and rows, explanations, times, amounts and the state of an order
// in one sentence.

#include "flow/orderflow.h"
#include "flow/ordertrace.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace flow {

QString categoryText(Category category);
// The explanation of a finding without a return code ("已报 37 秒未确认").
QString explanation(const Finding &finding);
// The 说明 of a finding: its return code's note where the table has one,
// else its explanation.
QString findingNote(const Finding &finding);
// Seconds of the day as "HH:MM:SS"; empty when not a time (negative).
QString clockText(qint32 secondsOfDay);
// A length of time as an operator reads it: "37 秒", "5 分 7 秒",
// "16 小时 29 分".
QString durationText(qint64 seconds);
// An amount in cents as "1234.50", exact.
QString centsText(qint64 cents);
// The name of a trace row's kind.
QString kindText(TraceRow::Kind kind);
// The state in one sentence, e.g. "已确认，成交 600/1000（2 笔，均价 10.49），撤单已撤 400"
// or "废单：231 余额不足".
QString stateSentence(const OrderTrace &trace);
// The monitor's figures one by one, in the order shown: name and value, a
// count, an amount in cents or a length of time in seconds (-1: none).
struct FigureItem
{
    enum Kind { Count, Cents, Seconds };
    QString name;
    Kind kind = Count;
    qint64 value = 0;
};
std::vector<FigureItem> figureItems(const Figures &figures);
// A figure's value as the monitor shows it ("1234", "1234.50", "37 秒", "—").
QString figureValueText(const FigureItem &item);
// The monitor's figures, each "name value" with no-break spaces, in two
// groups: counts, then times.
std::vector<QStringList> figureGroups(const Figures &figures);
// The figures on two lines, counts then times.
QString figuresText(const Figures &figures);
// The groups as lines no wider than `width` by `measure`, broken only
// between two figures: each group starts a line, a figure wider than
// `width` stands alone.
QString wrapFigures(const std::vector<QStringList> &groups, int width,
                    const std::function<int(const QString &)> &measure);

// Ticks of a time axis over minutes of the day `first` to `last`: on whole
// multiples of `step` minutes (1, 5, 10, 15, 30, 60, ...), the smallest
// step giving at most `maxTicks` ticks; `from` and `to` are the axis' ends,
// `count` the ticks from one to the other, both included.
struct MinuteTicks
{
    int from = 0;
    int to = 0;
    int count = 0;
    int step = 1;
};
MinuteTicks minuteTicks(int first, int last, int maxTicks);

} // namespace flow
