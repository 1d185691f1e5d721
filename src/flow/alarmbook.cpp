#include "flow/alarmbook.h"

#include "flow/flowtext.h"
#include "flow/flowwatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

namespace flow {

namespace {

// The columns of the log: the record as the monitor's grid shows it, then
// what the line records and whose alarm it is.
enum Column { Raised, Kind, Text, Acknowledged, By, Cleared, EventColumn, Database, Id, RecNum, ColumnCount };
const QStringList Titles{QStringLiteral("发生时间"), QStringLiteral("类别"),     QStringLiteral("说明"),
                         QStringLiteral("确认时间"), QStringLiteral("确认人"),   QStringLiteral("解除时间"),
                         QStringLiteral("事件"),     QStringLiteral("数据库"),   QStringLiteral("编号"),
                         QStringLiteral("记录编号")};
const QString TimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QByteArray ByteOrderMark("\xEF\xBB\xBF");
const QString WriteFailed = QStringLiteral("无法写入告警记录 %1：%2");
const QString ReadFailed = QStringLiteral("无法读取告警记录 %1：%2");

QString timeText(const QDateTime &time)
{
    return time.isNull() ? QString() : time.toString(TimeFormat);
}

QDateTime timeOf(const QString &text)
{
    return text.isEmpty() ? QDateTime() : QDateTime::fromString(text, TimeFormat);
}

// RFC 4180: a field holding a comma, a quote or a line end is quoted, with
// its quotes doubled.
QString csvField(const QString &value)
{
    if (!value.contains(u',') && !value.contains(u'"') && !value.contains(u'\n') && !value.contains(u'\r'))
        return value;
    return u'"' + QString(value).replace(QStringLiteral("\""), QStringLiteral("\"\"")) + u'"';
}

QByteArray csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(u',').toUtf8() + "\r\n";
}

// The rows of RFC 4180 text.
std::vector<QStringList> csvRows(const QString &text)
{
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = any = true;
        } else if (c == u',') {
            row << field;
            field.clear();
            any = true;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            if (any || !field.isEmpty())
                rows.push_back(row << field);
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty())
        rows.push_back(row << field);
    return rows;
}

QString eventText(int event)
{
    static const QString Texts[] = {QStringLiteral("发生"), QStringLiteral("确认"), QStringLiteral("解除")};
    return Texts[event];
}

} // namespace

QString alarmSummary(const AlarmRecord &r)
{
    const int code = alarmKindCode(r.kind);
    return QStringLiteral("%1 %2%3，%4")
        .arg(r.raised.toString(QStringLiteral("HH:mm:ss")), alarmKindText(r.kind),
             code != 0 ? u' ' + QString::number(code) : QString(), r.text);
}

QString alarmLogPath(const QDate &day)
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/告警记录_")
        + day.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".csv");
}

std::vector<AlarmRecord> readAlarmLog(const QString &path, const QString &database, QString *error)
{
    std::vector<AlarmRecord> records;
    QFile file(path);
    if (!file.exists())
        return records;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = ReadFailed.arg(QDir::toNativeSeparators(path), file.errorString());
        return records;
    }
    QByteArray bytes = file.readAll();
    if (bytes.startsWith(ByteOrderMark))
        bytes.remove(0, ByteOrderMark.size());
    QHash<QPair<QString, int>, std::size_t> byAlarm;
    for (const QStringList &row : csvRows(QString::fromUtf8(bytes))) {
        AlarmRecord r;
        bool ok = false;
        if (row.size() < ColumnCount || !alarmKindOf(row[Kind], &r.kind))
            continue; // the titles, or a line of another program
        r.id = row[Id].toInt(&ok);
        r.database = row[Database];
        if (!ok || (!database.isEmpty() && r.database != database))
            continue;
        r.recNum = row[RecNum].toInt();
        r.text = row[Text];
        r.raised = timeOf(row[Raised]);
        r.acknowledged = timeOf(row[Acknowledged]);
        r.acknowledgedBy = row[By];
        r.cleared = timeOf(row[Cleared]);
        const auto key = qMakePair(r.database, r.id);
        const auto it = byAlarm.constFind(key);
        if (it != byAlarm.constEnd()) {
            records[*it] = r;
        } else {
            byAlarm.insert(key, records.size());
            records.push_back(r);
        }
    }
    return records;
}

AlarmBook::AlarmBook(QString database, QObject *parent)
    : QObject(parent)
    , m_database(std::move(database))
    , m_day(QDate::currentDate())
{
    m_records = readAlarmLog(logPath(), m_database, &m_logError);
    for (const AlarmRecord &r : m_records)
        m_lastId = std::max(m_lastId, r.id);
}

void AlarmBook::observe(const FlowWatch *watch)
{
    connect(watch, &FlowWatch::refreshed, this, [this, watch](bool ok) {
        m_querySeconds = watch->querySeconds();
        update(ok ? &watch->snapshot() : nullptr, watch->health(), QDateTime::currentDateTime());
    });
    connect(watch, &FlowWatch::healthChanged, this, [this, watch] {
        m_querySeconds = watch->querySeconds();
        update(nullptr, watch->health(), QDateTime::currentDateTime());
    });
}

void AlarmBook::update(const Snapshot *snapshot, const Health &health, const QDateTime &now)
{
    if (now.date() != m_day)
        startDay(now.date());
    std::vector<std::size_t> activeAt;
    std::vector<AlarmCause> active;
    for (std::size_t i = 0; i < m_records.size(); ++i) {
        if (m_records[i].active()) {
            activeAt.push_back(i);
            active.push_back({m_records[i].kind, m_records[i].recNum, m_records[i].text});
        }
    }
    if (snapshot) {
        m_findingCauses = findingCauses(*snapshot);
        m_haveSnapshot = true;
    }
    std::vector<AlarmCause> causes;
    if (m_haveSnapshot) {
        causes = m_findingCauses;
    } else {
        // Before the first refresh the alarms carried over from a restart stand.
        for (const AlarmCause &cause : active)
            if (cause.kind != AlarmKind::DatabaseDown)
                causes.push_back(cause);
    }
    AlarmCause database;
    if (healthCause(health, now, m_querySeconds, &database))
        causes.push_back(database);

    const AlarmChanges changes = compareCauses(active, causes);
    bool changed = !changes.cleared.empty() || !changes.raised.empty();
    for (std::size_t i : changes.cleared) {
        AlarmRecord &r = m_records[activeAt[i]];
        r.cleared = now;
        append(r, Event::Cleared);
    }
    for (const auto &[was, is] : changes.lasting) {
        AlarmRecord &r = m_records[activeAt[was]];
        if (r.text != causes[is].text) {
            r.text = causes[is].text;
            changed = true;
        }
    }
    for (std::size_t i : changes.raised) {
        AlarmRecord r;
        r.id = ++m_lastId;
        r.database = m_database;
        r.kind = causes[i].kind;
        r.recNum = causes[i].recNum;
        r.text = causes[i].text;
        r.raised = now;
        m_records.push_back(r);
        append(r, Event::Raised);
    }
    if (!changes.raised.empty())
        emit raised(int(changes.raised.size()));
    if (changed)
        emit this->changed();
}

int AlarmBook::acknowledge(const QString &user, const QDateTime &at)
{
    if (at.date() != m_day)
        startDay(at.date());
    int count = 0;
    for (AlarmRecord &r : m_records) {
        if (r.isAcknowledged())
            continue;
        r.acknowledged = at;
        r.acknowledgedBy = user;
        append(r, Event::Acknowledged);
        ++count;
    }
    if (count > 0)
        emit changed();
    return count;
}

int AlarmBook::unacknowledgedCount() const
{
    return int(std::count_if(m_records.begin(), m_records.end(),
                             [](const AlarmRecord &r) { return !r.isAcknowledged(); }));
}

int AlarmBook::activeCount() const
{
    return int(std::count_if(m_records.begin(), m_records.end(), [](const AlarmRecord &r) { return r.active(); }));
}

namespace {

template <typename Pick>
const AlarmRecord *newest(const std::vector<AlarmRecord> &records, Pick pick)
{
    const AlarmRecord *found = nullptr;
    for (const AlarmRecord &r : records)
        if (pick(r) && (!found || r.raised >= found->raised))
            found = &r;
    return found;
}

} // namespace

const AlarmRecord *AlarmBook::newestUnacknowledged() const
{
    return newest(m_records, [](const AlarmRecord &r) { return !r.isAcknowledged(); });
}

const AlarmRecord *AlarmBook::newestActive() const
{
    return newest(m_records, [](const AlarmRecord &r) { return r.active(); });
}

// A new day keeps only the alarms still active; their later lines go to
// the new day's file.
void AlarmBook::startDay(const QDate &day)
{
    m_day = day;
    m_records.erase(std::remove_if(m_records.begin(), m_records.end(),
                                   [](const AlarmRecord &r) { return !r.active(); }),
                    m_records.end());
}

void AlarmBook::append(const AlarmRecord &r, Event event)
{
    const QString path = logPath();
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        noteLogError(WriteFailed.arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    QStringList fields;
    for (int c = 0; c < ColumnCount; ++c)
        fields << QString();
    fields[Raised] = timeText(r.raised);
    fields[Kind] = alarmKindText(r.kind);
    fields[Text] = r.text;
    fields[Acknowledged] = timeText(r.acknowledged);
    fields[By] = r.acknowledgedBy;
    fields[Cleared] = timeText(r.cleared);
    fields[EventColumn] = eventText(int(event));
    fields[Database] = r.database;
    fields[Id] = QString::number(r.id);
    fields[RecNum] = r.recNum != 0 ? QString::number(r.recNum) : QString();
    QByteArray bytes;
    if (file.size() == 0)
        bytes = ByteOrderMark + csvLine(Titles);
    bytes += csvLine(fields);
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        noteLogError(WriteFailed.arg(QDir::toNativeSeparators(path), file.errorString()));
        return;
    }
    m_logError.clear();
}

void AlarmBook::noteLogError(const QString &message)
{
    if (message == m_logError)
        return;
    m_logError = message;
    emit logFailed(message);
}

} // namespace flow
