#include "monitor/dayendcommand.h"

#include "flow/alarmbook.h"
#include "flow/dayend.h"
#include "flow/flowreader.h"
#include "flow/flowwatch.h"
#include "ui/command.h"
#include "ui/errorbox.h"
#include "ui/exportdialog.h"

#include <QDate>

namespace {

const QString WritingText = QStringLiteral("正在写日终核对…");
const QString DialogTitle = QStringLiteral("日终核对");
const QString DialogName = QStringLiteral("DayEndDialog");
const QString NoticeCaption = QStringLiteral("日终核对");
const QString NoticeText = QStringLiteral("已写出日终核对到文件：");

} // namespace

std::vector<DayEndAlarm> dayEndAlarms(const flow::AlarmBook &book)
{
    std::vector<DayEndAlarm> alarms;
    for (const flow::AlarmRecord &r : book.records())
        alarms.push_back({r.raised, flow::alarmKindText(r.kind), r.text, r.acknowledged, r.acknowledgedBy, r.cleared});
    return alarms;
}

void writeDayEnd(flow::FlowWatch &watch, const QString &database, const QString &path,
                 const std::vector<DayEndAlarm> &alarms, const ExportOptions &options)
{
    const int timeout = watch.timeoutSeconds();
    runCommand(watch.worker(), WritingText,
               watch.sessionJob([database, path, alarms, options, timeout](flow::FlowSession &session,
                                                                           CommandControl &control) {
                   const flow::Snapshot snapshot = session.refresh(timeout, &control);
                   flow::DayEndReconciliation day(session.model(), snapshot, database);
                   writeDayEndBook(day, alarms, path, control, options);
               }),
               // The watch's own connection was given up, not the program's.
               [&watch] { watch.replaceSession(); });
    // The window catches up with what the write read.
    if (watch.running())
        watch.refreshNow();
}

QString dayEndFileNameFor(const flow::FlowWatch &watch, const QString &database)
{
    const qint32 shown = watch.snapshot().chartDate;
    const QDate day(shown / 10000, shown / 100 % 100, shown % 100);
    return dayEndFileName(shown > 0 && day.isValid() ? day : QDate::currentDate(), database);
}

void reconcileDay(QWidget *parent, flow::FlowWatch &watch, const QString &database,
                  const std::vector<DayEndAlarm> &alarms)
{
    runGuarded([&] {
        const QString path =
            chooseWorkbookTarget(parent, DialogTitle, DialogName, dayEndFileNameFor(watch, database));
        if (path.isEmpty())
            return;
        writeDayEnd(watch, database, path, alarms);
        showFileNotice(NoticeCaption, NoticeText, path);
    });
}
