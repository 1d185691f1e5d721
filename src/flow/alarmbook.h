#pragma once

// The alarms of one watched database: those active, their acknowledgement
// (when and by whom) and the day's log, kept as CSV (UTF-8 with a byte-order
// mark, so that Excel opens it) in the program's data folder, one file per
// day: 告警记录_YYYYMMDD.csv. Every raise, acknowledgement and clearing appends
// one line holding the alarm's whole state so far; the last line of an alarm
// is its record. A book reads its database's lines of the day back when it
// is made, so a restart keeps the day: an alarm still active then goes on
// (acknowledged or not) and clears at the first refresh that no longer finds
// its cause. Several books, of several databases, may share the file.
// Lives on the UI thread with the FlowWatch it observes.

#include "flow/alarms.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QString>

#include <vector>

namespace flow {

class FlowWatch;

// One alarm as the log holds it.
struct AlarmRecord
{
    int id = 0;        // numbers the alarms of one database in the file
    QString database;  // the database's name as its watch's owner gave it
    AlarmKind kind{};
    qint32 recNum = 0; // a gap's first missing, a repeat's record number
    QString text;      // 说明: as raised, then as it lasted
    QDateTime raised;
    QDateTime acknowledged; // null until acknowledged
    QString acknowledgedBy; // the login user who acknowledged it
    QDateTime cleared;      // null while active
    bool active() const { return cleared.isNull(); }
    bool isAcknowledged() const { return !acknowledged.isNull(); }
};
// The alarm in one line: "10:31:05 记录编号不连续 1021，缺 1500".
QString alarmSummary(const AlarmRecord &record);

// The log file of a day in the program's data folder
// (QStandardPaths::AppDataLocation).
QString alarmLogPath(const QDate &day);
// The records of a log file, in the order they were first written; of one
// database only when `database` is not empty. No file: none. A file that
// cannot be read: none, and the reason in `error`.
std::vector<AlarmRecord> readAlarmLog(const QString &path, const QString &database = {}, QString *error = nullptr);

class AlarmBook : public QObject
{
    Q_OBJECT
public:
    // `database` names the database in the log and the banner; the day's
    // records of that name are read back.
    explicit AlarmBook(QString database, QObject *parent = nullptr);

    const QString &database() const { return m_database; }
    // Seconds a refresh may wait before the database counts as not
    // answering (the statements' time-out; an observed watch's own).
    void setQuerySeconds(int seconds) { m_querySeconds = seconds; }
    int querySeconds() const { return m_querySeconds; }

    // Evaluates the alarms at each refresh and change of health of `watch`,
    // with its query seconds.
    void observe(const FlowWatch *watch);
    // One evaluation at `now`: `snapshot` the new one, null when only the
    // health changed (the causes of the last snapshot stand).
    void update(const Snapshot *snapshot, const Health &health, const QDateTime &now);
    // Acknowledges every alarm not acknowledged yet (active or cleared) in
    // the name of `user`; gives how many.
    int acknowledge(const QString &user, const QDateTime &at = QDateTime::currentDateTime());

    // The day's alarms, oldest first, and those carried over from the day
    // before while still active.
    const std::vector<AlarmRecord> &records() const { return m_records; }
    int unacknowledgedCount() const;
    int activeCount() const;
    // The newest by time raised; null when none.
    const AlarmRecord *newestUnacknowledged() const;
    const AlarmRecord *newestActive() const;

    // The file of the current day, and why the last write or read failed
    // (empty when it did not).
    QString logPath() const { return alarmLogPath(m_day); }
    QString logError() const { return m_logError; }

signals:
    // Alarms were raised by an evaluation.
    void raised(int count);
    // Anything of records() changed: raised, cleared, acknowledged, a text.
    void changed();
    // Writing or reading the log failed; said once until it works again.
    void logFailed(const QString &message);

private:
    enum class Event { Raised, Acknowledged, Cleared };
    void startDay(const QDate &day);
    void append(const AlarmRecord &record, Event event);
    void noteLogError(const QString &message);

    QString m_database;
    QDate m_day;
    std::vector<AlarmRecord> m_records;
    std::vector<AlarmCause> m_findingCauses; // of the last snapshot
    bool m_haveSnapshot = false;
    int m_lastId = 0;
    int m_querySeconds = 30;
    QString m_logError;
};

} // namespace flow
