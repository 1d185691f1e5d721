#pragma once

// The texts of how the watched database answers, as the monitor's status
// line shows them, and of what the readers learn on connecting.

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace flow {

struct Health;

// "10:31:00 已刷新，读入 16 行（共 300000 行）": the rows the refresh fetched,
// and the rows held.
QString refreshedText(const QTime &at, qint64 rowsRead, qint64 rowsHeld);
// The status of a refresh that waits or failed, as of `now`; empty for
// Idle and Ok. A time-out names the table and the seconds a statement may
// take (`querySeconds`).
QString healthText(const Health &health, const QDateTime &now, int querySeconds);
// "数据截至 10:31:00": what the figures and findings shown were read at;
// empty before the first.
QString staleText(const QDateTime &dataTime);
// A read that scans because no index leads these columns ("table.column"),
// of the refresh or of the trace.
QString missingIndexNote(const QStringList &columns, bool trace);
// cjbh is text of several widths: trades are read by a cast that scans.
QString tradeKeyScanNote();

} // namespace flow
