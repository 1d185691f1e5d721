#pragma once

// When the monitor calls the operator: the causes of alarms in what a
// refresh found and in how the database answered, and how they turn into
// alarms raised and cleared. One cause is one alarm: each gap or repeat of
// rec_num (by the first record number it names), all orders left unsent
// together, all orders left unconfirmed together, a burst of rejections, the
// database not answering. An alarm is raised when its cause appears, stays
// while it lasts (its text follows the figures) and clears when it is gone;
// the same cause coming back later is a new alarm. Plain functions, no
// widgets.

#include "flow/flowwatch.h"
#include "flow/orderflow.h"

#include <QDateTime>
#include <QString>

#include <cstddef>
#include <vector>

namespace flow {

enum class AlarmKind : quint8 {
    RecNumGap,          // 记录编号不连续
    RecNumRepeated,     // 记录编号重复
    UnsentTooLong,      // 未报超时
    UnconfirmedTooLong, // 未确认超时
    RejectBurst,        // 废单激增
    DatabaseDown,       // 数据库不可用: waiting past the query seconds, or failed
};
constexpr int AlarmKinds = 6;

// 类别 of an alarm, as in the findings where it has one.
QString alarmKindText(AlarmKind kind);
// The kind of a 类别 text; false when it is none.
bool alarmKindOf(const QString &text, AlarmKind *kind);
// The return code the kind always carries (1021), 0 for none.
int alarmKindCode(AlarmKind kind);

// A cause as one evaluation sees it.
struct AlarmCause
{
    AlarmKind kind{};
    qint32 recNum = 0; // the record number of a gap or repeat; 0 for the others
    QString text;      // 说明, as of this evaluation
};
// The same cause: the same kind and, for gaps and repeats, record number.
bool sameCause(const AlarmCause &x, const AlarmCause &y);

// The causes in a snapshot's findings. A burst of rejections counts while
// its minute is the snapshot's current one or the one before.
std::vector<AlarmCause> findingCauses(const Snapshot &snapshot);
// The database as a cause: waiting longer than `querySeconds` at `now`, or
// failed (a statement timed out included). False when it answers.
bool healthCause(const Health &health, const QDateTime &now, int querySeconds, AlarmCause *cause);

// What changes from the causes of active alarms to those found now.
struct AlarmChanges
{
    std::vector<std::size_t> raised;  // indexes into `now`: new causes
    std::vector<std::size_t> cleared; // indexes into `active`: causes gone
    // (index into `active`, index into `now`): causes that last
    std::vector<std::pair<std::size_t, std::size_t>> lasting;
};
AlarmChanges compareCauses(const std::vector<AlarmCause> &active, const std::vector<AlarmCause> &now);

} // namespace flow
