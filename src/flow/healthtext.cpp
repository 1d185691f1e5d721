#include "flow/healthtext.h"

#include "flow/flowwatch.h"

namespace flow {

namespace {

const QString RefreshedText = QStringLiteral("%1 已刷新，读入 %2 行（共 %3 行）");
const QString WaitingText = QStringLiteral("等待数据库响应 %1 秒（自 %2 起）");
const QString WaitingTableText = QStringLiteral("，正在读取 %1");
const QString TimedOutText = QStringLiteral("%1 读取超时：%2 在 %3 秒内未返回，下次刷新重试");
const QString TimedOutNoTableText = QStringLiteral("%1 读取超时：%2 秒内未返回，下次刷新重试");
const QString FailedText = QStringLiteral("%1 刷新失败：%2");
const QString StaleText = QStringLiteral("数据截至 %1");
const QString RefreshIndexNote = QStringLiteral("%1 无索引：每次刷新都会扫描整表，请按说明建立索引");
const QString TraceIndexNote = QStringLiteral("%1 无索引：每次追踪都会扫描整表，请按说明建立索引");
const QString TradeKeyNote = QStringLiteral("ashare_cjhb.cjbh 为位数不等的文本：每次刷新都会扫描整表");
const QString ClockFormat = QStringLiteral("HH:mm:ss");

} // namespace

QString refreshedText(const QTime &at, qint64 rowsRead, qint64 rowsHeld)
{
    return RefreshedText.arg(at.toString(ClockFormat)).arg(rowsRead).arg(rowsHeld);
}

QString healthText(const Health &health, const QDateTime &now, int querySeconds)
{
    const QString since = health.since.time().toString(ClockFormat);
    switch (health.state) {
    case Health::Waiting: {
        QString text = WaitingText.arg(std::max<qint64>(0, health.since.secsTo(now))).arg(since);
        if (!health.table.isEmpty())
            text += WaitingTableText.arg(health.table);
        return text;
    }
    case Health::Failed:
        if (!health.timedOut)
            return FailedText.arg(since, health.message);
        if (health.table.isEmpty())
            return TimedOutNoTableText.arg(since).arg(querySeconds);
        return TimedOutText.arg(since, health.table).arg(querySeconds);
    case Health::Idle:
    case Health::Ok:
        break;
    }
    return {};
}

QString staleText(const QDateTime &dataTime)
{
    return dataTime.isValid() ? StaleText.arg(dataTime.time().toString(ClockFormat)) : QString();
}

QString missingIndexNote(const QStringList &columns, bool trace)
{
    return (trace ? TraceIndexNote : RefreshIndexNote).arg(columns.join(QStringLiteral("、")));
}

QString tradeKeyScanNote()
{
    return TradeKeyNote;
}

} // namespace flow
