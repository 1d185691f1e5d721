#include "monitor/overviewrows.h"

#include "base/settings.h"

#include <algorithm>
#include <set>

namespace overview {

namespace {
const QChar HiddenSeparator = u'|';
} // namespace

QString entryKey(const DatabaseEntry &entry)
{
    return entry.dsn.trimmed().toLower() + u'.' + entry.user.trimmed().toLower() + QStringLiteral("..")
        + entry.database.trimmed().toLower();
}

std::vector<DatabaseEntry> overviewEntries(const DatabaseEntry &current, const QStringList &dsnLines)
{
    std::vector<DatabaseEntry> entries{current};
    std::set<QString> listed{entryKey(current)};
    for (const QString &line : dsnLines) {
        const settings::DsnEntry split = settings::splitEntry(line);
        const DatabaseEntry entry{split.description, split.dsn, split.user, split.database};
        if (listed.insert(entryKey(entry)).second)
            entries.push_back(entry);
    }
    return entries;
}

bool sameUser(const DatabaseEntry &entry, const QString &loginUser)
{
    return entry.user.trimmed().compare(loginUser.trimmed(), Qt::CaseInsensitive) == 0;
}

RowState rowState(bool hasPassword, const flow::Health &health, int unacknowledgedAlarms)
{
    if (!hasPassword)
        return RowState::NeedsPassword;
    // What the database does now comes first: its not answering is an
    // alarm too, and says more as 等待 or 无法连接.
    switch (health.state) {
    case flow::Health::Waiting:
        return RowState::Waiting;
    case flow::Health::Failed:
        return RowState::Unreachable;
    case flow::Health::Idle:
    case flow::Health::Ok:
        break;
    }
    if (unacknowledgedAlarms > 0)
        return RowState::Alarm;
    return health.state == flow::Health::Idle ? RowState::Connecting : RowState::Ok;
}

QString stateText(RowState state)
{
    switch (state) {
    case RowState::Ok:
        return QStringLiteral("正常");
    case RowState::Connecting:
        return QStringLiteral("正在连接");
    case RowState::NeedsPassword:
        return QStringLiteral("需要密码");
    case RowState::Unreachable:
        return QStringLiteral("无法连接");
    case RowState::Waiting:
        return QStringLiteral("等待");
    case RowState::Alarm:
        return QStringLiteral("告警");
    }
    return {};
}

RowState worstState(const std::vector<RowState> &states)
{
    RowState worst = RowState::Ok;
    for (RowState state : states)
        worst = std::max(worst, state);
    return worst;
}

QStringList hiddenKeys(const QString &setting)
{
    QStringList keys = setting.split(HiddenSeparator, Qt::SkipEmptyParts);
    keys.removeDuplicates();
    return keys;
}

QString hiddenSetting(const QStringList &keys)
{
    return keys.join(HiddenSeparator);
}

} // namespace overview
