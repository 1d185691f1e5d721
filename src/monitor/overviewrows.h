#pragma once

// Which databases the overview watches and how a row's state reads: plain
// rules without windows.

#include "flow/flowwatch.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace overview {

// A gateway database: the name shown (the DSN list entry's description),
// and what a login to it needs but the password.
struct DatabaseEntry
{
    QString name;
    QString dsn;
    QString user;
    QString database;
};

// The key of a database: DSN, user and database without blanks around
// them and regardless of case, as "DSN.user..database". Two entries with the
// same key are the same database.
QString entryKey(const DatabaseEntry &entry);

// The current login's database first, then each DSN list line (raw, as
// dbset.ini holds them) in file order; a database already listed is not
// listed again.
std::vector<DatabaseEntry> overviewEntries(const DatabaseEntry &current, const QStringList &dsnLines);

// Whether a database is reached with the current login's password: the
// same user name (without blanks around it, regardless of case).
bool sameUser(const DatabaseEntry &entry, const QString &loginUser);

// A row's state, from the best to the worst. A database waiting or not
// answering says so before its alarms (those alarms among them); the tray
// follows the alarms of all rows.
enum class RowState {
    Ok,            // 正常
    Connecting,    // 正在连接: not read yet
    NeedsPassword, // 需要密码
    Unreachable,   // 无法连接
    Waiting,       // 等待
    Alarm,         // 告警
};
RowState rowState(bool hasPassword, const flow::Health &health, int unacknowledgedAlarms);
QString stateText(RowState state);
RowState worstState(const std::vector<RowState> &states);

// The rows not to show, kept as their keys in one setting ("|" between them).
QStringList hiddenKeys(const QString &setting);
QString hiddenSetting(const QStringList &keys);

} // namespace overview
