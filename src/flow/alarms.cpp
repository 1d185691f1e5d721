#include "flow/alarms.h"

#include "flow/flowtext.h"

#include <algorithm>
#include <limits>
#include <map>
#include <utility>

namespace flow {

QString alarmKindText(AlarmKind kind)
{
    switch (kind) {
    case AlarmKind::RecNumGap:
        return categoryText(Category::RecNumGap);
    case AlarmKind::RecNumRepeated:
        return categoryText(Category::RecNumRepeated);
    case AlarmKind::UnsentTooLong:
        return categoryText(Category::UnsentTooLong);
    case AlarmKind::UnconfirmedTooLong:
        return categoryText(Category::UnconfirmedTooLong);
    case AlarmKind::RejectBurst:
        return categoryText(Category::RejectBurst);
    case AlarmKind::DatabaseDown:
        return QStringLiteral("数据库不可用");
    }
    return {};
}

bool alarmKindOf(const QString &text, AlarmKind *kind)
{
    for (int k = 0; k < AlarmKinds; ++k) {
        if (alarmKindText(AlarmKind(k)) == text) {
            *kind = AlarmKind(k);
            return true;
        }
    }
    return false;
}

int alarmKindCode(AlarmKind kind)
{
    return kind == AlarmKind::RecNumGap || kind == AlarmKind::RecNumRepeated ? 1021 : 0;
}

bool sameCause(const AlarmCause &x, const AlarmCause &y)
{
    return x.kind == y.kind && x.recNum == y.recNum;
}

namespace {

// Orders waiting too long, counted with the time of the oldest.
struct Waiting
{
    qint64 count = 0;
    qint64 oldest = std::numeric_limits<qint64>::max();
    qint32 oldestTime = -1;

    void add(const Finding &f)
    {
        ++count;
        const qint64 stamp = timeStamp(f.date, f.time);
        if (f.time >= 0 && stamp < oldest) {
            oldest = stamp;
            oldestTime = f.time;
        }
    }
};

AlarmCause waitingCause(AlarmKind kind, const Waiting &w)
{
    const QString text = kind == AlarmKind::UnsentTooLong ? QStringLiteral("%1 笔委托未被网关取走，最早 %2")
                                                          : QStringLiteral("%1 笔委托已报未确认，最早 %2");
    return {kind, 0, text.arg(w.count).arg(clockText(w.oldestTime))};
}

} // namespace

std::vector<AlarmCause> findingCauses(const Snapshot &snapshot)
{
    std::vector<AlarmCause> causes;
    Waiting unsent, unconfirmed;
    const Finding *burst = nullptr;
    // A burst in the minute of `now` or the one before still counts.
    const qint64 burstSince = snapshot.now / 60 * 60 - 60;
    for (const Finding &f : snapshot.findings) {
        switch (f.category) {
        case Category::RecNumGap:
            causes.push_back({AlarmKind::RecNumGap, f.recNum, QStringLiteral("缺 %1").arg(f.recNum)});
            break;
        case Category::RecNumRepeated:
            causes.push_back({AlarmKind::RecNumRepeated, f.recNum, QStringLiteral("重复 %1").arg(f.recNum)});
            break;
        case Category::UnsentTooLong:
            unsent.add(f);
            break;
        case Category::UnconfirmedTooLong:
            unconfirmed.add(f);
            break;
        case Category::RejectBurst:
            // Findings come newest first: the first is the latest burst.
            if (!burst && timeStamp(f.date, f.time) >= burstSince)
                burst = &f;
            break;
        default:
            break;
        }
    }
    // Repeats of one record number give one finding each: one cause.
    std::vector<AlarmCause> unique;
    for (AlarmCause &cause : causes)
        if (std::none_of(unique.begin(), unique.end(), [&cause](const AlarmCause &c) { return sameCause(c, cause); }))
            unique.push_back(std::move(cause));
    if (unsent.count > 0)
        unique.push_back(waitingCause(AlarmKind::UnsentTooLong, unsent));
    if (unconfirmed.count > 0)
        unique.push_back(waitingCause(AlarmKind::UnconfirmedTooLong, unconfirmed));
    if (burst)
        unique.push_back({AlarmKind::RejectBurst, 0,
                          QStringLiteral("%1 一分钟内 %2 笔废单").arg(clockText(burst->time).left(5)).arg(burst->a)});
    return unique;
}

bool healthCause(const Health &health, const QDateTime &now, int querySeconds, AlarmCause *cause)
{
    if (health.state == Health::Failed && health.timedOut) {
        const QString text = health.table.isEmpty()
            ? QStringLiteral("读取超时：%1 秒内未返回").arg(querySeconds)
            : QStringLiteral("读取超时：%1 在 %2 秒内未返回").arg(health.table).arg(querySeconds);
        *cause = {AlarmKind::DatabaseDown, 0, text};
        return true;
    }
    if (health.state == Health::Failed) {
        *cause = {AlarmKind::DatabaseDown, 0, QStringLiteral("刷新失败：%1").arg(health.message)};
        return true;
    }
    if (health.state == Health::Waiting && health.since.isValid()) {
        const qint64 waited = health.since.secsTo(now);
        if (waited > querySeconds) {
            QString text = QStringLiteral("等待数据库响应 %1（自 %2 起）")
                               .arg(durationText(waited), health.since.toString(QStringLiteral("HH:mm:ss")));
            if (!health.table.isEmpty())
                text += QStringLiteral("，正在读取 %1").arg(health.table);
            *cause = {AlarmKind::DatabaseDown, 0, text};
            return true;
        }
    }
    return false;
}

AlarmChanges compareCauses(const std::vector<AlarmCause> &active, const std::vector<AlarmCause> &now)
{
    using Key = std::pair<int, qint32>;
    std::map<Key, std::size_t> found;
    for (std::size_t i = 0; i < now.size(); ++i)
        found.emplace(Key(int(now[i].kind), now[i].recNum), i);
    AlarmChanges changes;
    std::vector<bool> kept(now.size(), false);
    for (std::size_t i = 0; i < active.size(); ++i) {
        const auto it = found.find(Key(int(active[i].kind), active[i].recNum));
        if (it == found.end()) {
            changes.cleared.push_back(i);
        } else {
            changes.lasting.emplace_back(i, it->second);
            kept[it->second] = true;
        }
    }
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!kept[i] && found[Key(int(now[i].kind), now[i].recNum)] == i)
            changes.raised.push_back(i);
    return changes;
}

} // namespace flow
